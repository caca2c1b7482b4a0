#include "drivers/envir/SMEnvirETCR2900.h"

namespace {
// Milliohms, one register per channel.
const EnvirPoint kPoints[] = {
    {"ResData1", "接地电阻1", 1000, EV_ANALOG, 0, 4000, "Ω", 0},
    {"ResData2", "接地电阻2", 1000, EV_ANALOG, 0, 4000, "Ω", 1},
    {"ResData3", "接地电阻3", 1000, EV_ANALOG, 0, 4000, "Ω", 2},
    {"ResData4", "接地电阻4", 1000, EV_ANALOG, 0, 4000, "Ω", 3},
    {"ResData5", "接地电阻5", 1000, EV_ANALOG, 0, 4000, "Ω", 4},
};
}  // namespace

CSMEnvirETCR2900::CSMEnvirETCR2900()
    : CSMEnvirBase(1302, {"QV-ENVIR-ETCR2900", "接地电阻监测", "tbEnirETCR2900", {3, 1, 5}}, kPoints, 5)
{
}
