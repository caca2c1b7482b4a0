// Listed models of the batteries and battery monitors family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_BATT_BATTMODELS_H
#define QVSM_DRIVERS_BATT_BATTMODELS_H

#include "base/SMBase.h"
#include "drivers/batt/SMBatt100.h"

QVSM_MODEL(CSMDb100, CSMBase, 1024, "QV-BATTDB100")
QVSM_MODEL(CSMADU1000, CSMBase, 1025, "QV-BATTADU1000")
QVSM_MODEL(CSMBattRTVS, CSMBase, 1027, "QV-BATTRTVS")
QVSM_MODEL(CSMBattBod800, CSMBase, 1028, "QV-BOD-800")
QVSM_MODEL(CSMBattBodEB90, CSMBase, 1029, "QV-BOD-EB90")
QVSM_MODEL(CSMBattBMS, CSMBase, 1030, "QV-BattBMS")
QVSM_MODEL(CSMBattH3GTV, CSMBase, 1031, "QV-BATH3GTV")
QVSM_MODEL(CSMBattH3GTC, CSMBase, 1032, "QV-BATH3GTC")
QVSM_MODEL(CSMBattBOD1000S, CSMBase, 1036, "QV-BattBOD1000S")
QVSM_MODEL(CSMBattDJX9, CSMBase, 1037, "QV-BattDJX9")
QVSM_MODEL(CSMBattMMCP, CSMBase, 1038, "QV-BattMMCP")
QVSM_MODEL(CSMBattDCOM, CSMBase, 1039, "QV-BattDCOM")

#endif
