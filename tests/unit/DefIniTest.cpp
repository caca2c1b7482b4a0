#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/SMEnv.h"
#include "generic/DefIni.h"
#include "generic/SMGeneric.h"
#include "tests/kit/Kit.h"

namespace {

class DefIniTest : public ::testing::Test {
protected:
    // Writes text as a definition file and loads it.
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
    std::vector<std::string> Sections() const
    {
        std::vector<std::string> names;
        for (auto it = ini.beginSection(); it != ini.endSection(); ++it) names.push_back(it->first);
        return names;
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

TEST_F(DefIniTest, CommentsCutValuesAtTheFirstSemicolonOrHash)
{
    LoadText("[s]\n"
             "key = value ; note\n"
             "a=b#c\n"
             "x=1;a#b\n"
             "y=2#a;b\n"
             "spaced =  two words\t \n"
             "novalue\n");
    EXPECT_EQ(ini.GetValue("s", "key"), "value");
    EXPECT_EQ(ini.GetComment("s", "key"), " note") << "the inline comment is not trimmed";
    EXPECT_EQ(ini.GetValue("s", "a"), "b");
    EXPECT_EQ(ini.GetComment("s", "a"), "c");
    EXPECT_EQ(ini.GetValue("s", "x"), "1");
    EXPECT_EQ(ini.GetComment("s", "x"), "a#b");
    EXPECT_EQ(ini.GetValue("s", "y"), "2");
    EXPECT_EQ(ini.GetComment("s", "y"), "a;b");
    EXPECT_EQ(ini.GetValue("s", "spaced"), "two words");
    ASSERT_TRUE(ini.HasKey("s", "novalue"));
    EXPECT_EQ(ini.GetValue("s", "novalue", "def"), "") << "a present key with no value is not absent";
}

TEST_F(DefIniTest, HeadersNeedTheBracketInTheFirstColumn)
{
    LoadText("top=1\n"
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
             "k=other\n");
    EXPECT_EQ(ini.GetValue("", "top"), "1") << "keys before the first header go to the section \"\"";
    EXPECT_TRUE(ini.HasKey("first", "[comm]")) << "blanks before the bracket make a key line";
    EXPECT_EQ(ini.GetValue("comm", "k"), "v");
    EXPECT_EQ(ini.GetValue("spaced", "a"), "1");
    EXPECT_EQ(ini.GetValue("open", "b"), "2") << "a header without ] runs to the end of the line";
    EXPECT_EQ(ini.GetValue("tail", "c"), "3");
    EXPECT_FALSE(ini.HasKey("tail", "rest"));
    EXPECT_EQ(ini.GetValue("Comm", "k"), "other") << "section names are case-sensitive";
    EXPECT_EQ(Sections(), (std::vector<std::string>{"", "Comm", "comm", "first", "open", "spaced", "tail"}));
}

TEST_F(DefIniTest, BlankLinesEmptyKeysAndSectionsWithoutKeys)
{
    LoadText("[empty]\n"
             "\n"
             "[s]\n"
             "   \n"
             "=lone\n"
             " ;only comment\n");
    EXPECT_FALSE(ini.HasSection("empty")) << "a header alone makes no section";
    ASSERT_TRUE(ini.HasKey("s", ""));
    // The three lines all set the empty key; the last one wins.
    EXPECT_EQ(ini.GetValue("s", ""), "");
    EXPECT_EQ(ini.GetComment("s", ""), "only comment");
    ini.LoadString("[s]\n=lone\n");
    EXPECT_EQ(ini.GetValue("s", ""), "lone");
    ini.LoadString("[flds.def]\n \n1='a',1,'n',0,10,0,0,'',0,''\n");
    EXPECT_EQ(Keys("flds.def"), (std::vector<std::string>{"", "1"})) << "the blank key sorts first";
}

TEST_F(DefIniTest, DuplicatesReplaceAndRepeatedHeadersMerge)
{
    LoadText("[a]\nk=1 ;first\nj=x\n[b]\nz=0\n[a]\nk=2\nm=3\n");
    EXPECT_EQ(ini.GetValue("a", "k"), "2");
    EXPECT_EQ(ini.GetComment("a", "k"), "") << "the later line replaces the comment too";
    EXPECT_EQ(Keys("a"), (std::vector<std::string>{"j", "k", "m"}));
    EXPECT_EQ(ini.Find("a", "k")->line, 7);
}

TEST_F(DefIniTest, CrLfReadsLikeLf)
{
    const std::string lf = "; head\n[comm]\nnote=温度\nbrief=U=%1%V\n[flds]\ncnt=2\n1=40001 ; v\n2=\n   \nlast=x";
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
    EXPECT_EQ(ini.GetValue("comm", "note"), "温度");
}

TEST_F(DefIniTest, GbkBytesAreTextNotControlCharacters)
{
    // The value ends in a double-byte character whose second byte is above 0x7F.
    const std::string name = "电压";
    ASSERT_GT(static_cast<unsigned char>(name.back()), 0x7F);
    LoadText("[s]\nk=" + name + "\n" + name + "=1\r\n");
    EXPECT_EQ(ini.GetValue("s", "k"), name);
    EXPECT_EQ(ini.GetValue("s", name), "1");

    std::string line = "ab" + name;
    SimpleIni::ParasitCar(line);
    EXPECT_EQ(line, "ab" + name);
    line = "ab\r\r";
    SimpleIni::ParasitCar(line);
    EXPECT_EQ(line, "ab\r") << "one character only";
    line = "x\t";
    SimpleIni::ParasitCar(line);
    EXPECT_EQ(line, "x");
    line.clear();
    SimpleIni::ParasitCar(line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(SimpleIni::Trim(" \t a b \t "), "a b");
    EXPECT_EQ(SimpleIni::Trim("\r a \n"), "\r a \n") << "only spaces and tabs are trimmed";
}

TEST_F(DefIniTest, KeysIterateInByteOrder)
{
    LoadText("[s]\n9=a\n10=b\n2=c\n1=d\nB=e\na=f\n\xB5\xE7=g\n");
    EXPECT_EQ(Keys("s"), (std::vector<std::string>{"1", "10", "2", "9", "B", "a", "\xB5\xE7"}));
    EXPECT_EQ(ini.beginKey("absent"), ini.endKey("absent"));
    EXPECT_EQ(ini.Section("absent"), nullptr);
}

TEST_F(DefIniTest, WholeLineCommentsBecomeDescriptions)
{
    LoadText("# file head\n; second\n[comm]\n;about note\nnote=x\n#one\n#two\n[flds]\ncnt=1\n");
    EXPECT_EQ(ini.GetDescription("comm", ""), " file head\n second");
    EXPECT_EQ(ini.GetDescription("comm", "note"), "about note");
    EXPECT_EQ(ini.GetDescription("flds", ""), "one\ntwo");
    EXPECT_EQ(ini.GetDescription("flds", "cnt"), "");
    EXPECT_FALSE(ini.HasKey("comm", "about note"));
}

TEST_F(DefIniTest, LoadFailsOnAMissingFileAndFreesTheStore)
{
    LoadText("[a]\nk=1\n");
    EXPECT_FALSE(ini.Load(SMPath("/NandFlash/SM/missing.def")));
    EXPECT_FALSE(ini.HasSection("a"));
    EXPECT_EQ(ini.FileName(), SMPath("/NandFlash/SM/missing.def"));

    const std::string missing = SMPath("/NandFlash/SM/none.def");
    try {
        SimpleIni bad(missing);
        FAIL() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to open the file " + missing + " in read mode.");
    }
    root.Write("/NandFlash/SM/ok.def", "[a]\nk=5\n");
    SimpleIni good(SMPath("/NandFlash/SM/ok.def"));
    EXPECT_EQ(good.GetValue<int>("a", "k", 0), 5);
}

TEST_F(DefIniTest, IntegerValuesReadTheLeadingDecimalNumber)
{
    LoadText("[c]\nms=10ms\nneg=-5\npos=+7\nhex=0x10\nempty=\nword=abc\nbig=99999999999\nsp=  42\nf=1.5e1x\n");
    EXPECT_EQ(ini.GetValue<int>("c", "ms", 0), 10);
    EXPECT_EQ(ini.GetValue<int>("c", "neg", 0), -5);
    EXPECT_EQ(ini.GetValue<int>("c", "pos", 0), 7);
    EXPECT_EQ(ini.GetValue<int>("c", "hex", 9), 0) << "numbers are decimal only";
    EXPECT_EQ(ini.GetValue<int>("c", "empty", 300), 300);
    EXPECT_EQ(ini.GetValue<int>("c", "word", -1), -1);
    EXPECT_EQ(ini.GetValue<int>("c", "big", 3), 3) << "out of range";
    EXPECT_EQ(ini.GetValue<long long>("c", "big", 3), 99999999999LL);
    EXPECT_EQ(ini.GetValue<int>("c", "sp", 0), 42);
    EXPECT_EQ(ini.GetValue<int>("c", "absent", 30), 30);
    EXPECT_EQ(ini.GetValue<int>("nosection", "ms", 30), 30);
    EXPECT_DOUBLE_EQ(ini.GetValue<double>("c", "f", 0.0), 15.0);
    EXPECT_DOUBLE_EQ(ini.GetValue<double>("c", "word", 2.5), 2.5);
}

TEST_F(DefIniTest, SetValueDeleteKeyAndComments)
{
    LoadText("[vals]\n40001=1 ;keep\n40002=2\n[other]\nk=v\n");
    ini.SetValue("vals", "40001", 2201);
    EXPECT_EQ(ini.GetValue("vals", "40001"), "2201");
    EXPECT_EQ(ini.GetComment("vals", "40001"), "keep") << "SetValue keeps the comment";
    ini.SetComment("vals", "40001", "new");
    EXPECT_EQ(ini.GetValue("vals", "40001"), "2201");
    ini.SetValue("vals", "40001-3", "");
    EXPECT_TRUE(ini.HasKey("vals", "40001-3"));
    ini.SetValue("fresh", "k", -7);
    EXPECT_EQ(ini.GetValue<int>("fresh", "k", 0), -7);

    ini.DeleteKey("vals", "40001");
    EXPECT_FALSE(ini.HasKey("vals", "40001"));
    EXPECT_TRUE(ini.HasKey("vals", "40002"));
    ini.DeleteKey("vals", "#all");
    EXPECT_EQ(ini.beginKey("vals"), ini.endKey("vals"));
    EXPECT_EQ(ini.GetValue("other", "k"), "v") << "other sections stay";
    ini.DeleteKey("absent", "#all");
    ini.SetValue("vals", "40001", 1);
    EXPECT_EQ(Keys("vals"), std::vector<std::string>{"40001"});
}

TEST_F(DefIniTest, SaveAsWritesWhatLoadReadsBack)
{
    LoadText("top=t\n#desc\n[comm]\nnote=温度 ;c\n;k desc\n;two\nbrief=%1%\n[flds]\ncnt=1\n=blank\n");
    ASSERT_TRUE(ini.SaveAs(SMPath("/NandFlash/SM/saved.def")));
    SimpleIni back;
    ASSERT_TRUE(back.Load(SMPath("/NandFlash/SM/saved.def")));
    EXPECT_EQ(Dump(back), Dump(ini));
    EXPECT_EQ(back.GetValue("comm", "note"), "温度");
    EXPECT_EQ(back.GetComment("comm", "note"), "c");
    EXPECT_EQ(back.GetDescription("comm", "brief"), "k desc\ntwo");
    EXPECT_EQ(back.GetDescription("comm", ""), "desc");
}

TEST(GetBitStateTest, ReadsBitOfWordAndStopsAtTheCount)
{
    const int words[3] = {0x1, static_cast<int>(0x80000002u), 0x4};
    EXPECT_EQ(GetBitState(words, 3, 0), 1);
    EXPECT_EQ(GetBitState(words, 3, 1), 0);
    EXPECT_EQ(GetBitState(words, 3, 33), 1);
    EXPECT_EQ(GetBitState(words, 3, 63), 1) << "the sign bit counts as bit 31";
    EXPECT_EQ(GetBitState(words, 3, 66), 1);
    EXPECT_EQ(GetBitState(words, 2, 66), 0) << "word 2 is beyond the count";
    EXPECT_EQ(GetBitState(words, 3, -1), 0);
    EXPECT_EQ(GetBitState(nullptr, 3, 0), 0);
}

TEST_F(DefIniTest, PointsAreIndexedByNameAndDivisor)
{
    ini.LoadString("[flds.def]\n"
                   "1='T1',1,'Temp',0,10,6,2000,'min',2350,'max'\n"
                   "2='Ua',1,'Volt',0,1,6,0,'a,b',0,'c'\n"
                   "3=noquote,1,x,0,10,0\n"
                   "4='Short',1,'x',0,100\n"
                   "5='Sp',1,'x',0, 10 ,0\n"
                   "6='E',1,'x',0,,0\n"
                   "7='Hi',1,'x',0,1000,0\n"
                   "01='Zero',1,'x',0,10,0\n");
    EXPECT_EQ(IndexPoints(ini, 6), 5);
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "T1"), "1");
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "1"), "10");
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "Ua"), "2");
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, "2")) << "divisor 1 makes no entry";
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, "3")) << "without \"',\" no entry at all";
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "Short"), "4");
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, "4")) << "fewer than five commas: no divisor";
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "5"), " 10 ") << "the divisor is not trimmed";
    ASSERT_TRUE(ini.HasKey(SEC_FLDSVAL, "6"));
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "6", "x"), "");
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, "Hi")) << "above cnt";
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, "Zero")) << "key 01 is not point 1";

    // Entries are made point by point in number order: point 10 named "2" comes after point 2's
    // divisor, although key "10" sorts before "2".
    ini.LoadString("[flds.def]\n2='X',1,'x',0,100,0\n10='2',1,'x',0,1,0\n");
    IndexPoints(ini, 10);
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "2"), "10");
}

