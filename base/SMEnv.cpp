#include "base/SMEnv.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cerrno>
#include <climits>

std::string SMPath(const char* path)
{
    if (!path) return std::string();
    std::string out;
    if (path[0] == '/') {
        const char* root = std::getenv("QVSM_ROOT");
        if (root) out = root;
        while (!out.empty() && out.back() == '/') out.pop_back();
    }
    out += path;
    return out;
}

bool SMPath(const char* path, char* out, size_t cap)
{
    if (!out || cap == 0) return false;
    out[0] = 0;
    if (!path) return true;
    const char* root = path[0] == '/' ? std::getenv("QVSM_ROOT") : nullptr;
    size_t rootLen = root ? std::strlen(root) : 0;
    while (rootLen > 0 && root[rootLen - 1] == '/') --rootLen;
    const size_t len = std::strlen(path);
    if (rootLen + len + 1 > cap) return false;
    if (rootLen) std::memcpy(out, root, rootLen);
    std::memcpy(out + rootLen, path, len + 1);
    return true;
}

namespace {
SMSleepHook g_sleepHook = nullptr;

void RealSleep(unsigned long usec)
{
    timespec ts;
    ts.tv_sec = static_cast<time_t>(usec / 1000000UL);
    ts.tv_nsec = static_cast<long>((usec % 1000000UL) * 1000UL);
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}
}  // namespace

void SMSetSleepHook(SMSleepHook hook) { g_sleepHook = hook; }

void SMSleepUs(unsigned long usec)
{
    if (g_sleepHook)
        g_sleepHook(usec);
    else
        RealSleep(usec);
}

void SMSleepMs(unsigned long ms)
{
    const unsigned long maxMs = ULONG_MAX / 1000UL;
    for (; ms > maxMs; ms -= maxMs) SMSleepUs(maxMs * 1000UL);
    SMSleepUs(ms * 1000UL);
}

namespace {
SMClockHook g_clockHook = nullptr;
}

void SMSetClockHook(SMClockHook hook) { g_clockHook = hook; }

time_t SMNow() { return g_clockHook ? g_clockHook() : time(nullptr); }

struct tm SMLocalNow()
{
    time_t now = SMNow();
    struct tm tmv;
    localtime_r(&now, &tmv);
    return tmv;
}
