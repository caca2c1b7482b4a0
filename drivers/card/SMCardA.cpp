#include "drivers/card/SMCardA.h"

#include <cstdio>
#include <cstring>

namespace {
const char kNow[] = "datetime(CURRENT_TIMESTAMP,'localtime')";
const char kCreate[] =
    "CREATE TABLE tbCardLog(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,Addr INTEGER,"
    "DateUpd DATETIME,State INTEGER,SnapID INTEGER,Rec INTEGER,Card INTEGER,Door INTEGER,St INTEGER,"
    "LogDate DATETIME,LogImg VARCHAR(128))";

const SMPointDef kPoints[] = {
    {0, 1, "CardId", 1, "卡号", 0, 1, 0, 0, "卡ID|允许卡ID范围 小值", 0, "卡ID|允许卡ID范围 大值", 0},
    {0, 17, "CardFound", 1, "进出", 0, 1, 1, 0, "1有人进出", 0, "", 0},
};

enum { CMD_LATEST = 0x1081, CMD_CHECKED = 0x109D };
}  // namespace

CSMCardA::CSMCardA() : CSMBase(3328), m_rec()
{
    m_pData = &m_rec;
    m_nDataCount = 17;
}

int CSMCardA::RegDb(IDbBase* db, int force)
{
    const SMTypeDef type = {3329, "CardA %s", "485接口..."};
    return RegDbRows(db, force, type, kPoints, 2);
}

int CSMCardA::ChkDb(tagSMItem* item)
{
    if (!m_pDb && !m_pDb2) return 0;
    int r = 0;
    for (IDbBase* db : {m_pDb, m_pDb2})
        if (db && !db->TableExists("tbCardLog")) r = db->Exec(kCreate);
    if (item) return ChkDbDatInit("tbCardLog", item);
    return r == 0 ? 1 : 0;
}

int CSMCardA::DataVal(int n)
{
    switch (n) {
    case 1: return m_rec.rec;
    case 2: return m_rec.card;
    case 3: return m_rec.date;
    case 4: return m_rec.time;
    case 5: return m_rec.st;
    case 6: return m_rec.word15;
    case 7: return m_rec.reason;
    case 8: return m_rec.door;
    case 9: return m_rec.byte28;
    case 17: return m_rec.newEvent;
    default: return (n >= 10 && n <= 16) ? m_rec.reply[n - 5] : -1;
    }
}

int CSMCardA::CmdPack(int addr, int cmd, const void* data, int len)
{
    if (len < 0 || len > DATA_LEN) return 0;
    unsigned char* b = CmdBuf();
    std::memset(b, 0, PACK_LEN);
    b[0] = 0x7E;
    CBufHelper::wdToBufLH(b + 1, static_cast<unsigned short>(addr));
    CBufHelper::wdToBufLH(b + 3, static_cast<unsigned short>(cmd));
    if (data) std::memcpy(b + 5, data, static_cast<size_t>(len ? len : 1));
    CBufHelper::wdToBufLH(b + 31, CBufHelper::sum(b + 1, 30));
    b[33] = 0x0D;
    return PACK_LEN;
}

int CSMCardA::ChkPack(const unsigned char* buf, int n)
{
    if (!buf || n != PACK_LEN) return 0;
    return CBufHelper::sum(buf + 1, 30) == CBufHelper::wdFromBufLH(buf + 31) ? 1 : 0;
}

int CSMCardA::DecodeDate(unsigned short w)
{
    int day = w & 0x1F, month = (w >> 5) & 0x0F, year = (w >> 9) + 2000;
    return (year << 16) | (month << 8) | day;
}

int CSMCardA::DecodeTime(unsigned short w)
{
    int sec = (w & 0x1F) * 2, min = (w >> 5) & 0x3F, hour = w >> 11;
    return (hour << 16) | (min << 8) | sec;
}

int CSMCardA::Transact(ISerBase* port, int len, unsigned long pauseUs)
{
    if (len != PACK_LEN) return -1;
    // The reply is a packet of the controller asked: 7E and its address.
    CSMHeadRule rule(CmdBuf(), 3, PACK_LEN);
    return Exchange(port, CmdBuf(), len, pauseUs, m_rec.reply, PACK_LEN, rule);
}

