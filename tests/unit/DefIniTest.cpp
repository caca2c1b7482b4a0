// The definition reader: parsing rules, values, the run-time store and point indexing.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/SMEnv.h"
#include "generic/DefIni.h"
#include "tests/kit/Kit.h"

namespace {

class DefIniTest : public ::testing::Test {
protected:
    void LoadText(const std::string& text)
    {
        root.Write("/NandFlash/SM/t.def", text);
        ASSERT_TRUE(ini.Load(SMPath("/NandFlash/SM/t.def")));
    }
    std::vector<std::string> Keys(const std::string& section) const
    {
        std::vector<std::string> keys;
        for (auto it = ini.beginKey(section); it != ini.endKey(section); ++it) keys.push_back(it->first);
        return keys;
    }
    // Every section, key, value and comment, for comparing two loads.
    static std::string Dump(const SimpleIni& ini)
    {
        std::string out;
        for (auto s = ini.beginSection(); s != ini.endSection(); ++s)
            for (auto k = ini.beginKey(s->first); k != ini.endKey(s->first); ++k)
                out += "[" + s->first + "]" + k->first + "=" + k->second.value + ";" + k->second.comment + "\n";
        return out;
    }

    TempRoot root;
    SimpleIni ini;
};

TEST_F(DefIniTest, KeyLinesAndComments)
{
    LoadText("top=1\n"
             "[s]\n"
             "key = value ; note\n"
             "x=1;a#b\n"
             "y=2#a;b\n"
             "spaced =  two words\t \n"
             "novalue\n"
             "k=1 ;first\n"
             "k=2\n"
             "   \n"
             "=lone\n"
             " ;only comment\n");
    EXPECT_EQ(ini.GetValue("", "top"), "1") << "keys before the first header go to the section \"\"";
    EXPECT_EQ(ini.GetValue("s", "key"), "value");
    EXPECT_EQ(ini.GetComment("s", "key"), " note") << "the inline comment is not trimmed";
    EXPECT_EQ(ini.GetValue("s", "x"), "1");
    EXPECT_EQ(ini.GetComment("s", "x"), "a#b") << "the first of ; and # starts the comment";
    EXPECT_EQ(ini.GetComment("s", "y"), "a;b");
    EXPECT_EQ(ini.GetValue("s", "spaced"), "two words");
    EXPECT_EQ(ini.GetValue("s", "novalue", "def"), "") << "a present key with no value is not absent";
    EXPECT_EQ(ini.GetValue("s", "k"), "2") << "a later duplicate replaces the value";
    EXPECT_EQ(ini.GetComment("s", "k"), "") << "and the comment";
    EXPECT_EQ(ini.Find("s", "k")->line, 9);
    // A line of blanks, "=lone" and " ;only comment" all set the empty key; the last one wins.
    ASSERT_TRUE(ini.HasKey("s", ""));
    EXPECT_EQ(ini.GetValue("s", ""), "");
    EXPECT_EQ(ini.GetComment("s", ""), "only comment");
    EXPECT_EQ(Keys("s").front(), "") << "the blank key sorts first";

    ini.LoadString("[s]\n9=a\n10=b\n2=c\n1=d\nB=e\na=f\n\xB5\xE7=g\n");
    EXPECT_EQ(Keys("s"), (std::vector<std::string>{"1", "10", "2", "9", "B", "a", "\xB5\xE7"})) << "bytewise order";
    EXPECT_EQ(ini.beginKey("absent"), ini.endKey("absent"));
}

TEST_F(DefIniTest, SectionHeaders)
{
    LoadText("[empty]\n"
             "[first]\n"
             "  [comm]\n"
             "[comm] ; x\n"
             "k=v\n"
             "[ spaced ]\n"
             "a=1\n"
             "[open\n"
             "b=2\n"
             "[tail]rest=ignored\n"
             "c=3\n"
             "[Comm]\n"
             "k=other\n"
             "[comm]\n"
             "m=3\n");
    EXPECT_FALSE(ini.HasSection("empty")) << "a header alone makes no section";
    EXPECT_TRUE(ini.HasKey("first", "[comm]")) << "blanks before the bracket make a key line";
    EXPECT_EQ(Keys("comm"), (std::vector<std::string>{"k", "m"})) << "a repeated header merges";
    EXPECT_EQ(ini.GetValue("spaced", "a"), "1");
    EXPECT_EQ(ini.GetValue("open", "b"), "2") << "a header without ] runs to the end of the line";
    EXPECT_EQ(ini.GetValue("tail", "c"), "3");
    EXPECT_FALSE(ini.HasKey("tail", "rest"));
    EXPECT_EQ(ini.GetValue("Comm", "k"), "other") << "section names are case-sensitive";
    std::vector<std::string> names;
    for (auto it = ini.beginSection(); it != ini.endSection(); ++it) names.push_back(it->first);
    EXPECT_EQ(names, (std::vector<std::string>{"Comm", "comm", "first", "open", "spaced", "tail"}));
}

TEST_F(DefIniTest, CrLfAndGbkReadLikeLf)
{
    const std::string lf = "; head\n[comm]\nnote=温度\n电压=1\nbrief=U=%1%V\n[flds]\n1=40001 ; v\n2=\n   \nlast=x";
    std::string crlf;
    for (char c : lf) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    LoadText(lf);
    std::string a = Dump(ini);
    LoadText(crlf);
    EXPECT_EQ(Dump(ini), a);
    EXPECT_EQ(ini.GetValue("flds", "last"), "x") << "a last line without LF is read";
    EXPECT_EQ(ini.GetValue("comm", "note"), "温度") << "a last byte above 0x7F is text";
    EXPECT_EQ(ini.GetValue("comm", "电压"), "1");

    std::string line = "ab\r\r";
    SimpleIni::ParasitCar(line);
    EXPECT_EQ(line, "ab\r") << "one character only";
    line.clear();
    SimpleIni::ParasitCar(line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(SimpleIni::Trim(" \t a b \t "), "a b");
    EXPECT_EQ(SimpleIni::Trim("\r a \n"), "\r a \n") << "only spaces and tabs are trimmed";
}

TEST_F(DefIniTest, WholeLineCommentsBecomeDescriptions)
{
    LoadText("# file head\n; second\n[comm]\n;about note\nnote=x\n#one\n#two\n[flds]\ncnt=1\n");
    EXPECT_EQ(ini.GetDescription("comm", ""), " file head\n second");
    EXPECT_EQ(ini.GetDescription("comm", "note"), "about note");
    EXPECT_EQ(ini.GetDescription("flds", ""), "one\ntwo");
    EXPECT_EQ(ini.GetDescription("flds", "cnt"), "");
}

TEST_F(DefIniTest, LoadFailsOnAMissingFileAndFreesTheStore)
{
    LoadText("[a]\nk=1\n");
    EXPECT_FALSE(ini.Load(SMPath("/NandFlash/SM/missing.def")));
    EXPECT_FALSE(ini.HasSection("a"));
    const std::string missing = SMPath("/NandFlash/SM/none.def");
    try {
        SimpleIni bad(missing);
        FAIL() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to open the file " + missing + " in read mode.");
    }
}

TEST_F(DefIniTest, IntegerValuesReadTheLeadingDecimalNumber)
{
    LoadText("[c]\nms=10ms\nneg=-5\npos=+7\nhex=0x10\nempty=\nword=abc\nbig=99999999999\nsp=  42\nf=1.5e1x\n");
    const std::pair<const char*, int> cases[] = {{"ms", 10},   {"neg", -5},  {"pos", 7},   {"hex", 0},  {"empty", 300},
                                                 {"word", 300}, {"big", 300}, {"sp", 42}, {"absent", 300}};
    for (const auto& c : cases) EXPECT_EQ(ini.GetValue<int>("c", c.first, 300), c.second) << c.first;
    EXPECT_EQ(ini.GetValue<long long>("c", "big", 3), 99999999999LL);
    EXPECT_DOUBLE_EQ(ini.GetValue<double>("c", "f", 0.0), 15.0);
    for (const char* t : {"-12", "+0", "7"}) EXPECT_TRUE(SimpleIni::IsInt(t)) << t;
    for (const char* t : {"", "-", " 1", "1 ", "1.5", "0x1"}) EXPECT_FALSE(SimpleIni::IsInt(t)) << t;
}

TEST_F(DefIniTest, SetValueDeleteKeyAndBitStates)
{
    LoadText("[vals]\n40001=1 ;keep\n40002=2\n[other]\nk=v\n");
    ini.SetValue("vals", "40001", 2201);
    EXPECT_EQ(ini.GetValue("vals", "40001"), "2201");
    EXPECT_EQ(ini.GetComment("vals", "40001"), "keep") << "SetValue keeps the comment";
    ini.SetComment("vals", "40001", "new");
    EXPECT_EQ(ini.GetValue("vals", "40001"), "2201") << "SetComment keeps the value";
    ini.DeleteKey("vals", "40001");
    EXPECT_TRUE(ini.HasKey("vals", "40002"));
    ini.DeleteKey("vals", "#all");
    EXPECT_EQ(ini.beginKey("vals"), ini.endKey("vals"));
    EXPECT_EQ(ini.GetValue("other", "k"), "v") << "other sections stay";

    const int words[3] = {0x1, static_cast<int>(0x80000002u), 0x4};
    EXPECT_EQ(GetBitState(words, 3, 0), 1);
    EXPECT_EQ(GetBitState(words, 3, 33), 1);
    EXPECT_EQ(GetBitState(words, 3, 63), 1) << "the sign bit counts as bit 31";
    EXPECT_EQ(GetBitState(words, 3, 66), 1);
    EXPECT_EQ(GetBitState(words, 2, 66), 0) << "word 2 is beyond the count";
    EXPECT_EQ(GetBitState(words, 3, -1), 0);
}

TEST(IndexPointsTest, PointsAreIndexedByNameAndDivisor)
{
    const std::string n63(63, 'a'), n64(64, 'b');
    SimpleIni ini;
    ini.LoadString("[flds.def]\n"
                   "1='T1',1,'Temp',0,10,6,2000,'min',2350,'max'\n"
                   "2='Ua',1,'Volt',0,1,6,0,'a,b',0,'c'\n"
                   "3=noquote,1,x,0,10,0\n"
                   "4='Short',1,'x',0,100\n"
                   "5='Sp',1,'x',0, 10 ,0\n"
                   "6='" + n64 + "',1,'x',0,,0\n"
                   "7='" + n63 + "',1,'x',0,1000,0\n"
                   "8='Hi',1,'x',0,1000,0\n"
                   "01='Zero',1,'x',0,10,0\n");
    EXPECT_EQ(IndexPoints(ini, 7), 5);
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "T1"), "1");
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "1"), "10");
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "Ua"), "2");
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, "2")) << "divisor 1 makes no entry";
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, "3")) << "without \"',\" no entry at all";
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "Short"), "4");
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, "4")) << "fewer than five commas: no divisor";
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "5"), " 10 ") << "the divisor is not trimmed";
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, n64)) << "names over 63 bytes are left out";
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, n64.substr(0, 63)));
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "6", "x"), "") << "the divisor is still kept";
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, n63), "7");
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, "Hi")) << "above cnt";
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, "Zero")) << "key 01 is not point 1";

    // Entries are made point by point in number order: point 10 named "2" comes after point 2's
    // divisor, although key "10" sorts before "2".
    ini.LoadString("[flds.def]\n2='X',1,'x',0,100,0\n10='2',1,'x',0,1,0\n");
    IndexPoints(ini, 10);
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "2"), "10");
}

}  // namespace
