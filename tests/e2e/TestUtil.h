// Helpers shared by the host, simulator and end-to-end tests: a temporary folder, files,
// child processes and waiting for conditions.
#ifndef QVSM_TESTS_E2E_TESTUTIL_H
#define QVSM_TESTS_E2E_TESTUTIL_H

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// A fresh folder below /tmp, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& text);
std::string ReadFile(const std::string& path);

// Polls cond every 20 ms until it holds or the time is up.
bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit);

// A child process started without a shell, its output going to a file.
class Proc {
public:
    Proc() = default;
    ~Proc();
    Proc(const Proc&) = delete;
    Proc& operator=(const Proc&) = delete;

    bool Start(const std::vector<std::string>& argv, const std::string& outFile);
    pid_t Pid() const { return m_pid; }
    bool Running();
    // Waits for the exit; the exit status, or -1 on time-out (the child is then killed),
    // 128+signal when a signal ended it.
    int Wait(std::chrono::milliseconds limit);
    void Signal(int sig);
    void Kill();  // SIGKILL and reap

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

// Runs a program to its end: exit status (-1 on time-out) and its output.
int Run(const std::vector<std::string>& argv, std::string& out, std::chrono::milliseconds limit);

std::string Gbk(const std::string& utf8);

}  // namespace e2e

#endif
