#include "drivers/envir/SMEnvirBase.h"

#include <cstdio>
#include <cstring>

namespace {
const char kLoHelp[] = "最小值|低于此值告警";
const char kHiHelp[] = "最大值|超过此值告警";
const char kOnHelp[] = "正常值|不等于此值告警";

bool InTable(const EnvirTable& t, const EnvirPoint& p)
{
    return t.group == 0 || t.group == p.group;
}
}  // namespace

CSMEnvirBase::CSMEnvirBase(int type, const EnvirDesc& desc, const EnvirPoint* points, int n)
    : CSMBase(type), m_read(desc.read), m_alt(desc.alt)
{
    SetNote(desc.note);
    if (n > MAX_POINTS) n = MAX_POINTS;
    if (n < 0 || !points) n = 0;
    m_points.assign(points, points + n);
    for (const EnvirPoint& p : m_points)
        m_stCols.push_back(p.mode == EV_ONOFF ? std::string() : std::string("i") + p.name);
    m_display = std::string(desc.device) + " %s";
    m_nDataCount = n;
    m_pData = m_val;
    const EnvirTable one = {desc.table, 0};
    SetTables(&one, 1);
}

void CSMEnvirBase::SetTables(const EnvirTable* tables, int n)
{
    if (n < 0 || !tables) n = 0;
    if (n > MAX_TABLES) n = MAX_TABLES;
    m_tables.assign(tables, tables + n);
    m_columns.clear();
    for (const EnvirTable& t : m_tables) {
        // Values in point order, then the state columns in the same order.
        std::string cols;
        for (const EnvirPoint& p : m_points)
            if (InTable(t, p)) cols += std::string(cols.empty() ? "" : ",") + p.name + " INTEGER";
        for (size_t i = 0; i < m_points.size(); ++i)
            if (InTable(t, m_points[i]) && !m_stCols[i].empty()) cols += "," + m_stCols[i] + " INTEGER";
        m_columns.push_back(cols);
    }
}

void CSMEnvirBase::SetGroupTitles(const char* const* titles, int n)
{
    if (n < 0 || !titles) n = 0;
    m_titles.assign(titles, titles + n);
}

const char* CSMEnvirBase::StateCol(int i) const
{
    if (i < 0 || i >= static_cast<int>(m_stCols.size()) || m_stCols[i].empty()) return nullptr;
    return m_stCols[i].c_str();
}

int CSMEnvirBase::RegDb(IDbBase* db, int force)
{
    SMPointDef rows[2 * MAX_POINTS];  // at most one heading per point
    int n = 0;
    int group = 0;
    for (size_t i = 0; i < m_points.size(); ++i) {
        const EnvirPoint& p = m_points[i];
        if (p.group != group && p.group >= 1 && p.group <= static_cast<int>(m_titles.size()))
            rows[n++] = {0, 0, "", p.group, m_titles[p.group - 1], 0, 0, 0, 0, "", 0, "", 0};
        group = p.group;
        bool onOff = p.mode == EV_ONOFF;
        bool check = p.mode != EV_NOCHK;
        rows[n++] = {0, static_cast<int>(i) + 1, p.name, p.group, p.note, 0, p.scale, p.mode, p.lo,
                     onOff ? kOnHelp : (check ? kLoHelp : ""), p.hi, (check && !onOff) ? kHiHelp : "", 0};
    }
    const SMTypeDef type = {1280, m_display.c_str(), m_iface};
    return RegDbRows(db, force, type, rows, n);
}

int CSMEnvirBase::ChkDb(tagSMItem* item)
{
    SMTableDef defs[MAX_TABLES] = {};
    int n = 0;
    for (size_t i = 0; i < m_tables.size(); ++i) defs[n++] = {m_tables[i].name, m_columns[i].c_str()};
    int r = ChkDbTables(item, defs, n);
    for (int i = 1; item && i < n; ++i) ChkDbDatInit(defs[i].name, item);
    return r;
}

int CSMEnvirBase::DataVal(int fld)
{
    if (fld < 1 || fld > m_nDataCount) return -1;
    return m_val[fld - 1];
}

int CSMEnvirBase::Requests(int variant, EnvirRead* out) const
{
    out[0] = variant == 1 && m_alt.count ? m_alt : m_read;
    return 1;
}

int CSMEnvirBase::CopyReads(const EnvirRead* reads, int n, EnvirRead* out)
{
    if (n > MAX_READS) n = MAX_READS;
    for (int i = 0; i < n; ++i) out[i] = reads[i];
    return n;
}

int CSMEnvirBase::ReadWords(ISerBase* port, int addr, const EnvirRead& rq, int waitMs, unsigned short* w)
{
    unsigned char r[REPLY_CAP];
    int n = RtuRead(port, addr, rq.func, rq.reg, rq.count, waitMs, DEFAULT_PAUSE_MS, r, sizeof r);
    if (n < 0) return 0;
    bool bits = rq.func == 1 || rq.func == 2;
    for (int i = 0; i < rq.count; ++i)
        w[i] = bits ? static_cast<unsigned short>(CBufHelper::GetBitState(r + 3, static_cast<unsigned>(n - 5),
                                                                           static_cast<unsigned>(i)))
                    : CBufHelper::wdFromBuf(r + 3 + 2 * i);
    return 1;
}

