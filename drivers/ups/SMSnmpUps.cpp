#include "drivers/ups/SMSnmpUps.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Snmp_pp;

// ---- 795 ---------------------------------------------------------------------------------

CSMSnmpUpsPowerNet::CSMSnmpUpsPowerNet() : CSMUps(795)
{
    SetNote("QV-SANK");
    m_temFld = 9;
    m_allSpare = true;
}

int CSMSnmpUpsPowerNet::DataGet(ISerBase*, int, int)
{
    ClearAll();
    if (!m_pItem) return 0;
    CSMSnmpSession s(*m_pItem, "UpsPowerNet", m_room);
    if (!s.Ok()) return 0;
    static const struct {
        const char* oid;
        int fld;
    } kObjects[] = {
        {"1.3.6.1.4.1.318.1.1.1.3.2.1.0", 1},   {"1.3.6.1.4.1.318.1.1.1.3.2.2.0", 2},
        {"1.3.6.1.4.1.318.1.1.1.3.2.3.0", 3},   {"1.3.6.1.4.1.318.1.1.1.3.2.4.0", 4},
        {"1.3.6.1.4.1.318.1.1.1.3.2.5.0", 27},  {"1.3.6.1.4.1.318.1.1.1.2.2.1.0", 20},
        {"1.3.6.1.4.1.318.1.1.1.2.2.2.0", 9},   {"1.3.6.1.4.1.318.1.1.1.2.2.3.0", 21},
        {"1.3.6.1.4.1.318.1.1.1.2.2.7.0", 25},  {"1.3.6.1.4.1.318.1.1.1.2.2.8.0", 19},
        {"1.3.6.1.4.1.318.1.1.1.4.2.1.0", 5},   {"1.3.6.1.4.1.318.1.1.1.4.2.2.0", 7},
        {"1.3.6.1.4.1.318.1.1.1.4.2.3.0", 8},   {"1.3.6.1.4.1.318.1.1.1.4.2.4.0", 6},
        {"1.3.6.1.4.1.318.1.1.1.4.2.8.0", 28},  {"1.3.6.1.4.1.318.1.1.1.4.2.11.0", 29},
        {"1.3.6.1.4.1.318.1.1.1.4.2.12.0", 30},
    };
    for (const auto& o : kObjects) {
        V(o.fld) = s.GetAtoi(o.oid) * 10;
        if (s.Dead()) {
            ClearAll();
            return 0;
        }
    }
    V(UP_STATUS) = 0;
    for (int f = UP_B7; f <= UP_B0; ++f) V(f) = 0;
    V(UP_STATUS) = s.GetAtoi("1.3.6.1.4.1.318.1.1.1.11.1.1.0") & 0xFF;
    return 1;
}

void CSMSnmpUpsPowerNet::Brief(char* out, int cap, const int*)
{
    std::snprintf(out, static_cast<size_t>(cap), "输入电压:%1.1fV, 输出电压:%1.1fV, 输出负载:%.1f%%", Val(1) * 0.1,
                  Val(5) * 0.1, Val(8) * 0.1);
}

// ---- 798 ---------------------------------------------------------------------------------

CSMSnmpUpsIta0510k::CSMSnmpUpsIta0510k() : CSMUps(798)
{
    SetNote("QV-UPS-ITA0510K");
    // The 16 objects are taken as 1.3.6.1.4.1.13400.2.16.2.1.0 .. .16.0, in binding order.
    for (int i = 0; i < 16; ++i) {
        char oid[64];
        std::snprintf(oid, sizeof oid, "1.3.6.1.4.1.13400.2.16.2.%d.0", i + 1);
        m_objects[i] = Vb(Oid(oid));
    }
}

