// A slow serial device server: replies trickle in byte by byte. With the host's short default
// wait a reply arrives in pieces, which the module's reply reader puts together; a Gap set for
// the port in the site file hands it over whole.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/TestUtil.h"

using e2e::Gbk;

namespace {

class SlowLine : public e2e::Harness {
protected:
    void SetUp() override { InstallDefs({"SM4609.def"}); }
};

TEST_F(SlowLine, SlowDeviceServerWorksWithTheDefaultAndALargerGap)
{
    // 10 ms between the bytes of a reply, over Modbus RTU on TCP (Wait bit 0x10000: RTU frames
    // on a network port) and over Modbus TCP.
    auto where = StartSim("[sim]\ntick = 600000\n"
                          "[bus.rtu]\nkind = rtu\nlisten = 127.0.0.1:0\npace = 10\n"
                          "[bus.net]\nkind = mbtcp\nlisten = 127.0.0.1:0\npace = 10\n"
                          "[slave.a]\nbus = rtu\naddr = 1\ninput.0 = -50\ninput.1 = 456\n"
                          "[slave.b]\nbus = net\naddr = 1\ninput.0 = 215\ninput.1 = 500\n");
    struct {
        const char* gap;
        const char* cycle;
        const char* rtu;
        const char* net;
    } cases[] = {
        {"", "cycle 1: 2 ok, 0 failed", "V30001=-50 V30002=456", "V30001=215 V30002=500"},
        {"Gap = 40\n", "cycle 1: 2 ok, 0 failed", "V30001=-50 V30002=456", "V30001=215 V30002=500"},
    };
    for (const auto& c : cases) {
        std::string site = Site(Port(1, "tcp://" + where["rtu"], c.gap) + Port(2, "tcp://" + where["net"], c.gap),
                                Device(501, 4609, 1, 1, "慢变送器", "Wait = 65536\n") + Device(502, 4609, 2, 1, "网络变送器"));
        std::string out;
        ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
        EXPECT_NE(std::string::npos, out.find(c.cycle)) << c.gap << out;
        EXPECT_EQ(c.rtu, Readings("tbModbusDat", 501)) << c.gap;
        EXPECT_EQ(c.net, Readings("tbModbusDat", 502)) << c.gap;
    }
    EXPECT_EQ(Gbk("温度21.5℃ (正常) 湿度50.0%RH (正常)"), Brief(502));
}

}  // namespace
