// Earth resistance monitor ETCR2900: five channels.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRETCR2900_H
#define QVSM_DRIVERS_ENVIR_SMENVIRETCR2900_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirETCR2900 : public CSMEnvirBase {
public:
    CSMEnvirETCR2900();
};

#endif
