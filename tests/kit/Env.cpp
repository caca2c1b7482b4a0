#include "tests/kit/Env.h"

#include <iconv.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "base/SMEnv.h"

namespace fs = std::filesystem;

TempRoot::TempRoot()
{
    const char* old = std::getenv("QVSM_ROOT");
    if (old) {
        m_hadOld = true;
        m_old = old;
    }
    std::string tmpl = (fs::temp_directory_path() / "qvsm-test-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    m_dir = buf.data();
    setenv("QVSM_ROOT", m_dir.c_str(), 1);
    fs::create_directories(m_dir + "/NandFlash/tmp");
    fs::create_directories(m_dir + "/NandFlash/SM");
}

TempRoot::~TempRoot()
{
    std::error_code ec;
    fs::remove_all(m_dir, ec);
    if (m_hadOld)
        setenv("QVSM_ROOT", m_old.c_str(), 1);
    else
        unsetenv("QVSM_ROOT");
}

std::string TempRoot::Path(const std::string& abs) const
{
    std::string p = m_dir + abs;
    fs::create_directories(fs::path(p).parent_path());
    return p;
}

void TempRoot::Write(const std::string& abs, const std::string& content) const
{
    std::ofstream f(Path(abs), std::ios::binary);
    f << content;
}

std::string TempRoot::Read(const std::string& abs) const
{
    std::ifstream f(m_dir + abs, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool TempRoot::Exists(const std::string& abs) const { return fs::exists(m_dir + abs); }

namespace {
std::vector<unsigned long> g_sleeps;
time_t g_now = 0;
unsigned long g_sleptUs = 0;  // sleeps not yet turned into whole seconds of g_now
void RecordSleep(unsigned long usec)
{
    g_sleeps.push_back(usec);
    g_sleptUs += usec;
    g_now += static_cast<time_t>(g_sleptUs / 1000000UL);
    g_sleptUs %= 1000000UL;
}
time_t FakeNow() { return g_now; }

std::string Convert(const char* to, const char* from, const std::string& s)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
    std::string out(s.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(s.data());
    size_t inLeft = s.size();
    char* o = &out[0];
    size_t outLeft = out.size();
    size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) throw std::runtime_error("iconv");
    out.resize(out.size() - outLeft);
    return out;
}
}  // namespace

FakeClock::FakeClock()
{
    g_sleeps.clear();
    g_sleptUs = 0;
    SetLocal(2022, 3, 1, 8);
    SMSetSleepHook(RecordSleep);
    SMSetClockHook(FakeNow);
}

FakeClock::~FakeClock()
{
    SMSetSleepHook(nullptr);
    SMSetClockHook(nullptr);
}

void FakeClock::SetLocal(int year, int mon, int day, int hour, int min, int sec)
{
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = mon - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = min;
    t.tm_sec = sec;
    t.tm_isdst = -1;
    g_now = mktime(&t);
}

void FakeClock::SetNow(time_t t) { g_now = t; }
void FakeClock::Advance(long seconds) { g_now += seconds; }
time_t FakeClock::Now() { return g_now; }

std::vector<unsigned long>& FakeClock::Sleeps() { return g_sleeps; }

unsigned long FakeClock::TotalUs()
{
    unsigned long t = 0;
    for (unsigned long s : g_sleeps) t += s;
    return t;
}

std::string Utf8ToGbk(const std::string& s) { return Convert("GBK", "UTF-8", s); }
std::string GbkToUtf8(const std::string& s) { return Convert("UTF-8", "GBK", s); }
