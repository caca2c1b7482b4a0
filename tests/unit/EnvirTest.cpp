// The two temperature and humidity probes: 1280 on Modbus RTU and 1293 in its own frames
// with rates of change. Rows, poll, storage, variables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "drivers/envir/EnvirModels.h"
#include "tests/kit/Kit.h"

namespace {

using Strings = std::vector<std::string>;

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
const char kUpdEx[] =
    "update tbEnvirEx set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d,SnapID=%d,Tem=%d,Hum=%d,iTem=%d,"
    "iHum=%d,TemRate=%d,HumRate=%d,iTemRate=%d,iHumRate=%d where sid=%d";
const char kBrief[] = "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),St=%d,Brief='%s' where sid=%d";
const char kHistEnvir[] =
    "insert into tbEnvir(SID,DateUpd,State,SnapID,Tem,Hum,iTem,iHum) values(%d,datetime(CURRENT_TIMESTAMP,'localtime'),"
    "%d,%d,%d,%d,%d,%d)";
const char kHistEx[] =
    "insert into tbEnvirEx(SID,DateUpd,State,SnapID,Tem,Hum,iTem,iHum,TemRate,HumRate,iTemRate,iHumRate) "
    "values(%d,datetime(CURRENT_TIMESTAMP,'localtime'),%d,%d,%d,%d,%d,%d,%d,%d,%d,%d)";

unsigned char Lo(int v) { return static_cast<unsigned char>(v & 0xFF); }
unsigned char Hi(int v) { return static_cast<unsigned char>((v >> 8) & 0xFF); }

// The bytes plus the low byte of their sum, as the framed probe ends its replies.
Bytes WithSum(Bytes b)
{
    unsigned sum = 0;
    for (unsigned char c : b) sum += c;
    b.push_back(static_cast<unsigned char>(sum));
    return b;
}

// Five header bytes, Tem and Hum low byte first, 55, checksum.
Bytes ExReply(int tem, int hum, unsigned char addr = 1)
{
    return WithSum({0xC1, addr, 0x01, 0x04, 0x00, Lo(tem), Hi(tem), Lo(hum), Hi(hum), 0x55});
}

std::string Block(ISMBase& d)
{
    const unsigned char* b = static_cast<const unsigned char*>(d.Data());
    return ToHex(Bytes(b, b + d.DataSize()));
}

class EnvirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        envir.SetDb(&db, 0);
        ex.SetDb(&db, 0);
        envir.DoItem(&item, 0);
        ex.DoItem(&exItem, 0);
    }
    // A Modbus reply with the registers a, b; with the fixture's Variant 2, Tem then Hum.
    Bytes RtuReply(int a, int b, unsigned char addr = 1, unsigned char func = 3)
    {
        ScriptPort p;
        p.ReplyRtu({addr, func, 0x04, Hi(a), Lo(a), Hi(b), Lo(b)});
        return p.replies.back();
    }
    int Poll(int tem, int hum)
    {
        port.Reply(RtuReply(tem, hum));
        return envir.DataGet(&port, 1, 0);
    }
    int PollEx(int tem, int hum)
    {
        port.Reply(ExReply(tem, hum));
        return ex.DataGet(&port, 1, 0);
    }
    void ChkDb()
    {
        ASSERT_EQ(envir.ChkDb(&item), 1);
        ASSERT_EQ(ex.ChkDb(&exItem), 1);
        db.Clear();
    }
    std::string Brief(int sid) { return db.Str("select Brief from tbSMBrief where SID=" + std::to_string(sid)); }

    TempRoot root;
    FakeClock clock;
    TestDb db;
    ScriptPort port;
    CSMEnvir envir;
    CSMEnvirEx ex;
    tagSMItem item = MakeItem(7, 1280, 1, 2, &port);
    tagSMItem exItem = MakeItem(11, 1293, 1, 0, &port);
};

