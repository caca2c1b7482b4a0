#include <gtest/gtest.h>

#include <string>

#include "base/BufHelper.h"
#include "generic/SMGeneric.h"
#include "tests/kit/Kit.h"

namespace {

// The example device of these tests: 7E adr cmd dlen dat sum 0D, the sum covering every
// byte before it.
const char kExample[] = "[comm]\nSND=7E adr cmd dlen dat sum 0D\nchk=3\n";

class NormalTest : public ::testing::Test {
protected:
    void Load(const std::string& def)
    {
        root.Write("/NandFlash/SM/SM5632.def", def);
        ASSERT_EQ(d.LoadDef(SMPath("/NandFlash/SM/SM5632.def").c_str()), 1);
    }
    Bytes Build(int addr, const std::string& cmd, const std::string& dat)
    {
        unsigned char buf[64];
        int n = d.NormalCmd(buf, sizeof buf, addr, cmd, dat);
        return n < 0 ? Bytes{0xEE} : Bytes(buf, buf + n);
    }
    // A reply of the example device: 7E adr cmd, then body, the sum and 0D.
    static Bytes Reply(const Bytes& body, int addr = 1, int code = 0x42)
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
    std::string Val(const std::string& key) { return d.Ini().GetValue(SEC_VALS, key, "<absent>"); }
    bool Has(const std::string& key) { return d.Ini().HasKey(SEC_VALS, key); }

