// Modbus RTU/TCP requests, YD/T 1363 frames and the exchange routines of the driver base.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/SMBase.h"
#include "base/TeFrame.h"
#include "tests/kit/Kit.h"

namespace {

const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }
std::string Text(const unsigned char* p, int n) { return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)); }
Bytes Frame(const unsigned char* p, int n) { return Bytes(p, p + n); }

// "~" + body + CHKSUM + CR, the checksum worked out here from the characters of body.
std::string YdFrame(const std::string& body)
{
    unsigned int s = 0;
    for (unsigned char c : body) s += c;
    char chk[8];
    std::snprintf(chk, sizeof chk, "%04X", (0x10000u - (s & 0xFFFFu)) & 0xFFFFu);
    return "~" + body + chk + "\r";
}

// Logs the order of port calls; sleeps are marked by the fake clock count seen at each call.
class OrderPort : public ScriptPort {
public:
    int IsOpen() override { Mark('I'); return ScriptPort::IsOpen(); }
    int Purge() override { Mark('P'); return ScriptPort::Purge(); }
    int Write(const unsigned char* b, int n) override { Mark('W'); return ScriptPort::Write(b, n); }
    int Read(unsigned char* b, int cap, int t) override { Mark('R'); return ScriptPort::Read(b, cap, t); }
    std::string log;

private:
    void Mark(char c)
    {
        while (seenSleeps < FakeClock::Sleeps().size()) {
            log += 'S';
            ++seenSleeps;
        }
        log += c;
    }
    size_t seenSleeps = 0;
};

class FramingTest : public ::testing::Test {
protected:
    FakeClock clock;
    CSMBase drv{1280};
    ScriptPort port;
    unsigned char rbuf[512] = {};
};

}  // namespace

TEST_F(FramingTest, ModbusRequestsInTheCommandBuffer)
{
    EXPECT_EQ(drv.ModBusCmd(1, 3, 0, 10), 8);
    EXPECT_EQ(Frame(drv.CmdBuf(), 8), HexBytes("01 03 00 00 00 0A C5 CD"));
    EXPECT_EQ(drv.ModBusCmd(0x11, 4, 0x0108, 0x0102), 8);
    EXPECT_EQ(Frame(drv.CmdBuf(), 6), HexBytes("11 04 01 08 01 02"));
    EXPECT_EQ(CBufHelper::crc16(drv.CmdBuf(), 6), CBufHelper::wdFromBufLH(drv.CmdBuf() + 6));

    EXPECT_EQ(drv.ModBusTcpCmd(7, 1, 4, 0x100, 2), 12);
    EXPECT_EQ(Frame(drv.CmdBuf(), 12), HexBytes("00 07 00 00 00 06 01 04 01 00 00 02"));
    EXPECT_EQ(drv.ModBusTcpCmd(0xABCD, 0xF7, 3, 0x1234, 0x5678), 12);
    EXPECT_EQ(Frame(drv.CmdBuf(), 12), HexBytes("AB CD 00 00 00 06 F7 03 12 34 56 78"));
}

TEST_F(FramingTest, TeCmdPackBuildsFramesInArgumentOrder)
{
    unsigned char b[64];
    int n = TE_CmdPack(b, 0x21, 0x40, 0x42, 1, nullptr, 0, '~', '\r');
    EXPECT_EQ(Text(b, n), YdFrame("210140420000"));
    EXPECT_EQ(Text(b, n), "~210140420000FDB2\r");

    // Address comes after CID2 in the argument list, before it in the frame.
    n = TE_CmdPack(b, 0x00, 0x60, 0x4F, 0x01, nullptr, 0, '~', '\r');
    EXPECT_EQ(Text(b, n), "~0001604F0000FD9F\r");
    n = TE_CmdPack(b, 0x10, 0x60, 0x42, 0x01, nullptr, 0, '~', '\r');
    EXPECT_EQ(Text(b, n), "~100160420000FDB2\r");

    const unsigned char info[2] = {0x0A, 0xF1};
    n = TE_CmdPack(b, 0x21, 0x2A, 0x44, 0x02, info, 1, '~', '\r');
    EXPECT_EQ(n, 20);
    EXPECT_EQ(Text(b, n), YdFrame("21022A44E0020A"));
    EXPECT_EQ(CBufHelper::YdChk(b, n), 0);
    n = TE_CmdPack(b, 0x21, 0x2A, 0x44, 0x02, info, 2, '~', '\r');
    EXPECT_EQ(Text(b, n), YdFrame("21022A44C0040AF1"));

    // The INFO count is taken modulo 4096.
    n = TE_CmdPack(b, 0x21, 0x2A, 0x44, 0x02, info, 4096 + 1, '~', '\r');
    EXPECT_EQ(n, 20);
    EXPECT_EQ(Text(b + 9, 4), "E002");

    // Other start and end characters are written as given and left out of the checksum.
    n = TE_CmdPack(b, 0x21, 0x40, 0x42, 1, nullptr, 0, '<', '>');
    EXPECT_EQ(Text(b, n), "<210140420000FDB2>");
    EXPECT_EQ(TE_CmdPack(nullptr, 0x21, 0x40, 0x42, 1, nullptr, 0, '~', '\r'), 0);
}

