// The power meter: the protocol table, HCxxx and WBxxx arithmetic, floats, storage, summary,
// daily energy accounting and controls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drivers/elec/ElecModels.h"
#include "tests/kit/Kit.h"

namespace {

using Words = std::vector<unsigned short>;
using Ints = std::vector<int>;

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes RtuWords(int func, const Words& w)
{
    ScriptPort p;
    Bytes b = {1, static_cast<unsigned char>(func), static_cast<unsigned char>(2 * w.size())};
    for (unsigned short x : w) b.insert(b.end(), {static_cast<unsigned char>(x >> 8), static_cast<unsigned char>(x)});
    p.ReplyRtu(b);
    return p.replies.back();
}

class ElecTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        elec.SetDb(&db, 0);
        elec.SetDb(&hist, 1);
        elec.DoItem(&item, 0);
    }
    Ints Pick(std::initializer_list<int> points)
    {
        Ints v;
        for (int p : points) v.push_back(elec.DataVal(p + 1));
        return v;
    }
    int* Val() { return static_cast<int*>(elec.Data()); }
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
        unsigned short ratio;  // registers 2 and 3
        unsigned short e;      // energy count, low word
        Ints want;             // Ygzdn Zyggl Cyggl Zwggl Zszgl Zglys Ady Cdy Adl Cdl Awggl
    } cases[] = {
        {0, 1, 60000, {5, 9, 1, 0, 12, 987, 2, 2, 1, 1, 0}},                      // word 0: PT = CT = 1
        {2000 * 10 + 5, 1, 60000, {250, 450, 50, -15, 600, 987, 22, 22, 7, 8, 0}},  // PT 10, CT 5
        {0, 1000, 50000, {229613, -19431, 141006, 129496, 403588, 987, 2200, 2220, 1500, 1700, 0}},  // wraps
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.param1 + c.ratio);
        item.Param1 = c.param1;
        FakeClock::Sleeps().clear();
        Words head(20, 0);
        head[2] = head[3] = c.ratio;
        port.Reply(RtuWords(3, head));
        port.Reply(RtuWords(3, {0, c.e}));
        port.Reply(RtuWords(3, m));
        ASSERT_EQ(elec.DataGet(&port, 1, 0), 1);
        EXPECT_EQ(Pick({EP_YGZDN, EP_ZYGGL, EP_CYGGL, EP_ZWGGL, EP_ZSZGL, EP_ZGLYS, EP_ADY, EP_CDY, EP_ADL, EP_CDL,
                        EP_AWGGL}),
                  c.want);
        EXPECT_EQ(FakeClock::Sleeps(), (std::vector<unsigned long>{200000, 0, 0}));
    }
    EXPECT_EQ(ToHex(port.writes[0]), "01 03 00 00 00 14 45 C5");
    EXPECT_EQ(ToHex(port.writes[1]), "01 03 00 40 00 02 C5 DF");
}

TEST_F(ElecTest, WbxxxRegistersAndFloats)
{
    item.Variant = 2;
    Words w(57);
    for (size_t i = 0; i < 57; ++i) w[i] = static_cast<unsigned short>(100 + i);
    w[0] = 1, w[1] = 2;
    port.Reply(RtuWords(3, w));
    ASSERT_EQ(elec.DataGet(&port, 1, 0), 1);
    // Energy 65538; registers 34 and 45 x 10; 46, 55, 56 as read.
    EXPECT_EQ(Pick({EP_YGZDN, EP_ZYGGL, EP_CSZGL, EP_ZGLYS, EP_BDL, EP_CDL}), (Ints{65538, 1340, 1450, 146, 155, 156}));

    // Variant 11: big-endian floats in kWh, kW, V, A, Hz, as their absolute value.
    item.Variant = 11;
    Words f(96, 0);
    const std::pair<int, float> put[] = {{EP_YGZDN, 12.5f}, {EP_ZYGGL, -3.25f}, {EP_ZGLYS, 0.875f},
                                         {EP_PL, 50.5f},    {EP_ADY, 230.5f},   {EP_CDL, 1.2f}};
    for (const auto& p : put) {
        unsigned int bits;
        std::memcpy(&bits, &p.second, sizeof bits);
        f[static_cast<size_t>(2 * p.first)] = static_cast<unsigned short>(bits >> 16);
        f[static_cast<size_t>(2 * p.first + 1)] = static_cast<unsigned short>(bits);
    }
    port.Reply(RtuWords(3, f));
    ASSERT_EQ(elec.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Pick({EP_YGZDN, EP_ZYGGL, EP_ZGLYS, EP_PL, EP_ADY, EP_CDL}), (Ints{12500, 3250, 875, 5050, 2305, 120}));
}

