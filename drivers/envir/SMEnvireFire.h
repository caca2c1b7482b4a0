// Electrical fire detector: one channel of residual current and temperature.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIREFIRE_H
#define QVSM_DRIVERS_ENVIR_SMENVIREFIRE_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvireFire : public CSMEnvirBase {
public:
    CSMEnvireFire();

    int GetMask() override { return 31; }
};

#endif
