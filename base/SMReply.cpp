#include "base/SMReply.h"

#include <cstring>

#include "base/BufHelper.h"

namespace {
// Upper bound on the reads of one reply: every read but the last brings bytes, so a talkative
// line cannot hold the poll much longer than a few time-outs.
const int kReadMax = 8;

bool CrcOk(const unsigned char* p, int len)
{
    if (len < 5 || len - 2 > QVSM_CRC_MAX) return false;
    return CBufHelper::crc16(p, static_cast<unsigned char>(len - 2)) == CBufHelper::wdFromBufLH(p + len - 2);
}

int Need(int n, int len, bool end) { return n < len ? (end ? CSMReplyRule::SKIP : CSMReplyRule::MORE) : len; }

char Hex(int v) { return "0123456789ABCDEF"[v & 0xF]; }
}  // namespace

int SMModbusBytes(int func, int count)
{
    if (func == 1 || func == 2) return (count + 7) / 8;
    if (func == 3 || func == 4) return 2 * count;
    return -1;
}

int CSMRtuRule::Judge(const unsigned char* p, int n, bool end) const
{
    if (n < 1) return end ? SKIP : MORE;
    if (p[0] != m_addr) return SKIP;
    if (n < 2) return end ? SKIP : MORE;
    if (p[1] == (m_func | 0x80)) {
        if (Need(n, 5, end) != 5) return Need(n, 5, end);
        return (!m_crc || CrcOk(p, 5)) ? REFUSED : SKIP;
    }
    if (p[1] != m_func) return SKIP;
    int len = m_len;
    if (m_bytes >= 0) {
        if (m_bytes > 0xFF) return SKIP;
        if (n < 3) return end ? SKIP : MORE;
        if (p[2] != m_bytes) return SKIP;
        len = 5 + m_bytes;
    }
    if (len > 0) {
        int r = Need(n, len, end);
        if (r <= 0) return r;
        return (!m_crc || CrcOk(p, len)) ? len : SKIP;
    }
    // Length unknown: the frame is what was read, with its CRC at the end.
    if (!m_crc) return n >= 5 ? n : (end ? SKIP : MORE);
    if (CrcOk(p, n)) return n;
    return end ? SKIP : MORE;
}

int CSMTcpRule::Judge(const unsigned char* p, int n, bool end) const
{
    // Transaction id, protocol 0 and unit, as far as they have arrived.
    if (n < 8) {
        if ((n >= 2 && (p[0] << 8 | p[1]) != m_tid) || (n >= 4 && (p[2] | p[3]) != 0) || (n >= 7 && p[6] != m_unit))
            return SKIP;
        return end ? SKIP : MORE;
    }
    if ((p[0] << 8 | p[1]) != m_tid || (p[2] | p[3]) != 0 || p[6] != m_unit) return SKIP;
    int field = p[4] << 8 | p[5];
    if (p[7] == (m_func | 0x80)) {
        if (field != 3) return SKIP;
        int r = Need(n, 9, end);
        return r == 9 ? REFUSED : r;
    }
    if (p[7] != m_func || field < 2 || field > 254) return SKIP;
    if (m_bytes >= 0) {
        if (field != 3 + m_bytes) return SKIP;
        if (n >= 9 && p[8] != m_bytes) return SKIP;
    }
    return Need(n, 6 + field, end);
}

int CSMYdtRule::Judge(const unsigned char* p, int n, bool end) const
{
    if (n < 1) return end ? SKIP : MORE;
    if (p[0] != m_soi) return SKIP;
    for (int i = 1; i < 5; ++i) {
        if (i >= n) return end ? n : MORE;
        if (i == 3 && p[3] != Hex(m_adr >> 4)) return SKIP;
        if (i == 4 && p[4] != Hex(m_adr)) return SKIP;
    }
    for (int i = 1; i < n; ++i) {
        if (p[i] == m_eoi) return i + 1;
        if (p[i] == m_soi) return SKIP;  // cut off: another frame starts
    }
    return end ? n : MORE;
}

CSMHeadRule::CSMHeadRule(const unsigned char* head, int headLen, int len)
    : m_headLen(headLen < 0 || !head ? 0 : headLen > 8 ? 8 : headLen), m_len(len)
{
    if (m_headLen) std::memcpy(m_head, head, static_cast<size_t>(m_headLen));
}

int CSMHeadRule::Judge(const unsigned char* p, int n, bool end) const
{
    for (int i = 0; i < m_headLen; ++i) {
        if (i >= n) return end ? SKIP : MORE;
        if (p[i] != m_head[i]) return SKIP;
    }
    return m_len > 0 ? Need(n, m_len, end) : SKIP;
}

int SMReadReply(ISerBase* port, unsigned char* rbuf, int cap, const CSMReplyRule& rule, int timeoutMs)
{
    if (!port || !rbuf || cap < 1) return -1;
    int n = 0, top = 0;  // top: bytes of rbuf the reads have written
    int got = port->Read(rbuf, cap, timeoutMs);
    if (got > 0) {
        // The usual case: the reply at the start of the first read.
        int k = got > cap ? cap : got;
        int r = rule.Judge(rbuf, k, false);
        if (r > 0) {
            if (r > k) r = k;
            if (k > r) std::memset(rbuf + r, 0, static_cast<size_t>(k - r));
            return r;
        }
    }
    for (int reads = 0; reads < kReadMax; ++reads) {
        if (reads > 0) got = n < cap ? port->Read(rbuf + n, cap - n, timeoutMs) : 0;
        if (got < 0 && n == 0) return -1;
        if (got > cap - n) got = cap - n;
        if (got > 0) n += got;
        if (n > top) top = n;
        bool end = got <= 0 || reads + 1 == kReadMax;
        for (int pass = 0; pass < 2; ++pass) {
            int keep = n;  // bytes from here on may still start the reply
            for (int o = 0; o < n; ++o) {
                if (o > 0 && !rule.Scan()) break;
                int r = rule.Judge(rbuf + o, n - o, end);
                if (r == CSMReplyRule::REFUSED) return -1;
                if (r > 0) {
                    if (r > n - o) r = n - o;
                    if (o > 0) std::memmove(rbuf, rbuf + o, static_cast<size_t>(r));
                    std::memset(rbuf + r, 0, static_cast<size_t>(top - r));
                    return r;
                }
                if (r == CSMReplyRule::MORE) {
                    keep = o;
                    break;
                }
            }
            if (keep > 0) std::memmove(rbuf, rbuf + keep, static_cast<size_t>(n - keep));
            n -= keep;
            // A full buffer that may still start the reply: judge it as it stands.
            if (n < cap || end) break;
            end = true;
        }
        if (end) return 0;
    }
    return 0;
}
