#include "generic/SMYdt1363.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
const SMDefFamily kFamily = {"tbYdt1363", "tbYdt1363Dat", "", "V", 0};

// Two's complement of the character sum, modulo 65536.
unsigned int CharSum(const char* p, int n)
{
    unsigned int s = 0;
    for (int i = 0; i < n; ++i) s += static_cast<unsigned char>(p[i]);
    return (~s + 1) & 0xFFFF;
}

// LENGTH of an INFO of lenid characters: the check nibble over the three low nibbles on top.
unsigned int LengthWord(unsigned int lenid)
{
    lenid &= 0xFFF;
    if (lenid == 0) return 0;
    unsigned int s = (lenid & 0xF) + ((lenid >> 4) & 0xF) + ((lenid >> 8) & 0xF);
    return (((~s + 1) & 0xF) << 12) | lenid;
}

std::string Key(const std::string& section, int n)
{
    char k[32];
    std::snprintf(k, sizeof k, "%02d", n);
    return section + k;
}
}  // namespace

CSMYdt1363::CSMYdt1363(int type) : CSMDefBase(type, "QVYD-base", "QVYD-base", kFamily)
{
    m_pData = m_values;
    trace_sm_log("RtLog", "CSMYdt1363 new 0x%X=%d(%x)\n",
                 static_cast<unsigned int>(reinterpret_cast<uintptr_t>(this)), type, type);
}

CSMYdt1363::~CSMYdt1363() = default;

int CSMYdt1363::UpdLoad()
{
    CSMDefBase::UpdLoad();
    m_dinfo = m_ini.GetValue(SEC_COMM, "dinfo", "I");
    m_dmax = m_ini.GetValue<int>(SEC_COMM, "dmax", 200);
    m_bak = m_ini.GetValue<int>(SEC_COMM, "bak", 0);
    m_ver = m_ini.GetValue(SEC_COMM, "ver", "");
    m_cid1 = m_ini.GetValue(SEC_COMM, "cid1", "60");

    // What the poll and the controls will refuse, said once here.
    m_codes = CodeList("cid2");
    CheckDmax(m_codes, m_dmax, REPLY_MAX);
    for (const std::string& code : m_codes) {
        std::string sec = code + "H";
        size_t info = m_ini.GetValue(sec, "dcmd", "").size();
        if (info > INFO_MAX)
            trace_sm_log("RtLog", "type %d: [%s] dcmd of %u characters is above %d, the command is refused\n", m_nType,
                         sec.c_str(), static_cast<unsigned>(info), INFO_MAX);
    }
    for (auto it = m_ini.beginKey(SEC_COMM); it != m_ini.endKey(SEC_COMM); ++it)
        if (it->first.compare(0, 2, "Yk") == 0 && it->second.value.size() > INFO_MAX)
            trace_sm_log("RtLog", "type %d: %s of %u characters is above %d, the control is refused\n", m_nType,
                         it->first.c_str(), static_cast<unsigned>(it->second.value.size()), INFO_MAX);
    if (m_nDebug > 0)
        std::printf("CSMYdt1363::UpdLoad  d=%d  %dms  cid1=%s  cid2=%s\n", m_nDebug, m_nDelay, m_cid1.c_str(),
                    m_ini.GetValue(SEC_COMM, "cid2", "").c_str());
    return m_bLoaded ? 1 : 0;
}

int CSMYdt1363::YdCmd(char* out, int cap, const char* ver, int addr, const char* cid1, const char* cid2,
                      const char* info)
{
    if (!out || !ver || !cid1 || !cid2) return -1;
    if (std::strlen(ver) != 2 || std::strlen(cid1) != 2 || std::strlen(cid2) != 2) return -1;
    size_t lenid = info ? std::strlen(info) : 0;
    if (cap < 19 || lenid > static_cast<size_t>(cap - 19)) return -1;
    int n = std::snprintf(out, static_cast<size_t>(cap), "~%s%02X%s%s%04X", ver, addr & 0xFF, cid1, cid2,
                          LengthWord(static_cast<unsigned int>(lenid)));
    if (n != 13) return -1;
    if (lenid) std::memcpy(out + 13, info, lenid);
    int body = 13 + static_cast<int>(lenid);
    std::snprintf(out + body, static_cast<size_t>(cap - body), "%04X\r", CharSum(out + 1, body - 1));
    return 18 + static_cast<int>(lenid);
}

int CSMYdt1363::YdDatSize(const std::string& type)
{
    char c = type.empty() ? 0 : type[0];
    if (c == 'F' || c == 'f') return 8;
    if (c == 'I' || c == 'i') return 4;
    return 2;
}

int CSMYdt1363::YdVal(const char* text, const std::string& type, double fac)
{
    char c = type.empty() ? 0 : type[0];
    if (c == 'F' || c == 'f') return DefTrunc(static_cast<double>(CBufHelper::HexValF(text)) * fac);
    if (c == 'I' || c == 'i') return static_cast<int>(CBufHelper::HexVal(text, 4) & 0xFFFF);
    return static_cast<int>(CBufHelper::HexVal(text, 2) & 0xFF);
}

int CSMYdt1363::YdDatNone(const char* text, int chars)
{
    if (!text || chars < 2) return 0;
    for (int i = 0; i + 1 < chars; i += 2)
        if (text[i] != '2' || text[i + 1] != '0') return 0;  // a NUL ends the text here too
    return 1;
}

