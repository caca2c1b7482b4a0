#include "host/Ports.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace host {
namespace {

typedef std::chrono::steady_clock Clock;

// ppoll() for one descriptor, restarted after signals until the deadline.
int WaitFd(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        auto now = Clock::now();
        long long ns = now >= deadline ? 0 : std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
        timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd p{fd, events, 0};
        int r = ppoll(&p, 1, &ts, nullptr);
        if (r >= 0) return r;
        if (errno != EINTR) return -1;
    }
}

speed_t Speed(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B9600;
    }
}

}  // namespace

// ---- common ------------------------------------------------------------------------------

CFdPort::CFdPort(const PortCfg& cfg) : m_cfg(cfg), m_timeoutMs(cfg.timeoutMs), m_gapUs(cfg.GapUs()) {}

CFdPort::~CFdPort()
{
    if (m_fd >= 0) close(m_fd);
}

bool CFdPort::TryOpen()
{
    m_lastTry = Clock::now();
    m_tried = true;
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    m_fd = DoOpen();
    if (m_fd < 0) {
        if (!m_down && !quiet)
            std::fprintf(stderr, "port %d (%s): %s\n", m_cfg.number, m_cfg.Text().c_str(), m_error.c_str());
        m_down = true;
        return false;
    }
    if (m_down && !quiet) std::fprintf(stderr, "port %d (%s): open again\n", m_cfg.number, m_cfg.Text().c_str());
    m_down = false;
    m_error.clear();
    return true;
}

int CFdPort::Open(int)
{
    m_wanted = true;
    return TryOpen() ? 1 : 0;
}

int CFdPort::Close()
{
    m_wanted = false;
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    return 1;
}

int CFdPort::IsOpen()
{
    if (m_fd >= 0) return 1;
    if (!m_wanted) return 0;
    if (m_tried && Clock::now() - m_lastTry < std::chrono::milliseconds(m_cfg.retryMs)) return 0;
    return TryOpen() ? 1 : 0;
}

void CFdPort::Fail(const std::string& what)
{
    m_error = what;
    if (!m_down && !quiet) std::fprintf(stderr, "port %d (%s): %s\n", m_cfg.number, m_cfg.Text().c_str(), what.c_str());
    m_down = true;
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    // The next IsOpen may try again at once: the failure came from a port that was open.
    m_tried = false;
}

int CFdPort::SetTimeout(unsigned int first, unsigned int total)
{
    if (first > 0) m_gapUs = 1000L * static_cast<long>(first);
    if (total > 0) m_timeoutMs = static_cast<int>(total);
    return 1;
}

int CFdPort::Purge()
{
    if (m_fd < 0) return 0;
    DoPurge();
    return 1;
}

int CFdPort::Read(unsigned char* buf, int cap, int timeoutMs)
{
    if (m_fd < 0) return -1;
    if (!buf || cap <= 0) return 0;
    int first = timeoutMs > 0 ? timeoutMs : (timeoutMs == 0 ? m_timeoutMs : 0);
    auto deadline = Clock::now() + std::chrono::milliseconds(first);
    int total = 0;
    while (total < cap && m_fd >= 0) {
        if (total > 0) {
            if (Whole(buf, total)) break;
            deadline = Clock::now() + std::chrono::microseconds(m_gapUs);
        }
        int r = WaitFd(m_fd, POLLIN, deadline);
        if (r < 0) {
            Fail(std::string("poll: ") + strerror(errno));
            break;
        }
        if (r == 0) break;
        ssize_t n = read(m_fd, buf + total, static_cast<size_t>(cap - total));
        if (n > 0) {
            total += static_cast<int>(n);
        } else if (n == 0) {
            Fail("closed by the other side");
        } else if (errno != EAGAIN && errno != EINTR) {
            Fail(std::string("read: ") + strerror(errno));
        }
    }
    if (total > 0) return total;
    return m_fd >= 0 ? 0 : -1;
}

