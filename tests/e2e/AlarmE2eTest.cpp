// qvsm-host with libqvsm.so telling people about alarms: short messages through a simulated GSM
// modem (every captured PDU read back by python3-gammu), the alarm dialler unit's frames and the
// display panel's frames, all through qvsm-host ctl against qvsm-sim on pseudo-terminals.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/TestUtil.h"

using e2e::Gbk;

namespace {

const char kSim[] =
    "[bus.modem]\nkind = gsm\npty = %DIR%/ttyGSM\ngsm.capture = %DIR%/pdu.txt\ngsm.log = %DIR%/at.log\n"
    "[bus.dialler]\nkind = dialler\npty = %DIR%/ttyALM\nscript.log = %DIR%/dialler.log\n"
    "[slave.dialler]\nbus = dialler\naddr = 1\n"
    "script.1 = hex:AA 00 00 02 02 55 => hex:AA 00 04 02 00 05 01 00 06 55\n"  // status: line busy
    "[bus.panel]\nkind = panel\npty = %DIR%/ttyLCD\nscript.log = %DIR%/panel.log\n";

// Fields of one decoded PDU: smsc number validity udh ref part parts coding text.
std::vector<std::vector<std::string>> Decode(const std::string& capture)
{
    std::string out;
    int rc = e2e::Run({"/usr/bin/python3", SMS_DECODE, capture}, out, std::chrono::seconds(30));
    EXPECT_EQ(rc, 0) << out;
    std::vector<std::vector<std::string>> res;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream ls(line);
        for (std::string x; std::getline(ls, x, '\t');) f.push_back(x);
        EXPECT_EQ(f.size(), 9u) << line;
        res.push_back(f);
    }
    return res;
}

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

class AlarmEndToEnd : public e2e::Harness {
protected:
    void Start(int modemVariant, int panelVariant = 0)
    {
        StartSim(e2e::Replace(kSim, "%DIR%", dir.Path()));
        site = Site(Port(1, dir / "ttyGSM", "Baud = 115200\n") + "[port.2]\nDevice = " + dir / "ttyALM" + "\nTimeout = 2000\n" + Port(3, dir / "ttyLCD"),
                    Device(601, 2561, 1, 1, "短信猫", "Variant = " + std::to_string(modemVariant) + "\n") +
                        Device(602, 2560, 2, 1, "语音报警器", "Param1 = 1\n") +
                        Device(603, 2816, 3, 1, "串口屏", "Variant = " + std::to_string(panelVariant) + "\n"),
                    "HistoryEvery = 0\n");  // DataUpd of these drivers writes to the history database when given one
    }
    std::string Ctl(const std::vector<std::string>& args)
    {
        std::vector<std::string> a = {"ctl", "-c", site};
        a.insert(a.end(), args.begin(), args.end());
        std::string out;
        EXPECT_EQ(0, Host(a, out)) << out;
        return out;
    }
    std::string site;
};

TEST_F(AlarmEndToEnd, SixtySevenChineseCharactersAreOneMessage)
{
    Start(0);
    const std::string text = Repeat("机房温度告警", 11) + "!";  // 67 characters
    std::string out = Ctl({"--sid", "601", "--cmd", "3", "--text", "13912345678;" + text});
    EXPECT_NE(out.find("DoFunc(cmd 3) = 1"), std::string::npos) << out << e2e::ReadFile(dir / "at.log");

    auto d = Decode(dir / "pdu.txt");
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0][0], "+8613800100500");
    EXPECT_EQ(d[0][1], "+8613912345678");
    EXPECT_EQ(d[0][2], "5M");
    EXPECT_EQ(d[0][3], "NoUDH");
    EXPECT_EQ(d[0][7], "Unicode_No_Compression");
    EXPECT_EQ(d[0][8], text);
    std::string pdu = e2e::ReadFile(dir / "pdu.txt");
    EXPECT_EQ(pdu.substr(44, 4), "0086") << "validity 00, 134 bytes of text";
    EXPECT_NE(e2e::ReadFile(dir / "at.log").find("AT+CSCS=\"GSM\";+CSCA?\n"), std::string::npos);

    // A poll stores the modem's row; the panel's lands in the same table but has no row there.
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_NE(out.find("cycle 1: 3 ok, 0 failed"), std::string::npos) << out;
    EXPECT_EQ("0|0|0", Str("select State||'|'||Signal||'|'||iSignal from tbAlmGsm where SID=601"));
    EXPECT_EQ(-1, Int("select State from tbAlmDGus where SID=603"));
}

