// The board's contact inputs (type 2304 and every I/O code without a driver of its own): the
// 2-byte state an input board reports by itself, or the "/dev/gpio" device with Variant 1.
#ifndef QVSM_DRIVERS_DIO_SMDIO_H
#define QVSM_DRIVERS_DIO_SMDIO_H

#include "drivers/dio/SMDioBase.h"

class CSMDio : public CSMDioBase {
public:
    CSMDio();

    int GetMask() override { return 36; }
    int ChkDef(IDbBase* db, int force) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;

private:
    int ReadStream(ISerBase* port);
};

#endif
