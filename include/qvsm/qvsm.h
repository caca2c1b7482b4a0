// qvsm — the host contract of libqvsm.so.
//
// A host loads libqvsm.so, resolves the five C entry points below, obtains the one
// ISMManager and asks it for one ISMBase driver per device type code. The host implements
// ISerBase (one communication port) and IDbBase (one SQL database) and owns tagSMItem,
// its record of a configured device.
//
// The order of the virtual operations in every interface is a binary contract: a slot is
// the operation's position counted from 0 in declaration order. Never reorder, insert or
// remove an operation. Slots marked "placeholder" are ours: the module never calls them;
// they keep the called operations at their fixed positions and have neutral defaults.
//
// All text is NUL-terminated GBK (code page 936). SQL uses the SQLite dialect.
#ifndef QVSM_QVSM_H
#define QVSM_QVSM_H

#include <cstdint>

class ISerBase;
class IDbBase;
class ISMBase;
class ISMManager;

// Mode bit of ISerBase::GetMode: the port is a network (TCP) connection.
#define QVSM_MODE_TCP 0x200000u

// One communication port: an RS-485/RS-232 line or a network connection.
class ISerBase {
public:
    virtual int Reserved0() { return 0; }                                   // 0  placeholder
    virtual int Reserved1() { return 0; }                                   // 1  placeholder
    virtual int Reserved2() { return 0; }                                   // 2  placeholder
    virtual unsigned int GetMode() = 0;                                     // 3  mode word, QVSM_MODE_TCP
    virtual int Reserved4() { return 0; }                                   // 4  placeholder
    virtual int Open(int flags) = 0;                                        // 5  (re)opens; flags always 0
    virtual int Close() = 0;                                                // 6
    virtual int IsOpen() = 0;                                               // 7  non-zero: usable
    virtual int GetHandle() = 0;                                            // 8  file descriptor or -1
    virtual int Reserved9() { return 0; }                                   // 9  placeholder
    virtual int Reserved10() { return 0; }                                  // 10 placeholder
    virtual int Reserved11() { return 0; }                                  // 11 placeholder
    virtual int SetTimeout(unsigned int first, unsigned int total) = 0;     // 12
    virtual int Purge() = 0;                                                // 13 drop pending input
    // Stores at most cap bytes; 0 or negative: nothing. timeoutMs 0 = the port's default.
    virtual int Read(unsigned char* buf, int cap, int timeoutMs) = 0;       // 14
    virtual int Write(const unsigned char* buf, int len) = 0;               // 15 bytes written
    virtual int WriteStr(const char* text) = 0;                             // 16 bytes written

protected:
    ~ISerBase() = default;  // the module never destroys a port
};

// One SQL database of the host.
class IDbBase {
public:
    virtual int Reserved0() { return 0; }                                   // 0  placeholder
    virtual int Reserved1() { return 0; }                                   // 1  placeholder
    virtual int Reserved2() { return 0; }                                   // 2  placeholder
    virtual int Reserved3() { return 0; }                                   // 3  placeholder
    virtual int Reserved4() { return 0; }                                   // 4  placeholder
    virtual int Reserved5() { return 0; }                                   // 5  placeholder
    virtual int TableExists(const char* table) = 0;                         // 6  0: missing
    virtual int Exec(const char* sql) = 0;                                  // 7  0: success
    virtual int QueryInt(const char* sql) = 0;                              // 8  first column of first row, 0 if none
    virtual const char* QueryStr(const char* sql) = 0;                      // 9  never null; "" if no row
    virtual long long LastInsertId() = 0;                                   // 10
    virtual int Reserved11() { return 0; }                                  // 11 placeholder
    virtual int Reserved12() { return 0; }                                  // 12 placeholder
    virtual int Reserved13() { return 0; }                                  // 13 placeholder
    virtual int Reserved14() { return 0; }                                  // 14 placeholder
    virtual int Reserved15() { return 0; }                                  // 15 placeholder
    virtual int Query(const char* sql, int len) = 0;                        // 16 cursor on first row; <0 failure
    virtual bool Eof(int cursor) = 0;                                       // 17 true also for a negative cursor
    virtual int Next(int cursor) = 0;                                       // 18
    virtual int FreeQuery(int cursor) = 0;                                  // 19
    virtual int Reserved20() { return 0; }                                  // 20 placeholder
    virtual int Reserved21() { return 0; }                                  // 21 placeholder
    virtual int Reserved22() { return 0; }                                  // 22 placeholder
    virtual int Reserved23() { return 0; }                                  // 23 placeholder
    virtual int Reserved24() { return 0; }                                  // 24 placeholder
    virtual int Reserved25() { return 0; }                                  // 25 placeholder
    virtual int GetInt(int cursor, const char* column) = 0;                 // 26
    virtual int Reserved27() { return 0; }                                  // 27 placeholder
    virtual int Reserved28() { return 0; }                                  // 28 placeholder
    virtual int Reserved29() { return 0; }                                  // 29 placeholder
    virtual const char* GetStr(int cursor, const char* column) = 0;         // 30 never null

protected:
    ~IDbBase() = default;  // the module never destroys a database
};