TEST_F(EnvirTest, CatalogueRowsAreWrittenOnceUnlessForced)
{
    const Strings want = {
        "insert into tbSMType values(1280,1280,'温湿度 QV-TH485','485接口,量程...')",
        "insert into tbSMDef values(1280,0,1,'Tem',1,'温度值',0,10,6,300,'最小值|允许最低温度,低于此值告警',380,"
        "'最大值|允许最高温度,超过此值告警',0,NULL)",
        "insert into tbSMDef values(1280,0,2,'Hum',1,'湿度值',0,10,6,350,'最小值|允许最低湿度,低于此值告警',780,"
        "'最大值|允许最高湿度,超过此值告警',0,NULL)",
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
    EXPECT_EQ(envir.RegDb(&db, 0), 0);
    EXPECT_EQ(ex.RegDb(&db, 0), 0);
    EXPECT_EQ(db.execs, want);
    EXPECT_EQ(db.Int("select vref2 from tbSMDef where Type=1280 and Fld=1"), 380);

    db.Clear();
    EXPECT_EQ(envir.RegDb(&db, 0), 0);
    EXPECT_TRUE(db.execs.empty()) << "rows present and not forced: nothing written";
    EXPECT_EQ(envir.RegDb(&db, 1), 0);
    EXPECT_EQ(db.execs, (Strings{"delete from tbSMDef where Type=1280", want[1], want[2]}));
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=1280"), 2);
    EXPECT_EQ(db.Int("select count(*) from tbSMType where Type=1280"), 1);

    db.failExec = true;
    db.failText = "'Hum'";
    EXPECT_NE(envir.RegDb(&db, 1), 0) << "the result is that of the last insert";
}

TEST_F(EnvirTest, FamilyTablesInBothDatabases)
{
    CSMEnvir noDb;
    EXPECT_EQ(noDb.ChkDb(&item), 0);

    TestDb db2;
    envir.SetDb(&db2, 1);
    ex.SetDb(&db2, 1);
    const char head[] =
        "create table %s(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,Addr INTEGER,DateUpd "
        "DATETIME,State INTEGER,SnapID INTEGER,Tem INTEGER,Hum INTEGER,iTem INTEGER,iHum INTEGER%s)";
    EXPECT_EQ(envir.ChkDb(&item), 1);
    EXPECT_EQ(ex.ChkDb(&exItem), 1);
    for (TestDb* d : {&db, &db2}) {
        EXPECT_EQ(std::count(d->calls.begin(), d->calls.end(), "TableExists tbEnvir"), 1) << "asked once";
        EXPECT_EQ(d->CountExecs(Sql(head, "tbEnvir", "")), 1);
        EXPECT_EQ(d->CountExecs(Sql(head, "tbEnvirEx", ",TemRate INTEGER,HumRate INTEGER,iTemRate INTEGER,iHumRate INTEGER")), 1);
    }
    EXPECT_EQ(db.Int("select State from tbEnvir where SID=7"), -1);
    EXPECT_EQ(db.Int("select State from tbEnvirEx where SID=11"), -1);
    db.Clear();
    EXPECT_EQ(envir.ChkDb(nullptr), 1);
    EXPECT_EQ(db.CountExecs("create table"), 0) << "only missing tables are created";
}

TEST_F(EnvirTest, EveryVariantsRequestRegisterOrderAndReplyPause)
{
    const struct {
        int variant, addr, waitMs;
        const char* request;
        bool humFirst;
        unsigned long pauseUs;  // waitMs from 101, else 100 ms
    } cases[] = {
        {0, 1, 0, "01 03 00 00 00 02 C4 0B", true, 100000},    {1, 1, 100, "01 04 00 00 00 02 71 CB", false, 100000},
        {2, 1, 101, "01 03 00 00 00 02 C4 0B", false, 101000}, {3, 1, 500, "01 04 00 00 00 02 71 CB", true, 500000},
        {4, 1, 0, "01 03 00 01 00 02 95 CB", false, 100000},   {5, 1, 0, "01 03 00 00 00 02 C4 0B", false, 100000},
        {-1, 1, 0, "01 03 00 00 00 02 C4 0B", false, 100000},
        {2, 0x105, 0, "05 03 00 00 00 02 C5 8F", false, 100000},  // the low byte
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variant);
        item.Variant = c.variant;
        FakeClock::Sleeps().clear();
        const Bytes rq = HexBytes(c.request);
        port.Reply(RtuReply(111, 222, rq[0], rq[1]));
        ASSERT_EQ(envir.DataGet(&port, c.addr, c.waitMs), 1);
        EXPECT_EQ(ToHex(port.LastWrite()), c.request);
        EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{c.pauseUs});
        EXPECT_EQ(port.readCaps.back(), 9);
        EXPECT_EQ(port.readTimeouts.back(), 0);
        EXPECT_EQ(envir.DataVal(1), c.humFirst ? 222 : 111);
        EXPECT_EQ(envir.DataVal(2), c.humFirst ? 111 : 222);
    }
    EXPECT_EQ(port.purges, 8);
    EXPECT_EQ(envir.DataVal(0), -1);
    EXPECT_EQ(envir.DataVal(3), -1);
}

