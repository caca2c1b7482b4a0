// Temperature and humidity probe, registers 0-1.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRNEW_H
#define QVSM_DRIVERS_ENVIR_SMENVIRNEW_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirNew : public CSMEnvirBase {
public:
    CSMEnvirNew();
};

#endif
