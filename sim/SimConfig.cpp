#define SI_IMPLEMENTATION  // the simulator's one SimpleIni translation unit
#include <SimpleIni.h>

#include "sim/SimConfig.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>

namespace sim {
namespace {

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool ParseInt(const std::string& text, long lo, long hi, int& out)
{
    std::string t = Trim(text);
    if (t.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(t.c_str(), &end, 0);
    if (errno || !end || *end || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

struct Ctx {
    const std::string& file;
    std::string& err;
    bool Fail(const char* section, const char* key, const std::string& what)
    {
        err = file + ": [" + section + "]" + (key ? std::string(" ") + key : std::string()) + ": " + what;
        return false;
    }
};

bool ParseListen(const std::string& text, BusSpec& bus)
{
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    bus.host = Trim(text.substr(0, colon));
    return !bus.host.empty() && ParseInt(text.substr(colon + 1), 0, 65535, bus.port);
}

// Keys of the YD/T 1363 and command responders, checked by them.
bool IsExtKey(const char* key) { return strncasecmp(key, "ydt.", 4) == 0 || strncasecmp(key, "cmd.", 4) == 0; }

std::string Lower(std::string s)
{
    for (char& ch : s) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    return s;
}

}  // namespace

bool ParseRegValue(const std::string& text, RegSpec& spec)
{
    std::string t = Trim(text);
    size_t tilde = t.find('~');
    std::string value = Trim(t.substr(0, tilde));
    if (!ParseInt(value, -32768, 65535, spec.value)) return false;
    if (spec.value < 0) spec.value += 65536;
    spec.step = 0;
    spec.lo = spec.hi = spec.value;
    if (tilde == std::string::npos) return true;
    std::string rest = Trim(t.substr(tilde + 1));
    size_t sp = rest.find_first_of(" \t");
    std::string step = rest.substr(0, sp);
    if (!ParseInt(step, -65535, 65535, spec.step)) return false;
    int span = 10 * std::abs(spec.step);
    spec.lo = spec.value - span < 0 ? 0 : spec.value - span;
    spec.hi = spec.value + span > 65535 ? 65535 : spec.value + span;
    if (sp == std::string::npos) return true;
    std::string range = Trim(rest.substr(sp));
    size_t dots = range.find("..");
    if (dots == std::string::npos) return false;
    if (!ParseInt(range.substr(0, dots), 0, 65535, spec.lo) || !ParseInt(range.substr(dots + 2), 0, 65535, spec.hi))
        return false;
    return spec.lo <= spec.value && spec.value <= spec.hi;
}

bool LoadSimConfig(const std::string& path, SimConfig& cfg, std::string& err)
{
    cfg = SimConfig();
    Ctx c{path, err};
    CSimpleIniA ini(false, false, false);
    if (ini.LoadFile(path.c_str()) < 0) {
        err = path + ": cannot read the file";
        return false;
    }

    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    std::set<std::string> busNames;

    for (const auto& s : sections) {
        const char* sec = s.pItem;
        std::string name(sec);
        CSimpleIniA::TNamesDepend keys;
        ini.GetAllKeys(sec, keys);
        keys.sort(CSimpleIniA::Entry::LoadOrder());
        auto get = [&](const char* key) -> const char* { return ini.GetValue(sec, key, nullptr); };

        if (strcasecmp(sec, "sim") == 0) {
            for (const auto& k : keys) {
                if (strcasecmp(k.pItem, "tick") == 0) {
                    if (!ParseInt(get("tick"), 1, 3600000, cfg.tickMs)) return c.Fail(sec, "tick", "not a number of ms");
                } else {
                    return c.Fail(sec, k.pItem, "unknown key");
                }
            }
        } else if (strncasecmp(sec, "bus.", 4) == 0 && name.size() > 4) {
            BusSpec bus;
            bus.name = name.substr(4);
            bool kindSeen = false, where = false;
            for (const auto& k : keys) {
                const char* key = k.pItem;
                std::string v = Trim(get(key));
                if (strcasecmp(key, "kind") == 0) {
                    kindSeen = true;
                    if (strcasecmp(v.c_str(), "rtu") == 0) bus.protocol = PROTO_MODBUS_RTU;
                    else if (strcasecmp(v.c_str(), "mbtcp") == 0) bus.protocol = PROTO_MODBUS_TCP;
                    else if (strcasecmp(v.c_str(), "ydt") == 0) bus.protocol = PROTO_YDT1363;
                    else if (strcasecmp(v.c_str(), "cmd") == 0) bus.protocol = PROTO_CMD;
                    else return c.Fail(sec, key, "unknown kind '" + v + "' (rtu, mbtcp, ydt, cmd)");
                } else if (strcasecmp(key, "pty") == 0) {
                    if (where) return c.Fail(sec, key, "pty and listen are exclusive");
                    where = true;
                    bus.tcp = false;
                    bus.link = v;
                } else if (strcasecmp(key, "listen") == 0) {
                    if (where) return c.Fail(sec, key, "pty and listen are exclusive");
                    where = true;
                    bus.tcp = true;
                    if (!ParseListen(v, bus)) return c.Fail(sec, key, "expected host:port, got '" + v + "'");
                } else if (strcasecmp(key, "gap") == 0) {
                    if (!ParseInt(v, 1, 10000, bus.gapMs)) return c.Fail(sec, key, "not a number of ms");
                } else if (IsExtKey(key)) {
                    bus.ext[Lower(key)] = v;
                } else {
                    return c.Fail(sec, key, "unknown key");
                }
            }
            if (!kindSeen) return c.Fail(sec, "kind", "missing");
            if (bus.protocol == PROTO_MODBUS_TCP && !bus.tcp) return c.Fail(sec, "listen", "mbtcp needs a listen address");
            if (!busNames.insert(bus.name).second) return c.Fail(sec, nullptr, "bus defined twice");
            cfg.buses.push_back(bus);
        } else if (strncasecmp(sec, "slave.", 6) == 0 && name.size() > 6) {
            SlaveSpec sl;
            sl.name = name.substr(6);
            bool addrSeen = false;
            for (const auto& k : keys) {
                const char* key = k.pItem;
                std::string v = Trim(get(key));
                static const struct {
                    const char* prefix;
                    Table table;
                } kTables[] = {{"coil.", TB_COIL}, {"discrete.", TB_DISCRETE}, {"hold.", TB_HOLDING}, {"input.", TB_INPUT}};
                bool isReg = false;
                for (const auto& t : kTables) {
                    size_t n = std::strlen(t.prefix);
                    if (strncasecmp(key, t.prefix, n) != 0) continue;
                    isReg = true;
                    RegSpec r;
                    r.table = t.table;
                    if (!ParseInt(key + n, 0, 65535, r.reg)) return c.Fail(sec, key, "bad register number");
                    if (!ParseRegValue(v, r)) return c.Fail(sec, key, "expected 'value [~step [lo..hi]]', got '" + v + "'");
                    if ((t.table == TB_COIL || t.table == TB_DISCRETE) && (r.hi > 1))
                        return c.Fail(sec, key, "a bit is 0 or 1");
                    sl.regs.push_back(r);
                }
                if (isReg) continue;
                if (strcasecmp(key, "bus") == 0) {
                    sl.bus = v;
                } else if (strcasecmp(key, "addr") == 0) {
                    addrSeen = true;
                    if (!ParseInt(v, 1, 255, sl.addr)) return c.Fail(sec, key, "address 1..255 expected");
                } else if (strcasecmp(key, "fault") == 0) {
                    if (strcasecmp(v.c_str(), "none") == 0) sl.fault = FAULT_NONE;
                    else if (strcasecmp(v.c_str(), "silent") == 0) sl.fault = FAULT_SILENT;
                    else if (strcasecmp(v.c_str(), "badcrc") == 0) sl.fault = FAULT_BADCRC;
                    else return c.Fail(sec, key, "unknown fault '" + v + "' (none, silent, badcrc)");
                } else if (strcasecmp(key, "delay") == 0) {
                    if (!ParseInt(v, 0, 60000, sl.delayMs)) return c.Fail(sec, key, "not a number of ms");
                } else if (IsExtKey(key)) {
                    sl.ext[Lower(key)] = v;
                } else {
                    return c.Fail(sec, key, "unknown key");
                }
            }
            if (sl.bus.empty()) return c.Fail(sec, "bus", "missing");
            if (!addrSeen) return c.Fail(sec, "addr", "missing");
            cfg.slaves.push_back(sl);
        } else {
            return c.Fail(sec, nullptr, "unknown section (sim, bus.NAME, slave.NAME)");
        }
    }

    std::set<std::pair<std::string, int>> addrs;
    for (const auto& sl : cfg.slaves) {
        std::string sec = "slave." + sl.name;
        if (!busNames.count(sl.bus)) return c.Fail(sec.c_str(), "bus", "no section [bus." + sl.bus + "]");
        if (!addrs.insert({sl.bus, sl.addr}).second) return c.Fail(sec.c_str(), "addr", "address used twice on the bus");
    }
    if (cfg.buses.empty()) return c.Fail("bus.*", nullptr, "no bus configured");
    return true;
}

}  // namespace sim
