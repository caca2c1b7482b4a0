// A9 board contact inputs through the gpio device: lines 1..16 and 17..20, no outputs.
#ifndef QVSM_DRIVERS_DIO_SMDIOA9DI16_H
#define QVSM_DRIVERS_DIO_SMDIOA9DI16_H

#include "drivers/dio/SMDioBase.h"

class CSMDioA9DI16 : public CSMDioBase {
public:
    CSMDioA9DI16();
    int DataGet(ISerBase* port, int addr, int waitMs) override;
};

#endif
