#include "sim/AlarmResponders.h"

#include <cstdio>
#include <cstdlib>

#include "sim/FrameResponders.h"

namespace sim {
namespace {

void AppendLine(const std::string& path, const std::string& line)
{
    if (path.empty()) return;
    if (FILE* f = std::fopen(path.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

// Hex digits to bytes; empty when anything else is found or a digit is left over.
std::vector<uint8_t> Bytes(const std::string& digits)
{
    if (digits.size() % 2) return {};
    std::vector<uint8_t> b;
    for (size_t i = 0; i < digits.size(); i += 2) {
        int v = HexValue(digits, i, 2);
        if (v < 0) return {};
        b.push_back(static_cast<uint8_t>(v));
    }
    return b;
}

template <class R>
std::unique_ptr<CResponder> Make(std::unique_ptr<R> r, const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                 std::string& err)
{
    if (!r->Setup(bus, err)) {
        err = "bus " + bus.name + ": " + err;
        return nullptr;
    }
    return WithSlaves(std::move(r), slaves, err);
}

}  // namespace

// ---- GSM modem ---------------------------------------------------------------------------

bool CGsmModemResponder::Setup(const BusSpec& bus, std::string& err)
{
    for (const auto& kv : bus.ext) {
        if (kv.first.compare(0, 4, "gsm.") != 0) continue;
        if (kv.first == "gsm.capture") m_capture = kv.second;
        else if (kv.first == "gsm.log") m_log = kv.second;
        else if (kv.first == "gsm.send" && (kv.second == "ok" || kv.second == "error")) m_sendOk = kv.second == "ok";
        else return err = kv.first + ": unknown key or value", false;
    }
    return CScriptResponder::Setup(bus, err);
}

int CGsmModemResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (InPdu()) {
        for (size_t i = 0; i < n; ++i)
            if (buf[i] == 0x1A) return static_cast<int>(i + 1);
        return 0;  // the rest comes later, or the gap hands it over
    }
    if (buf[0] == '\r' || buf[0] == '\n') return -1;
    for (size_t i = 0; i < n; ++i)
        if (buf[i] == '\r') return static_cast<int>(i + 1);
    return 0;
}

bool CGsmModemResponder::Respond(const ScriptRule* rule, const uint8_t* req, size_t n, Reply& out)
{
    std::string s(req, req + n);
    std::string reply;
    if (InPdu()) {
        m_pending += s;
        size_t z = m_pending.find('\x1A');
        if (z == std::string::npos) return false;
        reply = Pdu(m_pending.substr(0, z));
        m_pending.clear();
    } else {
        if (!s.empty() && s.back() == '\r') s.pop_back();
        AppendLine(m_log, s);
        if (rule && s.compare(0, 8, "AT+CMGS=") != 0) return CScriptResponder::Respond(rule, req, n, out);
        reply = Command(s);
    }
    out.bytes.assign(reply.begin(), reply.end());
    return !reply.empty();
}

std::string CGsmModemResponder::Command(const std::string& line)
{
    const std::string ok = "\r\nOK\r\n";
    auto is = [&line](const char* c) { return line == c; };
    if (is("AT") || is("ATZ") || is("ATE0") || is("AT+CMGF=0") || is("AT+CMEE=2") || is("AT+CFUN=1,1")) return ok;
    if (is("AT+CSQ")) return "\r\n+CSQ: 23,99\r\n" + ok;
    if (is("AT+CPIN?")) return "\r\n+CPIN: READY\r\n" + ok;
    if (is("AT+ESIMS?")) return "\r\n+ESIMS: 1\r\n" + ok;
    if (is("AT+COPS?")) return "\r\n+COPS: 0,0,\"CHINA MOBILE\"\r\n" + ok;
    if (is("AT+CSCS=?")) return "\r\n+CSCS: (\"GSM\",\"UCS2\")\r\n" + ok;
    if (is("AT+CSCA?") || is("AT+CSCS=\"GSM\";+CSCA?")) return "\r\n+CSCA: \"+8613800100500\",145\r\n" + ok;
    if (is("AT+CMEE?")) return "\r\n+CMEE: 2\r\n" + ok;
    if (is("AT+CMEE=?")) return "\r\n+CMEE: (0-2)\r\n" + ok;
    if (line.compare(0, 8, "AT+CMGS=") == 0) {
        int len = std::atoi(line.c_str() + 8);
        if (len <= 0) return "\r\nERROR\r\n";
        m_pduLen = len;
        return "\r\n> ";
    }
    return "\r\nERROR\r\n";
}

std::string CGsmModemResponder::Pdu(const std::string& pdu)
{
    int stated = m_pduLen;
    m_pduLen = -1;
    AppendLine(m_capture, pdu);
    // The service-centre part is 1 + the PDU's first octet; the rest is what AT+CMGS counts.
    std::vector<uint8_t> b = Bytes(pdu);
    if (b.empty() || static_cast<int>(b.size()) - 1 - b[0] != stated) return "\r\n+CMS ERROR: 304\r\n";
    if (!m_sendOk) return "\r\nERROR\r\n";
    return "\r\n+CMGS: " + std::to_string(++m_ref) + "\r\n\r\nOK\r\n";
}

std::unique_ptr<CResponder> MakeGsmModemResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                                  std::string& err)
{
    return Make(std::make_unique<CGsmModemResponder>(), bus, slaves, err);
}

// ---- alarm dialler -----------------------------------------------------------------------

int CDiallerResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (buf[0] != 0xAA) return -1;
    if (n < 3) return 0;
    return ((buf[1] << 8) | buf[2]) + 6;
}

std::vector<uint8_t> CDiallerResponder::Default(const uint8_t* req, size_t n)
{
    if (n < 6 || req[0] != 0xAA || req[n - 1] != 0x55 || static_cast<size_t>((req[1] << 8) | req[2]) + 6 != n) return {};
    uint8_t x = 0;
    for (size_t i = 3; i < n - 2; ++i) x ^= req[i];
    if (x != req[n - 2]) return {};
    uint8_t cmd = req[3];
    std::vector<uint8_t> data;
    switch (cmd) {
    case 0x01: data = {0x00, 0x00, 0x0B, 0xB8}; break;
    case 0x02: data = {0x00, 0x05, 0x00, 0x00}; break;
    case 0x06: data = {0x17}; break;
    case 0x07: data.assign(20, 0); break;
    case 0x11: case 0x12: case 0x14: case 0x15: data = {0x00}; break;
    case 0x33: data = {0, 0, 0, 0}; break;
    default: break;
    }
    std::vector<uint8_t> f = {0xAA, static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size()), cmd};
    f.insert(f.end(), data.begin(), data.end());
    uint8_t c = cmd;
    for (uint8_t d : data) c ^= d;
    f.push_back(c);
    f.push_back(0x55);
    return f;
}

bool CDiallerResponder::Respond(const ScriptRule* rule, const uint8_t* req, size_t n, Reply& out)
{
    std::vector<uint8_t> f = Default(req, n);
    if (f.empty()) return false;  // a unit ignores a frame it cannot check
    if (rule) return CScriptResponder::Respond(rule, req, n, out);
    out.bytes = f;
    return true;
}

std::unique_ptr<CResponder> MakeDiallerResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                                 std::string& err)
{
    return Make(std::make_unique<CDiallerResponder>(), bus, slaves, err);
}

// ---- display panel -----------------------------------------------------------------------

int CPanelResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (n < 2) return 0;
    if (!((buf[0] == 0xA5 && buf[1] == 0x5A) || (buf[0] == 0x5A && buf[1] == 0xA5))) return -1;
    return n < 3 ? 0 : buf[2] + 3;
}

std::unique_ptr<CResponder> MakePanelResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                               std::string& err)
{
    return Make(std::make_unique<CPanelResponder>(), bus, slaves, err);
}

}  // namespace sim
