#include "drivers/airc/SMAirc.h"

#include <cstdio>
#include <cstring>

namespace {
const SMTypeDef kType = {1792, "空调控制 %s", "485接口..."};

const SMPointDef kPoints[] = {
    {0, 10, "StatusV", 1, "空调状态", 0, 1, 4, 1, "0关机 1制冷 2制热", 0, "", 0},
    {0, 11, "ExceptV", 1, "异常状态", 0, 1, 1, 0, "0无异常", 0, "", 0},
    {0, 21, "StatusV2", 1, "空调状态2", 0, 1, 4, 1, "0关机 1制冷 2制热", 0, "", 0},
    {0, 22, "ExceptV2", 1, "异常状态2", 0, 1, 1, 0, "0无异常", 0, "", 0},
};

const SMTableDef kTable = {
    "tbAirc",
    "Hfkwd INTEGER,Sfkwd INTEGER,Ht INTEGER,Lt INTEGER,Ot INTEGER,Ct INTEGER,Dl INTEGER,Hdl INTEGER,"
    "Ldl INTEGER,ExceptV INTEGER,StatusV INTEGER,Hfkwd2 INTEGER,Sfkwd2 INTEGER,Ht2 INTEGER,Lt2 INTEGER,"
    "Ot2 INTEGER,Ct2 INTEGER,Dl2 INTEGER,Hdl2 INTEGER,Ldl2 INTEGER,ExceptV2 INTEGER,StatusV2 INTEGER,"
    "Di1 INTEGER,Di2 INTEGER,Do1 INTEGER,Do2 INTEGER"};

// Columns of both units in the order of the stored row, with their points in unit 1.
const struct {
    const char* col[2];
    int fld;
} kUnitCols[] = {
    {{"Hfkwd", "Hfkwd2"}, CSMAirc::F_HFKWD},     {{"Sfkwd", "Sfkwd2"}, CSMAirc::F_SFKWD},
    {{"Ht", "Ht2"}, CSMAirc::F_HT},               {{"Lt", "Lt2"}, CSMAirc::F_LT},
    {{"Ot", "Ot2"}, CSMAirc::F_OT},               {{"Ct", "Ct2"}, CSMAirc::F_CT},
    {{"ExceptV", "ExceptV2"}, CSMAirc::F_EXCEPT}, {{"StatusV", "StatusV2"}, CSMAirc::F_STATUS},
    {{"Dl", "Dl2"}, CSMAirc::F_DL},               {{"Hdl", "Hdl2"}, CSMAirc::F_HDL},
    {{"Ldl", "Ldl2"}, CSMAirc::F_LDL},
};

// Variables: Chinese name and Latin twin (unit number appended), point of unit 1, format.
enum Shown { HUNDREDTHS, NUMBER, STATUS, CONTACT };
const struct {
    const char* cn;
    const char* latin;
    int fld;
    Shown shown;
} kUnitVars[] = {
    {".送风口温度", ".sfkwd", CSMAirc::F_SFKWD, HUNDREDTHS}, {".回风口温度", ".hfkwd", CSMAirc::F_HFKWD, HUNDREDTHS},
    {".设置温度", ".ct", CSMAirc::F_CT, NUMBER},             {".上限温度", ".ht", CSMAirc::F_HT, NUMBER},
    {".下限温度", ".lt", CSMAirc::F_LT, NUMBER},             {".当前电流", ".dl", CSMAirc::F_DL, HUNDREDTHS},
    {".电流上限", ".hdl", CSMAirc::F_HDL, NUMBER},           {".电流下限", ".ldl", CSMAirc::F_LDL, NUMBER},
    {".空调状态", ".status", CSMAirc::F_STATUS, STATUS},
};

unsigned int Word(const unsigned char* d, int k) { return d[2 * k] | (static_cast<unsigned int>(d[2 * k + 1]) << 8); }
}  // namespace

CSMAirc::CSMAirc() : CSMBase(1792)
{
    SetNote("QV-AIRC");
    m_nDataCount = 26;
    m_pData = m_val;
}

