// CSMDefBase: what the four definition-driven drivers share: the definition store, loading
// and the common [comm]/[flds] settings, point lookup (DataVal, VarEval), the brief template,
// the registration of the type and point rows, the device and readings tables, DataUpd and
// the readings rows, and the request/reply exchange with the port.
//
// Life cycle: constructed unloaded (built-in note, DataSize 1); the factory calls LoadDef once.
// LoadDef returns -1 when the file cannot be read (the driver stays unloaded), else UpdLoad().
// A driver overrides UpdLoad to read its own keys: call CSMDefBase::UpdLoad() first, then
// read m_ini, then print its trace.
#ifndef QVSM_GENERIC_SMDEFBASE_H
#define QVSM_GENERIC_SMDEFBASE_H

#include <string>
#include <vector>

#include "base/SMBase.h"
#include "generic/DefIni.h"
#include "generic/DefVals.h"
#include "generic/VarExpr.h"

// The tables of a definition-driven family and how its DataUpd differs from the others'.
struct SMDefFamily {
    const char* table;     // device rows ("tbModbus")
    const char* datTable;  // readings rows ("tbModbusDat")
    const char* datExtra;  // reading columns after Val, with their leading comma ("" for none)
    const char* fldPrefix; // put before a [vals] key in the Fld column ("V", or "")
    int updRule;           // DEF_UPD_* bits
};

enum {
    // The brief is expanded with state 0 and no alarm bits, and gets no alarm detail.
    DEF_UPD_PLAIN_BRIEF = 1,
    // DataUpd reports the result of the last statement it ran (readings included) instead
    // of the result of the device-row update or the history insert.
    DEF_UPD_LAST_EXEC = 2,
};

class CSMDefBase : public CSMBase {
public:
    // note: built-in note ("QVMB-base" / "QVYD-base"); model: default of [comm] model.
    CSMDefBase(int type, const char* note, const char* model, const SMDefFamily& family);
    ~CSMDefBase() override;

    // Loads the definition file (full path, already through SMPath).
    int LoadDef(const char* path);
    // Marks the driver loaded and reads the common settings:
    //   [comm] note (when non-empty; over 31 bytes it is cut at a character boundary and
    //   logged), debug (0), delay (10 ms), timeout (300), mask (0);
    //   [flds] cnt (0; negative counts as 0) -> DataSize;
    //   [flds.val] from [flds.def] (IndexPoints).
    // Returns 1.
    virtual int UpdLoad();

    // The catalogue registration of a definition-driven type, statement by statement:
    //   select count(*) from tbSMType where Type=%d
    //     0 -> insert into tbSMType values(%d,%d,'%s','%s')   type, type&0xFF00, model, note
    //   select count(*) from tbSMDef where Type=%d
    //     non-zero and force -> delete from tbSMDef where Type=%d
    //   NeedDef(db, force) non-zero and loaded -> for each [flds.def] key in key order (an
    //   empty key ends the walk; a key starting with "0" is written as 0; empty lines skipped):
    //     insert into tbSMDef values(%d,0,%s,%s,0,NULL)      type, key, line as written
    // Returns the result of the last Exec (0 when none ran); 0 without db.
    int RegDb(IDbBase* db, int force) override;
    // The device table and the readings table, on the live database and on the second one
    // when set, each created only when missing:
    //   create table <table>(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,
    //     Addr INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER)
    //   create table <datTable>(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,
    //     Fld VARCHAR(64),Val INTEGER<datExtra>)
    // 0 without a live database; with an item ChkDbDatInit(table, item); without one 1 when
    // nothing was created or the last creation succeeded, else 0.
    int ChkDb(tagSMItem* item) override;
    // Point fld: -1 unless 1 <= fld <= DataSize(); [flds] "fld" names the [vals] key; its
    // value read as an int (beyond the int range: the nearest bound), -1 when the key is
    // empty, the value absent or not a number.
    int DataVal(int fld) override { return PointVal(fld); }
    // State 2 without alarm bits, else 0; 1 with bit 0 of flags (alarm bits do not raise it).
    // On the live database: tbSubSysDetail, the <table> row, the brief (when [comm] brief is
    // set) and DataDetail(live, sid, 0). With hist and a current item: a <table> history row
    // and, when it was stored, its readings under the new row id.
    // The brief is expanded with the state and the alarm bits and followed by "; " and
    // GetAlmDetail (at most 5 names) when a point is in alarm (DEF_UPD_PLAIN_BRIEF: expanded
    // with state 0 and no alarm bits); the brief row always carries the real state.
    // 1 when the result that counts was 0 (see DEF_UPD_LAST_EXEC; no statement counts as 0).
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    // DefVarEval on the store, assuming a host buffer of DEF_VAR_CAP bytes.
    int VarEval(char* text) override;

