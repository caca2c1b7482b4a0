// Oxygen transmitter JXBS-4001-O2.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRJXBS4001O2_H
#define QVSM_DRIVERS_ENVIR_SMENVIRJXBS4001O2_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirJXBS4001O2 : public CSMEnvirBase {
public:
    CSMEnvirJXBS4001O2();
};

#endif
