// Intermediate base of a group of ups drivers.
#ifndef QVSM_DRIVERS_UPS_SMUPSBASE_H
#define QVSM_DRIVERS_UPS_SMUPSBASE_H

#include "base/SMBase.h"

class CSMUpsBase : public CSMBase {
public:
    explicit CSMUpsBase(int type);
    ~CSMUpsBase() override;
};

#endif
