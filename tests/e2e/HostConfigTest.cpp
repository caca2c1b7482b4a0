// The site file: what a good one yields, and that every kind of mistake is reported with
// the file, the section and the key.
#include <gtest/gtest.h>

#include "host/Charset.h"
#include "host/HostConfig.h"
#include "tests/e2e/TestUtil.h"

using host::HostCfg;
using host::LoadHostConfig;

namespace {

// What the other host tests do not set: serial settings, an IPv6 address, a hex type code,
// lower-case keys, the text fields and the defaults.
const char kGood[] =
    "[host]\nLive = data/live.db\nHistory = /var/tmp/hist.db\nRoot = root\n"
    "[port.1]\nDevice = /dev/ttyUSB0\nBaud = 19200\nParity = e\nStopBits = 2\nDataBits = 7\nTimeout = 300\n"
    "[port.2]\nDevice = tcp://[::1]:1502/\nRetry = 50\n"
    "[device.net]\nsid = 102\ntype = 0x0B01\naddrtext = 127.0.0.1:80\nConnText = snmp127.0.0.1:161:public::\n"
    "Param1 = -5\nParam2 = 7\nDetailKey = 2\nDetailOn = 1\nvref.3 = -2\nVref.1 = 1\n";

class SiteFile : public ::testing::Test {
protected:
    std::string Write(const std::string& text)
    {
        std::string p = dir / "site.ini";
        e2e::WriteFile(p, text);
        return p;
    }
    // Loads text that must be refused; returns the message.
    std::string Refused(const std::string& text)
    {
        HostCfg cfg;
        std::string err;
        std::string p = Write(text);
        EXPECT_FALSE(LoadHostConfig(p, cfg, err)) << text;
        EXPECT_EQ(0u, err.find(p + ": ")) << err;
        return err;
    }
    e2e::TempDir dir;
};

TEST_F(SiteFile, GoodFileGivesPortsDevicesAndResolvedPaths)
{
    HostCfg cfg;
    std::string err;
    ASSERT_TRUE(LoadHostConfig(Write(kGood), cfg, err)) << err;
    EXPECT_EQ(dir / "data/live.db", cfg.live);
    EXPECT_EQ("/var/tmp/hist.db", cfg.history);
    EXPECT_EQ(dir / "root", cfg.root);
    ASSERT_EQ(2u, cfg.ports.size());
    EXPECT_EQ("/dev/ttyUSB0 19200 7E2/300", cfg.ports[0].Text() + "/" + std::to_string(cfg.ports[0].timeoutMs));
    EXPECT_EQ("tcp://::1:1502/50", cfg.ports[1].Text() + "/" + std::to_string(cfg.ports[1].retryMs));
    ASSERT_NE(nullptr, cfg.Device(102));
    const host::DeviceCfg& d = *cfg.Device(102);
    // Defaults: no port, address 1, the section as the name.
    EXPECT_EQ("2817 0 1 0 2/1 -5/7 [device.net|device.net|127.0.0.1:80|snmp127.0.0.1:161:public::]",
              std::to_string(d.type) + " " + std::to_string(d.port) + " " + std::to_string(d.addr) + " " +
                  std::to_string(d.waitMs) + " " + std::to_string(d.detailKey) + "/" + std::to_string(d.detailOn) +
                  " " + std::to_string(d.param1) + "/" + std::to_string(d.param2) + " [" + d.name + "|" + d.nameGbk +
                  "|" + d.addrText + "|" + d.connText + "]");
    ASSERT_EQ(2u, d.vrefs.size());
    EXPECT_EQ(-2, d.vrefs[0].first == 3 ? d.vrefs[0].second : d.vrefs[1].second);
    EXPECT_EQ(1, d.vrefs[0].first == 1 ? d.vrefs[0].second : d.vrefs[1].second);
}

TEST_F(SiteFile, MistakesNameFileSectionAndKey)
{
    const std::string host = "[host]\nLive = l.db\n";
    const std::string port = "[port.1]\nDevice = /dev/ttyS1\n";
    const std::string dev = "[device.a]\nSID = 1\nType = 1280\nPort = 1\n";
    struct {
        std::string text;
        std::string expect;
    } cases[] = {
        {port + dev, "[host]: missing section"},
        {"[host]\nInterval = 5\n", "[host] Live: missing"},
        {host + "Intervall = 5\n", "[host] Intervall: unknown key"},
        {host + "History = l.db\n", "[host] History: must be another file"},
        {host + port + "Baud = 12345\n" + dev, "[port.1] Baud: 12345 is not a supported rate"},
        {host + port + "Parity = X\n" + dev, "[port.1] Parity: 'X' is not N, E or O"},
        {host + port + "DataBits = 9\n" + dev, "[port.1] DataBits: '9' is not an integer in 5..8"},
        {host + "[port.1]\nBaud = 9600\n", "[port.1] Device: missing"},
        {host + "[port.1]\nDevice = tcp://127.0.0.1\n", "[port.1] Device: 'tcp://127.0.0.1' is not tcp://host:port"},
        {host + "[port.1]\nDevice = tcp://h:70000\n", "[port.1] Device:"},
        {host + "[port.1]\nDevice = tcp://:502\n", "[port.1] Device:"},
        {host + "[port.1]\nDevice = tcp://h:0\n", "[port.1] Device:"},
        {host + "[port.1]\nDevice = tcp://h:502\nBaud = 9600\n", "[port.1] Baud: not used by a tcp:// port"},
        {host + "[port.x]\nDevice = /dev/ttyS1\n", "[port.x]: port sections are [port.N]"},
        {host + "[device.a]\nType = 1280\n", "[device.a] SID: missing"},
        {host + "[device.a]\nSID = 1\nType = 1280\nPort = 3\n", "[device.a] Port: no section [port.3]"},
        {host + port + dev + "[device.b]\nSID = 1\nType = 1280\n", "[device.b] SID: 1 is used by another device"},
        {host + "[device.a]\nSID = 1\nType = 1280\nName = " + std::string(40, 'x') + "机房温湿度机房温湿度机房\n",
         "[device.a] Name: longer than 63 bytes in GBK"},
        {host + "[device.a]\nSID = 1\nType = 1280\nName = \xff\xfe\n", "[device.a] Name: '"},
        {host + "[device.a]\nSID = 1\nType = 1280\nConnText = " + std::string(130, 'c') + "\n",
         "[device.a] ConnText: longer than 127 bytes"},
        {host + "[sensor.a]\nSID = 1\n", "[sensor.a]: unknown section"},
        {host + "[device.a]\nSID = 1\nType = 3335\nVref.x = 1\n", "[device.a] Vref.x: expected Vref.N"},
        {host + "[device.a]\nSID = 1\nType = 3335\nVref.0 = 1\n", "[device.a] Vref.0: expected Vref.N"},
        {host + "[device.a]\nSID = 1\nType = 3335\nVref.1 = on\n", "[device.a] Vref.1:"},
    };
    for (const auto& c : cases) {
        std::string err = Refused(c.text);
        EXPECT_NE(std::string::npos, err.find(c.expect)) << "expected '" << c.expect << "' in: " << err;
    }
}

TEST(Charset, RoundTripAndDisplayOfBadBytes)
{
    std::string gbk, back;
    ASSERT_TRUE(host::Utf8ToGbk("温度:23.5 (正常)", gbk));
    EXPECT_EQ("\xCE\xC2\xB6\xC8:23.5 (\xD5\xFD\xB3\xA3)", gbk);
    ASSERT_TRUE(host::GbkToUtf8(gbk, back));
    EXPECT_EQ("温度:23.5 (正常)", back);
    EXPECT_EQ("ab\\xffcd", host::GbkForTerminal("ab\xff" "cd"));
    EXPECT_EQ("温\\xce", host::GbkForTerminal("\xCE\xC2\xCE"));  // a cut-off last character
}

}  // namespace
