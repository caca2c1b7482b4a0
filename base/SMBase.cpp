#include "base/SMBase.h"

#include <cstdio>
#include <cstring>

#include "base/SqlText.h"
#include "base/TeFrame.h"

char CSMBase::m_buffer[CSMBase::SQL_SIZE];

namespace {
// Statements are composed here first so that an argument may point into m_buffer.
char g_sqlScratch[CSMBase::SQL_SIZE];
const char kNow[] = "datetime(CURRENT_TIMESTAMP,'localtime')";

// Bounded appender over a char buffer; remembers an overflow instead of cutting.
struct Appender {
    char* buf;
    int cap;
    int len = 0;
    bool over = false;
    Appender(char* b, int c) : buf(b), cap(c) { buf[0] = 0; }
    void add(const char* fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        if (over) return;
        va_list ap;
        va_start(ap, fmt);
        int n = vsnprintf(buf + len, static_cast<size_t>(cap - len), fmt, ap);
        va_end(ap);
        if (n < 0 || n >= cap - len) {
            over = true;
            buf[len] = 0;
            return;
        }
        len += n;
    }
};

void LogRefused(const char* fmt)
{
    trace_sm_log("RtLog", "[CSMBase::SqlFmt] statement over %d bytes refused: %.60s\r\n",
                 CSMBase::SQL_SIZE - 1, fmt ? fmt : "");
}
}  // namespace

CSMBase::CSMBase(int type)
    : m_nType(type),
      m_nDataCount(0),
      m_pManager(nullptr),
      m_pDb(nullptr),
      m_pDb2(nullptr),
      m_pItem(nullptr),
      m_pData(nullptr),
      m_szNote(),
      m_nFailCount(0),
      m_cmdBuf()
{
    SetNote("ISMBase基类");
}

CSMBase::~CSMBase() = default;

void CSMBase::SetNote(const char* note)
{
    std::snprintf(m_szNote, sizeof m_szNote, "%s", note ? note : "");
}

int CSMBase::GetType() { return m_nType; }
const char* CSMBase::GetNote() { return m_szNote; }
int CSMBase::GetMask() { return 0; }
void CSMBase::SetManager(ISMManager* manager) { m_pManager = manager; }
int CSMBase::RegDb(IDbBase*, int) { return 0; }

void CSMBase::SetDb(IDbBase* db, int index)
{
    if (index == 1)
        m_pDb2 = db;
    else
        m_pDb = db;
}

int CSMBase::ChkDb(tagSMItem*) { return 0; }
int CSMBase::DataSize() { return m_nDataCount; }
void* CSMBase::Data() { return m_pData; }
int CSMBase::DataVal(int) { return -1; }
int CSMBase::DataGet(ISerBase*, int, int) { return 0; }
int CSMBase::DataUpd(int, int*, int*, int, IDbBase*) { return 0; }
int CSMBase::DoFunc(ISerBase*, int, int, void*, int) { return 0; }

int CSMBase::DoFunc(int cmd, void* buf, int len)
{
    if (!m_pItem || !m_pItem->Ser) return 0;
    return DoFunc(m_pItem->Ser, m_pItem->Addr, cmd, buf, len);
}

int CSMBase::DoItem(tagSMItem* item, int)
{
    m_pItem = item;
    return 1;
}

int CSMBase::VarEval(char*) { return -1; }

int CSMBase::NeedDef(IDbBase* db, int force)
{
    if (SqlInt(db, "select count(*) from tbSMDef where Type=%d", m_nType) == 0) return 1;
    if (force == 0) return 0;
    SqlExec(db, "delete from tbSMDef where Type=%d", m_nType);
    return 1;
}

int CSMBase::NeedDefAlm(IDbBase*, int) { return 0; }

