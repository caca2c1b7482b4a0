#include "bench/BenchRig.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

int InstantDevice::WriteStr(const char* t) { return static_cast<int>(std::strlen(t)); }

int InstantDevice::Write(const unsigned char* b, int len)
{
    const unsigned char* q = m_tcp ? b + 6 : b;  // unit id, function, start, count
    int fc = q[1], start = (q[2] << 8) | q[3], count = (q[4] << 8) | q[5];
    int head = 0;
    if (m_tcp) {
        std::memcpy(m_reply, b, 4);
        head = 6;
    }
    unsigned char* p = m_reply + head;
    p[0] = q[0];
    p[1] = static_cast<unsigned char>(fc);
    int bytes = fc <= 2 ? (count + 7) / 8 : 2 * count;
    p[2] = static_cast<unsigned char>(bytes);
    for (int i = 0; i < bytes; ++i) {
        int v = fc <= 2 ? 0x55 : (start + i / 2 + 7);
        p[3 + i] = static_cast<unsigned char>(fc <= 2 ? v : (i % 2 ? v & 0xFF : (v >> 8) & 0xFF));
    }
    m_len = head + 3 + bytes;
    if (m_tcp) {
        m_reply[4] = 0;
        m_reply[5] = static_cast<unsigned char>(3 + bytes);
    } else {
        unsigned short crc = CBufHelper::crc16(m_reply, static_cast<unsigned char>(m_len));
        m_reply[m_len++] = static_cast<unsigned char>(crc & 0xFF);
        m_reply[m_len++] = static_cast<unsigned char>(crc >> 8);
    }
    return len;
}

int InstantDevice::Read(unsigned char* buf, int cap, int)
{
    int n = m_len < cap ? m_len : cap;
    std::memcpy(buf, m_reply, static_cast<size_t>(n));
    m_len = 0;
    return n;
}

std::string ModbusDefinition(int points)
{
    char line[160];
    std::snprintf(line, sizeof line, "brief=U=%%1%%V %%1st%% I=%%2%% P=%%%d%% %%%dst%%\n", points < 50 ? points : 50,
                  points);
    std::string t = "[comm]\nnote=Bench\ndelay=0\ndelayv=0\n";
    t += line;
    t += "[regs3]\n";
    for (int b = 0; b < points / 10; ++b) t += std::to_string(b * 100) + "=10\n";
    t += "[flds]\ncnt=" + std::to_string(points) + "\n";
    for (int i = 0; i < points; ++i) {
        int reg = (i / 10) * 100 + i % 10 + 1;
        std::snprintf(line, sizeof line, "%d=4%04d\n", i + 1, reg);
        t += line;
        if (i % 5 == 0) {
            std::snprintf(line, sizeof line, "4%04d=S0.1\n", reg);
            t += line;
        }
    }
    t += "[flds.def]\n";
    for (int i = 1; i <= points; ++i) {
        std::snprintf(line, sizeof line, "%d='P%d',1,'Point %d',0,10,6,0,'min',30000,'max'\n", i, i, i);
        t += line;
    }
    return t;
}

void QuietBegin(int& saved)
{
    std::fflush(stdout);
    saved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, 1);
        close(null);
    }
}

void QuietEnd(int saved)
{
    std::fflush(stdout);
    if (saved >= 0) {
        dup2(saved, 1);
        close(saved);
    }
}

BenchDb::BenchDb()
{
    Open(":memory:");
    CreateHostTables();
    // QVSM_BENCH_TEXTS=1: every statement text through sqlite3_exec, without the host's cache.
    const char* texts = std::getenv("QVSM_BENCH_TEXTS");
    if (texts && std::strcmp(texts, "1") == 0) UseStmtCache(false);
}

int BenchDb::Exec(const char* sql)
{
    if (record) statements.emplace_back(sql);
    return CSqliteDb::Exec(sql);
}

ModbusRig::ModbusRig(int points, bool tcp, bool useDb) : withDb(useDb), port(tcp)
{
    item.SID = 1;
    item.Port = 1;
    item.Addr = 1;
    item.Type = 4608;
    item.Ser = &port;
    drv.Ini().LoadString(ModbusDefinition(points));
    Quiet([&] { drv.UpdLoad(); });
    drv.SetDb(Db(), 0);
    drv.RegDb(Db(), 0);
    if (withDb) {
        // The host's rows of the device.
        db.Exec("insert into tbSubSysDetail(SIDD,type,Name,sid,Fld,State) values(1,4608,'Bench',1,0,-1)");
    }
    drv.DoItem(&item, 0);
    drv.ChkDb(&item);
    bits.assign(static_cast<size_t>(drv.DataSize() / 32 + 1), 0);
}

bool HostPoll(ModbusRig& r)
{
    if (r.withDb) r.db.Begin();
    bool ok = r.drv.DataGet(&r.port, 1, 0) != 0;
    long sum = 0;
    const int n = r.drv.DataSize();
    for (int i = 1; i <= n; ++i) sum += r.drv.DataVal(i);
    r.drv.DataUpd(0, r.bits.data(), nullptr, -1, nullptr);
    if (r.withDb) r.db.Commit();
    return ok && sum != -1;
}

}  // namespace bench
