// The definition-driven Modbus driver: requests, decoding, splits, storage and controls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "generic/SMModbus.h"
#include "tests/kit/Kit.h"

namespace {

class ModbusTest : public ::testing::Test {
protected:
    // Loads the definition text as the driver's file.
    void Load(const std::string& text)
    {
        if (!root.Exists("/NandFlash/tmp/qvsm.log.ini")) root.Write("/NandFlash/tmp/qvsm.log.ini", "");
        root.Write("/NandFlash/SM/SM4608.def", text);
        testing::internal::CaptureStdout();
        int r = drv.LoadDef(SMPath("/NandFlash/SM/SM4608.def").c_str());
        loadOut = testing::internal::GetCapturedStdout();
        ASSERT_EQ(r, 1);
    }
    std::string Val(const std::string& key) { return drv.Ini().GetValue(SEC_VALS, key, "<none>"); }
    size_t ValCount()
    {
        const SimpleIni::KeyMap* m = drv.Ini().Section(SEC_VALS);
        return m ? m->size() : 0;
    }
    // An RTU read reply of address 1 carrying the given data bytes.
    void RtuData(unsigned char fc, const Bytes& data)
    {
        Bytes b = {0x01, fc, static_cast<unsigned char>(data.size())};
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

    TempRoot root;
    FakeClock clock;
    ScriptPort port;
    CSMModbus drv{4608};
    std::string loadOut;
};

const char kExample[] =
    "[comm]\ndelay=0\n"
    "[regs3]\n0=2\n"
    "[flds]\ncnt=2\n1=40001\n2=40002\n40002=S0.1\n"
    "[flds.def]\n1='Ua',1,'Voltage',0,10,0,0,'',0,''\n2='T',1,'Temperature',0,1,0,0,'',0,''\n";

TEST_F(ModbusTest, ReadsTheHoldingRegistersOfTheExample)
{
    Load(kExample);
    EXPECT_EQ(loadOut, "CSMModbus::UpdLoad  d=0  0ms  tout=300  DataByte=0\n");
    Regs({2201, 0xFF9C});
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(ToHex(port.writes[0]), ToHex(HexBytes("01 03 00 00 00 02 C4 0B")));
    EXPECT_EQ(port.readCaps, std::vector<int>{MB_REPLY_SIZE});
    EXPECT_EQ(port.readTimeouts, std::vector<int>{0});
    EXPECT_EQ(port.purges, 0);
    EXPECT_EQ(Val("40001"), "2201");
    EXPECT_EQ(Val("40002"), "-10") << "signed -100 times 0.1";
    EXPECT_EQ(ValCount(), 2u);
    EXPECT_EQ(drv.DataVal(1), 2201);
    EXPECT_EQ(drv.DataVal(2), -10);
    EXPECT_EQ(drv.DataVal(3), -1);
    EXPECT_EQ(drv.Ini().GetValue(SEC_FLDSVAL, "Ua"), "1");
    EXPECT_EQ(drv.Ini().GetValue(SEC_FLDSVAL, "T"), "2");
    EXPECT_EQ(drv.Ini().GetValue(SEC_FLDSVAL, "1"), "10");
}

TEST_F(ModbusTest, SixteenBitTypes)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=7\n"
         "[flds]\n40001=S\n40003=s\n40004=u\n40005=U\n40006=X\n40007=S2\n");
    Regs({0x1234, 0xFFFE, 0xFEFF, 0x3412, 0xFFFF, 0x8001, 0xFFF0});
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("40001"), "4660");
    EXPECT_EQ(Val("40002"), "65534") << "no format: unsigned";
    EXPECT_EQ(Val("40003"), "-2") << "signed, low byte first";
    EXPECT_EQ(Val("40004"), "4660") << "unsigned, low byte first";
    EXPECT_EQ(Val("40005"), "65535");
    EXPECT_EQ(Val("40006"), "32769") << "an unknown letter reads unsigned";
    EXPECT_EQ(Val("40007"), "-32") << "signed -16 times 2";
}

