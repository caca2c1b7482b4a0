#include "drivers/alarm/SMSmsCodec.h"

#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/BufHelper.h"
#include "base/SMEnv.h"
#include "base/SMLog.h"
#include "drivers/alarm/SMAtDialog.h"

namespace {

const char kHex[] = "0123456789ABCDEF";

// Octets of one PDU, refusing what would not fit.
struct PduBytes {
    unsigned char b[SMS_PDU_TEXT / 2];
    int n = 0;
    bool over = false;
    void Add(unsigned char v)
    {
        if (n >= static_cast<int>(sizeof b)) {
            over = true;
            return;
        }
        b[n++] = v;
    }
    void Add(const unsigned char* p, int len)
    {
        for (int i = 0; i < len; ++i) Add(p[i]);
    }
    // A number: digits in semi-octet order.
    void Digits(const char* num)
    {
        char inv[SMS_NUM_MAX + 3];
        int len = static_cast<int>(strnlen(num, SMS_NUM_MAX + 1));
        if (len > SMS_NUM_MAX) {
            over = true;
            return;
        }
        int m = gsmInvertNumbers(num, inv, len);
        unsigned char oct[SMS_NUM_MAX];
        Add(oct, gsmString2Bytes(inv, oct, m));
    }
    int Text(char* out) const
    {
        if (over || 2 * n + 1 > SMS_PDU_TEXT) {
            out[0] = 0;
            return 0;
        }
        return gsmBytes2String(b, out, n);
    }
};

// The service-centre part and the destination up to and including the protocol identifier
// and coding scheme; the validity period follows.
void PduHead(PduBytes& p, const SM_PARAM* param, unsigned char first)
{
    int d = static_cast<int>(strnlen(param->SCA, sizeof param->SCA));
    if (d == 0) {
        p.Add(0x00);
    } else {
        p.Add(static_cast<unsigned char>((d + 1) / 2 + 1));
        p.Add(0x91);
        p.Digits(param->SCA);
    }
    p.Add(first);
    p.Add(0x00);  // message reference: the modem sets it
    p.Add(static_cast<unsigned char>(strnlen(param->TPA, sizeof param->TPA)));
    p.Add(0x91);
    p.Digits(param->TPA);
    p.Add(static_cast<unsigned char>(param->TP_PID));
    p.Add(static_cast<unsigned char>(param->TP_DCS));
}

// The text of a record as a NUL-terminated string even when the record holds none.
std::string RecordText(const SM_PARAM* param) { return std::string(param->TP_UD, strnlen(param->TP_UD, sizeof param->TP_UD)); }

}  // namespace

int gsmBytes2String(const unsigned char* src, char* dst, int n)
{
    for (int i = 0; i < n; ++i) {
        dst[2 * i] = kHex[src[i] >> 4];
        dst[2 * i + 1] = kHex[src[i] & 0x0F];
    }
    dst[n > 0 ? 2 * n : 0] = 0;
    return n > 0 ? 2 * n : 0;
}

int gsmString2Bytes(const char* src, unsigned char* dst, int n)
{
    for (int i = 0; i + 1 < n; i += 2)
        dst[i / 2] = static_cast<unsigned char>((CBufHelper::ascii2hex(static_cast<unsigned char>(src[i])) << 4) |
                                                CBufHelper::ascii2hex(static_cast<unsigned char>(src[i + 1])));
    return n / 2;
}

int gsmInvertNumbers(const char* src, char* dst, int n)
{
    int m = 0;
    for (int i = 0; i < n; i += 2) {
        char a = src[i];
        char b = i + 1 < n ? src[i + 1] : 'F';
        dst[m++] = b;
        dst[m++] = a;
    }
    dst[m] = 0;
    return m;
}

int gsmSerializeNumbers(const char* src, char* dst, int n)
{
    int m = 0;
    for (int i = 0; i + 1 < n; i += 2) {
        dst[m++] = src[i + 1];
        dst[m++] = src[i];
    }
    if (m > 0 && dst[m - 1] == 'F') --m;
    dst[m] = 0;
    return m;
}

int gsmEncode7bit(const char* src, unsigned char* dst, int n)
{
    int out = 0;
    unsigned char left = 0;
    for (int i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(src[i]);
        int k = i & 7;
        if (k == 0) {
            left = c;
        } else {
            dst[out++] = static_cast<unsigned char>((c << (8 - k)) | left);
            left = static_cast<unsigned char>(c >> k);
        }
    }
    return out;
}

