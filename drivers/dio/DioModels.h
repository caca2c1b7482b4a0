// Listed models of the digital and analogue I/O modules family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_DIO_DIOMODELS_H
#define QVSM_DRIVERS_DIO_DIOMODELS_H

#include "base/SMBase.h"
#include "drivers/dio/SMDio.h"
#include "drivers/dio/SMDioA9DI16.h"
#include "drivers/dio/SMDioBase.h"
#include "drivers/dio/SMDioIMX6ULAI.h"
#include "drivers/dio/SMDioPd2206.h"
#include "drivers/dio/SMDioW70XX.h"

QVSM_MODEL_MASK(CSMDioFd220, CSMDioBase, 2306, "QV-FD220", 32)
QVSM_MODEL_MASK(CSMDioAd5Da5, CSMDioBase, 2309, "QV-AD5DA5", 85)
QVSM_MODEL_MASK(CSMDioRd230, CSMDioBase, 2310, "DI-RD230", 36)
QVSM_MODEL_MASK(CSMDioKW7, CSMDioBase, 2311, "QV-KW7", 166)
QVSM_MODEL(CSMDioMlan7vxpxj, CSMBase, 2313, "QV-MLAN-7VXPXJ")
QVSM_MODEL_MASK(CSMDioAd5Da5Ivc, CSMDioBase, 2314, "QV-AD5DA5-IVC", 85)
QVSM_MODEL(CSMDioW7017_Huawei, CSMDioBase, 2315, "W7017_Huawei")
QVSM_MODEL(CSMDioAdBle_Huawei, CSMDioBase, 2316, "AdBle_Huawei")
QVSM_MODEL_MASK(CSMDioA9AI, CSMDioBase, 2317, "AI-A9", 4)
QVSM_MODEL_MASK(CSMDioAI8, CSMDioBase, 2318, "QVAX-AI8", 8)
QVSM_MODEL_MASK(CSMDioR600AI, CSMDioBase, 2322, "AI-R600", 4)

#endif
