// Byte orders, checksums, hex text and character-set conversion; Modbus RTU/TCP requests,
// YD/T 1363 frames and the exchange routines of the driver base.
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

int Chk(const std::string& frame)
{
    return CBufHelper::YdChk(reinterpret_cast<const unsigned char*>(frame.data()), static_cast<int>(frame.size()));
}

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
    EXPECT_EQ(drv.ModBusCmd(0x11, 4, 0x0108, 0x0102), 8);
    EXPECT_EQ(Frame(drv.CmdBuf(), 8), HexBytes("11 04 01 08 01 02 F2 F5"));
    EXPECT_EQ(drv.ModBusTcpCmd(7, 1, 4, 0x100, 2), 12);
    EXPECT_EQ(Frame(drv.CmdBuf(), 12), HexBytes("00 07 00 00 00 06 01 04 01 00 00 02"));
    EXPECT_EQ(drv.ModBusTcpCmd(0xABCD, 0xF7, 3, 0x1234, 0x5678), 12);
    EXPECT_EQ(Frame(drv.CmdBuf(), 12), HexBytes("AB CD 00 00 00 06 F7 03 12 34 56 78"));
}

TEST_F(FramingTest, TeCmdPackBuildsFramesInArgumentOrder)
{
    const unsigned char info[2] = {0x0A, 0xF1};
    const struct {
        unsigned char ver, cid1, cid2, adr;
        int infoLen;
        char soi, eoi;
        std::string frame;
    } cases[] = {
        {0x21, 0x40, 0x42, 1, 0, '~', '\r', "~210140420000FDB2\r"},
        {0x00, 0x60, 0x4F, 1, 0, '~', '\r', "~0001604F0000FD9F\r"},  // address after CID2 here, before it in the frame
        {0x10, 0x60, 0x42, 1, 0, '~', '\r', "~100160420000FDB2\r"},
        {0x21, 0x2A, 0x44, 2, 1, '~', '\r', YdFrame("21022A44E0020A")},
        {0x21, 0x2A, 0x44, 2, 2, '~', '\r', YdFrame("21022A44C0040AF1")},
        {0x21, 0x2A, 0x44, 2, 4096 + 1, '~', '\r', YdFrame("21022A44E0020A")},  // INFO count modulo 4096
        {0x21, 0x40, 0x42, 1, 0, '<', '>', "<210140420000FDB2>"},  // outside the checksum
    };
    unsigned char b[64];
    for (const auto& c : cases) {
        int n = TE_CmdPack(b, c.ver, c.cid1, c.cid2, c.adr, info, c.infoLen, c.soi, c.eoi);
        EXPECT_EQ(Text(b, n), c.frame);
    }
    EXPECT_EQ(TE_CmdPack(nullptr, 0x21, 0x40, 0x42, 1, nullptr, 0, '~', '\r'), 0);
}

