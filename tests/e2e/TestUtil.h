// The harness of the host, simulator and end-to-end tests: a temporary folder, files, child
// processes, qvsm-sim and qvsm-host runs, and questions to their SQLite files.
#ifndef QVSM_TESTS_E2E_TESTUTIL_H
#define QVSM_TESTS_E2E_TESTUTIL_H

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace e2e {

// A fresh folder below /tmp, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& text);
std::string ReadFile(const std::string& path);
std::string Replace(std::string s, const std::string& what, const std::string& with);
std::string Gbk(const std::string& utf8);

// Polls cond every 20 ms until it holds or the time is up.
bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit);

// argv with the emulator in front when argv[0] is a program of a cross build tree.
std::vector<std::string> Emulated(const std::vector<std::string>& argv);

// A child process started without a shell, its output going to a file.
class Proc {
public:
    Proc() = default;
    ~Proc();
    Proc(const Proc&) = delete;
    Proc& operator=(const Proc&) = delete;

    bool Start(const std::vector<std::string>& argv, const std::string& outFile);
    bool Running();
    // Waits for the exit; the exit status, or -1 on time-out (the child is then killed),
    // 128+signal when a signal ended it.
    int Wait(std::chrono::milliseconds limit);
    void Signal(int sig);
    void Kill();  // SIGKILL and reap

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

// Runs a program to its end: exit status (-1 on time-out) and its output.
int Run(const std::vector<std::string>& argv, std::string& out, std::chrono::milliseconds limit);

// One answer from an SQLite file, on a connection of its own (the host may be writing):
// -999 / "<no db>" when the file cannot be opened.
int DbInt(const std::string& db, const std::string& sql);
std::string DbStr(const std::string& db, const std::string& sql);

// The built programs and the shipped examples.
const char* HostBin();
const char* ModuleSo();
const char* ExamplesDir();

// A site in a folder of its own: qvsm-sim, the site file, qvsm-host runs and their databases.
class Harness : public ::testing::Test {
protected:
    // Starts qvsm-sim on this configuration and waits until its buses are up; bus name ->
    // "/dev/pts/N" or "host:port". verbose: every frame is logged in sim.log.
    std::map<std::string, std::string> StartSim(const std::string& cfg, bool verbose = false);
    // Writes site.ini: [host] with live.db, hist.db, root, no pause between cycles and hostKeys,
    // then the ports and the devices. Returns its path.
    std::string Site(const std::string& ports, const std::string& devices, const std::string& hostKeys = "");
    static std::string Port(int n, const std::string& device, const std::string& more = "");
    static std::string Device(int sid, int type, int port, int addr, const std::string& name,
                              const std::string& more = "");
    // Copies example definitions (SMnnnn.def) where the module looks for them below root.
    void InstallDefs(const std::vector<std::string>& files);
    // qvsm-host with these arguments and --module (libqvsm.so by default).
    int Host(const std::vector<std::string>& args, std::string& out, const std::string& module = ModuleSo());

    int Int(const std::string& sql) { return DbInt(live, sql); }
    std::string Str(const std::string& sql) { return DbStr(live, sql); }
    std::string Brief(int sid);
    int State(int sid);  // device row of tbSubSysDetail
    // "Fld=Val ..." of a device's live readings (DID 0) in a reading table: the listed ones in
    // that order ("Fld=-" when missing), else all; NULL for a null reading.
    std::string Readings(const std::string& table, int sid, const std::vector<std::string>& flds = {});

    TempDir dir;
    Proc sim;
    const std::string live = dir / "live.db";
    const std::string hist = dir / "hist.db";
};

}  // namespace e2e

#endif
