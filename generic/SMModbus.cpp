#include "generic/SMModbus.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

uint32_t Word(const unsigned char* p) { return (static_cast<uint32_t>(p[0]) << 8) | p[1]; }

uint32_t WordLH(const unsigned char* p) { return (static_cast<uint32_t>(p[1]) << 8) | p[0]; }

float FloatOf(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace

// ---- formats and keys --------------------------------------------------------------------------

MbFormat MbParseFormat(std::string_view fmt)
{
    MbFormat f;
    if (!fmt.empty() && !IsDigit(fmt[0])) {
        f.type = fmt[0];
        fmt.remove_prefix(1);
    }
    if (fmt.empty()) return f;
    f.scaled = true;
    if (!IsDigit(fmt[0])) fmt.remove_prefix(1);
    f.text = fmt;
    char num[64];
    size_t n = fmt.size() < sizeof num - 1 ? fmt.size() : sizeof num - 1;
    std::memcpy(num, fmt.data(), n);
    num[n] = 0;
    f.mult = std::strtod(num, nullptr);
    return f;
}

bool MbKnownType(char type, bool byteMode)
{
    if (type == 0) return true;
    if (byteMode && type == 'b') return true;
    return std::strchr("SsuUIlLFf", type) != nullptr;
}

int MbTypeRegs(char type) { return (type && std::strchr("IlLFf", type)) ? 2 : 1; }

int MbTypeBytes(char type, bool byteMode)
{
    if (type && std::strchr("IlLFf", type)) return 4;
    if (!byteMode) return 2;
    return (type && std::strchr("SsUu", type)) ? 2 : 1;
}

namespace {
// One value of a format whose bytes are all there (need bytes, see MbTypeBytes).
inline __attribute__((always_inline)) int32_t DecodeAt(const unsigned char* p, const MbFormat& f, int need)
{
    uint32_t v;
    switch (f.type) {
    case 'S': v = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(Word(p)))); break;
    case 's': v = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(WordLH(p)))); break;
    case 'u': v = WordLH(p); break;
    case 'I': v = (Word(p) << 16) | Word(p + 2); break;
    case 'l': v = (WordLH(p + 2) << 16) | WordLH(p); break;
    case 'L': v = (Word(p + 2) << 16) | Word(p); break;
    case 'F':
    case 'f': {
        uint32_t bits = f.type == 'F' ? ((WordLH(p + 2) << 16) | WordLH(p)) : ((Word(p + 2) << 16) | Word(p));
        float m = f.scaled ? static_cast<float>(f.mult) : 1.0f;
        return DefTrunc(static_cast<double>(FloatOf(bits) * m));
    }
    default: v = need == 1 ? p[0] : Word(p); break;
    }
    return static_cast<int32_t>(v);
}
}  // namespace

int MbDecode(const unsigned char* p, int avail, const MbFormat& f, bool byteMode, int32_t& value)
{
    int need = MbTypeBytes(f.type, byteMode);
    if (!p || avail < need) return 0;
    value = DecodeAt(p, f, need);
    return need;
}

int32_t MbScale(int32_t value, const MbFormat& f)
{
    if (!f.scaled) return value;
    return DefTrunc(static_cast<double>(value) * f.mult);
}

bool MbBlockKey(std::string_view key, int& start)
{
    if (key.find("bit") != std::string_view::npos) return false;
    // A key without a leading number starts at address 0 (atoi of the key).
    long v = 0;
    for (size_t i = 0; i < key.size() && IsDigit(key[i]); ++i) {
        v = v * 10 + (key[i] - '0');
        if (v > 65536) v = 65536;  // out of range either way
    }
    start = static_cast<int>(v);
    return true;
}

bool MbBlockFits(int fc, int start, int count)
{
    int limit = (fc == 1 || fc == 2) ? MB_MAX_BITS : MB_MAX_REGS;
    if (fc < 1 || fc > 4 || count < 1 || count > limit) return false;
    return start >= 0 && start <= 65535 && start + count - 1 <= 65535;
}

int MbRegKey(char* out, size_t cap, int fc, int number)
{
    static const int kPrefix[] = {0, 0, 1, 4, 3};
    if (!out || cap == 0 || fc < 1 || fc > 4) return -1;
    int n = std::snprintf(out, cap, "%d%04d", kPrefix[fc], number);
    if (n < 0 || static_cast<size_t>(n) >= cap) {
        out[0] = 0;
        return -1;
    }
    return n;
}

int MbPduLen(std::string_view text)
{
    if (text.empty() || text.size() % 2) return -1;
    for (char c : text)
        if (!IsHex(c)) return -1;
    return static_cast<int>(text.size() / 2);
}

// ---- driver ------------------------------------------------------------------------------------

