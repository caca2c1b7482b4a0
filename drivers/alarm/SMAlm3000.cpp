#include "drivers/alarm/SMAlm3000.h"

#include <cstdio>
#include <cstring>

namespace {

ISerBase* g_almPort = nullptr;

int _openPort(int, int)
{
    return g_almPort ? g_almPort->Open(0) : 0;
}

int _sendData(const unsigned char* buf, int len)
{
    if (!g_almPort) return 1;
    int n = g_almPort->Write(buf, len);
    if (n < 0) {  // the line went away: reopen and try once more
        g_almPort->Close();
        g_almPort->Open(0);
        n = g_almPort->Write(buf, len);
    }
    return n == len ? 0 : 1;
}

int _recvData(unsigned char* buf, int len, int* got)
{
    int n = g_almPort ? g_almPort->Read(buf, len, 0) : 0;
    if (n > len) n = len;
    if (got) *got = n;
    return 0;
}

int _closePort(int) { return g_almPort ? g_almPort->Close() : 0; }

int _setTimeout(int first, int total)
{
    return g_almPort ? g_almPort->SetTimeout(static_cast<unsigned>(first), static_cast<unsigned>(total)) : 0;
}

int _purgePort(int) { return g_almPort ? g_almPort->Purge() : 0; }

enum { FRAME_MAX = 1024, REPLY_MAX = 512 };

// One request and its reply. The reply payload (at most cap bytes of it) goes to out and its
// announced length to *n. 0 good reply, 1 failure.
int Transact(unsigned char cmd, const unsigned char* data, int len, unsigned char* out, int cap, int* n)
{
    purge_port(0);
    if (send_packet(cmd, data, len)) return 1;
    unsigned char h[3];
    int got = 0;
    recv_data(h, 3, &got);
    if (got != 3 || h[0] != 0xAA) return 1;
    int plen = (h[1] << 8) | h[2];
    unsigned char b[REPLY_MAX];
    if (plen + 3 > static_cast<int>(sizeof b)) return 1;
    recv_data(b, plen + 3, &got);
    if (got != plen + 3) return 1;
    if (b[0] != cmd || b[plen + 2] != 0x55 || calc_chksum(b, plen + 1) != b[plen + 1]) return 1;
    if (out && cap > 0) std::memcpy(out, b + 1, static_cast<size_t>(plen < cap ? plen : cap));
    if (n) *n = plen;
    return 0;
}

int Simple(unsigned char cmd, const unsigned char* data = nullptr, int len = 0)
{
    return Transact(cmd, data, len, nullptr, 0, nullptr);
}

// A command whose reply carries a status byte; 0 only when it is 0.
int WithStatus(unsigned char cmd, const unsigned char* data, int len, unsigned char* status)
{
    unsigned char st = 0xFF;
    int n = 0;
    if (Transact(cmd, data, len, &st, 1, &n) || n < 1) return 1;
    if (status) *status = st;
    return st == 0 ? 0 : 1;
}

// A text with its NUL as payload.
int WithText(unsigned char cmd, const char* text)
{
    if (!text) return 1;
    return Simple(cmd, reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)) + 1);
}

// Header read with a fixed announced length, then body bytes.
int Fixed(unsigned char cmd, const unsigned char* hdr, int body, unsigned char* out, int outLen, bool checkTail)
{
    purge_port(0);
    if (send_packet(cmd, nullptr, 0)) return 1;
    unsigned char h[3];
    int got = 0;
    recv_data(h, 3, &got);
    if (got != 3 || (hdr && std::memcmp(h, hdr, 3) != 0)) return 1;
    unsigned char b[8];
    recv_data(b, body, &got);
    if (got != body) return 1;
    if (checkTail) {
        int plen = body - 3;
        if (b[0] != cmd || b[body - 1] != 0x55 || calc_chksum(b, plen + 1) != b[plen + 1]) return 1;
    }
    if (out) std::memcpy(out, b + 1, static_cast<size_t>(outLen));
    return 0;
}

}  // namespace

int (*open_port)(int, int) = _openPort;
int (*send_data)(const unsigned char*, int) = _sendData;
int (*recv_data)(unsigned char*, int, int*) = _recvData;
int (*close_port)(int) = _closePort;
int (*set_timeout)(int, int) = _setTimeout;
int (*purge_port)(int) = _purgePort;

ISerBase* AlmPort() { return g_almPort; }
void SetAlmPort(ISerBase* port) { g_almPort = port; }

unsigned char calc_chksum(const unsigned char* buf, int n)
{
    unsigned char x = 0;
    for (int i = 0; i < n; ++i) x ^= buf[i];
    return x;
}