    TempRoot root;
    FakeClock clock;
    CSMNormal d{5632};
    ScriptPort port;
};

TEST_F(NormalTest, TemplateExampleAndItsRecordedShape)
{
    Load(kExample);
    EXPECT_EQ(ToHex(Build(1, "42", "")), "7E 01 42 00 C1 0D");
    EXPECT_EQ(d.ReqLen(), 6);
    EXPECT_EQ(d.HeadLen(), 1);
    EXPECT_EQ(d.TailLen(), 1);
    EXPECT_EQ(d.ChkKind(), CSMNormal::CHK_SUM);
    EXPECT_EQ(d.ChkTail(), 2);
    EXPECT_EQ(ToHex(Build(1, "45", "0101")), "7E 01 45 02 01 01 C8 0D");
}

TEST_F(NormalTest, CrcXorLengthAndUnknownTokens)
{
    Load("[comm]\nSND=AA55 adr len cmd dat crc\nchk0=2\n");
    // The length byte is set once the frame is complete; the CRC, built before, saw it as 0.
    EXPECT_EQ(ToHex(Build(1, "42", "01")), "AA 55 01 08 42 01 F0 B8");
    EXPECT_EQ(d.HeadLen(), 2);
    EXPECT_EQ(d.TailLen(), 0) << "the last token is not a hex token";
    EXPECT_EQ(d.ChkKind(), CSMNormal::CHK_CRC);
    EXPECT_EQ(d.ChkTail(), 2);

    d.Ini().SetValue(SEC_COMM, "SND", "AA adr length cmd xor");
    d.Ini().SetValue(SEC_COMM, "chk0", 0);
    d.UpdLoad();
    EXPECT_EQ(ToHex(Build(2, "45", "")), "AA 02 05 45 ED") << "keywords match on three letters";
    EXPECT_EQ(d.ChkTail(), 1);

    d.Ini().SetValue(SEC_COMM, "SND", "e7 adr  foo ADR cmd dlen 0D");
    d.UpdLoad();
    // "e7" (lower-case start), the empty token and "foo" add nothing; "ADR" is hex text.
    EXPECT_EQ(ToHex(Build(3, "4F", "010203")), "03 AD 4F 03 0D");
    EXPECT_EQ(d.HeadLen(), 0);
    EXPECT_EQ(d.TailLen(), 1);
    EXPECT_EQ(d.ChkKind(), CSMNormal::CHK_NONE);
    EXPECT_EQ(d.ChkTail(), 0);
}

TEST_F(NormalTest, FramesBeyondTheRequestBufferAreRefused)
{
    std::string hex62;
    for (int i = 0; i < 62; ++i) hex62 += "11";
    Load("[comm]\nSND=" + hex62 + " adr cmd\n");
    EXPECT_EQ(Build(1, "42", "").size(), 64u) << "64 bytes fit";
    unsigned char buf[64];
    EXPECT_EQ(d.NormalCmd(buf, sizeof buf, 1, "4243", ""), -1);
    EXPECT_EQ(d.ReqLen(), 0) << "a refused frame leaves no request to check against";
    unsigned char small[8];
    EXPECT_EQ(d.NormalCmd(small, sizeof small, 1, "42", ""), -1) << "the caller's capacity counts";
    EXPECT_EQ(d.NormalCmd(nullptr, 64, 1, "42", ""), -1);
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
    EXPECT_EQ(Chk(Bytes{}), CSMNormal::CHK_SUM);

    // Head and tail checks only with their flag bits.
    d.Ini().SetValue(SEC_COMM, "chk", 0);
    d.UpdLoad();
    Build(1, "42", "");
    EXPECT_EQ(Chk(badTail), 0);
    EXPECT_EQ(Chk(badHead), 0);

    // CRC: low byte at the position, high byte after it.
    d.Ini().SetValue(SEC_COMM, "SND", "adr cmd crc");
    d.UpdLoad();
    Build(1, "03", "");
    Bytes r = HexBytes("01 03 02 00 07");
    unsigned short crc = CBufHelper::crc16(r.data(), 5);
    r.push_back(crc & 0xFF);
    r.push_back(crc >> 8);
    EXPECT_EQ(Chk(r), 0);
    std::swap(r[5], r[6]);
    EXPECT_EQ(Chk(r), CSMNormal::CHK_CRC);

    d.Ini().SetValue(SEC_COMM, "SND", "adr cmd xor");
    d.UpdLoad();
    Build(1, "03", "");
    EXPECT_EQ(Chk(HexBytes("01 03 05 07")), 0);
    EXPECT_EQ(Chk(HexBytes("01 03 05 06")), CSMNormal::CHK_XOR);

    // Nothing configured: anything passes, even nothing.
    d.Ini().SetValue(SEC_COMM, "SND", "adr cmd");
    d.Ini().SetValue(SEC_COMM, "chk", 3);
    d.UpdLoad();
    Build(1, "03", "");
    EXPECT_EQ(Chk(Bytes{}), 0);
    EXPECT_EQ(Chk(HexBytes("99")), 0);
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
    // 1bit = 1: eight bits of 258 (0x0102).
    const char* bits = "01000000";
    for (int b = 0; b < 8; ++b) EXPECT_EQ(Val("42H01-" + std::to_string(b)), std::string(1, bits[b])) << b;
    EXPECT_FALSE(Has("42H01-8"));
}

TEST_F(NormalTest, DefaultTypesBitLimitAndPartialValues)
{
    Load(std::string(kExample) + "dat0=3\ndinfo=B\ncmds=42\n[42H]\n2=f\n2bit=9\n");
    // Values: byte, float (4), byte.
    port.Reply(Reply({0xFE, 0x00, 0x00, 0x80, 0xBF, 0x07}));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("42H01"), "254");
    EXPECT_EQ(Val("42H02"), "-1");
    EXPECT_EQ(Val("42H03"), "7");
    EXPECT_EQ(Val("42H02-31"), "1") << "9 bytes of bits are held at 32";
    EXPECT_FALSE(Has("42H02-32"));

    // Without a checksum the values run to the end of what arrived; a value not wholly
    // received is left out.
    d.Ini().SetValue(SEC_COMM, "SND", "adr cmd");
    d.Ini().SetValue(SEC_COMM, "dat0", 1);
    d.UpdLoad();
    d.Ini().SetValue("42H", "2", "F");
    port.ReplyHex("01 05 00 00");
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("42H01"), "5");
    EXPECT_FALSE(Has("42H02"));
}