TEST_F(ModbusTest, ThirtyTwoBitTypesConsumeTheNextRegister)
{
    Load("[comm]\ndelay=0\n[regs4]\n0=7\n[regs3]\n0=4\n"
         "[flds]\n30001=I\n30003=l\n30005=L\n30007=U\n40001=L\n"
         "[regs4]\n5bit=1\n[regs3]\n1bit=1\n1HL=1\n");
    Regs({0x0102, 0x8000, 0x00AB, 9});
    Regs({0x0A0B});  // "1HL" is a block of its own
    Regs({0x1234, 0x5678, 0x7856, 0x3412, 0x5678, 0x1234, 7}, 4);
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(ToHex(port.writes[1]).substr(0, 17), "01 03 00 01 00 01");
    EXPECT_EQ(port.writes[0][1], 3) << "function codes in order 1..4";
    EXPECT_EQ(Val("30001"), "305419896");
    EXPECT_EQ(Val("30003"), "305419896");
    EXPECT_EQ(Val("30005"), "305419896") << "second word high";
    EXPECT_EQ(Val("30002"), "<none>");
    EXPECT_EQ(Val("30006"), "<none>");
    EXPECT_EQ(Val("30007"), "7");
    EXPECT_EQ(Val("30005-0"), "0") << "bits keyed by the last register: 5bit";
    EXPECT_EQ(Val("30005-3"), "1");
    EXPECT_EQ(Val("30005-7"), "0");
    EXPECT_EQ(Val("30005-8"), "<none>");
    // 40001 = L: 0x80000102, stored bit for bit.
    EXPECT_EQ(Val("40001"), "-2147483390");
    EXPECT_EQ(Val("40003"), "171") << "the next value decoded";
    EXPECT_EQ(Val("40004"), "9");
    EXPECT_EQ(Val("40001-1"), "1") << "1bit applies to the L value";
    EXPECT_EQ(Val("40001-7"), "0");
    EXPECT_EQ(Val("40001-8"), "<none>") << "1bit=1: one byte, eight bits";
    EXPECT_EQ(Val("40001-H"), "1");
    EXPECT_EQ(Val("40001-L"), "2");
    EXPECT_EQ(Val("40002"), "2571") << "read again by the 1HL block";
    EXPECT_EQ(Val("40002-H"), "10");
    EXPECT_EQ(Val("40002-L"), "11");
}

TEST_F(ModbusTest, FloatsApplyTheirMultiplierInSinglePrecision)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=8\n[flds]\n40001=F10\n40003=f100\n40005=F\n40007=F10\n");
    unsigned char le[4], be[4];
    float v = 12.34f;
    std::memcpy(le, &v, 4);  // the test machine is little-endian: least significant byte first
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    be[0] = static_cast<unsigned char>(bits >> 24);
    be[1] = static_cast<unsigned char>(bits >> 16);
    be[2] = static_cast<unsigned char>(bits >> 8);
    be[3] = static_cast<unsigned char>(bits);
    float neg = -12.34f;
    unsigned char nle[4];
    std::memcpy(nle, &neg, 4);
    // f: word(p+2) is the high word, so the low word comes first.
    Bytes d = {le[0], le[1], le[2], le[3], be[2], be[3], be[0], be[1], le[0], le[1], le[2], le[3],
               nle[0], nle[1], nle[2], nle[3]};
    RtuData(3, d);
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("40001"), "123");
    EXPECT_EQ(Val("40003"), "1234");
    EXPECT_EQ(Val("40005"), "12") << "no multiplier: times 1, truncated";
    EXPECT_EQ(Val("40007"), "-123") << "truncated toward zero";
}

