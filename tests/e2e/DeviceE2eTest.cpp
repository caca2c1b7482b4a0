// qvsm-host with libqvsm.so against qvsm-sim: the board input stream, a W70XX I/O module with
// relay control, the i.MX6 analogue inputs, a door controller with access records, and
// reachability of loopback TCP ports and of 127.0.0.1.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/e2e/TestUtil.h"

using e2e::Gbk;

namespace {

// A loopback TCP port: listening (the socket stays open until the test ends) or closed.
class LoopPort {
public:
    explicit LoopPort(bool listening)
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        if (listening) {
            listen(m_fd, 8);
        } else {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~LoopPort()
    {
        if (m_fd >= 0) close(m_fd);
    }
    int port = 0;

private:
    int m_fd = -1;
};

class DeviceEndToEnd : public e2e::Harness {
protected:
    // "v1|v2|..." of columns of a device's tbDio row.
    std::string Dio(int sid, const std::string& cols)
    {
        std::string expr;
        for (size_t at = 0; at <= cols.size();) {
            size_t comma = cols.find(',', at);
            if (comma == std::string::npos) comma = cols.size();
            expr += (expr.empty() ? "" : "||'|'||") + cols.substr(at, comma - at);
            at = comma + 1;
        }
        return Str("select " + expr + " from tbDio where SID=" + std::to_string(sid));
    }
};

TEST_F(DeviceEndToEnd, IoModulesBoardInputsAndAnalogueInputs)
{
    StartSim("[sim]\ntick = 600000\n"
             "[bus.di]\nkind = dio\npty = " + (dir / "ttyDI") + "\ndio.every = 100\n"
             "[slave.di]\nbus = di\naddr = 1\nhold.0 = 254\nhold.1 = 14\n"
             "[bus.io]\nkind = rtu\npty = " + (dir / "ttyIO") + "\n"
             "[slave.w7]\nbus = io\naddr = 2\ndiscrete.0 = 1\ndiscrete.1 = 0\ndiscrete.2 = 1\ndiscrete.7 = 0\n"
             "coil.0 = 0\ncoil.3 = 0\ncoil.7 = 1\n");
    std::filesystem::create_directories(dir / "root/sys/bus/iio/devices/iio:device0");
    e2e::WriteFile(dir / "root/sys/bus/iio/devices/iio:device0/in_voltage5_raw", "2048\n");
    e2e::WriteFile(dir / "root/sys/bus/iio/devices/iio:device0/in_voltage9_raw", "4095\n");
    std::string site = Site(Port(1, dir / "ttyDI") + Port(2, dir / "ttyIO"),
                            Device(601, 2304, 1, 1, "门磁") + Device(602, 2308, 2, 2, "W7", "Variant = 2\n") +
                                Device(603, 2320, 0, 0, "AI", "Variant = 1\n"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2"}, out)) << out << e2e::ReadFile(dir / "sim.log");
    EXPECT_NE(std::string::npos, out.find("cycle 2: 3 ok, 0 failed")) << out;

    // The board's FE 0E: input 1 and input 9 low, i.e. active.
    EXPECT_EQ("254|0|1|0|0|1|0|0", Dio(601, "Dio,State,D01,D02,D08,D09,D10,D12"));
    EXPECT_EQ(Gbk("(全部正常)"), Brief(601));
    EXPECT_EQ(11, Int("select count(*) from tbSubSysDetail where sid=601 and Fld>0"));
    EXPECT_EQ(0, Int("select State from tbSubSysDetail where sid=601 and Fld=1"));
    EXPECT_EQ(2, e2e::DbInt(hist, "select count(*) from tbDio where SID=601 and Dio=254 and D01=1"));

    // W70XX: inputs 1 and 3, coil 8 on.
    EXPECT_EQ("32773|1|0|1|0|0|1", Dio(602, "Dio,D01,D02,D03,D09,D12,D16"));
    // Relay control: coil 3 on (function 5 in bits 16..23, value 1), read back by the next poll.
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "602", "--cmd", std::to_string((5 << 16) | 3), "--int", "1"}, out))
        << out;
    EXPECT_NE(std::string::npos, out.find("= 1")) << out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_EQ("1|1", Dio(602, "D12,D16"));

