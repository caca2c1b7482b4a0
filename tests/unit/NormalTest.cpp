// The definition-driven command/reply driver: frame templates, reply checks, values, polls and
// controls.
#include <gtest/gtest.h>

#include <string>

#include "base/BufHelper.h"
#include "tests/unit/DefKit.h"

namespace {

// The example device of these tests: 7E adr cmd dlen dat sum 0D, the sum covering every
// byte before it.
const char kExample[] = "[comm]\nSND=7E adr cmd dlen dat sum 0D\nchk=3\n";

class NormalTest : public DefTest<CSMNormal, 5632> {
protected:
    std::string Build(int addr, const std::string& cmd, const std::string& dat)
    {
        unsigned char buf[64];
        int n = d.NormalCmd(buf, sizeof buf, addr, cmd, dat);
        return n < 0 ? "refused" : ToHex(Bytes(buf, buf + n));
    }
    // Changes the template and reloads the settings.
    void Snd(const std::string& snd)
    {
        d.Ini().SetValue(SEC_COMM, "SND", snd);
        d.UpdLoad();
    }
    // A reply of the example device: 7E adr cmd, then body, the sum and 0D.
    static Bytes Reply(const Bytes& body, int code = 0x42, int addr = 1)
    {
        Bytes b;
        b.reserve(body.size() + 5);
        b.push_back(0x7E);
        b.push_back(static_cast<unsigned char>(addr));
        b.push_back(static_cast<unsigned char>(code));
        for (unsigned char c : body) b.push_back(c);
        b.push_back(static_cast<unsigned char>(CBufHelper::sum(b.data(), static_cast<int>(b.size())) & 0xFF));
        b.push_back(0x0D);
        return b;
    }
    int Chk(const Bytes& r) { return d.NormalChk(r.data(), static_cast<int>(r.size())); }
};

TEST_F(NormalTest, TemplateTokensAndTheRecordedShape)
{
    Load(kExample);
    EXPECT_EQ(Build(1, "42", ""), "7E 01 42 00 C1 0D");
    EXPECT_EQ(d.ReqLen(), 6);
    EXPECT_EQ(d.HeadLen(), 1);
    EXPECT_EQ(d.TailLen(), 1);
    EXPECT_EQ(d.ChkKind(), CSMNormal::CHK_SUM);
    EXPECT_EQ(d.ChkTail(), 2);
    EXPECT_EQ(Build(1, "45", "0101"), "7E 01 45 02 01 01 C8 0D");

    d.Ini().SetValue(SEC_COMM, "chk0", 2);
    Snd("AA55 adr len cmd dat crc");
    // The length byte is set once the frame is complete; the CRC, built before, saw it as 0.
    EXPECT_EQ(Build(1, "42", "01"), "AA 55 01 08 42 01 F0 B8");
    EXPECT_EQ(d.HeadLen(), 2);
    EXPECT_EQ(d.TailLen(), 0) << "the last token is not a hex token";
    EXPECT_EQ(d.ChkKind(), CSMNormal::CHK_CRC);
    EXPECT_EQ(d.ChkTail(), 2);

    d.Ini().SetValue(SEC_COMM, "chk0", 0);
    Snd("AA adr length cmd xor");
    EXPECT_EQ(Build(2, "45", ""), "AA 02 05 45 ED") << "keywords match on three letters";
    EXPECT_EQ(d.ChkTail(), 1);
    Snd("e7 adr  foo ADR cmd dlen 0D");
    // "e7" (lower-case start), the empty token and "foo" add nothing; "ADR" is hex text.
    EXPECT_EQ(Build(3, "4F", "010203"), "03 AD 4F 03 0D");
    EXPECT_EQ(d.HeadLen(), 0);
    EXPECT_EQ(d.ChkKind(), CSMNormal::CHK_NONE);
}

TEST_F(NormalTest, FramesBeyondTheRequestBufferAreRefused)
{
    std::string hex62;
    for (int i = 0; i < 62; ++i) hex62 += "11";
    Load("[comm]\nSND=" + hex62 + " adr cmd\n");
    EXPECT_EQ(Build(1, "42", "").size(), 64u * 3 - 1) << "64 bytes fit";
    EXPECT_EQ(Build(1, "4243", ""), "refused");
    EXPECT_EQ(d.ReqLen(), 0) << "a refused frame leaves no request to check against";
    unsigned char small[8];
    EXPECT_EQ(d.NormalCmd(small, sizeof small, 1, "42", ""), -1) << "the caller's capacity counts";
}

TEST_F(NormalTest, ReplyChecks)
{
    Load(kExample);
    Build(1, "42", "");
    Bytes ok = Reply({0x03, 0x0A, 0x0B, 0x0C});
    EXPECT_EQ(Chk(ok), 0);
    Bytes badSum = ok;
    badSum[7] ^= 1;
    EXPECT_EQ(Chk(badSum), CSMNormal::CHK_SUM);
    Bytes badHead = Reply({0x03});
    badHead[0] = 0x7F;
    badHead[4] = static_cast<unsigned char>(CBufHelper::sum(badHead.data(), 4));
    EXPECT_EQ(Chk(badHead), CSMNormal::CHK_BAD_HEAD);
    Bytes badTail = ok;
    badTail.back() = 0x0A;
    EXPECT_EQ(Chk(badTail), CSMNormal::CHK_BAD_TAIL);
    EXPECT_EQ(Chk(Bytes{0x0D}), CSMNormal::CHK_SUM) << "too short to hold the checksum";

    // Head and tail checks only with their flag bits.
    d.Ini().SetValue(SEC_COMM, "chk", 0);
    d.UpdLoad();
    Build(1, "42", "");
    EXPECT_EQ(Chk(badTail), 0);
    EXPECT_EQ(Chk(badHead), 0);

    // CRC: low byte at the position, high byte after it.
    Snd("adr cmd crc");
    Build(1, "03", "");
    Bytes r = HexBytes("01 03 02 00 07");
    unsigned short crc = CBufHelper::crc16(r.data(), 5);
    r.push_back(crc & 0xFF);
    r.push_back(crc >> 8);
    EXPECT_EQ(Chk(r), 0);
    std::swap(r[5], r[6]);
    EXPECT_EQ(Chk(r), CSMNormal::CHK_CRC);

    Snd("adr cmd xor");
    Build(1, "03", "");
    EXPECT_EQ(Chk(HexBytes("01 03 05 07")), 0);
    EXPECT_EQ(Chk(HexBytes("01 03 05 06")), CSMNormal::CHK_XOR);

    // Nothing configured: anything passes, even nothing.
    d.Ini().SetValue(SEC_COMM, "chk", 3);
    Snd("adr cmd");
    Build(1, "03", "");
    EXPECT_EQ(Chk(Bytes{}), 0);
}

TEST_F(NormalTest, ValuesFollowTheTypesFromTheDataStart)
{
    Load(std::string(kExample) + "dat0=7\ncmds=42\n[42H]\ndinfo=I\ndfac=10\n1=I\n2=-\n3=F\n1bit=1\n");
    port.Reply(Reply({0, 0, 0, 0, 0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0xC0, 0x3F}));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("42H01"), "258") << "bytes 7-8";
    EXPECT_FALSE(Has("42H02")) << "bytes 9-10 skipped";
    EXPECT_EQ(Val("42H03"), "15") << "bytes 11-14: 1.5 times dfac 10";
    EXPECT_FALSE(Has("42H04")) << "the values end before the checksum";
    const char* bits = "01000000";  // 1bit = 1: eight bits of 258 (0x0102)
    for (int b = 0; b < 8; ++b) EXPECT_EQ(Val("42H01-" + std::to_string(b)), std::string(1, bits[b])) << b;
    EXPECT_FALSE(Has("42H01-8"));

