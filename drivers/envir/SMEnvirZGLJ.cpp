#include "drivers/envir/SMEnvirZGLJ.h"

namespace {
// Input registers 100-105 in point order; 106-115 are not used.
const EnvirPoint kPoints[] = {
    OnOffPoint("St", "运行状态", 0),
    {"Age", "劣化程度", 1, EV_ANALOG, 0, 80, "%", 1},
    OnOffPoint("Alm", "告警", 2),
    {"AlmCnt", "告警次数", 1, EV_NOCHK, 0, 0, "", 3},
    {"LyNum", "雷击次数", 1, EV_NOCHK, 0, 0, "", 4},
    {"LangY", "浪涌电流", 10, EV_NOCHK, 0, 0, "kA", 5},  // tenths of kA
};
}  // namespace

CSMEnvirZGLJ::CSMEnvirZGLJ() : CSMEnvirBase(1312, {"QV-ZGLJ", "智能防雷器ZGLJ", "tbEnvirZGLJ", {4, 100, 16}}, kPoints, 6)
{
}
