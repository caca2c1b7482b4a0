// CSMSnmpPub: any SNMP agent that has a definition file. Single objects are read with GET,
// whole tables with repeated GET-BULK requests; readings are kept as text in [vals], from
// where DataVal, the brief template and tbSnmpDat take them. No control commands.
// Tables tbSnmp and tbSnmpDat (with ValStr for text readings); Fld is the [vals] key itself.
//
// The agent comes from the device's connection text: four characters skipped, then
// "address:port:community:user:password" (port 161, community "quorum" by default).
//
// Definition sections of its own:
//   [oids]     "<oid> = name"            scalar: [vals] name = printable value ("" on failure)
//              "<oid> = P:,2,3,"         table walk under <oid>; cells of the listed columns
//                                        go to [vals] "P<row>_<col>", the number of column-1
//                                        cells to [vals] "P" once the walk reached the end
//   [vals.str] "name = 1", "P.<col> = 1" text reading: backslashes become blanks, and the
//                                        reading is stored in ValStr instead of Val
//   [vals.ext] "P.<k+1> = 1"             statistics of table row k (0..31): [vals] "P_<k+1>a"
//                                        (sum of the listed cells / rows), "x" min, "X" max
#ifndef QVSM_GENERIC_SMSNMPPUB_H
#define QVSM_GENERIC_SMSNMPPUB_H

#include <string>
#include <string_view>
#include <vector>

#include "generic/SMDefBase.h"
#include "generic/SMSnmpSession.h"
#include "generic/snmp/snmp_pp.h"

class CSMSnmpPub : public CSMDefBase {
public:
    enum {
        CONN_FIELD_MAX = 15,       // characters kept of each connection-text field
        STAT_SLOTS = 32,           // statistics slots: table rows 0..31
        BULK_REPS = 10,            // repetitions of one GET-BULK
        WALK_MAX_BINDINGS = 100000 // a walk that returns more bindings is given up
    };

    // The agent named by a connection text.
    struct Conn {
        std::string addr;
        int port = 161;
        std::string comm = "quorum";
        std::string user;
        std::string pass;
    };

    explicit CSMSnmpPub(int type);
    ~CSMSnmpPub() override;

    int UpdLoad() override;

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    // One poll of the current device's agent (port and addr are not used): 0 without a
    // current device, when unloaded or when no SNMP session could be made; else 1, also when
    // the agent did not answer (its readings are then empty).
    int DataGet(ISerBase* port, int addr, int extra) override;
    int DoFunc(ISerBase*, int, int, void*, int) override { return 0; }
    using CSMBase::DoFunc;

    int Version() const { return m_nVer; }

    // Splits a connection text of at most cap bytes (it need not be NUL-terminated within
    // them). Fields over 15 characters are cut; an empty field keeps its default; a port of
    // 0 or outside 1..65535 gives 161.
    static Conn ParseConn(const char* text, size_t cap);
    // The [vals.str] key of a [vals] key: the decimal digits just before its first "." are
    // removed ("bat3.2" -> "bat.2"); a key without "." is its own lookup key.
    static std::string LookupKey(const std::string& key);
    // Backslashes of a text reading become blanks. GBK-aware: the second byte of a
    // double-byte character is left alone even when it is 0x5C.
    static void _strFix(std::string& text);

    // One GET of oid through the PDU (CSMSnmpSession::GetOne): the printable value, or "" when
    // the request failed; status (when given) receives the request's result.
    static std::string _oidGetStr(Snmp_pp::Snmp& snmp, Snmp_pp::Pdu& pdu, const Snmp_pp::SnmpTarget& target,
                                  const char* oid, int* status = nullptr);
    // The same, its first 32 characters read as a number in base (strtol); 0 on failure,
    // held at the int range.
    static int _oidGet(Snmp_pp::Snmp& snmp, Snmp_pp::Pdu& pdu, const Snmp_pp::SnmpTarget& target, const char* oid,
                       int base);

    // One binding of a table walk under base (baseLen sub-identifiers) for table prefix P
    // with column list cols. false when the walk is complete (a binding outside the base or
    // end of the MIB view). value is the binding's integer value, null when it has none.
    // Public for tests; DataGet feeds it the bindings of every GET-BULK answer.
    bool WalkCell(const Snmp_pp::Oid& base, const std::string& prefix, const std::string& cols,
                  const Snmp_pp::Oid& oid, unsigned long syntax, const char* text, const int* value);
    // Starts a walk of table P: clears the statistics and the row counter, reads the slots
    // enabled in [vals.ext].
    void WalkBegin(const std::string& prefix);
    // After a walk: the statistics readings of the enabled slots, when rows were counted.
    void WalkStats(const std::string& prefix);
    long WalkRows() const { return m_rows; }

private:
    class KeyText;
    // LookupKey of key, composed in room when it differs from key.
    static std::string_view LookupView(std::string_view key, KeyText& room);

    // One [oids] entry, planned at load: a poll reads the plan, not the section.
    struct Entry {
        std::string key;      // the identifier as written
        Snmp_pp::Oid oid;     // parsed once
        bool table = false;
        std::string name;     // scalar: the reading's name; table: its prefix P
        std::string cols;     // table: the column list
        int slot = -1;        // the reading's slot (a table's: its row count)
    };

    int Poll(ISerBase* port, int addr, int extra);
    // Reads one table; true when the walk reached its end. first (when given) receives the
    // result of the walk's first request.
    bool Walk(Snmp_pp::Snmp& snmp, const Snmp_pp::SnmpTarget& target, const Entry& e, int* first = nullptr);
    // A reading goes to ValStr when [vals.str] of its lookup key (LookupKey) is non-zero.
    bool TextReading(const std::string& key) const override;

    int m_nVer = 0;
    unsigned char m_statOn[STAT_SLOTS] = {};
    long long m_sum[STAT_SLOTS] = {};
    int m_min[STAT_SLOTS] = {};
    int m_max[STAT_SLOTS] = {};
    long m_rows = 0;
    std::vector<Entry> m_plan;
    // Kept between polls for their storage only: every poll starts them afresh.
    Snmp_pp::Pdu m_pdu;
    Snmp_pp::Vb m_first;
    Snmp_pp::Vb m_next;
    std::string m_text;
};

#endif
