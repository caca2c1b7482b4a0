#include "drivers/envir/SMEnvirT3.h"

#include <cstdio>

namespace {
enum { CHANNELS = 24, TEM_REG = 1133, VOL_REG = 1157, INVALID = 32761 };

// Tem1..Tem24 in tenths of a degree, then Vol1..Vol24 in mV (shown in V).
struct T3Points {
    char names[2 * CHANNELS][8];
    char notes[2 * CHANNELS][16];
    EnvirPoint points[2 * CHANNELS];
    T3Points()
    {
        for (int i = 0; i < 2 * CHANNELS; ++i) {
            bool tem = i < CHANNELS;
            int ch = i % CHANNELS + 1;
            std::snprintf(names[i], sizeof names[i], "%s%d", tem ? "Tem" : "Vol", ch);
            std::snprintf(notes[i], sizeof notes[i], "%s%d", tem ? "温度" : "电压", ch);
            points[i] = tem ? EnvirPoint{names[i], notes[i], 10, EV_ANALOG, 50, 350, ""}
                            : EnvirPoint{names[i], notes[i], 1000, EV_ANALOG, 0, 60000, "V"};
        }
    }
};

const EnvirPoint* Points()
{
    static const T3Points t3;
    return t3.points;
}

int Valid(unsigned short w)
{
    return w >= INVALID ? 0 : w;
}
}  // namespace

CSMEnvirT3::CSMEnvirT3()
    : CSMEnvirBase(1286, {"QV-T3", "温湿度", "tbEnvirT3", {3, TEM_REG, CHANNELS}}, Points(), 2 * CHANNELS)
{
}

int CSMEnvirT3::Channels() const
{
    int v = ItemVariant();
    if (v < 2) return CHANNELS;
    return v > CHANNELS ? CHANNELS : v;
}

int CSMEnvirT3::Requests(int, EnvirRead* out) const
{
    unsigned short n = static_cast<unsigned short>(Channels());
    out[0] = {3, TEM_REG, n};
    out[1] = {3, VOL_REG, n};
    return 2;
}

void CSMEnvirT3::Decode(const unsigned short* w, int nw, int* v) const
{
    // Temperatures first, then as many voltages; channels not read stay 0.
    int n = nw / 2;
    for (int i = 0; i < n; ++i) {
        v[i] = Valid(w[i]);
        v[CHANNELS + i] = Valid(w[n + i]);
    }
}

bool CSMEnvirT3::InBrief(int i) const
{
    return i % CHANNELS < Channels();
}
