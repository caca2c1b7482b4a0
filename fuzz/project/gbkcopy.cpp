// gbkcopy SRC DST FILE...: copies each FILE (relative to SRC) to DST converted from UTF-8 to
// GBK, and refuses a result in which the trail byte of a double-byte character is a
// backslash (the compiler would read it as an escape).
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

bool ToGbk(const std::string& in, std::string& out)
{
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.assign(in.size() * 2 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char* dst = &out[0];
    size_t room = out.size();
    bool ok = iconv(cd, &src, &left, &dst, &room) != static_cast<size_t>(-1);
    iconv_close(cd);
    out.resize(out.size() - room);
    return ok;
}

// The offset of a double-byte character whose trail byte is a backslash, or -1.
long BackslashTrail(const std::string& gbk)
{
    for (size_t i = 0; i < gbk.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(gbk[i]);
        if (c < 0x81 || c == 0xFF || i + 1 >= gbk.size()) continue;
        if (gbk[i + 1] == '\\') return static_cast<long>(i);
        ++i;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: gbkcopy SRC DST FILE...\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path src = argv[1], dst = argv[2];
    for (int i = 3; i < argc; ++i) {
        std::ifstream f(src / argv[i], std::ios::binary);
        if (!f) {
            std::fprintf(stderr, "gbkcopy: cannot read %s\n", argv[i]);
            return 1;
        }
        std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        std::string gbk;
        if (!ToGbk(text, gbk)) {
            std::fprintf(stderr, "gbkcopy: %s is not UTF-8 text that GBK can hold\n", argv[i]);
            return 1;
        }
        long at = BackslashTrail(gbk);
        if (at >= 0) {
            std::fprintf(stderr, "gbkcopy: %s: a GBK character at byte %ld ends in a backslash\n", argv[i], at);
            return 1;
        }
        fs::path out = dst / argv[i];
        fs::create_directories(out.parent_path());
        // Unchanged copies keep their time stamp, so only edited sources are rebuilt.
        std::ifstream old(out, std::ios::binary);
        std::string before((std::istreambuf_iterator<char>(old)), std::istreambuf_iterator<char>());
        if (old && before == gbk) continue;
        std::ofstream o(out, std::ios::binary | std::ios::trunc);
        o << gbk;
        if (!o) {
            std::fprintf(stderr, "gbkcopy: cannot write %s\n", out.c_str());
            return 1;
        }
    }
    return 0;
}
