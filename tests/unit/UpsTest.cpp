// UPS family: the ASCII-protocol UPS (768), the three-phase base with its storage, the six-block
// Modbus UPS (790), the models described by read rows, and the agent address of the SNMP members.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drivers/cyber/SMSnmpCyberPex.h"
#include "drivers/ups/UpsModels.h"
#include "tests/kit/Kit.h"

namespace {

using Strings = std::vector<std::string>;

std::string Sql(const char* fmt, ...)
{
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

const char kUpdUps[] =
    "update tbUps set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d,SnapID=%d,Vin1=%d,Vin2=%d,Vin3=%d,"
    "Fin=%d,Vout=%d,Aout=%d,Fout=%d,Vbatt=%d,Pbatt=%d,Tem=%d,status=%d,b7=%d,b6=%d,b5=%d,b4=%d,b3=%d,b2=%d,b1=%d,"
    "b0=%d,Ved=%d,Aed=%d,Vdc=%d,Fed=%d,v1=%d,company='%s',mode='%s',version='%s' where sid=%d";
const char kHistUps[] =
    "insert into tbUps(SID,DateUpd,State,SnapID,Vin1,Vin2,Vin3,Fin,Vout,Aout,Fout,Vbatt,Pbatt,Tem,status,b7,b6,b5,b4,"
    "b3,b2,b1,b0,Ved,Aed,Vdc,Fed,v1,company,mode,version) values(%d,datetime(CURRENT_TIMESTAMP,'localtime'),%d,%d,%d,"
    "%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,'%s','%s','%s')";
const char kSubSys[] =
    "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d where sid=%d and type=%d";
const char kBrief[] = "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),Brief='%s' where sid=%d";

// The dialogue of one full poll: status, Q2, F, I.
const char kQ1[] = "(230.0 000.0 229.9 012 50.0 2.27 30.5 00001001\r";
const char kQ2[] = "(231.0 232.5 228.0\r";
const char kF[] = "#220.0 004 24.00 50.0\r";

// An identification reply: "#", company (15), blank, model (10), blank, version (10), CR.
std::string IReply(const std::string& company, const std::string& model, const std::string& version)
{
    auto pad = [](std::string s, size_t w) { return s.append(w - s.size(), ' '); };
    return "#" + pad(company, 15) + " " + pad(model, 10) + " " + pad(version, 10) + "\r";
}
const std::string kI = IReply("  ACME UPS", "SMART-1K", "V1.2");  // two leading, five trailing blanks

std::string Written(const ScriptPort& p)
{
    std::string s;
    for (const Bytes& w : p.writes) s += std::string(w.begin(), w.end()) + "|";
    return s;
}

class UpsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ups.SetDb(&db, 0);
        ups.DoItem(&item, 0);
        std::snprintf(item.Name, sizeof item.Name, "UPS-room");
    }
    int Poll(const Strings& replies)
    {
        for (const std::string& r : replies) port.Reply(r);
        return ups.DataGet(&port, 1, 0);
    }
    TempRoot root;
    FakeClock clock;
    TestDb db;
    ScriptPort port;
    CSMUps ups;
    tagSMItem item = MakeItem(21, 768, 1, 0, &port);
};

TEST_F(UpsTest, QueryFormsAndTheStatusReplyExample)
{
    struct Case {
        int variant;
        int param2;
        const char* query;
        int vbatt;
    } cases[] = {
        {0, 0, "Q1\r\n", 227}, {1, 0, "Q6\r\n", 227}, {3, 0, "Q1\r", 227}, {7, 12, "Q1\r\n", 272}, {0, -5, "Q1\r\n", 227},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variant);
        CSMUps d;
        ScriptPort p;
        tagSMItem it = MakeItem(1, 768, 1, c.variant, &p);
        it.Param2 = c.param2;
        d.DoItem(&it, 0);
        p.Reply(std::string(kQ1));
        ASSERT_EQ(d.DataGet(&p, 1, 0), 1);
        EXPECT_EQ(std::string(p.writes.at(0).begin(), p.writes.at(0).end()), c.query);
        EXPECT_EQ(p.purges, static_cast<int>(p.writes.size())) << "a clean line before every query";
        const int want[] = {2300, 0, 0, 500, 2299, 120, 500, 305, 0, 9, 0, 0, 0, 0, 1, 0, 0, 1, c.vbatt};
        for (int f = 1; f <= 19; ++f) EXPECT_EQ(d.DataVal(f), want[f - 1]) << "Fld " << f;
        EXPECT_EQ(d.DataVal(27), 0) << "input fault voltage";
    }
}

TEST_F(UpsTest, BadStatusRepliesFailThePoll)
{
    const char* bad[] = {"230.0 000.0 229.9 012 50.0 2.27 30.5 00001001\r", "(230.0 000.0 229.9 012 50.0 2.27 30.5",
                         "", "#230.0\r"};
    for (const char* r : bad) {
        SCOPED_TRACE(r);
        ScriptPort p;
        p.Reply(std::string(r));
        EXPECT_EQ(ups.DataGet(&p, 1, 0), 0);
        EXPECT_EQ(p.writes.size(), 1u) << "no optional query after a bad status reply";
    }
    ScriptPort closed;
    closed.open = false;
    EXPECT_EQ(ups.DataGet(&closed, 1, 0), 0);
    EXPECT_EQ(ups.DataGet(nullptr, 1, 0), 0);
    EXPECT_TRUE(closed.writes.empty());
}

