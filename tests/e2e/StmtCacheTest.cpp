// The host's statement cache: every text gives the database, the result code and the error
// text that sqlite3_exec gives, and only plain INSERT/UPDATE/DELETE texts are taken apart.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "host/SqliteDb.h"
#include "host/StmtCache.h"

namespace {

// Every row of t and u with the type of every value, and the last row id.
std::string Dump(CSqliteDb& db)
{
    std::string s;
    for (const char* q : {"select group_concat(quote(a)||':'||typeof(a)||','||quote(b)||':'||typeof(b)||','||"
                          "quote(c)||':'||typeof(c),' | ') from (select * from t order by rowid)",
                          "select group_concat(quote(k)||'='||quote(v),' | ') from (select * from u order by k)"})
        s += std::string(db.QueryStr(q)) + " || ";
    return s + std::to_string(db.LastInsertId());
}

TEST(StmtCache, GivesWhatTheTextGives)
{
    const char* steps[] = {
        "insert into t(a,b,c) values(1,'x',-5)",
        "insert into t(a,b,c) values(2,'it''s',null)",
        "insert into t(a,b,c) values(3,'','9223372036854775807')",
        "insert into t(a,b,c) values(4,'\xb5\xe7\xd1\xb9',9223372036854775807)",  // GBK text
        "insert into t(a,b,c) values(5,'a;b','--x')",
        "insert into t(a,b,c) values(6,datetime(0,'unixepoch','localtime') is not null,7/2)",
        "insert into t(a,b,c) values(7, 8 , 2)",                 // a new shape of the same table
        "insert into t(a,b,c) values(8,1.5,1e3)",               // reals: as text
        "insert into t(a,b,c) values(9,X'41',-9223372036854775808)",
        "insert into t(a,b,c) values(1,'dup',0)",               // constraint error
        "insert into nosuch values(1)",                         // error at prepare
        "insert into t(a,b) values(10,'unterminated)",
        "update t set b='upd',c=c+1 where a=1",
        "update t set c=-c where a in (1,2,7)",
        "UPDATE t SET b = 'Upper' WHERE a = 7 ;  ",
        "update t set b='x' where a=1; update t set b='y' where a=2",  // two statements
        "delete from t where a=5",
        "delete from t where b='it''s' or a=6",
        "insert into u(k,v) values('k1',1)",
        "insert or replace into u(k,v) values('k1',2)",
        "insert into u(k,v) select 'k2', max(a) from t",
        "insert into u(k,v) values('k3',(select count(*) from t))",
        "insert into u(k,v) values('k4',1) on conflict(k) do update set v=v+10",
        "insert into u(k,v) values('k4',1) on conflict(k) do update set v=v+10",
        "delete from u where k in (select k from u order by k limit 1)",  // as text
        "insert into u(k,v) values(\"k5\",5)",
        "insert into u(k,v) values('k6',-- note\n6)",
        "create table w(x)",
        "insert into w values(1),(2),(3)",
        "delete from w where x=2",
    };
    CSqliteDb cached, plain;
    ASSERT_TRUE(cached.Open(":memory:"));
    ASSERT_TRUE(plain.Open(":memory:"));
    plain.UseStmtCache(false);
    for (CSqliteDb* db : {&cached, &plain}) {
        ASSERT_EQ(0, db->Exec("create table t(a INTEGER PRIMARY KEY,b TEXT,c)"));
        ASSERT_EQ(0, db->Exec("create table u(k TEXT PRIMARY KEY,v INTEGER)"));
    }
    for (const char* s : steps) {
        int a = cached.Exec(s), b = plain.Exec(s);
        EXPECT_EQ(b, a) << s;
        if (a != 0 || b != 0) {
            EXPECT_EQ(plain.LastError(), cached.LastError()) << s;
        }
        EXPECT_EQ(Dump(plain), Dump(cached)) << s;
        EXPECT_EQ(sqlite3_changes(plain.Handle()), sqlite3_changes(cached.Handle())) << s;
    }
    EXPECT_EQ("3", std::string(cached.QueryStr("select group_concat(x) from w where x<>1")));
}

TEST(StmtCache, TakesApartOnlyPlainDataStatements)
{
    struct {
        const char* sql;
        const char* shape;  // "" when the text runs as text
        const char* lits;
    } cases[] = {
        {"insert into tbModbusDat(DID,SID,Fld,Val) values(0,101,'V40001',-225)",
         "insert into tbModbusDat(DID,SID,Fld,Val) values(?,?,?,-?)", "0 101 'V40001' 225"},
        {"update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),St=0,Brief='a''b' where sid=7",
         "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,?),St=?,Brief=? where sid=?", "'localtime' 0 'a'b' 7"},
        {"Delete From t Where k2=3;", "Delete From t Where k2=?", "3"},
        {"select 1", "", ""},
        {"create table t(a VARCHAR(64))", "", ""},
        {"pragma journal_mode=WAL", "", ""},
        {"begin", "", ""},
        {"insert into t values(1.5)", "", ""},
        {"insert into t values(.5)", "", ""},
        {"insert into t values(0x10)", "", ""},
        {"insert into t values(x'00')", "", ""},
        {"insert into t values(9223372036854775808)", "", ""},
        {"insert into t values(?)", "", ""},
        {"insert into t values(:a)", "", ""},
        {"insert into t values(1) /* c */", "", ""},
        {"delete from t where a=1 returning a", "", ""},
        {"update t set a=1 limit 1", "", ""},
        {"insert into t select a from s group by a", "", ""},
        {"insert into t values('x'); select 1", "", ""},
        {"insert into [t] values(1)", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        std::string shape;
        std::vector<CStmtCache::Literal> lits;
        size_t n = 0;
        bool split = CStmtCache::Split(c.sql, shape, lits, n);
        EXPECT_EQ(*c.shape != 0, split) << c.sql;
        if (!split) continue;
        EXPECT_EQ(c.shape, shape) << c.sql;
        std::string got;
        for (size_t i = 0; i < n; ++i)
            got += (i ? " " : "") + (lits[i].text ? "'" + lits[i].str + "'" : std::to_string(lits[i].num));
        EXPECT_EQ(c.lits, got) << c.sql;
    }
}

TEST(StmtCache, StartsOverWhenFullAndSurvivesSchemaChanges)
{
    CSqliteDb db;
    ASSERT_TRUE(db.Open(":memory:"));
    ASSERT_EQ(0, db.Exec("create table t(a,b)"));
    // More shapes than the cache keeps: each statement still runs once.
    for (int i = 0; i < CStmtCache::MAX_SHAPES + 10; ++i) {
        std::string sql = "insert into t(a,b) values(" + std::to_string(i) + std::string(static_cast<size_t>(i % 70), ' ') + ",1)";
        ASSERT_EQ(0, db.Exec(sql.c_str())) << i;
    }
    EXPECT_EQ(CStmtCache::MAX_SHAPES + 10, db.QueryInt("select count(distinct a) from t"));
    // A cached shape after the table was recreated with other columns.
    ASSERT_EQ(0, db.Exec("insert into t(a,b) values(1,2)"));
    ASSERT_EQ(0, db.Exec("drop table t"));
    EXPECT_NE(0, db.Exec("insert into t(a,b) values(1,2)"));
    EXPECT_NE(std::string::npos, db.LastError().find("no such table")) << db.LastError();
    ASSERT_EQ(0, db.Exec("create table t(b,a,c)"));
    ASSERT_EQ(0, db.Exec("insert into t(a,b) values(1,2)"));
    EXPECT_EQ("2,1,NULL", std::string(db.QueryStr("select b||','||a||','||quote(c) from t")));
}

}  // namespace
