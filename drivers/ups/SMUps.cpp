#include "drivers/ups/SMUps.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const SMTableDef kTable = {
    "tbUps",
    "Vin1 INTEGER,Vin2 INTEGER,Vin3 INTEGER,Fin INTEGER,Vout INTEGER,Aout INTEGER,Fout INTEGER,Pout INTEGER,"
    "Tem INTEGER,status INTEGER,b7 INTEGER,b6 INTEGER,b5 INTEGER,b4 INTEGER,b3 INTEGER,b2 INTEGER,b1 INTEGER,"
    "b0 INTEGER,Vbatt INTEGER,Pbatt INTEGER,Mbatt INTEGER,Ved INTEGER,Aed INTEGER,VAed INTEGER,Vdc INTEGER,"
    "Fed INTEGER,v1 INTEGER,v2 INTEGER,v3 INTEGER,v4 INTEGER,v5 INTEGER,v6 INTEGER,v7 INTEGER,v8 INTEGER,"
    "v9 INTEGER,v10 INTEGER,v11 INTEGER,v12 INTEGER,v13 INTEGER,v14 INTEGER,v15 INTEGER,v16 INTEGER,"
    "company VARCHAR(16),mode VARCHAR(16),version VARCHAR(16)"};

const SMPointDef kPoints[] = {
    {0, 1, "Vin1", 1, "输入电压", 0, 10, 6, 2000, "最小值|允许最低输入电压,低于此值告警", 2350,
     "最大值|允许最高输入电压,超过此值告警", 0},
    {0, 4, "Fin", 1, "输入频率", 0, 10, 0, 490, "最小值|允许最低输入频率,低于此值告警", 510,
     "最大值|允许最高输入频率,超过此值告警", 0},
    {0, 5, "Vout", 1, "输出电压", 0, 10, 0, 0, "最小值|允许最低输出电压,低于此值告警", 2350,
     "最大值|允许最高输出电压,超过此值告警", 0},
    {0, 6, "Aout", 1, "输出电流", 0, 10, 0, 0, "最小值|允许最低输出电流,低于此值告警", 1500,
     "最大值|允许最高输出电流,超过此值告警", 0},
    {0, 7, "Fout", 1, "输出频率", 0, 10, 0, 490, "最小值|允许最低输出频率,低于此值告警", 2350,
     "最大值|允许最高输出频率,超过此值告警", 0},
    {0, 8, "Pout", 1, "输出负载", 0, 10, 0, 2000, "最小值|允许最低输出负载,低于此值告警", 2350,
     "最大值|允许最高输出负载,超过此值告警", 0},
    {0, 11, "b7", 1, "b7市电异常", 0, 1, 1, 0, "1表示异常", 0, "", 0},
    {0, 12, "b6", 1, "b6电池低电压", 0, 1, 1, 0, "1表示低电压", 0, "", 0},
    {0, 13, "b5", 1, "b5旁路模式", 0, 1, 1, 0, "1表示旁路模式", 0, "", 0},
    {0, 14, "b4", 1, "b4 UPS故障", 0, 1, 1, 0, "1表示UPS故障", 0, "", 0},
    {0, 15, "b3", 1, "b3 UPS在线式", 0, 1, 0, 0, "1表示后备式,常为0", 0, "", 0},
    {0, 16, "b2", 1, "b2 UPS测试中", 0, 1, 0, 0, "1表示测试中", 0, "0", 0},
    {0, 17, "b1", 1, "b1关机有效", 0, 1, 0, 0, "1表示配置关机后有效", 0, "", 0},
    {0, 18, "b0", 1, "b0蜂鸣", 0, 1, 1, 0, "1表示蜂鸣响起", 0, "0", 0},
    {0, 19, "Vbatt", 1, "电池电压", 0, 10, 0, 2000, "最小值|允许最低电池电压,低于此值告警", 2350,
     "最大值|允许最高电池电压,超过此值告警", 0},
    {0, 20, "Pbatt", 1, "电池容量", 0, 10, 0, 300, "最小值|允许最低容量,低于此值告警", 0, "", 0},
};

// A device name cut to fit cap bytes without splitting a double-byte character.
void CopyName(char* dst, size_t cap, const char* name, size_t nameCap)
{
    size_t n = 0;
    while (n < nameCap && name[n]) {
        size_t w = (static_cast<unsigned char>(name[n]) >= 0x81 && n + 1 < nameCap && name[n + 1]) ? 2 : 1;
        if (n + w > cap - 1) break;
        n += w;
    }
    std::memcpy(dst, name, n);
    dst[n] = 0;
}

bool IsSep(char c) { return c == ' ' || c == '/' || c == '\r'; }

// A reply of the status form: "(" ... carriage return.
bool Framed(const char* r, int n, char first) { return n > 0 && r[0] == first && r[n - 1] == '\r'; }

}  // namespace

