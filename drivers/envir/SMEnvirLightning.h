// Lightning protection monitor: two alarm sensors and the loss alarm.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRLIGHTNING_H
#define QVSM_DRIVERS_ENVIR_SMENVIRLIGHTNING_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirLightning : public CSMEnvirBase {
public:
    CSMEnvirLightning();
};

#endif