TEST_F(ModbusTest, MultipliersStartWithADigit)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=5\n[flds]\n40001=S0.5\n40002=L.5\n40004=10\n40005=S0.5\n");
    Regs({101, 2, 0, 7, 0xFFFD});
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("40001"), "50") << "S0.5 halves";
    EXPECT_EQ(Val("40002"), "10") << "L.5 multiplies by 5";
    EXPECT_EQ(Val("40004"), "70") << "a format starting with a digit is a multiplier";
    EXPECT_EQ(Val("40005"), "-1") << "-1.5 truncated toward zero";

    MbFormat f = MbParseFormat("L.5");
    EXPECT_EQ(f.type, 'L');
    EXPECT_EQ(f.text, "5");
    EXPECT_DOUBLE_EQ(f.mult, 5.0);
    f = MbParseFormat("S0.5");
    EXPECT_EQ(f.text, "0.5");
    EXPECT_FALSE(MbParseFormat("S").scaled);
    EXPECT_FALSE(MbParseFormat("").scaled);
    EXPECT_EQ(MbScale(1000000000, MbParseFormat("100")), INT32_MAX) << "saturates instead of overflowing";
}

TEST_F(ModbusTest, CoilsStoreTheWeightOfEachBit)
{
    Load("[comm]\ndelay=0\n[regs1]\n0=10\n[regs2]\n16=8\n");
    RtuData(1, {0x05, 0x80});
    RtuData(2, {0x81});
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(ToHex(port.writes[0]), ToHex(HexBytes("01 01 00 00 00 0A BC 0D")));
    EXPECT_EQ(Val("00001"), "1");
    EXPECT_EQ(Val("00002"), "0");
    EXPECT_EQ(Val("00003"), "4");
    EXPECT_EQ(Val("00016"), "128") << "every bit of every received byte";
    EXPECT_EQ(Val("00017"), "<none>");
    EXPECT_EQ(Val("10017"), "1");
    EXPECT_EQ(Val("10024"), "128");
    EXPECT_EQ(ValCount(), 24u);
}

TEST_F(ModbusTest, TcpFramesAndCoilNumbering)
{
    Load("[comm]\ndelay=0\n[regs1]\n0=8\n[regs3]\n4=1\n");
    port.mode = QVSM_MODE_TCP;
    port.ReplyHex("00 01 00 00 00 04 01 01 01 05");
    port.ReplyHex("00 02 00 00 00 05 01 03 02 01 02");
    ASSERT_EQ(drv.DataGet(&port, 7, 0), 1);
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(ToHex(port.writes[0]), ToHex(HexBytes("00 01 00 00 00 06 07 01 00 00 00 08")));
    EXPECT_EQ(ToHex(port.writes[1]), ToHex(HexBytes("00 02 00 00 00 06 07 03 00 04 00 01")));
    EXPECT_EQ(Val("00001"), "1") << "numbered from the first data byte, as over RTU";
    EXPECT_EQ(Val("00003"), "4");
    EXPECT_EQ(Val("40005"), "258");
    EXPECT_EQ(drv.TransId(), 3);

    // Bit 0x10000 of the flag argument keeps RTU frames on a network port.
    RtuData(1, {0x01});
    Regs({5});
    ASSERT_EQ(drv.DataGet(&port, 7, 0x10000), 1);
    EXPECT_EQ(port.writes[2].size(), 8u);
    EXPECT_EQ(port.writes[2][0], 7);
    EXPECT_EQ(drv.TransId(), 3) << "RTU requests take no transaction id";
}

TEST_F(ModbusTest, TransactionIdSendsItsLowSixteenBits)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=1\n");
    port.mode = QVSM_MODE_TCP;
    for (int i = 0; i < 0xFFFF; ++i) drv.DataGet(&port, 1, 0);  // no replies: each poll fails after its request
    EXPECT_EQ(drv.TransId(), 0x10000);
    port.writes.clear();
    drv.DataGet(&port, 1, 0);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0][0], 0);
    EXPECT_EQ(port.writes[0][1], 0);
    EXPECT_EQ(drv.TransId(), 0x10001);
}

TEST_F(ModbusTest, CrcSwitch)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=1\n[flds]\n");
    port.ReplyHex("01 03 02 00 2A 00 00");  // wrong CRC
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(ValCount(), 0u);

    Load("[comm]\ndelay=0\ncrc=0\n[regs3]\n0=1\n");
    port.ReplyHex("01 03 02 00 2A 00 00");
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("40001"), "42");
    EXPECT_EQ(ValCount(), 1u) << "the last two bytes are the CRC, never data";
}

