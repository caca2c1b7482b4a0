// The temperature and humidity probe on Modbus RTU (1280): rows, poll, storage, variables.
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
const char kUpdEnvir[] =
    "update tbEnvir set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d,SnapID=%d,Tem=%d,Hum=%d,iTem=%d,"
    "iHum=%d where sid=%d";
const char kBrief[] = "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),St=%d,Brief='%s,%s' where sid=%d";
const char kHist[] =
    "insert into tbEnvir(SID,DateUpd,State,SnapID,Tem,Hum,iTem,iHum) values(%d,datetime(CURRENT_TIMESTAMP,'localtime'),"
    "%d,%d,%d,%d,%d,%d)";

// Exposes the failure count of the base.
class Probe : public CSMEnvir {
public:
    int& FailCount() { return m_nFailCount; }
};

class EnvirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        drv.SetDb(&db, 0);
        drv.DoItem(&item, 0);
    }
    // A read reply carrying the two registers a, b (in reply order).
    void Reply(unsigned short a, unsigned short b, unsigned char func = 3)
    {
        port.ReplyRtu({0x01, func, 0x04, static_cast<unsigned char>(a >> 8), static_cast<unsigned char>(a & 0xFF),
                       static_cast<unsigned char>(b >> 8), static_cast<unsigned char>(b & 0xFF)});
    }
    // Polls with Tem 235 and Hum 450 (Variant 2: Tem first).
    void GoodPoll()
    {
        item.Variant = 2;
        Reply(235, 450);
        ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
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
    Probe drv;
    tagSMItem item = MakeItem(7, 1280, 1, 0, &port);
};

TEST_F(EnvirTest, IdentityAndDataBlock)
{
    EXPECT_EQ(drv.GetType(), 1280);
    EXPECT_STREQ(drv.GetNote(), "QV-TH485");
    EXPECT_EQ(drv.DataSize(), 4);
    GoodPoll();
    const unsigned char* b = static_cast<const unsigned char*>(drv.Data());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ToHex(Bytes(b, b + 4)), "00 EB 01 C2") << "Tem then Hum, big-endian";
    EXPECT_EQ(drv.DataVal(1), 235);
    EXPECT_EQ(drv.DataVal(2), 450);
    EXPECT_EQ(drv.DataVal(0), -1);
    EXPECT_EQ(drv.DataVal(3), -1);
    EXPECT_EQ(drv.DataVal(4), -1);
}

TEST_F(EnvirTest, RegDbWritesTheTypeAndPointRowsOnce)
{
    EXPECT_EQ(drv.RegDb(&db, 0), 0);
    std::vector<std::string> want = {
        "insert into tbSMType values(1280,1280,'温湿度 QV-TH485','485接口,量程...')",
        "insert into tbSMDef values(1280,0,1,'Tem',1,'温度值',0,10,6,300,'最小值|允许最低温度,低于此值告警',380,"
        "'最大值|允许最高温度,超过此值告警',0,NULL)",
        "insert into tbSMDef values(1280,0,2,'Hum',1,'湿度值',0,10,6,350,'最小值|允许最低湿度,低于此值告警',780,"
        "'最大值|允许最高湿度,超过此值告警',0,NULL)",
    };
    EXPECT_EQ(db.execs, want);
    EXPECT_EQ(db.Str("select Note from tbSMDef where Type=1280 and Fld=2"), "湿度值");
    EXPECT_EQ(db.Int("select vref2 from tbSMDef where Type=1280 and Fld=1"), 380);

    db.Clear();
    EXPECT_EQ(drv.RegDb(&db, 0), 0);
    EXPECT_TRUE(db.execs.empty()) << "rows present and not forced: nothing written";

    db.Clear();
    EXPECT_EQ(drv.RegDb(&db, 1), 0);
    ASSERT_EQ(db.execs.size(), 3u);
    EXPECT_EQ(db.execs[0], "delete from tbSMDef where Type=1280");
    EXPECT_EQ(db.execs[1], want[1]);
    EXPECT_EQ(db.execs[2], want[2]);
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=1280"), 2);
    EXPECT_EQ(db.Int("select count(*) from tbSMType where Type=1280"), 1);

    db.failExec = true;
    db.failText = "Hum";
    EXPECT_NE(drv.RegDb(&db, 1), 0) << "the result is that of the last insert";
}

