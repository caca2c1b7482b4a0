// Definition-driven driver CSMModbus.
#ifndef QVSM_GENERIC_SMMODBUS_H
#define QVSM_GENERIC_SMMODBUS_H

#include "base/SMBase.h"

class CSMModbus : public CSMBase {
public:
    explicit CSMModbus(int type);
    ~CSMModbus() override;
    // Loads the definition file (full path). -1 when it cannot be read.
    int LoadDef(const char* path);
};

#endif