TEST_F(ElecTest, EveryProtocolRowSendsItsRequestsAndFillsItsValues)
{
    int n = 0;
    const ElecVariant* rows = CSMElec::Variants(&n);
    ASSERT_EQ(n, 37);
    for (int i = 0; i < n; ++i) {
        const ElecVariant& v = rows[i];
        SCOPED_TRACE(v.variant);
        ASSERT_EQ(v.variant, i);
        item.Variant = v.variant;
        ScriptPort p;
        const bool fl = v.decode == ED_F32 || v.decode == ED_F32ABS;
        for (int k = 0; k < v.nReads; ++k) {
            Words w(v.reads[k].count);
            for (size_t j = 0; j < w.size(); ++j)  // floats: 1.5 in every pair
                w[j] = static_cast<unsigned short>(fl ? (j % 2 ? 0 : 0x3FC0) : j + 1);
            Bytes b = RtuWords(v.reads[k].func, w);
            if (v.frame == EF_TCP) {  // transaction, protocol, length, unit; no CRC
                b.resize(b.size() - 2);
                b.insert(b.begin(), {0, static_cast<unsigned char>(k + 1), 0, 0, 0, static_cast<unsigned char>(b.size())});
            }
            p.Reply(b);
        }
        ASSERT_EQ(elec.DataGet(&p, 1, 0), 1);
        ASSERT_EQ(static_cast<int>(p.writes.size()), v.nReads);
        for (int k = 0; k < v.nReads; ++k) {
            const Bytes& wr = p.writes[static_cast<size_t>(k)];
            size_t o = v.frame == EF_TCP ? 6 : 0;
            EXPECT_EQ(Ints({wr[o + 1], (wr[o + 2] << 8) | wr[o + 3], (wr[o + 4] << 8) | wr[o + 5]}),
                      Ints({v.reads[k].func, v.reads[k].reg, v.reads[k].count}));
        }
        // The layout fits the reads: the energy and the row's last value came from the reply.
        const int single[] = {EP_ZYGGL, EP_ZWGGL, EP_ZSZGL, EP_ZGLYS, EP_PL, EP_ADY, EP_ADL};
        const int last = v.n == 0 ? 0 : (v.order == EO_SINGLE ? single[v.n - 1] : v.n);
        EXPECT_TRUE(v.decode == ED_HC || v.decode == ED_HC1 || (elec.DataVal(1) && elec.DataVal(last + 1))) << last;
    }
    // No row: nothing exchanged. A bad CRC, a short or no reply: failure, values kept.
    for (int variant : {37, -1}) {
        item.Variant = variant;
        ScriptPort p;
        EXPECT_EQ(elec.DataGet(&p, 1, 0), 1);
        EXPECT_TRUE(p.writes.empty());
    }
    item.Variant = 2;
    port.Reply(RtuWords(3, Words(57, 57)));
    ASSERT_EQ(elec.DataGet(&port, 1, 0), 1);
    Bytes bad = RtuWords(3, Words(57, 8));
    bad.back() ^= 0x55;
    for (const Bytes& b : {bad, RtuWords(3, Words(20, 8)), Bytes()}) {
        port.Reply(b);
        EXPECT_EQ(elec.DataGet(&port, 1, 0), 0);
        EXPECT_EQ(elec.DataVal(24), 57) << "values kept";
    }
}

TEST_F(ElecTest, StorageSummaryAndFrozenVariants)
{
    ASSERT_EQ(elec.RegDb(&db, 0), 0);
    EXPECT_EQ(db.execs[4], "insert into tbSMDef values(256,0,22,'Adl',1,'A相电流',0,100,7,100,'A相电流低于Vmin告警',"
                           "25000,'A相电流高于Vmax告警',0,NULL)");
    ASSERT_EQ(elec.ChkDb(&item), 1);
    EXPECT_EQ(hist.TableExists("tbElecM") * 10 + db.TableExists("tbElecM"), 10) << "second database only";

    const char three[] = "电压: 220.1V ,电流:1.50A,B相: 220.2V 1.60A,C相: 220.3V 1.70A";
    int none = 0, four = (1 << 18) | (1 << 19) | (1 << 20) | (1 << 21);
    struct {
        int variant;
        int* bits;
        std::string brief;
    } cases[] = {
        {2, &none, three},
        {30, &none, "电压: 220.1V ,电流:1.50A"},  // single-phase
        {2, &four, std::string(three) + "告警:A相电压 B相电压 C相电压..."},
    };
    for (const auto& c : cases) {
        item.Variant = c.variant;
        Val()[EP_ADY] = 2201, Val()[EP_BDY] = 2202, Val()[EP_CDY] = 2203;
        Val()[EP_ADL] = 150, Val()[EP_BDL] = 160, Val()[EP_CDL] = 170;
        EXPECT_EQ(elec.DataUpd(0, c.bits, nullptr, -1, nullptr), 1);
        EXPECT_EQ(Brief(), c.brief);
        EXPECT_EQ(db.Int("select State from tbElec where SID=9"), 0) << "point alarms leave the state";
    }
    // Failure: values zeroed; Variants 11, 20 and 21 keep them and only refresh the timestamps.
    int snap = 77;
    EXPECT_EQ(elec.DataUpd(16, nullptr, &snap, -1, nullptr), 1);
    EXPECT_EQ(db.Int("select Ady+Cdl+SnapID from tbElec where SID=9"), 77);
    EXPECT_EQ(Brief(), "电压: 0.0V ,电流:0.00A,B相: 0.0V 0.00A,C相: 0.0V 0.00A");
    item.Variant = 20;
    Val()[EP_ADY] = 2300;
    db.Clear();
    EXPECT_EQ(elec.DataUpd(0, nullptr, nullptr, -1, &hist), 1);
    EXPECT_EQ(db.execs[1], "update tbElec set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=2,SnapID=0 where sid=9");
    EXPECT_EQ(db.execs[2], "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime') where sid=9");
    EXPECT_EQ(hist.Int("select Ady from tbElec where SID=9 and State=2"), 2300);
    EXPECT_EQ(hist.Int("select count(*) from tbElecM"), 0) << "no accounting after a failed poll";

    db.failExec = true;
    db.failText = "update tbElec ";
    EXPECT_EQ(elec.DataUpd(0, &none, nullptr, -1, nullptr), 0) << "without history the table update counts";
    EXPECT_EQ(elec.DataUpd(0, &none, nullptr, -1, &hist), 1) << "with history the insert counts";
    char var[32] = ".ygzdn";
    Val()[EP_YGZDN] = 1234567;
    EXPECT_EQ(elec.VarEval(var), 11);
    EXPECT_STREQ(var, "1234.567KWH");
}

