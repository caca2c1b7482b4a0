#include "generic/SMDefBase.h"

#include <vector>

CSMDefBase::CSMDefBase(int type, const char* note, const char* model) : CSMBase(type), m_defModel(model)
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
    return 1;
}

int CSMDefBase::DataVal(int fld)
{
    if (fld < 1 || fld > m_nDataCount) return -1;
    const IniLine* key = m_ini.Find(SEC_FLDS, std::to_string(fld));
    if (!key || key->value.empty()) return -1;
    return m_ini.GetValue<int>(SEC_VALS, key->value, -1);
}

int CSMDefBase::VarEval(char* text) { return DefVarEval(m_ini, text, DEF_VAR_CAP); }

std::string CSMDefBase::Model() const { return m_ini.GetValue(SEC_COMM, "model", m_defModel ? m_defModel : ""); }

std::string CSMDefBase::Brief(int state, const int* almBits) const
{
    std::string text = m_ini.GetValue(SEC_COMM, "brief", "");
    if (!text.empty()) VarByIni(text, m_ini, state, almBits);
    return text;
}

int CSMDefBase::RegDefRows(IDbBase* db, int force)
{
    if (!db) return 0;
    int r = 0;
    if (SqlInt(db, "select count(*) from tbSMType where Type=%d", m_nType) == 0) {
        std::string model = Model();
        std::vector<char> qm(model.size() * 2 + 1), qn(sizeof m_szNote * 2 + 1);
        SqlQuote(qm.data(), static_cast<int>(qm.size()), model.c_str());
        SqlQuote(qn.data(), static_cast<int>(qn.size()), m_szNote);
        r = SqlExec(db, "insert into tbSMType values(%d,%d,'%s','%s')", m_nType, m_nType & 0xFF00, qm.data(),
                    qn.data());
    }
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

int CSMDefBase::ChkDefTables(tagSMItem* item, const char* table, const char* datTable, const char* datExtra)
{
    if (!m_pDb) return 0;
    bool created = false;
    int r = 0;
    for (IDbBase* db : {m_pDb, m_pDb2}) {
        if (!db) continue;
        if (!db->TableExists(table)) {
            created = true;
            r = SqlExec(db,
                        "create table %s(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,Addr INTEGER,"
                        "DateUpd DATETIME,State INTEGER,SnapID INTEGER)",
                        table);
        }
        if (!db->TableExists(datTable)) {
            created = true;
            r = SqlExec(db,
                        "create table %s(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,Fld VARCHAR(64),Val INTEGER%s)",
                        datTable, datExtra ? datExtra : "");
        }
    }
    if (item) return ChkDbDatInit(table, item);
    return (!created || r == 0) ? 1 : 0;
}

namespace {
// Optional sign and digits only: the text can stand unquoted in a statement.
bool IsIntText(const std::string& v)
{
    size_t i = (!v.empty() && (v[0] == '-' || v[0] == '+')) ? 1 : 0;
    if (i >= v.size()) return false;
    for (; i < v.size(); ++i)
        if (v[i] < '0' || v[i] > '9') return false;
    return true;
}
}  // namespace

int CSMDefBase::DetailRows(IDbBase* db, int sid, int did, const char* datTable)
{
    if (!db) return 0;
    int r = 0;
    if (did == 0) r = SqlExec(db, "delete from %s where SID=%d", datTable, sid);
    for (auto it = m_ini.beginKey(SEC_VALS); it != m_ini.endKey(SEC_VALS); ++it) {
        const std::string& key = it->first;
        const std::string& val = it->second.value;
        std::vector<char> qk(key.size() * 2 + 1);
        SqlQuote(qk.data(), static_cast<int>(qk.size()), key.c_str());
        const char* v = "null";
        if (IsIntText(val)) {
            v = val.c_str();
        } else if (!val.empty()) {
            trace_sm_log("RtLog", "type %d: value of %s is not a number, stored as null\n", m_nType, qk.data());
        }
        r = SqlExec(db, "insert into %s(DID,SID,Fld,Val) values(%d,%d,'V%s',%s)", datTable, did, sid, qk.data(), v);
    }
    return r;
}

int CSMDefBase::UpdDefRows(int flags, const int* almBits, const int* snapId, int sid, IDbBase* hist,
                           const char* table, const char* datTable, bool briefAlarms)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    int kept = 0;
    if (m_pDb) {
        UpdSubSys(u);
        kept = UpdRow(table, u, nullptr, 0);
        std::string suffix;
        if (briefAlarms) {
            std::vector<char> alm(1024);
            if (GetAlmDetail(alm.data(), almBits, 5, static_cast<int>(alm.size())) > 0)
                suffix = std::string("; ") + alm.data();
        }
        std::string brief = m_ini.GetValue(SEC_COMM, "brief", "");
        if (!brief.empty()) {
            if (briefAlarms)
                VarByIni(brief, m_ini, u.state, almBits);
            else
                VarByIni(brief, m_ini, 0, nullptr);
            brief += suffix;
            std::vector<char> q(brief.size() * 2 + 1);
            SqlQuote(q.data(), static_cast<int>(q.size()), brief.c_str());
            UpdBrief(u, q.data());
        }
        DetailRows(m_pDb, u.sid, 0, datTable);
    }
    if (hist && m_pItem) {
        kept = SqlExec(hist,
                       "insert into %s(SID,Type,Port,Addr,DateUpd,State) values(%d,%d,%d,%d,"
                       "datetime(CURRENT_TIMESTAMP,'localtime'),%d)",
                       table, m_pItem->SID, m_pItem->Type, m_pItem->Port, m_pItem->Addr, u.state);
        if (kept == 0) DetailRows(hist, u.sid, static_cast<int>(hist->LastInsertId()), datTable);
    }
    return kept == 0 ? 1 : 0;
}
