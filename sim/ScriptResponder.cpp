#include "sim/ScriptResponder.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "sim/FrameResponders.h"

namespace sim {
namespace {

const char kRulePrefix[] = "script.";

// "script.N" -> N; -1 for any other key.
int RuleNumber(const std::string& key)
{
    size_t n = sizeof kRulePrefix - 1;
    if (key.size() <= n || strncasecmp(key.c_str(), kRulePrefix, n) != 0) return -1;
    char* end = nullptr;
    long v = std::strtol(key.c_str() + n, &end, 10);
    return (*end == 0 && v >= 0 && v < 1000000) ? static_cast<int>(v) : -1;
}

bool StartsWith(const std::string& s, const char* p) { return s.compare(0, std::strlen(p), p) == 0; }

int Nibble(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hex digits in pairs, blanks ignored.
bool ParseHex(const std::string& text, std::vector<uint8_t>& out)
{
    out.clear();
    int hi = -1;
    for (char c : text) {
        if (c == ' ') continue;
        int v = Nibble(c);
        if (v < 0) return false;
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<uint8_t>(hi << 4 | v));
            hi = -1;
        }
    }
    return hi < 0;
}

bool ParseMatch(const std::string& text, ScriptRule& r, std::string& err)
{
    std::string body;
    if (StartsWith(text, "text:") || StartsWith(text, "prefix:")) {
        r.prefix = StartsWith(text, "prefix:");
        if (!Unescape(text.substr(text.find(':') + 1), body)) return err = "bad escape in '" + text + "'", false;
        r.match.assign(body.begin(), body.end());
    } else if (StartsWith(text, "hex:") || StartsWith(text, "hexprefix:")) {
        r.prefix = StartsWith(text, "hexprefix:");
        if (!ParseHex(text.substr(text.find(':') + 1), r.match)) return err = "bad hex in '" + text + "'", false;
    } else {
        return err = "match must start with text:, prefix:, hex: or hexprefix:, got '" + text + "'", false;
    }
    if (r.match.empty()) return err = "empty match", false;
    return true;
}

bool ParseReply(const std::string& text, ScriptRule& r, std::string& err)
{
    if (text == "none") {
        r.kind = ScriptRule::R_NONE;
    } else if (StartsWith(text, "text:")) {
        r.kind = ScriptRule::R_TEXT;
        if (!Unescape(text.substr(5), r.reply)) return err = "bad escape in '" + text + "'", false;
    } else if (StartsWith(text, "hex:")) {
        r.kind = ScriptRule::R_HEX;
        if (!ParseHex(text.substr(4), r.bytes)) return err = "bad hex in '" + text + "'", false;
    } else if (StartsWith(text, "file:") && text.size() > 5) {
        r.kind = ScriptRule::R_FILE;
        r.reply = text.substr(5);
    } else {
        return err = "reply must be text:, hex:, file: or none, got '" + text + "'", false;
    }
    return true;
}

// Checks the placeholders of a text reply against the slave's registers.
bool CheckPlaceholders(const std::string& text, const CModbusSlave& regs, std::string& err)
{
    for (size_t at = text.find('{'); at != std::string::npos; at = text.find('{', at + 1)) {
        int reg = 0, dec = 0;
        char close = 0;
        int n = std::sscanf(text.c_str() + at, "{%d.%d%c", &reg, &dec, &close);
        if (n < 3) n = std::sscanf(text.c_str() + at, "{%d%c", &reg, &close) + 1;
        if (n < 3 || close != '}' || dec < 0 || dec > 6) return err = "bad placeholder in '" + text + "'", false;
        if (regs.Value(TB_HOLDING, reg) < 0) return err = "placeholder of a register the slave does not have", false;
    }
    return true;
}

std::string Expand(const std::string& text, const CModbusSlave& regs)
{
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t at = text.find('{', i);
        if (at == std::string::npos) at = text.size();
        out.append(text, i, at - i);
        if (at == text.size()) break;
        size_t close = text.find('}', at);
        int reg = 0, dec = 0;
        std::sscanf(text.c_str() + at, "{%d.%d", &reg, &dec);
        int v = static_cast<int16_t>(regs.Value(TB_HOLDING, reg));
        char num[48];
        if (dec > 0) {
            double div = 1;
            for (int d = 0; d < dec; ++d) div *= 10;
            std::snprintf(num, sizeof num, "%.*f", dec, v / div);
        } else {
            std::snprintf(num, sizeof num, "%d", v);
        }
        out += num;
        i = close + 1;
    }
    return out;
}

}  // namespace

