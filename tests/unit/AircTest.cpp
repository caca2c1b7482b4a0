// The two air-conditioner drivers: the infrared controller (1792) with its own function codes
// and low-byte-first words, and the precision unit on YD/T 1363 (2048).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/airc/AircModels.h"
#include "drivers/cyber/CyberModels.h"
#include "tests/kit/Kit.h"

namespace {

using Strings = std::vector<std::string>;

Bytes WithCrc(Bytes b)
{
    unsigned short crc = CBufHelper::crc16(b.data(), static_cast<unsigned char>(b.size()));
    b.push_back(static_cast<unsigned char>(crc & 0xFF));
    b.push_back(static_cast<unsigned char>(crc >> 8));
    return b;
}

// ---- controller --------------------------------------------------------------------------

class AircTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        drv.SetDb(&db, 0);
        drv.DoItem(&item, 0);
        ASSERT_EQ(drv.ChkDb(&item), 1);
        db.Clear();
    }
    // A status reply of 52 data bytes: d[i] = fill(i), then the given overrides.
    static Bytes Status(const std::vector<std::pair<int, int>>& set = {}, int dataLen = 52, int addr = 1)
    {
        Bytes b = {static_cast<unsigned char>(addr), 0x04, static_cast<unsigned char>(dataLen)};
        for (int i = 0; i < dataLen; ++i) b.push_back(static_cast<unsigned char>(i + 1));
        for (auto& s : set) b[3 + s.first] = static_cast<unsigned char>(s.second);
        return WithCrc(b);
    }
    int Poll(const Bytes& status, int extra = 0x5A)
    {
        port.Reply(status);
        port.Reply(WithCrc({0x01, 0x09, 0x01, static_cast<unsigned char>(extra)}));
        return drv.DataGet(&port, 1, 0);
    }
    std::string Brief() { return db.Str("select Brief from tbSMBrief where SID=9"); }

    TempRoot root;
    FakeClock clock;
    TestDb db;
    ScriptPort port;
    CSMAirc drv;
    tagSMItem item = MakeItem(9, 1792, 1, 0, &port);
};

TEST_F(AircTest, StatusBytesAreTakenFromTheirOffsetsWithWordsLowByteFirst)
{
    // d[i] = i + 1, so a word k is (2k+2) << 8 | (2k+1) and a byte i is i + 1.
    ASSERT_EQ(Poll(Status()), 1);
    EXPECT_EQ(ToHex(port.writes[0]), "01 04 00 00 00 3C F0 1B");
    EXPECT_EQ(ToHex(port.writes[1]), "01 09 00 40 00 01 1D DF");
    EXPECT_EQ(port.readCaps, (std::vector<int>{100, 100}));
    const int want[27] = {
        0x0201, 0x0403, 5, 6, 7, 0, 9, 12, 0x0E0D, 15, 16,            // unit 1
        0x1A19, 0x1C1B, 29, 30, 31, 0, 33, 36, 0x2625, 39, 40,        // unit 2 from register 12
        49, 50, 51, 52,                                               // Di1, Di2, Do1, Do2
        0x5A,                                                         // byte 3 of the second reply
    };
    for (int f = 1; f <= 27; ++f) EXPECT_EQ(drv.DataVal(f), want[f - 1]) << "point " << f;
    EXPECT_EQ(drv.DataVal(0), -1);
    EXPECT_EQ(drv.DataVal(28), -1);
    EXPECT_EQ(drv.DataSize(), 26) << "27 points, 26 reported";
}

