// CSMBase: the driver base every device driver derives from, with the helpers drivers share
// (statements in the shared SQL buffer, catalogue registration, family tables, state
// derivation, request framing and the request/reply exchange).
#ifndef QVSM_BASE_SMBASE_H
#define QVSM_BASE_SMBASE_H

#include <qvsm/qvsm.h>

#include <cstdarg>
#include <climits>

#include "base/BufHelper.h"
#include "base/SMEnv.h"
#include "base/SMLog.h"
#include "base/SMReply.h"

// Point states and device states.
enum { SM_ST_OK = 0, SM_ST_ALARM = 1, SM_ST_FAULT = 2 };

// One tbSMDef row, fields in column order:
// insert into tbSMDef values(Type,sid,fld,'name',group,'note',col7,scale,mode,vref,'vrefHelp',vref2,'vref2Help',extra,NULL)
struct SMPointDef {
    int sid;
    int fld;
    const char* name;
    int group;
    const char* note;
    int col7;
    int scale;
    int mode;
    int vref;
    const char* vrefHelp;
    int vref2;
    const char* vref2Help;
    int extra;
};

// The tbSMType row: insert into tbSMType values(Type,group,'<display>','<iface>'), where
// display is the format `display` filled with the note (e.g. "温湿度 %s"). group 0 writes
// the own type code.
struct SMTypeDef {
    int group;
    const char* display;
    const char* iface;
};

// A family table: the common leading columns, then `columns` (e.g. "Tem INTEGER,Hum INTEGER").
struct SMTableDef {
    const char* name;
    const char* columns;
};

// One value column of a family row; a column with text is written as '<text>' (the text must
// already have its single quotes doubled, see SqlQuote).
struct SMCol {
    const char* name;
    int value;
    const char* text = nullptr;
};

// What DataUpd derives before writing: device state, the SID to write and the SnapID.
struct SMUpd {
    int state;
    int sid;
    int snapId;
    const int* almBits;  // null after a failed poll
};

class CSMBase : public ISMBase {
public:
    explicit CSMBase(int type);
    virtual ~CSMBase();  // slots 16 and 17

    // ISMBase
    int GetType() override;
    const char* GetNote() override;
    int GetMask() override;
    void SetManager(ISMManager* manager) override;
    int RegDb(IDbBase* db, int force) override;
    void SetDb(IDbBase* db, int index) override;
    int ChkDb(tagSMItem* item) override;
    int DataSize() override;
    void* Data() override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    int DoFunc(int cmd, void* buf, int len) override;
    int DoItem(tagSMItem* item, int n) override;
    int VarEval(char* text) override;

    virtual int NeedDef(IDbBase* db, int force);                      // slot 18
    virtual int NeedDefAlm(IDbBase* db, int n);                       // slot 19
    virtual int ChkDbDatInit(const char* table, tagSMItem* item);     // slot 20

    // Alarm part of a summary: "告警:" and up to max point names, "..." when max is reached.
    // out must hold cap bytes; names that would not fit are left out.
    int GetAlmDetail(char* out, const int* almBits, int max, int cap = 1024);

    // Request framing in the command buffer.
    int ModBusCmd(unsigned char addr, unsigned char func, unsigned short reg, unsigned short count);
    int ModBusTcpCmd(unsigned short transId, unsigned char addr, unsigned char func,
                     unsigned short reg, unsigned short count);
    // One Modbus exchange (Purge, request, pause waitMs, reply): only the reply to the request
    // is taken (CSMRtuRule / CSMTcpRule; reads must bring the byte count asked for, writes of
    // functions 5, 6, 15, 16 their 8-byte echo). Its length at the start of rbuf, or -1.
    int GetModBusData(unsigned char* rbuf, int rsize, ISerBase* port, unsigned char addr,
                      unsigned char func, unsigned short reg, unsigned short count,
                      unsigned short waitMs, unsigned short transId, unsigned short tcp);
    // One YD/T 1363 exchange: only a frame with the request's ADR is taken (CSMYdtRule), then
    // its characters, LENGTH and CHKSUM are checked. Its length, or -1.
    int GetYdn23Data(unsigned char* rbuf, int rsize, ISerBase* port, unsigned char adr,
                     unsigned char ver, unsigned char cid1, unsigned char cid2,
                     const unsigned char* info, int infoLen, unsigned char soi, unsigned char eoi,
                     int waitMs);

    enum { SQL_SIZE = 8196, CMD_SIZE = 64, NOTE_SIZE = 32 };
    static char m_buffer[SQL_SIZE];

    // ---- helpers for drivers -------------------------------------------------------------

