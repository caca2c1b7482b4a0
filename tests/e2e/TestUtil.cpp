#include "tests/e2e/TestUtil.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "host/Charset.h"
#include "host/SqliteDb.h"

extern char** environ;

namespace e2e {

TempDir::TempDir()
{
    char tmpl[] = "/tmp/qvsm-e2e-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit)
{
    auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (cond()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Proc::~Proc() { Kill(); }

std::vector<std::string> Emulated(const std::vector<std::string>& argv)
{
#ifdef QVSM_EMULATOR
    // A cross build: programs of the build tree run under the emulator ("qemu-arm|-L|...").
    const std::string tree = QVSM_BINARY_DIR "/";
    if (argv.empty() || argv[0].compare(0, tree.size(), tree) != 0) return argv;
    std::vector<std::string> out;
    std::string emu = QVSM_EMULATOR;
    for (size_t p = 0;;) {
        size_t q = emu.find('|', p);
        out.push_back(emu.substr(p, q - p));
        if (q == std::string::npos) break;
        p = q + 1;
    }
    out.insert(out.end(), argv.begin(), argv.end());
    return out;
#else
    return argv;
#endif
}

bool Proc::Start(const std::vector<std::string>& argv, const std::string& outFile)
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    const std::vector<std::string> run = Emulated(argv);
    std::vector<char*> args;
    for (const auto& a : run) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int rc = posix_spawn(&m_pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) m_pid = -1;
    m_status = -1;
    return rc == 0;
}

bool Proc::Running()
{
    if (m_pid <= 0) return false;
    int st = 0;
    pid_t r = waitpid(m_pid, &st, WNOHANG);
    if (r == 0) return true;
    if (r == m_pid) m_status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    m_pid = -1;
    return false;
}

int Proc::Wait(std::chrono::milliseconds limit)
{
    if (m_pid <= 0) return m_status;
    if (!WaitFor([this] { return !Running(); }, limit)) {
        Kill();
        return -1;
    }
    return m_status;
}

void Proc::Signal(int sig)
{
    if (m_pid > 0) kill(m_pid, sig);
}

void Proc::Kill()
{
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    int st = 0;
    waitpid(m_pid, &st, 0);
    m_status = 128 + SIGKILL;
    m_pid = -1;
}

int Run(const std::vector<std::string>& argv, std::string& out, std::chrono::milliseconds limit)
{
    char tmpl[] = "/tmp/qvsm-run-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) return -1;
    close(fd);
    Proc p;
    int rc = p.Start(argv, tmpl) ? p.Wait(limit) : -1;
    out = ReadFile(tmpl);
    unlink(tmpl);
    return rc;
}

std::string Gbk(const std::string& utf8)
{
    std::string out;
    if (!host::Utf8ToGbk(utf8, out)) throw std::runtime_error("not convertible: " + utf8);
    return out;
}

std::string Replace(std::string s, const std::string& what, const std::string& with)
{
    for (size_t p = 0; (p = s.find(what, p)) != std::string::npos; p += with.size()) s.replace(p, what.size(), with);
    return s;
}

int DbInt(const std::string& db, const std::string& sql)
{
    CSqliteDb d;
    return d.Open(db) ? d.QueryInt(sql.c_str()) : -999;
}

std::string DbStr(const std::string& db, const std::string& sql)
{
    CSqliteDb d;
    return d.Open(db) ? d.QueryStr(sql.c_str()) : "<no db>";
}

const char* HostBin() { return HOST_BIN; }
const char* ModuleSo() { return MODULE_SO; }
const char* ExamplesDir() { return EXAMPLES_DIR; }

// ---- harness -----------------------------------------------------------------------------

std::map<std::string, std::string> Harness::StartSim(const std::string& cfg, bool verbose)
{
    std::map<std::string, std::string> where;
    std::string ini = dir / "sim.ini", ready = dir / "sim.ready";
    WriteFile(ini, cfg);
    unlink(ready.c_str());
    std::vector<std::string> argv = {SIM_BIN, ini, "--ready", ready};
    if (verbose) argv.push_back("--verbose");
    EXPECT_TRUE(sim.Start(argv, dir / "sim.log"));
    bool up = WaitFor([&] { return access(ready.c_str(), R_OK) == 0 || !sim.Running(); }, std::chrono::seconds(10));
    EXPECT_TRUE(up && sim.Running()) << ReadFile(dir / "sim.log");
    std::istringstream in(ReadFile(ready));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string bus, name, kind, at;
        if (words >> bus >> name >> kind >> at && bus == "bus") where[name] = at;
    }
    return where;
}

std::string Harness::Site(const std::string& ports, const std::string& devices, const std::string& hostKeys)
{
    std::string p = dir / "site.ini";
    WriteFile(p, "[host]\nLive = live.db\nHistory = hist.db\nRoot = root\nInterval = 0\n" + hostKeys + ports + devices);
    return p;
}

std::string Harness::Port(int n, const std::string& device, const std::string& more)
{
    return "[port." + std::to_string(n) + "]\nDevice = " + device + "\nTimeout = 300\n" + more;
}

std::string Harness::Device(int sid, int type, int port, int addr, const std::string& name, const std::string& more)
{
    return "[device." + std::to_string(sid) + "]\nSID = " + std::to_string(sid) + "\nType = " + std::to_string(type) +
           "\nPort = " + std::to_string(port) + "\nAddr = " + std::to_string(addr) + "\nName = " + name + "\n" + more;
}

void Harness::InstallDefs(const std::vector<std::string>& files)
{
    std::filesystem::create_directories(dir / "root/NandFlash/SM");
    for (const std::string& f : files) {
        std::string text = ReadFile(std::string(EXAMPLES_DIR) + "/definitions/" + f);
        ASSERT_FALSE(text.empty()) << f;
        WriteFile(dir / ("root/NandFlash/SM/" + f), text);
    }
}

int Harness::Host(const std::vector<std::string>& args, std::string& out, const std::string& module)
{
    std::vector<std::string> argv = {HOST_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"--module", module});
    return e2e::Run(argv, out, std::chrono::seconds(90));
}

std::string Harness::Brief(int sid) { return Str("select Brief from tbSMBrief where SID=" + std::to_string(sid)); }

int Harness::State(int sid)
{
    return Int("select State from tbSubSysDetail where sid=" + std::to_string(sid) + " and Fld=0");
}

std::string Harness::Readings(const std::string& table, int sid, const std::vector<std::string>& flds)
{
    std::string from = " from " + table + " where DID=0 and SID=" + std::to_string(sid);
    if (flds.empty())
        return Str("select group_concat(Fld||'='||ifnull(Val,'NULL'),' ') from (select Fld,Val" + from +
                   " order by LID)");
    std::string out;
    for (const std::string& f : flds) {
        std::string v = Str("select ifnull(Val,'NULL')" + from + " and Fld='" + f + "'");
        out += (out.empty() ? "" : " ") + f + "=" + (v.empty() ? "-" : v);
    }
    return out;
}

}  // namespace e2e
