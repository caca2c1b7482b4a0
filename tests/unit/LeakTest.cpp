// Leak detectors: the four controller variants, corrections before storing, summaries,
// controls, and the board's own input with its sensitivity and indicator.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "drivers/leak/LeakModels.h"
#include "tests/kit/Kit.h"

namespace {

Bytes Regs(int func, const std::vector<int>& w)
{
    Bytes b = {1, static_cast<unsigned char>(func), static_cast<unsigned char>(2 * w.size())};
    for (int x : w) b.insert(b.end(), {static_cast<unsigned char>(x >> 8), static_cast<unsigned char>(x)});
    ScriptPort p;
    p.ReplyRtu(b);
    return p.replies.back();
}

// The bytes given with their CRC; a then b.
Bytes Rtu(const Bytes& body)
{
    ScriptPort p;
    p.ReplyRtu(body);
    return p.replies.back();
}
Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string Vals(CSMLeak& d)
{
    std::string s;
    for (int f = 1; f <= 8; ++f) s += (f > 1 ? " " : "") + std::to_string(d.DataVal(f));
    return s;
}

class LeakTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        leak.SetDb(&db, 0);
        leak.DoItem(&item, 0);
        ASSERT_EQ(leak.ChkDb(&item), 1);
    }
    std::string Brief() { return db.Str("select Brief from tbSMBrief where SID=3"); }

    FakeClock clock;
    TestDb db;
    CSMLeak leak;
    tagSMItem item = MakeItem(3, 1536, 1, 0, nullptr);
};

TEST_F(LeakTest, VariantsDecodeTheirReplies)
{
    struct {
        int variant, param2;
        std::vector<Bytes> replies;
        const char* vals;       // Kind Status LineRB LineYG Locate Lmd Cable spare
        const char* requests;   // function and register of each request
        unsigned long pauseUs;  // Param2 ms, else 0 (Variant 2: 200 ms)
    } cases[] = {
        // r1..r4 = 500, 2000, 2, 800: neither r2 < 1001 nor r3 > 4, no leak.
        {0, 0, {Regs(4, {500, 2000, 2, 800}), Regs(3, {77}), Regs(4, {4096, 4095})}, "1 0 1 0 0 77 800 0",
         "04 00 01 03 00 01 04 00 04", 0},
        {0, 0, {Regs(4, {300, 10, 0, 800}), Regs(3, {5}), Regs(4, {0, 5000})}, "1 1 0 1 300 5 800 0", "", 0},
        // A leak at 1200 of 1500: no position (not below 1000), no cable length.
        {0, 0, {Regs(4, {1200, 10, 0, 1500}), Regs(3, {5}), Regs(4, {0, 0})}, "1 1 0 0 0 5 0 0", "", 0},
        // x 1.3 in double: 90 -> 117, 700 -> 910.
        {1, 50, {Regs(3, {3, 90}), Regs(3, {700, 12, 34, 0})}, "1 1 1 1 117 12 910 34", "03 00 00 03 00 08", 50000},
        {2, 0, {Regs(4, {0x0201}), Regs(3, {450})}, "0 1 0 0 0 450 0 0", "04 00 00 03 10 00", 200000},
        {2, 0, {Regs(4, {0x0002}), Regs(3, {450})}, "0 0 0 0 0 450 0 0", "", 200000},
        {3, 0, {Regs(4, {0x0300}), Regs(4, {100}), Regs(4, {200})}, "1 1 1 1 130 0 260 0", "04 00 02 04 00 04 04 00 26", 0},
        {9, 0, {}, "0 0 0 0 0 0 0 0", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.vals);
        item.Variant = c.variant;
        item.Param2 = c.param2;
        ScriptPort p;
        p.replies.assign(c.replies.begin(), c.replies.end());
        FakeClock::Sleeps().clear();
        ASSERT_EQ(leak.DataGet(&p, 1, 0), 1);
        EXPECT_EQ(Vals(leak), c.vals);
        std::string req;
        for (const Bytes& w : p.writes) req += (req.empty() ? "" : " ") + ToHex(Bytes(w.begin() + 1, w.begin() + 4));
        EXPECT_EQ(c.requests[0] ? req : "", c.requests);
        for (unsigned long us : FakeClock::Sleeps()) EXPECT_EQ(us, c.pauseUs);
    }
    // A bad CRC or a short reply fails the poll; what was read stays, the rest is cleared.
    item.Variant = 0;
    Bytes bad = Regs(3, {5});
    bad.back() ^= 1;
    for (const Bytes& b : {bad, Regs(3, {})}) {
        ScriptPort p;
        p.Reply(Regs(4, {300, 10, 0, 800}));
        p.Reply(b);
        EXPECT_EQ(leak.DataGet(&p, 1, 0), 0);
        EXPECT_EQ(Vals(leak), "1 1 0 0 300 0 800 0");
    }
}

