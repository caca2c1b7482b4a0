// The battery string monitor: cell count setting, block reads, per-cell rows, statement texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/batt/BattModels.h"
#include "tests/kit/Kit.h"

namespace {

Bytes Regs(int addr, const std::vector<int>& w)
{
    ScriptPort p;
    Bytes b = {static_cast<unsigned char>(addr), 4, static_cast<unsigned char>(2 * w.size())};
    for (int x : w) {
        b.push_back(static_cast<unsigned char>((x >> 8) & 0xFF));
        b.push_back(static_cast<unsigned char>(x & 0xFF));
    }
    p.ReplyRtu(b);
    return p.replies.back();
}

// 64 registers: base + cell index.
Bytes Block(int addr, int base, int count = 64)
{
    std::vector<int> w;
    for (int i = 0; i < count; ++i) w.push_back(base + i);
    return Regs(addr, w);
}

class BattTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bt.SetDb(&db, 0);
        bt.DoItem(&item, 0);
    }
    // String values, then per block of 64 cells: V, R, T, T2.
    void Script(int blocks, const std::vector<int>& str = {123, 45, 5432, 251})
    {
        port.Reply(Regs(2, str));
        for (int b = 0; b < blocks; ++b)
            for (int base : {3000, 100, 200, 300}) port.Reply(Block(2, base + 64 * b));
    }

    FakeClock clock;
    TestDb db;
    ScriptPort port;
    CSMBatt100 bt;
    tagSMItem item = MakeItem(12, 1026, 2, 0, &port);
};

TEST_F(BattTest, CellCountFromTheSettingAndItsBounds)
{
    struct {
        int vref;
        int cells;
    } cases[] = {{0, 4}, {24, 24}, {256, 256}, {300, 256}, {-5, 4}};
    for (const auto& c : cases) {
        TestDb d;
        CSMBatt100 b;
        ASSERT_EQ(b.RegDb(&d, 0), 0);
        d.Run("update tbSMDef set vref=" + std::to_string(c.vref) + " where FldName='BT100_Itm'");
        b.RegDb(&d, 0);
        EXPECT_EQ(b.Cells(), c.cells) << c.vref;
        EXPECT_EQ(d.Int("select count(*) from tbSMDef where Type=1026"), 10);
    }
    db.Clear();
    ASSERT_EQ(bt.RegDb(&db, 0), 0);
    EXPECT_EQ(bt.Cells(), 20) << "the registered default";
    EXPECT_EQ(db.execs.front(), "insert into tbSMType values(1026,1024,'电池监测 QV-BAT100','485接口...')");
    EXPECT_EQ(db.execs.back(), "insert into tbSMDef values(1026,0,13,'R1',3,'单体内阻',0,10,0,0,'单体内阻,一般大于报警',1500,"
                               "'',-1,NULL)");
    EXPECT_EQ(bt.DoFunc(0, nullptr, 0x10041), 1);
    EXPECT_EQ(bt.Cells(), 65) << "the low 16 bits";
    EXPECT_EQ(bt.DoFunc(0, nullptr, 1000), 1);
    EXPECT_EQ(bt.Cells(), 256);
}

TEST_F(BattTest, BlocksOfSixtyFourCellsAndTheirValues)
{
    struct {
        int waitMs, stored, blocks;
    } cases[] = {{0, 24, 1}, {65, 24, 2}, {0, 64, 1}, {0, 129, 3}, {1000, 1, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.waitMs * 1000 + c.stored);
        bt.DoFunc(0, nullptr, c.stored);
        port.writes.clear();
        Script(c.blocks);
        ASSERT_EQ(bt.DataGet(&port, 2, c.waitMs), 1);
        ASSERT_EQ(port.writes.size(), 1u + 4u * static_cast<unsigned>(c.blocks));
        EXPECT_EQ(ToHex(port.writes[0]).substr(0, 17), "02 04 05 00 00 04");
        int last = c.blocks - 1;
        EXPECT_EQ(ToHex(port.writes[4u * last + 1]).substr(0, 17),
                  ToHex({2, 4, 1, static_cast<unsigned char>(64 * last), 0, 64}));
        EXPECT_EQ(ToHex(port.writes[4u * last + 4]).substr(0, 5), "02 04");
        EXPECT_EQ(port.writes[4u * last + 4][2], 3) << "T2 last";
        EXPECT_TRUE(port.replies.empty());
    }
    // Cells in triples: V, T, R.
    EXPECT_EQ(bt.DataVal(1), 123);
    EXPECT_EQ(bt.DataVal(3), 5432);
    EXPECT_EQ(bt.DataVal(4), 251);
    EXPECT_EQ(bt.DataVal(7), 0);
    EXPECT_EQ(bt.DataVal(11), 3000);
    EXPECT_EQ(bt.DataVal(12), 200);
    EXPECT_EQ(bt.DataVal(13), 100);
    EXPECT_EQ(bt.DataVal(28), 105);
    EXPECT_EQ(bt.DataVal(29), -1);
    EXPECT_EQ(bt.DataSize(), 773);

    // Negative string readings: currents and voltage 0, temperature as read.
    bt.DoFunc(0, nullptr, 4);
    Script(1, {0xFFF6, 0x8000, 0xFFFF, 0xFFF6});
    ASSERT_EQ(bt.DataGet(&port, 2, 0), 1);
    EXPECT_EQ(bt.DataVal(1) + bt.DataVal(2) + bt.DataVal(3), 0);
    EXPECT_EQ(bt.DataVal(4), -10);
}