namespace {
const SMDefFamily kFamily = {"tbModbus", "tbModbusDat", "", "V", DEF_UPD_LAST_EXEC};
}

CSMModbus::CSMModbus(int type) : CSMDefBase(type, "QVMB-base", "QVMB-base", kFamily)
{
    trace_sm_log("RtLog", "CSMModbus new 0x%X=%d(%x)\n",
                 static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)), type, static_cast<unsigned>(type));
}

CSMModbus::~CSMModbus() = default;

int CSMModbus::UpdLoad()
{
    CSMDefBase::UpdLoad();
    m_nDelayV = m_ini.GetValue<int>(SEC_COMM, "delayv", 30);
    m_nCrc = m_ini.GetValue<int>(SEC_COMM, "crc", 1);
    m_nDataByte = m_ini.GetValue<int>(SEC_COMM, "DataByte", 0);
    m_bValPause = m_nDelayV != 0 && m_nDelay > 0;

    // What the poll and the controls will refuse, said once here.
    for (int fc = 1; fc <= 4; ++fc) {
        char sec[8];
        std::snprintf(sec, sizeof sec, "regs%d", fc);
        for (auto it = m_ini.beginKey(sec); it != m_ini.endKey(sec); ++it) {
            int start = 0;
            long long count = 0;
            if (!MbBlockKey(it->first, start)) continue;
            SimpleIni::ParseLeadingInt(it->second.value, count);
            if (count != 0 && (count < 0 || count > 65536 || !MbBlockFits(fc, start, static_cast<int>(count))))
                trace_sm_log("RtLog", "CSMModbus %d: [%s] %.16s=%.16s over the Modbus limits, the poll fails\n",
                             m_nType, sec, it->first.c_str(), it->second.value.c_str());
        }
    }
    for (auto it = m_ini.beginKey(SEC_COMM); it != m_ini.endKey(SEC_COMM); ++it) {
        if (it->first.compare(0, 2, "Yk") != 0 || it->second.value.empty()) continue;
        int n = MbPduLen(it->second.value);
        if (n < 0 || n > MB_TCP_PDU_MAX)
            trace_sm_log("RtLog", "CSMModbus %d: %.16s is %s\n", m_nType, it->first.c_str(),
                         n < 0 ? "not a request in hex" : n > MB_RTU_PDU_MAX ? "too long" : "too long for TCP");
    }

    Plan();
    std::printf("CSMModbus::UpdLoad  d=%d  %dms  tout=%d  DataByte=%d\n", m_nDebug, m_nDelay, m_nTimeout,
                m_nDataByte);
    return 1;
}

int CSMModbus::DataVal(int fld)
{
    if (m_bValPause && fld <= m_nDataCount) SMSleepMs(static_cast<unsigned long>(m_nDelay));
    return PointVal(fld);
}

bool CSMModbus::UseTcp(ISerBase* port, int flags) const
{
    return (port->GetMode() & QVSM_MODE_TCP) != 0 && (flags & MB_FLAG_RTU) == 0;
}

int CSMModbus::DataGet(ISerBase* port, int addr, int waitMs)
{
    m_vals.Begin();
    int r = Poll(port, addr, waitMs);
    m_vals.End();
    if (r && m_nDebug) {
        std::printf("t=%d  iaddr=%d  iext=%d\n", m_nType, addr, waitMs);
        TraceVals();
    }
    return r;
}

int CSMModbus::Poll(ISerBase* port, int addr, int waitMs)
{
    if (!m_bLoaded || !port || port->IsOpen() == 0) return 0;
    bool tcp = UseTcp(port, waitMs);
    for (int fc = 1; fc <= 4; ++fc) {
        if (m_nDebug) std::printf("regs%d\n", fc);
        for (int i = m_fcFirst[fc]; i < m_fcFirst[fc + 1]; ++i) {
            const BlockPlan& b = m_blocks[static_cast<size_t>(i)];
            if (m_nDebug) std::printf("%d=%lld\n", b.start, b.count);
            if (b.refused) return 0;
            m_block = &b;
            if (!ReadBlock(port, addr, fc, b.start, static_cast<int>(b.count), tcp)) return 0;
        }
    }
    return 1;
}

