#include "drivers/cyber/SMCyberMate.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/TeFrame.h"

const char* const CSMCyberMate::kColumns[VALUES] = {
    "voltage", "itemperature", "ihumidity", "otemperature", "ptemperature",
    "statedevice", "statesf", "statejn", "statezl", "statejr", "statejs", "statecs",
    "warnysjgy", "warnysjqy", "warngw", "warndw", "warngs", "warnds", "warnysjhy", "warnysjly", "warnrjhqgy",
    "warnrjhqqy", "warntx", "warnitsensor", "warnotsensor", "warnptsensor", "warnihsensor", "warnqlds", "warndyqx",
    "warndynx", "warndwpl", "warnpipe", "warnfleak", "warnysjgz", "warnrjhqgz", "warnysjpqwd", "warndrqgz",
    "warnjsqgz",
    "paramzl", "paramzllmd", "paramjr", "paramjrlmd", "paramh", "paramhlmd", "paramht", "paramlt", "paramhh",
    "paramlh",
};

unsigned char HASCII(unsigned char b) { return static_cast<unsigned char>("0123456789ABCDEF"[b >> 4]); }
unsigned char LASCII(unsigned char b) { return static_cast<unsigned char>("0123456789ABCDEF"[b & 0xF]); }

unsigned char ASCII2HEX(unsigned char c)
{
    if (c >= '0' && c <= '9') return static_cast<unsigned char>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned char>(c - 'A' + 10);
    return 0;
}

unsigned short getLength(unsigned short lenid) { return TE_GetChkLength(lenid); }

namespace {
const SMTypeDef kType = {2048, "Cyber %s", "JADC0110 海瑞弗空调 ..."};

const char* const kPointRows[] = {
    "insert into tbSMDef values(%d,0,2, 'Tem',1,'室内温度',0,10,10,0,'最小值,低于此值告警',0,'最大值,超过此值告警',0,NULL)",
    "insert into tbSMDef values(%d,0,3, 'Hum',1,'室内湿度',0,10,10,0,'最小值,低于此值告警',0,'最大值,超过此值告警',0,NULL)",
    "insert into tbSMDef values(%d,0,4, 'TemSet',1,'室外温度',0,10,10,0,'最小值,低于此值告警',0,'最大值,超过此值告警',0,NULL)",
    "insert into tbSMDef values(%d,0,5, 'HumSet',1,'盘管温度',0,10,10,0,'最小值,低于此值告警',0,'最大值,超过此值告警',0,NULL)",
};

const char kCreate[] = "CREATE TABLE tbCybermate(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,"
                       "Addr INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER,";
const char kNow[] = "datetime(CURRENT_TIMESTAMP,'localtime')";

// value of n characters, most significant first
int HexAt(const unsigned char* p, int n)
{
    int v = 0;
    for (int i = 0; i < n; ++i) v = (v << 4) | ASCII2HEX(p[i]);
    return v;
}

// Appends to text (len bytes so far) within cap; false, and text unchanged, when it does not fit.
bool Append(char* text, size_t cap, size_t& len, const char* fmt, ...) __attribute__((format(printf, 4, 5)));
bool Append(char* text, size_t cap, size_t& len, const char* fmt, ...)
{
    if (len >= cap) return false;
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(text + len, cap - len, fmt, ap);
    va_end(ap);
    if (n < 0 || static_cast<size_t>(n) >= cap - len) {
        text[len] = 0;
        return false;
    }
    len += static_cast<size_t>(n);
    return true;
}

std::string Join(const char* item, const char* sep)
{
    std::string s;
    char one[64];
    for (int i = 0; i < CSMCyberMate::VALUES; ++i) {
        std::snprintf(one, sizeof one, item, CSMCyberMate::kColumns[i]);
        if (i) s += sep;
        s += one;
    }
    return s;
}
}  // namespace

CSMCyberMate::CSMCyberMate() : CSMBase(2048)
{
    SetNote("QV-Cyber-JADC0110");
    m_nDataCount = VALUES;
    m_pData = &m_v;
}

int CSMCyberMate::RegDb(IDbBase* db, int force)
{
    RegDbRows(db, force, kType, nullptr, 0);
    if (!db || NeedDef(db, force) == 0) return 0;
    int r = 0;
    for (const char* row : kPointRows) r = SqlExec(db, row, m_nType);
    return r;
}

int CSMCyberMate::ChkDb(tagSMItem* item)
{
    static const std::string create = kCreate + Join("%s  INTEGER", ",") + ")";
    int r = 0;
    for (IDbBase* db : {m_pDb, m_pDb2})
        if (db && !db->TableExists("tbCybermate")) r = SqlExec(db, "%s", create.c_str());
    if (item) return ChkDbDatInit("tbCybermate", item);
    return r == 0 ? 1 : 0;
}

