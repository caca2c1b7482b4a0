// The reads of the UPS models that only read Modbus registers, one row per model (UpsReads.cpp).
#ifndef QVSM_DRIVERS_UPS_UPSREADS_H
#define QVSM_DRIVERS_UPS_UPSREADS_H

#include "drivers/ups/SMUpsBase.h"

extern const UpsModel kUpsHTxx, kUpsKstarModbus, kUpsApcMegGalaxy5000, kUpsMR33, kUpsHL, kUpsMdCard,
    kUpsModbusAdapter, kUpsGP3340KS, kUpsYC, kUpsHiplant, kUpsHZZY, kUpsKRB3320, kUpsSZAY;

#endif
