// CSMSnmpPub without an agent: connection texts, the readings table, the table-walk rules fed
// with bindings made here, and the polls that end before or without any answer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "generic/SMGeneric.h"
#include "tests/kit/Kit.h"

using Snmp_pp::Oid;

namespace {

const char kLog[] = "/NandFlash/tmp/qvsm.log.ini";
const char kDef[] = "/NandFlash/SM/SM4096.def";

TEST(SnmpConnText, FirstFourCharactersAreDroppedAndDefaultsFillTheGaps)
{
    auto parse = [](const char* text) { return CSMSnmpPub::ParseConn(text, std::strlen(text) + 1); };

    CSMSnmpPub::Conn c = parse("xxxx10.0.0.9");
    EXPECT_EQ(c.addr, "10.0.0.9");
    EXPECT_EQ(c.port, 161);
    EXPECT_EQ(c.comm, "quorum");
    EXPECT_EQ(c.user, "");
    EXPECT_EQ(c.pass, "");

    c = parse("snmp10.0.0.9:1161:abc");
    EXPECT_EQ(c.addr, "10.0.0.9");
    EXPECT_EQ(c.port, 1161);
    EXPECT_EQ(c.comm, "abc");

    c = parse("1234" "10.0.0.9::abc");
    EXPECT_EQ(c.port, 161) << "an empty port keeps 161";
    EXPECT_EQ(c.comm, "abc");
    EXPECT_EQ(parse("::::10.0.0.9:0").port, 161) << "port 0 means 161 too";
    EXPECT_EQ(parse("::::10.0.0.9:0").addr, "10.0.0.9") << "colons among the skipped four do not count";

    c = parse("xxxx10.0.0.9:162::op:secret:extra:more");
    EXPECT_EQ(c.port, 162);
    EXPECT_EQ(c.comm, "quorum") << "an empty community keeps the default";
    EXPECT_EQ(c.user, "op");
    EXPECT_EQ(c.pass, "secret") << "fields after the fifth are ignored";

    c = parse("xxx");
    EXPECT_EQ(c.addr, "");
    EXPECT_EQ(c.port, 161);
    EXPECT_EQ(parse("").comm, "quorum");
    EXPECT_EQ(CSMSnmpPub::ParseConn(nullptr, 128).addr, "");
}

TEST(SnmpConnText, LongFieldsAreCutAndOddPortsFallBack)
{
    auto parse = [](const char* text) { return CSMSnmpPub::ParseConn(text, std::strlen(text) + 1); };
    CSMSnmpPub::Conn c = parse("xxxx192.168.100.200x:1161:community-0123456789:user-abcdefghijklm:pw");
    EXPECT_EQ(c.addr, "192.168.100.200");
    EXPECT_EQ(c.comm, "community-01234");
    EXPECT_EQ(c.user, "user-abcdefghij");
    EXPECT_EQ(c.port, 1161);

    EXPECT_EQ(parse("xxxx1.2.3.4:70000").port, 161);
    EXPECT_EQ(parse("xxxx1.2.3.4:-5").port, 161);
    EXPECT_EQ(parse("xxxx1.2.3.4:65535").port, 65535);
    EXPECT_EQ(parse("xxxx1.2.3.4:1161abc").port, 1161) << "read like atoi";

    // A text that fills its buffer without a terminating NUL is read up to the buffer's end.
    char raw[12];
    std::memcpy(raw, "xxxx1.2.3.4:9", sizeof raw);
    c = CSMSnmpPub::ParseConn(raw, sizeof raw);
    EXPECT_EQ(c.addr, "1.2.3.4");
    EXPECT_EQ(c.port, 161) << "the port field was cut off by the buffer";
}

TEST(SnmpTextRules, LookupKeyAndBackslashes)
{
    EXPECT_EQ(CSMSnmpPub::LookupKey("bat3.2"), "bat.2");
    EXPECT_EQ(CSMSnmpPub::LookupKey("bat3_2"), "bat3_2") << "no dot: the key itself";
    EXPECT_EQ(CSMSnmpPub::LookupKey("ups12.3.4"), "ups.3.4") << "only before the first dot";
    EXPECT_EQ(CSMSnmpPub::LookupKey("a1b.7"), "a1b.7");
    EXPECT_EQ(CSMSnmpPub::LookupKey("42.5"), ".5");
    EXPECT_EQ(CSMSnmpPub::LookupKey("descr"), "descr");
    EXPECT_EQ(CSMSnmpPub::LookupKey(""), "");

    std::string t = "\\\\srv\\share\\";
    CSMSnmpPub::_strFix(t);
    EXPECT_EQ(t, "  srv share ");
    // 0x5C as the second byte of a GBK character is not a backslash.
    std::string g = "\x81\x5C" "a\\" "\xB5\xE7";
    CSMSnmpPub::_strFix(g);
    EXPECT_EQ(g, "\x81\x5C" "a " "\xB5\xE7");
    std::string lead = "\xB5\\";
    CSMSnmpPub::_strFix(lead);
    EXPECT_EQ(lead, "\xB5\\") << "a lead byte takes the next byte with it";
}

class SnmpPubTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!root.Exists(kLog)) root.Write(kLog, "");
    }
    void Load(const std::string& def)
    {
        root.Write(kDef, def);
        testing::internal::CaptureStdout();
        int r = d.LoadDef(SMPath(kDef).c_str());
        loadOut = testing::internal::GetCapturedStdout();
        ASSERT_EQ(r, 1);
    }
    std::string Val(const std::string& key) { return d.Ini().GetValue(SEC_VALS, key, "<absent>"); }
    std::string Log() { return root.Read(kLog); }
    // One binding of a walk of table "bat" under 1.3.6.1.4.1.99.1.
    bool Cell(const std::string& cols, const char* oid, int value, unsigned long syntax = 0x02)
    {
        std::string text = std::to_string(value);
        return d.WalkCell(Oid("1.3.6.1.4.1.99.1"), "bat", cols, Oid(oid), syntax, text.c_str(), &value);
    }

    TempRoot root;
    CSMSnmpPub d{4096};
    std::string loadOut;
};

