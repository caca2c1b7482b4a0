// qvsm-defcheck: one group of cases per kind of finding, the choice of the driver kind and the
// file entry point. The shipped examples are checked by the tool itself (CMakeLists.txt).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/defcheck/DefCheckKit.h"
#include "tests/kit/Kit.h"

namespace {

// A clean Modbus definition; tests append to or replace its parts.
std::string Def(const std::string& comm = "", const std::string& regs = "[regs3]\n0=2\n",
                const std::string& flds = "[flds]\ncnt=2\n1=40001\n2=40002\n40002=S0.1\n",
                const std::string& defs = "[flds.def]\n1='Ua',1,'Voltage',0,10,6,1980,'min',2420,'max'\n"
                                          "2='T',1,'Temp',0,1,0,0,'',0,''\n")
{
    return "[comm]\nnote=Meter\nbrief=U=%1%V %1st% T=%2%\n" + comm + regs + flds + defs;
}

std::vector<DefFinding> Check(const std::string& text, DefKind kind = DEF_MODBUS)
{
    return DefCheckText(text, kind);
}

TEST(DefCheck, CleanDefinitionHasNoFindings)
{
    auto f = Check(Def("Yk01=0600010001\ndelayv=0\ncrc=1\nDataByte=0\n; note\n"));
    EXPECT_TRUE(f.empty()) << Lines(f);
}

TEST(DefCheck, LayoutTheReaderAcceptsSilently)
{
    std::string text = "stray=1\n"             // 1
                       "[comm]\n"              // 2
                       "  [regs3]\n"           // 3
                       "note=A\n"              // 4
                       "note=B\n"              // 5
                       "debug\n"               // 6
                       "=5\n"                  // 7
                       "[regs3]\n0=1\n"        // 8, 9
                       "[flds]\ncnt=1\n1=40001\n"
                       "[flds.def]\n"          // 13
                       "   \n"                 // 14
                       "1='A',1,'a',0,1,0,0,'',0,''\n"
                       "[vals]\n40001=3\n"     // 16
                       "[extra]\nk=1\n";       // 18
    auto f = Check(text);
    EXPECT_TRUE(Has(f, 1, {"before any section header"})) << Lines(f);
    EXPECT_TRUE(Has(f, 3, {"must start in the first column"}));
    EXPECT_FALSE(Has(f, 3, {"unknown key"})) << "said once";
    EXPECT_TRUE(Has(f, 5, {"repeats line 4"}));
    EXPECT_TRUE(Has(f, 6, {"no '='", "debug"}));
    EXPECT_TRUE(Has(f, 7, {"empty name"}));
    EXPECT_TRUE(Has(f, 14, {"line of blanks", "stops the registration"}));
    EXPECT_TRUE(Has(f, 16, {"[vals]", "run time"}));
    EXPECT_TRUE(Has(f, 18, {"unknown section [extra]"}));
    auto g = Check(Def() + "[comm]\nbrief=again\n");
    EXPECT_TRUE(Has(g, 15, {"repeats line 3"})) << "a repeated section header merges; its keys still repeat";
}

TEST(DefCheck, UnknownKeys)
{
    auto f = Check(Def("Debug=1\nfoo=2\ncid1=60\n"));
    EXPECT_TRUE(Has(f, 4, {"unknown key 'Debug'", "case-sensitive: 'debug'"})) << Lines(f);
    EXPECT_TRUE(Has(f, 5, {"unknown key 'foo'"}));
    EXPECT_TRUE(Has(f, 6, {"unknown key 'cid1'"})) << "a YD/T key in a Modbus file";
    auto g = Check(Def("", "[regs3]\n0=2\n", "[flds]\ncnt=2\n1=40001\n2=40002\nfmt=S\n40002=S0.1\n"));
    EXPECT_TRUE(Has(g, 10, {"unknown key 'fmt' in [flds]"})) << Lines(g);
    auto y = Check(Def("cid1=60\ncid2=42\nchk=1\n"), DEF_YDT);
    EXPECT_FALSE(Has(y, 4, {""}) || Has(y, 5, {""}) || Has(y, 6, {""})) << "the same keys are known to YD/T\n" << Lines(y);
}

TEST(DefCheck, NumbersMustBeDecimal)
{
    auto f = Check(Def("delay=10ms\ntimeout=0x20\ncrc=yes\n", "[regs3]\n0=0x2\n5bit=1b\n",
                       "[flds]\ncnt=2 \n1=40001\n2=40002\n"));
    EXPECT_TRUE(Has(f, 4, {"delay", "'10ms'", "reads it as 10"})) << Lines(f);
    EXPECT_TRUE(Has(f, 5, {"timeout", "'0x20'", "as 0"}));
    EXPECT_TRUE(Has(f, 6, {"crc", "'yes'", "default"}));
    EXPECT_TRUE(Has(f, 8, {"[regs3] 0", "'0x2'"}));
    EXPECT_TRUE(Has(f, 9, {"[regs3] 5bit", "'1b'"}));
    EXPECT_FALSE(Has(f, 11, {"decimal"})) << "trailing blanks are trimmed by the reader";
    EXPECT_TRUE(Check(Def("delay=-1\n")).empty());
}

TEST(DefCheck, BlocksWithinTheModbusLimits)
{
    auto f = Check(Def("", "[regs3]\n0=2\n10=126\n[regs4]\n0=125\n65535=2\n[regs1]\n0=2001\n[regs2]\n0=2000\n5=-3\n"));
    EXPECT_TRUE(Has(f, 6, {"10=126", "at most 125 registers"})) << Lines(f);
    EXPECT_FALSE(Has(f, 8, {"at most"}));
    EXPECT_TRUE(Has(f, 9, {"65535=2", "addresses 0..65535"}));
    EXPECT_TRUE(Has(f, 11, {"0=2001", "at most 2000 bits"}));
    EXPECT_FALSE(Has(f, 13, {"at most"}));
    EXPECT_TRUE(Has(f, 14, {"5=-3"}));
    auto g = Check(Def("", "[regs3]\n0=2\nx5=1\n7z=1\n"));
    EXPECT_TRUE(Has(g, 6, {"x5", "read as a block at address 0"})) << Lines(g);
    EXPECT_TRUE(Has(g, 7, {"block at address 7", "'z' is ignored"}));
}

TEST(DefCheck, FormatsAndMultipliers)
{
    auto f = Check(Def("", "[regs3]\n0=7\n",
                       "[flds]\ncnt=2\n1=40001\n2=40002\n40001=Q\n40002=L.5\n40004=S1x\n40005=b\n40006=S.\n"));
    EXPECT_TRUE(Has(f, 10, {"'Q'", "unknown type letter"})) << Lines(f);
    EXPECT_TRUE(Has(f, 11, {"'L.5'", "multiplies by 5"}));
    EXPECT_TRUE(Has(f, 12, {"'S1x'", "not a number"}));
    EXPECT_TRUE(Has(f, 13, {"'b'", "unknown type letter"}));
    EXPECT_TRUE(Has(f, 14, {"'S.'", "not a number"}));
    auto g = Check(Def("DataByte=1\n", "[regs3]\n0=3\n", "[flds]\ncnt=2\n1=40001\n2=40002\n40002=b\n"));
    EXPECT_TRUE(g.empty()) << "b reads one byte in byte mode\n" << Lines(g);
    auto h = Check(Def("", "[regs3]\n0=2\n", "[flds]\ncnt=2\n1=40001\n2=40002\n40001=S0.5\n40002=10\n"));
    EXPECT_TRUE(h.empty()) << Lines(h);
}

TEST(DefCheck, PointDefinitionLines)
{
    std::string n63(63, 'n'), n64(64, 'n');
    auto f = Check(Def("", "[regs3]\n0=6\n",
                       "[flds]\ncnt=6\n1=40001\n2=40002\n3=40003\n4=40004\n5=40005\n6=40006\n",
                       "[flds.def]\n"
                       "1=Ua,1,'Voltage',0,10,6,1980,'min',2420,'max'\n"   // 15
                       "2='T',1,'Temp',0\n"                                // 16
                       "3='T',1,'Temp',0,1,0,0,'',0\n"                     // 17
                       "4='a,b',1,'Temp',0,10,0,0,'',0,''\n"               // 18
                       "5='" + n64 + "',1,'x',0,1,0,0,'',0,''\n"           // 19
                       "6='" + n63 + "',1,'x',0,1,0,0,'lo, high',0,''\n"   // 20
                       "7='U''s',1,'x',0,x,0,0,'',0,''\n"));               // 21
    EXPECT_TRUE(Has(f, 15, {"quoted name"})) << Lines(f);
    EXPECT_TRUE(Has(f, 16, {"fewer than five commas"}));
    EXPECT_TRUE(Has(f, 16, {"4 fields"}));
    EXPECT_TRUE(Has(f, 17, {"9 fields"}));
    EXPECT_TRUE(Has(f, 18, {"comma inside the name", "read as '0' instead of '10'"}));
    EXPECT_TRUE(Has(f, 19, {"64 bytes", "at most 63"}));
    EXPECT_FALSE(Has(f, 20, {""})) << "63 bytes fit; commas after the fifth field are harmless";
    EXPECT_TRUE(Has(f, 21, {"divisor 'x'"}));
    EXPECT_TRUE(Has(f, 21, {"above cnt=6"}));
}

TEST(DefCheck, NoteLength)
{
    std::string t = Def();
    t.replace(t.find("note=Meter"), 10, "note=" + std::string(31, 'n'));
    EXPECT_TRUE(Check(t).empty()) << Lines(Check(t));
    t.replace(t.find("note="), 36, "note=" + std::string(32, 'n'));
    auto f = Check(t);
    EXPECT_TRUE(Has(f, 2, {"note is 32 bytes", "keeps 31"})) << Lines(f);
}

TEST(DefCheck, CountAndPointList)
{
    auto f = Check(Def("", "[regs3]\n0=3\n", "[flds]\ncnt=3\n1=40001\n2=40002\n4=40003\n"));
    EXPECT_TRUE(Has(f, 7, {"no key 3"})) << Lines(f);
    EXPECT_TRUE(Has(f, 7, {"point 3 has no definition line"}));
    EXPECT_TRUE(Has(f, 10, {"[flds] 4 is above cnt=3"}));
    auto g = Check(Def("", "[regs3]\n0=2\n", "[flds]\n1=40001\n2=40002\n"));
    EXPECT_TRUE(Has(g, 6, {"no cnt"})) << Lines(g);
    EXPECT_TRUE(Has(g, 10, {"point definition 1 is above cnt=0"}));
    auto h = Check(Def("", "[regs3]\n0=2\n", "[flds]\ncnt=2\n1=40001\n2=\n"));
    EXPECT_TRUE(Has(h, 9, {"point 2 has no register key"})) << Lines(h);
}

TEST(DefCheck, PointsAndFormatsNeedARegisterThatIsRead)
{
    auto f = Check(Def("", "[regs3]\n0=4\n1bit=1\n[regs1]\n0=10\n",
                       "[flds]\ncnt=6\n1=40001\n2=40002\n3=40009\n4=40001-3\n5=40001-9\n6=00016\n"
                       "40001=L\n40008=S\n40003=I\n"));
    EXPECT_TRUE(Has(f, 12, {"40002", "part of 40001"})) << Lines(f);
    EXPECT_TRUE(Has(f, 13, {"40009", "never stores"}));
    EXPECT_FALSE(Has(f, 14, {""})) << "1bit splits the L value of 40001";
    EXPECT_TRUE(Has(f, 15, {"40001-9", "never stores"})) << "one byte split: bits 0..7";
    EXPECT_FALSE(Has(f, 16, {""})) << "every bit of the second coil byte is stored";
    EXPECT_TRUE(Has(f, 18, {"format of 40008 is never used"}));
    EXPECT_FALSE(Has(f, 19, {""})) << "40003..40004 are read";

    // A split keyed by the first address of a 32-bit value, and one at an unread address.
    auto g = Check(Def("", "[regs3]\n0=2\n0bit=1\n9bit=1\n", "[flds]\ncnt=2\n1=40001\n2=40001-0\n40001=I\n"));
    EXPECT_TRUE(Has(g, 6, {"0bit", "last address"})) << Lines(g);
    EXPECT_TRUE(Has(g, 7, {"9bit", "no block reads a value at address 9"}));
    EXPECT_TRUE(Has(g, 11, {"40001-0", "never stores"}));

    // A 32-bit value at the end of a block fails every poll.
    auto h = Check(Def("", "[regs3]\n0=2\n", "[flds]\ncnt=2\n1=40001\n2=40002\n40002=F10\n"));
    EXPECT_TRUE(Has(h, 5, {"40002", "past the end of the block"})) << Lines(h);
    // A byte split from an HL block.
    auto k = Check(Def("", "[regs3]\n0=2\n5HL=1\n", "[flds]\ncnt=2\n1=40006-H\n2=40006-L\n"));
    EXPECT_TRUE(k.empty()) << Lines(k);
}

TEST(DefCheck, BriefPlaceholders)
{
    auto f = Check("[comm]\nbrief=%1% %3% %0st% %2st% %1% 100%\n[regs3]\n0=2\n[flds]\ncnt=2\n1=40001\n2=\n"
                   "[flds.def]\n1='A',1,'a',0,1,0,0,'',0,''\n2='B',1,'b',0,1,0,0,'',0,''\n");
    EXPECT_TRUE(Has(f, 2, {"%3%", "above cnt=2"})) << Lines(f);
    EXPECT_TRUE(Has(f, 2, {"%0st%", "does not exist"}));
    EXPECT_TRUE(Has(f, 2, {"point 2 has no value key", "%2st%"}));
    EXPECT_TRUE(Has(f, 2, {"%1% appears more than once"}));
    EXPECT_EQ(Lines(f).find("100%"), std::string::npos) << "a lone percent sign is text";
}

TEST(DefCheck, ControlsMustFitTheRequestBuffer)
{
    std::string p61(122, '1'), p62(124, '1'), p57(114, '1'), p58(116, '1');
    auto f = Check(Def("Yk1=0600010001\nYk02=06 00 01\nYk03=060\nYk04=" + p61 + "\nYk05=" + p62 + "\nYk06=" + p57 +
                       "\nYk07=" + p58 + "\nYk08=\nYk100=0500000000\nYk007=05\n"));
    EXPECT_TRUE(Has(f, 4, {"'Yk1' is never used"})) << Lines(f);
    EXPECT_TRUE(Has(f, 5, {"not a request in hex"}));
    EXPECT_TRUE(Has(f, 6, {"not a request in hex"}));
    EXPECT_TRUE(Has(f, 7, {"Yk04 is 61 bytes", "Modbus TCP"}));
    EXPECT_TRUE(Has(f, 8, {"Yk05 is 62 bytes", "at most 61"}));
    EXPECT_FALSE(Has(f, 9, {"Yk06"}));
    EXPECT_TRUE(Has(f, 10, {"Yk07 is 58 bytes", "Modbus TCP"}));
    EXPECT_TRUE(Has(f, 11, {"Yk08 is empty"}));
    EXPECT_FALSE(Has(f, 12, {"Yk100"}));
    EXPECT_TRUE(Has(f, 13, {"'Yk007' is never used"}));
}

TEST(DefCheck, TextMustBeGbk)
{
    EXPECT_TRUE(Check(Def("model=电表\n")).empty()) << "the source is compiled to GBK";
    auto g = Check(Def(std::string("model=") + "\xE7\x94\xB5\xE8\xA1\xA8" + "\n"));  // UTF-8 of 电表
    EXPECT_TRUE(Has(g, 4, {"UTF-8", "iconv"})) << Lines(g);
    auto h = Check(Def(std::string("model=") + "\x81\x20" + "\n"));
    EXPECT_TRUE(Has(h, 4, {"not GBK"})) << Lines(h);
}

TEST(DefCheck, DriverKindFromTheNameOrTheContent)
{
    const std::pair<const char*, DefKind> names[] = {
        {"SM4608.def", DEF_MODBUS}, {"/etc/defs/SM4864.def", DEF_MODBUS}, {"SM4096.def", DEF_SNMP},
        {"SM5120.def", DEF_YDT},    {"SM6143.def", DEF_CMD},              {"SM1280.def", DEF_AUTO},
        {"meter.def", DEF_AUTO},    {"SM46x8.def", DEF_AUTO}};
    for (const auto& n : names) EXPECT_EQ(DefKindOfPath(n.first), n.second) << n.first;
    DefKind k;
    EXPECT_TRUE(DefKindParse("ydt1363", k));
    EXPECT_EQ(k, DEF_YDT);
    EXPECT_FALSE(DefKindParse("unknown", k));

    const std::pair<std::string, DefKind> texts[] = {{Def(), DEF_MODBUS},
                                                     {"[oids]\n1.3.6=a\n", DEF_SNMP},
                                                     {"[comm]\ncid2=42 44\n", DEF_YDT},
                                                     {"[comm]\nSND=x\n", DEF_CMD},
                                                     {"[comm]\nnote=x\n", DEF_UNKNOWN}};
    for (const auto& t : texts) {
        DefKind used = DEF_AUTO;
        auto f = DefCheckText(t.first, DEF_AUTO, &used);
        EXPECT_EQ(used, t.second) << t.first;
        EXPECT_EQ(Has(f, 1, {"cannot tell the driver kind"}), t.second == DEF_UNKNOWN) << Lines(f);
    }
    // Sections of another kind are unknown; the kind's own are not.
    auto g = Check(Def(), DEF_SNMP);
    EXPECT_TRUE(Has(g, 4, {"unknown section [regs3]", "snmp"})) << Lines(g);
    EXPECT_TRUE(Check("[comm]\ncmds=42 44\nSND=7E adr cmd\n[42H]\ndinfo=I\n", DEF_CMD).empty());
}

TEST(DefCheck, FileResultAndLines)
{
    TempRoot root;
    std::string good = root.Dir() + "/SM4608.def", snmp = root.Dir() + "/SM4096.def";
    std::ofstream(good) << Def();
    std::ofstream(snmp) << Def("foo=1\n");
    std::vector<std::string> out;
    EXPECT_EQ(DefCheckFile(good, DEF_AUTO, out), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(DefCheckFile(snmp, DEF_MODBUS, out), 1) << "--kind wins over the name";
    EXPECT_EQ(out, std::vector<std::string>{snmp + ":4: unknown key 'foo' in [comm]"});
    out.clear();
    EXPECT_EQ(DefCheckFile(snmp, DEF_AUTO, out), 1);
    bool regs = false;
    for (const std::string& l : out) regs = regs || l == snmp + ":5: unknown section [regs3]: the snmp driver does not read it";
    EXPECT_TRUE(regs) << "an SNMP code does not read [regs3]";
    out.clear();
    EXPECT_EQ(DefCheckFile(root.Dir(), DEF_AUTO, out), 2) << "a folder";
    EXPECT_EQ(out, std::vector<std::string>{root.Dir() + ": cannot be read"});
}

}  // namespace
