#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "sim/FrameResponders.h"

namespace sim {
namespace {

enum Tok { T_HEX, T_ADR, T_CMD, T_DAT, T_LEN, T_DLEN, T_CRC, T_SUM, T_XOR, T_NONE };

bool IsHexStart(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

Tok Kind(const std::string& t)
{
    if (!t.empty() && IsHexStart(t[0])) return T_HEX;
    if (t.compare(0, 4, "dlen") == 0) return T_DLEN;
    if (t.compare(0, 3, "adr") == 0) return T_ADR;
    if (t.compare(0, 3, "cmd") == 0) return T_CMD;
    if (t.compare(0, 3, "dat") == 0) return T_DAT;
    if (t.compare(0, 3, "len") == 0) return T_LEN;
    if (t.compare(0, 3, "crc") == 0) return T_CRC;
    if (t.compare(0, 3, "sum") == 0) return T_SUM;
    if (t.compare(0, 3, "xor") == 0) return T_XOR;
    return T_NONE;
}

std::vector<std::string> Split(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t sp = text.find(' ', start);
        out.push_back(text.substr(start, sp == std::string::npos ? std::string::npos : sp - start));
        if (sp == std::string::npos) break;
        start = sp + 1;
    }
    return out;
}

uint8_t Sum(const uint8_t* p, size_t n)
{
    unsigned s = 0;
    for (size_t i = 0; i < n; ++i) s += p[i];
    return static_cast<uint8_t>(s & 0xFF);
}

uint8_t Xor(const uint8_t* p, size_t n)
{
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i) x ^= p[i];
    return x;
}

// Bytes a token takes when its size does not depend on the frame (-1: dat).
int FixedSize(const std::string& t)
{
    switch (Kind(t)) {
    case T_HEX: return static_cast<int>(t.size() / 2);
    case T_ADR:
    case T_CMD:
    case T_LEN:
    case T_DLEN:
    case T_SUM:
    case T_XOR: return 1;
    case T_CRC: return 2;
    case T_DAT: return -1;
    default: return 0;
    }
}

bool ParseCode(const std::string& text, int& code)
{
    code = text.size() == 2 ? HexValue(text, 0, 2) : -1;
    return code >= 0;
}

}  // namespace

bool CCmdResponder::Build(const std::vector<std::string>& tokens, int chk0, int addr, int code,
                          const std::vector<uint8_t>& data, std::vector<uint8_t>& out)
{
    out.clear();
    int lenAt = -1;
    auto covered = [&]() { return static_cast<size_t>(chk0) < out.size() ? out.size() - static_cast<size_t>(chk0) : 0; };
    for (const std::string& t : tokens) {
        switch (Kind(t)) {
        case T_HEX: {
            std::vector<uint8_t> b = HexToBytes(t);
            out.insert(out.end(), b.begin(), b.end());
            break;
        }
        case T_ADR: out.push_back(static_cast<uint8_t>(addr)); break;
        case T_CMD: out.push_back(static_cast<uint8_t>(code)); break;
        case T_DAT: out.insert(out.end(), data.begin(), data.end()); break;
        case T_LEN:
            lenAt = static_cast<int>(out.size());
            out.push_back(0);
            break;
        case T_DLEN: out.push_back(static_cast<uint8_t>(data.size())); break;
        case T_CRC: {
            uint16_t crc = Crc16(out.data() + out.size() - covered(), covered());
            out.push_back(static_cast<uint8_t>(crc & 0xFF));
            out.push_back(static_cast<uint8_t>(crc >> 8));
            break;
        }
        case T_SUM: out.push_back(Sum(out.data() + out.size() - covered(), covered())); break;
        case T_XOR: out.push_back(Xor(out.data() + out.size() - covered(), covered())); break;
        case T_NONE:
            if (!t.empty()) return false;
            break;
        }
    }
    if (lenAt >= 0) out[static_cast<size_t>(lenAt)] = static_cast<uint8_t>(out.size());
    return true;
}

bool CCmdResponder::Setup(const BusSpec& bus, std::string& err)
{
    std::string req, rep;
    for (const auto& kv : bus.ext) {
        if (kv.first == "cmd.request") req = kv.second;
        else if (kv.first == "cmd.reply") rep = kv.second;
        else if (kv.first == "cmd.chk0") {
            char* end = nullptr;
            long v = std::strtol(kv.second.c_str(), &end, 10);
            if (kv.second.empty() || *end || v < 0 || v > 255) {
                err = "cmd.chk0: a byte offset expected";
                return false;
            }
            m_chk0 = static_cast<int>(v);
        } else {
            err = kv.first + ": unknown key (cmd.request, cmd.reply, cmd.chk0)";
            return false;
        }
    }
    if (req.empty() || rep.empty()) {
        err = "cmd.request and cmd.reply are needed";
        return false;
    }
    m_request = Split(req);
    m_reply = Split(rep);
    for (const auto* list : {&m_request, &m_reply})
        for (const std::string& t : *list)
            if (Kind(t) == T_NONE && !t.empty()) {
                err = "unknown template token '" + t + "'";
                return false;
            } else if (Kind(t) == T_HEX && t.size() % 2) {
                err = "odd number of hex digits in '" + t + "'";
                return false;
            }
    bool adr = false, cmd = false;
    for (const std::string& t : m_request) {
        adr = adr || Kind(t) == T_ADR;
        cmd = cmd || Kind(t) == T_CMD;
    }
    if (!adr || !cmd) {
        err = "cmd.request needs adr and cmd";
        return false;
    }
    return true;
}

