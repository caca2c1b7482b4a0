#include "host/HostConfig.h"

#include <strings.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <initializer_list>

#include "host/Charset.h"
#include "host/IniReader.h"

namespace host {
namespace {

using ini::CSection;

std::string Resolve(const std::string& dir, const std::string& p)
{
    if (p.empty() || p[0] == '/') return p;
    return dir + p;
}

// Text converted to GBK, at most cap-1 bytes.
bool Gbk(CSection& s, const std::string& key, const std::string& text, std::string& out, size_t cap)
{
    if (!Utf8ToGbk(text, out)) return s.Fail(key, "'" + text + "' is not UTF-8 text that GBK can hold");
    if (out.size() + 1 > cap) return s.Fail(key, "longer than " + std::to_string(cap - 1) + " bytes in GBK");
    return true;
}

// Integer keys with their ranges.
struct IntKey {
    const char* key;
    int* out;
    long lo, hi;
    bool required;
};

bool Ints(CSection& s, std::initializer_list<IntKey> keys)
{
    for (const IntKey& k : keys)
        if (!s.Int(k.key, *k.out, k.lo, k.hi, k.required)) return false;
    return true;
}

bool ReadHost(CSection& s, const std::string& dir, HostCfg& cfg)
{
    cfg.module = Resolve(dir, s.Str("Module"));
    cfg.root = Resolve(dir, s.Str("Root"));
    cfg.live = Resolve(dir, s.Str("Live"));
    cfg.history = Resolve(dir, s.Str("History"));
    if (cfg.live.empty()) return s.Fail("Live", "missing (path of the live database file)");
    if (cfg.history == cfg.live) return s.Fail("History", "must be another file than Live");
    return Ints(s, {{"Interval", &cfg.intervalMs, 0, 86400000, false},
                    {"HistoryEvery", &cfg.historyEvery, 0, 1000000, false},
                    {"Force", &cfg.force, 0, 1, false}}) &&
           s.Done();
}

bool ReadPort(CSection& s, PortCfg& p)
{
    p.section = s.Name();
    if (!ini::ToInt(s.Name().substr(5), 1, 9999, p.number)) return s.Fail("", "port sections are [port.N], N 1..9999");
    std::string dev = s.Str("Device");
    if (dev.empty()) return s.Fail("Device", "missing (serial device path or tcp://host:port)");
    if (dev.compare(0, 6, "tcp://") == 0) {
        p.tcp = true;
        if (!ParseTcpUrl(dev, p.host, p.tcpPort)) return s.Fail("Device", "'" + dev + "' is not tcp://host:port");
        for (const char* k : {"Baud", "DataBits", "Parity", "StopBits"})
            if (s.Has(k)) return s.Fail(k, "not used by a tcp:// port");
    } else {
        p.device = dev;
        static const int kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};
        if (!s.Int("Baud", p.baud, 1, INT_MAX)) return false;
        bool known = false;
        for (int b : kBauds) known = known || b == p.baud;
        if (!known) return s.Fail("Baud", std::to_string(p.baud) + " is not a supported rate");
        std::string par = s.Str("Parity", "N");
        if (par.size() != 1 || !std::strchr("NEOneo", par[0])) return s.Fail("Parity", "'" + par + "' is not N, E or O");
        p.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(par[0])));
        if (!Ints(s, {{"DataBits", &p.dataBits, 5, 8, false}, {"StopBits", &p.stopBits, 1, 2, false}})) return false;
    }
    return Ints(s, {{"Timeout", &p.timeoutMs, 1, 600000, false},
                    {"Gap", &p.gapMs, 1, 60000, false},
                    {"Retry", &p.retryMs, 0, 3600000, false}}) &&
           s.Done();
}

