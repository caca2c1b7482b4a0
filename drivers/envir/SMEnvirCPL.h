// Parking lock (车位锁) in a framed protocol of its own: polled for its position and battery.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRCPL_H
#define QVSM_DRIVERS_ENVIR_SMENVIRCPL_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirCPL : public CSMEnvirBase {
public:
    CSMEnvirCPL();

    enum { REPLY_BUF = 120 };

protected:
    int Poll(ISerBase* port, int addr, int waitMs, int* v) override;
};

#endif
