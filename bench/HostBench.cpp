// Host throughput: N Modbus TCP devices simulated by qvsm-sim on loopback (one listener each,
// answering at once), each a definition-driven device of 10 blocks of 10 holding registers
// (the definition of the poll benchmark), polled by qvsm-host with libqvsm.so into a live
// database file; against a loop of libmodbus reads and SQLite writes of the same rows over the
// same simulator, with prepared statements and with the same statement texts.
//
//   qvsm_hostbench [--devices N] [--cycles C] [--rounds R] [--host PATH --sim PATH --module PATH]
// (the programs default to those of this build; others can be given to compare builds).
//
// Prints device polls per second and CPU time per device poll of each, and their ratios. The
// three run one after the other R times (3); each keeps its best round, so that a busy machine
// disturbs the comparison less.
// qvsm-host's figures come from two runs (1 and C cycles, the difference), so its start-up
// does not count; the loop's from the C cycles after one cycle to warm up.
#include <fcntl.h>
#include <modbus/modbus.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchRig.h"

extern char** environ;

namespace {

typedef std::chrono::steady_clock Clock;

std::string g_host = HOST_BIN, g_sim = SIM_BIN, g_module = MODULE_SO;

double CpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

pid_t Spawn(const std::vector<std::string>& args, const std::string& out)
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

struct Result {
    double polls = 0, wall = 0, cpu = 0;
    double PerSecond() const { return wall > 0 ? polls / wall : 0; }
    double CpuUs() const { return polls > 0 ? cpu * 1e6 / polls : 0; }
};

// qvsm-host for a number of cycles: the sum of the cycle times it prints and its CPU time.
bool RunHost(const std::string& dir, int cycles, double& wall, double& cpu, std::string& err)
{
    double before = CpuSeconds(RUSAGE_CHILDREN);
    std::string out = dir + "/host.out";
    pid_t pid = Spawn({g_host, "-c", dir + "/site.ini", "--module", g_module, "--cycles", std::to_string(cycles)},
                      out);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        err = "qvsm-host failed: " + ReadAll(out);
        return false;
    }
    cpu = CpuSeconds(RUSAGE_CHILDREN) - before;
    std::string text = ReadAll(out);
    wall = 0;
    int failed = 0;
    for (size_t p = text.find("cycle "); p != std::string::npos; p = text.find("cycle ", p + 1)) {
        size_t e = text.find('\n', p);
        std::string line = text.substr(p, e - p);
        int k = 0, ok = 0, bad = 0;
        long ms = 0;
        if (std::sscanf(line.c_str(), "cycle %d: %d ok, %d failed", &k, &ok, &bad) == 3) failed += bad;
        size_t c = line.rfind(", ");
        if (c != std::string::npos) ms = std::atol(line.c_str() + c + 2);
        wall += static_cast<double>(ms) / 1000.0;
    }
    if (failed) {
        err = "qvsm-host: failed polls: " + text;
        return false;
    }
    return true;
}

// The hand-written loop: libmodbus reads, the rows of each device written in one transaction
// per cycle, as prepared statements or as statement texts.
class Loop {
public:
    Loop(const std::vector<int>& ports, const std::string& db, bool texts) : m_texts(texts)
    {
        for (int p : ports) {
            modbus_t* ctx = modbus_new_tcp("127.0.0.1", p);
            if (ctx) modbus_set_slave(ctx, 1);
            if (!ctx || modbus_connect(ctx) != 0) {
                if (ctx) modbus_free(ctx);
                m_ok = false;
                continue;
            }
            m_ctx.push_back(ctx);
        }
        // The host's own tables, as qvsm-host creates them (WAL journal).
        m_file.Open(db);
        m_file.CreateHostTables();
        m_db = m_file.Handle();
        Exec("create table if not exists tbModbus(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,"
             "Addr INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER)");
        Exec("create table if not exists tbModbusDat(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,Fld "
             "VARCHAR(64),Val INTEGER)");
        for (size_t d = 0; d < m_ctx.size(); ++d) {
            int sid = static_cast<int>(d) + 1;
            char sql[256];
            std::snprintf(sql, sizeof sql, "insert into tbSubSysDetail(SIDD,sid,type,Fld,State) values(%d,%d,4608,0,-1)",
                          sid, sid);
            Exec(sql);
            std::snprintf(sql, sizeof sql, "insert into tbSMBrief(SID) values(%d)", sid);
            Exec(sql);
            std::snprintf(sql, sizeof sql, "insert into tbModbus(SID,Type,Port,Addr,State) values(%d,4608,%d,1,-1)", sid,
                          sid);
            Exec(sql);
        }
        static const char* const kSql[] = {
            "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=?1 where sid=?2 and type=?3",
            "update tbModbus set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=?1,SnapID=?2 where sid=?3",
            "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),St=?1,Brief=?2 where sid=?3",
            "delete from tbModbusDat where SID=?1",
            "insert into tbModbusDat(DID,SID,Fld,Val) values(0,?1,?2,?3)",
        };
        for (int i = 0; i < 5; ++i) sqlite3_prepare_v2(m_db, kSql[i], -1, &m_st[i], nullptr);
    }
    ~Loop()
    {
        for (modbus_t* c : m_ctx) {
            modbus_close(c);
            modbus_free(c);
        }
        for (sqlite3_stmt* s : m_st) sqlite3_finalize(s);
    }
    bool Ok() const { return m_ok; }