TEST_F(ModbusTest, ExceptionAndShortRepliesFailThePoll)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=1\n10=2\n");  // "0" before "10"
    // Exception reply: passes the length and CRC tests but carries no data.
    Regs({7});
    port.ReplyRtu({0x01, 0x83, 0x02});
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("40001"), "7") << "values of the blocks read before stay";
    EXPECT_EQ(Val("40011"), "<none>");

    // A reply shorter than its block.
    Regs({7});
    Regs({1});
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("40011"), "<none>");
    EXPECT_EQ(Val("40012"), "<none>");

    // Fewer bytes than the shortest reply.
    port.ReplyHex("01 03 00 00");
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);

    // Over TCP: an exception reply and a short one.
    port.mode = QVSM_MODE_TCP;
    port.ReplyHex("00 01 00 00 00 03 01 83 02");
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    port.ReplyHex("00 02 00 00 00 05 01 03 02 00 07");
    port.ReplyHex("00 03 00 00 00 05 01 03 02 00 01");
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("40001"), "7");
    EXPECT_EQ(Val("40011"), "<none>");

    // Coils: fewer data bytes than the block needs.
    Load("[comm]\ndelay=0\ncrc=0\n[regs1]\n0=9\n");
    port.mode = 0;
    RtuData(1, {0xFF});
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(ValCount(), 0u);
}

TEST_F(ModbusTest, ThirtyTwoBitValueAtTheEndOfABlockIsNotReadFromTheCrc)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=2\n[flds]\n40002=I\n");
    Regs({1, 2});
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(Val("40001"), "1");
    EXPECT_EQ(Val("40002"), "<none>");
}

TEST_F(ModbusTest, OversizeBlocksAreRefusedBeforeSending)
{
    Load("[comm]\ndelay=0\n[regs3]\n0=126\n");
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_TRUE(port.writes.empty());
    Load("[comm]\ndelay=0\n[regs1]\n0=2001\n");
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    Load("[comm]\ndelay=0\n[regs4]\n65535=2\n");
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    Load("[comm]\ndelay=0\n[regs3]\n0=-1\n");
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_TRUE(port.writes.empty());
    EXPECT_NE(root.Read("/NandFlash/tmp/qvsm.log.ini").find("over the Modbus limits"), std::string::npos);

    // The largest blocks are read.
    Load("[comm]\ndelay=0\n[regs3]\n0=125\n[regs1]\n0=2000\n");
    Bytes coils(250, 0);
    RtuData(1, coils);
    std::vector<unsigned> regs(125, 3);
    Regs(regs);
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Val("40125"), "3");
    EXPECT_EQ(Val("02000"), "0");
}

TEST_F(ModbusTest, BlockKeysAndSplitKeys)
{
    // "5bit" is no block; "5HL" is a block at 5 and marks register 5 for the byte split;
    // blocks run in text order ("10" before "5HL"); count 0 and keys without a number are skipped.
    Load("[comm]\ndelay=0\n[regs3]\n5bit=2\n5HL=1\n10=1\n20=0\nxy=3\n"
         "[flds]\n40006=\n");
    Regs({0x0300});
    Regs({0xA5C3});
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(ToHex(port.writes[0]), ToHex(HexBytes("01 03 00 0A 00 01 A4 08")));
    EXPECT_EQ(port.writes[1][3], 5);
    EXPECT_EQ(Val("40011"), "768");
    EXPECT_EQ(Val("40006"), "42435");
    EXPECT_EQ(Val("40006-0"), "1");
    EXPECT_EQ(Val("40006-15"), "1");
    EXPECT_EQ(Val("40006-14"), "0");
    EXPECT_EQ(Val("40006-16"), "<none>") << "at most 16 bits";
    EXPECT_EQ(Val("40006-H"), "165") << "the byte split works on the unshifted value";
    EXPECT_EQ(Val("40006-L"), "195");

    int start = -1;
    EXPECT_FALSE(MbBlockKey("5bit", start));
    EXPECT_TRUE(MbBlockKey("5HL", start));
    EXPECT_EQ(start, 5);
    EXPECT_FALSE(MbBlockKey("HL5", start));
}

