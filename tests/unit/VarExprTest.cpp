#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "generic/DefIni.h"
#include "generic/SMGeneric.h"
#include "generic/VarExpr.h"
#include "tests/kit/Kit.h"

namespace {

// A store as a Modbus driver holds it after load and one poll.
class BriefTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store.LoadString("[flds]\ncnt=4\n1=40001\n2=40002\n3=\n4=30001\n"
                         "[flds.def]\n1='Ua',1,'Voltage',0,10,0\n2='T',1,'Temp',0,2,0\n"
                         "4='I',1,'Current',0,100,0\n");
        IndexPoints(store, 4);
        store.SetValue(SEC_VALS, "40001", 2201);
        store.SetValue(SEC_VALS, "40002", 77);
        store.SetValue(SEC_VALS, "30001", 2345);
    }
    std::string Expand(std::string text, int state, const int* alarms)
    {
        VarByIni(text, store, state, alarms);
        return text;
    }
    SimpleIni store;
    int alarms[16] = {};
};

TEST_F(BriefTest, StateWordsWithAndWithoutTheValue)
{
    EXPECT_EQ(Expand("U=%1%V %1st%", 0, alarms), "U=220.1V (正常)");
    EXPECT_EQ(Expand("U=%1%V %1st%", 2, alarms), "U=220.1V (故障)") << "state 2 wins over the bits";
    EXPECT_EQ(Expand("U=%1%V %1st%", 1, nullptr), "U=220.1V ") << "no bitmap, no failure: no word";
    alarms[0] = 3;  // points 1 and 2
    EXPECT_EQ(Expand("U=%1%V %1st%", 0, alarms), "U=220.1V (告警)");
    EXPECT_EQ(Expand("%2st%", 0, alarms), "告警") << "without the value placeholder: no parentheses";
    EXPECT_EQ(Expand("%1st%/%4%", 2, alarms), "故障/23.4");
}

TEST_F(BriefTest, DivisorsScaleWithOneDecimal)
{
    EXPECT_EQ(Expand("%2%", 0, nullptr), "77") << "divisor 2 is shown as stored";
    EXPECT_EQ(Expand("%4%A", 0, nullptr), "23.4A");
    store.SetValue(SEC_FLDSVAL, "4", "1000");
    EXPECT_EQ(Expand("%4%", 0, nullptr), "2.3");
    store.SetValue(SEC_FLDSVAL, "4", "10000");
    store.SetValue(SEC_VALS, "30001", 12345);
    EXPECT_EQ(Expand("%4%", 0, nullptr), "1.2");
    store.SetValue(SEC_FLDSVAL, "4", " 10");
    EXPECT_EQ(Expand("%4%", 0, nullptr), "12345") << "only the exact divisor texts scale";
    store.SetValue(SEC_VALS, "40001", -2147483647 - 1);
    EXPECT_EQ(Expand("%1%", 0, nullptr), "-214748364.8");
    store.SetValue(SEC_VALS, "40001", "n/a");
    EXPECT_EQ(Expand("%1%", 0, nullptr), "n/a") << "a text that is not a number is shown unchanged";
    store.SetValue(SEC_VALS, "40001", "12.5");
    EXPECT_EQ(Expand("%1%", 0, nullptr), "12.5");
    store.DeleteKey(SEC_VALS, "40001");
    EXPECT_EQ(Expand("[%1%]", 0, nullptr), "[]") << "a missing value removes the placeholder";
}

TEST_F(BriefTest, PlaceholdersThatStay)
{
    EXPECT_EQ(Expand("%5% %5st%", 0, alarms), "%5% %5st%") << "above cnt";
    EXPECT_EQ(Expand("%3% %3st%", 0, alarms), "%3% %3st%") << "empty [flds] entry";
    EXPECT_EQ(Expand("%1%,%1%,%1st%,%1st%", 0, alarms), "220.1,%1%,(正常),%1st%") << "first occurrence only";
    EXPECT_EQ(Expand("%01% %1 % 100%", 0, alarms), "%01% %1 % 100%");
    store.SetValue(SEC_FLDS, "cnt", 12);
    store.SetValue(SEC_FLDS, "12", "40012");
    store.SetValue(SEC_VALS, "40012", 5);
    EXPECT_EQ(Expand("%12%|%1%|%12st%", 0, alarms), "5|220.1|(正常)") << "%12% is not %1% followed by 2";
}

