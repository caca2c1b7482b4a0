// The definition-driven YD/T 1363 driver: frames, items, versions, polls and controls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/BufHelper.h"
#include "tests/unit/DefKit.h"

namespace {

// A reply frame as a device sends it: "~" ver adr cid1 rtn LENGTH info CHKSUM "\r", built here
// independently of the driver.
std::string Reply(const std::string& info, const std::string& rtn = "00", const std::string& ver = "21", int adr = 1)
{
    char head[16];
    unsigned int l = static_cast<unsigned int>(info.size());
    unsigned int s = (l & 0xF) + ((l >> 4) & 0xF) + ((l >> 8) & 0xF);
    unsigned int length = l ? (((16 - s % 16) % 16) << 12) | l : 0;
    std::snprintf(head, sizeof head, "%s%02X60%s%04X", ver.c_str(), adr, rtn.c_str(), length);
    std::string body = std::string(head) + info;
    unsigned int sum = 0;
    for (char c : body) sum += static_cast<unsigned char>(c);
    char chk[8];
    std::snprintf(chk, sizeof chk, "%04X\r", (0x10000 - sum % 0x10000) % 0x10000);
    return "~" + body + chk;
}

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Definitions keep version 21 (bak=1, ver=21) so that a poll sends no version query.
const char kKept[] = "[comm]\nbak=1\nver=21\n";

using YdtTest = DefTest<CSMYdt1363, 5120>;

TEST(YdtFrame, LengthChecksumAndLimits)
{
    char buf[64];
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "00", 1, "60", "4F", nullptr), 18);
    EXPECT_STREQ(buf, "~0001604F0000FD9F\r");
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 1, "60", "42", ""), 18);
    EXPECT_STREQ(buf, "~210160420000FDB0\r") << "an empty INFO gives LENGTH 0000";
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 1, "60", "45", "01"), 20);
    EXPECT_STREQ(buf, "~21016045E00201FD35\r") << "2 INFO characters give E002";
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 0x11F, "60", "44", "0102"), 22);
    EXPECT_STREQ(buf, "~211F6044C0040102FCBE\r") << "the address keeps its low 8 bits";
    // The buffer helper's own frame for the same request, with INFO given as bytes.
    unsigned char ref[64];
    const unsigned char info[] = {0x01, 0x02};
    CBufHelper::YdCmd(ref, 0x1F, 0x60, 0x44, 0x21, info, 2);
    EXPECT_STREQ(buf, reinterpret_cast<char*>(ref));

    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 1, "60", "42", std::string(45, 'A').c_str()), 63);
    EXPECT_EQ(buf[62], '\r');
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 1, "60", "42", std::string(46, 'A').c_str()), -1);
    EXPECT_EQ(buf[0], 'x') << "nothing written when refused";
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, 22, "21", 1, "60", "42", "0102"), -1) << "cap counts the NUL";
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, 23, "21", 1, "60", "42", "0102"), 22);
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "1", 1, "60", "42", nullptr), -1);
    EXPECT_EQ(CSMYdt1363::YdCmd(buf, sizeof buf, "21", 1, "600", "42", nullptr), -1);
}

TEST(YdtItems, TypesWidthsAndAbsentItems)
{
    EXPECT_EQ(CSMYdt1363::YdDatSize("float"), 8);
    EXPECT_EQ(CSMYdt1363::YdDatSize("i"), 4);
    EXPECT_EQ(CSMYdt1363::YdDatSize(""), 2);
    EXPECT_EQ(CSMYdt1363::YdVal("0000803F", "F", 10), 10) << "1.0, least significant byte first";
    EXPECT_EQ(CSMYdt1363::YdVal("0000C0BF", "f", 10), -15) << "-1.5 truncated toward zero";
    EXPECT_EQ(CSMYdt1363::YdVal("0000803F", "I", 10), 0) << "dfac does not apply to integers";
    EXPECT_EQ(CSMYdt1363::YdVal("FFFF", "I", 1), 65535);
    EXPECT_EQ(CSMYdt1363::YdVal("FF", "x", 5), 255);
    EXPECT_EQ(CSMYdt1363::YdVal("0000807F", "F", 1), 2147483647) << "infinity is held at the int range";
    EXPECT_EQ(CSMYdt1363::YdVal("G1", "B", 1), 1) << "a non-hex character counts as 0";
    EXPECT_EQ(CSMYdt1363::YdVal("1", "I", 1), 1) << "the conversion stops at the NUL";
    EXPECT_EQ(CSMYdt1363::YdDatNone("20202020", 8), 1);
    EXPECT_EQ(CSMYdt1363::YdDatNone("2021", 4), 0);
    EXPECT_EQ(CSMYdt1363::YdDatNone("20", 4), 0) << "a text ending inside the item";
}

