// The four definition-driven drivers and their factories.
#ifndef QVSM_GENERIC_SMGENERIC_H
#define QVSM_GENERIC_SMGENERIC_H

#include "generic/SMModbus.h"
#include "generic/SMNormal.h"
#include "generic/SMSnmpPub.h"
#include "generic/SMYdt1363.h"

// Definition file of a code: "/NandFlash/SM/SM%04d.def" (before the root prefix).
void SMDefPath(char* out, int cap, int type);

// Each returns null when the code's definition file does not exist.
ISMBase* NewSnmpHandler(int type);
ISMBase* NewModbusHandler(int type);
ISMBase* NewYdt1363Handler(int type);
ISMBase* NewNormalHandler(int type);

#endif