TEST_F(EnvirTest, ChkDbCreatesTheTableInBothDatabasesAndTheDeviceRow)
{
    CSMEnvir fresh;
    EXPECT_EQ(fresh.ChkDb(&item), 0) << "no database";

    TestDb db2;
    drv.SetDb(&db2, 1);
    const std::string create =
        "create table tbEnvir(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,Addr INTEGER,DateUpd "
        "DATETIME,State INTEGER,SnapID INTEGER,Tem INTEGER,Hum INTEGER,iTem INTEGER,iHum INTEGER)";
    EXPECT_EQ(drv.ChkDb(&item), 1);
    ASSERT_GE(db.execs.size(), 1u);
    EXPECT_EQ(db.execs[0], create);
    ASSERT_EQ(db2.execs.size(), 1u);
    EXPECT_EQ(db2.execs[0], create);
    EXPECT_EQ(db.Int("select State from tbEnvir where SID=7"), -1);
    EXPECT_EQ(db.Int("select count(*) from tbSMBrief where SID=7"), 1);

    db.Clear();
    db2.Clear();
    item.Addr = 9;
    EXPECT_EQ(drv.ChkDb(&item), 1);
    EXPECT_EQ(db.CountExecs("create table"), 0);
    EXPECT_EQ(db2.CountExecs("create table"), 0);
    EXPECT_EQ(db.Int("select count(*) from tbEnvir"), 1);
    EXPECT_EQ(db.Int("select Addr from tbEnvir where SID=7"), 9);

    EXPECT_EQ(drv.ChkDb(nullptr), 1);
    CSMEnvir other;
    TestDb bad;
    bad.failExec = true;
    other.SetDb(&bad, 0);
    EXPECT_EQ(other.ChkDb(nullptr), 0) << "the create statement failed";
}

struct VariantCase {
    int variant;
    const char* request;  // to address 1
    bool humFirst;
};

TEST_F(EnvirTest, EveryVariantsRequestAndRegisterOrder)
{
    const VariantCase cases[] = {
        {0, "01 03 00 00 00 02 C4 0B", true},  {1, "01 04 00 00 00 02 71 CB", false},
        {2, "01 03 00 00 00 02 C4 0B", false}, {3, "01 04 00 00 00 02 71 CB", true},
        {4, "01 03 00 01 00 02 95 CB", false}, {5, "01 03 00 00 00 02 C4 0B", false},
        {-1, "01 03 00 00 00 02 C4 0B", false},
    };
    for (const VariantCase& c : cases) {
        SCOPED_TRACE(c.variant);
        item.Variant = c.variant;
        port.writes.clear();
        Reply(111, 222);
        ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
        ASSERT_EQ(port.writes.size(), 1u);
        EXPECT_EQ(ToHex(port.writes[0]), c.request);
        EXPECT_EQ(drv.DataVal(1), c.humFirst ? 222 : 111);
        EXPECT_EQ(drv.DataVal(2), c.humFirst ? 111 : 222);
    }
}

TEST_F(EnvirTest, AddressIsTheLowByteAndTheReplyIsReadOnceWithItsLength)
{
    item.Variant = 2;
    Reply(1, 2);
    ASSERT_EQ(drv.DataGet(&port, 0x105, 0), 1);
    EXPECT_EQ(ToHex(port.writes[0]), "05 03 00 00 00 02 C5 8F");
    EXPECT_EQ(port.purges, 1);
    ASSERT_EQ(port.readCaps.size(), 1u);
    EXPECT_EQ(port.readCaps[0], 9);
    EXPECT_EQ(port.readTimeouts[0], 0);
}

TEST_F(EnvirTest, ReplyPause)
{
    const int waits[][2] = {{0, 100000}, {100, 100000}, {101, 101000}, {500, 500000}};
    for (const auto& w : waits) {
        FakeClock::Sleeps().clear();
        Reply(1, 2);
        ASSERT_EQ(drv.DataGet(&port, 1, w[0]), 1);
        ASSERT_EQ(FakeClock::Sleeps().size(), 1u);
        EXPECT_EQ(FakeClock::Sleeps()[0], static_cast<unsigned long>(w[1])) << w[0];
    }
}

TEST_F(EnvirTest, BadRepliesFailAndKeepThePreviousValues)
{
    GoodPoll();
    // One data bit flipped after the CRC was computed.
    Reply(16, 32);
    port.replies.back()[4] ^= 0x01;
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    // Short reply: 8 of 9 bytes.
    Reply(16, 32);
    port.readLimit = 8;
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    port.readLimit = -1;
    // Nothing at all.
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(drv.DataVal(1), 235);
    EXPECT_EQ(drv.DataVal(2), 450);
    const unsigned char* b = static_cast<const unsigned char*>(drv.Data());
    EXPECT_EQ(ToHex(Bytes(b, b + 4)), "00 EB 01 C2");
}