TEST_F(LeakTest, CableLengthIsSentOnceAcknowledged)
{
    item.Variant = 1;
    const Bytes ack = HexBytes("01 06 00 08 01 2C 08 45"), other = Rtu(HexBytes("02 06 00 08 01 2C"));
    struct {
        int param1;
        std::vector<Bytes> reads;  // the answers to the length; one not taken waits for the time-out
        int after;
    } cases[] = {
        {300, {ack}, -300},
        {-300, {}, -300},
        {300, {HexBytes("01 06 00 08 01 2C 00 00"), {}}, 300},
        {300, {other, ack}, -300},             // another unit's late ack is dropped
        {300, {Cat(other, ack)}, -300},        // in the same read
        {300, {other, {}}, 300},               // only another unit acknowledged
        {300, {Regs(3, {0, 0}), {}}, 300},     // a read's reply is no ack
    };
    for (const auto& c : cases) {
        item.Param1 = c.param1;
        ScriptPort p;
        p.replies.assign(c.reads.begin(), c.reads.end());
        p.Reply(Regs(3, {0, 0}));
        p.Reply(Regs(3, {0, 0, 0, 0}));
        ASSERT_EQ(leak.DataGet(&p, 1, 0), 1);
        ASSERT_EQ(p.writes.size(), c.param1 > 0 ? 3u : 2u);
        if (c.param1 > 0) {
            EXPECT_EQ(ToHex(p.writes[0]).substr(0, 23), "01 06 00 08 00 01 01 2C");
        }
        EXPECT_EQ(item.Param1, c.after);
        EXPECT_TRUE(p.replies.empty());
    }
}

TEST_F(LeakTest, StoredRowsSummariesAndControls)
{
    auto* v = static_cast<CSMLeak::Values*>(leak.Data());
    struct {
        int variant;
        CSMLeak::Values in;
        const char* row;  // Kind Status LineRB LineYG Locate Lmd Cable
        const char* brief;
    } cases[] = {
        {0, {1, 1, 0, 0, 260, 7, 800, 0}, "1 1 0 0 260 7 800", "漏水状态:泄漏 泄漏位置:20.0米 (报警)"},
        {0, {1, 0, 0, 0, 0, 7, 800, 0}, "1 0 0 0 0 7 800", "漏水状态:未泄漏 (正常)"},
        {0, {1, 3, 0, 0, 260, 7, 800, 0}, "1 1 1 1 0 0 0", "漏水状态:泄漏 (报警)"},    // status 3
        {0, {1, 1, 0, 0, 900, 7, 800, 0}, "1 1 0 0 0 7 800", "漏水状态:泄漏 (报警)"},  // beyond the cable
        {2, {0, 3, 0, 0, 0, 7, 0, 0}, "0 3 0 0 0 7 0", "漏水状态:泄漏 (报警)"},        // left as read
    };
    for (const auto& c : cases) {
        item.Variant = c.variant;
        *v = c.in;
        int bits = 0;
        EXPECT_EQ(leak.DataUpd(0, &bits, nullptr, -1, nullptr), 1);
        EXPECT_EQ(db.Str("select Kind||' '||Status||' '||LineRB||' '||LineYG||' '||Locate||' '||Lmd||' '||Cable from "
                         "tbLeak where SID=3"),
                  c.row);
        EXPECT_EQ(Brief(), c.brief);
    }
    EXPECT_EQ(leak.DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Int("select State*10+Status from tbLeak where SID=3"), 20);
    v->locate = 123;
    char var[32] = ".Locate";
    EXPECT_EQ(leak.VarEval(var), 4);
    EXPECT_STREQ(var, "12.3");

    // Controls: function 6 in bits 16-23, the register below, the value from buf.
    int value = 0x10203;
    const std::pair<int, const char*> frames[] = {
        {0, "01 06 00 07 02 03"}, {2, "01 06 00 07 02 03"}, {1, "01 06 00 07 00 01 02 03"}, {3, ""}};
    for (const auto& f : frames) {
        item.Variant = f.first;
        ScriptPort p;
        p.ReplyRtu({1, 6, 0, 7, 2, 3});
        EXPECT_EQ(leak.DoFunc(&p, 1, (6 << 16) | 7, &value, 4), f.second[0] ? 1 : 0);
        EXPECT_EQ(p.writes.empty() ? "" : ToHex(p.writes[0]).substr(0, std::strlen(f.second)), f.second);
    }
    // Another unit's echo before the own one is dropped; alone it fails the control.
    for (int variant : {0, 1}) {
        item.Variant = variant;
        ScriptPort p;
        p.ReplyRtu({2, 6, 0, 7, 2, 3});
        p.ReplyRtu({1, 6, 0, 7, 2, 3});
        EXPECT_EQ(leak.DoFunc(&p, 1, (6 << 16) | 7, &value, 4), 1) << variant;
        p.ReplyRtu({2, 6, 0, 7, 2, 3});
        EXPECT_EQ(leak.DoFunc(&p, 1, (6 << 16) | 7, &value, 4), 0) << variant;
    }
    ScriptPort p;
    EXPECT_EQ(leak.DoFunc(&p, 1, (5 << 16) | 7, &value, 4), 1);
    EXPECT_EQ(leak.DoFunc(&p, 1, (6 << 16) | 7, nullptr, 4), 0);
    EXPECT_TRUE(p.writes.empty());
}