    // i.MX6 analogue inputs, Variant 1: 0..13.2 V in hundredths.
    EXPECT_EQ("0|660|1320", Dio(603, "Dio,D01,D02"));
    EXPECT_EQ(2, Int("select count(*) from tbSMDef where Type=2320 and Scale=100"));
}

TEST_F(DeviceEndToEnd, DoorControllerLogsEachAccessRecordOnce)
{
    StartSim("[sim]\ntick = 600000\n[bus.door]\nkind = door\npty = " + (dir / "ttyDOOR") +
             "\n[slave.door]\nbus = door\naddr = 1\ndoor.repeat = 2\n"
             "door.1 = 101 712345 1 1 0 2022-03-01 08:30:10\n"
             "door.2 = 102 4660 2 0 33 2022-03-01 09:00:00\n"
             "door.3 = 103 65535 1 1 0 2022-03-02 18:45:58\n");
    std::string site = Site(Port(1, dir / "ttyDOOR"), Device(701, 3328, 1, 1, "大门"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "7"}, out)) << out << e2e::ReadFile(dir / "sim.log");
    EXPECT_NE(std::string::npos, out.find("cycle 7: 1 ok, 0 failed")) << out;
    EXPECT_EQ("101|712345|1|1|2022-03-01 08:30:10 102|4660|2|0|2022-03-01 09:00:00 103|65535|1|1|2022-03-02 18:45:58",
              e2e::DbStr(hist, "select group_concat(r,' ') from (select Rec||'|'||Card||'|'||Door||'|'||St||'|'||"
                               "LogDate as r from tbCardLog order by DID)"));
    EXPECT_EQ("103|65535|2022-03-02 18:45:58|0", Str("select Rec||'|'||Card||'|'||LogDate||'|'||State from tbCardLog "
                                                     "where SID=701"));
    EXPECT_EQ(Gbk("正常"), Brief(701));
    EXPECT_EQ(1, Int("select count(*) from tbSMType where Type=3328 and Kind=3329"));
}

TEST_F(DeviceEndToEnd, ReachabilityOfLoopbackPortsAndOf127001)
{
    LoopPort open(true), closed(false);
    auto probe = [](int port) { return "Variant = 1\nAddrText = 127.0.0.1:" + std::to_string(port) + "\n"; };
    std::string site = Site("", Device(801, 3335, 0, 0, "web", probe(open.port) + "Vref.1 = 1\n") +
                                    Device(802, 3335, 0, 0, "closed", probe(closed.port)) +
                                    Device(803, 3335, 0, 0, "lo", "AddrText = 127.0.0.1\n"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("cycle 2: 3 ok, 0 failed")) << out;
    auto flag = [&](int sid) { return Int("select iPingState from tbPingNet where SID=" + std::to_string(sid)); };
    EXPECT_EQ(1, flag(801));
    EXPECT_EQ(0, flag(802));
    EXPECT_EQ(Gbk("在线"), Brief(801));
    EXPECT_EQ(Gbk("离线"), Brief(802));
    EXPECT_EQ(6, e2e::DbInt(hist, "select count(*) from tbPingNet"));
    // The site file's Vref.1 replaced the driver's default alarm reference of the type.
    EXPECT_EQ(1, Int("select vref from tbSMDef where Type=3335 and Fld=1"));

    int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
    if (fd < 0) fd = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (fd < 0)
        GTEST_SKIP() << "this machine allows no ICMP socket (no raw-socket right and a closed ping group range): "
                        "the echo of 127.0.0.1 is not checked";
    close(fd);
    EXPECT_EQ(1, flag(803));
}

}  // namespace
