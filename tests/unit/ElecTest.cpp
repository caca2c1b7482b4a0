// The power meter: the protocol table, HCxxx and WBxxx arithmetic, floats, storage, summary,
// daily energy accounting, controls and variables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drivers/elec/ElecModels.h"
#include "tests/kit/Kit.h"

namespace {

using Words = std::vector<unsigned short>;

Bytes RtuWords(int addr, int func, const Words& w)
{
    ScriptPort p;
    Bytes b = {static_cast<unsigned char>(addr), static_cast<unsigned char>(func),
               static_cast<unsigned char>(2 * w.size())};
    for (unsigned short x : w) {
        b.push_back(static_cast<unsigned char>(x >> 8));
        b.push_back(static_cast<unsigned char>(x & 0xFF));
    }
    p.ReplyRtu(b);
    return p.replies.back();
}

Words FloatWords(float f)
{
    unsigned int bits;
    std::memcpy(&bits, &f, sizeof bits);
    return {static_cast<unsigned short>(bits >> 16), static_cast<unsigned short>(bits & 0xFFFF)};
}

class ElecTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        elec.SetDb(&db, 0);
        elec.SetDb(&hist, 1);
        elec.DoItem(&item, 0);
    }
    // An HCxxx poll: ratio registers 2 and 3, the energy count and the 15 measurement words.
    int PollHc(unsigned short reg2, unsigned short reg3, unsigned int e, const Words& m)
    {
        Words head(20, 0);
        head[2] = reg2;
        head[3] = reg3;
        port.Reply(RtuWords(1, 3, head));
        port.Reply(RtuWords(1, 3, {static_cast<unsigned short>(e >> 16), static_cast<unsigned short>(e & 0xFFFF)}));
        port.Reply(RtuWords(1, 3, m));
        return elec.DataGet(&port, 1, 0);
    }
    std::vector<int> Vals()
    {
        std::vector<int> v;
        for (int f = 1; f <= 24; ++f) v.push_back(elec.DataVal(f));
        return v;
    }
    std::string Brief() { return db.Str("select Brief from tbSMBrief where SID=9"); }

    TempRoot root;
    FakeClock clock;
    TestDb db, hist;
    ScriptPort port;
    CSMElec elec;
    tagSMItem item = MakeItem(9, 256, 1, 0, &port);
};

TEST_F(ElecTest, HcxxxRatiosAndWrappingArithmetic)
{
    // w0..w14: Ua Ub Uc Ia Ib Ic P Q S PF Hz - - Pa Pb Pc
    const Words m = {2200, 2210, 2220, 150, 160, 170, 30000, 0xFC18, 40000, 9870, 5000, 0, 0, 0xFFFF, 10000};
    struct {
        int param1;
        unsigned short reg2, reg3;
        unsigned int e;
        std::vector<int> want;
    } cases[] = {
        // Ratio word 0: PT = CT = 1; R = 1.
        {0, 1, 1, 120000,
         {10, 9, 0, 0, 1, 0, 0, 0, 0, 12, 0, 0, 0, 987, 0, 0, 0, 5000, 2, 2, 2, 1, 1, 1}},
        // 2000 * 10 + 5: PT 10, CT 5; R = 50.
        {2000 * 10 + 5, 1, 1, 120000,
         {500, 450, 0, 0, 50, -15, 0, 0, 0, 600, 0, 0, 0, 987, 0, 0, 0, 5000, 22, 22, 22, 7, 8, 8}},
        // R = 10^6: products wrap in 32 bits instead of overflowing.
        {0, 1000, 1000, 100000,
         {101312, -19431, 0, 0, 141006, 129496, 0, 0, 0, 403588, 0, 0, 0, 987, 0, 0, 0, 5000, 2200, 2210, 2220,
          1500, 1600, 1700}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.param1 + c.reg2);
        item.Param1 = c.param1;
        FakeClock::Sleeps().clear();
        ASSERT_EQ(PollHc(c.reg2, c.reg3, c.e, m), 1);
        const std::vector<int> got = Vals();
        for (int p : {EP_YGZDN, EP_ZYGGL, EP_CYGGL, EP_ZWGGL, EP_ZSZGL, EP_ZGLYS, EP_PL, EP_ADY, EP_BDY, EP_CDY, EP_ADL,
                      EP_BDL, EP_CDL})
            EXPECT_EQ(got[static_cast<size_t>(p)], c.want[static_cast<size_t>(p)]) << "point " << p + 1;
        for (int p : {EP_AWGGL, EP_BWGGL, EP_CWGGL, EP_ASZGL, EP_BSZGL, EP_CSZGL, EP_AGLYS, EP_BGLYS, EP_CGLYS})
            EXPECT_EQ(got[static_cast<size_t>(p)], 0) << "not reported: point " << p + 1;
        EXPECT_EQ(FakeClock::Sleeps(), (std::vector<unsigned long>{200000, 0, 0}));
    }
    EXPECT_EQ(ToHex(port.writes[0]), "01 03 00 00 00 14 45 C5");
    EXPECT_EQ(ToHex(port.writes[1]), "01 03 00 40 00 02 C5 DF");
    EXPECT_EQ(ToHex(port.writes[2]).substr(0, 17), "01 03 00 C0 00 0F");
}