TEST_F(UpsTest, OptionalQueriesOncePerDriverObjectAndTheirPauses)
{
    ASSERT_EQ(Poll({kQ1, kQ2, kF, kI}), 1);
    EXPECT_EQ(Written(port), "Q1\r\n|Q2\r|F\r|I\r|");
    EXPECT_EQ(ups.DataVal(2), 2325);
    EXPECT_EQ(ups.DataVal(3), 2280);
    const int ratings[] = {2200, 40, 88, 240, 500};  // Ved, Aed, VAed = 4.00 A x 220 V / 10, Vdc, Fed
    for (int k = 0; k < 5; ++k) EXPECT_EQ(ups.DataVal(22 + k), ratings[k]) << "Fld " << 22 + k;
    EXPECT_STREQ(ups.Rec().company, "ACME UPS");
    EXPECT_STREQ(ups.Rec().mode, "SMART-1K");
    EXPECT_STREQ(ups.Rec().version, "V1.2");
    EXPECT_EQ(ups.DataVal(34), 1);
    EXPECT_EQ(ups.DataVal(35), 1);
    // Status wait 150 ms (no waitMs); each optional query: 150 ms after writing, 150 ms wait.
    EXPECT_EQ(FakeClock::TotalUs(), 150000UL * 7);

    // The next poll asks only Q1 and Q2; a Q2 without its three numbers leaves Vin2/Vin3 at 0.
    port.writes.clear();
    ASSERT_EQ(Poll({kQ1, "(231.0 232.5\r"}), 1);
    EXPECT_EQ(Written(port), "Q1\r\n|Q2\r|");
    EXPECT_EQ(ups.DataVal(2), 0);
    EXPECT_EQ(ups.DataVal(22), 2200) << "ratings kept while their flag is set";
    EXPECT_STREQ(ups.Rec().company, "ACME UPS");

    // With waitMs: the wait before each optional query and the reply waits take it.
    FakeClock::Sleeps().clear();
    port.writes.clear();
    port.Reply(std::string(kQ1));
    ASSERT_EQ(ups.DataGet(&port, 1, 40), 1);
    EXPECT_EQ(FakeClock::Sleeps(), (std::vector<unsigned long>{40000, 40000, 150000, 40000}));
}

TEST_F(UpsTest, OptionalRepliesThatDoNotCountAndTheCompanyFallback)
{
    // Short or badly framed F and I replies leave the flags unset; they are asked again.
    ASSERT_EQ(Poll({kQ1, kQ2, "#220.0 004 24.00\r", kI.substr(0, kI.size() - 1)}), 1);
    EXPECT_EQ(ups.DataVal(35), 0);
    EXPECT_EQ(ups.DataVal(34), 0);
    EXPECT_EQ(ups.DataVal(22), 0);
    port.writes.clear();
    ASSERT_EQ(Poll({kQ1, kQ2, kF, IReply("", "SMART-1K", "V1.2")}), 1);
    EXPECT_EQ(Written(port), "Q1\r\n|Q2\r|F\r|I\r|");
    EXPECT_STREQ(ups.Rec().company, "UPS-room") << "blank company: the device's name";

    // A long name is cut to 15 bytes without splitting a double-byte character.
    CSMUps named;
    tagSMItem it = MakeItem(2, 768, 1, 0, &port);
    std::snprintf(it.Name, sizeof it.Name, "%s", "机房一号不间断电源");
    named.DoItem(&it, 0);
    for (const std::string& r : Strings{kQ1, kQ2, kF, IReply("", "X", "V1")}) port.Reply(r);
    ASSERT_EQ(named.DataGet(&port, 1, 0), 1);
    EXPECT_STREQ(named.Rec().company, "机房一号不间断");

    CSMUps none;
    ScriptPort p;
    for (const std::string& r : Strings{kQ1, kQ2, kF, IReply("", "", "V1.2")}) p.Reply(r);
    ASSERT_EQ(none.DataGet(&p, 1, 0), 1);
    EXPECT_STREQ(none.Rec().company, " ");
    EXPECT_STREQ(none.Rec().mode, "");
}

TEST_F(UpsTest, QgsStatusReply)
{
    item.Variant = 2;
    ASSERT_EQ(Poll({"(229.0 50.1 220.0 49.9 1.0 045 0 0 54.40 0 35.0 xx10110011\r"}), 1);
    EXPECT_EQ(std::string(port.writes[0].begin(), port.writes[0].end()), "QGS\r");
    EXPECT_EQ(ups.DataVal(1), 2290);
    EXPECT_EQ(ups.DataVal(4), 501);
    EXPECT_EQ(ups.DataVal(5), 2200);
    EXPECT_EQ(ups.DataVal(7), 499);
    EXPECT_EQ(ups.DataVal(6), 450);
    EXPECT_EQ(ups.DataVal(19), 5440);
    EXPECT_EQ(ups.DataVal(8), 350);
    // Parsing stops after "35.0 "; the flags are the characters 2..9 places further.
    int flags = 0;
    for (int f = 11; f <= 18; ++f) flags = flags * 10 + ups.DataVal(f);
    EXPECT_EQ(flags, 10110011) << "the two characters after the numbers are skipped";
    EXPECT_EQ(ups.DataVal(10), 0xB3);
}

