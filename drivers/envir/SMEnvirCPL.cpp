#include "drivers/envir/SMEnvirCPL.h"

#include <cstring>

namespace {
// This frame layout is our own assumption for the lock controller. Query AA addr 01 00 sum 55;
// reply AA addr 81 02 lock pow sum 55: lock 1 raised, 0 lowered; pow battery in percent.
const EnvirPoint kPoints[] = {
    {"Lock", "车位锁", 1, EV_NOCHK, 0, 0, ""},
    {"Pow", "电量", 1, EV_ANALOG, 20, 100, "%"},
};
enum : unsigned char { HEAD = 0xAA, TAIL = 0x55, CMD_QUERY = 0x01, REPLY_BIT = 0x80, DATA_LEN = 2 };

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

int CSMEnvirCPL::Poll(ISerBase* port, int addr, int waitMs, int* v)
{
    unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    int flen = FramePack(m_cmdBuf, a, CMD_QUERY, nullptr, 0);
    unsigned char r[REPLY_BUF];
    int n = Exchange(port, m_cmdBuf, flen, ReplyPauseUs(waitMs, DEFAULT_PAUSE_MS), r, REPLY_BUF);
    if (n != 6 + DATA_LEN || r[0] != HEAD || r[n - 1] != TAIL || r[1] != a || r[2] != (CMD_QUERY | REPLY_BIT) ||
        r[3] != DATA_LEN || Sum(r + 1, 3 + DATA_LEN) != r[4 + DATA_LEN])
        return 0;
    v[0] = r[4];
    v[1] = r[5];
    return 1;
}