TEST(LeakX200, SensitivityIndicatorAndChannel)
{
    TempRoot root;
    TestDb db;
    CSMLeakX200 x;
    tagSMItem item = MakeItem(4, 1539, 0, 0, nullptr);
    x.SetDb(&db, 0);
    x.DoItem(&item, 0);
    ASSERT_EQ(x.RegDb(&db, 0), 0);
    EXPECT_EQ(db.execs.front(), "insert into tbSMType values(1539,1536,'漏水检测 QV-LEAK-X200','内置漏水接口...')");
    // Through the item: 1 to 15, else 6 (0 keeps the last); through the control: 1 to 13, else 5.
    for (auto c : {std::pair<int, int>{16, 6}, {15, 15}, {0, 15}, {3, 3}}) {
        item.Param1 = c.first;
        x.ChkDb(&item);
        EXPECT_EQ(x.Threshold(), c.second * 260) << c.first;
    }
    for (auto c : {std::pair<int, int>{14, 5}, {13, 13}}) {
        int s = c.first;
        EXPECT_EQ(x.DoFunc(nullptr, 0, 6 << 16, &s, 4), 1);
        EXPECT_EQ(x.Threshold() * 100 + item.Param1, c.second * 26000 + c.second);
    }
    int s = 3;
    EXPECT_EQ(x.DoFunc(nullptr, 0, 3 << 16, &s, 4), 0);

    struct {
        int variant;
        const char* raw;  // nullptr: no file
        int status;
    } cases[] = {{0, "3379\n", 1}, {0, "3380\n", 0}, {1, "100", 1}, {0, nullptr, 1}};  // threshold 3380
    for (const auto& c : cases) {
        item.Variant = c.variant;
        const std::string in = std::string("/sys/bus/iio/devices/iio:device0/in_voltage") + (c.variant ? "9" : "5") + "_raw";
        const std::string out = std::string("/sys/class/gpio/gpio12") + (c.variant ? "4" : "3") + "/value";
        if (c.raw)
            root.Write(in, c.raw);
        else
            std::remove(root.Path(in).c_str());
        root.Write(out, "x");
        ASSERT_EQ(x.DataGet(nullptr, 0, 0), 1);
        EXPECT_EQ(x.DataVal(2) * 10 + x.DataVal(3), c.status * 10 - 1) << c.variant;
        EXPECT_EQ(root.Read(out), c.status ? "0\n" : "1\n");
        int bits = 0;
        EXPECT_EQ(x.DataUpd(0, &bits, nullptr, -1, nullptr), 1);
        char var[16] = ".状态";
        EXPECT_GT(x.VarEval(var), 0);
        EXPECT_STREQ(var, c.status ? "泄漏" : "未泄漏");
    }
    EXPECT_EQ(db.Str("select Brief||Lmd from tbSMBrief,tbLeak where tbSMBrief.SID=4 and tbLeak.SID=4"),
              "漏水状态:泄漏 (报警)13");
}

}  // namespace
