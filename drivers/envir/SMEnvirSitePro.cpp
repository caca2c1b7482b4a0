#include "drivers/envir/SMEnvirSitePro.h"

namespace {
// Holding registers per group: 0-1 temperature/humidity, 16-17 leak, 32-35 digital inputs,
// 48-51 air conditioner; joined in that order into words 0-11. Tenths where scaled.
const EnvirPoint kPoints[] = {
    {"Tem", "温度", 10, EV_ANALOG, 50, 350, "", 0, EV_S16, 1},
    {"Hum", "湿度", 10, EV_ANALOG, 200, 800, "", 1, EV_U16, 1},
    OnOffPoint("Leak1", "漏水1", 2, 2),
    OnOffPoint("Leak2", "漏水2", 3, 2),
    OnOffPoint("Di1", "开关量1", 4, 3),
    OnOffPoint("Di2", "开关量2", 5, 3),
    OnOffPoint("Di3", "开关量3", 6, 3),
    OnOffPoint("Di4", "开关量4", 7, 3),
    {"AircSt", "空调开机", 1, EV_NOCHK, 0, 0, "", 8, EV_BIT, 4},
    {"AircTem", "回风温度", 10, EV_ANALOG, 50, 350, "", 9, EV_S16, 4},
    {"AircSet", "设定温度", 10, EV_NOCHK, 0, 0, "", 10, EV_S16, 4},
    OnOffPoint("AircAlm", "空调告警", 11, 4),
};
const EnvirRead kReads[] = {{3, 0, 2}, {3, 16, 2}, {3, 32, 4}, {3, 48, 4}};
const EnvirTable kTables[] = {
    {"tbSitePro", -1},  // the device row: state only
    {"tbSiteProTemHum", 1},
    {"tbSiteProLeak", 2},
    {"tbSiteProDi", 3},
    {"tbSiteProAirc", 4},
};
const char* const kTitles[] = {"温湿度", "漏水", "开关量", "通用空调"};

enum { MBAP = 6, HEAD = 9 };  // bytes before the unit id's length count; before the data
}  // namespace

CSMEnvirSitePro::CSMEnvirSitePro()
    : CSMEnvirBase(1288, {"QV-Env-SitePro", "温湿度", "tbSitePro", kReads[0]}, kPoints, 12)
{
    m_iface = "网络接口";
    SetTables(kTables, 5);
    SetGroupTitles(kTitles, 4);
}

int CSMEnvirSitePro::Requests(int, EnvirRead* out) const
{
    return CopyReads(kReads, 4, out);
}

int CSMEnvirSitePro::ReadWords(ISerBase* port, int addr, const EnvirRead& rq, int waitMs, unsigned short* w)
{
    // Modbus TCP: no CRC, so the header must echo the request and carry the right lengths.
    unsigned short id = ++m_transId;
    unsigned char unit = static_cast<unsigned char>(addr & 0xFF);
    int len = ModBusTcpCmd(id, unit, rq.func, rq.reg, rq.count);
    int want = HEAD + 2 * rq.count;
    unsigned char r[REPLY_CAP];
    if (want > REPLY_CAP) return 0;
    int n = Exchange(port, m_cmdBuf, len, ReplyPauseUs(waitMs, DEFAULT_PAUSE_MS), r, REPLY_CAP,
                     CSMTcpRule(id, unit, rq.func, 2 * rq.count));
    if (n != want) return 0;
    if (CBufHelper::wdFromBuf(r) != id || CBufHelper::wdFromBuf(r + 2) != 0 ||
        CBufHelper::wdFromBuf(r + 4) != want - MBAP || r[6] != unit || r[7] != rq.func || r[8] != 2 * rq.count)
        return 0;
    for (int i = 0; i < rq.count; ++i) w[i] = CBufHelper::wdFromBuf(r + HEAD + 2 * i);
    return 1;
}
