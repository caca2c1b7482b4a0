// Byte orders, checksums, hex text, YD/T 1363 text frames and character-set conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/BufHelper.h"
#include "tests/kit/Kit.h"

namespace {

Bytes Frame(const unsigned char* p, int n) { return Bytes(p, p + n); }

std::string Text(const unsigned char* p, int n) { return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)); }

int Chk(const std::string& frame)
{
    return CBufHelper::YdChk(reinterpret_cast<const unsigned char*>(frame.data()), static_cast<int>(frame.size()));
}

}  // namespace

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
    EXPECT_EQ(n, 18);
    n = CBufHelper::YdCmd(b, 1, 0x60, 0x42, 0x10, nullptr, 0);
    EXPECT_EQ(Text(b, n), "~100160420000FDB2\r");

    // One INFO byte: two characters, LENID 2, LCHKSUM E.
    const unsigned char info[3] = {0xAB, 0x01, 0xFF};
    std::memset(b, 0x55, sizeof b);
    n = CBufHelper::YdCmd(b, 1, 0x60, 0x42, 0x10, info, 1);
    ASSERT_EQ(n, 20);
    EXPECT_EQ(Text(b + 9, 4), "E002");
    EXPECT_EQ(Text(b + 13, 2), "AB");
    EXPECT_EQ(Chk(Text(b, n)), 0);
    EXPECT_EQ(b[20], 0) << "text is terminated";
    EXPECT_EQ(b[21], 0x55) << "nothing beyond 2 * len + 19";

    n = CBufHelper::YdCmd(b, 0x21, 0x2A, 0x44, 0x20, info, 3);
    ASSERT_EQ(n, 24);
    EXPECT_EQ(Text(b, 13), "~20212A44A006");  // LENID 6 -> check nibble A
    EXPECT_EQ(Text(b + 13, 6), "AB01FF");
    EXPECT_EQ(Chk(Text(b, n)), 0);
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
