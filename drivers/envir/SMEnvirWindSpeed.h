// Wind speed sensor.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRWINDSPEED_H
#define QVSM_DRIVERS_ENVIR_SMENVIRWINDSPEED_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirWindSpeed : public CSMEnvirBase {
public:
    CSMEnvirWindSpeed();
};

#endif