int CSMBase::ChkDbDatInit(const char* table, tagSMItem* item)
{
    if (!m_pDb || !table || !item) return 0;
    if (SqlInt(m_pDb, "select count(*) from %s where SID=%d", table, item->SID) != 0)
        SqlExec(m_pDb, "update %s set Type=%d,Port=%d,Addr=%d where SID=%d", table, item->Type,
                item->Port, item->Addr, item->SID);
    else
        SqlExec(m_pDb,
                "insert into %s(SID,Type,Port,Addr,DateUpd,State) values(%d,%d,%d,%d,%s,%d)",
                table, item->SID, item->Type, item->Port, item->Addr, kNow, -1);
    if (SqlInt(m_pDb, "select count(*) from tbSMBrief where SID=%d", item->SID) == 0)
        SqlExec(m_pDb, "insert into tbSMBrief(SID,LastUpd) values(%d,%s)", item->SID, kNow);
    return 1;
}

int CSMBase::GetAlmDetail(char* out, const int* almBits, int max, int cap)
{
    if (!out || cap < 1) return 0;
    out[0] = 0;
    if (!almBits || !m_pDb) return 0;
    Appender a(out, cap);
    int count = 0;
    char sql[512];
    for (int i = 0; i < m_nDataCount; ++i) {
        if (!AlmBit(almBits, i + 1)) continue;
        std::snprintf(sql, sizeof sql, "select Note from tbSMDef where Type=%d and Fld=%d", m_nType, i + 1);
        const char* name = m_pDb->QueryStr(sql);
        int keep = a.len;
        a.add("%s%s", count == 0 ? "告警:" : " ", name ? name : "");
        if (a.over) {  // leave the name out rather than cut it
            a.over = false;
            a.len = keep;
            out[keep] = 0;
        }
        ++count;
        if (count >= max) {
            a.add("...");
            return count;
        }
    }
    return count;
}

// ---- SQL helpers -------------------------------------------------------------------------

const char* CSMBase::SqlFmtV(const char* fmt, va_list ap)
{
    int n = vsnprintf(g_sqlScratch, sizeof g_sqlScratch, fmt, ap);
    if (n < 0 || n >= SQL_SIZE) {
        LogRefused(fmt);
        return nullptr;
    }
    std::memcpy(m_buffer, g_sqlScratch, static_cast<size_t>(n) + 1);
    return m_buffer;
}

const char* CSMBase::SqlFmt(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    const char* s = SqlFmtV(fmt, ap);
    va_end(ap);
    return s;
}

int CSMBase::SqlExec(IDbBase* db, const char* fmt, ...)
{
    if (!db) return 0;
    va_list ap;
    va_start(ap, fmt);
    const char* s = SqlFmtV(fmt, ap);
    va_end(ap);
    return s ? db->Exec(s) : -1;
}

int CSMBase::SqlInt(IDbBase* db, const char* fmt, ...)
{
    if (!db) return 0;
    va_list ap;
    va_start(ap, fmt);
    const char* s = SqlFmtV(fmt, ap);
    va_end(ap);
    return s ? db->QueryInt(s) : 0;
}

const char* CSMBase::SqlStr(IDbBase* db, const char* fmt, ...)
{
    if (!db) return "";
    va_list ap;
    va_start(ap, fmt);
    const char* s = SqlFmtV(fmt, ap);
    va_end(ap);
    if (!s) return "";
    const char* r = db->QueryStr(s);
    return r ? r : "";
}

int CSMBase::SqlQuote(char* out, int cap, const char* in)
{
    if (!out || cap < 1) return -1;
    SMSqlText t(out, cap);
    t.Quoted(in ? in : "");
    return t.Over() ? -1 : t.Len();
}

// ---- catalogue ---------------------------------------------------------------------------

int CSMBase::InsertPoint(IDbBase* db, const SMPointDef& p)
{
    return SqlExec(db, "insert into tbSMDef values(%d,%d,%d,'%s',%d,'%s',%d,%d,%d,%d,'%s',%d,'%s',%d,NULL)",
                   m_nType, p.sid, p.fld, p.name ? p.name : "", p.group, p.note ? p.note : "", p.col7,
                   p.scale, p.mode, p.vref, p.vrefHelp ? p.vrefHelp : "", p.vref2,
                   p.vref2Help ? p.vref2Help : "", p.extra);
}