int CSMSnmpUpsIta0510k::DataGet(ISerBase*, int, int)
{
    ClearAll();
    if (!m_pItem) return 0;
    CSMSnmpSession s(*m_pItem, "UpsIta0510k", m_room);
    if (!s.Ok()) return 0;
    Pdu& pdu = s.PduRef();
    pdu.set_vblist(m_objects, 16);
    int status = s.Session().get(pdu, s.Target());
    if (status != SNMP_CLASS_SUCCESS) {
        trace_sm_log("RtLog", "UpsIta0510k SNMP.get err %s\n", Snmp::error_msg(status));
        return status == SNMP_CLASS_TIMEOUT ? 0 : 1;
    }
    // Binding position -> point.
    static const int kFld[16] = {UP_STATUS, 1, 2, 3, 4, 5, 6, 7, 27, 28, 8, 29, 30, UP_FED, UP_VBATT, UP_PBATT};
    for (int i = 0; i < 16 && i < pdu.get_vb_count(); ++i) {
        const Vb& vb = pdu[i];
        if (i == 0) trace_sm_log("RtLog", "UpsIta0510k upsState %s\n", vb.get_printable_value());
        int v = 0;
        if (vb.get_value(v) == SNMP_CLASS_SUCCESS) V(kFld[i]) = v;
    }
    return 1;
}

// ---- 804 ---------------------------------------------------------------------------------

CSMSnmpUpsMgG5000::CSMSnmpUpsMgG5000() : CSMUpsBase(804) { SetNote("QV-UPS-MG Galaxy5000"); }

int CSMSnmpUpsMgG5000::DataGet(ISerBase*, int, int)
{
    Clear();
    if (!m_pItem) return 0;
    CSMSnmpSession s(*m_pItem, "UpsMgG5000", m_room);
    if (!s.Ok()) return 0;
    char oid[64];
    auto get = [&](const char* fmt, int n) {
        std::snprintf(oid, sizeof oid, fmt, n);
        return s.GetInt(oid, 10);
    };
    int lines = s.GetInt(".1.3.6.1.4.1.705.1.6.1.0", 10);
    if (s.Dead()) return 0;
    for (int n = 1; n <= lines && n <= MAX_LINES; ++n) {
        int v = get(".1.3.6.1.4.1.705.1.6.2.1.2.%d", n);
        int f = get(".1.3.6.1.4.1.705.1.6.2.1.3.%d", n);
        int i = get(".1.3.6.1.4.1.705.1.6.2.1.6.%d", n);
        if (n > 3) continue;
        Val(UPS_VIN1 + n - 1) = v;
        Val(UPS_FIN1 + n - 1) = f;
        Val(UPS_IIN1 + n - 1) = i;
    }
    lines = s.GetInt(".1.3.6.1.4.1.705.1.7.1.0", 10);
    for (int n = 1; n <= lines && n <= MAX_LINES; ++n) {
        int v = get(".1.3.6.1.4.1.705.1.7.2.1.2.%d", n);
        int f = get(".1.3.6.1.4.1.705.1.7.2.1.3.%d", n);
        int p = get(".1.3.6.1.4.1.705.1.7.2.1.4.%d", n);
        int i = get(".1.3.6.1.4.1.705.1.7.2.1.5.%d", n);
        if (n > 3) continue;
        Val(UPS_VOUT1 + n - 1) = v;
        Val(UPS_FOUT1 + n - 1) = f;
        Val(UPS_POUT1 + n - 1) = p;
        Val(UPS_IOUT1 + n - 1) = i;
    }
    Val(UPS_VBATT) = s.GetInt(".1.3.6.1.4.1.705.1.5.5.0", 10);
    Val(UPS_TEM) = s.GetInt(".1.3.6.1.4.1.705.1.5.7.0", 10);
    Val(UPS_PBATT) = s.GetInt(".1.3.6.1.4.1.705.1.5.2.0", 10);
    Val(UPS_MBATT) = s.GetInt(".1.3.6.1.4.1.705.1.5.1.0", 10);

    // Flags: each stored as returned, and a non-zero one sets its bit of the status word.
    static const char* const kFlags[] = {".1.3.6.1.4.1.705.1.6.3.0", ".1.3.6.1.4.1.705.1.6.4.0",
                                         ".1.3.6.1.4.1.705.1.7.3.0", ".1.3.6.1.4.1.705.1.7.4.0",
                                         ".1.3.6.1.4.1.705.1.7.5.0", ".1.3.6.1.4.1.705.1.7.6.0",
                                         ".1.3.6.1.4.1.705.1.7.7.0", ".1.3.6.1.4.1.705.1.7.10.0",
                                         ".1.3.6.1.4.1.705.1.7.11.0"};
    static const char* const kB9[] = {".1.3.6.1.4.1.705.1.5.9.0", ".1.3.6.1.4.1.705.1.5.14.0",
                                      ".1.3.6.1.4.1.705.1.5.15.0", ".1.3.6.1.4.1.705.1.5.9.0"};
    int status = 0;
    for (int bit = 0; bit < 9; ++bit) {
        int v = s.GetInt(kFlags[bit], 10);
        Val(UPS_B0 - bit) = v;
        if (v) status |= 1 << bit;
    }
    for (const char* o : kB9) {
        int v = s.GetInt(o, 10);
        Val(UPS_B0 - 9) = v;
        if (v) status |= 1 << 9;
    }
    Val(UPS_STATUS) = status;
    return 1;
}

