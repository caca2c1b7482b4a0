#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/BufHelper.h"
#include "generic/SMGeneric.h"
#include "tests/kit/Kit.h"

namespace {

// A reply frame as a device sends it: "~" ver adr cid1 rtn LENGTH info CHKSUM "\r", built here
// independently of the driver.
std::string Reply(const std::string& info, const std::string& rtn = "00", const std::string& ver = "21", int adr = 1)
{
    char head[16];
    unsigned int l = static_cast<unsigned int>(info.size());
    unsigned int s = (l & 0xF) + ((l >> 4) & 0xF) + ((l >> 8) & 0xF);
    unsigned int length = l ? (((16 - s % 16) % 16) << 12) | l : 0;
    std::snprintf(head, sizeof head, "%s%02X60%s%04X", ver.c_str(), adr, rtn.c_str(), length);
    std::string body = std::string(head) + info;
    unsigned int sum = 0;
    for (char c : body) sum += static_cast<unsigned char>(c);
    char chk[8];
    std::snprintf(chk, sizeof chk, "%04X\r", (0x10000 - sum % 0x10000) % 0x10000);
    return "~" + body + chk;
}

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

class YdtTest : public ::testing::Test {
protected:
    // Loads a definition; ver 21 is kept so the poll sends no version query unless asked to.
    void Load(const std::string& def)
    {
        root.Write("/NandFlash/SM/SM5120.def", def);
        ASSERT_EQ(d.LoadDef(SMPath("/NandFlash/SM/SM5120.def").c_str()), 1);
    }
    std::string Val(const std::string& key) { return d.Ini().GetValue(SEC_VALS, key, "<absent>"); }
    bool Has(const std::string& key) { return d.Ini().HasKey(SEC_VALS, key); }

    TempRoot root;
    FakeClock clock;
    CSMYdt1363 d{5120};
    ScriptPort port;
};

TEST(YdtFrame, LengthCarriesItsCheckNibbleAndTheChecksumClosesTheFrame)
{
    char buf[64];
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "00", 1, "60", "4F", nullptr), 18);
    EXPECT_STREQ(buf, "~0001604F0000FD9F\r");
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 1, "60", "42", ""), 18);
    EXPECT_STREQ(buf, "~210160420000FDB0\r") << "an empty INFO gives LENGTH 0000";
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 1, "60", "45", "01"), 20);
    EXPECT_STREQ(buf, "~21016045E00201FD35\r") << "2 INFO characters give E002";
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 0x11F, "60", "44", "0102"), 22);
    EXPECT_STREQ(buf, "~211F6044C0040102FCBE\r") << "the address keeps its low 8 bits";

    // The buffer helper's own frame for the same request, with INFO given as bytes.
    unsigned char ref[64];
    const unsigned char info[] = {0x01, 0x02};
    CBufHelper::YdCmd(ref, 0x1F, 0x60, 0x44, 0x21, info, 2);
    EXPECT_STREQ(buf, reinterpret_cast<char*>(ref));
    EXPECT_EQ(CBufHelper::YdChk(reinterpret_cast<unsigned char*>(buf), 22), 0);
}

TEST(YdtFrame, InfoBeyondTheCommandBufferAndMalformedCodesAreRefused)
{
    char buf[64];
    std::string info45(45, 'A'), info46(46, 'A');
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 1, "60", "42", info45.c_str()), 63);
    EXPECT_EQ(std::strlen(buf), 63u);
    EXPECT_EQ(buf[62], '\r');
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 1, "60", "42", info46.c_str()), -1);
    EXPECT_EQ(buf[0], 'x') << "nothing written when refused";
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, 20, "21", 1, "60", "42", "0102"), -1) << "cap counts the NUL";
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, 23, "21", 1, "60", "42", "0102"), 22);
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "1", 1, "60", "42", nullptr), -1);
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 1, "600", "42", nullptr), -1);
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 1, "60", "4", nullptr), -1);
}

