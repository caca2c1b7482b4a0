// Atmospheric pressure transmitter JXBS-3001-QY.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRJXBS3001QY_H
#define QVSM_DRIVERS_ENVIR_SMENVIRJXBS3001QY_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirJXBS3001QY : public CSMEnvirBase {
public:
    CSMEnvirJXBS3001QY();

protected:
    int Requests(int variant, EnvirRead* out) const override;
};

#endif
