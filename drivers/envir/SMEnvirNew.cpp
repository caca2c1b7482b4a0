#include "drivers/envir/SMEnvirNew.h"

namespace {
// Register 0 humidity, register 1 temperature (signed), both in tenths.
const EnvirPoint kPoints[] = {
    {"Tem", "温度", 10, EV_ANALOG, 50, 350, "", 1, EV_S16},
    {"Hum", "湿度", 10, EV_ANALOG, 200, 800, "", 0},
};
}  // namespace

CSMEnvirNew::CSMEnvirNew() : CSMEnvirBase(1309, {"QV-EnvirNew", "温湿度", "tbEnvirNew", {3, 0, 2}}, kPoints, 2) {}
