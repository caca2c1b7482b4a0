// IDbBase over one SQLite file (or ":memory:"), holding the host's catalogue tables.
#ifndef QVSM_HOST_SQLITEDB_H
#define QVSM_HOST_SQLITEDB_H

#include <qvsm/qvsm.h>

#include <map>
#include <string>

#include "host/StmtCache.h"

struct sqlite3;
struct sqlite3_stmt;

class CSqliteDb : public IDbBase {
public:
    CSqliteDb();
    virtual ~CSqliteDb();
    CSqliteDb(const CSqliteDb&) = delete;
    CSqliteDb& operator=(const CSqliteDb&) = delete;

    // Opens (creating) the file; WAL journal for files. false with LastError() on failure.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    // Creates tbSMType, tbSMDef, tbSMDefVal, tbSMBrief and tbSubSysDetail when missing.
    bool CreateHostTables();
    bool Begin();
    bool Commit();
    const std::string& LastError() const { return m_error; }
    // Exec runs INSERT, UPDATE and DELETE texts through prepared statements (CStmtCache);
    // on by default. Off: every text through sqlite3_exec.
    void UseStmtCache(bool on)
    {
        m_useCache = on;
        if (!on) m_cache.Clear();
    }
    sqlite3* Handle() const { return m_db; }

    int TableExists(const char* table) override;
    int Exec(const char* sql) override;
    int QueryInt(const char* sql) override;
    const char* QueryStr(const char* sql) override;
    long long LastInsertId() override;
    int Query(const char* sql, int len) override;
    bool Eof(int cursor) override;
    int Next(int cursor) override;
    int FreeQuery(int cursor) override;
    int GetInt(int cursor, const char* column) override;
    const char* GetStr(int cursor, const char* column) override;

    // Host table definitions (the module inserts by position).
    static const char* const kHostTables[];

private:
    struct Cursor {
        sqlite3_stmt* stmt;
        bool eof;
        std::string text;
    };
    Cursor* Find(int cursor);
    int Column(Cursor* c, const char* column);
    void SetError();

    sqlite3* m_db = nullptr;
    std::string m_error;
    std::string m_str;
    std::map<int, Cursor> m_cursors;
    int m_nextCursor = 1;
    CStmtCache m_cache;
    bool m_useCache = true;
};

#endif
