#include "drivers/dio/SMDioIMX6ULAI.h"

#include "base/SMArith.h"
#include "base/SMBoard.h"

namespace {
const char* const kRaw[2] = {"/sys/bus/iio/devices/iio:device0/in_voltage5_raw",
                             "/sys/bus/iio/devices/iio:device0/in_voltage9_raw"};
}

CSMDioIMX6ULAI::CSMDioIMX6ULAI() : CSMDioBase(2320)
{
    SetNote("AI-IMX6");
    m_nChannels = m_nInputs = m_nDataCount = 2;
}

int CSMDioIMX6ULAI::ChkDef(IDbBase* db, int force)
{
    if (!NeedDef(db, force)) return 0;
    return InsertChannelRows(db, 2, "模拟输入", 100, 6, 0, "最小值|低于此值告警", 20000, "最大值|超过此值告警");
}

int CSMDioIMX6ULAI::Scale(long raw, int variant)
{
    double v = static_cast<double>(raw) / 4095 * 3.3;
    switch (variant % 128 % 10) {
    case 1: return SMScale(v * 4, 100);
    case 2: return SMScale(v, 100);
    default: return SMScale(v / 150 * 1000, 100);
    }
}

int CSMDioIMX6ULAI::DataGet(ISerBase*, int, int)
{
    long raw[2];
    for (int i = 0; i < 2; ++i)
        if (!SMReadIntFile(kRaw[i], &raw[i])) return 0;
    m_rec[0] = 0;
    for (int i = 0; i < 2; ++i) m_rec[1 + i] = Scale(raw[i], ItemVariant());
    return 1;
}
