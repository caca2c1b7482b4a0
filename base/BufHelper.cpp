#include "base/BufHelper.h"

#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <strings.h>

#include "base/SMLog.h"

unsigned long CBufHelper::dwFromBuf(const unsigned char* b)
{
    return (static_cast<unsigned long>(b[0]) << 24) | (static_cast<unsigned long>(b[1]) << 16) |
           (static_cast<unsigned long>(b[2]) << 8) | b[3];
}

void CBufHelper::dwToBuf(unsigned char* b, unsigned long v)
{
    b[0] = static_cast<unsigned char>(v >> 24);
    b[1] = static_cast<unsigned char>(v >> 16);
    b[2] = static_cast<unsigned char>(v >> 8);
    b[3] = static_cast<unsigned char>(v);
}

unsigned long CBufHelper::dwFromBufLH(const unsigned char* b)
{
    return (static_cast<unsigned long>(b[3]) << 24) | (static_cast<unsigned long>(b[2]) << 16) |
           (static_cast<unsigned long>(b[1]) << 8) | b[0];
}

void CBufHelper::dwToBufLH(unsigned char* b, unsigned long v)
{
    b[3] = static_cast<unsigned char>(v >> 24);
    b[2] = static_cast<unsigned char>(v >> 16);
    b[1] = static_cast<unsigned char>(v >> 8);
    b[0] = static_cast<unsigned char>(v);
}

unsigned short CBufHelper::wdFromBuf(const unsigned char* b) { return static_cast<unsigned short>((b[0] << 8) | b[1]); }

void CBufHelper::wdToBuf(unsigned char* b, unsigned short v)
{
    b[0] = static_cast<unsigned char>(v >> 8);
    b[1] = static_cast<unsigned char>(v);
}

unsigned short CBufHelper::wdFromBufLH(const unsigned char* b) { return static_cast<unsigned short>((b[1] << 8) | b[0]); }

void CBufHelper::wdToBufLH(unsigned char* b, unsigned short v)
{
    b[1] = static_cast<unsigned char>(v >> 8);
    b[0] = static_cast<unsigned char>(v);
}

