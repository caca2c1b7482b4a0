// An IDbBase over in-memory SQLite with the host's tables; records every statement it
// receives and can be told to fail.
#ifndef QVSM_TESTS_TESTDB_H
#define QVSM_TESTS_TESTDB_H

#include <string>
#include <vector>

#include "host/SqliteDb.h"

class TestDb : public CSqliteDb {
public:
    TestDb();

    int TableExists(const char* table) override;
    int Exec(const char* sql) override;
    int QueryInt(const char* sql) override;
    const char* QueryStr(const char* sql) override;
    int Query(const char* sql, int len) override;

    // Statements passed to Exec, in order (and all calls with their kind in `calls`).
    std::vector<std::string> execs;
    std::vector<std::string> calls;
    // Exec returns this for every statement containing failText (all when empty).
    bool failExec = false;
    std::string failText;
    int failCode = 1;
    bool failQuery = false;

    // Helpers for assertions; they bypass the recording.
    int Int(const std::string& sql) { return CSqliteDb::QueryInt(sql.c_str()); }
    std::string Str(const std::string& sql) { return CSqliteDb::QueryStr(sql.c_str()); }
    void Run(const std::string& sql) { CSqliteDb::Exec(sql.c_str()); }
    int CountExecs(const std::string& part) const;
    void Clear() { execs.clear(); calls.clear(); }
};

#endif
