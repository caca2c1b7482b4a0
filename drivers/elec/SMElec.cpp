#include "drivers/elec/SMElec.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/SMArith.h"
#include "base/SMRtu.h"

namespace {
const char kNow[] = "datetime(CURRENT_TIMESTAMP,'localtime')";

const char* const kCols[EP_COUNT] = {"Ygzdn", "Zyggl", "Ayggl", "Byggl", "Cyggl", "Zwggl", "Awggl", "Bwggl",
                                     "Cwggl", "Zszgl", "Aszgl", "Bszgl", "Cszgl", "Zglys", "Aglys", "Bglys",
                                     "Cglys", "Pl",    "Ady",   "Bdy",   "Cdy",   "Adl",   "Bdl",   "Cdl"};

// Variable name, divisor and format of each point.
struct ElecVar {
    const char* name;
    double div;
    const char* fmt;
};
const ElecVar kVars[EP_COUNT] = {
    {".ygzdn", 1000, "%.3fKWH"}, {".zyggl", 1000, "%.3fKW"},   {".ayggl", 1000, "%.3fKW"},
    {".byggl", 1000, "%.3fKW"},  {".cyggl", 1000, "%.3fKW"},   {".zwggl", 1000, "%.3fKVar"},
    {".awggl", 1000, "%.3fKVar"}, {".bwggl", 1000, "%.3fKVar"}, {".cwggl", 1000, "%.3fKVar"},
    {".zszgl", 1000, "%.3fKVA"}, {".aszgl", 1000, "%.3fKVA"},  {".bszgl", 1000, "%.3fKVA"},
    {".cszgl", 1000, "%.3fKVA"}, {".zglys", 1000, "%.3f"},     {".aglys", 1000, "%.3f"},
    {".bglys", 1000, "%.3f"},    {".cglys", 1000, "%.3f"},     {".pl", 100, "%.3fHz"},
    {".Ady", 10, "%.1fV"},       {".Bdy", 10, "%.1fV"},        {".Cdy", 10, "%.1fV"},
    {".Adl", 100, "%.2fA"},      {".Bdl", 100, "%.2fA"},       {".Cdl", 100, "%.2fA"},
};

// Floats arrive in V, A, kW, kvar, kVA, kWh, Hz and plain power factors: factor to the point's unit.
const double kFloatUnit[EP_COUNT] = {1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000,
                                     1000, 1000, 1000, 1000, 1000, 100,  10,   10,   10,   100,  100,  100};

const int kThree[] = {EP_ZYGGL, EP_AYGGL, EP_BYGGL, EP_CYGGL, EP_ZWGGL, EP_AWGGL, EP_BWGGL, EP_CWGGL,
                      EP_ZSZGL, EP_ASZGL, EP_BSZGL, EP_CSZGL, EP_ZGLYS, EP_AGLYS, EP_BGLYS, EP_CGLYS,
                      EP_PL,    EP_ADY,   EP_BDY,   EP_CDY,   EP_ADL,   EP_BDL,   EP_CDL};
const int kSingle[] = {EP_ZYGGL, EP_ZWGGL, EP_ZSZGL, EP_ZGLYS, EP_PL, EP_ADY, EP_ADL};

// The protocol table. HCxxx and WBxxx decode as the meters document them. For every other
// row the register map is assumed: the energy as a 32-bit count (Wh) where energyOff points,
// then the further values in point order from firstOff, one word each (ED_U16) or two
// (ED_U32, ED_F32), already in the points' units unless they are floats.
#define R(f, reg, cnt, ms) {f, reg, cnt, ms}
const ElecVariant kVariants[] = {
    // variant, name, reads, nReads, decode, energyOff, firstOff, order, n, powerMul, frame, ctl
    {0, "HCxxx", {R(3, 0, 20, 200), R(3, 64, 2, 0), R(3, 192, 15, 0)}, 3, ED_HC, 20, 22, EO_THREE, 0, 1, EF_RTU, 0},
    // 32 registers from 33: energy in 33-34, then Zyggl .. Cdl one register each.
    {1, "KINGWEB", {R(3, 33, 32, 100)}, 1, ED_U16, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    {2, "WBxxx", {R(3, 0, 57, 0)}, 1, ED_U16, 0, 34, EO_THREE, 23, 10, EF_RTU, 1},
    // Two blocks of 28 registers: energy, then 23 double words across both blocks.
    {3, "AYNX", {R(3, 256, 28, 100), R(3, 512, 28, 100)}, 2, ED_U32, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    // Registers 7-25 and 29-34 joined: energy, then one register per value.
    {4, "DSG", {R(3, 7, 19, 100), R(3, 29, 6, 100)}, 2, ED_U16, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    // 97-119 hold Zyggl .. Cdl; 141-142 are not used; the energy is registers 0-1.
    {5, "DTSD1352", {R(3, 97, 23, 100), R(3, 141, 2, 100), R(3, 0, 2, 100)}, 3, ED_U16, 25, 0, EO_THREE, 23, 1,
     EF_RTU, -1},
    // The WBxxx map read with function 4.
    {6, "XJJC", {R(4, 0, 57, 100)}, 1, ED_U16, 0, 34, EO_THREE, 23, 10, EF_RTU, -1},
    {7, "NKL194E", {R(3, 6, 55, 100)}, 1, ED_U32, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    // Energy in holding registers 256-257, the values in input registers 0-22.
    {8, "DAM3503A", {R(3, 256, 2, 100), R(4, 0, 39, 100)}, 2, ED_U16, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    {9, "ELECLED", {R(3, 0, 64, 100)}, 1, ED_U32, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    {10, "JPMCWB", {R(3, 0, 110, 100)}, 1, ED_U32, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    // 48 floats: energy, then the 23 values.
    {11, "ELECZQ", {R(3, 0, 96, 100)}, 1, ED_F32ABS, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    // Single-phase: energy, then Zyggl, Zwggl, Zszgl, Zglys, Pl, Ady, Adl.
    {12, "DDSD1352", {R(3, 0, 18, 100)}, 1, ED_U16, 0, 2, EO_SINGLE, 7, 1, EF_RTU, -1},
    {13, "JPMCWB", {R(3, 0, 110, 100)}, 1, ED_U32, 0, 2, EO_THREE, 23, 1, EF_TCP, -1},
    {14, "SPM33", {R(3, 0, 50, 100)}, 1, ED_U32, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    // Register 40 (a setting) is read but not used; energy in 0-1 and the values from 2.
    {15, "ELCLXD", {R(3, 40, 1, 100), R(3, 0, 32, 100)}, 2, ED_U16, 1, 3, EO_THREE, 23, 1, EF_RTU, -1},
    {16, "ENT500M_FLOAT", {R(3, 10, 18, 100), R(3, 28, 24, 100), R(3, 58, 12, 100)}, 3, ED_F32, 0, 2, EO_THREE, 23,
     1, EF_RTU, -1},
    {17, "ENT500M_INT", {R(3, 70, 30, 100)}, 1, ED_U16, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    // Values in 70-92, energy in 8192-8193.
    {18, "ENTPD1150E", {R(3, 70, 30, 100), R(3, 8192, 2, 100)}, 2, ED_U16, 30, 0, EO_THREE, 23, 1, EF_RTU, -1},
    {19, "YD2037", {R(3, 0, 41, 100)}, 1, ED_U16, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    {20, "ENT500M_FLOAT", {R(4, 10, 18, 100), R(4, 28, 24, 100), R(4, 58, 12, 100)}, 3, ED_F32, 0, 2, EO_THREE, 23,
     1, EF_RTU, -1},
    {21, "ENT500M_INT", {R(4, 70, 30, 100)}, 1, ED_U16, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    // Values in 9-31, energy in 45-46.
    {22, "ELCLCD", {R(3, 9, 24, 100), R(3, 45, 26, 100)}, 2, ED_U16, 24, 0, EO_THREE, 23, 1, EF_RTU, -1},
    {23, "ELCATS",
     {R(3, 0, 18, 100), R(3, 32, 16, 100), R(3, 48, 8, 100), R(3, 56, 8, 100), R(3, 64, 2, 100), R(3, 80, 4, 100)},
     6, ED_U16, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    {24, "ELCTJYD", {R(3, 57, 18, 100), R(3, 75, 34, 100), R(3, 109, 12, 100)}, 3, ED_U32, 0, 2, EO_THREE, 23, 1,
     EF_RTU, -1},
    {25, "ELC194E", {R(3, 0, 16, 100), R(3, 24, 32, 100), R(3, 64, 32, 100)}, 3, ED_U32, 0, 2, EO_THREE, 23, 1,
     EF_RTU, -1},
    // Energy only.
    {26, "ElcComb", {R(3, 16, 2, 100)}, 1, ED_U16, 0, 2, EO_SINGLE, 0, 1, EF_RTU, -1},
    {27, "ElcHczy", {R(3, 0, 70, 100)}, 1, ED_U32, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    // Ratio registers 2-3 and 16-17 read but not applied; values from input registers 0-22,
    // energy in 64-65.
    {28, "HC33B1", {R(3, 2, 2, 100), R(3, 16, 2, 100), R(4, 0, 29, 100), R(3, 64, 2, 100)}, 4, ED_U16, 33, 4,
     EO_THREE, 23, 1, EF_RTU, -1},
    {29, "SDXXE", {R(3, 6, 42, 100)}, 1, ED_U16, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    {30, "TW13011", {R(3, 72, 10, 100)}, 1, ED_U16, 0, 2, EO_SINGLE, 7, 1, EF_RTU, -1},
    {31, "ElcX", {R(3, 23, 60, 100)}, 1, ED_U32, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    {32, "DTSD3366", {R(3, 366, 50, 100)}, 1, ED_U32, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    {33, "YD2010", {R(3, 0, 41, 100)}, 1, ED_U16, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    {34, "XSY", {R(3, 50, 41, 100)}, 1, ED_U16, 0, 2, EO_THREE, 23, 1, EF_RTU, -1},
    // Input registers 0-6: voltage, current, active, reactive and apparent power, factor, frequency.
    {35, "HC311A", {R(3, 0, 20, 200), R(3, 64, 2, 0), R(4, 0, 7, 0)}, 3, ED_HC1, 20, 22, EO_SINGLE, 7, 1, EF_RTU, 2},
    // Values in 44-89 as double words, energy in 176-177.
    {36, "TQS", {R(3, 44, 60, 100), R(3, 176, 2, 100)}, 2, ED_U32, 60, 0, EO_THREE, 23, 1, EF_GET, -1},
};
#undef R

uint32_t U32(const unsigned short* w, int off)
{
    return (static_cast<uint32_t>(w[off]) << 16) | w[off + 1];
}

double F32(const unsigned short* w, int off, bool absolute)
{
    uint32_t bits = U32(w, off);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    double d = f;
    return absolute ? std::fabs(d) : d;
}

void DecodeHc(const ElecVariant& v, const unsigned short* w, int nw, int pt, int ct, int* out)
{
    int measures = v.decode == ED_HC ? 15 : 7;
    if (nw < v.firstOff + measures || v.energyOff + 1 >= nw) return;
    const uint32_t reg2 = w[2];  // the meter's own voltage ratio
    const uint32_t reg3 = w[3];  // and current ratio
    const uint32_t e = U32(w, v.energyOff);
    const unsigned short* q = w + v.firstOff;
    const uint32_t r = static_cast<uint32_t>(ct) * static_cast<uint32_t>(pt) * reg3 * reg2;
    const int32_t rs = static_cast<int32_t>(r);
    auto power = [rs](unsigned short word, int mul) {
        return SMWrapMul(SMWrapMul(rs, static_cast<short>(word)), mul) / 10000;
    };
    out[EP_YGZDN] = static_cast<int32_t>(r * e / 12000u);
    if (v.decode == ED_HC) {
        out[EP_ZYGGL] = power(q[6], 3);
        out[EP_AYGGL] = power(q[12], 1);
        out[EP_BYGGL] = power(q[13], 1);
        out[EP_CYGGL] = power(q[14], 1);
        out[EP_ZWGGL] = power(q[7], 3);
        out[EP_ZSZGL] = static_cast<int32_t>(r * q[8] * 3u / 10000u);
        out[EP_ZGLYS] = q[9] / 10;
        out[EP_PL] = q[10];
        for (int i = 0; i < 3; ++i) {
            out[EP_ADY + i] = static_cast<int32_t>(static_cast<uint32_t>(pt) * reg2 * q[i] / 1000u);
            out[EP_ADL + i] = static_cast<int32_t>(static_cast<uint32_t>(ct) * reg3 * q[3 + i] / 100u);
        }
        return;
    }
    // Single phase: the totals are phase A.
    out[EP_ADY] = static_cast<int32_t>(static_cast<uint32_t>(pt) * reg2 * q[0] / 1000u);
    out[EP_ADL] = static_cast<int32_t>(static_cast<uint32_t>(ct) * reg3 * q[1] / 100u);
    out[EP_ZYGGL] = out[EP_AYGGL] = power(q[2], 1);
    out[EP_ZWGGL] = out[EP_AWGGL] = power(q[3], 1);
    out[EP_ZSZGL] = out[EP_ASZGL] = static_cast<int32_t>(r * q[4] / 10000u);
    out[EP_ZGLYS] = out[EP_AGLYS] = q[5] / 10;
    out[EP_PL] = q[6];
}

bool SinglePhaseBrief(int variant)
{
    return variant == 26 || variant == 30 || variant == 35;
}

bool KeepsValues(int variant)
{
    return variant == 11 || variant == 20 || variant == 21;
}
}  // namespace

CSMElec::CSMElec() : CSMBase(256)
{
    SetNote("QV-ELEC");
    m_nDataCount = EP_COUNT;
    m_pData = m_val;
}

const ElecVariant* CSMElec::Variants(int* n)
{
    if (n) *n = static_cast<int>(sizeof kVariants / sizeof kVariants[0]);
    return kVariants;
}

const ElecVariant* CSMElec::FindVariant(int variant)
{
    for (const ElecVariant& v : kVariants)
        if (v.variant == variant) return &v;
    return nullptr;
}

void CSMElec::Ratios(int param1, int* pt, int* ct)
{
    int vt = (param1 / 2000) % 2000;
    int it = param1 % 2000;
    *pt = vt > 1 ? vt : 1;
    *ct = it > 1 ? it : 1;
}

int CSMElec::DayKey(const struct tm& t)
{
    return (t.tm_year + 1) * 10000 + (t.tm_mon + 1) * 100 + t.tm_yday;
}

void CSMElec::Decode(const ElecVariant& v, const unsigned short* w, int nw, int pt, int ct, int* out)
{
    if (v.decode == ED_HC || v.decode == ED_HC1) {
        DecodeHc(v, w, nw, pt, ct, out);
        return;
    }
    const bool fl = v.decode == ED_F32 || v.decode == ED_F32ABS;
    const bool absolute = v.decode == ED_F32ABS;
    if (v.energyOff >= 0 && v.energyOff + 1 < nw)
        out[EP_YGZDN] = fl ? SMScale(F32(w, v.energyOff, absolute), kFloatUnit[EP_YGZDN])
                           : static_cast<int32_t>(U32(w, v.energyOff));
    const int* order = v.order == EO_SINGLE ? kSingle : kThree;
    const int max = v.order == EO_SINGLE ? 7 : 23;
    const int step = v.decode == ED_U16 ? 1 : 2;
    for (int k = 0; k < v.n && k < max; ++k) {
        int off = v.firstOff + k * step;
        if (off + step > nw) break;
        int p = order[k];
        int32_t val;
        if (fl)
            val = SMScale(F32(w, off, absolute), kFloatUnit[p]);
        else
            val = step == 1 ? w[off] : static_cast<int32_t>(U32(w, off));
        if (v.order == EO_THREE && k < 12) val = SMWrapMul(val, v.powerMul);
        out[p] = val;
    }
}

int CSMElec::RegDb(IDbBase* db, int force)
{
    static const SMPointDef kPoints[] = {
        {0, 19, "Ady", 1, "A相电压", 0, 10, 7, 100, "A相电压低于Vmin告警", 3900, "A相电压高于Vmax告警", 0},
        {0, 20, "Bdy", 1, "B相电压", 0, 10, 7, 100, "B相电压低于Vmin告警", 3900, "B相电压高于Vmax告警", 0},
        {0, 21, "Cdy", 1, "C相电压", 0, 10, 7, 100, "C相电压低于Vmin告警", 3900, "C相电压高于Vmax告警", 0},
        {0, 22, "Adl", 1, "A相电流", 0, 100, 7, 100, "A相电流低于Vmin告警", 25000, "A相电流高于Vmax告警", 0},
        {0, 23, "Bdl", 1, "B相电流", 0, 100, 7, 100, "B相电流低于Vmin告警", 25000, "B相电流高于Vmax告警", 0},
        {0, 24, "Cdl", 1, "C相电流", 0, 100, 7, 100, "C相电流低于Vmin告警", 25000, "C相电流高于Vmax告警", 0},
    };
    const SMTypeDef type = {256, "电力检测 %s", "485接口..."};
    return RegDbRows(db, force, type, kPoints, 6);
}

int CSMElec::ChkDb(tagSMItem* item)
{
    if (!m_pDb) return 0;
    std::string cols;
    for (const char* c : kCols) cols += std::string(cols.empty() ? "" : ",") + c + " INTEGER";
    for (const char* c : kCols) cols += std::string(",i") + c + " INTEGER";
    const SMTableDef elec = {"tbElec", cols.c_str()};
    if (m_pDb2 && !m_pDb2->TableExists("tbElecM"))
        SqlExec(m_pDb2, "create table tbElecM(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,DateUpd DATETIME,"
                        "Day INTEGER,Val INTEGER)");
    return ChkDbTable(item, elec);
}

int CSMElec::DataVal(int fld)
{
    if (fld < 1 || fld > EP_COUNT) return -1;
    return m_val[fld - 1];
}

int CSMElec::ReadRow(ISerBase* port, int addr, const ElecVariant& v, const ElecRead& rq, unsigned short* w, int* nw)
{
    if (rq.count < 1 || *nw + rq.count > MAX_WORDS) return 0;
    unsigned char r[REPLY_CAP];
    const unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    const unsigned char* data = r + 3;
    if (v.frame == EF_RTU) {
        if (RtuRead(port, addr, rq.func, rq.reg, rq.count, 0, rq.pauseMs, r, sizeof r) < 0) return 0;
    } else {
        const bool tcp = v.frame == EF_TCP;
        int n = GetModBusData(r, sizeof r, port, a, rq.func, rq.reg, rq.count, rq.pauseMs, ++m_transId, tcp ? 1 : 0);
        int head = tcp ? 9 : 3;
        if (n < head + 2 * rq.count + (tcp ? 0 : 2)) return 0;
        data = r + head;
    }
    for (int i = 0; i < rq.count; ++i) w[*nw + i] = CBufHelper::wdFromBuf(data + 2 * i);
    *nw += rq.count;
    return 1;
}

int CSMElec::DataGet(ISerBase* port, int addr, int)
{
    if (!port || !port->IsOpen()) return 0;
    port->Purge();
    const ElecVariant* v = FindVariant(ItemVariant());
    if (!v) return 1;
    unsigned short w[MAX_WORDS] = {};
    int nw = 0;
    for (int i = 0; i < v->nReads; ++i)
        if (!ReadRow(port, addr, *v, v->reads[i], w, &nw)) return 0;
    int pt = 1, ct = 1;
    if (Item()) Ratios(Item()->Param1, &pt, &ct);
    int out[EP_COUNT] = {};
    Decode(*v, w, nw, pt, ct, out);
    std::memcpy(m_val, out, sizeof m_val);
    return 1;
}

int CSMElec::Brief(char* out, int cap, const int* almBits)
{
    int len = std::snprintf(out, static_cast<size_t>(cap), "电压: %.1fV ,电流:%.2fA", m_val[EP_ADY] * 0.1,
                            m_val[EP_ADL] * 0.01);
    if (!SinglePhaseBrief(ItemVariant()))
        len += std::snprintf(out + len, static_cast<size_t>(cap - len), ",B相: %.1fV %.2fA,C相: %.1fV %.2fA",
                             m_val[EP_BDY] * 0.1, m_val[EP_BDL] * 0.01, m_val[EP_CDY] * 0.1, m_val[EP_CDL] * 0.01);
    char alm[1024];
    if (GetAlmDetail(alm, almBits, 3, sizeof alm) > 0 && len + static_cast<int>(std::strlen(alm)) < cap) {
        std::memcpy(out + len, alm, std::strlen(alm) + 1);
        len += static_cast<int>(std::strlen(alm));
    }
    return len;
}

void CSMElec::Account(IDbBase* hist, int sid)
{
    const long energy = m_val[EP_YGZDN];
    if (SqlInt(hist, "select count(*) from tbElecM where SID=%d and Day=0", sid) == 0)
        SqlExec(hist, "insert into tbElecM(SID,Type,DateUpd,Day,Val) values(%d,%d,%s,0,%ld)", sid, ItemType(), kNow,
                energy);
    m_nDay = DayKey(SMLocalNow());
    int& last = m_dayKeys[sid];
    if (last == m_nDay) return;
    if (SqlInt(hist, "select count(*) from tbElecM where SID=%d and Day=%d", sid, m_nDay) == 0) {
        int base = SqlInt(hist, "select Val from tbElecM where SID=%d and Day=0", sid);
        SqlExec(hist, "insert into tbElecM(SID,Type,DateUpd,Day,Val) values(%d,%d,%s,%d,%ld)", sid, ItemType(), kNow,
                m_nDay, static_cast<long>(SMWrapAdd(energy, -static_cast<int64_t>(base))));
        SqlExec(hist, "update tbElecM set Val=%ld where SID=%d and Day=0", energy, sid);
        last = m_nDay;
    } else if (last == 0) {
        last = m_nDay;
    }
}

int CSMElec::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);  // point alarms do not raise the state
    const bool frozen = u.state == SM_ST_FAULT && KeepsValues(ItemVariant());
    if (u.state == SM_ST_FAULT && !frozen) std::memset(m_val, 0, sizeof m_val);
    m_nFailCount = 0;

    UpdSubSys(u);
    SMCol cols[EP_COUNT];
    for (int i = 0; i < EP_COUNT; ++i) cols[i] = {kCols[i], m_val[i]};
    int r = UpdRow("tbElec", u, cols, frozen ? 0 : EP_COUNT);
    if (frozen) {
        SqlExec(m_pDb, "update tbSMBrief set LastUpd=%s where sid=%d", kNow, u.sid);
    } else {
        char brief[2048];
        Brief(brief, sizeof brief, almBits);
        UpdBriefText(u, brief);
    }
    if (hist) {
        if (u.state != SM_ST_FAULT) Account(hist, u.sid);
        r = InsHist(hist, "tbElec", u, cols, EP_COUNT);
    }
    return r == 0 ? 1 : 0;
}

int CSMElec::ModBusCmdN(unsigned char addr, unsigned char func, unsigned short reg, unsigned short count,
                        unsigned char* data)
{
    if (2 * count + 9 > CMD_SIZE) return 0;
    return CBufHelper::ModBusCmdN(m_cmdBuf, addr, func, reg, count, data);
}

int CSMElec::DoFunc(ISerBase* port, int addr, int cmd, void* buf, int)
{
    if (!port || !buf) return 0;
    if (cmd != 128) return 1;
    const ElecVariant* v = FindVariant(ItemVariant());
    if (!v || v->ctl < 0) return 1;
    const unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    const unsigned char value = *static_cast<unsigned char*>(buf);
    unsigned char r[128];
    int len;
    if (v->ctl == 1) {
        // Replace the high byte of register 1, keep its low byte.
        if (RtuRead(port, addr, 3, 1, 1, 0, 0, r, 100) < 0) return 0;
        unsigned char data[2] = {value, r[4]};
        len = ModBusCmdN(a, 16, 1, 1, data);
    } else {
        len = ModBusCmd(a, 6, v->ctl == 0 ? 11 : 256, value);
    }
    // The echo carries the request's address and function.
    int n = Exchange(port, m_cmdBuf, len, 0, r, 120, CSMRtuRule(a, m_cmdBuf[1], -1));
    return SMRtuCrcOk(r, n) ? 1 : 0;
}

int CSMElec::VarEval(char* text)
{
    if (!text) return -1;
    for (int i = 0; i < EP_COUNT; ++i) {
        if (std::strcmp(text, kVars[i].name) != 0) continue;
        char out[64];
        int n = std::snprintf(out, sizeof out, kVars[i].fmt, m_val[i] / kVars[i].div);
        std::memcpy(text, out, static_cast<size_t>(n) + 1);
        return n;
    }
    return -1;
}
