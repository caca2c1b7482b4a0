// T3 collector: up to 24 temperature channels and 24 voltages.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRT3_H
#define QVSM_DRIVERS_ENVIR_SMENVIRT3_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirT3 : public CSMEnvirBase {
public:
    CSMEnvirT3();

    // Channels read: the Variant when 2 or more, else 24; at most 24.
    int Channels() const;

protected:
    int Requests(int variant, EnvirRead* out) const override;
    void Decode(const unsigned short* w, int nw, int* v) const override;
    bool InBrief(int i) const override;
};

#endif
