#include "drivers/envir/SMEnvirNHFS45.h"

namespace {
const EnvirPoint kPoints[] = {
    {"Fan", "风速", 10, EV_ANALOG, 0, 200, "m/s", 0},  // tenths of m/s
};
}  // namespace

CSMEnvirNHFS45::CSMEnvirNHFS45()
    : CSMEnvirBase(1283, {"QV-NHFS45", "NHFS45风速传感器", "tbEnvirNHFS45", {4, 6, 1}}, kPoints, 1)
{
}

int CSMEnvirNHFS45::Requests(int variant, EnvirRead* out) const
{
    if (variant != 1) return CSMEnvirBase::Requests(variant, out);
    out[0] = {3, 0, 1};
    return 1;
}
