// Laser dust transmitter: PM1.0, PM2.5 and PM10.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRLASERPM_H
#define QVSM_DRIVERS_ENVIR_SMENVIRLASERPM_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirLaserPM : public CSMEnvirBase {
public:
    CSMEnvirLaserPM();
};

#endif
