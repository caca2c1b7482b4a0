// Responders for devices that are not Modbus: YD/T 1363 (bus kind "ydt") and devices with a
// byte protocol of their own described by frame templates (bus kind "cmd"). Their settings are
// the "ydt." and "cmd." keys of the bus and slave sections (see sim/README.md).
//
// Both keep each slave's values in the slave's holding registers (hold.N, with drift), and
// build reply data from data templates: hex digits (blanks ignored) and placeholders
//   {N}     holding register N as 4 hex digits (16 bits, high byte first)
//   {N:b}   its low byte as 2 hex digits
//   {N:f}   the register read as a signed 16-bit number, as an IEEE float (4 bytes, least
//           significant first: 8 hex digits); {N:f10} divides it by 10 first (any divisor)
#ifndef QVSM_SIM_FRAMERESPONDERS_H
#define QVSM_SIM_FRAMERESPONDERS_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/Responder.h"

namespace sim {

// Hex text: the value of n digits (-1 when one is not a hex digit), pairs of digits as bytes,
// and the text in upper case.
int HexValue(const std::string& text, size_t at, size_t n);
std::vector<uint8_t> HexToBytes(const std::string& text);
std::string Upper(std::string s);

// The slaves of a frame responder by address; a slave type S holds its registers in regs.
template <class S>
class CSlaveTable : public CResponder {
public:
    S* Find(int addr)
    {
        auto it = m_slaves.find(addr);
        return it == m_slaves.end() ? nullptr : &it->second;
    }
    void Tick() override
    {
        for (auto& kv : m_slaves) kv.second.regs->Tick();
    }

protected:
    // A slave with the registers of spec; false with err when they cannot be set up.
    static bool NewSlave(const SlaveSpec& spec, S& sl, std::string& err)
    {
        sl.regs = std::make_unique<CModbusSlave>(spec);
        if (!sl.regs->Ok()) err = "cannot set up the registers";
        return sl.regs->Ok();
    }
    void Keep(const SlaveSpec& spec, S&& sl)
    {
        m_specs[spec.addr] = spec;
        m_slaves[spec.addr] = std::move(sl);
    }
    std::map<int, S> m_slaves;
    std::map<int, SlaveSpec> m_specs;
};

// Adds every slave to r; null with "slave NAME: ..." in err when one is refused.
template <class R>
std::unique_ptr<CResponder> WithSlaves(std::unique_ptr<R> r, const std::vector<SlaveSpec>& slaves, std::string& err)
{
    for (const SlaveSpec& s : slaves) {
        std::string e;
        if (!r->Add(s, e)) {
            err = "slave " + s.name + ": " + e;
            return nullptr;
        }
    }
    return r;
}

// A data template, parsed once.
class CDataTemplate {
public:
    // false with err when the text holds anything but hex digits, blanks and placeholders,
    // an odd number of digits, or a placeholder of a register the slave does not have.
    bool Parse(const std::string& text, const CModbusSlave& regs, std::string& err);
    // The hex text with the current register values.
    std::string Expand(const CModbusSlave& regs) const;

private:
    struct Piece {
        std::string hex;  // literal digits (when reg < 0)
        int reg = -1;
        char kind = 'w';  // w word, b byte, f float
        int div = 1;
    };
    std::vector<Piece> m_pieces;
};

// YD/T 1363: "~" VER ADR CID1 CID2 LENGTH INFO CHKSUM "\r", all ASCII hex. A request with a bad
// LENGTH check nibble is answered with RTN 03, a bad CHKSUM with 02, a version other than the
// slave's with 01 (except the version query 4F), a command without a configured reply with
// 04, a control (45) whose INFO is not among the slave's ydt.ctl keys with 06 (when it has
// any). Requests for another address or another CID1 stay unanswered.
// Slave keys: ydt.ver (21), ydt.cid1 (60), ydt.CC = INFO template of the reply to CID2 CC,
// ydt.CC.rtn = its RTN (00), ydt.45.rtn = RTN of accepted controls, ydt.ctl.INFO = N=V: a
// control with that INFO sets holding register N to V.
struct YdtSlave {
    std::unique_ptr<CModbusSlave> regs;
    std::string ver = "21";
    std::string cid1 = "60";
    struct Cmd {
        std::string rtn = "00";
        CDataTemplate info;
    };
    std::map<std::string, Cmd> cmds;  // by CID2, upper-case
    std::string ctlRtn = "00";        // RTN of accepted controls (CID2 45)
    struct Set {
        int reg;
        int value;
    };
    std::map<std::string, Set> controls;  // control INFO (upper-case) -> register it sets
    std::string lastControl;              // INFO of the last control
};

class CYdtResponder : public CSlaveTable<YdtSlave> {
public:
    typedef YdtSlave Slave;
    // false with err on a bad "ydt." key.
    bool Add(const SlaveSpec& spec, std::string& err);

    int FrameLength(const uint8_t* buf, size_t n) const override;
    bool Answer(const uint8_t* req, size_t n, Reply& out) override;

    // A frame as the protocol builds it (the caller gives two-character texts).
    static std::string Frame(const std::string& ver, int adr, const std::string& cid1, const std::string& cid2,
                             const std::string& info);
};

// A byte protocol described by two frame templates of the bus (tokens as the module's command
// driver knows them: hex bytes, adr, cmd, dat, len, dlen, crc, sum, xor):
//   cmd.request  what a request looks like: fixed bytes must match, adr and cmd (one byte)
//                pick slave and command, dlen gives the length of dat, a checksum must match
//   cmd.reply    how a reply is built; dat is the command's reply data
//   cmd.chk0     first byte covered by checksums (both frames; default 0)
// Slave keys: cmd.CC = data template of the reply to command code CC (hex, upper-case);
// cmd.set.CC = N: a request with code CC stores its data (big-endian, last two bytes) in
// holding register N. A request that does not match, or names an unknown slave or command,
// stays unanswered.
struct CmdSlave {
    std::unique_ptr<CModbusSlave> regs;
    std::map<int, CDataTemplate> replies;  // by command code
    std::map<int, int> sets;               // command code -> register
};

class CCmdResponder : public CSlaveTable<CmdSlave> {
public:
    typedef CmdSlave Slave;

    // false with err on a bad template or key.
    bool Setup(const BusSpec& bus, std::string& err);
    bool Add(const SlaveSpec& spec, std::string& err);

    int FrameLength(const uint8_t* buf, size_t n) const override;
    bool AnswerOnGap() const override { return true; }
    bool Answer(const uint8_t* req, size_t n, Reply& out) override;

    // Builds a frame from a token list (the template split at blanks); false when a token is
    // not understood.
    static bool Build(const std::vector<std::string>& tokens, int chk0, int addr, int code,
                      const std::vector<uint8_t>& data, std::vector<uint8_t>& out);

private:
    // Walks the request template over buf: total length when known (0: more bytes needed or
    // not known before the line is quiet), -1 when the bytes cannot be a request.
    int Walk(const uint8_t* buf, size_t n, bool complete, int* addr, int* code, std::vector<uint8_t>* data) const;

    std::vector<std::string> m_request, m_reply;
    int m_chk0 = 0;
};

std::unique_ptr<CResponder> MakeYdtResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                             std::string& err);
std::unique_ptr<CResponder> MakeCmdResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                             std::string& err);

}  // namespace sim

#endif
