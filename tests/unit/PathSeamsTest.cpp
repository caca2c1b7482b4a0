// Module paths into a caller's buffer and the on-board integer files, as the steady poll uses
// them (without allocating): the same text as the allocating SMPath, refused when too long.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/SMBoard.h"
#include "base/SMEnv.h"
#include "tests/kit/Kit.h"

namespace {

// Sets QVSM_ROOT for one scope (unset when root is null).
class RootVar {
public:
    explicit RootVar(const char* root)
    {
        const char* old = std::getenv("QVSM_ROOT");
        m_had = old != nullptr;
        if (old) m_old = old;
        if (root)
            setenv("QVSM_ROOT", root, 1);
        else
            unsetenv("QVSM_ROOT");
    }
    ~RootVar()
    {
        if (m_had)
            setenv("QVSM_ROOT", m_old.c_str(), 1);
        else
            unsetenv("QVSM_ROOT");
    }

private:
    bool m_had = false;
    std::string m_old;
};

TEST(PathSeams, BufferPathIsTheSameTextOrRefused)
{
    const struct {
        const char* root;  // null: unset
        const char* path;
        const char* want;
    } rows[] = {
        {"/tmp/r", "/dev/gpio", "/tmp/r/dev/gpio"},
        {"/tmp/r///", "/dev/gpio", "/tmp/r/dev/gpio"},  // trailing slashes of the root dropped
        {"/", "/dev/gpio", "/dev/gpio"},
        {"", "/dev/gpio", "/dev/gpio"},
        {nullptr, "/dev/gpio", "/dev/gpio"},
        {"/tmp/r", "rel/file", "rel/file"},  // relative paths unchanged
        {"/tmp/r", "", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.root ? r.root : "(unset)") + " + " + r.path);
        RootVar var(r.root);
        char out[64] = "junk";
        ASSERT_TRUE(SMPath(r.path, out, sizeof out));
        EXPECT_STREQ(out, r.want);
        EXPECT_EQ(SMPath(r.path), r.want);
        // Exactly the text and its terminator fit; one byte less is refused with an empty text.
        const size_t need = std::strlen(r.want) + 1;
        char exact[64];
        EXPECT_TRUE(SMPath(r.path, exact, need));
        EXPECT_STREQ(exact, r.want);
        if (need > 1) {
            char small[64] = "junk";
            EXPECT_FALSE(SMPath(r.path, small, need - 1));
            EXPECT_STREQ(small, "");
        }
    }
    char out[8] = "junk";
    EXPECT_TRUE(SMPath(nullptr, out, sizeof out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(SMPath("/x", nullptr, 8));
    EXPECT_FALSE(SMPath("/x", out, 0));
}

TEST(PathSeams, IntegerFilesReadTheLeadingNumber)
{
    TempRoot root;
    const char* raw = "/sys/bus/iio/devices/iio:device0/in_voltage9_raw";
    const struct {
        const char* text;
        bool ok;
        long want;
    } rows[] = {
        {"4095\n", true, 4095},        {"  \t\n-17 mV\n", true, -17}, {"+8", true, 8},
        {"0012x", true, 12},           {"", false, 0},                {"\n\n", false, 0},
        {"-", false, 0},               {"abc 5", false, 0},           {"99999999999999999999999", true, LONG_MAX},
        {"-99999999999999999999999", true, LONG_MIN},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        root.Write(raw, r.text);
        long v = -99;
        EXPECT_EQ(SMReadIntFile(raw, &v), r.ok);
        EXPECT_EQ(v, r.ok ? r.want : -99) << "untouched on failure";
    }
    EXPECT_FALSE(SMReadIntFile(nullptr, nullptr));

    // Writes replace the whole file; a path longer than any buffer is refused.
    const char* gpio = "/sys/class/gpio/gpio124/value";
    root.Write(gpio, "123456789\n");
    ASSERT_TRUE(SMWriteIntFile(gpio, -3));
    EXPECT_EQ(root.Read(gpio), "-3\n");
    const std::string longPath = "/" + std::string(5000, 'd');
    EXPECT_FALSE(SMWriteIntFile(longPath.c_str(), 1));
    long v = 5;
    EXPECT_FALSE(SMReadIntFile(longPath.c_str(), &v));
    EXPECT_EQ(v, 5);
}

}  // namespace
