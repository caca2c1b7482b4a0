// Two analogue inputs of the i.MX6UL board, read as raw 12-bit values from its IIO files.
#ifndef QVSM_DRIVERS_DIO_SMDIOIMX6ULAI_H
#define QVSM_DRIVERS_DIO_SMDIOIMX6ULAI_H

#include "drivers/dio/SMDioBase.h"

class CSMDioIMX6ULAI : public CSMDioBase {
public:
    CSMDioIMX6ULAI();

    int GetMask() override { return 4; }
    int ChkDef(IDbBase* db, int force) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;

    // A raw reading (0..4095) in hundredths by the scaling that Variant selects:
    // 1: 0..13.2 V, 2: 0..3.3 V, otherwise milliamperes of a current loop through 150 ohm.
    static int Scale(long raw, int variant);
};

#endif