TEST_F(FramingTest, TeChecksAndLength)
{
    EXPECT_EQ(TE_GetChkLength(0), 0x0000);
    EXPECT_EQ(TE_GetChkLength(2), 0xE002);
    EXPECT_EQ(TE_GetChkLength(0x012), 0xD012);
    EXPECT_EQ(TE_GetChkLength(0xFFFF), 0x3FFF) << "only 12 bits of LENID";

    const std::string good = "~0001604F0000FD9F\r";
    EXPECT_EQ(TE_GetChkSum(U(good.c_str()), static_cast<unsigned short>(good.size())), 1);
    const std::string lower = "~0001604F0000fd9f\r";
    EXPECT_EQ(TE_GetChkSum(U(lower.c_str()), static_cast<unsigned short>(lower.size())), 0);
    const std::string wrong = "~0001604F0000FD9E\r";
    EXPECT_EQ(TE_GetChkSum(U(wrong.c_str()), static_cast<unsigned short>(wrong.size())), 0);
    const std::string tail = good + "0";
    EXPECT_EQ(TE_GetChkSum(U(tail.c_str()), static_cast<unsigned short>(tail.size())), 0) << "must end with EOI";

    EXPECT_EQ(TE_GetChkPack(U("~09AF \r"), 7), 1);
    EXPECT_EQ(TE_GetChkPack(U("~09aF\r"), 6), 0);
    EXPECT_EQ(TE_GetChkPack(U("~09GF\r"), 6), 0);
    EXPECT_EQ(TE_GetChkPack(U("~09AF\n"), 6), 0);
    EXPECT_EQ(TE_GetChkPack(U("~09AFz"), 5), 1) << "only len characters";
    EXPECT_EQ(TE_GetChkPack(nullptr, 4), 0);
}

TEST_F(FramingTest, TeAsciiFieldDecoding)
{
    EXPECT_EQ(TE_Ascii2uint8(U("7F"), 2), 0x7F);
    EXPECT_EQ(TE_Ascii2uint8(U("7F"), 3), 0);
    EXPECT_EQ(TE_Ascii2uint8(U(" 7"), 2), 0);
    EXPECT_EQ(TE_Ascii2uint16(U("1A2B"), 4), 0x1A2B);
    EXPECT_EQ(TE_Ascii2uint16(U("1A 2"), 4), 0);
    EXPECT_EQ(TE_Ascii2uint16(U("1A2B"), 2), 0);
    EXPECT_EQ(TE_Ascii2uint32(U("89ABCDEF"), 8), 0x89ABCDEFu);
    EXPECT_EQ(TE_Ascii2uint32(U("89ABCDEF"), 4), 0u);
    EXPECT_EQ(TE_Ascii2uint32(U("89ABCDE "), 8), 0u);

    EXPECT_FLOAT_EQ(TE_Ascii2float(U("0000803F"), 8), 1.0f);
    EXPECT_FLOAT_EQ(TE_Ascii2float(U("0000C0BF"), 8), -1.5f);
    EXPECT_DOUBLE_EQ(TE_Ascii2double(U("0000C0BF"), 8), -1.5);
    EXPECT_EQ(TE_Ascii2float(U("0000803F"), 7), 0.0f);
    EXPECT_EQ(TE_Ascii2float(U("0000 03F"), 8), 0.0f);
    // Bytes pairs least significant first: bit pattern 0x04030201.
    float f = TE_Ascii2float(U("01020304"), 8);
    unsigned int bits;
    std::memcpy(&bits, &f, sizeof bits);
    EXPECT_EQ(bits, 0x04030201u);

    EXPECT_EQ(TE_Ascii2Hex('b'), 11);
    EXPECT_EQ(TE_Hex2AsciiHigh(0x5C), '5');
    EXPECT_EQ(TE_Hex2AsciiLow(0x5C), 'C');
}

