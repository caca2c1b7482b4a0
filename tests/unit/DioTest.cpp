// I/O family: the board inputs (2-byte stream and gpio device), notes and summaries of the
// family base, the W70XX relay frames and the i.MX6 analogue inputs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/dio/DioModels.h"
#include "tests/kit/Kit.h"

namespace {

// How often exactly this statement or query reached the database.
int Exactly(const TestDb& db, const std::string& what)
{
    int n = 0;
    for (const std::string& c : db.calls)
        if (c == "Exec " + what || c == "Query " + what) ++n;
    return n;
}

std::string BriefOf(TestDb& db, int sid)
{
    return db.Str("select Brief from tbSMBrief where SID=" + std::to_string(sid));
}

std::vector<int> Values(ISMBase& d, int from, int to)
{
    std::vector<int> v;
    for (int i = from; i <= to; ++i) v.push_back(d.DataVal(i));
    return v;
}

TEST(DioStream, ActiveLowBitsOfTheTwoBytesTheBoardSendsAndChannelVariables)
{
    struct Case {
        const char* bytes;
        int dio;
        std::vector<int> d;  // D01..D11 (the points)
        int d12;             // kept in the record beyond the points
    } cases[] = {
        {"FE 0F", 254, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"7F 02", 127, {0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1}, 1},
        {"FF", 255, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},  // second byte missing: inactive
    };
    CSMDio dio;
    ScriptPort port;
    tagSMItem item = MakeItem(5, 2304, 1, 0, &port);
    dio.DoItem(&item, 0);
    for (const Case& c : cases) {
        port.ReplyHex(c.bytes);
        ASSERT_EQ(1, dio.DataGet(&port, 1, 0)) << c.bytes;
        EXPECT_EQ(c.dio, dio.DataVal(0)) << c.bytes;
        EXPECT_EQ(c.d, Values(dio, 1, 11)) << c.bytes;
        EXPECT_EQ(c.d12, static_cast<const int*>(dio.Data())[12]) << c.bytes;
        EXPECT_EQ(-1, dio.DataVal(12));
    }
    EXPECT_TRUE(port.writes.empty()) << "the board is never asked";
    EXPECT_EQ((std::vector<int>{2, 2, 2}), port.readCaps);
    EXPECT_EQ((std::vector<int>{0, 0, 0}), port.readTimeouts);

    port.ReplyHex("FE FF");
    ASSERT_EQ(1, dio.DataGet(&port, 1, 0));
    struct Var {
        const char* var;
        int ret;
        const char* text;
    } vars[] = {{".D0", -1, ".D0"}, {".D99", -1, ".D99"}, {".D12", -1, ".D12"}, {".D1", 4, "告警"},
                {".D2", 4, "正常"}, {".N2", 4, "DI 2"},    {".N11", 5, "DI 11"},  {".D1x", -1, ".D1x"}};
    for (const Var& v : vars) {
        char buf[256];
        std::snprintf(buf, sizeof buf, "%s", v.var);
        EXPECT_EQ(v.ret, dio.VarEval(buf)) << v.var;
        EXPECT_EQ(v.text, std::string(buf)) << v.var;
    }

    port.Reply(Bytes());
    EXPECT_EQ(0, dio.DataGet(&port, 1, 0)) << "nothing arrived";
    port.open = false;
    EXPECT_EQ(0, dio.DataGet(&port, 1, 0));
}

TEST(DioGpio, Variant1ReadsTwoRequestsOfTheDeviceAndGrowsTo25Points)
{
    TempRoot root;
    CSMDio dio;
    tagSMItem item = MakeItem(5, 2304, 1, 1);
    dio.DoItem(&item, 0);
    EXPECT_EQ(0, dio.DataGet(nullptr, 1, 0)) << "no device file";
    EXPECT_EQ(25, dio.DataSize());
    // Each read of 4 bytes: the request half, then the line states (little-endian here).
    root.Write("/dev/gpio", std::string("\x12\x00\xFE\xFF\x11\x00\x7F\x00", 8));
    ASSERT_EQ(1, dio.DataGet(nullptr, 1, 0));
    EXPECT_EQ(0x7FFFFE, dio.DataVal(0));
    std::vector<int> expect(24, 0);
    expect[0] = 1;   // line 1 low
    expect[23] = 1;  // line 24 low
    EXPECT_EQ(expect, Values(dio, 1, 24));
    // A short second read leaves its preset: lines 17..24 all active.
    root.Write("/dev/gpio", std::string("\x12\x00\xFF\xFF\x11", 5));
    ASSERT_EQ(1, dio.DataGet(nullptr, 1, 0));
    EXPECT_EQ(std::vector<int>(8, 1), Values(dio, 17, 24));
    EXPECT_EQ(std::vector<int>(16, 0), Values(dio, 1, 16));
    // The A9 board: four lines from the second request.
    root.Write("/dev/gpio", std::string("\x12\x00\xFF\x7F\x11\x00\xF7\x00", 8));
    CSMDioA9DI16 a9;
    ASSERT_EQ(1, a9.DataGet(nullptr, 1, 0));
    EXPECT_EQ((std::vector<int>{0, 1, 0, 0, 0, 1, -1}), Values(a9, 15, 21));
}

class DioStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.Run("insert into tbSMDefVal values(2304,0,3,'type note 3')");
        db.Run("insert into tbSMDefVal values(2304,12,3,'door''s contact')");
        dio.SetDb(&db, 0);
        dio.RegDb(&db, 0);
        for (int fld = 0; fld <= 8; ++fld)
            db.Run("insert into tbSubSysDetail(SIDD,sid,type,Fld,State) values(12,12,2304," + std::to_string(fld) +
                   ",-1)");
    }
    TestDb db;
    CSMDio dio;
};

