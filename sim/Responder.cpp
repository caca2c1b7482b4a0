#include "sim/Responder.h"

#include "sim/AlarmResponders.h"
#include "sim/DeviceResponders.h"
#include "sim/FrameResponders.h"
#include "sim/InputDoorResponders.h"
#include "sim/ScriptResponder.h"

#include <fcntl.h>
#include <modbus.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sim {

uint16_t Crc16(const uint8_t* buf, size_t n)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= buf[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

// ---- slave ------------------------------------------------------------------------------

CModbusSlave::CModbusSlave(const SlaveSpec& spec) : m_spec(spec), m_dir(spec.regs.size(), 1)
{
    int lo[TB_COUNT], hi[TB_COUNT];
    for (int t = 0; t < TB_COUNT; ++t) {
        lo[t] = 65536;
        hi[t] = -1;
    }
    for (const RegSpec& r : spec.regs) {
        lo[r.table] = std::min(lo[r.table], r.reg);
        hi[r.table] = std::max(hi[r.table], r.reg);
    }
    unsigned start[TB_COUNT];
    int count[TB_COUNT];
    for (int t = 0; t < TB_COUNT; ++t) {
        start[t] = hi[t] < 0 ? 0 : static_cast<unsigned>(lo[t]);
        count[t] = hi[t] < 0 ? 0 : hi[t] - lo[t] + 1;
    }
    m_map = modbus_mapping_new_start_address(start[TB_COIL], static_cast<unsigned>(count[TB_COIL]), start[TB_DISCRETE],
                                             static_cast<unsigned>(count[TB_DISCRETE]), start[TB_HOLDING],
                                             static_cast<unsigned>(count[TB_HOLDING]), start[TB_INPUT],
                                             static_cast<unsigned>(count[TB_INPUT]));
    if (!m_map) return;
    for (const RegSpec& r : spec.regs) Set(r.table, r.reg, r.value);
}

CModbusSlave::~CModbusSlave()
{
    if (m_map) modbus_mapping_free(m_map);
}

namespace {
template <class T>
T* At(T* tab, unsigned start, int count, int reg)
{
    int i = reg - static_cast<int>(start);
    return (i >= 0 && i < count) ? &tab[i] : nullptr;
}
}  // namespace

uint16_t* CModbusSlave::Reg(Table table, int reg) const
{
    if (!m_map) return nullptr;
    if (table == TB_HOLDING) return At(m_map->tab_registers, m_map->start_registers, m_map->nb_registers, reg);
    if (table == TB_INPUT) return At(m_map->tab_input_registers, m_map->start_input_registers, m_map->nb_input_registers, reg);
    return nullptr;
}

uint8_t* CModbusSlave::Bit(Table table, int reg) const
{
    if (!m_map) return nullptr;
    if (table == TB_COIL) return At(m_map->tab_bits, m_map->start_bits, m_map->nb_bits, reg);
    if (table == TB_DISCRETE) return At(m_map->tab_input_bits, m_map->start_input_bits, m_map->nb_input_bits, reg);
    return nullptr;
}

int CModbusSlave::Value(Table table, int reg) const
{
    if (table == TB_COIL || table == TB_DISCRETE) {
        uint8_t* b = Bit(table, reg);
        return b ? *b : -1;
    }
    uint16_t* r = Reg(table, reg);
    return r ? *r : -1;
}

bool CModbusSlave::Set(Table table, int reg, int value)
{
    if (table == TB_COIL || table == TB_DISCRETE) {
        uint8_t* b = Bit(table, reg);
        if (b) *b = static_cast<uint8_t>(value ? 1 : 0);
        return b != nullptr;
    }
    uint16_t* r = Reg(table, reg);
    if (r) *r = static_cast<uint16_t>(value);
    return r != nullptr;
}

void CModbusSlave::Tick()
{
    for (size_t i = 0; i < m_spec.regs.size(); ++i) {
        const RegSpec& r = m_spec.regs[i];
        if (r.step == 0) continue;
        int v = Value(r.table, r.reg) + m_dir[i] * r.step;
        if (v >= r.hi) {
            v = r.hi;
            m_dir[i] = -1;
        } else if (v <= r.lo) {
            v = r.lo;
            m_dir[i] = 1;
        }
        Set(r.table, r.reg, v);
    }
}

// ---- Modbus responder --------------------------------------------------------------------

CModbusResponder::CModbusResponder(Protocol protocol, const std::vector<SlaveSpec>& slaves)
    : m_tcp(protocol == PROTO_MODBUS_TCP)
{
    for (const SlaveSpec& s : slaves) {
        auto sl = std::make_unique<CModbusSlave>(s);
        if (!sl->Ok()) m_ok = false;
        m_slaves[s.addr] = std::move(sl);
    }
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, m_pair) != 0) return;
    fcntl(m_pair[1], F_SETFL, O_NONBLOCK);
    // The context only formats replies: it never opens the device or the address it names.
    m_ctx = m_tcp ? modbus_new_tcp("127.0.0.1", 502) : modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
    if (m_ctx) modbus_set_socket(m_ctx, m_pair[0]);
}

