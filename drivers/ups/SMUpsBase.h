// CSMUpsBase: the three-phase UPS record of 63 points shared by the UPS models that derive
// from it, with its registration, table tbUpsEx, storage, summary and variables. A model fills
// the record in DataGet; a model that reads Modbus registers only describes its reads (UpsRead
// rows), the base sends them and decodes the words into the record.
#ifndef QVSM_DRIVERS_UPS_SMUPSBASE_H
#define QVSM_DRIVERS_UPS_SMUPSBASE_H

#include "base/SMBase.h"

// Point numbers (Fld) of the record.
enum {
    UPS_VIN1 = 1, UPS_VOUT1 = 4, UPS_IIN1 = 7, UPS_IOUT1 = 10, UPS_FIN1 = 13, UPS_FOUT1 = 16, UPS_POUT1 = 19,
    UPS_TEM = 22, UPS_STATUS = 23, UPS_B15 = 24, UPS_B0 = 39, UPS_VBATT = 40, UPS_PBATT = 41, UPS_MBATT = 42,
    UPS_VED = 43, UPS_AED = 44, UPS_VAED = 45, UPS_VDC = 46, UPS_FED = 47, UPS_V1 = 48,
    UPS_COMPANY = 52, UPS_MODE = 53, UPS_VERSION = 54, UPS_VB1 = 55, UPS_IB1 = 58, UPS_FB1 = 61,
    UPS_POINTS = 63
};

// The record in point order; Data() points to it.
struct UpsExRecord {
    int val[51];        // Fld 1..51
    char company[16];   // Fld 52
    char mode[16];      // Fld 53
    char version[16];   // Fld 54
    int bypass[9];      // Fld 55..63: VB1..VB3, IB1..IB3, FB1..FB3
};

// How the words of one read go into the record.
enum UpsMap : unsigned char {
    UM_WORDS,   // words off.. to consecutive points from fld, take of them
    UM_STATUS,  // word off is the status word; its bits 15..0 are the flags b15..b0
    UM_BITS,    // coils / discrete inputs off.. are flags from b<fld> upwards (also OR-ed into status)
};

// One Modbus RTU read of a model and where its words go. func 0: a further map of the words
// of the read before it (no request).
struct UpsRead {
    unsigned char func;
    unsigned short reg;
    unsigned short count;
    UpsMap map;
    unsigned char off;
    unsigned char fld;
    unsigned char take;
};

// A model of the family: its reads (by Variant: 1 takes alt when it has any).
struct UpsModel {
    const UpsRead* reads;
    int n;
    const UpsRead* alt = nullptr;
    int altN = 0;
};

class CSMUpsBase : public CSMBase {
public:
    enum { MAX_WORDS = 128, REPLY_CAP = 261, DEFAULT_PAUSE_MS = 200, TEXT_SIZE = 16 };

    explicit CSMUpsBase(int type);
    ~CSMUpsBase() override;

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int DoFunc(ISerBase*, int, int, void*, int) override { return 0; }
    using CSMBase::DoFunc;
    int VarEval(char* var) override;

    virtual int ChkDef(IDbBase* db, int force);  // slot 21: the point rows

    // A numeric point of the record (Fld 1..51, 55..63); a scratch value for any other.
    int& Val(int fld);
    int Val(int fld) const;
    const UpsExRecord& Rec() const { return m_rec; }
    int Divisor() const { return m_divisor; }
    // The summary of the record as stored (without the alarm part).
    void Brief(char* out, int cap) const;
    // Sets flag b<bit> (0..15) and bit <bit> of the status word from v (non-zero: 1).
    void SetFlag(int bit, int v);
    void Clear();

protected:
    // A model that reads Modbus registers: its reads (kept by pointer).
    void SetModel(const UpsModel& model) { m_model = &model; }
    void SetDivisor(int divisor) { m_divisor = divisor; }
    // Words of one read into w: registers, or 0/1 per coil and input; false on a failed read.
    bool ReadWords(ISerBase* port, int addr, const UpsRead& rq, int waitMs, unsigned short* w);
    // Applies one map to the count words of a read.
    void Apply(const UpsRead& rq, int count, const unsigned short* w);
    static void CopyText(char* dst, const char* src);

    UpsExRecord m_rec;
    int m_divisor = 10;

private:
    const UpsModel* m_model = nullptr;
    int m_scratch = 0;
};

// A model of the family whose reads are described by a UpsModel row.
#define QVSM_UPS_MODEL(Class, Code, Note, Model)             \
    class Class : public CSMUpsBase {                        \
    public:                                                  \
        Class() : CSMUpsBase(Code)                           \
        {                                                    \
            SetNote(Note);                                   \
            SetModel(Model);                                 \
        }                                                    \
    };

#endif
