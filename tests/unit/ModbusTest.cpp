// The definition-driven Modbus driver: requests, decoding, splits and controls.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/DefKit.h"

namespace {

class ModbusTest : public DefTest<CSMModbus, 4608> {
protected:
    // An RTU read reply of address `addr` carrying the given data bytes.
    void RtuData(unsigned char fc, const Bytes& data)
    {
        Bytes b = {addr, fc, static_cast<unsigned char>(data.size())};
        b.insert(b.end(), data.begin(), data.end());
        port.ReplyRtu(b);
    }
    void Regs(const std::vector<unsigned>& regs, unsigned char fc = 3)
    {
        Bytes d;
        for (unsigned r : regs) {
            d.push_back(static_cast<unsigned char>(r >> 8));
            d.push_back(static_cast<unsigned char>(r & 0xFF));
        }
        RtuData(fc, d);
    }
    unsigned char addr = 1;
};

TEST_F(ModbusTest, ReadsTheHoldingRegistersOfTheExample)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=2\n[flds]\ncnt=2\n1=40001\n2=40002\n40002=S0.1\n"
         "[flds.def]\n1='Ua',1,'Voltage',0,10,0,0,'',0,''\n2='T',1,'Temperature',0,1,0,0,'',0,''\n");
    EXPECT_EQ(loadOut, "CSMModbus::UpdLoad  d=0  0ms  tout=300  DataByte=0\n");
    Regs({2201, 0xFF9C});
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(ToHex(port.writes[0]), "01 03 00 00 00 02 C4 0B");
    EXPECT_EQ(port.readCaps, std::vector<int>{MB_REPLY_SIZE});
    EXPECT_EQ(port.readTimeouts, std::vector<int>{0});
    EXPECT_EQ(port.purges, 1);
    EXPECT_EQ(Val("40001"), "2201");
    EXPECT_EQ(Val("40002"), "-10") << "signed -100 times 0.1";
    EXPECT_EQ(ValCount(), 2u);
    EXPECT_EQ(d.DataVal(1), 2201);
    EXPECT_EQ(d.DataVal(2), -10);
    EXPECT_EQ(d.Ini().GetValue(SEC_FLDSVAL, "Ua"), "1");
    EXPECT_EQ(d.Ini().GetValue(SEC_FLDSVAL, "T"), "2");
    EXPECT_EQ(d.Ini().GetValue(SEC_FLDSVAL, "1"), "10");
}

TEST_F(ModbusTest, SixteenBitTypesAndMultipliers)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=11\n"
         "[flds]\n40001=S\n40003=s\n40004=u\n40005=U\n40006=X\n40007=S2\n40008=S0.5\n40009=10\n40010=S0.5\n"
         "40011=S1000000\n");
    Regs({0x1234, 0xFFFE, 0xFEFF, 0x3412, 0xFFFF, 0x8001, 0xFFF0, 101, 7, 0xFFFD, 0x7FFF});
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("40001"), "4660");
    EXPECT_EQ(Val("40002"), "65534") << "no format: unsigned";
    EXPECT_EQ(Val("40003"), "-2") << "signed, low byte first";
    EXPECT_EQ(Val("40004"), "4660") << "unsigned, low byte first";
    EXPECT_EQ(Val("40005"), "65535");
    EXPECT_EQ(Val("40006"), "32769") << "an unknown letter reads unsigned";
    EXPECT_EQ(Val("40007"), "-32") << "signed -16 times 2";
    EXPECT_EQ(Val("40008"), "50") << "S0.5 halves";
    EXPECT_EQ(Val("40009"), "70") << "a format starting with a digit is a multiplier";
    EXPECT_EQ(Val("40010"), "-1") << "-1.5 truncated toward zero";
    EXPECT_EQ(Val("40011"), "2147483647") << "held at the int range";
}

