// Parking lock (车位锁) in its own framed protocol.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRCPL_H
#define QVSM_DRIVERS_ENVIR_SMENVIRCPL_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirCPL : public CSMEnvirBase {
public:
    CSMEnvirCPL();

    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    using CSMEnvirBase::DoFunc;

    // AA addr cmd len data sum 55 (sum: low byte of the byte sum of addr..data). buf must
    // hold 6 + len bytes; returns the length, 0 when it would not fit the command buffer.
    static int FramePack(unsigned char* buf, unsigned char addr, unsigned char cmd, const unsigned char* data,
                         int len);

    enum { CMD_RAISE = 1, CMD_LOWER = 2, REPLY_BUF = 120 };

protected:
    int Poll(ISerBase* port, int addr, int waitMs, int* v) override;

private:
    // One exchange; the reply's data bytes go to out. Returns their number, or -1.
    int Transact(ISerBase* port, int addr, unsigned char cmd, const unsigned char* data, int len, int waitMs,
                 unsigned char* out, int cap);
};

#endif
