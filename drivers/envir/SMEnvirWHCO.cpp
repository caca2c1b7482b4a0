#include "drivers/envir/SMEnvirWHCO.h"

namespace {
const EnvirPoint kPoints[] = {
    {"m_iCO", "一氧化碳", 1, EV_ANALOG, 0, 24, "ppm", 0},  // ppm as read
};
}  // namespace

CSMEnvirWHCO::CSMEnvirWHCO() : CSMEnvirBase(1305, {"QV-EnvirWHCO", "SMENVIR_WHCO", "tbEnvirWHCO", {3, 6, 1}}, kPoints, 1)
{
}
