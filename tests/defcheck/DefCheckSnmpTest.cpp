// qvsm-defcheck on definitions of the SNMP driver.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/defcheck/DefCheckKit.h"

namespace {

// A clean SNMP definition: [comm] lines 1-3, [oids] lines 4-7, then the extra sections, then
// the points.
std::string Snmp(const std::string& oids = "", const std::string& rest = "", const std::string& flds = "")
{
    return "[comm]\nver=1\nbrief=Load %1%% %2%min\n"
           "[oids]\n1.3.6.1.2.1.33.1.4.4.1.5.1=load\n1.3.6.1.2.1.33.1.2.3.0=runtime\n"
           "1.3.6.1.2.1.33.1.2.7.0=temp\n" +
           oids + "1.3.6.1.2.1.25.2.3.1=hr:,1,3,5,6,\n" +
           "[vals.ext]\nhr.2=1\n[vals.str]\nhr2_3=1\n" + rest +
           "[flds]\ncnt=4\n1=load\n2=runtime\n3=hr2_6\n4=hr_2a\n" + flds +
           "[flds.def]\n1='Load',1,'Load',0,1,7,0,'',90,''\n2='Run',1,'Runtime',0,1,11,10,'',0,''\n"
           "3='Used',1,'Used',0,1,0,0,'',0,''\n4='Avg',1,'Average',0,1,0,0,'',0,''\n";
}

TEST(DefCheckSnmp, CleanDefinitionHasNoFindings)
{
    auto f = DefCheckText(Snmp(), DEF_SNMP);
    EXPECT_TRUE(f.empty()) << Lines(f);
    // A text column is clean once its cells are named for the readings table.
    f = DefCheckText(Snmp("", "hr.5=1\nhr1_5=1\n"), DEF_SNMP);
    EXPECT_TRUE(f.empty()) << Lines(f);
}

TEST(DefCheckSnmp, VersionAndObjectIdentifiers)
{
    auto f = DefCheckText("[comm]\nver=2\n[oids]\nsysName.0=name\n1.3.6.1.2.1.1.1.0=\n1.3.6.1.2.1.1.5.0=name\n",
                          DEF_SNMP);
    EXPECT_TRUE(Has(f, 2, {"ver=2", "every request is refused"})) << Lines(f);
    EXPECT_TRUE(Has(f, 4, {"'sysName.0' is not a numeric object identifier"})) << Lines(f);
    EXPECT_TRUE(Has(f, 5, {"names no reading"})) << Lines(f);
    EXPECT_TRUE(Has(f, 4, {"stores 'name' like line 6"})) << "keys sort 1.3... before sysName.0\n" << Lines(f);
    EXPECT_TRUE(Has(DefCheckText("[comm]\nver=1\n", DEF_SNMP), 1, {"no [oids]"}));
    EXPECT_TRUE(DefCheckText("[comm]\nver=0\n[oids]\n.1.3.6.1.2.1.1.5.0=name\n", DEF_SNMP).empty())
        << "a leading dot is accepted";
}

TEST(DefCheckSnmp, TableEntries)
{
    // [oids] is walked in key order: the host-resources table (line 13) comes first.
    auto f = DefCheckText(Snmp("1.3.6.1.4.1.1=bat:2,3\n1.3.6.1.4.1.2=hr:,1,\n1.3.6.1.4.1.3=:,1,\n"
                               "1.3.6.1.4.1.4=ups:,x,0,\n1.3.6.1.4.1.5=temp:,1,\n"),
                          DEF_SNMP);
    EXPECT_TRUE(Has(f, 8, {"'2,3' must start and end with a comma"})) << Lines(f);
    EXPECT_TRUE(Has(f, 9, {"prefix 'hr' is used by line 13 too"})) << Lines(f);
    EXPECT_TRUE(Has(f, 10, {"has no prefix"})) << Lines(f);
    EXPECT_TRUE(Has(f, 11, {"'x' in the column list is not a column number"})) << Lines(f);
    EXPECT_TRUE(Has(f, 11, {"'0' in the column list"})) << Lines(f);
    EXPECT_TRUE(Has(f, 7, {"reading 'temp' is also the row counter of the table on line 12"})) << Lines(f);
    f = DefCheckText(Snmp("1.3.6.1.4.1.1=bat:\n"), DEF_SNMP);
    EXPECT_TRUE(Has(f, 8, {"column list is empty"})) << Lines(f);
}

TEST(DefCheckSnmp, StatisticsSlots)
{
    auto f = DefCheckText(
        Snmp("1.3.6.1.4.1.1=bat:,2,3,\n", "[vals.ext]\nhr.33=1\nhr.0=1\nups.1=1\nhr.3=256\nbat.2=1\nhr.x=1\n"),
        DEF_SNMP);
    // A repeated [vals.ext] header merges into the first section.
    EXPECT_TRUE(Has(f, 15, {"hr.33", "slots are 1 to 32"})) << Lines(f);
    EXPECT_TRUE(Has(f, 16, {"hr.0", "slots are 1 to 32"})) << Lines(f);
    EXPECT_TRUE(Has(f, 17, {"no table has the prefix 'ups'"})) << Lines(f);
    EXPECT_TRUE(Has(f, 18, {"hr.3=256", "stays off"})) << Lines(f);
    EXPECT_TRUE(Has(f, 20, {"hr.x", "slots are 1 to 32"})) << Lines(f);
    EXPECT_TRUE(Has(f, 8, {"statistics of 'bat' without column 1", "minima start at 0"})) << Lines(f);
    EXPECT_FALSE(Has(f, 9, {"statistics of 'hr'"})) << "hr lists column 1";
}

TEST(DefCheckSnmp, TextReadings)
{
    auto f = DefCheckText(Snmp("", "load=2\nhr.3=1\nhr.4=1\nhr.5=1\nnope=1\nhr_2a=1\nhr2_4=1\n"), DEF_SNMP);
    EXPECT_TRUE(Has(f, 13, {"load=2", "only 1 replaces its backslashes"})) << Lines(f);
    EXPECT_FALSE(Has(f, 14, {"hr.3"})) << "its cell hr2_3 is named\n" << Lines(f);
    EXPECT_TRUE(Has(f, 15, {"column 4 is not in the column list of 'hr'"})) << Lines(f);
    EXPECT_TRUE(Has(f, 16, {"tbSnmpDat looks each cell up under its own key", "hr<row>_5=1"})) << Lines(f);
    EXPECT_TRUE(Has(f, 17, {"nope names no reading"})) << Lines(f);
    EXPECT_FALSE(Has(f, 18, {"hr_2a"})) << Lines(f);
    EXPECT_TRUE(Has(f, 19, {"hr2_4 names no reading"})) << Lines(f);
}

TEST(DefCheckSnmp, PointsNameReadingsThePollStores)
{
    std::string def = Snmp();
    // Points 3 and 4 renamed to readings the poll never stores.
    for (auto [from, to] : {std::pair<std::string, std::string>{"\n3=hr2_6", "\n3=hr2_4"}, {"\n4=hr_2a", "\n4=hr_3X"}})
        def.replace(def.find(from), from.size(), to);
    auto f = DefCheckText(def, DEF_SNMP);
    EXPECT_TRUE(Has(f, 17, {"'hr2_4'", "column 4 is not in the column list"})) << Lines(f);
    EXPECT_TRUE(Has(f, 18, {"'hr_3X'", "[vals.ext] hr.3 is not set"})) << Lines(f);

    f = DefCheckText(Snmp("", "", "x=1\n"), DEF_SNMP);
    EXPECT_TRUE(Has(f, 19, {"unknown key 'x' in [flds]"})) << Lines(f);
    def = Snmp();
    def.replace(def.find("\n1=load"), 7, "\n1=lode");
    f = DefCheckText(def, DEF_SNMP);
    EXPECT_TRUE(Has(f, 15, {"'lode'", "no [oids] entry stores it"})) << Lines(f);
    def = Snmp();
    def.replace(def.find("\n2=runtime"), 10, "\n2=hr");
    EXPECT_TRUE(DefCheckText(def, DEF_SNMP).empty()) << "the row counter is a reading";
}

}  // namespace
