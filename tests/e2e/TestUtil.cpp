#include "tests/e2e/TestUtil.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "host/Charset.h"

extern char** environ;

namespace e2e {

TempDir::TempDir()
{
    char tmpl[] = "/tmp/qvsm-e2e-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit)
{
    auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (cond()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Proc::~Proc() { Kill(); }

bool Proc::Start(const std::vector<std::string>& argv, const std::string& outFile)
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int rc = posix_spawn(&m_pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) m_pid = -1;
    m_status = -1;
    return rc == 0;
}

bool Proc::Running()
{
    if (m_pid <= 0) return false;
    int st = 0;
    pid_t r = waitpid(m_pid, &st, WNOHANG);
    if (r == 0) return true;
    if (r == m_pid) m_status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    m_pid = -1;
    return false;
}

int Proc::Wait(std::chrono::milliseconds limit)
{
    if (m_pid <= 0) return m_status;
    if (!WaitFor([this] { return !Running(); }, limit)) {
        Kill();
        return -1;
    }
    return m_status;
}

void Proc::Signal(int sig)
{
    if (m_pid > 0) kill(m_pid, sig);
}

void Proc::Kill()
{
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    int st = 0;
    waitpid(m_pid, &st, 0);
    m_status = 128 + SIGKILL;
    m_pid = -1;
}

int Run(const std::vector<std::string>& argv, std::string& out, std::chrono::milliseconds limit)
{
    char tmpl[] = "/tmp/qvsm-run-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) return -1;
    close(fd);
    Proc p;
    int rc = p.Start(argv, tmpl) ? p.Wait(limit) : -1;
    out = ReadFile(tmpl);
    unlink(tmpl);
    return rc;
}

std::string Gbk(const std::string& utf8)
{
    std::string out;
    if (!host::Utf8ToGbk(utf8, out)) throw std::runtime_error("not convertible: " + utf8);
    return out;
}

}  // namespace e2e
