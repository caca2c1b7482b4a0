#include "tests/kit/TestDb.h"

#include <stdexcept>

TestDb::TestDb()
{
    if (!Open(":memory:") || !CreateHostTables()) throw std::runtime_error("TestDb: " + LastError());
    Clear();
}

int TestDb::TableExists(const char* table)
{
    calls.push_back(std::string("TableExists ") + (table ? table : ""));
    return CSqliteDb::TableExists(table);
}

int TestDb::Exec(const char* sql)
{
    std::string s = sql ? sql : "";
    execs.push_back(s);
    calls.push_back("Exec " + s);
    if (failExec && (failText.empty() || s.find(failText) != std::string::npos)) return failCode;
    return CSqliteDb::Exec(sql);
}

int TestDb::QueryInt(const char* sql)
{
    calls.push_back(std::string("QueryInt ") + (sql ? sql : ""));
    return CSqliteDb::QueryInt(sql);
}

const char* TestDb::QueryStr(const char* sql)
{
    calls.push_back(std::string("QueryStr ") + (sql ? sql : ""));
    return CSqliteDb::QueryStr(sql);
}

int TestDb::Query(const char* sql, int len)
{
    calls.push_back(std::string("Query ") + (sql ? sql : ""));
    if (failQuery) return -1;
    return CSqliteDb::Query(sql, len);
}

int TestDb::CountExecs(const std::string& part) const
{
    int n = 0;
    for (const std::string& s : execs)
        if (s.find(part) != std::string::npos) ++n;
    return n;
}
