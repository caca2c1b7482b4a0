#include "generic/SMNormal.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace {
const SMDefFamily kFamily = {"tbNormal", "tbNormalDat", "", "V", DEF_UPD_PLAIN_BRIEF | DEF_UPD_LAST_EXEC};

bool IsHexStart(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Hex text to bytes, two digits each (a lone last digit is ignored, other characters count 0),
// into out: the number of bytes of the text, of which at most cap are stored.
size_t HexInto(std::string_view text, unsigned char* out, size_t cap)
{
    size_t n = 0;
    for (size_t i = 0; i + 1 < text.size(); i += 2, ++n)
        if (n < cap)
            out[n] = static_cast<unsigned char>((CBufHelper::ascii2hex(static_cast<unsigned char>(text[i])) << 4) |
                                                CBufHelper::ascii2hex(static_cast<unsigned char>(text[i + 1])));
    return n;
}
}  // namespace

CSMNormal::CSMNormal(int type) : CSMDefBase(type, "QVYD-base", "QVYD-base", kFamily)
{
    trace_sm_log("RtLog", "CSMNormal new 0x%X=%d(%x)\n", static_cast<unsigned int>(reinterpret_cast<uintptr_t>(this)),
                 type, type);
}

CSMNormal::~CSMNormal() = default;

int CSMNormal::UpdLoad()
{
    CSMDefBase::UpdLoad();
    m_dinfo = m_ini.GetValue(SEC_COMM, "dinfo", "I");
    m_dmax = m_ini.GetValue<int>(SEC_COMM, "dmax", 200);
    m_snd = m_ini.GetValue(SEC_COMM, "SND", "");
    m_rcv = m_ini.GetValue(SEC_COMM, "RCV", "");
    m_chk = m_ini.GetValue<int>(SEC_COMM, "chk", 0);
    m_chk0 = m_ini.GetValue<int>(SEC_COMM, "chk0", 0);
    m_dat0 = m_ini.GetValue<int>(SEC_COMM, "dat0", 0);
    // Offsets before the frame would read outside it.
    if (m_chk0 < 0 || m_dat0 < 0) {
        trace_sm_log("RtLog", "type %d: negative chk0/dat0 taken as 0\n", m_nType);
        if (m_chk0 < 0) m_chk0 = 0;
        if (m_dat0 < 0) m_dat0 = 0;
    }
    m_codes = CodeList("cmds");
    CheckDmax(m_codes, m_dmax, REPLY_MAX);
    if (m_nDebug > 0)
        std::printf("CSMNormal::UpdLoad  d=%d  %dms  SND=%s  cmds=%s\n", m_nDebug, m_nDelay, m_snd.c_str(),
                    m_ini.GetValue(SEC_COMM, "cmds", "").c_str());
    return m_bLoaded ? 1 : 0;
}

