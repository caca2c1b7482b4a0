// CPU cost of one poll as the host runs it (DataGet, DataVal of every point, DataUpd) for the
// temperature/humidity probe CSMEnvir and for a definition-driven Modbus device (10 blocks,
// 100 points; and 10 to 1,000 points for the cost per point), against a port that answers at
// once and an in-memory SQLite database (or no database at all), next to the hand-written
// poller of the same device (HandPoller.h). Pauses are switched off. Heap allocations of a
// steady poll are counted by replacing the global operator new (SQLite's own malloc calls
// are not counted); the first poll, which builds the readings, is left out.
//
// At the end the run prints the driver's cost as a ratio of the hand-written poller's.
// Before anything is measured the hand-written poller's statements and rows are checked
// against the driver's: a difference ends the program.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/BenchRig.h"
#include "bench/HandPoller.h"
#include "bench/SimDevice.h"
#include "drivers/envir/SMEnvir.h"
#include "generic/SMNormal.h"
#include "generic/SMYdt1363.h"

// Calls of the global operator new so far (AllocCount.cpp).
long AllocCount();

using bench::HandPoller;
using bench::ModbusRig;

namespace {

void NoSleep(unsigned long) {}

long NoOwnAllocs() { return 0; }

// own: allocations made by the simulated device, left out.
template <class F, class G = long (*)()>
void Measure(benchmark::State& state, F poll, G own = NoOwnAllocs)
{
    if (!poll()) {  // the first poll may allocate: it builds the readings
        state.SkipWithError("a poll failed");
        return;
    }
    long polls = 0, failed = 0;
    long before = AllocCount(), ownBefore = own();
    for (auto _ : state) {
        if (!poll()) ++failed;
        ++polls;
    }
    long allocs = AllocCount() - before - (own() - ownBefore);
    state.counters["allocs/poll"] = benchmark::Counter(static_cast<double>(allocs) / static_cast<double>(polls ? polls : 1));
    if (failed) state.SkipWithError("a poll failed");
}

void BM_EnvirPoll(benchmark::State& state)
{
    SMSetSleepHook(NoSleep);
    bench::BenchDb db;
    bool withDb = state.range(0) != 0;
    IDbBase* pdb = withDb ? &db : nullptr;
    bench::InstantDevice port(false);
    tagSMItem item{};
    item.SID = 1;
    item.Port = 1;
    item.Addr = 1;
    item.Type = 1280;
    item.Ser = &port;
    CSMEnvir drv;
    drv.SetDb(pdb, 0);
    drv.RegDb(pdb, 0);
    drv.DoItem(&item, 0);
    drv.ChkDb(&item);
    std::vector<int> bits(static_cast<size_t>(drv.DataSize() / 32 + 1), 0);
    Measure(state, [&] {
        if (withDb) db.Begin();
        bool ok = drv.DataGet(&port, 1, 0) != 0;
        for (int i = 1; i <= drv.DataSize(); ++i) benchmark::DoNotOptimize(drv.DataVal(i));
        drv.DataUpd(0, bits.data(), nullptr, -1, nullptr);
        if (withDb) db.Commit();
        return ok;
    });
    SMSetSleepHook(nullptr);
}

// Arguments: points, database (0 none, 1 in-memory SQLite), framing (0 RTU, 1 Modbus TCP).
void BM_ModbusPoll(benchmark::State& state)
{
    SMSetSleepHook(NoSleep);
    ModbusRig rig(static_cast<int>(state.range(0)), state.range(2) != 0, state.range(1) != 0);
    Measure(state, [&] { return bench::HostPoll(rig); });
    SMSetSleepHook(nullptr);
}

// Arguments: points, database (0 none, 1 prepared statements, 2 statement texts), framing.
void BM_HandPoll(benchmark::State& state)
{
    HandPoller hand(static_cast<int>(state.range(0)), state.range(2) != 0,
                    static_cast<HandPoller::DbMode>(state.range(1)));
    Measure(state, [&] { return hand.Poll(); });
}

// The example definitions' devices as the end-to-end tests simulate them.
const char kYdtSim[] =
    "[sim]\ntick = 600000\n[bus.psu]\nkind = ydt\npty =\n"
    "[slave.rect]\nbus = psu\naddr = 1\nydt.ver = 21\nydt.cid1 = 41\n"
    "hold.0 = 535\nhold.1 = 225\nhold.2 = 380\nhold.3 = 0\nhold.4 = 0\nhold.5 = 0\nhold.6 = 2\n"
    "ydt.41 = 11 {0:f10} {1:f10} 01 {2:f10}\nydt.43 = 11 {3:b} {4:b}\nydt.44 = 11 {5:b} 20 {6:b}\n";
const char kCmdSim[] =
    "[sim]\ntick = 600000\n[bus.pdu]\nkind = cmd\npty =\n"
    "cmd.request = 7E adr cmd dlen dat sum 0D\ncmd.reply = 7E adr cmd dlen dat sum 0D\ncmd.chk0 = 1\n"
    "[slave.pdu]\nbus = pdu\naddr = 3\nhold.0 = 2205\nhold.1 = 1250\nhold.2 = 250\nhold.3 = 1\n"
    "cmd.42 = {0} {1} 0000 {2:f100}\ncmd.43 = {3:b}\n";

// Arguments: 0 the YD/T 1363 rectifier of SM5120.def, 1 the command-protocol distribution unit
// of SM5632.def; database as for BM_ModbusPoll.
void BM_FramePoll(benchmark::State& state)
{
    SMSetSleepHook(NoSleep);
    const bool ydt = state.range(0) == 0;
    bench::SimDevice port(ydt ? kYdtSim : kCmdSim);
    if (!port.Ok()) {
        state.SkipWithError(port.Error().c_str());
        return;
    }
    bench::BenchDb db;
    const bool withDb = state.range(1) != 0;
    IDbBase* pdb = withDb ? &db : nullptr;
    std::unique_ptr<CSMDefBase> drv;
    if (ydt)
        drv.reset(new CSMYdt1363(5120));
    else
        drv.reset(new CSMNormal(5632));
    bench::Quiet([&] { drv->LoadDef(ydt ? EXAMPLES_DIR "/SM5120.def" : EXAMPLES_DIR "/SM5632.def"); });
    tagSMItem item{};
    item.SID = 1;
    item.Port = 1;
    item.Addr = ydt ? 1 : 3;
    item.Type = ydt ? 5120 : 5632;
    item.Ser = &port;
    drv->SetDb(pdb, 0);
    drv->RegDb(pdb, 0);
    drv->DoItem(&item, 0);
    drv->ChkDb(&item);
    std::vector<int> bits(static_cast<size_t>(drv->DataSize() / 32 + 1), 0);
    Measure(
        state,
        [&] {
            if (withDb) db.Begin();
            bool ok = drv->DataGet(&port, item.Addr, 0) != 0;
            for (int i = 1; i <= drv->DataSize(); ++i) benchmark::DoNotOptimize(drv->DataVal(i));
            drv->DataUpd(0, bits.data(), nullptr, -1, nullptr);
            if (withDb) db.Commit();
            return ok;
        },
        [&] { return port.OwnAllocs(); });
    SMSetSleepHook(nullptr);
}

// Rows the device leaves in the database: readings, brief, state.
std::string Rows(CSqliteDb& db)
{
    std::string s = db.QueryStr("select group_concat(Fld||'='||Val,' ') from (select Fld,Val from tbModbusDat "
                                "where SID=1 and DID=0 order by LID)");
    s += " | ";
    s += db.QueryStr("select Brief||' '||St from tbSMBrief where SID=1");
    s += " | ";
    s += db.QueryStr("select State||' '||SnapID from tbModbus where SID=1");
    return s;
}

// The hand-written poller must write what the driver writes: the same statement texts and
// the same rows (prepared). Returns an explanation when it does not.
std::string CheckSameWork()
{
    SMSetSleepHook(NoSleep);
    std::string why;
    for (int points : {10, 100}) {
        ModbusRig rig(points, false, true);
        rig.db.record = true;
        bench::HostPoll(rig);
        rig.db.record = false;
        HandPoller texts(points, false, HandPoller::TEXTS);
        texts.db.record = true;
        texts.Poll();
        if (rig.db.statements != texts.db.statements) {
            why = "statement texts differ at " + std::to_string(points) + " points:";
            for (size_t i = 0; i < rig.db.statements.size() || i < texts.db.statements.size(); ++i) {
                std::string a = i < rig.db.statements.size() ? rig.db.statements[i] : "-";
                std::string b = i < texts.db.statements.size() ? texts.db.statements[i] : "-";
                if (a != b) {
                    why += "\n  driver: " + a + "\n  hand:   " + b;
                    break;
                }
            }
            break;
        }
        HandPoller prepared(points, false, HandPoller::PREPARED);
        prepared.Poll();
        if (Rows(rig.db) != Rows(prepared.db) || Rows(rig.db) != Rows(texts.db)) {
            why = "rows differ at " + std::to_string(points) + " points:\n  driver: " + Rows(rig.db) +
                  "\n  hand:   " + Rows(prepared.db) + "\n  texts:  " + Rows(texts.db);
            break;
        }
    }
    SMSetSleepHook(nullptr);
    return why;
}

// The console report, then the driver's CPU time per poll over the hand-written poller's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (!r.error_occurred && r.run_type == Run::RT_Iteration) m_cpu[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        struct {
            const char* what;
            const char* qvsm;
            const char* hand;
        } pairs[] = {
            {"100 points, no database, RTU", "BM_ModbusPoll/points:100/db:0/tcp:0", "BM_HandPoll/points:100/db:0/tcp:0"},
            {"100 points, no database, TCP", "BM_ModbusPoll/points:100/db:0/tcp:1", "BM_HandPoll/points:100/db:0/tcp:1"},
            {"100 points, SQLite, vs the same statement texts", "BM_ModbusPoll/points:100/db:1/tcp:0",
             "BM_HandPoll/points:100/db:2/tcp:0"},
            {"100 points, SQLite, vs prepared statements", "BM_ModbusPoll/points:100/db:1/tcp:0",
             "BM_HandPoll/points:100/db:1/tcp:0"},
            {"10 points, no database", "BM_ModbusPoll/points:10/db:0/tcp:0", "BM_HandPoll/points:10/db:0/tcp:0"},
            {"1000 points, no database", "BM_ModbusPoll/points:1000/db:0/tcp:0", "BM_HandPoll/points:1000/db:0/tcp:0"},
        };
        std::printf("\nqvsm / hand-written poller (CPU time per poll):\n");
        for (const auto& p : pairs) {
            auto a = m_cpu.find(p.qvsm), b = m_cpu.find(p.hand);
            if (a == m_cpu.end() || b == m_cpu.end() || b->second <= 0) continue;
            std::printf("  %-50s %6.2fx\n", p.what, a->second / b->second);
        }
        auto p10 = m_cpu.find("BM_ModbusPoll/points:10/db:0/tcp:0");
        auto p1000 = m_cpu.find("BM_ModbusPoll/points:1000/db:0/tcp:0");
        if (p10 != m_cpu.end() && p1000 != m_cpu.end() && p10->second > 0)
            std::printf("  %-50s %6.2fx (linear: 1.00)\n", "cost per point, 1000 points over 10 points",
                        (p1000->second / 1000.0) / (p10->second / 10.0));
    }