int CSMAirc::RegDb(IDbBase* db, int force)
{
    return RegDbRows(db, force, kType, kPoints, sizeof kPoints / sizeof kPoints[0]);
}

int CSMAirc::ChkDb(tagSMItem* item)
{
    if (!m_pDb) return 0;
    return ChkDbTable(item, kTable);
}

int CSMAirc::DataVal(int fld)
{
    return fld >= 1 && fld <= POINTS ? static_cast<int>(m_val[fld - 1]) : -1;
}

int CSMAirc::ModBusCmdN(unsigned char addr, unsigned char func, unsigned short reg, unsigned short count,
                        unsigned char* data)
{
    if (count + 8 > CMD_SIZE || (count > 0 && !data)) return 0;
    unsigned char* b = m_cmdBuf;
    b[0] = addr;
    b[1] = func;
    CBufHelper::wdToBuf(b + 2, reg);
    CBufHelper::wdToBuf(b + 4, count);
    if (count > 0) std::memcpy(b + 6, data, count);
    int n = 6 + count;
    CBufHelper::wdToBufLH(b + n, CBufHelper::crc16(b, static_cast<unsigned char>(n)));
    return n + 2;
}

int CSMAirc::Ask(ISerBase* port, int len, unsigned char* r, int cap)
{
    std::memset(r, 0, static_cast<size_t>(cap));
    // The reply carries the request's address and function; it is as long as what was read.
    int n = Exchange(port, m_cmdBuf, len, 0, r, cap, CSMRtuRule(m_cmdBuf[0], m_cmdBuf[1], -1));
    if (n < 3) return -1;
    if (CBufHelper::crc16(r, static_cast<unsigned char>(n - 2)) != CBufHelper::wdFromBufLH(r + n - 2)) return -1;
    return n;
}

int CSMAirc::DataGet(ISerBase* port, int addr, int)
{
    if (!port || !port->IsOpen()) return 0;
    unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    // Zero-filled by Ask: a shorter reply with a good CRC leaves the missing bytes at 0.
    unsigned char r[READ_CAP];
    if (Ask(port, ModBusCmd(a, 4, 0, 60), r, READ_CAP) < 0) {
        trace_log("RtLog", "[A%02d] SMAirc: status block failed\r\n", addr);
        return 0;
    }
    const unsigned char* d = r + 3;
    for (int u = 0; u < 2; ++u) {
        const unsigned char* du = d + 24 * u;  // unit 2 from register 12 on
        unsigned int* v = m_val + UNIT2 * u - 1;
        v[F_SFKWD] = Word(du, 0);
        v[F_HFKWD] = Word(du, 1);
        v[F_CT] = du[4];
        v[F_HT] = du[5];
        v[F_LT] = du[6];
        v[F_OT] = 0;
        v[F_DL] = du[8];
        v[F_HDL] = du[11];
        v[F_LDL] = Word(du, 6);
        v[F_STATUS] = du[14];
        v[F_EXCEPT] = du[15];
    }
    for (int i = 0; i < 4; ++i) m_val[F_DI1 - 1 + i] = d[48 + i];

    if (Ask(port, ModBusCmd(a, 9, 64, 1), r, READ_CAP) < 0) return 0;
    m_val[F_EXTRA - 1] = r[3];
    return 1;
}

