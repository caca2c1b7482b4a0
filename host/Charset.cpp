#include "host/Charset.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace host {
namespace {

// Converts as far as possible; returns false at the first byte that does not convert and
// leaves in/left on it.
bool Convert(iconv_t cd, char*& in, size_t& left, std::string& out)
{
    char buf[512];
    while (left > 0) {
        char* o = buf;
        size_t room = sizeof buf;
        size_t r = iconv(cd, &in, &left, &o, &room);
        out.append(buf, static_cast<size_t>(o - buf));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
}

bool Run(const char* to, const char* from, const std::string& in, std::string& out)
{
    out.clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char* p = const_cast<char*>(in.data());
    size_t left = in.size();
    bool ok = Convert(cd, p, left, out);
    iconv_close(cd);
    return ok;
}

}  // namespace

bool Utf8ToGbk(const std::string& in, std::string& out) { return Run("GBK", "UTF-8", in, out); }

bool GbkToUtf8(const std::string& in, std::string& out) { return Run("UTF-8", "GBK", in, out); }

std::string GbkForTerminal(const std::string& in)
{
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return in;
    char* p = const_cast<char*>(in.data());
    size_t left = in.size();
    while (!Convert(cd, p, left, out)) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(*p));
        out += hex;
        ++p;
        --left;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

}  // namespace host
