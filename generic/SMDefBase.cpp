#include "generic/SMDefBase.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/SqlText.h"

CSMDefBase::CSMDefBase(int type, const char* note, const char* model, const SMDefFamily& family)
    : CSMBase(type), m_defModel(model), m_family(family)
{
    SetNote(note);
    m_nDataCount = 1;
}

CSMDefBase::~CSMDefBase() = default;

int CSMDefBase::LoadDef(const char* path)
{
    if (!path || !m_ini.Load(path)) return -1;
    return UpdLoad();
}

std::string GbkCut(const std::string& text, size_t max)
{
    size_t i = 0;
    while (i < text.size()) {
        size_t len = (static_cast<unsigned char>(text[i]) >= 0x81 && i + 1 < text.size()) ? 2 : 1;
        if (i + len > max) break;
        i += len;
    }
    return text.substr(0, i);
}

int DefTrunc(double v)
{
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
}

namespace {
std::string Quoted(const std::string& text)
{
    std::vector<char> q(text.size() * 2 + 1);
    CSMBase::SqlQuote(q.data(), static_cast<int>(q.size()), text.c_str());
    return q.data();
}

// text with its single quotes doubled, into out (reused: no allocation once it is large enough).
const char* QuoteInto(std::string& out, const std::string& text)
{
    out.resize(text.size() * 2 + 1);
    int n = CSMBase::SqlQuote(&out[0], static_cast<int>(out.size()), text.c_str());
    return n < 0 ? "" : out.c_str();
}

// "n" of a [flds] key that is a point number as DataVal spells it (digits, no leading zero).
bool PointKey(const std::string& key, int cnt, int& n)
{
    if (key.empty() || key.size() > 10 || key[0] < '1' || key[0] > '9') return false;
    long long v = 0;
    for (char c : key) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > cnt) return false;
    n = static_cast<int>(v);
    return true;
}

// Points beyond this count are looked up by text.
const int kPlannedPoints = 65536;
}  // namespace

int CSMDefBase::UpdLoad()
{
    m_bLoaded = true;
    std::string note = m_ini.GetValue(SEC_COMM, "note", "");
    if (!note.empty()) {
        if (note.size() > DEF_NOTE_MAX) {
            note = GbkCut(note, DEF_NOTE_MAX);
            trace_sm_log("RtLog", "type %d: note over %d bytes cut\n", m_nType, DEF_NOTE_MAX);
        }
        SetNote(note.c_str());
    }
    m_nDebug = m_ini.GetValue<int>(SEC_COMM, "debug", 0);
    m_nDelay = m_ini.GetValue<int>(SEC_COMM, "delay", 10);
    m_nTimeout = m_ini.GetValue<int>(SEC_COMM, "timeout", 300);
    m_nMask = m_ini.GetValue<int>(SEC_COMM, "mask", 0);
    int cnt = m_ini.GetValue<int>(SEC_FLDS, "cnt", 0);
    m_nDataCount = cnt < 0 ? 0 : cnt;
    IndexPoints(m_ini, m_nDataCount);

    m_vals.Reset();
    m_pointSlot.assign(static_cast<size_t>(std::min(m_nDataCount, kPlannedPoints)) + 1, -1);
    const int planned = static_cast<int>(m_pointSlot.size()) - 1;
    for (auto it = m_ini.beginKey(SEC_FLDS); it != m_ini.endKey(SEC_FLDS); ++it) {
        int n = 0;
        if (PointKey(it->first, planned, n) && !it->second.value.empty()) m_pointSlot[static_cast<size_t>(n)] = m_vals.Slot(it->second.value);
    }
    return 1;
}

