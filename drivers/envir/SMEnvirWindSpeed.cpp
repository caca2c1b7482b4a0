#include "drivers/envir/SMEnvirWindSpeed.h"

namespace {
const EnvirPoint kPoints[] = {
    {"mData", "风速", 10, EV_ANALOG, 0, 200, "m/s", 0},  // tenths of m/s
};
}  // namespace

CSMEnvirWindSpeed::CSMEnvirWindSpeed()
    : CSMEnvirBase(1307, {"QV-EnvirWindSpeed", "SMENVIR_WINDSPEED", "tbEnvirWindSpeed", {3, 0, 1}}, kPoints, 1)
{
}