TEST_F(SnmpPubTest, LoadsSettingsAndLogsItsLife)
{
    Load("[comm]\nnote=Rack UPS\nver=1\ndebug=0\ndelay=20\ntimeout=500\n"
         "[oids]\n1.3.6.1.2.1.1.5.0=name\nsysName=name2\n[flds]\ncnt=2\n1=name\n2=runtime\n");
    EXPECT_EQ(d.Version(), 1);
    EXPECT_EQ(d.DataSize(), 2);
    EXPECT_STREQ(d.GetNote(), "Rack UPS");
    EXPECT_EQ(loadOut, "CSMSnmpPub::UpdLoad  d=0  20ms  tout=500\n");
    std::string log = Log();
    EXPECT_NE(log.find("CSMSnmpPub UpdLoad\n"), std::string::npos);
    EXPECT_NE(log.find("[oids] sysName is not a numeric object identifier"), std::string::npos);
    EXPECT_EQ(log.find("[oids] 1.3.6.1.2.1.1.5.0 is not"), std::string::npos);

    CSMSnmpPub fresh(4097);
    EXPECT_EQ(fresh.DataSize(), 1);
    EXPECT_STREQ(fresh.GetNote(), "QVMB-base");
    EXPECT_EQ(fresh.Version(), 0);
    EXPECT_NE(fresh.Data(), nullptr);
}

TEST_F(SnmpPubTest, FactoryNeedsTheFile)
{
    EXPECT_EQ(NewSnmpHandler(4100), nullptr);
    root.Write("/NandFlash/SM/SM4100.def", "[flds]\ncnt=3\n");
    testing::internal::CaptureStdout();
    ISMBase* h = NewSnmpHandler(4100);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->DataSize(), 3);
    EXPECT_EQ(h->DoFunc(nullptr, 1, 1, nullptr, 0), 0) << "no control functions";
    delete static_cast<CSMSnmpPub*>(static_cast<CSMBase*>(h));
    std::string log = Log();
    size_t born = log.find("CSMSnmpPub new 0x");
    ASSERT_NE(born, std::string::npos);
    EXPECT_NE(log.find("=4100(1004)\n", born), std::string::npos);
    EXPECT_NE(log.find("CSMSnmpPub delete 0x", born), std::string::npos);
}

