// Listed models of the SNMP demonstration driver family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_SNMPDEMO_SNMPDEMOMODELS_H
#define QVSM_DRIVERS_SNMPDEMO_SNMPDEMOMODELS_H

#include "base/SMBase.h"

QVSM_MODEL_NONOTE(CSMSnmpDemo, CSMBase, 3840)

#endif
