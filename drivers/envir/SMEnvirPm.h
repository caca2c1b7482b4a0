// Dust probe (QV-PM485): PM2.5 in ug/m3.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRPM_H
#define QVSM_DRIVERS_ENVIR_SMENVIRPM_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirPm : public CSMEnvirBase {
public:
    CSMEnvirPm();

protected:
    int Brief(char* out, int cap, const int* vals, const int* st) const override;
};

#endif
