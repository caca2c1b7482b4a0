// Responders: the protocol side of a simulated bus. A responder cuts requests out of the
// byte stream a bus receives and builds the replies of the slaves it holds. Each protocol
// is one responder kind; a bus (pseudo-terminal or TCP listener) carries exactly one.
#ifndef QVSM_SIM_RESPONDER_H
#define QVSM_SIM_RESPONDER_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimConfig.h"

typedef struct _modbus modbus_t;
typedef struct _modbus_mapping_t modbus_mapping_t;

namespace sim {

struct Reply {
    std::vector<uint8_t> bytes;
    int delayMs = 0;
    // Further output of the same request, each part delayMs after the request (a device that
    // keeps talking after its answer).
    struct Part {
        int delayMs = 0;
        std::vector<uint8_t> bytes;
    };
    std::vector<Part> later;
};

class CResponder {
public:
    virtual ~CResponder() = default;
    // Length of the request at the start of buf: > 0 complete (may exceed n: wait for more),
    // 0 length not known yet, < 0 the first byte cannot start a request (drop it).
    virtual int FrameLength(const uint8_t* buf, size_t n) const = 0;
    // Whether bytes that never formed a complete request are handed to Answer once the line
    // has been quiet for the bus's gap (otherwise they are dropped).
    virtual bool AnswerOnGap() const { return false; }
    // Answers one request. false: no reply (unknown slave, silent slave, bad request).
    virtual bool Answer(const uint8_t* req, size_t n, Reply& out) = 0;
    // One drift step of every slave.
    virtual void Tick() {}
    // A device that sends by itself: every ReportMs() ms (0: never) the bus sends what Report
    // gives to every connection that has nothing pending.
    virtual int ReportMs() const { return 0; }
    virtual bool Report(Reply&) { return false; }
};

// A Modbus slave: its four tables in a libmodbus mapping, covering the configured
// registers, and their drift.
class CModbusSlave {
public:
    explicit CModbusSlave(const SlaveSpec& spec);
    ~CModbusSlave();
    CModbusSlave(const CModbusSlave&) = delete;
    CModbusSlave& operator=(const CModbusSlave&) = delete;

    bool Ok() const { return m_map != nullptr; }
    modbus_mapping_t* Map() const { return m_map; }
    const SlaveSpec& Spec() const { return m_spec; }
    void Tick();
    // Current value of a configured register or bit; -1 when it is outside the tables.
    int Value(Table table, int reg) const;
    // Sets a register or bit (a bit to 0 or 1); false when it is outside the tables.
    bool Set(Table table, int reg, int value);

private:
    uint16_t* Reg(Table table, int reg) const;
    uint8_t* Bit(Table table, int reg) const;

    SlaveSpec m_spec;
    std::vector<int> m_dir;  // drift direction per configured register
    modbus_mapping_t* m_map = nullptr;
};

// Modbus RTU (address, PDU, CRC-16 low byte first) or Modbus TCP (MBAP header). Replies are
// built by libmodbus from the addressed slave's mapping.
class CModbusResponder : public CResponder {
public:
    CModbusResponder(Protocol protocol, const std::vector<SlaveSpec>& slaves);
    ~CModbusResponder() override;

    bool Ok() const { return m_ctx != nullptr && m_ok; }
    int FrameLength(const uint8_t* buf, size_t n) const override;
    bool AnswerOnGap() const override { return !m_tcp; }
    bool Answer(const uint8_t* req, size_t n, Reply& out) override;
    void Tick() override;
    // The reply as from another address (fault wrongaddr): RTU address and CRC, or TCP unit id.
    void WrongAddr(std::vector<uint8_t>& reply) const;
    CModbusSlave* Slave(int addr) const;

private:
    bool m_tcp;
    bool m_ok = true;
    modbus_t* m_ctx = nullptr;
    int m_pair[2] = {-1, -1};  // libmodbus writes each reply into [0]; it is read back from [1]
    std::map<int, std::unique_ptr<CModbusSlave>> m_slaves;
};

// CRC-16/Modbus.
uint16_t Crc16(const uint8_t* buf, size_t n);

// The responder for a bus and the slaves configured on it; null with err on failure.
std::unique_ptr<CResponder> MakeResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves, std::string& err);

}  // namespace sim

#endif