TEST_F(FramingTest, TeChecksAndLength)
{
    EXPECT_EQ(TE_GetChkLength(0), 0x0000);
    EXPECT_EQ(TE_GetChkLength(2), 0xE002);
    EXPECT_EQ(TE_GetChkLength(0x012), 0xD012);
    EXPECT_EQ(TE_GetChkLength(0xFFFF), 0x3FFF) << "only 12 bits of LENID";

    auto sum = [](const std::string& f) { return TE_GetChkSum(U(f.c_str()), static_cast<unsigned short>(f.size())); };
    EXPECT_EQ(sum("~0001604F0000FD9F\r"), 1);
    EXPECT_EQ(sum("~0001604F0000fd9f\r"), 0);
    EXPECT_EQ(sum("~0001604F0000FD9E\r"), 0);
    EXPECT_EQ(sum("~0001604F0000FD9F\r0"), 0) << "must end with EOI";

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

// A Modbus RTU frame: the bytes given plus their CRC, low byte first.
Bytes Rtu(const std::string& hex)
{
    ScriptPort p;
    p.ReplyRtu(HexBytes(hex));
    return p.replies.back();
}
Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(FramingTest, GetModBusDataTakesOnlyTheReplyToItsRequest)
{
    port.ReplyRtu(HexBytes("01 03 02 00 7B"));
    EXPECT_EQ(drv.GetModBusData(rbuf, 100, &port, 1, 3, 0, 1, 250, 0, 0), 7);
    EXPECT_EQ(port.LastWrite(), HexBytes("01 03 00 00 00 01 84 0A"));
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{250000});
    EXPECT_EQ(port.readCaps.back(), 100);
    EXPECT_EQ(port.readTimeouts.back(), 0);
    EXPECT_EQ(port.purges, 1) << "a clean line before the request";

    // Reading 2 input registers at 0x100 of unit 1, transaction 7 over TCP. Each row: the
    // reads the port hands out, the result, and where the accepted frame starts among them.
    const Bytes own = Rtu("01 04 04 00 01 00 02");
    const Bytes ownTcp = HexBytes("00 07 00 00 00 07 01 04 04 00 01 00 02");
    const struct {
        int tcp;
        std::vector<Bytes> reads;
        int result;
        const char* why;
    } cases[] = {
        {0, {own}, 9, "its own reply"},
        {0, {Rtu("02 04 04 00 09 00 09"), own}, 9, "another unit's frame is dropped, reading goes on"},
        {0, {Cat(Rtu("02 04 04 00 09 00 09"), own)}, 9, "a late frame and the own one in one read"},
        {0, {Cat(HexBytes("00 FF"), own)}, 9, "noise before the reply"},
        {0, {Rtu("02 04 04 00 09 00 09")}, -1, "only another unit answered"},
        {0, {Rtu("01 84 02"), own}, -1, "an exception fails the exchange"},
        {0, {Rtu("01 03 04 00 01 00 02")}, -1, "another function"},
        {0, {Rtu("01 04 02 00 01")}, -1, "byte count not what was asked"},
        {0, {Rtu("01 04 06 00 01 00 02 00 03")}, -1, "more data than asked"},
        {0, {HexBytes("01 04 04 00 01 00 02 00 00")}, -1, "CRC"},
        {0, {HexBytes("01 04 04 00")}, -1, "cut short"},
        {0, {}, -1, "nothing"},
        {2, {own}, 9, "tcp values other than 1 frame RTU"},
        {1, {ownTcp}, 13, "TCP: its own reply"},
        {1, {HexBytes("00 06 00 00 00 07 01 04 04 00 09 00 09"), ownTcp}, 13, "a late transaction is dropped"},
        {1, {Cat(HexBytes("00 06 00 00 00 07 01 04 04 00 09 00 09"), ownTcp)}, 13, "late and own in one read"},
        {1, {HexBytes("00 07 00 00 00 07 02 04 04 00 09 00 09")}, -1, "another unit id"},
        {1, {HexBytes("00 07 00 00 00 07 01 03 04 00 09 00 09")}, -1, "another function"},
        {1, {HexBytes("00 07 00 00 00 03 01 84 02"), ownTcp}, -1, "an exception"},
        {1, {HexBytes("00 07 00 00 00 05 01 04 02 00 01")}, -1, "byte count not what was asked"},
        {1, {HexBytes("00 07 00 01 00 07 01 04 04 00 01 00 02")}, -1, "protocol id not 0"},
        {1, {HexBytes("00 07 00 00 00 07 01 04 04 00")}, -1, "cut short"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        port.replies.clear();
        for (const Bytes& r : c.reads) port.Reply(r);
        std::memset(rbuf, 0, sizeof rbuf);
        int n = drv.GetModBusData(rbuf, 100, &port, 1, 4, 0x100, 2, 10, 7, static_cast<unsigned short>(c.tcp));
        EXPECT_EQ(n, c.result);
        if (n > 0) {
            EXPECT_EQ(Frame(rbuf, n), c.tcp == 1 ? ownTcp : own);
            EXPECT_EQ(Frame(rbuf + n, 100 - n), Bytes(static_cast<size_t>(100 - n), 0)) << "left behind the frame";
        }
    }
    EXPECT_EQ(port.LastWrite().size(), 12u);

    // A 20-coil read asks for 3 data bytes: a long frame passing its CRC is not taken.
    Bytes big = HexBytes("01 01 FE");
    big.resize(256, 0xFF);
    port.replies.clear();
    port.ReplyRtu(big);
    EXPECT_EQ(drv.GetModBusData(rbuf, 300, &port, 1, 1, 0, 20, 10, 0, 0), -1);
    // Writes: the 8-byte echo.
    port.Reply(Rtu("01 06 00 05 00 07"));
    EXPECT_EQ(drv.GetModBusData(rbuf, 300, &port, 1, 6, 5, 7, 10, 0, 0), 8);

    ScriptPort p2;
    p2.shortWriteBy = 1;
    p2.ReplyRtu(HexBytes("01 03 02 00 7B"));
    FakeClock::Sleeps().clear();
    EXPECT_EQ(drv.GetModBusData(rbuf, 64, &p2, 1, 3, 0, 1, 10, 0, 0), -1);
    EXPECT_EQ(p2.reads, 0) << "no Read after a short write";
    EXPECT_TRUE(FakeClock::Sleeps().empty());
    EXPECT_EQ(drv.GetModBusData(nullptr, 64, &p2, 1, 3, 0, 1, 10, 0, 0), -1);
    EXPECT_EQ(drv.GetModBusData(rbuf, 0, &p2, 1, 3, 0, 1, 10, 0, 0), -1);
    EXPECT_EQ(drv.GetModBusData(rbuf, 64, nullptr, 1, 3, 0, 1, 10, 0, 0), -1);
    EXPECT_EQ(p2.writes.size(), 1u);
}

TEST_F(FramingTest, GetYdn23DataAcceptsOnlySoundReplies)
{
    const std::string reply = YdFrame("10016000C0040102");
    port.Reply(reply);
    int n = drv.GetYdn23Data(rbuf, 128, &port, 1, 0x10, 0x60, 0x42, nullptr, 5, '~', '\r', 300);
    EXPECT_EQ(Text(rbuf, n), reply);
    EXPECT_EQ(Text(port.writes[0].data(), 18), "~100160420000FDB2\r") << "a null INFO sends none";
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{300000});
    EXPECT_EQ(port.readCaps[0], 128);

    auto get = [&](const std::string& r, const unsigned char* info = nullptr, int len = 0) {
        port.Reply(r);
        return drv.GetYdn23Data(rbuf, 128, &port, 1, 0x21, 0x2A, 0x42, info, len, '~', '\r', 0);
    };
    // INFO bytes go out as hex; the LENID of the reply is not compared with its size.
    const unsigned char one[1] = {0x01};
    EXPECT_EQ(get(YdFrame("21012A00E002"), one, 1), 18);
    EXPECT_EQ(Text(port.LastWrite().data(), 20), YdFrame("21012A42E00201"));
    EXPECT_EQ(get(YdFrame("21012A00D 02AB")), 20) << "a space in LENGTH reads as 0, whose LCHKSUM is 0";
    EXPECT_EQ(get(YdFrame("21012A00D002AB")), -1) << "bad LCHKSUM";
    EXPECT_EQ(get(YdFrame("21012A00E002ab")), -1) << "lower case, even with its checksum";
    std::string badSum = YdFrame("21012A00E002AB");
    badSum[16] = badSum[16] == '0' ? '1' : '0';
    EXPECT_EQ(get(badSum), -1) << "bad CHKSUM";
    EXPECT_EQ(get(YdFrame("21012A00E002AB") + "0"), 20) << "what follows the EOI is not part of the reply";
    EXPECT_EQ(get(YdFrame("21012A00E002AB").substr(0, 19)), -1) << "no EOI";
    EXPECT_EQ(get(YdFrame("21022A00E002AB")), -1) << "another ADR";
    port.Reply(YdFrame("21022A00E002AB"));
    EXPECT_EQ(get(YdFrame("21012A00E002AB")), 20) << "another ADR's frame is dropped, reading goes on";
    EXPECT_EQ(get("~210100000\r"), -1) << "10 characters";
    EXPECT_EQ(get(""), -1);

    // Request sizes: 23 INFO bytes fill the 64-byte command buffer, 24 would not fit.
    unsigned char info[24] = {};
    EXPECT_EQ(get(YdFrame("21012A000000"), info, 23), 18);
    EXPECT_EQ(port.LastWrite().size(), 64u);
    size_t writes = port.writes.size();
    EXPECT_EQ(get(YdFrame("21012A000000"), info, 24), -1);
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

    // An 11-character reply in an 11-byte buffer: LENGTH reaches past it. What lies beyond
    // ("11", a LENID whose LCHKSUM is not 0) must not be read.
    unsigned char small[13];
    std::memset(small, '1', sizeof small);
    port.replies.clear();
    port.Reply(YdFrame("00010"));
    EXPECT_EQ(drv.GetYdn23Data(small, 11, &port, 1, 0x21, 0x2A, 0x42, nullptr, 0, '~', '\r', 0), 11);
    // The same reply in a large buffer: what an earlier reply left there does not count.
    for (const char* before : {"~0001011111111111111", "~0001000000000000000"}) {
        std::memcpy(rbuf, before, std::strlen(before));
        port.Reply(YdFrame("00010"));
        EXPECT_EQ(drv.GetYdn23Data(rbuf, 128, &port, 1, 0x21, 0x2A, 0x42, nullptr, 0, '~', '\r', 0), 11) << before;
    }
}

