#include "base/TeFrame.h"

#include <cstring>

#include "base/BufHelper.h"

unsigned char TE_Ascii2Hex(unsigned char c) { return CBufHelper::ascii2hex(c); }
unsigned char TE_Hex2AsciiHigh(unsigned char b) { return CBufHelper::hex2asciiHigh(b); }
unsigned char TE_Hex2AsciiLow(unsigned char b) { return CBufHelper::hex2asciiLow(b); }

unsigned short TE_GetChkLength(unsigned short lenid)
{
    lenid &= 0x0FFF;
    unsigned int s = (lenid & 0xF) + ((lenid >> 4) & 0xF) + ((lenid >> 8) & 0xF);
    unsigned int chk = (~s + 1) & 0xF;
    return static_cast<unsigned short>((chk << 12) | lenid);
}

namespace {
void PutHex(unsigned char* p, unsigned char b)
{
    p[0] = TE_Hex2AsciiHigh(b);
    p[1] = TE_Hex2AsciiLow(b);
}

unsigned int FrameSum(const unsigned char* frame, int from, int to)
{
    unsigned int s = 0;
    for (int i = from; i <= to; ++i) s += frame[i];
    return (~s + 1) & 0xFFFF;
}

bool HasSpace(const unsigned char* t, unsigned int n)
{
    for (unsigned int i = 0; i < n; ++i)
        if (t[i] == ' ') return true;
    return false;
}

unsigned int HexN(const unsigned char* t, unsigned int n)
{
    unsigned int v = 0;
    for (unsigned int i = 0; i < n; ++i) v = (v << 4) | TE_Ascii2Hex(t[i]);
    return v;
}
}  // namespace

int TE_CmdPack(unsigned char* buf, unsigned char ver, unsigned char cid1, unsigned char cid2, unsigned char adr,
               const unsigned char* info, int infoLen, unsigned char soi, unsigned char eoi)
{
    if (!buf) return 0;
    int n = (info && infoLen > 0) ? infoLen % 4096 : 0;
    buf[0] = soi;
    PutHex(buf + 1, ver);
    PutHex(buf + 3, adr);
    PutHex(buf + 5, cid1);
    PutHex(buf + 7, cid2);
    unsigned short length = TE_GetChkLength(static_cast<unsigned short>((2 * n) & 0xFFF));
    PutHex(buf + 9, static_cast<unsigned char>(length >> 8));
    PutHex(buf + 11, static_cast<unsigned char>(length));
    for (int i = 0; i < n; ++i) PutHex(buf + 13 + 2 * i, info[i]);
    unsigned int chk = FrameSum(buf, 1, 12 + 2 * n);
    PutHex(buf + 13 + 2 * n, static_cast<unsigned char>(chk >> 8));
    PutHex(buf + 15 + 2 * n, static_cast<unsigned char>(chk));
    buf[17 + 2 * n] = eoi;
    return 2 * n + 18;
}

int TE_GetChkSum(const unsigned char* frame, unsigned short len)
{
    if (!frame || len < 6) return 0;
    unsigned int chk = FrameSum(frame, 1, len - 6);
    unsigned char want[4];
    PutHex(want, static_cast<unsigned char>(chk >> 8));
    PutHex(want + 2, static_cast<unsigned char>(chk));
    return std::memcmp(want, frame + len - 5, 4) == 0 ? 1 : 0;
}

int TE_GetChkPack(const unsigned char* frame, int len)
{
    if (!frame) return 0;
    for (int i = 0; i < len; ++i) {
        unsigned char c = frame[i];
        bool ok = c == '~' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '\r' || c == ' ';
        if (!ok) return 0;
    }
    return 1;
}

unsigned char TE_Ascii2uint8(const unsigned char* text, unsigned int n)
{
    if (!text || n != 2 || HasSpace(text, n)) return 0;
    return static_cast<unsigned char>(HexN(text, 2));
}

unsigned short TE_Ascii2uint16(const unsigned char* text, unsigned int n)
{
    if (!text || n != 4 || HasSpace(text, n)) return 0;
    return static_cast<unsigned short>(HexN(text, 4));
}

unsigned int TE_Ascii2uint32(const unsigned char* text, unsigned int n)
{
    if (!text || n != 8 || HasSpace(text, n)) return 0;
    return HexN(text, 8);
}

float TE_Ascii2float(const unsigned char* text, unsigned int n)
{
    if (!text || n != 8 || HasSpace(text, n)) return 0.0f;
    unsigned int bits = (HexN(text + 6, 2) << 24) | (HexN(text + 4, 2) << 16) | (HexN(text + 2, 2) << 8) | HexN(text, 2);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

double TE_Ascii2double(const unsigned char* text, unsigned int n) { return TE_Ascii2float(text, n); }
