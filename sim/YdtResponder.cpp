#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/FrameResponders.h"

namespace sim {
namespace {

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool IsHexText(const std::string& s, size_t len)
{
    if (s.size() != len) return false;
    for (char c : s)
        if (!IsHex(c)) return false;
    return true;
}

unsigned int LengthWord(unsigned int lenid)
{
    lenid &= 0xFFF;
    if (!lenid) return 0;
    unsigned int s = (lenid & 0xF) + ((lenid >> 4) & 0xF) + ((lenid >> 8) & 0xF);
    return (((~s + 1) & 0xF) << 12) | lenid;
}

unsigned int CharSum(const char* p, size_t n)
{
    unsigned int s = 0;
    for (size_t i = 0; i < n; ++i) s += static_cast<unsigned char>(p[i]);
    return (~s + 1) & 0xFFFF;
}

}  // namespace

int HexValue(const std::string& text, size_t at, size_t n)
{
    if (at + n > text.size()) return -1;
    int v = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (!IsHex(text[i])) return -1;
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        v = v * 16 + (c <= '9' ? c - '0' : c - 'A' + 10);
    }
    return v;
}

std::vector<uint8_t> HexToBytes(const std::string& text)
{
    std::vector<uint8_t> b;
    for (size_t i = 0; i + 1 < text.size(); i += 2) b.push_back(static_cast<uint8_t>(std::max(0, HexValue(text, i, 2))));
    return b;
}

std::string Upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// ---- data templates ----------------------------------------------------------------------

bool CDataTemplate::Parse(const std::string& text, const CModbusSlave& regs, std::string& err)
{
    m_pieces.clear();
    size_t digits = 0;
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        if (IsHex(c)) {
            if (m_pieces.empty() || m_pieces.back().reg >= 0) m_pieces.emplace_back();
            m_pieces.back().hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            ++digits;
            ++i;
            continue;
        }
        if (c != '{') {
            err = "unexpected '" + std::string(1, c) + "' in '" + text + "'";
            return false;
        }
        if (digits % 2) {
            err = "odd number of hex digits before a placeholder in '" + text + "'";
            return false;
        }
        size_t close = text.find('}', i);
        if (close == std::string::npos) {
            err = "unclosed placeholder in '" + text + "'";
            return false;
        }
        std::string inner = text.substr(i + 1, close - i - 1);
        Piece p;
        char* end = nullptr;
        long reg = std::strtol(inner.c_str(), &end, 10);
        if (end == inner.c_str() || reg < 0 || reg > 65535) {
            err = "bad register in {" + inner + "}";
            return false;
        }
        p.reg = static_cast<int>(reg);
        if (*end == ':') {
            ++end;
            if (*end == 'b' && end[1] == 0) {
                p.kind = 'b';
            } else if (*end == 'f') {
                p.kind = 'f';
                if (end[1]) {
                    char* e2 = nullptr;
                    long div = std::strtol(end + 1, &e2, 10);
                    if (*e2 || div < 1) {
                        err = "bad divisor in {" + inner + "}";
                        return false;
                    }
                    p.div = static_cast<int>(div);
                }
            } else {
                err = "unknown form in {" + inner + "} (N, N:b, N:f, N:fDIV)";
                return false;
            }
        } else if (*end) {
            err = "bad placeholder {" + inner + "}";
            return false;
        }
        if (regs.Value(TB_HOLDING, p.reg) < 0) {
            err = "{" + inner + "}: the slave has no holding register " + std::to_string(p.reg);
            return false;
        }
        m_pieces.push_back(p);
        i = close + 1;
    }
    if (digits % 2) {
        err = "odd number of hex digits in '" + text + "'";
        return false;
    }
    return true;
}

std::string CDataTemplate::Expand(const CModbusSlave& regs) const
{
    std::string out;
    char buf[16];
    for (const Piece& p : m_pieces) {
        if (p.reg < 0) {
            out += p.hex;
            continue;
        }
        int v = regs.Value(TB_HOLDING, p.reg);
        if (p.kind == 'b') {
            std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
        } else if (p.kind == 'f') {
            float f = static_cast<float>(static_cast<int16_t>(v & 0xFFFF)) / static_cast<float>(p.div);
            uint32_t bits = 0;
            std::memcpy(&bits, &f, sizeof bits);
            std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X", bits & 0xFF, (bits >> 8) & 0xFF, (bits >> 16) & 0xFF,
                          bits >> 24);
        } else {
            std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
        }
        out += buf;
    }
    return out;
}

// ---- YD/T 1363 ---------------------------------------------------------------------------

std::string CYdtResponder::Frame(const std::string& ver, int adr, const std::string& cid1, const std::string& cid2,
                                 const std::string& info)
{
    char head[32];
    std::snprintf(head, sizeof head, "%s%02X%s%s%04X", ver.c_str(), adr & 0xFF, cid1.c_str(), cid2.c_str(),
                  LengthWord(static_cast<unsigned int>(info.size())));
    std::string body = head + info;
    char chk[8];
    std::snprintf(chk, sizeof chk, "%04X\r", CharSum(body.data(), body.size()));
    return "~" + body + chk;
}