TEST_F(ModbusTest, ThirtyTwoBitTypesConsumeTheNextRegister)
{
    Load("[comm]\ndelay=0\n[regs4]\n0=7\n[regs3]\n0=4\n"
         "[flds]\n30001=I\n30003=l\n30005=L\n30007=U\n40001=L.5\n"
         "[regs4]\n5bit=1\n[regs3]\n1bit=1\n1HL=1\n");
    Regs({0x0102, 0x0000, 0x00AB, 9});
    Regs({0x0A0B});  // "1HL" is a block of its own
    Regs({0x8234, 0x5678, 0x7856, 0x3412, 0x5678, 0x1234, 7}, 4);
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(port.writes[0][1], 3) << "function codes in order 1..4";
    EXPECT_EQ(ToHex(port.writes[1]).substr(0, 17), "01 03 00 01 00 01");
    EXPECT_EQ(Val("30001"), "-2110499208") << "stored bit for bit";
    EXPECT_EQ(Val("30003"), "305419896");
    EXPECT_EQ(Val("30005"), "305419896") << "second word high";
    EXPECT_EQ(Val("30002"), "<absent>");
    EXPECT_EQ(Val("30006"), "<absent>");
    EXPECT_EQ(Val("30007"), "7");
    EXPECT_EQ(Val("30005-3"), "1") << "bits keyed by the last register: 5bit";
    EXPECT_EQ(Val("30005-7"), "0");
    EXPECT_EQ(Val("30005-8"), "<absent>");
    EXPECT_EQ(Val("40001"), "1290") << "L.5: 0x0102 times 5";
    EXPECT_EQ(Val("40003"), "171") << "the next value decoded";
    EXPECT_EQ(Val("40001-1"), "1") << "1bit applies to the L value";
    EXPECT_EQ(Val("40001-8"), "<absent>") << "1bit=1: one byte, eight bits";
    EXPECT_EQ(Val("40001-H"), "5");
    EXPECT_EQ(Val("40001-L"), "10");
    EXPECT_EQ(Val("40002"), "2571") << "read again by the 1HL block";
    EXPECT_EQ(Val("40002-L"), "11");
}

TEST_F(ModbusTest, FloatsApplyTheirMultiplierInSinglePrecision)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=8\n[flds]\n40001=F10\n40003=f100\n40005=F\n40007=F10\n");
    unsigned char le[4], nle[4];
    float v = 12.34f, neg = -12.34f;
    std::memcpy(le, &v, 4);  // the test machine is little-endian: least significant byte first
    std::memcpy(nle, &neg, 4);
    // f: word(p+2) is the high word, so the low word comes first.
    RtuData(3, {le[0], le[1], le[2], le[3], le[1], le[0], le[3], le[2], le[0], le[1], le[2], le[3], nle[0], nle[1],
                nle[2], nle[3]});
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("40001"), "123");
    EXPECT_EQ(Val("40003"), "1234");
    EXPECT_EQ(Val("40005"), "12") << "no multiplier: times 1, truncated";
    EXPECT_EQ(Val("40007"), "-123") << "truncated toward zero";
}

TEST_F(ModbusTest, CoilsStoreTheWeightOfEachBitOverRtuAndTcp)
{
    Load("[comm]\ndelay=0\n[regs1]\n0=10\n[regs2]\n16=8\n[regs3]\n4=1\n");
    RtuData(1, {0x05, 0x80});
    RtuData(2, {0x81});
    Regs({5});
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(ToHex(port.writes[0]), "01 01 00 00 00 0A BC 0D");
    EXPECT_EQ(Val("00001"), "1");
    EXPECT_EQ(Val("00002"), "0");
    EXPECT_EQ(Val("00003"), "4");
    EXPECT_EQ(Val("00016"), "128") << "every bit of every received byte";
    EXPECT_EQ(Val("00017"), "<absent>");
    EXPECT_EQ(Val("10017"), "1");
    EXPECT_EQ(Val("10024"), "128");
    EXPECT_EQ(d.TransId(), 1) << "RTU requests take no transaction id";

    port.writes.clear();
    port.mode = QVSM_MODE_TCP;
    port.ReplyHex("00 01 00 00 00 05 07 01 02 05 80");
    port.ReplyHex("00 02 00 00 00 04 07 02 01 81");
    port.ReplyHex("00 03 00 00 00 05 07 03 02 01 02");
    ASSERT_EQ(d.DataGet(&port, 7, 0), 1);
    ASSERT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(ToHex(port.writes[0]), "00 01 00 00 00 06 07 01 00 00 00 0A");
    EXPECT_EQ(ToHex(port.writes[2]), "00 03 00 00 00 06 07 03 00 04 00 01");
    EXPECT_EQ(Val("00003"), "4") << "numbered from the first data byte, as over RTU";
    EXPECT_EQ(Val("00016"), "128");
    EXPECT_EQ(Val("40005"), "258");
    EXPECT_EQ(d.TransId(), 4);

    // Bit 0x10000 of the flag argument keeps RTU frames on a network port.
    addr = 7;
    RtuData(1, {0x01, 0});
    RtuData(2, {0});
    Regs({5});
    ASSERT_EQ(d.DataGet(&port, 7, 0x10000), 1);
    EXPECT_EQ(port.writes[3].size(), 8u);
    EXPECT_EQ(d.TransId(), 4);
}