TEST_F(BattTest, ShortOrBadRepliesFailThePoll)
{
    bt.DoFunc(0, nullptr, 4);
    Bytes bad = Block(2, 100);
    bad[10] ^= 1;
    struct {
        const char* what;
        std::vector<Bytes> replies;
    } cases[] = {
        {"short string reply", {Regs(2, {1, 2, 3})}},
        {"bad CRC", {Regs(2, {1, 2, 3, 4}), Block(2, 3000), bad}},
        {"no block reply", {Regs(2, {1, 2, 3, 4}), Bytes()}},
    };
    for (const auto& c : cases) {
        port.replies.clear();
        for (const Bytes& b : c.replies) port.Reply(b);
        EXPECT_EQ(bt.DataGet(&port, 2, 0), 0) << c.what;
    }
    // A block shorter than 64 registers is taken as far as it goes.
    port.replies.clear();
    port.Reply(Regs(2, {1, 2, 3, 4}));
    for (int base : {3000, 100, 200, 300}) port.Reply(Block(2, base, 2));
    EXPECT_EQ(bt.DataGet(&port, 2, 0), 1);
    EXPECT_EQ(bt.DataVal(14), 3001);
    EXPECT_EQ(bt.Polls(), 4);
}

TEST_F(BattTest, StoredRowsPerCell)
{
    ASSERT_EQ(bt.ChkDb(&item), 1);
    EXPECT_EQ(db.CountExecs("create table tbBattVal(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Fld INTGER,"
                            "DateUpd DATETIME,State INTEGER,V INTEGER,R INTEGER,T INTEGER,T2 INTEGER)"),
              1);
    EXPECT_EQ(db.CountExecs("SnapID INTEGER,Curr INTEGER,Volt INTEGER,Minutes INTEGER,V1 INTEGER,R1 INTEGER,T1 "
                            "INTEGER,TW1 INTEGER,V2 INTEGER"),
              1);
    EXPECT_EQ(db.CountExecs("TW12 INTEGER)"), 1);
    bt.DoFunc(0, nullptr, 24);
    Script(1);
    ASSERT_EQ(bt.DataGet(&port, 2, 0), 1);
    item.Param1 = 3;
    int bits = 0, snap = 5;
    db.Clear();
    EXPECT_EQ(bt.DataUpd(16, &bits, &snap, -1, nullptr), 1);
    const std::vector<std::string> want = {
        "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0 where sid=12 and type=1026",
        "update tbBatt100 set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),\t    State=0,SnapID=5,Curr=123,Volt "
        "=5432,Minutes =251 where sid=12",
        "delete from tbBattVal where SID=12",
        "insert into tbBattVal values(null,12,1026,0,datetime(CURRENT_TIMESTAMP,'localtime'),0,5432,123,251,0)",
        "insert into tbBattVal values(null,12,1026,1,datetime(CURRENT_TIMESTAMP,'localtime'),0,3000,100,200,300)",
        "insert into tbBattVal values(null,12,1026,2,datetime(CURRENT_TIMESTAMP,'localtime'),0,3001,101,201,301)",
        "insert into tbBattVal values(null,12,1026,3,datetime(CURRENT_TIMESTAMP,'localtime'),0,3002,102,202,302)",
    };
    EXPECT_EQ(db.execs, want);

    // Failure: cells cleared, the string values written as they are.
    db.Clear();
    EXPECT_EQ(bt.DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Str("select group_concat(V||'/'||R,' ') from tbBattVal where SID=12"), "5432/123 0/0 0/0 0/0");
    EXPECT_EQ(db.Int("select Volt from tbBatt100 where SID=12"), 5432);
    db.failExec = true;
    db.failText = "values(null,12,1026,3,";
    EXPECT_EQ(bt.DataUpd(0, &bits, nullptr, -1, nullptr), 0);
}

}  // namespace
