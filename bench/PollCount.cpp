// Runs polls of one kind for callgrind: two polls to settle, then N polls with instruction
// collection switched on (valgrind --tool=callgrind --collect-atstart=no). Prints the heap
// allocations of the N polls. bench/callgrind.sh runs it for every kind and prints ratios.
//   qvsm_pollcount qvsm|hand POINTS DB TCP N
// DB: 0 none; qvsm 1 in-memory SQLite; hand 1 prepared statements, 2 statement texts.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "bench/BenchRig.h"
#include "bench/HandPoller.h"

long AllocCount();

namespace {
void NoSleep(unsigned long) {}

template <class F>
int Run(long n, F poll)
{
    if (!poll() || !poll()) return 1;
    long before = AllocCount();
    CALLGRIND_TOGGLE_COLLECT;
    bool ok = true;
    for (long i = 0; i < n; ++i) ok = poll() && ok;
    CALLGRIND_TOGGLE_COLLECT;
    long allocs = AllocCount() - before;
    std::printf("allocs/poll %.3f\n", static_cast<double>(allocs) / static_cast<double>(n));
    return ok ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s qvsm|hand POINTS DB TCP N\n", argv[0]);
        return 2;
    }
    char root[] = "/tmp/qvsm-bench-XXXXXX";
    if (!mkdtemp(root)) return 1;
    setenv("QVSM_ROOT", root, 1);
    SMSetSleepHook(NoSleep);
    std::string kind = argv[1];
    int points = std::atoi(argv[2]), db = std::atoi(argv[3]);
    bool tcp = std::atoi(argv[4]) != 0;
    long n = std::atol(argv[5]);
    int r;
    if (kind == "qvsm") {
        bench::ModbusRig rig(points, tcp, db != 0);
        r = Run(n, [&] { return bench::HostPoll(rig); });
    } else {
        bench::HandPoller hand(points, tcp, static_cast<bench::HandPoller::DbMode>(db));
        r = Run(n, [&] { return hand.Poll(); });
    }
    return r;
}
