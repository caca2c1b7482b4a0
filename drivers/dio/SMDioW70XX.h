// W70XX Modbus I/O module: discrete inputs, coils and relay control.
#ifndef QVSM_DRIVERS_DIO_SMDIOW70XX_H
#define QVSM_DRIVERS_DIO_SMDIOW70XX_H

#include "drivers/dio/SMDioBase.h"

class CSMDioW70XX : public CSMDioBase {
public:
    enum { INPUTS = 8, OUTPUTS = 8, REPLY_CAP = 20 };

    CSMDioW70XX();

    int ChkDef(IDbBase* db, int force) override;
    // Discrete inputs 0..7 into D01..D08, coils 0..7 into D09..D16 (1: on).
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    // cmd: coil address in the low 16 bits, function in bits 16..23; value: first byte of buf.
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    using CSMBase::DoFunc;
};

#endif