TEST_F(FramingTest, RtuReadAndExchangeCheckThePortThenPurgeWriteSleepRead)
{
    OrderPort p;
    p.ReplyRtu(HexBytes("05 03 04 00 01 00 02"));
    EXPECT_EQ(drv.RtuRead(&p, 0x105, 3, 0x10, 2, 0, 200, rbuf, 64), 9);
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
    p.ReplyRtu(HexBytes("05 03 04 00 01 00 02"));
    p.replies.back()[3] ^= 0x40;
    EXPECT_EQ(drv.RtuRead(&p, 5, 3, 0x10, 2, 0, 200, rbuf, 64), -1) << "bad CRC";
    size_t writes = p.writes.size();
    EXPECT_EQ(drv.RtuRead(&p, 5, 3, 0, 30, 0, 200, rbuf, 64), -1) << "65 bytes do not fit 64";
    EXPECT_EQ(drv.RtuRead(&p, 5, 3, 0, 0, 0, 200, rbuf, 64), -1);
    EXPECT_EQ(p.writes.size(), writes);

    // Exchange sends as given and reports what arrived, cut to the buffer.
    const Bytes req = HexBytes("3A 30 31 0D");
    OrderPort e;
    FakeClock::Sleeps().clear();
    e.ReplyHex("AA BB CC");
    EXPECT_EQ(drv.Exchange(&e, req.data(), 4, 1234, rbuf, 2, 500), 2);
    EXPECT_EQ(e.log, "IPWSR");
    EXPECT_EQ(e.LastWrite(), req);
    EXPECT_EQ(e.readTimeouts.back(), 500);
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{1234});
    EXPECT_EQ(drv.Exchange(&e, req.data(), 4, 0, rbuf, 16), 0) << "nothing arrived";
    struct OverPort : ScriptPort {
        int Read(unsigned char* b, int cap, int t) override { return ScriptPort::Read(b, cap, t) + 10; }
    } over;
    over.ReplyHex("AA BB CC");
    EXPECT_EQ(drv.Exchange(&over, req.data(), 4, 0, rbuf, 3), 3) << "a port that reports more than it stored";

    OrderPort closed;
    closed.open = false;
    FakeClock::Sleeps().clear();
    EXPECT_EQ(drv.Exchange(&closed, req.data(), 4, 10, rbuf, 16), -1);
    EXPECT_EQ(closed.log, "I");
    EXPECT_TRUE(FakeClock::Sleeps().empty());
    EXPECT_EQ(drv.Exchange(nullptr, req.data(), 4, 10, rbuf, 16), -1);
    ScriptPort shortW;
    shortW.shortWriteBy = 1;
    EXPECT_EQ(drv.Exchange(&shortW, req.data(), 4, 0, rbuf, 16), -1);
    EXPECT_EQ(shortW.reads, 0);
}

