#include "base/SMLog.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/SMEnv.h"

const char* const filename = "/NandFlash/tmp/qvsm.log.ini";

namespace {
int icount = 0;
}

void SMLogResetCounter() { icount = 0; }

int trace_sm_log(const char* tag, const char* format, ...)
{
    static char buffer[1026];
    if (!tag) return -1;

    // The log and its predecessor, without allocating (a line is written every poll).
    char path[PATH_MAX], bak[PATH_MAX + 4];
    if (!SMPath(filename, path, sizeof path)) return -1;
    std::snprintf(bak, sizeof bak, "%s.bak", path);
    if (icount > 2047) {
        std::remove(bak);
        std::rename(path, bak);
        icount = 0;
    }

    std::memset(buffer, 0, sizeof buffer);
    va_list ap;
    va_start(ap, format);
    vsnprintf(buffer, 1024, format ? format : "", ap);
    va_end(ap);
    char message[1026];
    std::memcpy(message, buffer, sizeof message);

    struct tm tmv = SMLocalNow();
    // The composed line is cut to the buffer on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-truncation"
    std::snprintf(buffer, sizeof buffer, "%ld=[%s][%d-%02d-%02d %02d:%02d:%02d] %s", static_cast<long>(icount), tag,
                  tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec, message);
#pragma GCC diagnostic pop

    FILE* f = std::fopen(path, "a+");
    if (!f) return 1;
    ++icount;
    std::fputs(buffer, f);
    std::fflush(f);
    std::fclose(f);
    return 1;
}

int trace_log(const char*, ...) { return 1; }
