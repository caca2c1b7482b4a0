// Test environment: a temporary QVSM_ROOT, a fake clock, GBK conversion.
#ifndef QVSM_TESTS_ENV_H
#define QVSM_TESTS_ENV_H

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

// Installs a sleep hook that records instead of waiting; restores the real sleep on exit.
class FakeClock {
public:
    FakeClock();
    ~FakeClock();
    static std::vector<unsigned long>& Sleeps();  // microseconds, per call
    static unsigned long TotalUs();
};

// UTF-8 <-> GBK (tests are compiled with a GBK execution charset, so plain literals are GBK).
std::string Utf8ToGbk(const std::string& s);
std::string GbkToUtf8(const std::string& s);

#endif
