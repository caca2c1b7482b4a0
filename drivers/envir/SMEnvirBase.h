// Intermediate base of the environment-sensor family members: a member is a description
// (model, device word, family table, request, points) plus whatever is truly its own. The
// base registers the rows, creates the tables, reads registers over Modbus RTU, decodes
// them into the points and stores a poll like the temperature and humidity probe does.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRBASE_H
#define QVSM_DRIVERS_ENVIR_SMENVIRBASE_H

#include <string>
#include <vector>

#include "base/SMBase.h"

// How a point is taken from the words of the standard read.
enum EnvirFmt {
    EV_U16,  // one register, unsigned
    EV_S16,  // one register, two's complement
    EV_U32,  // two registers, high word first
    EV_BIT,  // one register (or coil), 1 when non-zero
};

// Alarm modes of the point rows.
enum { EV_NOCHK = 0, EV_ONOFF = 1, EV_ANALOG = 6 };

struct EnvirPoint {
    const char* name;   // FldName and family-table column
    const char* note;   // display name; also the summary label and a VarEval name
    int scale;          // divisor from the stored integer to the displayed value
    int mode;           // EV_ANALOG, EV_ONOFF or EV_NOCHK
    int lo;             // default lower limit; the normal level of an on/off point
    int hi;             // default upper limit
    const char* unit;   // printed after the value in the summary
    int off = -1;       // word of the standard read holding the point; -1: decoded by the driver
    int fmt = EV_U16;
    int group = 1;      // display group, and which family table holds the point
};

// An alarm input: 1 when its register is not 0, normal at 0 (the host alarms on any other
// value), no state column.
constexpr EnvirPoint OnOffPoint(const char* name, const char* note, int off, int group = 1)
{
    return {name, note, 1, EV_ONOFF, 0, 0, "", off, EV_BIT, group};
}

// The wind speed of the wind sensors, in tenths of m/s.
constexpr EnvirPoint kEnvirFan = {"Fan", "风速", 10, EV_ANALOG, 0, 200, "m/s", 0};

struct EnvirRead {
    unsigned char func;
    unsigned short reg;
    unsigned short count;
};

struct EnvirDesc {
    const char* note;    // model name
    const char* device;  // device word of the tbSMType row ("粉尘")
    const char* table;   // family table
    EnvirRead read;      // the standard request
    EnvirRead alt = {0, 0, 0};  // the request with Variant 1 (count 0: none)
};

// A family table of a member with several (group 0: every point, -1: none).
struct EnvirTable {
    const char* name;
    int group;
};

// What DataUpd stores of point i: its value (0 after a failed poll, almBits null) in v[i]
// and its state in st[i].
inline void EnvirStored(const int* almBits, const int* val, int n, int* v, int* st)
{
    for (int i = 0; i < n; ++i) {
        st[i] = CSMBase::PointState(almBits, i + 1);
        v[i] = almBits ? val[i] : 0;
    }
}

class CSMEnvirBase : public CSMBase {
public:
    enum { MAX_POINTS = 48, MAX_WORDS = 64, MAX_READS = 20, MAX_TABLES = 8, REPLY_CAP = 256, DEFAULT_PAUSE_MS = 100 };

    CSMEnvirBase(int type, const EnvirDesc& desc, const EnvirPoint* points, int n);

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int VarEval(char* var) override;

    // The value as displayed: "%d", or with one decimal per power of ten of the divisor.
    static int FmtValue(char* out, int cap, int value, int scale);
    // Column of a point's own state ("i" + name); on/off points have none.
    const char* StateCol(int i) const;

protected:
    // One poll into v (one int per point); 1 on success. The values are taken over only
    // when the whole poll succeeded. Default: every read of Requests, their words joined in
    // order, then Decode.
    virtual int Poll(ISerBase* port, int addr, int waitMs, int* v);
    // The reads of a poll into out (MAX_READS at most); default: the standard read, or the
    // alternative one with Variant 1.
    virtual int Requests(int variant, EnvirRead* out) const;
    // One read into words: registers, or 0/1 per coil and input. Default: Modbus RTU.
    virtual int ReadWords(ISerBase* port, int addr, const EnvirRead& rq, int waitMs, unsigned short* w);
    // Points from the joined words; default: each point with an offset by its format.
    virtual void Decode(const unsigned short* w, int nw, int* v) const;
    // The summary text of a stored poll (vals and st: per point). Default: "名称:值单位 (正常)"
    // for every point in the summary, separated by ",". Returns 0 when it does not fit.
    virtual int Brief(char* out, int cap, const int* vals, const int* st) const;
    // Whether point i (from 0) appears in the default summary.
    virtual bool InBrief(int) const { return true; }

    // Copies a member's fixed list of reads into out; returns their number.
    static int CopyReads(const EnvirRead* reads, int n, EnvirRead* out);
    // A member with several family tables, and titles of its display groups (heading rows).
    void SetTables(const EnvirTable* tables, int n);
    void SetGroupTitles(const char* const* titles, int n);

    const char* m_iface = "485接口";
    int m_val[MAX_POINTS] = {};

private:
    int RowCols(const EnvirTable& t, const int* vals, const int* st, SMCol* cols) const;

    std::string m_display;
    std::vector<EnvirPoint> m_points;
    std::vector<std::string> m_stCols;
    std::vector<EnvirTable> m_tables;
    std::vector<std::string> m_columns;  // per table
    std::vector<const char*> m_titles;
    EnvirRead m_read;
    EnvirRead m_alt;
};

#endif
