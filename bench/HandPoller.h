// The hand-written poller the definition-driven Modbus driver is measured against: the same
// device (blocks of 10 holding registers at 0, 100, ...; every fifth value signed and times
// 0.1), the same request frames through the same port, the same rows written, with nothing
// read from a definition at run time. The rows go out as prepared statements or as the
// same statement texts the driver writes.
#ifndef QVSM_BENCH_HANDPOLLER_H
#define QVSM_BENCH_HANDPOLLER_H

#include <sqlite3.h>

#include <cstdint>
#include <vector>

#include "bench/BenchRig.h"

namespace bench {

class HandPoller {
public:
    enum DbMode { NO_DB, PREPARED, TEXTS };
    HandPoller(int points, bool tcp, DbMode mode);
    ~HandPoller();
    // One poll: the blocks, every value, the rows. false when a reply was not right.
    bool Poll();
    BenchDb db;

private:
    bool ReadBlock(int b);
    void WriteRows();
    int Brief(char* out, int cap) const;

    int m_points;
    bool m_tcp;
    DbMode m_mode;
    InstantDevice m_port;
    unsigned short m_trans = 1;
    std::vector<int32_t> m_val;
    std::vector<char> m_fld;  // "V4nnnn" of each point, 8 bytes apart
    sqlite3_stmt* m_st[5] = {};
    char m_sql[8196];
};

}  // namespace bench

#endif
