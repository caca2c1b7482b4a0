#include "drivers/envir/SMEnvirEx.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drivers/envir/SMEnvir.h"

namespace {
const SMTypeDef kType = {1280, "温湿度 %s", "485接口,量程..."};

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

enum { REPLY_CAP = 120, REPLY_MIN = 10 };  // 5 header bytes, Tem, Hum, ..., checksum
}  // namespace

CSMEnvirEx::CSMEnvirEx() : CSMBase(1293)
{
    SetNote("QV-TH485");
    m_nDataCount = 4;
    m_pData = m_block;
}

int CSMEnvirEx::RegDb(IDbBase* db, int force)
{
    return RegDbRows(db, force, kType, kPoints, 4);
}

int CSMEnvirEx::ChkDb(tagSMItem* item)
{
    if (item) {
        m_prevTem[item->SID] = 0;
        m_prevHum[item->SID] = 0;
    }
    return ChkDbTable(item, kTable);
}

int CSMEnvirEx::DataVal(int fld)
{
    switch (fld) {
    case 1: return m_tem;
    case 2: return m_hum;
    case 3: return m_temRate;
    case 4: return m_humRate;
    default: return -1;
    }
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
    int n = Exchange(port, m_cmdBuf, len, ReplyPauseUs(waitMs, 200), r, REPLY_CAP);
    // The values sit at offsets 5..8, so a reply needs at least those and the checksum.
    if (n < REPLY_MIN) return 0;
    if ((CBufHelper::sum(r, n - 1) & 0xFF) != r[n - 1]) return 0;
    m_tem = static_cast<short>(CBufHelper::wdFromBufLH(r + 5));
    m_hum = static_cast<short>(CBufHelper::wdFromBufLH(r + 7));
    CBufHelper::wdToBuf(m_block, static_cast<unsigned short>(m_tem));
    CBufHelper::wdToBuf(m_block + 2, static_cast<unsigned short>(m_hum));

    int sid = ItemSid();
    int& prevTem = m_prevTem[sid];
    int& prevHum = m_prevHum[sid];
    if (prevTem == 0 && prevHum == 0) {
        prevTem = m_tem;
        prevHum = m_hum;
    }
    m_temRate = static_cast<unsigned short>(std::abs(m_tem - prevTem));
    m_humRate = static_cast<unsigned short>(std::abs(m_hum - prevHum));
    prevTem = m_tem;
    prevHum = m_hum;
    return 1;
}

int CSMEnvirEx::DataUpd(int flags, int* almBits, int*, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, nullptr, sid, 4);  // SnapID is always 0 here
    int st[4];
    for (int i = 0; i < 4; ++i) st[i] = PointState(almBits, i + 1);
    int tem = almBits ? m_tem : 0;
    int hum = almBits ? m_hum : 0;
    int temRate = almBits ? m_temRate : 0;
    int humRate = almBits ? m_humRate : 0;
    if (u.state == SM_ST_FAULT) {  // the next good poll starts the rates afresh
        m_tem = 0;
        m_hum = 0;
        m_prevTem[u.sid] = 0;
        m_prevHum[u.sid] = 0;
    }
    m_nFailCount = 0;

    UpdSubSys(u);
    const SMCol cols[] = {{"Tem", tem},         {"Hum", hum},         {"iTem", st[0]},     {"iHum", st[1]},
                          {"TemRate", temRate}, {"HumRate", humRate}, {"iTemRate", st[2]}, {"iHumRate", st[3]}};
    int r = UpdRow("tbEnvirEx", u, cols, 8);
    char brief[256];
    std::snprintf(brief, sizeof brief, "温度:%.1f %s, 湿度:%.1f %s, 温度变化率:%.1f %s, 湿度变化率:%.1f %s",
                  tem * 0.1, StSuffix(st[0]), hum * 0.1, StSuffix(st[1]), temRate * 0.1, StSuffix(st[2]),
                  humRate * 0.1, StSuffix(st[3]));
    UpdBrief(u, brief);
    if (hist) r = InsHist(hist, "tbEnvirEx", u, cols, 8);
    return r == 0 ? 1 : 0;
}

int CSMEnvirEx::VarEval(char* var)
{
    return CSMEnvir::EvalTemHum(var, m_tem, m_hum);
}
