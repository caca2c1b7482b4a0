#include "base/SMBoard.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "base/SMEnv.h"

bool SMReadIntFile(const char* path, long* value)
{
    if (!path || !value) return false;
    char p[PATH_MAX];
    if (!SMPath(path, p, sizeof p)) return false;
    int fd = open(p, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Enough for blanks before the number and any long; what follows it is not looked at.
    char text[96];
    ssize_t n;
    do
        n = read(fd, text, sizeof text - 1);
    while (n < 0 && errno == EINTR);
    close(fd);
    if (n <= 0) return false;
    text[n] = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);  // out of range: held at LONG_MIN / LONG_MAX, as fscanf does
    if (end == text) return false;
    *value = v;
    return true;
}

bool SMWriteIntFile(const char* path, long value)
{
    if (!path) return false;
    char p[PATH_MAX];
    if (!SMPath(path, p, sizeof p)) return false;
    char text[32];
    int len = std::snprintf(text, sizeof text, "%ld\n", value);
    if (len <= 0 || len >= static_cast<int>(sizeof text)) return false;
    int fd = open(p, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ssize_t n;
    do
        n = write(fd, text, static_cast<size_t>(len));
    while (n < 0 && errno == EINTR);
    bool ok = n == len;
    return close(fd) == 0 && ok;
}
