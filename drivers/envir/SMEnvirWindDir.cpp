#include "drivers/envir/SMEnvirWindDir.h"

namespace {
const EnvirPoint kPoints[] = {
    {"mData", "角度", 10, EV_NOCHK, 0, 3600, "°", 0},  // tenths of a degree, 0-3600
};
}  // namespace

CSMEnvirWindDir::CSMEnvirWindDir()
    : CSMEnvirBase(1308, {"QV-EnvirWindDir", "SMENVIR_WINDDIR", "tbEnvirWindDir", {3, 0, 1}}, kPoints, 1)
{
}
