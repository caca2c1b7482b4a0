// Listed models of the environment sensors family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_ENVIR_ENVIRMODELS_H
#define QVSM_DRIVERS_ENVIR_ENVIRMODELS_H

#include "base/SMBase.h"
#include "drivers/envir/SMEnvir.h"
#include "drivers/envir/SMEnvirBWDK3208E.h"
#include "drivers/envir/SMEnvirCPL.h"
#include "drivers/envir/SMEnvirETCR2900.h"
#include "drivers/envir/SMEnvirEx.h"
#include "drivers/envir/SMEnvirJXBS3001QY.h"
#include "drivers/envir/SMEnvirJXBS4001O2.h"
#include "drivers/envir/SMEnvirJxbs.h"
#include "drivers/envir/SMEnvirLaserPM.h"
#include "drivers/envir/SMEnvirLightning.h"
#include "drivers/envir/SMEnvirNHFS45.h"
#include "drivers/envir/SMEnvirNew.h"
#include "drivers/envir/SMEnvirO3.h"
#include "drivers/envir/SMEnvirPm.h"
#include "drivers/envir/SMEnvirSitePro.h"
#include "drivers/envir/SMEnvirT3.h"
#include "drivers/envir/SMEnvirVoice.h"
#include "drivers/envir/SMEnvirWHCO.h"
#include "drivers/envir/SMEnvirWindDir.h"
#include "drivers/envir/SMEnvirWindSpeed.h"
#include "drivers/envir/SMEnvirXF.h"
#include "drivers/envir/SMEnvirYS8159B.h"
#include "drivers/envir/SMEnvirZGLJ.h"
#include "drivers/envir/SMEnvireFire.h"

#endif
