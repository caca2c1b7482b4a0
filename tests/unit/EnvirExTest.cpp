// The temperature and humidity probe in its own framed protocol (1293), with rates of change.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "drivers/envir/EnvirModels.h"
#include "tests/kit/Kit.h"

namespace {

std::string Sql(const char* fmt, ...)
{
    char buf[2048];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

const char kSubSys[] =
    "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d where sid=%d and type=%d";
const char kUpdEx[] =
    "update tbEnvirEx set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d,SnapID=%d,Tem=%d,Hum=%d,iTem=%d,"
    "iHum=%d,TemRate=%d,HumRate=%d,iTemRate=%d,iHumRate=%d where sid=%d";
const char kBrief[] = "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),St=%d,Brief='%s' where sid=%d";
const char kHist[] =
    "insert into tbEnvirEx(SID,DateUpd,State,SnapID,Tem,Hum,iTem,iHum,TemRate,HumRate,iTemRate,iHumRate) "
    "values(%d,datetime(CURRENT_TIMESTAMP,'localtime'),%d,%d,%d,%d,%d,%d,%d,%d,%d,%d)";

// A poll reply: five header bytes, Tem and Hum low byte first, 55, checksum.
Bytes ExReply(int tem, int hum, unsigned char addr = 1)
{
    Bytes b = {0xC1, addr, 0x01, 0x04, 0x00, static_cast<unsigned char>(tem & 0xFF),
               static_cast<unsigned char>((tem >> 8) & 0xFF), static_cast<unsigned char>(hum & 0xFF),
               static_cast<unsigned char>((hum >> 8) & 0xFF), 0x55};
    unsigned sum = 0;
    for (unsigned char c : b) sum += c;
    b.push_back(static_cast<unsigned char>(sum & 0xFF));
    return b;
}

class EnvirExTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        drv.SetDb(&db, 0);
        drv.DoItem(&item, 0);
    }
    int Poll(int tem, int hum)
    {
        port.Reply(ExReply(tem, hum));
        return drv.DataGet(&port, 1, 0);
    }
    void ChkDb()
    {
        ASSERT_EQ(drv.ChkDb(&item), 1);
        db.Clear();
    }

    TempRoot root;
    FakeClock clock;
    TestDb db;
    ScriptPort port;
    CSMEnvirEx drv;
    tagSMItem item = MakeItem(11, 1293, 1, 0, &port);
};

TEST_F(EnvirExTest, IdentityRowsAndTable)
{
    EXPECT_EQ(drv.GetType(), 1293);
    EXPECT_STREQ(drv.GetNote(), "QV-TH485");
    EXPECT_EQ(drv.DataSize(), 4);
    EXPECT_EQ(drv.RegDb(&db, 0), 0);
    std::vector<std::string> want = {
        "insert into tbSMType values(1293,1280,'温湿度 QV-TH485','485接口,量程...')",
        "insert into tbSMDef values(1293,0,1,'Tem',1,'温度值',0,10,10,300,'最小值|允许最低温度,低于此值告警',380,"
        "'最大值|允许最高温度,超过此值告警',0,NULL)",
        "insert into tbSMDef values(1293,0,2,'Hum',1,'湿度值',0,10,10,350,'最小值|允许最低湿度,低于此值告警',780,"
        "'最大值|允许最高湿度,超过此值告警',0,NULL)",
        "insert into tbSMDef values(1293,0,3,'TemRate',1,'温度变化率',0,10,10,0,'最小值|允许最低温度,低于此值告警',80,"
        "'最大值|允许最高温度,超过此值告警',0,NULL)",
        "insert into tbSMDef values(1293,0,4,'HumRate',1,'湿度变化率',0,10,10,0,'最小值|允许最低湿度,低于此值告警',80,"
        "'最大值|允许最高湿度,超过此值告警',0,NULL)",
    };
    EXPECT_EQ(db.execs, want);
    db.Clear();
    EXPECT_EQ(drv.RegDb(&db, 0), 0);
    EXPECT_TRUE(db.execs.empty());

    db.Clear();
    TestDb db2;
    drv.SetDb(&db2, 1);
    const std::string create =
        "create table tbEnvirEx(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,Addr INTEGER,DateUpd "
        "DATETIME,State INTEGER,SnapID INTEGER,Tem INTEGER,Hum INTEGER,iTem INTEGER,iHum INTEGER,TemRate INTEGER,"
        "HumRate INTEGER,iTemRate INTEGER,iHumRate INTEGER)";
    EXPECT_EQ(drv.ChkDb(&item), 1);
    EXPECT_EQ(db.execs.at(0), create);
    EXPECT_EQ(db2.execs.at(0), create);
    EXPECT_EQ(db.Int("select State from tbEnvirEx where SID=11"), -1);
    EXPECT_EQ(drv.ChkDb(nullptr), 1);
}