CSMUps::CSMUps() : CSMUps(768) {}

CSMUps::CSMUps(int type) : CSMBase(type), m_rec()
{
    SetNote("QV-SANK");
    m_nDataCount = UP_POINTS;
    m_pData = &m_rec;
}

int CSMUps::RegDb(IDbBase* db, int force)
{
    const SMTypeDef type = {768, "UPS %s", "UPS山特兼容KR APC..."};
    return RegDbRows(db, force, type, kPoints, static_cast<int>(sizeof kPoints / sizeof kPoints[0]));
}

int CSMUps::ChkDb(tagSMItem* item)
{
    if (!m_pDb) return 0;
    return ChkDbTable(item, kTable);
}

int CSMUps::DataVal(int fld)
{
    if (fld == 0) return 0;
    if (fld < 0 || fld > UP_POINTS) return -1;
    // The texts answer with their address (its low 32 bits on a 64-bit host).
    if (fld == UP_COMPANY) return static_cast<int>(reinterpret_cast<intptr_t>(m_rec.company));
    if (fld == UP_MODE) return static_cast<int>(reinterpret_cast<intptr_t>(m_rec.mode));
    if (fld == UP_VERSION) return static_cast<int>(reinterpret_cast<intptr_t>(m_rec.version));
    if (fld == 34) return m_rec.idRead;
    if (fld == 35) return m_rec.ratingRead;
    return m_rec.val[fld - 1];
}

// ---- the ASCII query protocol --------------------------------------------------------------

int CSMUps::GetVals(int* out, const char* text, int& pos, int len, int max)
{
    int count = 0;
    while (pos < len && count < max) {
        while (pos < len && IsSep(text[pos])) ++pos;
        if (pos >= len) break;
        char num[64];
        int k = 0;
        while (pos < len && !IsSep(text[pos])) {
            if (k < static_cast<int>(sizeof num) - 1) num[k++] = text[pos];
            ++pos;
        }
        num[k] = 0;
        out[count++] = static_cast<int>(std::atof(num) * 100);
        if (pos < len) ++pos;  // past the separator that ended it
    }
    return count;
}

int CSMUps::IvalTrim(char* dst, const char* src, int width)
{
    int first = 0, end = width;
    for (int i = 0; i < width; ++i)
        if (src[i] == 0) {
            end = i;
            break;
        }
    while (first < end && src[first] == ' ') ++first;
    while (end > first && src[end - 1] == ' ') --end;
    int n = end - first;
    if (n > 0) std::memcpy(dst, src + first, static_cast<size_t>(n));
    dst[n] = 0;
    return n;
}

void CSMUps::Wait(int waitMs)
{
    SMSleepMs(static_cast<unsigned long>(waitMs > 0 ? waitMs : QUERY_PAUSE_MS));
}

int CSMUps::Query(ISerBase* port, const char* text, int want, int waitMs, char* r)
{
    if (waitMs > 0) SMSleepMs(static_cast<unsigned long>(waitMs));
    port->Purge();  // a late answer to the previous query is not this one's
    int w = port->WriteStr(text);
    SMSleepMs(QUERY_PAUSE_MS);
    if (w != want) return -1;
    Wait(waitMs);
    int n = port->Read(reinterpret_cast<unsigned char*>(r), REPLY_CAP, 0);
    if (n < 0) n = 0;
    if (n > REPLY_CAP) n = REPLY_CAP;
    r[n] = 0;
    return n;
}

void CSMUps::ClearAll()
{
    int id = m_rec.idRead, rating = m_rec.ratingRead;
    std::memset(&m_rec, 0, sizeof m_rec);
    m_rec.idRead = id;
    m_rec.ratingRead = rating;
}

