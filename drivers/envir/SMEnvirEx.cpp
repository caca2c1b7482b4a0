#include "drivers/envir/SMEnvirEx.h"

#include <cstdlib>
#include <cstring>

namespace {
const char kTemLo[] = "最小值|允许最低温度,低于此值告警";
const char kTemHi[] = "最大值|允许最高温度,超过此值告警";
const char kHumLo[] = "最小值|允许最低湿度,低于此值告警";
const char kHumHi[] = "最大值|允许最高湿度,超过此值告警";

const SMPointDef kPoints[] = {
    {0, 1, "Tem", 1, "温度值", 0, 10, 10, 300, kTemLo, 380, kTemHi, 0},
    {0, 2, "Hum", 1, "湿度值", 0, 10, 10, 350, kHumLo, 780, kHumHi, 0},
    {0, 3, "TemRate", 1, "温度变化率", 0, 10, 10, 0, kTemLo, 80, kTemHi, 0},
    {0, 4, "HumRate", 1, "湿度变化率", 0, 10, 10, 0, kHumLo, 80, kHumHi, 0},
};

const SMTableDef kTable = {"tbEnvirEx",
                           "Tem INTEGER,Hum INTEGER,iTem INTEGER,iHum INTEGER,"
                           "TemRate INTEGER,HumRate INTEGER,iTemRate INTEGER,iHumRate INTEGER"};

// 5 header bytes, Tem, Hum, ..., checksum; a 9-byte reply passes (its checksum is Hum's high byte).
enum { REPLY_CAP = 120, REPLY_MIN = 9 };

// A reply of the probe: C1, the request's address and command, ending with the byte sum.
class CExRule : public CSMReplyRule {
public:
    CExRule(int addr, int cmd) : m_addr(addr & 0xFF), m_cmd(cmd & 0xFF) {}
    int Judge(const unsigned char* p, int n, bool end) const override
    {
        if (n < 1) return end ? SKIP : MORE;
        if (p[0] != 0xC1) return SKIP;
        if (n < 3) return end ? SKIP : MORE;
        if (p[1] != m_addr || p[2] != m_cmd) return SKIP;
        if (n >= REPLY_MIN && (CBufHelper::sum(p, n - 1) & 0xFF) == p[n - 1]) return n;
        return end ? SKIP : MORE;
    }

private:
    int m_addr, m_cmd;
};
}  // namespace

CSMEnvirEx::CSMEnvirEx() : CSMEnvirTHBase(1293, kPoints, 4, kTable, ", ") {}

int CSMEnvirEx::ChkDb(tagSMItem* item)
{
    // Nothing is reset when there is no database to check.
    if (item && (Db() || Db2())) {
        m_prevTem[item->SID] = 0;
        m_prevHum[item->SID] = 0;
    }
    return CSMEnvirTHBase::ChkDb(item);
}

int CSMEnvirEx::CmdPack(unsigned char* buf, unsigned char addr, unsigned char cmd, unsigned short param,
                        unsigned char* data, unsigned short len)
{
    if (!buf) return 0;
    if (!data) len = 0;
    if (7 + len > CMD_SIZE) return 0;
    int n = 0;
    buf[n++] = 0xC1;
    buf[n++] = addr;
    buf[n++] = cmd;
    buf[n++] = static_cast<unsigned char>(param & 0xFF);
    buf[n++] = static_cast<unsigned char>(param >> 8);
    if (len) std::memcpy(buf + n, data, len);
    n += len;
    buf[n++] = 0x55;
    buf[n] = static_cast<unsigned char>(CBufHelper::sum(buf, n) & 0xFF);
    return n + 1;
}

int CSMEnvirEx::DataGet(ISerBase* port, int addr, int waitMs)
{
    int len = CmdPack(m_cmdBuf, static_cast<unsigned char>(addr & 0xFF), 1, 0, nullptr, 0);
    unsigned char r[REPLY_CAP];
    int n = Exchange(port, m_cmdBuf, len, ReplyPauseUs(waitMs, 200), r, REPLY_CAP, CExRule(addr, 1));
    // The values sit at offsets 5..8, so a reply needs at least those and the checksum.
    if (n < REPLY_MIN) return 0;
    if ((CBufHelper::sum(r, n - 1) & 0xFF) != r[n - 1]) return 0;
    const int tem = static_cast<short>(CBufHelper::wdFromBufLH(r + 5));
    const int hum = static_cast<short>(CBufHelper::wdFromBufLH(r + 7));
    SetTemHum(tem, hum);

    int sid = ItemSid();
    int& prevTem = m_prevTem[sid];
    int& prevHum = m_prevHum[sid];
    if (prevTem == 0 && prevHum == 0) {
        prevTem = tem;
        prevHum = hum;
    }
    m_val[2] = static_cast<unsigned short>(std::abs(tem - prevTem));
    m_val[3] = static_cast<unsigned short>(std::abs(hum - prevHum));
    prevTem = tem;
    prevHum = hum;
    return 1;
}

void CSMEnvirEx::OnFault(int sid)
{
    // The next good poll starts the rates afresh.
    m_val[0] = 0;
    m_val[1] = 0;
    m_prevTem[sid] = 0;
    m_prevHum[sid] = 0;
}
