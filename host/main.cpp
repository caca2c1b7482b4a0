// qvsm-host: the reference host of libqvsm.so.
//
//   qvsm-host [run] -c SITE.ini [--module PATH] [--cycles N] [--interval MS] [--quiet]
//   qvsm-host ctl   -c SITE.ini --sid SID --cmd N [--text TEXT | --int N | --bytes HEX | --ptr N]
//                   [--len N] [--module PATH]
//   qvsm-host show  -c SITE.ini
//
// Exit status: 0 done, 1 run-time failure, 2 bad command line or site file.
#include <signal.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "host/Charset.h"
#include "host/Host.h"
#include "host/HostConfig.h"
#include "host/IniReader.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

int Usage(const char* msg = nullptr)
{
    if (msg) std::fprintf(stderr, "qvsm-host: %s\n", msg);
    std::fprintf(stderr,
                 "usage: qvsm-host [run] -c SITE.ini [--module PATH] [--cycles N] [--interval MS] [--quiet]\n"
                 "       qvsm-host ctl   -c SITE.ini --sid SID --cmd N [--text TEXT | --int N | --bytes HEX | --ptr N]\n"
                 "                       [--len N] [--module PATH]\n"
                 "       qvsm-host show  -c SITE.ini\n");
    return 2;
}

// "A5 5A 04" or "a55a04": pairs of hex digits, blanks between pairs allowed.
bool ParseHexBytes(const std::string& text, std::vector<unsigned char>& out)
{
    out.clear();
    int hi = -1;
    for (char c : text) {
        if (c == ' ' && hi < 0) continue;
        int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (v < 0) return false;
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<unsigned char>(hi * 16 + v));
            hi = -1;
        }
    }
    return hi < 0 && !out.empty();
}

