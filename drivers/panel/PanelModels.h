// Listed models of the display and alarm panels family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_PANEL_PANELMODELS_H
#define QVSM_DRIVERS_PANEL_PANELMODELS_H

#include "base/SMBase.h"

QVSM_MODEL(CSMDGusMonitor, CSMBase, 2816, "QV-DGus")
QVSM_MODEL(CSMAlmDiwen, CSMBase, 2817, "QV-Diwen")

#endif