int send_packet(unsigned char cmd, const unsigned char* data, int len)
{
    if (len < 0 || len + 6 > FRAME_MAX) return 1;
    unsigned char f[FRAME_MAX];
    f[0] = 0xAA;
    f[1] = static_cast<unsigned char>(len >> 8);
    f[2] = static_cast<unsigned char>(len & 0xFF);
    f[3] = cmd;
    if (len > 0) std::memcpy(f + 4, data, static_cast<size_t>(len));
    f[4 + len] = calc_chksum(f + 3, len + 1);
    f[5 + len] = 0x55;
    return send_data(f, len + 6) ? 1 : 0;
}

int rmt_get_device_id(unsigned char id[4])
{
    int n = 0;
    return Transact(0x01, nullptr, 0, id, 4, &n) || n < 4 ? 1 : 0;
}

int rmt_get_status(unsigned char status[4])
{
    std::memset(status, 0, 4);
    return Transact(0x02, nullptr, 0, status, 4, nullptr);
}

int rmt_clr_tts_text() { return Simple(0x03); }
int rmt_set_tts_text(const char* text) { return WithText(0x04, text); }

int rmt_set_snapshot(const char* name)
{
    if (!name) return 1;
    purge_port(0);
    if (send_packet(0x05, reinterpret_cast<const unsigned char*>(name), static_cast<int>(std::strlen(name)) + 1))
        return 1;
    unsigned char h[3];
    int got = 0;
    recv_data(h, 3, &got);
    return got == 3 && h[0] == 0xAA && h[1] == 0 && h[2] == 0 ? 0 : 1;
}

int rmt_get_sig_qty(unsigned char* q)
{
    const unsigned char hdr[3] = {0xAA, 0x00, 0x01};
    unsigned char v = 0;
    if (Fixed(0x06, hdr, 4, &v, 1, true)) return 1;
    if (q) *q = v;
    return 0;
}

int rmt_get_rmt_req(unsigned char req[20])
{
    int n = 0;
    return Transact(0x07, nullptr, 0, req, 20, &n) || n < 20 ? 1 : 0;
}

int rmt_reset_gsm() { return Simple(0x10); }

int rmt_send_sms(const char* number, const char* text, unsigned char* status)
{
    if (!number || !text) return 1;
    size_t a = std::strlen(number) + 1, b = std::strlen(text) + 1;
    if (a + b > FRAME_MAX - 6) return 1;
    unsigned char p[FRAME_MAX];
    std::memcpy(p, number, a);
    std::memcpy(p + a, text, b);
    return WithStatus(0x11, p, static_cast<int>(a + b), status);
}

int rmt_start_upload(unsigned char* status) { return WithStatus(0x12, nullptr, 0, status); }

int rmt_upload_pic(const unsigned char* buf, int len)
{
    if (!buf || len < 0 || len > 256) return 1;
    purge_port(0);
    if (send_packet(0x13, buf, len)) return 1;
    unsigned char h[3], b[3];
    int got = 0;
    recv_data(h, 3, &got);
    if (got != 3 || h[0] != 0xAA) return 1;
    recv_data(b, 3, &got);  // three bytes, whatever the length says
    return got == 3 ? 0 : 1;
}

int rmt_end_upload(unsigned char* status) { return WithStatus(0x14, nullptr, 0, status); }

int rmt_do_send_mms(const char* number, unsigned char* status)
{
    if (!number) return 1;
    return WithStatus(0x15, reinterpret_cast<const unsigned char*>(number), static_cast<int>(std::strlen(number)) + 1,
                      status);
}

int rmt_reset_pstn() { return Simple(0x20); }
int rmt_dial_num(const char* number) { return WithText(0x21, number); }

int rmt_tts_local(const char* text)
{
    if (rmt_set_tts_text(text)) return 1;
    return Simple(0x31);
}

int rmt_ctrl_relay(unsigned char relay, unsigned char state)
{
    const unsigned char p[2] = {relay, state};
    return Simple(0x32, p, 2);
}

int rmt_read_io(unsigned char buf[4])
{
    int n = 0;
    return Transact(0x33, nullptr, 0, buf, 4, &n) || n < 4 ? 1 : 0;
}

int rmt_pstn_dial(const char* number, const char* text)
{
    if (rmt_set_tts_text(text)) return 1;
    return rmt_dial_num(number);
}

int rmt_send_mms(const char* number, const unsigned char* pic, int len)
{
    unsigned char st = 0xFF;
    if (rmt_start_upload(&st) || st != 0) return 1;
    for (int off = 0; off < len; off += 256)
        if (rmt_upload_pic(pic + off, len - off > 256 ? 256 : len - off)) return 1;
    if (rmt_end_upload(&st) || st != 0) return 1;
    return rmt_do_send_mms(number, &st);
}

// ---- driver ------------------------------------------------------------------------------