TEST_F(FramingTest, GetModBusDataRtu)
{
    port.ReplyRtu(HexBytes("01 03 02 00 7B"));
    EXPECT_EQ(drv.GetModBusData(rbuf, 100, &port, 1, 3, 0, 1, 250, 0, 0), 7);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], HexBytes("01 03 00 00 00 01 84 0A"));
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{250000});
    ASSERT_EQ(port.readCaps.size(), 1u);
    EXPECT_EQ(port.readCaps[0], 100);
    EXPECT_EQ(port.readTimeouts[0], 0);

    // An exception reply of 5 bytes passes: only the CRC is checked.
    port.ReplyRtu(HexBytes("01 83 02"));
    EXPECT_EQ(drv.GetModBusData(rbuf, 100, &port, 1, 3, 0, 1, 10, 0, 0), 5);

    Bytes bad = HexBytes("01 03 02 00 7B");
    port.ReplyRtu(bad);
    port.replies.back().back() ^= 0x01;
    EXPECT_EQ(drv.GetModBusData(rbuf, 100, &port, 1, 3, 0, 1, 10, 0, 0), -1);
    port.ReplyHex("01 03 02 00");
    EXPECT_EQ(drv.GetModBusData(rbuf, 100, &port, 1, 3, 0, 1, 10, 0, 0), -1) << "4 bytes";
    EXPECT_EQ(drv.GetModBusData(rbuf, 100, &port, 1, 3, 0, 1, 10, 0, 0), -1) << "nothing";

    // The CRC covers count - 2 bytes taken as an 8-bit length.
    Bytes big(300, 0x11);
    unsigned short crc = CBufHelper::crc16(big.data(), static_cast<unsigned char>(298));
    big[298] = static_cast<unsigned char>(crc);
    big[299] = static_cast<unsigned char>(crc >> 8);
    port.Reply(big);
    EXPECT_EQ(drv.GetModBusData(rbuf, 300, &port, 1, 3, 0, 1, 10, 0, 0), 300);
}

TEST_F(FramingTest, GetModBusDataTcpAndRefusals)
{
    port.ReplyHex("00 07 00 00 00");
    EXPECT_EQ(drv.GetModBusData(rbuf, 64, &port, 1, 4, 0x100, 2, 30, 7, 1), 5);
    EXPECT_EQ(port.LastWrite(), HexBytes("00 07 00 00 00 06 01 04 01 00 00 02"));
    port.ReplyHex("00 07 00 00");
    EXPECT_EQ(drv.GetModBusData(rbuf, 64, &port, 1, 4, 0x100, 2, 30, 7, 1), -1);
    // tcp values other than 1 frame RTU.
    port.ReplyRtu(HexBytes("01 04 02 00 01"));
    EXPECT_EQ(drv.GetModBusData(rbuf, 64, &port, 1, 4, 0x100, 2, 30, 7, 2), 7);
    EXPECT_EQ(port.LastWrite().size(), 8u);

    ScriptPort p2;
    p2.shortWriteBy = 1;
    p2.ReplyRtu(HexBytes("01 03 02 00 7B"));
    FakeClock::Sleeps().clear();
    EXPECT_EQ(drv.GetModBusData(rbuf, 64, &p2, 1, 3, 0, 1, 10, 0, 0), -1);
    EXPECT_EQ(p2.reads, 0) << "no Read after a short write";
    EXPECT_TRUE(FakeClock::Sleeps().empty());

    ScriptPort p3;
    EXPECT_EQ(drv.GetModBusData(nullptr, 64, &p3, 1, 3, 0, 1, 10, 0, 0), -1);
    EXPECT_EQ(drv.GetModBusData(rbuf, 0, &p3, 1, 3, 0, 1, 10, 0, 0), -1);
    EXPECT_EQ(drv.GetModBusData(rbuf, 64, nullptr, 1, 3, 0, 1, 10, 0, 0), -1);
    EXPECT_TRUE(p3.writes.empty());
}

