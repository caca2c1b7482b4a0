// Alarm output devices: a GSM modem answering AT commands that captures each PDU it is sent
// (bus kind "gsm"), an alarm dialler unit with the "AA len cmd payload xor 55" frames (bus kind
// "dialler") and a serial display panel that only logs what it receives (bus kind "panel").
// They need no slave sections; their settings are bus keys (see sim/README.md).
#ifndef QVSM_SIM_ALARMRESPONDERS_H
#define QVSM_SIM_ALARMRESPONDERS_H

#include <map>
#include <memory>
#include <string>

#include "sim/Responder.h"

namespace sim {

// Keys: gsm.capture = PATH (each PDU up to Ctrl-Z appended as one hex line), gsm.log = PATH
// (each command appended as a line), gsm.csq (23), gsm.cpin (READY), gsm.smsc (+8613800100500),
// gsm.operator (CHINA MOBILE; empty: not registered), gsm.esims (1), gsm.send = ok | error
// (the answer after a PDU, default ok).
class CGsmModemResponder : public CResponder {
public:
    explicit CGsmModemResponder(const std::map<std::string, std::string>& keys);

    int FrameLength(const uint8_t* buf, size_t n) const override;
    bool AnswerOnGap() const override { return true; }
    bool Answer(const uint8_t* req, size_t n, Reply& out) override;

    // The answer to one command line (without its CR); "" when none.
    std::string Command(const std::string& line);
    // A PDU as text (Ctrl-Z removed) against the length AT+CMGS named.
    std::string Pdu(const std::string& pdu);
    bool InPdu() const { return m_pduLen >= 0; }

private:
    std::string Key(const char* name, const char* def) const;
    void Append(const std::string& path, const std::string& line) const;

    std::map<std::string, std::string> m_keys;
    int m_pduLen = -1;  // >= 0: waiting for a PDU of that many TPDU octets
    std::string m_pending;
    int m_ref = 0;
};

// Keys: dialler.log = PATH (each request appended as a hex line), dialler.status = hex
// (payload of the status reply, default 00 05 00 00), dialler.result = hex (status byte of
// messages and uploads, default 00), dialler.trailer = hex (last reply byte, default 55).
class CDiallerResponder : public CResponder {
public:
    explicit CDiallerResponder(const std::map<std::string, std::string>& keys);

    int FrameLength(const uint8_t* buf, size_t n) const override;
    bool Answer(const uint8_t* req, size_t n, Reply& out) override;

private:
    std::map<std::string, std::string> m_keys;
};

// Keys: panel.log = PATH (each frame "A5 5A len ..." appended as a hex line). Never answers.
class CPanelResponder : public CResponder {
public:
    explicit CPanelResponder(const std::map<std::string, std::string>& keys) : m_keys(keys) {}

    int FrameLength(const uint8_t* buf, size_t n) const override;
    bool AnswerOnGap() const override { return true; }
    bool Answer(const uint8_t* req, size_t n, Reply& out) override;

private:
    std::map<std::string, std::string> m_keys;
};

}  // namespace sim

#endif
