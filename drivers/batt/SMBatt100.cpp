#include "drivers/batt/SMBatt100.h"

#include <cstring>
#include <string>

#include "base/SMRtu.h"

namespace {
const char kNow[] = "datetime(CURRENT_TIMESTAMP,'localtime')";

const SMPointDef kPoints[] = {
    {0, 0, "", 1, "整体信息", 0, 0, 0, 0, "", 0, "", 0},
    {0, 1, "BT100_Itm", 1, "电池数", 0, 1, 0, 20, "监测电池数量(按实际,最多256)", 0, "", 0},
    {0, 0, "", 3, "详细信息", 0, 0, 0, 0, "", 0, "", 0},
    {0, 1, "A", 3, "电流1", 0, 10, 0, 0, "电流1,一般超出范围报警", 100, "", 0},
    {0, 2, "A2", 3, "电流2", 0, 10, 0, 0, "电流2,一般超出范围报警", 100, "", 0},
    {0, 3, "V", 3, "电压", 0, 10, 0, 0, "电压,一般超出范围报警", 100, "", 0},
    {0, 4, "T", 3, "温度", 0, 10, 0, 0, "温度,一般超出范围报警", 100, "", 0},
    {0, 11, "V1", 3, "单体电压", 0, 10, 0, 85, "单体电压,一般超出范围报警", 160, "", -1},
    {0, 12, "T1", 3, "单体温度", 0, 10, 0, -55, "单体温度,一般超出范围报警", 325, "", -1},
    {0, 13, "R1", 3, "单体内阻", 0, 10, 0, 0, "单体内阻,一般大于报警", 1500, "", -1},
};

unsigned short NotNegative(unsigned short w)
{
    return static_cast<short>(w) < 0 ? 0 : w;
}

std::string Batt100Columns()
{
    std::string cols = "Curr INTEGER,Volt INTEGER,Minutes INTEGER";
    for (int i = 1; i <= 12; ++i) {
        std::string n = std::to_string(i);
        cols += ",V" + n + " INTEGER,R" + n + " INTEGER,T" + n + " INTEGER,TW" + n + " INTEGER";
    }
    return cols;
}
}  // namespace

CSMBatt100::CSMBatt100() : CSMBase(1026)
{
    SetNote("QV-BAT100");
    m_nDataCount = 773;
    m_pData = &m_d;
}

int CSMBatt100::CellCount(int n)
{
    if (n <= 0) return DEFAULT_CELLS;
    return n > MAX_CELLS ? MAX_CELLS : n;
}

int CSMBatt100::RegDb(IDbBase* db, int force)
{
    if (!db) return 0;
    const SMTypeDef type = {1024, "电池监测 %s", "485接口..."};
    int r = RegDbRows(db, force, type, kPoints, static_cast<int>(sizeof kPoints / sizeof kPoints[0]));
    const char* sql = SqlFmt("select vref from tbSMDef where Type=%d and FldName='BT100_Itm'", m_nType);
    int cur = sql ? db->Query(sql, -1) : -1;
    if (!db->Eof(cur)) m_d.cells = static_cast<unsigned short>(CellCount(db->GetInt(cur, "vref")));
    if (cur >= 0) db->FreeQuery(cur);
    return r;
}

int CSMBatt100::ChkDb(tagSMItem* item)
{
    if (!m_pDb && !m_pDb2) return 0;
    for (IDbBase* db : {m_pDb, m_pDb2})
        if (db && !db->TableExists("tbBattVal"))
            SqlExec(db, "create table tbBattVal(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Fld INTGER,"
                        "DateUpd DATETIME,State INTEGER,V INTEGER,R INTEGER,T INTEGER,T2 INTEGER)");
    const std::string cols = Batt100Columns();
    const SMTableDef table = {"tbBatt100", cols.c_str()};
    return ChkDbTable(item, table);
}

int CSMBatt100::DataVal(int fld)
{
    switch (fld) {
    case 1: return m_d.a;
    case 2: return m_d.a2;
    case 3: return m_d.v;
    case 4: return m_d.t;
    default: break;
    }
    if (fld >= 5 && fld <= 10) return 0;
    if (fld < 11 || fld > 28) return -1;
    int k = fld - 11;
    int cell = k / 3;
    if (k % 3 == 0) return m_d.cellV[cell];
    if (k % 3 == 1) return m_d.cellT[cell];
    return m_d.cellR[cell];
}

