#include "drivers/envir/SMEnvirVoice.h"

namespace {
const EnvirPoint kPoints[] = {
    {"iVoice", "噪声", 10, EV_ANALOG, 0, 700, "dB", 0},  // tenths of dB
};
}  // namespace

CSMEnvirVoice::CSMEnvirVoice()
    : CSMEnvirBase(1306, {"QV-EnvirVoice", "SMENVIR_VOICE", "tbEnvirVoice", {3, 12, 1}}, kPoints, 1)
{
}
