// JXBS-3001 multi-sensor: humidity, temperature, dust, gas, noise, light, pressure.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRJXBS_H
#define QVSM_DRIVERS_ENVIR_SMENVIRJXBS_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirJxbs : public CSMEnvirBase {
public:
    CSMEnvirJxbs();
};

#endif
