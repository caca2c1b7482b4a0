// Intelligent surge protector ZGLJ.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRZGLJ_H
#define QVSM_DRIVERS_ENVIR_SMENVIRZGLJ_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirZGLJ : public CSMEnvirBase {
public:
    CSMEnvirZGLJ();
};

#endif
