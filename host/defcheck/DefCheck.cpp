#include "host/defcheck/DefCheck.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "generic/DefIni.h"
#include "generic/SMModbus.h"
#include "generic/SMNormal.h"
#include "generic/SMSnmpPub.h"
#include "generic/SMYdt1363.h"

namespace {

// ---- what each driver kind reads -------------------------------------------------------------

enum KeyType { K_TEXT, K_INT };

struct DefKeySpec {
    const char* key;
    KeyType type;
};

class Checker;

struct DefKindSpec {
    DefKind kind;
    const DefKeySpec* comm;                  // [comm] keys of this kind besides the common ones
    bool controls;                           // reads Yk01, Yk02, ... from [comm]
    bool (*section)(const std::string& sec); // further sections it reads
    void (*check)(Checker& c);               // its own checks; null while there are none
};

// [comm] keys all four generic drivers read.
const DefKeySpec kCommonComm[] = {{"note", K_TEXT},   {"model", K_TEXT}, {"debug", K_INT}, {"delay", K_INT},
                                  {"timeout", K_INT}, {"mask", K_INT},   {"brief", K_TEXT}, {nullptr, K_TEXT}};
const DefKeySpec kModbusComm[] = {{"delayv", K_INT}, {"crc", K_INT}, {"DataByte", K_INT}, {nullptr, K_TEXT}};
const DefKeySpec kSnmpComm[] = {{"ver", K_INT}, {nullptr, K_TEXT}};
const DefKeySpec kYdtComm[] = {{"cid1", K_TEXT}, {"cid2", K_TEXT}, {"chk", K_INT}, {"dinfo", K_TEXT},
                               {"dmax", K_INT},  {"bak", K_INT},   {"ver", K_TEXT}, {nullptr, K_TEXT}};
const DefKeySpec kCmdComm[] = {{"cmds", K_TEXT}, {"SND", K_TEXT}, {"RCV", K_TEXT},   {"chk", K_INT}, {"chk0", K_INT},
                               {"dat0", K_INT},  {"dinfo", K_TEXT}, {"dmax", K_INT}, {nullptr, K_TEXT}};
const DefKeySpec kNoKeys[] = {{nullptr, K_TEXT}};

bool ModbusSection(const std::string& s) { return s == "regs1" || s == "regs2" || s == "regs3" || s == "regs4"; }
bool SnmpSection(const std::string& s) { return s == SEC_OIDS || s == SEC_VALSSTR || s == SEC_VALSEXT; }
// A per-command section: the command code in two hex digits and "H" ("42H").
bool CommandSection(const std::string& s)
{
    return s.size() == 3 && std::isxdigit(static_cast<unsigned char>(s[0])) &&
           std::isxdigit(static_cast<unsigned char>(s[1])) && s[2] == 'H';
}
bool NoSection(const std::string&) { return false; }

void CheckModbus(Checker& c);
void CheckYdt(Checker& c);
void CheckCmd(Checker& c);
void CheckSnmp(Checker& c);

const DefKindSpec kKinds[] = {
    {DEF_MODBUS, kModbusComm, true, ModbusSection, CheckModbus},
    {DEF_SNMP, kSnmpComm, false, SnmpSection, CheckSnmp},
    {DEF_YDT, kYdtComm, true, CommandSection, CheckYdt},
    {DEF_CMD, kCmdComm, true, CommandSection, CheckCmd},
    {DEF_UNKNOWN, kNoKeys, false, NoSection, nullptr},
};

const DefKindSpec& SpecOf(DefKind k)
{
    for (const DefKindSpec& s : kKinds)
        if (s.kind == k) return s;
    return kKinds[std::size(kKinds) - 1];
}

const DefKeySpec* FindKey(const DefKeySpec* table, const std::string& key)
{
    for (const DefKeySpec* k = table; k && k->key; ++k)
        if (key == k->key) return k;
    return nullptr;
}

bool SameIgnoringCase(const std::string& a, const char* b)
{
    return a.size() == std::strlen(b) && strncasecmp(a.c_str(), b, a.size()) == 0;
}

bool IsDigits(const std::string& v)
{
    return !v.empty() && std::all_of(v.begin(), v.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// A Modbus register key: table digit 0, 1, 3 or 4 and at least four digits.
bool IsRegKey(const std::string& k) { return k.size() >= 5 && IsDigits(k) && std::strchr("0134", k[0]); }

// The Yk key of control n as the driver forms it.
std::string YkKey(int n)
{
    char b[16];
    std::snprintf(b, sizeof b, "Yk%02d", n);
    return b;
}

// ---- the checker -----------------------------------------------------------------------------

class Checker {
public:
    explicit Checker(const std::string& text) : m_text(text) { ini.LoadString(text); }

    void Add(int line, const char* fmt, ...) __attribute__((format(printf, 3, 4)))
    {
        char buf[1024];
        va_list ap;
        va_start(ap, fmt);
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        va_end(ap);
        out.push_back(DefFinding{line < 1 ? 1 : line, buf});
    }
    int SecLine(const std::string& sec) const
    {
        auto it = headers.find(sec);
        return it == headers.end() ? 1 : it->second;
    }
    int KeyLine(const std::string& sec, const std::string& key) const
    {
        const IniLine* l = ini.Find(sec, key);
        return l ? l->line : SecLine(sec);
    }
    // A number key: findings when present but not a plain decimal integer.
    void CheckNumber(const std::string& sec, const std::string& key, const char* what)
    {
        const IniLine* l = ini.Find(sec, key);
        if (!l || SimpleIni::IsInt(l->value)) return;
        long long v = 0;
        if (SimpleIni::ParseLeadingInt(l->value, v))
            Add(l->line, "[%s] %s: '%s' is not a decimal number (%s reads it as %lld)", sec.c_str(), key.c_str(),
                l->value.c_str(), what, v);
        else
            Add(l->line, "[%s] %s: '%s' is not a decimal number (%s uses the default)", sec.c_str(), key.c_str(),
                l->value.c_str(), what);
    }
    int Cnt() const { return std::max(0, ini.GetValue<int>(SEC_FLDS, "cnt", 0)); }

    void ScanLines();
    void CheckEncoding();
    void CheckCommon(const DefKindSpec& spec);
    void CheckPoints();
    void CheckBrief();
    void CheckControls(bool tcpToo);

    SimpleIni ini;
    std::vector<DefFinding> out;
    std::map<std::string, int> headers;  // first header line of each section

private:
    const std::string& m_text;
};

// Yk controls: findings for keys the driver never forms and for empty texts; fn(key, text,
// line) for the others.
template <class F>
void ForControls(Checker& c, F fn)
{
    for (auto k = c.ini.beginKey(SEC_COMM); k != c.ini.endKey(SEC_COMM); ++k) {
        const std::string& key = k->first;
        if (key.compare(0, 2, "Yk") != 0) continue;
        const int line = k->second.line;
        std::string num = key.substr(2);
        if (!IsDigits(num) || num.size() > 5 || YkKey(std::atoi(num.c_str())) != key)
            c.Add(line, "control key '%s' is never used: controls are named Yk01, Yk02, ...", key.c_str());
        else if (k->second.value.empty())
            c.Add(line, "%s is empty: the control is refused", key.c_str());
        else
            fn(key, k->second.value, line);
    }
}

// [flds] of a driver whose points name [vals] keys: findings for unknown keys and for points
// without one (what: "value key", "reading"); fn(point, value key, line) for points 1..cnt.
template <class F>
void ForPoints(Checker& c, const char* what, F fn)
{
    const int cnt = c.Cnt();
    for (auto k = c.ini.beginKey(SEC_FLDS); k != c.ini.endKey(SEC_FLDS); ++k) {
        const std::string& key = k->first;
        const int line = k->second.line;
        if (key.empty() || key == "cnt" || key[0] == '[') continue;
        if (!IsDigits(key)) {
            c.Add(line, "unknown key '%s' in [flds] (cnt and point numbers)", key.c_str());
            continue;
        }
        int n = std::atoi(key.c_str());
        if (n < 1 || n > cnt) continue;  // CheckPoints
        if (k->second.value.empty())
            c.Add(line, "point %s has no %s: it has no value", key.c_str(), what);
        else
            fn(key, k->second.value, line);
    }
}

// [comm] dmax above the driver's reply buffer.
void CheckCommDmax(Checker& c, int max, const char* unit)
{
    const IniLine* dmax = c.ini.Find(SEC_COMM, "dmax");
    if (dmax && c.ini.GetValue<int>(SEC_COMM, "dmax", 200) > max)
        c.Add(dmax->line, "dmax=%s is above the %d-%s reply buffer: commands without their own dmax are refused",
              dmax->value.c_str(), max, unit);
}

// What the reader does silently and an author rarely means: keys outside sections, blank
// keys, indented headers, repeated keys, lines without "=".
void Checker::ScanLines()
{
    std::istringstream in(m_text);
    std::string line, section;
    std::map<std::pair<std::string, std::string>, int> seen;
    int no = 0;
    bool inSection = false;
    while (std::getline(in, line)) {
        ++no;
        SimpleIni::ParasitCar(line);
        if (line.empty()) continue;
        if (line[0] == '[') {
            size_t close = line.find(']', 1);
            if (close == std::string::npos) Add(no, "section header without ']'");
            section = SimpleIni::Trim(std::string_view(line).substr(1, close == std::string::npos ? std::string::npos : close - 1));
            headers.emplace(section, no);
            inSection = true;
            continue;
        }
        size_t c = std::min(line.find(';'), line.find('#'));
        if (c == 0) continue;
        if (c != std::string::npos) line.resize(c);
        size_t eq = line.find('=');
        std::string key = SimpleIni::Trim(std::string_view(line).substr(0, eq));
        if (key.empty()) {
            if (eq == std::string::npos)
                Add(no, "a line of blanks is read as a key with an empty name%s",
                    section == SEC_FLDSDEF ? ": it sorts first and stops the registration of every point" : "");
            else
                Add(no, "a key with an empty name");
            continue;
        }
        if (key[0] == '[') {
            Add(no, "'%s' is read as a key: a section header must start in the first column", key.c_str());
            continue;
        }
        if (!inSection) Add(no, "key '%s' comes before any section header and is never read", key.c_str());
        if (eq == std::string::npos) Add(no, "no '=' in the line: read as the key '%s' with an empty value", key.c_str());
        auto ins = seen.emplace(std::make_pair(section, key), no);
        if (!ins.second)
            Add(no, "[%s] %s repeats line %d; this later value is the one used", section.c_str(), key.c_str(),
                ins.first->second);
    }
}

// The module reads GBK: a file saved as UTF-8 shows garbled names and summaries.
void Checker::CheckEncoding()
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(m_text.data());
    const size_t n = m_text.size();
    int firstWide = 0, badGbk = 0;
    bool utf8 = true;
    // UTF-8 sequences.
    for (size_t i = 0; i < n;) {
        unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t len = (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3 : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
        bool ok = len && i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) ok = (p[i + k] & 0xC0) == 0x80;
        if (!ok) {
            utf8 = false;
            break;
        }
        i += len;
    }
    // GBK pairs.
    int line = 1;
    for (size_t i = 0; i < n;) {
        unsigned char b = p[i];
        if (b == '\n') ++line;
        if (b < 0x80) {
            ++i;
            continue;
        }
        if (!firstWide) firstWide = line;
        bool pair = b >= 0x81 && b <= 0xFE && i + 1 < n && p[i + 1] >= 0x40 && p[i + 1] <= 0xFE && p[i + 1] != 0x7F;
        if (!pair && !badGbk) badGbk = line;
        i += pair ? 2 : 1;
    }
    if (!firstWide) return;
    if (utf8)
        Add(firstWide, "the text is UTF-8; the module reads GBK (convert with: iconv -f UTF-8 -t GBK)");
    else if (badGbk)
        Add(badGbk, "bytes that are not GBK text");
}

void Checker::CheckCommon(const DefKindSpec& spec)
{
    // Sections.
    for (auto s = ini.beginSection(); s != ini.endSection(); ++s) {
        const std::string& name = s->first;
        if (name.empty()) continue;  // keys before any header: reported line by line
        if (name == SEC_COMM || name == SEC_FLDS || name == SEC_FLDSDEF || spec.section(name)) continue;
        if (name == SEC_VALS || name == SEC_FLDSVAL)
            Add(SecLine(name), "[%s] is filled by the driver at run time; what the file holds there is replaced",
                name.c_str());
        else
            Add(SecLine(name), "unknown section [%s]: the %s driver does not read it", name.c_str(),
                DefKindName(spec.kind));
    }

    // [comm] keys.
    for (auto k = ini.beginKey(SEC_COMM); k != ini.endKey(SEC_COMM); ++k) {
        const std::string& key = k->first;
        if (key.empty() || key[0] == '[') continue;  // reported by ScanLines
        const DefKeySpec* ks = FindKey(kCommonComm, key);
        if (!ks) ks = FindKey(spec.comm, key);
        if (ks) {
            if (ks->type == K_INT) CheckNumber(SEC_COMM, key, "the driver");
            continue;
        }
        if (spec.controls && key.compare(0, 2, "Yk") == 0) continue;  // CheckControls
        std::string hint;
        for (const DefKeySpec* t : {kCommonComm, spec.comm})
            for (const DefKeySpec* x = t; x->key; ++x)
                if (SameIgnoringCase(key, x->key)) hint = std::string(" (keys are case-sensitive: '") + x->key + "')";
        Add(k->second.line, "unknown key '%s' in [comm]%s", key.c_str(), hint.c_str());
    }
    const IniLine* note = ini.Find(SEC_COMM, "note");
    if (note && note->value.size() > DEF_NOTE_MAX)
        Add(note->line, "note is %zu bytes; the driver keeps %d (the rest is cut)", note->value.size(), DEF_NOTE_MAX);

    CheckNumber(SEC_FLDS, "cnt", "the driver");
    CheckPoints();
    CheckBrief();
}

// [flds] "1".."cnt" and the point definition lines of [flds.def].
void Checker::CheckPoints()
{
    const int cnt = Cnt();
    const bool hasCnt = ini.HasKey(SEC_FLDS, "cnt");
    if (!hasCnt && (ini.HasSection(SEC_FLDSDEF) || ini.HasSection(SEC_FLDS)))
        Add(SecLine(ini.HasSection(SEC_FLDS) ? SEC_FLDS : SEC_FLDSDEF), "[flds] has no cnt: the driver has no points");
    for (int i = 1; i <= cnt; ++i) {
        std::string n = std::to_string(i);
        if (!ini.HasKey(SEC_FLDS, n))
            Add(KeyLine(SEC_FLDS, "cnt"), "cnt=%d but [flds] has no key %d: point %d has no value", cnt, i, i);
        if (!ini.HasKey(SEC_FLDSDEF, n))
            Add(KeyLine(SEC_FLDS, "cnt"),
                "point %d has no definition line in [flds.def]: no catalogue row, no name, no limits", i);
    }
    for (auto k = ini.beginKey(SEC_FLDS); k != ini.endKey(SEC_FLDS); ++k)
        if (IsDigits(k->first) && (k->first.size() < 5) && std::atoi(k->first.c_str()) > cnt)
            Add(k->second.line, "[flds] %s is above cnt=%d and is never read", k->first.c_str(), cnt);

    for (auto k = ini.beginKey(SEC_FLDSDEF); k != ini.endKey(SEC_FLDSDEF); ++k) {
        const std::string& key = k->first;
        const std::string& def = k->second.value;
        int line = k->second.line;
        if (key.empty()) continue;  // reported by ScanLines
        if (!IsDigits(key)) {
            Add(line, "[flds.def] key '%s' is not a point number: the catalogue insert fails", key.c_str());
            continue;
        }
        if (key[0] == '0') {
            Add(line, "[flds.def] key '%s' starts with 0 and is registered as point 0", key.c_str());
            continue;
        }
        if (std::atoi(key.c_str()) > cnt)
            Add(line, "point definition %s is above cnt=%d: registered, but the driver has no value for it", key.c_str(),
                cnt);
        if (def.empty()) {
            Add(line, "point definition %s is empty and is not registered", key.c_str());
            continue;
        }

        // Fields as SQL reads them (commas inside quotes belong to the text).
        std::vector<std::string> fields;
        std::string cur;
        bool quoted = false;
        for (size_t i = 0; i < def.size(); ++i) {
            char ch = def[i];
            if (ch == '\'') {
                if (quoted && i + 1 < def.size() && def[i + 1] == '\'') {
                    cur += "''";
                    ++i;
                    continue;
                }
                quoted = !quoted;
            }
            if (ch == ',' && !quoted) {
                fields.push_back(SimpleIni::Trim(cur));
                cur.clear();
                continue;
            }
            cur += ch;
        }
        fields.push_back(SimpleIni::Trim(cur));
        if (quoted) Add(line, "point definition %s: a quote is not closed", key.c_str());
        else if (fields.size() != 10)
            Add(line, "point definition %s has %zu fields; a catalogue row needs 10 and the insert fails", key.c_str(),
                fields.size());

        // What the driver itself takes: the name up to the first "'," and the text between the
        // fourth and fifth comma, counted without regard to quotes.
        size_t q = def.find("',");
        if (def[0] != '\'' || q == std::string::npos) {
            Add(line, "point definition %s does not start with the quoted name ('name',...): the point has no name",
                key.c_str());
        } else if (q - 1 > DEF_NAME_MAX) {
            Add(line, "point name of %s is %zu bytes; at most %d are kept (the name is left out)", key.c_str(), q - 1,
                DEF_NAME_MAX);
        }
        std::vector<size_t> commas;
        for (size_t i = 0; i < def.size(); ++i)
            if (def[i] == ',') commas.push_back(i);
        if (commas.size() < 5) {
            Add(line, "point definition %s has fewer than five commas: no divisor is read", key.c_str());
            continue;
        }
        std::string divisor = def.substr(commas[3] + 1, commas[4] - commas[3] - 1);
        if (!quoted && fields.size() >= 5 && divisor != fields[4])
            Add(line,
                "point definition %s: a comma inside the name or note shifts the fields; the divisor is read as '%s' "
                "instead of '%s'",
                key.c_str(), divisor.c_str(), fields[4].c_str());
        else if (!IsDigits(divisor))
            Add(line, "point definition %s: divisor '%s' is not a number", key.c_str(), divisor.c_str());
    }
}

// Placeholders %n% and %nst% of the brief template.
void Checker::CheckBrief()
{
    const IniLine* b = ini.Find(SEC_COMM, "brief");
    if (!b) return;
    const std::string& t = b->value;
    const int cnt = Cnt();
    std::set<std::string> seen;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '%') continue;
        size_t j = i + 1;
        while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) ++j;
        if (j == i + 1) continue;
        bool st = t.compare(j, 3, "st%") == 0;
        if (!st && (j >= t.size() || t[j] != '%')) continue;
        std::string ph = t.substr(i, j - i + (st ? 3 : 1));
        long n = std::atol(t.substr(i + 1, j - i - 1).c_str());
        if (n < 1 || n > cnt)
            Add(b->line, "brief: %s names point %ld, %s; it stays in the summary", ph.c_str(), n,
                n < 1 ? "which does not exist" : ("above cnt=" + std::to_string(cnt)).c_str());
        else if (ini.GetValue(SEC_FLDS, std::to_string(n)).empty())
            Add(b->line, "brief: point %ld has no value key in [flds]; %s stays in the summary", n, ph.c_str());
        else if (!seen.insert(ph).second)
            Add(b->line, "brief: %s appears more than once; only the first is replaced", ph.c_str());
        i += ph.size() - 1;
    }
}