int CSMCardA::DataGet(ISerBase* port, int addr, int waitMs)
{
    if (!port || !port->IsOpen()) return 0;
    unsigned long pause = waitMs > 200 ? static_cast<unsigned long>(waitMs) * 1000UL : 0;
    int n = Transact(port, CmdPack(addr, CMD_LATEST, nullptr, 0), pause);
    if (n < 0) return 0;
    const unsigned char* r = m_rec.reply;
    if (!ChkPack(r, n)) {
        std::printf("CSMCardA::DataGet false\r");
        return 0;
    }
    int rec = r[12] | (r[13] << 8) | (r[14] << 16);
    if (rec == m_rec.rec) {
        m_rec.newEvent = 0;
        std::printf("CSMCardA::DataGet ok 0\r");
        return 1;
    }
    m_rec.newEvent = 1;
    m_rec.rec = rec;
    m_rec.card = CBufHelper::wdFromBufLH(r + 17) + r[19] * 100000;
    m_rec.st = r[20];
    m_rec.date = DecodeDate(CBufHelper::wdFromBufLH(r + 21));
    m_rec.time = DecodeTime(CBufHelper::wdFromBufLH(r + 23));
    m_rec.word15 = static_cast<short>(CBufHelper::wdFromBufLH(r + 15));
    m_rec.reason = r[25];
    m_rec.door = r[26];
    m_rec.byte28 = r[28];
    std::printf("CSMCardA::DataGet ok 1 cid=%d st=%d r=%02x b=%02x\r\n", m_rec.card, m_rec.st, m_rec.reason,
                m_rec.door);
    return 1;
}

int CSMCardA::DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len)
{
    if (!port || !port->IsOpen()) return 0;
    int n = Transact(port, CmdPack(addr, cmd, buf, len), 100000UL);
    if (n < 0 || !ChkPack(m_rec.reply, n)) return 0;
    if (cmd == CMD_CHECKED && m_rec.reply[5] != 0) return 0;
    return 1;
}

int CSMCardA::DataUpd(int flags, int* almBits, int*, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, nullptr, sid, 0);
    int y = m_rec.date >> 16, mo = (m_rec.date >> 8) & 0xFF, d = m_rec.date & 0xFF;
    int h = m_rec.time >> 16, mi = (m_rec.time >> 8) & 0xFF, s = m_rec.time & 0xFF;
    int r = 0;
    if (m_pDb) {
        UpdSubSys(u);
        SqlExec(m_pDb,
                "update tbCardLog set DateUpd=%s,State=%d,SnapID=%d,Rec=%d,Card=%d,Door=%d,St=%d,"
                "LogDate='%d-%02d-%02d %02d:%02d:%02d' where sid=%d",
                kNow, u.state, u.snapId, m_rec.rec, m_rec.card, m_rec.door, m_rec.st, y, mo, d, h, mi, s, u.sid);
        r = UpdBrief(u, u.state == SM_ST_ALARM ? "有开门" : "正常");
    }
    if (hist && m_rec.newEvent) {
        if (SqlInt(hist, "select count(*) from tbCardLog") > LOG_MAX)
            r = TrimRows(hist, "tbCardLog", "State>=0", LOG_KEEP);
        if (SqlInt(hist, "select count(*) from tbCardLog where LogDate='%d-%02d-%02d %02d:%02d:%02d'", y, mo, d, h,
                   mi, s) < 1)
            r = SqlExec(hist,
                        "insert into tbCardLog(SID,DateUpd,State,SnapID,Rec,Card,Door,St,LogDate) values(%d,%s,%d,%d,"
                        "%d,%d,%d,%d,'%d-%02d-%02d %02d:%02d:%02d')",
                        u.sid, kNow, u.state, u.snapId, m_rec.rec, m_rec.card, m_rec.door, m_rec.st, y, mo, d, h, mi,
                        s);
    }
    m_rec.newEvent = 0;
    return r == 0 ? 1 : 0;
}
