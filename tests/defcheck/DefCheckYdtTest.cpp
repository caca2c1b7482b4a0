// qvsm-defcheck on definitions of the YD/T 1363 and command-protocol drivers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/defcheck/DefCheckKit.h"

namespace {

// A clean YD/T definition: [comm] on lines 1-5 plus extra, then the rest.
std::string Ydt(const std::string& comm = "", const std::string& rest = "")
{
    return "[comm]\nnote=Rect\ncid1=41\ncid2=42,44\nbrief=U=%1% %2st%\n" + comm +
           "[42H]\ndflag=1\n1=F\n2=-B\n3=B\n3bit=1\n"
           "[44H]\ndinfo=I\n" +
           rest +
           "[flds]\ncnt=2\n1=42H01\n2=42H03-7\n"
           "[flds.def]\n1='U',1,'Voltage',0,10,6,480,'min',560,'max'\n2='A',1,'Alarm',0,1,1,1,'',0,''\n";
}

std::string Cmd(const std::string& comm = "", const std::string& rest = "")
{
    return "[comm]\nnote=PDU\nSND=7E adr cmd dlen dat sum 0D\nchk=3\nchk0=1\ndat0=4\ncmds=42 43\n" + comm +
           "[42H]\n1=I\n2=-\n3=F\ndfac=100\n"
           "[43H]\ndinfo=B\ncdat=0102\n1bit=1\n" +
           rest +
           "[flds]\ncnt=2\n1=42H03\n2=43H01-1\n"
           "[flds.def]\n1='P',1,'Power',0,100,0,0,'',0,''\n2='T',1,'Trip',0,1,1,1,'',0,''\n";
}

TEST(DefCheckYdt, CleanDefinitionsHaveNoFindings)
{
    auto y = DefCheckText(Ydt("Yk01=2F01\nbak=1\nver=21\ndmax=512\n"), DEF_YDT);
    EXPECT_TRUE(y.empty()) << Lines(y);
    // The YD/T factor is a floating-point multiplier.
    for (const char* fac : {"0.5", "x"}) {
        std::string t = Ydt("bak=1\nver=21\n");
        t.replace(t.find("[42H]\ndflag=1\n"), 14, std::string("[42H]\ndflag=1\ndfac=") + fac + "\n");
        auto z = DefCheckText(t, DEF_YDT);
        EXPECT_EQ(z.size(), fac[0] == 'x' ? 1u : 0u) << Lines(z);
    }
    auto c = DefCheckText(Cmd("Yk01=45\nYk02=45,0101\n"), DEF_CMD);
    EXPECT_TRUE(c.empty()) << Lines(c);
    DefKind used = DEF_AUTO;
    DefCheckText(Ydt(), DEF_AUTO, &used);
    EXPECT_EQ(used, DEF_YDT);
    DefCheckText(Cmd(), DEF_AUTO, &used);
    EXPECT_EQ(used, DEF_CMD);
}

TEST(DefCheckYdt, CodesVersionAndClass)
{
    auto f = DefCheckText(Ydt("ver=2\n", "[47H]\n1=B\n"), DEF_YDT);
    EXPECT_TRUE(Has(f, 6, {"ver '2'", "refused"})) << Lines(f);
    EXPECT_TRUE(Has(f, 15, {"[47H] is never polled"}));
    std::string t = Ydt();
    t.replace(t.find("cid1=41"), 7, "cid1=4");
    t.replace(t.find("cid2=42,44"), 10, "cid2=42 4f,45,4");
    auto g = DefCheckText(t, DEF_YDT);
    EXPECT_TRUE(Has(g, 3, {"cid1 '4'"})) << Lines(g);
    EXPECT_TRUE(Has(g, 4, {"'4f'", "upper-case"}));
    EXPECT_TRUE(Has(g, 4, {"polls 45", "remote control"}));
    EXPECT_TRUE(Has(g, 4, {"'4' at position 9", "not a two-digit hex code"}));
    EXPECT_FALSE(Has(g, 4, {"separator"}));
    std::string u = Ydt();
    u.replace(u.find("cid2=42,44"), 10, "cid2=4244");
    auto h = DefCheckText(u, DEF_YDT);
    EXPECT_TRUE(Has(h, 4, {"'4' after '42'", "separator"})) << Lines(h);
    EXPECT_TRUE(Has(h, 4, {"'4' at position 3"}));
}

TEST(DefCheckYdt, ReplyAndRequestLimits)
{
    auto f = DefCheckText(Ydt("dmax=600\nYk01=" + std::string(46, '0') + "\nYk02=2f\nYk3=01\nYk04=\n",
                              "dmax=513\ndcmd=" + std::string(46, 'A') + "\ndflag=-1\n"),
                          DEF_YDT);
    EXPECT_TRUE(Has(f, 6, {"dmax=600", "512"})) << Lines(f);
    EXPECT_TRUE(Has(f, 7, {"Yk01 is 46 characters", "45"}));
    EXPECT_TRUE(Has(f, 8, {"Yk02 '2f'", "upper-case"}));
    EXPECT_TRUE(Has(f, 9, {"'Yk3' is never used"}));
    EXPECT_TRUE(Has(f, 10, {"Yk04 is empty"}));
    EXPECT_TRUE(Has(f, 19, {"[44H] dmax=513", "refused"}));
    EXPECT_TRUE(Has(f, 20, {"dcmd is 46 characters"}));
    EXPECT_TRUE(Has(f, 21, {"dflag=-1", "taken as 0"}));
}

TEST(DefCheckYdt, PointsNeedAnItemThePollStores)
{
    std::string t = Ydt("", "5=I\n5bit=9\nspeed=1\n");
    t.replace(t.find("cnt=2\n1=42H01\n2=42H03-7\n"), 24, "cnt=6\n1=42H02\n2=42H03-8\n3=43H01\n4=V42H01\n5=44H05-31\n6=42H1\n");
    t += "3='c',1,'c',0,1,0,0,'',0,''\n4='d',1,'d',0,1,0,0,'',0,''\n5='e',1,'e',0,1,0,0,'',0,''\n"
         "6='f',1,'f',0,1,0,0,'',0,''\n";
    auto f = DefCheckText(t, DEF_YDT);
    EXPECT_TRUE(Has(f, 15, {"5bit=9", "at most 32 bits"})) << Lines(f);
    EXPECT_TRUE(Has(f, 16, {"unknown key 'speed' in [44H]"}));
    EXPECT_TRUE(Has(f, 19, {"42H02", "skipped"}));
    EXPECT_TRUE(Has(f, 20, {"bit 8", "expands 8 bits"}));
    EXPECT_TRUE(Has(f, 21, {"43H is not polled"}));
    EXPECT_TRUE(Has(f, 22, {"'V42H01'", "never stores"}));
    EXPECT_FALSE(Has(f, 23, {""})) << "5bit=9 expands 32 bits: bit 31 is there";
    EXPECT_TRUE(Has(f, 24, {"'42H1'", "never stores"}));
}

TEST(DefCheckCmd, TemplateTokens)
{
    std::string t = Cmd();
    t.replace(t.find("SND=7E adr cmd dlen dat sum 0D"), 30, "SND=e7 adr len zap cmd dlen dat sum 0D0");
    auto f = DefCheckText(t, DEF_CMD);
    EXPECT_TRUE(Has(f, 3, {"'e7'", "lower-case"})) << Lines(f);
    EXPECT_TRUE(Has(f, 3, {"unknown token 'zap'"}));
    EXPECT_TRUE(Has(f, 3, {"'0D0'", "odd number"}));
    EXPECT_TRUE(Has(f, 3, {"counts it as 0"}));
    EXPECT_TRUE(Has(f, 4, {"chk bit 0", "no head"}));
    EXPECT_FALSE(Has(f, 4, {"chk bit 1"})) << "0D0 is a hex token";

    std::string u = Cmd();
    u.replace(u.find("SND=7E adr cmd dlen dat sum 0D"), 30, "SND=");
    auto g = DefCheckText(u, DEF_CMD);
    EXPECT_TRUE(Has(g, 3, {"SND is empty"})) << Lines(g);
    EXPECT_TRUE(Has(g, 4, {"chk bit 1", "no tail"}));
}

TEST(DefCheckCmd, FramesRepliesAndControls)
{
    std::string hex58;
    for (int i = 0; i < 58; ++i) hex58 += "11";
    std::string t = Cmd("dmax=300\nYk01=45,01\nYk02=4,01\nYk03=45,0102\n", "[42H]\n4=-I\n2bit=1\n");
    t.replace(t.find("SND=7E adr cmd dlen dat sum 0D"), 30, "SND=" + hex58 + " adr cmd dlen dat sum 0D");
    auto f = DefCheckText(t, DEF_CMD);
    EXPECT_TRUE(Has(f, 7, {"request of 43 is 65 bytes"})) << Lines(f);
    EXPECT_FALSE(Has(f, 7, {"request of 42"})) << "63 bytes fit";
    EXPECT_TRUE(Has(f, 8, {"dmax=300", "256"}));
    EXPECT_FALSE(Has(f, 9, {""})) << "45,01 makes 64 bytes";
    EXPECT_TRUE(Has(f, 10, {"Yk02 '4,01'", "not a hex code"}));
    EXPECT_TRUE(Has(f, 11, {"Yk03", "65 bytes"}));
    EXPECT_TRUE(Has(f, 22, {"'-I'", "one-byte value"}));
    EXPECT_TRUE(Has(f, 23, {"item 2 is skipped", "bits"}));
}

}  // namespace