// The host's record of one configured device. The layout is qvsm's own; drivers read the
// fields below and change only Param1. Text fields are NUL-terminated GBK.
struct tagSMItem {
    int SID;            // device id in the host database
    int Type;           // configured device type code
    int Variant;        // protocol variant of the model
    int DetailKey;      // 2: tbSubSysDetail point rows keyed by sid,type,Fld; else SIDD,Fld
    ISerBase* Ser;      // port of the device (used by the 3-argument DoFunc)
    int Port;           // port number stored in the family table
    int Addr;           // bus address
    int DetailOn;       // non-zero: I/O drivers update the device's own tbSubSysDetail row
    int Param1;         // model-specific option (drivers may store back its negative)
    int Param2;         // second model-specific option
    char Name[64];      // device name
    char AddrText[128]; // "host[:port]" of a device reached without the port
    char ConnText[128]; // SNMP connection text: 4 skipped chars, then addr:port:community:user:password
};

// Driver interface: 16 operations, no destructor.
class ISMBase {
public:
    virtual int GetType() = 0;                                                      // 0
    virtual const char* GetNote() = 0;                                              // 1
    virtual int GetMask() = 0;                                                      // 2
    virtual void SetManager(ISMManager* manager) = 0;                               // 3
    virtual int RegDb(IDbBase* db, int force) = 0;                                  // 4
    virtual void SetDb(IDbBase* db, int index) = 0;                                 // 5
    virtual int ChkDb(tagSMItem* item) = 0;                                         // 6
    virtual int DataSize() = 0;                                                     // 7
    virtual void* Data() = 0;                                                       // 8
    virtual int DataVal(int fld) = 0;                                               // 9
    virtual int DataGet(ISerBase* port, int addr, int waitMs) = 0;                  // 10
    virtual int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) = 0;  // 11
    virtual int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) = 0;  // 12
    virtual int DoFunc(int cmd, void* buf, int len) = 0;                            // 13
    virtual int DoItem(tagSMItem* item, int n) = 0;                                 // 14
    virtual int VarEval(char* text) = 0;                                            // 15

protected:
    ~ISMBase() = default;  // drivers are destroyed only by the manager
};

// Driver manager interface: 3 operations, no destructor (the host calls FreeSMManager).
class ISMManager {
public:
    virtual IDbBase* GetDb(int index) = 0;                                          // 0
    virtual void SetDb(IDbBase* db, int index) = 0;                                 // 1
    virtual ISMBase* GetSM(int type) = 0;                                           // 2

protected:
    ~ISMManager() = default;
};

extern "C" {
int DllType();                    // 0
const char* DllNote();            // "libqvsm.so for Supervison Module"
int DllVersion();                 // 1
ISMManager* GetSMManager(int);    // the one manager; clears the module log
int FreeSMManager();              // destroys the manager and every driver
}

// Types of the entry points, for dlsym.
typedef int (*PFN_DllType)();
typedef const char* (*PFN_DllNote)();
typedef int (*PFN_DllVersion)();
typedef ISMManager* (*PFN_GetSMManager)(int);
typedef int (*PFN_FreeSMManager)();

#endif