TEST_F(AircTest, FailedExchangesEndThePollAndKeepWhatWasDecoded)
{
    ASSERT_EQ(Poll(Status({{0, 0x34}, {1, 0x12}})), 1);
    // A reply of all 60 registers (125 bytes) is cut at 100 by the read and fails its CRC.
    port.Reply(Status({}, 120));
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(drv.DataVal(1), 0x1234);
    EXPECT_EQ(port.writes.size(), 3u) << "no second request";

    Bytes bad = Status({{0, 0x78}, {1, 0x56}});
    bad.back() ^= 1;
    port.Reply(bad);
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(drv.DataVal(1), 0x1234);

    // The status block arrived, the second request is unanswered: unit values stay new.
    port.Reply(Status({{0, 0x78}, {1, 0x56}}));
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(drv.DataVal(1), 0x5678);
    EXPECT_EQ(drv.DataVal(27), 0x5A);

    port.open = false;
    port.writes.clear();
    EXPECT_EQ(Poll(Status()), 0);
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(AircTest, RepliesOfOtherRequestsAreSkippedOrFailThePoll)
{
    // Unit 2's late status block (all bytes 0x99) against unit 1's own, which is short: its
    // missing bytes read 0, nothing of the late frame stays behind it.
    const Bytes late = Status({{0, 0x99}, {1, 0x99}, {48, 0x99}}, 52, 2);
    const Bytes own = Status({{0, 0x34}, {1, 0x12}}, 20);
    Bytes both = late;
    both.insert(both.end(), own.begin(), own.end());
    const struct {
        std::vector<Bytes> reads;
        int ok;
        const char* why;
    } cases[] = {
        {{own}, 1, "its own reply"},
        {{late, own}, 1, "unit 2's frame is dropped, reading goes on"},
        {{both}, 1, "a late frame and the own one in one read"},
        {{WithCrc({0x01, 0x09, 0x01, 0x33}), own}, 1, "a reply to the other request is dropped"},
        {{late}, 0, "only unit 2 answered"},
        {{WithCrc({0x01, 0x84, 0x02})}, 0, "an exception"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_EQ(Poll(Status({{0, 0x78}, {1, 0x56}})), 1);
        port.replies.assign(c.reads.begin(), c.reads.end());
        if (c.ok) port.Reply(WithCrc({0x01, 0x09, 0x01, 0x5A}));
        EXPECT_EQ(drv.DataGet(&port, 1, 0), c.ok);
        EXPECT_EQ(drv.DataVal(1), c.ok ? 0x1234 : 0x5678);
        EXPECT_EQ(drv.DataVal(23), c.ok ? 0 : 49) << "first input, data byte 48";
        EXPECT_TRUE(port.replies.empty());
    }
    // A control echo from another address is not the controller's answer.
    port.Reply(WithCrc(HexBytes("02 08 00 40 00 01 01")));
    unsigned char v = 1;
    EXPECT_EQ(drv.DoFunc(&port, 1, 64, &v, 1), 0);
}

TEST_F(AircTest, SummaryTextsAndStoredRow)
{
    const struct {
        int flags;
        bool failed;
        int status, except;
        const char* brief;
    } cases[] = {
        {0, false, 1, 0, "空调(正常),送风口温度:23.45℃,空调状态:1(制冷),异常状态:0(正常)"},
        {0, false, 2, 1, "空调(正常),送风口温度:23.45℃,空调状态:2(制热),异常状态:1(温度异常)"},
        {1, false, 3, 2, "空调(报警),送风口温度:23.45℃,空调状态:0(关机),异常状态:2(温度上限异常)"},
        {0, false, 0, 4, "空调(正常),送风口温度:23.45℃,空调状态:0(关机),异常状态:4(温度下限异常)"},
        {0, false, 0, 16, "空调(正常),送风口温度:23.45℃,空调状态:0(关机),异常状态:16(红外发送错误)"},
        {0, false, 0, 32, "空调(正常),送风口温度:23.45℃,空调状态:0(关机),异常状态:32电流异常"},
        {0, false, 0, 3, "空调(正常),送风口温度:23.45℃,空调状态:0(关机),异常状态:3(未知参数)"},
        {0, true, 1, 0, "空调(故障),送风口温度:0.00℃,空调状态:0(关机),异常状态:0(正常)"},
    };
    int bits[1] = {0x7FF};  // alarm bits do not raise the state
    for (const auto& c : cases) {
        SCOPED_TRACE(c.brief);
        ASSERT_EQ(Poll(Status({{0, 0x29}, {1, 0x09}, {14, c.status}, {15, c.except}, {38, 7}})), 1);
        EXPECT_EQ(drv.DataUpd(c.flags, c.failed ? nullptr : bits, nullptr, -1, nullptr), 1);
        EXPECT_EQ(Brief(), c.brief);
        EXPECT_EQ(db.Int("select State from tbAirc where SID=9"), c.failed ? 2 : c.flags);
        EXPECT_EQ(db.Int("select StatusV from tbAirc where SID=9"), c.failed || c.status > 2 ? 0 : c.status);
        EXPECT_EQ(drv.DataVal(CSMAirc::F_STATUS + CSMAirc::UNIT2), 0) << "7 > 2 stored as 0";
    }
    EXPECT_EQ(drv.DataVal(27), 0x5A) << "point 27 is not cleared";
}

TEST_F(AircTest, StatementsOfAPoll)
{
    TestDb hist;
    drv.SetDb(&hist, 1);
    ASSERT_EQ(drv.ChkDb(nullptr), 1);
    hist.Clear();
    ASSERT_EQ(Poll(Status()), 1);
    int bits[1] = {0};
    int snap = 77;
    db.Clear();
    EXPECT_EQ(drv.DataUpd(16, bits, &snap, -1, &hist), 1);
    ASSERT_EQ(db.execs.size(), 3u);
    EXPECT_EQ(db.execs[0],
              "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0 where sid=9 and type=1792");
    EXPECT_EQ(db.execs[1],
              "update tbAirc set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0,SnapID=77,Hfkwd=1027,"
              "Sfkwd=513,Ht=6,Lt=7,Ot=0,Ct=5,ExceptV=16,StatusV=0,Dl=9,Hdl=12,Ldl=3597,Hfkwd2=7195,Sfkwd2=6681,Ht2=30,"
              "Lt2=31,Ot2=0,Ct2=29,ExceptV2=40,StatusV2=0,Dl2=33,Hdl2=36,Ldl2=9765,Di1=49,Di2=50,Do1=51,Do2=52 "
              "where sid=9");
    ASSERT_EQ(hist.execs.size(), 1u);
    EXPECT_EQ(hist.execs[0],
              "insert into tbAirc(SID,DateUpd,State,SnapID,Hfkwd,Sfkwd,Ht,Lt,Ot,Ct,ExceptV,StatusV,Dl,Hdl,Ldl,Hfkwd2,"
              "Sfkwd2,Ht2,Lt2,Ot2,Ct2,ExceptV2,StatusV2,Dl2,Hdl2,Ldl2,Di1,Di2,Do1,Do2) "
              "values(9,datetime(CURRENT_TIMESTAMP,'localtime'),0,77,1027,513,6,7,0,5,16,0,9,12,3597,7195,6681,30,31,0,"
              "29,40,0,33,36,9765,49,50,51,52)");
    hist.failExec = true;
    EXPECT_EQ(drv.DataUpd(0, bits, nullptr, -1, &hist), 0) << "the history insert decides";
}

TEST_F(AircTest, ControlsOnTheWire)
{
    const struct {
        int cmd;
        int value;
        const char* frame;  // "" nothing sent
    } cases[] = {
        {42, 1645058, "01 0B 00 2A 00 03 19 1A 02"},
        {(0x10 << 16) | 42, 0x010203, "01 10 00 2A 00 03 01 02 03"},
        {64, 0x101, "01 08 00 40 00 01 01"},
        {(5 << 16) | 300, 0, "01 08 01 2C 00 01 00"},
        {10, 1, ""},
        {63, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cmd);
        port.writes.clear();
        Bytes frame = c.frame[0] ? WithCrc(HexBytes(c.frame)) : Bytes();
        port.Reply(frame);  // the controller echoes the command
        int v = c.value;
        EXPECT_EQ(drv.DoFunc(&port, 1, c.cmd, &v, 4), 1);
        if (!c.frame[0]) {
            EXPECT_TRUE(port.writes.empty());
            port.replies.clear();
            continue;
        }
        ASSERT_EQ(port.writes.size(), 1u);
        EXPECT_EQ(port.LastWrite(), frame);
        EXPECT_EQ(port.readCaps.back(), static_cast<int>(frame.size()));
    }
    int v = 1645058;
    EXPECT_EQ(drv.DoFunc(&port, 1, 42, &v, 4), 0) << "no answer";
    Bytes bad = WithCrc(HexBytes("01 0B 00 2A 00 03 19 1A 02"));
    bad[8] ^= 1;
    port.Reply(bad);
    EXPECT_EQ(drv.DoFunc(&port, 1, 42, &v, 4), 0) << "wrong CRC";
    port.open = false;
    EXPECT_EQ(drv.DoFunc(&port, 1, 10, &v, 4), 0);
    unsigned char data[60] = {};
    EXPECT_EQ(drv.ModBusCmdN(1, 8, 1, 56, data), 64);
    EXPECT_EQ(drv.ModBusCmdN(1, 8, 1, 57, data), 0) << "over the request buffer";
}

TEST_F(AircTest, VariablesAndCatalogue)
{
    ASSERT_EQ(Poll(Status({{0, 0x29}, {1, 0x09}, {8, 150}, {14, 1}, {38, 9}, {48, 1}, {49, 0}})), 1);
    const struct {
        const char* name;
        const char* text;
    } cases[] = {
        {".送风口温度1", "23.45"}, {".sfkwd1", "23.45"}, {".当前电流1", "1.50"}, {".设置温度1", "5"},
        {".ldl1", "3597"},         {".空调状态1", "制冷"}, {".status2", "未知"}, {".DI1", "闭合"},
        {".DI2", "断开"},          {".ct2", "29"},
    };
    for (const auto& c : cases) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s", c.name);
        EXPECT_GT(drv.VarEval(buf), 0) << c.name;
        EXPECT_STREQ(buf, c.text) << c.name;
    }
    for (const char* bad : {".sfkwd3", ".Tem", ".ot1", ""}) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s", bad);
        EXPECT_EQ(drv.VarEval(buf), -1) << bad;
    }

    EXPECT_EQ(drv.RegDb(&db, 0), 0);
    EXPECT_EQ(db.execs, (Strings{
                            "insert into tbSMType values(1792,1792,'空调控制 QV-AIRC','485接口...')",
                            "insert into tbSMDef values(1792,0,10,'StatusV',1,'空调状态',0,1,4,1,'0关机 1制冷 2制热',0,'',0,NULL)",
                            "insert into tbSMDef values(1792,0,11,'ExceptV',1,'异常状态',0,1,1,0,'0无异常',0,'',0,NULL)",
                            "insert into tbSMDef values(1792,0,21,'StatusV2',1,'空调状态2',0,1,4,1,'0关机 1制冷 2制热',0,'',0,NULL)",
                            "insert into tbSMDef values(1792,0,22,'ExceptV2',1,'异常状态2',0,1,1,0,'0无异常',0,'',0,NULL)",
                        }));
    CSMAirc noDb;
    EXPECT_EQ(noDb.ChkDb(&item), 0);
}

