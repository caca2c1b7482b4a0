#include "sim/SimConfig.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "host/IniReader.h"

namespace sim {
namespace {

using ini::CSection;
using ini::ToInt;
using ini::Trim;

bool ParseListen(const std::string& text, BusSpec& bus)
{
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    bus.host = Trim(text.substr(0, colon));
    return !bus.host.empty() && ToInt(text.substr(colon + 1), 0, 65535, bus.port);
}

// Keys of the YD/T 1363, command and scripted responders, checked by them.
bool IsExtKey(const std::string& key)
{
    return strncasecmp(key.c_str(), "ydt.", 4) == 0 || strncasecmp(key.c_str(), "cmd.", 4) == 0 ||
           strncasecmp(key.c_str(), "airc.", 5) == 0 || strncasecmp(key.c_str(), "camera.", 7) == 0 ||
           strncasecmp(key.c_str(), "script.", 7) == 0 || strncasecmp(key.c_str(), "dio.", 4) == 0 ||
           strncasecmp(key.c_str(), "door.", 5) == 0 || strncasecmp(key.c_str(), "gsm.", 4) == 0;
}

bool ReadBus(CSection& s, BusSpec& bus)
{
    static const std::map<std::string, Protocol> kKinds = {
        {"rtu", PROTO_MODBUS_RTU}, {"mbtcp", PROTO_MODBUS_TCP}, {"ydt", PROTO_YDT1363}, {"cmd", PROTO_CMD},
        {"airc", PROTO_AIRC},      {"camera", PROTO_CAMERA},    {"script", PROTO_SCRIPT},
        {"dio", PROTO_DIO},        {"door", PROTO_DOOR},
        {"gsm", PROTO_GSM},        {"dialler", PROTO_DIALLER},  {"panel", PROTO_PANEL}};
    bus.name = s.Name().substr(4);
    for (const std::string& k : s.Keys())
        if (IsExtKey(k)) bus.ext[ini::Lower(k)] = s.Str(k);
    if (!s.Has("kind")) return s.Fail("kind", "missing");
    if (!s.Word("kind", kKinds, bus.protocol)) return false;
    if (s.Has("pty") && s.Has("listen")) return s.Fail("listen", "pty and listen are exclusive");
    bus.tcp = s.Has("listen");
    bus.link = s.Str("pty");
    if (bus.tcp) {
        std::string v = s.Str("listen");
        if (!ParseListen(v, bus)) return s.Fail("listen", "expected host:port, got '" + v + "'");
    }
    if (bus.protocol == PROTO_MODBUS_TCP && !bus.tcp) return s.Fail("listen", "mbtcp needs a listen address");
    return s.Int("gap", bus.gapMs, 1, 10000) && s.Int("pace", bus.paceMs, 0, 10000) && s.Done();
}

// A late slave without a delay of its own answers after this many ms.
const int kLateMs = 1500;

bool ReadSlave(CSection& s, SlaveSpec& sl)
{
    static const struct {
        const char* prefix;
        Table table;
    } kTables[] = {{"coil.", TB_COIL}, {"discrete.", TB_DISCRETE}, {"hold.", TB_HOLDING}, {"input.", TB_INPUT}};
    static const std::map<std::string, Fault> kFaults = {
        {"none", FAULT_NONE}, {"silent", FAULT_SILENT}, {"badcrc", FAULT_BADCRC}, {"late", FAULT_LATE},
        {"wrongaddr", FAULT_WRONGADDR}};
    sl.name = s.Name().substr(6);
    for (const std::string& key : s.Keys()) {
        if (IsExtKey(key)) sl.ext[ini::Lower(key)] = s.Str(key);
        for (const auto& t : kTables) {
            size_t n = std::strlen(t.prefix);
            if (strncasecmp(key.c_str(), t.prefix, n) != 0) continue;
            RegSpec r;
            r.table = t.table;
            std::string v = s.Str(key);
            if (!ToInt(key.substr(n), 0, 65535, r.reg)) return s.Fail(key, "bad register number");
            if (!ParseRegValue(v, r)) return s.Fail(key, "expected 'value [~step [lo..hi]]', got '" + v + "'");
            if ((t.table == TB_COIL || t.table == TB_DISCRETE) && r.hi > 1) return s.Fail(key, "a bit is 0 or 1");
            sl.regs.push_back(r);
        }
    }
    sl.bus = s.Str("bus");
    if (sl.bus.empty()) return s.Fail("bus", "missing");
    if (!s.Int("addr", sl.addr, 1, 255, true) || !s.Word("fault", kFaults, sl.fault) ||
        !s.Int("delay", sl.delayMs, 0, 60000) || !s.Done())
        return false;
    if (sl.fault == FAULT_LATE && sl.delayMs == 0) sl.delayMs = kLateMs;
    return true;
}

}  // namespace

bool ParseRegValue(const std::string& text, RegSpec& spec)
{
    std::string t = Trim(text);
    size_t tilde = t.find('~');
    std::string value = Trim(t.substr(0, tilde));
    if (!ToInt(value, -32768, 65535, spec.value)) return false;
    if (spec.value < 0) spec.value += 65536;
    spec.step = 0;
    spec.lo = spec.hi = spec.value;
    if (tilde == std::string::npos) return true;
    std::string rest = Trim(t.substr(tilde + 1));
    size_t sp = rest.find_first_of(" \t");
    std::string step = rest.substr(0, sp);
    if (!ToInt(step, -65535, 65535, spec.step)) return false;
    int span = 10 * std::abs(spec.step);
    spec.lo = spec.value - span < 0 ? 0 : spec.value - span;
    spec.hi = spec.value + span > 65535 ? 65535 : spec.value + span;
    if (sp == std::string::npos) return true;
    std::string range = Trim(rest.substr(sp));
    size_t dots = range.find("..");
    if (dots == std::string::npos) return false;
    if (!ToInt(range.substr(0, dots), 0, 65535, spec.lo) || !ToInt(range.substr(dots + 2), 0, 65535, spec.hi))
        return false;
    return spec.lo <= spec.value && spec.value <= spec.hi;
}

bool LoadSimConfig(const std::string& path, SimConfig& cfg, std::string& err)
{
    cfg = SimConfig();
    ini::CFile file;
    if (!file.Load(path, err)) return false;
    std::set<std::string> busNames;
    for (const std::string& name : file.Sections()) {
        CSection s(file, name, err);
        if (strcasecmp(name.c_str(), "sim") == 0) {
            if (!s.Int("tick", cfg.tickMs, 1, 3600000) || !s.Done()) return false;
        } else if (strncasecmp(name.c_str(), "bus.", 4) == 0 && name.size() > 4) {
            BusSpec bus;
            if (!ReadBus(s, bus)) return false;
            if (!busNames.insert(bus.name).second) return s.Fail("", "bus defined twice");
            cfg.buses.push_back(bus);
        } else if (strncasecmp(name.c_str(), "slave.", 6) == 0 && name.size() > 6) {
            SlaveSpec sl;
            if (!ReadSlave(s, sl)) return false;
            cfg.slaves.push_back(sl);
        } else {
            return s.Fail("", "unknown section (sim, bus.NAME, slave.NAME)");
        }
    }

    std::set<std::pair<std::string, int>> addrs;
    for (const auto& sl : cfg.slaves) {
        std::string sec = "slave." + sl.name;
        if (!busNames.count(sl.bus)) {
            err = ini::Message(path, sec, "bus", "no section [bus." + sl.bus + "]");
            return false;
        }
        if (!addrs.insert({sl.bus, sl.addr}).second) {
            err = ini::Message(path, sec, "addr", "address used twice on the bus");
            return false;
        }
    }
    if (cfg.buses.empty()) {
        err = ini::Message(path, "bus.*", "", "no bus configured");
        return false;
    }
    return true;
}

}  // namespace sim