TEST_F(EnvirTest, BadRepliesAndClosedPortsFailAndKeepThePreviousValues)
{
    ScriptPort p8;
    p8.ReplyRtu({0x01, 0x03, 0x04, 0x00, 0x10, 0x00});  // its CRC is right, but 8 of 9 bytes
    const struct {
        ISMBase* d;
        Bytes good;
        Bytes shortButSound;
    } devs[] = {
        {&envir, RtuReply(235, 450), p8.replies.back()},
        {&ex, ExReply(235, 450), WithSum({0xC1, 0x01, 0x01, 0x04, 0x00, 0x01, 0x00})},  // no Hum
    };
    for (const auto& v : devs) {
        SCOPED_TRACE(v.d->GetType());
        ScriptPort p;
        p.Reply(v.good);
        ASSERT_EQ(v.d->DataGet(&p, 1, 0), 1);
        Bytes flipped = v.good;
        flipped[5] ^= 0x01;  // a value bit changed after the check was computed
        for (const Bytes& bad : {flipped, v.shortButSound, Bytes()}) {
            p.Reply(bad);
            EXPECT_EQ(v.d->DataGet(&p, 1, 0), 0) << ToHex(bad);
        }
        EXPECT_EQ(v.d->DataVal(1), 235);
        EXPECT_EQ(v.d->DataVal(2), 450);
        EXPECT_EQ(Block(*v.d), "00 EB 01 C2") << "Tem then Hum, big-endian";

        ScriptPort closed;
        closed.open = false;
        closed.Reply(v.good);
        EXPECT_EQ(v.d->DataGet(&closed, 1, 0), 0);
        EXPECT_EQ(closed.purges + closed.reads + static_cast<int>(closed.writes.size()), 0) << "nothing sent";
        EXPECT_EQ(v.d->DataGet(nullptr, 1, 0), 0);
        ScriptPort shortWrite;
        shortWrite.shortWriteBy = 1;
        shortWrite.Reply(v.good);
        EXPECT_EQ(v.d->DataGet(&shortWrite, 1, 0), 0);
        EXPECT_EQ(shortWrite.reads, 0);
    }
}

TEST_F(EnvirTest, StoresAPollWithTheExactStatementsSummaryAndHistoryRow)
{
    TestDb hist;
    envir.SetDb(&hist, 1);
    ex.SetDb(&hist, 1);
    ChkDb();
    hist.Clear();
    ASSERT_EQ(Poll(235, 450), 1);
    int alm[1] = {0};
    EXPECT_EQ(envir.DataUpd(0, alm, nullptr, -1, &hist), 1);
    EXPECT_EQ(db.execs, (Strings{Sql(kSubSys, 0, 7, 1280), Sql(kUpdEnvir, 0, 0, 235, 450, 0, 0, 7),
                                 Sql(kBrief, 0, "温度:23.5 (正常),湿度:45.0 (正常)", 7)}));
    EXPECT_EQ(hist.execs, Strings{Sql(kHistEnvir, 7, 0, 0, 235, 450, 0, 0)});
    EXPECT_EQ(GbkToUtf8(Brief(7)), "\xE6\xB8\xA9\xE5\xBA\xA6:23.5 (\xE6\xAD\xA3\xE5\xB8\xB8),"
                                   "\xE6\xB9\xBF\xE5\xBA\xA6:45.0 (\xE6\xAD\xA3\xE5\xB8\xB8)")
        << "stored as GBK";
    EXPECT_EQ(db.Int("select count(*) from tbEnvir where SID=7 and Tem=235 and Hum=450 and State=0"), 1);
    EXPECT_EQ(hist.Int("select count(*) from tbEnvir where SID=7 and Tem=235"), 1);

    db.Clear();
    hist.Clear();
    ASSERT_EQ(PollEx(235, 450), 1);
    ASSERT_EQ(PollEx(250, 440), 1);
    alm[0] = 4 | 2;  // TemRate, Hum
    EXPECT_EQ(ex.DataUpd(0, alm, nullptr, -1, &hist), 1);
    const char* brief = "温度:25.0 (正常), 湿度:44.0 (告警), 温度变化率:1.5 (告警), 湿度变化率:1.0 (正常)";
    EXPECT_EQ(db.execs, (Strings{Sql(kSubSys, 1, 11, 1293), Sql(kUpdEx, 1, 0, 250, 440, 0, 1, 15, 10, 1, 0, 11),
                                 Sql(kBrief, 1, brief, 11)}));
    EXPECT_EQ(hist.execs, Strings{Sql(kHistEx, 11, 1, 0, 250, 440, 0, 1, 15, 10, 1, 0)});
    EXPECT_EQ(Brief(11), brief);
    EXPECT_EQ(hist.Int("select HumRate from tbEnvirEx where SID=11"), 10);
}