TEST_F(DioStore, NotePrecedenceAndSummaryWords)
{
    int bits3 = 1 << 2;
    int bits35 = (1 << 2) | (1 << 4);
    struct Case {
        int sid, flags;
        int* bits;
        const char* brief;
        int st;
    } cases[] = {
        {12, 1, &bits3, "door's contact:告警 (其他正常)", 1},
        {13, 1, &bits3, "type note 3:告警 (其他正常)", 1},
        {13, 1, &bits35, "type note 3:告警 DI 5:告警 (其他正常)", 1},
        {12, 0, &bits35, "(全部正常)", 0},  // alarm bits alone do not raise the state
        {12, 0, nullptr, "(故障)", 2},
    };
    for (const Case& c : cases) {
        tagSMItem item = MakeItem(c.sid, 2304);
        dio.DoItem(&item, 0);
        dio.ChkDb(&item);
        db.Clear();
        dio.DataUpd(c.flags, c.bits, nullptr, c.sid, nullptr);
        EXPECT_EQ(c.brief, BriefOf(db, c.sid)) << c.brief;
        EXPECT_EQ(1, db.CountExecs(std::string("St=") + std::to_string(c.st) + ",Brief=")) << c.brief;
    }
}

TEST_F(DioStore, RowsChannelStatesByDetailKeyAndTheDioRow)
{
    EXPECT_EQ(1, db.Int("select count(*) from tbSMType where Type=2304 and Kind=2304 and Name='开关量 DI-2416' and "
                        "Iface='开关量输入,内置'"));
    EXPECT_EQ(1, db.CountExecs("insert into tbSMDef values(2304,0,16,'D16',1,'开关量16',0,1,1,0,'拉低触发报警',0,'',0,NULL)"));
    EXPECT_EQ(16, db.Int("select count(*) from tbSMDef where Type=2304"));
    EXPECT_EQ(1, Exactly(db, "select SID,Fld,ANote from tbSMDef  where Type=2304 union all select SID,Fld,ANote "
                             "from tbSMDefVal where Type=2304 order by SID,Fld"));
    tagSMItem item = MakeItem(12, 2304);
    item.DetailOn = 1;
    dio.DoItem(&item, 0);
    dio.ChkDb(&item);
    int bits = 1 << 1;
    ScriptPort port;
    port.ReplyHex("FD FF");
    ASSERT_EQ(1, dio.DataGet(&port, 1, 0));
    db.Clear();
    EXPECT_EQ(1, dio.DataUpd(1 | 16, &bits, &bits, -1, &db));
    EXPECT_EQ(1, db.CountExecs("State=1 where sid=12 and type=2304 and Fld=2"));
    EXPECT_EQ(0, db.CountExecs("and Fld=9"));
    EXPECT_EQ(1, Exactly(db, "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=1 "
                             "where sid=12 and type=2304"));
    EXPECT_EQ("0 1 0", db.Str("select group_concat(State,' ') from tbSubSysDetail where sid=12 and Fld in (1,2,3)"));
    EXPECT_EQ(1, db.CountExecs("update tbDio set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=1,SnapID=2,"
                               "Dio=253,\t\tD01=0,D02=1,D03=0"));
    EXPECT_EQ(1, db.CountExecs("D16=0, \t\tD17=0,"));
    EXPECT_EQ(1, db.CountExecs("D32=0 \t\twhere sid=12"));
    EXPECT_EQ(3, db.Int("select D02+SnapID from tbDio where SID=12 and DID>1"));  // the history row: 1 + 2

    item.DetailKey = 0;
    db.Clear();
    dio.DataUpd(1, &bits, nullptr, 12, nullptr);
    EXPECT_EQ(1, db.CountExecs("State=1 where SIDD=12 and Fld=2"));
    EXPECT_EQ(0, db.CountExecs("and type=2304 and Fld="));

    // A failed poll keeps the board's record; the family base clears it.
    dio.DataUpd(0, nullptr, nullptr, 12, nullptr);
    EXPECT_EQ(253, dio.DataVal(0));
    CSMDioRd230 rd;
    tagSMItem rdItem = MakeItem(14, 2310);
    rd.DoItem(&rdItem, 0);
    static_cast<int*>(rd.Data())[1] = 1;
    rd.DataUpd(0, nullptr, nullptr, 14, nullptr);
    EXPECT_EQ(0, rd.DataVal(1));
}

