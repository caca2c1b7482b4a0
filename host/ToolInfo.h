// --help and --version of the command-line tools (qvsm-host, qvsm-sim, qvsm-defcheck).
#ifndef QVSM_HOST_TOOLINFO_H
#define QVSM_HOST_TOOLINFO_H

#include <cstdio>
#include <cstring>

#ifndef QVSM_VERSION_TEXT
#define QVSM_VERSION_TEXT "unknown"
#endif

// When the first argument is --help (-h) or --version, prints the usage or "NAME (qvsm)
// VERSION" on standard output and returns true: the tool then exits with 0.
inline bool ToolInfo(int argc, char** argv, const char* name, const char* usage)
{
    if (argc < 2) return false;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(usage, stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s (qvsm) %s\n", name, QVSM_VERSION_TEXT);
        return true;
    }
    return false;
}

#endif
