// A scripted responder (bus kind "script") for devices that talk in texts or bytes of their
// own: each request is matched against the rules of the bus's slaves and answered with the
// rule's reply. Devices that need more (state across requests, captured payloads) derive from
// CScriptResponder and override Respond.
//
// Bus keys:
//   script.end = TEXT    a request also ends right after TEXT (else at the bus gap)
//   script.log = PATH    every request is appended to PATH as one line of hex bytes
// Slave keys (rules, tried in section order and then by N; the first exact match wins, else
// the longest prefix match):
//   script.N = MATCH => REPLY
//   MATCH: text:TEXT (exact), prefix:TEXT, hex:HEX (exact), hexprefix:HEX
//   REPLY: text:TEXT, hex:HEX, file:PATH (the file's bytes, read at each request), none
// TEXT takes the escapes \r \n \t \\ \xHH; a text reply may hold {N} (holding register N as a
// signed decimal number) and {N.D} (register N divided by 10^D, with D decimals), so that the
// slave's drifting registers show in the replies. The slave's fault (silent, badcrc: last
// byte inverted) and delay apply.
#ifndef QVSM_SIM_SCRIPTRESPONDER_H
#define QVSM_SIM_SCRIPTRESPONDER_H

#include <memory>
#include <string>
#include <vector>

#include "sim/Responder.h"

namespace sim {

// TEXT with its escapes resolved; false when an escape is not understood.
bool Unescape(const std::string& text, std::string& out);

struct ScriptRule {
    bool prefix = false;
    std::vector<uint8_t> match;
    enum Kind { R_TEXT, R_HEX, R_FILE, R_NONE } kind = R_NONE;
    std::string reply;           // text (escapes resolved, placeholders kept) or file path
    std::vector<uint8_t> bytes;  // hex reply
    size_t slave = 0;            // index into the slaves
    std::string name;            // "slave.N", for messages
};

class CScriptResponder : public CResponder {
public:
    // false with err on a bad "script." bus key.
    bool Setup(const BusSpec& bus, std::string& err);
    // false with err on a bad rule.
    bool Add(const SlaveSpec& spec, std::string& err);

    int FrameLength(const uint8_t* buf, size_t n) const override;
    bool AnswerOnGap() const override { return true; }
    bool Answer(const uint8_t* req, size_t n, Reply& out) override;
    void Tick() override;

    // The rule a request matches, null when none does.
    const ScriptRule* Match(const uint8_t* req, size_t n) const;
    // A rule's reply with the current register values; false when there is none (R_NONE,
    // unreadable file).
    bool Build(const ScriptRule& rule, std::vector<uint8_t>& out) const;

protected:
    // Builds the reply to one request (rule null: nothing matched). The default answers with
    // the rule's reply; false: no reply.
    virtual bool Respond(const ScriptRule* rule, const uint8_t* req, size_t n, Reply& out);
    const SlaveSpec& SpecOf(const ScriptRule& rule) const { return m_specs[rule.slave]; }
    CModbusSlave& RegsOf(const ScriptRule& rule) const { return *m_regs[rule.slave]; }

private:
    std::string m_end;
    std::string m_log;
    std::vector<ScriptRule> m_rules;
    std::vector<SlaveSpec> m_specs;
    std::vector<std::unique_ptr<CModbusSlave>> m_regs;
};

std::unique_ptr<CResponder> MakeScriptResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                                std::string& err);

}  // namespace sim

#endif
