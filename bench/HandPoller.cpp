#include "bench/HandPoller.h"

#include <cstdio>
#include <cstring>

namespace bench {
namespace {

const char* const kPrepared[] = {
    "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=?1 where sid=?2 and type=?3",
    "update tbModbus set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=?1,SnapID=?2 where sid=?3",
    "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),St=?1,Brief=?2 where sid=?3",
    "delete from tbModbusDat where SID=?1",
    "insert into tbModbusDat(DID,SID,Fld,Val) values(0,?1,?2,?3)",
};

unsigned short Crc(const unsigned char* p, int n)
{
    unsigned short crc = 0xFFFF;
    for (int i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? static_cast<unsigned short>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

}  // namespace

HandPoller::HandPoller(int points, bool tcp, DbMode mode)
    : m_points(points), m_tcp(tcp), m_mode(mode), m_port(tcp), m_val(static_cast<size_t>(points)),
      m_fld(static_cast<size_t>(points) * 8)
{
    for (int i = 0; i < points; ++i) {
        char f[24];
        std::snprintf(f, sizeof f, "V4%04d", ((i / 10) * 100 + i % 10 + 1) % 10000);
        std::memcpy(&m_fld[static_cast<size_t>(i) * 8], f, 7);
    }
    db.Exec("create table tbModbus(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,Addr INTEGER,"
            "DateUpd DATETIME,State INTEGER,SnapID INTEGER)");
    db.Exec("create table tbModbusDat(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,Fld VARCHAR(64),Val INTEGER)");
    db.Exec("insert into tbModbus(SID,Type,Port,Addr,DateUpd,State) values(1,4608,1,1,datetime(CURRENT_TIMESTAMP,'localtime'),-1)");
    db.Exec("insert into tbSMBrief(SID,LastUpd) values(1,datetime(CURRENT_TIMESTAMP,'localtime'))");
    db.Exec("insert into tbSubSysDetail(SIDD,type,Name,sid,Fld,State) values(1,4608,'Bench',1,0,-1)");
    if (mode == PREPARED)
        for (int i = 0; i < 5; ++i) sqlite3_prepare_v2(db.Handle(), kPrepared[i], -1, &m_st[i], nullptr);
}

HandPoller::~HandPoller()
{
    for (sqlite3_stmt* s : m_st) sqlite3_finalize(s);
}

bool HandPoller::ReadBlock(int b)
{
    unsigned char req[12], rep[512];
    const int start = b * 100, count = 10;
    int len;
    unsigned char* pdu = req;
    if (m_tcp) {
        req[0] = static_cast<unsigned char>(m_trans >> 8);
        req[1] = static_cast<unsigned char>(m_trans);
        ++m_trans;
        req[2] = req[3] = req[4] = 0;
        req[5] = 6;
        pdu = req + 6;
        len = 12;
    } else {
        len = 8;
    }
    pdu[0] = 1;
    pdu[1] = 3;
    pdu[2] = static_cast<unsigned char>(start >> 8);
    pdu[3] = static_cast<unsigned char>(start);
    pdu[4] = 0;
    pdu[5] = count;
    if (!m_tcp) {
        unsigned short crc = Crc(req, 6);
        req[6] = static_cast<unsigned char>(crc);
        req[7] = static_cast<unsigned char>(crc >> 8);
    }
    if (m_port.Write(req, len) != len) return false;
    int n = m_port.Read(rep, sizeof rep, 0);
    const unsigned char* data;
    if (m_tcp) {
        if (n < 9 + 2 * count || (rep[7] & 0x80)) return false;
        data = rep + 9;
    } else {
        if (n < 5 + 2 * count || (rep[1] & 0x80)) return false;
        if (Crc(rep, n - 2) != (rep[n - 2] | (rep[n - 1] << 8))) return false;
        data = rep + 3;
    }
    for (int r = 0; r < count; ++r) {
        int i = b * 10 + r;
        unsigned raw = (static_cast<unsigned>(data[2 * r]) << 8) | data[2 * r + 1];
        m_val[static_cast<size_t>(i)] =
            i % 5 == 0 ? static_cast<int32_t>(static_cast<int16_t>(raw) * 0.1) : static_cast<int32_t>(raw);
    }
    return true;
}

int HandPoller::Brief(char* out, int cap) const
{
    const int c = m_points < 50 ? m_points : 50, d = m_points;
    return std::snprintf(out, static_cast<size_t>(cap), "U=%.1fV (正常) I=%.1f P=%.1f %s", m_val[0] * 0.1,
                         m_val[1] * 0.1, m_val[static_cast<size_t>(c - 1)] * 0.1, c == d ? "(正常)" : "正常");
}

void HandPoller::WriteRows()
{
    char brief[256];
    int blen = Brief(brief, sizeof brief);
    if (m_mode == PREPARED) {
        sqlite3_stmt** s = m_st;
        sqlite3_bind_int(s[0], 1, 0);
        sqlite3_bind_int(s[0], 2, 1);
        sqlite3_bind_int(s[0], 3, 4608);
        sqlite3_bind_int(s[1], 1, 0);
        sqlite3_bind_int(s[1], 2, 0);
        sqlite3_bind_int(s[1], 3, 1);
        sqlite3_bind_int(s[2], 1, 0);
        sqlite3_bind_text(s[2], 2, brief, blen, SQLITE_STATIC);
        sqlite3_bind_int(s[2], 3, 1);
        sqlite3_bind_int(s[3], 1, 1);
        for (int i = 0; i < 4; ++i) {
            sqlite3_step(s[i]);
            sqlite3_reset(s[i]);
        }
        sqlite3_bind_int(s[4], 1, 1);
        for (int i = 0; i < m_points; ++i) {
            sqlite3_bind_text(s[4], 2, &m_fld[static_cast<size_t>(i) * 8], 6, SQLITE_STATIC);
            sqlite3_bind_int(s[4], 3, m_val[static_cast<size_t>(i)]);
            sqlite3_step(s[4]);
            sqlite3_reset(s[4]);
        }
        return;
    }
    const char* now = "datetime(CURRENT_TIMESTAMP,'localtime')";
    std::snprintf(m_sql, sizeof m_sql, "update tbSubSysDetail set LastUpd=%s,State=%d where sid=%d and type=%d", now, 0,
                  1, 4608);
    db.Exec(m_sql);
    std::snprintf(m_sql, sizeof m_sql, "update tbModbus set DateUpd=%s,State=%d,SnapID=%d where sid=%d", now, 0, 0, 1);
    db.Exec(m_sql);
    std::snprintf(m_sql, sizeof m_sql, "update tbSMBrief set LastUpd=%s,St=%d,Brief='%s' where sid=%d", now, 0, brief,
                  1);
    db.Exec(m_sql);
    std::snprintf(m_sql, sizeof m_sql, "delete from tbModbusDat where SID=%d", 1);
    db.Exec(m_sql);
    for (int i = 0; i < m_points; ++i) {
        std::snprintf(m_sql, sizeof m_sql, "insert into tbModbusDat(DID,SID,Fld,Val) values(%d,%d,'%s',%d)", 0, 1,
                      &m_fld[static_cast<size_t>(i) * 8], m_val[static_cast<size_t>(i)]);
        db.Exec(m_sql);
    }
}

bool HandPoller::Poll()
{
    if (m_mode != NO_DB) db.Begin();
    bool ok = true;
    for (int b = 0; b < m_points / 10 && ok; ++b) ok = ReadBlock(b);
    if (m_mode != NO_DB) {
        WriteRows();
        db.Commit();
    }
    return ok;
}

}  // namespace bench