TEST_F(ElecTest, WbxxxRegistersAndFloatsOfZq)
{
    item.Variant = 2;
    Words w(57);
    for (int i = 0; i < 57; ++i) w[static_cast<size_t>(i)] = static_cast<unsigned short>(100 + i);
    w[0] = 0x0001;
    w[1] = 0x0002;  // energy 65538
    port.Reply(RtuWords(1, 3, w));
    ASSERT_EQ(elec.DataGet(&port, 1, 0), 1);
    std::vector<int> v = Vals();
    EXPECT_EQ(v[EP_YGZDN], 65538);
    EXPECT_EQ(v[EP_ZYGGL], 1340);  // register 34 x 10
    EXPECT_EQ(v[EP_CSZGL], 1450);  // register 45 x 10
    EXPECT_EQ(v[EP_ZGLYS], 146);
    EXPECT_EQ(v[EP_BDL], 155);
    EXPECT_EQ(v[EP_CDL], 156);
    EXPECT_EQ(ToHex(port.LastWrite()), "01 03 00 00 00 39 85 D8");

    // Variant 11: floats, their absolute value, in the points' units.
    item.Variant = 11;
    Words f(96, 0);
    auto put = [&f](int value, float x) {
        Words p = FloatWords(x);
        f[static_cast<size_t>(2 * value)] = p[0];
        f[static_cast<size_t>(2 * value + 1)] = p[1];
    };
    put(EP_YGZDN, 12.5f);     // kWh
    put(EP_ZYGGL, -3.25f);    // kW, exported
    put(EP_ZGLYS, 0.875f);
    put(EP_PL, 50.5f);
    put(EP_ADY, 230.5f);
    put(EP_CDL, 1.2f);
    port.Reply(RtuWords(1, 3, f));
    ASSERT_EQ(elec.DataGet(&port, 1, 0), 1);
    v = Vals();
    EXPECT_EQ(v[EP_YGZDN], 12500);
    EXPECT_EQ(v[EP_ZYGGL], 3250);
    EXPECT_EQ(v[EP_ZGLYS], 875);
    EXPECT_EQ(v[EP_PL], 5050);
    EXPECT_EQ(v[EP_ADY], 2305);
    EXPECT_EQ(v[EP_CDL], 120);
}