TEST_F(AlarmEndToEnd, SixtyEightCharactersAreTwoLinkedMessagesWithTheSimCentre)
{
    Start(2);
    const std::string text = Repeat("温", 60) + "ABCDEFGH";  // 68 characters
    std::string out = Ctl({"--sid", "601", "--cmd", "3", "--text", "8613700000000;" + text});
    EXPECT_NE(out.find("DoFunc(cmd 3) = 1"), std::string::npos) << out << e2e::ReadFile(dir / "at.log");

    auto d = Decode(dir / "pdu.txt");
    ASSERT_EQ(d.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(d[i][0], "") << "Variant 2 leaves the centre to the SIM";
        EXPECT_EQ(d[i][1], "+8613700000000");
        EXPECT_EQ(d[i][2], "10M");
        EXPECT_EQ(d[i][3], "ConcatenatedMessages");
        EXPECT_EQ(d[i][4], d[0][4]) << "one reference";
        EXPECT_EQ(d[i][5], std::to_string(i + 1));
        EXPECT_EQ(d[i][6], "2");
    }
    EXPECT_EQ(d[0][8] + d[1][8], text);
    EXPECT_EQ(d[1][8], "H") << "67 characters in the first part";

    std::string show;
    ASSERT_EQ(0, e2e::Run({"/usr/bin/python3", SMS_DECODE, "--show", dir / "pdu.txt"}, show, std::chrono::seconds(30)));
    EXPECT_NE(show.find("to +8613700000000 via (SIM), validity 10M in 2 linked parts"), std::string::npos) << show;
}

TEST_F(AlarmEndToEnd, DiallerAndPanelFrames)
{
    Start(0, 1);
    EXPECT_NE(Ctl({"--sid", "602", "--cmd", "30"}).find("DoFunc(cmd 30) = 1"), std::string::npos);  // 0x1E status
    EXPECT_NE(Ctl({"--sid", "602", "--cmd", "50"}).find("DoFunc(cmd 50) = 2"), std::string::npos);  // 0x32: line busy
    EXPECT_NE(Ctl({"--sid", "602", "--cmd", "11"}).find("DoFunc(cmd 11) = 0"), std::string::npos);  // relay on
    EXPECT_NE(Ctl({"--sid", "602", "--cmd", "35", "--text", "AB"}).find("DoFunc(cmd 35) = 1"), std::string::npos);
    EXPECT_EQ(e2e::ReadFile(dir / "dialler.log"),
              "aa 00 00 02 02 55\naa 00 00 02 02 55\naa 00 02 32 01 01 32 55\naa 00 04 11 00 41 42 00 12 55\n");

    EXPECT_NE(Ctl({"--sid", "603", "--cmd", "3", "--len", "5"}).find("DoFunc(cmd 3) = 1"), std::string::npos);
    EXPECT_NE(Ctl({"--sid", "603", "--cmd", "1", "--ptr", "4096", "--len", "250"}).find("= 1"), std::string::npos);
    EXPECT_NE(Ctl({"--sid", "603", "--cmd", "2", "--bytes", "26 12 06 00 13 05 00"}).find("= 1"), std::string::npos);
    EXPECT_NE(Ctl({"--sid", "603", "--cmd", "4"}).find("DoFunc(cmd 4) = 0"), std::string::npos);
    std::string out;
    for (std::vector<std::string> bad : {std::vector<std::string>{"--bytes", "1"}, {"--bytes", "zz"}, {"--ptr", "-1"},
                                         {"--len", "x"}, {"--text", "a", "--bytes", "00"}}) {
        std::vector<std::string> a = {"ctl", "-c", site, "--sid", "603", "--cmd", "3"};
        a.insert(a.end(), bad.begin(), bad.end());
        EXPECT_EQ(2, Host(a, out)) << bad[0] << " " << out;
    }
    EXPECT_EQ(e2e::ReadFile(dir / "panel.log"),
              "5a a5 04 80 03 00 05\n5a a5 05 82 10 00 00 fa\n5a a5 0a 80 1f 5a 26 12 06 00 13 05 00\n");
}

}  // namespace