int CSMDefBase::PointValByKey(int fld)
{
    if (fld < 1 || fld > m_nDataCount) return -1;
    char num[16];
    DefIntText(num, fld);
    const IniLine* key = m_ini.Find(SEC_FLDS, num);
    if (!key || key->value.empty()) return -1;
    // A reading beyond the int range (a Gauge32 above 2^31) reads as the nearest bound, so a
    // limit check still sees a large value.
    const IniLine* val = m_ini.Find(SEC_VALS, key->value);
    long long v = 0;
    if (!val) return -1;
    if (!SimpleIni::ParseLeadingInt(val->value, v)) {
        // Digits beyond the 64-bit range: still the nearest bound.
        size_t i = val->value.find_first_not_of(" \t");
        if (i == std::string::npos) return -1;
        bool neg = val->value[i] == '-';
        if (neg || val->value[i] == '+') ++i;
        if (i >= val->value.size() || val->value[i] < '0' || val->value[i] > '9') return -1;
        return neg ? INT_MIN : INT_MAX;
    }
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

int CSMDefBase::VarEval(char* text) { return DefVarEval(m_ini, text, DEF_VAR_CAP); }

std::string CSMDefBase::Model() const { return m_ini.GetValue(SEC_COMM, "model", m_defModel ? m_defModel : ""); }

std::string CSMDefBase::Brief(int state, const int* almBits) const
{
    std::string text = m_ini.GetValue(SEC_COMM, "brief", "");
    if (!text.empty()) VarByIni(text, m_ini, state, almBits);
    return text;
}

int CSMDefBase::RegDb(IDbBase* db, int force)
{
    if (!db) return 0;
    int r = 0;
    if (SqlInt(db, "select count(*) from tbSMType where Type=%d", m_nType) == 0)
        r = SqlExec(db, "insert into tbSMType values(%d,%d,'%s','%s')", m_nType, m_nType & 0xFF00,
                    Quoted(Model()).c_str(), Quoted(m_szNote).c_str());
    if (SqlInt(db, "select count(*) from tbSMDef where Type=%d", m_nType) != 0 && force)
        r = SqlExec(db, "delete from tbSMDef where Type=%d", m_nType);
    if (NeedDef(db, force) == 0 || !m_bLoaded) return r;
    for (auto it = m_ini.beginKey(SEC_FLDSDEF); it != m_ini.endKey(SEC_FLDSDEF); ++it) {
        const std::string& key = it->first;
        if (key.empty()) break;
        if (it->second.value.empty()) continue;
        r = SqlExec(db, "insert into tbSMDef values(%d,0,%s,%s,0,NULL)", m_nType, key[0] == '0' ? "0" : key.c_str(),
                    it->second.value.c_str());
    }
    return r;
}

int CSMDefBase::ChkDb(tagSMItem* item)
{
    if (!m_pDb) return 0;
    bool created = false;
    int r = 0;
    for (IDbBase* db : {m_pDb, m_pDb2}) {
        if (!db) continue;
        if (!db->TableExists(m_family.table)) {
            created = true;
            r = SqlExec(db,
                        "create table %s(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,Addr INTEGER,"
                        "DateUpd DATETIME,State INTEGER,SnapID INTEGER)",
                        m_family.table);
        }
        if (!db->TableExists(m_family.datTable)) {
            created = true;
            r = SqlExec(db,
                        "create table %s(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,Fld VARCHAR(64),Val INTEGER%s)",
                        m_family.datTable, m_family.datExtra);
        }
    }
    if (item) return ChkDbDatInit(m_family.table, item);
    return (!created || r == 0) ? 1 : 0;
}

bool CSMDefBase::TextReading(const std::string&) const { return false; }

int CSMDefBase::DataDetail(IDbBase* db, int sid, long long did)
{
    if (!db) return 0;
    const char* dat = m_family.datTable;
    const char* pre = m_family.fldPrefix;
    int r = 0;
    if (did == 0) r = SqlExec(db, "delete from %s where SID=%d", dat, sid);
    const SimpleIni::KeyMap* vals = m_ini.Section(SEC_VALS);
    if (!vals) return r;
    // Every row starts alike up to its key: those beginnings are written once, each row is
    // then put together without printf. A row that does not fit goes through SqlExec, which
    // refuses and logs it.
    char numHead[256], textHead[256];
    SMSqlText nh(numHead, sizeof numHead), th(textHead, sizeof textHead);
    for (SMSqlText* h : {&nh, &th}) {
        h->Add("insert into ").Add(dat).Add(h == &nh ? "(DID,SID,Fld,Val) values(" : "(DID,SID,Fld,ValStr) values(");
        h->Int(did).Add(",", 1).Int(sid).Add(",'", 2).Add(pre);
    }
    SMSqlText row(m_buffer, SQL_SIZE);
    for (auto it = vals->begin(); it != vals->end(); ++it) {
        const std::string& key = it->first;
        const std::string& val = it->second.value;
        const bool text = TextReading(key);
        const SMSqlText& head = text ? th : nh;
        const char* v = "null";
        if (text) {
            // An empty text reading (nothing was read) is null like a numeric one.
            if (!val.empty()) v = nullptr;
        } else if (SimpleIni::IsInt(val)) {
            v = val.c_str();
        } else if (!val.empty()) {
            trace_sm_log("RtLog", "type %d: %s=%s is not a number, stored as null\n", m_nType,
                         QuoteInto(m_quoted, key), val.c_str());
        }
        row.Keep(0);
        if (!head.Over()) {
            row.Add(head.Text(), static_cast<size_t>(head.Len())).Quoted(key.c_str()).Add("',", 2);
            if (v)
                row.Add(v);
            else
                row.Add("'", 1).Quoted(val.c_str()).Add("'", 1);
            row.Add(")", 1);
        }
        if (!head.Over() && !row.Over()) {
            r = db->Exec(m_buffer);
            continue;
        }
        const char* q = QuoteInto(m_quoted, key);
        if (!text)
            r = SqlExec(db, "insert into %s(DID,SID,Fld,Val) values(%lld,%d,'%s%s',%s)", dat, did, sid, pre, q, v);
        else if (v)
            r = SqlExec(db, "insert into %s(DID,SID,Fld,ValStr) values(%lld,%d,'%s%s',%s)", dat, did, sid, pre, q, v);
        else
            r = SqlExec(db, "insert into %s(DID,SID,Fld,ValStr) values(%lld,%d,'%s%s','%s')", dat, did, sid, pre, q,
                        QuoteInto(m_quotedVal, val));
    }
    return r;
}

int CSMDefBase::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    const bool plain = (m_family.updRule & DEF_UPD_PLAIN_BRIEF) != 0;
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    int kept = 0, last = 0;
    if (m_pDb) {
        last = UpdSubSys(u);
        kept = last = UpdRow(m_family.table, u, nullptr, 0);
        const IniLine* tmpl = m_ini.Find(SEC_COMM, "brief");
        if (tmpl && !tmpl->value.empty()) {
            m_brief.assign(tmpl->value);
            VarByIni(m_brief, m_ini, plain ? 0 : u.state, plain ? nullptr : almBits);
            char alm[1024];
            if (!plain && GetAlmDetail(alm, almBits, 5, static_cast<int>(sizeof alm)) > 0)
                m_brief.append("; ").append(alm);
            last = UpdBrief(u, QuoteInto(m_quoted, m_brief));
        }
        last = DataDetail(m_pDb, u.sid, 0);
    }
    if (hist && m_pItem) {
        kept = last = SqlExec(hist,
                              "insert into %s(SID,Type,Port,Addr,DateUpd,State) values(%d,%d,%d,%d,"
                              "datetime(CURRENT_TIMESTAMP,'localtime'),%d)",
                              m_family.table, m_pItem->SID, m_pItem->Type, m_pItem->Port, m_pItem->Addr, u.state);
        // Readings are hung on the row just written; without it they would land on another.
        if (kept == 0) last = DataDetail(hist, u.sid, hist->LastInsertId());
    }
    return ((m_family.updRule & DEF_UPD_LAST_EXEC) ? last : kept) == 0 ? 1 : 0;
}