TEST_F(NormalTest, PollSendsTheCommandsInOrderAndStopsAtAFailedCheck)
{
    Load(std::string(kExample) + "cmds=42 44\ndelay=15\ndat0=3\ndinfo=B\ndmax=64\n[44H]\ncdat=0A0B\ndmax=256\n");
    port.Reply(Reply({0x11}));
    port.Reply(Reply({0x22}, 1, 0x44));
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
    port.writes.clear();
    port.Reply(Reply({0x12}));
    Bytes wrong = Reply({0x23}, 1, 0x44);
    wrong[0] = 0x7F;
    wrong[4] = static_cast<unsigned char>(CBufHelper::sum(wrong.data(), 4));
    port.Reply(wrong);
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("42H01"), "18") << "values of commands already answered stay";
    EXPECT_FALSE(Has("44H01"));

    // A short write stops it before reading.
    port.replies.clear();
    port.shortWriteBy = 1;
    int reads = port.reads;
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.reads, reads);
}

TEST_F(NormalTest, RefusesOversizedRepliesUnloadedDriversAndClosedPorts)
{
    Load(std::string(kExample) + "cmds=42,43\n[43H]\ndmax=257\n");
    port.Reply(Reply({}));
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.writes.size(), 1u) << "43 is not sent: dmax 257 does not fit the reply buffer";
    EXPECT_NE(root.Read("/NandFlash/tmp/qvsm.log.ini").find("[43H] dmax 257"), std::string::npos);

    port.writes.clear();
    port.open = false;
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(d.DataGet(nullptr, 1, 0), 0);
    EXPECT_TRUE(port.writes.empty());

    CSMNormal unloaded(5633);
    port.open = true;
    EXPECT_EQ(unloaded.DataGet(&port, 1, 0), 0);
    EXPECT_TRUE(port.writes.empty());

    std::string hex64;
    for (int i = 0; i < 64; ++i) hex64 += "00";
    d.Ini().SetValue(SEC_COMM, "SND", hex64 + " cmd");
    d.UpdLoad();
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0) << "a 65-byte frame is not sent";
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(NormalTest, ControlsSendCodeAndData)
{
    Load(std::string(kExample) + "delay=0\nYk01=45\nYk02=45,0101\nYk03=\n");
    port.Reply(Reply({}, 1, 0x45));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 1);
    EXPECT_EQ(ToHex(port.writes.back()), "7E 01 45 00 C4 0D");
    EXPECT_EQ(port.readCaps.back(), 12) << "twice the request";
    port.Reply(Reply({0x01}, 1, 0x45));
    EXPECT_EQ(d.DoFunc(&port, 1, 2, nullptr, 0), 1);
    EXPECT_EQ(ToHex(port.writes.back()), "7E 01 45 02 01 01 C8 0D");
    EXPECT_EQ(port.readCaps.back(), 16);
    port.Reply(Reply({}, 1, 0x46));
    Bytes bad = Reply({}, 1, 0x45);
    bad[3] ^= 0xFF;
    port.Reply(bad);
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 1) << "the head and tail match, the sum too";
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0) << "wrong sum";
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 0) << "silence";
    size_t sent = port.writes.size();
    EXPECT_EQ(d.DoFunc(&port, 1, 3, nullptr, 0), 0);
    EXPECT_EQ(d.DoFunc(&port, 1, 4, nullptr, 0), 0);
    EXPECT_EQ(d.DoFunc(nullptr, 1, 1, nullptr, 0), 0);
    EXPECT_EQ(port.writes.size(), sent);
    port.open = false;  // controls do not ask IsOpen
    port.Reply(Reply({}, 1, 0x45));
    EXPECT_EQ(d.DoFunc(&port, 1, 1, nullptr, 0), 1);
    EXPECT_TRUE(FakeClock::Sleeps().empty());
}

