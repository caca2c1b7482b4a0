// Display and alarm panels family: the DGUS screen drivers have their own file pair.
#ifndef QVSM_DRIVERS_PANEL_PANELMODELS_H
#define QVSM_DRIVERS_PANEL_PANELMODELS_H

#include "base/SMBase.h"
#include "drivers/panel/SMDGusMonitor.h"

#endif
