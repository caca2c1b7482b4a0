// CPU cost of one poll as the host runs it (DataGet, DataVal of every point, DataUpd) for the
// temperature/humidity probe CSMEnvir and for a definition-driven Modbus device with 10 blocks
// and 100 points, against a port that answers at once and an in-memory SQLite database (or
// no database at all). Pauses are switched off. Heap allocations are counted by replacing the
// global operator new (SQLite's own malloc calls are not counted).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drivers/envir/SMEnvir.h"
#include "generic/SMModbus.h"
#include "host/SqliteDb.h"

// Calls of the global operator new so far (AllocCount.cpp).
long AllocCount();

namespace {

void NoSleep(unsigned long) {}

// A Modbus device that answers every read request (RTU or TCP) at once: register n holds n + 7,
// coils alternate. The reply is built into a fixed buffer; nothing is allocated.
class InstantDevice : public ISerBase {
public:
    explicit InstantDevice(bool tcp) : m_tcp(tcp) {}
    unsigned int GetMode() override { return m_tcp ? QVSM_MODE_TCP : 0; }
    int Open(int) override { return 1; }
    int Close() override { return 1; }
    int IsOpen() override { return 1; }
    int GetHandle() override { return -1; }
    int SetTimeout(unsigned int, unsigned int) override { return 1; }
    int Purge() override { return 1; }
    int WriteStr(const char* t) override { return static_cast<int>(std::strlen(t)); }
    int Write(const unsigned char* b, int len) override
    {
        const unsigned char* q = m_tcp ? b + 6 : b;  // unit id, function, start, count
        int fc = q[1], start = (q[2] << 8) | q[3], count = (q[4] << 8) | q[5];
        int head = 0;
        if (m_tcp) {
            std::memcpy(m_reply, b, 4);
            head = 6;
        }
        unsigned char* p = m_reply + head;
        p[0] = q[0];
        p[1] = static_cast<unsigned char>(fc);
        int bytes = fc <= 2 ? (count + 7) / 8 : 2 * count;
        p[2] = static_cast<unsigned char>(bytes);
        for (int i = 0; i < bytes; ++i) {
            int v = fc <= 2 ? 0x55 : (start + i / 2 + 7);
            p[3 + i] = static_cast<unsigned char>(fc <= 2 ? v : (i % 2 ? v & 0xFF : (v >> 8) & 0xFF));
        }
        m_len = head + 3 + bytes;
        if (m_tcp) {
            m_reply[4] = 0;
            m_reply[5] = static_cast<unsigned char>(3 + bytes);
        } else {
            unsigned short crc = CBufHelper::crc16(m_reply, static_cast<unsigned char>(m_len));
            m_reply[m_len++] = static_cast<unsigned char>(crc & 0xFF);
            m_reply[m_len++] = static_cast<unsigned char>(crc >> 8);
        }
        return len;
    }
    int Read(unsigned char* buf, int cap, int) override
    {
        int n = m_len < cap ? m_len : cap;
        std::memcpy(buf, m_reply, static_cast<size_t>(n));
        m_len = 0;
        return n;
    }

private:
    bool m_tcp;
    unsigned char m_reply[300] = {};
    int m_len = 0;
};

// 10 blocks of 10 holding registers, 100 points, every fifth one signed and scaled, a brief.
std::string ModbusDefinition()
{
    std::string t = "[comm]\nnote=Bench\ndelay=0\ndelayv=0\nbrief=U=%1%V %1st% I=%2% P=%50% %100st%\n[regs3]\n";
    for (int b = 0; b < 10; ++b) t += std::to_string(b * 100) + "=10\n";
    t += "[flds]\ncnt=100\n";
    char line[160];
    for (int i = 0; i < 100; ++i) {
        int reg = (i / 10) * 100 + i % 10 + 1;
        std::snprintf(line, sizeof line, "%d=4%04d\n", i + 1, reg);
        t += line;
        if (i % 5 == 0) {
            std::snprintf(line, sizeof line, "4%04d=S0.1\n", reg);
            t += line;
        }
    }
    t += "[flds.def]\n";
    for (int i = 1; i <= 100; ++i) {
        std::snprintf(line, sizeof line, "%d='P%d',1,'Point %d',0,10,6,0,'min',30000,'max'\n", i, i, i);
        t += line;
    }
    return t;
}

struct Rig {
    explicit Rig(bool withDb)
    {
        if (withDb) {
            db.Open(":memory:");
            db.CreateHostTables();
        }
        item.SID = 1;
        item.Port = 1;
        item.Addr = 1;
    }
    IDbBase* Db() { return db.IsOpen() ? &db : nullptr; }
    CSqliteDb db;
    tagSMItem item{};
};

// One poll as the host runs it.
template <class Driver>
void Poll(benchmark::State& state, Driver& drv, ISerBase& port, Rig& rig)
{
    std::vector<int> bits(static_cast<size_t>(drv.DataSize() / 32 + 1), 0);
    long polls = 0, failed = 0;
    long before = AllocCount();
    for (auto _ : state) {
        if (rig.Db()) rig.db.Begin();
        if (!drv.DataGet(&port, 1, 0)) ++failed;
        for (int i = 1; i <= drv.DataSize(); ++i) benchmark::DoNotOptimize(drv.DataVal(i));
        drv.DataUpd(0, bits.data(), nullptr, -1, nullptr);
        if (rig.Db()) rig.db.Commit();
        ++polls;
    }
    long allocs = AllocCount() - before;
    state.counters["allocs/poll"] = benchmark::Counter(static_cast<double>(allocs) / static_cast<double>(polls ? polls : 1));
    if (failed) state.SkipWithError("a poll failed");
}

void BM_EnvirPoll(benchmark::State& state)
{
    SMSetSleepHook(NoSleep);
    Rig rig(state.range(0) != 0);
    InstantDevice port(false);
    rig.item.Type = 1280;
    rig.item.Ser = &port;
    CSMEnvir drv;
    drv.SetDb(rig.Db(), 0);
    drv.RegDb(rig.Db(), 0);
    drv.DoItem(&rig.item, 0);
    drv.ChkDb(&rig.item);
    Poll(state, drv, port, rig);
    SMSetSleepHook(nullptr);
}

void BM_ModbusPoll(benchmark::State& state)
{
    SMSetSleepHook(NoSleep);
    Rig rig(state.range(0) != 0);
    InstantDevice port(state.range(1) != 0);
    rig.item.Type = 4608;
    rig.item.Ser = &port;
    CSMModbus drv(4608);
    drv.Ini().LoadString(ModbusDefinition());
    {
        // UpdLoad prints its settings line; keep the report readable.
        std::fflush(stdout);
        int out = dup(1), null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1);
        drv.UpdLoad();
        std::fflush(stdout);
        if (out >= 0) dup2(out, 1);
        if (null >= 0) close(null);
        if (out >= 0) close(out);
    }
    drv.SetDb(rig.Db(), 0);
    drv.RegDb(rig.Db(), 0);
    drv.DoItem(&rig.item, 0);
    drv.ChkDb(&rig.item);
    Poll(state, drv, port, rig);
    SMSetSleepHook(nullptr);
}

}  // namespace

// Argument: 1 in-memory SQLite, 0 no database.
BENCHMARK(BM_EnvirPoll)->ArgName("db")->Arg(1)->Arg(0);
// Arguments: database as above; 0 RTU, 1 Modbus TCP framing.
BENCHMARK(BM_ModbusPoll)->ArgNames({"db", "tcp"})->Args({1, 0})->Args({0, 0})->Args({0, 1});

// The module's paths lead into an empty temporary root: nothing outside it is touched.
int main(int argc, char** argv)
{
    char root[] = "/tmp/qvsm-bench-XXXXXX";
    if (!mkdtemp(root)) return 1;
    setenv("QVSM_ROOT", root, 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rmdir(root);
    return 0;
}