int gsmDecode7bit(const unsigned char* src, char* dst, int n)
{
    int out = 0, k = 0;
    unsigned char left = 0;
    for (int i = 0; i < n; ++i) {
        dst[out++] = static_cast<char>(((src[i] << k) | left) & 0x7F);
        left = static_cast<unsigned char>(src[i] >> (7 - k));
        if (++k == 7) {
            dst[out++] = static_cast<char>(left);
            k = 0;
            left = 0;
        }
    }
    dst[out] = 0;
    return out;
}

int gsmEncode8bit(const char* src, unsigned char* dst, int n)
{
    std::memcpy(dst, src, static_cast<size_t>(n));
    return n;
}

int gsmDecode8bit(const unsigned char* src, char* dst, int n)
{
    std::memcpy(dst, src, static_cast<size_t>(n));
    dst[n] = 0;
    return n;
}

int gsmEncodeUcs2(const char* src, unsigned char* dst, int n)
{
    if (!src || !dst || n <= 0) return 0;
    std::string in(src, strnlen(src, static_cast<size_t>(n)));
    std::vector<char> out(4 * in.size() + 4);
    int m = CBufHelper::conv_code("UCS-2", "GBK", out.data(), &in[0]);
    if (m > 2 * n) m = 2 * n;  // cannot happen for GBK; the caller's room is 2n
    std::memcpy(dst, out.data(), static_cast<size_t>(m));
    return m;
}

int gsmDecodeUcs2(const unsigned char* src, char* dst, int n)
{
    dst[0] = 0;
    if (!src || n <= 0) return 0;
    iconv_t cd = iconv_open("GBK", "UCS-2BE");
    std::vector<char> in(src, src + n);
    std::vector<char> out(4 * static_cast<size_t>(n) + 4);
    int m = CBufHelper::conv_code(reinterpret_cast<void*>(cd), out.data(), in.data(), n);
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    if (m > 2 * n) m = 2 * n;
    std::memcpy(dst, out.data(), static_cast<size_t>(m));
    dst[m] = 0;
    return m;
}

int gsmUcs2Len(const char* gbk)
{
    if (!gbk || !gbk[0]) return 0;
    std::string in(gbk);
    std::vector<char> out(4 * in.size() + 4);
    return CBufHelper::conv_code("UCS-2", "GBK", out.data(), &in[0]);
}

int gsmSegments(int ucs2Bytes) { return ucs2Bytes / SMS_SEG_BYTES + (ucs2Bytes % SMS_SEG_BYTES ? 1 : 0); }

int gsmTpduLen(const char* pdu)
{
    int len = static_cast<int>(std::strlen(pdu));
    unsigned char first = 0;
    if (len >= 2) gsmString2Bytes(pdu, &first, 2);
    return len / 2 - (1 + first);
}

int gsmEncodePdu(const SM_PARAM* param, char* out)
{
    out[0] = 0;
    PduBytes p;
    PduHead(p, param, 0x11);
    p.Add(0x00);  // validity: 5 minutes
    std::string text = RecordText(param);
    int n = static_cast<int>(text.size());
    unsigned char ud[2 * sizeof param->TP_UD];
    int udl = 0, bytes = 0;
    if (param->TP_DCS == 0) {
        udl = n;
        bytes = gsmEncode7bit(text.c_str(), ud, n + 1);
    } else if (param->TP_DCS == 8) {
        udl = bytes = gsmEncodeUcs2(text.c_str(), ud, n);
    } else {
        udl = bytes = gsmEncode8bit(text.c_str(), ud, n);
    }
    if (udl > 255) return 0;
    p.Add(static_cast<unsigned char>(udl));
    p.Add(ud, bytes);
    return p.Text(out);
}

int gsmEncodePdul(const SM_PARAM* param, char* out, int total, int index, int ref)
{
    out[0] = 0;
    std::string text = RecordText(param);
    unsigned char ucs2[2 * sizeof param->TP_UD];
    int len = gsmEncodeUcs2(text.c_str(), ucs2, static_cast<int>(text.size()));
    if (total < 1 || index < 1 || index > total || len > SMS_UCS2_MAX) return 0;
    int start = (index - 1) * SMS_SEG_BYTES;
    int count = index < total ? SMS_SEG_BYTES : len - SMS_SEG_BYTES * (total - 1);
    if (count < 0 || count > SMS_SEG_BYTES || start + count > len) return 0;
    PduBytes p;
    PduHead(p, param, 0x51);
    p.Add(0x01);  // validity: 10 minutes
    p.Add(static_cast<unsigned char>(count + 6));
    const unsigned char udh[] = {0x05, 0x00, 0x03, static_cast<unsigned char>(ref), static_cast<unsigned char>(total),
                                 static_cast<unsigned char>(index)};
    p.Add(udh, sizeof udh);
    p.Add(ucs2 + start, count);
    return p.Text(out);
}