TEST_F(EnvirTest, StateFromAlarmBitsFlagsAndFailedPolls)
{
    ChkDb();
    ASSERT_EQ(Poll(235, 450), 1);
    const int kFailed = -1;  // no alarm bits: the poll failed
    const char* fault = "温度:0.0 (故障),湿度:0.0 (故障)";
    const struct {
        int flags, alm, sid, state, tem, hum, iTem, iHum;
        const char* brief;
    } cases[] = {
        {16, 2, 9, 1, 235, 450, 0, 1, "温度:23.5 (正常),湿度:45.0 (告警)"},  // SnapID stays 0
        {0, 1 | 4, -1, 1, 235, 450, 1, 0, nullptr},
        {0, 4, -1, 0, 235, 450, 0, 0, nullptr},  // a bit of no point of this driver
        {1, 0, -1, 1, 235, 450, 0, 0, nullptr},  // flags bit 0 forces the alarm state
        {0, kFailed, -1, 2, 0, 0, 2, 2, fault},
        {1, kFailed, -1, 1, 0, 0, 2, 2, fault},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flags << "/" << c.alm);
        db.Clear();
        int alm[1] = {c.alm};
        int snap = 55;
        EXPECT_EQ(envir.DataUpd(c.flags, c.alm == kFailed ? nullptr : alm, &snap, c.sid, nullptr), 1);
        const int sid = c.sid < 0 ? 7 : c.sid;
        ASSERT_EQ(db.execs.size(), 3u);
        EXPECT_EQ(db.execs[0], Sql(kSubSys, c.state, sid, 1280));
        EXPECT_EQ(db.execs[1], Sql(kUpdEnvir, c.state, 0, c.tem, c.hum, c.iTem, c.iHum, sid));
        if (c.brief) {
            EXPECT_EQ(db.execs[2], Sql(kBrief, c.state, c.brief, sid));
        }
    }
    EXPECT_EQ(envir.DataVal(1), 235) << "the driver's own values stay";
}

TEST_F(EnvirTest, ResultIsTheHistoryInsertElseTheFamilyUpdate)
{
    TestDb hist;
    envir.SetDb(&hist, 1);
    ChkDb();
    ASSERT_EQ(Poll(235, 450), 1);
    int alm[1] = {0};
    db.failExec = true;
    db.failText = "update tbEnvir";
    EXPECT_EQ(envir.DataUpd(0, alm, nullptr, -1, nullptr), 0);
    EXPECT_EQ(envir.DataUpd(0, alm, nullptr, -1, &hist), 1) << "the history insert decides";
    db.failText = "tbSMBrief";
    EXPECT_EQ(envir.DataUpd(0, alm, nullptr, -1, nullptr), 1);
    db.failText = "tbSubSysDetail";
    EXPECT_EQ(envir.DataUpd(0, alm, nullptr, -1, nullptr), 1);
    db.failExec = false;
    hist.failExec = true;
    EXPECT_EQ(envir.DataUpd(0, alm, nullptr, -1, &hist), 0);
    EXPECT_EQ(db.CountExecs("update tbSMBrief"), 5) << "a failing statement does not stop the others";

    CSMEnvir noDb;
    noDb.DoItem(&item, 0);
    EXPECT_EQ(noDb.DataUpd(0, alm, nullptr, -1, nullptr), 1) << "no live database: nothing to fail";
}

TEST_F(EnvirTest, AnUnlistedCodeIsStoredUnderTheDevicesOwnType)
{
    tagSMItem other = MakeItem(3, 1290, 2, 2, &port);
    envir.DoItem(&other, 0);
    envir.ChkDb(&other);
    db.Clear();
    ASSERT_EQ(Poll(235, 450), 1);
    int alm[1] = {0};
    envir.DataUpd(0, alm, nullptr, -1, nullptr);
    EXPECT_EQ(db.execs.at(0), Sql(kSubSys, 0, 3, 1290));
    EXPECT_EQ(db.Int("select Type from tbEnvir where SID=3"), 1290);
}

