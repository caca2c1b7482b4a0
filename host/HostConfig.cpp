#define SI_IMPLEMENTATION  // the host's one SimpleIni translation unit
#include <SimpleIni.h>

#include "host/HostConfig.h"

#include <strings.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "host/Charset.h"

namespace host {
namespace {

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool ToInt(const std::string& text, long lo, long hi, int& out)
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

std::string Resolve(const std::string& dir, const std::string& p)
{
    if (p.empty() || p[0] == '/') return p;
    return dir + p;
}

// Walks one section: every key must be known; values are checked as they are read.
class Section {
public:
    Section(const CSimpleIniA& ini, const char* name, const std::string& file, std::string& err)
        : m_ini(ini), m_name(name), m_file(file), m_err(err)
    {
        CSimpleIniA::TNamesDepend keys;
        ini.GetAllKeys(name, keys);
        for (const auto& k : keys) m_unused[Lower(k.pItem)] = k.pItem;
    }

    bool Fail(const char* key, const std::string& what)
    {
        m_err = m_file + ": [" + m_name + "]" + (key ? std::string(" ") + key : std::string()) + ": " + what;
        return false;
    }
    bool Has(const char* key) const { return m_ini.GetValue(m_name.c_str(), key, nullptr) != nullptr; }
    std::string Str(const char* key, const std::string& def = std::string())
    {
        m_unused.erase(Lower(key));
        const char* v = m_ini.GetValue(m_name.c_str(), key, nullptr);
        return v ? Trim(v) : def;
    }
    bool Int(const char* key, int& out, long lo, long hi, bool required = false)
    {
        if (!Has(key)) return required ? Fail(key, "missing") : true;
        std::string v = Str(key);
        if (!ToInt(v, lo, hi, out))
            return Fail(key, "'" + v + "' is not an integer in " + std::to_string(lo) + ".." + std::to_string(hi));
        return true;
    }
    // Text converted to GBK, at most cap-1 bytes.
    bool Gbk(const char* key, std::string& out, size_t cap)
    {
        std::string v = Str(key);
        if (!Utf8ToGbk(v, out)) return Fail(key, "'" + v + "' is not UTF-8 text that GBK can hold");
        if (out.size() + 1 > cap) return Fail(key, "longer than " + std::to_string(cap - 1) + " bytes in GBK");
        return true;
    }
    bool Done()
    {
        if (m_unused.empty()) return true;
        return Fail(m_unused.begin()->second.c_str(), "unknown key");
    }
    const std::string& Name() const { return m_name; }

private:
    static std::string Lower(std::string s)
    {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    const CSimpleIniA& m_ini;
    std::string m_name;
    const std::string& m_file;
    std::string& m_err;
    std::map<std::string, std::string> m_unused;  // lower-case key -> key as written
};

bool ReadHost(Section& s, const std::string& dir, HostCfg& cfg)
{
    cfg.module = Resolve(dir, s.Str("Module"));
    cfg.root = Resolve(dir, s.Str("Root"));
    cfg.live = Resolve(dir, s.Str("Live"));
    cfg.history = Resolve(dir, s.Str("History"));
    if (cfg.live.empty()) return s.Fail("Live", "missing (path of the live database file)");
    if (cfg.history == cfg.live) return s.Fail("History", "must be another file than Live");
    if (!s.Int("Interval", cfg.intervalMs, 0, 86400000)) return false;
    if (!s.Int("HistoryEvery", cfg.historyEvery, 0, 1000000)) return false;
    if (!s.Int("Force", cfg.force, 0, 1)) return false;
    return s.Done();
}

bool ReadPort(Section& s, PortCfg& p)
{
    p.section = s.Name();
    if (!ToInt(s.Name().substr(5), 1, 9999, p.number)) return s.Fail(nullptr, "port sections are [port.N], N 1..9999");
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
        if (!s.Int("DataBits", p.dataBits, 5, 8)) return false;
        std::string par = s.Str("Parity", "N");
        if (par.size() != 1 || !std::strchr("NEOneo", par[0])) return s.Fail("Parity", "'" + par + "' is not N, E or O");
        p.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(par[0])));
        if (!s.Int("StopBits", p.stopBits, 1, 2)) return false;
    }
    if (!s.Int("Timeout", p.timeoutMs, 1, 600000)) return false;
    if (!s.Int("Gap", p.gapMs, 1, 60000)) return false;
    if (!s.Int("Retry", p.retryMs, 0, 3600000)) return false;
    return s.Done();
}

