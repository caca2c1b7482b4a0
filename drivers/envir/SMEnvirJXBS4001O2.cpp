#include "drivers/envir/SMEnvirJXBS4001O2.h"

namespace {
const EnvirPoint kPoints[] = {
    {"m_iO2", "氧气浓度", 10, EV_ANALOG, 195, 235, "%VOL", 6},  // register 6, tenths of %VOL
};
}  // namespace

CSMEnvirJXBS4001O2::CSMEnvirJXBS4001O2()
    : CSMEnvirBase(1304, {"QV-EnvirJXBS4001O2", "SMENVIR_JXBS4001O2", "tbEnvirJXBS4001O2", {3, 0, 7}}, kPoints, 1)
{
}
