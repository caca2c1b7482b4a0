#include "generic/SMSnmpSession.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/SMLog.h"

using namespace Snmp_pp;

namespace {
// Every GET re-points this binding.
const char kFirstOid[] = "1.3.6.1.2.1.1.1.0";

std::string ConnOf(const tagSMItem& item)
{
    return std::string(item.ConnText, strnlen(item.ConnText, sizeof item.ConnText));
}
}  // namespace

std::string CSMSnmpSession::AgentAddr(const char* conn, size_t cap)
{
    size_t len = conn ? strnlen(conn, cap) : 0;
    if (len <= 4) return "";
    std::string rest(conn + 4, len - 4);
    return rest.substr(0, rest.find(':'));
}

CSMSnmpSession::CSMSnmpSession(const tagSMItem& item, const char* errTag)
    : m_addr(AgentAddr(item.ConnText, sizeof item.ConnText).c_str()), m_target(m_addr), m_snmp(m_status, 0, false)
{
    trace_sm_log("RtLog", "SNMP.def %s\n", ConnOf(item).c_str());
    Snmp::socket_startup();
    trace_sm_log("RtLog", "SNMP.dst %s\n", AgentAddr(item.ConnText, sizeof item.ConnText).c_str());
    if (m_status != SNMP_CLASS_SUCCESS) {
        trace_sm_log("RtLog", "%s SNMP.err %s\n", errTag, Snmp::error_msg(m_status));
        return;
    }
    m_pdu += Vb(Oid(kFirstOid));
    trace_sm_log("RtLog", "SNMP.get_vb_cnt %d\n", m_pdu.get_vb_count());
}

CSMSnmpSession::~CSMSnmpSession() { Snmp::socket_cleanup(); }

int CSMSnmpSession::Get(const char* oid, std::string& val)
{
    val.clear();
    if (m_dead) return SNMP_CLASS_TIMEOUT;
    if (m_pdu.get_vb_count() != 1) {
        Vb one(Oid(oid ? oid : ""));
        m_pdu.set_vblist(&one, 1);
    } else {
        m_pdu[0].set_oid(Oid(oid ? oid : ""));
    }
    int status = m_snmp.get(m_pdu, m_target);
    // Unanswered: a time-out, or no request could be sent at all (an agent's own error
    // status is positive and means it is there).
    if (m_requests++ == 0 && status < 0) m_dead = true;
    if (status != SNMP_CLASS_SUCCESS) {
        trace_sm_log("RtLog", "SNMP.get err %s\n", Snmp::error_msg(status));
        return status;
    }
    Vb vb;
    m_pdu.get_vb(vb, 0);
    val = vb.get_printable_value();
    trace_sm_log("RtLog", "SNMP.get val=%s\n", val.c_str());
    return status;
}

int CSMSnmpSession::GetInt(const char* oid, int base)
{
    std::string value;
    if (Get(oid, value) != SNMP_CLASS_SUCCESS) return 0;
    char text[33];
    size_t n = value.size() < 32 ? value.size() : 32;
    std::memcpy(text, value.data(), n);
    text[n] = 0;
    char* end = text;
    errno = 0;
    long v = std::strtol(text, &end, base);
    if (end == text) return 0;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

int CSMSnmpSession::GetAtoi(const char* oid)
{
    std::string value;
    if (Get(oid, value) != SNMP_CLASS_SUCCESS) return 0;
    return std::atoi(value.c_str());
}


int CSMSnmpSession::Walk(const char* base, const std::function<void(const Oid&, const char*)>& cell, int maxCells)
{
    if (m_dead) return 0;
    Oid root(base ? base : "");
    Vb next(root);
    m_pdu.set_vblist(&next, 1);
    int cells = 0;
    while (cells < maxCells) {
        int status = m_snmp.get_bulk(m_pdu, m_target, 0, 10);
        if (m_requests++ == 0 && status < 0) m_dead = true;
        if (status != SNMP_CLASS_SUCCESS) {
            trace_sm_log("RtLog", "SNMP bulk %s err %s\n", root.get_printable(), Snmp::error_msg(status));
            break;
        }
        int n = m_pdu.get_vb_count();
        if (n == 0) break;
        Vb vb;
        for (int i = 0; i < n; ++i) {
            m_pdu.get_vb(vb, i);
            const Oid& oid = vb.get_oid();
            if (oid.nCompare(root.len(), root) != 0 || oid.len() <= root.len() ||
                vb.get_syntax() == sNMP_SYNTAX_ENDOFMIBVIEW || cells >= maxCells)
                return cells;
            cell(oid, vb.get_printable_value());
            ++cells;
        }
        if (!(next.get_oid() < vb.get_oid())) break;  // an agent that does not advance
        next = vb;
        m_pdu.set_vblist(&next, 1);
    }
    return cells;
}
