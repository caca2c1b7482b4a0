// How long a port waits after a reply: the quiet time of a line by its settings, and a TCP
// connection that ends a read as soon as a whole Modbus TCP reply is in.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "host/HostConfig.h"
#include "host/Ports.h"
#include "tests/e2e/TestUtil.h"

using namespace std::chrono;
using host::PortCfg;

namespace {

TEST(LineWait, QuietTimeFollowsTheLineUnlessSet)
{
    struct {
        bool tcp;
        int baud, dataBits;
        char parity;
        int stopBits, gapMs, drainMs;
        long us;
    } cases[] = {
        {false, 9600, 8, 'N', 1, 0, 1, 3646},     // 3.5 x 10 bits at 9600
        {false, 1200, 8, 'E', 1, 0, 1, 32084},    // 11 bits a character
        {false, 2400, 7, 'O', 2, 0, 1, 16042},
        {false, 19200, 8, 'N', 1, 0, 1, 2000},    // 1823 us: held at 2 ms
        {false, 230400, 8, 'N', 1, 0, 1, 2000},
        {false, 9600, 8, 'N', 1, 30, 1, 30000},   // a Gap of the site file wins
        {true, 9600, 8, 'N', 1, 0, 1, 1000},      // TCP: the drain
        {true, 9600, 8, 'N', 1, 0, 0, 0},
        {true, 9600, 8, 'N', 1, 40, 0, 40000},
    };
    for (const auto& c : cases) {
        PortCfg p;
        p.tcp = c.tcp;
        p.baud = c.baud;
        p.dataBits = c.dataBits;
        p.parity = c.parity;
        p.stopBits = c.stopBits;
        p.gapMs = c.gapMs;
        p.drainMs = c.drainMs;
        EXPECT_EQ(c.us, p.GapUs()) << c.baud << " " << c.dataBits << c.parity << c.stopBits << " gap " << c.gapMs;
    }
}

TEST(LineWait, SiteFileTakesDrainOnlyForTcp)
{
    e2e::TempDir dir;
    struct {
        const char* port;
        bool ok;
        int drain;
    } cases[] = {
        {"Device = tcp://127.0.0.1:502\nDrain = 0\n", true, 0},
        {"Device = tcp://127.0.0.1:502\n", true, 1},
        {"Device = tcp://127.0.0.1:502\nDrain = 1001\n", false, 0},
        {"Device = /dev/ttyS1\nDrain = 2\n", false, 0},
    };
    for (const auto& c : cases) {
        std::string path = dir / "site.ini";
        e2e::WriteFile(path, std::string("[host]\nLive = live.db\n[port.1]\n") + c.port);
        host::HostCfg cfg;
        std::string err;
        ASSERT_EQ(c.ok, host::LoadHostConfig(path, cfg, err)) << c.port << err;
        if (c.ok) {
            EXPECT_EQ(c.drain, cfg.ports.at(0).drainMs) << c.port;
        } else {
            EXPECT_NE(std::string::npos, err.find("Drain")) << err;
        }
    }
}

long MsSince(steady_clock::time_point t0)
{
    return static_cast<long>(duration_cast<milliseconds>(steady_clock::now() - t0).count());
}

// A connected pair: the port under test and the server side of its connection.
struct TcpPair {
    TcpPair(int gapMs, int drainMs)
    {
        int lfd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        bind(lfd, reinterpret_cast<sockaddr*>(&sa), len);
        listen(lfd, 1);
        getsockname(lfd, reinterpret_cast<sockaddr*>(&sa), &len);
        PortCfg c;
        c.tcp = true;
        c.host = "127.0.0.1";
        c.tcpPort = ntohs(sa.sin_port);
        c.timeoutMs = 500;
        c.gapMs = gapMs;
        c.drainMs = drainMs;
        port.reset(new host::CTcpPort(c));
        port->quiet = true;
        ok = port->Open(0) == 1;
        conn = accept(lfd, nullptr, nullptr);
        close(lfd);
        ok = ok && conn >= 0;
    }
    ~TcpPair()
    {
        if (conn >= 0) close(conn);
    }
    void Send(const std::string& hex)
    {
        std::string b;
        for (size_t i = 0; i + 1 < hex.size(); i += 3) b += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        ASSERT_EQ(static_cast<ssize_t>(b.size()), write(conn, b.data(), b.size()));
    }
    std::unique_ptr<host::CTcpPort> port;
    int conn = -1;
    bool ok = false;
};

TEST(LineWait, TcpReadEndsAtAWholeModbusReplyElseAfterTheQuietTime)
{
    const unsigned char request[] = {0x00, 0x07, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    struct {
        const char* what;
        const unsigned char* req;
        int reqLen;
        const char* reply;  // sent at once; "tail" follows 60 ms later
        int got;            // bytes the read returns
        bool early;         // returned before the tail
    } cases[] = {
        {"whole reply", request, 12, "00 07 00 00 00 05 01 03 02 00 2a", 11, true},
        {"other transaction", request, 12, "00 08 00 00 00 05 01 03 02 00 2a", 13, false},
        {"length short of the bytes", request, 12, "00 07 00 00 00 06 01 03 02 00 2a", 13, false},
        {"request not Modbus TCP", request + 6, 6, "00 07 00 00 00 05 01 03 02 00 2a", 13, false},
    };
    for (const auto& c : cases) {
        // A Gap of 150 ms: without the whole-reply rule the read waits for the tail.
        TcpPair t(150, 1);
        ASSERT_TRUE(t.ok) << c.what;
        ASSERT_EQ(c.reqLen, t.port->Write(c.req, c.reqLen)) << c.what;
        unsigned char buf[64];
        auto t0 = steady_clock::now();
        std::thread tail([&] {
            t.Send(c.reply);
            std::this_thread::sleep_for(milliseconds(60));
            t.Send("be ef");
        });
        int n = t.port->Read(buf, sizeof buf, 0);
        long ms = MsSince(t0);
        tail.join();
        EXPECT_EQ(c.got, n) << c.what;
        if (c.early) {
            EXPECT_LT(ms, 50) << c.what;
        } else {
            EXPECT_GE(ms, 60) << c.what;
        }
    }

    // The default drain: bytes 60 ms apart are two reads.
    TcpPair t(0, 1);
    ASSERT_TRUE(t.ok);
    std::thread tail([&] {
        t.Send("01 02 03");
        std::this_thread::sleep_for(milliseconds(60));
        t.Send("04");
    });
    unsigned char buf[16];
    EXPECT_EQ(3, t.port->Read(buf, sizeof buf, 0));
    EXPECT_EQ(1, t.port->Read(buf, sizeof buf, 0));
    tail.join();
}

}  // namespace