TEST_F(EnvirTest, ClosedMissingPortAndShortWriteSendNothingOrReadNothing)
{
    port.open = false;
    Reply(1, 2);
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.purges, 0);
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(port.reads, 0);
    EXPECT_EQ(drv.DataGet(nullptr, 1, 0), 0);

    port.open = true;
    port.shortWriteBy = 1;
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.reads, 0);
    EXPECT_TRUE(FakeClock::Sleeps().empty());
}

TEST_F(EnvirTest, DataUpdWritesTheExactStatementsRowsAndSummary)
{
    ChkDb();
    GoodPoll();
    drv.FailCount() = 3;
    int alm[1] = {0};
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, nullptr), 1);
    std::vector<std::string> want = {
        Sql(kSubSys, 0, 7, 1280),
        Sql(kUpdEnvir, 0, 0, 235, 450, 0, 0, 7),
        Sql(kBrief, 0, "温度:23.5 (正常)", "湿度:45.0 (正常)", 7),
    };
    EXPECT_EQ(db.execs, want);
    EXPECT_EQ(drv.FailCount(), 0);
    EXPECT_EQ(db.Int("select Tem from tbEnvir where SID=7"), 235);
    EXPECT_EQ(db.Int("select Hum from tbEnvir where SID=7"), 450);
    EXPECT_EQ(db.Int("select State from tbEnvir where SID=7"), 0);
    EXPECT_EQ(db.Int("select St from tbSMBrief where SID=7"), 0);
    const std::string brief = db.Str("select Brief from tbSMBrief where SID=7");
    EXPECT_EQ(brief, "温度:23.5 (正常),湿度:45.0 (正常)");
    EXPECT_EQ(GbkToUtf8(brief), "\xE6\xB8\xA9\xE5\xBA\xA6:23.5 (\xE6\xAD\xA3\xE5\xB8\xB8),"
                                "\xE6\xB9\xBF\xE5\xBA\xA6:45.0 (\xE6\xAD\xA3\xE5\xB8\xB8)")
        << "stored as GBK";
    EXPECT_EQ(brief.size(), 33u);
}

TEST_F(EnvirTest, AlarmBitsFlagsSidAndSnapId)
{
    ChkDb();
    GoodPoll();
    int alm[1] = {2};  // Hum
    int snap = 55;
    EXPECT_EQ(drv.DataUpd(16, alm, &snap, 9, nullptr), 1);
    ASSERT_EQ(db.execs.size(), 3u);
    EXPECT_EQ(db.execs[0], Sql(kSubSys, 1, 9, 1280));
    EXPECT_EQ(db.execs[1], Sql(kUpdEnvir, 1, 0, 235, 450, 0, 1, 9)) << "SnapID stays 0";
    EXPECT_EQ(db.execs[2], Sql(kBrief, 1, "温度:23.5 (正常)", "湿度:45.0 (告警)", 9));

    db.Clear();
    alm[0] = 1 | 4;  // Tem, and a bit of no point of this driver
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.execs[1], Sql(kUpdEnvir, 1, 0, 235, 450, 1, 0, 7));

    db.Clear();
    alm[0] = 4;  // no point of this driver
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.execs[1], Sql(kUpdEnvir, 0, 0, 235, 450, 0, 0, 7));

    db.Clear();
    alm[0] = 0;
    EXPECT_EQ(drv.DataUpd(1, alm, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.execs[1], Sql(kUpdEnvir, 1, 0, 235, 450, 0, 0, 7)) << "flags bit 0 forces the alarm state";
}

