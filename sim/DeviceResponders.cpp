#include "sim/DeviceResponders.h"

#include <cstdio>
#include <cstdlib>

#include "host/IniReader.h"
#include "sim/FrameResponders.h"

namespace sim {
namespace {

const uint8_t kInitEnd[] = "Init end\r\n";

void PutCrc(std::vector<uint8_t>& b)
{
    uint16_t crc = Crc16(b.data(), b.size());
    b.push_back(static_cast<uint8_t>(crc & 0xFF));
    b.push_back(static_cast<uint8_t>(crc >> 8));
}

bool NoBusKeys(const BusSpec& bus, std::string& err)
{
    if (bus.ext.empty()) return true;
    err = "bus " + bus.name + ": " + bus.ext.begin()->first + ": this bus kind has no keys of its own";
    return false;
}

}  // namespace

// ---- air-conditioner controller ------------------------------------------------------------

bool CAircResponder::Add(const SlaveSpec& spec, std::string& err)
{
    AircSlave sl;
    if (!NewSlave(spec, sl, err)) return false;
    for (const auto& kv : spec.ext) {
        if (kv.first == "airc.words") {
            if (!ini::ToInt(kv.second, 1, 60, sl.words)) {
                err = kv.first + ": 1..60 expected";
                return false;
            }
        } else {
            err = kv.first + ": unknown key (airc.words)";
            return false;
        }
    }
    Keep(spec, std::move(sl));
    return true;
}

int CAircResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (n < 2) return 0;
    if (buf[1] == 4 || buf[1] == 9) return 8;
    if (n < 6) return 0;
    int count = (buf[4] << 8) | buf[5];
    return count <= 56 ? 8 + count : -1;
}

int CAircResponder::Word(AircSlave& sl, int reg) const
{
    int v = sl.regs->Value(TB_HOLDING, reg);
    return v < 0 ? 0 : v;
}

void CAircResponder::SetByte(AircSlave& sl, int reg, bool high, int value)
{
    int w = Word(sl, reg);
    w = high ? (w & 0x00FF) | ((value & 0xFF) << 8) : (w & 0xFF00) | (value & 0xFF);
    sl.regs->Set(TB_HOLDING, reg, w);
}

bool CAircResponder::Answer(const uint8_t* req, size_t n, Reply& out)
{
    if (n < 8) return false;
    uint16_t crc = Crc16(req, n - 2);
    if (req[n - 2] != (crc & 0xFF) || req[n - 1] != (crc >> 8)) return false;
    AircSlave* sl = Find(req[0]);
    if (!sl) return false;
    const SlaveSpec& spec = m_specs[req[0]];
    if (spec.fault == FAULT_SILENT) return false;
    int func = req[1], reg = (req[2] << 8) | req[3], count = (req[4] << 8) | req[5];
    std::vector<uint8_t>& b = out.bytes;
    if (func == 4) {
        b = {req[0], 4, static_cast<uint8_t>(2 * sl->words)};
        for (int k = 0; k < sl->words; ++k) {
            int w = Word(*sl, k);
            b.push_back(static_cast<uint8_t>(w & 0xFF));
            b.push_back(static_cast<uint8_t>(w >> 8));
        }
        PutCrc(b);
    } else if (func == 9) {
        b = {req[0], 9, 1, static_cast<uint8_t>(Word(*sl, 64) & 0xFF)};
        PutCrc(b);
    } else if (reg == 42 && count == 3) {
        SetByte(*sl, 2, false, req[6]);
        SetByte(*sl, 2, true, req[7]);
        SetByte(*sl, 7, false, req[8]);
        b.assign(req, req + n);
    } else if (func == 8 && (reg == 64 || reg == 65) && count == 1) {
        SetByte(*sl, 25, reg == 65, req[6]);
        b.assign(req, req + n);
    } else {
        return false;
    }
    if (spec.fault == FAULT_BADCRC) b.back() = static_cast<uint8_t>(~b.back());
    out.delayMs = spec.delayMs;
    return true;
}

std::unique_ptr<CResponder> MakeAircResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves, std::string& err)
{
    if (!NoBusKeys(bus, err)) return nullptr;
    return WithSlaves(std::make_unique<CAircResponder>(), slaves, err);
}

// ---- camera ------------------------------------------------------------------------------

