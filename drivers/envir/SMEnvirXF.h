// XF temperature/humidity unit with two channel status words.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRXF_H
#define QVSM_DRIVERS_ENVIR_SMENVIRXF_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirXF : public CSMEnvirBase {
public:
    CSMEnvirXF();

protected:
    int Requests(int variant, EnvirRead* out) const override;
    void Decode(const unsigned short* w, int nw, int* v) const override;
};

#endif