void CSMModbus::Plan()
{
    m_blocks.clear();
    m_regPlan.clear();
    m_subSlots.clear();
    m_block = nullptr;
    bool refused = false;  // the poll never gets past a refused block
    for (int fc = 1; fc <= 4; ++fc) {
        m_fcFirst[fc] = static_cast<int>(m_blocks.size());
        char sec[8];
        std::snprintf(sec, sizeof sec, "regs%d", fc);
        for (auto it = m_ini.beginKey(sec); it != m_ini.endKey(sec) && !refused; ++it) {
            BlockPlan b{};
            b.fc = fc;
            if (!MbBlockKey(it->first, b.start)) continue;
            SimpleIni::ParseLeadingInt(it->second.value, b.count);
            if (b.count == 0) continue;
            b.refused = b.count < 0 || b.count > 65536 || !MbBlockFits(fc, b.start, static_cast<int>(b.count));
            refused = b.refused;
            if (b.refused) {
            } else if (fc <= 2) {
                b.bit0 = static_cast<int>(m_subSlots.size());
                char key[24];
                for (int k = 0; k < 8 * ((b.count + 7) / 8); ++k) {
                    int n = MbRegKey(key, sizeof key, fc, b.start + k + 1);
                    m_subSlots.push_back(n < 0 ? -1 : m_vals.Slot(key));
                }
            } else {
                PlanRegs(b);
            }
            m_blocks.push_back(b);
        }
    }
    m_fcFirst[5] = static_cast<int>(m_blocks.size());
}

void CSMModbus::PlanRegs(BlockPlan& b)
{
    char sec[8], key[24], sub[48], split[24];
    std::snprintf(sec, sizeof sec, "regs%d", b.fc);
    const bool byteMode = m_nDataByte != 0;
    const int avail = 2 * static_cast<int>(b.count);
    b.reg0 = static_cast<int>(m_regPlan.size());
    for (int j = 0; j < b.count; ++j) {
        if (MbRegKey(key, sizeof key, b.fc, b.start + j + 1) < 0) {
            b.overrun = true;
            break;
        }
        RegPlan r{};
        const IniLine* fl = m_ini.Find(SEC_FLDS, key);
        r.f = MbParseFormat(fl ? std::string_view(fl->value) : std::string_view());
        r.off = byteMode ? j : 2 * j;
        int need = MbTypeBytes(r.f.type, byteMode);
        r.need = static_cast<short>(need);
        r.word = r.f.type == 0 && need == 2;
        r.scale = r.f.scaled && r.f.type != 'F' && r.f.type != 'f';
        if (avail - r.off < need) {  // the value would run past the bytes received
            b.overrun = true;
            break;
        }
        j += byteMode ? need - 1 : need / 2 - 1;
        r.slot = m_vals.Slot(key);

        // Splits are keyed by the address of the value's last register.
        int at = b.start + j;
        std::snprintf(split, sizeof split, "%dbit", at);
        int bits = m_ini.GetValue<int>(sec, split, 0);
        int maxBits = byteMode ? 8 : 16;
        r.bits = static_cast<short>(bits < 0 ? 0 : bits > maxBits / 8 ? maxBits : bits * 8);
        if (!byteMode) {
            std::snprintf(split, sizeof split, "%dHL", at);
            r.hl = m_ini.GetValue<int>(sec, split, 0) != 0;
        }
        r.sub = static_cast<int>(m_subSlots.size());
        for (int k = 0; k < r.bits; ++k) {
            std::snprintf(sub, sizeof sub, "%s-%d", key, k);
            m_subSlots.push_back(m_vals.Slot(sub));
        }
        if (r.hl) {
            std::snprintf(sub, sizeof sub, "%s-H", key);
            m_subSlots.push_back(m_vals.Slot(sub));
            std::snprintf(sub, sizeof sub, "%s-L", key);
            m_subSlots.push_back(m_vals.Slot(sub));
        }
        m_regPlan.push_back(r);
    }
    b.regs = static_cast<int>(m_regPlan.size()) - b.reg0;
}

bool CSMModbus::ReadBlock(ISerBase* port, int addr, int fc, int start, int count, bool tcp)
{
    unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    unsigned char f = static_cast<unsigned char>(fc);
    unsigned short reg = static_cast<unsigned short>(start), cnt = static_cast<unsigned short>(count);
    int len;
    if (tcp) {
        len = ModBusTcpCmd(static_cast<unsigned short>(m_nTransId & 0xFFFF), a, f, reg, cnt);
        m_nTransId = static_cast<int>(static_cast<unsigned>(m_nTransId) + 1u);
    } else {
        len = ModBusCmd(a, f, reg, cnt);
    }
    // Only the reply to this request counts: the rule drops other frames and checks the
    // byte count; with [comm] crc 0 the CRC is not checked.
    const int bytes = SMModbusBytes(fc, count);
    int n = tcp ? SendCmd(port, len, m_reply, MB_REPLY_SIZE, CSMTcpRule(CBufHelper::wdFromBuf(m_cmdBuf), a, f, bytes))
                : SendCmd(port, len, m_reply, MB_REPLY_SIZE, CSMRtuRule(a, f, bytes, 0, m_nCrc != 0));
    if (m_nDebug) std::printf("ircv=%d\n", n);
    if (n <= 0) return false;
    const int data = tcp ? 9 : 3;
    const int avail = bytes;
    if (fc == 1 || fc == 2) {
        if (avail < (count + 7) / 8) return false;
        StoreBits(fc, start, m_reply + data, avail);
        return true;
    }
    if (avail < 2 * count) return false;
    return StoreRegs(fc, start, count, m_reply + data, 2 * count);
}

