// The reference host: loads libqvsm.so, hands its drivers the site's databases, ports and
// device records, and runs the poll cycle.
#ifndef QVSM_HOST_HOST_H
#define QVSM_HOST_HOST_H

#include <qvsm/qvsm.h>
#include <signal.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/HostConfig.h"
#include "host/Limits.h"
#include "host/Ports.h"
#include "host/SqliteDb.h"

namespace host {

// libqvsm.so opened with dlopen and its five entry points.
class CModule {
public:
    CModule() = default;
    ~CModule();
    CModule(const CModule&) = delete;
    CModule& operator=(const CModule&) = delete;

    bool Load(const std::string& path, std::string& err);
    void Unload();
    const std::string& Path() const { return m_path; }

    PFN_DllType DllType = nullptr;
    PFN_DllNote DllNote = nullptr;
    PFN_DllVersion DllVersion = nullptr;
    PFN_GetSMManager GetSMManager = nullptr;
    PFN_FreeSMManager FreeSMManager = nullptr;

private:
    void* m_handle = nullptr;
    std::string m_path;
};

// libqvsm.so in the folder of the running executable.
std::string DefaultModulePath();

struct CycleStats {
    int cycle = 0;
    int ok = 0;
    int failed = 0;
    long ms = 0;
    std::vector<int> failedSids;
    std::string Line() const;  // "cycle 3: 4 ok, 1 failed (103), 523 ms"
};

class CHost {
public:
    explicit CHost(const HostCfg& cfg);
    ~CHost();
    CHost(const CHost&) = delete;
    CHost& operator=(const CHost&) = delete;

    // Start-up: databases and host tables, the module, one driver per configured type
    // (SetDb, RegDb), the ports, then per device the host's rows, DoItem and ChkDb.
    // modulePath empty: the site file's Module, else beside the executable.
    bool Start(const std::string& modulePath, std::string& err);
    // One poll of every device in one transaction per database. Stops between devices
    // when *stop becomes non-zero.
    CycleStats Cycle(const volatile sig_atomic_t* stop = nullptr);
    // DoFunc(port, addr, cmd, buf, len) on the device with this SID.
    bool Ctl(int sid, int cmd, void* buf, int len, int& result, std::string& err);
    // FreeSMManager, then ports, databases and the module are closed.
    void Stop();

    CSqliteDb& Live() { return m_live; }
    const CModule& Module() const { return m_module; }
    bool quietPorts = false;

private:
    struct Device {
        const DeviceCfg* cfg = nullptr;
        tagSMItem item{};
        ISMBase* drv = nullptr;
    };
    bool HostRows(Device& d, std::string& err);
    bool Fail(std::string& err, const std::string& what);

    HostCfg m_cfg;
    CModule m_module;
    ISMManager* m_mgr = nullptr;
    CSqliteDb m_live;
    CSqliteDb m_hist;
    std::map<int, std::unique_ptr<CFdPort>> m_ports;
    std::map<int, ISMBase*> m_drivers;
    std::vector<Device> m_devices;
    int m_cycle = 0;
};

// Every configured device's state, summary and values as the live database holds them.
// Returns false (message in err) when the database cannot be read.
bool Show(const HostCfg& cfg, FILE* out, std::string& err);

// mkdir -p
bool MakeDirs(const std::string& path);

}  // namespace host

#endif