int CSMNormal::NormalCmd(unsigned char* buf, int cap, int addr, const std::string& cmd, const std::string& dat)
{
    m_reqLen = m_headLen = m_tailLen = 0;
    m_adrAt = -1;
    m_chkKind = CHK_NONE;
    m_chkTail = 0;
    if (!buf) return -1;
    if (cap > CMD_SIZE) cap = CMD_SIZE;

    // Parts longer than the buffer never fit: put refuses them before copying.
    unsigned char code[CMD_SIZE], data[CMD_SIZE], hexTok[CMD_SIZE];
    const size_t codeLen = HexInto(cmd, code, sizeof code);
    const size_t dataLen = HexInto(dat, data, sizeof data);
    int n = 0, lenAt = -1, chkAt = -1, kind = CHK_NONE, head = 0, tail = 0, adrAt = -1;
    bool over = false;
    auto put = [&](const unsigned char* p, size_t k) {
        if (over || static_cast<size_t>(cap - n) < k) {
            over = true;
            return;
        }
        if (k) std::memcpy(buf + n, p, k);
        n += static_cast<int>(k);
    };
    auto put1 = [&](unsigned int b) {
        unsigned char c = static_cast<unsigned char>(b & 0xFF);
        put(&c, 1);
    };
    auto covered = [&]() { return m_chk0 < n ? n - m_chk0 : 0; };

    // The template's tokens, split at single blanks.
    const std::string_view snd(m_snd);
    size_t start = 0;
    bool lastTok = false;
    for (size_t t = 0; !lastTok && !over; ++t) {
        size_t sp = snd.find(' ', start);
        lastTok = sp == std::string_view::npos;
        const std::string_view tok = snd.substr(start, lastTok ? std::string_view::npos : sp - start);
        start = sp + 1;
        int before = n;
        bool hex = !tok.empty() && IsHexStart(tok[0]);
        if (hex) {
            put(hexTok, HexInto(tok, hexTok, sizeof hexTok));
        } else if (tok.compare(0, 4, "dlen") == 0) {
            put1(static_cast<unsigned int>(dat.size() / 2));
        } else if (tok.compare(0, 3, "adr") == 0) {
            if (adrAt < 0) adrAt = n;
            put1(static_cast<unsigned int>(addr));
        } else if (tok.compare(0, 3, "cmd") == 0) {
            put(code, codeLen);
        } else if (tok.compare(0, 3, "dat") == 0) {
            put(data, dataLen);
        } else if (tok.compare(0, 3, "len") == 0) {
            lenAt = n;
            put1(0);
        } else if (tok.compare(0, 3, "crc") == 0) {
            unsigned short crc = CBufHelper::crc16(buf + (n - covered()), static_cast<unsigned char>(covered()));
            chkAt = n;
            kind = CHK_CRC;
            put1(crc & 0xFF);
            put1(crc >> 8);
        } else if (tok.compare(0, 3, "sum") == 0) {
            unsigned short s = CBufHelper::sum(buf + (n - covered()), covered());
            chkAt = n;
            kind = CHK_SUM;
            put1(s & 0xFF);
        } else if (tok.compare(0, 3, "xor") == 0) {
            unsigned char x = CBufHelper::Xor(buf + (n - covered()), covered());
            chkAt = n;
            kind = CHK_XOR;
            put1(x);
        }
        if (t == 0) head = hex ? n - before : 0;
        if (lastTok) tail = hex ? n - before : 0;
    }
    if (over) {
        trace_sm_log("RtLog", "type %d: frame of code %s is longer than %d bytes, refused\n", m_nType, cmd.c_str(), cap);
        return -1;
    }
    if (lenAt >= 0) buf[lenAt] = static_cast<unsigned char>(n);
    m_reqLen = n;
    m_adrAt = adrAt;
    m_headLen = head;
    m_tailLen = tail;
    m_chkKind = static_cast<short>(kind);
    m_chkTail = static_cast<short>(chkAt >= 0 ? n - chkAt : 0);
    std::memcpy(m_req, buf, static_cast<size_t>(n));
    return n;
}

int CSMNormal::NormalChk(const unsigned char* reply, int n) const
{
    if (n < 0) n = 0;
    if (m_chkKind != CHK_NONE) {
        int pos = n - m_chkTail;
        int size = m_chkKind == CHK_CRC ? 2 : 1;
        if (pos < m_chk0 || pos + size > n || pos - m_chk0 > QVSM_CRC_MAX) return m_chkKind;
        const unsigned char* p = reply + m_chk0;
        int len = pos - m_chk0;
        if (m_chkKind == CHK_CRC) {
            unsigned short crc = CBufHelper::crc16(p, static_cast<unsigned char>(len));
            if (reply[pos] != (crc & 0xFF) || reply[pos + 1] != (crc >> 8)) return CHK_CRC;
        } else if (m_chkKind == CHK_SUM) {
            if (reply[pos] != (CBufHelper::sum(p, len) & 0xFF)) return CHK_SUM;
        } else if (reply[pos] != CBufHelper::Xor(p, len)) {
            return CHK_XOR;
        }
    }
    if ((m_chk & 1) && m_headLen > 0) {
        int m = std::min(m_headLen, std::min(m_reqLen, n));
        if (std::memcmp(reply, m_req, static_cast<size_t>(m)) != 0) return CHK_BAD_HEAD;
    }
    if ((m_chk & 2) && m_tailLen > 0) {
        int m = std::min(m_tailLen, std::min(m_reqLen, n));
        if (std::memcmp(reply + n - m, m_req + m_reqLen - m, static_cast<size_t>(m)) != 0) return CHK_BAD_TAIL;
    }
    return 0;
}

int CSMNormal::Judge(const unsigned char* p, int n, bool end) const
{
    // The request's address byte at the same place, and the request's head when the frame
    // starts with fixed bytes; then the reply is complete once its checks pass.
    const int head = (m_chk & 1) ? std::min(m_headLen, m_reqLen) : 0;
    if (n < std::max(m_adrAt + 1, head)) return end ? SKIP : MORE;
    if (m_adrAt >= 0 && m_adrAt < m_reqLen && p[m_adrAt] != m_req[m_adrAt]) return SKIP;
    if (head > 0 && std::memcmp(p, m_req, static_cast<size_t>(head)) != 0) return SKIP;
    if (n > 0 && NormalChk(p, n) == 0) return n;
    return end ? SKIP : MORE;
}

