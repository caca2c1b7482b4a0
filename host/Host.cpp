#include "host/Host.h"

#include <dlfcn.h>
#include <sqlite3.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <initializer_list>
#include <cstdlib>
#include <cstring>

#include "host/Charset.h"
#include "host/IniReader.h"

namespace host {
namespace {

// One statement with bound parameters on the host's own rows (names come from the site
// file and are never pasted into SQL text).
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr) != SQLITE_OK) m_st = nullptr;
    }
    ~Stmt() { sqlite3_finalize(m_st); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    Stmt& Int(int v)
    {
        if (m_st) sqlite3_bind_int(m_st, ++m_n, v);
        return *this;
    }
    Stmt& Text(const std::string& v)
    {
        if (m_st) sqlite3_bind_text(m_st, ++m_n, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // true when the statement ran; row tells whether it produced a row.
    bool Step(bool* row = nullptr)
    {
        if (!m_st) return false;
        int rc = sqlite3_step(m_st);
        if (row) *row = rc == SQLITE_ROW;
        return rc == SQLITE_ROW || rc == SQLITE_DONE;
    }
    int ColInt(int i) { return sqlite3_column_int(m_st, i); }
    long long ColInt64(int i) { return sqlite3_column_int64(m_st, i); }
    std::string ColText(int i)
    {
        const unsigned char* t = sqlite3_column_text(m_st, i);
        return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(m_st, i)))
                 : std::string();
    }
    int Cols() const { return m_st ? sqlite3_column_count(m_st) : 0; }
    const char* ColName(int i) { return sqlite3_column_name(m_st, i); }
    bool ColNull(int i) { return sqlite3_column_type(m_st, i) == SQLITE_NULL; }

private:
    sqlite3_stmt* m_st = nullptr;
    int m_n = 0;
};

std::string Dir(const std::string& path)
{
    size_t s = path.rfind('/');
    return s == std::string::npos ? std::string() : path.substr(0, s);
}

void CopyText(char* dst, size_t cap, const std::string& src)
{
    size_t n = src.size() < cap - 1 ? src.size() : cap - 1;
    std::memcpy(dst, src.data(), n);
    dst[n] = 0;
}

const char* StateWord(int st)
{
    switch (st) {
    case 0: return "(正常)";
    case 1: return "(告警)";
    case 2: return "(故障)";
    default: return "(未采集)";
    }
}

}  // namespace

