// CSMNormal: devices with a byte-oriented command/reply protocol of their own, described by a
// definition file. Each request is built from the frame template [comm] SND, tokens split at
// single blanks:
//   hex digits (first character 0-9 or A-F)  the bytes as written, two digits each
//   adr          the device address, one byte
//   cmd / dat    the command code / the command data bytes (hex text)
//   len          one byte, set to the frame length once the frame is built
//   dlen         one byte, the number of command data bytes
//   crc/sum/xor  checksum of the bytes from [comm] chk0 up to here: CRC-16 (low byte first),
//                low byte of the byte sum, XOR of the bytes
// Keywords match on their first three letters ("dlen" on four); other tokens add nothing.
// A reply must carry the checksum of the same kind at the same distance from its end, and
// with [comm] chk bit 0 / bit 1 start / end with the request's first / last hex token; a
// frame whose byte at the template's "adr" place is not the device address is dropped.
// Its values start at [comm] dat0 and are cut by the command section's types (F: 4-byte
// float, least significant byte first, times dfac; I: 16-bit, high byte first; other: one
// byte; "-": a default-sized field skipped) into [vals] "<section><nn>", bits into
// "<section><nn>-<bit>".
//
// Tables tbNormal and tbNormalDat (Fld "V<key>"); the brief is expanded with state 0 and no
// alarm bits.
//
// Limits: a frame of more than 64 bytes is refused (the command or control is not sent); a
// dmax above the 256-byte reply buffer is refused (the poll fails at that command).
#ifndef QVSM_GENERIC_SMNORMAL_H
#define QVSM_GENERIC_SMNORMAL_H

#include <string>
#include <vector>

#include "generic/SMDefBase.h"

class CSMNormal : public CSMDefBase, public CSMReplyRule {
public:
    enum { REPLY_MAX = 256 };
    enum { CHK_NONE = 0, CHK_CRC = 1, CHK_SUM = 2, CHK_XOR = 3 };
    enum { CHK_BAD_HEAD = 16, CHK_BAD_TAIL = 32 };

    explicit CSMNormal(int type);
    ~CSMNormal() override;

    int UpdLoad() override;

    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    using CSMBase::DoFunc;

    // Builds the request of code cmd with data dat (hex texts) from the template into buf
    // (cap bytes) and records it with its lengths and checksum position for NormalChk.
    // Returns the frame length, or -1 when the frame would not fit in cap (the recorded
    // request is then empty, with no checksum and no head or tail).
    int NormalCmd(unsigned char* buf, int cap, int addr, const std::string& cmd, const std::string& dat);
    // 0 when the reply passes, else CHK_CRC/CHK_SUM/CHK_XOR (checksum of that kind wrong or
    // not within the reply), CHK_BAD_HEAD or CHK_BAD_TAIL. Checks against the last request.
    int NormalChk(const unsigned char* reply, int n) const;
    static int NormalVal(const unsigned char* p, const std::string& type, int fac);
    static int NormalSize(const std::string& type);
    // The reply to the last request (CSMReplyRule): the address byte where the template puts
    // "adr" equal to the request's, the head as sent when chk bit 0 is set, then the reply
    // is taken once NormalChk passes. Without a checked head a reply must start a read; with
    // one, bytes before it are dropped.
    int Judge(const unsigned char* p, int n, bool end) const override;
    bool Scan() const override { return (m_chk & 1) && m_headLen > 0; }
    int AdrAt() const { return m_adrAt; }
    // Whether a reply is checked at all (address, checksum, head or tail): then no reply that
    // passes is a failed command.
    bool Checked() const;
    // Stores the values of one reply of section under [vals].
    void ValsByDefault(const unsigned char* reply, int n, const std::string& section, const std::string& defType);

    int ReqLen() const { return m_reqLen; }
    int HeadLen() const { return m_headLen; }
    int TailLen() const { return m_tailLen; }
    int ChkKind() const { return m_chkKind; }
    int ChkTail() const { return m_chkTail; }

private:
    int Poll(ISerBase* port, int addr, int waitMs);

    std::vector<std::string> m_codes;  // [comm] cmds, read at load
    std::string m_dinfo = "I";
    int m_dmax = 200;
    std::string m_snd;
    std::string m_rcv;
    int m_chk = 0;
    int m_chk0 = 0;
    int m_dat0 = 0;

    int m_reqLen = 0;
    int m_adrAt = -1;  // offset of the address byte in the request, -1: none
    int m_headLen = 0;
    int m_tailLen = 0;
    short m_chkKind = CHK_NONE;
    short m_chkTail = 0;
    unsigned char m_req[CMD_SIZE] = {};  // the last request, for the head and tail checks
};

#endif