void CSMModbus::StoreBits(int fc, int start, const unsigned char* data, int avail)
{
    const BlockPlan& bl = *m_block;
    const int planned = static_cast<int>(bl.count + 7) / 8;
    char key[24];
    for (int k = 0; k < avail; ++k)
        for (int b = 0; b < 8; ++b) {
            int slot;
            if (k < planned) {
                slot = m_subSlots[static_cast<size_t>(bl.bit0 + 8 * k + b)];
            } else {  // more bytes than asked for: stored as well, under keys found by text
                slot = MbRegKey(key, sizeof key, fc, start + 8 * k + b + 1) < 0 ? -1 : m_vals.Slot(key);
            }
            if (slot >= 0) m_vals.SetInt(slot, data[k] & (1 << b));
        }
}

bool CSMModbus::StoreRegs(int, int, int, const unsigned char* data, int avail)
{
    const BlockPlan& bl = *m_block;
    // The plan made sure that every value's bytes are within the block.
    if (avail < 2 * bl.count) return false;
    const RegPlan* regs = m_regPlan.data() + bl.reg0;
    m_vals.Look();  // nothing else writes to the store while the block is stored
    for (int i = 0; i < bl.regs; ++i) {
        const RegPlan& r = regs[i];
        int32_t v = r.word ? static_cast<int32_t>(Word(data + r.off)) : DecodeAt(data + r.off, r.f, r.need);
        if (r.scale) v = MbScale(v, r.f);
        m_vals.SetIntSeen(r.slot, v);
        if (!r.bits && !r.hl) continue;
        const int* sub = m_subSlots.data() + r.sub;
        uint32_t u = static_cast<uint32_t>(v);
        for (int b = 0; b < r.bits; ++b) {
            m_vals.SetIntSeen(sub[b], static_cast<int32_t>(u & 1u));
            u >>= 1;
        }
        if (r.hl) {
            // The unshifted value, also when the register was split into bits.
            m_vals.SetIntSeen(sub[r.bits], static_cast<int32_t>((static_cast<uint32_t>(v) >> 8) & 0xFFu));
            m_vals.SetIntSeen(sub[r.bits + 1], static_cast<int32_t>(static_cast<uint32_t>(v) & 0xFFu));
        }
    }
    return !bl.overrun;
}

// ---- controls ----------------------------------------------------------------------------------

int CSMModbus::DoFunc(ISerBase* port, int addr, int cmd, void*, int len)
{
    if (!m_bLoaded || !port || port->IsOpen() == 0) return 0;
    bool tcp = UseTcp(port, len);
    if (cmd & 0xFF0000) return 0;
    char key[16];
    std::snprintf(key, sizeof key, "Yk%02d", cmd & 0xFFFF);
    const IniLine* line = m_ini.Find(SEC_COMM, key);
    if (!line || line->value.empty()) return 0;
    const std::string& text = line->value;
    int pdu = MbPduLen(text);
    if (pdu < 1 || pdu > (tcp ? MB_TCP_PDU_MAX : MB_RTU_PDU_MAX)) return 0;

    unsigned char* b = m_cmdBuf;
    unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    int n, fcAt;
    if (tcp) {
        CBufHelper::wdToBuf(b, static_cast<unsigned short>(m_nTransId & 0xFFFF));
        CBufHelper::wdToBuf(b + 2, 0);
        CBufHelper::wdToBuf(b + 4, static_cast<unsigned short>(pdu + 1));
        b[6] = a;
        CBufHelper::BufFromStr(b + 7, text.c_str(), 2 * pdu);
        n = 7 + pdu;
        fcAt = 7;
        m_nTransId = static_cast<int>(static_cast<unsigned>(m_nTransId) + 1u);
    } else {
        b[0] = a;
        CBufHelper::BufFromStr(b + 1, text.c_str(), 2 * pdu);
        CBufHelper::wdToBufLH(b + 1 + pdu, CBufHelper::crc16(b, static_cast<unsigned char>(1 + pdu)));
        n = 3 + pdu;
        fcAt = 1;
    }
    // The device's echo or answer to this control: same address (and transaction), same
    // function; its CRC is not checked.
    int got = tcp ? SendCmd(port, n, m_reply, MB_REPLY_SIZE, CSMTcpRule(CBufHelper::wdFromBuf(b), a, b[fcAt], -1))
                  : SendCmd(port, n, m_reply, n + 2, CSMRtuRule(a, b[fcAt], -1, 0, false));
    return got >= (tcp ? 8 : 4) && m_reply[fcAt] == b[fcAt] ? 1 : 0;
}
