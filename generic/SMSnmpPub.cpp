#include "generic/SMSnmpPub.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace Snmp_pp;

namespace {
const SMDefFamily kFamily = {"tbSnmp", "tbSnmpDat", ",ValStr VARCHAR(128)", "", 0};
// Every GET re-points this binding; it only reserves the PDU's first place.
const char kFirstOid[] = "1.3.6.1.2.1.1.1.0";
}  // namespace

CSMSnmpPub::CSMSnmpPub(int type) : CSMDefBase(type, "QVMB-base", "QVSNMP-base", kFamily)
{
    m_pData = m_min;
    trace_sm_log("RtLog", "CSMSnmpPub new 0x%X=%d(%x)\n", static_cast<unsigned int>(reinterpret_cast<uintptr_t>(this)),
                 type, type);
}

CSMSnmpPub::~CSMSnmpPub()
{
    trace_sm_log("RtLog", "CSMSnmpPub delete 0x%X\n", static_cast<unsigned int>(reinterpret_cast<uintptr_t>(this)));
}

int CSMSnmpPub::UpdLoad()
{
    trace_sm_log("RtLog", "CSMSnmpPub UpdLoad\n");
    CSMDefBase::UpdLoad();
    m_nVer = m_ini.GetValue<int>(SEC_COMM, "ver", 0);
    if (m_nVer != version1 && m_nVer != version2c)
        trace_sm_log("RtLog", "type %d: ver %d is neither 0 (SNMPv1) nor 1 (SNMPv2c), every request is refused\n",
                     m_nType, m_nVer);
    for (auto it = m_ini.beginKey(SEC_OIDS); it != m_ini.endKey(SEC_OIDS); ++it)
        if (!Oid(it->first.c_str()).valid())
            trace_sm_log("RtLog", "type %d: [oids] %s is not a numeric object identifier\n", m_nType,
                         it->first.c_str());
    std::printf("CSMSnmpPub::UpdLoad  d=%d  %dms  tout=%d\n", m_nDebug, m_nDelay, m_nTimeout);
    return m_bLoaded ? 1 : 0;
}

CSMSnmpPub::Conn CSMSnmpPub::ParseConn(const char* text, size_t cap)
{
    Conn c;
    size_t len = text ? strnlen(text, cap) : 0;
    if (len <= 4) return c;
    std::string rest(text + 4, len - 4);
    std::string field[5];
    size_t start = 0;
    for (int i = 0; i < 5; ++i) {
        size_t colon = rest.find(':', start);
        field[i] = rest.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (field[i].size() > CONN_FIELD_MAX) {
            trace_sm_log("RtLog", "SNMP.dst field %d cut to %d characters\n", i + 1, CONN_FIELD_MAX);
            field[i].resize(CONN_FIELD_MAX);
        }
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    if (!field[0].empty()) c.addr = field[0];
    if (!field[1].empty()) {
        int port = std::atoi(field[1].c_str());
        if (port < 0 || port > 65535) {
            trace_sm_log("RtLog", "SNMP.dst port %s is out of range, 161 used\n", field[1].c_str());
            port = 0;
        }
        c.port = port == 0 ? 161 : port;
    }
    if (!field[2].empty()) c.comm = field[2];
    if (!field[3].empty()) c.user = field[3];
    if (!field[4].empty()) c.pass = field[4];
    return c;
}

std::string CSMSnmpPub::LookupKey(const std::string& key)
{
    size_t dot = key.find('.');
    if (dot == std::string::npos) return key;
    size_t b = dot;
    while (b > 0 && key[b - 1] >= '0' && key[b - 1] <= '9') --b;
    return key.substr(0, b) + key.substr(dot);
}

void CSMSnmpPub::_strFix(std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < text.size()) {
            ++i;  // trail byte of a double-byte character
        } else if (c == '\\') {
            text[i] = ' ';
        }
    }
}

std::string CSMSnmpPub::_oidGetStr(Snmp& snmp, Pdu& pdu, const SnmpTarget& target, const char* oid, int* result)
{
    // A table walk leaves a whole GET-BULK answer in the PDU: ask for the one object only.
    if (pdu.get_vb_count() != 1) {
        Vb one(Oid(oid ? oid : ""));
        pdu.set_vblist(&one, 1);
    } else {
        pdu[0].set_oid(Oid(oid ? oid : ""));
    }
    int status = snmp.get(pdu, target);
    if (result) *result = status;
    if (status == SNMP_CLASS_SUCCESS) {
        Vb vb;
        pdu.get_vb(vb, 0);
        std::string value = vb.get_printable_value();
        trace_sm_log("RtLog", "SNMP.get val=%s\n", value.c_str());
        return value;
    }
    trace_sm_log("RtLog", "SNMP.get err %s\n", Snmp::error_msg(status));
    return "";
}