int CSMAirc::DoFunc(ISerBase* port, int addr, int cmd, void* buf, int)
{
    if (!port || !port->IsOpen()) return 0;
    unsigned short reg = static_cast<unsigned short>(cmd & 0xFFFF);
    unsigned char func = static_cast<unsigned char>((cmd >> 16) & 0xFF);
    unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    unsigned char data[3];
    int len;
    if (reg == 42) {
        if (!buf) return 0;
        int v;
        std::memcpy(&v, buf, sizeof v);
        data[0] = static_cast<unsigned char>((v >> 16) & 0xFF);
        data[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
        data[2] = static_cast<unsigned char>(v & 0xFF);
        len = ModBusCmdN(a, func ? func : 11, 42, 3, data);
    } else if (reg > 63) {
        if (!buf) return 0;
        data[0] = *static_cast<const unsigned char*>(buf);
        len = ModBusCmdN(a, 8, reg, 1, data);
    } else {
        return 1;  // no control on this register
    }
    unsigned char r[16];
    return Ask(port, len, r, len) < 0 ? 0 : 1;
}

const char* CSMAirc::StateText(int st)
{
    switch (st) {
    case 0: return "(正常)";
    case 1: return "(报警)";
    case 2: return "(故障)";
    default: return "(未知参数)";
    }
}

const char* CSMAirc::StatusText(int v)
{
    switch (v) {
    case 0: return "(关机)";
    case 1: return "(制冷)";
    case 2: return "(制热)";
    default: return "(未知参数)";
    }
}

const char* CSMAirc::ExceptText(int v)
{
    switch (v) {
    case 0: return "(正常)";
    case 1: return "(温度异常)";
    case 2: return "(温度上限异常)";
    case 4: return "(温度下限异常)";
    case 16: return "(红外发送错误)";
    case 32: return "电流异常";
    default: return "(未知参数)";
    }
}

int CSMAirc::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    if (!almBits)
        for (int i = 0; i < 26; ++i) m_val[i] = 0;
    m_nFailCount = 0;
    for (int fld : {static_cast<int>(F_STATUS), F_STATUS + UNIT2})
        if (m_val[fld - 1] > 2) m_val[fld - 1] = 0;

    UpdSubSys(u);
    SMCol cols[2 * 11 + 4];
    int n = 0;
    for (int unit = 0; unit < 2; ++unit)
        for (const auto& c : kUnitCols) cols[n++] = {c.col[unit], static_cast<int>(m_val[c.fld + UNIT2 * unit - 1])};
    const char* const io[] = {"Di1", "Di2", "Do1", "Do2"};
    for (int i = 0; i < 4; ++i) cols[n++] = {io[i], static_cast<int>(m_val[F_DI1 - 1 + i])};
    int r = UpdRow(kTable.name, u, cols, n);

    char brief[256];
    int status = static_cast<int>(m_val[F_STATUS - 1]), except = static_cast<int>(m_val[F_EXCEPT - 1]);
    std::snprintf(brief, sizeof brief, "空调%s,送风口温度:%.2f℃,空调状态:%d%s,异常状态:%d%s", StateText(u.state),
                  m_val[F_SFKWD - 1] / 100.0, status, StatusText(status), except, ExceptText(except));
    UpdBrief(u, brief);
    if (hist) r = InsHist(hist, kTable.name, u, cols, n);
    return r == 0 ? 1 : 0;
}

int CSMAirc::VarEval(char* var)
{
    if (!var) return -1;
    char text[32];
    int fld = 0;
    Shown shown = NUMBER;
    for (int unit = 1; unit <= 2 && !fld; ++unit)
        for (const auto& v : kUnitVars) {
            char cn[32], latin[32];
            std::snprintf(cn, sizeof cn, "%s%d", v.cn, unit);
            std::snprintf(latin, sizeof latin, "%s%d", v.latin, unit);
            if (std::strcmp(var, cn) && std::strcmp(var, latin)) continue;
            fld = v.fld + UNIT2 * (unit - 1);
            shown = v.shown;
            break;
        }
    const char* const io[] = {".DI1", ".DI2", ".DO1", ".DO2"};
    for (int i = 0; i < 4 && !fld; ++i)
        if (!std::strcmp(var, io[i])) {
            fld = F_DI1 + i;
            shown = CONTACT;
        }
    if (!fld) return -1;
    unsigned int v = m_val[fld - 1];
    const char* word = nullptr;
    if (shown == STATUS) word = v == 0 ? "关机" : v == 1 ? "制冷" : v == 2 ? "制热" : "未知";
    if (shown == CONTACT) word = v ? "闭合" : "断开";
    if (word) {
        std::memcpy(var, word, 4);
        var[4] = 0;
        return 4;
    }
    int n = shown == HUNDREDTHS ? std::snprintf(text, sizeof text, "%.2f", v / 100.0)
                                : std::snprintf(text, sizeof text, "%d", static_cast<int>(v));
    std::memcpy(var, text, static_cast<size_t>(n) + 1);
    return n;
}
