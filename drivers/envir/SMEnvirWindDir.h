// Wind direction sensor: angle in tenths of a degree.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRWINDDIR_H
#define QVSM_DRIVERS_ENVIR_SMENVIRWINDDIR_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirWindDir : public CSMEnvirBase {
public:
    CSMEnvirWindDir();
};

#endif