    // Default types, the bit limit, and a value not wholly received.
    Load(std::string(kExample) + "dat0=3\ndinfo=B\ncmds=42\n[42H]\n2=f\n2bit=9\n");
    port.Reply(Reply({0xFE, 0x00, 0x00, 0x80, 0xBF, 0x07}));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("42H01"), "254");
    EXPECT_EQ(Val("42H02"), "-1");
    EXPECT_EQ(Val("42H03"), "7");
    EXPECT_EQ(Val("42H02-31"), "1") << "9 bytes of bits are held at 32";
    EXPECT_FALSE(Has("42H02-32"));
    d.Ini().SetValue(SEC_COMM, "dat0", 1);
    Snd("adr cmd");
    port.ReplyHex("01 05 00 00");
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("42H01"), "5");
    EXPECT_FALSE(Has("42H02")) << "without a checksum the values run to the end of the reply";
}

TEST_F(NormalTest, PollSendsTheCommandsInOrderAndStopsAtAFailedCheck)
{
    Load(std::string(kExample) + "cmds=42 44\ndelay=15\ndat0=3\ndinfo=B\ndmax=64\n[44H]\ncdat=0A0B\ndmax=256\n");
    port.Reply(Reply({0x11}));
    port.Reply(Reply({0x22}, 0x44));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(ToHex(port.writes[0]), "7E 01 42 00 C1 0D");
    EXPECT_EQ(ToHex(port.writes[1]), "7E 01 44 02 0A 0B DA 0D");
    EXPECT_EQ(port.readCaps, (std::vector<int>{64, 256}));
    EXPECT_EQ(port.readTimeouts, (std::vector<int>{0, 0}));
    EXPECT_EQ(FakeClock::Sleeps(), (std::vector<unsigned long>{15000, 15000}));
    EXPECT_EQ(Val("42H01"), "17");
    EXPECT_EQ(Val("44H01"), "34");

    // A reply that does not start like the request fails the head check: the poll stops.
    port.Reply(Reply({0x12}));
    Bytes wrong = Reply({0x23}, 0x44);
    wrong[0] = 0x7F;
    wrong[4] = static_cast<unsigned char>(CBufHelper::sum(wrong.data(), 4));
    port.Reply(wrong);
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("42H01"), "18") << "values of commands already answered stay";
    EXPECT_FALSE(Has("44H01"));

    port.shortWriteBy = 1;
    int reads = port.reads;
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.reads, reads) << "a short write stops it before reading";
}

