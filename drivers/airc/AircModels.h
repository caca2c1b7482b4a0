// Listed models of the comfort air conditioners and dehumidifiers family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_AIRC_AIRCMODELS_H
#define QVSM_DRIVERS_AIRC_AIRCMODELS_H

#include "base/SMBase.h"
#include "drivers/airc/SMAirc.h"

QVSM_MODEL(CSMAircDAS, CSMBase, 1793, "QV-AIRCDAS")
QVSM_MODEL(CSMAircLcpDx, CSMBase, 1794, "QV-LCP-DX")
QVSM_MODEL(CSMAircRS816, CSMBase, 1795, "QV-AIRC-RS816")
QVSM_MODEL(CSMAircIACRx0, CSMBase, 1796, "QV-IAC-R10/R20")
QVSM_MODEL(CSMAircMitsubishi, CSMBase, 1797, "QV-Airc-Mitsubishi")
QVSM_MODEL(CSMAircDeHumer, CSMBase, 1798, "QV-AIRC-RS816")
QVSM_MODEL(CSMAircEK3030E, CSMBase, 1799, "QV-AIRCEK3030E")
QVSM_MODEL(CSMAircDehumJSCC, CSMBase, 1800, "QV-EnvirDehum")
QVSM_MODEL(CSMAircDehumSK, CSMBase, 1801, "QV-EnvirDehum")
QVSM_MODEL(CSMAircRS, CSMBase, 1802, "QV-AircRS")

#endif