// ---- 807 ---------------------------------------------------------------------------------

CSMSnmpUpsIta1620k::CSMSnmpUpsIta1620k() : CSMUpsBase(807)
{
    SetNote("QV-UPS-ita 1620k");
    SetDivisor(100);
}

int CSMSnmpUpsIta1620k::DataGet(ISerBase*, int, int)
{
    Clear();
    if (!m_pItem) return 0;
    CSMSnmpSession s(*m_pItem, "UpsIta1620k", m_room);
    if (!s.Ok()) return 0;
    int phases = s.GetInt(".1.3.6.1.4.1.13400.2.27.2.1.1.0", 10);
    if (s.Dead()) return 0;
    // Per phase i (from 0) the objects i + 1, i + 7 and i + 16 are taken as its input voltage,
    // output voltage and output current, in hundredths.
    char oid[64];
    for (int i = 0; i < phases && i < 3; ++i) {
        static const int kOff[3] = {1, 7, 16};
        static const int kFld[3] = {UPS_VIN1, UPS_VOUT1, UPS_IOUT1};
        for (int k = 0; k < 3; ++k) {
            std::snprintf(oid, sizeof oid, ".1.3.6.1.4.1.13400.2.27.2.4.%d.0", i + kOff[k]);
            Val(kFld[k] + i) = s.GetInt(oid, 10);
        }
    }
    return 1;
}

// ---- 808 ---------------------------------------------------------------------------------

CSMSnmpUpsPowerNet3::CSMSnmpUpsPowerNet3() : CSMUpsBase(808)
{
    SetNote("QV-UPS-POWERNET3");
    SetDivisor(1000);
}

int CSMSnmpUpsPowerNet3::DataGet(ISerBase*, int, int)
{
    Clear();
    if (!m_pItem) return 0;
    CSMSnmpSession s(*m_pItem, "UpsPowerNet3", m_room);
    if (!s.Ok()) return 0;
    // The tables are taken as: input voltages ".9.2.3.1" (column 3 the voltage), and the output
    // phases ".9.3.3.1" (columns 3 voltage, 4 current, 10 load in percent); a cell's last
    // sub-identifier is its phase 1..3.
    struct Column {
        unsigned long col;
        int fld;
    };
    struct Table {
        const char* oid;
        Column cols[3];
        int n;
    };
    static const Table kTables[] = {
        {"1.3.6.1.4.1.318.1.1.1.9.2.3.1", {{3, UPS_VIN1}}, 1},
        {"1.3.6.1.4.1.318.1.1.1.9.3.3.1", {{3, UPS_VOUT1}, {4, UPS_IOUT1}, {10, UPS_POUT1}}, 3},
    };
    for (const Table& t : kTables) {
        s.Walk(t.oid, [&](const Oid& oid, const char* value) {
            unsigned long col = oid[s.WalkBase().len()];
            unsigned long phase = oid[oid.len() - 1];
            if (phase < 1 || phase > 3) return;
            for (int k = 0; k < t.n; ++k)
                if (t.cols[k].col == col) Val(t.cols[k].fld + static_cast<int>(phase) - 1) = std::atoi(value) * 10;
        });
        if (s.Dead()) return 0;
    }
    return 1;
}
