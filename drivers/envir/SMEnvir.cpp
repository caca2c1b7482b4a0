#include "drivers/envir/SMEnvir.h"

namespace {
const SMPointDef kPoints[] = {
    {0, 1, "Tem", 1, "温度值", 0, 10, 6, 300, "最小值|允许最低温度,低于此值告警", 380,
     "最大值|允许最高温度,超过此值告警", 0},
    {0, 2, "Hum", 1, "湿度值", 0, 10, 6, 350, "最小值|允许最低湿度,低于此值告警", 780,
     "最大值|允许最高湿度,超过此值告警", 0},
};

const SMTableDef kTable = {"tbEnvir", "Tem INTEGER,Hum INTEGER,iTem INTEGER,iHum INTEGER"};

// Per Variant: Modbus function, first register, and whether the reply starts with humidity.
struct Request {
    unsigned char func;
    unsigned short reg;
    bool humFirst;
};

Request RequestOf(int variant)
{
    switch (variant) {
    case 0: return {3, 0, true};
    case 1: return {4, 0, false};
    case 3: return {4, 0, true};
    case 4: return {3, 1, false};
    default: return {3, 0, false};
    }
}
}  // namespace

CSMEnvir::CSMEnvir() : CSMEnvirTHBase(1280, kPoints, 2, kTable, ",") {}

int CSMEnvir::DataGet(ISerBase* port, int addr, int waitMs)
{
    Request rq = RequestOf(ItemVariant());
    unsigned char r[16];
    if (RtuRead(port, addr, rq.func, rq.reg, 2, waitMs, 100, r, sizeof r) < 0) return 0;
    // Unsigned as read: a negative temperature shows as a large number.
    unsigned short first = CBufHelper::wdFromBuf(r + 3);
    unsigned short second = CBufHelper::wdFromBuf(r + 5);
    SetTemHum(rq.humFirst ? second : first, rq.humFirst ? first : second);
    trace_log("RtLog", "[A%02d] SMEnvir: t=%d  h=%d \r\n", Item() ? Item()->Addr : addr, m_val[0], m_val[1]);
    return 1;
}