TEST_F(DefIniTest, PointNamesOverSixtyThreeBytesAreLeftOut)
{
    const std::string n63(63, 'a'), n64(64, 'b');
    ini.LoadString("[flds.def]\n1='" + n63 + "',1,'x',0,10,0\n2='" + n64 + "',1,'x',0,10,0\n");
    EXPECT_EQ(IndexPoints(ini, 2), 1);
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, n63), "1");
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, n64));
    EXPECT_FALSE(ini.HasKey(SEC_FLDSVAL, n64.substr(0, 63)));
    EXPECT_EQ(ini.GetValue(SEC_FLDSVAL, "2"), "10") << "the divisor is still kept";
}

// ---- loading through a generic driver --------------------------------------------------------

// Exposes the registration helper.
class DefDriver : public CSMModbus {
public:
    DefDriver() : CSMModbus(4608) {}
    using CSMDefBase::RegDb;
};

class DefDriverTest : public ::testing::Test {
protected:
    std::string Write(const std::string& text)
    {
        root.Write("/NandFlash/SM/SM4608.def", text);
        return SMPath("/NandFlash/SM/SM4608.def");
    }
    TempRoot root;
};

TEST_F(DefDriverTest, UnreadableDefinitionLeavesTheDriverUnloaded)
{
    DefDriver d;
    EXPECT_EQ(d.LoadDef(SMPath("/NandFlash/SM/SM9999.def").c_str()), -1);
    EXPECT_FALSE(d.Loaded());
    EXPECT_EQ(d.DataSize(), 1);
    EXPECT_STREQ(d.GetNote(), "QVMB-base");
    EXPECT_EQ(d.DataVal(1), -1);
}

