#include "generic/SMSnmpPub.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Snmp_pp;

namespace {
const SMDefFamily kFamily = {"tbSnmp", "tbSnmpDat", ",ValStr VARCHAR(128)", "", 0};
// Every GET re-points this binding; it only reserves the PDU's first place.
const char kFirstOid[] = "1.3.6.1.2.1.1.1.0";
}  // namespace

// A key composed on the stack; one too long for the buffer is composed on the heap instead.
class CSMSnmpPub::KeyText {
public:
    KeyText& operator<<(std::string_view s)
    {
        if (m_heap.empty() && m_len + s.size() <= sizeof m_buf) {
            if (!s.empty()) std::memcpy(m_buf + m_len, s.data(), s.size());
            m_len += s.size();
            return *this;
        }
        if (m_heap.empty()) m_heap.assign(m_buf, m_len);
        m_heap.append(s.data(), s.size());
        return *this;
    }
    KeyText& operator<<(unsigned long n)
    {
        char b[24];
        int k = std::snprintf(b, sizeof b, "%lu", n);
        return *this << std::string_view(b, static_cast<size_t>(k));
    }
    std::string_view View() const { return m_heap.empty() ? std::string_view(m_buf, m_len) : std::string_view(m_heap); }

private:
    char m_buf[128];
    size_t m_len = 0;
    std::string m_heap;
};

CSMSnmpPub::CSMSnmpPub(int type)
    : CSMDefBase(type, "QVMB-base", "QVSNMP-base", kFamily), m_first(Oid(kFirstOid))
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
    m_plan.clear();
    for (auto it = m_ini.beginKey(SEC_OIDS); it != m_ini.endKey(SEC_OIDS); ++it) {
        Entry e;
        e.key = it->first;
        e.oid = Oid(e.key.c_str());
        if (!e.oid.valid())
            trace_sm_log("RtLog", "type %d: [oids] %s is not a numeric object identifier\n", m_nType, e.key.c_str());
        const std::string& v = it->second.value;
        size_t colon = v.find(':');
        e.table = colon != std::string::npos;
        e.name = e.table ? v.substr(0, colon) : v;
        if (e.table) e.cols = v.substr(colon + 1);
        if (e.table || !e.name.empty()) e.slot = m_vals.Slot(e.name);
        m_plan.push_back(std::move(e));
    }
    std::printf("CSMSnmpPub::UpdLoad  d=%d  %dms  tout=%d\n", m_nDebug, m_nDelay, m_nTimeout);
    return m_bLoaded ? 1 : 0;
}

