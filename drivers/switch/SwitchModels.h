// Listed models of the switches and on/off inputs family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_SWITCH_SWITCHMODELS_H
#define QVSM_DRIVERS_SWITCH_SWITCHMODELS_H

#include "base/SMBase.h"
#include "drivers/switch/SMOnOff.h"

QVSM_MODEL(CSMElecSwTime12, CSMBase, 514, "QV-DSW220T12")
QVSM_MODEL(CSMElcSwTrans, CSMBase, 515, "QV-SW-Trans")
QVSM_MODEL(CSMElcSwIDCA21, CSMBase, 516, "QV-SW-IDCA21")
QVSM_MODEL(CSMElcSwRelay, CSMBase, 517, "QV-SW-Relay")

#endif
