// Temperature and humidity probe on Modbus RTU (QV-TH485), and the driver of every 0x5xx
// code without one of its own.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIR_H
#define QVSM_DRIVERS_ENVIR_SMENVIR_H

#include "drivers/envir/SMEnvirTHBase.h"

class CSMEnvir : public CSMEnvirTHBase {
public:
    CSMEnvir();

    int DataGet(ISerBase* port, int addr, int waitMs) override;
};

#endif