bool ReadDevice(Section& s, DeviceCfg& d)
{
    d.section = s.Name();
    if (!s.Int("SID", d.sid, 1, INT_MAX, true)) return false;
    if (!s.Int("Type", d.type, 1, INT_MAX, true)) return false;
    if (!s.Int("Port", d.port, 0, 9999)) return false;
    if (!s.Int("Addr", d.addr, 0, 65535)) return false;
    if (!s.Int("Variant", d.variant, INT_MIN, INT_MAX)) return false;
    if (!s.Int("DetailKey", d.detailKey, INT_MIN, INT_MAX)) return false;
    if (!s.Int("DetailOn", d.detailOn, INT_MIN, INT_MAX)) return false;
    if (!s.Int("Param1", d.param1, INT_MIN, INT_MAX)) return false;
    if (!s.Int("Param2", d.param2, INT_MIN, INT_MAX)) return false;
    if (!s.Int("Wait", d.waitMs, 0, 600000)) return false;
    d.name = s.Str("Name", d.section);
    std::string nameKey = s.Has("Name") ? "Name" : "Name (default)";
    if (!Utf8ToGbk(d.name, d.nameGbk)) return s.Fail(nameKey.c_str(), "'" + d.name + "' is not UTF-8 text that GBK can hold");
    if (d.nameGbk.size() > 63) return s.Fail(nameKey.c_str(), "longer than 63 bytes in GBK");
    if (!s.Gbk("AddrText", d.addrText, 128)) return false;
    if (!s.Gbk("ConnText", d.connText, 128)) return false;
    return s.Done();
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
    return ToInt(rest.substr(colon + 1), 1, 65535, port);
}

bool LoadHostConfig(const std::string& path, HostCfg& cfg, std::string& err)
{
    cfg = HostCfg();
    cfg.file = path;
    CSimpleIniA ini(false, false, false);
    SI_Error rc = ini.LoadFile(path.c_str());
    if (rc < 0) {
        err = path + ": cannot read the site file" + (rc == SI_FILE ? std::string(": ") + strerror(errno) : std::string());
        return false;
    }
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);

    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    bool hostSeen = false;
    for (const auto& e : sections) {
        Section s(ini, e.pItem, path, err);
        const std::string& n = s.Name();
        if (strcasecmp(n.c_str(), "host") == 0) {
            hostSeen = true;
            if (!ReadHost(s, dir, cfg)) return false;
        } else if (strncasecmp(n.c_str(), "port.", 5) == 0) {
            PortCfg p;
            if (!ReadPort(s, p)) return false;
            if (cfg.Port(p.number)) return s.Fail(nullptr, "port " + std::to_string(p.number) + " defined twice");
            cfg.ports.push_back(p);
        } else if (strncasecmp(n.c_str(), "device.", 7) == 0 && n.size() > 7) {
            DeviceCfg d;
            if (!ReadDevice(s, d)) return false;
            if (cfg.Device(d.sid)) return s.Fail("SID", std::to_string(d.sid) + " is used by another device");
            cfg.devices.push_back(d);
        } else {
            return s.Fail(nullptr, "unknown section (host, port.N, device.LABEL)");
        }
    }
    if (!hostSeen) {
        err = path + ": [host]: missing section";
        return false;
    }
    for (const auto& d : cfg.devices) {
        if (d.port != 0 && !cfg.Port(d.port)) {
            err = path + ": [" + d.section + "] Port: no section [port." + std::to_string(d.port) + "]";
            return false;
        }
    }
    return true;
}

}  // namespace host
