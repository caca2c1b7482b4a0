#include "sim/Bus.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace sim {
namespace {

bool NonBlock(int fd) { return fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) == 0; }

int MsUntil(Clock::time_point now, Clock::time_point t)
{
    if (t <= now) return 0;
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(t - now).count();
    return static_cast<int>((us + 999) / 1000);
}

}  // namespace

CBus::CBus(const BusSpec& spec, std::unique_ptr<CResponder> responder) : m_spec(spec), m_resp(std::move(responder)) {}

CBus::~CBus() { Stop(); }

bool CBus::Start(std::string& err)
{
    if (!m_spec.tcp) {
        if (openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
            err = "bus " + m_spec.name + ": openpty: " + strerror(errno);
            return false;
        }
        // Raw on our side too: without it the line discipline would echo requests back.
        termios tio;
        if (tcgetattr(m_slave, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(m_slave, TCSANOW, &tio);
        }
        NonBlock(m_master);
        char name[128];
        if (ttyname_r(m_slave, name, sizeof name) != 0) {
            err = "bus " + m_spec.name + ": ttyname: " + strerror(errno);
            return false;
        }
        m_ptyPath = name;
        if (!m_spec.link.empty()) {
            std::string tmp = m_spec.link + ".new" + std::to_string(getpid());
            unlink(tmp.c_str());
            if (symlink(m_ptyPath.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), m_spec.link.c_str()) != 0) {
                err = "bus " + m_spec.name + ": cannot link " + m_spec.link + ": " + strerror(errno);
                unlink(tmp.c_str());
                return false;
            }
        }
        auto c = std::make_unique<Conn>();
        c->fd = m_master;
        c->own = false;
        m_conns.push_back(std::move(c));
        return true;
    }

    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(m_spec.port));
    std::string host = m_spec.host == "localhost" ? "127.0.0.1" : m_spec.host;
    if (inet_pton(AF_INET, host.c_str(), &sa.sin_addr) != 1) {
        err = "bus " + m_spec.name + ": not an IPv4 address: " + m_spec.host;
        return false;
    }
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(m_listen, 8) != 0) {
        err = "bus " + m_spec.name + ": cannot listen on " + m_spec.host + ":" + std::to_string(m_spec.port) + ": " +
              strerror(errno);
        return false;
    }
    socklen_t len = sizeof sa;
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&sa), &len);
    m_port = ntohs(sa.sin_port);
    NonBlock(m_listen);
    return true;
}

void CBus::Stop()
{
    for (auto& c : m_conns)
        if (c->own && c->fd >= 0) close(c->fd);
    m_conns.clear();
    if (!m_spec.link.empty() && !m_ptyPath.empty()) {
        char target[256];
        ssize_t n = readlink(m_spec.link.c_str(), target, sizeof target - 1);
        if (n > 0) {
            target[n] = 0;
            if (m_ptyPath == target) unlink(m_spec.link.c_str());
        }
    }
    m_ptyPath.clear();
    for (int* fd : {&m_master, &m_slave, &m_listen}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

std::string CBus::Where() const
{
    if (!m_spec.tcp) return m_ptyPath;
    return m_spec.host + ":" + std::to_string(m_port);
}

void CBus::Fds(std::vector<pollfd>& fds) const
{
    if (m_listen >= 0) fds.push_back(pollfd{m_listen, POLLIN, 0});
    auto now = Clock::now();
    for (const auto& c : m_conns) {
        short ev = POLLIN;
        for (const auto& o : c->out)
            if (o.due <= now) ev |= POLLOUT;
        fds.push_back(pollfd{c->fd, ev, 0});
    }
}

void CBus::Handle(const std::vector<pollfd>& fds)
{
    for (const pollfd& p : fds) {
        if (!p.revents) continue;
        if (p.fd == m_listen && m_listen >= 0) {
            for (;;) {
                int fd = accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0) break;
                auto c = std::make_unique<Conn>();
                c->fd = fd;
                m_conns.push_back(std::move(c));
                if (verbose) std::printf("%s: connection accepted\n", m_spec.name.c_str());
            }
            continue;
        }
        for (auto& c : m_conns) {
            if (c->fd != p.fd) continue;
            if (p.revents & (POLLIN | POLLHUP | POLLERR)) Receive(*c);
            if (p.revents & POLLOUT) Flush(*c, Clock::now());
        }
    }
}

void CBus::Receive(Conn& c)
{
    uint8_t buf[1024];
    for (;;) {
        ssize_t r = read(c.fd, buf, sizeof buf);
        if (r > 0) {
            c.in.insert(c.in.end(), buf, buf + r);
            c.lastByte = Clock::now();
            continue;
        }
        if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            // A TCP peer closed; a terminal without reader reports EIO, which is not fatal.
            if (c.own) c.dead = true;
        }
        break;
    }
    Parse(c, false);
}