TEST(UpsText, GetValsAndIvalTrim)
{
    const char t[] = "(12.5/7  x 3\r 4";
    int out[8] = {};
    int pos = 1;
    EXPECT_EQ(CSMUps::GetVals(out, t, pos, static_cast<int>(std::strlen(t)), 2), 2);
    EXPECT_EQ(out[0], 1250);
    EXPECT_EQ(out[1], 700);
    EXPECT_EQ(t[pos], ' ') << "just after the blank that ended 7";
    EXPECT_EQ(CSMUps::GetVals(out, t, pos, static_cast<int>(std::strlen(t)), 8), 3);
    EXPECT_EQ(out[0], 0) << "text atof cannot read";
    EXPECT_EQ(out[1], 300);
    EXPECT_EQ(out[2], 400);

    struct {
        const char* src;
        int width;
        const char* want;
    } trims[] = {{"  ACME UPS     ", 15, "ACME UPS"}, {"               ", 15, ""}, {"X", 1, "X"},
                 {"AB  CD", 4, "AB"}, {" Q ", 3, "Q"}};
    for (const auto& c : trims) {
        char dst[32];
        std::memset(dst, '#', sizeof dst);
        EXPECT_EQ(CSMUps::IvalTrim(dst, c.src, c.width), static_cast<int>(std::strlen(c.want))) << c.src;
        EXPECT_STREQ(dst, c.want);
    }
}

TEST_F(UpsTest, ControlsSendOneCommandAndNoReply)
{
    struct {
        int cmd;
        int minutes;
        const char* sent;
        int result;
    } cases[] = {{1, 0, "Q\r", 1},      {8000, 0, "T\r", 1},     {8001, 5, "T05\r", 1}, {8001, 150, "T99\r", 1},
                 {8001, 99, "T99\r", 1}, {8002, 0, "TL\r", 1},   {8003, 0, "CT\r", 1},  {8004, 0, "", 0}};
    for (const auto& c : cases) {
        ScriptPort p;
        int m = c.minutes;
        EXPECT_EQ(ups.DoFunc(&p, 1, c.cmd, &m, sizeof m), c.result) << c.cmd;
        EXPECT_EQ(Written(p), c.sent[0] ? std::string(c.sent) + "|" : "") << c.cmd;
        EXPECT_EQ(p.reads, 0);
    }
    ScriptPort closed;
    closed.open = false;
    EXPECT_EQ(ups.DoFunc(&closed, 1, 8000, nullptr, 0), 0);
}

TEST_F(UpsTest, RegistrationTableAndStoredPoll)
{
    EXPECT_EQ(ups.RegDb(&db, 0), 0);
    EXPECT_EQ(db.execs.at(0), "insert into tbSMType values(768,768,'UPS QV-SANK','UPS山特兼容KR APC...')");
    EXPECT_EQ(db.execs.at(1), "insert into tbSMDef values(768,0,1,'Vin1',1,'输入电压',0,10,6,2000,'最小值|允许最低输入电压,"
                              "低于此值告警',2350,'最大值|允许最高输入电压,超过此值告警',0,NULL)");
    EXPECT_EQ(db.execs.at(12), "insert into tbSMDef values(768,0,16,'b2',1,'b2 UPS测试中',0,1,0,0,'1表示测试中',0,'0',0,NULL)");
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=768"), 16);
    ASSERT_EQ(ups.ChkDb(&item), 1);
    EXPECT_EQ(db.Int("select count(*) from tbUps where SID=21 and State=-1"), 1);
    EXPECT_EQ(db.Int("select count(*) from pragma_table_info('tbUps')"), 53);

    item.Param2 = 12;
    ASSERT_EQ(Poll({kQ1, kQ2, kF, IReply("  O'Neil UPS", "SMART-1K", "V1.2")}), 1);
    db.Clear();
    TestDb hist;
    hist.Run("create table tbUps(DID INTEGER PRIMARY KEY,SID,DateUpd,State,SnapID,Vin1,Vin2,Vin3,Fin,Vout,Aout,Fout,"
             "Pout,Tem,status,b7,b6,b5,b4,b3,b2,b1,b0,Vbatt,Pbatt,Mbatt,Ved,Aed,VAed,Vdc,Fed,v1,company,mode,version)");
    int none[2] = {0, 0};
    int alm[2] = {1 << 10, 0};  // b7
    int snap = 77;
    EXPECT_EQ(ups.DataUpd(16, none, &snap, -1, &hist), 1);
    ASSERT_EQ(db.execs.size(), 3u);
    EXPECT_EQ(db.execs[0], Sql(kSubSys, 0, 21, 768));
    // Tem takes Fld 8; VAed and Mbatt are not stored; the text's quote is doubled.
    EXPECT_EQ(db.execs[1], Sql(kUpdUps, 0, 77, 2300, 2325, 2280, 500, 2299, 120, 500, 272, 0, 305, 9, 0, 0, 0, 0, 1, 0,
                               0, 1, 2200, 40, 240, 500, 0, "O''Neil UPS", "SMART-1K", "V1.2", 21));
    EXPECT_EQ(db.execs[2], Sql(kBrief, "输入电压:230.0V, 输出电压:229.9V, 输出负载:12%", 21));
    EXPECT_EQ(hist.execs.at(0), Sql(kHistUps, 21, 0, 77, 2300, 2325, 2280, 500, 2299, 120, 500, 272, 0, 305, 9, 0, 0,
                                    0, 0, 1, 0, 0, 1, 2200, 40, 240, 500, 0, "O''Neil UPS", "SMART-1K", "V1.2"));
    EXPECT_EQ(db.Str("select company from tbUps where SID=21"), "O'Neil UPS");

    // With registered rows the alarm part follows the summary.
    db.Clear();
    ups.DataUpd(0, alm, nullptr, 9, nullptr);
    EXPECT_EQ(db.execs[0], Sql(kSubSys, 0, 9, 768)) << "alarm bits do not raise the state";
    ups.DataUpd(1, alm, nullptr, 9, nullptr);
    EXPECT_EQ(db.execs[3], Sql(kSubSys, 1, 9, 768)) << "flags bit 0 does";
    EXPECT_EQ(db.execs[2], Sql(kBrief, "输入电压:230.0V, 输出电压:229.9V, 输出负载:12%告警:b7市电异常", 9));
}

