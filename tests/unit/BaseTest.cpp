// The driver base: defaults, the host-facing forwarding, catalogue and device rows, state
// derivation and the statement helpers every driver uses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

TEST(Base, DefaultsOfANewDriver)
{
    CSMBase b(1280);
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

    TestDb a, c;
    b.SetDb(&a, 1);
    EXPECT_EQ(b.Db2(), &a);
    EXPECT_EQ(b.Db(), nullptr);
    b.SetDb(&c, 7);
    EXPECT_EQ(b.Db(), &c) << "any index but 1 is the live database";

    Probe p;
    p.SetNote(std::string(40, 'N').c_str());
    EXPECT_EQ(std::strlen(p.GetNote()), 31u) << "cut to its field";
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

TEST(Base, TypeRowWithOwnCodeAsGroupAndPlainName)
{
    TestDb db;
    Probe p(2562, 0);
    p.SetNote("QV-ALMDO6");
    SMTypeDef t = {0, nullptr, "DO"};
    p.RegDbRows(&db, 0, t, nullptr, 0);
    EXPECT_EQ(db.execs.at(0), "insert into tbSMType values(2562,2562,'QV-ALMDO6','DO')");
}

TEST(Base, FamilyTablesAndDeviceRowsInsertedOnceThenRefreshed)
{
    TestDb db, second;
    Probe p;
    tagSMItem item = MakeItem(12, 1280, 4);
    item.Port = 2;
    const SMTableDef t = {"tbEnvir", "Tem INTEGER,Hum INTEGER,iTem INTEGER,iHum INTEGER"};
    EXPECT_EQ(p.ChkDbTable(nullptr, t), 0) << "no database at all";
    EXPECT_EQ(p.ChkDbDatInit("tbEnvir", &item), 0);
    p.SetDb(&second, 1);
    EXPECT_EQ(p.ChkDbTable(nullptr, t), 1) << "the second database alone";
    EXPECT_EQ(second.TableExists("tbEnvir"), 1);

    p.SetDb(&db, 0);
    EXPECT_EQ(p.ChkDbDatInit(nullptr, &item), 0);
    EXPECT_EQ(p.ChkDbDatInit("tbEnvir", nullptr), 0);
    db.failExec = true;
    EXPECT_EQ(p.ChkDbTable(nullptr, t), 0) << "the create statement failed";
    db.failExec = false;
    db.Clear();
    EXPECT_EQ(p.ChkDbTable(&item, t), 1);
    EXPECT_EQ(db.execs, (std::vector<std::string>{
                            "create table tbEnvir(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,Addr "
                            "INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER,Tem INTEGER,Hum INTEGER,iTem "
                            "INTEGER,iHum INTEGER)",
                            "insert into tbEnvir(SID,Type,Port,Addr,DateUpd,State) values(12,1280,2,4,"
                            "datetime(CURRENT_TIMESTAMP,'localtime'),-1)",
                            "insert into tbSMBrief(SID,LastUpd) values(12,datetime(CURRENT_TIMESTAMP,'localtime'))"}));

    db.Clear();
    item.Addr = 9;
    EXPECT_EQ(p.ChkDbTable(&item, t), 1);
    EXPECT_EQ(db.execs, std::vector<std::string>{"update tbEnvir set Type=1280,Port=2,Addr=9 where SID=12"})
        << "no create, no second insert, no brief";
    EXPECT_EQ(db.Int("select count(*) from tbEnvir"), 1);
    EXPECT_EQ(db.Int("select count(*) from tbSMBrief"), 1);
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
    const struct {
        int bits, count;
        const char* text;
    } cases[] = {
        {0x5, 2, "告警:点1 点3"},
        {0x2F, 3, "告警:点1 点2 点3..."},  // points 1, 2, 3, 4 and 6
        {0x20, 1, "告警:"},               // point 6 has no Note row
        {1 << 6, 0, ""},                  // beyond the data count: not a point
    };
    for (const auto& c : cases) {
        bits[0] = c.bits;
        EXPECT_EQ(p.GetAlmDetail(out, bits, 3), c.count) << c.bits;
        EXPECT_STREQ(out, c.text);
    }
    // A small output leaves out names that do not fit instead of overrunning.
    bits[0] = 0x7;
    char small[12];
    EXPECT_EQ(p.GetAlmDetail(small, bits, 3, sizeof small), 3);
    EXPECT_LT(std::strlen(small), sizeof small);
}

// The common cases of the state derivation are checked through the probe drivers' DataUpd.
TEST(Base, AlarmWordsSnapshotAndDriversWhoseAlarmsDoNotRaiseTheState)
{
    int words[2] = {static_cast<int>(0x80000000u), 1 << 3};  // points 32 and 36
    EXPECT_EQ(CSMBase::AlmBit(words, 32), 1);
    EXPECT_EQ(CSMBase::AlmBit(words, 36), 1);
    EXPECT_EQ(CSMBase::AlmBit(words, 4), 0);
    EXPECT_EQ(CSMBase::AlmBit(nullptr, 1), 0);
    EXPECT_STREQ(CSMBase::StSuffix(-1), "(正常)");

    Probe p;
    int bits[1] = {2};
    int snap = 55;
    EXPECT_EQ(p.UpdBegin(0, bits, &snap, 8, 2).snapId, 0) << "without flag bit 4";
    EXPECT_EQ(p.UpdBegin(16, bits, &snap, 8, 2).snapId, 55);
    EXPECT_EQ(p.UpdBegin(16, bits, nullptr, 8, 2).snapId, 0);
    EXPECT_EQ(p.UpdBegin(0, bits, nullptr, 8, 0).state, 0);
    EXPECT_EQ(p.UpdBegin(0, nullptr, nullptr, 8, 0).state, 2);
}

TEST(Base, SummaryWithoutStateAndNothingWrittenWithoutADatabase)
{
    TestDb live;
    Probe p;
    SMUpd u = {0, 3, 0, nullptr};
    const SMCol cols[] = {{"Tem", 235}};
    EXPECT_EQ(p.UpdRow("tbEnvir", u, cols, 1), 0);
    EXPECT_EQ(p.UpdSubSys(u), 0);
    EXPECT_EQ(CSMBase::InsHist(nullptr, "tbEnvir", u, cols, 1), 0);
    p.SetDb(&live, 0);
    p.UpdBriefText(u, "x");
    EXPECT_EQ(live.execs,
              std::vector<std::string>{"update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),Brief='x' where sid=3"});
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

}  // namespace