bool CCameraResponder::Add(const SlaveSpec& spec, std::string& err)
{
    if (m_have) {
        err = "one camera per bus";
        return false;
    }
    std::string model = "vc0706";
    for (const auto& kv : spec.ext) {
        const std::string& k = kv.first;
        if (k == "camera.file") {
            m_file = kv.second;
        } else if (k == "camera.model") {
            model = ini::Lower(kv.second);
        } else if (k == "camera.cut") {
            int cut = 0;
            if (!ini::ToInt(kv.second, 0, 65535, cut)) {
                err = k + ": 0..65535 expected";
                return false;
            }
            m_cut = cut;
        } else if (k == "camera.boot") {
            if (!ini::ToInt(kv.second, 0, 10000, m_bootMs)) {
                err = k + ": 0..10000 ms expected";
                return false;
            }
        } else {
            err = k + ": unknown key (camera.file, camera.model, camera.cut, camera.boot)";
            return false;
        }
    }
    if (model != "vc0706" && model != "3ge") {
        err = "camera.model: vc0706 or 3ge expected";
        return false;
    }
    m_3ge = model == "3ge";
    std::vector<uint8_t> pic;
    if (m_file.empty() || !Picture(pic)) {
        err = "camera.file: a readable file of at most 65535 bytes is required";
        return false;
    }
    m_delayMs = spec.delayMs;
    m_fault = spec.fault;
    m_have = true;
    return true;
}

bool CCameraResponder::Picture(std::vector<uint8_t>& out) const
{
    out.clear();
    FILE* f = std::fopen(m_file.c_str(), "rb");
    if (!f) return false;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && out.size() <= 65535) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out.size() <= 65535;
}

int CCameraResponder::FrameLength(const uint8_t* buf, size_t n) const
{
    if (n == 0) return 0;
    if (m_3ge) return buf[0] == 'U' ? 4 : -1;
    if (buf[0] != 0x56) return -1;
    return n < 4 ? 0 : 4 + buf[3];
}

bool CCameraResponder::Answer(const uint8_t* req, size_t n, Reply& out)
{
    if (!m_have || m_fault == FAULT_SILENT) return false;
    std::vector<uint8_t> pic;
    std::vector<uint8_t>& b = out.bytes;
    out.delayMs = m_delayMs;
    if (m_3ge) {
        if (n != 4 || req[1] != 'G' || req[2] != '3' || req[3] != '#' || !Picture(pic)) return false;
        b = {'U', 'G', '#', 'U', 'P', static_cast<uint8_t>(pic.size() & 0xFF), static_cast<uint8_t>(pic.size() >> 8), '#'};
    } else {
        if (n < 4) return false;
        const uint8_t cmd = req[2];
        if (cmd == 0x26) {
            static const char kBoot[] = "VC0703 1.00\r\nCtrl infr exist\r\nOV7725\r\n525 Init\r\n3 22\r\n";
            b = {0x76, 0x00, 0x26, 0x00};
            b.insert(b.end(), kBoot, kBoot + sizeof kBoot - 1);
            out.later.push_back({m_delayMs + m_bootMs, std::vector<uint8_t>(kInitEnd, kInitEnd + sizeof kInitEnd - 1)});
            return true;
        }
        if (cmd == 0x36 || cmd == 0x31) {
            b = {0x76, 0x00, cmd, 0x00, 0x00};
            return true;
        }
        if (!Picture(pic)) return false;
        if (cmd == 0x34) {
            b = {0x76, 0x00, 0x34, 0x00, 0x04, 0x00, 0x00, static_cast<uint8_t>(pic.size() >> 8),
                 static_cast<uint8_t>(pic.size() & 0xFF)};
            return true;
        }
        if (cmd != 0x32 || n < 16) return false;
        size_t want = static_cast<size_t>((req[12] << 8) | req[13]);
        if (want < pic.size()) pic.resize(want);
        b = {0x76, 0x00, 0x32, 0x00, 0x00};
    }
    bool cut = m_cut >= 0 && static_cast<size_t>(m_cut) < pic.size();
    if (cut) pic.resize(static_cast<size_t>(m_cut));
    b.insert(b.end(), pic.begin(), pic.end());
    if (!m_3ge && !cut) b.insert(b.end(), {0x76, 0x00, 0x32, 0x00, 0x00});
    if (m_fault == FAULT_BADCRC && !b.empty()) b.back() = static_cast<uint8_t>(~b.back());
    return true;
}

std::unique_ptr<CResponder> MakeCameraResponder(const BusSpec& bus, const std::vector<SlaveSpec>& slaves,
                                                std::string& err)
{
    if (!NoBusKeys(bus, err)) return nullptr;
    auto r = std::make_unique<CCameraResponder>();
    return WithSlaves(std::move(r), slaves, err);
}

}  // namespace sim