private:
    std::map<std::string, double> m_cpu;
};

}  // namespace

BENCHMARK(BM_EnvirPoll)->ArgName("db")->Arg(1)->Arg(0);
BENCHMARK(BM_ModbusPoll)
    ->ArgNames({"points", "db", "tcp"})
    ->Args({100, 1, 0})
    ->Args({100, 0, 0})
    ->Args({100, 0, 1})
    ->Args({10, 0, 0})
    ->Args({1000, 0, 0});
BENCHMARK(BM_FramePoll)->ArgNames({"ydt0cmd1", "db"})->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1});
BENCHMARK(BM_HandPoll)
    ->ArgNames({"points", "db", "tcp"})
    ->Args({100, 2, 0})
    ->Args({100, 1, 0})
    ->Args({100, 0, 0})
    ->Args({100, 0, 1})
    ->Args({10, 0, 0})
    ->Args({1000, 0, 0});

// The module's paths lead into an empty temporary root: nothing outside it is touched.
int main(int argc, char** argv)
{
    char root[] = "/tmp/qvsm-bench-XXXXXX";
    if (!mkdtemp(root)) return 1;
    setenv("QVSM_ROOT", root, 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::string why = CheckSameWork();
    if (!why.empty()) {
        std::fprintf(stderr, "the hand-written poller does not do the driver's work: %s\n", why.c_str());
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    rmdir(root);
    return 0;
}