TEST(DioW70XX, RelayFramesAndReplies)
{
    FakeClock clock;
    const char* ok = "01 05 00 10 FF 00";
    struct Case {
        int variant, cmd, value;
        const char* reply;  // CRC appended unless bad
        bool bad;
        const char* frame;  // without CRC; "" nothing sent
        int ret;
        const char* late = nullptr;  // read before the reply, CRC appended
    } cases[] = {
        {2, 0x050010, 1, ok, false, "01 05 00 10 FF 00", 1},
        {2, 0x050020, 1, ok, false, "01 05 00 20 FF 01", 1},
        {2, 0x050080, 3, ok, false, "01 05 00 80 FF 03", 1},
        {2, 0x050020, 0, ok, false, "01 05 00 20 00 00", 1},
        {2, 0x050010, 1, "01 05 00 10 FF 00 00 00", true, "01 05 00 10 FF 00", 0},
        {2, 0x050010, 1, "", true, "01 05 00 10 FF 00", 0},
        {0, 0x050020, 1, ok, false, "", 0},
        {0, 0x460000, 2, "01 46 04", false, "01 46 04 02 00 00 00", 1},
        {0, 0x460000, 2, "01 46 C6", false, "01 46 04 02 00 00 00", 0},
        {0, 0x070000, 1, ok, false, "", 0},
        {2, 0x050010, 1, ok, false, "01 05 00 10 FF 00", 1, "02 05 00 10 FF 00"},  // another unit's echo
        {2, 0x050010, 1, "02 05 00 10 FF 00", false, "01 05 00 10 FF 00", 0},
        {0, 0x460000, 2, "01 46 04", false, "01 46 04 02 00 00 00", 1, "01 05 00 10 FF 00"},  // another request's
        {0, 0x460000, 2, ok, false, "01 46 04 02 00 00 00", 0},
        {0, 0x460000, 2, "01 C6 02", false, "01 46 04 02 00 00 00", 0},  // exception
    };
    for (const Case& c : cases) {
        CSMDioW70XX w;
        ScriptPort port;
        tagSMItem item = MakeItem(7, 2308, 1, c.variant, &port);
        w.DoItem(&item, 0);
        if (c.late) port.ReplyRtu(HexBytes(c.late));
        if (c.bad)
            port.ReplyHex(c.reply);
        else
            port.ReplyRtu(HexBytes(c.reply));
        unsigned char v = static_cast<unsigned char>(c.value);
        EXPECT_EQ(c.ret, w.DoFunc(&port, 1, c.cmd, &v, 1)) << c.frame << " / " << c.reply;
        Bytes want = HexBytes(c.frame);
        if (!want.empty()) {
            unsigned short crc = CBufHelper::crc16(want.data(), static_cast<unsigned char>(want.size()));
            want.push_back(static_cast<unsigned char>(crc & 0xFF));
            want.push_back(static_cast<unsigned char>(crc >> 8));
        }
        EXPECT_EQ(ToHex(want), ToHex(port.AllWritten())) << c.frame;
    }
}

