// Definition-driven driver CSMModbus.
#ifndef QVSM_GENERIC_SMMODBUS_H
#define QVSM_GENERIC_SMMODBUS_H

#include "generic/SMDefBase.h"

class CSMModbus : public CSMDefBase {
public:
    explicit CSMModbus(int type);
    ~CSMModbus() override;
};

#endif