int CSMBase::RegDbRows(IDbBase* db, int force, const SMTypeDef& type, const SMPointDef* points, int n)
{
    if (!db) return 0;
    if (SqlInt(db, "select count(*) from tbSMType where Type=%d", m_nType) == 0) {
        char display[128];
        std::snprintf(display, sizeof display, type.display ? type.display : "%s", m_szNote);
        SqlExec(db, "insert into tbSMType values(%d,%d,'%s','%s')", m_nType,
                type.group ? type.group : m_nType, display, type.iface ? type.iface : "");
    }
    if (SqlInt(db, "select count(*) from tbSMDef where Type=%d", m_nType) != 0 && force)
        SqlExec(db, "delete from tbSMDef where Type=%d", m_nType);
    if (NeedDef(db, force) == 0) return 0;
    int r = 0;
    for (int i = 0; i < n; ++i) r = InsertPoint(db, points[i]);
    return r;
}

// ---- family tables -----------------------------------------------------------------------

namespace {
int ExecCreate(IDbBase* db, const SMTableDef& t)
{
    return CSMBase::SqlExec(db,
                   "create table %s(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,"
                   "Addr INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER%s%s)",
                   t.name, (t.columns && t.columns[0]) ? "," : "", t.columns ? t.columns : "");
}
}  // namespace

int CSMBase::CreateTable(IDbBase* db, const SMTableDef& t)
{
    if (!db || db->TableExists(t.name)) return 0;
    return ExecCreate(db, t);
}

int CSMBase::ChkDbTables(tagSMItem* item, const SMTableDef* tables, int n)
{
    if (!m_pDb && !m_pDb2) return 0;
    int r = 0;
    for (IDbBase* db : {m_pDb, m_pDb2}) {
        if (!db) continue;
        for (int i = 0; i < n; ++i)
            if (!db->TableExists(tables[i].name)) r = ExecCreate(db, tables[i]);
    }
    if (item) return n > 0 ? ChkDbDatInit(tables[0].name, item) : 0;
    return r == 0 ? 1 : 0;
}

// ---- storing a poll ----------------------------------------------------------------------

int CSMBase::AlmBit(const int* almBits, int fld)
{
    if (!almBits || fld < 1) return 0;
    unsigned int i = static_cast<unsigned int>(fld - 1);
    return (static_cast<unsigned int>(almBits[i / 32]) >> (i % 32)) & 1u;
}

const char* CSMBase::StSuffix(int st)
{
    if (st == SM_ST_ALARM) return "(告警)";
    if (st == SM_ST_FAULT) return "(故障)";
    return "(正常)";
}

SMUpd CSMBase::UpdBegin(int flags, const int* almBits, const int* snapId, int sid, int almPoints) const
{
    SMUpd u;
    u.almBits = almBits;
    u.state = almBits ? SM_ST_OK : SM_ST_FAULT;
    for (int f = 1; almBits && f <= almPoints; ++f)
        if (AlmBit(almBits, f)) {
            u.state = SM_ST_ALARM;
            break;
        }
    if (flags & 1) u.state = SM_ST_ALARM;
    u.snapId = ((flags & 16) && snapId) ? *snapId : 0;
    u.sid = sid < 0 ? ItemSid() : sid;
    return u;
}

int CSMBase::UpdSubSys(const SMUpd& u)
{
    return SqlExec(m_pDb, "update tbSubSysDetail set LastUpd=%s,State=%d where sid=%d and type=%d", kNow,
                   u.state, u.sid, ItemType());
}

int CSMBase::UpdBrief(const SMUpd& u, const char* brief)
{
    return SqlExec(m_pDb, "update tbSMBrief set LastUpd=%s,St=%d,Brief='%s' where sid=%d", kNow, u.state,
                   brief ? brief : "", u.sid);
}

