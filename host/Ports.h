// The host's ports: a termios serial line (real /dev/tty* or a pseudo-terminal) and a TCP
// client connection, both ISerBase over one file descriptor.
//
// Read(buf, cap, timeoutMs) waits up to timeoutMs for the first byte (0: the port's
// default time-out; negative: only what has already arrived), then keeps reading while
// bytes follow each other within the port's gap (PortCfg::GapUs), until cap bytes are
// stored. On a TCP connection a whole Modbus TCP frame answering the last request written
// (same transaction id, protocol 0, length field matching the bytes received) ends the read
// at once, without the gap.
//
// An I/O error or a peer that went away closes the port; IsOpen then reopens it, at most
// once per retry interval, so that a device server or a simulator that comes back is used
// again without a restart. Close() stops that until the next Open().
#ifndef QVSM_HOST_PORTS_H
#define QVSM_HOST_PORTS_H

#include <qvsm/qvsm.h>

#include <chrono>
#include <memory>
#include <string>

#include "host/HostConfig.h"

namespace host {

class CFdPort : public ISerBase {
public:
    explicit CFdPort(const PortCfg& cfg);
    virtual ~CFdPort();
    CFdPort(const CFdPort&) = delete;
    CFdPort& operator=(const CFdPort&) = delete;

    int Open(int flags) override;
    int Close() override;
    int IsOpen() override;
    int GetHandle() override { return m_fd; }
    // first: the gap that ends a read; total: the default read time-out (ms). 0 keeps a value.
    int SetTimeout(unsigned int first, unsigned int total) override;
    int Purge() override;
    int Read(unsigned char* buf, int cap, int timeoutMs) override;
    int Write(const unsigned char* buf, int len) override;
    int WriteStr(const char* text) override;

    const PortCfg& Cfg() const { return m_cfg; }
    int TimeoutMs() const { return m_timeoutMs; }
    int GapMs() const { return static_cast<int>((m_gapUs + 999) / 1000); }
    long GapUs() const { return m_gapUs; }
    const std::string& LastError() const { return m_error; }
    // Messages about the port going down and coming back go to stderr unless quiet.
    bool quiet = false;

protected:
    // Opens and configures the descriptor; -1 with m_error set on failure.
    virtual int DoOpen() = 0;
    virtual void DoPurge() = 0;
    virtual long DoWrite(const unsigned char* buf, size_t len) = 0;
    void Fail(const std::string& what);

    PortCfg m_cfg;
    int m_fd = -1;
    std::string m_error;

private:
    bool TryOpen();
    // Whether buf holds a whole reply to the last request (see above).
    bool Whole(const unsigned char* buf, int n);

    bool m_wanted = true;
    bool m_down = false;  // last attempt failed (reported once)
    int m_timeoutMs;
    long m_gapUs;
    unsigned char m_req[6] = {};  // head of the last request written
    bool m_mbtcp = false;         // it was a Modbus TCP frame
    std::chrono::steady_clock::time_point m_lastTry;
    bool m_tried = false;
};

class CSerialPort : public CFdPort {
public:
    explicit CSerialPort(const PortCfg& cfg) : CFdPort(cfg) {}
    unsigned int GetMode() override { return 0; }

protected:
    int DoOpen() override;
    void DoPurge() override;
    long DoWrite(const unsigned char* buf, size_t len) override;
};

class CTcpPort : public CFdPort {
public:
    explicit CTcpPort(const PortCfg& cfg) : CFdPort(cfg) {}
    unsigned int GetMode() override { return QVSM_MODE_TCP; }

protected:
    int DoOpen() override;
    void DoPurge() override;
    long DoWrite(const unsigned char* buf, size_t len) override;
};

std::unique_ptr<CFdPort> MakePort(const PortCfg& cfg);

}  // namespace host

#endif
