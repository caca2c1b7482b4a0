// CSMUps: single-phase UPS units with the ASCII query protocol ("Q1", "Q2", "F", "I" and the
// test commands); its 35-point record, registration and table tbUps are shared with the UPS
// units read over SNMP that keep the same record.
#ifndef QVSM_DRIVERS_UPS_SMUPS_H
#define QVSM_DRIVERS_UPS_SMUPS_H

#include "base/SMBase.h"

// The record in point order; Data() points to it.
struct UpsRecord {
    int val[30];        // Fld 1..30
    char company[16];   // Fld 31
    char mode[16];      // Fld 32
    char version[16];   // Fld 33
    int idRead;         // Fld 34: the "I" reply was decoded
    int ratingRead;     // Fld 35: the "F" reply was decoded
};

// Point numbers of the record.
enum {
    UP_VIN1 = 1, UP_VIN2 = 2, UP_VIN3 = 3, UP_FIN = 4, UP_VOUT = 5, UP_AOUT = 6, UP_FOUT = 7, UP_TEMP = 8,
    UP_STATUS = 10, UP_B7 = 11, UP_B0 = 18, UP_VBATT = 19, UP_PBATT = 20, UP_MBATT = 21, UP_VED = 22,
    UP_AED = 23, UP_VAED = 24, UP_VDC = 25, UP_FED = 26, UP_V1 = 27, UP_COMPANY = 31, UP_MODE = 32,
    UP_VERSION = 33, UP_POINTS = 35
};

class CSMUps : public CSMBase {
public:
    enum { REPLY_CAP = 256, TEXT_SIZE = 16, QUERY_PAUSE_MS = 150, MAX_MINUTES = 99 };
    enum { CMD_BEEPER = 1, CMD_TEST = 8000, CMD_TEST_MIN = 8001, CMD_TEST_LOW = 8002, CMD_TEST_CANCEL = 8003 };

    CSMUps();
    explicit CSMUps(int type);

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    using CSMBase::DoFunc;
    int VarEval(char* var) override;

    // Numbers of text[pos..len) separated by blanks, "/" and carriage returns, each atof x 100
    // (truncated); stops after max numbers. pos ends just after the separator that ended the
    // last number taken. Returns the count.
    static int GetVals(int* out, const char* text, int& pos, int len, int max);
    // The width characters of src without leading and trailing blanks into dst (width + 1
    // bytes); returns the length, 0 (and "") when all are blanks.
    static int IvalTrim(char* dst, const char* src, int width);

    int Val(int fld) const { return fld >= 1 && fld <= 30 ? m_rec.val[fld - 1] : 0; }
    const UpsRecord& Rec() const { return m_rec; }

protected:
    int& V(int fld) { return m_rec.val[fld - 1]; }
    // The summary of the record as stored, alarm part included when almBits has one.
    virtual void Brief(char* out, int cap, const int* almBits);
    // Clears the whole record (numbers and texts), keeping the two read flags.
    void ClearAll();

    UpsRecord m_rec;
    int m_temFld = UP_TEMP;     // the point stored in the column Tem
    bool m_allSpare = false;    // v2..v4 stored along with v1

private:
    // Sends text, waits and reads a reply of at most REPLY_CAP bytes into r (NUL-terminated).
    // The reply's length, or -1 when fewer than want bytes were written.
    int Query(ISerBase* port, const char* text, int want, int waitMs, char* r);
    static void Wait(int waitMs);
};

#endif