TEST_F(NormalTest, TablesRowsAndBrief)
{
    Load(std::string(kExample) + "cmds=42\ndat0=3\nbrief=T=%1% %1st%/%2%\nmodel=QV-BOX\n"
                                 "[42H]\n1=I\n2=B\n"
                                 "[flds]\ncnt=2\n1=42H01\n2=42H02\n"
                                 "[flds.def]\n1='T',1,'Temp',0,10,0,0,'',0,''\n2='S',1,'Sw',0,1,0,0,'',0,''\n");
    TestDb live, hist;
    d.SetDb(&live, 0);
    d.SetDb(&hist, 1);
    tagSMItem item = MakeItem(9, 5632, 1, 0, &port);
    d.DoItem(&item, 0);
    d.RegDb(&live, 0);
    EXPECT_EQ(live.Str("select Name from tbSMType where Type=5632"), "QV-BOX");
    EXPECT_EQ(live.Int("select count(*) from tbSMDef where Type=5632"), 2);
    live.Clear();
    EXPECT_EQ(d.ChkDb(nullptr), 1);
    ASSERT_EQ(live.execs.size(), 2u);
    EXPECT_EQ(live.execs[0], "create table tbNormal(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,"
                             "Addr INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER)");
    EXPECT_EQ(live.execs[1],
              "create table tbNormalDat(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,Fld VARCHAR(64),Val INTEGER)");
    EXPECT_EQ(hist.execs.size(), 2u);
    EXPECT_EQ(d.ChkDb(&item), 1);
    EXPECT_EQ(live.Int("select State from tbNormal where SID=9"), -1);

    port.Reply(Reply({0x00, 0xD7, 0x01}));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(d.DataVal(1), 215);
    EXPECT_EQ(d.DataVal(2), 1);
    int bits[16] = {1};
    EXPECT_EQ(d.DataUpd(0, bits, nullptr, -1, &hist), 1);
    // The brief is expanded with state 0 and no alarm bits: no state word, no alarm text.
    EXPECT_EQ(live.Str("select Brief from tbSMBrief where SID=9"), "T=21.5 /1");
    EXPECT_EQ(live.Int("select St from tbSMBrief where SID=9"), 0);
    EXPECT_EQ(live.Int("select Val from tbNormalDat where SID=9 and DID=0 and Fld='V42H01'"), 215);
    EXPECT_EQ(live.Int("select count(*) from tbNormalDat where SID=9 and DID=0"), 2);
    int did = hist.Int("select max(DID) from tbNormal");
    EXPECT_EQ(hist.Int("select count(*) from tbNormalDat where DID=" + std::to_string(did)), 2);

    EXPECT_EQ(d.DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(live.Int("select St from tbSMBrief where SID=9"), 2) << "the brief row carries the real state";
    EXPECT_EQ(live.Str("select Brief from tbSMBrief where SID=9"), "T=21.5 /1");
    EXPECT_EQ(live.Int("select State from tbNormal where SID=9"), 2);

    // A value text in [vals] that is not a number never lands unquoted in a statement.
    d.Ini().SetValue(SEC_VALS, "42H09", "1);drop table tbNormal;--");
    live.Clear();
    d.DataDetail(&live, 9, 0);
    EXPECT_EQ(live.CountExecs("'V42H09',null)"), 1);
    EXPECT_EQ(live.Int("select count(*) from tbNormal"), 1);
}

TEST_F(NormalTest, FactoryAndInitialState)
{
    EXPECT_EQ(NewNormalHandler(5700), nullptr);
    root.Write("/NandFlash/SM/SM5700.def", "[flds]\ncnt=4\n");
    ISMBase* h = NewNormalHandler(5700);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->DataSize(), 4);
    delete static_cast<CSMNormal*>(static_cast<CSMBase*>(h));
    EXPECT_NE(root.Read("/NandFlash/tmp/qvsm.log.ini").find("CSMNormal new 0x"), std::string::npos);
    EXPECT_EQ(d.DataSize(), 1);
    EXPECT_STREQ(d.GetNote(), "QVYD-base");
}

}  // namespace