TEST_F(ElecTest, DailyEnergyRowsFollowTheDayKey)
{
    struct tm t = {};
    t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 4, t.tm_yday = 337;
    EXPECT_EQ(CSMElec::DayKey(t), 1271537);

    ASSERT_EQ(elec.ChkDb(&item), 1);
    int bits = 0;
    auto poll = [&](CSMElec& d, int energy) {
        static_cast<int*>(d.Data())[EP_YGZDN] = energy;
        EXPECT_EQ(d.DataUpd(0, &bits, nullptr, -1, &hist), 1);
        return hist.Str("select group_concat(Day||':'||Val,' ') from (select * from tbElecM where SID=9 order by Day)");
    };
    FakeClock::SetLocal(2026, 12, 4, 23, 50);
    EXPECT_EQ(poll(elec, 1000), "0:1000 1271537:0") << "first poll: baseline and the day's row";
    EXPECT_EQ(poll(elec, 1500), "0:1000 1271537:0") << "same day: nothing";
    FakeClock::Advance(20 * 60);
    EXPECT_EQ(poll(elec, 1800), "0:1800 1271537:0 1271538:800");
    EXPECT_EQ(poll(elec, 1900), "0:1800 1271537:0 1271538:800");
    CSMElec again;  // a restart finds today's row and only remembers the day
    again.DoItem(&item, 0);
    EXPECT_EQ(poll(again, 2500), "0:1800 1271537:0 1271538:800");
    FakeClock::SetLocal(2027, 1, 1, 0, 5);  // the key counts years from 1900 plus 1
    EXPECT_EQ(poll(again, 2600), "0:2600 1271537:0 1271538:800 1280100:800");
}

TEST_F(ElecTest, ControlsByVariant)
{
    unsigned char value = 0x21;
    struct {
        int variant;
        std::vector<std::string> writes;
    } cases[] = {
        {0, {"01 06 00 0B 00 21"}},
        {2, {"01 03 00 01 00 01", "01 10 00 01 00 01 02 21 34"}},  // high byte replaced, low byte kept
        {35, {"01 06 01 00 00 21"}},
        {5, {}},  // no control
    };
    // The meter's echo: the request's first six bytes; of meter 2 (wrong), late before the own
    // (good), alone (not answered), of another function (a read's reply), with a bad CRC.
    enum { GOOD, BAD_CRC, LATE, OTHER, FUNC };
    for (const auto& c : cases) {
        item.Variant = c.variant;
        for (int mode : {GOOD, BAD_CRC, LATE, OTHER, FUNC}) {
            ScriptPort p;
            if (c.writes.size() == 2) p.Reply(RtuWords(3, {0x1234}));
            Bytes echo = c.writes.empty() ? Bytes() : HexBytes(c.writes.back().substr(0, 17));
            Bytes other = echo;
            if (!other.empty()) other[0] = 2;
            if (mode == LATE || mode == OTHER) p.ReplyRtu(other);
            if (mode == GOOD || mode == LATE) p.ReplyRtu(echo);
            if (mode == BAD_CRC) p.Reply(Cat(echo, {0, 0}));
            if (mode == FUNC) p.Reply(RtuWords(3, {0x21}));
            bool good = mode == GOOD || mode == LATE;
            EXPECT_EQ(elec.DoFunc(&p, 1, 128, &value, 1), good || c.writes.empty() ? 1 : 0) << c.variant << "/" << mode;
            ASSERT_EQ(p.writes.size(), c.writes.size());
            for (size_t i = 0; i < c.writes.size(); ++i)
                EXPECT_EQ(ToHex(p.writes[i]).substr(0, c.writes[i].size()), c.writes[i]);
        }
    }
    EXPECT_EQ(elec.DoFunc(&port, 1, 129, &value, 1), 1);
    EXPECT_EQ(elec.DoFunc(&port, 1, 128, nullptr, 1), 0);
    EXPECT_TRUE(port.writes.empty());
}

}  // namespace