// Sleeps until the deadline or a stop signal.
void SleepUntil(std::chrono::steady_clock::time_point t)
{
    while (!g_stop) {
        auto now = std::chrono::steady_clock::now();
        if (now >= t) return;
        auto us = std::chrono::duration_cast<std::chrono::microseconds>(t - now).count();
        timespec ts{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
        nanosleep(&ts, nullptr);  // a signal ends it early
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::string cmd = "run", cfgPath, module;
    int cycles = -1, interval = -1, sid = -1, ctlCmd = INT_MIN, intArg = 0;
    bool quiet = false, haveText = false, haveInt = false, haveBytes = false, havePtr = false, haveLen = false;
    int lenArg = 0;
    long long ptrArg = 0;
    std::string text, hexArg;
    int i = 1;
    if (argc > 1 && argv[1][0] != '-') {
        cmd = argv[1];
        i = 2;
        if (cmd != "run" && cmd != "ctl" && cmd != "show") return Usage(("unknown command " + cmd).c_str());
    }
    for (; i < argc; ++i) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if ((a == "-c" || a == "--config") && more) cfgPath = argv[++i];
        else if (a == "--module" && more) module = argv[++i];
        else if (a == "--cycles" && more) {
            if (!ini::ToInt(argv[++i], 1, INT_MAX, cycles)) return Usage("--cycles needs a positive number");
        } else if (a == "--interval" && more) {
            if (!ini::ToInt(argv[++i], 0, 86400000, interval)) return Usage("--interval needs a number of ms");
        } else if (a == "--sid" && more) {
            if (!ini::ToInt(argv[++i], 1, INT_MAX, sid)) return Usage("--sid needs a positive number");
        } else if (a == "--cmd" && more) {
            if (!ini::ToInt(argv[++i], INT_MIN, INT_MAX, ctlCmd)) return Usage("--cmd needs a number");
        } else if (a == "--text" && more) {
            text = argv[++i];
            haveText = true;
        } else if (a == "--int" && more) {
            if (!ini::ToInt(argv[++i], INT_MIN, INT_MAX, intArg)) return Usage("--int needs a number");
            haveInt = true;
        } else if (a == "--bytes" && more) {
            hexArg = argv[++i];
            haveBytes = true;
        } else if (a == "--ptr" && more) {
            int v = 0;
            if (!ini::ToInt(argv[++i], 0, INT_MAX, v)) return Usage("--ptr needs a number");
            ptrArg = v;
            havePtr = true;
        } else if (a == "--len" && more) {
            if (!ini::ToInt(argv[++i], INT_MIN, INT_MAX, lenArg)) return Usage("--len needs a number");
            haveLen = true;
        } else if (a == "--quiet") {
            quiet = true;
        } else {
            return Usage(("unexpected argument " + a).c_str());
        }
    }
    if (cfgPath.empty()) return Usage("no site file (-c SITE.ini)");
    if (cmd == "ctl" && (sid < 0 || ctlCmd == INT_MIN)) return Usage("ctl needs --sid and --cmd");
    if (haveText + haveInt + haveBytes + havePtr > 1) return Usage("--text, --int, --bytes and --ptr are exclusive");

    host::HostCfg cfg;
    std::string err;
    if (!host::LoadHostConfig(cfgPath, cfg, err)) {
        std::fprintf(stderr, "qvsm-host: %s\n", err.c_str());
        return 2;
    }
    if (interval >= 0) cfg.intervalMs = interval;
    setvbuf(stdout, nullptr, _IOLBF, 0);

    if (cmd == "show") {
        if (!host::Show(cfg, stdout, err)) {
            std::fprintf(stderr, "qvsm-host: %s\n", err.c_str());
            return 1;
        }
        return 0;
    }

    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;  // no SA_RESTART: sleeps and waits end at once
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    host::CHost h(cfg);
    h.quietPorts = quiet;
    if (!h.Start(module, err)) {
        std::fprintf(stderr, "qvsm-host: %s\n", err.c_str());
        return err.find(cfgPath + ": [") == 0 ? 2 : 1;
    }
    if (!quiet)
        std::printf("module %s: %s, version %d; %zu devices\n", h.Module().Path().c_str(),
                    host::GbkForTerminal(h.Module().DllNote()).c_str(), h.Module().DllVersion(), cfg.devices.size());

    if (cmd == "ctl") {
        const host::DeviceCfg* dev = cfg.Device(sid);
        if (!dev) {
            std::fprintf(stderr, "qvsm-host: %s: no device with SID %d\n", cfgPath.c_str(), sid);
            return 2;
        }
        // The argument as the driver sees it: GBK text in a buffer it may write back into, or an int.
        std::vector<char> buf(1024, 0);
        void* arg = nullptr;
        int len = 0;
        if (haveText) {
            std::string gbk;
            if (!host::Utf8ToGbk(text, gbk) || gbk.size() >= buf.size()) {
                std::fprintf(stderr, "qvsm-host: --text: not convertible to GBK or too long\n");
                return 2;
            }
            std::memcpy(buf.data(), gbk.data(), gbk.size());
            arg = buf.data();
            len = static_cast<int>(gbk.size());
        } else if (haveInt) {
            arg = &intArg;
            len = static_cast<int>(sizeof intArg);
        } else if (haveBytes) {
            std::vector<unsigned char> raw;
            if (!ParseHexBytes(hexArg, raw) || raw.size() >= buf.size()) {  // a NUL stays after them
                std::fprintf(stderr, "qvsm-host: --bytes: expected up to %zu hex bytes\n", buf.size() - 1);
                return 2;
            }
            std::memcpy(buf.data(), raw.data(), raw.size());
            arg = buf.data();
            len = static_cast<int>(raw.size());
        } else if (havePtr) {
            // The number itself is the argument, for commands that read the pointer as a value.
            arg = reinterpret_cast<void*>(static_cast<intptr_t>(ptrArg));
        }
        if (haveLen) len = lenArg;
        std::string before(buf.data());
        int result = 0;
        if (!h.Ctl(sid, ctlCmd, arg, len, result, err)) {
            std::fprintf(stderr, "qvsm-host: %s\n", err.c_str());
            return 2;
        }
        std::printf("ctl [%d] %s: DoFunc(cmd %d) = %d\n", sid, dev->name.c_str(), ctlCmd, result);
        if (haveText && before != buf.data()) std::printf("reply: %s\n", host::GbkForTerminal(buf.data()).c_str());
        return 0;
    }

    int done = 0;
    auto next = std::chrono::steady_clock::now();
    while (!g_stop && (cycles < 0 || done < cycles)) {
        next += std::chrono::milliseconds(cfg.intervalMs);
        host::CycleStats st = h.Cycle(&g_stop);
        ++done;
        std::printf("%s\n", st.Line().c_str());
        if (cycles >= 0 && done >= cycles) break;
        auto now = std::chrono::steady_clock::now();
        if (next < now) next = now;  // a cycle longer than the interval: start the next one at once
        SleepUntil(next);
    }
    h.Stop();
    if (!quiet) std::printf("stopped after %d cycles\n", done);
    return 0;
}
