#include "drivers/ups/SMUpsBase.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The tbUpsEx columns after the common ones, in table order, with their points.
struct UpsCol {
    const char* name;
    int fld;
};
const UpsCol kCols[] = {
    {"Vin1", 1},   {"Vin2", 2},   {"Vin3", 3},   {"Vout1", 4},  {"Vout2", 5},  {"Vout3", 6},  {"VB1", 55},
    {"VB2", 56},   {"VB3", 57},   {"Iin1", 7},   {"Iin2", 8},   {"Iin3", 9},   {"Iout1", 10}, {"Iout2", 11},
    {"Iout3", 12}, {"IB1", 58},   {"IB2", 59},   {"IB3", 60},   {"Fin1", 13},  {"Fin2", 14},  {"Fin3", 15},
    {"Fout1", 16}, {"Fout2", 17}, {"Fout3", 18}, {"FB1", 61},   {"FB2", 62},   {"FB3", 63},   {"Pout1", 19},
    {"Pout2", 20}, {"Pout3", 21}, {"Tem", 22},   {"status", 23}, {"b15", 24},  {"b14", 25},  {"b13", 26},
    {"b12", 27},   {"b11", 28},   {"b10", 29},   {"b9", 30},    {"b8", 31},    {"b7", 32},    {"b6", 33},
    {"b5", 34},    {"b4", 35},    {"b3", 36},    {"b2", 37},    {"b1", 38},    {"b0", 39},    {"Vbatt", 40},
    {"Pbatt", 41}, {"Mbatt", 42}, {"Ved", 43},   {"Aed", 44},   {"VAed", 45},  {"Vdc", 46},   {"Fed", 47},
    {"v1", 48},    {"v2", 49},    {"v3", 50},    {"v4", 51},    {"company", 52}, {"mode", 53}, {"version", 54},
};
const int kColCount = static_cast<int>(sizeof kCols / sizeof kCols[0]);

const SMTableDef kTable = {
    "tbUpsEx",
    "Vin1 INTEGER,Vin2 INTEGER,Vin3 INTEGER,Vout1 INTEGER,Vout2 INTEGER,Vout3 INTEGER,VB1 INTEGER,VB2 INTEGER,"
    "VB3 INTEGER,Iin1 INTEGER,Iin2 INTEGER,Iin3 INTEGER,Iout1 INTEGER,Iout2 INTEGER,Iout3 INTEGER,IB1 INTEGER,"
    "IB2 INTEGER,IB3 INTEGER,Fin1 INTEGER,Fin2 INTEGER,Fin3 INTEGER,Fout1 INTEGER,Fout2 INTEGER,Fout3 INTEGER,"
    "FB1 INTEGER,FB2 INTEGER,FB3 INTEGER,Pout1 INTEGER,Pout2 INTEGER,Pout3 INTEGER,Tem INTEGER,status INTEGER,"
    "b15 INTEGER,b14 INTEGER,b13 INTEGER,b12 INTEGER,b11 INTEGER,b10 INTEGER,b9 INTEGER,b8 INTEGER,b7 INTEGER,"
    "b6 INTEGER,b5 INTEGER,b4 INTEGER,b3 INTEGER,b2 INTEGER,b1 INTEGER,b0 INTEGER,Vbatt INTEGER,Pbatt INTEGER,"
    "Mbatt INTEGER,Ved INTEGER,Aed INTEGER,VAed INTEGER,Vdc INTEGER,Fed INTEGER,v1 INTEGER,v2 INTEGER,v3 INTEGER,"
    "v4 INTEGER,company VARCHAR(16),mode VARCHAR(16),version VARCHAR(16)"};

