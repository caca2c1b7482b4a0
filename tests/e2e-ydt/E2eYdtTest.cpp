// qvsm-host with libqvsm.so polling a rectifier over YD/T 1363 and a distribution unit with a
// byte protocol of its own, both simulated by qvsm-sim on pseudo-terminals and both described
// by the example definitions shipped in examples/definitions.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/SqliteDb.h"
#include "tests/e2e/TestUtil.h"

using namespace std::chrono;
using e2e::Gbk;

namespace {

std::string Replace(std::string s, const std::string& what, const std::string& with)
{
    for (size_t p; (p = s.find(what)) != std::string::npos;) s.replace(p, what.size(), with);
    return s;
}

// Register values are constant (a tick of ten minutes) and chosen so that the floats are
// exact: 53.5 V, 22.5 A, 38.0 degC, 2.5 kW.
const char kSim[] =
    "[sim]\ntick = 600000\n"
    "[bus.psu]\nkind = ydt\npty = %DIR%/ttyPSU\n"
    "[bus.pdu]\nkind = cmd\npty = %DIR%/ttyPDU\n"
    "cmd.request = 7E adr cmd dlen dat sum 0D\ncmd.reply = 7E adr cmd dlen dat sum 0D\ncmd.chk0 = 1\n"
    "[slave.rect]\nbus = psu\naddr = 1\nydt.ver = 21\nydt.cid1 = 41\n"
    "hold.0 = 535\nhold.1 = 225\nhold.2 = 380\nhold.3 = 0\nhold.4 = 0\nhold.5 = 0\nhold.6 = 2\n"
    "ydt.41 = 11 {0:f10} {1:f10} 01 {2:f10}\n"
    "ydt.43 = 11 {3:b} {4:b}\n"
    "ydt.44 = 11 {5:b} 20 {6:b}\n"
    "ydt.ctl.2F01 = 3=1\nydt.ctl.2001 = 3=0\n"
    "[slave.pdu]\nbus = pdu\naddr = 3\n%PDUFAULT%"
    "hold.0 = 2205\nhold.1 = 1250\nhold.2 = 250\nhold.3 = 1\n"
    "cmd.42 = {0} {1} 0000 {2:f100}\ncmd.43 = {3:b}\ncmd.set.45 = 3\n";

class YdtEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The definitions go where the module looks for them: Root/NandFlash/SM.
        for (const char* d : {"/root", "/root/NandFlash", "/root/NandFlash/SM"}) mkdir((dir.Path() + d).c_str(), 0755);
        for (const char* f : {"SM5120.def", "SM5632.def"})
            e2e::WriteFile(dir / ("root/NandFlash/SM/" + std::string(f)),
                           e2e::ReadFile(std::string(EXAMPLES_DIR) + "/" + f));
        site = dir / "site.ini";
        e2e::WriteFile(site, Replace("[host]\nLive = live.db\nHistory = hist.db\nRoot = root\nInterval = 0\n"
                                     "[port.1]\nDevice = %DIR%/ttyPSU\nTimeout = 300\n"
                                     "[port.2]\nDevice = %DIR%/ttyPDU\nTimeout = 300\n"
                                     "[device.psu]\nSID = 501\nType = 5120\nPort = 1\nAddr = 1\nName = 整流柜\n"
                                     "[device.pdu]\nSID = 502\nType = 5632\nPort = 2\nAddr = 3\nName = 配电柜\n",
                                     "%DIR%", dir.Path()));
    }

    void StartSim(const std::string& pduFault = "")
    {
        std::string ini = dir / "sim.ini", ready = dir / "sim.ready";
        e2e::WriteFile(ini, Replace(Replace(kSim, "%DIR%", dir.Path()), "%PDUFAULT%", pduFault));
        ASSERT_TRUE(sim.Start({SIM_BIN, ini, "--ready", ready}, dir / "sim.log"));
        bool up = e2e::WaitFor([&] { return access(ready.c_str(), R_OK) == 0 || !sim.Running(); }, seconds(10));
        ASSERT_TRUE(up && sim.Running()) << e2e::ReadFile(dir / "sim.log");
    }

    int Host(const std::vector<std::string>& args, std::string& out)
    {
        std::vector<std::string> argv = {HOST_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.insert(argv.end(), {"--module", MODULE_SO});
        return e2e::Run(argv, out, seconds(60));
    }

    int Int(const std::string& db, const std::string& sql)
    {
        CSqliteDb d;
        if (!d.Open(dir / db)) return -999;
        return d.QueryInt(sql.c_str());
    }
    std::string Str(const std::string& db, const std::string& sql)
    {
        CSqliteDb d;
        if (!d.Open(dir / db)) return "<no db>";
        return d.QueryStr(sql.c_str());
    }
    // Current reading of a device, -1000 for null, -999 when there is no such row.
    int Reading(const char* table, int sid, const std::string& fld)
    {
        std::string where = std::string(" from ") + table + " where DID=0 and SID=" + std::to_string(sid) + " and Fld='" +
                            fld + "'";
        if (Int("live.db", "select count(*)" + where) != 1) return -999;
        return Int("live.db", "select ifnull(Val,-1000)" + where);
    }

    e2e::TempDir dir;
    e2e::Proc sim;
    std::string site;
};