bool CYdtResponder::Add(const SlaveSpec& spec, std::string& err)
{
    Slave sl;
    if (!NewSlave(spec, sl, err)) return false;
    for (const auto& kv : spec.ext) {
        const std::string& key = kv.first;
        const std::string& v = kv.second;
        if (key.compare(0, 4, "ydt.") != 0) {
            err = key + ": not a key of a ydt bus";
            return false;
        }
        std::string rest = key.substr(4);
        if (rest == "ver" || rest == "cid1") {
            if (!IsHexText(v, 2)) {
                err = key + ": two hex digits expected";
                return false;
            }
            (rest == "ver" ? sl.ver : sl.cid1) = Upper(v);
        } else if (rest.compare(0, 4, "ctl.") == 0 && rest.size() > 4) {
            std::string info = Upper(rest.substr(4));
            int reg = -1, value = 0;
            char tail = 0;
            if (!IsHexText(info, info.size()) || info.size() % 2 ||
                std::sscanf(v.c_str(), "%d=%d%c", &reg, &value, &tail) != 2 || reg < 0 ||
                sl.regs->Value(TB_HOLDING, reg) < 0 || value < -32768 || value > 65535) {
                err = key + ": INFO in hex and 'REGISTER=VALUE' of a holding register of the slave expected";
                return false;
            }
            sl.controls[info] = Slave::Set{reg, value};
        } else if (rest.size() >= 2 && IsHexText(rest.substr(0, 2), 2) && (rest.size() == 2 || rest.substr(2) == ".rtn")) {
            std::string code = Upper(rest.substr(0, 2));
            if (rest.size() == 2) {
                if (!sl.cmds[code].info.Parse(v, *sl.regs, err)) {
                    err = key + ": " + err;
                    return false;
                }
            } else if (!IsHexText(v, 2)) {
                err = key + ": two hex digits expected";
                return false;
            } else if (code == "45") {
                sl.ctlRtn = Upper(v);
            } else {
                sl.cmds[code].rtn = Upper(v);
            }
        } else {
            err = key + ": unknown key (ydt.ver, ydt.cid1, ydt.CC, ydt.CC.rtn, ydt.ctl.INFO)";
            return false;
        }
    }
    Keep(spec, std::move(sl));
    return true;
}

int CYdtResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (n == 0) return 0;
    if (buf[0] != '~') return -1;
    for (size_t i = 1; i < n; ++i)
        if (buf[i] == '\r') return static_cast<int>(i + 1);
    return n > 4096 ? -1 : 0;  // no end in sight: drop the start
}

bool CYdtResponder::Answer(const uint8_t* req, size_t n, Reply& out)
{
    const char* f = reinterpret_cast<const char*>(req);
    if (n < 18 || f[0] != '~' || f[n - 1] != '\r') return false;
    for (size_t i = 1; i + 1 < n; ++i)
        if (!IsHex(f[i])) return false;
    const std::string text(f, n);
    int adr = HexValue(text, 3, 2);
    Slave* sl = Find(adr);
    if (!sl) return false;
    const SlaveSpec& spec = m_specs[adr];
    if (spec.fault == FAULT_SILENT) return false;
    if (Upper(std::string(f + 5, 2)) != sl->cid1) return false;

    std::string ver(f + 1, 2), cid2 = Upper(std::string(f + 7, 2));
    unsigned int length = static_cast<unsigned int>(HexValue(text, 9, 4));
    unsigned int lenid = length & 0xFFF;
    std::string rtn = "00", info;
    if (LengthWord(lenid) != length || lenid != n - 18) {
        rtn = "03";
    } else if (static_cast<unsigned int>(HexValue(text, n - 5, 4)) != CharSum(f + 1, n - 6)) {
        rtn = "02";
    } else if (cid2 == "4F") {
        rtn = "00";
    } else if (Upper(ver) != sl->ver) {
        rtn = "01";
    } else if (cid2 == "45") {
        sl->lastControl = Upper(std::string(f + 13, lenid));
        auto it = sl->controls.find(sl->lastControl);
        if (!sl->controls.empty() && it == sl->controls.end()) {
            rtn = "06";
        } else {
            rtn = sl->ctlRtn;
            if (it != sl->controls.end() && rtn == "00") sl->regs->Set(TB_HOLDING, it->second.reg, it->second.value);
        }
    } else {
        auto it = sl->cmds.find(cid2);
        if (it == sl->cmds.end()) {
            rtn = "04";
        } else {
            rtn = it->second.rtn;
            info = it->second.info.Expand(*sl->regs);
        }
    }
    const int replyAdr = spec.fault == FAULT_WRONGADDR ? (adr + 1) & 0xFF : adr;
    std::string frame = Frame(sl->ver, replyAdr, sl->cid1, rtn, info);
    out.bytes.assign(frame.begin(), frame.end());
    if (spec.fault == FAULT_BADCRC) out.bytes[out.bytes.size() - 2] = static_cast<uint8_t>(out.bytes[out.bytes.size() - 2] == '0' ? '1' : '0');
    out.delayMs = spec.delayMs;
    return true;
}

std::unique_ptr<CResponder> MakeYdtResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves, std::string& err)
{
    if (!bus.ext.empty()) {
        err = "bus " + bus.name + ": " + bus.ext.begin()->first + ": a ydt bus has no keys of its own";
        return nullptr;
    }
    return WithSlaves(std::make_unique<CYdtResponder>(), slaves, err);
}

}  // namespace sim
