// Definition-driven driver CSMNormal.
#ifndef QVSM_GENERIC_SMNORMAL_H
#define QVSM_GENERIC_SMNORMAL_H

#include "generic/SMDefBase.h"

class CSMNormal : public CSMDefBase {
public:
    explicit CSMNormal(int type);
    ~CSMNormal() override;
};

#endif