// ---- precision unit on YD/T 1363 -----------------------------------------------------------

// A reply frame with this RTN and INFO (its checksum is not examined).
std::string YdtReply(const std::string& rtn, const std::string& info, const std::string& adr = "01")
{
    return "~21" + adr + "60" + rtn + "0000" + info + "FFFF\r";
}

class CyberMateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        drv.SetDb(&db, 0);
        drv.SetDb(&db2, 1);
        drv.DoItem(&item, 0);
        ASSERT_EQ(drv.RegDb(&db, 0), 0);
        ASSERT_EQ(drv.ChkDb(&item), 1);
        db.Clear();
        db2.Clear();
    }
    void Replies(const std::string& rtn3 = "00")
    {
        port.Reply(YdtReply("00", "00DC00EB01C200FA0123"));
        port.Reply(YdtReply("00", "01000100010001"));
        std::string alarms;
        for (int i = 0; i < 26; ++i) alarms += i == 3 ? "0A" : "00";
        port.Reply(YdtReply(rtn3, alarms));
        port.Reply(YdtReply("00", "1405a0051E0A1A12460A"));
    }

    TempRoot root;
    FakeClock clock;
    TestDb db, db2;
    ScriptPort port;
    CSMCyberMate drv;
    tagSMItem item = MakeItem(5, 2048, 1, 0, &port);
};