TEST_F(ElecTest, EveryVariantRowSendsItsRequestsAndFillsItsValues)
{
    int n = 0;
    const ElecVariant* rows = CSMElec::Variants(&n);
    ASSERT_EQ(n, 37);
    for (int i = 0; i < n; ++i) {
        const ElecVariant& v = rows[i];
        SCOPED_TRACE(v.variant);
        EXPECT_EQ(v.variant, i);
        item.Variant = v.variant;
        ScriptPort p;
        int words = 0;
        for (int k = 0; k < v.nReads; ++k) {
            Words w(v.reads[k].count);
            const bool fl = v.decode == ED_F32 || v.decode == ED_F32ABS;
            for (size_t j = 0; j < w.size(); ++j)  // floats: 1.5 in every pair
                w[j] = fl ? static_cast<unsigned short>(j % 2 ? 0 : 0x3FC0) : static_cast<unsigned short>(words + j + 1);
            words += v.reads[k].count;
            if (v.frame == EF_TCP) {
                Bytes b = {0, static_cast<unsigned char>(k + 1), 0, 0, 0, static_cast<unsigned char>(3 + 2 * w.size()),
                           1, v.reads[k].func, static_cast<unsigned char>(2 * w.size())};
                for (unsigned short x : w) b.insert(b.end(), {static_cast<unsigned char>(x >> 8), static_cast<unsigned char>(x)});
                p.Reply(b);
            } else {
                p.Reply(RtuWords(1, v.reads[k].func, w));
            }
        }
        ASSERT_EQ(elec.DataGet(&p, 1, 0), 1);
        ASSERT_EQ(static_cast<int>(p.writes.size()), v.nReads);
        for (int k = 0; k < v.nReads; ++k) {
            const Bytes& wr = p.writes[static_cast<size_t>(k)];
            size_t o = v.frame == EF_TCP ? 6 : 0;
            ASSERT_GE(wr.size(), o + 6);
            EXPECT_EQ(wr[o + 1], v.reads[k].func);
            EXPECT_EQ((wr[o + 2] << 8) | wr[o + 3], v.reads[k].reg);
            EXPECT_EQ((wr[o + 4] << 8) | wr[o + 5], v.reads[k].count);
        }
        // The row's layout fits its reads: its last value and the energy came from the reply.
        std::vector<int> got = Vals();
        if (v.decode != ED_HC && v.decode != ED_HC1) {
            const std::vector<int> single = {EP_ZYGGL, EP_ZWGGL, EP_ZSZGL, EP_ZGLYS, EP_PL, EP_ADY, EP_ADL};
            if (v.n > 0) {
                const int last = v.order == EO_SINGLE ? single[static_cast<size_t>(v.n - 1)] : v.n;
                EXPECT_NE(got[static_cast<size_t>(last)], 0) << "value " << last;
            }
            EXPECT_NE(got[EP_YGZDN], 0);
        }
    }
}

