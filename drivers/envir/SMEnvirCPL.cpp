#include "drivers/envir/SMEnvirCPL.h"

#include <cstring>

namespace {
// Reply AA addr 81 02 lock pow sum 55: lock 1 raised, 0 lowered; pow battery in percent.
const EnvirPoint kPoints[] = {
    {"Lock", "车位锁", 1, EV_NOCHK, 0, 0, ""},
    {"Pow", "电量", 1, EV_ANALOG, 20, 100, "%"},
};
enum : unsigned char { HEAD = 0xAA, TAIL = 0x55, CMD_QUERY = 0x01, CMD_SET = 0x02, REPLY_BIT = 0x80 };

unsigned char Sum(const unsigned char* b, int n)
{
    return static_cast<unsigned char>(CBufHelper::sum(b, n) & 0xFF);
}
}  // namespace

CSMEnvirCPL::CSMEnvirCPL() : CSMEnvirBase(1310, {"QV-TH485", "车位锁", "tbEnvirCPL", {0, 0, 0}}, kPoints, 2) {}

int CSMEnvirCPL::FramePack(unsigned char* buf, unsigned char addr, unsigned char cmd, const unsigned char* data,
                           int len)
{
    if (!buf || len < 0 || (len > 0 && !data) || 6 + len > CMD_SIZE) return 0;
    buf[0] = HEAD;
    buf[1] = addr;
    buf[2] = cmd;
    buf[3] = static_cast<unsigned char>(len);
    if (len) std::memcpy(buf + 4, data, static_cast<size_t>(len));
    buf[4 + len] = Sum(buf + 1, 3 + len);
    buf[5 + len] = TAIL;
    return 6 + len;
}

int CSMEnvirCPL::Transact(ISerBase* port, int addr, unsigned char cmd, const unsigned char* data, int len,
                          int waitMs, unsigned char* out, int cap)
{
    unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    int flen = FramePack(m_cmdBuf, a, cmd, data, len);
    if (flen == 0) return -1;
    unsigned char r[REPLY_BUF];
    int n = Exchange(port, m_cmdBuf, flen, ReplyPauseUs(waitMs, DEFAULT_PAUSE_MS), r, REPLY_BUF);
    if (n < 6 || r[0] != HEAD || r[n - 1] != TAIL || r[1] != a || r[2] != (cmd | REPLY_BIT)) return -1;
    int dlen = r[3];
    if (n != 6 + dlen || dlen > cap || Sum(r + 1, 3 + dlen) != r[4 + dlen]) return -1;
    std::memcpy(out, r + 4, static_cast<size_t>(dlen));
    return dlen;
}

int CSMEnvirCPL::Poll(ISerBase* port, int addr, int waitMs, int* v)
{
    unsigned char d[8];
    if (Transact(port, addr, CMD_QUERY, nullptr, 0, waitMs, d, sizeof d) != 2) return 0;
    v[0] = d[0];
    v[1] = d[1];
    return 1;
}

int CSMEnvirCPL::DoFunc(ISerBase* port, int addr, int cmd, void*, int)
{
    if (cmd != CMD_RAISE && cmd != CMD_LOWER) return 0;
    const unsigned char set = cmd == CMD_RAISE ? 1 : 0;
    unsigned char d[8];
    // The lock answers with one byte, 0 when it accepted the command.
    if (Transact(port, addr, CMD_SET, &set, 1, 0, d, sizeof d) != 1) return 0;
    return d[0] == 0 ? 1 : 0;
}
