#include "drivers/envir/SMEnvir.h"

#include <cstdio>
#include <cstring>

namespace {
const SMTypeDef kType = {1280, "温湿度 %s", "485接口,量程..."};

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

CSMEnvir::CSMEnvir() : CSMBase(1280)
{
    SetNote("QV-TH485");
    m_nDataCount = 4;
    m_pData = m_block;
}

int CSMEnvir::RegDb(IDbBase* db, int force)
{
    return RegDbRows(db, force, kType, kPoints, 2);
}

int CSMEnvir::ChkDb(tagSMItem* item)
{
    return ChkDbTable(item, kTable);
}

int CSMEnvir::DataVal(int fld)
{
    if (fld == 1) return m_tem;
    if (fld == 2) return m_hum;
    return -1;
}

int CSMEnvir::DataGet(ISerBase* port, int addr, int waitMs)
{
    Request rq = RequestOf(ItemVariant());
    unsigned char r[16];
    if (RtuRead(port, addr, rq.func, rq.reg, 2, waitMs, 100, r, sizeof r) < 0) return 0;
    unsigned short first = CBufHelper::wdFromBuf(r + 3);
    unsigned short second = CBufHelper::wdFromBuf(r + 5);
    m_tem = rq.humFirst ? second : first;
    m_hum = rq.humFirst ? first : second;
    CBufHelper::wdToBuf(m_block, m_tem);
    CBufHelper::wdToBuf(m_block + 2, m_hum);
    trace_log("RtLog", "[A%02d] SMEnvir: t=%d  h=%d \r\n", Item() ? Item()->Addr : addr, m_tem, m_hum);
    return 1;
}

int CSMEnvir::DataUpd(int flags, int* almBits, int*, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, nullptr, sid, 2);  // SnapID is always 0 here
    int iTem = PointState(almBits, 1);
    int iHum = PointState(almBits, 2);
    int tem = almBits ? m_tem : 0;
    int hum = almBits ? m_hum : 0;
    m_nFailCount = 0;

    UpdSubSys(u);
    const SMCol cols[] = {{"Tem", tem}, {"Hum", hum}, {"iTem", iTem}, {"iHum", iHum}};
    int r = UpdRow("tbEnvir", u, cols, 4);
    char brief[128];
    std::snprintf(brief, sizeof brief, "温度:%.1f %s,湿度:%.1f %s", tem * 0.1, StSuffix(iTem), hum * 0.1,
                  StSuffix(iHum));
    UpdBrief(u, brief);
    if (hist) r = InsHist(hist, "tbEnvir", u, cols, 4);
    return r == 0 ? 1 : 0;
}

int CSMEnvir::EvalTemHum(char* var, int tem, int hum)
{
    if (!var) return -1;
    int v;
    if (!std::strcmp(var, ".温度") || !std::strcmp(var, ".Tem"))
        v = tem;
    else if (!std::strcmp(var, ".湿度") || !std::strcmp(var, ".Hum"))
        v = hum;
    else
        return -1;
    char text[32];
    int n = std::snprintf(text, sizeof text, "%.1f", v / 10.0);
    std::memcpy(var, text, static_cast<size_t>(n) + 1);
    return n;
}

int CSMEnvir::VarEval(char* var)
{
    return EvalTemHum(var, m_tem, m_hum);
}