int CSMUps::DataGet(ISerBase* port, int, int waitMs)
{
    if (!port || !port->IsOpen()) return 0;
    port->Purge();

    int variant = ItemVariant();
    const char* query = variant == 1 ? "Q6\r\n" : variant == 2 ? "QGS\r" : variant == 3 ? "Q1\r" : "Q1\r\n";
    if (port->WriteStr(query) < 1) return 0;
    Wait(waitMs);
    char r[REPLY_CAP + 1];
    int n = port->Read(reinterpret_cast<unsigned char*>(r), REPLY_CAP, 0);
    if (n > REPLY_CAP) n = REPLY_CAP;
    if (n < 0) n = 0;
    r[n] = 0;
    if (!Framed(r, n, '(')) return 0;

    bool qgs = variant == 2;
    int num[11] = {};
    int pos = 1;
    GetVals(num, r, pos, n, qgs ? 11 : 7);

    // Measured values and flags; ratings and texts only while they have not been read.
    for (int f = 1; f <= 30; ++f)
        if (f < UP_VED || f > UP_FED || !m_rec.ratingRead) V(f) = 0;
    if (!m_rec.idRead) {
        m_rec.company[0] = m_rec.mode[0] = m_rec.version[0] = 0;
    }

    double cell = (m_pItem && m_pItem->Param2 > 0) ? m_pItem->Param2 * 0.1 : 1.0;
    // A flag is 1 unless its character is "0"; characters beyond the reply count as 0.
    auto flag = [&](int at) { return at < n && r[at] != '0' ? 1 : 0; };
    if (!qgs) {
        V(UP_VIN1) = num[0] / 10;
        V(UP_V1) = num[1] / 10;
        V(UP_VOUT) = num[2] / 10;
        V(UP_AOUT) = num[3] / 10;
        V(UP_FIN) = V(UP_FOUT) = num[4] / 10;
        V(UP_VBATT) = static_cast<int>(num[5] * cell);
        V(UP_TEMP) = num[6] / 10;
        for (int k = 0; k < 8; ++k) V(UP_B7 + k) = flag(pos + k);
    } else {
        V(UP_VIN1) = num[0] / 10;
        V(UP_FIN) = num[1] / 10;
        V(UP_VOUT) = num[2] / 10;
        V(UP_FOUT) = num[3] / 10;
        V(UP_AOUT) = num[5] / 10;
        V(UP_VBATT) = static_cast<int>(num[8] * cell);
        V(UP_TEMP) = num[10] / 10;
        for (int k = 0; k < 8; ++k) V(UP_B7 + k) = flag(pos + 2 + k);
    }
    int status = 0;
    for (int k = 0; k < 8; ++k) status = (status << 1) | V(UP_B7 + k);
    V(UP_STATUS) = status;
    V(UP_VIN2) = V(UP_VIN3) = 0;

    // Input phases 2 and 3, ratings and identification: a missing reply leaves them as they are.
    int m = Query(port, "Q2\r", 3, waitMs, r);
    if (m > 0 && Framed(r, m, '(')) {
        pos = 1;
        if (GetVals(num, r, pos, m, 3) >= 3) {
            V(UP_VIN2) = num[1] / 10;
            V(UP_VIN3) = num[2] / 10;
        }
    }
    if (!m_rec.ratingRead) {
        m = Query(port, "F\r", 2, waitMs, r);
        pos = 1;
        if (m > 0 && Framed(r, m, '#') && GetVals(num, r, pos, m, 4) >= 4) {
            m_rec.ratingRead = 1;
            V(UP_VED) = num[0] / 10;
            V(UP_AED) = num[1] / 10;
            V(UP_VAED) = static_cast<int>(static_cast<long long>(num[1]) * (num[0] / 10) / 10000);
            V(UP_VDC) = num[2] / 10;
            V(UP_FED) = num[3] / 10;
        }
    }
    if (!m_rec.idRead) {
        m = Query(port, "I\r", 2, waitMs, r);
        if (m >= 39 && Framed(r, m, '#')) {
            m_rec.idRead = 1;
            IvalTrim(m_rec.company, r + 1, 15);
            IvalTrim(m_rec.mode, r + 17, 10);
            IvalTrim(m_rec.version, r + 28, 10);
            if (!m_rec.company[0]) {
                if (m_pItem)
                    CopyName(m_rec.company, sizeof m_rec.company, m_pItem->Name, sizeof m_pItem->Name);
                else
                    std::strcpy(m_rec.company, " ");
            }
        }
    }
    return 1;
}

int CSMUps::DoFunc(ISerBase* port, int, int cmd, void* buf, int len)
{
    if (!port || !port->IsOpen()) return 0;
    char text[16];
    switch (cmd) {
    case CMD_BEEPER: std::strcpy(text, "Q\r"); break;
    case CMD_TEST: std::strcpy(text, "T\r"); break;
    case CMD_TEST_MIN: {
        int minutes = 0;
        if (buf && len >= static_cast<int>(sizeof(int))) std::memcpy(&minutes, buf, sizeof minutes);
        if (minutes >= MAX_MINUTES) minutes = MAX_MINUTES;
        if (minutes < 0) minutes = 0;
        std::snprintf(text, sizeof text, "T%02d\r", minutes);
        break;
    }
    case CMD_TEST_LOW: std::strcpy(text, "TL\r"); break;
    case CMD_TEST_CANCEL: std::strcpy(text, "CT\r"); break;
    default: return 0;
    }
    port->WriteStr(text);
    return 1;
}

// ---- storing a poll ----------------------------------------------------------------------

