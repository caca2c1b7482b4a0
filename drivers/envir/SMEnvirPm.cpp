#include "drivers/envir/SMEnvirPm.h"

#include <cstdio>

namespace {
const EnvirPoint kPoints[] = {
    {"Pm", "PM2.5", 1, EV_ANALOG, 0, 75, "ug/m3", 0},  // ug/m3 as read
};
}  // namespace

CSMEnvirPm::CSMEnvirPm() : CSMEnvirBase(1282, {"QV-PM485", "粉尘", "tbEnvirPm", {3, 3, 1}}, kPoints, 1) {}

int CSMEnvirPm::Brief(char* out, int cap, const int* vals, const int*) const
{
    int n = std::snprintf(out, static_cast<size_t>(cap), "PM2.5:%d ug/m3", vals[0]);
    return n >= 0 && n < cap;
}