TEST(DioPd2206, TwelveInputRegistersOneChannelEach)
{
    FakeClock clock;
    CSMDioPd2206 pd;
    ScriptPort port;
    tagSMItem item = MakeItem(8, 2307, 4, 0, &port);
    pd.DoItem(&item, 0);
    port.ReplyRtu(HexBytes("04 04 18 0001 0000 0000 0000 0000 00DC 0000 0000 0000 0001 0000 FFFF"));
    ASSERT_EQ(1, pd.DataGet(&port, 4, 0));
    EXPECT_EQ("04 04 00 00 00 0C", ToHex(port.writes[0]).substr(0, 17));
    EXPECT_EQ((std::vector<int>{0xA21, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1}), Values(pd, 0, 12));
    EXPECT_EQ(-1, pd.DataVal(13));
}

TEST(DioImx6, RawIioValuesScaledByVariant)
{
    TempRoot root;
    root.Write("/sys/bus/iio/devices/iio:device0/in_voltage5_raw", "2048\n");
    root.Write("/sys/bus/iio/devices/iio:device0/in_voltage9_raw", "4095\n");
    struct Case {
        int variant, d1, d2;
    } cases[] = {{1, 660, 1320}, {129, 660, 1320}, {2, 165, 330}, {0, 1100, 2200}, {5, 1100, 2200}};
    for (const Case& c : cases) {
        CSMDioIMX6ULAI ai;
        tagSMItem item = MakeItem(9, 2320, 1, c.variant);
        ai.DoItem(&item, 0);
        ASSERT_EQ(1, ai.DataGet(nullptr, 1, 0)) << c.variant;
        EXPECT_EQ((std::vector<int>{0, c.d1, c.d2}), Values(ai, 0, 2)) << c.variant;
    }
    remove(root.Path("/sys/bus/iio/devices/iio:device0/in_voltage9_raw").c_str());
    CSMDioIMX6ULAI ai;
    EXPECT_EQ(0, ai.DataGet(nullptr, 1, 0)) << "an IIO file missing";
}

TEST(DioAbi, FamilyOperationsAtSlots21To23)
{
    static std::vector<int> hits;
    struct Rec : CSMDioBase {
        Rec() : CSMDioBase(2304) {}
        int ChkDef(IDbBase*, int) override { return hits.push_back(21), 0; }
        const char* GetNoteX(int, int) override { return hits.push_back(22), ""; }
        int UpdSt(int, int*, int) override { return hits.push_back(23), 0; }
    } rec;
    void** vt = *reinterpret_cast<void***>(&rec);
    reinterpret_cast<int (*)(Rec*, IDbBase*, int)>(vt[21])(&rec, nullptr, 0);
    reinterpret_cast<const char* (*)(Rec*, int, int)>(vt[22])(&rec, 1, 0);
    reinterpret_cast<int (*)(Rec*, int, int*, int)>(vt[23])(&rec, 0, nullptr, 0);
    EXPECT_EQ((std::vector<int>{21, 22, 23}), hits);
}

}  // namespace
