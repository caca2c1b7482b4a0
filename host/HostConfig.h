// The site file of qvsm-host: an INI file with one [host] section, one [port.N] section per
// port and one [device.LABEL] section per device. See host/README.md.
#ifndef QVSM_HOST_HOSTCONFIG_H
#define QVSM_HOST_HOSTCONFIG_H

#include <string>
#include <utility>
#include <vector>

namespace host {

struct PortCfg {
    std::string section;
    int number = 0;        // N of [port.N]; stored in the device record and the family table
    bool tcp = false;
    std::string device;    // serial device path
    std::string host;      // tcp
    int tcpPort = 0;
    int baud = 9600;
    int dataBits = 8;
    char parity = 'N';     // N, E or O
    int stopBits = 1;
    int timeoutMs = 500;   // read time-out when a driver passes 0
    int gapMs = 30;        // a read ends when the line stays quiet this long
    int retryMs = 1000;    // a failed port is reopened at most this often
    std::string Text() const;  // "/dev/ttyS1 9600 8N1" or "tcp://host:port"
};

struct DeviceCfg {
    std::string section;
    int sid = 0;
    int type = 0;
    int port = 0;          // 0: the device has no port
    int addr = 1;
    int variant = 0;
    int detailKey = 0;
    int detailOn = 0;
    int param1 = 0;
    int param2 = 0;
    int waitMs = 0;        // reply pause handed to DataGet (0: the driver's default)
    std::string name;      // UTF-8 as written in the file
    std::string nameGbk;   // the same in GBK, as the module and the database hold it
    std::string addrText;  // GBK
    std::string connText;  // GBK
    // Vref.N = V: the alarm reference vref of point N of the device's type, written over the
    // driver's tbSMDef row at start-up (the rows belong to the type: all its devices share it).
    std::vector<std::pair<int, int>> vrefs;
};

struct HostCfg {
    std::string file;
    std::string module;    // libqvsm.so (empty: beside qvsm-host)
    std::string root;      // QVSM_ROOT for the module (empty: leave the environment alone)
    std::string live;      // live database file
    std::string history;   // history database file (empty: no history)
    int intervalMs = 1000; // from the start of one poll cycle to the start of the next
    int historyEvery = 1;  // a history row every N cycles (0: never)
    int force = 0;         // RegDb force: rewrite the point definitions at start-up
    std::vector<PortCfg> ports;
    std::vector<DeviceCfg> devices;

    const PortCfg* Port(int number) const;
    const DeviceCfg* Device(int sid) const;
};

// Reads and checks the site file. Relative paths are taken from the file's folder. false
// with a message naming the file, the section and the key.
bool LoadHostConfig(const std::string& path, HostCfg& cfg, std::string& err);

// "tcp://host:port" -> host, port. false when the text is not of that form.
bool ParseTcpUrl(const std::string& text, std::string& host, int& port);

}  // namespace host

#endif
