#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/SMBase.h"
#include "tests/kit/Kit.h"

namespace {

// A driver that only exposes the base and records the 5-argument DoFunc.
class Probe : public CSMBase {
public:
    explicit Probe(int type = 1280, int points = 4) : CSMBase(type) { m_nDataCount = points; }
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override
    {
        gotPort = port, gotAddr = addr, gotCmd = cmd, gotBuf = buf, gotLen = len;
        return 77;
    }
    using CSMBase::DoFunc;
    using CSMBase::SetNote;
    ISerBase* gotPort = nullptr;
    int gotAddr = -1, gotCmd = -1, gotLen = -1;
    void* gotBuf = nullptr;
};

const SMPointDef kPoints[] = {
    {0, 1, "Tem", 1, "温度值", 0, 10, 6, 300, "最小值|允许最低温度,低于此值告警", 380, "最大值|允许最高温度,超过此值告警", 0},
    {0, 2, "Hum", 1, "湿度值", 0, 10, 6, 350, "最小值|允许最低湿度,低于此值告警", 780, "最大值|允许最高湿度,超过此值告警", 0},
    {0, 3, "Dew", 1, "露点", 0, 10, 6, 0, "", 100, "", 0},
};
const SMTypeDef kType = {1280, "温湿度 %s", "485接口,量程..."};

TEST(Base, DefaultsOfANewDriver)
{
    CSMBase b(1280);
    EXPECT_EQ(b.GetType(), 1280);
    EXPECT_STREQ(b.GetNote(), "ISMBase基类");
    EXPECT_EQ(std::strlen(b.GetNote()), 11u) << "GBK: two bytes per Chinese character";
    EXPECT_EQ(b.DataSize(), 0);
    EXPECT_EQ(b.Data(), nullptr);
    EXPECT_EQ(b.GetMask(), 0);
    EXPECT_EQ(b.DataVal(1), -1);
    EXPECT_EQ(b.VarEval(const_cast<char*>(".Tem")), -1);
    ScriptPort port;
    EXPECT_EQ(b.DataGet(&port, 1, 0), 0);
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(b.DataUpd(0, nullptr, nullptr, 1, nullptr), 0);
    EXPECT_EQ(b.ChkDb(nullptr), 0);
    TestDb db;
    EXPECT_EQ(b.NeedDefAlm(&db, 1), 0);
    b.RegDb(&db, 1);
    EXPECT_TRUE(db.execs.empty()) << "the base registers nothing";
}

TEST(Base, NoteIsCutToItsField)
{
    Probe p;
    p.SetNote("QV-TH485");
    EXPECT_STREQ(p.GetNote(), "QV-TH485");
    p.SetNote(std::string(40, 'N').c_str());
    EXPECT_EQ(std::strlen(p.GetNote()), 31u);
}

TEST(Base, SetDbIndexOneIsTheSecondDatabase)
{
    TestDb a, b, c;
    CSMBase d(1);
    d.SetDb(&a, 1);
    EXPECT_EQ(d.Db2(), &a);
    EXPECT_EQ(d.Db(), nullptr);
    d.SetDb(&b, 0);
    EXPECT_EQ(d.Db(), &b);
    d.SetDb(&c, 7);
    EXPECT_EQ(d.Db(), &c);
    EXPECT_EQ(d.Db2(), &a);
}

TEST(Base, NeedDefKeepsOrReplacesExistingRows)
{
    TestDb db;
    CSMBase d(1280);
    EXPECT_EQ(d.NeedDef(&db, 0), 1) << "no rows yet";
    for (int f = 1; f <= 3; ++f) db.Run("insert into tbSMDef(Type,Fld) values(1280," + std::to_string(f) + ")");
    db.Run("insert into tbSMDef(Type,Fld) values(1281,1)");
    EXPECT_EQ(d.NeedDef(&db, 0), 0);
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=1280"), 3);
    EXPECT_EQ(d.NeedDef(&db, 1), 1);
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=1280"), 0);
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=1281"), 1);
    EXPECT_EQ(db.execs.back(), "delete from tbSMDef where Type=1280");
}

TEST(Base, ThreeArgumentDoFuncForwardsToTheCurrentDevice)
{
    Probe p;
    char text[] = "on";
    EXPECT_EQ(p.DoFunc(10, text, 2), 0) << "no current device";
    tagSMItem noPort = MakeItem(5, 1280, 3);
    p.DoItem(&noPort, 0);
    EXPECT_EQ(p.DoFunc(10, text, 2), 0) << "device without port";
    EXPECT_EQ(p.gotCmd, -1);

    ScriptPort port;
    tagSMItem item = MakeItem(5, 1280, 3, 0, &port);
    EXPECT_EQ(p.DoItem(&item, 99), 1);
    EXPECT_EQ(p.DoFunc(10, text, 2), 77);
    EXPECT_EQ(p.gotPort, &port);
    EXPECT_EQ(p.gotAddr, 3);
    EXPECT_EQ(p.gotCmd, 10);
    EXPECT_EQ(p.gotBuf, text);
    EXPECT_EQ(p.gotLen, 2);
}

TEST(Base, RegistrationWritesTypeAndPointsOnceUnlessForced)
{
    TestDb db;
    Probe p(1280, 3);
    p.SetNote("QV-TH485");
    EXPECT_EQ(p.RegDbRows(&db, 0, kType, kPoints, 3), 0);
    ASSERT_EQ(db.execs.size(), 4u);
    EXPECT_EQ(db.execs[0], "insert into tbSMType values(1280,1280,'温湿度 QV-TH485','485接口,量程...')");
    EXPECT_EQ(db.execs[1],
              "insert into tbSMDef values(1280,0,1,'Tem',1,'温度值',0,10,6,300,'最小值|允许最低温度,低于此值告警',380,"
              "'最大值|允许最高温度,超过此值告警',0,NULL)");
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=1280"), 3);
    EXPECT_EQ(db.Str("select Note from tbSMDef where Type=1280 and Fld=2"), "湿度值");

    db.Clear();
    EXPECT_EQ(p.RegDbRows(&db, 0, kType, kPoints, 3), 0);
    EXPECT_TRUE(db.execs.empty());

    EXPECT_EQ(p.RegDbRows(&db, 1, kType, kPoints, 3), 0);
    EXPECT_EQ(db.Int("select count(*) from tbSMType where Type=1280"), 1);
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=1280"), 3);
    EXPECT_EQ(db.CountExecs("delete from tbSMDef where Type=1280"), 1);

    db.failExec = true;
    db.failText = "'Dew'";
    EXPECT_NE(p.RegDbRows(&db, 1, kType, kPoints, 3), 0) << "the result is that of the last insert";
}

TEST(Base, TypeRowWithOwnCodeAsGroupAndPlainName)
{
    TestDb db;
    Probe p(2562, 0);
    p.SetNote("QV-ALMDO6");
    SMTypeDef t = {0, nullptr, "DO"};
    p.RegDbRows(&db, 0, t, nullptr, 0);
    EXPECT_EQ(db.execs[0], "insert into tbSMType values(2562,2562,'QV-ALMDO6','DO')");
}

TEST(Base, DeviceRowsAreInsertedOnceThenRefreshed)
{
    TestDb db;
    Probe p;
    tagSMItem item = MakeItem(12, 1280, 4);
    item.Port = 2;
    EXPECT_EQ(p.ChkDbDatInit("tbEnvir", &item), 0) << "no database";
    p.SetDb(&db, 0);
    EXPECT_EQ(p.ChkDbDatInit(nullptr, &item), 0);
    EXPECT_EQ(p.ChkDbDatInit("tbEnvir", nullptr), 0);

    const SMTableDef t = {"tbEnvir", "Tem INTEGER,Hum INTEGER,iTem INTEGER,iHum INTEGER"};
    EXPECT_EQ(p.ChkDbTable(&item, t), 1);
    EXPECT_EQ(db.execs[0],
              "create table tbEnvir(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,Addr INTEGER,"
              "DateUpd DATETIME,State INTEGER,SnapID INTEGER,Tem INTEGER,Hum INTEGER,iTem INTEGER,iHum INTEGER)");
    EXPECT_EQ(db.execs[1],
              "insert into tbEnvir(SID,Type,Port,Addr,DateUpd,State) values(12,1280,2,4,"
              "datetime(CURRENT_TIMESTAMP,'localtime'),-1)");
    EXPECT_EQ(db.execs[2], "insert into tbSMBrief(SID,LastUpd) values(12,datetime(CURRENT_TIMESTAMP,'localtime'))");
    EXPECT_EQ(db.Int("select State from tbEnvir where SID=12"), -1);

    db.Clear();
    item.Addr = 9;
    EXPECT_EQ(p.ChkDbTable(&item, t), 1);
    ASSERT_EQ(db.execs.size(), 1u) << "no create, no second insert, no brief";
    EXPECT_EQ(db.execs[0], "update tbEnvir set Type=1280,Port=2,Addr=9 where SID=12");
    EXPECT_EQ(db.Int("select count(*) from tbEnvir"), 1);
    EXPECT_EQ(db.Int("select count(*) from tbSMBrief"), 1);
}

TEST(Base, FamilyTablesInBothDatabasesAndResultWithoutItem)
{
    TestDb live, second;
    Probe p;
    const SMTableDef t = {"tbX", "V INTEGER"};
    EXPECT_EQ(p.ChkDbTable(nullptr, t), 0) << "no database at all";
    p.SetDb(&second, 1);
    EXPECT_EQ(p.ChkDbTable(nullptr, t), 1);
    EXPECT_EQ(second.TableExists("tbX"), 1);
    p.SetDb(&live, 0);
    live.failExec = true;
    EXPECT_EQ(p.ChkDbTable(nullptr, t), 0) << "the create statement failed";
    live.failExec = false;
    EXPECT_EQ(p.ChkDbTable(nullptr, t), 1);
    EXPECT_EQ(live.TableExists("tbX"), 1);
}

TEST(Base, AlarmDetailNamesUpToMaxPoints)
{
    TestDb db;
    Probe p(1280, 6);
    for (int f = 1; f <= 5; ++f)
        db.Run("insert into tbSMDef(Type,Fld,Note) values(1280," + std::to_string(f) + ",'点" + std::to_string(f) + "')");
    char out[1024];
    int bits[1] = {0x5};
    EXPECT_EQ(p.GetAlmDetail(out, bits, 3), 0) << "no database";
    EXPECT_STREQ(out, "");
    p.SetDb(&db, 0);
    EXPECT_EQ(p.GetAlmDetail(out, nullptr, 3), 0);
    EXPECT_EQ(p.GetAlmDetail(out, bits, 3), 2);
    EXPECT_STREQ(out, "告警:点1 点3");
    bits[0] = 0x2F;  // points 1,2,3,4,6
    EXPECT_EQ(p.GetAlmDetail(out, bits, 3), 3);
    EXPECT_STREQ(out, "告警:点1 点2 点3...");
    bits[0] = 0x20;  // point 6 has no Note row
    EXPECT_EQ(p.GetAlmDetail(out, bits, 3), 1);
    EXPECT_STREQ(out, "告警:");
    // A bit beyond the data count is not a point.
    bits[0] = 1 << 6;
    EXPECT_EQ(p.GetAlmDetail(out, bits, 3), 0);
    // A small output refuses names that do not fit instead of overrunning.
    bits[0] = 0x7;
    char small[12];
    EXPECT_EQ(p.GetAlmDetail(small, bits, 3, sizeof small), 3);
    EXPECT_LT(std::strlen(small), sizeof small);
}

TEST(Base, AlarmBitsAcrossWords)
{
    int bits[2] = {0, 0};
    bits[1] = 1 << 3;  // point 36
    EXPECT_EQ(CSMBase::AlmBit(bits, 36), 1);
    EXPECT_EQ(CSMBase::AlmBit(bits, 4), 0);
    bits[0] = static_cast<int>(0x80000000u);  // point 32
    EXPECT_EQ(CSMBase::AlmBit(bits, 32), 1);
    EXPECT_EQ(CSMBase::AlmBit(nullptr, 1), 0);
    EXPECT_EQ(CSMBase::PointState(nullptr, 1), 2);
    EXPECT_STREQ(CSMBase::StSuffix(0), "(正常)");
    EXPECT_STREQ(CSMBase::StSuffix(1), "(告警)");
    EXPECT_STREQ(CSMBase::StSuffix(2), "(故障)");
    EXPECT_STREQ(CSMBase::StSuffix(-1), "(正常)");
}

TEST(Base, StateSidAndSnapshotOfAnUpdate)
{
    Probe p;
    tagSMItem item = MakeItem(31, 1280);
    p.DoItem(&item, 0);
    int bits[1] = {0};
    int snap = 55;
    SMUpd u = p.UpdBegin(0, bits, &snap, -1, 2);
    EXPECT_EQ(u.state, 0);
    EXPECT_EQ(u.sid, 31);
    EXPECT_EQ(u.snapId, 0) << "without flag bit 4";
    u = p.UpdBegin(16, bits, &snap, 8, 2);
    EXPECT_EQ(u.snapId, 55);
    EXPECT_EQ(u.sid, 8);
    EXPECT_EQ(p.UpdBegin(16, bits, nullptr, 8, 2).snapId, 0);
    bits[0] = 2;
    EXPECT_EQ(p.UpdBegin(0, bits, nullptr, 8, 2).state, 1);
    EXPECT_EQ(p.UpdBegin(0, bits, nullptr, 8, 1).state, 0) << "bit of a point beyond the alarming ones";
    EXPECT_EQ(p.UpdBegin(0, bits, nullptr, 8, 0).state, 0) << "drivers whose alarms do not raise the state";
    EXPECT_EQ(p.UpdBegin(0, nullptr, nullptr, 8, 2).state, 2);
    EXPECT_EQ(p.UpdBegin(1, nullptr, nullptr, 8, 2).state, 1) << "flag bit 0 forces alarm even after a failure";
}

TEST(Base, StoredRowsUseTheCommonStatements)
{
    TestDb live, hist;
    Probe p;
    p.SetDb(&live, 0);
    tagSMItem item = MakeItem(3, 1281);
    p.DoItem(&item, 0);
    int bits[1] = {0};
    SMUpd u = p.UpdBegin(0, bits, nullptr, -1, 2);
    const SMCol cols[] = {{"Tem", 235}, {"Hum", 450}, {"iTem", 0}, {"iHum", 0}};
    p.UpdSubSys(u);
    p.UpdRow("tbEnvir", u, cols, 4);
    p.UpdBrief(u, "温度:23.5 (正常),湿度:45.0 (正常)");
    p.UpdBriefText(u, "x");
    EXPECT_EQ(CSMBase::InsHist(nullptr, "tbEnvir", u, cols, 4), 0);
    CSMBase::InsHist(&hist, "tbEnvir", u, cols, 4);
    ASSERT_EQ(live.execs.size(), 4u);
    EXPECT_EQ(live.execs[0],
              "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0 where sid=3 and type=1281");
    EXPECT_EQ(live.execs[1],
              "update tbEnvir set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0,SnapID=0,Tem=235,Hum=450,"
              "iTem=0,iHum=0 where sid=3");
    EXPECT_EQ(live.execs[2],
              "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),St=0,"
              "Brief='温度:23.5 (正常),湿度:45.0 (正常)' where sid=3");
    EXPECT_EQ(live.execs[3], "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),Brief='x' where sid=3");
    ASSERT_EQ(hist.execs.size(), 1u);
    EXPECT_EQ(hist.execs[0],
              "insert into tbEnvir(SID,DateUpd,State,SnapID,Tem,Hum,iTem,iHum) values(3,"
              "datetime(CURRENT_TIMESTAMP,'localtime'),0,0,235,450,0,0)");
    // Without a live database nothing is written and the result is success.
    Probe q;
    EXPECT_EQ(q.UpdRow("tbEnvir", u, cols, 4), 0);
    EXPECT_EQ(q.UpdSubSys(u), 0);
}

TEST(Base, StatementsThatDoNotFitAreRefusedNotCut)
{
    TestDb db;
    std::string big(CSMBase::SQL_SIZE, 'a');
    EXPECT_EQ(CSMBase::SqlFmt("select '%s'", big.c_str()), nullptr);
    EXPECT_EQ(CSMBase::SqlExec(&db, "select '%s'", big.c_str()), -1);
    EXPECT_TRUE(db.execs.empty());
    EXPECT_EQ(CSMBase::SqlInt(&db, "select length('%s')", big.c_str()), 0);
    EXPECT_STREQ(CSMBase::SqlStr(&db, "select '%s'", big.c_str()), "");
    // Exactly the largest statement that fits.
    std::string fits(CSMBase::SQL_SIZE - 1 - std::strlen("select ''"), 'b');
    EXPECT_EQ(CSMBase::SqlExec(&db, "select '%s'", fits.c_str()), 0);
    EXPECT_EQ(db.execs.back().size(), static_cast<size_t>(CSMBase::SQL_SIZE - 1));
    // A row with too many columns is refused whole.
    Probe p;
    p.SetDb(&db, 0);
    std::vector<SMCol> cols(900, SMCol{"ColumnName", 123456});
    SMUpd u = {0, 1, 0, nullptr};
    db.Clear();
    EXPECT_EQ(p.UpdRow("tbX", u, cols.data(), static_cast<int>(cols.size())), -1);
    EXPECT_EQ(CSMBase::InsHist(&db, "tbX", u, cols.data(), static_cast<int>(cols.size())), -1);
    EXPECT_TRUE(db.execs.empty());
    // Arguments may point into the shared buffer itself.
    const char* s = CSMBase::SqlFmt("%s", "abc");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(CSMBase::SqlFmt("x%sx", s), "xabcx");
    EXPECT_EQ(CSMBase::SqlExec(nullptr, "select 1"), 0) << "no database: skipped";
}

TEST(Base, QuotesAreDoubledForSqlText)
{
    char out[16];
    EXPECT_EQ(CSMBase::SqlQuote(out, sizeof out, "it's"), 5);
    EXPECT_STREQ(out, "it''s");
    EXPECT_EQ(CSMBase::SqlQuote(out, sizeof out, nullptr), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(CSMBase::SqlQuote(out, 6, "''''"), -1) << "needs 9 bytes";
    EXPECT_STREQ(out, "");
    EXPECT_EQ(CSMBase::SqlQuote(out, 5, "abcd"), 4);
    EXPECT_EQ(CSMBase::SqlQuote(out, 4, "abcd"), -1);

    // Quoted text survives a round trip through SQLite.
    TestDb db;
    char q[64];
    CSMBase::SqlQuote(q, sizeof q, "O'Brien's \\ room");
    db.Run("insert into tbSMBrief(SID,Brief) values(1,'" + std::string(q) + "')");
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=1"), "O'Brien's \\ room");
}

TEST(Base, RtuReadChecksTheReplyAndWaits)
{
    FakeClock clock;
    Probe p;
    unsigned char r[16];
    ScriptPort port;
    port.ReplyRtu(HexBytes("01 03 04 00 EB 01 C2"));
    EXPECT_EQ(p.RtuRead(&port, 0x101, 3, 0, 2, 100, 100, r, sizeof r), 9);
    EXPECT_EQ(ToHex(port.LastWrite()), "01 03 00 00 00 02 C4 0B");
    EXPECT_EQ(port.purges, 1);
    EXPECT_EQ(port.readCaps.back(), 9);
    EXPECT_EQ(FakeClock::Sleeps().back(), 100000u);

    port.ReplyRtu(HexBytes("01 03 04 00 EB 01 C2"));
    EXPECT_EQ(p.RtuRead(&port, 1, 3, 0, 2, 250, 100, r, sizeof r), 9);
    EXPECT_EQ(FakeClock::Sleeps().back(), 250000u);

    Bytes bad = HexBytes("01 03 04 00 EB 01 C2 00 00");
    port.Reply(bad);
    EXPECT_EQ(p.RtuRead(&port, 1, 3, 0, 2, 0, 100, r, sizeof r), -1) << "bad CRC";
    port.ReplyRtu(HexBytes("01 03 02 00"));
    EXPECT_EQ(p.RtuRead(&port, 1, 3, 0, 2, 0, 100, r, sizeof r), -1) << "short";
    EXPECT_EQ(p.RtuRead(&port, 1, 3, 0, 8, 0, 100, r, sizeof r), -1) << "reply would not fit";

    port.open = false;
    int writes = static_cast<int>(port.writes.size());
    EXPECT_EQ(p.RtuRead(&port, 1, 3, 0, 2, 0, 100, r, sizeof r), -1);
    EXPECT_EQ(static_cast<int>(port.writes.size()), writes);
    EXPECT_EQ(p.RtuRead(nullptr, 1, 3, 0, 2, 0, 100, r, sizeof r), -1);

    port.open = true;
    port.shortWriteBy = 1;
    int reads = port.reads;
    EXPECT_EQ(p.RtuRead(&port, 1, 3, 0, 2, 0, 100, r, sizeof r), -1);
    EXPECT_EQ(port.reads, reads) << "no Read after a short write";
}

}  // namespace
