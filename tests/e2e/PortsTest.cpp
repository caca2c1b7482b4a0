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

TEST_F(SerialPort, OpensAsRawLineWritesThroughPurgesAndClosesOnPurpose)
{
    CSerialPort port(cfg);
    port.quiet = true;
    ASSERT_EQ(1, port.Open(0));
    EXPECT_GE(port.GetHandle(), 0);
    EXPECT_EQ(0u, port.GetMode() & QVSM_MODE_TCP);
    const unsigned char frame[] = {0x01, 0x03, 0x00, 0x0D, 0x0A, 0x11};  // CR/LF must pass untouched
    EXPECT_EQ(6, port.Write(frame, 6));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame), 6), Drain(master));
    EXPECT_EQ(3, port.WriteStr("Q1\r"));
    EXPECT_EQ("Q1\r", Drain(master));

    Send("stale reply");
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(1, port.Purge());
    unsigned char buf[32];
    EXPECT_EQ(0, port.Read(buf, 32, 30));
    Send("fresh");
    EXPECT_EQ(5, port.Read(buf, 32, 0));

    // Closed on purpose, a port stays closed until it is opened again.
    EXPECT_EQ(1, port.Close());
    EXPECT_EQ(0, port.IsOpen());
    EXPECT_EQ(-1, port.GetHandle());
    EXPECT_EQ(-1, port.Write(buf, 1));
    EXPECT_EQ(1, port.Open(0));
    EXPECT_EQ(1, port.IsOpen());

    for (const char* bad : {"/dev/null", "/nonexistent/tty"}) {
        PortCfg c = cfg;
        c.device = bad;
        CSerialPort other(c);
        other.quiet = true;
        EXPECT_EQ(0, other.Open(0)) << bad;
        EXPECT_FALSE(other.LastError().empty()) << bad;
    }
}

TEST_F(SerialPort, ReadWaitsTheRightTime)
{
    CSerialPort port(cfg);
    port.quiet = true;
    ASSERT_EQ(1, port.Open(0));
    unsigned char buf[16];
    // Read time-out 0: the port's default (150 ms, then 60 ms set by SetTimeout); negative:
    // only what is there.
    struct {
        int total, arg;
        long lo, hi;
    } cases[] = {{0, 0, 145, 400}, {0, 40, 38, 140}, {0, -1, 0, 30}, {60, 0, 58, 140}};
    for (const auto& c : cases) {
        if (c.total) port.SetTimeout(0, c.total);
        auto t0 = steady_clock::now();
        EXPECT_EQ(0, port.Read(buf, 16, c.arg));
        long ms = MsSince(t0);
        EXPECT_GE(ms, c.lo) << c.arg;
        EXPECT_LT(ms, c.hi) << c.arg;
    }
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

// ---- TCP -----------------------------------------------------------------------------------

// A loopback listener of the test, on a given port or any free one.
struct Listener {
    explicit Listener(int want = 0)
    {
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(want));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        ok = bind(fd, reinterpret_cast<sockaddr*>(&sa), len) == 0 && listen(fd, 4) == 0 &&
             getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0;
        port = ntohs(sa.sin_port);
    }
    ~Listener()
    {
        if (conn >= 0) close(conn);
        close(fd);
    }
    int fd = socket(AF_INET, SOCK_STREAM, 0), conn = -1, port = 0;
    bool ok = false;
};

TEST(TcpPort, RetriesNoMoreOftenThanConfiguredAndPurges)
{
    PortCfg c;
    c.tcp = true;
    c.host = "127.0.0.1";
    c.tcpPort = Listener().port;  // nobody listens there once the probe is closed
    c.timeoutMs = 150;
    c.retryMs = 300;
    CTcpPort port(c);
    port.quiet = true;
    EXPECT_EQ(QVSM_MODE_TCP, port.GetMode() & QVSM_MODE_TCP);
    auto t0 = steady_clock::now();
    EXPECT_EQ(0, port.Open(0));
    EXPECT_NE(std::string::npos, port.LastError().find("connect")) << port.LastError();
    Listener l(c.tcpPort);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(0, port.IsOpen());  // within the retry interval: no new attempt
    while (!port.IsOpen() && MsSince(t0) < 3000) std::this_thread::sleep_for(milliseconds(10));
    EXPECT_EQ(1, port.IsOpen());
    EXPECT_GE(MsSince(t0), 300);

    l.conn = accept(l.fd, nullptr, nullptr);
    ASSERT_GE(l.conn, 0);
    unsigned char buf[16];
    ASSERT_EQ(3, write(l.conn, "old", 3));
    std::this_thread::sleep_for(milliseconds(20));
    port.Purge();
    EXPECT_EQ(0, port.Read(buf, 16, 30));
    ASSERT_EQ(5, write(l.conn, "reply", 5));
    EXPECT_EQ(5, port.Read(buf, 16, 0));
}

}  // namespace