void CSMUps::Brief(char* out, int cap, const int* almBits)
{
    int n = std::snprintf(out, static_cast<size_t>(cap), "输入电压:%1.1fV, 输出电压:%1.1fV, 输出负载:%d%%",
                          Val(UP_VIN1) * 0.1, Val(UP_VOUT) * 0.1, Val(UP_AOUT) / 10);
    char alm[512];
    if (n > 0 && n < cap && GetAlmDetail(alm, almBits, 3, sizeof alm) > 0)
        std::snprintf(out + n, static_cast<size_t>(cap - n), "%s", alm);
}

int CSMUps::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    if (!almBits) ClearAll();

    char company[2 * TEXT_SIZE], mode[2 * TEXT_SIZE], version[2 * TEXT_SIZE];
    SqlQuote(company, sizeof company, m_rec.company);
    SqlQuote(mode, sizeof mode, m_rec.mode);
    SqlQuote(version, sizeof version, m_rec.version);
    const SMCol all[] = {
        {"Vin1", Val(UP_VIN1)}, {"Vin2", Val(UP_VIN2)}, {"Vin3", Val(UP_VIN3)}, {"Fin", Val(UP_FIN)},
        {"Vout", Val(UP_VOUT)}, {"Aout", Val(UP_AOUT)}, {"Fout", Val(UP_FOUT)}, {"Vbatt", Val(UP_VBATT)},
        {"Pbatt", Val(UP_PBATT)}, {"Tem", Val(m_temFld)}, {"status", Val(UP_STATUS)}, {"b7", Val(11)},
        {"b6", Val(12)}, {"b5", Val(13)}, {"b4", Val(14)}, {"b3", Val(15)}, {"b2", Val(16)}, {"b1", Val(17)},
        {"b0", Val(18)}, {"Ved", Val(UP_VED)}, {"Aed", Val(UP_AED)}, {"Vdc", Val(UP_VDC)}, {"Fed", Val(UP_FED)},
        {"v1", Val(27)}, {"v2", Val(28)}, {"v3", Val(29)}, {"v4", Val(30)}, {"company", 0, company},
        {"mode", 0, mode}, {"version", 0, version}};
    // Without the spare values v2..v4 the texts follow v1.
    SMCol cols[sizeof all / sizeof all[0]];
    int n = 0;
    for (const SMCol& c : all) {
        bool spare = c.name[0] == 'v' && c.name[1] >= '2' && c.name[1] <= '4';
        if (!spare || m_allSpare) cols[n++] = c;
    }
    int r = 0;
    if (m_pDb) {
        UpdSubSys(u);
        r = UpdRow("tbUps", u, cols, n);
        char brief[1024];
        char quoted[2 * sizeof brief];
        Brief(brief, sizeof brief, almBits);
        if (SqlQuote(quoted, sizeof quoted, brief) >= 0) UpdBriefText(u, quoted);
    }
    if (hist) r = InsHist(hist, "tbUps", u, cols, n);
    return r == 0 ? 1 : 0;
}

int CSMUps::VarEval(char* var)
{
    if (!var || var[0] != '.') return -1;
    struct Name {
        const char* name;
        int fld;
        bool tenth;
    };
    const Name names[] = {{"Vin", UP_VIN1, true},    {"Fin", UP_FIN, true},     {"Vout", UP_VOUT, true},
                          {"Aout", UP_AOUT, true},   {"Fout", UP_FOUT, true},   {"Pout", 8, true},
                          {"B7", 11, false},         {"B6", 12, false},         {"B5", 13, false},
                          {"B4", 14, false},         {"B3", 15, false},         {"B2", 16, false},
                          {"B1", 17, false},         {"B0", 18, false},         {"status", UP_STATUS, false},
                          {"Tem", m_temFld, false},  {"Vbatt", UP_VBATT, false}, {"Pbatt", UP_PBATT, false},
                          {"Ved", UP_VED, false},    {"Aed", UP_AED, false},    {"VAed", UP_VAED, false},
                          {"Fed", UP_FED, false},    {"Vdc", UP_VDC, false},    {"Vfault", UP_V1, false}};
    char out[32];
    int n = -1;
    const char* name = var + 1;
    for (const Name& x : names)
        if (std::strcmp(name, x.name) == 0)
            n = x.tenth ? std::snprintf(out, sizeof out, "%.1f", Val(x.fld) / 10.0)
                        : std::snprintf(out, sizeof out, "%d", Val(x.fld));
    if (std::strcmp(name, "company") == 0) n = std::snprintf(out, sizeof out, "%s", m_rec.company);
    if (std::strcmp(name, "mode") == 0) n = std::snprintf(out, sizeof out, "%s", m_rec.mode);
    if (std::strcmp(name, "version") == 0) n = std::snprintf(out, sizeof out, "%s", m_rec.version);
    if (n < 0) return -1;
    std::memcpy(var, out, static_cast<size_t>(n) + 1);
    return n;
}
