// CSMSnmpPub without an agent: connection texts, the readings table, the table-walk rules fed
// with bindings made here, and the polls that end before or without any answer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/unit/DefKit.h"

using Snmp_pp::Oid;

namespace {

TEST(SnmpConnText, FieldsDefaultsAndLimits)
{
    struct Case {
        const char* text;
        const char* addr;
        int port;
        const char* comm;
        const char* user;
        const char* pass;
    } cases[] = {
        {"xxxx10.0.0.9", "10.0.0.9", 161, "quorum", "", ""},
        {"snmp10.0.0.9:1161:abc", "10.0.0.9", 1161, "abc", "", ""},
        {"123410.0.0.9::abc", "10.0.0.9", 161, "abc", "", ""},        // an empty port keeps 161
        {"::::10.0.0.9:0", "10.0.0.9", 161, "quorum", "", ""},         // port 0 is 161; skipped colons do not count
        {"xxxx10.0.0.9:162::op:secret:extra", "10.0.0.9", 162, "quorum", "op", "secret"},
        {"xxxx192.168.100.200x:1161:community-0123456789:user-abcdefghijklm:pw", "192.168.100.200", 1161,
         "community-01234", "user-abcdefghij", "pw"},                  // fields cut to 15 characters
        {"xxxx1.2.3.4:70000", "1.2.3.4", 161, "quorum", "", ""},
        {"xxxx1.2.3.4:-5", "1.2.3.4", 161, "quorum", "", ""},
        {"xxxx1.2.3.4:1161abc", "1.2.3.4", 1161, "quorum", "", ""},   // read like atoi
        {"xxx", "", 161, "quorum", "", ""},
    };
    for (const Case& c : cases) {
        CSMSnmpPub::Conn r = CSMSnmpPub::ParseConn(c.text, std::strlen(c.text) + 1);
        EXPECT_EQ(r.addr, c.addr) << c.text;
        EXPECT_EQ(r.port, c.port) << c.text;
        EXPECT_EQ(r.comm, c.comm) << c.text;
        EXPECT_EQ(r.user, c.user) << c.text;
        EXPECT_EQ(r.pass, c.pass) << c.text;
    }
    // A text that fills its buffer without a terminating NUL is read up to the buffer's end.
    char raw[12];
    std::memcpy(raw, "xxxx1.2.3.4:9", sizeof raw);
    EXPECT_EQ(CSMSnmpPub::ParseConn(raw, sizeof raw).port, 161);
    EXPECT_EQ(CSMSnmpPub::ParseConn(nullptr, 128).addr, "");
}

TEST(SnmpTextRules, LookupKeyAndBackslashes)
{
    EXPECT_EQ(CSMSnmpPub::LookupKey("bat3.2"), "bat.2");
    EXPECT_EQ(CSMSnmpPub::LookupKey("bat3_2"), "bat3_2") << "no dot: the key itself";
    EXPECT_EQ(CSMSnmpPub::LookupKey("ups12.3.4"), "ups.3.4") << "only before the first dot";
    EXPECT_EQ(CSMSnmpPub::LookupKey("a1b.7"), "a1b.7");
    EXPECT_EQ(CSMSnmpPub::LookupKey("42.5"), ".5");

    std::string t = "\\\\srv\\share\\";
    CSMSnmpPub::_strFix(t);
    EXPECT_EQ(t, "  srv share ");
    // 0x5C as the second byte of a GBK character is not a backslash.
    std::string g = "\x81\x5C" "a\\" "\xB5\xE7";
    CSMSnmpPub::_strFix(g);
    EXPECT_EQ(g, "\x81\x5C" "a " "\xB5\xE7");
}

class SnmpPubTest : public DefTest<CSMSnmpPub, 4096> {
protected:
    // One binding of a walk of table "bat" under 1.3.6.1.4.1.99.1.
    bool Cell(const std::string& cols, const char* oid, int value, unsigned long syntax = 0x02)
    {
        std::string text = std::to_string(value);
        return d.WalkCell(Oid("1.3.6.1.4.1.99.1"), "bat", cols, Oid(oid), syntax, text.c_str(), &value);
    }
};

TEST_F(SnmpPubTest, LoadRegistrationAndTablesAreLogged)
{
    Load("[comm]\nver=1\ndelay=20\ntimeout=500\n[oids]\n1.3.6.1.2.1.1.5.0=name\nsysName=name2\n");
    EXPECT_EQ(d.Version(), 1);
    EXPECT_EQ(loadOut, "CSMSnmpPub::UpdLoad  d=0  20ms  tout=500\n");
    TestDb db;
    d.SetDb(&db, 0);
    d.RegDb(&db, 1);
    tagSMItem item = MakeItem(12, 4096);
    std::strcpy(item.Name, "UPS");
    EXPECT_EQ(d.ChkDb(nullptr), 1);
    EXPECT_EQ(d.ChkDb(&item), 1);
    std::string log = Log();
    EXPECT_NE(log.find("CSMSnmpPub UpdLoad\n"), std::string::npos);
    EXPECT_NE(log.find("[oids] sysName is not a numeric object identifier"), std::string::npos);
    EXPECT_EQ(log.find("[oids] 1.3.6.1.2.1.1.5.0 is not"), std::string::npos);
    EXPECT_NE(log.find("CSMSnmpPub RegDb m=1\n"), std::string::npos);
    EXPECT_NE(log.find("CSMSnmpPub ChkDb sid=12 UPS\n"), std::string::npos);
    EXPECT_EQ(log.find("ChkDb sid=0"), std::string::npos) << "no item, no line";

    CSMSnmpPub* gone = new CSMSnmpPub(4097);
    char line[48];
    std::snprintf(line, sizeof line, "CSMSnmpPub delete 0x%X\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(gone)));
    EXPECT_EQ(gone->DoFunc(nullptr, 1, 1, nullptr, 0), 0) << "no control functions";
    delete gone;
    EXPECT_NE(Log().find(line), std::string::npos);
}

TEST_F(SnmpPubTest, PollsThatEndBeforeAnyAnswer)
{
    tagSMItem item = MakeItem(5, 4096);
    std::strcpy(item.ConnText, "xxxx127.0.0.1:1161");
    EXPECT_EQ(d.DataGet(nullptr, 1, 0), 0) << "no current device";
    // Unloaded: the readings are cleared and nothing is asked.
    d.Ini().SetValue(SEC_VALS, "old", "1");
    d.DoItem(&item, 0);
    EXPECT_EQ(d.DataGet(nullptr, 1, 0), 0);
    EXPECT_FALSE(Has("old"));
    EXPECT_NE(Log().find("SNMP.def xxxx127.0.0.1:1161\n"), std::string::npos);
    EXPECT_EQ(Log().find("SNMP.dst="), std::string::npos);

    // Loaded, with a connection the library refuses at once: empty readings, the poll counts.
    Load("[oids]\n1.3.6.1.2.1.1.5.0=name\n");
    std::strcpy(item.ConnText, "xxxxups.example:1161:pub:op:pw");
    EXPECT_EQ(d.DataGet(nullptr, 1, 0), 1);
    EXPECT_EQ(Val("name"), "");
    EXPECT_NE(Log().find("SNMP.dst=ups.example  port=1161  comm=pub  u=op  p=pw\n"), std::string::npos);
}

TEST_F(SnmpPubTest, WalkStoresListedColumnsAndCountsColumnOne)
{
    Load("[flds]\ncnt=0\n");
    d.WalkBegin("bat");
    const std::string cols = ",2,";
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.1.1", 1));
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.1.2", 2));
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.2.1", 230));
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.2.2", 225));
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.12.1", 9)) << "column 12 is not column 2";
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.5", 9)) << "too short for a cell: skipped";
    EXPECT_EQ(d.WalkRows(), 2);
    EXPECT_EQ(Val("bat1_2"), "230");
    EXPECT_EQ(Val("bat2_2"), "225");
    EXPECT_EQ(ValCount(), 2u);

    EXPECT_FALSE(Cell(cols, "1.3.6.1.4.1.99.2.1.1", 1)) << "the next table ends the walk";
    EXPECT_FALSE(Cell(cols, "1.3.6.1.4.1.99.1.2.3", 0, 0x82)) << "end of the MIB view";
    EXPECT_FALSE(Cell(cols, "1.3.6.1.4.1.99", 0)) << "shorter than the base";
    EXPECT_EQ(ValCount(), 2u);
}

TEST_F(SnmpPubTest, EveryColumnOneCellRestartsItsSlot)
{
    // Two-part indices: rows 2.1 and 2.2 share slot 2, and the later column-1 cell wins.
    Load("[vals.ext]\nbat.3=1\n");
    d.WalkBegin("bat");
    const std::string cols = ",1,2,";
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.1.2.1", 5));
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.1.2.2", 7));
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.2.2.1", 10));
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.2.2.2", 3));
    d.WalkStats("bat");
    EXPECT_EQ(d.WalkRows(), 2);
    EXPECT_EQ(Val("bat_3a"), "10") << "(7 + 10 + 3) / 2";
    EXPECT_EQ(Val("bat_3x"), "3");
    EXPECT_EQ(Val("bat_3X"), "10");
    EXPECT_EQ(Val("bat2_2"), "3") << "cells are keyed by the first index only";
}

TEST_F(SnmpPubTest, StatisticsWithoutColumnOneNeverReset)
{
    // bat.3=256 has no bit in its low byte: that slot stays off.
    Load("[vals.ext]\nbat.2=1\nbat.1=1\nbat.3=256\nbat.33=1\n");
    d.WalkBegin("bat");
    const std::string cols = ",3,";
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.1.1", 1));
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.1.40", 40));
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.3.1", 55));
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.3.40", 60)) << "row 40 has no slot; its cell is still stored";
    d.WalkStats("bat");
    EXPECT_EQ(Val("bat_2a"), "27") << "55 / 2 rows";
    EXPECT_EQ(Val("bat_2x"), "0") << "the minimum starts from 0";
    EXPECT_EQ(Val("bat_2X"), "55");
    EXPECT_EQ(Val("bat_1a"), "0") << "slot 0 (row 0) saw nothing";
    EXPECT_EQ(Val("bat40_3"), "60");
    EXPECT_FALSE(Has("bat_33a"));
    EXPECT_FALSE(Has("bat_3a"));

    // A new walk clears the slots; without rows no statistics are written.
    d.Ini().DeleteKey(SEC_VALS, "#all");
    d.WalkBegin("bat");
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.3.1", 5));
    d.WalkStats("bat");
    EXPECT_EQ(d.WalkRows(), 0);
    EXPECT_FALSE(Has("bat_2a"));
}

TEST_F(SnmpPubTest, ReadingsGoToValOrValStrByTheLookupKey)
{
    Load("[vals.str]\ndescr=1\nups.3=1\nnote=2\nlong=1\n");
    TestDb db;
    d.SetDb(&db, 0);
    d.ChkDb(nullptr);
    d.Ini().SetValue(SEC_VALS, "descr", "Rack 'A' UPS");
    d.Ini().SetValue(SEC_VALS, "ups3.3", "it's");
    d.Ini().SetValue(SEC_VALS, "bat3_2", "230");
    d.Ini().SetValue(SEC_VALS, "uptime", "1 days, 02:03:04.05");
    d.Ini().SetValue(SEC_VALS, "note", "x");
    d.Ini().SetValue(SEC_VALS, "ups1.3", "");
    d.Ini().SetValue(SEC_VALS, "long", std::string(5000, '\''));
    db.Clear();
    EXPECT_EQ(d.DataDetail(&db, 12, 0), 0);
    EXPECT_EQ(db.CountExecs("insert into tbSnmpDat(DID,SID,Fld,Val) values(0,12,'bat3_2',230)"), 1);
    EXPECT_EQ(db.CountExecs("insert into tbSnmpDat(DID,SID,Fld,ValStr) values(0,12,'descr','Rack ''A'' UPS')"), 1);
    EXPECT_EQ(db.CountExecs("insert into tbSnmpDat(DID,SID,Fld,ValStr) values(0,12,'ups3.3','it''s')"), 1)
        << "ups3.3 is looked up as ups.3";
    EXPECT_EQ(db.CountExecs("insert into tbSnmpDat(DID,SID,Fld,Val) values(0,12,'uptime',null)"), 1)
        << "text not marked as text is no number";
    EXPECT_EQ(db.CountExecs("insert into tbSnmpDat(DID,SID,Fld,ValStr) values(0,12,'note','x')"), 1)
        << "any non-zero mark counts here";
    EXPECT_EQ(db.CountExecs("insert into tbSnmpDat(DID,SID,Fld,ValStr) values(0,12,'ups1.3',null)"), 1)
        << "an empty text reading is null too";
    EXPECT_EQ(db.Str("select ValStr from tbSnmpDat where Fld='descr'"), "Rack 'A' UPS");
    EXPECT_EQ(db.CountExecs("'long'"), 0) << "a reading too long for the statement buffer is refused, not cut";
    EXPECT_EQ(db.Int("select count(*) from tbSnmpDat"), 6);
}

}  // namespace
