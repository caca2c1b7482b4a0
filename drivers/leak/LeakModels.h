// Listed models of the water-leak detectors family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_LEAK_LEAKMODELS_H
#define QVSM_DRIVERS_LEAK_LEAKMODELS_H

#include "base/SMBase.h"
#include "drivers/leak/SMLeak.h"

#endif