void CBus::Parse(Conn& c, bool gapExpired)
{
    auto now = Clock::now();
    while (!c.in.empty()) {
        int len = m_resp->FrameLength(c.in.data(), c.in.size());
        size_t take = 0;
        if (len < 0) {
            c.in.erase(c.in.begin());
            continue;
        }
        if (len > 0 && c.in.size() >= static_cast<size_t>(len)) {
            take = static_cast<size_t>(len);
        } else if (gapExpired) {
            if (!m_resp->AnswerOnGap()) {
                if (verbose) Dump("dropped", c.in.data(), c.in.size());
                c.in.clear();
                break;
            }
            take = c.in.size();
        } else {
            break;
        }
        if (verbose) Dump("<", c.in.data(), take);
        Reply rep;
        if (m_resp->Answer(c.in.data(), take, rep)) {
            Conn::Out o;
            o.due = now + std::chrono::milliseconds(rep.delayMs);
            o.bytes = std::move(rep.bytes);
            c.out.push_back(std::move(o));
            for (Reply::Part& p : rep.later) {
                Conn::Out more;
                more.due = now + std::chrono::milliseconds(p.delayMs);
                more.bytes = std::move(p.bytes);
                c.out.push_back(std::move(more));
            }
        } else if (verbose) {
            std::printf("%s: no reply\n", m_spec.name.c_str());
        }
        c.in.erase(c.in.begin(), c.in.begin() + static_cast<long>(take));
    }
    Flush(c, now);
}

void CBus::Flush(Conn& c, Clock::time_point now)
{
    while (!c.out.empty() && c.out.front().due <= now && !c.dead) {
        auto& o = c.out.front();
        ssize_t w = c.own ? send(c.fd, o.bytes.data(), o.bytes.size(), MSG_NOSIGNAL)
                          : write(c.fd, o.bytes.data(), o.bytes.size());
        if (w < 0) {
            if (errno == EAGAIN || errno == EINTR) return;
            if (c.own) c.dead = true;
            c.out.erase(c.out.begin());
            continue;
        }
        if (verbose) Dump(">", o.bytes.data(), static_cast<size_t>(w));
        if (static_cast<size_t>(w) < o.bytes.size()) {
            o.bytes.erase(o.bytes.begin(), o.bytes.begin() + w);
            return;
        }
        c.out.erase(c.out.begin());
    }
}

int CBus::Service()
{
    auto now = Clock::now();
    auto gap = std::chrono::milliseconds(m_spec.gapMs);
    int next = INT_MAX;
    int every = m_resp->ReportMs();
    if (every > 0) {
        if (now >= m_nextReport) {
            Reply rep;
            if (m_resp->Report(rep))
                for (auto& c : m_conns)
                    if (c->out.empty()) c->out.push_back(Conn::Out{now, rep.bytes});
            m_nextReport = now + std::chrono::milliseconds(every);
        }
        next = MsUntil(now, m_nextReport);
    }
    for (auto& c : m_conns) {
        if (!c->in.empty() && now - c->lastByte >= gap) Parse(*c, true);
        Flush(*c, now);
        if (!c->in.empty()) next = std::min(next, MsUntil(now, c->lastByte + gap));
        for (const auto& o : c->out)
            if (o.due > now) next = std::min(next, MsUntil(now, o.due));
    }
    for (auto it = m_conns.begin(); it != m_conns.end();) {
        if ((*it)->dead) {
            if (verbose) std::printf("%s: connection closed\n", m_spec.name.c_str());
            close((*it)->fd);
            it = m_conns.erase(it);
        } else {
            ++it;
        }
    }
    return next == INT_MAX ? -1 : next;
}

void CBus::Dump(const char* dir, const uint8_t* p, size_t n) const
{
    std::printf("%s %s", m_spec.name.c_str(), dir);
    for (size_t i = 0; i < n; ++i) std::printf(" %02x", p[i]);
    std::printf("\n");
}

}  // namespace sim