    // The readings of [vals] as rows of datTable: with did 0 first
    //   delete from <datTable> where SID=%d
    // then per [vals] key in key order
    //   insert into <datTable>(DID,SID,Fld,Val) values(%d,%d,'<fldPrefix><key>',<value>)
    // with "null" for an empty value and for one that is not an integer (logged: it would
    // otherwise land unquoted in the statement). A text reading (TextReading) goes to ValStr
    // instead, quoted, or null when empty:
    //   insert into <datTable>(DID,SID,Fld,ValStr) values(%d,%d,'<fldPrefix><key>','<text>')
    // Result of the last Exec, 0 when none ran or db is null.
    int DataDetail(IDbBase* db, int sid, long long did);

    SimpleIni& Ini() { return m_ini; }
    const SimpleIni& Ini() const { return m_ini; }
    bool Loaded() const { return m_bLoaded; }
    int Debug() const { return m_nDebug; }
    int Delay() const { return m_nDelay; }
    int Timeout() const { return m_nTimeout; }
    int Mask() const { return m_nMask; }
    // [comm] model, or the driver's default.
    std::string Model() const;
    // [comm] brief expanded with VarByIni ("" when there is no template).
    std::string Brief(int state, const int* almBits) const;

protected:
    // Whether the reading under key is stored as text (ValStr) rather than as a number.
    virtual bool TextReading(const std::string& key) const;

    // Purges the port, writes the first len bytes of the command buffer, pauses delay ms (when above 0) and
    // reads up to cap bytes with the port's time-out. -1 after a short write, else the bytes
    // read (0..cap).
    int SendCmd(ISerBase* port, int len, unsigned char* reply, int cap);
    // The same, keeping only the reply rule accepts (SMReadReply): its length at the start of
    // reply, 0 when none came; -1 after a short write or for a refusal.
    int SendCmd(ISerBase* port, int len, unsigned char* reply, int cap, const CSMReplyRule& rule);
    // The two-character codes of a poll list ([comm] key): characters 0-1, 3-4, 6-7, ...
    std::vector<std::string> CodeList(const char* key) const;
    // Logs every command section of the poll list whose dmax (default defDmax) is above max.
    void CheckDmax(const std::vector<std::string>& codes, int defDmax, int max) const;
    // Bits of item n of a command section into "<key>-<bit>": [section] "<n>bit" bytes of
    // the value, at most 32 bits.
    void StoreBits(const std::string& section, int n, const std::string& key, int value);
    // The debug trace after a poll: every [vals] entry and the brief with state 0.
    void TraceVals() const;
    // Point fld's value as DataVal returns it, without DataVal's side effects.
    int PointVal(int fld)
    {
        if (fld >= 1 && static_cast<size_t>(fld) < m_pointSlot.size()) {
            int slot = m_pointSlot[static_cast<size_t>(fld)], v;
            if (slot >= 0 && m_vals.GetInt(slot, v)) return v;
        }
        return PointValByKey(fld);
    }
    // The same by the key texts (a point not set by a poll, or set by someone else).
    int PointValByKey(int fld);

    SimpleIni m_ini;
    bool m_bLoaded = false;
    int m_nDebug = 0;
    int m_nDelay = 10;
    int m_nTimeout = 300;
    int m_nMask = 0;
    const char* m_defModel;
    const SMDefFamily& m_family;
    // The readings ([vals] of m_ini) through slots; the point slots are planned by UpdLoad.
    DefVals m_vals{m_ini, SEC_VALS};

private:
    // Slot of point n's value key (index n; -1: no key, looked up by text).
    std::vector<int> m_pointSlot;
    // Scratch texts of DataUpd, kept so that a steady poll allocates nothing.
    std::string m_brief;
    std::string m_quoted;
    std::string m_quotedVal;
};

// GBK text cut to at most max bytes without splitting a double-byte character.
std::string GbkCut(const std::string& text, size_t max);
// double -> int truncated toward zero; values beyond the int range are held at its ends,
// NaN gives 0.
int DefTrunc(double v);

#endif