TEST_F(UpsTest, FailedPollClearsRatingsAndTextsWhileTheFlagsStay)
{
    ASSERT_EQ(Poll({kQ1, kQ2, kF, kI}), 1);
    ups.DataUpd(0, nullptr, nullptr, -1, nullptr);
    // State 2, SnapID 0, the 25 values all 0, the texts empty.
    EXPECT_EQ(db.execs.at(1), Sql(kUpdUps, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                  0, "", "", "", 21));
    EXPECT_EQ(ups.DataVal(34), 1);
    EXPECT_EQ(ups.DataVal(35), 1);
    port.writes.clear();
    ASSERT_EQ(Poll({kQ1, kQ2}), 1);
    EXPECT_EQ(Written(port), "Q1\r\n|Q2\r|") << "ratings and texts are not asked again";
    EXPECT_EQ(ups.DataVal(22), 0);
    EXPECT_STREQ(ups.Rec().company, "");
    EXPECT_EQ(ups.DataVal(1), 2300);
}

// ---- the three-phase base ------------------------------------------------------------------

const char kUpsExCreate[] =
    "create table tbUpsEx(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,Addr INTEGER,DateUpd DATETIME,"
    "State INTEGER,SnapID INTEGER,Vin1 INTEGER,Vin2 INTEGER,Vin3 INTEGER,Vout1 INTEGER,Vout2 INTEGER,Vout3 INTEGER,"
    "VB1 INTEGER,VB2 INTEGER,VB3 INTEGER,Iin1 INTEGER,Iin2 INTEGER,Iin3 INTEGER,Iout1 INTEGER,Iout2 INTEGER,Iout3 "
    "INTEGER,IB1 INTEGER,IB2 INTEGER,IB3 INTEGER,Fin1 INTEGER,Fin2 INTEGER,Fin3 INTEGER,Fout1 INTEGER,Fout2 INTEGER,"
    "Fout3 INTEGER,FB1 INTEGER,FB2 INTEGER,FB3 INTEGER,Pout1 INTEGER,Pout2 INTEGER,Pout3 INTEGER,Tem INTEGER,status "
    "INTEGER,b15 INTEGER,b14 INTEGER,b13 INTEGER,b12 INTEGER,b11 INTEGER,b10 INTEGER,b9 INTEGER,b8 INTEGER,b7 INTEGER,"
    "b6 INTEGER,b5 INTEGER,b4 INTEGER,b3 INTEGER,b2 INTEGER,b1 INTEGER,b0 INTEGER,Vbatt INTEGER,Pbatt INTEGER,Mbatt "
    "INTEGER,Ved INTEGER,Aed INTEGER,VAed INTEGER,Vdc INTEGER,Fed INTEGER,v1 INTEGER,v2 INTEGER,v3 INTEGER,v4 INTEGER,"
    "company VARCHAR(16),mode VARCHAR(16),version VARCHAR(16))";

// Every numeric point of the record set to 1000 + Fld.
void FillRecord(CSMUpsBase& d)
{
    for (int f = 1; f <= UPS_POINTS; ++f) d.Val(f) = 1000 + f;
}

