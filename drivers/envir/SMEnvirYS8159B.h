// Wind speed sensor YS8159B.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRYS8159B_H
#define QVSM_DRIVERS_ENVIR_SMENVIRYS8159B_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirYS8159B : public CSMEnvirBase {
public:
    CSMEnvirYS8159B();
};

#endif