TEST_F(SnmpPubTest, PollsThatEndBeforeAnyRequest)
{
    tagSMItem item = MakeItem(5, 4096);
    std::strcpy(item.ConnText, "xxxx127.0.0.1:1161");
    // Unloaded: the readings are cleared and nothing is asked.
    d.Ini().SetValue(SEC_VALS, "old", "1");
    d.DoItem(&item, 0);
    EXPECT_EQ(d.DataGet(nullptr, 1, 0), 0);
    EXPECT_EQ(Val("old"), "<absent>");
    EXPECT_NE(Log().find("SNMP.def xxxx127.0.0.1:1161\n"), std::string::npos);
    EXPECT_EQ(Log().find("SNMP.dst="), std::string::npos);

    CSMSnmpPub none(4096);
    EXPECT_EQ(none.DataGet(nullptr, 1, 0), 0) << "no current device";
}

TEST_F(SnmpPubTest, UnreachableAgentLeavesEmptyReadingsAndNoRowCounter)
{
    Load("[oids]\n1.3.6.1.2.1.1.5.0=name\n1.3.6.1.2.1.1.1.0=descr\n1.3.6.1.2.1.25.2.3.1=hr:,2,\n"
         "[vals.str]\ndescr=1\n[vals.ext]\nhr.1=1\n[flds]\ncnt=1\n1=name\n");
    tagSMItem item = MakeItem(5, 4096);
    // No host names: the address is refused before anything is sent, so this costs no time-out.
    std::strcpy(item.ConnText, "xxxxups.example:1161:pub:op:pw");
    d.DoItem(&item, 0);
    EXPECT_EQ(d.DataGet(nullptr, 1, 0), 1);
    EXPECT_EQ(Val("name"), "");
    EXPECT_EQ(Val("descr"), "");
    EXPECT_EQ(Val("hr"), "<absent>") << "a failed walk writes no row counter";
    EXPECT_EQ(Val("hr_1a"), "<absent>") << "and no statistics without rows";
    EXPECT_EQ(d.DataVal(1), -1);
    std::string log = Log();
    EXPECT_NE(log.find("SNMP.dst=ups.example  port=1161  comm=pub  u=op  p=pw\n"), std::string::npos);
    EXPECT_NE(log.find("SNMP.get err "), std::string::npos);
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
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.3.1", 7));
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.12.1", 9)) << "column 12 is not column 2";
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.5", 9)) << "too short for a cell: skipped";
    EXPECT_EQ(d.WalkRows(), 2);
    EXPECT_EQ(Val("bat1_2"), "230");
    EXPECT_EQ(Val("bat2_2"), "225");
    EXPECT_EQ(Val("bat1_1"), "<absent>");
    EXPECT_EQ(Val("bat1_3"), "<absent>");
    EXPECT_EQ(Val("bat1_12"), "<absent>");
    EXPECT_EQ(Val("bat5_"), "<absent>");

    EXPECT_FALSE(Cell(cols, "1.3.6.1.4.1.99.2.1.1", 1)) << "the next table ends the walk";
    EXPECT_FALSE(Cell(cols, "1.3.6.1.4.1.99.1.2.3", 0, 0x82)) << "end of the MIB view";
    EXPECT_FALSE(Cell(cols, "1.3.6.1.4.1.99", 0)) << "shorter than the base";
    EXPECT_EQ(Val("bat3_2"), "<absent>");
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
    EXPECT_EQ(Val("bat_33a"), "<absent>");
    EXPECT_EQ(Val("bat_3a"), "<absent>");

    // A new walk clears the slots; without rows no statistics are written.
    d.Ini().DeleteKey(SEC_VALS, "#all");
    d.WalkBegin("bat");
    EXPECT_TRUE(Cell(cols, "1.3.6.1.4.1.99.1.3.1", 5));
    d.WalkStats("bat");
    EXPECT_EQ(d.WalkRows(), 0);
    EXPECT_EQ(Val("bat_2a"), "<absent>");
}