TEST(UpsBase, RegistrationRowsAndTable)
{
    TestDb db, db2;
    CSMUpsHL d;
    d.SetDb(&db, 0);
    d.SetDb(&db2, 1);
    EXPECT_EQ(d.RegDb(&db, 0), 0);
    EXPECT_EQ(db.execs.at(0), "insert into tbSMType values(800,768,'UPS QV-UPS-HL','UPS 三相输入输出...')");
    EXPECT_EQ(db.execs.at(1), "insert into tbSMDef values(800,0,1,'Vin1',1,'输入电压A',0,10,10,2000,'最小值|允许最低输入电压,"
                              "低于此值告警',2350,'最大值|允许最高输入电压,超过此值告警',0,NULL)");
    EXPECT_EQ(db.Str("select group_concat(Fld,',') from (select Fld from tbSMDef where Type=800 order by Fld)"),
              "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,22,24,25,26,27,28,29,30,31,32,33,34,35,36,37,38,39,40,41,"
              "42,55,56,57,58,59,60,61,62,63");
    EXPECT_EQ(db.Str("select group_concat(r,',') from (select FldName||' '||Note||' '||Scale||' '||vref||' '||vref2 "
                     "as r from tbSMDef where Type=800 and "
                     "Fld in (12, 22, 24, 39, 42, 60) order by Fld)") + "|" +
                  db.Str("select AlmMode||' '||vrefNote from tbSMDef where Type=800 and Fld=24"),
              "Iout3 输出电流C 10 0 150,Tem 环境温度 10 200 650,b15 b15 1 0 0,b0 b00 1 0 0,"
              "Mbatt 电池剩于时间 10 2000 2350,IB3 旁路电流C 10 0 150|0 0:否，1:是");
    db.Clear();
    EXPECT_EQ(d.RegDb(&db, 0), 0);
    EXPECT_EQ(db.CountExecs("insert"), 0);
    d.RegDb(&db, 1);
    EXPECT_EQ(db.execs.at(0), "delete from tbSMDef where Type=800");
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=800"), 47);

    db.Clear();
    tagSMItem it = MakeItem(31, 800);
    EXPECT_EQ(d.ChkDb(&it), 1);
    EXPECT_EQ(db.execs.at(0), kUpsExCreate);
    EXPECT_EQ(db2.execs.at(0), kUpsExCreate);
    EXPECT_EQ(db.Int("select count(*) from tbUpsEx where SID=31 and State=-1"), 1);
    CSMUpsHL none;
    EXPECT_EQ(none.ChkDb(&it), 0) << "no live database";
}

TEST(UpsBase, ChkDefIsSlot21AndRegDbGoesThroughIt)
{
    struct Probe : CSMUpsBase {
        Probe() : CSMUpsBase(800) {}
        int ChkDef(IDbBase*, int force) override { return 21 + force; }
    };
    Probe p;
    using Fn = int (*)(Probe*, IDbBase*, int);
    void** vt = *reinterpret_cast<void***>(&p);
    EXPECT_EQ(reinterpret_cast<Fn>(vt[21])(&p, nullptr, 1), 22);
    TestDb db;
    EXPECT_EQ(p.RegDb(&db, 0), 21);
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=800"), 0);
    EXPECT_STREQ(p.GetNote(), "QVUPS-Base");
}

TEST(UpsBase, StoredPollFillsEveryColumnFromItsPoint)
{
    TestDb db, hist;
    CSMUps5000 d;
    d.SetDb(&db, 0);
    tagSMItem it = MakeItem(32, 790);
    d.DoItem(&it, 0);
    ASSERT_EQ(d.ChkDb(&it), 1);
    hist.Run(std::string(kUpsExCreate));
    FillRecord(d);
    std::snprintf(const_cast<char*>(d.Rec().company), 16, "it's");
    int alm[2] = {0, 0};
    db.Clear();
    EXPECT_EQ(d.DataUpd(0, alm, nullptr, -1, &hist), 1);
    // Column name -> point: a column stored from the wrong point shows another 10xx value.
    struct {
        const char* col;
        int fld;
    } cols[] = {{"Vin1", 1},   {"Vout3", 6},  {"VB1", 55},    {"VB3", 57},  {"Iin2", 8},   {"Iout1", 10},
                {"IB2", 59},   {"Fin3", 15},  {"Fout1", 16},  {"FB3", 63},  {"Pout2", 20}, {"Tem", 22},
                {"status", 23}, {"b15", 24},  {"b0", 39},     {"Vbatt", 40}, {"Mbatt", 42}, {"VAed", 45},
                {"Fed", 47},   {"v1", 48},    {"v4", 51}};
    for (const auto& c : cols) {
        EXPECT_EQ(db.Int(std::string("select ") + c.col + " from tbUpsEx where SID=32"), 1000 + c.fld) << c.col;
        EXPECT_EQ(hist.Int(std::string("select ") + c.col + " from tbUpsEx where SID=32"), 1000 + c.fld) << c.col;
    }
    EXPECT_EQ(db.Str("select company||'|'||mode from tbUpsEx where SID=32"), "it's|");
    EXPECT_EQ(db.Int("select State from tbUpsEx where SID=32"), 0);

    // A failed poll: state 2 and the whole record cleared.
    d.DataUpd(0, nullptr, nullptr, -1, nullptr);
    EXPECT_EQ(db.Str("select State||'/'||Vin1||'/'||VB3||'/'||company from tbUpsEx where SID=32"), "2/0/0/");
    EXPECT_EQ(d.DataVal(55), 0);
}