bool ReadDevice(CSection& s, DeviceCfg& d)
{
    d.section = s.Name();
    if (!Ints(s, {{"SID", &d.sid, 1, INT_MAX, true},
                  {"Type", &d.type, 1, INT_MAX, true},
                  {"Port", &d.port, 0, 9999, false},
                  {"Addr", &d.addr, 0, 65535, false},
                  {"Variant", &d.variant, INT_MIN, INT_MAX, false},
                  {"DetailKey", &d.detailKey, INT_MIN, INT_MAX, false},
                  {"DetailOn", &d.detailOn, INT_MIN, INT_MAX, false},
                  {"Param1", &d.param1, INT_MIN, INT_MAX, false},
                  {"Param2", &d.param2, INT_MIN, INT_MAX, false},
                  {"Wait", &d.waitMs, 0, 600000, false}}))
        return false;
    for (const std::string& key : s.Keys()) {
        if (strncasecmp(key.c_str(), "Vref.", 5) != 0) continue;
        int fld = 0, v = 0;
        if (!ini::ToInt(key.substr(5), 1, 9999, fld)) return s.Fail(key, "expected Vref.N with a point number N");
        if (!s.Int(key, v, INT_MIN, INT_MAX)) return false;
        d.vrefs.push_back({fld, v});
    }
    d.name = s.Str("Name", d.section);
    return Gbk(s, s.Has("Name") ? "Name" : "Name (default)", d.name, d.nameGbk, 64) &&
           Gbk(s, "AddrText", s.Str("AddrText"), d.addrText, 128) &&
           Gbk(s, "ConnText", s.Str("ConnText"), d.connText, 128) && s.Done();
}

}  // namespace

std::string PortCfg::Text() const
{
    if (tcp) return "tcp://" + host + ":" + std::to_string(tcpPort);
    return device + " " + std::to_string(baud) + " " + std::to_string(dataBits) + parity + std::to_string(stopBits);
}

const PortCfg* HostCfg::Port(int number) const
{
    for (const auto& p : ports)
        if (p.number == number) return &p;
    return nullptr;
}

const DeviceCfg* HostCfg::Device(int sid) const
{
    for (const auto& d : devices)
        if (d.sid == sid) return &d;
    return nullptr;
}

bool ParseTcpUrl(const std::string& text, std::string& host, int& port)
{
    if (text.compare(0, 6, "tcp://") != 0) return false;
    std::string rest = text.substr(6);
    while (!rest.empty() && rest.back() == '/') rest.pop_back();
    size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = rest.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    return ini::ToInt(rest.substr(colon + 1), 1, 65535, port);
}

bool LoadHostConfig(const std::string& path, HostCfg& cfg, std::string& err)
{
    cfg = HostCfg();
    cfg.file = path;
    ini::CFile file;
    if (!file.Load(path, err)) return false;
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);

    bool hostSeen = false;
    for (const std::string& n : file.Sections()) {
        CSection s(file, n, err);
        if (strcasecmp(n.c_str(), "host") == 0) {
            hostSeen = true;
            if (!ReadHost(s, dir, cfg)) return false;
        } else if (strncasecmp(n.c_str(), "port.", 5) == 0) {
            PortCfg p;
            if (!ReadPort(s, p)) return false;
            if (cfg.Port(p.number)) return s.Fail("", "port " + std::to_string(p.number) + " defined twice");
            cfg.ports.push_back(p);
        } else if (strncasecmp(n.c_str(), "device.", 7) == 0 && n.size() > 7) {
            DeviceCfg d;
            if (!ReadDevice(s, d)) return false;
            if (cfg.Device(d.sid)) return s.Fail("SID", std::to_string(d.sid) + " is used by another device");
            cfg.devices.push_back(d);
        } else {
            return s.Fail("", "unknown section (host, port.N, device.LABEL)");
        }
    }
    if (!hostSeen) {
        err = ini::Message(path, "host", "", "missing section");
        return false;
    }
    for (const auto& d : cfg.devices) {
        if (d.port != 0 && !cfg.Port(d.port)) {
            err = ini::Message(path, d.section, "Port", "no section [port." + std::to_string(d.port) + "]");
            return false;
        }
    }
    return true;
}

}  // namespace host
