// A real net-snmp agent (snmpd) for tests: started on 127.0.0.1 with a free UDP port and a
// configuration written into a temporary directory, stopped and cleaned up by Stop() or
// the destructor. The agent dies with the test process.
#ifndef QVSM_TESTS_SNMP_SNMPAGENT_H
#define QVSM_TESTS_SNMP_SNMPAGENT_H

#include <string>
#include <sys/types.h>

class SnmpAgent {
public:
    SnmpAgent() = default;
    ~SnmpAgent() { Stop(); }
    SnmpAgent(const SnmpAgent&) = delete;
    SnmpAgent& operator=(const SnmpAgent&) = delete;

    // Writes config (snmpd.conf lines) and starts the agent; returns once it listens.
    // false with the reason in Error() when the daemon is missing, dies or stays silent.
    bool Start(const std::string& config);
    void Stop();

    int Port() const { return m_port; }
    const std::string& Error() const { return m_error; }
    // Everything the agent has written so far.
    std::string Log() const;

    // $QVSM_SNMPD when set, else /usr/sbin/snmpd.
    static std::string DaemonPath();
    // A UDP port on 127.0.0.1 that nobody listens on at the moment of the call.
    static int FreeUdpPort();

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_dir;
    std::string m_error;
};

#endif
