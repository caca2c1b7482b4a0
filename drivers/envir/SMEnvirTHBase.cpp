#include "drivers/envir/SMEnvirTHBase.h"

#include <cstdio>
#include <cstring>

namespace {
const SMTypeDef kType = {1280, "温湿度 %s", "485接口,量程..."};
const char* const kLabels[] = {"温度", "湿度", "温度变化率", "湿度变化率"};
const char* const kStCols[] = {"iTem", "iHum", "iTemRate", "iHumRate"};
}  // namespace

CSMEnvirTHBase::CSMEnvirTHBase(int type, const SMPointDef* points, int n, const SMTableDef& table,
                               const char* sep)
    : CSMBase(type), m_points(points), m_nPoints(n < MAX_POINTS ? n : MAX_POINTS), m_table(table), m_sep(sep)
{
    SetNote("QV-TH485");
    m_nDataCount = 4;
    m_pData = m_block;
}

int CSMEnvirTHBase::RegDb(IDbBase* db, int force)
{
    return RegDbRows(db, force, kType, m_points, m_nPoints);
}

int CSMEnvirTHBase::ChkDb(tagSMItem* item)
{
    return ChkDbTable(item, m_table);
}

int CSMEnvirTHBase::DataVal(int fld)
{
    return fld >= 1 && fld <= m_nPoints ? m_val[fld - 1] : -1;
}

void CSMEnvirTHBase::SetTemHum(int tem, int hum)
{
    m_val[0] = tem;
    m_val[1] = hum;
    CBufHelper::wdToBuf(m_block, static_cast<unsigned short>(tem));
    CBufHelper::wdToBuf(m_block + 2, static_cast<unsigned short>(hum));
}

int CSMEnvirTHBase::DataUpd(int flags, int* almBits, int*, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, nullptr, sid, m_nPoints);  // SnapID is always 0 here
    int v[MAX_POINTS];
    int st[MAX_POINTS];
    EnvirStored(almBits, m_val, m_nPoints, v, st);
    if (u.state == SM_ST_FAULT) OnFault(u.sid);
    m_nFailCount = 0;

    UpdSubSys(u);
    SMCol cols[2 * MAX_POINTS];  // Tem, Hum, iTem, iHum, then the same for the rates
    int n = 0;
    for (int i = 0; i + 1 < m_nPoints; i += 2) {
        cols[n++] = {m_points[i].name, v[i]};
        cols[n++] = {m_points[i + 1].name, v[i + 1]};
        cols[n++] = {kStCols[i], st[i]};
        cols[n++] = {kStCols[i + 1], st[i + 1]};
    }
    int r = UpdRow(m_table.name, u, cols, n);
    char brief[256];
    int len = 0;
    for (int i = 0; i < m_nPoints; ++i)
        len += std::snprintf(brief + len, sizeof brief - static_cast<size_t>(len), "%s%s:%.1f %s", i ? m_sep : "",
                             kLabels[i], v[i] * 0.1, StSuffix(st[i]));
    UpdBrief(u, brief);
    if (hist) r = InsHist(hist, m_table.name, u, cols, n);
    return r == 0 ? 1 : 0;
}

int CSMEnvirTHBase::VarEval(char* var)
{
    if (!var) return -1;
    int v;
    if (!std::strcmp(var, ".温度") || !std::strcmp(var, ".Tem"))
        v = m_val[0];
    else if (!std::strcmp(var, ".湿度") || !std::strcmp(var, ".Hum"))
        v = m_val[1];
    else
        return -1;
    char text[32];
    int n = std::snprintf(text, sizeof text, "%.1f", v / 10.0);
    std::memcpy(var, text, static_cast<size_t>(n) + 1);
    return n;
}
