// The readings store behind the definition drivers: what a poll leaves in [vals], node reuse
// between polls, and others writing to the same store between polls.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "generic/DefVals.h"

namespace {

// "key=value ..." of [vals] in key order; "-" when the section is absent.
std::string Vals(const SimpleIni& ini)
{
    if (!ini.HasSection(SEC_VALS)) return "-";
    std::string s;
    for (auto it = ini.beginKey(SEC_VALS); it != ini.endKey(SEC_VALS); ++it)
        s += (s.empty() ? "" : " ") + it->first + "=" + it->second.value;
    return s;
}

class DefValsTest : public ::testing::Test {
protected:
    // One poll setting these slots to these numbers (text for a negative slot number).
    void Poll(const std::vector<std::pair<int, long long>>& sets)
    {
        v.Begin();
        for (const auto& s : sets) v.SetInt(s.first, s.second);
        v.End();
    }
    SimpleIni ini;
    DefVals v{ini, SEC_VALS};
};

TEST_F(DefValsTest, APollLeavesExactlyItsReadingsInKeyOrder)
{
    int a = v.Slot("40002"), b = v.Slot("40001"), c = v.Slot("40001-10"), d = v.Slot("40001-2");
    EXPECT_EQ(b, v.Slot("40001")) << "one slot per key";
    EXPECT_EQ(-1, v.Find("40003"));
    EXPECT_EQ("-", Vals(ini)) << "nothing before a poll";
    Poll({{a, 2}, {b, -1}, {c, 0}, {d, 1}});
    EXPECT_EQ("40001=-1 40001-10=0 40001-2=1 40002=2", Vals(ini));
    Poll({{b, 7}, {d, 1}});
    EXPECT_EQ("40001=7 40001-2=1", Vals(ini)) << "keys not set again leave";
    int got = 0;
    EXPECT_FALSE(v.Get(a, got));
    EXPECT_EQ(nullptr, v.Line(a));
    EXPECT_TRUE(v.Get(b, got));
    EXPECT_EQ(7, got);
    Poll({});
    EXPECT_EQ("-", Vals(ini)) << "an empty poll leaves no section";
    EXPECT_FALSE(ini.HasSection(SEC_VALS));
    // A poll that sets a key twice keeps the last value; texts and numbers mix.
    v.Begin();
    v.SetInt(a, 1);
    v.SetText(c, "");
    v.SetInt(a, 3);
    v.End();
    EXPECT_EQ("40001-10= 40002=3", Vals(ini));
    EXPECT_TRUE(v.Get(c, got));
    EXPECT_EQ(-1, got) << "an empty text is no number";
}

TEST_F(DefValsTest, NodesAreKeptWhileAKeyIsAway)
{
    int a = v.Slot("a"), b = v.Slot("b");
    Poll({{a, 1}, {b, 2}});
    const IniLine* la = v.Line(a);
    const IniLine* lb = v.Line(b);
    ASSERT_NE(nullptr, la);
    Poll({{b, 2}});
    Poll({});
    Poll({{a, 12345678901LL}, {b, 2}});
    EXPECT_EQ(la, v.Line(a)) << "the same node came back";
    EXPECT_EQ(lb, v.Line(b));
    EXPECT_EQ("a=12345678901 b=2", Vals(ini));
    int got = 0;
    EXPECT_TRUE(v.Get(a, got));
    EXPECT_EQ(-1, got) << "beyond the int range, as GetValue<int> reads it";
}

TEST_F(DefValsTest, WritesAndRemovalsOfOthersAreSeen)
{
    int a = v.Slot("a"), b = v.Slot("b");
    Poll({{a, 5}, {b, 6}});
    // A value written over a reading: read back as written, and written again by the next poll.
    ini.SetValue(SEC_VALS, "a", "x9");
    int got = 0;
    EXPECT_TRUE(v.Get(a, got));
    EXPECT_EQ(-1, got);
    ini.SetValue(SEC_VALS, "a", " 42ms");
    EXPECT_TRUE(v.Get(a, got));
    EXPECT_EQ(42, got);
    ini.SetValue(SEC_VALS, "other", 1);
    Poll({{a, 5}, {b, 6}});
    EXPECT_EQ("a=5 b=6", Vals(ini)) << "the same number rewrites a changed text; others' keys leave";

    // Removed under the slots: a key, the whole section, the whole store.
    ini.DeleteKey(SEC_VALS, "a");
    EXPECT_EQ(nullptr, v.Line(a));
    EXPECT_NE(nullptr, v.Line(b));
    Poll({{a, 1}, {b, 2}});
    EXPECT_EQ("a=1 b=2", Vals(ini));
    ini.DeleteKey(SEC_VALS, "#all");
    EXPECT_EQ(nullptr, v.Line(b));
    Poll({{b, 3}});
    EXPECT_EQ("b=3", Vals(ini));
    ini.LoadString("[vals]\na=old\nc=1\n[comm]\nx=1\n");
    EXPECT_EQ("a=old c=1", Vals(ini));
    EXPECT_FALSE(v.Get(a, got)) << "a node made by others: readers look it up by text";
    EXPECT_EQ(nullptr, v.Line(a));
    Poll({{a, 4}});
    EXPECT_EQ("a=4", Vals(ini));
    EXPECT_EQ("1", ini.GetValue(SEC_COMM, "x"));

    // A key set by others before the slot's first poll is taken over.
    SimpleIni fresh;
    DefVals w(fresh, SEC_VALS);
    int k = w.Slot("k");
    fresh.SetValue(SEC_VALS, "k", "7");
    w.Begin();
    w.SetInt(k, 8);
    w.End();
    EXPECT_EQ("k=8", Vals(fresh));

    // Reset forgets the slots; their keys stay until the next poll.
    v.Reset();
    EXPECT_EQ(-1, v.Find("a"));
    EXPECT_EQ("a=4", Vals(ini));
    int c = v.Slot("c");
    Poll({{c, 1}});
    EXPECT_EQ("c=1", Vals(ini));
}

TEST(DefValsText, NumbersAsPrintfAndGetValueWriteAndReadThem)
{
    for (long long n : {0LL, 1LL, -1LL, 9LL, 10LL, 99LL, 100LL, -100LL, 12345LL, 2147483647LL, -2147483648LL,
                        LLONG_MAX, LLONG_MIN}) {
        char out[24];
        int len = DefIntText(out, n);
        EXPECT_EQ(std::to_string(n), out);
        EXPECT_EQ(static_cast<int>(std::to_string(n).size()), len);
    }
    SimpleIni ini;
    for (const char* t : {"12", "-5", "+5", " 7", "10ms", "x", "", "-", "2147483647", "2147483648", "-2147483648",
                          "-2147483649", "0012", "999999999", "1234567890", "12.5"}) {
        ini.SetValue("s", "k", t);
        EXPECT_EQ(ini.GetValue<int>("s", "k", -1), DefVals::TextInt(t, -1)) << "'" << t << "'";
    }
}

}  // namespace