// Yk controls: the key as the driver forms it and a request that fits the 64-byte buffer.
void Checker::CheckControls(bool tcpToo)
{
    ForControls(*this, [&](const std::string& key, const std::string& v, int line) {
        int n = MbPduLen(v);
        if (n < 0)
            Add(line, "%s: '%s' is not a request in hex (two digits per byte, no separators)", key.c_str(), v.c_str());
        else if (n > MB_RTU_PDU_MAX)
            Add(line, "%s is %d bytes; a request holds at most %d (RTU) and it is refused", key.c_str(), n,
                MB_RTU_PDU_MAX);
        else if (tcpToo && n > MB_TCP_PDU_MAX)
            Add(line, "%s is %d bytes; over Modbus TCP at most %d fit and it is refused there", key.c_str(), n,
                MB_TCP_PDU_MAX);
    });
}

// ---- Modbus ----------------------------------------------------------------------------------

std::string RegKey(int fc, int number)
{
    char b[24];
    return MbRegKey(b, sizeof b, fc, number) < 0 ? std::string() : std::string(b);
}

void CheckModbus(Checker& c)
{
    SimpleIni& ini = c.ini;
    const bool byteMode = ini.GetValue<int>(SEC_COMM, "DataByte", 0) != 0;
    std::set<std::string> stored, formatsRead;
    std::map<std::string, std::string> halves;  // register read as part of another's value -> that key
    std::set<std::pair<int, int>> splitAt;      // (fc, address) whose split keys are looked up

    // The poll's walk over the blocks, without data.
    for (int fc = 1; fc <= 4; ++fc) {
        std::string sec = "regs" + std::to_string(fc);
        for (auto k = ini.beginKey(sec); k != ini.endKey(sec); ++k) {
            const std::string& key = k->first;
            const std::string& val = k->second.value;
            int line = k->second.line;
            int start = 0;
            if (key.find("bit") != std::string::npos) {
                std::string addr = key.substr(0, key.size() - 3);
                if (key.size() < 4 || key.compare(key.size() - 3, 3, "bit") != 0 || !IsDigits(addr))
                    c.Add(line, "[%s] %s is never used: bit splits are written <address>bit", sec.c_str(), key.c_str());
                else if (fc < 3)
                    c.Add(line, "[%s] %s: coils and inputs are not split", sec.c_str(), key.c_str());
                c.CheckNumber(sec, key, "the driver");
                int bytes = ini.GetValue<int>(sec, key, 0);
                if (bytes > (byteMode ? 1 : 2))
                    c.Add(line, "[%s] %s=%d: at most %d bits are split", sec.c_str(), key.c_str(), bytes,
                          byteMode ? 8 : 16);
                continue;
            }
            if (!MbBlockKey(key, start)) {
                c.Add(line, "[%s] %s is neither a block (address=count) nor a split key and is ignored", sec.c_str(),
                      key.c_str());
                continue;
            }
            size_t digits = 0;
            while (digits < key.size() && std::isdigit(static_cast<unsigned char>(key[digits]))) ++digits;
            std::string rest = key.substr(digits);
            if (!rest.empty() && rest != "HL")
                c.Add(line, "[%s] %s is read as a block at address %d ('%s' is ignored)", sec.c_str(), key.c_str(),
                      start, rest.c_str());
            if (rest == "HL" && fc < 3)
                c.Add(line, "[%s] %s: coils and inputs are not split into bytes", sec.c_str(), key.c_str());
            if (rest == "HL" && byteMode && fc >= 3)
                c.Add(line, "[%s] %s: there is no byte split with DataByte", sec.c_str(), key.c_str());
            c.CheckNumber(sec, key, "the driver");
            long long count = 0;
            SimpleIni::ParseLeadingInt(val, count);
            if (count == 0) continue;
            if (count < 0 || count > 65536 || !MbBlockFits(fc, start, static_cast<int>(count))) {
                if (count > (fc < 3 ? MB_MAX_BITS : MB_MAX_REGS))
                    c.Add(line, "[%s] %s=%s: a block reads at most %d %s; every poll fails", sec.c_str(), key.c_str(),
                          val.c_str(), fc < 3 ? MB_MAX_BITS : MB_MAX_REGS, fc < 3 ? "bits" : "registers");
                else
                    c.Add(line, "[%s] %s=%s: not a block of addresses 0..65535; every poll fails", sec.c_str(),
                          key.c_str(), val.c_str());
                continue;
            }
            if (fc < 3) {
                int bits = static_cast<int>((count + 7) / 8 * 8);  // every bit of every byte received
                for (int b = 0; b < bits; ++b) stored.insert(RegKey(fc, start + b + 1));
                continue;
            }
            const int avail = 2 * static_cast<int>(count);
            for (int j = 0; j < count; ++j) {
                std::string rk = RegKey(fc, start + j + 1);
                formatsRead.insert(rk);
                std::string fmt = ini.GetValue(SEC_FLDS, rk, "");
                MbFormat f = MbParseFormat(fmt);
                int need = MbTypeBytes(f.type, byteMode);
                int off = byteMode ? j : 2 * j;
                if (off + need > avail) {
                    c.Add(line,
                          "[%s] %s=%s: %s (format '%s') needs %d bytes past the end of the block; every poll fails",
                          sec.c_str(), key.c_str(), val.c_str(), rk.c_str(), fmt.c_str(), off + need - avail);
                    break;
                }
                stored.insert(rk);
                int extra = byteMode ? need - 1 : need / 2 - 1;
                for (int r = 1; r <= extra; ++r) halves.emplace(RegKey(fc, start + j + r + 1), rk);
                j += extra;
                int at = start + j;
                splitAt.insert({fc, at});
                int bits = ini.GetValue<int>(sec, std::to_string(at) + "bit", 0);
                bits = bits < 0 ? 0 : std::min(bits * 8, byteMode ? 8 : 16);
                for (int b = 0; b < bits; ++b) stored.insert(rk + "-" + std::to_string(b));
                if (!byteMode && ini.GetValue<int>(sec, std::to_string(at) + "HL", 0) != 0) {
                    stored.insert(rk + "-H");
                    stored.insert(rk + "-L");
                }
            }
        }
        // Bit splits keyed by an address where no value ends.
        for (auto k = ini.beginKey(sec); k != ini.endKey(sec); ++k) {
            const std::string& key = k->first;
            if (fc < 3 || key.size() < 4 || key.compare(key.size() - 3, 3, "bit") != 0) continue;
            std::string addr = key.substr(0, key.size() - 3);
            if (!IsDigits(addr) || addr.size() > 5 || splitAt.count({fc, std::atoi(addr.c_str())})) continue;
            std::string rk = RegKey(fc, std::atoi(addr.c_str()) + 1);
            if (stored.count(rk))
                c.Add(k->second.line,
                      "[%s] %s: the value at %s takes more than one address and is split by the key of its last "
                      "address; this split is never made",
                      sec.c_str(), key.c_str(), rk.c_str());
            else
                c.Add(k->second.line, "[%s] %s: no block reads a value at address %s; the split is never made",
                      sec.c_str(), key.c_str(), addr.c_str());
        }
    }

    // [flds]: point list and formats.
    const int cnt = c.Cnt();
    for (auto k = ini.beginKey(SEC_FLDS); k != ini.endKey(SEC_FLDS); ++k) {
        const std::string& key = k->first;
        const std::string& val = k->second.value;
        int line = k->second.line;
        if (key.empty() || key == "cnt" || key[0] == '[') continue;
        if (IsDigits(key) && key.size() < 5) {
            if (std::atoi(key.c_str()) > cnt || std::atoi(key.c_str()) < 1) continue;  // CheckPoints
            if (val.empty()) {
                c.Add(line, "point %s has no register key: it has no value", key.c_str());
            } else if (!stored.count(val)) {
                auto h = halves.find(val);
                if (h != halves.end())
                    c.Add(line, "point %s names %s, which is read as part of %s and holds no value of its own",
                          key.c_str(), val.c_str(), h->second.c_str());
                else
                    c.Add(line, "point %s names %s, which the poll never stores: it has no value", key.c_str(), val.c_str());
            }
            continue;
        }
        if (!IsRegKey(key)) {
            c.Add(line, "unknown key '%s' in [flds] (cnt, point numbers and register keys such as 40001)", key.c_str());
            continue;
        }
        if (key[0] == '0' || key[0] == '1') {
            c.Add(line, "[flds] %s: coils and inputs have no format", key.c_str());
            continue;
        }
        if (!formatsRead.count(key)) {
            auto h = halves.find(key);
            if (h != halves.end() && !stored.count(key))
                c.Add(line, "format of %s is never used: the register is read as part of %s", key.c_str(),
                      h->second.c_str());
            else if (h == halves.end())
                c.Add(line, "format of %s is never used: no block reads the register", key.c_str());
        }
        MbFormat f = MbParseFormat(val);
        if (!MbKnownType(f.type, byteMode))
            c.Add(line, "format '%s' of %s: unknown type letter '%c'; read as %s", val.c_str(), key.c_str(), f.type,
                  byteMode ? "one byte" : "unsigned 16-bit");
        if (f.scaled) {
            std::string txt(f.text);
            char* end = nullptr;
            std::strtod(txt.c_str(), &end);
            if (txt.empty() || !end || *end || !std::isdigit(static_cast<unsigned char>(txt[0])))
                c.Add(line, "format '%s' of %s: multiplier '%s' is not a number", val.c_str(), key.c_str(), txt.c_str());
            else if (val.size() >= 2 && !std::isdigit(static_cast<unsigned char>(val[0])) &&
                     !std::isdigit(static_cast<unsigned char>(val[1])))
                c.Add(line, "format '%s' of %s multiplies by %s: the '%c' after the type letter is dropped", val.c_str(),
                      key.c_str(), txt.c_str(), val[1]);
        }
    }

    c.CheckControls(true);
}