TEST(UpsBase, SummaryByDivisorAndVariables)
{
    struct {
        int divisor;
        const char* brief;
    } cases[] = {
        {10, "输入电压:220.1V, 221.2V, 219.9V, 输出电压:220.0V, 221.0V, 219.0V, 输出电流:12.3A,45.6A,78.9A, "
             "电池电压:544.0V"},
        {100, "输入电压:22.0V, 22.1V, 22.0V, 输出电压:22.0V, 22.1V, 21.9V, 输出电流:1.2A,4.6A,7.9A, 电池电压:54.4V"},
        {1000, "输入:220.1V, 221.2V, 219.9V, 输出:220.0V, 221.0V, 219.0V, 负载:45.0%,52.0%,61.0%"},
    };
    for (const auto& c : cases) {
        CSMUpsBase* d = c.divisor == 10 ? static_cast<CSMUpsBase*>(new CSMUps5000)
                                        : c.divisor == 100 ? static_cast<CSMUpsBase*>(new CSMSnmpUpsIta1620k)
                                                           : static_cast<CSMUpsBase*>(new CSMSnmpUpsPowerNet3);
        const int vals[][2] = {{1, 2201}, {2, 2212}, {3, 2199}, {4, 2200}, {5, 2210}, {6, 2190}, {10, 123},
                               {11, 456}, {12, 789}, {19, 450}, {20, 520}, {21, 610}, {40, 5440}, {7, 1}, {55, 1}};
        for (const auto& v : vals) d->Val(v[0]) = v[1];
        char brief[512];
        d->Brief(brief, sizeof brief);
        EXPECT_EQ(std::string(brief), c.brief) << c.divisor;
        delete d;
    }

    CSMUps5000 d;
    FillRecord(d);
    std::snprintf(const_cast<char*>(d.Rec().mode), 16, "GX-3");
    struct {
        const char* name;
        const char* want;
    } vars[] = {{".Vin1", "100.1"}, {".Pout3", "102.1"}, {".FB3", "106.3"}, {".Tem", "102.2"}, {".B15", "1024"},
                {".B0", "1039"},    {".status", "1023"}, {".VAed", "1045"}, {".V4", "1051"},   {".mode", "GX-3"},
                {".Mbatt", nullptr}, {".B16", nullptr},  {"Vin1", nullptr}, {".vin1", nullptr}};
    for (const auto& v : vars) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%s", v.name);
        int n = d.VarEval(buf);
        if (!v.want) {
            EXPECT_EQ(n, -1) << v.name;
            continue;
        }
        EXPECT_EQ(std::string(buf), v.want) << v.name;
        EXPECT_EQ(n, static_cast<int>(std::strlen(v.want)));
    }
    EXPECT_EQ(d.DataVal(0), 0);
    EXPECT_EQ(d.DataVal(64), -1);
    EXPECT_EQ(d.DataVal(63), 1063);
    EXPECT_EQ(d.DataSize(), 63);
}

// ---- Modbus models -------------------------------------------------------------------------

// A function-3/4 reply carrying regs.
void ReplyRegs(ScriptPort& p, int addr, int func, const std::vector<int>& regs)
{
    Bytes b = {static_cast<unsigned char>(addr), static_cast<unsigned char>(func),
               static_cast<unsigned char>(2 * regs.size())};
    for (int r : regs) {
        b.push_back(static_cast<unsigned char>((r >> 8) & 0xFF));
        b.push_back(static_cast<unsigned char>(r & 0xFF));
    }
    p.ReplyRtu(b);
}

void ReplyBits(ScriptPort& p, int addr, int func, const Bytes& bytes)
{
    Bytes b(3 + bytes.size());
    b[0] = static_cast<unsigned char>(addr);
    b[1] = static_cast<unsigned char>(func);
    b[2] = static_cast<unsigned char>(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) b[3 + i] = bytes[i];
    p.ReplyRtu(b);
}

std::string Request(const Bytes& w) { return ToHex(Bytes(w.begin(), w.begin() + 6)); }

TEST(Ups5000, SixBlocksIntoTheRecord)
{
    FakeClock clock;
    ScriptPort p;
    std::vector<int> b0(57), b1(57), b2(9), b3(57), b4(57), b5(57);
    b0[0] = 2301, b0[1] = 2302, b0[2] = 2303, b0[6] = 11, b0[7] = 12, b0[8] = 13, b0[9] = 5012;
    b1[0] = 2201, b1[1] = 2202, b1[2] = 2203, b1[6] = 21, b1[7] = 22, b1[8] = 23, b1[9] = 4998;
    b2[0] = 5440, b2[2] = 315, b2[4] = 125, b2[5] = 9;
    b3[0] = 0x4000;            // b15
    b4[0] = 0x0100 | 0x0001;   // b7 (bit 8), b5 (bit 0)
    b4[1] = 0x1000;            // b14
    b5[0] = 0x0004 | 0x0800;   // b12, b9
    b5[3] = 0x0200 | 0x2000;   // b8, b0
    for (auto* b : {&b0, &b1, &b2, &b3, &b4, &b5}) ReplyRegs(p, 5, 3, *b);
    CSMUps5000 d;
    ASSERT_EQ(d.DataGet(&p, 5, 0), 1);
    Strings req;
    for (const Bytes& w : p.writes) req.push_back(Request(w));
    EXPECT_EQ(req, (Strings{"05 03 00 00 00 39", "05 03 00 2D 00 39", "05 03 00 68 00 09", "05 03 00 82 00 39",
                            "05 03 00 89 00 39", "05 03 00 8C 00 39"}));
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>(6, 200000));
    const int want[][2] = {{1, 2301}, {3, 2303}, {4, 2201}, {6, 2203}, {7, 11}, {9, 13}, {10, 21}, {12, 23},
                           {13, 501}, {15, 501}, {16, 499}, {18, 499}, {40, 5440}, {22, 315}, {42, 20}, {41, 90}};
    for (const auto& w : want) EXPECT_EQ(d.DataVal(w[0]), w[1]) << "Fld " << w[0];
    const int flags = (1 << 15) | (1 << 14) | (1 << 12) | (1 << 9) | (1 << 8) | (1 << 7) | (1 << 5) | 1;
    EXPECT_EQ(d.DataVal(UPS_STATUS), flags);
    for (int bit = 0; bit < 16; ++bit) EXPECT_EQ(d.DataVal(UPS_B0 - bit), (flags >> bit) & 1) << "b" << bit;

    // A missing block fails the poll; a slow device gets its waitMs.
    ScriptPort q;
    ReplyRegs(q, 5, 3, b0);
    FakeClock::Sleeps().clear();
    EXPECT_EQ(d.DataGet(&q, 5, 300), 0);
    EXPECT_EQ(q.writes.size(), 2u);
    EXPECT_EQ(FakeClock::Sleeps().at(0), 300000UL);
}

