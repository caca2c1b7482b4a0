// The host's ports against a pseudo-terminal and a loopback TCP listener held by the test.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "host/Ports.h"

using namespace std::chrono;
using host::CSerialPort;
using host::CTcpPort;
using host::PortCfg;

namespace {

long MsSince(steady_clock::time_point t0)
{
    return static_cast<long>(duration_cast<milliseconds>(steady_clock::now() - t0).count());
}

// Reads what arrives on fd within ms.
std::string Drain(int fd, int ms = 200)
{
    std::string out;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, ms) > 0) {
        char buf[256];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
        ms = 30;
    }
    return out;
}

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, openpty(&master, &slave, nullptr, nullptr, nullptr));
        char name[128];
        ASSERT_EQ(0, ttyname_r(slave, name, sizeof name));
        termios tio;
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        cfg.number = 1;
        cfg.device = name;
        cfg.timeoutMs = 150;
        cfg.gapMs = 40;
        cfg.retryMs = 0;
    }
    void TearDown() override
    {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
    void Send(const std::string& s) { ASSERT_EQ(static_cast<ssize_t>(s.size()), write(master, s.data(), s.size())); }

    int master = -1, slave = -1;
    PortCfg cfg;
};

TEST_F(SerialPort, OpensAsRawLineAndWritesThrough)
{
    CSerialPort port(cfg);
    port.quiet = true;
    ASSERT_EQ(1, port.Open(0));
    EXPECT_EQ(1, port.IsOpen());
    EXPECT_GE(port.GetHandle(), 0);
    EXPECT_EQ(0u, port.GetMode() & QVSM_MODE_TCP);
    const unsigned char frame[] = {0x01, 0x03, 0x00, 0x0D, 0x0A, 0x11};  // CR/LF must pass untouched
    EXPECT_EQ(6, port.Write(frame, 6));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame), 6), Drain(master));
    EXPECT_EQ(3, port.WriteStr("Q1\r"));
    EXPECT_EQ("Q1\r", Drain(master));
}

TEST_F(SerialPort, ReadWaitsTheRightTime)
{
    CSerialPort port(cfg);
    port.quiet = true;
    ASSERT_EQ(1, port.Open(0));
    unsigned char buf[16];
    auto t0 = steady_clock::now();
    EXPECT_EQ(0, port.Read(buf, 16, 0));  // 0: the port's default of 150 ms
    long ms = MsSince(t0);
    EXPECT_GE(ms, 145);
    EXPECT_LT(ms, 400);

    t0 = steady_clock::now();
    EXPECT_EQ(0, port.Read(buf, 16, 40));
    ms = MsSince(t0);
    EXPECT_GE(ms, 38);
    EXPECT_LT(ms, 140);

    t0 = steady_clock::now();
    EXPECT_EQ(0, port.Read(buf, 16, -1));  // negative: only what is there
    EXPECT_LT(MsSince(t0), 30);

    port.SetTimeout(0, 60);
    t0 = steady_clock::now();
    EXPECT_EQ(0, port.Read(buf, 16, 0));
    ms = MsSince(t0);
    EXPECT_GE(ms, 58);
    EXPECT_LT(ms, 140);
    EXPECT_EQ(60, port.TimeoutMs());
    EXPECT_EQ(40, port.GapMs());
}

TEST_F(SerialPort, ReadEndsAtCapacityOrAtAQuietGap)
{
    CSerialPort port(cfg);
    port.quiet = true;
    ASSERT_EQ(1, port.Open(0));
    unsigned char buf[32];

    Send("0123456789abcdefghij");
    auto t0 = steady_clock::now();
    EXPECT_EQ(9, port.Read(buf, 9, 0));
    EXPECT_LT(MsSince(t0), 35);  // a full buffer returns without waiting for a gap
    EXPECT_EQ("012345678", std::string(reinterpret_cast<char*>(buf), 9));
    EXPECT_EQ(11, port.Read(buf, 32, 0));
    EXPECT_EQ("9abcdefghij", std::string(reinterpret_cast<char*>(buf), 11));

    // Bytes closer together than the gap make one reply; a longer pause ends it.
    std::thread t([this] {
        Send("AB");
        std::this_thread::sleep_for(milliseconds(10));
        Send("CD");
        std::this_thread::sleep_for(milliseconds(150));
        Send("EF");
    });
    int n = port.Read(buf, 32, 0);
    t.join();
    EXPECT_EQ("ABCD", std::string(reinterpret_cast<char*>(buf), n > 0 ? static_cast<size_t>(n) : 0));
    EXPECT_EQ(2, port.Read(buf, 32, 0));
}

TEST_F(SerialPort, PurgeDropsPendingInput)
{
    CSerialPort port(cfg);
    port.quiet = true;
    ASSERT_EQ(1, port.Open(0));
    Send("stale reply");
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(1, port.Purge());
    unsigned char buf[32];
    EXPECT_EQ(0, port.Read(buf, 32, 30));
    Send("fresh");
    EXPECT_EQ(5, port.Read(buf, 32, 0));
}

