#include "bench/SimDevice.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/Responder.h"
#include "sim/SimConfig.h"

long AllocCount();

namespace bench {

SimDevice::SimDevice(const std::string& config)
{
    char path[] = "/tmp/qvsm-bench-sim-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) {
        m_err = "no temporary file";
        return;
    }
    bool written = write(fd, config.data(), config.size()) == static_cast<ssize_t>(config.size());
    close(fd);
    sim::SimConfig cfg;
    if (written && sim::LoadSimConfig(path, cfg, m_err) && !cfg.buses.empty())
        m_resp = sim::MakeResponder(cfg.buses[0], cfg.slaves, m_err);
    unlink(path);
    m_in.reserve(1024);
    m_out.reserve(1024);
}

SimDevice::~SimDevice() = default;

int SimDevice::Purge()
{
    m_out.clear();
    return 1;
}

int SimDevice::Write(const unsigned char* buf, int len)
{
    long before = AllocCount();
    m_in.insert(m_in.end(), buf, buf + len);
    while (!m_in.empty()) {
        int n = m_resp->FrameLength(m_in.data(), m_in.size());
        if (n < 0) {
            m_in.erase(m_in.begin());
            continue;
        }
        if (n == 0 || static_cast<size_t>(n) > m_in.size()) break;
        sim::Reply r;
        if (m_resp->Answer(m_in.data(), static_cast<size_t>(n), r)) m_out.insert(m_out.end(), r.bytes.begin(), r.bytes.end());
        m_in.erase(m_in.begin(), m_in.begin() + n);
    }
    m_own += AllocCount() - before;
    return len;
}

int SimDevice::WriteStr(const char* text)
{
    return Write(reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
}

int SimDevice::Read(unsigned char* buf, int cap, int)
{
    if (m_out.empty()) {
        long before = AllocCount();
        sim::Reply r;
        if (!m_in.empty() && m_resp->AnswerOnGap()) {  // the line is quiet: what came is the request
            if (m_resp->Answer(m_in.data(), m_in.size(), r)) m_out.insert(m_out.end(), r.bytes.begin(), r.bytes.end());
            m_in.clear();
        } else if (m_resp->ReportMs() > 0 && m_resp->Report(r)) {  // a device that sends by itself
            m_out.insert(m_out.end(), r.bytes.begin(), r.bytes.end());
        }
        m_own += AllocCount() - before;
    }
    int n = static_cast<int>(m_out.size()) < cap ? static_cast<int>(m_out.size()) : cap;
    std::memcpy(buf, m_out.data(), static_cast<size_t>(n));
    m_out.erase(m_out.begin(), m_out.begin() + n);
    return n;
}

}  // namespace bench