TEST_F(FramingTest, GetYdn23DataAcceptsValidReplies)
{
    const std::string reply = YdFrame("10016000C0040102");
    port.Reply(reply);
    int n = drv.GetYdn23Data(rbuf, 128, &port, 1, 0x10, 0x60, 0x42, nullptr, 5, '~', '\r', 300);
    EXPECT_EQ(n, static_cast<int>(reply.size()));
    EXPECT_EQ(Text(rbuf, n), reply);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(Text(port.writes[0].data(), static_cast<int>(port.writes[0].size())), "~100160420000FDB2\r")
        << "a null INFO sends none";
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{300000});
    EXPECT_EQ(port.readCaps[0], 128);

    // INFO bytes go out as hex; the LENID of the reply is not compared with its size.
    const unsigned char info[1] = {0x01};
    port.Reply(YdFrame("21012A00E002"));
    EXPECT_EQ(drv.GetYdn23Data(rbuf, 128, &port, 1, 0x21, 0x2A, 0x42, info, 1, '~', '\r', 0), 18);
    EXPECT_EQ(Text(port.LastWrite().data(), 20), YdFrame("21012A42E00201"));

    // A space in LENGTH reads as 0, which carries the LCHKSUM 0: accepted.
    port.Reply(YdFrame("21012A00D 02AB"));
    EXPECT_EQ(drv.GetYdn23Data(rbuf, 128, &port, 1, 0x21, 0x2A, 0x42, nullptr, 0, '~', '\r', 0), 20);
    // The same without the space has a wrong LCHKSUM.
    port.Reply(YdFrame("21012A00D002AB"));
    EXPECT_EQ(drv.GetYdn23Data(rbuf, 128, &port, 1, 0x21, 0x2A, 0x42, nullptr, 0, '~', '\r', 0), -1);
}

TEST_F(FramingTest, GetYdn23DataRejectsBadReplies)
{
    auto get = [&](const std::string& reply) {
        port.Reply(reply);
        return drv.GetYdn23Data(rbuf, 128, &port, 1, 0x21, 0x2A, 0x42, nullptr, 0, '~', '\r', 0);
    };
    EXPECT_EQ(get(YdFrame("21012A00E002AB")), 20);
    EXPECT_EQ(get(YdFrame("21012A00E002ab")), -1) << "lower case, even with its checksum";
    EXPECT_EQ(get(YdFrame("21012A000002AB")), -1) << "bad LCHKSUM";
    std::string badSum = YdFrame("21012A00E002AB");
    badSum[16] = badSum[16] == '0' ? '1' : '0';
    EXPECT_EQ(get(badSum), -1) << "bad CHKSUM";
    EXPECT_EQ(get(YdFrame("21012A00E002AB") + "0"), -1) << "not ending with its EOI";
    EXPECT_EQ(get("~210100000\r"), -1) << "10 characters";
    EXPECT_EQ(get(""), -1);

    // Request sizes: 23 INFO bytes fill the 64-byte command buffer, 24 would not fit.
    unsigned char info[24] = {};
    port.Reply(YdFrame("21012A000000"));
    EXPECT_EQ(drv.GetYdn23Data(rbuf, 128, &port, 1, 0x21, 0x2A, 0x42, info, 23, '~', '\r', 0), 18);
    EXPECT_EQ(port.LastWrite().size(), 64u);
    size_t writes = port.writes.size();
    EXPECT_EQ(drv.GetYdn23Data(rbuf, 128, &port, 1, 0x21, 0x2A, 0x42, info, 24, '~', '\r', 0), -1);
    EXPECT_EQ(port.writes.size(), writes) << "refused, not sent";

    ScriptPort p2;
    p2.shortWriteBy = 1;
    p2.Reply(YdFrame("21012A000000"));
    EXPECT_EQ(drv.GetYdn23Data(rbuf, 128, &p2, 1, 0x21, 0x2A, 0x42, nullptr, 0, '~', '\r', 0), -1);
    EXPECT_EQ(p2.reads, 0);
    EXPECT_EQ(drv.GetYdn23Data(nullptr, 128, &p2, 1, 0x21, 0x2A, 0x42, nullptr, 0, '~', '\r', 0), -1);
    EXPECT_EQ(drv.GetYdn23Data(rbuf, 0, &p2, 1, 0x21, 0x2A, 0x42, nullptr, 0, '~', '\r', 0), -1);
    EXPECT_EQ(drv.GetYdn23Data(rbuf, 128, nullptr, 1, 0x21, 0x2A, 0x42, nullptr, 0, '~', '\r', 0), -1);
    EXPECT_EQ(p2.writes.size(), 1u);
}

TEST_F(FramingTest, GetYdn23DataReadsNothingBeyondTheReplyBuffer)
{
    // An 11-character reply in an 11-byte buffer: LENGTH reaches past it. What lies beyond
    // ("11", a LENID whose LCHKSUM is not 0) must not be read.
    unsigned char small[13];
    std::memset(small, '1', sizeof small);
    const std::string reply = YdFrame("00000");
    ASSERT_EQ(reply.size(), 11u);
    port.Reply(reply);
    EXPECT_EQ(drv.GetYdn23Data(small, 11, &port, 1, 0x21, 0x2A, 0x42, nullptr, 0, '~', '\r', 0), 11);
}