TEST_F(CyberMateTest, FourCommandsDecodeIntoFortyEightValues)
{
    Replies();
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 4u);
    const char* want[] = {"~210160420000FDB0\r", "~210160430000FDAF\r", "~210160440000FDAE\r", "~210160470000FDAB\r"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(std::string(port.writes[i].begin(), port.writes[i].end()), want[i]);
    EXPECT_EQ(port.readCaps, (std::vector<int>{120, 120, 120, 120}));
    const int analog[] = {220, 235, 450, 250, 291};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(drv.DataVal(1 + i), analog[i]);
    EXPECT_EQ(drv.DataVal(6), 1);
    EXPECT_EQ(drv.DataVal(7), 0);
    EXPECT_EQ(drv.DataVal(12), 1);
    EXPECT_EQ(drv.DataVal(16), 10);
    EXPECT_EQ(drv.DataVal(15), 0);
    // "05a0": the lower-case 'a' counts as 0.
    const int params[] = {0x14, 0x05, 0x00, 0x05, 0x1E, 0x0A, 0x1A, 0x12, 0x46, 0x0A};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(drv.DataVal(39 + i), params[i]) << 39 + i;
    EXPECT_EQ(drv.DataVal(49), -1);
    EXPECT_EQ(drv.DataVal(0), -1);

    EXPECT_EQ(ASCII2HEX('a'), 0);
    EXPECT_EQ(ASCII2HEX('F'), 15);
    EXPECT_EQ(HASCII(0xAB), 'A');
    EXPECT_EQ(LASCII(0xAB), 'B');
    EXPECT_EQ(getLength(0x012), 0xD012);
}

