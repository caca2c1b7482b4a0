// Listed models of the UPS units family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair. QVSM_UPS_MODEL lines
// read Modbus registers as their row in UpsReads.cpp describes; the CSMUpsBase models named
// only answer DataGet with 0; the CSMUps ones speak the ASCII query protocol.
#ifndef QVSM_DRIVERS_UPS_UPSMODELS_H
#define QVSM_DRIVERS_UPS_UPSMODELS_H

#include "base/SMBase.h"
#include "drivers/ups/SMSnmpUps.h"
#include "drivers/ups/SMUps.h"
#include "drivers/ups/SMUps5000.h"
#include "drivers/ups/SMUpsBase.h"
#include "drivers/ups/UpsReads.h"

QVSM_MODEL(CSMUpsEmerson, CSMUpsBase, 769, "QVUPS-EMERSON")
QVSM_MODEL(CSMUpsSmart, CSMBase, 771, "QV-UPSSMART")
QVSM_MODEL(CSMUpsSANTAK, CSMUps, 772, "QV-SANK")
QVSM_MODEL(CSMUpsIPGuard, CSMBase, 773, "QV-UPSIPG")
QVSM_MODEL(CSMUpsEast, CSMBase, 774, "QVUPS-EAST")
QVSM_MODEL(CSMUpsSymmetra, CSMBase, 775, "QVUPS-Symmetra")
QVSM_MODEL(CSMUpsEdxRt6, CSMBase, 776, "QV-UPSEDXRT6")
QVSM_MODEL(CSMUpsIII, CSMBase, 777, "UPS-III")
QVSM_MODEL(CSMUpsSentry, CSMBase, 778, "UPS-SENTRY")
QVSM_MODEL(CSMUpsHR7000, CSMBase, 779, "UPS-HR7000")
QVSM_MODEL(CSMUpsGX, CSMBase, 780, "UPS-GX")
QVSM_MODEL(CSMUpsAPM150, CSMBase, 781, "QV-APM150")
QVSM_MODEL(CSMUpsNMYG, CSMUps, 782, "QV-NMYG")
QVSM_MODEL(CSMUpsLink, CSMBase, 783, "QVUPS-EAST")
QVSM_MODEL(CSMUpsGXGD, CSMUps, 784, "QV-SANK")
QVSM_MODEL(CSMUpsITrustAdapt, CSMBase, 785, "QV-ITrustAdapt")
QVSM_MODEL(CSMUPS9EModbus, CSMBase, 786, "QV-9E")
QVSM_MODEL(CSMUpsAHP, CSMBase, 787, "QVUPS-AHP")
QVSM_MODEL(CSMUpsGXE, CSMBase, 788, "QV-GXE")
QVSM_UPS_MODEL(CSMUpsHTxx, 789, "QVUPS-HTxx-RMX", kUpsHTxx)
QVSM_UPS_MODEL(CSMUpsKstarModbus, 791, "QVUPS-KSTAR-Modbus", kUpsKstarModbus)
QVSM_UPS_MODEL(CSMUpsApcMegGalaxy5000, 792, "QVUPS-KSTAR-Modbus", kUpsApcMegGalaxy5000)
QVSM_MODEL(CSMUpsEA66, CSMUpsBase, 793, "QVUPS-AE66")
QVSM_MODEL(CSMUpsHipulseUSeries, CSMUpsBase, 794, "QVUPS-Hipulse-U Series")
QVSM_UPS_MODEL(CSMUpsMR33, 796, "QVUPS-MR33", kUpsMR33)
QVSM_MODEL(CSMUpsUR, CSMUpsBase, 797, "QV-UPS-UR")
QVSM_MODEL(CSMUpsDelta, CSMUpsBase, 799, "QV-UPS-Delta")
QVSM_UPS_MODEL(CSMUpsHL, 800, "QV-UPS-HL", kUpsHL)
QVSM_UPS_MODEL(CSMUpsMdCard, 801, "QV-UPS-MdCard", kUpsMdCard)
QVSM_MODEL(CSMUpsUL33, CSMUpsBase, 802, "QVUPS-UL33")
QVSM_MODEL(CSMSnmpUpsZh20kl, CSMUpsBase, 803, "QV-UPS-ZH20KL")
QVSM_UPS_MODEL(CSMUpsModbusAdapter, 805, "QV-UPS-ModbusAdapter", kUpsModbusAdapter)
QVSM_UPS_MODEL(CSMUpsGP3340KS, 806, "QV-UPS-GP3340KS", kUpsGP3340KS)
QVSM_UPS_MODEL(CSMUpsYC, 809, "QV-UPS-HL", kUpsYC)
QVSM_UPS_MODEL(CSMUpsHiplant, 810, "QVUPS-Hiplant", kUpsHiplant)
QVSM_UPS_MODEL(CSMUpsHZZY, 811, "QV-UPS-HZZY", kUpsHZZY)
QVSM_MODEL(CSMSnmpUpsWebpow, CSMUpsBase, 812, "QV-UPS-WEBPOW")
QVSM_MODEL(CSMUpsKstarHipower, CSMUpsBase, 813, "QV-UPS-KSTARHIPOWER")
QVSM_UPS_MODEL(CSMUpsKRB3320, 814, "QVUPS-KR/B3320~120", kUpsKRB3320)
QVSM_MODEL(CSMUpsDELPHYS, CSMUpsBase, 815, "QV-UPS-DELPHYS")
QVSM_MODEL(CSMUpsKstarYDC9230, CSMUpsBase, 816, "QV-UPS-KSTARYDC9230")
QVSM_MODEL(CSMUpsDSM, CSMUpsBase, 817, "QV-UPS-DSM")
QVSM_UPS_MODEL(CSMUpsSZAY, 818, "QV-UPS-SZAY", kUpsSZAY)
QVSM_MODEL(CSMUpsXcp, CSMUpsBase, 819, "QV-UPS-XCP")
QVSM_MODEL(CSMBattIBAT, CSMBase, 822, "QV-UpsIBAT")
QVSM_MODEL(CSMUpsEYT, CSMBase, 823, "QV-UpsEYT")

#endif