TEST_F(YdtTest, PollsTheCodesInOrderWithTheKeptVersion)
{
    Load(std::string(kKept) + "cid2=42,44\ndelay=25\ndinfo=B\n[42H]\ndmax=120\n[44H]\ndcmd=0102\n");
    port.Reply(Reply("0102"));
    port.Reply(Reply("03"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(Text(port.writes[0]), "~210160420000FDB0\r");
    EXPECT_EQ(Text(port.writes[1]), "~21016044C0040102FCD4\r");
    EXPECT_EQ(port.readCaps, (std::vector<int>{120, 200})) << "section dmax, then the [comm] default";
    EXPECT_EQ(port.readTimeouts, (std::vector<int>{0, 0}));
    EXPECT_EQ(FakeClock::Sleeps(), (std::vector<unsigned long>{25000, 25000}));
    EXPECT_EQ(Val("42H01"), "1");
    EXPECT_EQ(Val("42H02"), "2");
    EXPECT_EQ(Val("44H01"), "3");
}

TEST_F(YdtTest, VersionIsAskedEveryPollUnlessKept)
{
    Load("[comm]\ncid2=42\ndelay=0\ndinfo=B\n");
    port.Reply(Reply("", "00", "21"));
    port.Reply(Reply("05"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(Text(port.writes[0]), "~0001604F0000FD9F\r");
    EXPECT_EQ(Text(port.writes[1]), "~210160420000FDB0\r");
    EXPECT_EQ(port.readCaps[0], 18);
    EXPECT_EQ(d.Version(), "") << "with bak 0 the answer is not stored";
    EXPECT_TRUE(FakeClock::Sleeps().empty()) << "delay 0: no pause";
    port.Reply("");  // no answer: version 10
    port.Reply(Reply("05"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Text(port.writes[3]), "~100160420000FDB2\r");

    Load("[comm]\ncid2=42\nbak=1\n");
    // RTN 40: offset 8 is "0", and LENGTH 0000 puts "0" at offset 9: accepted and kept.
    port.Reply(Reply("", "40", "22"));
    port.Reply(Reply(""));
    port.Reply(Reply(""));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(d.Version(), "22");
    EXPECT_EQ(port.writes.size(), 7u) << "a kept version is not asked again";
    EXPECT_EQ(Text(port.writes[6]).substr(1, 2), "22");

    port.Reply(Reply("", "04", "22"));  // offsets 7 and 8 are "0" "4": refused
    EXPECT_EQ(d.YdVer(&port, 1), "");
    port.Reply(Reply("01", "00", "22"));  // LENGTH E002: offset 9 is "E"
    EXPECT_EQ(d.YdVer(&port, 1), "");
    port.Reply(Reply("", "00", "22").substr(0, 9));  // offset 9 not received
    EXPECT_EQ(d.YdVer(&port, 1), "");
    port.Reply(Reply("", "00", "23").substr(0, 10));
    EXPECT_EQ(d.YdVer(&port, 1), "23");
    port.shortWriteBy = 1;
    port.Reply(Reply("", "00", "24"));
    EXPECT_EQ(d.YdVer(&port, 1), "") << "a short write gives up";
}

TEST_F(YdtTest, ItemLayoutFlagsSkipsFloatsAndBits)
{
    Load(std::string(kKept) + "cid2=42\n"
         "[42H]\ndinfo=I\ndflag=2\ndfac=10\n1=-I\n2=F\n3=\n3bit=5\n4=B\n4bit=1\n5=-\n6=I\n");
    // INFO: 2 skipped bytes, item 1 (skipped, 4), item 2 float 1.0 (8), item 3 I (4), item 4
    // one byte (2), item 5 skipped default I (4), item 6 FFFF.
    port.Reply(Reply("AABB" "1234" "0000803F" "8001" "A5" "9999" "FFFF"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_FALSE(Has("42H01")) << "a skipped item stores nothing";
    EXPECT_EQ(Val("42H02"), "10") << "float 1.0 times dfac 10; the first item started at character 17";
    EXPECT_EQ(Val("42H03"), "32769");
    EXPECT_EQ(Val("42H04"), "165");
    EXPECT_FALSE(Has("42H05"));
    EXPECT_EQ(Val("42H06"), "65535");
    // 3bit of 5 expands 32 bits, not 40.
    EXPECT_EQ(Val("42H03-0"), "1");
    EXPECT_EQ(Val("42H03-1"), "0");
    EXPECT_EQ(Val("42H03-15"), "1");
    EXPECT_EQ(Val("42H03-31"), "0");
    EXPECT_FALSE(Has("42H03-32"));
    const char* bits = "10100101";  // 4bit of 1: 8 bits of 0xA5
    for (int b = 0; b < 8; ++b) EXPECT_EQ(Val("42H04-" + std::to_string(b)), std::string(1, bits[b])) << b;
    EXPECT_FALSE(Has("42H04-8"));
    EXPECT_FALSE(Has("42H07")) << "the items end before CHKSUM";
}

TEST_F(YdtTest, AbsentItemsAreEmptyAndShortRepliesGiveNothing)
{
    Load(std::string(kKept) + "cid2=42 43 44\ndinfo=B\n[43H]\n1=I\n[44H]\n1=I\n");
    port.Reply(Reply("2020" "07"));
    port.Reply("~2101600");  // cut off, then silence
    port.Reply("");
    port.Reply(Reply("2020"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1) << "short replies do not fail the poll";
    EXPECT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(Val("42H01"), "");
    EXPECT_EQ(Val("42H02"), "");
    EXPECT_EQ(Val("42H03"), "7");
    EXPECT_EQ(Val("44H01"), "") << "I 2020 is the absent mark too";
    EXPECT_FALSE(Has("43H01"));

    for (int i = 0; i < 3; ++i) port.Reply(Reply(""));  // exactly 18 characters: no items
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(ValCount(), 0u);
}

TEST_F(YdtTest, ReturnCodeIsIgnoredWhilePollingButFailsAControl)
{
    Load(std::string(kKept) + "cid2=42\nYk01=01\nYk02=\n[42H]\n1=I\n");
    port.Reply(Reply("0102", "04"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("42H01"), "258");

    port.writes.clear();
    port.Reply(Reply("", "04"));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(Text(port.writes[0]), "~21016045E00201FD35\r");
    EXPECT_EQ(port.readCaps.back(), 18);
    port.Reply(Reply("", "00"));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 1);
    port.Reply(Reply("", "00").substr(0, 8));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0) << "too short";
    port.shortWriteBy = 1;
    port.Reply(Reply("", "00"));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0) << "short write";
    port.shortWriteBy = 0;
    size_t before = port.writes.size();
    EXPECT_EQ(d.DoFunc(&port, 1, 2, nullptr, 0), 0) << "empty control text";
    EXPECT_EQ(d.DoFunc(&port, 1, 3, nullptr, 0), 0) << "no such control";
    EXPECT_EQ(port.writes.size(), before);

    // Without a stored version the control asks for it, and gives up without an answer.
    Load("[comm]\ncid2=42\nYk07=0110\n");
    port.writes.clear();
    port.replies.clear();
    port.Reply("");
    EXPECT_EQ(d.DoFunc(&port, 2, 7, nullptr, 0), 0);
    EXPECT_EQ(port.writes.size(), 1u) << "only the version query went out";
    port.Reply(Reply("", "00", "20", 2));
    port.Reply(Reply("", "00", "20", 2));
    EXPECT_EQ(d.DoFunc(&port, 2, 7, nullptr, 0), 1);
    EXPECT_EQ(d.Version(), "20");
    EXPECT_EQ(Text(port.writes[2]).substr(0, 17), "~20026045C0040110");
    port.Reply(Reply("", "00", "20", 2));
    EXPECT_EQ(d.DoFunc(&port, 2, 7, nullptr, 0), 1);
    EXPECT_EQ(port.writes.size(), 4u) << "the stored version is used";
}

TEST_F(YdtTest, OnlyTheRequestsAdrCountsAndFactorsAreMultipliers)
{
    // 42: a float times 0.5; 43: a negative dmax reads nothing but does not fail the poll.
    Load(std::string(kKept) + "cid2=42 43\n[42H]\ndinfo=F\ndfac=0.5\n[43H]\ndmax=-5\n");
    port.Reply(Reply("0000C842", "00", "21", 2));  // 100.0 from ADR 2, late
    port.Reply(Reply("0000C843", "00", "21", 1));  // 400.0, its own
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("42H01"), "200");
    EXPECT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(port.reads, 2) << "43 with dmax 0 reads nothing";

    port.replies.clear();
    port.Reply(Reply("0000C842", "00", "21", 2));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_FALSE(Has("42H01")) << "another ADR's reply stores nothing";
}

TEST_F(YdtTest, OversizedReplyAndInfoAreRefusedWithoutSending)
{
    Load(std::string(kKept) + "cid2=42,43\nYk01=" + std::string(46, '0') + "\nYk02=" + std::string(45, '0') +
         "\ndinfo=B\n[42H]\ndmax=512\n[43H]\ndmax=513\n");
    port.Reply(Reply("01"));
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0) << "dmax 513 does not fit the reply buffer";
    EXPECT_EQ(port.writes.size(), 1u) << "43 was not sent";
    EXPECT_EQ(port.readCaps, (std::vector<int>{512}));
    EXPECT_EQ(Val("42H01"), "1") << "what the first command stored stays";
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0);
    EXPECT_EQ(port.writes.size(), 1u) << "46 INFO characters do not fit the command buffer";
    port.Reply(Reply(""));
    EXPECT_EQ(d.DoFunc(&port, 1, 2, nullptr, 0), 1);
    EXPECT_EQ(port.writes.back().size(), 63u);
    EXPECT_NE(Log().find("[43H] dmax 513"), std::string::npos);
    EXPECT_NE(Log().find("Yk01 of 46"), std::string::npos);

    Load(std::string(kKept) + "cid2=42\n[42H]\ndcmd=" + std::string(46, '1') + "\n");
    port.writes.clear();
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(YdtTest, AFullReplyBufferIsReadWithoutOverrun)
{
    Load(std::string(kKept) + "cid2=42\ndinfo=F\n[42H]\ndmax=512\ndflag=2\n");
    std::string info = "AAAA";
    while (info.size() < 600) info += "0000803F";
    port.Reply(Reply(info));  // longer than 512: the read stops there
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(port.readCaps, (std::vector<int>{512}));
    // Items start at 17, 25, ..., 505 (below 512 - 5): 62 items. The last one has only 7 of
    // its 8 characters in the buffer and reads no further: 00 00 80 03 is almost 0.
    EXPECT_EQ(Val("42H61"), "1");
    EXPECT_EQ(Val("42H62"), "0");
    EXPECT_FALSE(Has("42H63"));
}

TEST_F(YdtTest, RefusesWhenUnloadedClosedOrAfterAShortWrite)
{
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0) << "unloaded";
    Load(std::string(kKept) + "cid2=42,43\ndinfo=B\n");
    d.Ini().SetValue(SEC_VALS, "old", 1);
    EXPECT_EQ(d.DataGet(nullptr, 1, 0), 0);
    EXPECT_FALSE(Has("old")) << "the readings are cleared first";
    port.open = false;
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_TRUE(port.writes.empty());

    port.open = true;
    port.failWritesFrom = 1;
    port.Reply(Reply("07"));
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("42H01"), "7");
    EXPECT_EQ(port.reads, 1) << "no read after the failed write";

    Load(std::string(kKept) + "cid2=\n");
    port.writes.clear();
    EXPECT_EQ(d.DataGet(&port, 1, 0), 1) << "no codes: nothing sent, still a poll";
    EXPECT_TRUE(port.writes.empty());
}

}  // namespace
