// Wind speed sensor NHFS45.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRNHFS45_H
#define QVSM_DRIVERS_ENVIR_SMENVIRNHFS45_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirNHFS45 : public CSMEnvirBase {
public:
    CSMEnvirNHFS45();
};

#endif
