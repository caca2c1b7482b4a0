#include "drivers/envir/SMEnvirCPL.h"

namespace {
// This frame layout is our own assumption for the lock controller: AA addr cmd len data sum 55,
// sum the low byte of the byte sum of addr..data. Query AA addr 01 00 sum 55; reply
// AA addr 81 02 lock pow sum 55: lock 1 raised, 0 lowered; pow battery in percent.
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

int CSMEnvirCPL::Poll(ISerBase* port, int addr, int waitMs, int* v)
{
    unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    unsigned char* q = m_cmdBuf;
    q[0] = HEAD;
    q[1] = a;
    q[2] = CMD_QUERY;
    q[3] = 0;
    q[4] = Sum(q + 1, 3);
    q[5] = TAIL;
    unsigned char r[REPLY_BUF];
    const unsigned char head[] = {HEAD, a, CMD_QUERY | REPLY_BIT, DATA_LEN};
    int n = Exchange(port, q, 6, ReplyPauseUs(waitMs, DEFAULT_PAUSE_MS), r, REPLY_BUF,
                     CSMHeadRule(head, sizeof head, 6 + DATA_LEN));
    if (n != 6 + DATA_LEN || r[0] != HEAD || r[n - 1] != TAIL || r[1] != a || r[2] != (CMD_QUERY | REPLY_BIT) ||
        r[3] != DATA_LEN || Sum(r + 1, 3 + DATA_LEN) != r[4 + DATA_LEN])
        return 0;
    v[0] = r[4];
    v[1] = r[5];
    return 1;
}
