// Responders of devices with a behaviour of their own:
//
// Bus kind "dio": an input board that sends its 2-byte input state by itself, without being
// asked, every dio.every ms (bus key, default 200). The bytes are the low bytes of holding
// registers 0 and 1 of the bus's first slave (inputs are active low: a 0 bit is an active
// input). Requests are ignored.
//
// Bus kind "door": door access controllers answering 34-byte packets
//   7E, address (2 bytes, low first), command (2), 26 data bytes, sum of bytes 1..30 (2), 0D.
// Command 1081 is answered with the controller's latest access record; every other command
// with the same command and data byte 0 set to 0 (accepted). Slave keys:
//   door.N = REC CARD DOOR ST REASON YYYY-MM-DD HH:MM:SS    the access records, in order of N
//   door.repeat = K   each record is answered K times (default 2) before the next one becomes
//                     the latest; the last one stays
#ifndef QVSM_SIM_INPUTDOORRESPONDERS_H
#define QVSM_SIM_INPUTDOORRESPONDERS_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/Responder.h"

namespace sim {

class CDioResponder : public CResponder {
public:
    bool Setup(const BusSpec& bus, const std::vector<SlaveSpec>& slaves, std::string& err);

    int FrameLength(const uint8_t*, size_t) const override { return -1; }
    bool Answer(const uint8_t*, size_t, Reply&) override { return false; }
    void Tick() override;
    int ReportMs() const override { return m_everyMs; }
    bool Report(Reply& out) override;

private:
    std::unique_ptr<CModbusSlave> m_regs;
    int m_everyMs = 200;
};

struct DoorRecord {
    int rec = 0, card = 0, door = 0, st = 0, reason = 0;
    int year = 2000, month = 1, day = 1, hour = 0, min = 0, sec = 0;
};

// "REC CARD DOOR ST REASON YYYY-MM-DD HH:MM:SS"; false when it does not parse or a field does
// not fit the packet (card word above 65535, year outside 2000..2127).
bool ParseDoorRecord(const std::string& text, DoorRecord& r);
// The 34-byte packet of a controller: address, command, data (26 bytes at most).
std::vector<uint8_t> DoorPacket(int addr, int cmd, const std::vector<uint8_t>& data);

class CDoorResponder : public CResponder {
public:
    bool Add(const SlaveSpec& spec, std::string& err);

    int FrameLength(const uint8_t* buf, size_t n) const override;
    bool Answer(const uint8_t* req, size_t n, Reply& out) override;

private:
    struct Slave {
        SlaveSpec spec;
        std::vector<DoorRecord> records;
        int repeat = 2;
        size_t asked = 0;  // record requests answered so far
    };
    std::map<int, Slave> m_slaves;
};

std::unique_ptr<CResponder> MakeInputDoorResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                                std::string& err);

}  // namespace sim

#endif
