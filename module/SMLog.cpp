#include "base/SMLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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

    // Paths and line on the stack: logging allocates nothing.
    char path[PATH_MAX], bak[PATH_MAX + 4];
    bool named = SMPath(filename, path, sizeof path);
    if (named && icount > 2047) {
        std::snprintf(bak, sizeof bak, "%s.bak", path);
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

    if (!named) return 1;
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return 1;
    ++icount;
    size_t len = std::strlen(buffer), done = 0;
    while (done < len) {
        ssize_t w = write(fd, buffer + done, len - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += static_cast<size_t>(w);
    }
    close(fd);
    return 1;
}

int trace_log(const char*, ...) { return 1; }