bool CSMYdt1363::ReplyOk(const char* reply, int n) { return n >= 9 && reply[8] == '0' && reply[9] == '0'; }

int CSMYdt1363::Send(ISerBase* port, int addr, int len, char* reply, int cap)
{
    int n = SendCmd(port, len, reinterpret_cast<unsigned char*>(reply), cap, CSMYdtRule(addr));
    reply[n < 0 ? 0 : n] = 0;
    return n;
}

std::string CSMYdt1363::YdVer(ISerBase* port, int addr)
{
    if (!port) return "";
    int len = YdCmd(reinterpret_cast<char*>(m_cmdBuf), CMD_SIZE, "00", addr, m_cid1.c_str(), "4F", nullptr);
    if (len < 0) return "";
    char reply[18 + 1];
    int n = Send(port, addr, len, reply, 18);
    if (!ReplyOk(reply, n)) return "";  // also after a short write (n is -1)
    return std::string(reply + 1, 2);
}

int CSMYdt1363::DataGet(ISerBase* port, int addr, int waitMs)
{
    m_vals.Begin();
    int r = Poll(port, addr, waitMs);
    m_vals.End();
    return r;
}

int CSMYdt1363::Poll(ISerBase* port, int addr, int)
{
    if (!m_bLoaded || !port || !port->IsOpen()) return 0;

    std::string ver;
    if (m_bak == 0) {
        ver = YdVer(port, addr);
    } else {
        if (m_ver.empty()) m_ver = YdVer(port, addr);
        ver = m_ver;
    }
    if (ver.empty()) ver = "10";

    for (const std::string& code : m_codes)
        if (!PollCommand(port, addr, ver, code)) return 0;

    if (m_nDebug > 0) {
        m_vals.End();  // the readings of this poll only
        std::printf("t=%d  iaddr=%d  ver=%s\n", m_nType, addr, ver.c_str());
        TraceVals();
    }
    return 1;
}

bool CSMYdt1363::PollCommand(ISerBase* port, int addr, const std::string& ver, const std::string& code)
{
    const std::string sec = code + "H";
    const std::string dinfo = m_ini.GetValue(sec, "dinfo", m_dinfo);
    int dflag = m_ini.GetValue<int>(sec, "dflag", 0);
    const double dfac = m_ini.GetValue<double>(sec, "dfac", 1.0);
    const std::string dcmd = m_ini.GetValue(sec, "dcmd", "");
    int dmax = m_ini.GetValue<int>(sec, "dmax", m_dmax);
    if (dmax > REPLY_MAX) return false;
    if (dmax < 0) dmax = 0;
    if (dflag < 0 || dflag > REPLY_MAX) dflag = dflag < 0 ? 0 : REPLY_MAX;

    int len = YdCmd(reinterpret_cast<char*>(m_cmdBuf), CMD_SIZE, ver.c_str(), addr, m_cid1.c_str(), code.c_str(),
                    dcmd.empty() ? nullptr : dcmd.c_str());
    if (len < 0) {
        if (m_nDebug > 0) std::printf("icmd=%s refused\n", code.c_str());
        return false;
    }
    if (m_nDebug > 0) std::printf("icmd=%d %s", len, reinterpret_cast<char*>(m_cmdBuf));
    char reply[REPLY_MAX + 1];
    int n = Send(port, addr, len, reply, dmax);
    if (n < 0) return false;
    if (m_nDebug > 0) std::printf("rcv=%d %s\n\n", n, reply);

    int pos = 13 + 2 * dflag;
    int item = 0;
    while (pos < n - 5) {
        ++item;
        const std::string key = Key(sec, item);
        std::string type = m_ini.GetValue(sec, std::to_string(item), "");
        int width = YdDatSize(dinfo);
        if (!type.empty() && type[0] == '-') {
            type.erase(0, 1);
            width = YdDatSize(type.empty() ? dinfo : type);
            if (m_nDebug > 1) std::printf("%s skipped at %d\n", key.c_str(), pos);
            pos += width;
            continue;
        }
        if (type.empty()) type = dinfo;
        width = YdDatSize(type);
        if (YdDatNone(reply + pos, width)) {
            m_vals.SetText(m_vals.Slot(key), "");
        } else {
            int value = YdVal(reply + pos, type, dfac);
            m_vals.SetInt(m_vals.Slot(key), value);
            StoreBits(sec, item, key, value);
        }
        if (m_nDebug > 1) std::printf("%s at %d type %s\n", key.c_str(), pos, type.c_str());
        pos += width;
    }
    return true;
}

int CSMYdt1363::DoFunc(ISerBase* port, int addr, int cmd, void*, int)
{
    char name[32];
    std::snprintf(name, sizeof name, "Yk%02d", cmd);
    std::string info = m_ini.GetValue(SEC_COMM, name, "");
    if (info.empty() || !port) return 0;
    if (m_ver.empty()) m_ver = YdVer(port, addr);
    if (m_ver.empty()) return 0;
    int len = YdCmd(reinterpret_cast<char*>(m_cmdBuf), CMD_SIZE, m_ver.c_str(), addr, m_cid1.c_str(), "45",
                    info.c_str());
    if (len < 0) return 0;
    char reply[18 + 1];
    int n = Send(port, addr, len, reply, 18);
    return ReplyOk(reply, n) ? 1 : 0;
}