TEST_F(DefDriverTest, LoadReadsCommonSettingsAndPointCount)
{
    DefDriver d;
    std::string path = Write("[comm]\nnote=三相电表\nmodel=PM-3\ndebug=1\ndelay=50ms\ntimeout=\nmask=7\n"
                             "[flds]\ncnt=3\n1=40001\n2=40002\n3=\n"
                             "[flds.def]\n1='Ua',1,'Voltage',0,10,0\n2='T',1,'Temp',0,1,0\n");
    EXPECT_EQ(d.LoadDef(path.c_str()), 1);
    EXPECT_TRUE(d.Loaded());
    EXPECT_STREQ(d.GetNote(), "三相电表");
    EXPECT_EQ(d.Model(), "PM-3");
    EXPECT_EQ(d.Debug(), 1);
    EXPECT_EQ(d.Delay(), 50);
    EXPECT_EQ(d.Timeout(), 300) << "an empty number takes the default";
    EXPECT_EQ(d.Mask(), 7);
    EXPECT_EQ(d.DataSize(), 3);
    EXPECT_EQ(d.Ini().GetValue(SEC_FLDSVAL, "Ua"), "1");
    EXPECT_EQ(d.Ini().GetValue(SEC_FLDSVAL, "1"), "10");

    d.Ini().SetValue(SEC_VALS, "40001", 2201);
    d.Ini().SetValue(SEC_VALS, "40002", "-10");
    EXPECT_EQ(d.DataVal(1), 2201);
    EXPECT_EQ(d.DataVal(2), -10);
    EXPECT_EQ(d.DataVal(3), -1) << "point without a value key";
    EXPECT_EQ(d.DataVal(4), -1) << "above cnt";
    EXPECT_EQ(d.DataVal(0), -1);
    d.Ini().DeleteKey(SEC_VALS, "#all");
    EXPECT_EQ(d.DataVal(1), -1);

    DefDriver plain;
    EXPECT_EQ(plain.LoadDef(Write("").c_str()), 1);
    EXPECT_EQ(plain.DataSize(), 0) << "no [flds] cnt: no points";
    EXPECT_STREQ(plain.GetNote(), "QVMB-base");
    EXPECT_EQ(plain.Model(), "QVMB-base");
    EXPECT_EQ(plain.Delay(), 10);
    EXPECT_EQ(plain.Timeout(), 300);
}

