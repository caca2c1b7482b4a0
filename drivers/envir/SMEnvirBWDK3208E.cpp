#include "drivers/envir/SMEnvirBWDK3208E.h"

namespace {
// Words: coils 0-3 (0-3), input registers 0-3 (4-7, phase A, B, C and the unused channel D),
// holding registers 0-1 (8-9, fan start and over-temperature settings). Tenths of a degree.
const EnvirPoint kPoints[] = {
    {"TemA", "A相温度", 10, EV_ANALOG, 0, 1300, "", 4},
    {"TemB", "B相温度", 10, EV_ANALOG, 0, 1300, "", 5},
    {"TemC", "C相温度", 10, EV_ANALOG, 0, 1300, "", 6},
    {"iSw", "风机开关", 1, EV_NOCHK, 0, 0, "", 0, EV_BIT},
    OnOffPoint("iErr", "故障", 1),
    OnOffPoint("iTh", "超温跳闸", 2),
    {"iFan", "风机运行", 1, EV_NOCHK, 0, 0, "", 3, EV_BIT},
    {"TemH", "超温设定", 10, EV_NOCHK, 0, 0, "", 9},
};
const EnvirRead kReads[] = {{1, 0, 4}, {4, 0, 4}, {3, 0, 2}};
}  // namespace

CSMEnvirBWDK3208E::CSMEnvirBWDK3208E()
    : CSMEnvirBase(1292, {"QV-BWDK3208E", "干式变压器电子温湿度", "tbEnvirBWDK3208E", kReads[0]}, kPoints, 8)
{
}

int CSMEnvirBWDK3208E::Requests(int, EnvirRead* out) const
{
    return CopyReads(kReads, 3, out);
}