TEST_F(ElecTest, FailedAndEmptyPolls)
{
    // Variants without a row exchange nothing and succeed.
    for (int variant : {37, 99, -1}) {
        item.Variant = variant;
        ScriptPort p;
        EXPECT_EQ(elec.DataGet(&p, 1, 0), 1);
        EXPECT_TRUE(p.writes.empty());
    }
    item.Variant = 2;
    port.Reply(RtuWords(1, 3, Words(57, 7)));
    ASSERT_EQ(elec.DataGet(&port, 1, 0), 1);
    const std::vector<int> before = Vals();
    Bytes bad = RtuWords(1, 3, Words(57, 8));
    bad.back() ^= 0x55;
    Bytes shortReply = RtuWords(1, 3, Words(20, 8));
    for (const Bytes& b : {bad, shortReply, Bytes()}) {
        port.Reply(b);
        EXPECT_EQ(elec.DataGet(&port, 1, 0), 0);
        EXPECT_EQ(Vals(), before);
    }
    port.open = false;
    EXPECT_EQ(elec.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(elec.DataGet(nullptr, 1, 0), 0);
}

TEST_F(ElecTest, StorageSummaryAndFrozenVariants)
{
    ASSERT_EQ(elec.RegDb(&db, 0), 0);
    EXPECT_EQ(db.execs[0], "insert into tbSMType values(256,256,'电力检测 QV-ELEC','485接口...')");
    EXPECT_EQ(db.execs[4], "insert into tbSMDef values(256,0,22,'Adl',1,'A相电流',0,100,7,100,'A相电流低于Vmin告警',"
                           "25000,'A相电流高于Vmax告警',0,NULL)");
    ASSERT_EQ(elec.ChkDb(&item), 1);
    EXPECT_EQ(hist.TableExists("tbElecM"), 1);
    EXPECT_EQ(db.TableExists("tbElecM"), 0);
    EXPECT_EQ(hist.CountExecs("iCdl INTEGER)"), 1);

    struct {
        int variant;
        const char* brief;
    } cases[] = {
        {2, "电压: 220.1V ,电流:1.50A,B相: 220.2V 1.60A,C相: 220.3V 1.70A"},
        {30, "电压: 220.1V ,电流:1.50A"},
    };
    for (const auto& c : cases) {
        item.Variant = c.variant;
        int* v = static_cast<int*>(elec.Data());
        v[EP_ADY] = 2201, v[EP_BDY] = 2202, v[EP_CDY] = 2203, v[EP_ADL] = 150, v[EP_BDL] = 160, v[EP_CDL] = 170;
        int bits = 0;
        db.Clear();
        EXPECT_EQ(elec.DataUpd(0, &bits, nullptr, -1, nullptr), 1);
        EXPECT_EQ(Brief(), c.brief);
        EXPECT_EQ(db.CountExecs("update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),Brief='"), 1);
    }
    // Four points in alarm: three named, then "...". Point alarms leave the state at 0.
    item.Variant = 2;
    int bits = (1 << 18) | (1 << 19) | (1 << 20) | (1 << 21);
    EXPECT_EQ(elec.DataUpd(0, &bits, nullptr, -1, nullptr), 1);
    EXPECT_EQ(Brief(), "电压: 220.1V ,电流:1.50A,B相: 220.2V 1.60A,C相: 220.3V 1.70A告警:A相电压 B相电压 C相电压...");
    EXPECT_EQ(db.Int("select State from tbElec where SID=9"), 0);

    // Failure: values zeroed, except for Variants 11, 20 and 21, which only refresh timestamps.
    int snap = 77;
    db.Clear();
    EXPECT_EQ(elec.DataUpd(16, nullptr, &snap, -1, nullptr), 1);
    EXPECT_EQ(db.Int("select Ady+Cdl from tbElec where SID=9"), 0);
    EXPECT_EQ(db.Int("select SnapID from tbElec where SID=9"), 77);
    EXPECT_EQ(Brief(), "电压: 0.0V ,电流:0.00A,B相: 0.0V 0.00A,C相: 0.0V 0.00A");
    item.Variant = 20;
    static_cast<int*>(elec.Data())[EP_ADY] = 2300;
    db.Clear();
    EXPECT_EQ(elec.DataUpd(0, nullptr, nullptr, -1, &hist), 1);
    EXPECT_EQ(db.execs[1], "update tbElec set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=2,SnapID=0 where sid=9");
    EXPECT_EQ(db.execs[2], "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime') where sid=9");
    EXPECT_EQ(elec.DataVal(19), 2300);
    EXPECT_EQ(hist.Int("select Ady from tbElec where SID=9 and State=2"), 2300);
    EXPECT_EQ(hist.Int("select count(*) from tbElecM"), 0) << "no accounting after a failed poll";

    db.failExec = true;
    db.failText = "update tbElec ";
    EXPECT_EQ(elec.DataUpd(0, &bits, nullptr, -1, nullptr), 0) << "without history the table update counts";
    EXPECT_EQ(elec.DataUpd(0, &bits, nullptr, -1, &hist), 1) << "with history the insert counts";
}

TEST_F(ElecTest, DailyEnergyRowsFollowTheDayKey)
{
    struct tm t = {};
    t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 4, t.tm_yday = 337;
    EXPECT_EQ(CSMElec::DayKey(t), 1271537);

    ASSERT_EQ(elec.ChkDb(&item), 1);
    int bits = 0;
    int* v = static_cast<int*>(elec.Data());
    auto poll = [&](int energy) {
        v[EP_YGZDN] = energy;
        EXPECT_EQ(elec.DataUpd(0, &bits, nullptr, -1, &hist), 1);
    };
    auto rows = [&]() {
        return hist.Str("select group_concat(Day||':'||Val,' ') from (select Day,Val from tbElecM where SID=9 order by Day)");
    };
    FakeClock::SetLocal(2026, 12, 4, 23, 50);
    poll(1000);
    EXPECT_EQ(rows(), "0:1000 1271537:0") << "first poll: baseline, and the day's row";
    poll(1500);
    EXPECT_EQ(rows(), "0:1000 1271537:0") << "same day: nothing";
    FakeClock::Advance(20 * 60);  // 5 December
    poll(1800);
    EXPECT_EQ(rows(), "0:1800 1271537:0 1271538:800");
    poll(1900);
    EXPECT_EQ(rows(), "0:1800 1271537:0 1271538:800");

    // A restarted driver finds today's row and only remembers the day.
    CSMElec again;
    again.SetDb(&db, 0);
    again.DoItem(&item, 0);
    static_cast<int*>(again.Data())[EP_YGZDN] = 2500;
    hist.Clear();
    EXPECT_EQ(again.DataUpd(0, &bits, nullptr, -1, &hist), 1);
    EXPECT_EQ(rows(), "0:1800 1271537:0 1271538:800");
    EXPECT_EQ(hist.CountExecs("tbElecM"), 0);
    // Years run into the key from 1900: 1 January 2027 comes after 31 December 2026.
    FakeClock::SetLocal(2027, 1, 1, 0, 5);
    poll(2600);
    EXPECT_EQ(hist.Int("select Val from tbElecM where SID=9 and Day=1280100"), 800);
}

TEST_F(ElecTest, ControlsByVariant)
{
    unsigned char value = 0x21;
    struct {
        int variant;
        std::vector<std::string> writes;
    } cases[] = {
        {0, {"01 06 00 0B 00 21"}},
        {2, {"01 03 00 01 00 01", "01 10 00 01 00 01 02 21 34"}},
        {35, {"01 06 01 00 00 21"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variant);
        item.Variant = c.variant;
        ScriptPort p;
        if (c.writes.size() == 2) p.Reply(RtuWords(1, 3, {0x1234}));
        p.ReplyRtu({0x01, 0x06, 0x00, 0x00, 0x00, 0x21});
        EXPECT_EQ(elec.DoFunc(&p, 1, 128, &value, 1), 1);
        ASSERT_EQ(p.writes.size(), c.writes.size());
        for (size_t i = 0; i < c.writes.size(); ++i)
            EXPECT_EQ(ToHex(p.writes[i]).substr(0, c.writes[i].size()), c.writes[i]);
        // A bad reply fails the control.
        ScriptPort q;
        if (c.writes.size() == 2) q.Reply(RtuWords(1, 3, {0x1234}));
        q.ReplyHex("01 06 00 00 00 21 00 00");
        EXPECT_EQ(elec.DoFunc(&q, 1, 128, &value, 1), 0);
    }
    ScriptPort p;
    item.Variant = 5;
    EXPECT_EQ(elec.DoFunc(&p, 1, 128, &value, 1), 1);
    item.Variant = 0;
    EXPECT_EQ(elec.DoFunc(&p, 1, 129, &value, 1), 1);
    EXPECT_TRUE(p.writes.empty());
    EXPECT_EQ(elec.DoFunc(&p, 1, 128, nullptr, 1), 0);
    EXPECT_EQ(elec.DoFunc(nullptr, 1, 128, &value, 1), 0);
}

TEST_F(ElecTest, VariablesInTheirUnits)
{
    int* v = static_cast<int*>(elec.Data());
    v[EP_YGZDN] = 1234567, v[EP_ZWGGL] = -1500, v[EP_ZGLYS] = 987, v[EP_PL] = 5001, v[EP_BDY] = 2205, v[EP_CDL] = 1234;
    struct {
        const char* name;
        const char* text;
    } cases[] = {{".ygzdn", "1234.567KWH"}, {".zwggl", "-1.500KVar"}, {".zglys", "0.987"}, {".pl", "50.010Hz"},
                 {".Bdy", "220.5V"},        {".Cdl", "12.34A"},       {".bdy", nullptr},    {".Ygzdn", nullptr}};
    for (const auto& c : cases) {
        char buf[64];
        std::strcpy(buf, c.name);
        int n = elec.VarEval(buf);
        if (!c.text) {
            EXPECT_EQ(n, -1) << c.name;
            continue;
        }
        EXPECT_EQ(std::string(buf), c.text);
        EXPECT_EQ(n, static_cast<int>(std::strlen(c.text)));
    }
    EXPECT_EQ(elec.DataVal(0), -1);
    EXPECT_EQ(elec.DataVal(25), -1);
    EXPECT_EQ(elec.DataSize(), 24);
}

}  // namespace
