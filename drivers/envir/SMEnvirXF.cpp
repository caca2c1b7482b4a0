#include "drivers/envir/SMEnvirXF.h"

namespace {
// One register per read: 101 temperature (tenths, signed), 102 humidity (tenths), then the
// channel registers 103-106, 119-122 (CH_Data1) and 129-134, 419 (CH_Data2).
const EnvirPoint kPoints[] = {
    {"Tem", "温度", 10, EV_ANALOG, 50, 350, "", 0, EV_S16},
    {"Hum", "湿度", 10, EV_ANALOG, 200, 800, "", 1},
    {"CH_Data1", "通道状态1", 1, EV_ANALOG, 0, 0, ""},
    {"CH_Data2", "通道状态2", 1, EV_ANALOG, 0, 0, ""},
};
const unsigned short kRegs[] = {101, 102, 103, 104, 105, 106, 119, 120, 121,
                                122, 129, 130, 131, 132, 133, 134, 419};
enum { READS = sizeof kRegs / sizeof kRegs[0], CH1_FIRST = 2, CH2_FIRST = 10 };

// Bit k set when word first + k is not 0.
int Flags(const unsigned short* w, int first, int end)
{
    int bits = 0;
    for (int i = first; i < end; ++i)
        if (w[i]) bits |= 1 << (i - first);
    return bits;
}
}  // namespace

CSMEnvirXF::CSMEnvirXF() : CSMEnvirBase(1301, {"QV-EnvirXF", "温湿度", "tbXF", {3, 101, 1}}, kPoints, 4) {}

int CSMEnvirXF::Requests(int, EnvirRead* out) const
{
    for (int i = 0; i < READS; ++i) out[i] = {3, kRegs[i], 1};
    return READS;
}

void CSMEnvirXF::Decode(const unsigned short* w, int nw, int* v) const
{
    CSMEnvirBase::Decode(w, nw, v);
    if (nw < READS) return;
    v[2] = Flags(w, CH1_FIRST, CH2_FIRST);
    v[3] = Flags(w, CH2_FIRST, READS);
}