TEST(UpsModels, ReadRowsSendTheirRequestsAndMapTheWords)
{
    FakeClock clock;
    ScriptPort p;
    std::vector<int> regs(41);
    for (int k = 0; k < 41; ++k) regs[k] = 100 + k;
    ReplyRegs(p, 2, 4, regs);
    ReplyBits(p, 2, 2, {0x05, 0x08});  // inputs 0, 2, 11
    ReplyBits(p, 2, 2, {0x02});        // input 1 of the second block: b13
    CSMUpsHL d;
    ASSERT_EQ(d.DataGet(&p, 2, 0), 1);
    Strings req;
    for (const Bytes& w : p.writes) req.push_back(Request(w));
    EXPECT_EQ(req, (Strings{"02 04 00 00 00 29", "02 02 00 40 00 0C", "02 02 00 0D 00 04"}));
    EXPECT_EQ(d.DataVal(1), 100);
    EXPECT_EQ(d.DataVal(22), 121) << "Tem";
    EXPECT_EQ(d.DataVal(40), 122) << "Vbatt";
    EXPECT_EQ(d.DataVal(42), 124) << "Mbatt";
    EXPECT_EQ(d.DataVal(43), 0);
    EXPECT_EQ(d.DataVal(UPS_STATUS), 1 | 4 | (1 << 11) | (1 << 13));
    EXPECT_EQ(d.DataVal(UPS_B0 - 11), 1);

    // Variant 1 of a model with two maps; a failed read ends the poll.
    ScriptPort q;
    tagSMItem it = MakeItem(1, 801, 3, 1, &q);
    CSMUpsMdCard m;
    m.DoItem(&it, 0);
    EXPECT_EQ(m.DataGet(&q, 3, 0), 0);
    EXPECT_EQ(Request(q.writes.at(0)), "03 03 10 00 00 48");

    // A model only named answers 0 and sends nothing.
    CSMUpsEmerson e;
    ScriptPort r;
    EXPECT_EQ(e.DataGet(&r, 1, 0), 0);
    EXPECT_TRUE(r.writes.empty());
    EXPECT_EQ(e.DataSize(), 63);
}

TEST(UpsSnmp, AgentAddressFromTheConnectionText)
{
    struct {
        const char* conn;
        const char* addr;
    } cases[] = {{"xxxx192.168.1.20:161", "192.168.1.20"}, {"snmp127.0.0.1", "127.0.0.1"},
                 {"snmp10.0.0.1:99:private", "10.0.0.1"}, {"snmp", ""}, {"", ""}, {"snmp:161", ""}};
    for (const auto& c : cases) EXPECT_EQ(CSMSnmpSession::AgentAddr(c.conn, 128), c.addr) << c.conn;
    char full[4] = {'a', 'b', 'c', 'd'};  // not terminated within its bytes
    EXPECT_EQ(CSMSnmpSession::AgentAddr(full, sizeof full), "");
}

// A PowerNet driver whose record a test fills.
class PowerNetFilled : public CSMSnmpUpsPowerNet {
public:
    void Fill()
    {
        for (int f = 1; f <= 30; ++f) V(f) = 100 + f;
    }
};

