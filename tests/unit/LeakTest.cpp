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
    ScriptPort p;
    Bytes b = {1, static_cast<unsigned char>(func), static_cast<unsigned char>(2 * w.size())};
    for (int x : w) {
        b.push_back(static_cast<unsigned char>((x >> 8) & 0xFF));
        b.push_back(static_cast<unsigned char>(x & 0xFF));
    }
    p.ReplyRtu(b);
    return p.replies.back();
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

    TempRoot root;
    FakeClock clock;
    TestDb db;
    ScriptPort port;
    CSMLeak leak;
    tagSMItem item = MakeItem(3, 1536, 1, 0, &port);
};

TEST_F(LeakTest, VariantsDecodeTheirReplies)
{
    struct {
        int variant, param2;
        std::vector<Bytes> replies;
        const char* vals;  // Kind Status LineRB LineYG Locate Lmd Cable spare
        std::vector<std::string> requests;
        unsigned long pauseUs;
    } cases[] = {
        // r1 = 500, r2 = 2000, r3 = 2, r4 = 800: no leak.
        {0, 0, {Regs(4, {500, 2000, 2, 800}), Regs(3, {77}), Regs(4, {4096, 4095})}, "1 0 1 0 0 77 800 0",
         {"01 04 00 01 00 04", "01 03 00 01 00 01", "01 04 00 04 00 02"}, 0},
        // Leak at 300 of 800 (r2 < 1001).
        {0, 0, {Regs(4, {300, 10, 0, 800}), Regs(3, {5}), Regs(4, {0, 5000})}, "1 1 0 1 300 5 800 0", {}, 0},
        // A leak beyond 1000: no position; a cable over 1000: no length.
        {0, 0, {Regs(4, {1200, 10, 0, 1500}), Regs(3, {5}), Regs(4, {0, 0})}, "1 1 0 0 0 5 0 0", {}, 0},
        // Scalings by 1.3 in double: 90 -> 117.
        {1, 50, {Regs(3, {3, 90}), Regs(3, {700, 12, 34, 0})}, "1 1 1 1 117 12 910 34",
         {"01 03 00 00 00 02", "01 03 00 08 00 04"}, 50000},
        {2, 0, {Regs(4, {0x0201}), Regs(3, {450})}, "0 1 0 0 0 450 0 0", {"01 04 00 00 00 01", "01 03 10 00 00 01"},
         200000},
        {2, 0, {Regs(4, {0x0002}), Regs(3, {450})}, "0 0 0 0 0 450 0 0", {}, 200000},
        {3, 0, {Regs(4, {0x0300}), Regs(4, {100}), Regs(4, {200})}, "1 1 1 1 130 0 260 0",
         {"01 04 00 02 00 01", "01 04 00 04 00 01", "01 04 00 26 00 01"}, 0},
        {9, 0, {}, "0 0 0 0 0 0 0 0", {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.vals);
        item.Variant = c.variant;
        item.Param2 = c.param2;
        ScriptPort p;
        for (const Bytes& b : c.replies) p.Reply(b);
        FakeClock::Sleeps().clear();
        ASSERT_EQ(leak.DataGet(&p, 1, 0), 1);
        EXPECT_EQ(Vals(leak), c.vals);
        if (!c.requests.empty()) {
            ASSERT_EQ(p.writes.size(), c.requests.size());
            for (size_t i = 0; i < c.requests.size(); ++i) EXPECT_EQ(ToHex(p.writes[i]).substr(0, 17), c.requests[i]);
        }
        for (unsigned long us : FakeClock::Sleeps()) EXPECT_EQ(us, c.pauseUs);
    }
    // A bad CRC or a short reply fails the poll; the values read so far stay, the rest is cleared.
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
    port.open = false;
    EXPECT_EQ(leak.DataGet(&port, 1, 0), 0);
}

TEST_F(LeakTest, CableLengthIsSentOnce)
{
    item.Variant = 1;
    item.Param1 = 300;
    for (int poll = 0; poll < 2; ++poll) {
        ScriptPort p;
        if (poll == 0) p.ReplyRtu({1, 6, 0, 8, 1, 0x2C});
        p.Reply(Regs(3, {0, 0}));
        p.Reply(Regs(3, {0, 0, 0, 0}));
        ASSERT_EQ(leak.DataGet(&p, 1, 0), 1);
        ASSERT_EQ(p.writes.size(), poll == 0 ? 3u : 2u);
        if (poll == 0) {
            EXPECT_EQ(ToHex(p.writes[0]).substr(0, 23), "01 06 00 08 00 01 01 2C");
            EXPECT_EQ(p.writes[0].size(), 10u);
        }
        EXPECT_EQ(item.Param1, -300);
    }
    // Not acknowledged: kept, sent again next time.
    item.Param1 = 300;
    ScriptPort p;
    p.Reply(HexBytes("01 06 00 08 01 2C 00 00"));  // bad CRC
    p.Reply(Regs(3, {0, 0}));
    p.Reply(Regs(3, {0, 0, 0, 0}));
    EXPECT_EQ(leak.DataGet(&p, 1, 0), 1);
    EXPECT_EQ(item.Param1, 300);
}

TEST_F(LeakTest, StoredRowsAndSummaries)
{
    ASSERT_EQ(leak.RegDb(&db, 0), 0);
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=1536 and AlmMode=1 and vref=0"), 3);
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
        SCOPED_TRACE(c.row);
        item.Variant = c.variant;
        *v = c.in;
        int bits = 0;
        EXPECT_EQ(leak.DataUpd(0, &bits, nullptr, -1, nullptr), 1);
        EXPECT_EQ(db.Str("select Kind||' '||Status||' '||LineRB||' '||LineYG||' '||Locate||' '||Lmd||' '||Cable from "
                         "tbLeak where SID=3"),
                  c.row);
        EXPECT_EQ(Brief(), c.brief);
    }
    TestDb hist;
    ASSERT_EQ(hist.Exec("create table tbLeak(DID INTEGER PRIMARY KEY,SID INTEGER,DateUpd DATETIME,State INTEGER,SnapID "
                        "INTEGER,Kind INTEGER,Status INTEGER,LineRB INTEGER,LineYG INTEGER,Locate INTEGER,Lmd INTEGER,"
                        "Cable INTEGER)"),
              0);
    hist.Clear();
    EXPECT_EQ(leak.DataUpd(0, nullptr, nullptr, -1, &hist), 1);
    EXPECT_EQ(hist.execs.back(), "insert into tbLeak(SID,DateUpd,State,SnapID,Kind,Status,LineRB,LineYG,Locate,Lmd,"
                                 "Cable) values(3,datetime(CURRENT_TIMESTAMP,'localtime'),2,0,0,0,0,0,0,0,0)");
    EXPECT_EQ(Brief(), "漏水状态:未泄漏 (正常)");

    char var[32];
    v->locate = 123;
    for (const char* name : {".位置", ".Locate"}) {
        std::strcpy(var, name);
        EXPECT_EQ(leak.VarEval(var), 4);
        EXPECT_STREQ(var, "12.3");
    }
    std::strcpy(var, ".St");
    EXPECT_EQ(leak.VarEval(var), -1);
}

