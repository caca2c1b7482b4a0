// CSMDefBase: what the four definition-driven drivers share: the definition store, loading
// and the common [comm]/[flds] settings, point lookup (DataVal, VarEval), the brief template
// and the registration of the type and point rows.
//
// Life cycle: constructed unloaded (built-in note, DataSize 1); the factory calls LoadDef once.
// LoadDef returns -1 when the file cannot be read (the driver stays unloaded), else UpdLoad().
// A driver overrides UpdLoad to read its own keys: call CSMDefBase::UpdLoad() first, then
// read m_ini, then print its trace.
#ifndef QVSM_GENERIC_SMDEFBASE_H
#define QVSM_GENERIC_SMDEFBASE_H

#include <string>

#include "base/SMBase.h"
#include "generic/DefIni.h"
#include "generic/VarExpr.h"

class CSMDefBase : public CSMBase {
public:
    // note: built-in note ("QVMB-base" / "QVYD-base"); model: default of [comm] model.
    CSMDefBase(int type, const char* note, const char* model);
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

    // Point fld: -1 unless 1 <= fld <= DataSize(); [flds] "fld" names the [vals] key; its
    // value read as an int, -1 when the key is empty, the value absent or not a number.
    int DataVal(int fld) override;
    // DefVarEval on the store, assuming a host buffer of DEF_VAR_CAP bytes.
    int VarEval(char* text) override;

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
    // The catalogue registration of a definition-driven type, statement by statement:
    //   select count(*) from tbSMType where Type=%d
    //     0 -> insert into tbSMType values(%d,%d,'%s','%s')   type, type&0xFF00, model, note
    //   select count(*) from tbSMDef where Type=%d
    //     non-zero and force -> delete from tbSMDef where Type=%d
    //   NeedDef(db, force) non-zero and loaded -> for each [flds.def] key in key order (an
    //   empty key ends the walk; a key starting with "0" is written as 0; empty lines skipped):
    //     insert into tbSMDef values(%d,0,%s,%s,0,NULL)      type, key, line as written
    // Returns the result of the last Exec (0 when none ran); 0 without db.
    int RegDefRows(IDbBase* db, int force);

    // The device table and the readings table of a definition-driven family, on the live
    // database and on the second one when set, each created only when missing:
    //   create table <table>(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,
    //     Addr INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER)
    //   create table <datTable>(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,
    //     Fld VARCHAR(64),Val INTEGER<datExtra>)
    // datExtra: further reading columns after Val, with their leading comma ("" for none).
    // 0 without a live database; with an item ChkDbDatInit(table, item); without one 1 when
    // nothing was created or the last creation succeeded, else 0.
    int ChkDefTables(tagSMItem* item, const char* table, const char* datTable, const char* datExtra = "");

    // The readings of [vals] as rows of datTable: with did 0 first
    //   delete from <datTable> where SID=%d
    // then per [vals] key in key order
    //   insert into <datTable>(DID,SID,Fld,Val) values(%d,%d,'V<key>',<value>)
    // with "null" for an empty value (and for a value that is not an integer, which is
    // logged: it would otherwise land unquoted in the statement). Result of the last Exec,
    // 0 when none ran or db is null. A driver whose readings table differs overrides it;
    // UpdDefRows writes the readings through it.
    virtual int DetailRows(IDbBase* db, int sid, int did, const char* datTable);

    // DataUpd of a definition-driven family:
    //   state 2 without alarm bits, else 0; 1 with bit 0 of flags (alarm bits do not raise it);
    //   on the live database: tbSubSysDetail, the <table> row, the brief (when [comm] brief is
    //   set) and DetailRows(live, sid, 0);
    //   with hist and a current item: a <table> history row and, when it was stored, its
    //   readings under the new row id.
    // briefAlarms: the brief is expanded with the state and the alarm bits and followed by
    // "; " and GetAlmDetail (at most 5 names) when a point is in alarm; otherwise it is
    // expanded with state 0 and no alarm bits. The brief row always carries the real state.
    // 1 when the last kept result (the <table> update, or the history insert when one was
    // made) was 0, or when neither was made; else 0.
    int UpdDefRows(int flags, const int* almBits, const int* snapId, int sid, IDbBase* hist, const char* table,
                   const char* datTable, bool briefAlarms);

    SimpleIni m_ini;
    bool m_bLoaded = false;
    int m_nDebug = 0;
    int m_nDelay = 10;
    int m_nTimeout = 300;
    int m_nMask = 0;
    const char* m_defModel;
};

// GBK text cut to at most max bytes without splitting a double-byte character.
std::string GbkCut(const std::string& text, size_t max);

#endif
