// Responders for devices with a protocol of their own: the infrared air-conditioner
// controller (bus kind "airc") and a serial JPEG camera (bus kind "camera"). Their settings
// are the "airc." and "camera." keys of the slave sections (see sim/README.md).
#ifndef QVSM_SIM_DEVICERESPONDERS_H
#define QVSM_SIM_DEVICERESPONDERS_H

#include <memory>
#include <string>
#include <vector>

#include "sim/FrameResponders.h"

namespace sim {

// Two-unit air-conditioner controller: Modbus-shaped frames (address, function, data, CRC-16
// low byte first) with functions of its own. Holding registers 0.. are its status words, sent
// low byte first:
//   function 4 (status block): byte count 2*W, then registers 0..W-1 (W = airc.words, 26)
//   function 9 (one byte):     byte count 1, the low byte of register 64
//   register 42, three data bytes (set-point, function 11 or another): the bytes become the
//     set temperature (low byte of register 2), the upper limit (its high byte) and the
//     running state (low byte of register 7) of unit 1; the request is echoed
//   function 8 on register 64 or 65 (output), one data byte: output 1 or 2 (low / high byte
//     of register 25); echoed
// Requests with a bad CRC or for another address stay unanswered.
struct AircSlave {
    std::unique_ptr<CModbusSlave> regs;
    int words = 26;
};

class CAircResponder : public CSlaveTable<AircSlave> {
public:
    bool Add(const SlaveSpec& spec, std::string& err);
    int FrameLength(const uint8_t* buf, size_t n) const override;
    bool AnswerOnGap() const override { return true; }
    bool Answer(const uint8_t* req, size_t n, Reply& out) override;

    int Word(AircSlave& sl, int reg) const;
    void SetByte(AircSlave& sl, int reg, bool high, int value);
};

// A serial camera serving the bytes of a JPEG file (read at every snapshot, at most 65535
// bytes). One camera per bus; its address is not used.
//   camera.file = PATH        the picture (required)
//   camera.model = vc0706     VC0706 command set (reset, resume/stop, write register, frame
//                             length, read frame); or 3ge: "UG3#" answered with "UG#", "UP",
//                             the length low byte first, "#" and the picture
//   camera.cut = N            truncated transfer: the picture stops after N bytes
//   camera.boot = 200         ms after the reset reply at which "Init end\r\n" follows
class CCameraResponder : public CResponder {
public:
    bool Add(const SlaveSpec& spec, std::string& err);
    int FrameLength(const uint8_t* buf, size_t n) const override;
    bool Answer(const uint8_t* req, size_t n, Reply& out) override;

private:
    bool Picture(std::vector<uint8_t>& out) const;

    bool m_have = false;
    bool m_3ge = false;
    std::string m_file;
    long m_cut = -1;
    int m_bootMs = 200;
    int m_delayMs = 0;
    Fault m_fault = FAULT_NONE;
};

std::unique_ptr<CResponder> MakeAircResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                              std::string& err);
std::unique_ptr<CResponder> MakeCameraResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                                std::string& err);

}  // namespace sim

#endif