bool CFdPort::Whole(const unsigned char* buf, int n)
{
    if (!m_mbtcp || n < 8 || (GetMode() & QVSM_MODE_TCP) == 0) return false;
    return buf[0] == m_req[0] && buf[1] == m_req[1] && buf[2] == 0 && buf[3] == 0 &&
           6 + ((buf[4] << 8) | buf[5]) == n;
}

int CFdPort::Write(const unsigned char* buf, int len)
{
    if (m_fd < 0 || !buf || len < 0) return -1;
    // A Modbus TCP request: protocol 0 and a length field counting the rest of the frame.
    m_mbtcp = len >= 8 && buf[2] == 0 && buf[3] == 0 && 6 + ((buf[4] << 8) | buf[5]) == len;
    if (m_mbtcp) std::memcpy(m_req, buf, sizeof m_req);
    auto deadline = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
    int done = 0;
    while (done < len && m_fd >= 0) {
        long n = DoWrite(buf + done, static_cast<size_t>(len - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (WaitFd(m_fd, POLLOUT, deadline) <= 0) break;
            continue;
        }
        Fail(std::string("write: ") + strerror(errno));
    }
    if (done > 0) return done;
    return m_fd >= 0 ? 0 : -1;
}

int CFdPort::WriteStr(const char* text)
{
    if (!text) return -1;
    return Write(reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
}

// ---- serial ------------------------------------------------------------------------------

int CSerialPort::DoOpen()
{
    int fd = open(m_cfg.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_error = "cannot open: " + std::string(strerror(errno));
        return -1;
    }
    termios tio;
    if (tcgetattr(fd, &tio) != 0) {
        m_error = "not a terminal: " + std::string(strerror(errno));
        close(fd);
        return -1;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, Speed(m_cfg.baud));
    cfsetospeed(&tio, Speed(m_cfg.baud));
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    static const tcflag_t kSize[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSize[m_cfg.dataBits - 5] | CLOCAL | CREAD;
    if (m_cfg.parity == 'E') tio.c_cflag |= PARENB;
    if (m_cfg.parity == 'O') tio.c_cflag |= PARENB | PARODD;
    if (m_cfg.stopBits == 2) tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        m_error = "cannot set the line: " + std::string(strerror(errno));
        close(fd);
        return -1;
    }
    tcflush(fd, TCIOFLUSH);
    return fd;
}

void CSerialPort::DoPurge()
{
    tcflush(m_fd, TCIFLUSH);
}

long CSerialPort::DoWrite(const unsigned char* buf, size_t len) { return static_cast<long>(write(m_fd, buf, len)); }

// ---- TCP ---------------------------------------------------------------------------------

int CTcpPort::DoOpen()
{
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    std::string port = std::to_string(m_cfg.tcpPort);
    int gai = getaddrinfo(m_cfg.host.c_str(), port.c_str(), &hints, &res);
    if (gai != 0) {
        m_error = "cannot resolve " + m_cfg.host + ": " + gai_strerror(gai);
        return -1;
    }
    int fd = -1;
    m_error = "cannot connect";
    for (addrinfo* a = res; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        int rc = connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs());
            int err = ETIMEDOUT;
            if (WaitFd(fd, POLLOUT, deadline) > 0) {
                socklen_t l = sizeof err;
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &l);
            }
            rc = err == 0 ? 0 : -1;
            errno = err;
        }
        if (rc != 0) {
            m_error = "cannot connect: " + std::string(strerror(errno));
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(res);
    if (fd >= 0) {
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

void CTcpPort::DoPurge()
{
    unsigned char buf[512];
    for (;;) {
        ssize_t n = recv(m_fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) continue;
        if (n == 0) Fail("closed by the other side");
        else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) Fail(std::string("recv: ") + strerror(errno));
        break;
    }
}

long CTcpPort::DoWrite(const unsigned char* buf, size_t len)
{
    return static_cast<long>(send(m_fd, buf, len, MSG_NOSIGNAL));
}

std::unique_ptr<CFdPort> MakePort(const PortCfg& cfg)
{
    if (cfg.tcp) return std::make_unique<CTcpPort>(cfg);
    return std::make_unique<CSerialPort>(cfg);
}

}  // namespace host