    // Formats a statement into m_buffer. Returns m_buffer, or null when the statement would
    // not fit (it is refused and logged, never cut).
    static const char* SqlFmt(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static const char* SqlFmtV(const char* fmt, va_list ap);
    // Formats and executes on db. Result of Exec (0 success); 0 when db is null (skipped);
    // -1 when the statement was refused.
    static int SqlExec(IDbBase* db, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Formats and runs QueryInt; 0 when db is null or the statement was refused.
    static int SqlInt(IDbBase* db, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Formats and runs QueryStr; "" when db is null or the statement was refused.
    static const char* SqlStr(IDbBase* db, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Copies in to out doubling every single quote, for text placed between SQL quotes.
    // Returns the length, or -1 (and "") when it does not fit in cap bytes.
    static int SqlQuote(char* out, int cap, const char* in);

    // Catalogue registration: the type row when missing, the point rows when none exist or
    // when force is set. Returns the result of the last Exec (0 when nothing was written).
    int RegDbRows(IDbBase* db, int force, const SMTypeDef& type, const SMPointDef* points, int n);
    int InsertPoint(IDbBase* db, const SMPointDef& p);

    // ChkDb for family tables: creates missing tables in the live and second database and,
    // with an item, returns ChkDbDatInit of the first table.
    int ChkDbTables(tagSMItem* item, const SMTableDef* tables, int n);
    int ChkDbTable(tagSMItem* item, const SMTableDef& table) { return ChkDbTables(item, &table, 1); }
    static int CreateTable(IDbBase* db, const SMTableDef& table);

    // DataUpd: state 2 without alarm bits, else 0, raised to 1 by a set bit of points
    // 1..almPoints (0: alarm bits do not raise the state); bit 0 of flags forces 1. SnapID
    // is *snapId when bit 4 of flags is set, else 0; a negative sid means the current SID.
    SMUpd UpdBegin(int flags, const int* almBits, const int* snapId, int sid, int almPoints) const;
    // Bit (fld-1) of the alarm words, 0 for null.
    static int AlmBit(const int* almBits, int fld);
    // Per-point state: 2 after a failed poll, else the alarm bit.
    static int PointState(const int* almBits, int fld) { return almBits ? AlmBit(almBits, fld) : SM_ST_FAULT; }
    static const char* StSuffix(int st);

    // The common rows of DataUpd on the live database.
    int UpdSubSys(const SMUpd& u);
    int UpdBrief(const SMUpd& u, const char* brief);         // with St
    int UpdBriefText(const SMUpd& u, const char* brief);     // without St
    // update <table> set DateUpd=...,State=%d,SnapID=%d,<cols> where sid=%d
    int UpdRow(const char* table, const SMUpd& u, const SMCol* cols, int n);
    // insert into <table>(SID,DateUpd,State,SnapID,<cols>) values(...) on hist (skipped if null)
    static int InsHist(IDbBase* hist, const char* table, const SMUpd& u, const SMCol* cols, int n);
    // Keeps the newest rows of a history table: "delete from <table> where <cond> and (DID not
    // in(select DID from <table> order by DateUpd desc limit <keep>))". Result of Exec, 0 when
    // db is null, -1 when refused.
    static int TrimRows(IDbBase* db, const char* table, const char* cond, int keep);

    // One Modbus RTU read: IsOpen, Purge, request, Write, pause, then reads until the reply of
    // the request (CSMRtuRule: address, function, byte count, 5 + 2*count bytes for registers,
    // 5 + ceil(count/8) for coils/inputs, CRC) at the start of rbuf. Returns the reply length
    // or -1 (also for an exception reply). The pause is waitMs when >= 101, else defaultMs.
    int RtuRead(ISerBase* port, int addr, int func, int reg, int count, int waitMs, int defaultMs,
                unsigned char* rbuf, int cap);
    // Write frame, pause, Read up to cap bytes. Returns the bytes read, or -1 when the port
    // is missing or closed (nothing sent) or the write was short.
    int Exchange(ISerBase* port, const unsigned char* frame, int len, unsigned long pauseUs,
                 unsigned char* rbuf, int cap, int timeoutMs = 0);
    // The same, then reads until rule accepts a frame (SMReadReply): its length at the start
    // of rbuf, 0 when none came, -1 when the port is missing or closed, the write was short or
    // the device refused the request.
    int Exchange(ISerBase* port, const unsigned char* frame, int len, unsigned long pauseUs,
                 unsigned char* rbuf, int cap, const CSMReplyRule& rule, int timeoutMs = 0);
    // Held at the largest unsigned long where a 32-bit one cannot hold the microseconds.
    static unsigned long ReplyPauseUs(int waitMs, int defaultMs)
    {
        int ms = waitMs >= 101 ? waitMs : defaultMs;
        unsigned long long us = ms > 0 ? static_cast<unsigned long long>(ms) * 1000ULL : 0ULL;
        return us > ULONG_MAX ? ULONG_MAX : static_cast<unsigned long>(us);
    }

    int ItemVariant() const { return m_pItem ? m_pItem->Variant : 0; }
    int ItemSid() const { return m_pItem ? m_pItem->SID : 0; }
    int ItemType() const { return m_pItem ? m_pItem->Type : m_nType; }
    tagSMItem* Item() const { return m_pItem; }
    IDbBase* Db() const { return m_pDb; }
    IDbBase* Db2() const { return m_pDb2; }
    ISMManager* Manager() const { return m_pManager; }
    unsigned char* CmdBuf() { return m_cmdBuf; }

protected:
    void SetNote(const char* note);

    int m_nType;
    int m_nDataCount;
    ISMManager* m_pManager;
    IDbBase* m_pDb;
    IDbBase* m_pDb2;
    tagSMItem* m_pItem;
    void* m_pData;
    char m_szNote[NOTE_SIZE];
    int m_nFailCount;
    unsigned char m_cmdBuf[CMD_SIZE];
};

// A listed model: its own code and model name, base behaviour otherwise.
#define QVSM_MODEL(Class, Base, Code, Note)                \
    class Class : public Base {                            \
    public:                                                \
        Class() : Base(Code) { SetNote(Note); }            \
    };

// A listed model whose capability mask differs from 0.
#define QVSM_MODEL_MASK(Class, Base, Code, Note, Mask)     \
    class Class : public Base {                            \
    public:                                                \
        Class() : Base(Code) { SetNote(Note); }            \
        int GetMask() override { return Mask; }            \
    };

// A listed model without a model name of its own (keeps the base's note).
#define QVSM_MODEL_NONOTE(Class, Base, Code)               \
    class Class : public Base {                            \
    public:                                                \
        Class() : Base(Code) {}                            \
    };

#endif