TEST(YdtItems, TypesWidthsAndAbsentItems)
{
    EXPECT_EQ(CSMYdt1363::YdDatSize("F"), 8);
    EXPECT_EQ(CSMYdt1363::YdDatSize("float"), 8);
    EXPECT_EQ(CSMYdt1363::YdDatSize("i"), 4);
    EXPECT_EQ(CSMYdt1363::YdDatSize("B"), 2);
    EXPECT_EQ(CSMYdt1363::YdDatSize(""), 2);

    EXPECT_EQ(CSMYdt1363::YdVal("0000803F", "F", 10), 10) << "1.0, least significant byte first";
    EXPECT_EQ(CSMYdt1363::YdVal("0000C0BF", "f", 10), -15) << "-1.5 truncated toward zero";
    EXPECT_EQ(CSMYdt1363::YdVal("CDCC0C40", "F", 1), 2) << "2.2 truncated";
    EXPECT_EQ(CSMYdt1363::YdVal("0000803F", "I", 10), 0) << "dfac does not apply to integers";
    EXPECT_EQ(CSMYdt1363::YdVal("FFFF", "I", 1), 65535);
    EXPECT_EQ(CSMYdt1363::YdVal("FF", "x", 5), 255);
    EXPECT_EQ(CSMYdt1363::YdVal("0000807F", "F", 1), 2147483647) << "infinity is held at the int range";
    EXPECT_EQ(CSMYdt1363::YdVal("0000C07F", "F", 1), 0) << "NaN gives 0";
    EXPECT_EQ(CSMYdt1363::YdVal("G1", "B", 1), 1) << "a non-hex character counts as 0";
    EXPECT_EQ(CSMYdt1363::YdVal("1", "I", 1), 1) << "the conversion stops at the NUL";

    EXPECT_EQ(CSMYdt1363::YdDatNone("20202020", 8), 1);
    EXPECT_EQ(CSMYdt1363::YdDatNone("2020", 2), 1);
    EXPECT_EQ(CSMYdt1363::YdDatNone("2021", 4), 0);
    EXPECT_EQ(CSMYdt1363::YdDatNone("20", 4), 0) << "a text ending inside the item";
    EXPECT_EQ(CSMYdt1363::YdDatNone("0220", 4), 0);
}