// Registered points: three phases of a quantity, or one point.
struct RowGroup {
    int fld;
    const char* name;      // FldName; phases get 1..3 appended
    const char* note;      // phases get A/B/C appended
    const char* quantity;  // in the limit help texts
    int lo, hi;
    int phases;
};
const RowGroup kRows[] = {
    {1, "Vin", "输入电压", "输入电压", 2000, 2350, 3},   {4, "Vout", "输出电压", "输出电压", 2000, 2350, 3},
    {7, "Iin", "输入电流", "输入电流", 0, 150, 3},       {10, "Iout", "输出电流", "输出电流", 0, 150, 3},
    {13, "Fin", "输入频率", "输入频率", 490, 510, 3},    {16, "Fout", "输出频率", "输出频率", 490, 510, 3},
    {22, "Tem", "环境温度", "环境温度", 200, 650, 1},    {40, "Vbatt", "电池电压", "电池电压", 2000, 2350, 1},
    {41, "Pbatt", "电池容量", "电池容量", 2000, 2350, 1}, {42, "Mbatt", "电池剩于时间", "电池剩于时间", 2000, 2350, 1},
    {55, "VB", "旁路电压", "旁路电压", 2000, 2350, 3},   {58, "IB", "旁路电流", "旁路电流", 0, 150, 3},
    {61, "FB", "旁路频率", "旁路频率", 490, 510, 3},
};

// Text column value with its quotes doubled.
struct Quoted {
    char buf[2 * CSMUpsBase::TEXT_SIZE];
    explicit Quoted(const char* s) { CSMBase::SqlQuote(buf, sizeof buf, s); }
};

}  // namespace

CSMUpsBase::CSMUpsBase(int type) : CSMBase(type), m_rec()
{
    SetNote("QVUPS-Base");
    m_nDataCount = UPS_POINTS;
    m_pData = &m_rec;
}

CSMUpsBase::~CSMUpsBase() = default;

int& CSMUpsBase::Val(int fld)
{
    if (fld >= 1 && fld <= 51) return m_rec.val[fld - 1];
    if (fld >= UPS_VB1 && fld <= UPS_POINTS) return m_rec.bypass[fld - UPS_VB1];
    m_scratch = 0;
    return m_scratch;
}

int CSMUpsBase::Val(int fld) const
{
    if (fld >= 1 && fld <= 51) return m_rec.val[fld - 1];
    if (fld >= UPS_VB1 && fld <= UPS_POINTS) return m_rec.bypass[fld - UPS_VB1];
    return 0;
}

void CSMUpsBase::Clear() { std::memset(&m_rec, 0, sizeof m_rec); }

void CSMUpsBase::CopyText(char* dst, const char* src)
{
    std::snprintf(dst, TEXT_SIZE, "%s", src ? src : "");
}

void CSMUpsBase::SetFlag(int bit, int v)
{
    if (bit < 0 || bit > 15) return;
    Val(UPS_B0 - bit) = v ? 1 : 0;
    if (v) Val(UPS_STATUS) |= 1 << bit;
}

// ---- registration ------------------------------------------------------------------------

int CSMUpsBase::RegDb(IDbBase* db, int force)
{
    if (!db) return 0;
    const SMTypeDef type = {768, "UPS %s", "UPS 三相输入输出..."};
    RegDbRows(db, force, type, nullptr, 0);  // the type row; the point rows when forced are gone
    return ChkDef(db, force);
}

int CSMUpsBase::ChkDef(IDbBase* db, int force)
{
    if (!db || NeedDef(db, force) == 0) return 0;
    int r = 0;
    static const char* const kPhase[] = {"A", "B", "C"};
    for (const RowGroup& g : kRows) {
        std::string lo = std::string("最小值|允许最低") + g.quantity + ",低于此值告警";
        std::string hi = std::string("最大值|允许最高") + g.quantity + ",超过此值告警";
        for (int p = 0; p < g.phases; ++p) {
            std::string name = g.name, note = g.note;
            if (g.phases > 1) {
                name += std::to_string(p + 1);
                note += kPhase[p];
            }
            SMPointDef row = {0, g.fld + p, name.c_str(), 1, note.c_str(), 0, 10, 10, g.lo, lo.c_str(), g.hi,
                              hi.c_str(), 0};
            r = InsertPoint(db, row);
        }
    }
    for (int bit = 15; bit >= 0; --bit) {
        char name[8], note[8];
        std::snprintf(name, sizeof name, "b%d", bit);
        std::snprintf(note, sizeof note, "b%02d", bit);
        SMPointDef row = {0, UPS_B0 - bit, name, 1, note, 0, 1, 0, 0, "0:否，1:是", 0, "", 0};
        r = InsertPoint(db, row);
    }
    return r;
}