TEST_F(ModbusTest, ByteModeReadsOneAddressPerByte)
{
    Load("[comm]\ndelay=0\nDataByte=1\n[regs3]\n0=8\n"
         "[flds]\n40002=S\n40004=I\n40008=b\n[regs3]\n0bit=2\n0HL=1\n");
    RtuData(3, {0xC3, 0xFF, 0x38, 0x12, 0x34, 0x56, 0x78, 0x09, 0, 0, 0, 0, 0, 0, 0, 0});
    RtuData(3, {0xC3, 0x00});  // the "0HL" block
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(Val("40001"), "195");
    EXPECT_EQ(Val("40002"), "-200") << "two bytes, high first";
    EXPECT_EQ(Val("40003"), "<none>");
    EXPECT_EQ(Val("40004"), "305419896");
    EXPECT_EQ(Val("40008"), "9");
    EXPECT_EQ(Val("40001-7"), "1");
    EXPECT_EQ(Val("40001-8"), "<none>") << "at most 8 bits";
    EXPECT_EQ(Val("40001-H"), "<none>") << "no byte split in byte mode";
}

TEST_F(ModbusTest, PortAndLoadFailures)
{
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0) << "unloaded";
    EXPECT_EQ(drv.DataSize(), 1);
    Load(kExample);
    port.open = false;
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(drv.DataGet(nullptr, 1, 0), 0);
    EXPECT_TRUE(port.writes.empty());
    port.open = true;
    port.shortWriteBy = 1;
    Regs({1, 2});
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.reads, 0) << "no read after a short write";

    // A poll starts from an empty [vals].
    port.shortWriteBy = 0;
    port.replies.clear();
    Regs({1, 2});
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    port.open = false;
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(ValCount(), 0u);

    // A definition without blocks polls successfully with no values.
    Load("[comm]\nnote=x\n");
    port.open = true;
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(port.writes.size(), 2u);
}

TEST_F(ModbusTest, PausesFollowDelayAndDelayv)
{
    Load("[regs3]\n0=1\n[flds]\ncnt=1\n1=40001\n");
    EXPECT_EQ(drv.Delay(), 10);
    EXPECT_EQ(drv.DelayV(), 30);
    Regs({5});
    FakeClock::Sleeps().clear();
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{10000});
    FakeClock::Sleeps().clear();
    EXPECT_EQ(drv.DataVal(1), 5);
    EXPECT_EQ(drv.DataVal(2), -1);
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{10000}) << "no pause above cnt";

    Load("[comm]\ndelay=25\ndelayv=0\n[regs3]\n0=1\n[flds]\ncnt=1\n1=40001\n");
    Regs({5});
    FakeClock::Sleeps().clear();
    ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(drv.DataVal(1), 5);
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{25000});
}

TEST_F(ModbusTest, DebugTrace)
{
    Load("[comm]\ndebug=1\ndelay=0\nbrief=U=%1%\n[regs3]\n0=1\n[flds]\ncnt=1\n1=40001\n"
         "[flds.def]\n1='U',1,'u',0,10,0\n");
    Regs({2345});
    testing::internal::CaptureStdout();
    ASSERT_EQ(drv.DataGet(&port, 3, 0x10000), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "regs1\nregs2\nregs3\n0=1\nircv=7\nregs4\nt=4608  iaddr=3  iext=65536\n40001=2345\nbrief=U=234.5\n");
}

// ---- storage -----------------------------------------------------------------------------------

class ModbusDbTest : public ModbusTest {
protected:
    void SetUp() override
    {
        Load("[comm]\ndelay=0\nnote=Meter\nbrief=U=%1%V %1st% T=%2%\n[regs3]\n0=2\n"
             "[flds]\ncnt=2\n1=40001\n2=40002\n40002=S\n"
             "[flds.def]\n1='Ua',1,'Volt''s',0,10,0,0,'',0,''\n2='T',1,'Temp',0,1,0,0,'',0,''\n");
        drv.SetDb(&db, 0);
        drv.DoItem(&item, 0);
        drv.RegDb(&db, 0);
    }
    void Poll(unsigned a = 2201, unsigned b = 0xFFF6)
    {
        Regs({a, b});
        ASSERT_EQ(drv.DataGet(&port, 1, 0), 1);
    }
    TestDb db;
    tagSMItem item = MakeItem(17, 4608, 1, 0, &port);
};