TEST_F(DefDriverTest, LongNotesAreCutAtACharacterBoundary)
{
    DefDriver d;
    // 16 double-byte characters: 32 bytes, one over the note field.
    std::string note;
    for (int i = 0; i < 16; ++i) note += "温";
    ASSERT_EQ(note.size(), 32u);
    d.LoadDef(Write("[comm]\nnote=" + note + "\n").c_str());
    EXPECT_EQ(std::string(d.GetNote()), note.substr(0, 30));
    d.LoadDef(Write("[comm]\nnote=A" + note.substr(0, 30) + "\n").c_str());
    EXPECT_EQ(std::string(d.GetNote()), "A" + note.substr(0, 30)) << "31 bytes fit";
}

TEST_F(DefDriverTest, DefaultModelsFollowTheDriver)
{
    const std::string path = Write("[flds]\ncnt=1\n");
    CSMSnmpPub snmp(4096);
    CSMYdt1363 yd(5120);
    CSMNormal normal(5632);
    snmp.LoadDef(path.c_str());
    yd.LoadDef(path.c_str());
    normal.LoadDef(path.c_str());
    EXPECT_EQ(snmp.Model(), "QVSNMP-base");
    EXPECT_STREQ(snmp.GetNote(), "QVMB-base");
    EXPECT_EQ(yd.Model(), "QVYD-base");
    EXPECT_EQ(normal.Model(), "QVYD-base");
}