int CSMBase::UpdBriefText(const SMUpd& u, const char* brief)
{
    return SqlExec(m_pDb, "update tbSMBrief set LastUpd=%s,Brief='%s' where sid=%d", kNow, brief ? brief : "",
                   u.sid);
}

int CSMBase::UpdRow(const char* table, const SMUpd& u, const SMCol* cols, int n)
{
    if (!m_pDb) return 0;
    Appender a(g_sqlScratch, SQL_SIZE);
    a.add("update %s set DateUpd=%s,State=%d,SnapID=%d", table, kNow, u.state, u.snapId);
    for (int i = 0; i < n; ++i) {
        if (cols[i].text)
            a.add(",%s='%s'", cols[i].name, cols[i].text);
        else
            a.add(",%s=%d", cols[i].name, cols[i].value);
    }
    a.add(" where sid=%d", u.sid);
    if (a.over) {
        LogRefused(table);
        return -1;
    }
    std::memcpy(m_buffer, g_sqlScratch, static_cast<size_t>(a.len) + 1);
    return m_pDb->Exec(m_buffer);
}

int CSMBase::TrimRows(IDbBase* db, const char* table, const char* cond, int keep)
{
    return SqlExec(db, "delete from %s where %s and (DID not in(select DID from %s order by DateUpd desc limit %d))",
                   table, cond, table, keep);
}

int CSMBase::InsHist(IDbBase* hist, const char* table, const SMUpd& u, const SMCol* cols, int n)
{
    if (!hist) return 0;
    Appender a(g_sqlScratch, SQL_SIZE);
    a.add("insert into %s(SID,DateUpd,State,SnapID", table);
    for (int i = 0; i < n; ++i) a.add(",%s", cols[i].name);
    a.add(") values(%d,%s,%d,%d", u.sid, kNow, u.state, u.snapId);
    for (int i = 0; i < n; ++i) {
        if (cols[i].text)
            a.add(",'%s'", cols[i].text);
        else
            a.add(",%d", cols[i].value);
    }
    a.add(")");
    if (a.over) {
        LogRefused(table);
        return -1;
    }
    std::memcpy(m_buffer, g_sqlScratch, static_cast<size_t>(a.len) + 1);
    return hist->Exec(m_buffer);
}

// ---- exchanges ---------------------------------------------------------------------------

int CSMBase::Exchange(ISerBase* port, const unsigned char* frame, int len, unsigned long pauseUs,
                      unsigned char* rbuf, int cap, int timeoutMs)
{
    if (!port || !port->IsOpen()) return -1;
    port->Purge();
    if (port->Write(frame, len) != len) return -1;
    SMSleepUs(pauseUs);
    int n = port->Read(rbuf, cap, timeoutMs);
    if (n > cap) n = cap;
    return n < 0 ? 0 : n;
}

int CSMBase::Exchange(ISerBase* port, const unsigned char* frame, int len, unsigned long pauseUs,
                      unsigned char* rbuf, int cap, const CSMReplyRule& rule, int timeoutMs)
{
    if (!port || !port->IsOpen() || !rbuf || cap < 1) return -1;
    port->Purge();
    if (port->Write(frame, len) != len) return -1;
    SMSleepUs(pauseUs);
    return SMReadReply(port, rbuf, cap, rule, timeoutMs);
}

int CSMBase::RtuRead(ISerBase* port, int addr, int func, int reg, int count, int waitMs, int defaultMs,
                     unsigned char* rbuf, int cap)
{
    int bytes = SMModbusBytes(func, count);
    int want = 5 + bytes;
    if (count < 1 || bytes < 0 || want > cap || want > QVSM_CRC_MAX + 2) return -1;
    int len = ModBusCmd(static_cast<unsigned char>(addr & 0xFF), static_cast<unsigned char>(func),
                        static_cast<unsigned short>(reg), static_cast<unsigned short>(count));
    CSMRtuRule rule(addr, func, bytes);
    int n = Exchange(port, m_cmdBuf, len, ReplyPauseUs(waitMs, defaultMs), rbuf, want, rule);
    return n == want ? n : -1;
}

