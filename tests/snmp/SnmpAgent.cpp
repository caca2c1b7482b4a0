#include "tests/snmp/SnmpAgent.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

std::string SnmpAgent::DaemonPath()
{
    const char* p = getenv("QVSM_SNMPD");
    return p && *p ? p : "/usr/sbin/snmpd";
}

int SnmpAgent::FreeUdpPort()
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

std::string SnmpAgent::Log() const
{
    if (m_dir.empty())
        return "";
    std::ifstream in(m_dir + "/snmpd.log", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool SnmpAgent::Start(const std::string& config)
{
    Stop();
    m_error.clear();
    std::string daemon = DaemonPath();
    if (access(daemon.c_str(), X_OK) != 0) {
        m_error = "SNMP agent " + daemon +
                  " not found: install the Debian package snmpd (or set QVSM_SNMPD)";
        return false;
    }
    char tmpl[] = "/tmp/qvsm-snmpd-XXXXXX";
    if (!mkdtemp(tmpl)) {
        m_error = std::string("mkdtemp: ") + strerror(errno);
        return false;
    }
    m_dir = tmpl;
    std::string conf = m_dir + "/agent.conf";
    {
        std::ofstream out(conf, std::ios::binary);
        out << config;
        if (!config.empty() && config.back() != '\n')
            out << '\n';
        if (!out) {
            m_error = "cannot write " + conf;
            return false;
        }
    }
    m_port = FreeUdpPort();
    if (m_port <= 0) {
        m_error = "no free UDP port on 127.0.0.1";
        return false;
    }
    std::string logPath = m_dir + "/snmpd.log";
    std::string pidPath = m_dir + "/snmpd.pid";
    std::string listen = "udp:127.0.0.1:" + std::to_string(m_port);
    std::vector<std::string> args = {daemon, "-f", "-Lo", "-C", "-c", conf, "-p", pidPath, listen};

    // The agent keeps its persistent files in the temporary directory.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (strncmp(*e, "SNMP_PERSISTENT_DIR=", 20) != 0 && strncmp(*e, "SNMPCONFPATH=", 13) != 0)
            env.emplace_back(*e);
    }
    env.push_back("SNMP_PERSISTENT_DIR=" + m_dir);
    env.push_back("SNMPCONFPATH=" + m_dir);

    std::vector<char*> argv, envp;
    for (auto& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    for (auto& e : env)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);

    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        m_error = std::string("fork: ") + strerror(errno);
        return false;
    }
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(126);
        int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    m_pid = pid;

    // The agent announces its version once its transports are open.
    for (int waited = 0; waited < 10000; waited += 20) {
        int st = 0;
        if (waitpid(m_pid, &st, WNOHANG) == m_pid) {
            m_pid = -1;
            m_error = "snmpd exited (status " + std::to_string(st) + "): " + Log();
            return false;
        }
        if (Log().find("NET-SNMP version") != std::string::npos)
            return true;
        Pause(20);
    }
    m_error = "snmpd did not start within 10 s: " + Log();
    Stop();
    return false;
}

void SnmpAgent::Stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int st = 0;
        bool gone = false;
        for (int waited = 0; waited < 5000 && !gone; waited += 10) {
            if (waitpid(m_pid, &st, WNOHANG) == m_pid)
                gone = true;
            else
                Pause(10);
        }
        if (!gone) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &st, 0);
        }
        m_pid = -1;
    }
    if (!m_dir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
        m_dir.clear();
    }
}