TEST_F(EnvirExTest, CmdPackFrames)
{
    unsigned char buf[64];
    EXPECT_EQ(drv.CmdPack(buf, 1, 1, 0, nullptr, 0), 7);
    EXPECT_EQ(ToHex(Bytes(buf, buf + 7)), "C1 01 01 00 00 55 18");
    unsigned char data[2] = {0xAA, 0xBB};
    ASSERT_EQ(drv.CmdPack(buf, 2, 5, 0x1234, data, 2), 9);
    // C1+02+05+34+12+AA+BB+55 = 0x2C8
    EXPECT_EQ(ToHex(Bytes(buf, buf + 9)), "C1 02 05 34 12 AA BB 55 C8");
    EXPECT_EQ(drv.CmdPack(buf, 2, 5, 0, nullptr, 9), 7) << "no data: no data bytes";
    unsigned char big[64] = {};
    EXPECT_EQ(drv.CmdPack(buf, 1, 1, 0, big, 57), 64);
    EXPECT_EQ(drv.CmdPack(buf, 1, 1, 0, big, 58), 0) << "longer than the command buffer";
    EXPECT_EQ(drv.CmdPack(nullptr, 1, 1, 0, nullptr, 0), 0);
}

TEST_F(EnvirExTest, PollRequestPauseAndDecode)
{
    port.Reply(ExReply(235, 450, 5));
    ASSERT_EQ(drv.DataGet(&port, 0x205, 100), 1);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(ToHex(port.writes[0]), "C1 05 01 00 00 55 1C");
    EXPECT_EQ(port.purges, 1);
    EXPECT_EQ(port.readCaps.at(0), 120);
    EXPECT_EQ(port.readTimeouts.at(0), 0);
    EXPECT_EQ(FakeClock::Sleeps().at(0), 200000u) << "100 ms is not enough: the default 200 ms";
    EXPECT_EQ(drv.DataVal(1), 235);
    EXPECT_EQ(drv.DataVal(2), 450);
    EXPECT_EQ(drv.DataVal(5), -1);
    EXPECT_EQ(drv.DataVal(0), -1);
    const unsigned char* b = static_cast<const unsigned char*>(drv.Data());
    EXPECT_EQ(ToHex(Bytes(b, b + 4)), "00 EB 01 C2");

    FakeClock::Sleeps().clear();
    port.Reply(ExReply(235, 450));
    ASSERT_EQ(drv.DataGet(&port, 1, 101), 1);
    EXPECT_EQ(FakeClock::Sleeps().at(0), 101000u);
}

TEST_F(EnvirExTest, NegativeTemperatureIsSigned)
{
    ChkDb();
    ASSERT_EQ(Poll(-100, 450), 1);
    EXPECT_EQ(drv.DataVal(1), -100);
    const unsigned char* b = static_cast<const unsigned char*>(drv.Data());
    EXPECT_EQ(ToHex(Bytes(b, b + 2)), "FF 9C");
    char var[16] = ".Tem";
    EXPECT_EQ(drv.VarEval(var), 5);
    EXPECT_STREQ(var, "-10.0");
    int alm[1] = {0};
    drv.DataUpd(0, alm, nullptr, -1, nullptr);
    EXPECT_EQ(db.Int("select Tem from tbEnvirEx where SID=11"), -100);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=11"),
              "温度:-10.0 (正常), 湿度:45.0 (正常), 温度变化率:0.0 (正常), 湿度变化率:0.0 (正常)");
}

