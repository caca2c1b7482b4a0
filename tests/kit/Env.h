// Test environment: a temporary QVSM_ROOT, a fake clock, GBK conversion.
#ifndef QVSM_TESTS_ENV_H
#define QVSM_TESTS_ENV_H

#include <ctime>
#include <string>
#include <vector>

// Creates a fresh directory, points QVSM_ROOT at it, removes it and restores the old value
// on destruction.
class TempRoot {
public:
    TempRoot();
    ~TempRoot();
    const std::string& Dir() const { return m_dir; }
    // Absolute module path ("/NandFlash/SM/x.def") -> file under the root; creates parents.
    std::string Path(const std::string& abs) const;
    void Write(const std::string& abs, const std::string& content) const;
    std::string Read(const std::string& abs) const;
    bool Exists(const std::string& abs) const;

private:
    std::string m_dir;
    std::string m_old;
    bool m_hadOld = false;
};

// Installs a sleep hook that records instead of waiting, and a clock that stands at a time
// the test chooses and moves only by the recorded sleeps and Advance; restores both on exit.
class FakeClock {
public:
    // Starts at local time 2022-03-01 08:00:00 unless the test sets another.
    FakeClock();
    ~FakeClock();
    static std::vector<unsigned long>& Sleeps();  // microseconds, per call
    static unsigned long TotalUs();
    // "Now" as local time (year, month 1..12, day, hour, minute, second).
    static void SetLocal(int year, int mon, int day, int hour = 0, int min = 0, int sec = 0);
    static void SetNow(time_t t);
    static void Advance(long seconds);
    static time_t Now();
};

// UTF-8 <-> GBK (tests are compiled with a GBK execution charset, so plain literals are GBK).
std::string Utf8ToGbk(const std::string& s);
std::string GbkToUtf8(const std::string& s);

#endif