class SnmpPubDbTest : public SnmpPubTest {
protected:
    void SetUp() override
    {
        SnmpPubTest::SetUp();
        Load("[comm]\nnote=UPS'1\nbrief=Load %1%% %1st% Run %2%min\n"
             "[flds]\ncnt=2\n1=load\n2=runtime\n"
             "[flds.def]\n1='Load',1,'Load',0,1,0,0,'',90,''\n2='Run',1,'Runtime',0,1,0,0,'',0,''\n"
             "[vals.str]\ndescr=1\nups.3=1\nnote=2\nbat.2=1\n");
        d.SetDb(&live, 0);
        d.SetDb(&hist, 1);
        item = MakeItem(12, 4096);
        std::strcpy(item.Name, "UPS");
        item.Port = 0;
        d.DoItem(&item, 0);
    }
    void Readings()
    {
        d.Ini().SetValue(SEC_VALS, "load", "41");
        d.Ini().SetValue(SEC_VALS, "runtime", "");
        d.Ini().SetValue(SEC_VALS, "descr", "Rack 'A' UPS");
        d.Ini().SetValue(SEC_VALS, "ups3.3", "it's");
        d.Ini().SetValue(SEC_VALS, "bat3_2", "230");
        d.Ini().SetValue(SEC_VALS, "uptime", "1 days, 02:03:04.05");
        d.Ini().SetValue(SEC_VALS, "note", "x");
        d.Ini().SetValue(SEC_VALS, "ups1.3", "");
    }
    TestDb live, hist;
    tagSMItem item;
};

TEST_F(SnmpPubDbTest, RegistersTypeAndPoints)
{
    d.RegDb(&live, 1);
    EXPECT_EQ(live.Str("select Name||'/'||Iface from tbSMType where Type=4096"), "QVSNMP-base/UPS'1");
    EXPECT_EQ(live.Int("select count(*) from tbSMDef where Type=4096"), 2);
    EXPECT_EQ(live.CountExecs("insert into tbSMDef values(4096,0,2,'Run',1,'Runtime',0,1,0,0,'',0,'',0,NULL)"), 1);
    EXPECT_NE(Log().find("CSMSnmpPub RegDb m=1\n"), std::string::npos);
}

TEST_F(SnmpPubDbTest, CreatesItsTablesOnBothDatabases)
{
    EXPECT_EQ(d.ChkDb(nullptr), 1);
    const char* t1 = "create table tbSnmp(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,Addr INTEGER,"
                     "DateUpd DATETIME,State INTEGER,SnapID INTEGER)";
    const char* t2 = "create table tbSnmpDat(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,Fld VARCHAR(64),"
                     "Val INTEGER,ValStr VARCHAR(128))";
    ASSERT_EQ(live.execs.size(), 2u);
    EXPECT_EQ(live.execs[0], t1);
    EXPECT_EQ(live.execs[1], t2);
    EXPECT_EQ(hist.execs, live.execs);
    EXPECT_EQ(Log().find("CSMSnmpPub ChkDb"), std::string::npos) << "no item, no line";
    EXPECT_EQ(d.ChkDb(&item), 1);
    EXPECT_EQ(live.Int("select State from tbSnmp where SID=12"), -1);
    EXPECT_NE(Log().find("CSMSnmpPub ChkDb sid=12 UPS\n"), std::string::npos);

    CSMSnmpPub nodb(4096);
    EXPECT_EQ(nodb.ChkDb(&item), 0);
}

