#include "drivers/envir/SMEnvirO3.h"

namespace {
const EnvirPoint kPoints[] = {
    {"O3", "臭氧", 1000, EV_ANALOG, 0, 200, "ppm", 0},  // ppb, shown in ppm
};
}  // namespace

CSMEnvirO3::CSMEnvirO3() : CSMEnvirBase(1291, {"QV-O3", "O3", "tbEnvirO3", {3, 548, 1}}, kPoints, 1) {}

int CSMEnvirO3::Requests(int variant, EnvirRead* out) const
{
    if (variant == 0) return CSMEnvirBase::Requests(variant, out);
    out[0] = {3, 5, 2};
    return 1;
}

void CSMEnvirO3::Decode(const unsigned short* w, int nw, int* v) const
{
    // Register 548 holds ppb in one word; registers 5-6 as a 32-bit value, high word first.
    v[0] = nw >= 2 ? static_cast<int>((static_cast<unsigned>(w[0]) << 16) | w[1]) : w[0];
}
