// The host's limit check: alarm modes, limits read from tbSMDef, alarm bit words.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/Limits.h"
#include "host/SqliteDb.h"

using host::AlarmBits;
using host::CLimits;
using host::PointLimit;

namespace {

TEST(AlarmMode, EachModeChecksItsLimits)
{
    PointLimit p;
    p.vref = 300;
    p.vref2 = 380;
    struct {
        int mode;
        int value;
        bool alarm;
    } cases[] = {
        {0, -1000, false}, {0, 1000, false},                                       // no check
        {6, 299, true},    {6, 300, false}, {6, 380, false}, {6, 381, true},       // window
        {10, 299, true},   {10, 335, false}, {10, 381, true},                      // window
        {7, 100, false},   {7, 380, false},  {7, 381, true},                       // upper only
        {11, 299, true},   {11, 300, false}, {11, 5000, false},                    // lower only
        {1, 300, false},   {1, 301, true},   {1, 0, true},                         // on/off: vref is normal
        {3, 0, false},     {3, 9999, false},                                       // unknown: none
    };
    for (const auto& c : cases) {
        p.mode = c.mode;
        EXPECT_EQ(c.alarm, host::PointInAlarm(p, c.value)) << "mode " << c.mode << " value " << c.value;
    }
}

// A driver with n points whose values the test sets.
class Points : public ISMBase {
public:
    explicit Points(int n) : vals(static_cast<size_t>(n), 50) {}
    int GetType() override { return 1; }
    const char* GetNote() override { return ""; }
    int GetMask() override { return 0; }
    void SetManager(ISMManager*) override {}
    int RegDb(IDbBase*, int) override { return 0; }
    void SetDb(IDbBase*, int) override {}
    int ChkDb(tagSMItem*) override { return 0; }
    int DataSize() override { return static_cast<int>(vals.size()); }
    void* Data() override { return nullptr; }
    int DataVal(int fld) override { return vals[static_cast<size_t>(fld - 1)]; }
    int DataGet(ISerBase*, int, int) override { return 1; }
    int DataUpd(int, int*, int*, int, IDbBase*) override { return 1; }
    int DoFunc(ISerBase*, int, int, void*, int) override { return 0; }
    int DoFunc(int, void*, int) override { return 0; }
    int DoItem(tagSMItem*, int) override { return 1; }
    int VarEval(char*) override { return -1; }
    std::vector<int> vals;
};

TEST(Limits, TheSidZeroRowOfAPointCountsAndBitsSpanWords)
{
    CSqliteDb db;
    ASSERT_TRUE(db.Open(":memory:") && db.CreateHostTables());
    std::string rows = "insert into tbSMDef(Type,SID,Fld,AlmMode,vref,vref2) values"
                       "(1280,0,0,0,0,0),"      // a heading row is not a point
                       "(1280,0,1,6,300,380),"
                       "(1280,3,2,6,1,2),"      // a sub-unit row first ...
                       "(1280,0,2,7,0,780),"    // ... the device's own row counts
                       "(1293,0,1,1,1,0)";      // another type
    for (int f = 1; f <= 40; ++f) rows += ",(7,0," + std::to_string(f) + ",11,10,0)";  // alarm below 10
    ASSERT_EQ(0, db.Exec(rows.c_str())) << db.LastError();

    CLimits lim;
    EXPECT_EQ(2, lim.Load(&db, 1280));
    ASSERT_NE(nullptr, lim.Find(2));
    EXPECT_EQ(7, lim.Find(2)->mode);
    EXPECT_EQ(780, lim.Find(2)->vref2);
    EXPECT_EQ(nullptr, lim.Find(0));
    EXPECT_TRUE(lim.InAlarm(1, 381));
    EXPECT_FALSE(lim.InAlarm(5, 1));  // a point without a row is never in alarm
    EXPECT_EQ(0, CLimits().Load(&db, 4242));

    ASSERT_EQ(40, lim.Load(&db, 7));
    Points drv(40);
    drv.vals[0] = 1;   // point 1
    drv.vals[31] = 1;  // point 32: top bit of the first word
    drv.vals[32] = 1;  // point 33: bit 0 of the second word
    drv.vals[39] = 9;  // point 40
    std::vector<int> values;
    std::vector<int> bits = AlarmBits(&drv, lim, &values);
    ASSERT_EQ(2u, bits.size());
    EXPECT_EQ(static_cast<int>(0x80000001u), bits[0]);
    EXPECT_EQ(0x81, bits[1]);
    ASSERT_EQ(40u, values.size());
    EXPECT_EQ(9, values[39]);

    Points empty(0);
    EXPECT_EQ(std::vector<int>{0}, AlarmBits(&empty, lim)) << "never a null pointer for a good poll";
}

}  // namespace