TEST_F(CyberMateTest, AReturnCodeOtherThanZeroFailsAtThatCommand)
{
    Replies();
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    // Second poll: new analogue values and switches, RTN 04 on the alarm command.
    port.Reply(YdtReply("00", "00DD00EC01C300FB0124"));
    port.Reply(YdtReply("00", "00000000000000"));
    port.Reply(YdtReply("04", ""));
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.writes.size(), 7u);
    EXPECT_EQ(drv.DataVal(1), 221) << "first command kept";
    EXPECT_EQ(drv.DataVal(6), 0) << "second command kept";
    EXPECT_EQ(drv.DataVal(16), 10) << "alarms of the earlier poll";
    for (const char* rtn : {"0", "40", "x0"}) {
        port.Reply(std::string("~2101600") + rtn);
        EXPECT_EQ(drv.DataGet(&port, 1, 0), 0) << rtn;
    }
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0) << "no reply";
    port.open = false;
    EXPECT_EQ(drv.DataGet(nullptr, 1, 0), 0);
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
}

TEST_F(CyberMateTest, FramesOfAnotherAddressAreSkippedOrFailThePoll)
{
    const std::string analog = YdtReply("00", "00DD00EC01C300FB0124");
    const std::string other = YdtReply("00", "0111011101110111011", "02");
    const struct {
        std::vector<std::string> reads;  // for the first command
        int ok;
        const char* why;
    } cases[] = {
        {{other, analog}, 1, "ADR 02 dropped, reading goes on"},
        {{other + analog}, 1, "ADR 02 and the own frame in one read"},
        {{other}, 0, "only ADR 02 answered"},
        {{"~2101"}, 0, "cut off, then nothing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Replies();
        ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
        for (const std::string& r : c.reads) port.Reply(r);
        if (c.ok) {
            port.Reply(YdtReply("00", "01000100010001"));
            port.Reply(YdtReply("00", std::string(52, '0')));
            port.Reply(YdtReply("00", "1405a0051E0A1A12460A"));
        }
        EXPECT_EQ(drv.DataGet(&port, 1, 0), c.ok);
        EXPECT_EQ(drv.DataVal(1), c.ok ? 221 : 220);
        EXPECT_EQ(drv.DataVal(5), c.ok ? 292 : 291);
        EXPECT_TRUE(port.replies.empty());
    }
}

TEST_F(CyberMateTest, RowSummaryAndHistoryWithTheTableNamesAsWritten)
{
    EXPECT_EQ(db2.Int("select count(*) from sqlite_master where name='tbCybermate'"), 1);
    Replies();
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    int bits[2] = {1 << 1 | 1 << 3, 0};  // points 2 and 4
    EXPECT_EQ(drv.DataUpd(0, bits, nullptr, -1, &db2), 1);
    ASSERT_EQ(db.execs.size(), 3u);
    const std::string& upd = db.execs[1];
    EXPECT_EQ(upd.rfind("update tbCyberMate set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0,SnapID=0," +
                            std::string(16, ' ') + "voltage=220,itemperature=235,",
                        0),
              0u)
        << upd;
    EXPECT_NE(upd.find(",paramhh=70,paramlh=10 \t\t\t\twhere sid=5"), std::string::npos) << upd;
    EXPECT_EQ(db.Int("select warndw from tbCybermate where SID=5"), 10);
    EXPECT_EQ(db.Int("select paramht from tbCybermate where SID=5"), 26);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=5"), "当前温度:23.5°C, 当前湿度:45.0%告警:室内温度 室外温度");

    ASSERT_EQ(db2.execs.size(), 1u);
    const std::string& ins = db2.execs[0];
    EXPECT_EQ(ins.rfind("insert into tbCyberMate(SID,DateUpd,State,SnapID," + std::string(28, ' ') + "voltage,", 0), 0u);
    EXPECT_NE(ins.find(",paramlh) \t\t\t\t\t\t   values(5,datetime(CURRENT_TIMESTAMP,'localtime'),0,0,\t\t\t\t\t\t   220,235,"),
              std::string::npos)
        << ins;
    const std::string tail = ",26,18,70,10" + std::string(27, ' ') + ")";
    EXPECT_EQ(ins.substr(ins.size() - tail.size()), tail) << ins;
    EXPECT_EQ(db2.Int("select ptemperature from tbCybermate where SID=5"), 291);

    // A failed poll clears the values; without alarm names the brief has no tail.
    db.Clear();
    EXPECT_EQ(drv.DataUpd(1, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Int("select State from tbCybermate where SID=5"), 1);
    EXPECT_EQ(db.Int("select voltage from tbCybermate where SID=5"), 0);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=5"), "当前温度:0.0°C, 当前湿度:0.0%");
    EXPECT_EQ(db.execs.back(), "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),Brief='当前温度:0.0°C, "
                               "当前湿度:0.0%' where sid=5");
}

TEST_F(CyberMateTest, CatalogueAndTable)
{
    TestDb fresh;
    CSMCyberMate d;
    d.SetDb(&fresh, 0);
    EXPECT_EQ(d.RegDb(&fresh, 0), 0);
    Strings inserts;
    for (const auto& s : fresh.execs)
        if (s.rfind("insert", 0) == 0) inserts.push_back(s);
    ASSERT_EQ(inserts.size(), 5u);
    EXPECT_EQ(inserts[0], "insert into tbSMType values(2048,2048,'Cyber QV-Cyber-JADC0110','JADC0110 海瑞弗空调 ...')");
    EXPECT_EQ(inserts[1], "insert into tbSMDef values(2048,0,2, 'Tem',1,'室内温度',0,10,10,0,'最小值,低于此值告警',0,"
                          "'最大值,超过此值告警',0,NULL)");
    EXPECT_EQ(inserts[4], "insert into tbSMDef values(2048,0,5, 'HumSet',1,'盘管温度',0,10,10,0,'最小值,低于此值告警',0,"
                          "'最大值,超过此值告警',0,NULL)");
    EXPECT_EQ(fresh.Int("select count(*) from tbSMDef where Type=2048"), 4);
    fresh.Clear();
    EXPECT_EQ(d.ChkDb(nullptr), 1);
    ASSERT_EQ(fresh.execs.size(), 1u);
    const std::string& create = fresh.execs[0];
    EXPECT_EQ(create.rfind("CREATE TABLE tbCybermate(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,"
                           "Addr INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER,voltage  INTEGER,itemperature  "
                           "INTEGER,",
                           0),
              0u);
    const std::string tail = "paramhh  INTEGER,paramlh  INTEGER)";
    EXPECT_EQ(create.substr(create.size() - tail.size()), tail);
    EXPECT_EQ(fresh.Int("select count(*) from pragma_table_info('tbCybermate')"), 8 + 48);
}

}  // namespace