TEST(UpsSnmp, PowerNetStorageKeepsTheSpareValuesAndTakesTemFromPoint9)
{
    const char kUpd[] =
        "update tbUps set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d,SnapID=%d,Vin1=%d,Vin2=%d,Vin3=%d,"
        "Fin=%d,Vout=%d,Aout=%d,Fout=%d,Vbatt=%d,Pbatt=%d,Tem=%d,status=%d,b7=%d,b6=%d,b5=%d,b4=%d,b3=%d,b2=%d,b1=%d,"
        "b0=%d,Ved=%d,Aed=%d,Vdc=%d,Fed=%d,v1=%d,v2=%d,v3=%d,v4=%d,company='%s',mode='%s',version='%s' where sid=%d";
    const char kHist[] =
        "insert into tbUps(SID,DateUpd,State,SnapID,Vin1,Vin2,Vin3,Fin,Vout,Aout,Fout,Vbatt,Pbatt,Tem,status,b7,b6,b5,"
        "b4,b3,b2,b1,b0,Ved,Aed,Vdc,Fed,v1,v2,v3,v4,company,mode,version) values(%d,datetime(CURRENT_TIMESTAMP,"
        "'localtime'),%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,'%s','%s',"
        "'%s')";
    TestDb db, hist;
    PowerNetFilled d;
    tagSMItem it = MakeItem(41, 795);
    d.SetDb(&db, 0);
    d.DoItem(&it, 0);
    d.Fill();
    int alm[2] = {1, 0};
    d.RegDb(&db, 0);
    db.Clear();
    EXPECT_EQ(d.DataUpd(0, alm, nullptr, -1, &hist), 0) << "the history insert failed: no tbUps there";
    EXPECT_EQ(db.execs.at(1), Sql(kUpd, 0, 0, 101, 102, 103, 104, 105, 106, 107, 119, 120, 109, 110, 111, 112, 113, 114,
                                  115, 116, 117, 118, 122, 123, 125, 126, 127, 128, 129, 130, "", "", "", 41));
    EXPECT_EQ(db.execs.at(2), Sql(kBrief, "输入电压:10.1V, 输出电压:10.5V, 输出负载:10.8%", 41)) << "no alarm part";
    EXPECT_EQ(hist.execs.at(0), Sql(kHist, 41, 0, 0, 101, 102, 103, 104, 105, 106, 107, 119, 120, 109, 110, 111, 112,
                                    113, 114, 115, 116, 117, 118, 122, 123, 125, 126, 127, 128, 129, 130, "", "", ""));
    struct {
        const char* name;
        const char* want;
    } vars[] = {{".Vin", "10.1"}, {".Pout", "10.8"}, {".Tem", "109"}, {".Vfault", "127"}, {".B0", "118"},
                {".Vin1", nullptr}};
    for (const auto& v : vars) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s", v.name);
        int n = d.VarEval(buf);
        EXPECT_EQ(n < 0 ? std::string("-") : std::string(buf), v.want ? v.want : "-") << v.name;
    }
    ScriptPort p;
    EXPECT_EQ(d.DoFunc(&p, 1, 8000, nullptr, 0), 0) << "no ASCII commands to an SNMP unit";
    EXPECT_TRUE(p.writes.empty());
    EXPECT_EQ(d.DataGet(nullptr, 0, 0), 0) << "no agent address: nothing was answered";
    EXPECT_EQ(d.DataVal(1), 0);
    CSMSnmpUpsPowerNet fresh;
    EXPECT_EQ(fresh.DataGet(nullptr, 0, 0), 0) << "without a device nothing is polled";
}

TEST(UpsSnmp, AirConditionerStatementsAndTable)
{
    TestDb db, db2, hist;
    CSMSnmpCyberPex d;
    tagSMItem it = MakeItem(42, 2097);
    d.SetDb(&db, 0);
    d.SetDb(&db2, 1);
    d.DoItem(&it, 0);
    EXPECT_EQ(d.ChkDb(&it), 1);
    const std::string create = db.execs.at(0);
    EXPECT_EQ(create.substr(0, 98), "create table tbCyberPexS(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,Addr INTEGER");
    EXPECT_EQ(db2.execs.at(0), create);
    hist.Run(create);
    db.Clear();
    d.DataUpd(0, nullptr, nullptr, -1, &hist);
    std::string zeros;
    for (int i = 0; i < 26; ++i) zeros += std::string(i ? "," : "") + "0";
    EXPECT_EQ(db.execs.at(2), Sql(kBrief, "通讯故障", 42));
    EXPECT_EQ(hist.execs.at(0),
              "insert into tbCyberPexS(SID,DateUpd,State,SnapID,tem,temS,temP,temD,hum,humS,humP,humD,temH,temL,humH,humL,"
              "stXt,stZl,stJs,stCs,stFj,stZr,stOff,stRun,xqZl,xqZr,xqFj,xqCold,xqCs,xqJs) values(42,datetime("
              "CURRENT_TIMESTAMP,'localtime'),2,0, " + zeros + ")");
    EXPECT_EQ(hist.Int("select count(*) from tbCyberPexS where SID=42 and State=2"), 1);
    int alm[1] = {0};
    d.DataUpd(0, alm, nullptr, -1, nullptr);
    EXPECT_EQ(db.execs.at(5), Sql(kBrief, "当前温度:0.0 ℃, 当前湿度:0.0 %", 42));
    char var[16] = ".humL";
    EXPECT_EQ(d.VarEval(var), 3);
    EXPECT_STREQ(var, "0.0");
    std::snprintf(var, sizeof var, ".stRun");
    EXPECT_EQ(d.VarEval(var), 1);
    EXPECT_EQ(d.RegDb(&db, 0), 0);
    EXPECT_EQ(db.Str("select Kind||' '||Name from tbSMType where Type=2097"), "768 UPS QV-CYBER-PEX");
    EXPECT_EQ(db.Str("select group_concat(Fld) from tbSMDef where Type=2097"), "1,2,5,6,9,10,11,12,14,15,16,17,18,20");
}

TEST(UpsSnmp, DefaultAgentPortFromTheEnvironment)
{
    struct {
        const char* env;
        unsigned short port;
    } cases[] = {{nullptr, 161}, {"16161", 16161}, {"", 161}, {"0", 161}, {"65536", 161}, {"161x", 161}, {"1", 1}};
    for (const auto& c : cases) {
        if (c.env)
            setenv("QVSM_SNMP_PORT", c.env, 1);
        else
            unsetenv("QVSM_SNMP_PORT");
        EXPECT_EQ(Snmp_pp::Snmp::DefaultPort(), c.port) << (c.env ? c.env : "unset");
    }
    unsetenv("QVSM_SNMP_PORT");
}

}  // namespace