TEST_F(EnvirExTest, BadRepliesFailAndKeepTheValues)
{
    ASSERT_EQ(Poll(200, 400), 1);
    Bytes bad = ExReply(1, 2);
    bad.back() ^= 0x40;
    port.Reply(bad);
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0) << "checksum";
    port.Reply(ExReply(1, 2));
    port.readLimit = 4;
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0) << "fewer than 5 bytes";
    // Nine bytes with a right checksum still lack Hum's second byte.
    port.readLimit = -1;
    Bytes nine = {0xC1, 0x01, 0x01, 0x04, 0x00, 0x01, 0x00, 0x02};
    unsigned sum = 0;
    for (unsigned char c : nine) sum += c;
    nine.push_back(static_cast<unsigned char>(sum));
    port.Reply(nine);
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0) << "no reply";
    EXPECT_EQ(drv.DataVal(1), 200);
    EXPECT_EQ(drv.DataVal(2), 400);

    port.open = false;
    port.writes.clear();
    int purges = port.purges, reads = port.reads;
    port.Reply(ExReply(1, 2));
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.purges, purges);
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(port.reads, reads);
    EXPECT_EQ(drv.DataGet(nullptr, 1, 0), 0);
    port.open = true;
    port.replies.clear();
    port.shortWriteBy = 1;
    port.Reply(ExReply(1, 2));
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.reads, reads);
}

TEST_F(EnvirExTest, RatesStartAtZeroAndFollowTheChange)
{
    ASSERT_EQ(Poll(235, 450), 1);
    EXPECT_EQ(drv.DataVal(3), 0);
    EXPECT_EQ(drv.DataVal(4), 0);
    ASSERT_EQ(Poll(250, 400), 1);
    EXPECT_EQ(drv.DataVal(3), 15);
    EXPECT_EQ(drv.DataVal(4), 50);
    ASSERT_EQ(Poll(-50, 410), 1);
    EXPECT_EQ(drv.DataVal(3), 300) << "absolute change across zero";
    EXPECT_EQ(drv.DataVal(4), 10);
    // A failed poll changes nothing.
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    ASSERT_EQ(Poll(-50, 410), 1);
    EXPECT_EQ(drv.DataVal(3), 0);
    EXPECT_EQ(drv.DataVal(4), 0);
}

TEST_F(EnvirExTest, SeparateSidsKeepSeparatePreviousValues)
{
    tagSMItem other = MakeItem(12, 1293, 2, 0, &port);
    ASSERT_EQ(Poll(200, 500), 1);
    drv.DoItem(&other, 0);
    ASSERT_EQ(Poll(300, 600), 1);
    EXPECT_EQ(drv.DataVal(3), 0) << "first reading of SID 12";
    drv.DoItem(&item, 0);
    ASSERT_EQ(Poll(210, 490), 1);
    EXPECT_EQ(drv.DataVal(3), 10);
    EXPECT_EQ(drv.DataVal(4), 10);
    drv.DoItem(&other, 0);
    ASSERT_EQ(Poll(330, 580), 1);
    EXPECT_EQ(drv.DataVal(3), 30);
    EXPECT_EQ(drv.DataVal(4), 20);
}

