// The agent both SNMP driver suites poll: fixed scalars and a fixed four-row table made with
// snmpd's "override", followed by a second table, plus snmpd's own host-resources tables.
#ifndef QVSM_TESTS_E2E_SNMP_AGENTCONFIG_H
#define QVSM_TESTS_E2E_SNMP_AGENTCONFIG_H

#include <string>

namespace snmptest {

// Table "bat" under kBat: column 1 the row index, 2 voltage, 3 temperature, 4 a name, 5 a
// column no definition lists. The next table starts at kBat's sibling .10 (not .2), so a
// text comparison of identifiers would take it for part of the table.
const char kBat[] = "1.3.6.1.4.1.99999.2.1";
const int kVolt[4] = {230, 225, 240, 220};
const int kTemp[4] = {25, 31, 28, 22};
const char* const kNames[4] = {"A\\1", "it's", "x\\y\\z", "plain"};
const char kRuntimeOid[] = "1.3.6.1.2.1.33.1.2.3.0";
const int kRuntime = 42;
const char kDescr[] = "Rack 'A' \\ UPS 1";
const char kName[] = "ups\\east \"2\"";
const char kHrStorage[] = "1.3.6.1.2.1.25.2.3.1";

inline std::string AgentConfig()
{
    std::string c = "rocommunity public 127.0.0.1\nrocommunity quorum 127.0.0.1\n";
    c += std::string("sysdescr ") + kDescr + "\n";
    c += std::string("sysname ") + kName + "\n";
    c += std::string("override ") + kRuntimeOid + " integer " + std::to_string(kRuntime) + "\n";
    for (int r = 1; r <= 4; ++r) {
        std::string row = "." + std::to_string(r);
        c += std::string("override ") + kBat + ".1" + row + " integer " + std::to_string(r) + "\n";
        c += std::string("override ") + kBat + ".2" + row + " integer " + std::to_string(kVolt[r - 1]) + "\n";
        c += std::string("override ") + kBat + ".3" + row + " integer " + std::to_string(kTemp[r - 1]) + "\n";
        std::string name;
        for (const char* p = kNames[r - 1]; *p; ++p) {
            if (*p == '\\') name += '\\';
            name += *p;
        }
        c += std::string("override ") + kBat + ".4" + row + " octet_str \"" + name + "\"\n";
        c += std::string("override ") + kBat + ".5" + row + " integer 9\n";
    }
    c += "override 1.3.6.1.4.1.99999.2.10.1.1 integer 77\n";
    return c;
}

}  // namespace snmptest

#endif