TEST_F(FramingTest, RtuReadChecksPortThenPurgesWritesSleepsReads)
{
    OrderPort p;
    p.ReplyRtu(HexBytes("05 03 04 00 01 00 02"));
    EXPECT_EQ(drv.RtuRead(&p, 5, 3, 0x10, 2, 0, 200, rbuf, 64), 9);
    EXPECT_EQ(p.log, "IPWSR");
    EXPECT_EQ(p.LastWrite(), HexBytes("05 03 00 10 00 02 C4 4A"));
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{200000}) << "waitMs below 101: default pause";
    EXPECT_EQ(p.readCaps.back(), 9) << "5 + 2 * count";

    FakeClock::Sleeps().clear();
    p.ReplyRtu(HexBytes("05 01 02 FF 03"));
    EXPECT_EQ(drv.RtuRead(&p, 5, 1, 0, 10, 101, 200, rbuf, 64), 7);
    EXPECT_EQ(p.readCaps.back(), 7) << "5 + ceil(10 / 8)";
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{101000});

    p.ReplyRtu(HexBytes("05 03 04 00 01"));
    EXPECT_EQ(drv.RtuRead(&p, 5, 3, 0x10, 2, 0, 200, rbuf, 64), -1) << "short reply";
    Bytes bad = HexBytes("05 03 04 00 01 00 02");
    p.ReplyRtu(bad);
    p.replies.back()[3] ^= 0x40;
    EXPECT_EQ(drv.RtuRead(&p, 5, 3, 0x10, 2, 0, 200, rbuf, 64), -1) << "bad CRC";

    size_t writes = p.writes.size();
    EXPECT_EQ(drv.RtuRead(&p, 5, 3, 0, 30, 0, 200, rbuf, 64), -1) << "65 bytes do not fit 64";
    EXPECT_EQ(drv.RtuRead(&p, 5, 3, 0, 0, 0, 200, rbuf, 64), -1);
    EXPECT_EQ(p.writes.size(), writes);

    OrderPort closed;
    closed.open = false;
    closed.ReplyRtu(HexBytes("05 03 04 00 01 00 02"));
    FakeClock::Sleeps().clear();
    EXPECT_EQ(drv.RtuRead(&closed, 5, 3, 0x10, 2, 0, 200, rbuf, 64), -1);
    EXPECT_EQ(closed.log, "I");
    EXPECT_TRUE(closed.writes.empty());
    EXPECT_EQ(closed.purges, 0);
    EXPECT_EQ(closed.reads, 0);
    EXPECT_TRUE(FakeClock::Sleeps().empty());
    EXPECT_EQ(drv.RtuRead(nullptr, 5, 3, 0x10, 2, 0, 200, rbuf, 64), -1);
}

TEST_F(FramingTest, ExchangeSendsAsGivenAndReportsWhatArrived)
{
    OrderPort p;
    const Bytes req = HexBytes("3A 30 31 0D");
    p.ReplyHex("AA BB CC");
    EXPECT_EQ(drv.Exchange(&p, req.data(), 4, 1234, rbuf, 2, 500), 2);
    EXPECT_EQ(p.log, "IPWSR");
    EXPECT_EQ(p.LastWrite(), req);
    EXPECT_EQ(p.readCaps.back(), 2);
    EXPECT_EQ(p.readTimeouts.back(), 500);
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{1234});

    EXPECT_EQ(drv.Exchange(&p, req.data(), 4, 0, rbuf, 16), 0) << "nothing arrived";

    // A port that reports more than it was allowed to store: the count is cut to the buffer.
    struct OverPort : ScriptPort {
        int Read(unsigned char* b, int cap, int t) override { return ScriptPort::Read(b, cap, t) + 10; }
    } over;
    over.ReplyHex("AA BB CC");
    EXPECT_EQ(drv.Exchange(&over, req.data(), 4, 0, rbuf, 3), 3);

    ScriptPort shortW;
    shortW.shortWriteBy = 1;
    shortW.ReplyHex("AA");
    EXPECT_EQ(drv.Exchange(&shortW, req.data(), 4, 0, rbuf, 16), -1);
    EXPECT_EQ(shortW.reads, 0);
}
