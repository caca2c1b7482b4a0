// The site file: what a good one yields, and that every kind of mistake is reported with
// the file, the section and the key.
#include <gtest/gtest.h>

#include "host/Charset.h"
#include "host/HostConfig.h"
#include "tests/e2e/TestUtil.h"

using host::HostCfg;
using host::LoadHostConfig;

namespace {

const char kGood[] =
    "[host]\n"
    "Live = data/live.db\n"
    "History = /var/tmp/hist.db\n"
    "Root = root\n"
    "Interval = 250\n"
    "HistoryEvery = 3\n"
    "\n"
    "[port.1]\n"
    "Device = /dev/ttyUSB0\n"
    "Baud = 19200\n"
    "Parity = e\n"
    "StopBits = 2\n"
    "DataBits = 7\n"
    "Timeout = 300\n"
    "\n"
    "[port.2]\n"
    "Device = tcp://127.0.0.1:1502\n"
    "Retry = 50\n"
    "\n"
    "[device.th1]\n"
    "SID = 101\n"
    "Type = 1280\n"
    "Port = 1\n"
    "Addr = 3\n"
    "Variant = 4\n"
    "Name = 机房温湿度\n"
    "Wait = 150\n"
    "\n"
    "[device.net]\n"
    "sid = 102\n"
    "type = 0x0B01\n"
    "addrtext = 127.0.0.1:80\n"
    "ConnText = snmp127.0.0.1:161:public::\n"
    "Param1 = -5\n"
    "Param2 = 7\n"
    "DetailKey = 2\n"
    "DetailOn = 1\n";

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
    EXPECT_EQ(250, cfg.intervalMs);
    EXPECT_EQ(3, cfg.historyEvery);

    ASSERT_EQ(2u, cfg.ports.size());
    const host::PortCfg* s = cfg.Port(1);
    ASSERT_NE(nullptr, s);
    EXPECT_FALSE(s->tcp);
    EXPECT_EQ("/dev/ttyUSB0", s->device);
    EXPECT_EQ(19200, s->baud);
    EXPECT_EQ('E', s->parity);
    EXPECT_EQ(2, s->stopBits);
    EXPECT_EQ(7, s->dataBits);
    EXPECT_EQ(300, s->timeoutMs);
    EXPECT_EQ("/dev/ttyUSB0 19200 7E2", s->Text());
    const host::PortCfg* t = cfg.Port(2);
    ASSERT_NE(nullptr, t);
    EXPECT_TRUE(t->tcp);
    EXPECT_EQ("127.0.0.1", t->host);
    EXPECT_EQ(1502, t->tcpPort);
    EXPECT_EQ(50, t->retryMs);

    ASSERT_EQ(2u, cfg.devices.size());
    const host::DeviceCfg* a = cfg.Device(101);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(1280, a->type);
    EXPECT_EQ(1, a->port);
    EXPECT_EQ(3, a->addr);
    EXPECT_EQ(4, a->variant);
    EXPECT_EQ(150, a->waitMs);
    EXPECT_EQ("机房温湿度", a->name);
    EXPECT_EQ("\xBB\xFA\xB7\xBF\xCE\xC2\xCA\xAA\xB6\xC8", a->nameGbk);  // the name in GBK
    const host::DeviceCfg* b = cfg.Device(102);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(0x0B01, b->type);
    EXPECT_EQ(0, b->port);
    EXPECT_EQ(1, b->addr);  // default
    EXPECT_EQ("device.net", b->name);  // without Name: the section
    EXPECT_EQ("device.net", b->nameGbk);
    EXPECT_EQ("127.0.0.1:80", b->addrText);
    EXPECT_EQ("snmp127.0.0.1:161:public::", b->connText);
    EXPECT_EQ(-5, b->param1);
    EXPECT_EQ(7, b->param2);
    EXPECT_EQ(2, b->detailKey);
    EXPECT_EQ(1, b->detailOn);
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
        {host + "Interval = soon\n", "[host] Interval: 'soon' is not an integer"},
        {host + "History = l.db\n", "[host] History: must be another file"},
        {host + port + "Baud = 12345\n" + dev, "[port.1] Baud: 12345 is not a supported rate"},
        {host + port + "Parity = X\n" + dev, "[port.1] Parity: 'X' is not N, E or O"},
        {host + port + "DataBits = 9\n" + dev, "[port.1] DataBits: '9' is not an integer in 5..8"},
        {host + "[port.1]\nBaud = 9600\n", "[port.1] Device: missing"},
        {host + "[port.1]\nDevice = tcp://127.0.0.1\n", "[port.1] Device: 'tcp://127.0.0.1' is not tcp://host:port"},
        {host + "[port.1]\nDevice = tcp://h:70000\n", "[port.1] Device:"},
        {host + "[port.1]\nDevice = tcp://h:502\nBaud = 9600\n", "[port.1] Baud: not used by a tcp:// port"},
        {host + "[port.x]\nDevice = /dev/ttyS1\n", "[port.x]: port sections are [port.N]"},
        {host + "[device.a]\nType = 1280\n", "[device.a] SID: missing"},
        {host + "[device.a]\nSID = 1\n", "[device.a] Type: missing"},
        {host + port + "[device.a]\nSID = 1\nType = 1280\nAddr = one\n", "[device.a] Addr: 'one' is not an integer"},
        {host + "[device.a]\nSID = 1\nType = 1280\nPort = 3\n", "[device.a] Port: no section [port.3]"},
        {host + port + dev + "[device.b]\nSID = 1\nType = 1280\n", "[device.b] SID: 1 is used by another device"},
        {host + port + dev + "Adress = 2\n", "[device.a] Adress: unknown key"},
        {host + "[device.a]\nSID = 1\nType = 1280\nName = " + std::string(40, 'x') + "机房温湿度机房温湿度机房\n",
         "[device.a] Name: longer than 63 bytes in GBK"},
        {host + "[device.a]\nSID = 1\nType = 1280\nName = \xff\xfe\n", "[device.a] Name: '"},
        {host + "[device.a]\nSID = 1\nType = 1280\nConnText = " + std::string(130, 'c') + "\n",
         "[device.a] ConnText: longer than 127 bytes"},
        {host + "[sensor.a]\nSID = 1\n", "[sensor.a]: unknown section"},
    };
    for (const auto& c : cases) {
        std::string err = Refused(c.text);
        EXPECT_NE(std::string::npos, err.find(c.expect)) << "expected '" << c.expect << "' in: " << err;
    }
}

TEST_F(SiteFile, MissingFileIsReported)
{
    HostCfg cfg;
    std::string err;
    EXPECT_FALSE(LoadHostConfig(dir / "none.ini", cfg, err));
    EXPECT_NE(std::string::npos, err.find(dir / "none.ini")) << err;
}

TEST(TcpUrl, Forms)
{
    std::string h;
    int p = 0;
    EXPECT_TRUE(host::ParseTcpUrl("tcp://10.0.0.5:4001", h, p));
    EXPECT_EQ("10.0.0.5", h);
    EXPECT_EQ(4001, p);
    EXPECT_TRUE(host::ParseTcpUrl("tcp://[::1]:502/", h, p));
    EXPECT_EQ("::1", h);
    EXPECT_EQ(502, p);
    EXPECT_FALSE(host::ParseTcpUrl("tcp://:502", h, p));
    EXPECT_FALSE(host::ParseTcpUrl("tcp://host:0", h, p));
    EXPECT_FALSE(host::ParseTcpUrl("udp://host:5", h, p));
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