void CSMEnvirBase::Decode(const unsigned short* w, int nw, int* v) const
{
    for (size_t i = 0; i < m_points.size(); ++i) {
        const EnvirPoint& p = m_points[i];
        int last = p.off + (p.fmt == EV_U32 ? 1 : 0);
        if (p.off < 0 || last >= nw) continue;
        switch (p.fmt) {
        case EV_S16: v[i] = static_cast<short>(w[p.off]); break;
        case EV_U32: v[i] = static_cast<int>((static_cast<unsigned>(w[p.off]) << 16) | w[p.off + 1]); break;
        case EV_BIT: v[i] = w[p.off] != 0; break;
        default: v[i] = w[p.off]; break;
        }
    }
}

int CSMEnvirBase::Poll(ISerBase* port, int addr, int waitMs, int* v)
{
    EnvirRead rq[MAX_READS];
    int n = Requests(ItemVariant(), rq);
    unsigned short w[MAX_WORDS];
    int nw = 0;
    for (int i = 0; i < n; ++i) {
        if (rq[i].count < 1 || nw + rq[i].count > MAX_WORDS) return 0;
        if (!ReadWords(port, addr, rq[i], waitMs, w + nw)) return 0;
        nw += rq[i].count;
    }
    Decode(w, nw, v);
    return 1;
}

int CSMEnvirBase::DataGet(ISerBase* port, int addr, int waitMs)
{
    int v[MAX_POINTS] = {};
    if (!Poll(port, addr, waitMs, v)) return 0;
    std::memcpy(m_val, v, sizeof m_val);
    return 1;
}

int CSMEnvirBase::FmtValue(char* out, int cap, int value, int scale)
{
    int decimals = 0;
    for (int s = scale; s >= 10; s /= 10) ++decimals;
    if (decimals == 0) return std::snprintf(out, static_cast<size_t>(cap), "%d", value);
    return std::snprintf(out, static_cast<size_t>(cap), "%.*f", decimals, static_cast<double>(value) / scale);
}

int CSMEnvirBase::Brief(char* out, int cap, const int* vals, const int* st) const
{
    int len = 0;
    out[0] = 0;
    for (size_t i = 0; i < m_points.size(); ++i) {
        if (!InBrief(static_cast<int>(i))) continue;
        const EnvirPoint& p = m_points[i];
        char value[32];
        FmtValue(value, sizeof value, vals[i], p.scale);
        int k = std::snprintf(out + len, static_cast<size_t>(cap - len), "%s%s:%s%s %s", len ? "," : "", p.note,
                              value, p.unit ? p.unit : "", StSuffix(st[i]));
        if (k < 0 || k >= cap - len) {
            out[0] = 0;
            return 0;
        }
        len += k;
    }
    return 1;
}

int CSMEnvirBase::RowCols(const EnvirTable& t, const int* vals, const int* st, SMCol* cols) const
{
    // The table's values in point order, then their states.
    int k = 0;
    for (int i = 0; i < m_nDataCount; ++i)
        if (InTable(t, m_points[i])) cols[k++] = {m_points[i].name, vals[i]};
    for (int i = 0; i < m_nDataCount; ++i)
        if (InTable(t, m_points[i]) && StateCol(i)) cols[k++] = {StateCol(i), st[i]};
    return k;
}

int CSMEnvirBase::DataUpd(int flags, int* almBits, int*, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, nullptr, sid, m_nDataCount);  // SnapID is always 0 here
    int vals[MAX_POINTS];
    int st[MAX_POINTS];
    EnvirStored(almBits, m_val, m_nDataCount, vals, st);
    m_nFailCount = 0;

    UpdSubSys(u);
    SMCol cols[2 * MAX_POINTS];
    int r = 0;
    for (const EnvirTable& t : m_tables) r = UpdRow(t.name, u, cols, RowCols(t, vals, st, cols));
    char brief[4096];
    if (Brief(brief, sizeof brief, vals, st))
        UpdBrief(u, brief);
    else
        trace_sm_log("RtLog", "[CSMEnvirBase::DataUpd] summary of type %d over %d bytes\r\n", m_nType,
                     static_cast<int>(sizeof brief));
    for (const EnvirTable& t : m_tables)
        if (hist) r = InsHist(hist, t.name, u, cols, RowCols(t, vals, st, cols));
    return r == 0 ? 1 : 0;
}

int CSMEnvirBase::VarEval(char* var)
{
    if (!var || var[0] != '.') return -1;
    for (int i = 0; i < m_nDataCount; ++i) {
        const EnvirPoint& p = m_points[i];
        if (std::strcmp(var + 1, p.name) != 0 && std::strcmp(var + 1, p.note) != 0) continue;
        char text[32];
        int n = FmtValue(text, sizeof text, m_val[i], p.scale);
        std::memcpy(var, text, static_cast<size_t>(n) + 1);
        return n;
    }
    return -1;
}