int CSMDefBase::SendCmd(ISerBase* port, int len, unsigned char* reply, int cap)
{
    port->Purge();
    if (port->Write(m_cmdBuf, len) != len) return -1;
    if (m_nDelay > 0) SMSleepMs(static_cast<unsigned long>(m_nDelay));
    int n = cap > 0 ? port->Read(reply, cap, 0) : 0;
    return n < 0 ? 0 : n > cap ? cap : n;
}

int CSMDefBase::SendCmd(ISerBase* port, int len, unsigned char* reply, int cap, const CSMReplyRule& rule)
{
    port->Purge();
    if (port->Write(m_cmdBuf, len) != len) return -1;
    if (m_nDelay > 0) SMSleepMs(static_cast<unsigned long>(m_nDelay));
    if (cap < 1) return 0;
    int n = SMReadReply(port, reply, cap, rule);
    return n < 0 ? -1 : n;
}

std::vector<std::string> CSMDefBase::CodeList(const char* key) const
{
    std::vector<std::string> codes;
    const std::string list = m_ini.GetValue(SEC_COMM, key, "");
    for (size_t p = 0; p < list.size(); p += 3) codes.push_back(list.substr(p, 2));
    return codes;
}

void CSMDefBase::CheckDmax(const std::vector<std::string>& codes, int defDmax, int max) const
{
    for (const std::string& code : codes) {
        const std::string sec = code + "H";
        int dmax = m_ini.GetValue<int>(sec, "dmax", defDmax);
        if (dmax > max)
            trace_sm_log("RtLog", "type %d: [%s] dmax %d is above %d, the command is refused\n", m_nType, sec.c_str(),
                         dmax, max);
    }
}

void CSMDefBase::StoreBits(const std::string& section, int n, const std::string& key, int value)
{
    int bytes = m_ini.GetValue<int>(section, std::to_string(n) + "bit", 0);
    int bits = bytes > 4 ? 32 : (bytes < 0 ? 0 : 8 * bytes);
    char sub[96];
    for (int b = 0; b < bits; ++b) {
        const long long bit = (static_cast<unsigned>(value) >> b) & 1u;
        if (key.size() + 4 >= sizeof sub) {  // a key this long is rare: by a text of its own
            m_vals.SetInt(m_vals.Slot(key + "-" + std::to_string(b)), bit);
            continue;
        }
        std::snprintf(sub, sizeof sub, "%s-%d", key.c_str(), b);
        m_vals.SetInt(m_vals.Slot(sub), bit);
    }
}

void CSMDefBase::TraceVals() const
{
    for (auto it = m_ini.beginKey(SEC_VALS); it != m_ini.endKey(SEC_VALS); ++it)
        std::printf("%s=%s\n", it->first.c_str(), it->second.value.c_str());
    std::printf("brief=%s\n", Brief(0, nullptr).c_str());
}
