#include "drivers/envir/SMEnvireFire.h"

namespace {
// Registers 14-19: channel number, residual current (mA), temperature (tenths, signed),
// status word, fault flag, fire alarm flag.
const EnvirPoint kPoints[] = {
    {"CH", "通道", 1, EV_NOCHK, 0, 0, "", 0},
    {"Cur", "剩余电流", 1, EV_ANALOG, 0, 300, "mA", 1},
    {"Tem", "温度", 10, EV_ANALOG, 0, 700, "", 2, EV_S16},
    {"st", "状态", 1, EV_NOCHK, 0, 0, "", 3},
    OnOffPoint("bSt", "故障", 4),
    OnOffPoint("bAlm", "火警", 5),
};
}  // namespace

CSMEnvireFire::CSMEnvireFire() : CSMEnvirBase(1311, {"QV-Fire", "火灾探测器", "tbEnvirFire", {3, 14, 6}}, kPoints, 6)
{
}
