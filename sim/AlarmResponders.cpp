#include "sim/AlarmResponders.h"

#include <cstdio>
#include <cstdlib>

#include "sim/FrameResponders.h"

namespace sim {
namespace {

std::string HexLine(const uint8_t* p, size_t n)
{
    std::string s;
    char t[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(t, sizeof t, i ? " %02X" : "%02X", p[i]);
        s += t;
    }
    return s;
}

void AppendLine(const std::string& path, const std::string& line)
{
    if (path.empty()) return;
    if (FILE* f = std::fopen(path.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

std::string KeyOf(const std::map<std::string, std::string>& keys, const std::string& name, const char* def)
{
    auto it = keys.find(name);
    return it == keys.end() ? def : it->second;
}

// Hex digits, blanks ignored; empty when anything else is found or a digit is left over.
std::vector<uint8_t> Bytes(const std::string& text)
{
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != '\t') digits += c;
    if (digits.size() % 2) return {};
    std::vector<uint8_t> b;
    for (size_t i = 0; i < digits.size(); i += 2) {
        int v = HexValue(digits, i, 2);
        if (v < 0) return {};
        b.push_back(static_cast<uint8_t>(v));
    }
    return b;
}

Reply Text(const std::string& s)
{
    Reply r;
    r.bytes.assign(s.begin(), s.end());
    return r;
}

}  // namespace

// ---- GSM modem ---------------------------------------------------------------------------

CGsmModemResponder::CGsmModemResponder(const std::map<std::string, std::string>& keys) : m_keys(keys) {}

std::string CGsmModemResponder::Key(const char* name, const char* def) const
{
    return KeyOf(m_keys, std::string("gsm.") + name, def);
}

void CGsmModemResponder::Append(const std::string& path, const std::string& line) const { AppendLine(path, line); }

int CGsmModemResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (InPdu()) {
        for (size_t i = 0; i < n; ++i)
            if (buf[i] == 0x1A) return static_cast<int>(i + 1);
        return 0;
    }
    if (buf[0] == '\r' || buf[0] == '\n') return -1;
    for (size_t i = 0; i < n; ++i)
        if (buf[i] == '\r') return static_cast<int>(i + 1);
    return 0;
}

bool CGsmModemResponder::Answer(const uint8_t* req, size_t n, Reply& out)
{
    std::string s(req, req + n);
    std::string reply;
    if (InPdu()) {
        m_pending += s;
        size_t z = m_pending.find('\x1A');
        if (z == std::string::npos) return false;  // the rest of the PDU is still to come
        std::string pdu = m_pending.substr(0, z);
        m_pending.clear();
        reply = Pdu(pdu);
    } else {
        if (!s.empty() && s.back() == '\r') s.pop_back();
        reply = Command(s);
    }
    if (reply.empty()) return false;
    out = Text(reply);
    return true;
}

std::string CGsmModemResponder::Command(const std::string& line)
{
    Append(Key("log", ""), line);
    const std::string ok = "\r\nOK\r\n";
    auto is = [&line](const char* c) { return line == c; };
    if (is("AT") || is("ATZ") || is("ATE0") || is("AT+CMGF=0") || is("AT+CMEE=2") || is("AT+CFUN=1,1"))
        return ok;
    if (is("AT+CSQ")) return "\r\n+CSQ: " + Key("csq", "23") + ",99\r\n" + ok;
    if (is("AT+CPIN?")) return "\r\n+CPIN: " + Key("cpin", "READY") + "\r\n" + ok;
    if (is("AT+ESIMS?")) return "\r\n+ESIMS: " + Key("esims", "1") + "\r\n" + ok;
    if (is("AT+COPS?")) {
        std::string op = Key("operator", "CHINA MOBILE");
        return "\r\n+COPS: 0" + (op.empty() ? std::string() : ",0,\"" + op + "\"") + "\r\n" + ok;
    }
    if (is("AT+CSCS=?")) return "\r\n+CSCS: (\"GSM\",\"UCS2\")\r\n" + ok;
    if (is("AT+CSCA?") || is("AT+CSCS=\"GSM\";+CSCA?"))
        return "\r\n+CSCA: \"" + Key("smsc", "+8613800100500") + "\",145\r\n" + ok;
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
    Append(Key("capture", ""), pdu);
    // A modem takes the service-centre part from the PDU's first octet; the rest must be the
    // length AT+CMGS named.
    std::vector<uint8_t> b = Bytes(pdu);
    int sca = b.empty() ? -1 : b[0];
    if (sca < 0 || static_cast<int>(pdu.size() / 2) - 1 - sca != stated) return "\r\n+CMS ERROR: 304\r\n";
    if (Key("send", "ok") != "ok") return "\r\nERROR\r\n";
    return "\r\n+CMGS: " + std::to_string(++m_ref) + "\r\n\r\nOK\r\n";
}

// ---- alarm dialler -----------------------------------------------------------------------

CDiallerResponder::CDiallerResponder(const std::map<std::string, std::string>& keys) : m_keys(keys) {}

int CDiallerResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (buf[0] != 0xAA) return -1;
    if (n < 3) return 0;
    return ((buf[1] << 8) | buf[2]) + 6;
}

bool CDiallerResponder::Answer(const uint8_t* req, size_t n, Reply& out)
{
    AppendLine(KeyOf(m_keys, "dialler.log", ""), HexLine(req, n));
    if (n < 6 || req[n - 1] != 0x55) return false;
    uint8_t x = 0;
    for (size_t i = 3; i < n - 2; ++i) x ^= req[i];
    if (x != req[n - 2]) return false;
    uint8_t cmd = req[3];
    std::vector<uint8_t> data;
    switch (cmd) {
    case 0x01: data = {0x00, 0x00, 0x0B, 0xB8}; break;
    case 0x02: data = Bytes(KeyOf(m_keys, "dialler.status", "00 05 00 00")); break;
    case 0x06: data = {0x17}; break;
    case 0x07: data.assign(20, 0); break;
    case 0x11: case 0x12: case 0x14: case 0x15:
        data = Bytes(KeyOf(m_keys, "dialler.result", "00"));
        break;
    case 0x33: data = {0, 0, 0, 0}; break;
    default: break;
    }
    std::vector<uint8_t> f = {0xAA, static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size()), cmd};
    f.insert(f.end(), data.begin(), data.end());
    uint8_t c = cmd;
    for (uint8_t b : data) c ^= b;
    f.push_back(c);
    std::vector<uint8_t> tail = Bytes(KeyOf(m_keys, "dialler.trailer", "55"));
    f.push_back(tail.empty() ? 0x55 : tail[0]);
    out.bytes = f;
    return true;
}

// ---- display panel -----------------------------------------------------------------------

int CPanelResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (buf[0] != 0xA5 && buf[0] != 0x5A) return -1;
    if (n < 3) return 0;
    return buf[2] + 3;
}

bool CPanelResponder::Answer(const uint8_t* req, size_t n, Reply&)
{
    AppendLine(KeyOf(m_keys, "panel.log", ""), HexLine(req, n));
    return false;
}

}  // namespace sim