TEST_F(EnvirTest, NegativeTemperatureIsUnsignedOn1280AndSignedOn1293)
{
    ChkDb();
    ASSERT_EQ(Poll(65436, 450), 1);  // -10.0 as two's complement
    ASSERT_EQ(PollEx(-100, 450), 1);
    EXPECT_EQ(envir.DataVal(1), 65436);
    EXPECT_EQ(ex.DataVal(1), -100);
    EXPECT_EQ(Block(ex), "FF 9C 01 C2");
    int alm[1] = {0};
    envir.DataUpd(0, alm, nullptr, -1, nullptr);
    ex.DataUpd(0, alm, nullptr, -1, nullptr);
    EXPECT_EQ(Brief(7), "温度:6543.6 (正常),湿度:45.0 (正常)");
    EXPECT_EQ(Brief(11), "温度:-10.0 (正常), 湿度:45.0 (正常), 温度变化率:0.0 (正常), 湿度变化率:0.0 (正常)");
    EXPECT_EQ(db.Int("select Tem from tbEnvirEx where SID=11"), -100);
    char var[16] = ".Tem";
    EXPECT_EQ(envir.VarEval(var), 6);
    EXPECT_STREQ(var, "6543.6");
    std::strcpy(var, ".Tem");
    EXPECT_EQ(ex.VarEval(var), 5);
    EXPECT_STREQ(var, "-10.0");
}

TEST_F(EnvirTest, VarEvalGivesTemperatureAndHumidityOnly)
{
    ASSERT_EQ(Poll(235, 450), 1);
    ASSERT_EQ(PollEx(236, 451), 1);
    const struct {
        ISMBase* d;
        const char* var;
        int len;
        const char* text;
    } cases[] = {
        {&envir, ".Tem", 4, "23.5"},   {&envir, ".温度", 4, "23.5"},     {&envir, ".Hum", 4, "45.0"},
        {&envir, ".湿度", 4, "45.0"},  {&ex, ".Tem", 4, "23.6"},         {&ex, ".湿度", 4, "45.1"},
        {&ex, ".TemRate", -1, nullptr}, {&envir, ".tem", -1, nullptr},    {&envir, "Tem", -1, nullptr},
        {&envir, ".Locate", -1, nullptr}, {&envir, "", -1, nullptr},
    };
    for (const auto& c : cases) {
        char var[32];
        std::strcpy(var, c.var);
        EXPECT_EQ(c.d->VarEval(var), c.len) << c.var;
        EXPECT_STREQ(var, c.text ? c.text : c.var) << "unknown names are left unchanged";
    }
    EXPECT_EQ(envir.VarEval(nullptr), -1);
}

