#include "sim/InputDoorResponders.h"

#include <cstdio>
#include <cstdlib>

#include "host/IniReader.h"
#include "sim/FrameResponders.h"

namespace sim {

// ---- input board -------------------------------------------------------------------------

bool CDioResponder::Setup(const BusSpec& bus, const std::vector<SlaveSpec>& slaves, std::string& err)
{
    for (const auto& kv : bus.ext) {
        if (kv.first != "dio.every" || !ini::ToInt(kv.second, 10, 600000, m_everyMs)) {
            err = "bus " + bus.name + ": bad key " + kv.first + " (dio.every = ms)";
            return false;
        }
    }
    if (slaves.empty()) return true;
    m_regs = std::make_unique<CModbusSlave>(slaves.front());
    if (m_regs->Value(TB_HOLDING, 0) < 0 || m_regs->Value(TB_HOLDING, 1) < 0) {
        err = "slave " + slaves.front().name + ": hold.0 and hold.1 (the two state bytes) are needed";
        return false;
    }
    return true;
}

void CDioResponder::Tick()
{
    if (m_regs) m_regs->Tick();
}

bool CDioResponder::Report(Reply& out)
{
    if (!m_regs || m_regs->Spec().fault == FAULT_SILENT) return false;
    out.bytes = {static_cast<uint8_t>(m_regs->Value(TB_HOLDING, 0)), static_cast<uint8_t>(m_regs->Value(TB_HOLDING, 1))};
    out.delayMs = 0;
    return true;
}

// ---- door controller ---------------------------------------------------------------------

bool ParseDoorRecord(const std::string& text, DoorRecord& r)
{
    char tail = 0;
    int n = std::sscanf(text.c_str(), " %d %d %d %d %d %d-%d-%d %d:%d:%d %c", &r.rec, &r.card, &r.door, &r.st,
                        &r.reason, &r.year, &r.month, &r.day, &r.hour, &r.min, &r.sec, &tail);
    if (n != 11) return false;
    return r.rec >= 0 && r.rec < (1 << 24) && r.card >= 0 && r.card % 100000 <= 65535 && r.card / 100000 <= 255 &&
           r.year >= 2000 && r.year <= 2127 && r.month >= 1 && r.month <= 12 && r.day >= 1 && r.day <= 31 &&
           r.hour >= 0 && r.hour <= 23 && r.min >= 0 && r.min <= 59 && r.sec >= 0 && r.sec <= 59 && r.door >= 0 &&
           r.door <= 255 && r.st >= 0 && r.st <= 255 && r.reason >= 0 && r.reason <= 255;
}

std::vector<uint8_t> DoorPacket(int addr, int cmd, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> p(34, 0);
    p[0] = 0x7E;
    p[1] = static_cast<uint8_t>(addr);
    p[2] = static_cast<uint8_t>(addr >> 8);
    p[3] = static_cast<uint8_t>(cmd);
    p[4] = static_cast<uint8_t>(cmd >> 8);
    for (size_t i = 0; i < data.size() && i < 26; ++i) p[5 + i] = data[i];
    unsigned sum = 0;
    for (int i = 1; i <= 30; ++i) sum += p[static_cast<size_t>(i)];
    p[31] = static_cast<uint8_t>(sum);
    p[32] = static_cast<uint8_t>(sum >> 8);
    p[33] = 0x0D;
    return p;
}

bool CDoorResponder::Add(const SlaveSpec& spec, std::string& err)
{
    Slave sl;
    sl.spec = spec;
    std::map<int, DoorRecord> byN;
    for (const auto& kv : spec.ext) {
        const std::string& k = kv.first;
        if (k == "door.repeat") {
            if (!ini::ToInt(kv.second, 1, 1000000, sl.repeat)) return (err = "door.repeat: expected 1.."), false;
            continue;
        }
        int n = 0;
        DoorRecord r;
        if (k.compare(0, 5, "door.") != 0 || !ini::ToInt(k.substr(5), 0, 100000, n)) {
            err = "unknown key " + k + " (door.N, door.repeat)";
            return false;
        }
        if (!ParseDoorRecord(kv.second, r)) {
            err = k + ": expected 'REC CARD DOOR ST REASON YYYY-MM-DD HH:MM:SS', got '" + kv.second + "'";
            return false;
        }
        byN[n] = r;
    }
    for (const auto& kv : byN) sl.records.push_back(kv.second);
    m_slaves[spec.addr] = sl;
    return true;
}

int CDoorResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (n < 1) return 0;
    return buf[0] == 0x7E ? 34 : -1;
}

bool CDoorResponder::Answer(const uint8_t* req, size_t n, Reply& out)
{
    if (n != 34 || req[33] != 0x0D) return false;
    unsigned sum = 0;
    for (int i = 1; i <= 30; ++i) sum += req[i];
    if ((sum & 0xFFFF) != static_cast<unsigned>(req[31] | (req[32] << 8))) return false;
    int addr = req[1] | (req[2] << 8);
    int cmd = req[3] | (req[4] << 8);
    auto it = m_slaves.find(addr);
    if (it == m_slaves.end() || it->second.spec.fault == FAULT_SILENT) return false;
    Slave& sl = it->second;
    std::vector<uint8_t> data(26, 0);
    if (cmd == 0x1081 && !sl.records.empty()) {
        size_t i = sl.asked / static_cast<size_t>(sl.repeat);
        if (i >= sl.records.size()) i = sl.records.size() - 1;
        ++sl.asked;
        const DoorRecord& r = sl.records[i];
        // Offsets in the packet minus the 5 header bytes.
        data[7] = static_cast<uint8_t>(r.rec);
        data[8] = static_cast<uint8_t>(r.rec >> 8);
        data[9] = static_cast<uint8_t>(r.rec >> 16);
        int word = r.card % 100000;
        data[12] = static_cast<uint8_t>(word);
        data[13] = static_cast<uint8_t>(word >> 8);
        data[14] = static_cast<uint8_t>(r.card / 100000);
        data[15] = static_cast<uint8_t>(r.st);
        int date = r.day | (r.month << 5) | ((r.year - 2000) << 9);
        int time = (r.sec / 2) | (r.min << 5) | (r.hour << 11);
        data[16] = static_cast<uint8_t>(date);
        data[17] = static_cast<uint8_t>(date >> 8);
        data[18] = static_cast<uint8_t>(time);
        data[19] = static_cast<uint8_t>(time >> 8);
        data[20] = static_cast<uint8_t>(r.reason);
        data[21] = static_cast<uint8_t>(r.door);
    }
    out.bytes = DoorPacket(addr, cmd, data);
    if (sl.spec.fault == FAULT_BADCRC) out.bytes[32] = static_cast<uint8_t>(~out.bytes[32]);
    out.delayMs = sl.spec.delayMs;
    return true;
}

std::unique_ptr<CResponder> MakeInputDoorResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                                std::string& err)
{
    if (bus.protocol == PROTO_DIO) {
        auto r = std::make_unique<CDioResponder>();
        if (!r->Setup(bus, slaves, err)) return nullptr;
        return r;
    }
    if (!bus.ext.empty()) {
        err = "bus " + bus.name + ": unknown key " + bus.ext.begin()->first;
        return nullptr;
    }
    auto r = std::make_unique<CDoorResponder>();
    return WithSlaves(std::move(r), slaves, err);
}

}  // namespace sim