int CSMCyberMate::DataVal(int n)
{
    if (n >= 1 && n <= ANALOG) return m_v.analog[n - 1];
    if (n > ANALOG && n <= ANALOG + SWITCHES) return m_v.sw[n - ANALOG - 1];
    if (n > ANALOG + SWITCHES && n <= ANALOG + SWITCHES + ALARMS) return m_v.alarm[n - ANALOG - SWITCHES - 1];
    if (n > ANALOG + SWITCHES + ALARMS && n <= VALUES) return m_v.param[n - ANALOG - SWITCHES - ALARMS - 1];
    return -1;
}

int CSMCyberMate::DataGet(ISerBase* port, int addr, int)
{
    if (!port || !port->IsOpen()) return 0;
    port->Purge();
    static const unsigned char kCid2[] = {0x42, 0x43, 0x44, 0x47};
    unsigned char r[READ_CAP + 1];
    for (unsigned char cid2 : kCid2) {
        int len = TE_CmdPack(m_cmdBuf, 0x21, 0x60, cid2, static_cast<unsigned char>(addr & 0xFF), nullptr, 0, '~', '\r');
        std::memset(r, 0, sizeof r);
        int n = Exchange(port, m_cmdBuf, len, 0, r, READ_CAP, CSMYdtRule(addr));
        if (n <= 0) return 0;
        if (r[7] != '0' || r[8] != '0') {
            trace_log("RtLog", "[A%02d] SMCyberMate: %02X RTN %c%c\r\n", addr, cid2, r[7], r[8]);
            return 0;
        }
        const unsigned char* info = r + 13;
        switch (cid2) {
        case 0x42:
            for (int i = 0; i < ANALOG; ++i) m_v.analog[i] = HexAt(info + 4 * i, 4);
            break;
        case 0x43:
            for (int i = 0; i < SWITCHES; ++i) m_v.sw[i] = static_cast<unsigned char>(HexAt(info + 2 * i, 2));
            break;
        case 0x44:
            for (int i = 0; i < ALARMS; ++i) m_v.alarm[i] = static_cast<unsigned char>(HexAt(info + 2 * i, 2));
            break;
        default:
            for (int i = 0; i < PARAMS; ++i) m_v.param[i] = static_cast<unsigned char>(HexAt(info + 2 * i, 2));
            break;
        }
    }
    return 1;
}

int CSMCyberMate::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    if (!almBits) std::memset(&m_v, 0, sizeof m_v);
    m_nFailCount = 0;

    // The statements are written out with their values, into fixed buffers (nothing is
    // allocated per poll); a statement that would not fit is refused.
    char sets[SQL_SIZE], values[SQL_SIZE / 2];
    size_t setsLen = 0, valuesLen = 0;
    bool fits = Append(sets, sizeof sets, setsLen, "update tbCyberMate set DateUpd=%s,State=%%d,SnapID=%%d,%16s", kNow, "");
    for (int i = 0; i < VALUES && fits; ++i)
        fits = Append(sets, sizeof sets, setsLen, "%s%s=%d", i ? "," : "", kColumns[i], DataVal(i + 1)) &&
               Append(values, sizeof values, valuesLen, "%s%d", i ? "," : "", DataVal(i + 1));
    fits = fits && Append(sets, sizeof sets, setsLen, " \t\t\t\twhere sid=%%d");
    if (!fits) return 0;
    int r = 0;
    bool ran = false;
    if (m_pDb) {
        r = UpdSubSys(u);
        r = SqlExec(m_pDb, sets, u.state, u.snapId, u.sid);
        char brief[1024];
        int len = std::snprintf(brief, sizeof brief, "当前温度:%1.1f°C, 当前湿度:%1.1f%%", m_v.analog[1] * 0.1,
                                m_v.analog[2] * 0.1);
        char alm[768];
        if (GetAlmDetail(alm, almBits, 3, static_cast<int>(sizeof alm)) > 0)
            std::snprintf(brief + len, sizeof brief - static_cast<size_t>(len), "%s", alm);
        r = UpdBriefText(u, brief);
        ran = true;
    }
    if (hist) {
        static const std::string head = "insert into tbCyberMate(SID,DateUpd,State,SnapID," + std::string(28, ' ') +
                                        Join("%s", ",") + ") " + std::string(6, '\t') + "   values(%d," + kNow +
                                        ",%d,%d," + std::string(6, '\t') + "   ";
        char ins[SQL_SIZE];
        size_t insLen = 0;
        if (!Append(ins, sizeof ins, insLen, "%s%s%27s)", head.c_str(), values, "")) return 0;
        r = SqlExec(hist, ins, u.sid, u.state, u.snapId);
        ran = true;
    }
    return !ran || r == 0 ? 1 : 0;
}
