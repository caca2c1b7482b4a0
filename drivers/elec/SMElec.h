// Power meter (QV-ELEC), and the driver of every 0x1xx code without one of its own. One
// object speaks many meter protocols: the item's Variant picks a row of the protocol table,
// and every row fills the same 24 three-phase quantities.
#ifndef QVSM_DRIVERS_ELEC_SMELEC_H
#define QVSM_DRIVERS_ELEC_SMELEC_H

#include <map>
#include <string>

#include "base/SMBase.h"

// The 24 points, in tbElec column order.
enum ElecPoint {
    EP_YGZDN, EP_ZYGGL, EP_AYGGL, EP_BYGGL, EP_CYGGL, EP_ZWGGL, EP_AWGGL, EP_BWGGL, EP_CWGGL,
    EP_ZSZGL, EP_ASZGL, EP_BSZGL, EP_CSZGL, EP_ZGLYS, EP_AGLYS, EP_BGLYS, EP_CGLYS, EP_PL,
    EP_ADY, EP_BDY, EP_CDY, EP_ADL, EP_BDL, EP_CDL, EP_COUNT
};

// How a row's joined register words become the 24 values.
enum ElecDecode {
    ED_HC,      // HCxxx: ratio registers, energy count and 15 measurement words
    ED_HC1,     // the single-phase form of HCxxx
    ED_U16,     // energy: two words; others: one word each
    ED_S16,     // as ED_U16, the others signed
    ED_U32,     // every value two words, high word first
    ED_F32,     // every value a big-endian float in V, A, kW, kvar, kVA, kWh, Hz
    ED_F32ABS,  // as ED_F32, taken as its absolute value
};

// Which points the consecutive values of a row fill (after the energy).
enum ElecOrder {
    EO_THREE,   // Zyggl .. Cdl: the 23 points after the energy in table order
    EO_SINGLE,  // Zyggl, Zwggl, Zszgl, Zglys, Pl, Ady, Adl: a single-phase meter
};

struct ElecRead {
    unsigned char func;
    unsigned short reg;
    unsigned short count;
    unsigned short pauseMs;  // between request and reply
};

struct ElecVariant {
    int variant;
    const char* name;
    ElecRead reads[6];
    int nReads;
    int decode;      // ElecDecode
    int energyOff;   // word of the energy in the joined words, -1: none
    int firstOff;    // word of the first further value
    int order;       // ElecOrder
    int n;           // number of further values
    int powerMul;    // factor of the twelve power values (Zyggl .. Cszgl)
    int frame;       // EF_*: how the requests are sent
    int ctl;         // DoFunc 128 option, -1: none
};

enum { EF_RTU, EF_TCP, EF_GET };  // RtuRead, GetModBusData over TCP, GetModBusData over RTU

class CSMElec : public CSMBase {
public:
    enum { MAX_WORDS = 128, REPLY_CAP = 256 };

    CSMElec();

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    int VarEval(char* text) override;

    // Function 16 (write registers) in the request buffer; returns 2 * count + 9.
    int ModBusCmdN(unsigned char addr, unsigned char func, unsigned short reg, unsigned short count,
                   unsigned char* data);

    // The protocol table and the row of a Variant (null: none, nothing is exchanged).
    static const ElecVariant* Variants(int* n);
    static const ElecVariant* FindVariant(int variant);
    // The 24 values from the joined words of a row's reads; PT and CT from the item.
    static void Decode(const ElecVariant& v, const unsigned short* w, int nw, int pt, int ct, int* out);
    // PT and CT carried in Param1: (word / 2000) mod 2000 and word mod 2000, 0 or 1 meaning 1.
    static void Ratios(int param1, int* pt, int* ct);
    // Day key of a local time: (tm_year + 1) * 10000 + (tm_mon + 1) * 100 + tm_yday.
    static int DayKey(const struct tm& t);

protected:
    // Summary of a poll: voltages and currents, then the alarmed points.
    int Brief(char* out, int cap, const int* almBits);
    // Daily energy accounting on the history database.
    void Account(IDbBase* hist, int sid);
    // One exchange of a row; words appended at w + *nw. 1 on success.
    int ReadRow(ISerBase* port, int addr, const ElecVariant& v, const ElecRead& rq, unsigned short* w, int* nw);

    int m_val[EP_COUNT] = {};
    std::map<int, int> m_dayKeys;  // SID -> day key last accounted
    int m_nDay = 0;
    unsigned short m_transId = 0;
};

#endif
