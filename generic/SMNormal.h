// Definition-driven driver CSMNormal.
#ifndef QVSM_GENERIC_SMNORMAL_H
#define QVSM_GENERIC_SMNORMAL_H

#include "base/SMBase.h"

class CSMNormal : public CSMBase {
public:
    explicit CSMNormal(int type);
    ~CSMNormal() override;
    // Loads the definition file (full path). -1 when it cannot be read.
    int LoadDef(const char* path);
};

#endif
