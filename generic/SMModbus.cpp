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

int MbDecode(const unsigned char* p, int avail, const MbFormat& f, bool byteMode, int32_t& value)
{
    int need = MbTypeBytes(f.type, byteMode);
    if (!p || avail < need) return 0;
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
        value = DefTrunc(static_cast<double>(FloatOf(bits) * m));
        return need;
    }
    default: v = need == 1 ? p[0] : Word(p); break;
    }
    value = static_cast<int32_t>(v);
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

    std::printf("CSMModbus::UpdLoad  d=%d  %dms  tout=%d  DataByte=%d\n", m_nDebug, m_nDelay, m_nTimeout,
                m_nDataByte);
    return 1;
}

int CSMModbus::DataVal(int fld)
{
    if (fld > m_nDataCount) return -1;
    if (m_nDelayV != 0 && m_nDelay > 0) SMSleepMs(static_cast<unsigned long>(m_nDelay));
    return CSMDefBase::DataVal(fld);
}

bool CSMModbus::UseTcp(ISerBase* port, int flags) const
{
    return (port->GetMode() & QVSM_MODE_TCP) != 0 && (flags & MB_FLAG_RTU) == 0;
}

int CSMModbus::DataGet(ISerBase* port, int addr, int waitMs)
{
    m_ini.DeleteKey(SEC_VALS, "#all");
    if (!m_bLoaded || !port || port->IsOpen() == 0) return 0;
    bool tcp = UseTcp(port, waitMs);
    for (int fc = 1; fc <= 4; ++fc) {
        char sec[8];
        std::snprintf(sec, sizeof sec, "regs%d", fc);
        if (m_nDebug) std::puts(sec);
        const SimpleIni::KeyMap* keys = m_ini.Section(sec);
        if (!keys) continue;
        for (const auto& kv : *keys) {
            int start = 0;
            long long count = 0;
            if (!MbBlockKey(kv.first, start)) continue;
            SimpleIni::ParseLeadingInt(kv.second.value, count);
            if (count == 0) continue;
            if (m_nDebug) std::printf("%d=%lld\n", start, count);
            if (count < 0 || count > 65536 || !MbBlockFits(fc, start, static_cast<int>(count))) return 0;
            if (!ReadBlock(port, addr, fc, start, static_cast<int>(count), tcp)) return 0;
        }
    }
    if (m_nDebug) {
        std::printf("t=%d  iaddr=%d  iext=%d\n", m_nType, addr, waitMs);
        TraceVals();
    }
    return 1;
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

void CSMModbus::Store(const char* key, int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    m_ini.SetValue(SEC_VALS, key, std::string_view(text));
}

void CSMModbus::StoreBits(int fc, int start, const unsigned char* data, int avail)
{
    char key[24];
    for (int k = 0; k < avail; ++k)
        for (int b = 0; b < 8; ++b) {
            if (MbRegKey(key, sizeof key, fc, start + 8 * k + b + 1) < 0) continue;
            Store(key, data[k] & (1 << b));
        }
}

bool CSMModbus::StoreRegs(int fc, int start, int count, const unsigned char* data, int avail)
{
    char sec[8], key[24], sub[48], split[24];
    std::snprintf(sec, sizeof sec, "regs%d", fc);
    const bool byteMode = m_nDataByte != 0;
    for (int j = 0; j < count; ++j) {
        if (MbRegKey(key, sizeof key, fc, start + j + 1) < 0) return false;
        const IniLine* fl = m_ini.Find(SEC_FLDS, key);
        MbFormat f = MbParseFormat(fl ? std::string_view(fl->value) : std::string_view());
        int off = byteMode ? j : 2 * j;
        int32_t v = 0;
        int got = MbDecode(data + off, avail - off, f, byteMode, v);
        if (got == 0) return false;  // the value runs past the bytes received
        j += byteMode ? got - 1 : got / 2 - 1;
        if (f.type != 'F' && f.type != 'f') v = MbScale(v, f);
        Store(key, v);

        // Splits are keyed by the address of the value's last register.
        int at = start + j;
        std::snprintf(split, sizeof split, "%dbit", at);
        int bits = m_ini.GetValue<int>(sec, split, 0);
        int maxBits = byteMode ? 8 : 16;
        bits = bits < 0 ? 0 : bits > maxBits / 8 ? maxBits : bits * 8;
        uint32_t u = static_cast<uint32_t>(v);
        for (int b = 0; b < bits; ++b) {
            std::snprintf(sub, sizeof sub, "%s-%d", key, b);
            Store(sub, static_cast<int32_t>(u & 1u));
            u >>= 1;
        }
        if (byteMode) continue;
        std::snprintf(split, sizeof split, "%dHL", at);
        if (m_ini.GetValue<int>(sec, split, 0) != 0) {
            // The unshifted value, also when the register was split into bits.
            std::snprintf(sub, sizeof sub, "%s-H", key);
            Store(sub, static_cast<int32_t>((static_cast<uint32_t>(v) >> 8) & 0xFFu));
            std::snprintf(sub, sizeof sub, "%s-L", key);
            Store(sub, static_cast<int32_t>(static_cast<uint32_t>(v) & 0xFFu));
        }
    }
    return true;
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