TEST_F(YdtTest, PollsTheCodesInOrderWithTheKeptVersion)
{
    Load("[comm]\nbak=1\nver=21\ncid2=42,44\ndelay=25\ndinfo=B\n[42H]\ndmax=120\n[44H]\ndcmd=0102\n");
    port.Reply(Reply("0102"));
    port.Reply(Reply("03"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(Text(port.writes[0]), "~210160420000FDB0\r");
    EXPECT_EQ(Text(port.writes[1]), "~21016044C0040102FCD4\r");
    EXPECT_EQ(port.readCaps, (std::vector<int>{120, 200})) << "section dmax, then the [comm] default";
    EXPECT_EQ(port.readTimeouts, (std::vector<int>{0, 0}));
    EXPECT_EQ(FakeClock::Sleeps(), (std::vector<unsigned long>{25000, 25000}));
    EXPECT_EQ(Val("42H01"), "1");
    EXPECT_EQ(Val("42H02"), "2");
    EXPECT_EQ(Val("44H01"), "3");
    EXPECT_EQ(d.Version(), "21");
}

TEST_F(YdtTest, VersionIsAskedEveryPollUnlessKept)
{
    Load("[comm]\ncid2=42\ndelay=0\ndinfo=B\n");
    // Version 2.1 answered: RTN 00 and LENGTH 0000.
    port.Reply(Reply("", "00", "21"));
    port.Reply(Reply("05"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(Text(port.writes[0]), "~0001604F0000FD9F\r");
    EXPECT_EQ(Text(port.writes[1]), "~210160420000FDB0\r");
    EXPECT_EQ(port.readCaps[0], 18);
    EXPECT_EQ(d.Version(), "") << "with bak 0 the answer is not stored";
    EXPECT_TRUE(FakeClock::Sleeps().empty()) << "delay 0: no pause";

    // No answer: version 10.
    port.writes.clear();
    port.Reply("");
    port.Reply(Reply("05"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(Text(port.writes[1]), "~100160420000FDB2\r");
    EXPECT_EQ(Val("42H01"), "5");
}

TEST_F(YdtTest, VersionAnswerIsJudgedOnOffsetsEightAndNine)
{
    Load("[comm]\ncid2=42\nbak=1\n");
    // RTN 40: offset 8 is "0", and LENGTH 0000 puts "0" at offset 9: accepted.
    port.Reply(Reply("", "40", "22"));
    port.Reply(Reply(""));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(d.Version(), "22") << "kept with bak 1";
    EXPECT_EQ(Text(port.writes[1]).substr(1, 2), "22");
    port.writes.clear();
    port.Reply(Reply(""));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(port.writes.size(), 1u) << "a kept version is not asked again";

    CSMYdt1363 other(5120);
    other.LoadDef(SMPath("/NandFlash/SM/SM5120.def").c_str());
    ScriptPort p2;
    p2.Reply(Reply("", "04", "22"));  // offsets 7 and 8 are "0" "4": refused
    EXPECT_EQ(other.YdVer(&p2, 1), "");
    p2.Reply(Reply("01", "00", "22"));  // LENGTH E002: offset 9 is "E"
    EXPECT_EQ(other.YdVer(&p2, 1), "");
    p2.Reply(Reply("", "00", "22").substr(0, 9));  // nine characters: offset 9 not received
    EXPECT_EQ(other.YdVer(&p2, 1), "");
    p2.Reply(Reply("", "00", "23").substr(0, 10));
    EXPECT_EQ(other.YdVer(&p2, 1), "23");
    p2.shortWriteBy = 1;
    p2.Reply(Reply("", "00", "24"));
    EXPECT_EQ(other.YdVer(&p2, 1), "") << "a short write gives up";
    EXPECT_EQ(other.YdVer(nullptr, 1), "");
}

TEST_F(YdtTest, ItemLayoutFlagsSkipsFloatsAndBits)
{
    Load("[comm]\nbak=1\nver=21\ncid2=42\n"
         "[42H]\ndinfo=I\ndflag=2\ndfac=10\n1=-I\n2=F\n3=\n3bit=5\n4=B\n4bit=1\n5=-\n6=I\n");
    // INFO: 2 skipped bytes, item 1 (skipped, 4), item 2 float 1.0 (8), item 3 I (4), item 4
    // one byte (2), item 5 skipped default I (4), item 6 FFFF.
    port.Reply(Reply("AABB" "1234" "0000803F" "8001" "A5" "9999" "FFFF"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_FALSE(Has("42H01")) << "a skipped item stores nothing";
    EXPECT_EQ(Val("42H02"), "10") << "float 1.0 times dfac 10; the first item started at character 17";
    EXPECT_EQ(Val("42H03"), "32769");
    EXPECT_EQ(Val("42H04"), "165");
    EXPECT_FALSE(Has("42H05"));
    EXPECT_EQ(Val("42H06"), "65535");
    // 3bit of 5 expands 32 bits, not 40.
    EXPECT_EQ(Val("42H03-0"), "1");
    EXPECT_EQ(Val("42H03-1"), "0");
    EXPECT_EQ(Val("42H03-15"), "1");
    EXPECT_EQ(Val("42H03-31"), "0");
    EXPECT_FALSE(Has("42H03-32"));
    // 4bit of 1: 8 bits of 0xA5.
    const char* bits = "10100101";
    for (int b = 0; b < 8; ++b) EXPECT_EQ(Val("42H04-" + std::to_string(b)), std::string(1, bits[b])) << b;
    EXPECT_FALSE(Has("42H04-8"));
    EXPECT_FALSE(Has("42H07")) << "the items end before CHKSUM";
}

TEST_F(YdtTest, AbsentItemsAreEmptyAndShortRepliesGiveNothing)
{
    Load("[comm]\nbak=1\nver=21\ncid2=42 43 44\ndinfo=B\n[43H]\n1=I\n[44H]\n1=I\n");
    port.Reply(Reply("2020" "07"));
    port.Reply("~2101600");  // cut off
    port.Reply(Reply("2020"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1) << "short replies do not fail the poll";
    EXPECT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(Val("42H01"), "");
    EXPECT_EQ(Val("42H02"), "");
    EXPECT_EQ(Val("42H03"), "7");
    EXPECT_EQ(Val("44H01"), "") << "I 2020 is the absent mark too";
    EXPECT_FALSE(Has("43H01"));
    EXPECT_FALSE(Has("42H01-0"));

    // Exactly 18 characters (no INFO): no items.
    port.writes.clear();
    port.Reply(Reply(""));
    port.Reply(Reply(""));
    port.Reply(Reply(""));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(d.Ini().Section(SEC_VALS), nullptr);
}

TEST_F(YdtTest, ReturnCodeIsIgnoredWhilePollingButFailsAControl)
{
    Load("[comm]\nbak=1\nver=21\ncid2=42\nYk01=01\nYk02=\n[42H]\n1=I\n");
    port.Reply(Reply("0102", "04"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("42H01"), "258");

    port.writes.clear();
    port.Reply(Reply("", "04"));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(Text(port.writes[0]), "~21016045E00201FD35\r");
    EXPECT_EQ(port.readCaps.back(), 18);
    port.Reply(Reply("", "00"));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 1);
    port.Reply(Reply("", "00").substr(0, 8));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0) << "too short";
    port.shortWriteBy = 1;
    port.Reply(Reply("", "00"));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0) << "short write";
    port.shortWriteBy = 0;
    size_t before = port.writes.size();
    EXPECT_EQ(d.DoFunc(&port, 1, 2, nullptr, 0), 0) << "empty control text";
    EXPECT_EQ(d.DoFunc(&port, 1, 3, nullptr, 0), 0) << "no such control";
    EXPECT_EQ(d.DoFunc(nullptr, 1, 1, nullptr, 0), 0);
    EXPECT_EQ(port.writes.size(), before);
}

TEST_F(YdtTest, ControlLearnsTheVersionOrGivesUp)
{
    Load("[comm]\ncid2=42\nYk07=0110\n");
    port.Reply("");  // no version answer
    EXPECT_EQ(d.DoFunc(&port, 2, 7, nullptr, 0), 0);
    EXPECT_EQ(port.writes.size(), 1u) << "only the version query went out";
    port.Reply(Reply("", "00", "20", 2));
    port.Reply(Reply("", "00", "20", 2));
    EXPECT_EQ(d.DoFunc(&port, 2, 7, nullptr, 0), 1);
    EXPECT_EQ(d.Version(), "20");
    ASSERT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(Text(port.writes[2]).substr(0, 17), "~20026045C0040110");
    port.Reply(Reply("", "00", "20", 2));
    EXPECT_EQ(d.DoFunc(&port, 2, 7, nullptr, 0), 1);
    EXPECT_EQ(port.writes.size(), 4u) << "the stored version is used";
}

TEST_F(YdtTest, OversizedReplyAndInfoAreRefusedWithoutSending)
{
    Load("[comm]\nbak=1\nver=21\ncid2=42,43\nYk01=" + std::string(46, '0') + "\nYk02=" + std::string(45, '0') +
         "\ndinfo=B\n[42H]\ndmax=512\n[43H]\ndmax=513\n");
    port.Reply(Reply("01"));
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0) << "dmax 513 does not fit the reply buffer";
    EXPECT_EQ(port.writes.size(), 1u) << "43 was not sent";
    EXPECT_EQ(port.readCaps, (std::vector<int>{512}));
    EXPECT_EQ(Val("42H01"), "1") << "what the first command stored stays";
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0);
    EXPECT_EQ(port.writes.size(), 1u) << "46 INFO characters do not fit the command buffer";
    port.Reply(Reply(""));
    EXPECT_EQ(d.DoFunc(&port, 1, 2, nullptr, 0), 1);
    EXPECT_EQ(port.writes.back().size(), 63u);
    std::string log = root.Read("/NandFlash/tmp/qvsm.log.ini");
    EXPECT_NE(log.find("[43H] dmax 513"), std::string::npos) << log;
    EXPECT_NE(log.find("Yk01 of 46"), std::string::npos);

    CSMYdt1363 big(5121);
    root.Write("/NandFlash/SM/SM5121.def", "[comm]\nbak=1\nver=21\ncid2=42\n[42H]\ndcmd=" + std::string(46, '1') + "\n");
    big.LoadDef(SMPath("/NandFlash/SM/SM5121.def").c_str());
    ScriptPort p2;
    EXPECT_EQ(big.DataGet(&p2, 1, 0), 0);
    EXPECT_TRUE(p2.writes.empty());
}

TEST_F(YdtTest, AFullReplyBufferIsReadWithoutOverrun)
{
    Load("[comm]\nbak=1\nver=21\ncid2=42\ndinfo=F\n[42H]\ndmax=512\ndflag=2\n");
    std::string info = "AAAA";
    while (info.size() < 600) info += "0000803F";
    port.Reply(Reply(info));  // longer than 512: the read stops there
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(port.readCaps, (std::vector<int>{512}));
    // Items start at 17, 25, ..., 505 (below 512 - 5): 62 items. The last one has only 7 of
    // its 8 characters in the buffer and reads no further: 00 00 80 03 is almost 0.
    EXPECT_EQ(Val("42H61"), "1");
    EXPECT_EQ(Val("42H62"), "0");
    EXPECT_FALSE(Has("42H63"));
}

TEST_F(YdtTest, RefusesWhenUnloadedClosedOrAfterAShortWrite)
{
    CSMYdt1363 unloaded(5120);
    EXPECT_EQ(unloaded.LoadDef(SMPath("/NandFlash/SM/none.def").c_str()), -1);
    EXPECT_EQ(unloaded.DataGet(&port, 1, 0), 0);
    EXPECT_TRUE(port.writes.empty());

    Load("[comm]\nbak=1\nver=21\ncid2=42,43\ndinfo=B\n");
    d.Ini().SetValue(SEC_VALS, "old", 1);
    EXPECT_EQ(d.DataGet(nullptr, 1, 0), 0);
    EXPECT_FALSE(Has("old")) << "the readings are cleared first";
    port.open = false;
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_TRUE(port.writes.empty());

    port.open = true;
    port.failWritesFrom = 1;
    port.Reply(Reply("07"));
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("42H01"), "7");
    EXPECT_EQ(port.reads, 1) << "no read after the failed write";

    ScriptPort empty;
    Load("[comm]\ncid2=\nbak=1\nver=21\n");
    EXPECT_EQ(d.DataGet(&empty, 1, 0), 1) << "no codes: nothing sent, still a poll";
    EXPECT_TRUE(empty.writes.empty());
}

TEST_F(YdtTest, PointsReadTheirItems)
{
    Load("[comm]\nbak=1\nver=21\ncid2=42\n[42H]\n1=B\n2=I\n"
         "[flds]\ncnt=3\n1=42H01\n2=42H02\n3=42H09\n"
         "[flds.def]\n1='U',1,'Voltage',0,10,0\n");
    EXPECT_EQ(d.DataSize(), 3);
    port.Reply(Reply("05" "0100"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(d.DataVal(1), 5);
    EXPECT_EQ(d.DataVal(2), 256);
    EXPECT_EQ(d.DataVal(3), -1) << "no such item";
    EXPECT_EQ(d.DataVal(4), -1);
    EXPECT_EQ(d.DataVal(0), -1);
    EXPECT_EQ(d.Ini().GetValue(SEC_FLDSVAL, "U", ""), "1");
    EXPECT_EQ(d.Ini().GetValue(SEC_FLDSVAL, "1", ""), "10");
    EXPECT_NE(d.Data(), nullptr);
}

class YdtDbTest : public YdtTest {
protected:
    void SetUp() override
    {
        Load("[comm]\nbak=1\nver=21\ncid2=42\nmodel=QV-PSU\nnote=Rect'1\n"
             "brief=U=%1%V %1st% I=%2%A\n"
             "[42H]\n1=I\n2=I\n2bit=1\n3=B\n"
             "[flds]\ncnt=2\n1=42H01\n2=42H03\n"
             "[flds.def]\n1='U',1,'Voltage',0,10,0,0,'',0,''\n2='I',1,'Current',0,1,0,0,'',0,''\n");
        d.SetDb(&live, 0);
        d.SetDb(&hist, 1);
        item = MakeItem(7, 5120, 1, 0, &port);
        item.Port = 3;
        d.DoItem(&item, 0);
    }
    TestDb live, hist;
    tagSMItem item;
};

TEST_F(YdtDbTest, RegistersTypeAndPoints)
{
    d.RegDb(&live, 0);
    EXPECT_EQ(live.Str("select Name||'/'||Iface from tbSMType where Type=5120"), "QV-PSU/Rect'1");
    EXPECT_EQ(live.Int("select Kind from tbSMType where Type=5120"), 5120);
    EXPECT_EQ(live.Int("select count(*) from tbSMDef where Type=5120"), 2);
    EXPECT_EQ(live.CountExecs("insert into tbSMDef values(5120,0,1,'U',1,'Voltage',0,10,0,0,'',0,'',0,NULL)"), 1);
}

TEST_F(YdtDbTest, CreatesItsTablesOnBothDatabases)
{
    EXPECT_EQ(d.ChkDb(nullptr), 1);
    const char* t1 = "create table tbYdt1363(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,"
                     "Addr INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER)";
    const char* t2 = "create table tbYdt1363Dat(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,Fld VARCHAR(64),"
                     "Val INTEGER)";
    ASSERT_EQ(live.execs.size(), 2u);
    EXPECT_EQ(live.execs[0], t1);
    EXPECT_EQ(live.execs[1], t2);
    EXPECT_EQ(hist.execs, live.execs);
    live.Clear();
    EXPECT_EQ(d.ChkDb(nullptr), 1) << "nothing to create";
    EXPECT_TRUE(live.execs.empty());
    EXPECT_EQ(d.ChkDb(&item), 1);
    EXPECT_EQ(live.Int("select State from tbYdt1363 where SID=7"), -1);
    EXPECT_EQ(live.Int("select Port*100+Addr from tbYdt1363 where SID=7"), 301);

    CSMYdt1363 nodb(5120);
    EXPECT_EQ(nodb.ChkDb(&item), 0);
    TestDb failing;
    failing.failExec = true;
    CSMYdt1363 bad(5120);
    bad.SetDb(&failing, 0);
    EXPECT_EQ(bad.ChkDb(nullptr), 0);
}

TEST_F(YdtDbTest, StoresStateBriefAndReadings)
{
    d.RegDb(&live, 0);
    d.ChkDb(&item);
    live.Run("insert into tbSubSysDetail(sid,type,State) values(7,5120,0)");
    port.Reply(Reply("0898" "2020" "05"));  // U 2200, current absent, item 3 = 5
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    int bits[16] = {0};
    int snap = 42;
    live.Clear();
    EXPECT_EQ(d.DataUpd(0x10, bits, &snap, -1, &hist), 1);
    EXPECT_EQ(live.Int("select State from tbSubSysDetail where sid=7"), 0);
    EXPECT_EQ(live.Int("select SnapID from tbYdt1363 where SID=7"), 42);
    EXPECT_EQ(live.Str("select Brief from tbSMBrief where SID=7"), "U=220.0V (正常) I=5A");
    EXPECT_EQ(live.Int("select count(*) from tbYdt1363Dat where SID=7 and DID=0"), 3);
    EXPECT_EQ(live.Int("select Val from tbYdt1363Dat where Fld='V42H01'"), 2200);
    EXPECT_EQ(live.Int("select Val is null from tbYdt1363Dat where Fld='V42H02'"), 1);
    EXPECT_EQ(live.Int("select count(*) from tbYdt1363Dat where Fld like 'V42H02-%'"), 0);
    EXPECT_EQ(live.CountExecs("update tbYdt1363 set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0,"
                              "SnapID=42 where sid=7"),
              1);
    // History: a row in tbYdt1363 and the readings under its id.
    int did = hist.Int("select max(DID) from tbYdt1363");
    EXPECT_GT(did, 0);
    EXPECT_EQ(hist.Int("select count(*) from tbYdt1363Dat where DID=" + std::to_string(did)), 3);
    EXPECT_EQ(hist.Int("select count(*) from tbYdt1363Dat where DID=0"), 0);
    EXPECT_EQ(hist.Int("select Port from tbYdt1363 where DID=" + std::to_string(did)), 3);

    // Second poll: the current readings are replaced, not added.
    port.Reply(Reply("0899" "0003" "06"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    bits[0] = 1;  // point 1 in alarm
    EXPECT_EQ(d.DataUpd(0, bits, &snap, 7, nullptr), 1);
    EXPECT_EQ(live.Int("select count(*) from tbYdt1363Dat where SID=7 and DID=0"), 11) << "3 items and 8 bits";
    EXPECT_EQ(live.Int("select SnapID from tbYdt1363 where SID=7"), 0) << "flag 0x10 clear";
    EXPECT_EQ(live.Int("select State from tbYdt1363 where SID=7"), 0) << "alarm bits alone do not raise the state";
    EXPECT_EQ(live.Str("select Brief from tbSMBrief where SID=7"),
              "U=220.1V (告警) I=6A; 告警:Voltage");
}

TEST_F(YdtDbTest, FailedPollAndFailingDatabases)
{
    d.ChkDb(&item);
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);  // no reply at all
    EXPECT_EQ(d.DataUpd(1, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(live.Int("select State from tbYdt1363 where SID=7"), 1) << "flag bit 0 forces 1";
    EXPECT_EQ(d.DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(live.Int("select State from tbYdt1363 where SID=7"), 2);
    EXPECT_EQ(live.Str("select Brief from tbSMBrief where SID=7"), "U=V (故障) I=A");

    hist.Clear();
    hist.failText = "insert into tbYdt1363(";
    hist.failExec = true;
    int bits[16] = {0};
    EXPECT_EQ(d.DataUpd(0, bits, nullptr, -1, &hist), 0) << "the history insert failed";
    EXPECT_EQ(hist.CountExecs("tbYdt1363Dat"), 0) << "no readings without the history row";

    live.failText = "update tbYdt1363 ";
    live.failExec = true;
    EXPECT_EQ(d.DataUpd(0, bits, nullptr, -1, nullptr), 0);

    CSMYdt1363 nodb(5120);
    EXPECT_EQ(nodb.DataUpd(0, bits, nullptr, -1, nullptr), 1) << "nothing written, nothing failed";
}

TEST_F(YdtDbTest, QuotesInTheBriefAreDoubled)
{
    d.Ini().SetValue(SEC_COMM, "brief", "it's %1%");
    d.ChkDb(&item);
    port.Reply(Reply("0001"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    int bits[16] = {0};
    EXPECT_EQ(d.DataUpd(0, bits, nullptr, -1, nullptr), 1);
    EXPECT_EQ(live.Str("select Brief from tbSMBrief where SID=7"), "it's 0.1");
}

TEST_F(YdtDbTest, FactoryNeedsTheFileAndLogsTheNewDriver)
{
    EXPECT_EQ(NewYdt1363Handler(5200), nullptr);
    ISMBase* h = NewYdt1363Handler(5120);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->DataSize(), 2);
    delete static_cast<CSMYdt1363*>(static_cast<CSMBase*>(h));
    EXPECT_NE(root.Read("/NandFlash/tmp/qvsm.log.ini").find("CSMYdt1363 new 0x"), std::string::npos);
    CSMYdt1363 fresh(5300);
    EXPECT_EQ(fresh.DataSize(), 1);
    EXPECT_STREQ(fresh.GetNote(), "QVYD-base");
}

}  // namespace