TEST_F(ModbusTest, TransactionIdSendsItsLowSixteenBits)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=1\n");
    port.mode = QVSM_MODE_TCP;
    for (int i = 0; i < 0xFFFF; ++i) d.DataGet(&port, 1, 0);  // no replies: each poll fails after its request
    EXPECT_EQ(d.TransId(), 0x10000);
    port.writes.clear();
    d.DataGet(&port, 1, 0);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0][0], 0);
    EXPECT_EQ(port.writes[0][1], 0);
}

TEST_F(ModbusTest, OnlyTheReplyToEachRequestIsStored)
{
    // Register 1 of unit 1 over RTU and TCP: each row queues the reads of one poll.
    Load("[comm]\ndelay=0\n[regs3]\n0=1\n");
    const Bytes late = [] { ScriptPort p; p.ReplyRtu({0x02, 0x03, 0x02, 0x00, 0x63}); return p.replies.back(); }();
    const Bytes own = [] { ScriptPort p; p.ReplyRtu({0x01, 0x03, 0x02, 0x00, 0x2A}); return p.replies.back(); }();
    Bytes both = late;
    both.insert(both.end(), own.begin(), own.end());
    const struct {
        bool tcp;
        std::vector<std::string> reads;  // hex; over TCP "ID" is this request's transaction id, "OLD" the one before
        int ok;
    } cases[] = {
        {false, {ToHex(late), ToHex(own)}, 1},
        {false, {ToHex(both)}, 1},
        {false, {ToHex(late)}, 0},
        {false, {"01 83 02 C0 F1", ToHex(own)}, 0},  // exception
        {true, {"OLD 00 00 00 05 01 03 02 00 63", "ID 00 00 00 05 01 03 02 00 2A"}, 1},
        {true, {"OLD 00 00 00 05 01 03 02 00 63 ID 00 00 00 05 01 03 02 00 2A"}, 1},
        {true, {"ID 00 00 00 05 02 03 02 00 63", "ID 00 00 00 05 01 03 02 00 2A"}, 1},  // another unit
        {true, {"ID 00 00 00 07 01 03 04 00 2A 00 00"}, 0},  // two registers for one
        {true, {"ID 00 00 00 03 01 83 02"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reads[0]);
        port.replies.clear();
        port.mode = c.tcp ? QVSM_MODE_TCP : 0;
        char id[8], old[8];
        std::snprintf(id, sizeof id, "%02X %02X", (d.TransId() >> 8) & 0xFF, d.TransId() & 0xFF);
        std::snprintf(old, sizeof old, "%02X %02X", ((d.TransId() - 1) >> 8) & 0xFF, (d.TransId() - 1) & 0xFF);
        for (std::string r : c.reads) {
            for (size_t at; (at = r.find("OLD")) != std::string::npos;) r.replace(at, 3, old);
            for (size_t at; (at = r.find("ID")) != std::string::npos;) r.replace(at, 2, id);
            port.ReplyHex(r);
        }
        EXPECT_EQ(d.DataGet(&port, 1, 0), c.ok);
        EXPECT_EQ(Val("40001"), c.ok ? "42" : "<absent>");
    }
}

TEST_F(ModbusTest, CrcSwitch)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=1\n");
    port.ReplyHex("01 03 02 00 2A 00 00");  // wrong CRC
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(ValCount(), 0u);

    Load("[comm]\ndelay=0\ncrc=0\n[regs3]\n0=1\n");
    port.ReplyHex("01 03 02 00 2A 00 00");
    EXPECT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("40001"), "42");
    EXPECT_EQ(ValCount(), 1u) << "the last two bytes are the CRC, never data";
}