TEST_F(DefDriverTest, RegistrationWritesTypeAndPointRowsInKeyOrder)
{
    DefDriver d;
    d.LoadDef(Write("[comm]\nnote=O'Neil\n[flds]\ncnt=2\n"
                    "[flds.def]\n2='B',1,'b',0,1,0,0,'',0,''\n10='J',1,'j',0,1,0,0,'',0,''\n"
                    "1='A',1,'a',0,10,0,0,'',0,''\n0x='Z',1,'z',0,1,0,0,'',0,''\n3=\n")
                  .c_str());
    TestDb db;
    d.RegDb(&db, 0);
    ASSERT_EQ(db.execs.size(), 5u);
    EXPECT_EQ(db.execs[0], "insert into tbSMType values(4608,4608,'QVMB-base','O''Neil')");
    EXPECT_EQ(db.execs[1], "insert into tbSMDef values(4608,0,0,'Z',1,'z',0,1,0,0,'',0,'',0,NULL)")
        << "a key starting with 0 is written as 0, and sorts first";
    EXPECT_EQ(db.execs[2], "insert into tbSMDef values(4608,0,1,'A',1,'a',0,10,0,0,'',0,'',0,NULL)");
    EXPECT_EQ(db.execs[3], "insert into tbSMDef values(4608,0,10,'J',1,'j',0,1,0,0,'',0,'',0,NULL)")
        << "keys above cnt are registered too";
    EXPECT_EQ(db.execs[4], "insert into tbSMDef values(4608,0,2,'B',1,'b',0,1,0,0,'',0,'',0,NULL)");
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=4608"), 4);

    db.Clear();
    d.RegDb(&db, 0);
    EXPECT_TRUE(db.execs.empty()) << "rows exist and no force";
    d.RegDb(&db, 1);
    ASSERT_EQ(db.execs.size(), 5u);
    EXPECT_EQ(db.execs[0], "delete from tbSMDef where Type=4608");
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=4608"), 4);
}

TEST_F(DefDriverTest, ABlankLineInThePointDefinitionsStopsRegistration)
{
    DefDriver d;
    d.LoadDef(Write("[flds]\ncnt=1\n[flds.def]\n1='A',1,'a',0,10,0,0,'',0,''\n   \n").c_str());
    TestDb db;
    d.RegDb(&db, 0);
    ASSERT_EQ(db.execs.size(), 1u);
    EXPECT_EQ(db.execs[0].rfind("insert into tbSMType", 0), 0u);
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=4608"), 0);

    DefDriver unloaded;
    db.Clear();
    unloaded.RegDb(&db, 0);
    EXPECT_EQ(db.CountExecs("tbSMDef"), 0) << "an unloaded driver registers no points";
}

}  // namespace