TEST_F(EnvirTest, FailedPollWritesFaultAndZeros)
{
    ChkDb();
    GoodPoll();
    EXPECT_EQ(drv.DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    ASSERT_EQ(db.execs.size(), 3u);
    EXPECT_EQ(db.execs[0], Sql(kSubSys, 2, 7, 1280));
    EXPECT_EQ(db.execs[1], Sql(kUpdEnvir, 2, 0, 0, 0, 2, 2, 7));
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=7"), "温度:0.0 (故障),湿度:0.0 (故障)");
    EXPECT_EQ(drv.DataVal(1), 235) << "the driver's own values stay";

    db.Clear();
    EXPECT_EQ(drv.DataUpd(1, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.execs[1], Sql(kUpdEnvir, 1, 0, 0, 0, 2, 2, 7)) << "flags bit 0: state 1, flags 2, zero values";
    EXPECT_EQ(db.execs[2], Sql(kBrief, 1, "温度:0.0 (故障)", "湿度:0.0 (故障)", 7));
}

TEST_F(EnvirTest, NegativeTemperatureIsReadUnsigned)
{
    ChkDb();
    item.Variant = 2;
    Reply(65436, 450);  // -10.0 sent as two's complement
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(drv.DataVal(1), 65436);
    int alm[1] = {0};
    drv.DataUpd(0, alm, nullptr, -1, nullptr);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=7"), "温度:6543.6 (正常),湿度:45.0 (正常)");
    char var[16] = ".Tem";
    EXPECT_EQ(drv.VarEval(var), 6);
    EXPECT_STREQ(var, "6543.6");
}

TEST_F(EnvirTest, HistoryRowGoesToTheHistoryDatabase)
{
    TestDb hist;
    drv.SetDb(&hist, 1);
    ChkDb();
    hist.Clear();
    GoodPoll();
    int alm[1] = {1};
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, &hist), 1);
    ASSERT_EQ(hist.execs.size(), 1u);
    EXPECT_EQ(hist.execs[0], Sql(kHist, 7, 1, 0, 235, 450, 1, 0));
    EXPECT_EQ(hist.Int("select count(*) from tbEnvir where SID=7"), 1);
    EXPECT_EQ(hist.Int("select Tem from tbEnvir where SID=7"), 235);
    EXPECT_EQ(hist.Int("select iTem from tbEnvir where SID=7"), 1);
    EXPECT_EQ(db.CountExecs("insert into tbEnvir("), 0) << "no history row in the live database";
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, &hist), 1);
    EXPECT_EQ(hist.Int("select count(*) from tbEnvir where SID=7"), 2);
}

TEST_F(EnvirTest, ResultIsTheHistoryInsertElseTheFamilyUpdate)
{
    ChkDb();
    GoodPoll();
    int alm[1] = {0};
    TestDb hist;
    hist.Run("create table tbEnvir(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,Addr INTEGER,"
             "DateUpd DATETIME,State INTEGER,SnapID INTEGER,Tem INTEGER,Hum INTEGER,iTem INTEGER,iHum INTEGER)");

    db.failExec = true;
    db.failText = "update tbEnvir";
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, nullptr), 0);
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, &hist), 1) << "history insert decides";

    db.failText = "tbSMBrief";
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, nullptr), 1);
    db.failText = "tbSubSysDetail";
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, nullptr), 1);
    db.failExec = false;

    hist.failExec = true;
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, &hist), 0);
    EXPECT_EQ(db.CountExecs("update tbSMBrief"), 5) << "a failing statement does not stop the others";

    CSMEnvir noDb;
    noDb.DoItem(&item, 0);
    EXPECT_EQ(noDb.DataUpd(0, alm, nullptr, -1, nullptr), 1) << "no live database: nothing to fail";
}

TEST_F(EnvirTest, VarEval)
{
    GoodPoll();
    char var[32] = ".Tem";
    EXPECT_EQ(drv.VarEval(var), 4);
    EXPECT_STREQ(var, "23.5");
    std::strcpy(var, ".温度");
    EXPECT_EQ(drv.VarEval(var), 4);
    EXPECT_STREQ(var, "23.5");
    std::strcpy(var, ".Hum");
    EXPECT_EQ(drv.VarEval(var), 4);
    EXPECT_STREQ(var, "45.0");
    std::strcpy(var, ".湿度");
    EXPECT_EQ(drv.VarEval(var), 4);
    EXPECT_STREQ(var, "45.0");
    for (const char* name : {".tem", "Tem", ".TemRate", ".Locate", ""}) {
        std::strcpy(var, name);
        EXPECT_EQ(drv.VarEval(var), -1) << name;
        EXPECT_STREQ(var, name) << "left unchanged";
    }
    EXPECT_EQ(drv.VarEval(nullptr), -1);
}

TEST_F(EnvirTest, ServesAnUnlistedCodeUnderTheDevicesOwnType)
{
    // 1290 has no driver of its own: the shared probe driver (1280) serves it.
    CSMEnvir d;
    d.SetDb(&db, 0);
    tagSMItem it = MakeItem(3, 1290, 2, 0, &port);
    d.DoItem(&it, 0);
    d.ChkDb(&it);
    db.Clear();
    Reply(235, 450);
    ASSERT_EQ(d.DataGet(&port, 2, 0), 1);
    int alm[1] = {0};
    d.DataUpd(0, alm, nullptr, -1, nullptr);
    EXPECT_EQ(db.execs[0], Sql(kSubSys, 0, 3, 1290)) << "the device's own type code";
    EXPECT_EQ(db.Int("select Type from tbEnvir where SID=3"), 1290);
}

}  // namespace
