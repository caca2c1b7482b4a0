// The Modbus driver's poll as planned at load: readings of one poll only, across polls that
// fail half-way, reloads, values that change or stay, and values written by others.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/DefKit.h"

namespace {

class ModbusPlanTest : public DefTest<CSMModbus, 4608> {
protected:
    void RtuData(unsigned char fc, const Bytes& data)
    {
        Bytes b = {0x01, fc, static_cast<unsigned char>(data.size())};
        b.insert(b.end(), data.begin(), data.end());
        port.ReplyRtu(b);
    }
    void Regs(const std::vector<unsigned>& regs)
    {
        Bytes d;
        for (unsigned r : regs) {
            d.push_back(static_cast<unsigned char>(r >> 8));
            d.push_back(static_cast<unsigned char>(r & 0xFF));
        }
        RtuData(3, d);
    }
    // "key=value ..." of every reading.
    std::string All() const
    {
        std::string s;
        for (auto it = d.Ini().beginKey(SEC_VALS); it != d.Ini().endKey(SEC_VALS); ++it)
            s += (s.empty() ? "" : " ") + it->first + "=" + it->second.value;
        return s;
    }
};

const char kDef[] = "[comm]\ndelay=0\ndelayv=0\n[regs3]\n0=2\n10=1\n10bit=1\n"
                    "[flds]\ncnt=3\n1=40001\n2=40002\n3=40011\n40001=S0.1\n";

TEST_F(ModbusPlanTest, EachPollLeavesItsOwnReadings)
{
    Load(kDef);
    struct {
        std::vector<unsigned> a, b;  // replies to the two blocks (b empty: no reply)
        int ok;
        int p1, p2, p3;  // DataVal of the points
    } polls[] = {
        {{100, 7}, {5}, 1, 10, 7, 5},
        {{100, 7}, {5}, 1, 10, 7, 5},      // nothing changed
        {{0xFFF6, 8}, {}, 0, -1, 8, -1},   // second block unanswered
        {{0xFFF6, 8}, {0x8001}, 1, -1, 8, 0x8001},
    };
    std::string expect[] = {
        "40001=10 40002=7 40011=5 40011-0=1 40011-1=0 40011-2=1 40011-3=0 40011-4=0 40011-5=0 40011-6=0 40011-7=0",
        "40001=10 40002=7 40011=5 40011-0=1 40011-1=0 40011-2=1 40011-3=0 40011-4=0 40011-5=0 40011-6=0 40011-7=0",
        "40001=-1 40002=8",
        "40001=-1 40002=8 40011=32769 40011-0=1 40011-1=0 40011-2=0 40011-3=0 40011-4=0 40011-5=0 40011-6=0 40011-7=0",
    };
    for (size_t i = 0; i < sizeof polls / sizeof polls[0]; ++i) {
        const auto& p = polls[i];
        Regs(p.a);
        if (!p.b.empty()) Regs(p.b);
        EXPECT_EQ(p.ok, d.DataGet(&port, 1, 0)) << "poll " << i;
        EXPECT_EQ(expect[i], All()) << "poll " << i;
        EXPECT_EQ(p.p1, d.DataVal(1)) << "poll " << i;
        EXPECT_EQ(p.p2, d.DataVal(2)) << "poll " << i;
        EXPECT_EQ(p.p3, d.DataVal(3)) << "poll " << i;
    }
    // A port that is gone: no readings at all.
    port.open = false;
    EXPECT_EQ(0, d.DataGet(&port, 1, 0));
    EXPECT_EQ("", All());
    EXPECT_FALSE(d.Ini().HasSection(SEC_VALS));
    EXPECT_EQ(-1, d.DataVal(2));
}

TEST_F(ModbusPlanTest, CoilRepliesLongerThanAskedAreRefused)
{
    Load("[comm]\ndelay=0\n[regs1]\n0=10\n");
    for (int round = 0; round < 2; ++round) {
        RtuData(1, {0x02, 0x00});
        ASSERT_EQ(1, d.DataGet(&port, 1, 0));
        EXPECT_EQ(16u, ValCount()) << round;
        EXPECT_EQ("2", Val("00002")) << round;
        RtuData(1, {0x01, 0x00, 0x80});  // three bytes for ten coils
        EXPECT_EQ(0, d.DataGet(&port, 1, 0)) << round;
        EXPECT_EQ(0u, ValCount()) << round;
        EXPECT_FALSE(Has("00024")) << round;
    }
}

TEST_F(ModbusPlanTest, ReloadPlansAgainAndOthersWritesAreRead)
{
    Load(kDef);
    Regs({100, 7});
    Regs({5});
    ASSERT_EQ(1, d.DataGet(&port, 1, 0));
    // A reading written over by someone else is what DataVal returns until the next poll.
    d.Ini().SetValue(SEC_VALS, "40002", "77");
    EXPECT_EQ(77, d.DataVal(2));
    d.Ini().DeleteKey(SEC_VALS, "40001");
    EXPECT_EQ(-1, d.DataVal(1));
    d.Ini().SetValue(SEC_VALS, "40001", "-3");
    EXPECT_EQ(-3, d.DataVal(1));

    // Another definition: other blocks, other points, other formats.
    d.Ini().LoadString("[comm]\ndelay=0\ndelayv=0\n[regs4]\n5=2\n[flds]\ncnt=2\n1=30007\n2=30006\n30006=I\n");
    testing::internal::CaptureStdout();
    d.UpdLoad();
    testing::internal::GetCapturedStdout();
    RtuData(4, {0x00, 0x01, 0x00, 0x02});
    ASSERT_EQ(1, d.DataGet(&port, 1, 0));
    EXPECT_EQ("30006=65538", All()) << "the 32-bit value takes the second register";
    EXPECT_EQ(-1, d.DataVal(1));
    EXPECT_EQ(65538, d.DataVal(2));
    EXPECT_EQ(-1, d.DataVal(3));
}

}  // namespace