TEST_F(ModbusTest, NothingIsDecodedFromBytesThatWereNotReceived)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=1\n10=2\n");  // "0" before "10"
    // Exception reply: passes the length and CRC tests but carries no data.
    Regs({7});
    port.ReplyRtu({0x01, 0x83, 0x02});
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("40001"), "7") << "values of the blocks read before stay";
    EXPECT_EQ(Val("40011"), "<absent>");
    // A reply shorter than its block, and fewer bytes than the shortest reply.
    Regs({7});
    Regs({1});
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("40011"), "<absent>");
    port.ReplyHex("01 03 00 00");
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);

    // Over TCP: an exception reply and a short one.
    port.mode = QVSM_MODE_TCP;
    port.ReplyHex("00 01 00 00 00 03 01 83 02");
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    port.ReplyHex("00 02 00 00 00 05 01 03 02 00 07");
    port.ReplyHex("00 03 00 00 00 05 01 03 02 00 01");
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("40011"), "<absent>");

    // Coils: fewer data bytes than the block needs; a 32-bit value at the end of a block.
    Load("[comm]\ndelay=0\ncrc=0\n[regs1]\n0=9\n");
    port.mode = 0;
    RtuData(1, {0xFF});
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(ValCount(), 0u);
    Load("[comm]\ndelay=0\n[regs3]\n0=2\n[flds]\n40002=I\n");
    Regs({1, 2});
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("40001"), "1");
    EXPECT_EQ(Val("40002"), "<absent>");
}

TEST_F(ModbusTest, OversizeBlocksAreRefusedBeforeSending)
{
    for (const char* regs : {"[regs3]\n0=126\n", "[regs1]\n0=2001\n", "[regs4]\n65535=2\n", "[regs3]\n0=-1\n"}) {
        Load(std::string("[comm]\ndelay=0\n") + regs);
        EXPECT_EQ(d.DataGet(&port, 1, 0), 0) << regs;
    }
    EXPECT_TRUE(port.writes.empty());
    EXPECT_NE(Log().find("over the Modbus limits"), std::string::npos);

    // The largest blocks are read.
    Load("[comm]\ndelay=0\n[regs3]\n0=125\n[regs1]\n0=2000\n");
    RtuData(1, Bytes(250, 0));
    Regs(std::vector<unsigned>(125, 3));
    EXPECT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("40125"), "3");
    EXPECT_EQ(Val("02000"), "0");
}

TEST_F(ModbusTest, BlockKeysAndSplitKeys)
{
    // "5bit" is no block; "5HL" is a block at 5 and marks register 5 for the byte split;
    // blocks run in text order ("10" before "5HL"); count 0 is skipped; a key without a
    // number reads at address 0.
    Load("[comm]\ndelay=0\n[regs3]\n5bit=2\n5HL=1\n10=1\n20=0\nxy=3\n");
    Regs({0x0300});
    Regs({0xA5C3});
    Regs({7, 8, 9});
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(ToHex(port.writes[2]), "01 03 00 00 00 03 05 CB");
    EXPECT_EQ(Val("40003"), "9");
    EXPECT_EQ(ToHex(port.writes[0]), "01 03 00 0A 00 01 A4 08");
    EXPECT_EQ(port.writes[1][3], 5);
    EXPECT_EQ(Val("40011"), "768");
    EXPECT_EQ(Val("40006"), "42435");
    EXPECT_EQ(Val("40006-0"), "1");
    EXPECT_EQ(Val("40006-14"), "0");
    EXPECT_EQ(Val("40006-15"), "1");
    EXPECT_EQ(Val("40006-16"), "<absent>") << "at most 16 bits";
    EXPECT_EQ(Val("40006-H"), "165") << "the byte split works on the unshifted value";
    EXPECT_EQ(Val("40006-L"), "195");
}