int CSMUpsBase::ChkDb(tagSMItem* item)
{
    if (!m_pDb) return 0;
    return ChkDbTable(item, kTable);
}

int CSMUpsBase::DataVal(int fld)
{
    if (fld == 0) return 0;
    if (fld < 0 || fld > UPS_POINTS) return -1;
    // The texts answer with their address (its low 32 bits on a 64-bit host).
    if (fld == UPS_COMPANY) return static_cast<int>(reinterpret_cast<intptr_t>(m_rec.company));
    if (fld == UPS_MODE) return static_cast<int>(reinterpret_cast<intptr_t>(m_rec.mode));
    if (fld == UPS_VERSION) return static_cast<int>(reinterpret_cast<intptr_t>(m_rec.version));
    return Val(fld);
}

// ---- polling by description --------------------------------------------------------------

bool CSMUpsBase::ReadWords(ISerBase* port, int addr, const UpsRead& rq, int waitMs, unsigned short* w)
{
    unsigned char r[REPLY_CAP];
    int n = RtuRead(port, addr, rq.func, rq.reg, rq.count, waitMs, DEFAULT_PAUSE_MS, r, sizeof r);
    if (n < 0) return false;
    bool bits = rq.func == 1 || rq.func == 2;
    for (int i = 0; i < rq.count; ++i)
        w[i] = bits ? static_cast<unsigned short>(CBufHelper::GetBitState(r + 3, static_cast<unsigned>(n - 5),
                                                                           static_cast<unsigned>(i)))
                    : CBufHelper::wdFromBuf(r + 3 + 2 * i);
    return true;
}

void CSMUpsBase::Apply(const UpsRead& rq, int count, const unsigned short* w)
{
    for (int k = 0; k < rq.take && rq.off + k < count; ++k) {
        int v = w[rq.off + k];
        switch (rq.map) {
        case UM_WORDS: Val(rq.fld + k) = v; break;
        case UM_STATUS:
            Val(UPS_STATUS) = v;
            for (int bit = 0; bit < 16; ++bit) Val(UPS_B0 - bit) = (v >> bit) & 1;
            return;
        case UM_BITS: SetFlag(rq.fld + k, v); break;
        }
    }
}

int CSMUpsBase::DataGet(ISerBase* port, int addr, int waitMs)
{
    if (!m_model || !port || !port->IsOpen()) return 0;
    const UpsRead* reads = m_model->reads;
    int n = m_model->n;
    if (ItemVariant() == 1 && m_model->altN > 0) {
        reads = m_model->alt;
        n = m_model->altN;
    }
    unsigned short w[MAX_WORDS] = {};
    Clear();
    const UpsRead* last = nullptr;
    for (int i = 0; i < n; ++i) {
        const UpsRead& rq = reads[i];
        if (rq.func != 0) {
            if (rq.count < 1 || rq.count > MAX_WORDS || !ReadWords(port, addr, rq, waitMs, w)) return 0;
            last = &rq;
        }
        if (last) Apply(rq, last->count, w);
    }
    return 1;
}

// ---- storing a poll ----------------------------------------------------------------------

