// Listed models of the power, energy and generator meters family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_ELEC_ELECMODELS_H
#define QVSM_DRIVERS_ELEC_ELECMODELS_H

#include "base/SMBase.h"
#include "drivers/elec/SMElec.h"

QVSM_MODEL(CSMTransf, CSMBase, 259, "QV-Transf")
QVSM_MODEL(CSMPowSCADA, CSMBase, 260, "QV-PowSCADA")
QVSM_MODEL(CSMFBJK002G3S, CSMBase, 261, "QV-FBJK002G3S")
QVSM_MODEL(CSMHC311A, CSMBase, 262, "HC-311A")
QVSM_MODEL(CSMHgm6300, CSMBase, 263, "SMHGM6300")
QVSM_MODEL(CSMPsmE10c, CSMBase, 264, "QV-PSM-E10C")
QVSM_MODEL(CSMElecDeepSeaDynamo, CSMBase, 265, "QV-DeepSeaDynamo")
QVSM_MODEL(CSMElecUpSEast, CSMBase, 266, "QV-Elec-Ups")
QVSM_MODEL(CSMElecWaterMeter, CSMBase, 267, "QV-WaterMeter")
QVSM_MODEL(CSMElecJpmcwb, CSMBase, 268, "QV-ELEC-JPMCWB")
QVSM_MODEL(CSMElecJSYMK141, CSMBase, 269, "HC-311A")
QVSM_MODEL(CSMElecCUC06H, CSMBase, 270, "CUC-06H(CUC-09H)")
QVSM_MODEL(CSMElecAcSws, CSMBase, 271, "QV-ELEC-ACSWS")
QVSM_MODEL(CSMElecXuanYue, CSMBase, 272, "QV-ElecXuanYue")
QVSM_MODEL(CSMElecCur, CSMBase, 273, "QV-PM485")
QVSM_MODEL(CSMElecCUC12H, CSMBase, 274, "Elec-CUC12H)")
QVSM_MODEL(CSMElecIDCA21x6, CSMBase, 276, "QV-SW-IDCA21")
QVSM_MODEL(CSMElecPS48600, CSMBase, 277, "Elec-PS48600)")
QVSM_MODEL(CSMElecM523S, CSMBase, 278, "SMELEC_M523S")
QVSM_MODEL(CSMElecPK6000, CSMBase, 279, "QV-ElecPK6000")
QVSM_MODEL(CSMElecGZVOX, CSMBase, 280, "QV-ElecGZVOX")
QVSM_MODEL(CSMElecRsu, CSMBase, 281, "QV-ElecRSU")

#endif
