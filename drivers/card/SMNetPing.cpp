#include "drivers/card/SMNetPing.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
const SMPointDef kPoint = {0, 1, "iPingState", 1, "是否在线", 0, 1, 1, 0, "1: 在线 0: 离线", 0, "", 0};
const SMTableDef kTable = {"tbPingNet", "iPingState INTEGER"};

enum { QUIET_STEPS = 10, MAX_PACKETS = 64, ECHO_LEN = 64 };

bool Resolve(const char* host, in_addr* out)
{
    if (inet_pton(AF_INET, host, out) == 1) return true;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    addrinfo* res = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &res) != 0 || !res) return false;
    *out = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
    freeaddrinfo(res);
    return true;
}

unsigned short IcmpSum(const unsigned char* p, size_t n)
{
    unsigned long s = 0;
    for (size_t i = 0; i + 1 < n; i += 2) s += static_cast<unsigned>(p[i] << 8 | p[i + 1]);
    if (n & 1) s += static_cast<unsigned>(p[n - 1] << 8);
    while (s >> 16) s = (s & 0xFFFF) + (s >> 16);
    return static_cast<unsigned short>(~s & 0xFFFF);
}

int OpenIcmp(int* kind)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
        *kind = 2;
        return fd;
    }
    fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    *kind = fd >= 0 ? 1 : 0;
    return fd;
}

// Waits for readable data in steps of WAIT_MS / QUIET_STEPS; false after that many quiet steps.
bool WaitIn(int fd, int* quiet)
{
    pollfd p = {fd, POLLIN, 0};
    while (*quiet < QUIET_STEPS) {
        int n = poll(&p, 1, CSMNetPing::WAIT_MS / QUIET_STEPS);
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
        if (n == 0) ++*quiet;
    }
    return false;
}
}  // namespace

CSMNetPing::CSMNetPing() : CSMBase(3335)
{
    m_pData = &m_flag;
    m_nDataCount = 1;
}

int CSMNetPing::RegDb(IDbBase* db, int force)
{
    const SMTypeDef type = {3329, "Ping Net %s", "网络接口..."};
    return RegDbRows(db, force, type, &kPoint, 1);
}

int CSMNetPing::ChkDb(tagSMItem* item) { return ChkDbTable(item, kTable); }

int CSMNetPing::DataVal(int n) { return n == 1 ? m_flag : -1; }

void CSMNetPing::SplitTarget(const char* text, char* host, int* port)
{
    host[0] = 0;
    *port = 0;
    if (!text) return;
    const char* colon = std::strchr(text, ':');
    size_t n = colon ? static_cast<size_t>(colon - text) : std::strlen(text);
    if (n > HOST_MAX) n = HOST_MAX;
    std::memcpy(host, text, n);
    host[n] = 0;
    if (colon) *port = std::atoi(colon + 1);
}

bool CSMNetPing::PlainHost(const char* host)
{
    if (!host || !host[0] || host[0] == '-' || host[0] == '.') return false;
    for (const char* p = host; *p; ++p) {
        char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!ok) return false;
    }
    return true;
}

int CSMNetPing::EchoKind()
{
    int kind = 0;
    int fd = OpenIcmp(&kind);
    if (fd >= 0) close(fd);
    return kind;
}

int CSMNetPing::Echo(const char* host)
{
    sockaddr_in to;
    std::memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    if (!PlainHost(host) || !Resolve(host, &to.sin_addr)) return 0;
    int kind = 0;
    int fd = OpenIcmp(&kind);
    if (fd < 0) return 0;

    // With a datagram socket the kernel sets the identifier and hands us our replies only.
    const unsigned short id = static_cast<unsigned short>(getpid() & 0xFFFF);
    const unsigned short seq = 1;
    unsigned char req[ECHO_LEN] = {};
    req[0] = ICMP_ECHO;
    req[4] = static_cast<unsigned char>(id >> 8);
    req[5] = static_cast<unsigned char>(id);
    req[7] = seq;
    for (int i = 8; i < ECHO_LEN; ++i) req[i] = static_cast<unsigned char>(i);
    unsigned short sum = IcmpSum(req, sizeof req);
    req[2] = static_cast<unsigned char>(sum >> 8);
    req[3] = static_cast<unsigned char>(sum);
    int flag = 0;
    if (sendto(fd, req, sizeof req, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) == static_cast<ssize_t>(sizeof req)) {
        int quiet = 0;
        for (int k = 0; k < MAX_PACKETS && !flag && WaitIn(fd, &quiet); ++k) {
            unsigned char in[1024];
            sockaddr_in from;
            socklen_t fl = sizeof from;
            ssize_t n = recvfrom(fd, in, sizeof in, 0, reinterpret_cast<sockaddr*>(&from), &fl);
            if (n <= 0 || from.sin_addr.s_addr != to.sin_addr.s_addr) continue;
            size_t off = 0;
            if (kind == 1) off = static_cast<size_t>(in[0] & 0x0F) * 4;  // raw: the IP header first
            if (static_cast<size_t>(n) < off + 8) continue;
            const unsigned char* ic = in + off;
            bool idOk = kind == 2 || ((ic[4] << 8 | ic[5]) == id);
            if (ic[0] == ICMP_ECHOREPLY && idOk && (ic[6] << 8 | ic[7]) == seq) flag = 1;
        }
    }
    close(fd);
    return flag;
}

int CSMNetPing::Connect(const char* host, int port)
{
    sockaddr_in to;
    std::memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    if (!PlainHost(host) || port < 1 || port > 65535 || !Resolve(host, &to.sin_addr)) return 0;
    to.sin_port = htons(static_cast<unsigned short>(port));
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    int flag = 0;
    int r = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (r == 0) {
        flag = 1;
    } else if (errno == EINPROGRESS) {
        pollfd p = {fd, POLLOUT, 0};
        int err = 0;
        socklen_t el = sizeof err;
        if (poll(&p, 1, WAIT_MS) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &el) == 0 && err == 0) flag = 1;
    }
    close(fd);
    return flag;
}

int CSMNetPing::DataGet(ISerBase*, int, int)
{
    tagSMItem* item = Item();
    if (!item) return 0;
    char host[HOST_MAX + 1];
    int port = 0;
    char text[sizeof item->AddrText + 1];
    std::memcpy(text, item->AddrText, sizeof item->AddrText);
    text[sizeof item->AddrText] = 0;
    SplitTarget(text, host, &port);
    if (item->Variant == 1)
        m_flag = static_cast<unsigned char>(host[0] && port >= 1 ? Connect(host, port) : 0);
    else
        m_flag = static_cast<unsigned char>(Echo(host));
    return 1;
}

int CSMNetPing::DataUpd(int flags, int* almBits, int*, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, nullptr, sid, 0);
    const SMCol col = {"iPingState", m_flag};
    int r = 0;
    if (m_pDb) {
        UpdSubSys(u);
        UpdRow("tbPingNet", u, &col, 1);
        r = UpdBrief(u, m_flag ? "在线" : "离线");
    }
    if (hist) r = InsHist(hist, "tbPingNet", u, &col, 1);
    return r == 0 ? 1 : 0;
}