void CSMUpsBase::Brief(char* out, int cap) const
{
    auto v = [this](int fld, double k) { return Val(fld) * k; };
    if (m_divisor == 1000) {
        std::snprintf(out, static_cast<size_t>(cap),
                      "输入:%1.1fV, %1.1fV, %1.1fV, 输出:%1.1fV, %1.1fV, %1.1fV, 负载:%1.1f%%,%1.1f%%,%1.1f%%",
                      v(1, 0.1), v(2, 0.1), v(3, 0.1), v(4, 0.1), v(5, 0.1), v(6, 0.1), v(19, 0.1), v(20, 0.1),
                      v(21, 0.1));
        return;
    }
    double k = m_divisor == 100 ? 0.01 : 0.1;
    std::snprintf(out, static_cast<size_t>(cap),
                  "输入电压:%1.1fV, %1.1fV, %1.1fV, 输出电压:%1.1fV, %1.1fV, %1.1fV, 输出电流:%1.1fA,%1.1fA,%1.1fA, "
                  "电池电压:%1.1fV",
                  v(1, k), v(2, k), v(3, k), v(4, k), v(5, k), v(6, k), v(10, k), v(11, k), v(12, k), v(40, k));
}

int CSMUpsBase::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    if (!almBits) Clear();

    Quoted company(m_rec.company), mode(m_rec.mode), version(m_rec.version);
    SMCol cols[kColCount];
    for (int i = 0; i < kColCount; ++i) {
        cols[i] = {kCols[i].name, Val(kCols[i].fld)};
        if (kCols[i].fld == UPS_COMPANY) cols[i].text = company.buf;
        if (kCols[i].fld == UPS_MODE) cols[i].text = mode.buf;
        if (kCols[i].fld == UPS_VERSION) cols[i].text = version.buf;
    }
    int r = 0;
    if (m_pDb) {
        UpdSubSys(u);
        r = UpdRow("tbUpsEx", u, cols, kColCount);
        char brief[1024];
        char alm[512];
        char quoted[2 * sizeof alm];
        Brief(brief, sizeof brief);
        if (GetAlmDetail(alm, almBits, 3, sizeof alm) > 0 && SqlQuote(quoted, sizeof quoted, alm) >= 0 &&
            std::strlen(brief) + std::strlen(quoted) < sizeof brief)
            std::strcat(brief, quoted);
        UpdBriefText(u, brief);
    }
    if (hist) r = InsHist(hist, "tbUpsEx", u, cols, kColCount);
    return r == 0 ? 1 : 0;
}

int CSMUpsBase::VarEval(char* var)
{
    if (!var || var[0] != '.') return -1;
    const char* name = var + 1;
    char out[32];
    int fld = 0;
    bool tenth = false;
    for (const UpsCol& c : kCols) {
        // Voltages, currents, frequencies, loads and the temperature: value / 10.
        if (c.fld <= UPS_TEM || c.fld >= UPS_VB1) {
            if (std::strcmp(name, c.name) == 0) {
                fld = c.fld;
                tenth = true;
                break;
            }
        }
    }
    static const UpsCol kInts[] = {{"status", 23}, {"Vbatt", 40}, {"Pbatt", 41}, {"Ved", 43}, {"Aed", 44},
                                   {"VAed", 45},   {"Fed", 47},   {"Vdc", 46},   {"V1", 48},   {"V2", 49},
                                   {"V3", 50},     {"V4", 51}};
    for (const UpsCol& c : kInts)
        if (!fld && std::strcmp(name, c.name) == 0) fld = c.fld;
    if (!fld && name[0] == 'B' && name[1] >= '0' && name[1] <= '9') {
        char* end = nullptr;
        long bit = std::strtol(name + 1, &end, 10);
        if (*end == 0 && bit >= 0 && bit <= 15 && !(name[1] == '0' && name[2])) fld = UPS_B0 - static_cast<int>(bit);
    }
    const char* text = nullptr;
    if (std::strcmp(name, "company") == 0) text = m_rec.company;
    if (std::strcmp(name, "mode") == 0) text = m_rec.mode;
    if (std::strcmp(name, "version") == 0) text = m_rec.version;
    int n;
    if (text)
        n = std::snprintf(out, sizeof out, "%s", text);
    else if (!fld)
        return -1;
    else if (tenth)
        n = std::snprintf(out, sizeof out, "%.1f", Val(fld) / 10.0);
    else
        n = std::snprintf(out, sizeof out, "%d", Val(fld));
    std::memcpy(var, out, static_cast<size_t>(n) + 1);
    return n;
}
