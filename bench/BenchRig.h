// What the poll benchmarks share: a Modbus device that answers at once, the definition of a
// definition-driven Modbus device of N points, a database that can record its statements,
// and the drivers set up as the host sets them up.
#ifndef QVSM_BENCH_BENCHRIG_H
#define QVSM_BENCH_BENCHRIG_H

#include <string>
#include <vector>

#include "base/BufHelper.h"
#include "generic/SMModbus.h"
#include "host/SqliteDb.h"

namespace bench {

// A Modbus device that answers every read request (RTU or TCP) at once: register n holds
// n + 7, coils alternate. The reply is built into a fixed buffer; nothing is allocated.
class InstantDevice : public ISerBase {
public:
    explicit InstantDevice(bool tcp) : m_tcp(tcp) {}
    unsigned int GetMode() override { return m_tcp ? QVSM_MODE_TCP : 0; }
    int Open(int) override { return 1; }
    int Close() override { return 1; }
    int IsOpen() override { return 1; }
    int GetHandle() override { return -1; }
    int SetTimeout(unsigned int, unsigned int) override { return 1; }
    int Purge() override { return 1; }
    int WriteStr(const char* t) override;
    int Write(const unsigned char* b, int len) override;
    int Read(unsigned char* buf, int cap, int) override;

private:
    bool m_tcp;
    unsigned char m_reply[300] = {};
    int m_len = 0;
};

// Blocks of 10 holding registers at 0, 100, 200, ...: points / 10 blocks, every fifth point
// signed and scaled by 0.1, every point with divisor 10, a brief naming points 1, 2, 50 and
// the last one.
std::string ModbusDefinition(int points);

// An in-memory SQLite database with the host's tables that can record the statements run. It
// runs statements as qvsm-host does (CSqliteDb, with its statement cache), or with
// QVSM_BENCH_TEXTS=1 in the environment every text through sqlite3_exec.
class BenchDb : public CSqliteDb {
public:
    BenchDb();
    int Exec(const char* sql) override;
    bool record = false;
    std::vector<std::string> statements;
};

// The driver loaded from ModbusDefinition(points) and set up for device SID 1 on port 1,
// address 1, as the host does at start-up.
struct ModbusRig {
    ModbusRig(int points, bool tcp, bool withDb);
    IDbBase* Db() { return withDb ? &db : nullptr; }
    bool withDb;
    BenchDb db;
    InstantDevice port;
    tagSMItem item{};
    CSMModbus drv{4608};
    std::vector<int> bits;
};

// Runs f with the standard output going nowhere (loading prints a settings line).
template <class F>
void Quiet(F f);
void QuietBegin(int& saved);
void QuietEnd(int saved);
template <class F>
void Quiet(F f)
{
    int saved = -1;
    QuietBegin(saved);
    f();
    QuietEnd(saved);
}

// One poll as the host runs it: DataGet, DataVal of every point, DataUpd, in one transaction
// when there is a database. false when the poll failed.
bool HostPoll(ModbusRig& r);

}  // namespace bench

#endif