TEST(BufHelperTest, IntegerByteOrders)
{
    const Bytes d = HexBytes("FF FE FF FD");
    EXPECT_EQ(CBufHelper::wdFromBuf(d.data()), 0xFFFE);
    EXPECT_EQ(CBufHelper::wdFromBufLH(d.data()), 0xFEFF);
    EXPECT_EQ(CBufHelper::dwFromBuf(d.data()), 0xFFFEFFFDUL) << "no sign extension";
    EXPECT_EQ(CBufHelper::dwFromBufLH(d.data()), 0xFDFFFEFFUL);

    unsigned char b[4] = {0, 0, 0, 0};
    CBufHelper::wdToBuf(b, 0xA1B2);
    EXPECT_EQ(Frame(b, 2), HexBytes("A1 B2"));
    CBufHelper::wdToBufLH(b, 0xA1B2);
    EXPECT_EQ(Frame(b, 2), HexBytes("B2 A1"));
    CBufHelper::dwToBuf(b, 0x01020304UL);
    EXPECT_EQ(Frame(b, 4), HexBytes("01 02 03 04"));
    CBufHelper::dwToBufLH(b, 0x01020304UL);
    EXPECT_EQ(Frame(b, 4), HexBytes("04 03 02 01"));
}

TEST(BufHelperTest, FloatReadsLowByteFirstButStoresHighByteFirst)
{
    const Bytes one = HexBytes("00 00 80 3F");
    EXPECT_FLOAT_EQ(CBufHelper::fvFromBuf(one.data()), 1.0f);
    const Bytes neg = HexBytes("00 00 C0 BF");
    EXPECT_FLOAT_EQ(CBufHelper::fvFromBuf(neg.data()), -1.5f);

    unsigned char b[4];
    CBufHelper::fvToBuf(b, 1.0f);
    EXPECT_EQ(Frame(b, 4), HexBytes("3F 80 00 00"));
    // Not each other's inverse: reading back what was stored gives another number.
    EXPECT_NE(CBufHelper::fvFromBuf(b), 1.0f);
}