CModbusResponder::~CModbusResponder()
{
    if (m_ctx) {
        modbus_set_socket(m_ctx, -1);
        modbus_free(m_ctx);
    }
    for (int fd : m_pair)
        if (fd >= 0) close(fd);
}

CModbusSlave* CModbusResponder::Slave(int addr) const
{
    auto it = m_slaves.find(addr);
    return it == m_slaves.end() ? nullptr : it->second.get();
}

int CModbusResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (m_tcp) {
        if (n < 6) return 0;
        if (buf[2] != 0 || buf[3] != 0) return -1;  // protocol id is always 0
        int len = (buf[4] << 8) | buf[5];
        if (len < 2 || len > 254) return -1;
        return 6 + len;
    }
    if (n < 2) return 0;
    switch (buf[1]) {
    case 1: case 2: case 3: case 4: case 5: case 6:
        return 8;
    case 15: case 16:
        return n < 7 ? 0 : 9 + buf[6];
    case 23:
        return n < 11 ? 0 : 13 + buf[10];
    default:
        return 0;  // unknown function: whatever arrives before the gap is the request
    }
}

bool CModbusResponder::Answer(const uint8_t* req, size_t n, Reply& out)
{
    out.bytes.clear();
    out.delayMs = 0;
    if (!Ok()) return false;
    int addr;
    if (m_tcp) {
        if (n < 8) return false;
        addr = req[6];
    } else {
        if (n < 4) return false;
        uint16_t crc = Crc16(req, n - 2);
        if (req[n - 2] != (crc & 0xFF) || req[n - 1] != (crc >> 8)) return false;
        addr = req[0];
    }
    CModbusSlave* sl = Slave(addr);
    if (!sl || sl->Spec().fault == FAULT_SILENT) return false;
    if (modbus_reply(m_ctx, req, static_cast<int>(n), sl->Map()) < 0) return false;
    uint8_t buf[512];
    for (;;) {
        ssize_t r = read(m_pair[1], buf, sizeof buf);
        if (r <= 0) break;
        out.bytes.insert(out.bytes.end(), buf, buf + r);
    }
    if (out.bytes.empty()) return false;
    if (sl->Spec().fault == FAULT_BADCRC) out.bytes.back() = static_cast<uint8_t>(~out.bytes.back());
    if (sl->Spec().fault == FAULT_WRONGADDR) WrongAddr(out.bytes);
    out.delayMs = sl->Spec().delayMs;
    return true;
}

void CModbusResponder::WrongAddr(std::vector<uint8_t>& reply) const
{
    size_t at = m_tcp ? 6 : 0;
    if (reply.size() < at + 3) return;
    reply[at] = static_cast<uint8_t>(reply[at] % 255 + 1);
    if (m_tcp) return;
    uint16_t crc = Crc16(reply.data(), reply.size() - 2);
    reply[reply.size() - 2] = static_cast<uint8_t>(crc & 0xFF);
    reply[reply.size() - 1] = static_cast<uint8_t>(crc >> 8);
}

void CModbusResponder::Tick()
{
    for (auto& kv : m_slaves) kv.second->Tick();
}

std::unique_ptr<CResponder> MakeResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves, std::string& err)
{
    std::vector<SlaveSpec> mine;
    for (const SlaveSpec& s : slaves)
        if (s.bus == bus.name) mine.push_back(s);
    switch (bus.protocol) {
    case PROTO_MODBUS_RTU:
    case PROTO_MODBUS_TCP: {
        auto r = std::make_unique<CModbusResponder>(bus.protocol, mine);
        if (!r->Ok()) {
            err = "bus " + bus.name + ": cannot set up the Modbus tables";
            return nullptr;
        }
        return r;
    }
    case PROTO_YDT1363: return MakeYdtResponder(bus, mine, err);
    case PROTO_CMD: return MakeCmdResponder(bus, mine, err);
    case PROTO_AIRC: return MakeAircResponder(bus, mine, err);
    case PROTO_CAMERA: return MakeCameraResponder(bus, mine, err);
    case PROTO_SCRIPT: return MakeScriptResponder(bus, mine, err);
    case PROTO_DIO:
    case PROTO_DOOR: return MakeInputDoorResponder(bus, mine, err);
    case PROTO_GSM: return MakeGsmModemResponder(bus, mine, err);
    case PROTO_DIALLER: return MakeDiallerResponder(bus, mine, err);
    case PROTO_PANEL: return MakePanelResponder(bus, mine, err);
    }
    err = "bus " + bus.name + ": unknown protocol";
    return nullptr;
}

}  // namespace sim
