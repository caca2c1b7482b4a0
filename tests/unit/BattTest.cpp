// The battery string monitor: cell count setting, block reads, per-cell rows, statement texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/batt/BattModels.h"
#include "tests/kit/Kit.h"

namespace {

// Function-4 reply of the registers base, base + 1, ... (count of them), or of the words given.
Bytes Regs(std::vector<int> w, int base = 0, int count = 0, int addr = 2)
{
    for (int i = 0; i < count; ++i) w.push_back(base + i);
    Bytes b = {static_cast<unsigned char>(addr), 4, static_cast<unsigned char>(2 * w.size())};
    for (int x : w) b.insert(b.end(), {static_cast<unsigned char>(x >> 8), static_cast<unsigned char>(x)});
    ScriptPort p;
    p.ReplyRtu(b);
    return p.replies.back();
}

class BattTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bt.SetDb(&db, 0);
        bt.DoItem(&item, 0);
    }
    // The string values, then per block of 64 cells: V, R, T, T2.
    void Script(int blocks, const std::vector<int>& str = {123, 45, 5432, 251})
    {
        port.Reply(Regs(str));
        for (int b = 0; b < blocks; ++b)
            for (int base : {3000, 100, 200, 300}) port.Reply(Regs({}, base + 64 * b, 64));
    }
    FakeClock clock;
    TestDb db;
    ScriptPort port;
    CSMBatt100 bt;
    tagSMItem item = MakeItem(12, 1026, 2, 0, &port);
};

TEST_F(BattTest, CellCountSettingAndBlocks)
{
    for (auto c : {std::pair<int, int>{0, 4}, {24, 24}, {300, 256}, {-5, 4}}) {
        TestDb d;
        CSMBatt100 b;
        b.RegDb(&d, 0);
        EXPECT_EQ(b.Cells(), 20) << "the registered default";
        d.Run("update tbSMDef set vref=" + std::to_string(c.first) + " where FldName='BT100_Itm'");
        b.RegDb(&d, 0);
        EXPECT_EQ(b.Cells(), c.second) << c.first;
    }
    // Cells to poll: DataGet's third argument, else the stored count (low 16 bits of DoFunc 0).
    struct {
        int waitMs, stored, blocks;
    } cases[] = {{0, 24, 1}, {65, 24, 2}, {0, 0x10041, 2}, {1000, 1, 4}};
    for (const auto& c : cases) {
        EXPECT_EQ(bt.DoFunc(0, nullptr, c.stored), 1);
        port.writes.clear();
        Script(c.blocks);
        ASSERT_EQ(bt.DataGet(&port, 2, c.waitMs), 1);
        ASSERT_EQ(port.writes.size(), 1u + 4u * static_cast<unsigned>(c.blocks)) << c.waitMs << "/" << c.stored;
        EXPECT_EQ(ToHex(port.writes[0]).substr(0, 17), "02 04 05 00 00 04");
        const Bytes& v = port.writes[4u * static_cast<unsigned>(c.blocks) - 3];  // last block's voltages
        EXPECT_EQ(ToHex(v).substr(0, 17), ToHex({2, 4, 1, static_cast<unsigned char>(64 * (c.blocks - 1)), 0, 64}));
        EXPECT_TRUE(port.replies.empty());
    }
    // String values, then cells in triples V, T, R; nothing beyond the sixth cell.
    EXPECT_EQ(std::vector<int>({bt.DataVal(1), bt.DataVal(4), bt.DataVal(7), bt.DataVal(11), bt.DataVal(12),
                                bt.DataVal(13), bt.DataVal(28), bt.DataVal(29)}),
              std::vector<int>({123, 251, 0, 3000, 200, 100, 105, -1}));
    bt.DoFunc(0, nullptr, 4);
    Script(1, {0xFFF6, 0x8000, 0xFFFF, 0xFFF6});  // negative: currents and voltage 0, temperature as read
    ASSERT_EQ(bt.DataGet(&port, 2, 0), 1);
    EXPECT_EQ(std::vector<int>({bt.DataVal(1), bt.DataVal(2), bt.DataVal(3), bt.DataVal(4)}),
              std::vector<int>({0, 0, 0, -10}));
}

TEST_F(BattTest, ShortOrBadRepliesFailThePoll)
{
    bt.DoFunc(0, nullptr, 4);
    Bytes bad = Regs({}, 100, 64);
    bad[10] ^= 1;
    const std::vector<Bytes> cases[] = {
        {Regs({1, 2, 3})},                                  // short string reply
        {Regs({1, 2, 3, 4}), Regs({}, 3000, 64), bad},      // bad CRC
        {Regs({1, 2, 3, 4}), Bytes()},                      // no block reply
        {Regs({1, 2, 3, 4}), Regs({}, 7000, 64, 3)},        // only unit 3 answered
    };
    for (const auto& c : cases) {
        port.replies.assign(c.begin(), c.end());
        EXPECT_EQ(bt.DataGet(&port, 2, 0), 0);
    }
    EXPECT_EQ(bt.DataVal(11), 3000) << "unit 3's block is not read as the own";
    // A block shorter than 64 registers is taken as far as it goes.
    port.replies.clear();
    port.Reply(Regs({1, 2, 3, 4}));
    for (int base : {3000, 100, 200, 300}) port.Reply(Regs({}, base, 2));
    EXPECT_EQ(bt.DataGet(&port, 2, 0), 1);
    EXPECT_EQ(bt.DataVal(14), 3001);
    EXPECT_EQ(bt.Polls(), 5);

    // A late block of unit 3 before the own one, in one read or in the read before: dropped.
    const Bytes late = Regs({}, 7000, 4, 3), own = Regs({}, 3010, 2);
    Bytes both = late;
    both.insert(both.end(), own.begin(), own.end());
    for (const std::vector<Bytes>& v : {std::vector<Bytes>{both}, std::vector<Bytes>{late, own}}) {
        port.replies.assign(1, Regs({1, 2, 3, 4}));
        port.replies.insert(port.replies.end(), v.begin(), v.end());
        for (int base : {100, 200, 300}) port.Reply(Regs({}, base, 2));
        EXPECT_EQ(bt.DataGet(&port, 2, 0), 1);
        EXPECT_EQ(bt.DataVal(14), 3011);
        EXPECT_TRUE(port.replies.empty());
    }
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
    bt.DoFunc(0, nullptr, 24);
    Script(1);
    ASSERT_EQ(bt.DataGet(&port, 2, 0), 1);
    item.Param1 = 2;
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
    };
    EXPECT_EQ(db.execs, want);
    // Failure: cells cleared, the string values written as they are.
    EXPECT_EQ(bt.DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Str("select group_concat(V||'/'||R,' ') from tbBattVal where SID=12"), "5432/123 0/0 0/0");
    db.failExec = true;
    db.failText = "values(null,12,1026,2,";
    EXPECT_EQ(bt.DataUpd(0, &bits, nullptr, -1, nullptr), 0) << "the last insert counts";
}

}  // namespace
