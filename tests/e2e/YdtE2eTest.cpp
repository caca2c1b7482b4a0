// qvsm-host with libqvsm.so polling a rectifier over YD/T 1363 and a distribution unit with a
// byte protocol of its own, both simulated by qvsm-sim on pseudo-terminals and both described
// by the example definitions shipped in examples/definitions.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/TestUtil.h"

using e2e::Gbk;

namespace {

// Register values are constant (a tick of ten minutes) and chosen so that the floats are
// exact: 53.5 V, 22.5 A, 38.0 degC, 2.5 kW.
const char kSim[] =
    "[sim]\ntick = 600000\n"
    "[bus.psu]\nkind = ydt\npty = %DIR%/ttyPSU\n"
    "[bus.pdu]\nkind = cmd\npty = %DIR%/ttyPDU\n"
    "cmd.request = 7E adr cmd dlen dat sum 0D\ncmd.reply = 7E adr cmd dlen dat sum 0D\ncmd.chk0 = 1\n"
    "[slave.rect]\nbus = psu\naddr = 1\nydt.ver = 21\nydt.cid1 = 41\n%RECTFAULT%"
    "hold.0 = 535\nhold.1 = 225\nhold.2 = 380\nhold.3 = 0\nhold.4 = 0\nhold.5 = 0\nhold.6 = 2\n"
    "ydt.41 = 11 {0:f10} {1:f10} 01 {2:f10}\n"
    "ydt.43 = 11 {3:b} {4:b}\n"
    "ydt.44 = 11 {5:b} 20 {6:b}\n"
    "ydt.ctl.2F01 = 3=1\nydt.ctl.2001 = 3=0\n"
    "[slave.pdu]\nbus = pdu\naddr = 3\n%PDUFAULT%"
    "hold.0 = 2205\nhold.1 = 1250\nhold.2 = 250\nhold.3 = 1\n"
    "cmd.42 = {0} {1} 0000 {2:f100}\ncmd.43 = {3:b}\ncmd.set.45 = 3\n";

class YdtEndToEnd : public e2e::Harness {
protected:
    void Start(const std::string& pduFault = "", int rectifierAddr = 1, const std::string& rectFault = "")
    {
        InstallDefs({"SM5120.def", "SM5632.def"});
        StartSim(e2e::Replace(e2e::Replace(e2e::Replace(kSim, "%DIR%", dir.Path()), "%PDUFAULT%", pduFault),
                              "%RECTFAULT%", rectFault));
        site = Site(Port(1, dir / "ttyPSU") + Port(2, dir / "ttyPDU"),
                    Device(501, 5120, 1, rectifierAddr, "整流柜") + Device(502, 5632, 2, 3, "配电柜"));
    }
    std::string site;
};

TEST_F(YdtEndToEnd, BothExampleDevicesArePolledAndControlled)
{
    Start();
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2"}, out)) << out << e2e::ReadFile(dir / "sim.log");
    EXPECT_NE(std::string::npos, out.find("cycle 2: 2 ok, 0 failed")) << out;

    // The rectifier: floats in tenths, the module count skipped, the AC input not fitted.
    EXPECT_EQ("V41H01=535 V41H02=225 V41H03=- V41H04=380 V43H01=0 V44H02=NULL V44H03=2 V44H03-0=0 V44H03-1=1",
              Readings("tbYdt1363Dat", 501,
                       {"V41H01", "V41H02", "V41H03", "V41H04", "V43H01", "V44H02", "V44H03", "V44H03-0", "V44H03-1"}));
    EXPECT_EQ(16, Int("select count(*) from tbYdt1363Dat where SID=501 and DID=0"));
    EXPECT_EQ(Gbk("输出53.5V (正常) 22.5A (正常) 温度38.0℃ (正常) 模块正常"), Brief(501));
    EXPECT_EQ(0, Int("select State from tbYdt1363 where SID=501"));

    // The distribution unit: words, a skipped word, a float in hundredths, bits of a byte.
    EXPECT_EQ("V42H01=2205 V42H02=1250 V42H03=- V42H04=250 V43H01-0=1 V43H01-1=0",
              Readings("tbNormalDat", 502, {"V42H01", "V42H02", "V42H03", "V42H04", "V43H01-0", "V43H01-1"}));
    EXPECT_EQ(12, Int("select count(*) from tbNormalDat where SID=502 and DID=0"));
    EXPECT_EQ(Gbk("电压220.5V 电流12.5A 功率2.5kW 合闸1 脱扣0"), Brief(502));
    EXPECT_EQ(0, Int("select State from tbNormal where SID=502"));

    // show: the readings under the point names of the definitions, scaled.
    ASSERT_EQ(0, Host({"show", "-c", site}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("  输出电压 53.5, 输出电流 22.5, 模块温度 38.0, ")) << out;
    EXPECT_NE(std::string::npos, out.find("  电压 220.5, 电流 12.50, 有功功率 2.50, 合闸 1, 脱扣 0\n")) << out;

    // Controls: the rectifier's module off, the distribution unit's switch open.
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "501", "--cmd", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 1) = 1")) << out;
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "502", "--cmd", "2"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 2) = 1")) << out;

    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_EQ("V43H01=1", Readings("tbYdt1363Dat", 501, {"V43H01"}));
    // The host judges point 4 (module off, alarm at 1); the brief names it.
    EXPECT_EQ(Gbk("输出53.5V (正常) 22.5A (正常) 温度38.0℃ (正常) 模块告警; 告警:模块关机"), Brief(501));
    EXPECT_EQ("V43H01-0=0", Readings("tbNormalDat", 502, {"V43H01-0"}));
    EXPECT_EQ(Gbk("电压220.5V 电流12.5A 功率2.5kW 合闸0 脱扣0"), Brief(502));
}

TEST_F(YdtEndToEnd, UnansweredCommandsDoNotFailARectifierButASilentUnitFails)
{
    // Address 9 has no rectifier: every command goes unanswered, which the driver does not
    // count as a failed poll; there are simply no readings. The silent distribution unit fails.
    Start("fault = silent\n", 9);
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("cycle 1: 1 ok, 1 failed (502)")) << out;
    EXPECT_EQ("", Readings("tbYdt1363Dat", 501));
    EXPECT_EQ(0, Int("select State from tbYdt1363 where SID=501"));
    EXPECT_EQ(2, Int("select State from tbNormal where SID=502"));
    EXPECT_EQ(2, Int("select St from tbSMBrief where SID=502"));
    EXPECT_EQ("", Readings("tbNormalDat", 502));
}

TEST_F(YdtEndToEnd, ARectifierAnsweringWithAnotherAdrStoresNothing)
{
    // Its replies carry ADR 02: none is taken for the device at 01 (the version query gets no
    // answer either, the stored version is used).
    Start("", 1, "fault = wrongaddr\n");
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_EQ("", Readings("tbYdt1363Dat", 501));
    EXPECT_EQ("V42H01=2205", Readings("tbNormalDat", 502, {"V42H01"}));
}

}  // namespace