// ---- YD/T 1363 and command protocol ----------------------------------------------------------

bool IsHexText(const std::string& v)
{
    return std::all_of(v.begin(), v.end(), [](char ch) { return std::isxdigit(static_cast<unsigned char>(ch)) != 0; });
}
bool IsUpperHexText(const std::string& v)
{
    return std::all_of(v.begin(), v.end(), [](char ch) { return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F'); });
}

// The poll list of [comm] cid2 / cmds as the drivers walk it: two characters at 0, 3, 6, ...
// Findings for codes that are not two hex digits and separators that are digits.
std::vector<std::string> CodeList(Checker& c, const char* key, bool upperOnly)
{
    std::vector<std::string> codes;
    const IniLine* l = c.ini.Find(SEC_COMM, key);
    if (!l) return codes;
    const std::string& v = l->value;
    for (size_t p = 0; p < v.size(); p += 3) {
        std::string code = v.substr(p, 2);
        if (code.size() < 2 || !IsHexText(code)) {
            c.Add(l->line, "%s: '%s' at position %zu is not a two-digit hex code; that command is refused and the poll fails",
                  key, code.c_str(), p);
        } else if (upperOnly && !IsUpperHexText(code)) {
            c.Add(l->line, "%s: '%s' is sent as written; YD/T 1363 frames use upper-case hex", key, code.c_str());
        }
        if (p + 2 < v.size() && std::isxdigit(static_cast<unsigned char>(v[p + 2])))
            c.Add(l->line, "%s: '%c' after '%s' is taken as a separator; codes are separated by one character (42,44)",
                  key, v[p + 2], code.c_str());
        codes.push_back(code);
    }
    return codes;
}

// What the poll can store from one command section.
struct SectionPlan {
    std::set<int> skipped;       // item numbers marked to skip
    std::map<int, int> bits;     // item number -> bits expanded
};

// Keys of a command section. ydt: dflag/dcmd and "-X" skips; else cdat and "-" skips.
SectionPlan CheckCommandSection(Checker& c, const std::string& sec, bool ydt)
{
    SectionPlan plan;
    const int replyMax = ydt ? static_cast<int>(CSMYdt1363::REPLY_MAX) : static_cast<int>(CSMNormal::REPLY_MAX);
    for (auto k = c.ini.beginKey(sec); k != c.ini.endKey(sec); ++k) {
        const std::string& key = k->first;
        const std::string& v = k->second.value;
        const int line = k->second.line;
        if (key.empty() || key[0] == '[') continue;
        if (key == "dinfo") continue;
        if (ydt && key == "dfac") {
            // A floating-point multiplier ("0.5").
            double f = 0;
            if (!SimpleIni::ParseLeadingDouble(v, f))
                c.Add(line, "[%s] dfac: '%s' is not a number (the driver uses 1)", sec.c_str(), v.c_str());
            continue;
        }
        if (key == "dmax" || key == "dfac" || (ydt && key == "dflag")) {
            c.CheckNumber(sec, key, "the driver");
            long long n = 0;
            SimpleIni::ParseLeadingInt(v, n);
            if (key == "dmax" && n > replyMax)
                c.Add(line, "[%s] dmax=%lld is above the %d-%s reply buffer: the command is refused and every poll fails",
                      sec.c_str(), n, replyMax, ydt ? "character" : "byte");
            if (key == "dflag" && n < 0) c.Add(line, "[%s] dflag=%lld is taken as 0", sec.c_str(), n);
            continue;
        }
        if (ydt && key == "dcmd") {
            if (!IsUpperHexText(v))
                c.Add(line, "[%s] dcmd '%s' is sent as written; INFO is upper-case hex text", sec.c_str(), v.c_str());
            if (v.size() > CSMYdt1363::INFO_MAX)
                c.Add(line, "[%s] dcmd is %zu characters; a request holds at most %d: the command is refused",
                      sec.c_str(), v.size(), static_cast<int>(CSMYdt1363::INFO_MAX));
            continue;
        }
        if (!ydt && key == "cdat") {
            if (!IsHexText(v) || v.size() % 2)
                c.Add(line, "[%s] cdat '%s' is not hex bytes (two digits each)", sec.c_str(), v.c_str());
            continue;
        }
        if (IsDigits(key)) {
            int n = std::atoi(key.c_str());
            if (n < 1) {
                c.Add(line, "[%s] item %s: items are numbered from 1", sec.c_str(), key.c_str());
                continue;
            }
            if (!v.empty() && v[0] == '-') {
                if (ydt || v == "-") plan.skipped.insert(n);
                else
                    c.Add(line, "[%s] %s='%s': only '-' alone skips a field; this is read as a one-byte value",
                          sec.c_str(), key.c_str(), v.c_str());
            }
            continue;
        }
        if (key.size() > 3 && key.compare(key.size() - 3, 3, "bit") == 0 && IsDigits(key.substr(0, key.size() - 3))) {
            c.CheckNumber(sec, key, "the driver");
            int bytes = c.ini.GetValue<int>(sec, key, 0);
            if (bytes > 4) c.Add(line, "[%s] %s=%d: at most 32 bits are expanded", sec.c_str(), key.c_str(), bytes);
            plan.bits[std::atoi(key.c_str())] = bytes < 0 ? 0 : std::min(8 * bytes, 32);
            continue;
        }
        c.Add(line, "unknown key '%s' in [%s] (dinfo, dmax, dfac, %s, item types 1, 2, ... and bit counts 1bit, ...)",
              key.c_str(), sec.c_str(), ydt ? "dflag, dcmd" : "cdat");
    }
    for (const auto& b : plan.bits)
        if (plan.skipped.count(b.first))
            c.Add(c.KeyLine(sec, std::to_string(b.first) + "bit"), "[%s] item %d is skipped; its bits are never expanded",
                  sec.c_str(), b.first);
    return plan;
}

// Sections, their keys and the point list of a command-driven definition.
void CheckCommandPoll(Checker& c, const std::vector<std::string>& codes, bool ydt)
{
    std::map<std::string, SectionPlan> plans;
    for (const std::string& code : codes) {
        std::string sec = code + "H";
        if (!plans.count(sec)) plans[sec] = CheckCommandSection(c, sec, ydt);
    }
    for (auto s = c.ini.beginSection(); s != c.ini.endSection(); ++s)
        if (CommandSection(s->first) && !plans.count(s->first))
            c.Add(c.SecLine(s->first), "[%s] is never polled: its code is not in %s", s->first.c_str(),
                  ydt ? "cid2" : "cmds");

    ForPoints(c, "value key", [&](const std::string& key, const std::string& v, int line) {
        // <code>H<nn>[-<bit>]
        size_t dash = v.find('-');
        std::string sec = v.substr(0, 3), item = v.substr(3, dash == std::string::npos ? std::string::npos : dash - 3);
        auto plan = plans.find(sec);
        if (v.size() < 5 || !CommandSection(sec) || item.size() < 2 || !IsDigits(item) ||
            (dash != std::string::npos && !IsDigits(v.substr(dash + 1)))) {
            c.Add(line, "point %s names '%s', which the poll never stores (values are named like 42H01 and 42H01-3)",
                  key.c_str(), v.c_str());
        } else if (plan == plans.end()) {
            c.Add(line, "point %s names '%s', but %s is not polled", key.c_str(), v.c_str(), sec.c_str());
        } else if (plan->second.skipped.count(std::atoi(item.c_str()))) {
            c.Add(line, "point %s names '%s', an item that is skipped: it has no value", key.c_str(), v.c_str());
        } else if (dash != std::string::npos) {
            auto b = plan->second.bits.find(std::atoi(item.c_str()));
            int have = b == plan->second.bits.end() ? 0 : b->second;
            if (std::atoi(v.c_str() + dash + 1) >= have)
                c.Add(line, "point %s names bit %s, but %s expands %d bits of that item", key.c_str(),
                      v.c_str() + dash + 1, sec.c_str(), have);
        }
    });
}

void CheckYdt(Checker& c)
{
    SimpleIni& ini = c.ini;
    for (const char* key : {"cid1", "ver"}) {
        const IniLine* l = ini.Find(SEC_COMM, key);
        if (!l || (l->value.empty() && std::strcmp(key, "ver") == 0)) continue;
        if (l->value.size() != 2 || !IsHexText(l->value))
            c.Add(l->line, "%s '%s' is not two hex digits: every request is refused", key, l->value.c_str());
        else if (!IsUpperHexText(l->value))
            c.Add(l->line, "%s '%s' is sent as written; YD/T 1363 frames use upper-case hex", key, l->value.c_str());
    }
    CheckCommDmax(c, CSMYdt1363::REPLY_MAX, "character");
    std::vector<std::string> codes = CodeList(c, "cid2", true);
    for (const std::string& code : codes)
        if (code == "45" || code == "4F")
            c.Add(c.KeyLine(SEC_COMM, "cid2"), "cid2 polls %s, which is the %s", code.c_str(),
                  code == "45" ? "remote control" : "version query");
    CheckCommandPoll(c, codes, true);

    ForControls(c, [&](const std::string& key, const std::string& v, int line) {
        if (v.size() > CSMYdt1363::INFO_MAX)
            c.Add(line, "%s is %zu characters; a request holds at most %d: the control is refused", key.c_str(),
                  v.size(), static_cast<int>(CSMYdt1363::INFO_MAX));
        else if (!IsUpperHexText(v) || v.size() % 2)
            c.Add(line, "%s '%s' is sent as written; INFO is upper-case hex, two digits per byte", key.c_str(),
                  v.c_str());
    });
}

// Size of a request built from the template for a code and data of these many bytes; the
// findings about the template itself are made once (report).
int CmdFrameSize(Checker& c, const std::vector<std::string>& tokens, size_t codeBytes, size_t dataBytes, bool report,
                 int line)
{
    int n = 0, lenAt = -1;
    for (size_t t = 0; t < tokens.size(); ++t) {
        const std::string& tok = tokens[t];
        if (tok.empty()) continue;
        if ((tok[0] >= '0' && tok[0] <= '9') || (tok[0] >= 'A' && tok[0] <= 'F')) {
            if (report && tok.size() % 2) c.Add(line, "SND: '%s' has an odd number of digits; the last is ignored", tok.c_str());
            if (report && !IsHexText(tok))
                c.Add(line, "SND: '%s' holds characters that are not hex; they count as 0", tok.c_str());
            n += static_cast<int>(tok.size() / 2);
        } else if (tok.compare(0, 4, "dlen") == 0 || tok.compare(0, 3, "adr") == 0 || tok.compare(0, 3, "sum") == 0 ||
                   tok.compare(0, 3, "xor") == 0) {
            n += 1;
        } else if (tok.compare(0, 3, "len") == 0) {
            lenAt = n;
            n += 1;
        } else if (tok.compare(0, 3, "cmd") == 0) {
            n += static_cast<int>(codeBytes);
        } else if (tok.compare(0, 3, "dat") == 0) {
            n += static_cast<int>(dataBytes);
        } else if (tok.compare(0, 3, "crc") == 0) {
            n += 2;
        } else if (report) {
            if (std::isxdigit(static_cast<unsigned char>(tok[0])))
                c.Add(line, "SND: '%s' starts with a lower-case hex letter and adds nothing; write hex in upper case",
                      tok.c_str());
            else
                c.Add(line, "SND: unknown token '%s' adds nothing (hex, adr, cmd, dat, len, dlen, crc, sum, xor)",
                      tok.c_str());
        }
        bool chk = tok.compare(0, 3, "crc") == 0 || tok.compare(0, 3, "sum") == 0 || tok.compare(0, 3, "xor") == 0;
        if (report && chk && lenAt >= 0 && lenAt >= c.ini.GetValue<int>(SEC_COMM, "chk0", 0))
            c.Add(line, "SND: the checksum is built before the length byte is filled in and counts it as 0");
    }
    return n;
}

void CheckCmd(Checker& c)
{
    SimpleIni& ini = c.ini;
    const IniLine* snd = ini.Find(SEC_COMM, "SND");
    std::vector<std::string> tokens;
    if (!snd || snd->value.empty()) {
        c.Add(snd ? snd->line : c.SecLine(SEC_COMM), "SND is empty: the driver sends empty requests");
    } else {
        size_t start = 0;
        for (;;) {
            size_t sp = snd->value.find(' ', start);
            tokens.push_back(snd->value.substr(start, sp == std::string::npos ? std::string::npos : sp - start));
            if (sp == std::string::npos) break;
            start = sp + 1;
        }
    }
    const int sndLine = snd ? snd->line : c.SecLine(SEC_COMM);
    for (const char* key : {"chk0", "dat0"}) {
        const IniLine* l = ini.Find(SEC_COMM, key);
        if (l && ini.GetValue<int>(SEC_COMM, key, 0) < 0) c.Add(l->line, "%s=%s is taken as 0", key, l->value.c_str());
    }
    const IniLine* chk = ini.Find(SEC_COMM, "chk");
    const int chkBits = ini.GetValue<int>(SEC_COMM, "chk", 0);
    if (chk && (chkBits & ~3)) c.Add(chk->line, "chk=%d: only bit 0 (head) and bit 1 (tail) are used", chkBits);
    auto hexTok = [](const std::string& t) { return !t.empty() && ((t[0] >= '0' && t[0] <= '9') || (t[0] >= 'A' && t[0] <= 'F')); };
    if (chk && (chkBits & 1) && (tokens.empty() || !hexTok(tokens.front())))
        c.Add(chk->line, "chk bit 0: SND does not start with hex bytes, so there is no head to compare");
    if (chk && (chkBits & 2) && (tokens.empty() || !hexTok(tokens.back())))
        c.Add(chk->line, "chk bit 1: SND does not end with hex bytes, so there is no tail to compare");
    CheckCommDmax(c, CSMNormal::REPLY_MAX, "byte");

    std::vector<std::string> codes = CodeList(c, "cmds", false);
    CmdFrameSize(c, tokens, 1, 0, true, sndLine);
    for (const std::string& code : codes) {
        std::string cdat = ini.GetValue(code + "H", "cdat", "");
        int n = CmdFrameSize(c, tokens, code.size() / 2, cdat.size() / 2, false, sndLine);
        if (n > CSMBase::CMD_SIZE)
            c.Add(c.KeyLine(SEC_COMM, "cmds"), "the request of %s is %d bytes; at most %d fit and every poll fails",
                  code.c_str(), n, static_cast<int>(CSMBase::CMD_SIZE));
    }
    CheckCommandPoll(c, codes, false);

    ForControls(c, [&](const std::string& key, const std::string& v, int line) {
        size_t comma = v.find(',');
        std::string code = v.substr(0, comma), data = comma == std::string::npos ? "" : v.substr(comma + 1);
        if (code.empty() || !IsHexText(code) || code.size() % 2 || !IsHexText(data) || data.size() % 2) {
            c.Add(line, "%s '%s' is not a hex code with optional hex data (45 or 45,0101)", key.c_str(), v.c_str());
            return;
        }
        int n = CmdFrameSize(c, tokens, code.size() / 2, data.size() / 2, false, line);
        if (n > CSMBase::CMD_SIZE)
            c.Add(line, "%s makes a request of %d bytes; at most %d fit and the control is refused", key.c_str(), n,
                  static_cast<int>(CSMBase::CMD_SIZE));
    });
}

// ---- SNMP ------------------------------------------------------------------------------------

struct SnmpTable {
    int line;
    std::set<unsigned long> cols;  // the columns n for which ",n," occurs in the list
    std::set<int> slots;           // statistics slots enabled in [vals.ext] (1..32)
};

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// A reading the poll stores under a table prefix: "<row>_<col>" or "_<n>a/x/X". Empty when it
// is one; else why not.
std::string SnmpTableReading(const std::string& prefix, const SnmpTable& t, const std::string& rest)
{
    if (rest.size() >= 3 && rest[0] == '_' && std::strchr("axX", rest.back()) &&
        IsDigits(rest.substr(1, rest.size() - 2))) {
        int n = std::atoi(rest.substr(1, rest.size() - 2).c_str());
        if (n < 1 || n > CSMSnmpPub::STAT_SLOTS) return "statistics exist for slots 1 to 32 only";
        if (!t.slots.count(n)) return "[vals.ext] " + prefix + "." + std::to_string(n) + " is not set";
        return "";
    }
    size_t us = rest.find('_');
    if (us == std::string::npos || !IsDigits(rest.substr(0, us)) || !IsDigits(rest.substr(us + 1)))
        return "cells are named " + prefix + "<row>_<column>";
    if (!t.cols.count(std::strtoul(rest.c_str() + us + 1, nullptr, 10)))
        return "column " + rest.substr(us + 1) + " is not in the column list";
    return "";
}

void CheckSnmp(Checker& c)
{
    SimpleIni& ini = c.ini;
    const IniLine* ver = ini.Find(SEC_COMM, "ver");
    if (ver) {
        int v = ini.GetValue<int>(SEC_COMM, "ver", 0);
        if (v != 0 && v != 1)
            c.Add(ver->line, "ver=%s: 0 is SNMPv1 and 1 SNMPv2c; with any other version every request is refused",
                  ver->value.c_str());
    }
    if (!ini.HasSection(SEC_OIDS)) c.Add(1, "no [oids]: the poll reads nothing");

    // [oids]: scalar readings and table walks.
    std::map<std::string, int> scalars;
    std::map<std::string, SnmpTable> tables;
    for (auto k = ini.beginKey(SEC_OIDS); k != ini.endKey(SEC_OIDS); ++k) {
        const std::string& oid = k->first;
        const std::string& v = k->second.value;
        const int line = k->second.line;
        if (oid.empty() || oid[0] == '[') continue;
        if (!Snmp_pp::Oid(oid.c_str()).valid())
            c.Add(line, "[oids] '%s' is not a numeric object identifier (1.3.6.1...): every request for it fails",
                  oid.c_str());
        size_t colon = v.find(':');
        if (colon == std::string::npos) {
            if (v.empty()) {
                c.Add(line, "[oids] %s names no reading and is skipped", oid.c_str());
            } else if (!scalars.emplace(v, line).second) {
                c.Add(line, "[oids] %s stores '%s' like line %d: of the two, the key that sorts later wins", oid.c_str(),
                      v.c_str(), scalars[v]);
            }
            continue;
        }
        std::string prefix = v.substr(0, colon), list = v.substr(colon + 1);
        SnmpTable t{line, {}, {}};
        if (list.empty()) {
            c.Add(line, "[oids] %s: the column list is empty; only the row counter is stored", oid.c_str());
        } else if (list.front() != ',' || list.back() != ',') {
            c.Add(line, "[oids] %s: the column list '%s' must start and end with a comma (,2,3,); a column is found "
                  "only between two commas", oid.c_str(), list.c_str());
        }
        std::stringstream in(list);
        std::string col;
        while (std::getline(in, col, ',')) {
            if (col.empty()) continue;
            if (!IsDigits(col) || col == "0")
                c.Add(line, "[oids] %s: '%s' in the column list is not a column number", oid.c_str(), col.c_str());
            else
                t.cols.insert(std::strtoul(col.c_str(), nullptr, 10));
        }
        if (list.size() < 2 || list.front() != ',' || list.back() != ',') {
            // Only the inner columns are really found.
            std::set<unsigned long> inner;
            for (unsigned long n : t.cols)
                if (list.find("," + std::to_string(n) + ",") != std::string::npos) inner.insert(n);
            t.cols = inner;
        }
        if (prefix.empty()) c.Add(line, "[oids] %s: the table has no prefix; its cells are named like 1_2", oid.c_str());
        if (tables.count(prefix))
            c.Add(line, "[oids] %s: prefix '%s' is used by line %d too; the two walks overwrite each other's readings",
                  oid.c_str(), prefix.c_str(), tables[prefix].line);
        tables[prefix] = t;
    }
    for (const auto& s : scalars)
        if (tables.count(s.first))
            c.Add(s.second, "reading '%s' is also the row counter of the table on line %d", s.first.c_str(),
                  tables[s.first].line);

    // [vals.ext]: statistics slots per table.
    for (auto k = ini.beginKey(SEC_VALSEXT); k != ini.endKey(SEC_VALSEXT); ++k) {
        const std::string& key = k->first;
        const int line = k->second.line;
        if (key.empty() || key[0] == '[') continue;
        c.CheckNumber(SEC_VALSEXT, key, "the driver");
        size_t dot = key.rfind('.');
        std::string prefix = dot == std::string::npos ? key : key.substr(0, dot);
        std::string num = dot == std::string::npos ? "" : key.substr(dot + 1);
        int n = IsDigits(num) && num.size() < 4 ? std::atoi(num.c_str()) : 0;
        auto t = tables.find(prefix);
        if (dot == std::string::npos || t == tables.end()) {
            c.Add(line, "[vals.ext] %s: keys are <table prefix>.<slot>, and no table has the prefix '%s'", key.c_str(),
                  prefix.c_str());
            continue;
        }
        if (n < 1 || n > CSMSnmpPub::STAT_SLOTS) {
            c.Add(line, "[vals.ext] %s: slots are 1 to 32 (table rows 0 to 31); this one is never read", key.c_str());
            continue;
        }
        int v = ini.GetValue<int>(SEC_VALSEXT, key, 0);
        if (v != 0 && (v & 0xFF) == 0)
            c.Add(line, "[vals.ext] %s=%d: only the low 8 bits count, so the slot stays off", key.c_str(), v);
        if ((v & 0xFF) != 0) t->second.slots.insert(n);
    }
    for (const auto& t : tables)
        if (!t.second.slots.empty() && !t.second.cols.count(1))
            c.Add(t.second.line,
                  "statistics of '%s' without column 1 in the column list: the slots never restart, so minima start "
                  "at 0 and sums add to 0",
                  t.first.c_str());

    // [vals.str]: text readings.
    for (auto k = ini.beginKey(SEC_VALSSTR); k != ini.endKey(SEC_VALSSTR); ++k) {
        const std::string& key = k->first;
        const int line = k->second.line;
        if (key.empty() || key[0] == '[') continue;
        c.CheckNumber(SEC_VALSSTR, key, "the driver");
        int v = ini.GetValue<int>(SEC_VALSSTR, key, 0);
        if (scalars.count(key)) {
            if (v != 0 && v != 1)
                c.Add(line, "[vals.str] %s=%d: stored as text, but only 1 replaces its backslashes", key.c_str(), v);
            continue;
        }
        size_t dot = key.rfind('.');
        if (dot != std::string::npos && tables.count(key.substr(0, dot))) {
            const std::string prefix = key.substr(0, dot), col = key.substr(dot + 1);
            if (!IsDigits(col) || !tables[prefix].cols.count(std::strtoul(col.c_str(), nullptr, 10))) {
                c.Add(line, "[vals.str] %s: column %s is not in the column list of '%s'", key.c_str(), col.c_str(),
                      prefix.c_str());
                continue;
            }
            // The readings table looks cells up under their own key (bat3_4), never under bat.4.
            bool cellKeys = false;
            for (auto o = ini.beginKey(SEC_VALSSTR); o != ini.endKey(SEC_VALSSTR); ++o)
                cellKeys = cellKeys || (o->first.compare(0, prefix.size(), prefix) == 0 &&
                                        EndsWith(o->first, "_" + col) &&
                                        SnmpTableReading(prefix, tables[prefix], o->first.substr(prefix.size())).empty());
            if (!cellKeys)
                c.Add(line,
                      "[vals.str] %s replaces the backslashes of column %s, but tbSnmpDat looks each cell up under its "
                      "own key: add %s<row>_%s=1 for the rows to store as text (else they are stored as null)",
                      key.c_str(), col.c_str(), prefix.c_str(), col.c_str());
            continue;
        }
        bool cell = false;
        for (const auto& t : tables)
            if (key.compare(0, t.first.size(), t.first) == 0 && key.size() > t.first.size() &&
                SnmpTableReading(t.first, t.second, key.substr(t.first.size())).empty())
                cell = true;
        if (!cell) c.Add(line, "[vals.str] %s names no reading of [oids] and is never used", key.c_str());
    }

    // [flds]: the reading of every point.
    ForPoints(c, "reading", [&](const std::string& key, const std::string& v, int line) {
        if (scalars.count(v) || tables.count(v)) return;
        std::string why = "no [oids] entry stores it";
        for (const auto& t : tables) {
            if (v.compare(0, t.first.size(), t.first) != 0 || v.size() == t.first.size()) continue;
            std::string r = SnmpTableReading(t.first, t.second, v.substr(t.first.size()));
            if (r.empty()) {
                why.clear();
                break;
            }
            why = r;
        }
        if (!why.empty())
            c.Add(line, "point %s names '%s', which the poll never stores: %s", key.c_str(), v.c_str(), why.c_str());
    });
}

}  // namespace

// ---- entry points ----------------------------------------------------------------------------

const char* DefKindName(DefKind kind)
{
    switch (kind) {
    case DEF_MODBUS: return "modbus";
    case DEF_SNMP: return "snmp";
    case DEF_YDT: return "ydt1363";
    case DEF_CMD: return "cmd";
    default: return "unknown";
    }
}

bool DefKindParse(const std::string& name, DefKind& kind)
{
    for (DefKind k : {DEF_MODBUS, DEF_SNMP, DEF_YDT, DEF_CMD})
        if (name == DefKindName(k)) {
            kind = k;
            return true;
        }
    return false;
}

DefKind DefKindOfPath(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.size() < 7 || base.compare(0, 2, "SM") != 0 || base.compare(base.size() - 4, 4, ".def") != 0)
        return DEF_AUTO;
    std::string num = base.substr(2, base.size() - 6);
    if (!IsDigits(num) || num.size() > 9) return DEF_AUTO;
    switch (std::atoi(num.c_str()) & 0xFF00) {
    case 0x1000:
    case 0x1100: return DEF_SNMP;
    case 0x1200:
    case 0x1300: return DEF_MODBUS;
    case 0x1400:
    case 0x1500: return DEF_YDT;
    case 0x1600:
    case 0x1700: return DEF_CMD;
    default: return DEF_AUTO;
    }
}

