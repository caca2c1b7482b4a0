// Parking lock (车位锁) in a framed protocol of its own: polled for its position and battery.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRCPL_H
#define QVSM_DRIVERS_ENVIR_SMENVIRCPL_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirCPL : public CSMEnvirBase {
public:
    CSMEnvirCPL();

    // AA addr cmd len data sum 55 (sum: low byte of the byte sum of addr..data). buf must
    // hold 6 + len bytes; returns the length, 0 when it would not fit the command buffer.
    static int FramePack(unsigned char* buf, unsigned char addr, unsigned char cmd, const unsigned char* data,
                         int len);

    enum { REPLY_BUF = 120 };

protected:
    int Poll(ISerBase* port, int addr, int waitMs, int* v) override;
};

#endif
