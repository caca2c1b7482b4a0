#include "base/SMBoard.h"

#include <cstdio>
#include <string>

#include "base/SMEnv.h"

bool SMReadIntFile(const char* path, long* value)
{
    if (!path || !value) return false;
    std::string p = SMPath(path);
    FILE* f = std::fopen(p.c_str(), "r");
    if (!f) return false;
    long v = 0;
    int n = std::fscanf(f, "%ld", &v);
    std::fclose(f);
    if (n != 1) return false;
    *value = v;
    return true;
}

bool SMWriteIntFile(const char* path, long value)
{
    if (!path) return false;
    std::string p = SMPath(path);
    FILE* f = std::fopen(p.c_str(), "w");
    if (!f) return false;
    bool ok = std::fprintf(f, "%ld\n", value) > 0;
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}