namespace {
DefKind KindOfContent(const SimpleIni& ini)
{
    for (const char* s : {"regs1", "regs2", "regs3", "regs4"})
        if (ini.HasSection(s)) return DEF_MODBUS;
    if (ini.HasSection(SEC_OIDS)) return DEF_SNMP;
    if (ini.HasKey(SEC_COMM, "cid1") || ini.HasKey(SEC_COMM, "cid2")) return DEF_YDT;
    if (ini.HasKey(SEC_COMM, "cmds") || ini.HasKey(SEC_COMM, "SND")) return DEF_CMD;
    return DEF_UNKNOWN;
}
}  // namespace

std::vector<DefFinding> DefCheckText(const std::string& text, DefKind kind, DefKind* used)
{
    Checker c(text);
    if (kind == DEF_AUTO) kind = KindOfContent(c.ini);
    if (used) *used = kind;
    c.ScanLines();
    c.CheckEncoding();
    const DefKindSpec& spec = SpecOf(kind);
    if (kind == DEF_UNKNOWN)
        c.Add(1, "cannot tell the driver kind (no [regsN], [oids], cid1/cid2 or cmds/SND): only the common keys are "
                 "checked; name the file SM<code>.def or use --kind");
    c.CheckCommon(spec);
    if (spec.check) spec.check(c);
    std::stable_sort(c.out.begin(), c.out.end(), [](const DefFinding& a, const DefFinding& b) { return a.line < b.line; });
    return c.out;
}

int DefCheckFile(const std::string& path, DefKind kind, std::vector<std::string>& out)
{
    struct stat st;
    FILE* f = (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!f) {
        out.push_back(path + ": cannot be read");
        return 2;
    }
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) {
        out.push_back(path + ": cannot be read");
        return 2;
    }
    if (kind == DEF_AUTO) kind = DefKindOfPath(path);
    std::vector<DefFinding> found = DefCheckText(text, kind);
    for (const DefFinding& d : found) out.push_back(path + ":" + std::to_string(d.line) + ": " + d.text);
    return found.empty() ? 0 : 1;
}
