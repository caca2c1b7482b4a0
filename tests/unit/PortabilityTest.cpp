// What differs on the boards: 32-bit unsigned long and time_t, C libraries without the GBK
// converter. Meant to be run under the cross builds' emulators as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "base/BufHelper.h"
#include "base/SMBase.h"
#include "base/SMEnv.h"
#include "base/SMLog.h"
#include "tests/kit/Kit.h"

namespace {

const char kLog[] = "/NandFlash/tmp/qvsm.log.ini";

int CountLines(const std::string& text, const std::string& part)
{
    int n = 0;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) n += l.find(part) != std::string::npos;
    return n;
}

TEST(Portability, LongSleepsKeepTheirLength)
{
    // 4294967 ms is the most that fits a 32-bit count of microseconds.
    for (unsigned long ms : {0UL, 1UL, 4294967UL, 4294968UL, 5000000UL, 86400000UL}) {
        FakeClock clock;
        SMSleepMs(ms);
        unsigned long long total = 0;
        for (unsigned long us : FakeClock::Sleeps()) total += us;
        EXPECT_EQ(total, static_cast<unsigned long long>(ms) * 1000ULL) << ms << " ms";
        EXPECT_FALSE(FakeClock::Sleeps().empty()) << ms << " ms";
        // A reply pause of that many milliseconds is held at what an unsigned long can hold.
        unsigned long long want = std::min<unsigned long long>(static_cast<unsigned long long>(ms) * 1000ULL, ULONG_MAX);
        EXPECT_EQ(CSMBase::ReplyPauseUs(static_cast<int>(ms), static_cast<int>(ms)), want) << ms << " ms";
    }
    EXPECT_EQ(CSMBase::ReplyPauseUs(50, 20), 20000UL) << "short waits take the default";
    EXPECT_EQ(CSMBase::ReplyPauseUs(50, -5), 0UL);
}

TEST(Portability, LogTimeStampsAfter2038)
{
    struct Case {
        int y, mo, d, h, mi, s;
        const char* stamp;
    };
    const Case cases[] = {
        {2037, 12, 31, 23, 59, 59, "[2037-12-31 23:59:59]"},
        {2038, 1, 20, 0, 0, 0, "[2038-01-20 00:00:00]"},
        {2040, 2, 29, 12, 34, 56, "[2040-02-29 12:34:56]"},
        {2106, 2, 8, 6, 28, 16, "[2106-02-08 06:28:16]"},
    };
    TempRoot root;
    FakeClock clock;
    SMLogResetCounter();
    for (const Case& c : cases) {
        FakeClock::SetLocal(c.y, c.mo, c.d, c.h, c.mi, c.s);
        trace_sm_log("RtLog", "tick\n");
        EXPECT_EQ(CountLines(root.Read(kLog), c.stamp), 1) << c.stamp << "\n" << root.Read(kLog);
    }
    SMLogResetCounter();
}

TEST(Portability, AMissingConverterPassesTextsAndIsLoggedOncePerPair)
{
    TempRoot root;
    SMLogResetCounter();
    // Names no C library knows; unique per run so that an earlier run in this process does not count.
    static int run = 0;
    ++run;
    const std::string a = "NO-SUCH-SET-A" + std::to_string(run), b = "NO-SUCH-SET-B" + std::to_string(run);
    for (const std::string& to : {a, a, b, a}) {
        char in[] = "\xb5\xe7\xd1\xb9 230V";  // GBK
        char out[64] = {};
        EXPECT_EQ(CBufHelper::conv_code(to.c_str(), "GBK", out, in), static_cast<int>(std::strlen(in))) << to;
        EXPECT_STREQ(out, in) << to;
    }
    const std::string log = root.Read(kLog);
    EXPECT_EQ(CountLines(log, "no converter GBK -> " + a + ","), 1) << log;
    EXPECT_EQ(CountLines(log, "no converter GBK -> " + b + ","), 1) << log;
    // A converter that exists is not reported.
    char in[] = "\xb5\xe7";
    char out[16] = {};
    EXPECT_EQ(CBufHelper::conv_code("UCS-2", "GBK", out, in), 2);
    EXPECT_EQ(CountLines(root.Read(kLog), "no converter"), 2);
    SMLogResetCounter();
}

}  // namespace
