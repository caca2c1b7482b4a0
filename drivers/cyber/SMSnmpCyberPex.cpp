#include "drivers/cyber/SMSnmpCyberPex.h"

#include <cstdio>
#include <cstring>

#include "generic/SMSnmpSession.h"

const char* const CSMSnmpCyberPex::kNames[POINTS] = {
    "tem",  "temS", "temP", "temD", "hum",  "humS",  "humP",  "humD", "temH", "temL", "humH", "humL",   "stXt",
    "stZl", "stJs", "stCs", "stFj", "stZr", "stOff", "stRun", "xqZl", "xqZr", "xqFj", "xqCold", "xqCs", "xqJs"};

const char* const CSMSnmpCyberPex::kOids[POINTS] = {
    "1.3.6.1.4.1.476.1.42.3.4.1.3.3.1.3.1", "1.3.6.1.4.1.476.1.42.3.4.1.3.1.0",
    "1.3.6.1.4.1.476.1.42.3.4.1.3.2.0",     "1.3.6.1.4.1.476.1.42.3.4.1.3.4.0",
    "1.3.6.1.4.1.476.1.42.3.4.2.2.3.1.3.1", "1.3.6.1.4.1.476.1.42.3.4.2.2.1.0",
    "1.3.6.1.4.1.476.1.42.3.4.2.2.2.0",     "1.3.6.1.4.1.476.1.42.3.4.2.2.4.0",
    "1.3.6.1.4.1.476.1.42.3.4.1.3.3.1.4.1", "1.3.6.1.4.1.476.1.42.3.4.1.3.3.1.5.1",
    "1.3.6.1.4.1.476.1.42.3.4.2.2.3.1.4.1", "1.3.6.1.4.1.476.1.42.3.4.2.2.3.1.5.1",
    "1.3.6.1.4.1.476.1.42.3.4.3.1.0",       "1.3.6.1.4.1.476.1.42.3.4.3.2.0",
    "1.3.6.1.4.1.476.1.42.3.4.3.4.0",       "1.3.6.1.4.1.476.1.42.3.4.3.5.0",
    "1.3.6.1.4.1.476.1.42.3.4.3.7.0",       "1.3.6.1.4.1.476.1.42.3.4.3.21.0",
    "1.3.6.1.4.1.476.1.42.3.4.3.14.0",      "1.3.6.1.4.1.476.1.42.3.4.3.15.0",
    "1.3.6.1.4.1.476.1.42.3.4.3.9.0",       "1.3.6.1.4.1.476.1.42.3.4.3.10.0",
    "1.3.6.1.4.1.476.1.42.3.4.3.16.0",      "1.3.6.1.4.1.476.1.42.3.4.3.17.0",
    "1.3.6.1.4.1.476.1.42.3.4.3.18.0",      "1.3.6.1.4.1.476.1.42.3.4.3.19.0"};

namespace {
const char kTable[] = "tbCyberPexS";

// Registered points; the limits are ours: 15.00..30.00 degC, 30.00..70.00 %RH, states unchecked.
const SMPointDef kPoints[] = {
    {0, 1, "tem", 1, "当前温度", 0, 100, 6, 1500, "最小值|低于此值告警", 3000, "最大值|超过此值告警", 0},
    {0, 2, "temS", 1, "设定温度", 0, 100, 0, 0, "", 0, "", 0},
    {0, 5, "hum", 1, "当前湿度", 0, 100, 6, 3000, "最小值|低于此值告警", 7000, "最大值|超过此值告警", 0},
    {0, 6, "humS", 1, "设定湿度", 0, 100, 0, 0, "", 0, "", 0},
    {0, 9, "temH", 1, "高温温度", 0, 100, 0, 0, "", 0, "", 0},
    {0, 10, "temL", 1, "低温温度", 0, 100, 0, 0, "", 0, "", 0},
    {0, 11, "humH", 1, "高湿湿度", 0, 100, 0, 0, "", 0, "", 0},
    {0, 12, "humL", 1, "低湿湿度", 0, 100, 0, 0, "", 0, "", 0},
    {0, 14, "stZl", 1, "制冷状态", 0, 100, 0, 0, "", 0, "", 0},
    {0, 15, "stJs", 1, "加湿状态", 0, 100, 0, 0, "", 0, "", 0},
    {0, 16, "stCs", 1, "除湿状态", 0, 100, 0, 0, "", 0, "", 0},
    {0, 17, "stFj", 1, "风机状态", 0, 100, 0, 0, "", 0, "", 0},
    {0, 18, "stZr", 1, "加热状态", 0, 100, 0, 0, "", 0, "", 0},
    {0, 20, "stRun", 1, "运行模式", 0, 100, 0, 0, "", 0, "", 0},
};
}  // namespace

CSMSnmpCyberPex::CSMSnmpCyberPex() : CSMBase(2097)
{
    SetNote("QV-CYBER-PEX");
    m_nDataCount = POINTS;
    m_pData = m_val;
}

