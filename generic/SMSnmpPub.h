// Definition-driven driver CSMSnmpPub.
#ifndef QVSM_GENERIC_SMSNMPPUB_H
#define QVSM_GENERIC_SMSNMPPUB_H

#include "base/SMBase.h"

class CSMSnmpPub : public CSMBase {
public:
    explicit CSMSnmpPub(int type);
    ~CSMSnmpPub() override;
    // Loads the definition file (full path). -1 when it cannot be read.
    int LoadDef(const char* path);
};

#endif