TEST_F(ModbusTest, ByteModeReadsOneAddressPerByte)
{
    Load("[comm]\ndelay=0\nDataByte=1\n[regs3]\n0=8\n"
         "[flds]\n40002=S\n40004=I\n40008=b\n[regs3]\n0bit=2\n0HL=1\n");
    RtuData(3, {0xC3, 0xFF, 0x38, 0x12, 0x34, 0x56, 0x78, 0x09, 0, 0, 0, 0, 0, 0, 0, 0});
    RtuData(3, {0xC3, 0x00});  // the "0HL" block
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("40001"), "195");
    EXPECT_EQ(Val("40002"), "-200") << "two bytes, high first";
    EXPECT_EQ(Val("40003"), "<absent>");
    EXPECT_EQ(Val("40004"), "305419896");
    EXPECT_EQ(Val("40008"), "9");
    EXPECT_EQ(Val("40001-7"), "1");
    EXPECT_EQ(Val("40001-8"), "<absent>") << "at most 8 bits";
    EXPECT_EQ(Val("40001-H"), "<absent>") << "no byte split in byte mode";
}

TEST_F(ModbusTest, PortAndLoadFailures)
{
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0) << "unloaded";
    Load("[comm]\ndelay=0\n[regs3]\n0=2\n");
    Regs({1, 2});
    port.shortWriteBy = 1;
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.reads, 0) << "no read after a short write";
    port.shortWriteBy = 0;
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    port.open = false;
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(ValCount(), 0u) << "a poll starts from an empty [vals]";
    EXPECT_EQ(d.DataGet(nullptr, 1, 0), 0);
    EXPECT_EQ(port.writes.size(), 2u) << "nothing sent to a closed or missing port";

    Load("[comm]\nnote=x\n");
    port.open = true;
    EXPECT_EQ(d.DataGet(&port, 1, 0), 1) << "a definition without blocks polls with no values";
    EXPECT_EQ(port.writes.size(), 2u);
}

TEST_F(ModbusTest, PausesFollowDelayAndDelayv)
{
    Load("[regs3]\n0=1\n[flds]\ncnt=1\n1=40001\n");
    Regs({5});
    FakeClock::Sleeps().clear();
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{10000}) << "delay 10 ms by default";
    FakeClock::Sleeps().clear();
    EXPECT_EQ(d.DataVal(1), 5);
    EXPECT_EQ(d.DataVal(2), -1);
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{10000}) << "delayv 30: one pause, none above cnt";

    Load("[comm]\ndelay=25\ndelayv=0\n[regs3]\n0=1\n[flds]\ncnt=1\n1=40001\n");
    Regs({5});
    FakeClock::Sleeps().clear();
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(d.DataVal(1), 5);
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{25000});
}

TEST_F(ModbusTest, DebugTrace)
{
    Load("[comm]\ndebug=1\ndelay=0\nbrief=U=%1%\n[regs3]\n0=1\n[flds]\ncnt=1\n1=40001\n"
         "[flds.def]\n1='U',1,'u',0,10,0\n");
    addr = 3;
    Regs({2345});
    testing::internal::CaptureStdout();
    ASSERT_EQ(d.DataGet(&port, 3, 0x10000), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "regs1\nregs2\nregs3\n0=1\nircv=7\nregs4\nt=4608  iaddr=3  iext=65536\n40001=2345\nbrief=U=234.5\n");
}

// ---- controls ----------------------------------------------------------------------------------

class ModbusCtlTest : public ModbusTest {
protected:
    void SetUp() override
    {
        std::string pdu62(124, '0'), pdu61(122, '0'), pdu58(116, '0'), pdu57(114, '0');
        pdu62[1] = pdu61[1] = pdu58[1] = pdu57[1] = '6';
        Load("[comm]\ndelay=5\nYk01=0600010001\nYk02=06 0001\nYk03=0600010\nYk04=" + pdu61 + "\nYk05=" + pdu62 +
             "\nYk06=" + pdu57 + "\nYk07=" + pdu58 + "\nYk100=0F00000003010500\n");
    }
};