TEST_F(YdtEndToEnd, BothExampleDevicesArePolledAndControlled)
{
    StartSim();
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2"}, out)) << out << e2e::ReadFile(dir / "sim.log");
    EXPECT_NE(std::string::npos, out.find("cycle 2: 2 ok, 0 failed")) << out;

    // The rectifier: floats in tenths, the module count skipped, the AC input not fitted.
    EXPECT_EQ(535, Reading("tbYdt1363Dat", 501, "V41H01"));
    EXPECT_EQ(225, Reading("tbYdt1363Dat", 501, "V41H02"));
    EXPECT_EQ(-999, Reading("tbYdt1363Dat", 501, "V41H03"));
    EXPECT_EQ(380, Reading("tbYdt1363Dat", 501, "V41H04"));
    EXPECT_EQ(0, Reading("tbYdt1363Dat", 501, "V43H01"));
    EXPECT_EQ(-1000, Reading("tbYdt1363Dat", 501, "V44H02"));
    EXPECT_EQ(2, Reading("tbYdt1363Dat", 501, "V44H03"));
    EXPECT_EQ(0, Reading("tbYdt1363Dat", 501, "V44H03-0"));
    EXPECT_EQ(1, Reading("tbYdt1363Dat", 501, "V44H03-1"));
    EXPECT_EQ(16, Int("live.db", "select count(*) from tbYdt1363Dat where SID=501 and DID=0"));
    EXPECT_EQ(Gbk("输出53.5V (正常) 22.5A (正常) 温度38.0℃ (正常) 模块正常"),
              Str("live.db", "select Brief from tbSMBrief where SID=501"));
    EXPECT_EQ(0, Int("live.db", "select State from tbYdt1363 where SID=501"));
    EXPECT_EQ(Gbk("QV-RECT41/整流模块"), Str("live.db", "select Name||'/'||Iface from tbSMType where Type=5120"));
    EXPECT_EQ(7, Int("live.db", "select count(*) from tbSMDef where Type=5120"));

    // The distribution unit: words, a skipped word, a float in hundredths, bits of a byte.
    EXPECT_EQ(2205, Reading("tbNormalDat", 502, "V42H01"));
    EXPECT_EQ(1250, Reading("tbNormalDat", 502, "V42H02"));
    EXPECT_EQ(-999, Reading("tbNormalDat", 502, "V42H03"));
    EXPECT_EQ(250, Reading("tbNormalDat", 502, "V42H04"));
    EXPECT_EQ(1, Reading("tbNormalDat", 502, "V43H01-0"));
    EXPECT_EQ(0, Reading("tbNormalDat", 502, "V43H01-1"));
    EXPECT_EQ(12, Int("live.db", "select count(*) from tbNormalDat where SID=502 and DID=0"));
    EXPECT_EQ(Gbk("电压220.5V 电流12.5A 功率2.5kW 合闸1 脱扣0"), Str("live.db", "select Brief from tbSMBrief where SID=502"));
    EXPECT_EQ(0, Int("live.db", "select State from tbNormal where SID=502"));

    // History: one row per device and cycle, with its readings.
    EXPECT_EQ(2, Int("hist.db", "select count(*) from tbYdt1363 where SID=501 and State=0"));
    EXPECT_EQ(32, Int("hist.db", "select count(*) from tbYdt1363Dat where SID=501 and DID>0"));
    EXPECT_EQ(2, Int("hist.db", "select count(*) from tbNormal where SID=502 and Port=2 and Addr=3"));
    EXPECT_EQ(24, Int("hist.db", "select count(*) from tbNormalDat where SID=502 and DID>0"));

    // Controls: the rectifier's module off, the distribution unit's switch open.
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "501", "--cmd", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 1) = 1")) << out;
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "502", "--cmd", "2"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 2) = 1")) << out;
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "502", "--cmd", "9"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 9) = 0")) << out;

    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_EQ(1, Reading("tbYdt1363Dat", 501, "V43H01"));
    // The host judges point 4 (module off, alarm at 1); the brief names it.
    EXPECT_EQ(Gbk("输出53.5V (正常) 22.5A (正常) 温度38.0℃ (正常) 模块告警; 告警:模块关机"),
              Str("live.db", "select Brief from tbSMBrief where SID=501"));
    EXPECT_EQ(0, Reading("tbNormalDat", 502, "V43H01-0"));
    EXPECT_EQ(Gbk("电压220.5V 电流12.5A 功率2.5kW 合闸0 脱扣0"), Str("live.db", "select Brief from tbSMBrief where SID=502"));
}

TEST_F(YdtEndToEnd, ASilentDeviceOnlyFailsTheCommandProtocol)
{
    StartSim("fault = silent\n");
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("1 ok, 1 failed (502)")) << out;
    EXPECT_EQ(2, Int("live.db", "select State from tbNormal where SID=502"));
    EXPECT_EQ(2, Int("live.db", "select St from tbSMBrief where SID=502"));
    EXPECT_EQ(0, Int("live.db", "select count(*) from tbNormalDat where SID=502"));
    EXPECT_EQ(535, Reading("tbYdt1363Dat", 501, "V41H01"));
}

TEST_F(YdtEndToEnd, ARectifierThatDoesNotAnswerStillCompletesItsPoll)
{
    StartSim();
    // Address 9 has no rectifier: every command goes unanswered, which the driver does not
    // count as a failed poll; there are simply no readings.
    e2e::WriteFile(site, Replace(e2e::ReadFile(site), "Addr = 1\n", "Addr = 9\n"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("2 ok, 0 failed")) << out;
    EXPECT_EQ(0, Int("live.db", "select count(*) from tbYdt1363Dat where SID=501"));
    EXPECT_EQ(0, Int("live.db", "select State from tbYdt1363 where SID=501"));
}

}  // namespace
