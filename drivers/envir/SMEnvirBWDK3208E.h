// Dry-type transformer temperature controller BWDK3208E.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRBWDK3208E_H
#define QVSM_DRIVERS_ENVIR_SMENVIRBWDK3208E_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirBWDK3208E : public CSMEnvirBase {
public:
    CSMEnvirBWDK3208E();

protected:
    int Requests(int variant, EnvirRead* out) const override;
};

#endif