CSMSnmpPub::Conn CSMSnmpPub::ParseConn(const char* text, size_t cap)
{
    Conn c;
    size_t len = text ? strnlen(text, cap) : 0;
    if (len <= 4) return c;
    std::string_view rest(text + 4, len - 4);
    std::string_view field[5];
    size_t start = 0;
    for (int i = 0; i < 5; ++i) {
        size_t colon = rest.find(':', start);
        field[i] = rest.substr(start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
        if (field[i].size() > CONN_FIELD_MAX) {
            trace_sm_log("RtLog", "SNMP.dst field %d cut to %d characters\n", i + 1, CONN_FIELD_MAX);
            field[i] = field[i].substr(0, CONN_FIELD_MAX);
        }
        if (colon == std::string_view::npos) break;
        start = colon + 1;
    }
    if (!field[0].empty()) c.addr.assign(field[0].data(), field[0].size());
    if (!field[1].empty()) {
        char digits[CONN_FIELD_MAX + 1];
        std::memcpy(digits, field[1].data(), field[1].size());
        digits[field[1].size()] = 0;
        int port = std::atoi(digits);
        if (port < 0 || port > 65535) {
            trace_sm_log("RtLog", "SNMP.dst port %s is out of range, 161 used\n", digits);
            port = 0;
        }
        c.port = port == 0 ? 161 : port;
    }
    if (!field[2].empty()) c.comm.assign(field[2].data(), field[2].size());
    if (!field[3].empty()) c.user.assign(field[3].data(), field[3].size());
    if (!field[4].empty()) c.pass.assign(field[4].data(), field[4].size());
    return c;
}

std::string CSMSnmpPub::LookupKey(const std::string& key)
{
    KeyText lookup;
    return std::string(LookupView(key, lookup));
}

std::string_view CSMSnmpPub::LookupView(std::string_view key, KeyText& room)
{
    size_t dot = key.find('.');
    if (dot == std::string_view::npos) return key;
    size_t b = dot;
    while (b > 0 && key[b - 1] >= '0' && key[b - 1] <= '9') --b;
    room << key.substr(0, b) << key.substr(dot);
    return room.View();
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
    std::string value;
    int status = CSMSnmpSession::GetOne(snmp, pdu, target, Oid(oid ? oid : ""), value);
    if (result) *result = status;
    return value;
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
    for (int n = 1; n <= STAT_SLOTS; ++n) {
        KeyText key;
        key << prefix << "." << static_cast<unsigned long>(n);
        m_statOn[n - 1] = static_cast<unsigned char>(m_ini.GetValue<int>(SEC_VALSEXT, key.View(), 0) & 0xFF);
    }
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
    KeyText str, key;
    str << prefix << "." << col;
    key << prefix << row << "_" << col;
    int slot = m_vals.Slot(key.View());
    if (m_ini.GetValue<int>(SEC_VALSSTR, str.View(), 0) == 1) {
        m_text.assign(text ? text : "");
        _strFix(m_text);
        m_vals.SetText(slot, m_text);
    } else {
        m_vals.SetText(slot, text ? text : "");
    }
    return true;
}

void CSMSnmpPub::WalkStats(const std::string& prefix)
{
    bool any = false;
    for (unsigned char on : m_statOn) any = any || on;
    if (!any || m_rows == 0) return;
    for (int s = 0; s < STAT_SLOTS; ++s) {
        if (!m_statOn[s]) continue;
        const long long value[3] = {m_sum[s] / m_rows, m_min[s], m_max[s]};
        const char* const tail[3] = {"a", "x", "X"};
        for (int k = 0; k < 3; ++k) {
            KeyText key;
            key << prefix << "_" << static_cast<unsigned long>(s + 1) << tail[k];
            m_vals.SetInt(m_vals.Slot(key.View()), value[k]);
        }
    }
}

bool CSMSnmpPub::Walk(Snmp& snmp, const SnmpTarget& target, const Entry& e, int* first)
{
    const Oid& base = e.oid;
    const char* oid = e.key.c_str();
    m_next.set_oid(base);
    m_pdu.set_vblist(&m_next, 1);
    long bindings = 0;
    int status;
    while ((status = snmp.get_bulk(m_pdu, target, 0, BULK_REPS)) == SNMP_CLASS_SUCCESS) {
        if (first) *first = status;
        first = nullptr;
        int n = m_pdu.get_vb_count();
        if (n == 0) {
            trace_sm_log("RtLog", "SNMP bulk %s: empty answer, walk ended\n", oid);
            return false;
        }
        for (int i = 0; i < n; ++i) {
            const Vb& vb = m_pdu[i];
            int v = 0;
            bool isInt = vb.get_value(v) == SNMP_CLASS_SUCCESS;
            if (!WalkCell(base, e.name, e.cols, vb.get_oid(), vb.get_syntax(), vb.get_printable_value(),
                          isInt ? &v : nullptr))
                return true;
        }
        // An agent must answer with identifiers beyond the one asked for; one that does not
        // (or never ends) would keep the walk going forever.
        const Vb& last = m_pdu[n - 1];
        if (!(m_next.get_oid() < last.get_oid())) {
            trace_sm_log("RtLog", "SNMP bulk %s: answer at %s does not advance, walk ended\n", oid,
                         last.get_printable_oid());
            return false;
        }
        bindings += n;
        if (bindings >= WALK_MAX_BINDINGS) {
            trace_sm_log("RtLog", "SNMP bulk %s: over %d bindings, walk ended\n", oid, WALK_MAX_BINDINGS);
            return false;
        }
        m_next = last;
        m_pdu.set_vblist(&m_next, 1);
    }
    if (first) *first = status;
    trace_sm_log("RtLog", "SNMP bulk %s err %s\n", oid, Snmp::error_msg(status));
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
    trace_sm_log("RtLog", "SNMP.def %.*s\n", static_cast<int>(strnlen(m_pItem->ConnText, sizeof m_pItem->ConnText)),
                 m_pItem->ConnText);
    if (!m_bLoaded) return 0;

    Snmp::socket_startup();
    Conn c = ParseConn(m_pItem->ConnText, sizeof m_pItem->ConnText);
    trace_sm_log("RtLog", "SNMP.dst=%s  port=%d  comm=%s  u=%s  p=%s\n", c.addr.c_str(), c.port, c.comm.c_str(),
                 c.user.c_str(), c.pass.c_str());

    // Session, target and request are made afresh for every poll (the PDU keeps only its
    // storage between polls).
    UdpAddress address(c.addr.c_str());
    address.set_port(static_cast<unsigned short>(c.port));
    CTarget target(address);
    target.set_version(static_cast<snmp_version>(m_nVer));
    target.set_readcommunity(c.comm.c_str());
    m_pdu.clear();
    int status = SNMP_CLASS_SUCCESS;
    Snmp snmp(status, 0, false);
    if (status != SNMP_CLASS_SUCCESS) {
        trace_sm_log("RtLog", "SNMP.err %s\n", Snmp::error_msg(status));
        return 0;
    }
    m_pdu += m_first;

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
    for (const Entry& e : m_plan) {
        if (!e.table) {
            if (e.name.empty()) {
                trace_sm_log("RtLog", "type %d: [oids] %s names no reading, skipped\n", m_nType, e.key.c_str());
                continue;
            }
            int status = CSMSnmpSession::GetOne(snmp, m_pdu, target, e.oid, m_text);
            if (dead(status)) return 0;
            if (m_ini.GetValue<int>(SEC_VALSSTR, e.name, 0) == 1) _strFix(m_text);
            m_vals.SetText(e.slot, m_text);
            continue;
        }
        WalkBegin(e.name);
        int status = SNMP_CLASS_SUCCESS;
        bool done = Walk(snmp, target, e, &status);
        if (dead(status)) return 0;
        if (done) m_vals.SetInt(e.slot, m_rows);
        WalkStats(e.name);
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
    KeyText room;
    return m_ini.GetValue<int>(SEC_VALSSTR, LookupView(key, room), 0) != 0;
}
