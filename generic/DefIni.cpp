#include "generic/DefIni.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "base/SMLog.h"

namespace {
const SimpleIni::KeyMap kNoKeys;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The point index a [flds.def] key stands for: decimal text without sign or leading zero,
// 1..cnt (exactly the keys that printing 1..cnt with "%d" produces).
bool PointIndex(const std::string& key, int cnt, int& index)
{
    if (key.empty() || key.size() > 10 || key[0] == '0') return false;
    long long v = 0;
    for (char c : key) {
        if (!IsDigit(c)) return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > cnt) return false;
    index = static_cast<int>(v);
    return true;
}
}  // namespace

SimpleIni::SimpleIni(const std::string& path)
{
    if (!path.empty() && !Load(path))
        throw std::runtime_error("Unable to open the file " + path + " in read mode.");
}

bool SimpleIni::Load(const std::string& path)
{
    Free();
    m_file = path;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    std::string line, section, pending;
    bool hasPending = false;
    int lineNo = 0;
    while (std::getline(in, line)) ParseLine(line, ++lineNo, section, pending, hasPending);
    return true;
}

void SimpleIni::LoadString(std::string_view text)
{
    Free();
    m_file.clear();
    std::string line, section, pending;
    bool hasPending = false;
    int lineNo = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        size_t end = lf == std::string_view::npos ? text.size() : lf;
        line.assign(text.substr(pos, end - pos));
        ParseLine(line, ++lineNo, section, pending, hasPending);
        pos = end + 1;
    }
}

void SimpleIni::ParseLine(std::string& line, int lineNo, std::string& section, std::string& pending, bool& hasPending)
{
    ParasitCar(line);
    if (line.empty()) return;

    if (line[0] == '[') {
        size_t close = line.find(']', 1);
        std::string_view name(line);
        name = name.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        section = Trim(name);
        if (hasPending) {
            m_desc[section][""] = pending;
            pending.clear();
            hasPending = false;
        }
        return;
    }

    std::string comment;
    size_t c = std::min(line.find(';'), line.find('#'));
    if (c == 0) {
        if (hasPending) pending += '\n';
        pending.append(line, 1, std::string::npos);
        hasPending = true;
        return;
    }
    if (c != std::string::npos) {
        comment.assign(line, c + 1, std::string::npos);
        line.resize(c);
    }

    std::string value;
    size_t eq = line.find('=');
    if (eq != std::string::npos) {
        value = Trim(std::string_view(line).substr(eq + 1));
        line.resize(eq);
    }
    std::string key = Trim(line);

    IniLine& l = m_sections[section][key];
    l.value = std::move(value);
    l.comment = std::move(comment);
    l.line = lineNo;
    if (hasPending) {
        m_desc[section][key] = pending;
        pending.clear();
        hasPending = false;
    }
}

void SimpleIni::Free()
{
    m_sections.clear();
    ++m_removals;
    ++m_changes;
}

const IniLine* SimpleIni::Find(std::string_view section, std::string_view key) const
{
    auto s = m_sections.find(section);
    if (s == m_sections.end()) return nullptr;
    auto k = s->second.find(key);
    return k == s->second.end() ? nullptr : &k->second;
}

const SimpleIni::KeyMap* SimpleIni::Section(std::string_view section) const
{
    auto s = m_sections.find(section);
    return s == m_sections.end() ? nullptr : &s->second;
}

std::string SimpleIni::GetValue(std::string_view section, std::string_view key, std::string_view def) const
{
    const IniLine* l = Find(section, key);
    return l ? l->value : std::string(def);
}

IniLine& SimpleIni::Slot(std::string_view section, std::string_view key)
{
    ++m_changes;
    auto s = m_sections.find(section);
    if (s == m_sections.end()) s = m_sections.emplace(std::string(section), KeyMap()).first;
    auto k = s->second.find(key);
    if (k == s->second.end()) k = s->second.emplace(std::string(key), IniLine()).first;
    return k->second;
}

void SimpleIni::SetValue(std::string_view section, std::string_view key, std::string_view value)
{
    Slot(section, key).value.assign(value.data(), value.size());
}

std::string SimpleIni::GetComment(std::string_view section, std::string_view key) const
{
    const IniLine* l = Find(section, key);
    return l ? l->comment : std::string();
}

void SimpleIni::SetComment(std::string_view section, std::string_view key, std::string_view text)
{
    Slot(section, key).comment.assign(text.data(), text.size());
}

std::string SimpleIni::GetDescription(std::string_view section, std::string_view key) const
{
    auto s = m_desc.find(section);
    if (s == m_desc.end()) return std::string();
    auto k = s->second.find(key);
    return k == s->second.end() ? std::string() : k->second;
}

void SimpleIni::DeleteKey(std::string_view section, std::string_view key)
{
    auto s = m_sections.find(section);
    if (s == m_sections.end()) return;
    ++m_removals;
    ++m_changes;
    if (key == "#all") {
        m_sections.erase(s);
        return;
    }
    auto k = s->second.find(key);
    if (k == s->second.end()) return;
    s->second.erase(k);
    if (s->second.empty()) m_sections.erase(s);
}

