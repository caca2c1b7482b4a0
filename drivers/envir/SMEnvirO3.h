// Ozone sensor.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRO3_H
#define QVSM_DRIVERS_ENVIR_SMENVIRO3_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirO3 : public CSMEnvirBase {
public:
    CSMEnvirO3();

protected:
    int Requests(int variant, EnvirRead* out) const override;
    void Decode(const unsigned short* w, int nw, int* v) const override;
};

#endif
