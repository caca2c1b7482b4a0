// Listed models of the SNMP agent and auxiliary service drivers family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_SERVICE_SERVICEMODELS_H
#define QVSM_DRIVERS_SERVICE_SERVICEMODELS_H

#include "base/SMBase.h"

QVSM_MODEL(CSMSnmpSvr, CSMBase, 3600, "QV-SVRWIN")
QVSM_MODEL(CSMVoxCfg, CSMBase, 3610, "VOX-CFG")
QVSM_MODEL(CSMVoxInfo, CSMBase, 3611, "VOX-INFO")
QVSM_MODEL(CSMVoxCam, CSMBase, 3612, "VOX-CAM")

#endif
