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

// The address text on the stack (an IpAddress keeps its own copy).
struct AddrText {
    explicit AddrText(std::string_view v)
    {
        size_t n = v.size() < sizeof text - 1 ? v.size() : sizeof text - 1;
        if (n) std::memcpy(text, v.data(), n);
        text[n] = 0;
    }
    char text[sizeof(tagSMItem::ConnText) + 1];
};
}  // namespace

CSMSnmpSession::Room::Room() : first(Oid(kFirstOid)) {}

std::string_view CSMSnmpSession::AgentAddrView(const char* conn, size_t cap)
{
    size_t len = conn ? strnlen(conn, cap) : 0;
    if (len <= 4) return {};
    std::string_view rest(conn + 4, len - 4);
    return rest.substr(0, rest.find(':'));
}

std::string CSMSnmpSession::AgentAddr(const char* conn, size_t cap)
{
    return std::string(AgentAddrView(conn, cap));
}

CSMSnmpSession::CSMSnmpSession(const tagSMItem& item, const char* errTag, Room& room)
    : m_room(room),
      m_addr(AddrText(AgentAddrView(item.ConnText, sizeof item.ConnText)).text),
      m_target(m_addr),
      m_snmp(m_status, 0, false)
{
    trace_sm_log("RtLog", "SNMP.def %.*s\n", static_cast<int>(strnlen(item.ConnText, sizeof item.ConnText)),
                 item.ConnText);
    Snmp::socket_startup();
    std::string_view addr = AgentAddrView(item.ConnText, sizeof item.ConnText);
    trace_sm_log("RtLog", "SNMP.dst %.*s\n", static_cast<int>(addr.size()), addr.data());
    m_room.pdu.clear();
    if (m_status != SNMP_CLASS_SUCCESS) {
        trace_sm_log("RtLog", "%s SNMP.err %s\n", errTag, Snmp::error_msg(m_status));
        return;
    }
    m_room.pdu += m_room.first;
    trace_sm_log("RtLog", "SNMP.get_vb_cnt %d\n", m_room.pdu.get_vb_count());
}

CSMSnmpSession::~CSMSnmpSession() { Snmp::socket_cleanup(); }

int CSMSnmpSession::GetOne(Snmp& snmp, Pdu& pdu, const SnmpTarget& target, const Oid& oid, std::string& out)
{
    if (pdu.get_vb_count() == 0)
        pdu += Vb(oid);
    else
        pdu.trim(pdu.get_vb_count() - 1);
    pdu[0].set_oid(oid);
    int status = snmp.get(pdu, target);
    if (status == SNMP_CLASS_SUCCESS) {
        out.assign(pdu[0].get_printable_value());
        trace_sm_log("RtLog", "SNMP.get val=%s\n", out.c_str());
        return status;
    }
    out.clear();
    trace_sm_log("RtLog", "SNMP.get err %s\n", Snmp::error_msg(status));
    return status;
}

int CSMSnmpSession::Get(const char* oid, std::string& val)
{
    val.clear();
    if (m_dead) return SNMP_CLASS_TIMEOUT;
    m_room.oid.Parse(oid ? oid : "");
    int status = GetOne(m_snmp, m_room.pdu, m_target, m_room.oid, val);
    // Unanswered: a time-out, or no request could be sent at all (an agent's own error
    // status is positive and means it is there).
    if (m_requests++ == 0 && status < 0) m_dead = true;
    return status;
}

int CSMSnmpSession::GetInt(const char* oid, int base)
{
    std::string& value = m_room.val;
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
    if (Get(oid, m_room.val) != SNMP_CLASS_SUCCESS) return 0;
    return std::atoi(m_room.val.c_str());
}


int CSMSnmpSession::Walk(const char* base, FnRef<void(const Oid&, const char*)> cell, int maxCells)
{
    if (m_dead) return 0;
    Pdu& pdu = m_room.pdu;
    Oid& root = m_room.root;
    Vb& next = m_room.next;
    root.Parse(base ? base : "");
    next.set_oid(root);
    pdu.set_vblist(&next, 1);
    int cells = 0;
    while (cells < maxCells) {
        int status = m_snmp.get_bulk(pdu, m_target, 0, 10);
        if (m_requests++ == 0 && status < 0) m_dead = true;
        if (status != SNMP_CLASS_SUCCESS) {
            trace_sm_log("RtLog", "SNMP bulk %s err %s\n", root.get_printable(), Snmp::error_msg(status));
            break;
        }
        int n = pdu.get_vb_count();
        if (n == 0) break;
        for (int i = 0; i < n; ++i) {
            const Vb& vb = pdu[i];
            const Oid& oid = vb.get_oid();
            if (oid.nCompare(root.len(), root) != 0 || oid.len() <= root.len() ||
                vb.get_syntax() == sNMP_SYNTAX_ENDOFMIBVIEW || cells >= maxCells)
                return cells;
            cell(oid, vb.get_printable_value());
            ++cells;
        }
        const Vb& last = pdu[n - 1];
        if (!(next.get_oid() < last.get_oid())) break;  // an agent that does not advance
        next = last;
        pdu.set_vblist(&next, 1);
    }
    return cells;
}
