// Noise sensor.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRVOICE_H
#define QVSM_DRIVERS_ENVIR_SMENVIRVOICE_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirVoice : public CSMEnvirBase {
public:
    CSMEnvirVoice();
};

#endif
