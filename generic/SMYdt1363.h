// Definition-driven driver CSMYdt1363.
#ifndef QVSM_GENERIC_SMYDT1363_H
#define QVSM_GENERIC_SMYDT1363_H

#include "generic/SMDefBase.h"

class CSMYdt1363 : public CSMDefBase {
public:
    explicit CSMYdt1363(int type);
    ~CSMYdt1363() override;
};

#endif