int CSMSnmpCyberPex::RegDb(IDbBase* db, int force)
{
    const SMTypeDef type = {768, "UPS %s", "UPS山特兼容KR APC..."};
    return RegDbRows(db, force, type, kPoints, static_cast<int>(sizeof kPoints / sizeof kPoints[0]));
}

int CSMSnmpCyberPex::ChkDb(tagSMItem* item)
{
    if (!m_pDb) return 0;
    for (IDbBase* db : {m_pDb, m_pDb2})
        if (db && !db->TableExists(kTable))
            SqlExec(db,
                    "create table tbCyberPexS(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,Addr "
                    "INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER,tem INTEGER,temS INTEGER,temP INTEGER,"
                    "temD INTEGER,hum INTEGER,humS INTEGER,humP INTEGER,humD INTEGER,temH INTEGER,temL INTEGER,humH "
                    "INTEGER,humL INTEGER,stXt INTEGER,stZl INTEGER,stJs INTEGER,stCs INTEGER,stFj INTEGER,stZr "
                    "INTEGER,stOff INTEGER,stRun INTEGER,xqZl INTEGER,xqZr INTEGER,xqFj INTEGER,xqCold INTEGER,xqCs "
                    "INTEGER,xqJs INTEGER)");
    return item ? ChkDbDatInit(kTable, item) : 1;
}

int CSMSnmpCyberPex::DataVal(int fld)
{
    if (fld == 0) return 0;
    if (fld < 0 || fld > POINTS) return -1;
    return m_val[fld - 1];
}

int CSMSnmpCyberPex::DataGet(ISerBase*, int, int)
{
    if (!m_pItem) return 0;
    CSMSnmpSession s(*m_pItem, "CyberPex", m_room);
    if (!s.Ok()) return 0;
    std::memset(m_val, 0, sizeof m_val);
    for (int i = 0; i < POINTS; ++i) {
        m_val[i] = s.GetInt(kOids[i], 10);
        if (s.Dead()) return 0;
    }
    return 1;
}

int CSMSnmpCyberPex::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    if (!almBits) std::memset(m_val, 0, sizeof m_val);
    const int* v = m_val;
    int r = 0;
    if (m_pDb) {
        UpdSubSys(u);
        r = SqlExec(m_pDb,
                    "update %s set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d,SnapID=%d,tem=%d,temS=%d,"
                    "temP=%d,temD=%d,hum=%d,humS=%d,humP=%d,humD=%d,temH=%d,temL=%d,humH=%d,humL=%d,stXt=%d,stZl=%d,"
                    "stJs=%d,stCs=%d,stFj=%d,stZr=%d,stOff=%d,stRun=%d,xqZl=%d,xqZr=%d,xqFj=%d,xqCold=%d,xqCs=%d,"
                    "xqJs=%d where sid=%d",
                    kTable, u.state, u.snapId, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10],
                    v[11], v[12], v[13], v[14], v[15], v[16], v[17], v[18], v[19], v[20], v[21], v[22], v[23], v[24],
                    v[25], u.sid);
        char brief[128];
        if (u.state == SM_ST_FAULT)
            std::snprintf(brief, sizeof brief, "通讯故障");
        else
            std::snprintf(brief, sizeof brief, "当前温度:%1.1f ℃, 当前湿度:%1.1f %%", static_cast<double>(v[0]),
                          static_cast<double>(v[4]));
        UpdBriefText(u, brief);
    }
    if (hist)
        r = SqlExec(hist,
                    "insert into %s(SID,DateUpd,State,SnapID,tem,temS,temP,temD,hum,humS,humP,humD,temH,temL,humH,"
                    "humL,stXt,stZl,stJs,stCs,stFj,stZr,stOff,stRun,xqZl,xqZr,xqFj,xqCold,xqCs,xqJs) "
                    "values(%d,datetime(CURRENT_TIMESTAMP,'localtime'),%d,%d, %d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,"
                    "%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d)",
                    kTable, u.sid, u.state, u.snapId, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9],
                    v[10], v[11], v[12], v[13], v[14], v[15], v[16], v[17], v[18], v[19], v[20], v[21], v[22], v[23],
                    v[24], v[25]);
    return r == 0 ? 1 : 0;
}

int CSMSnmpCyberPex::VarEval(char* var)
{
    if (!var || var[0] != '.') return -1;
    for (int i = 0; i < POINTS; ++i) {
        if (std::strcmp(var + 1, kNames[i]) != 0) continue;
        char out[32];
        // tem .. humL are tenths, the states plain numbers.
        int n = i < 12 ? std::snprintf(out, sizeof out, "%.1f", m_val[i] / 10.0)
                       : std::snprintf(out, sizeof out, "%d", m_val[i]);
        std::memcpy(var, out, static_cast<size_t>(n) + 1);
        return n;
    }
    return -1;
}
