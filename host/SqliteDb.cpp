#include "host/SqliteDb.h"

#include <sqlite3.h>
#include <strings.h>

const char* const CSqliteDb::kHostTables[] = {
    "create table if not exists tbSMType(Type INTEGER,Kind INTEGER,Name TEXT,Iface TEXT)",
    // Fifteen columns in insert order; the last, ANote, is NULL when a driver inserts a row.
    "create table if not exists tbSMDef(Type INTEGER,SID INTEGER,Fld INTEGER,FldName TEXT,Grp INTEGER,"
    "Note TEXT,Flag INTEGER,Scale INTEGER,AlmMode INTEGER,vref INTEGER,vrefNote TEXT,vref2 INTEGER,"
    "vref2Note TEXT,Extra INTEGER,ANote TEXT)",
    "create table if not exists tbSMDefVal(Type INTEGER,SID INTEGER,Fld INTEGER,ANote TEXT)",
    "create table if not exists tbSMBrief(SID INTEGER PRIMARY KEY,LastUpd DATETIME,St INTEGER,Brief TEXT)",
    "create table if not exists tbSubSysDetail(SIDD INTEGER,sid INTEGER,type INTEGER,Fld INTEGER,"
    "Name TEXT,LastUpd DATETIME,State INTEGER)",
    nullptr};

CSqliteDb::CSqliteDb() = default;

CSqliteDb::~CSqliteDb() { Close(); }

void CSqliteDb::SetError() { m_error = m_db ? sqlite3_errmsg(m_db) : "database not open"; }

bool CSqliteDb::Open(const std::string& path)
{
    Close();
    // No locking inside SQLite: a connection is only ever used by one thread at a time.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        SetError();
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, 5000);
    if (path != ":memory:" && !path.empty()) Exec("pragma journal_mode=WAL");
    return true;
}

void CSqliteDb::Close()
{
    for (auto& kv : m_cursors) sqlite3_finalize(kv.second.stmt);
    m_cursors.clear();
    m_cache.Clear();
    if (m_db) sqlite3_close(m_db);
    m_db = nullptr;
}

bool CSqliteDb::CreateHostTables()
{
    for (const char* const* t = kHostTables; *t; ++t)
        if (Exec(*t) != 0) return false;
    return true;
}

bool CSqliteDb::Begin() { return Exec("begin") == 0; }
bool CSqliteDb::Commit() { return Exec("commit") == 0; }

int CSqliteDb::TableExists(const char* table)
{
    if (!m_db || !table) return 0;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, "select count(*) from sqlite_master where type='table' and name=?", -1, &st,
                           nullptr) != SQLITE_OK)
        return 0;
    sqlite3_bind_text(st, 1, table, -1, SQLITE_TRANSIENT);
    int n = (sqlite3_step(st) == SQLITE_ROW) ? sqlite3_column_int(st, 0) : 0;
    sqlite3_finalize(st);
    return n > 0 ? 1 : 0;
}

int CSqliteDb::Exec(const char* sql)
{
    if (!m_db || !sql) return -1;
    int rc = SQLITE_OK;
    if (m_useCache && m_cache.Exec(m_db, sql, rc, m_error)) return rc == SQLITE_OK ? 0 : rc;
    char* err = nullptr;
    rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        m_error = err ? err : sqlite3_errstr(rc);
        sqlite3_free(err);
        return rc;
    }
    return 0;
}

int CSqliteDb::QueryInt(const char* sql)
{
    if (!m_db || !sql) return 0;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
        SetError();
        return 0;
    }
    int v = (sqlite3_step(st) == SQLITE_ROW) ? sqlite3_column_int(st, 0) : 0;
    sqlite3_finalize(st);
    return v;
}

const char* CSqliteDb::QueryStr(const char* sql)
{
    m_str.clear();
    if (!m_db || !sql) return m_str.c_str();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
        SetError();
        return m_str.c_str();
    }
    if (sqlite3_step(st) == SQLITE_ROW) {
        const unsigned char* t = sqlite3_column_text(st, 0);
        if (t) m_str.assign(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(st, 0)));
    }
    sqlite3_finalize(st);
    return m_str.c_str();
}

long long CSqliteDb::LastInsertId() { return m_db ? sqlite3_last_insert_rowid(m_db) : 0; }

int CSqliteDb::Query(const char* sql, int)
{
    if (!m_db || !sql) return -1;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
        SetError();
        return -1;
    }
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        SetError();
        sqlite3_finalize(st);
        return -1;
    }
    int id = m_nextCursor++;
    m_cursors[id] = Cursor{st, rc != SQLITE_ROW, std::string()};
    return id;
}

CSqliteDb::Cursor* CSqliteDb::Find(int cursor)
{
    auto it = m_cursors.find(cursor);
    return it == m_cursors.end() ? nullptr : &it->second;
}

bool CSqliteDb::Eof(int cursor)
{
    Cursor* c = Find(cursor);
    return !c || c->eof;
}

int CSqliteDb::Next(int cursor)
{
    Cursor* c = Find(cursor);
    if (!c || c->eof) return 0;
    c->eof = sqlite3_step(c->stmt) != SQLITE_ROW;
    return c->eof ? 0 : 1;
}

int CSqliteDb::FreeQuery(int cursor)
{
    auto it = m_cursors.find(cursor);
    if (it == m_cursors.end()) return 0;
    sqlite3_finalize(it->second.stmt);
    m_cursors.erase(it);
    return 1;
}

int CSqliteDb::Column(Cursor* c, const char* column)
{
    if (!c || c->eof || !column) return -1;
    int n = sqlite3_column_count(c->stmt);
    for (int i = 0; i < n; ++i)
        if (strcasecmp(sqlite3_column_name(c->stmt, i), column) == 0) return i;
    return -1;
}

int CSqliteDb::GetInt(int cursor, const char* column)
{
    Cursor* c = Find(cursor);
    int i = Column(c, column);
    return i < 0 ? 0 : sqlite3_column_int(c->stmt, i);
}

const char* CSqliteDb::GetStr(int cursor, const char* column)
{
    Cursor* c = Find(cursor);
    int i = Column(c, column);
    if (i < 0) return "";
    const unsigned char* t = sqlite3_column_text(c->stmt, i);
    c->text.assign(t ? reinterpret_cast<const char*>(t) : "", t ? static_cast<size_t>(sqlite3_column_bytes(c->stmt, i)) : 0);
    return c->text.c_str();
}
