// Listed models of the alarm output devices family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_ALARM_ALARMMODELS_H
#define QVSM_DRIVERS_ALARM_ALARMMODELS_H

#include "base/SMBase.h"
#include "drivers/alarm/SMAlm3000.h"
#include "drivers/alarm/SMAlmGsm.h"

QVSM_MODEL_MASK(CSMAlmDo, CSMBase, 2562, "QV-ALMDO6", 1)
QVSM_MODEL_MASK(CSMAlmSMT120, CSMBase, 2568, "QV-ALM SMT-120", 31)
QVSM_MODEL_MASK(CSMAlmPTW75, CSMBase, 2569, "QV-ALM-PTW75", 4)
QVSM_MODEL_MASK(CSMAlmCHM3, CSMBase, 2571, "QV-ALM PT", 28)
QVSM_MODEL_MASK(CSMAlmEC2xEG9, CSMBase, 2572, "QV-ALM EC20", 28)
QVSM_MODEL_MASK(CSMAlmB5, CSMBase, 2573, "QV-ALM B5", 31)

#endif
