#include "drivers/envir/SMEnvirYS8159B.h"

namespace {
const EnvirPoint kPoints[] = {
    {"Fan", "风速", 10, EV_ANALOG, 0, 200, "m/s", 0},  // tenths of m/s
};
}  // namespace

CSMEnvirYS8159B::CSMEnvirYS8159B()
    : CSMEnvirBase(1285, {"QV-YS8159B", "YS8159B风速传感器", "tbEnvirYS8159B", {3, 0, 1}}, kPoints, 1)
{
}

int CSMEnvirYS8159B::Requests(int variant, EnvirRead* out) const
{
    if (variant != 1) return CSMEnvirBase::Requests(variant, out);
    out[0] = {4, 0, 1};
    return 1;
}