float CBufHelper::fvFromBuf(const unsigned char* b)
{
    unsigned int bits = static_cast<unsigned int>(dwFromBufLH(b));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void CBufHelper::fvToBuf(unsigned char* b, float v)
{
    unsigned int bits;
    std::memcpy(&bits, &v, sizeof bits);
    dwToBuf(b, bits);
}

int CBufHelper::GetBitState(const unsigned char* buf, unsigned int len, unsigned int bit)
{
    if (!buf || bit / 8 >= len) return 0;
    return (buf[bit / 8] >> (bit % 8)) & 1;
}

unsigned short CBufHelper::crc16(const unsigned char* buf, unsigned char len)
{
    unsigned short crc = 0xFFFF;
    for (unsigned int i = 0; i < len; ++i) {
        crc ^= buf[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<unsigned short>((crc >> 1) ^ 0xA001) : static_cast<unsigned short>(crc >> 1);
    }
    return crc;
}

unsigned short CBufHelper::sum(const unsigned char* buf, int len)
{
    unsigned int s = 0;
    for (int i = 0; i < len; ++i) s += buf[i];
    return static_cast<unsigned short>(s);
}

unsigned char CBufHelper::Xor(const unsigned char* buf, int len)
{
    unsigned char x = 0;
    for (int i = 0; i < len; ++i) x ^= buf[i];
    return x;
}

int CBufHelper::ModBusCmd(unsigned char* buf, unsigned char addr, unsigned char func, unsigned short reg,
                          unsigned short count)
{
    buf[0] = addr;
    buf[1] = func;
    wdToBuf(buf + 2, reg);
    wdToBuf(buf + 4, count);
    wdToBufLH(buf + 6, crc16(buf, 6));
    return 8;
}

int CBufHelper::ModBusCmdN(unsigned char* buf, unsigned char addr, unsigned char func, unsigned short reg,
                           unsigned short count, const unsigned char* data)
{
    if (!buf) return 0;
    if ((func == 15 || func == 16) && !data) count = 0;
    int n = 0;
    buf[n++] = addr;
    buf[n++] = func;
    wdToBuf(buf + n, reg);
    n += 2;
    wdToBuf(buf + n, count);
    n += 2;
    int bytes = -1;
    if (func == 15) bytes = (count + 7) / 8;
    if (func == 16) bytes = 2 * count;
    if (bytes >= 0) {
        buf[n++] = static_cast<unsigned char>(bytes);
        if (bytes > 0) std::memcpy(buf + n, data, static_cast<size_t>(bytes));
        n += bytes;
    }
    wdToBufLH(buf + n, crc16(buf, static_cast<unsigned char>(n)));
    return n + 2;
}

namespace {
unsigned int LenChk(unsigned int lenid)
{
    unsigned int s = (lenid & 0xF) + ((lenid >> 4) & 0xF) + ((lenid >> 8) & 0xF);
    return (~s + 1) & 0xF;
}

// Two's complement of the character sum, modulo 65536.
unsigned int CharSum(const unsigned char* p, int n)
{
    unsigned int s = 0;
    for (int i = 0; i < n; ++i) s += p[i];
    return (~s + 1) & 0xFFFF;
}

bool IsHexChar(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
}  // namespace

int CBufHelper::YdCmd(unsigned char* dst, unsigned char adr, unsigned char cid1, unsigned char cid2, unsigned char ver,
                      const unsigned char* info, int len)
{
    if (!info || len < 0) len = 0;
    unsigned int lenid = static_cast<unsigned int>(2 * (len % 2048)) & 0xFFF;
    unsigned int length = len ? (LenChk(lenid) << 12) + lenid : 0;
    char* d = reinterpret_cast<char*>(dst);
    int n = std::sprintf(d, "~%02X%02X%02X%02X%04X", ver, adr, cid1, cid2, length);
    for (int i = 0; i < len; ++i) n += std::sprintf(d + n, "%02X", info[i]);
    n += std::sprintf(d + n, "%04X\r", CharSum(dst + 1, n - 1));
    return n;
}

int CBufHelper::YdChk(const unsigned char* frame, int len)
{
    if (!frame || len < 18) return 1;
    if (frame[0] != '~') return 2;
    int flen = len;
    for (int i = 1; i < len; ++i) {
        if (frame[i] == '\r') {
            flen = i + 1;
            break;
        }
        if (!IsHexChar(frame[i])) return 3;
    }
    if (flen < 18) return 4;
    unsigned int length = static_cast<unsigned int>(HexVal(reinterpret_cast<const char*>(frame) + 9, 4));
    unsigned int lenid = length & 0xFFF;
    if (static_cast<int>(lenid) != flen - 18) return 5;
    if ((length >> 12) != LenChk(lenid)) return 6;
    unsigned int chk = CharSum(frame + 1, flen - 6);
    unsigned int got = static_cast<unsigned int>(HexVal(reinterpret_cast<const char*>(frame) + flen - 5, 4));
    return chk == got ? 0 : 7;
}

int CBufHelper::YdDatLen(const unsigned char* frame, int len)
{
    if (!frame || len < 18) return -1;
    return static_cast<int>(HexVal(reinterpret_cast<const char*>(frame) + 9, 4) & 0xFFF);
}

int CBufHelper::YdIdxF(unsigned char n, unsigned char bytes, unsigned char flag)
{
    int start = flag ? 15 : 13;
    int nn = n;
    if (nn <= bytes) nn = bytes + 1;
    return start + 2 * (bytes + 4 * (nn - bytes - 1));
}

float CBufHelper::YdDatF(const char* frame, unsigned char n, unsigned char bytes, unsigned char flag)
{
    return HexValF(frame + YdIdxF(n, bytes, flag));
}

unsigned char CBufHelper::ascii2hex(unsigned char c)
{
    if (c >= '0' && c <= '9') return static_cast<unsigned char>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned char>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned char>(c - 'a' + 10);
    return 0;
}

unsigned char CBufHelper::hex2asciiHigh(unsigned char b) { return static_cast<unsigned char>("0123456789ABCDEF"[b >> 4]); }
unsigned char CBufHelper::hex2asciiLow(unsigned char b) { return static_cast<unsigned char>("0123456789ABCDEF"[b & 0xF]); }

unsigned long CBufHelper::HexVal(const char* text, int n)
{
    unsigned long v = 0;
    for (int i = 0; text && i < n && text[i]; ++i) v = (v << 4) | ascii2hex(static_cast<unsigned char>(text[i]));
    return v;
}

float CBufHelper::HexValF(const char* text)
{
    // Stops at a NUL like HexVal: the bytes after it stay 0 and nothing past it is read.
    unsigned char b[4] = {0, 0, 0, 0};
    for (int i = 0; text && i < 4; ++i) {
        b[i] = static_cast<unsigned char>(HexVal(text + 2 * i, 2));
        if (!text[2 * i] || !text[2 * i + 1]) break;
    }
    return fvFromBuf(b);
}

int CBufHelper::BufFromStr(unsigned char* buf, const char* text, int len)
{
    if (!text || !buf) return 0;
    int chars = len > 0 ? len : static_cast<int>(std::strlen(text));
    int n = 0;
    for (int i = 0; i + 1 < chars && text[i] && text[i + 1]; i += 2)
        buf[n++] = static_cast<unsigned char>((ascii2hex(static_cast<unsigned char>(text[i])) << 4) |
                                              ascii2hex(static_cast<unsigned char>(text[i + 1])));
    return n;
}

int CBufHelper::BufToStr(char* out, const unsigned char* buf, int len, char sep)
{
    if (!out) return -1;
    int n = 0;
    for (int i = 0; buf && i < len; ++i) {
        out[n++] = static_cast<char>(hex2asciiHigh(buf[i]));
        out[n++] = static_cast<char>(hex2asciiLow(buf[i]));
        if (sep && i + 1 < len) out[n++] = sep;
    }
    out[n] = 0;
    return n;
}

int CBufHelper::AsciiStr2HexStr(char* out, const char* text, int len)
{
    if (!out || !text) return -1;
    int n = 0;
    unsigned char cur = 0;
    for (int i = 0; i < len && text[i]; ++i) {
        if (text[i] == ' ') {
            out[n++] = static_cast<char>(cur);
            cur = 0;
        } else {
            cur = static_cast<unsigned char>((cur << 4) | ascii2hex(static_cast<unsigned char>(text[i])));
        }
    }
    out[n++] = static_cast<char>(cur);
    out[n] = 0;
    return n;
}

int CBufHelper::HexStr2AsciiStr(char* out, const char* data, int len, int sep)
{
    if (!out || !data) return -1;
    int n = 0;
    for (int i = 0; i < len; ++i) {
        unsigned char b = static_cast<unsigned char>(data[i]);
        out[n++] = static_cast<char>(hex2asciiHigh(b));
        out[n++] = static_cast<char>(hex2asciiLow(b));
        if (sep >= 1) out[n++] = static_cast<char>(sep);
    }
    if (sep >= 1 && n > 0) --n;  // the last separator becomes the end
    out[n] = 0;
    return n;
}

int CBufHelper::conv_code(void* cd, char* out, char* in, int len)
{
    if (!out || !in || len < 0) return 0;
    if (cd == reinterpret_cast<void*>(-1)) {
        std::memcpy(out, in, static_cast<size_t>(len));
        return len;
    }
    char* pin = in;
    size_t inLeft = static_cast<size_t>(len);
    char* pout = out;
    size_t cap = static_cast<size_t>(len) * 4;
    size_t outLeft = cap;
    iconv(static_cast<iconv_t>(cd), &pin, &inLeft, &pout, &outLeft);
    return static_cast<int>(cap - outLeft);
}

namespace {
// A board without this converter passes texts unconverted: say so once per pair.
void NoConverter(const char* to, const char* from)
{
    static std::mutex lock;
    static std::set<std::string> told;
    std::string pair = std::string(from) + " -> " + to;
    {
        std::lock_guard<std::mutex> g(lock);
        if (!told.insert(pair).second) return;
    }
    trace_sm_log("RtLog", "[CBufHelper::conv_code] no converter %s, texts pass unconverted\r\n", pair.c_str());
}
}  // namespace

int CBufHelper::conv_code(const char* to, const char* from, char* out, char* in)
{
    if (!in || !out || !to || !from) return 0;
    // "UCS-2" means big-endian (libiconv); the C library's iconv would use the host order.
    if (strcasecmp(to, "UCS-2") == 0) to = "UCS-2BE";
    if (strcasecmp(from, "UCS-2") == 0) from = "UCS-2BE";
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) NoConverter(to, from);
    int n = conv_code(reinterpret_cast<void*>(cd), out, in, static_cast<int>(std::strlen(in)));
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return n;
}