TEST_F(ModbusDbTest, TablesAndTheDeviceRow)
{
    db.Clear();
    EXPECT_EQ(drv.ChkDb(&item), 1);
    ASSERT_GE(db.execs.size(), 2u);
    EXPECT_EQ(db.execs[0],
              "create table tbModbus(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,Addr INTEGER,"
              "DateUpd DATETIME,State INTEGER,SnapID INTEGER)");
    EXPECT_EQ(db.execs[1],
              "create table tbModbusDat(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,Fld VARCHAR(64),Val INTEGER)");
    EXPECT_EQ(db.Int("select State from tbModbus where SID=17"), -1);
    EXPECT_EQ(db.Int("select count(*) from tbSMBrief where SID=17"), 1);
    db.Clear();
    EXPECT_EQ(drv.ChkDb(nullptr), 1);
    EXPECT_EQ(db.CountExecs("create table"), 0) << "tables exist";

    TestDb second;
    drv.SetDb(&second, 1);
    EXPECT_EQ(drv.ChkDb(nullptr), 1);
    EXPECT_EQ(second.CountExecs("create table"), 2);
    CSMModbus none(4608);
    EXPECT_EQ(none.ChkDb(&item), 0) << "no live database";
}

TEST_F(ModbusDbTest, RegistrationWritesModelNoteAndPoints)
{
    EXPECT_EQ(db.Str("select Name||'/'||Iface from tbSMType where Type=4608"), "QVMB-base/Meter");
    EXPECT_EQ(db.Int("select Kind from tbSMType where Type=4608"), 4608);
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=4608"), 2);
    EXPECT_EQ(db.Str("select Note from tbSMDef where Type=4608 and Fld=1"), "Volt's");

    CSMModbus unloaded(4864);
    TestDb d2;
    unloaded.RegDb(&d2, 1);
    EXPECT_EQ(d2.Int("select count(*) from tbSMType where Type=4864"), 1);
    EXPECT_EQ(d2.Int("select count(*) from tbSMDef"), 0) << "an unloaded driver registers no points";
}

TEST_F(ModbusDbTest, UpdateWritesStateBriefAndReadings)
{
    drv.ChkDb(&item);
    Poll();
    int alm[16] = {0};
    db.Clear();
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, nullptr), 1);
    ASSERT_EQ(db.execs.size(), 6u);
    EXPECT_EQ(db.execs[0], "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0 "
                           "where sid=17 and type=4608");
    EXPECT_EQ(db.execs[1], "update tbModbus set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0,SnapID=0 "
                           "where sid=17");
    EXPECT_EQ(db.execs[2], "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),St=0,"
                           "Brief='U=220.1V (正常) T=-10' where sid=17");
    EXPECT_EQ(db.execs[3], "delete from tbModbusDat where SID=17");
    EXPECT_EQ(db.execs[4], "insert into tbModbusDat(DID,SID,Fld,Val) values(0,17,'V40001',2201)");
    EXPECT_EQ(db.execs[5], "insert into tbModbusDat(DID,SID,Fld,Val) values(0,17,'V40002',-10)");

    // Alarm bit of point 1: the detail names it; the state stays 0 unless flags bit 0 is set.
    alm[0] = 1;
    Poll(2300, 5);
    db.Clear();
    int snap = 9;
    EXPECT_EQ(drv.DataUpd(0x11, alm, &snap, -1, nullptr), 1);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=17"), "U=230.0V (告警) T=5; 告警:Volt's");
    EXPECT_EQ(db.Int("select St from tbSMBrief where SID=17"), 1);
    EXPECT_EQ(db.Int("select SnapID from tbModbus where SID=17"), 9);
    EXPECT_EQ(db.Int("select count(*) from tbModbusDat where SID=17"), 2) << "rows replaced, not added";
    EXPECT_EQ(db.Int("select Val from tbModbusDat where SID=17 and Fld='V40002'"), 5);
    db.Clear();
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Int("select State from tbModbus where SID=17"), 0) << "alarm bits alone do not raise the state";

    // After a failed poll.
    port.open = false;
    EXPECT_EQ(drv.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(drv.DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=17"), "U=V (故障) T=");
    EXPECT_EQ(db.Int("select State from tbModbus where SID=17"), 2);
    EXPECT_EQ(db.Int("select count(*) from tbModbusDat where SID=17"), 0);

    // A failing statement makes the update fail.
    port.open = true;
    Poll();
    db.failText = "tbModbusDat";
    db.failExec = true;
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, nullptr), 0);
}

