// Alarm output devices built on the scripted responder (sim/ScriptResponder.h), so that the
// rules of their slaves (script.N) answer first and the devices' own answers fill the rest:
//   bus kind "gsm"      a GSM modem: AT commands end at CR; after "AT+CMGS=n" it prompts "> ",
//                       takes the PDU up to Ctrl-Z, appends it to gsm.capture as one hex line
//                       and confirms it when its length is n ("+CMS ERROR: 304" otherwise)
//   bus kind "dialler"  an alarm dialler unit: frames "AA len cmd payload xor 55"; a frame with
//                       a bad checksum or trailer stays unanswered
//   bus kind "panel"    a serial display panel: frames "A5 5A len ..." (or "5A A5 len ...") cut
//                       by their length byte; without rules it only logs them (script.log)
#ifndef QVSM_SIM_ALARMRESPONDERS_H
#define QVSM_SIM_ALARMRESPONDERS_H

#include <memory>
#include <string>
#include <vector>

#include "sim/ScriptResponder.h"

namespace sim {

// Bus keys: gsm.capture = PATH, gsm.log = PATH (every command appended as a text line),
// gsm.send = ok | error (the answer to a PDU of the right length, default ok). Built-in answers:
// OK to AT, ATZ, ATE0, AT+CMGF=0, AT+CMEE=2, AT+CFUN=1,1; +CSQ: 23,99; +CPIN: READY;
// +ESIMS: 1; +COPS: 0,0,"CHINA MOBILE"; +CSCA: "+8613800100500",145; ERROR to anything else.
class CGsmModemResponder : public CScriptResponder {
public:
    bool Setup(const BusSpec& bus, std::string& err);

    int FrameLength(const uint8_t* buf, size_t n) const override;
    bool InPdu() const { return m_pduLen >= 0; }
    // The built-in answer to one command line (without its CR).
    std::string Command(const std::string& line);
    // The answer to a PDU text (Ctrl-Z removed) against the length AT+CMGS named.
    std::string Pdu(const std::string& pdu);

protected:
    bool Respond(const ScriptRule* rule, const uint8_t* req, size_t n, Reply& out) override;

private:
    std::string m_capture, m_log;
    bool m_sendOk = true;
    int m_pduLen = -1;  // >= 0: waiting for a PDU of that many TPDU octets
    std::string m_pending;
    int m_ref = 0;
};

// Without a rule, a good request is answered with its command echoed and the payload its
// command has: status 02 -> 00 05 00 00, signal 06 -> 17, device id 01 -> 4 bytes, remote
// request 07 -> 20 zero bytes, inputs 33 -> 4 zero bytes, messages and uploads (11, 12, 14,
// 15) -> status byte 00, everything else -> none.
class CDiallerResponder : public CScriptResponder {
public:
    int FrameLength(const uint8_t* buf, size_t n) const override;
    // The built-in reply to a request frame; empty when the frame is bad.
    static std::vector<uint8_t> Default(const uint8_t* req, size_t n);

protected:
    bool Respond(const ScriptRule* rule, const uint8_t* req, size_t n, Reply& out) override;
};

// Frames are cut by their length byte, so that frames arriving together stay apart.
class CPanelResponder : public CScriptResponder {
public:
    int FrameLength(const uint8_t* buf, size_t n) const override;
};

std::unique_ptr<CResponder> MakeGsmModemResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                                  std::string& err);
std::unique_ptr<CResponder> MakeDiallerResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                                 std::string& err);
std::unique_ptr<CResponder> MakePanelResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                               std::string& err);

}  // namespace sim

#endif
