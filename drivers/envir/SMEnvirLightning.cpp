#include "drivers/envir/SMEnvirLightning.h"

namespace {
// 262 and 263: the two alarm sensors; 264 is not used; 265: the protector's loss alarm.
const EnvirPoint kPoints[] = {
    OnOffPoint("AlmSen1", "防雷告警1", 0),
    OnOffPoint("AlmSen2", "防雷告警2", 1),
    OnOffPoint("AlmLost", "防雷器失效", 3),
};
}  // namespace

CSMEnvirLightning::CSMEnvirLightning()
    : CSMEnvirBase(1289, {"QV-TH485", "温湿度", "tbEnvirLightning", {3, 262, 4}}, kPoints, 3)
{
}