int CSMSnmpPub::_oidGet(Snmp& snmp, Pdu& pdu, const SnmpTarget& target, const char* oid, int base)
{
    std::string value = _oidGetStr(snmp, pdu, target, oid);
    char text[33];
    size_t n = value.size() < 32 ? value.size() : 32;
    std::memcpy(text, value.data(), n);
    text[n] = 0;
    char* end = text;
    errno = 0;
    long v = std::strtol(text, &end, base);
    if (end == text || errno == EINVAL) return 0;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

void CSMSnmpPub::WalkBegin(const std::string& prefix)
{
    std::memset(m_sum, 0, sizeof m_sum);
    std::memset(m_min, 0, sizeof m_min);
    std::memset(m_max, 0, sizeof m_max);
    m_rows = 0;
    for (int n = 1; n <= STAT_SLOTS; ++n)
        m_statOn[n - 1] =
            static_cast<unsigned char>(m_ini.GetValue<int>(SEC_VALSEXT, prefix + "." + std::to_string(n), 0) & 0xFF);
}

bool CSMSnmpPub::WalkCell(const Oid& base, const std::string& prefix, const std::string& cols, const Oid& oid,
                          unsigned long syntax, const char* text, const int* value)
{
    unsigned long baseLen = base.len();
    if (oid.nCompare(baseLen, base) != 0 || syntax == sNMP_SYNTAX_ENDOFMIBVIEW) return false;
    if (oid.len() <= baseLen + 1) return true;
    unsigned long col = oid[baseLen];
    unsigned long row = oid[baseLen + 1];
    if (col == 1) ++m_rows;
    trace_sm_log("RtLog", "SNMP bulk %lu.%lu = %s\r\n", col, row, text ? text : "");
    char mark[32];
    std::snprintf(mark, sizeof mark, ",%lu,", col);
    if (cols.find(mark) == std::string::npos) return true;

    if (row < STAT_SLOTS && m_statOn[row]) {
        int v = value ? *value : 0;
        if (col == 1) {
            m_sum[row] = v;
            m_min[row] = v;
            m_max[row] = v;
        } else {
            m_sum[row] += v;
            if (v < m_min[row]) m_min[row] = v;
            if (v > m_max[row]) m_max[row] = v;
        }
    }
    std::string reading = text ? text : "";
    if (m_ini.GetValue<int>(SEC_VALSSTR, prefix + "." + std::to_string(col), 0) == 1) _strFix(reading);
    m_vals.SetText(m_vals.Slot(prefix + std::to_string(row) + "_" + std::to_string(col)), reading);
    return true;
}

void CSMSnmpPub::WalkStats(const std::string& prefix)
{
    bool any = false;
    for (unsigned char on : m_statOn) any = any || on;
    if (!any || m_rows == 0) return;
    for (int s = 0; s < STAT_SLOTS; ++s) {
        if (!m_statOn[s]) continue;
        std::string key = prefix + "_" + std::to_string(s + 1);
        m_vals.SetInt(m_vals.Slot(key + "a"), m_sum[s] / m_rows);
        m_vals.SetInt(m_vals.Slot(key + "x"), m_min[s]);
        m_vals.SetInt(m_vals.Slot(key + "X"), m_max[s]);
    }
}

bool CSMSnmpPub::Walk(Snmp& snmp, Pdu& pdu, const SnmpTarget& target, const std::string& oid,
                      const std::string& prefix, const std::string& cols, int* first)
{
    Oid base(oid.c_str());
    Vb next(base);
    pdu.set_vblist(&next, 1);
    long bindings = 0;
    int status;
    while ((status = snmp.get_bulk(pdu, target, 0, BULK_REPS)) == SNMP_CLASS_SUCCESS) {
        if (first) *first = status;
        first = nullptr;
        int n = pdu.get_vb_count();
        if (n == 0) {
            trace_sm_log("RtLog", "SNMP bulk %s: empty answer, walk ended\n", oid.c_str());
            return false;
        }
        Vb vb;
        for (int i = 0; i < n; ++i) {
            pdu.get_vb(vb, i);
            int v = 0;
            bool isInt = vb.get_value(v) == SNMP_CLASS_SUCCESS;
            if (!WalkCell(base, prefix, cols, vb.get_oid(), vb.get_syntax(), vb.get_printable_value(),
                          isInt ? &v : nullptr))
                return true;
        }
        // An agent must answer with identifiers beyond the one asked for; one that does not
        // (or never ends) would keep the walk going forever.
        if (!(next.get_oid() < vb.get_oid())) {
            trace_sm_log("RtLog", "SNMP bulk %s: answer at %s does not advance, walk ended\n", oid.c_str(),
                         vb.get_printable_oid());
            return false;
        }
        bindings += n;
        if (bindings >= WALK_MAX_BINDINGS) {
            trace_sm_log("RtLog", "SNMP bulk %s: over %d bindings, walk ended\n", oid.c_str(), WALK_MAX_BINDINGS);
            return false;
        }
        next = vb;
        pdu.set_vblist(&next, 1);
    }
    if (first) *first = status;
    trace_sm_log("RtLog", "SNMP bulk %s err %s\n", oid.c_str(), Snmp::error_msg(status));
    return false;
}

int CSMSnmpPub::DataGet(ISerBase* port, int addr, int extra)
{
    if (!m_pItem) return 0;
    m_vals.Begin();
    int r = Poll(port, addr, extra);
    m_vals.End();
    return r;
}

int CSMSnmpPub::Poll(ISerBase*, int addr, int extra)
{
    std::string conn(m_pItem->ConnText, strnlen(m_pItem->ConnText, sizeof m_pItem->ConnText));
    trace_sm_log("RtLog", "SNMP.def %s\n", conn.c_str());
    if (!m_bLoaded) return 0;

    Snmp::socket_startup();
    Conn c = ParseConn(m_pItem->ConnText, sizeof m_pItem->ConnText);
    trace_sm_log("RtLog", "SNMP.dst=%s  port=%d  comm=%s  u=%s  p=%s\n", c.addr.c_str(), c.port, c.comm.c_str(),
                 c.user.c_str(), c.pass.c_str());

    UdpAddress address(c.addr.c_str());
    address.set_port(static_cast<unsigned short>(c.port));
    CTarget target(address);
    target.set_version(static_cast<snmp_version>(m_nVer));
    target.set_readcommunity(c.comm.c_str());
    Pdu pdu;
    int status = SNMP_CLASS_SUCCESS;
    Snmp snmp(status, 0, false);
    if (status != SNMP_CLASS_SUCCESS) {
        trace_sm_log("RtLog", "SNMP.err %s\n", Snmp::error_msg(status));
        return 0;
    }
    pdu += Vb(Oid(kFirstOid));

    // The walk adds to [vals] while the keys of [oids] are read: copy them first.
    std::vector<std::pair<std::string, std::string>> entries;
    for (auto it = m_ini.beginKey(SEC_OIDS); it != m_ini.endKey(SEC_OIDS); ++it)
        entries.emplace_back(it->first, it->second.value);
    // An agent that does not answer the poll's first request is not there: the poll fails
    // after that one time-out instead of waiting out every request.
    bool first = true;
    auto dead = [&](int status) {
        if (!first) return false;
        first = false;
        if (status != SNMP_CLASS_TIMEOUT) return false;
        trace_sm_log("RtLog", "SNMP %s: no answer to the first request, poll failed\n", c.addr.c_str());
        m_ini.DeleteKey(SEC_VALS, "#all");
        return true;
    };
    for (const auto& e : entries) {
        const std::string& oid = e.first;
        size_t colon = e.second.find(':');
        if (colon == std::string::npos) {
            const std::string& name = e.second;
            if (name.empty()) {
                trace_sm_log("RtLog", "type %d: [oids] %s names no reading, skipped\n", m_nType, oid.c_str());
                continue;
            }
            int status = SNMP_CLASS_SUCCESS;
            std::string reading = _oidGetStr(snmp, pdu, target, oid.c_str(), &status);
            if (dead(status)) return 0;
            if (m_ini.GetValue<int>(SEC_VALSSTR, name, 0) == 1) _strFix(reading);
            m_vals.SetText(m_vals.Slot(name), reading);
            continue;
        }
        std::string prefix = e.second.substr(0, colon);
        std::string cols = e.second.substr(colon + 1);
        WalkBegin(prefix);
        int status = SNMP_CLASS_SUCCESS;
        bool done = Walk(snmp, pdu, target, oid, prefix, cols, &status);
        if (dead(status)) return 0;
        if (done) m_vals.SetInt(m_vals.Slot(prefix), m_rows);
        WalkStats(prefix);
    }

    if (m_nDebug > 0) {
        m_vals.End();  // the readings of this poll only
        std::printf("t=%d  iaddr=%d  iext=%d\n", m_nType, addr, extra);
        TraceVals();
    }
    return 1;
}

int CSMSnmpPub::RegDb(IDbBase* db, int force)
{
    trace_sm_log("RtLog", "CSMSnmpPub RegDb m=%d\n", force);
    return CSMDefBase::RegDb(db, force);
}

int CSMSnmpPub::ChkDb(tagSMItem* item)
{
    if (m_pDb && item)
        trace_sm_log("RtLog", "CSMSnmpPub ChkDb sid=%d %s\n", item->SID,
                     std::string(item->Name, strnlen(item->Name, sizeof item->Name)).c_str());
    return CSMDefBase::ChkDb(item);
}

bool CSMSnmpPub::TextReading(const std::string& key) const
{
    return m_ini.GetValue<int>(SEC_VALSSTR, LookupKey(key), 0) != 0;
}