TEST_F(ModbusDbTest, HistoryRowsCarryTheirReadings)
{
    drv.ChkDb(&item);
    TestDb hist;
    drv.SetDb(&hist, 1);
    drv.ChkDb(nullptr);
    int alm[16] = {0};
    Poll();
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, &hist), 1);
    Poll(2210, 3);
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, &hist), 1);
    EXPECT_EQ(hist.Int("select count(*) from tbModbus"), 2);
    EXPECT_EQ(hist.Str("select SID||','||Type||','||Port||','||Addr||','||State from tbModbus where DID=2"),
              "17,4608," + std::to_string(item.Port) + ",1,0");
    EXPECT_EQ(hist.Int("select count(*) from tbModbusDat"), 4) << "history readings are never deleted";
    EXPECT_EQ(hist.Int("select Val from tbModbusDat where DID=2 and Fld='V40001'"), 2210);
    EXPECT_EQ(hist.Int("select Val from tbModbusDat where DID=1 and Fld='V40001'"), 2201);
    EXPECT_EQ(hist.Int("select count(*) from tbModbusDat where DID=0"), 0);

    // A history row that cannot be written gets no readings.
    hist.failText = "insert into tbModbus(";
    hist.failExec = true;
    hist.Clear();
    EXPECT_EQ(drv.DataUpd(0, alm, nullptr, -1, &hist), 0);
    EXPECT_EQ(hist.CountExecs("tbModbusDat"), 0);
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
    EXPECT_EQ(drv.DoFunc(&port, 1, 1, nullptr, 0), 1);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(ToHex(port.writes[0]), ToHex(HexBytes("01 06 00 01 00 01 19 CA")));
    EXPECT_EQ(port.readCaps.back(), 10) << "request length + 2";
    EXPECT_EQ(FakeClock::Sleeps(), std::vector<unsigned long>{5000});

    // Exception reply, short reply, no reply.
    port.ReplyRtu({0x01, 0x86, 0x02});
    EXPECT_EQ(drv.DoFunc(&port, 1, 1, nullptr, 0), 0);
    port.ReplyHex("01 06 00 01");
    EXPECT_EQ(drv.DoFunc(&port, 1, 1, nullptr, 0), 0);
    EXPECT_EQ(drv.DoFunc(&port, 1, 1, nullptr, 0), 0);

    // Yk100: command number above 99.
    port.ReplyHex("02 0F 00 00 00 03 00 00");
    EXPECT_EQ(drv.DoFunc(&port, 2, 100, nullptr, 0), 1);
    EXPECT_EQ(ToHex(port.LastWrite()).substr(0, 23), ToHex(HexBytes("02 0F 00 00 00 03 01 05")));
    EXPECT_EQ(drv.TransId(), 1);
}

TEST_F(ModbusCtlTest, TcpControlUsesTheTransactionId)
{
    port.mode = QVSM_MODE_TCP;
    port.ReplyHex("00 01 00 00 00 06 01 06 00 01 00 01");
    EXPECT_EQ(drv.DoFunc(&port, 1, 1, nullptr, 0), 1);
    EXPECT_EQ(ToHex(port.writes[0]), ToHex(HexBytes("00 01 00 00 00 06 01 06 00 01 00 01")));
    EXPECT_EQ(drv.TransId(), 2);
    port.ReplyHex("00 02 00 00 00 03 01 86 02");
    EXPECT_EQ(drv.DoFunc(&port, 1, 1, nullptr, 0), 0);
    EXPECT_EQ(port.writes[1][1], 2);
    // len bit 0x10000: RTU over the network port.
    port.ReplyHex("01 06 00 01 00 01 19 CA");
    EXPECT_EQ(drv.DoFunc(&port, 1, 1, nullptr, 0x10000), 1);
    EXPECT_EQ(ToHex(port.writes[2]), ToHex(HexBytes("01 06 00 01 00 01 19 CA")));
    EXPECT_EQ(drv.TransId(), 3);
}

