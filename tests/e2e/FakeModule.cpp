// A stand-in for libqvsm.so that records what the host does with it. Every call into a
// driver is written to the live database (table tbFakeCalls; history rows as "Hist" calls in
// the history database), so tests of qvsm-host can check the order of calls, the alarm bits
// and the control commands it passes on.
//
// Drivers: any type code except 9999 (no driver). Three points; values come from the
// device record: point 1 = Param1, point 2 = Param2, point 3 = Addr. A device whose Addr
// is 99 fails its poll. Type codes of kind 0x0900 have four points.
#include <qvsm/qvsm.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

class CFakeDriver : public ISMBase {
public:
    explicit CFakeDriver(int type) : m_type(type) {}
    virtual ~CFakeDriver() = default;

    int GetType() override { return m_type; }
    const char* GetNote() override { return "FAKE"; }
    int GetMask() override { return 0; }
    void SetManager(ISMManager* m) override { m_mgr = m; }
    int RegDb(IDbBase* db, int force) override
    {
        Rec(db, "RegDb", force, 0, 0);
        char sql[512];
        std::snprintf(sql, sizeof sql, "select count(*) from tbSMDef where Type=%d", m_type);
        if (db->QueryInt(sql) > 0) return 0;
        static const char* const rows[] = {
            "insert into tbSMDef values(%d,0,1,'P1',1,'point1',0,10,6,100,'',200,'',0,NULL)",
            "insert into tbSMDef values(%d,0,2,'P2',1,'point2',0,1,1,0,'',0,'',0,NULL)",
            "insert into tbSMDef values(%d,0,3,'P3',1,'point3',0,1,0,0,'',0,'',0,NULL)",
            "insert into tbSMDef values(%d,0,4,'P4',1,'point4',0,1,11,5,'',0,'',0,NULL)",
        };
        for (int i = 0; i < DataSize(); ++i) {
            std::snprintf(sql, sizeof sql, rows[i], m_type);
            db->Exec(sql);
        }
        return 0;
    }
    void SetDb(IDbBase* db, int index) override { (index == 1 ? m_db2 : m_db) = db; }
    int ChkDb(tagSMItem* item) override
    {
        Rec(m_db, "ChkDb", item ? item->SID : -1, m_db2 ? 1 : 0, 0);
        return 1;
    }
    int DataSize() override { return (m_type & 0xFF00) == 0x0900 ? 4 : 3; }
    void* Data() override { return m_val; }
    int DataVal(int fld) override
    {
        Rec(m_db, "DataVal", fld, 0, 0);
        return (fld >= 1 && fld <= DataSize()) ? m_val[fld - 1] : -1;
    }
    int DataGet(ISerBase* port, int addr, int waitMs) override
    {
        // Whether the host runs the poll inside a transaction: "begin" fails in one.
        bool inTx = m_db && m_db->Exec("begin") != 0;
        if (m_db && !inTx) m_db->Exec("commit");
        Rec(m_db, "DataGet", addr, waitMs, port ? 1 : 0, inTx ? "tx" : "");
        if (!m_item || addr == 99) return 0;
        m_val[0] = m_item->Param1;
        m_val[1] = m_item->Param2;
        m_val[2] = m_item->Addr;
        m_val[3] = m_item->Param1;
        return 1;
    }
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override
    {
        Rec(m_db, "DataUpd", almBits ? almBits[0] : -1, flags, hist ? 1 : 0, snapId ? "snap" : "");
        Rec(hist, "Hist", almBits ? almBits[0] : -1, sid, 0);
        return 1;
    }
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override
    {
        std::string text;
        if (buf && len > 0 && len < 1000) text.assign(static_cast<const char*>(buf), static_cast<size_t>(len));
        Rec(m_db, "DoFunc", cmd, addr, port ? 1 : 0, text.c_str());
        if (buf && len > 0 && len != static_cast<int>(sizeof(int))) std::strcpy(static_cast<char*>(buf), "done");
        return cmd * 10 + 1;
    }
    int DoFunc(int cmd, void* buf, int len) override
    {
        return m_item ? DoFunc(m_item->Ser, m_item->Addr, cmd, buf, len) : 0;
    }
    int DoItem(tagSMItem* item, int) override
    {
        m_item = item;
        Rec(m_db, "DoItem", item ? item->Variant : 0, 0, 0, item ? item->Name : "");
        return 1;
    }
    int VarEval(char*) override { return -1; }

    void Rec(IDbBase* db, const char* op, int a, int b, int c, const char* txt = "")
    {
        if (!db) return;
        char sql[1400];
        std::string q;
        for (const char* p = txt; *p; ++p) q += *p == '\'' ? std::string("''") : std::string(1, *p);
        std::snprintf(sql, sizeof sql,
                      "create table if not exists tbFakeCalls(Seq INTEGER PRIMARY KEY,Op TEXT,Type INTEGER,SID INTEGER,"
                      "A INTEGER,B INTEGER,C INTEGER,Txt TEXT);"
                      "insert into tbFakeCalls(Op,Type,SID,A,B,C,Txt) values('%s',%d,%d,%d,%d,%d,'%s')",
                      op, m_type, m_item ? m_item->SID : 0, a, b, c, q.c_str());
        db->Exec(sql);
    }

    int m_type;
    ISMManager* m_mgr = nullptr;
    IDbBase* m_db = nullptr;
    IDbBase* m_db2 = nullptr;
    tagSMItem* m_item = nullptr;
    int m_val[4] = {0, 0, 0, 0};
};

class CFakeManager : public ISMManager {
public:
    virtual ~CFakeManager()
    {
        if (m_db) m_db->Exec("insert into tbFakeCalls(Op) values('FreeSMManager')");
        for (CFakeDriver* d : m_drivers) delete d;
    }
    IDbBase* GetDb(int) override { return m_db; }
    void SetDb(IDbBase* db, int) override { m_db = db; }
    ISMBase* GetSM(int type) override
    {
        if (type == 9999) return nullptr;
        for (CFakeDriver* d : m_drivers)
            if (d->GetType() == type) return d;
        m_drivers.push_back(new CFakeDriver(type));
        m_drivers.back()->SetManager(this);
        return m_drivers.back();
    }

private:
    IDbBase* m_db = nullptr;
    std::vector<CFakeDriver*> m_drivers;
};

CFakeManager* g_mgr = nullptr;

}  // namespace

FAKE_EXPORT int DllType() { return 0; }
FAKE_EXPORT const char* DllNote() { return "fake module"; }
FAKE_EXPORT int DllVersion() { return 7; }
FAKE_EXPORT ISMManager* GetSMManager(int)
{
    if (!g_mgr) g_mgr = new CFakeManager;
    return g_mgr;
}
FAKE_EXPORT int FreeSMManager()
{
    delete g_mgr;
    g_mgr = nullptr;
    return 1;
}