TEST_F(EnvirExTest, ChkDbAndAFaultRestartTheRates)
{
    ASSERT_EQ(Poll(200, 500), 1);
    ASSERT_EQ(drv.ChkDb(&item), 1);
    ASSERT_EQ(Poll(260, 520), 1);
    EXPECT_EQ(drv.DataVal(3), 0) << "after ChkDb";
    EXPECT_EQ(drv.DataVal(4), 0);

    drv.DataUpd(0, nullptr, nullptr, -1, nullptr);  // state 2
    EXPECT_EQ(drv.DataVal(1), 0) << "a fault clears the current readings";
    EXPECT_EQ(drv.DataVal(2), 0);
    ASSERT_EQ(Poll(300, 560), 1);
    EXPECT_EQ(drv.DataVal(3), 0) << "after a fault state";
    EXPECT_EQ(drv.DataVal(4), 0);

    // Forced alarm over a failed poll is state 1: the previous values stay.
    drv.DataUpd(1, nullptr, nullptr, -1, nullptr);
    ASSERT_EQ(Poll(320, 565), 1);
    EXPECT_EQ(drv.DataVal(3), 20);
    EXPECT_EQ(drv.DataVal(4), 5);

    // The fault of another SID leaves this one alone.
    drv.DataUpd(0, nullptr, nullptr, 99, nullptr);
    ASSERT_EQ(Poll(330, 565), 1);
    EXPECT_EQ(drv.DataVal(3), 10);
}

TEST_F(EnvirExTest, DataUpdStatementsSummaryAndHistory)
{
    TestDb hist;
    drv.SetDb(&hist, 1);
    ChkDb();
    hist.Clear();
    ASSERT_EQ(Poll(235, 450), 1);
    ASSERT_EQ(Poll(250, 440), 1);
    int alm[1] = {4 | 2};  // TemRate, Hum
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, &hist), 1);
    const char* brief = "温度:25.0 (正常), 湿度:44.0 (告警), 温度变化率:1.5 (告警), 湿度变化率:1.0 (正常)";
    std::vector<std::string> want = {
        Sql(kSubSys, 1, 11, 1293),
        Sql(kUpdEx, 1, 0, 250, 440, 0, 1, 15, 10, 1, 0, 11),
        Sql(kBrief, 1, brief, 11),
    };
    EXPECT_EQ(db.execs, want);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=11"), brief);
    EXPECT_EQ(db.Int("select TemRate from tbEnvirEx where SID=11"), 15);
    EXPECT_EQ(db.Int("select iTemRate from tbEnvirEx where SID=11"), 1);
    ASSERT_EQ(hist.execs.size(), 1u);
    EXPECT_EQ(hist.execs[0], Sql(kHist, 11, 1, 0, 250, 440, 0, 1, 15, 10, 1, 0));
    EXPECT_EQ(hist.Int("select HumRate from tbEnvirEx where SID=11"), 10);

    alm[0] = 8;  // HumRate alone raises the state too
    db.Clear();
    drv.DataUpd(0, alm, nullptr, -1, nullptr);
    EXPECT_EQ(db.execs.at(0), Sql(kSubSys, 1, 11, 1293));

    db.Clear();
    int snap = 4;
    EXPECT_EQ(drv.DataUpd(17, nullptr, &snap, -1, nullptr), 1);
    EXPECT_EQ(db.execs.at(1), Sql(kUpdEx, 1, 0, 0, 0, 2, 2, 0, 0, 2, 2, 11));
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=11"),
              "温度:0.0 (故障), 湿度:0.0 (故障), 温度变化率:0.0 (故障), 湿度变化率:0.0 (故障)");

    hist.failExec = true;
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, &hist), 0);
    db.failExec = true;
    db.failText = "tbEnvirEx";
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, nullptr), 0);
    db.failText = "tbSMBrief";
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, nullptr), 1);
}

TEST_F(EnvirExTest, VarEvalOffersNoRates)
{
    ASSERT_EQ(Poll(235, 451), 1);
    char var[32] = ".湿度";
    EXPECT_EQ(drv.VarEval(var), 4);
    EXPECT_STREQ(var, "45.1");
    std::strcpy(var, ".Tem");
    EXPECT_EQ(drv.VarEval(var), 4);
    EXPECT_STREQ(var, "23.5");
    std::strcpy(var, ".TemRate");
    EXPECT_EQ(drv.VarEval(var), -1);
    EXPECT_STREQ(var, ".TemRate");
}

}  // namespace