TEST_F(ModbusCtlTest, RefusedControlsSendNothing)
{
    EXPECT_EQ(drv.DoFunc(&port, 1, 0x10001, nullptr, 0), 0) << "bits 16..23 of the command";
    EXPECT_EQ(drv.DoFunc(&port, 1, 9, nullptr, 0), 0) << "no such control";
    EXPECT_EQ(drv.DoFunc(&port, 1, 2, nullptr, 0), 0) << "not hex";
    EXPECT_EQ(drv.DoFunc(&port, 1, 3, nullptr, 0), 0) << "odd number of digits";
    EXPECT_EQ(drv.DoFunc(&port, 1, 5, nullptr, 0), 0) << "62 bytes do not fit an RTU request";
    port.mode = QVSM_MODE_TCP;
    EXPECT_EQ(drv.DoFunc(&port, 1, 7, nullptr, 0), 0) << "58 bytes do not fit a TCP request";
    port.open = false;
    EXPECT_EQ(drv.DoFunc(&port, 1, 1, nullptr, 0), 0);
    EXPECT_EQ(drv.DoFunc(nullptr, 1, 1, nullptr, 0), 0);
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(drv.TransId(), 1);
    std::string log = root.Read("/NandFlash/tmp/qvsm.log.ini");
    EXPECT_NE(log.find("Yk05 is too long"), std::string::npos);
    EXPECT_NE(log.find("Yk07 is too long for TCP"), std::string::npos);
    EXPECT_NE(log.find("Yk02 is not a request in hex"), std::string::npos);

    // The largest requests fit the 64-byte buffer exactly.
    port.open = true;
    port.ReplyHex("00 01 00 00 00 03 01 06 00");
    EXPECT_EQ(drv.DoFunc(&port, 1, 6, nullptr, 0), 1);
    EXPECT_EQ(port.writes.back().size(), 64u);
    port.mode = 0;
    port.ReplyHex("01 06 00 00 00");
    EXPECT_EQ(drv.DoFunc(&port, 1, 4, nullptr, 0), 1);
    EXPECT_EQ(port.writes.back().size(), 64u);

    CSMModbus unloaded(4608);
    EXPECT_EQ(unloaded.DoFunc(&port, 1, 1, nullptr, 0), 0);
}

TEST(ModbusKeys, RegisterKeysAndLimits)
{
    char key[16];
    EXPECT_EQ(MbRegKey(key, sizeof key, 1, 1), 5);
    EXPECT_STREQ(key, "00001");
    MbRegKey(key, sizeof key, 2, 17);
    EXPECT_STREQ(key, "10017");
    MbRegKey(key, sizeof key, 3, 65536);
    EXPECT_STREQ(key, "465536");
    MbRegKey(key, sizeof key, 4, 1);
    EXPECT_STREQ(key, "30001");
    EXPECT_EQ(MbRegKey(key, 5, 4, 1), -1) << "does not fit";
    EXPECT_EQ(MbRegKey(key, sizeof key, 5, 1), -1);
    EXPECT_TRUE(MbBlockFits(3, 65410, 125));
    EXPECT_FALSE(MbBlockFits(3, 65411, 126));
    EXPECT_TRUE(MbBlockFits(2, 0, 2000));
    EXPECT_FALSE(MbBlockFits(2, 0, 2001));
    EXPECT_FALSE(MbBlockFits(4, 0, 0));
    EXPECT_EQ(MbPduLen("0a0B"), 2);
    EXPECT_EQ(MbPduLen(""), -1);
    EXPECT_EQ(MbPduLen("0g"), -1);
}

}  // namespace