TEST_F(LeakTest, ControlsWriteOneRegister)
{
    int value = 0x10203;
    struct {
        int variant;
        const char* frame;
        int result;
    } cases[] = {
        {0, "01 06 00 07 02 03", 1},
        {2, "01 06 00 07 02 03", 1},
        {1, "01 06 00 07 00 01 02 03", 1},
        {3, nullptr, 0},
    };
    for (const auto& c : cases) {
        item.Variant = c.variant;
        ScriptPort p;
        p.ReplyRtu({1, 6, 0, 7, 2, 3});
        EXPECT_EQ(leak.DoFunc(&p, 1, (6 << 16) | 7, &value, 4), c.result) << c.variant;
        if (c.frame) {
            ASSERT_EQ(p.writes.size(), 1u);
            EXPECT_EQ(ToHex(p.writes[0]).substr(0, std::strlen(c.frame)), c.frame);
        }
    }
    ScriptPort p;
    EXPECT_EQ(leak.DoFunc(&p, 1, (5 << 16) | 7, &value, 4), 1);
    EXPECT_EQ(leak.DoFunc(&p, 1, (6 << 16) | 7, nullptr, 4), 0);
    EXPECT_TRUE(p.writes.empty());
    EXPECT_EQ(leak.ModBusCmdN(1, 6, 8, 29, HexBytes(std::string(116, '0')).data()), 0) << "over the request buffer";
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
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=1539"), 1);

    // Sensitivity through the item: 1 to 15, else 6.
    for (auto c : {std::pair<int, int>{16, 6}, {15, 15}, {0, 15}, {3, 3}}) {
        item.Param1 = c.first;
        x.ChkDb(&item);
        EXPECT_EQ(x.Sensitivity(), c.second) << c.first;
        EXPECT_EQ(x.Threshold(), c.second * 260);
    }
    // Through the control: 1 to 13, else 5; stored in the item.
    int s = 14;
    EXPECT_EQ(x.DoFunc(nullptr, 0, 6 << 16, &s, 4), 1);
    EXPECT_EQ(x.Threshold(), 1300);
    EXPECT_EQ(item.Param1, 5);
    s = 13;
    EXPECT_EQ(x.DoFunc(nullptr, 0, 6 << 16, &s, 4), 1);
    EXPECT_EQ(x.Sensitivity(), 13);
    EXPECT_EQ(x.DoFunc(nullptr, 0, 3 << 16, &s, 4), 0);

    struct {
        int variant;
        const char* raw;  // nullptr: no file
        int status;
    } cases[] = {
        {0, "3379\n", 1},  // below 13 * 260 = 3380: wet
        {0, "3380\n", 0},
        {1, "100", 1},
        {0, nullptr, 1},  // unreadable: 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variant);
        item.Variant = c.variant;
        const std::string in = c.variant ? "/sys/bus/iio/devices/iio:device0/in_voltage9_raw"
                                         : "/sys/bus/iio/devices/iio:device0/in_voltage5_raw";
        const std::string out = c.variant ? "/sys/class/gpio/gpio124/value" : "/sys/class/gpio/gpio123/value";
        if (c.raw)
            root.Write(in, c.raw);
        else
            std::remove(root.Path(in).c_str());
        root.Write(out, "x");
        ASSERT_EQ(x.DataGet(nullptr, 0, 0), 1);
        EXPECT_EQ(x.DataVal(2), c.status);
        EXPECT_EQ(x.DataVal(3), -1);
        EXPECT_EQ(root.Read(out), c.status ? "0\n" : "1\n");
        EXPECT_EQ(static_cast<CSMLeak::Values*>(x.Data())->lmd, 13);
        int bits = 0;
        EXPECT_EQ(x.DataUpd(0, &bits, nullptr, -1, nullptr), 1);
        char var[16];
        std::strcpy(var, ".状态");
        EXPECT_GT(x.VarEval(var), 0);
        EXPECT_STREQ(var, c.status ? "泄漏" : "未泄漏");
    }
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=4"), "漏水状态:泄漏 (报警)");
}

}  // namespace