    bool Cycle()
    {
        Exec("begin");
        bool ok = true;
        for (size_t d = 0; d < m_ctx.size(); ++d) ok = Device(m_ctx[d], static_cast<int>(d) + 1) && ok;
        Exec("commit");
        return ok;
    }

private:
    void Exec(const char* sql) { sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

    bool Device(modbus_t* ctx, int sid)
    {
        uint16_t regs[10];
        int32_t val[100];
        for (int b = 0; b < 10; ++b) {
            if (modbus_read_registers(ctx, b * 100, 10, regs) != 10) return false;
            for (int r = 0; r < 10; ++r) {
                int i = b * 10 + r;
                val[i] = i % 5 == 0 ? static_cast<int32_t>(static_cast<int16_t>(regs[r]) * 0.1) : regs[r];
            }
        }
        char brief[256];
        int blen = std::snprintf(brief, sizeof brief, "U=%.1fV (正常) I=%.1f P=%.1f 正常", val[0] * 0.1, val[1] * 0.1,
                                 val[49] * 0.1);
        char fld[8];
        if (!m_texts) {
            sqlite3_stmt** s = m_st;
            sqlite3_bind_int(s[0], 1, 0);
            sqlite3_bind_int(s[0], 2, sid);
            sqlite3_bind_int(s[0], 3, 4608);
            sqlite3_bind_int(s[1], 1, 0);
            sqlite3_bind_int(s[1], 2, 0);
            sqlite3_bind_int(s[1], 3, sid);
            sqlite3_bind_int(s[2], 1, 0);
            sqlite3_bind_text(s[2], 2, brief, blen, SQLITE_STATIC);
            sqlite3_bind_int(s[2], 3, sid);
            sqlite3_bind_int(s[3], 1, sid);
            for (int i = 0; i < 4; ++i) {
                sqlite3_step(s[i]);
                sqlite3_reset(s[i]);
            }
            sqlite3_bind_int(s[4], 1, sid);
            for (int i = 0; i < 100; ++i) {
                std::snprintf(fld, sizeof fld, "V4%04d", ((i / 10) * 100 + i % 10 + 1) % 10000);
                sqlite3_bind_text(s[4], 2, fld, 6, SQLITE_TRANSIENT);
                sqlite3_bind_int(s[4], 3, val[i]);
                sqlite3_step(s[4]);
                sqlite3_reset(s[4]);
            }
            return true;
        }
        const char* now = "datetime(CURRENT_TIMESTAMP,'localtime')";
        char sql[512];
        std::snprintf(sql, sizeof sql, "update tbSubSysDetail set LastUpd=%s,State=%d where sid=%d and type=%d", now, 0,
                      sid, 4608);
        Exec(sql);
        std::snprintf(sql, sizeof sql, "update tbModbus set DateUpd=%s,State=%d,SnapID=%d where sid=%d", now, 0, 0, sid);
        Exec(sql);
        std::snprintf(sql, sizeof sql, "update tbSMBrief set LastUpd=%s,St=%d,Brief='%s' where sid=%d", now, 0, brief,
                      sid);
        Exec(sql);
        std::snprintf(sql, sizeof sql, "delete from tbModbusDat where SID=%d", sid);
        Exec(sql);
        for (int i = 0; i < 100; ++i) {
            std::snprintf(fld, sizeof fld, "V4%04d", ((i / 10) * 100 + i % 10 + 1) % 10000);
            std::snprintf(sql, sizeof sql, "insert into tbModbusDat(DID,SID,Fld,Val) values(%d,%d,'%s',%d)", 0, sid, fld,
                          val[i]);
            Exec(sql);
        }
        return true;
    }

    bool m_ok = true;
    bool m_texts;
    std::vector<modbus_t*> m_ctx;
    CSqliteDb m_file;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_st[5] = {};
};

bool RunLoop(const std::vector<int>& ports, const std::string& db, bool texts, int cycles, Result& r)
{
    Loop loop(ports, db, texts);
    if (!loop.Ok() || !loop.Cycle()) return false;
    double cpu0 = CpuSeconds(RUSAGE_THREAD);
    auto t0 = Clock::now();
    bool ok = true;
    for (int c = 0; c < cycles; ++c) ok = loop.Cycle() && ok;
    r.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpu = CpuSeconds(RUSAGE_THREAD) - cpu0;
    r.polls = static_cast<double>(cycles) * static_cast<double>(ports.size());
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    int devices = 10, cycles = 200, rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--devices")) devices = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--cycles")) cycles = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--rounds")) rounds = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--host")) g_host = argv[i + 1];
        else if (!std::strcmp(argv[i], "--sim")) g_sim = argv[i + 1];
        else if (!std::strcmp(argv[i], "--module")) g_module = argv[i + 1];
    }
    if (devices < 1 || cycles < 2 || rounds < 1) {
        std::fprintf(stderr, "usage: %s [--devices N] [--cycles C (2 or more)]\n", argv[0]);
        return 2;
    }
    char tmpl[] = "/tmp/qvsm-hostbench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    mkdir((dir + "/root").c_str(), 0755);
    mkdir((dir + "/root/NandFlash").c_str(), 0755);
    mkdir((dir + "/root/NandFlash/SM").c_str(), 0755);
    mkdir((dir + "/root/NandFlash/tmp").c_str(), 0755);
    WriteAll(dir + "/root/NandFlash/SM/SM4608.def", bench::ModbusDefinition(100));

    // One listener per device, every used register with a value.
    std::string sim = "[sim]\ntick = 600000\n";
    for (int d = 0; d < devices; ++d) {
        sim += "[bus.d" + std::to_string(d) + "]\nkind = mbtcp\nlisten = 127.0.0.1:0\n";
        sim += "[slave.d" + std::to_string(d) + "]\nbus = d" + std::to_string(d) + "\naddr = 1\n";
        for (int b = 0; b < 10; ++b)
            for (int r = 0; r < 10; ++r) sim += "hold." + std::to_string(b * 100 + r) + " = " + std::to_string(b * 100 + r + 7) + "\n";
    }
    WriteAll(dir + "/sim.ini", sim);
    pid_t simPid = Spawn({g_sim, dir + "/sim.ini", "--ready", dir + "/ready"}, dir + "/sim.out");
    std::vector<int> ports;
    for (int i = 0; i < 500 && ports.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::string ready = ReadAll(dir + "/ready");
        if (ready.find("ready") == std::string::npos) continue;
        for (size_t p = ready.find("127.0.0.1:"); p != std::string::npos; p = ready.find("127.0.0.1:", p + 1))
            ports.push_back(std::atoi(ready.c_str() + p + 10));
    }
    int rc = 0;
    if (static_cast<int>(ports.size()) != devices) {
        std::fprintf(stderr, "qvsm-sim did not start: %s\n", ReadAll(dir + "/sim.out").c_str());
        rc = 1;
    }

    Result host, prepared, texts;
    auto keep = [](Result& best, const Result& r) {
        if (r.PerSecond() > best.PerSecond()) best = r;
    };
    std::string err;
    if (rc == 0) {
        std::string site = "[host]\nLive = live.db\nRoot = root\nInterval = 0\n";
        for (int d = 0; d < devices; ++d)
            site += "[port." + std::to_string(d + 1) + "]\nDevice = tcp://127.0.0.1:" + std::to_string(ports[static_cast<size_t>(d)]) + "\n";
        for (int d = 0; d < devices; ++d)
            site += "[device." + std::to_string(d + 1) + "]\nSID = " + std::to_string(d + 1) + "\nType = 4608\nPort = " +
                    std::to_string(d + 1) + "\nAddr = 1\n";
        WriteAll(dir + "/site.ini", site);
    }
    for (int round = 0; round < rounds && rc == 0; ++round) {
        double w1 = 0, c1 = 0, wn = 0, cn = 0;
        if (!RunHost(dir, 1, w1, c1, err) || !RunHost(dir, cycles + 1, wn, cn, err)) {
            std::fprintf(stderr, "%s\n", err.c_str());
            rc = 1;
            break;
        }
        Result h, p, t;
        h.wall = wn - w1;
        h.cpu = cn - c1;
        h.polls = static_cast<double>(cycles) * devices;
        keep(host, h);
        if (!RunLoop(ports, dir + "/loop.db", false, cycles, p) || !RunLoop(ports, dir + "/loop-texts.db", true, cycles, t)) {
            std::fprintf(stderr, "the libmodbus loop failed\n");
            rc = 1;
            break;
        }
        keep(prepared, p);
        keep(texts, t);
    }
    if (simPid > 0) {
        kill(simPid, SIGTERM);
        waitpid(simPid, nullptr, 0);
    }
    if (rc == 0) {
        std::printf("%d Modbus TCP devices, 100 points each, %d cycles, best of %d rounds\n", devices, cycles, rounds);
        std::printf("  %-44s %8.0f polls/s %8.1f us CPU/poll\n", "qvsm-host + libqvsm.so", host.PerSecond(), host.CpuUs());
        std::printf("  %-44s %8.0f polls/s %8.1f us CPU/poll\n", "libmodbus + SQLite, prepared statements",
                    prepared.PerSecond(), prepared.CpuUs());
        std::printf("  %-44s %8.0f polls/s %8.1f us CPU/poll\n", "libmodbus + SQLite, statement texts", texts.PerSecond(),
                    texts.CpuUs());
        std::printf("qvsm-host / loop (polls per second): %.2fx of the prepared loop, %.2fx of the texts loop\n",
                    host.PerSecond() / prepared.PerSecond(), host.PerSecond() / texts.PerSecond());
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return rc;
}
