// Definition-driven driver CSMYdt1363.
#ifndef QVSM_GENERIC_SMYDT1363_H
#define QVSM_GENERIC_SMYDT1363_H

#include "base/SMBase.h"

class CSMYdt1363 : public CSMBase {
public:
    explicit CSMYdt1363(int type);
    ~CSMYdt1363() override;
    // Loads the definition file (full path). -1 when it cannot be read.
    int LoadDef(const char* path);
};

#endif