namespace {
const SMPointDef kPoints[] = {
    {0, 1, "Signal", 1, "信号强度", 0, 1, 0, 2, "最弱|可发出短信最弱强度", 0, "", 0},
};
const SMTableDef kTable = {"tbAlarm", "DevId INTEGER,Status INTEGER,Signal INTEGER,iSignal INTEGER"};
}  // namespace

CSMAlm3000::CSMAlm3000() : CSMBase(2560), m_val(), m_szNum(), m_szMsg(), m_szText2()
{
    SetNote("QV3000");
    m_nDataCount = 2;
    m_pData = m_val;
    open_port = _openPort;
    send_data = _sendData;
    recv_data = _recvData;
    close_port = _closePort;
    set_timeout = _setTimeout;
    purge_port = _purgePort;
}

int CSMAlm3000::RegDb(IDbBase* db, int force)
{
    return RegDbRows(db, force, {2560, "%s", "232接口,支持短信 彩信 电话等"}, kPoints, 1);
}

int CSMAlm3000::ChkDb(tagSMItem* item)
{
    if (!m_pDb) return 0;
    int r = CreateTable(m_pDb, kTable);
    if (item) return ChkDbDatInit(kTable.name, item);
    return r == 0 ? 1 : 0;
}

int CSMAlm3000::DataVal(int fld) { return fld == 1 || fld == 2 ? m_val[fld - 1] : -1; }

int CSMAlm3000::DataGet(ISerBase* port, int addr, int)
{
    if (!port || !port->IsOpen()) return 0;
    trace_log("RtLog", "[P%02d] SMAlm3000: s=%d \r\n", Item() ? Item()->Addr : addr, m_val[0]);
    return 1;
}

int CSMAlm3000::DoItem(tagSMItem* item, int n)
{
    SetAlmPort(item ? item->Ser : nullptr);
    return CSMBase::DoItem(item, n);
}

namespace {
// Copies a text into a field; its length, or -1 when it does not fit.
int Store(char* field, size_t size, const char* text)
{
    size_t n = std::strlen(text);
    if (n >= size) return -1;
    std::memcpy(field, text, n + 1);
    return static_cast<int>(n);
}
}  // namespace

int CSMAlm3000::DoFunc(ISerBase* port, int, int cmd, void* buf, int)
{
    const char* text = static_cast<const char*>(buf);
    // Texts only: no port needed. A number longer than 15 characters (with "86") is refused.
    switch (cmd) {
    case 0x1F: {
        if (!text) return 0;
        char num[64];
        bool has86 = std::strncmp(text, "86", 2) == 0;
        if (std::strlen(text) + (has86 ? 0 : 2) >= sizeof m_szNum) return 0;
        std::snprintf(num, sizeof num, "%s%s", has86 ? "" : "86", text);
        int n = Store(m_szNum, sizeof m_szNum, num);
        return n < 0 ? 0 : n;
    }
    case 0x33:
    case 0x20:
    case 0x34:
    case 0x21: {
        if (!text) return 0;
        char* field = cmd == 0x33 ? m_szNum : (cmd == 0x21 ? m_szText2 : m_szMsg);
        size_t size = cmd == 0x33 ? sizeof m_szNum : (cmd == 0x21 ? sizeof m_szText2 : sizeof m_szMsg);
        int n = Store(field, size, text);
        return n < 0 ? 0 : n;
    }
    default: break;
    }
    if (!port || !port->IsOpen()) return 0;
    unsigned char relay = (Item() && Item()->Param1 != 0) ? 1 : 0;
    unsigned char st[4] = {0, 0, 0, 0};
    switch (cmd) {
    case 0x24: port->SetTimeout(10, 1000); return 0;
    case 10: rmt_ctrl_relay(relay, 0); return 0;
    case 11: rmt_ctrl_relay(relay, 1); return 0;
    case 0x14: if (text) rmt_tts_local(text); return 0;
    case 0x1E:
        if (!text) return rmt_get_status(st) == 0 && st[1] < 15 ? 1 : 0;
        return rmt_reset_gsm() == 0 ? 1 : 0;
    case 0x23:
        if (!text || Store(m_szMsg, sizeof m_szMsg, text) < 0) return 0;
        return rmt_send_sms(m_szNum, m_szMsg, st) == 0 ? 1 : 0;
    case 0x22: return rmt_send_sms(m_szNum, m_szMsg, st) == 0 ? 1 : 0;
    case 0x32:
        if (text) return rmt_reset_pstn() == 0 ? 1 : 0;
        if (rmt_get_status(st)) return 0;
        return st[2] == 0 ? 1 : (st[2] == 1 ? 2 : 0);
    case 0x35: return rmt_pstn_dial(m_szNum, m_szMsg) == 0 ? 1 : 0;
    default: return 0;
    }
}