int CSMBatt100::DataGet(ISerBase* port, int addr, int waitMs)
{
    if (!port || !port->IsOpen()) return 0;
    port->Purge();
    ++m_d.polls;
    int n = waitMs > 0 ? (waitMs > MAX_CELLS ? MAX_CELLS : waitMs) : m_d.cells;

    unsigned char r[2 * BLOCK + 5];
    if (RtuRead(port, addr, 4, 0x0500, 4, 0, 100, r, 13) < 0) return 0;
    m_d.a = NotNegative(CBufHelper::wdFromBuf(r + 3));
    m_d.a2 = NotNegative(CBufHelper::wdFromBuf(r + 5));
    m_d.v = NotNegative(CBufHelper::wdFromBuf(r + 7));
    m_d.t = static_cast<short>(CBufHelper::wdFromBuf(r + 9));

    struct Block {
        unsigned short reg;
        unsigned short* dst;
    } blocks[] = {
        {0x0100, m_d.cellV},
        {0x0400, m_d.cellR},
        {0x0200, reinterpret_cast<unsigned short*>(m_d.cellT)},
        {0x0300, reinterpret_cast<unsigned short*>(m_d.cellT2)},
    };
    int got = 0;
    const unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    for (int b = 0; b < n; b += BLOCK) {
        for (const Block& blk : blocks) {
            int len = ModBusCmd(a, 4, static_cast<unsigned short>(blk.reg + b), BLOCK);
            // A block shorter than asked is taken: the reply is as long as what was read.
            int k = Exchange(port, m_cmdBuf, len, 100000UL, r, sizeof r, CSMRtuRule(a, 4, -1));
            if (k < 7 || !SMRtuCrcOk(r, k)) return 0;
            int words = (k - 5) / 2;
            if (words > MAX_CELLS - b) words = MAX_CELLS - b;
            for (int i = 0; i < words; ++i) blk.dst[b + i] = CBufHelper::wdFromBuf(r + 3 + 2 * i);
            if (blk.dst == m_d.cellV) got += words;
        }
    }
    trace_log("RtLog", "batt100: addr=%d A=%d V=%d T=%d Gets:%d/%d\n", addr, m_d.a, m_d.v, m_d.t, got, n);
    return 1;
}

int CSMBatt100::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase*)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    m_nFailCount = 0;
    if (u.state == SM_ST_FAULT) {
        std::memset(m_d.cellV, 0, sizeof m_d.cellV);
        std::memset(m_d.cellR, 0, sizeof m_d.cellR);
        std::memset(m_d.cellT, 0, sizeof m_d.cellT);
        std::memset(m_d.cellT2, 0, sizeof m_d.cellT2);
    }
    int r = 0;
    UpdSubSys(u);
    if (m_pDb)
        r = SqlExec(m_pDb,
                    "update tbBatt100 set DateUpd=%s,\t    State=%d,SnapID=%d,Curr=%d,Volt =%d,Minutes =%d where sid=%d",
                    kNow, u.state, u.snapId, m_d.a, m_d.v, m_d.t, u.sid);
    tagSMItem* it = Item();
    if (m_pDb && it) {
        const char ins[] = "insert into tbBattVal values(null,%d,%d,%d,%s,%d,%d,%d,%d,%d)";
        SqlExec(m_pDb, "delete from tbBattVal where SID=%d", it->SID);
        r = SqlExec(m_pDb, ins, it->SID, it->Type, 0, kNow, u.state, m_d.v, m_d.a, m_d.t, 0);
        int cells = it->Param1 > MAX_CELLS ? MAX_CELLS : it->Param1;
        for (int i = 1; i <= cells; ++i)
            r = SqlExec(m_pDb, ins, it->SID, it->Type, i, kNow, u.state, m_d.cellV[i - 1], m_d.cellR[i - 1],
                        m_d.cellT[i - 1], m_d.cellT2[i - 1]);
    }
    return r == 0 ? 1 : 0;
}

int CSMBatt100::DoFunc(int cmd, void* buf, int len)
{
    if (cmd != 0) return CSMBase::DoFunc(cmd, buf, len);
    int n = len & 0xFFFF;
    m_d.cells = static_cast<unsigned short>(n > MAX_CELLS ? MAX_CELLS : n);
    return 1;
}
