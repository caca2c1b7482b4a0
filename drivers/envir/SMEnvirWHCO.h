// Carbon monoxide sensor.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRWHCO_H
#define QVSM_DRIVERS_ENVIR_SMENVIRWHCO_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirWHCO : public CSMEnvirBase {
public:
    CSMEnvirWHCO();
};

#endif