TEST_F(BriefTest, OnlyTheFirst128PointsHaveAlarmBits)
{
    store.SetValue(SEC_FLDS, "cnt", 200);
    store.SetValue(SEC_FLDS, "128", "k128");
    store.SetValue(SEC_FLDS, "129", "k129");
    store.SetValue(SEC_FLDS, "200", "k200");
    for (int& w : alarms) w = -1;  // every bit set
    EXPECT_EQ(Expand("%128st%", 0, alarms), "告警") << "bit 31 of word 3";
    alarms[3] = 0x7FFFFFFF;
    EXPECT_EQ(Expand("%128st%", 0, alarms), "正常");
    EXPECT_EQ(Expand("<%129st%><%200st%>", 0, alarms), "<><>");
    EXPECT_EQ(Expand("%200st%", 2, alarms), "故障") << "the failure word needs no bit";
}

TEST_F(BriefTest, LongKeysAndValuesAreNotCut)
{
    const std::string key(300, 'k');
    const std::string value(5000, '7');
    store.SetValue(SEC_FLDS, "3", key);
    store.SetValue(SEC_VALS, key, value);
    std::string tmpl = std::string(3000, 'x') + "%3%" + "%3st%";
    EXPECT_EQ(Expand(tmpl, 0, alarms), std::string(3000, 'x') + value + "(正常)");
    store.SetValue(SEC_VALS, "40001-15", 1);
    store.SetValue(SEC_FLDS, "2", "40001-15");
    EXPECT_EQ(Expand("%2%", 0, alarms), "1");
}

TEST_F(BriefTest, AHugePointCountCostsNothing)
{
    store.SetValue(SEC_FLDS, "cnt", 2000000000);
    store.SetValue(SEC_FLDS, "1999999999", "40001");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Expand("%1999999999% %1%", 0, nullptr), "2201 220.1") << "the divisor belongs to point 1 only";
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
}

// ---- VarEval --------------------------------------------------------------------------------

class VarEvalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store.LoadString("[flds]\ncnt=2\n1=1\n2=2\n[flds.def]\n1='T1',1,'T',0,10,0\n2='H1',1,'H',0,1,0\n");
        IndexPoints(store, 2);
        store.SetValue(SEC_VALS, "1", 25);
    }
    SimpleIni store;
};

TEST_F(VarEvalTest, NameToIndexToValueWhenItFits)
{
    char buf[8] = "$T1";
    EXPECT_EQ(DefVarEval(store, buf, sizeof buf), 2);
    EXPECT_STREQ(buf, "25");
    std::strcpy(buf, "#H1");
    EXPECT_EQ(DefVarEval(store, buf, sizeof buf), -1) << "no value for point 2 (any sigil)";
    EXPECT_STREQ(buf, "#H1");
    std::strcpy(buf, "$Nope");
    EXPECT_EQ(DefVarEval(store, buf, sizeof buf), -1);

    store.SetValue(SEC_VALS, "1", "1234567");
    std::strcpy(buf, "$T1");
    EXPECT_EQ(DefVarEval(store, buf, sizeof buf), 7);
    store.SetValue(SEC_VALS, "1", "12345678");
    std::strcpy(buf, "$T1");
    EXPECT_EQ(DefVarEval(store, buf, sizeof buf), -1) << "no room for the terminator";
    EXPECT_STREQ(buf, "$T1");
    char raw[4] = {'$', 'T', '1', 'x'};  // no terminator within the capacity
    EXPECT_EQ(DefVarEval(store, raw, sizeof raw), -1);
    EXPECT_EQ(DefVarEval(store, nullptr, 4), -1);
}

TEST_F(VarEvalTest, DriversAnswerThroughTheInterface)
{
    TempRoot root;
    root.Write("/NandFlash/SM/SM5632.def", "[flds]\ncnt=1\n1=42H01\n[flds.def]\n1='T1',1,'T',0,10,0\n");
    CSMNormal d(5632);
    ASSERT_EQ(d.LoadDef(SMPath("/NandFlash/SM/SM5632.def").c_str()), 1);
    ISMBase* drv = &d;
    char buf[DEF_VAR_CAP] = "$T1";
    d.Ini().SetValue(SEC_VALS, "42H01", 215);
    EXPECT_EQ(drv->VarEval(buf), -1) << "values live under command keys, not point indices";
    d.Ini().SetValue(SEC_VALS, "1", -3);
    EXPECT_EQ(drv->VarEval(buf), 2);
    EXPECT_STREQ(buf, "-3");
}

}  // namespace