bool CCmdResponder::Add(const SlaveSpec& spec, std::string& err)
{
    Slave sl;
    if (!NewSlave(spec, sl, err)) return false;
    for (const auto& kv : spec.ext) {
        const std::string& key = kv.first;
        int code = 0;
        if (key.compare(0, 8, "cmd.set.") == 0 && ParseCode(key.substr(8), code)) {
            char* end = nullptr;
            long r = std::strtol(kv.second.c_str(), &end, 10);
            if (kv.second.empty() || *end || r < 0 || sl.regs->Value(TB_HOLDING, static_cast<int>(r)) < 0) {
                err = key + ": a holding register of the slave expected";
                return false;
            }
            sl.sets[code] = static_cast<int>(r);
        } else if (key.compare(0, 4, "cmd.") == 0 && ParseCode(key.substr(4), code)) {
            if (!sl.replies[code].Parse(kv.second, *sl.regs, err)) {
                err = key + ": " + err;
                return false;
            }
        } else {
            err = key + ": unknown key (cmd.CC, cmd.set.CC)";
            return false;
        }
    }
    Keep(spec, std::move(sl));
    return true;
}

int CCmdResponder::Walk(const uint8_t* buf, size_t n, bool complete, int* addr, int* code,
                        std::vector<uint8_t>* data) const
{
    size_t pos = 0;
    int dlen = -1, lenVal = -1;
    for (size_t t = 0; t < m_request.size(); ++t) {
        const std::string& tok = m_request[t];
        Tok k = Kind(tok);
        if (k == T_NONE) continue;
        if (k == T_DAT) {
            size_t take;
            if (dlen >= 0) {
                take = static_cast<size_t>(dlen);
            } else {
                if (!complete) return 0;
                size_t rest = 0;
                for (size_t u = t + 1; u < m_request.size(); ++u) rest += static_cast<size_t>(std::max(0, FixedSize(m_request[u])));
                if (n < pos + rest) return -1;
                take = n - pos - rest;
            }
            if (pos + take > n) return 0;
            if (data) data->assign(buf + pos, buf + pos + take);
            pos += take;
            continue;
        }
        size_t size = static_cast<size_t>(FixedSize(tok));
        if (k == T_HEX) {
            std::vector<uint8_t> b = HexToBytes(tok);
            for (size_t i = 0; i < b.size(); ++i) {
                if (pos + i >= n) return 0;
                if (buf[pos + i] != b[i]) return -1;
            }
        }
        if (pos + size > n) return 0;
        const uint8_t* p = buf + pos;
        size_t from = static_cast<size_t>(m_chk0) < pos ? static_cast<size_t>(m_chk0) : pos;
        switch (k) {
        case T_ADR:
            if (addr) *addr = p[0];
            break;
        case T_CMD:
            if (code) *code = p[0];
            break;
        case T_DLEN: dlen = p[0]; break;
        case T_LEN: lenVal = p[0]; break;
        case T_CRC: {
            uint16_t crc = Crc16(buf + from, pos - from);
            if (p[0] != (crc & 0xFF) || p[1] != (crc >> 8)) return -1;
            break;
        }
        case T_SUM:
            if (p[0] != Sum(buf + from, pos - from)) return -1;
            break;
        case T_XOR:
            if (p[0] != Xor(buf + from, pos - from)) return -1;
            break;
        default: break;
        }
        pos += size;
    }
    if (lenVal >= 0 && static_cast<size_t>(lenVal) != pos) return -1;
    return static_cast<int>(pos);
}

int CCmdResponder::FrameLength(const uint8_t* buf, size_t n) const { return Walk(buf, n, false, nullptr, nullptr, nullptr); }

bool CCmdResponder::Answer(const uint8_t* req, size_t n, Reply& out)
{
    int addr = -1, code = -1;
    std::vector<uint8_t> data;
    if (Walk(req, n, true, &addr, &code, &data) != static_cast<int>(n)) return false;
    Slave* sl = Find(addr);
    if (!sl || m_specs[addr].fault == FAULT_SILENT) return false;
    auto set = sl->sets.find(code);
    auto rep = sl->replies.find(code);
    if (set == sl->sets.end() && rep == sl->replies.end()) return false;
    if (set != sl->sets.end() && !data.empty()) {
        int v = data.back();
        if (data.size() > 1) v |= data[data.size() - 2] << 8;
        sl->regs->Set(TB_HOLDING, set->second, v);
    }
    std::vector<uint8_t> body;
    if (rep != sl->replies.end()) body = HexToBytes(rep->second.Expand(*sl->regs));
    if (!Build(m_reply, m_chk0, addr, code, body, out.bytes)) return false;
    if (out.bytes.empty()) return false;
    if (m_specs[addr].fault == FAULT_BADCRC) out.bytes.back() = static_cast<uint8_t>(~out.bytes.back());
    out.delayMs = m_specs[addr].delayMs;
    return true;
}

std::unique_ptr<CResponder> MakeCmdResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves, std::string& err)
{
    auto r = std::make_unique<CCmdResponder>();
    if (!r->Setup(bus, err)) {
        err = "bus " + bus.name + ": " + err;
        return nullptr;
    }
    return WithSlaves(std::move(r), slaves, err);
}

}  // namespace sim
