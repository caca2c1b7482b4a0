// Which received bytes are the reply to the request just sent. A reader keeps reading until a
// frame that belongs to the request arrives or the port's time-out passes; frames of other
// requests (a late reply of the previous device, a unit answering with another address) are
// dropped on the way.
#ifndef QVSM_BASE_SMREPLY_H
#define QVSM_BASE_SMREPLY_H

#include <qvsm/qvsm.h>

class CSMReplyRule {
public:
    enum { MORE = 0, SKIP = -1, REFUSED = -2 };
    virtual ~CSMReplyRule() = default;
    // For the bytes p[0..n): the length of the reply to the request when one starts at p
    // (> 0), MORE when one may start at p but bytes are missing, SKIP when none starts at p,
    // REFUSED when p starts the device's refusal of the request (a Modbus exception reply).
    // end: no more bytes will come (time-out or full buffer).
    virtual int Judge(const unsigned char* p, int n, bool end) const = 0;
    // Whether a reply may start after other bytes of the same read (false: only the first
    // byte of a read starts a reply; a read that does not start one is dropped whole).
    virtual bool Scan() const { return true; }
};

// Modbus RTU: address, then the function (function | 0x80 with a valid CRC: REFUSED). For a
// read (bytes >= 0) the byte count must be bytes and the frame 5 + bytes long; with len > 0
// the frame is len bytes; otherwise the frame is everything read, ending with its CRC.
class CSMRtuRule : public CSMReplyRule {
public:
    CSMRtuRule(int addr, int func, int bytes, int len = 0, bool crc = true)
        : m_addr(addr & 0xFF), m_func(func & 0xFF), m_bytes(bytes), m_len(len), m_crc(crc) {}
    int Judge(const unsigned char* p, int n, bool end) const override;

private:
    int m_addr, m_func, m_bytes, m_len;
    bool m_crc;
};

// Modbus TCP: transaction id, protocol 0, unit id and function; for a read (bytes >= 0) the
// length field 3 + bytes and the byte count bytes. The frame is 6 + the length field.
class CSMTcpRule : public CSMReplyRule {
public:
    CSMTcpRule(int transId, int unit, int func, int bytes)
        : m_tid(transId & 0xFFFF), m_unit(unit & 0xFF), m_func(func & 0xFF), m_bytes(bytes) {}
    int Judge(const unsigned char* p, int n, bool end) const override;

private:
    int m_tid, m_unit, m_func, m_bytes;
};

// YD/T 1363 text frames: SOI, the request's ADR as two upper-case hex characters at 3-4,
// up to EOI; one cut off by the next SOI is dropped. At the end of the input a frame without
// EOI is handed over as it is (the caller's checks judge it).
class CSMYdtRule : public CSMReplyRule {
public:
    CSMYdtRule(int adr, unsigned char soi = '~', unsigned char eoi = '\r')
        : m_adr(adr & 0xFF), m_soi(soi), m_eoi(eoi) {}
    int Judge(const unsigned char* p, int n, bool end) const override;

private:
    int m_adr;
    unsigned char m_soi, m_eoi;
};

// A frame of len bytes that starts with the head bytes (at most 8) the request expects back.
class CSMHeadRule : public CSMReplyRule {
public:
    CSMHeadRule(const unsigned char* head, int headLen, int len);
    int Judge(const unsigned char* p, int n, bool end) const override;

private:
    unsigned char m_head[8] = {};
    int m_headLen, m_len;
};

// Expected data bytes of a Modbus read reply: ceil(count / 8) for functions 1 and 2,
// 2 x count for 3 and 4; -1 for other functions.
int SMModbusBytes(int func, int count);

// Reads from port into rbuf (cap bytes) until rule accepts a frame, which is moved to the
// start of rbuf; the other bytes the reads brought are cleared (rbuf beyond them is kept).
// Returns its length, 0 when nothing belonging to the request came before the
// time-out, -1 for a refusal (REFUSED) or a port error. timeoutMs goes to every Read.
int SMReadReply(ISerBase* port, unsigned char* rbuf, int cap, const CSMReplyRule& rule, int timeoutMs = 0);

#endif