int CSMBase::ModBusCmd(unsigned char addr, unsigned char func, unsigned short reg, unsigned short count)
{
    return CBufHelper::ModBusCmd(m_cmdBuf, addr, func, reg, count);
}

int CSMBase::ModBusTcpCmd(unsigned short transId, unsigned char addr, unsigned char func, unsigned short reg,
                          unsigned short count)
{
    // MBAP header (transaction, protocol 0, length 6), unit, then the PDU; words high byte first.
    const unsigned char frame[12] = {static_cast<unsigned char>(transId >> 8), static_cast<unsigned char>(transId),
                                     0, 0, 0, 6, addr, func,
                                     static_cast<unsigned char>(reg >> 8), static_cast<unsigned char>(reg),
                                     static_cast<unsigned char>(count >> 8), static_cast<unsigned char>(count)};
    std::memcpy(m_cmdBuf, frame, sizeof frame);
    return 12;
}

int CSMBase::GetModBusData(unsigned char* rbuf, int rsize, ISerBase* port, unsigned char addr, unsigned char func,
                           unsigned short reg, unsigned short count, unsigned short waitMs, unsigned short transId,
                           unsigned short tcp)
{
    if (!rbuf || rsize < 1 || !port) return -1;
    int len = (tcp == 1) ? ModBusTcpCmd(transId, addr, func, reg, count) : ModBusCmd(addr, func, reg, count);
    // Reads must bring the data asked for; the writes of one value or of a block echo 8 bytes.
    int bytes = SMModbusBytes(func, count);
    bool echo = func == 5 || func == 6 || func == 15 || func == 16;
    port->Purge();
    if (port->Write(m_cmdBuf, len) != len) return -1;
    SMSleepMs(waitMs);
    int n;
    if (tcp == 1)
        n = SMReadReply(port, rbuf, rsize, CSMTcpRule(transId, addr, func, bytes));
    else
        n = SMReadReply(port, rbuf, rsize, CSMRtuRule(addr, func, bytes, echo ? 8 : 0));
    return n < 5 ? -1 : n;
}

int CSMBase::GetYdn23Data(unsigned char* rbuf, int rsize, ISerBase* port, unsigned char adr, unsigned char ver,
                          unsigned char cid1, unsigned char cid2, const unsigned char* info, int infoLen,
                          unsigned char soi, unsigned char eoi, int waitMs)
{
    if (!rbuf || rsize < 1 || !port) return -1;
    if (!info) infoLen = 0;
    // The frame must fit the command buffer: 18 characters plus two per INFO byte.
    if (infoLen < 0 || 2 * infoLen + 18 > CMD_SIZE) return -1;
    int len = TE_CmdPack(m_cmdBuf, ver, cid1, cid2, adr, info, infoLen, soi, eoi);
    port->Purge();
    if (port->Write(m_cmdBuf, len) != len) return -1;
    SMSleepMs(static_cast<unsigned long>(waitMs < 0 ? 0 : waitMs));
    int n = SMReadReply(port, rbuf, rsize, CSMYdtRule(adr, soi, eoi));
    if (n < 11) return -1;
    if (!TE_GetChkPack(rbuf, n)) return -1;
    // LENGTH sits at characters 9 to 12; those not received count as spaces (value 0).
    unsigned char lenText[4];
    for (int i = 0; i < 4; ++i) lenText[i] = (9 + i < n) ? rbuf[9 + i] : ' ';
    unsigned short length = TE_Ascii2uint16(lenText, 4);
    if (TE_GetChkLength(length & 0x0FFF) != length) return -1;
    if (!TE_GetChkSum(rbuf, static_cast<unsigned short>(n))) return -1;
    return n;
}
