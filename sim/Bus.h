// A simulated bus: a pseudo-terminal (the master side is ours, the slave side is what a
// host opens) or a TCP listener on which every accepted connection is one byte stream.
// Bytes received are cut into requests by the bus's responder; replies are sent after the
// slave's delay.
#ifndef QVSM_SIM_BUS_H
#define QVSM_SIM_BUS_H

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/Responder.h"
#include "sim/SimConfig.h"

namespace sim {

typedef std::chrono::steady_clock Clock;

class CBus {
public:
    CBus(const BusSpec& spec, std::unique_ptr<CResponder> responder);
    ~CBus();
    CBus(const CBus&) = delete;
    CBus& operator=(const CBus&) = delete;

    // Opens the pseudo-terminal (and its link) or starts listening.
    bool Start(std::string& err);
    // Closes everything and removes the link when it still points at our terminal.
    void Stop();

    const BusSpec& Spec() const { return m_spec; }
    CResponder* Responder() const { return m_resp.get(); }
    // "/dev/pts/N" of a pseudo-terminal, "host:port" (the actual port) of a listener.
    std::string Where() const;
    int Port() const { return m_port; }

    // Event loop: the descriptors to watch, then the events that occurred.
    void Fds(std::vector<pollfd>& fds) const;
    void Handle(const std::vector<pollfd>& fds);
    // Due replies and quiet-line handling; returns ms until the next deadline (-1 none).
    int Service();

    bool verbose = false;

private:
    struct Conn {
        int fd = -1;
        bool own = true;  // closed by us (not the pty master, which Stop closes)
        std::vector<uint8_t> in;
        Clock::time_point lastByte;
        struct Out {
            Clock::time_point due;
            std::vector<uint8_t> bytes;
        };
        std::vector<Out> out;
        bool dead = false;
    };
    void Receive(Conn& c);
    void Parse(Conn& c, bool gapExpired);
    void Flush(Conn& c, Clock::time_point now);
    void Dump(const char* dir, const uint8_t* p, size_t n) const;

    BusSpec m_spec;
    std::unique_ptr<CResponder> m_resp;
    int m_master = -1, m_slave = -1, m_listen = -1;
    int m_port = 0;
    std::string m_ptyPath;
    std::vector<std::unique_ptr<Conn>> m_conns;
    Clock::time_point m_nextReport;  // next unasked report of the responder
};

}  // namespace sim

#endif