bool MakeDirs(const std::string& path)
{
    if (path.empty()) return true;
    std::string cur;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        cur = path.substr(0, pos);
        if (cur.empty()) continue;
        if (mkdir(cur.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---- module ------------------------------------------------------------------------------

CModule::~CModule() { Unload(); }

void CModule::Unload()
{
    if (m_handle) dlclose(m_handle);
    m_handle = nullptr;
    DllType = nullptr;
    DllNote = nullptr;
    DllVersion = nullptr;
    GetSMManager = nullptr;
    FreeSMManager = nullptr;
}

bool CModule::Load(const std::string& path, std::string& err)
{
    Unload();
    m_path = path;
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* e = dlerror();
        err = "cannot load " + path + ": " + (e ? e : "unknown error");
        return false;
    }
    struct {
        const char* name;
        void** slot;
    } syms[] = {
        {"DllType", reinterpret_cast<void**>(&DllType)},
        {"DllNote", reinterpret_cast<void**>(&DllNote)},
        {"DllVersion", reinterpret_cast<void**>(&DllVersion)},
        {"GetSMManager", reinterpret_cast<void**>(&GetSMManager)},
        {"FreeSMManager", reinterpret_cast<void**>(&FreeSMManager)},
    };
    for (auto& s : syms) {
        *s.slot = dlsym(m_handle, s.name);
        if (!*s.slot) {
            err = path + ": no entry point " + s.name;
            Unload();
            return false;
        }
    }
    return true;
}

std::string DefaultModulePath()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "libqvsm.so";
    buf[n] = 0;
    std::string dir = Dir(buf);
    std::string beside = (dir.empty() ? std::string(".") : dir) + "/libqvsm.so";
#ifdef QVSM_INSTALLED_MODULE
    // An installed host: the library where the package put it.
    if (access(beside.c_str(), F_OK) != 0) return QVSM_INSTALLED_MODULE;
#endif
    return beside;
}

std::string CycleStats::Line() const
{
    std::string s = "cycle " + std::to_string(cycle) + ": " + std::to_string(ok) + " ok, " + std::to_string(failed) +
                    " failed";
    if (!failedSids.empty()) {
        s += " (";
        for (size_t i = 0; i < failedSids.size(); ++i) s += (i ? " " : "") + std::to_string(failedSids[i]);
        s += ")";
    }
    return s + ", " + std::to_string(ms) + " ms";
}

// ---- host --------------------------------------------------------------------------------

CHost::CHost(const HostCfg& cfg) : m_cfg(cfg) {}

CHost::~CHost() { Stop(); }

bool CHost::Fail(std::string& err, const std::string& what)
{
    err = what;
    Stop();
    return false;
}

bool CHost::Start(const std::string& modulePath, std::string& err)
{
    // Databases.
    for (const std::string* p : {&m_cfg.live, &m_cfg.history})
        if (!p->empty() && !MakeDirs(Dir(*p))) return Fail(err, "cannot create the folder of " + *p);
    if (!m_live.Open(m_cfg.live)) return Fail(err, m_cfg.live + ": " + m_live.LastError());
    if (!m_live.CreateHostTables()) return Fail(err, m_cfg.live + ": " + m_live.LastError());
    if (!m_cfg.history.empty() && !m_hist.Open(m_cfg.history)) return Fail(err, m_cfg.history + ": " + m_hist.LastError());

    // The module's file-system root (its log, definition files).
    if (!m_cfg.root.empty()) {
        if (!MakeDirs(m_cfg.root + "/NandFlash/tmp") || !MakeDirs(m_cfg.root + "/NandFlash/SM"))
            return Fail(err, "cannot create the module root " + m_cfg.root);
        setenv("QVSM_ROOT", m_cfg.root.c_str(), 1);
    }

    std::string path = !modulePath.empty() ? modulePath : !m_cfg.module.empty() ? m_cfg.module : DefaultModulePath();
    if (!m_module.Load(path, err)) return Fail(err, err);
    m_mgr = m_module.GetSMManager(0);
    if (!m_mgr) return Fail(err, path + ": GetSMManager gave no manager");
    IDbBase* hist = m_hist.IsOpen() ? &m_hist : nullptr;
    m_mgr->SetDb(&m_live, 0);

    m_live.Begin();
    if (hist) m_hist.Begin();
    // One driver per configured type, registered once.
    for (const DeviceCfg& d : m_cfg.devices) {
        if (m_drivers.count(d.type)) continue;
        ISMBase* drv = m_mgr->GetSM(d.type);
        if (!drv) {
            m_live.Exec("rollback");
            return Fail(err, m_cfg.file + ": [" + d.section + "] Type: " + std::to_string(d.type) +
                                 " has no driver in " + path);
        }
        drv->SetDb(&m_live, 0);
        if (hist) drv->SetDb(hist, 1);
        drv->RegDb(&m_live, m_cfg.force);
        m_drivers[d.type] = drv;
    }
    // Alarm references the site file sets over the drivers' defaults.
    for (const DeviceCfg& d : m_cfg.devices)
        for (const auto& v : d.vrefs)
            if (!Stmt(m_live.Handle(), "update tbSMDef set vref=? where Type=? and Fld=?")
                     .Int(v.second)
                     .Int(d.type)
                     .Int(v.first)
                     .Step()) {
                m_live.Exec("rollback");
                return Fail(err, m_cfg.live + ": " + sqlite3_errmsg(m_live.Handle()));
            }

    for (const PortCfg& p : m_cfg.ports) {
        auto port = MakePort(p);
        port->quiet = quietPorts;
        port->Open(0);  // a port that does not open now is retried by IsOpen
        m_ports[p.number] = std::move(port);
    }

    m_devices.reserve(m_cfg.devices.size());  // the records must not move: drivers keep pointers
    for (const DeviceCfg& c : m_cfg.devices) {
        Device d;
        d.cfg = &c;
        d.drv = m_drivers[c.type];
        tagSMItem& it = d.item;
        it.SID = c.sid;
        it.Type = c.type;
        it.Variant = c.variant;
        it.DetailKey = c.detailKey;
        it.Ser = c.port ? m_ports[c.port].get() : nullptr;
        it.Port = c.port;
        it.Addr = c.addr;
        it.DetailOn = c.detailOn;
        it.Param1 = c.param1;
        it.Param2 = c.param2;
        CopyText(it.Name, sizeof it.Name, c.nameGbk);
        CopyText(it.AddrText, sizeof it.AddrText, c.addrText);
        CopyText(it.ConnText, sizeof it.ConnText, c.connText);
        m_devices.push_back(d);
    }
    for (Device& d : m_devices) {
        if (!HostRows(d, err)) {
            m_live.Exec("rollback");
            return Fail(err, err);
        }
        d.drv->DoItem(&d.item, 0);
        d.drv->ChkDb(&d.item);
    }
    bool ok = m_live.Commit();
    if (hist && !m_hist.Commit()) ok = false;
    if (!ok) return Fail(err, "cannot store the start-up rows: " + m_live.LastError());
    return true;
}

bool CHost::HostRows(Device& d, std::string& err)
{
    sqlite3* db = m_live.Handle();
    const tagSMItem& it = d.item;
    bool row = false;
    {
        Stmt q(db, "select count(*) from tbSubSysDetail where sid=? and Fld=0");
        if (!q.Int(it.SID).Step(&row)) return (err = m_cfg.live + ": " + sqlite3_errmsg(db)), false;
        row = row && q.ColInt(0) > 0;
    }
    const char* sql = row ? "update tbSubSysDetail set SIDD=?,type=?,Name=? where sid=? and Fld=0"
                          : "insert into tbSubSysDetail(SIDD,type,Name,sid,Fld,State) values(?,?,?,?,0,-1)";
    if (!Stmt(db, sql).Int(it.SID).Int(it.Type).Text(d.cfg->nameGbk).Int(it.SID).Step())
        return (err = m_cfg.live + ": " + sqlite3_errmsg(db)), false;

    // I/O modules: one row per channel, named after its point definition.
    if ((it.Type & 0xFF00) != 0x0900) return true;
    int n = d.drv->DataSize();
    for (int fld = 1; fld <= n; ++fld) {
        std::string note;
        {
            Stmt q(db, "select Note from tbSMDef where Type=? and Fld=? order by SID limit 1");
            if (q.Int(it.Type).Int(fld).Step(&row) && row) note = q.ColText(0);
        }
        {
            Stmt q(db, "select count(*) from tbSubSysDetail where sid=? and Fld=?");
            row = q.Int(it.SID).Int(fld).Step(&row) && row && q.ColInt(0) > 0;
        }
        const char* s = row ? "update tbSubSysDetail set SIDD=?,type=?,Name=? where sid=? and Fld=?"
                            : "insert into tbSubSysDetail(SIDD,type,Name,sid,Fld,State) values(?,?,?,?,?,-1)";
        if (!Stmt(db, s).Int(it.SID).Int(it.Type).Text(note).Int(it.SID).Int(fld).Step())
            return (err = m_cfg.live + ": " + sqlite3_errmsg(db)), false;
    }
    return true;
}

CycleStats CHost::Cycle(const volatile sig_atomic_t* stop)
{
    CycleStats st;
    st.cycle = ++m_cycle;
    auto t0 = std::chrono::steady_clock::now();
    bool histDue = m_hist.IsOpen() && m_cfg.historyEvery > 0 && (m_cycle - 1) % m_cfg.historyEvery == 0;
    IDbBase* hist = histDue ? &m_hist : nullptr;

    m_live.Begin();
    if (hist) m_hist.Begin();
    std::map<int, CLimits> limits;  // read again every cycle: limits edited in the database apply at once
    for (Device& d : m_devices) {
        if (stop && *stop) break;
        ISMBase* drv = d.drv;
        auto lim = limits.find(d.item.Type);
        if (lim == limits.end()) {
            lim = limits.emplace(d.item.Type, CLimits()).first;
            lim->second.Load(&m_live, d.item.Type);
        }
        drv->DoItem(&d.item, 0);
        int snap = 0;
        if (drv->DataGet(d.item.Ser, d.item.Addr, d.cfg->waitMs)) {
            std::vector<int> bits = AlarmBits(drv, lim->second);
            drv->DataUpd(0, bits.data(), &snap, d.item.SID, hist);
            ++st.ok;
        } else {
            drv->DataUpd(0, nullptr, &snap, d.item.SID, hist);
            ++st.failed;
            st.failedSids.push_back(d.item.SID);
        }
    }
    if (!m_live.Commit()) {
        std::fprintf(stderr, "%s: commit failed: %s\n", m_cfg.live.c_str(), m_live.LastError().c_str());
        m_live.Exec("rollback");
    }
    if (hist && !m_hist.Commit()) {
        std::fprintf(stderr, "%s: commit failed: %s\n", m_cfg.history.c_str(), m_hist.LastError().c_str());
        m_hist.Exec("rollback");
    }
    st.ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
    return st;
}

bool CHost::Ctl(int sid, int cmd, void* buf, int len, int& result, std::string& err)
{
    for (Device& d : m_devices) {
        if (d.item.SID != sid) continue;
        m_live.Begin();
        d.drv->DoItem(&d.item, 0);
        result = d.drv->DoFunc(d.item.Ser, d.item.Addr, cmd, buf, len);
        m_live.Commit();
        return true;
    }
    err = m_cfg.file + ": no device with SID " + std::to_string(sid);
    return false;
}

void CHost::Stop()
{
    if (m_mgr && m_module.FreeSMManager) m_module.FreeSMManager();
    m_mgr = nullptr;
    m_drivers.clear();
    m_devices.clear();
    m_ports.clear();
    m_hist.Close();
    m_live.Close();
    m_module.Unload();
}

// ---- show --------------------------------------------------------------------------------

namespace {

// Tables holding every one of the columns (but not the table named except).
std::vector<std::string> TablesWith(sqlite3* h, std::initializer_list<const char*> columns, const char* except)
{
    std::vector<std::string> out;
    Stmt q(h, "select name from sqlite_master where type='table' order by name");
    bool row = false;
    while (q.Step(&row) && row) {
        std::string t = q.ColText(0);
        if (strcasecmp(t.c_str(), except) == 0) continue;
        Stmt cols(h, ("select * from \"" + t + "\" limit 0").c_str());
        size_t found = 0;
        for (const char* c : columns)
            for (int i = 0; i < cols.Cols(); ++i)
                if (strcasecmp(cols.ColName(i), c) == 0) {
                    ++found;
                    break;
                }
        if (found == columns.size()) out.push_back(t);
    }
    return out;
}

struct PointDef {
    std::string name;  // FldName
    std::string note;  // GBK
    int scale = 0;
};

// The points a type registered, by number; the SID 0 row of a point wins.
std::map<int, PointDef> PointDefs(sqlite3* h, int type)
{
    std::map<int, PointDef> defs;
    Stmt q(h, "select Fld,FldName,Note,Scale from tbSMDef where Type=? and Fld>0 order by SID desc");
    q.Int(type);
    bool row = false;
    while (q.Step(&row) && row) defs[q.ColInt(0)] = PointDef{q.ColText(1), q.ColText(2), q.ColInt(3)};
    return defs;
}

// The [flds] list of the type's definition file below the module's root: point number ->
// the key its reading is stored under. Empty without a definition file.
std::map<int, std::string> PointKeys(const HostCfg& cfg, int type)
{
    std::map<int, std::string> keys;
    const char* env = std::getenv("QVSM_ROOT");
    std::string root = !cfg.root.empty() ? cfg.root : env ? env : "";
    char name[32];
    std::snprintf(name, sizeof name, "/NandFlash/SM/SM%04d.def", type);
    ini::CFile def;
    std::string err;
    if (access((root + name).c_str(), R_OK) != 0 || !def.Load(root + name, err)) return keys;
    for (const std::string& k : def.Keys("flds")) {
        int fld = 0;
        std::string v = ini::Trim(def.Value("flds", k));
        v = v.substr(0, v.find_first_of(" \t;#"));  // an inline comment is no part of the key
        if (ini::ToInt(k, 1, INT_MAX, fld) && !v.empty()) keys[fld] = v;
    }
    return keys;
}

// "note value" with the value divided by the point's scale.
std::string Scaled(const PointDef& def, long long value)
{
    int sc = def.scale > 0 ? def.scale : 1;
    int dec = sc >= 1000 ? 3 : sc >= 100 ? 2 : sc >= 10 ? 1 : 0;
    char num[64];
    std::snprintf(num, sizeof num, "%.*f", dec, value / static_cast<double>(sc));
    return GbkForTerminal(def.note) + " " + num;
}

}  // namespace

bool Show(const HostCfg& cfg, FILE* out, std::string& err)
{
    if (access(cfg.live.c_str(), R_OK) != 0) {
        err = cfg.live + ": no live database yet (run qvsm-host first)";
        return false;
    }
    CSqliteDb db;
    if (!db.Open(cfg.live)) {
        err = cfg.live + ": " + db.LastError();
        return false;
    }
    sqlite3* h = db.Handle();
    // Family tables have the common leading columns; reading tables one row per reading.
    const std::vector<std::string> families = TablesWith(h, {"SID", "State"}, "tbSubSysDetail");
    const std::vector<std::string> readings = TablesWith(h, {"DID", "SID", "Fld", "Val"}, "");

    for (const DeviceCfg& d : cfg.devices) {
        std::fprintf(out, "[%d] %s  type %d, port %d, addr %d\n", d.sid, d.name.c_str(), d.type, d.port, d.addr);
        bool row = false;
        {
            Stmt q(h, "select State,LastUpd from tbSubSysDetail where sid=? and Fld=0");
            if (q.Int(d.sid).Step(&row) && row) {
                int s = q.ColNull(0) ? -1 : q.ColInt(0);
                std::fprintf(out, "  state %d %s, updated %s\n", s, StateWord(s),
                             q.ColNull(1) ? "never" : q.ColText(1).c_str());
            } else {
                std::fprintf(out, "  state: no row\n");
            }
        }
        {
            Stmt q(h, "select St,Brief from tbSMBrief where SID=?");
            if (q.Int(d.sid).Step(&row) && row)
                std::fprintf(out, "  summary: %s\n", GbkForTerminal(q.ColText(1)).c_str());
        }
        const std::map<int, PointDef> defs = PointDefs(h, d.type);

        // A hand-written driver's points are columns of its family table, named as the points.
        std::map<std::string, const PointDef*> byColumn;
        for (const auto& p : defs) byColumn[ini::Lower(p.second.name)] = &p.second;
        static const char* const kCommon[] = {"DID", "SID", "Type", "Port", "Addr", "DateUpd", "State", "SnapID"};
        for (const std::string& t : families) {
            Stmt q(h, ("select * from \"" + t + "\" where SID=? and Type=?").c_str());
            if (!q.Int(d.sid).Int(d.type).Step(&row) || !row) continue;
            std::string raw, scaled;
            for (int i = 0; i < q.Cols(); ++i) {
                std::string c = q.ColName(i);
                bool common = false;
                for (const char* k : kCommon) common = common || strcasecmp(k, c.c_str()) == 0;
                if (common) continue;
                raw += " " + c + "=" + (q.ColNull(i) ? "NULL" : GbkForTerminal(q.ColText(i)));
                auto def = byColumn.find(ini::Lower(c));
                if (def != byColumn.end() && def->second->scale > 0 && !q.ColNull(i))
                    scaled += (scaled.empty() ? "  " : ", ") + Scaled(*def->second, q.ColInt64(i));
            }
            if (!raw.empty()) std::fprintf(out, "  %s:%s\n", t.c_str(), raw.c_str());
            if (!scaled.empty()) std::fprintf(out, "%s\n", scaled.c_str());
        }

        // A definition driver's live readings are the DID 0 rows of its reading table, under the
        // keys of the definition's point list (Modbus, YD/T 1363 and command drivers put a V
        // before the key); text readings are in ValStr.
        const std::map<int, std::string> keys = PointKeys(cfg, d.type);
        for (const std::string& t : readings) {
            Stmt q(h, ("select * from \"" + t + "\" where SID=? and DID=0 order by rowid").c_str());
            q.Int(d.sid);
            int fldCol = -1, valCol = -1, strCol = -1;
            for (int i = 0; i < q.Cols(); ++i) {
                if (strcasecmp(q.ColName(i), "Fld") == 0) fldCol = i;
                if (strcasecmp(q.ColName(i), "Val") == 0) valCol = i;
                if (strcasecmp(q.ColName(i), "ValStr") == 0) strCol = i;
            }
            std::map<std::string, std::string> shown;  // key -> value as shown
            std::map<std::string, long long> numbers;
            std::string raw;
            while (q.Step(&row) && row) {
                std::string v = "NULL";
                if (strCol >= 0 && !q.ColNull(strCol)) {
                    v = "'" + GbkForTerminal(q.ColText(strCol)) + "'";
                } else if (!q.ColNull(valCol)) {
                    v = q.ColText(valCol);
                    numbers[q.ColText(fldCol)] = q.ColInt64(valCol);
                }
                shown[q.ColText(fldCol)] = v;
                raw += " " + GbkForTerminal(q.ColText(fldCol)) + "=" + v;
            }
            if (raw.empty()) continue;
            std::fprintf(out, "  %s:%s\n", t.c_str(), raw.c_str());
            std::string named;
            for (const auto& k : keys) {
                auto def = defs.find(k.first);
                if (def == defs.end()) continue;
                std::string key = shown.count(k.second) ? k.second : "V" + k.second;
                auto v = shown.find(key);
                if (v == shown.end()) continue;
                named += named.empty() ? "  " : ", ";
                named += numbers.count(key) ? Scaled(def->second, numbers[key])
                                            : GbkForTerminal(def->second.note) + " " + v->second;
            }
            if (!named.empty()) std::fprintf(out, "%s\n", named.c_str());
        }
    }
    return true;
}

}  // namespace host