bool Unescape(const std::string& text, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        case 'x': {
            int hi = i + 2 < text.size() ? Nibble(text[i + 1]) : -1;
            int lo = hi >= 0 ? Nibble(text[i + 2]) : -1;
            if (lo < 0) return false;
            out += static_cast<char>(hi << 4 | lo);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

bool CScriptResponder::Setup(const BusSpec& bus, std::string& err)
{
    for (const auto& kv : bus.ext) {
        if (kv.first == "script.end") {
            if (!Unescape(kv.second, m_end) || m_end.empty()) return err = "script.end: bad text", false;
        } else if (kv.first == "script.log") {
            m_log = kv.second;
        } else if (StartsWith(kv.first, kRulePrefix)) {
            return err = kv.first + ": unknown bus key (rules belong to slaves)", false;
        }
    }
    return true;
}

bool CScriptResponder::Add(const SlaveSpec& spec, std::string& err)
{
    auto regs = std::make_unique<CModbusSlave>(spec);
    if (!regs->Ok()) return err = "cannot set up the registers", false;
    std::vector<std::pair<int, ScriptRule>> rules;
    for (const auto& kv : spec.ext) {
        if (!StartsWith(kv.first, kRulePrefix)) continue;
        int num = RuleNumber(kv.first);
        if (num < 0) return err = kv.first + ": expected script.N", false;
        size_t arrow = kv.second.find(" => ");
        if (arrow == std::string::npos) return err = kv.first + ": expected 'MATCH => REPLY'", false;
        ScriptRule r;
        std::string e;
        if (!ParseMatch(kv.second.substr(0, arrow), r, e) || !ParseReply(kv.second.substr(arrow + 4), r, e) ||
            (r.kind == ScriptRule::R_TEXT && !CheckPlaceholders(r.reply, *regs, e)))
            return err = kv.first + ": " + e, false;
        r.slave = m_specs.size();
        r.name = spec.name + "." + std::to_string(num);
        rules.emplace_back(num, std::move(r));
    }
    std::stable_sort(rules.begin(), rules.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& r : rules) m_rules.push_back(std::move(r.second));
    m_specs.push_back(spec);
    m_regs.push_back(std::move(regs));
    return true;
}

int CScriptResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (m_end.empty() || n < m_end.size()) return 0;
    const uint8_t* e = reinterpret_cast<const uint8_t*>(m_end.data());
    const uint8_t* at = std::search(buf, buf + n, e, e + m_end.size());
    return at == buf + n ? 0 : static_cast<int>(at - buf + m_end.size());
}

const ScriptRule* CScriptResponder::Match(const uint8_t* req, size_t n) const
{
    const ScriptRule* best = nullptr;
    for (const ScriptRule& r : m_rules) {
        if (!r.prefix) {
            if (r.match.size() == n && std::equal(r.match.begin(), r.match.end(), req)) return &r;
        } else if (r.match.size() <= n && std::equal(r.match.begin(), r.match.end(), req) &&
                   (!best || r.match.size() > best->match.size())) {
            best = &r;
        }
    }
    return best;
}

bool CScriptResponder::Build(const ScriptRule& rule, std::vector<uint8_t>& out) const
{
    switch (rule.kind) {
    case ScriptRule::R_TEXT: {
        std::string s = Expand(rule.reply, RegsOf(rule));
        out.assign(s.begin(), s.end());
        return true;
    }
    case ScriptRule::R_HEX: out = rule.bytes; return true;
    case ScriptRule::R_FILE: {
        std::ifstream f(rule.reply, std::ios::binary);
        if (!f) return false;
        out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
        return true;
    }
    case ScriptRule::R_NONE: break;
    }
    return false;
}

bool CScriptResponder::Respond(const ScriptRule* rule, const uint8_t*, size_t, Reply& out)
{
    return rule && Build(*rule, out.bytes);
}

bool CScriptResponder::Answer(const uint8_t* req, size_t n, Reply& out)
{
    if (!m_log.empty()) {
        if (FILE* f = std::fopen(m_log.c_str(), "a")) {
            for (size_t i = 0; i < n; ++i) std::fprintf(f, i ? " %02x" : "%02x", req[i]);
            std::fputc('\n', f);
            std::fclose(f);
        }
    }
    const ScriptRule* rule = Match(req, n);
    if (rule && SpecOf(*rule).fault == FAULT_SILENT) return false;
    if (!Respond(rule, req, n, out)) return false;
    if (rule) {
        if (SpecOf(*rule).fault == FAULT_BADCRC && !out.bytes.empty())
            out.bytes.back() = static_cast<uint8_t>(~out.bytes.back());
        out.delayMs = SpecOf(*rule).delayMs;
    }
    return true;
}

void CScriptResponder::Tick()
{
    for (auto& r : m_regs) r->Tick();
}

std::unique_ptr<CResponder> MakeScriptResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                                std::string& err)
{
    auto r = std::make_unique<CScriptResponder>();
    if (!r->Setup(bus, err)) {
        err = "bus " + bus.name + ": " + err;
        return nullptr;
    }
    return WithSlaves(std::move(r), slaves, err);
}

}  // namespace sim