int gsmIntlNumber(const char* in, char* out)
{
    out[0] = 0;
    if (!in) return 0;
    if (in[0] == '+') ++in;
    size_t n = strnlen(in, SMS_NUM_MAX + 1);
    if (n == 0) return 0;
    bool has86 = std::strncmp(in, "86", 2) == 0;
    if (n + (has86 ? 0 : 2) > SMS_NUM_MAX) return 0;
    return std::snprintf(out, SMS_NUM_MAX + 1, "%s%s", has86 ? "" : "86", in);
}

int gsmScaFromReply(const char* reply, char* out)
{
    out[0] = 0;
    const char* tag = reply ? std::strstr(reply, "+CSCA") : nullptr;
    if (!tag) return 0;
    const char* q1 = std::strchr(tag, '"');
    const char* q2 = q1 ? std::strchr(q1 + 1, '"') : nullptr;
    if (!q2 || q2 == q1 + 1) return 0;
    const char* from = q1 + 1;
    if (q2 - from > SMS_SCA_KEEP) from = q2 - SMS_SCA_KEEP;
    std::string sca(from, q2);
    if (sca.compare(0, 2, "86") != 0) sca = "86" + sca;
    return std::snprintf(out, SMS_NUM_MAX + 1, "%s", sca.c_str());
}

int getRandom(int n)
{
    if (n == -1 || n == 0) return 0;
    std::srand(static_cast<unsigned>(SMNow()));
    return std::rand() % n;
}

int endSendSms(ISerBase* port)
{
    SMSleepMs(5000);
    SMAtReply r{};
    AtRead(port, r, AT_REPLY_MAX, 10000);
    trace_sm_log("RtLog", "[CSMAlmGsm::endSendSms] iread: %d, read=%s\n", r.n, r.text);
    if (r.n <= 0) {
        trace_sm_log("RtLog", "[CSMAlmGsm::endSendSms] Read Data Error\r\n");
        return 0;
    }
    if (!r.Has("OK")) {
        trace_sm_log("RtLog", "[CSMAlmGsm::endSendSms] Check Data Error: %s\r\n", r.text);
        SMAtReply e{};
        AtCmd(port, "AT+CMEE?\r", -1, 2500, e);
        return 2;
    }
    return 1;
}

int gsmSendSms(ISerBase* port, SM_PARAM* param, int crlf)
{
    if (!port || !param) return 0;
    std::string text = RecordText(param);
    int len = gsmUcs2Len(text.c_str());
    if (len > SMS_UCS2_MAX) return 0;
    int total = gsmSegments(len);
    bool single = len <= SMS_SEG_BYTES;
    int ref = single ? 0 : getRandom(256);
    if (single) total = 1;
    for (int index = 1; index <= total; ++index) {
        char pdu[SMS_PDU_TEXT];
        int n = single ? gsmEncodePdu(param, pdu) : gsmEncodePdul(param, pdu, total, index, ref);
        if (n <= 0) return 0;
        char cmd[32];
        std::snprintf(cmd, sizeof cmd, "AT+CMGS=%d\r", gsmTpduLen(pdu));
        port->WriteStr(cmd);
        SMSleepMs(500);
        SMAtReply r{};
        AtRead(port, r);
        if (r.n < 4 || std::memcmp(r.text, "\r\n> ", 4) != 0) {
            trace_sm_log("RtLog", single ? "[CSMAlmGsm::gsmSendSms] Read PDU Error\r\n"
                                         : "[CSMAlmGsm::gsmSendSms] Read TPDU Error\r\n");
            port->WriteStr("AT+CMEE=?");
            AtRead(port, r);
            return 0;
        }
        std::string body = std::string(pdu) + "\x1A" + (crlf == 1 ? "\r\n" : "");
        int w = port->WriteStr(body.c_str());
        SMSleepMs(1500);
        if (w <= 0) return 0;
        int res = endSendSms(port);
        if (single || res == 0 || res == 2 || index == total) return res;
        SMSleepMs(2500);
    }
    return 0;
}
