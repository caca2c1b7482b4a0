// Configuration of the device simulator: buses (a pseudo-terminal or a TCP listener, each
// speaking one protocol) and the slaves answering on them.
#ifndef QVSM_SIM_SIMCONFIG_H
#define QVSM_SIM_SIMCONFIG_H

#include <map>
#include <string>
#include <vector>

namespace sim {

// Modbus data tables, in the order of modbus_mapping_new_start_address.
enum Table { TB_COIL = 0, TB_DISCRETE = 1, TB_HOLDING = 2, TB_INPUT = 3, TB_COUNT = 4 };

// One register or bit with its start value and its drift: every tick the value moves by
// step, turning round at lo and hi.
struct RegSpec {
    Table table = TB_HOLDING;
    int reg = 0;
    int value = 0;
    int step = 0;
    int lo = 0;
    int hi = 0;
};

enum Fault {
    FAULT_NONE = 0,
    FAULT_SILENT,  // never answers
    FAULT_BADCRC,  // answers with the last byte of the reply inverted
    FAULT_LATE,       // answers after the delay (1500 ms when none is set): after a host's time-out
    FAULT_WRONGADDR,  // answers as the next address (Modbus RTU, Modbus TCP unit id, YD/T ADR)
};

struct SlaveSpec {
    std::string name;  // section name
    std::string bus;
    int addr = 1;
    Fault fault = FAULT_NONE;
    int delayMs = 0;  // pause before the reply
    std::vector<RegSpec> regs;
    std::map<std::string, std::string> ext;  // "ydt."/"cmd."/"script." keys (lower-case)
};

enum Protocol {
    PROTO_MODBUS_RTU = 0,  // address, PDU, CRC-16
    PROTO_MODBUS_TCP,      // MBAP header, PDU
    PROTO_YDT1363,         // YD/T 1363 ASCII frames (sim/FrameResponders.h)
    PROTO_CMD,             // a byte protocol described by frame templates (sim/FrameResponders.h)
    PROTO_AIRC,            // infrared air-conditioner controller (sim/DeviceResponders.h)
    PROTO_CAMERA,          // serial JPEG camera (sim/DeviceResponders.h)
    PROTO_SCRIPT,          // requests answered by scripted rules (sim/ScriptResponder.h)
    PROTO_DIO,             // an input board reporting its state by itself (sim/InputDoorResponders.h)
    PROTO_DOOR,            // door access controllers, 34-byte packets (sim/InputDoorResponders.h)
    PROTO_GSM,             // GSM modem: scripted answers, AT+CMGS and PDU capture (sim/AlarmResponders.h)
    PROTO_DIALLER,         // alarm dialler unit (sim/AlarmResponders.h)
    PROTO_PANEL,           // serial display panel (sim/AlarmResponders.h)
};

struct BusSpec {
    std::string name;
    Protocol protocol = PROTO_MODBUS_RTU;
    bool tcp = false;       // TCP listener, else a pseudo-terminal
    std::string link;       // pty: symbolic link to the slave side (may be empty)
    std::string host;       // tcp: listen address
    int port = 0;           // tcp: listen port, 0 = any free port
    int gapMs = 20;         // pending bytes without a complete frame are dropped after this gap
    int paceMs = 0;         // ms between the bytes of a reply (a slow device server); 0: all at once
    std::map<std::string, std::string> ext;  // "ydt."/"cmd."/"script." keys (lower-case)
};

struct SimConfig {
    int tickMs = 1000;
    std::vector<BusSpec> buses;
    std::vector<SlaveSpec> slaves;
};

// Reads the configuration file. false with a message naming file, section and key.
bool LoadSimConfig(const std::string& path, SimConfig& cfg, std::string& err);

// "450", "450 ~5", "450 ~5 400..500", "-100" (stored as a 16-bit word). false on bad text.
bool ParseRegValue(const std::string& text, RegSpec& spec);

}  // namespace sim

#endif
