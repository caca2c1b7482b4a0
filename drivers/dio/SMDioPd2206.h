// QV-PD220-6: six 220 V inputs and four dry-contact inputs, then two outputs, one input
// register each (function 4 from register 0).
#ifndef QVSM_DRIVERS_DIO_SMDIOPD2206_H
#define QVSM_DRIVERS_DIO_SMDIOPD2206_H

#include "drivers/dio/SMDioBase.h"

class CSMDioPd2206 : public CSMDioBase {
public:
    enum { INPUTS = 10, CHANNELS_USED = 12 };

    CSMDioPd2206();

    int GetMask() override { return 42; }
    int ChkDef(IDbBase* db, int force) override;
    // D01..D12: 1 where the channel's register is not 0.
    int DataGet(ISerBase* port, int addr, int waitMs) override;
};

#endif