TEST_F(EnvirTest, ExFramesPollRequestAndReplyPause)
{
    unsigned char buf[64];
    EXPECT_EQ(ex.CmdPack(buf, 1, 1, 0, nullptr, 0), 7);
    EXPECT_EQ(ToHex(Bytes(buf, buf + 7)), "C1 01 01 00 00 55 18");
    unsigned char data[64] = {0xAA, 0xBB};
    ASSERT_EQ(ex.CmdPack(buf, 2, 5, 0x1234, data, 2), 9);
    EXPECT_EQ(ToHex(Bytes(buf, buf + 9)), "C1 02 05 34 12 AA BB 55 C8");  // sum 0x2C8
    EXPECT_EQ(ex.CmdPack(buf, 2, 5, 0, nullptr, 9), 7) << "no data: no data bytes";
    EXPECT_EQ(ex.CmdPack(buf, 1, 1, 0, data, 57), 64);
    EXPECT_EQ(ex.CmdPack(buf, 1, 1, 0, data, 58), 0) << "longer than the command buffer";
    EXPECT_EQ(ex.CmdPack(nullptr, 1, 1, 0, nullptr, 0), 0);

    port.Reply(ExReply(235, 450, 5));
    ASSERT_EQ(ex.DataGet(&port, 0x205, 100), 1);
    EXPECT_EQ(ToHex(port.LastWrite()), "C1 05 01 00 00 55 1C");
    EXPECT_EQ(port.readCaps.back(), 120);
    EXPECT_EQ(port.readTimeouts.back(), 0);
    port.Reply(ExReply(235, 450));
    ASSERT_EQ(ex.DataGet(&port, 1, 101), 1);
    EXPECT_EQ(FakeClock::Sleeps(), (std::vector<unsigned long>{200000, 101000})) << "waitMs from 101, else 200 ms";
    // Only a reply of the polled address counts; a 9-byte one passes (its sum is Hum's high byte).
    Bytes nine = WithSum({0xC1, 0x01, 0x01, 0x04, 0x00, 0x10, 0x00, 0x20});
    Bytes both = ExReply(111, 222, 2);
    both.insert(both.end(), nine.begin(), nine.end());
    port.Reply(both);
    ASSERT_EQ(ex.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(ex.DataVal(1), 16);
    EXPECT_EQ(ex.DataVal(2), static_cast<short>(0x20 | (nine.back() << 8)));
    port.Reply(ExReply(111, 222, 2));
    EXPECT_EQ(ex.DataGet(&port, 1, 0), 0) << "only another address answered";
    EXPECT_EQ(ex.DataVal(1), 16);
    EXPECT_EQ(ex.DataVal(0), -1);
    EXPECT_EQ(ex.DataVal(5), -1);
}

TEST_F(EnvirTest, ExRatesArePerSidFromTheFirstGoodPoll)
{
    tagSMItem other = MakeItem(12, 1293, 2, 0, &port);
    const struct {
        tagSMItem* it;
        int tem, hum, temRate, humRate;
    } steps[] = {
        {&exItem, 235, 450, 0, 0},    {&exItem, 250, 400, 15, 50},
        {&exItem, -50, 410, 300, 10},  // absolute change across zero
        {&other, 300, 600, 0, 0},      // first reading of SID 12
        {&exItem, -40, 400, 10, 10},  {&other, 330, 580, 30, 20},
    };
    for (const auto& s : steps) {
        ex.DoItem(s.it, 0);
        ASSERT_EQ(PollEx(s.tem, s.hum), 1);
        EXPECT_EQ(ex.DataVal(3), s.temRate) << s.tem;
        EXPECT_EQ(ex.DataVal(4), s.humRate) << s.hum;
    }
    EXPECT_EQ(ex.DataGet(&port, 1, 0), 0);
    ASSERT_EQ(PollEx(330, 580), 1);
    EXPECT_EQ(ex.DataVal(3), 0) << "a failed poll changes nothing";
}

TEST_F(EnvirTest, ExRatesRestartAfterChkDbAndAFault)
{
    ChkDb();
    ASSERT_EQ(PollEx(200, 500), 1);
    ASSERT_EQ(ex.ChkDb(&exItem), 1);
    ASSERT_EQ(PollEx(260, 520), 1);
    EXPECT_EQ(ex.DataVal(3) + ex.DataVal(4), 0) << "after ChkDb";
    CSMEnvirEx noDb;
    noDb.DoItem(&exItem, 0);
    port.Reply(ExReply(200, 500));
    ASSERT_EQ(noDb.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(noDb.ChkDb(&exItem), 0) << "no database";
    port.Reply(ExReply(210, 480));
    ASSERT_EQ(noDb.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(noDb.DataVal(3), 10) << "nothing was checked, nothing reset";

    db.Clear();
    int snap = 4;
    EXPECT_EQ(ex.DataUpd(16, nullptr, &snap, -1, nullptr), 1);
    EXPECT_EQ(db.execs.at(1), Sql(kUpdEx, 2, 0, 0, 0, 2, 2, 0, 0, 2, 2, 11));
    EXPECT_EQ(Brief(11), "温度:0.0 (故障), 湿度:0.0 (故障), 温度变化率:0.0 (故障), 湿度变化率:0.0 (故障)");
    EXPECT_EQ(ex.DataVal(1) + ex.DataVal(2), 0) << "a fault clears the current readings";
    ASSERT_EQ(PollEx(300, 560), 1);
    EXPECT_EQ(ex.DataVal(3) + ex.DataVal(4), 0) << "after a fault state";

    ex.DataUpd(1, nullptr, nullptr, -1, nullptr);  // forced alarm over a failed poll: state 1
    ASSERT_EQ(PollEx(320, 565), 1);
    EXPECT_EQ(ex.DataVal(3), 20);
    EXPECT_EQ(ex.DataVal(4), 5);
    ex.DataUpd(0, nullptr, nullptr, 99, nullptr);  // the fault of another SID
    ASSERT_EQ(PollEx(330, 565), 1);
    EXPECT_EQ(ex.DataVal(3), 10);

    db.Clear();
    int alm[1] = {8};
    ex.DataUpd(0, alm, nullptr, -1, nullptr);
    EXPECT_EQ(db.execs.at(0), Sql(kSubSys, 1, 11, 1293)) << "HumRate's alarm raises the state";
}

}  // namespace