TEST_F(NormalTest, OnlyAReplyWithTheDevicesAddressCounts)
{
    // Command 42 of device 1; each row: the reads, whether the poll succeeds, the value.
    Bytes late = Reply({0x55}, 0x42, 2), own = Reply({0x11});
    Bytes both = late;
    both.insert(both.end(), own.begin(), own.end());
    const struct {
        const char* snd;
        std::vector<Bytes> reads;
        int ok;
        const char* val;
    } cases[] = {
        {"7E adr cmd dlen dat sum 0D", {late, own}, 1, "17"},
        {"7E adr cmd dlen dat sum 0D", {both}, 1, "17"},  // the checked head finds the own frame
        {"7E adr cmd dlen dat sum 0D", {late}, 0, "<absent>"},
        {"7E adr cmd dlen dat sum 0D", {}, 0, "<absent>"},
        {"7E 01 cmd dlen dat sum 0D", {late}, 1, "85"},  // no address in the template
        {"7E adr cmd dlen dat 0D", {Bytes{0x7E, 0x02, 0x42, 0x09, 0x66, 0x0D}, Bytes{0x7E, 0x01, 0x42, 0x00, 0x44, 0x0D}},
         1, "0"},  // no checksum: the first read with the address is the reply
        {"7E 01 cmd dlen dat 0D", {Bytes{0x7E, 0x01, 0x42, 0x00, 0x44, 0x0E}}, 0, "<absent>"},  // tail
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.snd);
        Load(std::string("[comm]\nchk=3\ncmds=42\ndat0=3\ndinfo=B\nSND=") + c.snd + "\n");
        port.replies.clear();
        for (const Bytes& r : c.reads) port.Reply(r);
        EXPECT_EQ(d.DataGet(&port, 1, 0), c.ok);
        EXPECT_EQ(Val("42H01"), c.val);
    }
}

TEST_F(NormalTest, RefusesOversizedRepliesUnloadedDriversAndClosedPorts)
{
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0) << "unloaded";
    Load(std::string(kExample) + "cmds=42,43\n[43H]\ndmax=257\n");
    port.Reply(Reply({}));
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.writes.size(), 1u) << "43 is not sent: dmax 257 does not fit the reply buffer";
    EXPECT_NE(Log().find("[43H] dmax 257"), std::string::npos);

    port.writes.clear();
    port.open = false;
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(d.DataGet(nullptr, 1, 0), 0);
    port.open = true;
    Snd(std::string(128, '0') + " cmd");
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0) << "a 65-byte frame is not sent";
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(NormalTest, ControlsSendCodeAndData)
{
    Load(std::string(kExample) + "delay=0\nYk01=45\nYk02=45,0101\nYk03=\n");
    port.Reply(Reply({}, 0x45));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 1);
    EXPECT_EQ(ToHex(port.writes.back()), "7E 01 45 00 C4 0D");
    EXPECT_EQ(port.readCaps.back(), 12) << "twice the request";
    port.Reply(Reply({0x01}, 0x45));
    EXPECT_EQ(d.DoFunc(&port, 1, 2, nullptr, 0), 1);
    EXPECT_EQ(ToHex(port.writes.back()), "7E 01 45 02 01 01 C8 0D");
    Bytes bad = Reply({}, 0x45);
    bad[3] ^= 0xFF;
    port.Reply(bad);
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0) << "wrong sum";
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0) << "silence";
    size_t sent = port.writes.size();
    EXPECT_EQ(d.DoFunc(&port, 1, 3, nullptr, 0), 0);
    EXPECT_EQ(d.DoFunc(&port, 1, 4, nullptr, 0), 0);
    EXPECT_EQ(d.DoFunc(nullptr, 1, 1, nullptr, 0), 0);
    EXPECT_EQ(port.writes.size(), sent);
    port.open = false;  // controls do not ask IsOpen
    port.Reply(Reply({}, 0x45));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 1);
    EXPECT_TRUE(FakeClock::Sleeps().empty());
}

}  // namespace