bool CSMNormal::Checked() const
{
    return m_adrAt >= 0 || m_chkKind != CHK_NONE || ((m_chk & 1) && m_headLen > 0) || ((m_chk & 2) && m_tailLen > 0);
}

int CSMNormal::NormalSize(const std::string& type)
{
    char c = type.empty() ? 0 : type[0];
    if (c == 'F' || c == 'f') return 4;
    if (c == 'I' || c == 'i') return 2;
    return 1;
}

int CSMNormal::NormalVal(const unsigned char* p, const std::string& type, int fac)
{
    char c = type.empty() ? 0 : type[0];
    if (c == 'F' || c == 'f') return DefTrunc(static_cast<double>(CBufHelper::fvFromBuf(p)) * fac);
    if (c == 'I' || c == 'i') return (p[0] << 8) | p[1];
    return p[0];
}

void CSMNormal::ValsByDefault(const unsigned char* reply, int n, const std::string& section, const std::string& defType)
{
    const int fac = m_ini.GetValue<int>(section, "dfac", 1);
    const int end = n - m_chkTail;
    int pos = m_dat0;
    int k = 0;
    while (pos < end) {
        ++k;
        std::string type = m_ini.GetValue(section, std::to_string(k), "");
        int step = NormalSize(defType);
        if (type == "-") {
            pos += step;
            continue;
        }
        if (type.empty())
            type = defType;
        else
            step = NormalSize(type);
        if (pos + step > n) break;  // not wholly received
        int value = NormalVal(reply + pos, type, fac);
        char key[32];
        std::snprintf(key, sizeof key, "%02d", k);
        const std::string name = section + key;
        m_vals.SetInt(m_vals.Slot(name), value);
        StoreBits(section, k, name, value);
        pos += step;
    }
}

int CSMNormal::DataGet(ISerBase* port, int addr, int waitMs)
{
    m_vals.Begin();
    int r = Poll(port, addr, waitMs);
    m_vals.End();
    return r;
}

int CSMNormal::Poll(ISerBase* port, int addr, int)
{
    if (!m_bLoaded || !port || !port->IsOpen()) return 0;
    unsigned char reply[REPLY_MAX];
    for (const std::string& code : m_codes) {
        const std::string sec = code + "H";
        const std::string defType = m_ini.GetValue(sec, "dinfo", m_dinfo);
        const int dmax = m_ini.GetValue<int>(sec, "dmax", m_dmax);
        if (dmax > REPLY_MAX) return 0;
        int len = NormalCmd(m_cmdBuf, CMD_SIZE, addr, code, m_ini.GetValue(sec, "cdat", ""));
        if (len < 0) return 0;
        int n = SendCmd(port, len, reply, dmax < 0 ? 0 : dmax, *this);
        if (n < 0 || (n == 0 && Checked())) return 0;
        int chk = NormalChk(reply, n);
        if (m_nDebug > 0) std::printf("cmd=%s snd=%d rcv=%d chk=%d\n", code.c_str(), len, n, chk);
        if (chk != 0) return 0;
        ValsByDefault(reply, n, sec, defType);
    }
    if (m_nDebug > 0) {
        m_vals.End();  // the readings of this poll only
        std::printf("t=%d  iaddr=%d\n", m_nType, addr);
        TraceVals();
    }
    return 1;
}

int CSMNormal::DoFunc(ISerBase* port, int addr, int cmd, void*, int)
{
    char name[32];
    std::snprintf(name, sizeof name, "Yk%02d", cmd);
    std::string text = m_ini.GetValue(SEC_COMM, name, "");
    if (text.empty() || !port) return 0;
    std::string code = text, data;
    size_t comma = text.find(',');
    if (comma != std::string::npos) {
        code = text.substr(0, comma);
        data = text.substr(comma + 1);
    }
    int len = NormalCmd(m_cmdBuf, CMD_SIZE, addr, code, data);
    if (len < 0) return 0;
    unsigned char reply[REPLY_MAX];
    int n = SendCmd(port, len, reply, 2 * len, *this);
    if (n < 0 || (n == 0 && Checked())) return 0;
    return NormalChk(reply, n) == 0 ? 1 : 0;
}
