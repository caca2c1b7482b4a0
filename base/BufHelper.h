// Byte-order conversions, checksums, hex text and character-set conversion for frames.
// Plain names are most significant byte first; the suffix LH is least significant first.
#ifndef QVSM_BASE_BUFHELPER_H
#define QVSM_BASE_BUFHELPER_H

class CBufHelper {
public:
    static unsigned long dwFromBuf(const unsigned char* buf);
    static void dwToBuf(unsigned char* buf, unsigned long v);
    static unsigned long dwFromBufLH(const unsigned char* buf);
    static void dwToBufLH(unsigned char* buf, unsigned long v);
    static unsigned short wdFromBuf(const unsigned char* buf);
    static void wdToBuf(unsigned char* buf, unsigned short v);
    static unsigned short wdFromBufLH(const unsigned char* buf);
    static void wdToBufLH(unsigned char* buf, unsigned short v);
    // Float whose first byte is the low byte of the IEEE pattern.
    static float fvFromBuf(const unsigned char* buf);
    // Stores the pattern most significant byte first (not the inverse of fvFromBuf).
    static void fvToBuf(unsigned char* buf, float v);
    static int GetBitState(const unsigned char* buf, unsigned int len, unsigned int bit);

    // CRC-16/MODBUS over at most 255 bytes; stored low byte first in frames.
    static unsigned short crc16(const unsigned char* buf, unsigned char len);
    static unsigned short sum(const unsigned char* buf, int len);
    static unsigned char Xor(const unsigned char* buf, int len);

    static int ModBusCmd(unsigned char* buf, unsigned char addr, unsigned char func,
                         unsigned short reg, unsigned short count);
    static int ModBusCmdN(unsigned char* buf, unsigned char addr, unsigned char func,
                          unsigned short reg, unsigned short count, const unsigned char* data);

    // YD/T 1363 frames as text. YdCmd writes 2 * len + 18 characters and a NUL after them:
    // dst must hold 2 * len + 19 bytes (len <= 0 or a null info: 19).
    static int YdCmd(unsigned char* dst, unsigned char adr, unsigned char cid1, unsigned char cid2,
                     unsigned char ver, const unsigned char* info, int len);
    static int YdChk(const unsigned char* frame, int len);
    static int YdDatLen(const unsigned char* frame, int len);
    static int YdIdxF(unsigned char n, unsigned char bytes, unsigned char flag);
    static float YdDatF(const char* frame, unsigned char n, unsigned char bytes, unsigned char flag);

    static unsigned char ascii2hex(unsigned char c);
    static unsigned char hex2asciiHigh(unsigned char b);
    static unsigned char hex2asciiLow(unsigned char b);
    static unsigned long HexVal(const char* text, int n);
    static float HexValF(const char* text);
    // Pairs of hex digits among the first len characters (len <= 0: the whole text) to bytes.
    static int BufFromStr(unsigned char* buf, const char* text, int len);
    // Bytes to hex text, separated by sep (none when sep is 0); returns the length.
    static int BufToStr(char* out, const unsigned char* buf, int len, char sep);
    static int AsciiStr2HexStr(char* out, const char* text, int len);
    static int HexStr2AsciiStr(char* out, const char* data, int len, int sep);

    // iconv conversions. The output capacity is taken as 4 * len.
    static int conv_code(void* cd, char* out, char* in, int len);
    static int conv_code(const char* to, const char* from, char* out, char* in);
};

// CRC-16 length limit of a frame.
#define QVSM_CRC_MAX 255

#endif
