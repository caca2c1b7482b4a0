// Definition-driven driver CSMSnmpPub.
#ifndef QVSM_GENERIC_SMSNMPPUB_H
#define QVSM_GENERIC_SMSNMPPUB_H

#include "generic/SMDefBase.h"

class CSMSnmpPub : public CSMDefBase {
public:
    explicit CSMSnmpPub(int type);
    ~CSMSnmpPub() override;
};

#endif