TEST(BufHelperTest, BitStateCountsFromLowBitAndStopsAtLength)
{
    const unsigned char b[3] = {0x01, 0x80, 0xFF};
    // {length, bit, state}: byte 2 lies beyond a length of 2 even though it is all ones.
    const int cases[][3] = {{3, 0, 1}, {3, 7, 0}, {3, 8, 0}, {3, 15, 1}, {3, 16, 1}, {2, 16, 0}, {2, 23, 0}, {0, 0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(CBufHelper::GetBitState(b, static_cast<unsigned>(c[0]), static_cast<unsigned>(c[1])), c[2])
            << c[0] << "/" << c[1];
}

TEST(BufHelperTest, Crc16MatchesModbusVectors)
{
    const Bytes req = HexBytes("01 03 00 00 00 0A");
    EXPECT_EQ(CBufHelper::crc16(req.data(), 6), 0xCDC5) << "frame carries C5 CD";
    const char* check = "123456789";
    EXPECT_EQ(CBufHelper::crc16(reinterpret_cast<const unsigned char*>(check), 9), 0x4B37);
    EXPECT_EQ(CBufHelper::crc16(req.data(), 0), 0xFFFF);
}

TEST(BufHelperTest, SumWrapsAt16BitsAndXorIsEightBit)
{
    Bytes ff(300, 0xFF);
    EXPECT_EQ(CBufHelper::sum(ff.data(), 300), (300 * 255) % 65536);
    EXPECT_EQ(CBufHelper::sum(ff.data(), 0), 0);
    const Bytes x = HexBytes("01 02 04 F0");
    EXPECT_EQ(CBufHelper::Xor(x.data(), 4), 0xF7);
    EXPECT_EQ(CBufHelper::Xor(x.data(), 0), 0);
}

TEST(BufHelperTest, ModbusRequestsForReadAndWriteFunctions)
{
    unsigned char b[64];
    EXPECT_EQ(CBufHelper::ModBusCmd(b, 1, 3, 0, 10), 8);
    EXPECT_EQ(Frame(b, 8), HexBytes("01 03 00 00 00 0A C5 CD"));

    // Single writes carry the value in the count field, nothing more.
    EXPECT_EQ(CBufHelper::ModBusCmdN(b, 0x11, 5, 0xAC, 0xFF00, nullptr), 8);
    EXPECT_EQ(Frame(b, 8), HexBytes("11 05 00 AC FF 00 4E 8B"));
    EXPECT_EQ(CBufHelper::ModBusCmdN(b, 0x11, 6, 1, 3, nullptr), 8);
    EXPECT_EQ(Frame(b, 8), HexBytes("11 06 00 01 00 03 9A 9B"));

    // Coils: ceil(10 / 8) = 2 data bytes.
    const Bytes coils = HexBytes("CD 01");
    EXPECT_EQ(CBufHelper::ModBusCmdN(b, 0x11, 15, 0x13, 10, coils.data()), 11);
    EXPECT_EQ(Frame(b, 11), HexBytes("11 0F 00 13 00 0A 02 CD 01 BF 0B"));

    const Bytes regs = HexBytes("00 0A 01 02");
    EXPECT_EQ(CBufHelper::ModBusCmdN(b, 0x11, 16, 1, 2, regs.data()), 13);
    EXPECT_EQ(Frame(b, 13), HexBytes("11 10 00 01 00 02 04 00 0A 01 02 C6 F0"));

    // Without data the count becomes 0.
    EXPECT_EQ(CBufHelper::ModBusCmdN(b, 1, 16, 1, 5, nullptr), 9);
    EXPECT_EQ(Frame(b, 9), HexBytes("01 10 00 01 00 00 00 08 AC"));
    EXPECT_EQ(CBufHelper::ModBusCmdN(nullptr, 1, 3, 0, 1, nullptr), 0);
}

TEST(BufHelperTest, YdCmdBuildsKnownFramesWithinItsBuffer)
{
    unsigned char b[64];
    int n = CBufHelper::YdCmd(b, 1, 0x60, 0x4F, 0x00, nullptr, 0);
    EXPECT_EQ(Text(b, n), "~0001604F0000FD9F\r");
    n = CBufHelper::YdCmd(b, 1, 0x60, 0x42, 0x10, nullptr, 0);
    EXPECT_EQ(Text(b, n), "~100160420000FDB2\r");

    // One INFO byte: two characters, LENID 2, LCHKSUM E; the text is terminated, nothing beyond.
    const unsigned char info[3] = {0xAB, 0x01, 0xFF};
    std::memset(b, 0x55, sizeof b);
    n = CBufHelper::YdCmd(b, 1, 0x60, 0x42, 0x10, info, 1);
    EXPECT_EQ(Text(b, n), YdFrame("10016042E002AB"));
    EXPECT_EQ(b[20], 0);
    EXPECT_EQ(b[21], 0x55);
    n = CBufHelper::YdCmd(b, 0x21, 0x2A, 0x44, 0x20, info, 3);
    EXPECT_EQ(Text(b, n), YdFrame("20212A44A006AB01FF"));  // LENID 6 -> check nibble A
}

TEST(BufHelperTest, YdChkNamesEachKindOfBadFrame)
{
    const struct {
        const char* frame;
        int result;
    } cases[] = {
        {"~0001604F0000FD9F\r", 0},
        {"~0001604F0000fd9f\r", 0},     // lower-case digits are accepted here
        {"~0001604F0000FD9F\rXYZ", 0},  // the frame ends at its CR
        {"~0001604F0000FD9F", 1},       {"", 1},
        {"#0001604F0000FD9F\r", 2},     {"~0001604G0000FD9F\r", 3},
        {"~0001 04F0000FD9F\r", 3},     {"~0001604F\r00000000XY", 4},  // CR after 10 characters
        {"~0001604FE0020000\r", 5},     // LENID 2 without INFO
        {"~0001604FC0040000\r", 5},     // right LCHKSUM, wrong LENID: 5, not 6
        {"~0001604F0002AB0000\r", 6},   // LENID right, check nibble 0 instead of E
        {"~0001604F0000FD9E\r", 7},
    };
    for (const auto& c : cases) EXPECT_EQ(Chk(c.frame), c.result) << c.frame;
    EXPECT_EQ(CBufHelper::YdChk(nullptr, 18), 1);
}

TEST(BufHelperTest, YdLengthAndFloatFieldIndex)
{
    const char* f = "~0001604FE002AB0000\r";
    EXPECT_EQ(CBufHelper::YdDatLen(reinterpret_cast<const unsigned char*>(f), 20), 2);
    EXPECT_EQ(CBufHelper::YdDatLen(reinterpret_cast<const unsigned char*>(f), 17), -1);
    EXPECT_EQ(CBufHelper::YdDatLen(nullptr, 20), -1);

    EXPECT_EQ(CBufHelper::YdIdxF(1, 0, 0), 13);
    EXPECT_EQ(CBufHelper::YdIdxF(2, 0, 0), 21);
    EXPECT_EQ(CBufHelper::YdIdxF(1, 0, 1), 15);
    EXPECT_EQ(CBufHelper::YdIdxF(3, 2, 0), 17) << "first float after two byte fields";
    EXPECT_EQ(CBufHelper::YdIdxF(1, 2, 0), 17) << "a byte field number addresses the first float";
    EXPECT_EQ(CBufHelper::YdIdxF(4, 2, 1), 27);

    // Two byte fields, then 1.0 and -1.5 as floats sent low byte first.
    const char* reply = "~21012A00B014" "0102" "0000803F" "0000C0BF" "0000\r";
    EXPECT_FLOAT_EQ(CBufHelper::YdDatF(reply, 3, 2, 0), 1.0f);
    EXPECT_FLOAT_EQ(CBufHelper::YdDatF(reply, 4, 2, 0), -1.5f);
}

TEST(BufHelperTest, HexDigitsAndValues)
{
    EXPECT_EQ(CBufHelper::ascii2hex('7'), 7);
    EXPECT_EQ(CBufHelper::ascii2hex('c'), 12);
    EXPECT_EQ(CBufHelper::ascii2hex('F'), 15);
    EXPECT_EQ(CBufHelper::ascii2hex('G'), 0);
    EXPECT_EQ(CBufHelper::hex2asciiHigh(0xAB), 'A');
    EXPECT_EQ(CBufHelper::hex2asciiLow(0xAB), 'B');
    EXPECT_EQ(CBufHelper::hex2asciiLow(0x0c), 'C');

    EXPECT_EQ(CBufHelper::HexVal("1A2b", 4), 0x1A2BUL);
    EXPECT_EQ(CBufHelper::HexVal("1A2B", 2), 0x1AUL);
    EXPECT_EQ(CBufHelper::HexVal("12", 8), 0x12UL) << "stops at the NUL";
    EXPECT_EQ(CBufHelper::HexVal("1G3", 3), 0x103UL) << "a non-digit counts as 0";
    EXPECT_EQ(CBufHelper::HexVal("89ABCDEF", 8), 0x89ABCDEFUL);
    EXPECT_EQ(CBufHelper::HexVal(nullptr, 4), 0UL);

    EXPECT_FLOAT_EQ(CBufHelper::HexValF("0000803F"), 1.0f);
    // Conversion stops at the NUL: the digits stored after it must not be read.
    const char cut[] = "0000\0" "803F";
    EXPECT_EQ(CBufHelper::HexValF(cut), 0.0f);
}

TEST(BufHelperTest, BufFromStrConvertsPairsWithinLength)
{
    unsigned char b[8];
    std::memset(b, 0x55, sizeof b);
    EXPECT_EQ(CBufHelper::BufFromStr(b, "01A0ff", 0), 3);
    EXPECT_EQ(Frame(b, 4), HexBytes("01 A0 FF 55"));
    EXPECT_EQ(CBufHelper::BufFromStr(b, "0600010001", 0), 5);
    EXPECT_EQ(Frame(b, 5), HexBytes("06 00 01 00 01"));

    std::memset(b, 0x55, sizeof b);
    EXPECT_EQ(CBufHelper::BufFromStr(b, "01A0FF", 4), 2);
    EXPECT_EQ(b[2], 0x55);
    EXPECT_EQ(CBufHelper::BufFromStr(b, "ABCD", 3), 1) << "half a pair within the length is dropped";
    EXPECT_EQ(CBufHelper::BufFromStr(b, "ABC", 0), 1);
    EXPECT_EQ(CBufHelper::BufFromStr(b, "AB", 10), 1);
    EXPECT_EQ(CBufHelper::BufFromStr(b, nullptr, 0), 0);
}

TEST(BufHelperTest, HexTextBothWays)
{
    char out[32];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(CBufHelper::AsciiStr2HexStr(out, "01 A0 FF", 8), 3);
    EXPECT_EQ(Frame(reinterpret_cast<unsigned char*>(out), 4), HexBytes("01 A0 FF 00"));
    EXPECT_EQ(CBufHelper::AsciiStr2HexStr(out, "1 2 3", 5), 3);
    EXPECT_EQ(Frame(reinterpret_cast<unsigned char*>(out), 3), HexBytes("01 02 03"));
    EXPECT_EQ(CBufHelper::AsciiStr2HexStr(out, "123", 3), 1);
    EXPECT_EQ(static_cast<unsigned char>(out[0]), 0x23) << "kept to 8 bits";
    EXPECT_EQ(CBufHelper::AsciiStr2HexStr(out, "01 A0 FF", 5), 2) << "only len characters";
    EXPECT_EQ(CBufHelper::AsciiStr2HexStr(nullptr, "01", 2), -1);
    EXPECT_EQ(CBufHelper::AsciiStr2HexStr(out, nullptr, 2), -1);

    const char data[3] = {0x1A, 0x2B, static_cast<char>(0xF0)};
    EXPECT_EQ(CBufHelper::HexStr2AsciiStr(out, data, 2, ' '), 5);
    EXPECT_STREQ(out, "1A 2B");
    EXPECT_EQ(CBufHelper::HexStr2AsciiStr(out, data, 2, 0), 4);
    EXPECT_STREQ(out, "1A2B");
    EXPECT_EQ(CBufHelper::HexStr2AsciiStr(out, data, 3, ','), 8);
    EXPECT_STREQ(out, "1A,2B,F0") << "bytes above 0x7F give two digits";
    EXPECT_EQ(CBufHelper::HexStr2AsciiStr(out, data, 0, ' '), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(CBufHelper::HexStr2AsciiStr(nullptr, data, 2, ' '), -1);
    EXPECT_EQ(CBufHelper::HexStr2AsciiStr(out, nullptr, 2, ' '), -1);

    const unsigned char raw[2] = {0x01, 0xAB};
    EXPECT_EQ(CBufHelper::BufToStr(out, raw, 2, '-'), 5);
    EXPECT_STREQ(out, "01-AB");
    EXPECT_EQ(CBufHelper::BufToStr(out, raw, 2, 0), 4);
    EXPECT_STREQ(out, "01AB");
}

TEST(BufHelperTest, ConvCodeGivesBigEndianUcs2AndCopiesOnUnknownCharset)
{
    // GBK literal (the tests are compiled to GBK).
    char text[] = "中文告警A";
    ASSERT_EQ(Bytes(text, text + 9), HexBytes("D6 D0 CE C4 B8 E6 BE AF 41"));
    char out[64];
    int n = CBufHelper::conv_code("UCS-2", "GBK", out, text);
    ASSERT_EQ(n, 10);
    EXPECT_EQ(Bytes(out, out + n), HexBytes("4E 2D 65 87 54 4A 8B 66 00 41"));

    // And back, as the short-message reader does (big-endian input).
    char ucs[] = "\x4E\x2D\x65\x87";
    char back[32];
    n = CBufHelper::conv_code("GBK", "UCS-2", back, ucs);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(Bytes(back, back + n), HexBytes("D6 D0 CE C4"));

    n = CBufHelper::conv_code(reinterpret_cast<void*>(-1), back, ucs, 4);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(Bytes(back, back + 4), HexBytes("4E 2D 65 87")) << "the invalid converter copies";

    std::memset(out, 0, sizeof out);
    n = CBufHelper::conv_code("NO-SUCH-CHARSET", "GBK", out, text);
    EXPECT_EQ(n, 9);
    EXPECT_EQ(Bytes(out, out + n), Bytes(text, text + 9));
    EXPECT_EQ(CBufHelper::conv_code("UCS-2", "GBK", out, nullptr), 0);
}