TEST_F(ModbusCtlTest, RtuControl)
{
    port.ReplyHex("01 06 00 01 00 01 19 CA");
    FakeClock::Sleeps().clear();
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 1);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(ToHex(port.writes[0]), "01 06 00 01 00 01 19 CA");
    EXPECT_EQ(port.readCaps.back(), 10) << "request length + 2";
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{5000});

    // Exception reply, short reply, no reply.
    port.ReplyRtu({0x01, 0x86, 0x02});
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0);
    port.ReplyHex("01 06 00 01");
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0);
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0);

    // Yk100: command number above 99.
    port.ReplyHex("02 0F 00 00 00 03 00 00");
    EXPECT_EQ(d.DoFunc(&port, 2, 100, nullptr, 0), 1);
    EXPECT_EQ(ToHex(port.LastWrite()).substr(0, 23), "02 0F 00 00 00 03 01 05");
    EXPECT_EQ(d.TransId(), 1);
}

TEST_F(ModbusCtlTest, TcpControlUsesTheTransactionId)
{
    port.mode = QVSM_MODE_TCP;
    port.ReplyHex("00 01 00 00 00 06 01 06 00 01 00 01");
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 1);
    EXPECT_EQ(ToHex(port.writes[0]), "00 01 00 00 00 06 01 06 00 01 00 01");
    port.ReplyHex("00 02 00 00 00 03 01 86 02");
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0);
    EXPECT_EQ(port.writes[1][1], 2);
    // len bit 0x10000: RTU over the network port.
    port.ReplyHex("01 06 00 01 00 01 19 CA");
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0x10000), 1);
    EXPECT_EQ(ToHex(port.writes[2]), "01 06 00 01 00 01 19 CA");
    EXPECT_EQ(d.TransId(), 3);
}

TEST_F(ModbusCtlTest, RefusedControlsSendNothing)
{
    EXPECT_EQ(d.DoFunc(&port, 1, 0x10001, nullptr, 0), 0) << "bits 16..23 of the command";
    EXPECT_EQ(d.DoFunc(&port, 1, 9, nullptr, 0), 0) << "no such control";
    EXPECT_EQ(d.DoFunc(&port, 1, 2, nullptr, 0), 0) << "not hex";
    EXPECT_EQ(d.DoFunc(&port, 1, 3, nullptr, 0), 0) << "odd number of digits";
    EXPECT_EQ(d.DoFunc(&port, 1, 5, nullptr, 0), 0) << "62 bytes do not fit an RTU request";
    port.mode = QVSM_MODE_TCP;
    EXPECT_EQ(d.DoFunc(&port, 1, 7, nullptr, 0), 0) << "58 bytes do not fit a TCP request";
    port.open = false;
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0);
    EXPECT_EQ(d.DoFunc(nullptr, 1, 1, nullptr, 0), 0);
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(d.TransId(), 1);
    std::string log = Log();
    EXPECT_NE(log.find("Yk05 is too long"), std::string::npos);
    EXPECT_NE(log.find("Yk07 is too long for TCP"), std::string::npos);
    EXPECT_NE(log.find("Yk02 is not a request in hex"), std::string::npos);

    // The largest requests fit the 64-byte buffer exactly.
    port.open = true;
    port.ReplyHex("00 01 00 00 00 03 01 06 00");
    EXPECT_EQ(d.DoFunc(&port, 1, 6, nullptr, 0), 1);
    EXPECT_EQ(port.writes.back().size(), 64u);
    port.mode = 0;
    port.ReplyHex("01 06 00 00 00");
    EXPECT_EQ(d.DoFunc(&port, 1, 4, nullptr, 0), 1);
    EXPECT_EQ(port.writes.back().size(), 64u);

    CSMModbus unloaded(4608);
    EXPECT_EQ(unloaded.DoFunc(&port, 1, 1, nullptr, 0), 0);
}

}  // namespace
