// Listed models of the cameras family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_CAMERA_CAMERAMODELS_H
#define QVSM_DRIVERS_CAMERA_CAMERAMODELS_H

#include "base/SMBase.h"
#include "drivers/camera/SMCamera.h"

#endif
