#include "drivers/envir/SMEnvirLaserPM.h"

namespace {
const EnvirPoint kPoints[] = {
    {"Pm1_0", "PM1.0", 1, EV_ANALOG, 0, 50, "ug/m3", 0},  // ug/m3 as read
    {"Pm2_5", "PM2.5", 1, EV_ANALOG, 0, 75, "ug/m3", 1},
    {"Pm10_0", "PM10", 1, EV_ANALOG, 0, 150, "ug/m3", 2},
};
}  // namespace

CSMEnvirLaserPM::CSMEnvirLaserPM()
    : CSMEnvirBase(1284, {"QV-LaserPM", "激光粉尘变送器", "tbEnvirLaserPM", {3, 0, 3}}, kPoints, 3)
{
}