TEST_F(SerialPort, LostTerminalClosesThePortAndCloseStopsReopening)
{
    CSerialPort port(cfg);
    port.quiet = true;
    ASSERT_EQ(1, port.Open(0));
    close(master);
    master = -1;
    close(slave);
    slave = -1;
    unsigned char buf[8];
    EXPECT_LT(port.Read(buf, 8, 100), 0);
    EXPECT_EQ(-1, port.GetHandle());
    EXPECT_EQ(0, port.IsOpen());  // the terminal is gone: reopening fails
    EXPECT_FALSE(port.LastError().empty());
    EXPECT_EQ(-1, port.Write(buf, 1));

    CSerialPort missing(cfg);
    missing.quiet = true;
    EXPECT_EQ(0, missing.Open(0));
    EXPECT_NE(std::string::npos, missing.LastError().find("cannot open")) << missing.LastError();
}

TEST_F(SerialPort, ClosedOnPurposeStaysClosedUntilOpen)
{
    CSerialPort port(cfg);
    port.quiet = true;
    ASSERT_EQ(1, port.Open(0));
    EXPECT_EQ(1, port.Close());
    EXPECT_EQ(0, port.IsOpen());
    EXPECT_EQ(-1, port.GetHandle());
    EXPECT_EQ(1, port.Open(0));
    EXPECT_EQ(1, port.IsOpen());
}

TEST(SerialLine, NotATerminalIsRefused)
{
    PortCfg cfg;
    cfg.number = 3;
    cfg.device = "/dev/null";
    CSerialPort port(cfg);
    port.quiet = true;
    EXPECT_EQ(0, port.Open(0));
    EXPECT_NE(std::string::npos, port.LastError().find("not a terminal")) << port.LastError();
}

// ---- TCP -----------------------------------------------------------------------------------

class Listener {
public:
    explicit Listener(int port = 0)
    {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ok = bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && listen(fd, 4) == 0;
        socklen_t len = sizeof sa;
        getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
        this->port = ntohs(sa.sin_port);
    }
    ~Listener()
    {
        if (conn >= 0) close(conn);
        close(fd);
    }
    bool Accept(int ms = 1000)
    {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return false;
        if (conn >= 0) close(conn);
        conn = accept(fd, nullptr, nullptr);
        return conn >= 0;
    }
    int fd = -1, conn = -1, port = 0;
    bool ok = false;
};

PortCfg TcpCfg(int port, int retryMs)
{
    PortCfg c;
    c.number = 2;
    c.tcp = true;
    c.host = "127.0.0.1";
    c.tcpPort = port;
    c.timeoutMs = 150;
    c.gapMs = 30;
    c.retryMs = retryMs;
    return c;
}

TEST(TcpPort, ExchangesBytesAndReportsNetworkMode)
{
    Listener l;
    ASSERT_TRUE(l.ok);
    CTcpPort port(TcpCfg(l.port, 0));
    port.quiet = true;
    EXPECT_EQ(QVSM_MODE_TCP, port.GetMode() & QVSM_MODE_TCP);
    ASSERT_EQ(1, port.Open(0));
    ASSERT_TRUE(l.Accept());
    const unsigned char req[] = {1, 3, 0, 0, 0, 2, 0xC4, 0x0B};
    EXPECT_EQ(8, port.Write(req, 8));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(req), 8), Drain(l.conn));
    ASSERT_EQ(5, write(l.conn, "reply", 5));
    unsigned char buf[16];
    EXPECT_EQ(5, port.Read(buf, 16, 0));
    ASSERT_EQ(3, write(l.conn, "old", 3));
    std::this_thread::sleep_for(milliseconds(20));
    port.Purge();
    EXPECT_EQ(0, port.Read(buf, 16, 30));
    EXPECT_EQ(1, port.IsOpen());
}

TEST(TcpPort, ReconnectsAfterThePeerWentAway)
{
    Listener l;
    ASSERT_TRUE(l.ok);
    CTcpPort port(TcpCfg(l.port, 0));
    port.quiet = true;
    ASSERT_EQ(1, port.Open(0));
    ASSERT_TRUE(l.Accept());
    close(l.conn);
    l.conn = -1;
    unsigned char buf[8];
    EXPECT_LT(port.Read(buf, 8, 200), 0);  // end of stream: the port closes itself
    EXPECT_EQ(-1, port.GetHandle());
    EXPECT_EQ(1, port.IsOpen());  // and connects again
    ASSERT_TRUE(l.Accept());
    ASSERT_EQ(2, write(l.conn, "ok", 2));
    EXPECT_EQ(2, port.Read(buf, 8, 0));
}

TEST(TcpPort, RetriesNoMoreOftenThanConfigured)
{
    int freePort;
    {
        Listener probe;  // a port nobody listens on once it is closed
        freePort = probe.port;
    }
    CTcpPort port(TcpCfg(freePort, 300));
    port.quiet = true;
    auto t0 = steady_clock::now();
    EXPECT_EQ(0, port.Open(0));
    EXPECT_NE(std::string::npos, port.LastError().find("connect")) << port.LastError();
    Listener l(freePort);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(0, port.IsOpen());  // within the retry interval: no new attempt
    while (!port.IsOpen() && MsSince(t0) < 3000) std::this_thread::sleep_for(milliseconds(10));
    EXPECT_EQ(1, port.IsOpen());
    EXPECT_GE(MsSince(t0), 300);
}

}  // namespace