TEST_F(SnmpPubDbTest, ReadingsGoToValOrValStrByTheLookupKey)
{
    d.ChkDb(&item);
    Readings();
    live.Clear();
    EXPECT_EQ(d.DataDetail(&live, 12, 0), 0);
    ASSERT_EQ(live.execs.size(), 9u);
    EXPECT_EQ(live.execs[0], "delete from tbSnmpDat where SID=12");
    EXPECT_EQ(live.CountExecs("insert into tbSnmpDat(DID,SID,Fld,Val) values(0,12,'bat3_2',230)"), 1);
    EXPECT_EQ(live.CountExecs("insert into tbSnmpDat(DID,SID,Fld,ValStr) values(0,12,'descr','Rack ''A'' UPS')"), 1);
    EXPECT_EQ(live.CountExecs("insert into tbSnmpDat(DID,SID,Fld,ValStr) values(0,12,'ups3.3','it''s')"), 1)
        << "ups3.3 is looked up as ups.3";
    EXPECT_EQ(live.CountExecs("insert into tbSnmpDat(DID,SID,Fld,Val) values(0,12,'runtime',null)"), 1);
    EXPECT_EQ(live.CountExecs("insert into tbSnmpDat(DID,SID,Fld,Val) values(0,12,'uptime',null)"), 1)
        << "text not marked as text is no number";
    EXPECT_EQ(live.CountExecs("insert into tbSnmpDat(DID,SID,Fld,ValStr) values(0,12,'note','x')"), 1)
        << "any non-zero mark counts here";
    EXPECT_EQ(live.CountExecs("insert into tbSnmpDat(DID,SID,Fld,ValStr) values(0,12,'ups1.3',null)"), 1)
        << "an empty text reading is null too";
    EXPECT_EQ(live.Str("select ValStr from tbSnmpDat where Fld='descr'"), "Rack 'A' UPS");
    EXPECT_EQ(live.Int("select Val from tbSnmpDat where Fld='load'"), 41);
    EXPECT_EQ(live.Int("select count(*) from tbSnmpDat where Val is null and ValStr is null"), 3);
    EXPECT_NE(Log().find("uptime=1 days, 02:03:04.05 is not a number"), std::string::npos);

    // Rows of a history record keep the old ones.
    live.Clear();
    EXPECT_EQ(d.DataDetail(&live, 12, 9), 0);
    EXPECT_EQ(live.CountExecs("delete from"), 0);
    EXPECT_EQ(live.Int("select count(*) from tbSnmpDat where DID=9"), 8);
    EXPECT_EQ(live.Int("select count(*) from tbSnmpDat where DID=0"), 8);
    EXPECT_EQ(d.DataDetail(nullptr, 12, 0), 0);
}

TEST_F(SnmpPubDbTest, UpdateWritesTheReadingsInTheirOwnForm)
{
    d.RegDb(&live, 0);
    d.ChkDb(&item);
    Readings();
    int bits[16] = {1};
    EXPECT_EQ(d.DataUpd(0, bits, nullptr, -1, &hist), 1);
    EXPECT_EQ(live.Str("select Brief from tbSMBrief where SID=12"), "Load 41% (告警) Run min; 告警:Load");
    EXPECT_EQ(live.Str("select ValStr from tbSnmpDat where DID=0 and Fld='descr'"), "Rack 'A' UPS");
    int did = hist.Int("select max(DID) from tbSnmp");
    ASSERT_GT(did, 0);
    EXPECT_EQ(hist.Int("select Val from tbSnmpDat where Fld='load' and DID=" + std::to_string(did)), 41);

    // A failed poll: state 2 and no readings left.
    d.Ini().DeleteKey(SEC_VALS, "#all");
    EXPECT_EQ(d.DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(live.Int("select State from tbSnmp where SID=12"), 2);
    EXPECT_EQ(live.Int("select count(*) from tbSnmpDat where SID=12"), 0);
}

TEST_F(SnmpPubDbTest, ReadingTooLongForAStatementIsRefusedNotCut)
{
    d.ChkDb(&item);
    d.Ini().SetValue(SEC_VALS, "descr", std::string(5000, '\''));
    d.Ini().SetValue(SEC_VALS, "load", "7");
    live.Clear();
    d.DataDetail(&live, 12, 0);
    EXPECT_EQ(live.CountExecs("'descr'"), 0) << "10000 quote characters do not fit the statement buffer";
    EXPECT_EQ(live.Int("select Val from tbSnmpDat where Fld='load'"), 7) << "the other readings are written";
}

}  // namespace
