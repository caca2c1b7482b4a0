// qvsm-sim: simulated field devices for qvsm-host, the demo and the end-to-end tests.
//
//   qvsm-sim CONFIG [--ready FILE] [--verbose]
//
// Prints one line per bus ("bus NAME pty /dev/pts/N" or "bus NAME tcp HOST:PORT"), then
// "ready"; with --ready the same lines are written to FILE once every bus is up. Runs until
// SIGINT or SIGTERM.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/ToolInfo.h"
#include "sim/Bus.h"
#include "sim/SimConfig.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

const char kUsage[] = "usage: qvsm-sim CONFIG [--ready FILE] [--verbose]\n"
                      "       qvsm-sim --help | --version\n";

int Usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

bool WriteReady(const std::string& path, const std::string& text)
{
    std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f) return false;
    bool ok = std::fputs(text.c_str(), f) >= 0;
    ok = (std::fclose(f) == 0) && ok;
    return ok && std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (ToolInfo(argc, argv, "qvsm-sim", kUsage)) return 0;
    std::string cfgPath, ready;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--ready" && i + 1 < argc) ready = argv[++i];
        else if (a == "--verbose" || a == "-v") verbose = true;
        else if (!a.empty() && a[0] != '-' && cfgPath.empty()) cfgPath = a;
        else return Usage();
    }
    if (cfgPath.empty()) return Usage();
    setvbuf(stdout, nullptr, _IOLBF, 0);

    sim::SimConfig cfg;
    std::string err;
    if (!sim::LoadSimConfig(cfgPath, cfg, err)) {
        std::fprintf(stderr, "qvsm-sim: %s\n", err.c_str());
        return 1;
    }

    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::vector<std::unique_ptr<sim::CBus>> buses;
    std::string lines;
    for (const auto& spec : cfg.buses) {
        auto resp = sim::MakeResponder(spec, cfg.slaves, err);
        if (!resp) {
            std::fprintf(stderr, "qvsm-sim: %s\n", err.c_str());
            return 1;
        }
        auto bus = std::make_unique<sim::CBus>(spec, std::move(resp));
        bus->verbose = verbose;
        if (!bus->Start(err)) {
            std::fprintf(stderr, "qvsm-sim: %s\n", err.c_str());
            return 1;
        }
        std::string line = "bus " + spec.name + (spec.tcp ? " tcp " : " pty ") + bus->Where();
        if (!spec.tcp && !spec.link.empty()) line += " link " + spec.link;
        lines += line + "\n";
        buses.push_back(std::move(bus));
    }
    lines += "ready\n";
    std::fputs(lines.c_str(), stdout);
    if (!ready.empty() && !WriteReady(ready, lines)) {
        std::fprintf(stderr, "qvsm-sim: cannot write %s\n", ready.c_str());
        return 1;
    }

    auto tick = std::chrono::milliseconds(cfg.tickMs);
    auto nextTick = sim::Clock::now() + tick;
    std::vector<pollfd> fds;
    while (!g_stop) {
        int wait = -1;
        for (auto& b : buses) {
            int w = b->Service();
            if (w >= 0) wait = wait < 0 ? w : std::min(wait, w);
        }
        auto now = sim::Clock::now();
        if (now >= nextTick) {
            for (auto& b : buses) b->Responder()->Tick();
            nextTick += tick;
            if (nextTick < now) nextTick = now + tick;
        }
        int toTick = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - now).count()) + 1;
        wait = wait < 0 ? toTick : std::min(wait, toTick);
        fds.clear();
        for (auto& b : buses) b->Fds(fds);
        int n = poll(fds.data(), fds.size(), wait);
        if (n < 0 && errno != EINTR) break;
        if (n > 0)
            for (auto& b : buses) b->Handle(fds);
    }
    for (auto& b : buses) b->Stop();
    if (!ready.empty()) unlink(ready.c_str());
    return 0;
}