SimpleIni::KeyIterator SimpleIni::beginKey(std::string_view section) const
{
    const KeyMap* keys = Section(section);
    return keys ? keys->begin() : kNoKeys.begin();
}

SimpleIni::KeyIterator SimpleIni::endKey(std::string_view section) const
{
    const KeyMap* keys = Section(section);
    return keys ? keys->end() : kNoKeys.end();
}

namespace {
void WriteDescription(std::ostream& out, const std::string& text)
{
    size_t pos = 0;
    for (;;) {
        size_t lf = text.find('\n', pos);
        out << '#' << text.substr(pos, lf == std::string::npos ? std::string::npos : lf - pos) << '\n';
        if (lf == std::string::npos) break;
        pos = lf + 1;
    }
}
}  // namespace

bool SimpleIni::SaveAs(const std::string& path) const
{
    if (path.empty()) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return false;
    for (const auto& sec : m_sections) {
        auto desc = m_desc.find(sec.first);
        if (!sec.first.empty()) {
            if (desc != m_desc.end()) {
                auto d = desc->second.find(std::string_view());
                if (d != desc->second.end()) WriteDescription(out, d->second);
            }
            out << '[' << sec.first << "]\n";
        }
        for (const auto& key : sec.second) {
            if (desc != m_desc.end()) {
                auto d = desc->second.find(key.first);
                if (d != desc->second.end() && !key.first.empty()) WriteDescription(out, d->second);
            }
            out << key.first << '=' << key.second.value;
            if (!key.second.comment.empty()) out << ';' << key.second.comment;
            out << '\n';
        }
    }
    out.flush();
    return static_cast<bool>(out);
}

std::string SimpleIni::Trim(std::string_view text)
{
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return std::string(text.substr(b, e - b));
}

void SimpleIni::ParasitCar(std::string& line)
{
    if (!line.empty() && static_cast<unsigned char>(line.back()) < 32) line.pop_back();
}

bool SimpleIni::ParseLeadingInt(std::string_view text, long long& out)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    if (i >= text.size() || !IsDigit(text[i])) return false;
    unsigned long long v = 0;
    const unsigned long long limit = neg ? 9223372036854775808ULL : 9223372036854775807ULL;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        unsigned d = static_cast<unsigned>(text[i] - '0');
        if (v > (limit - d) / 10) return false;  // out of range
        v = v * 10 + d;
    }
    out = neg ? static_cast<long long>(0 - v) : static_cast<long long>(v);
    return true;
}

bool SimpleIni::IsInt(std::string_view text)
{
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i >= text.size()) return false;
    for (; i < text.size(); ++i)
        if (!IsDigit(text[i])) return false;
    return true;
}

bool SimpleIni::ParseLeadingDouble(const std::string& text, double& out)
{
    // The form a stream extraction accepts: [sign] digits [. digits] [e [sign] digits].
    size_t i = 0, n = text.size();
    while (i < n && IsSpace(text[i])) ++i;
    size_t start = i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < n && IsDigit(text[j])) {
            while (j < n && IsDigit(text[j])) ++j;
            i = j;
        }
    }
    std::string num = text.substr(start, i - start);
    out = std::strtod(num.c_str(), nullptr);
    return true;
}

std::string SimpleIni::FormatDouble(double v)
{
    std::ostringstream s;
    s << v;
    return s.str();
}

int GetBitState(const int* words, int count, int bit)
{
    if (!words || bit < 0 || bit / 32 >= count) return 0;
    return static_cast<int>((static_cast<unsigned int>(words[bit / 32]) >> (bit % 32)) & 1u);
}

int IndexPoints(SimpleIni& ini, int cnt)
{
    const SimpleIni::KeyMap* defs = ini.Section(SEC_FLDSDEF);
    if (!defs || cnt < 1) return 0;
    // Points in index order, as a loop over 1..cnt would visit them.
    std::vector<std::pair<int, const std::string*>> points;
    for (const auto& d : *defs) {
        int i = 0;
        if (PointIndex(d.first, cnt, i)) points.emplace_back(i, &d.second.value);
    }
    std::sort(points.begin(), points.end());

    int names = 0;
    for (const auto& p : points) {
        const std::string& line = *p.second;
        size_t q = line.find("',");
        if (q == std::string::npos) continue;
        std::string index = std::to_string(p.first);
        if (q >= 2 && q - 1 <= DEF_NAME_MAX) {
            ini.SetValue(SEC_FLDSVAL, std::string_view(line).substr(1, q - 1), index);
            ++names;
        } else if (q >= 2) {
            trace_sm_log("RtLog", "point %d: name over %d bytes left out\n", p.first, DEF_NAME_MAX);
        }
        // Divisor: between the fourth and the fifth comma.
        size_t c4 = std::string::npos, c5 = std::string::npos;
        int commas = 0;
        for (size_t k = 0; k < line.size(); ++k) {
            if (line[k] != ',') continue;
            ++commas;
            if (commas == 4) c4 = k;
            if (commas == 5) {
                c5 = k;
                break;
            }
        }
        if (c5 == std::string::npos) continue;
        std::string_view divisor = std::string_view(line).substr(c4 + 1, c5 - c4 - 1);
        if (divisor != "1") ini.SetValue(SEC_FLDSVAL, index, divisor);
    }
    return names;
}
