// A poll's session with an SNMP agent for the drivers with fixed object lists: the connection
// steps (log lines, agent address from the device's connection text, target with the library's
// defaults) and single GETs.
#ifndef QVSM_GENERIC_SMSNMPSESSION_H
#define QVSM_GENERIC_SMSNMPSESSION_H

#include <qvsm/qvsm.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "generic/snmp/snmp_pp.h"

// One poll's SNMP session with the connection steps and single GETs. An agent that leaves the
// first request unanswered (time-out, or nothing could be sent) is taken as dead: later
// requests are not sent (they fail at once).
class CSMSnmpSession {
public:
    // What a driver keeps between polls for its storage only: every session starts the request
    // afresh on it, so that a steady poll allocates nothing.
    struct Room {
        Room();
        Snmp_pp::Pdu pdu;
        Snmp_pp::Vb first;  // the binding every GET re-points
        Snmp_pp::Vb next;
        Snmp_pp::Oid oid;
        Snmp_pp::Oid root;
        std::string val;
    };

    // A callable taken by reference for the length of one call.
    template <class Sig>
    class FnRef;
    template <class R, class... A>
    class FnRef<R(A...)> {
    public:
        template <class F>
        FnRef(F&& f)  // NOLINT: stands for the callable it is given
            : m_obj(const_cast<void*>(static_cast<const void*>(&f))),
              m_call([](void* o, A... a) -> R { return (*static_cast<std::remove_reference_t<F>*>(o))(a...); })
        {
        }
        R operator()(A... a) const { return m_call(m_obj, std::forward<A>(a)...); }

    private:
        void* m_obj;
        R (*m_call)(void*, A...);
    };

    // Logs the connection text, cuts out the address; errTag prefixes the session error line.
    CSMSnmpSession(const tagSMItem& item, const char* errTag, Room& room);
    ~CSMSnmpSession();
    CSMSnmpSession(const CSMSnmpSession&) = delete;
    CSMSnmpSession& operator=(const CSMSnmpSession&) = delete;

    bool Ok() const { return m_status == SNMP_CLASS_SUCCESS; }
    bool Dead() const { return m_dead; }
    // One GET through the first binding: the status; val receives the printable value.
    int Get(const char* oid, std::string& val);
    // The value read as a number in base (strtol of its first 32 characters); 0 on failure.
    int GetInt(const char* oid, int base);
    // atoi of the printable value; 0 on failure.
    int GetAtoi(const char* oid);
    // Walks the objects below base with GET-BULK (GET-NEXT for SNMPv1), handing each binding's
    // identifier and printable value to cell, until an answer leaves base, does not advance,
    // or fails; at most maxCells bindings. Returns the number of bindings handed out.
    int Walk(const char* base, FnRef<void(const Snmp_pp::Oid&, const char*)> cell, int maxCells = 1000);
    // The base of the current (or last) walk.
    const Snmp_pp::Oid& WalkBase() const { return m_room.root; }

    Snmp_pp::Snmp& Session() { return m_snmp; }
    Snmp_pp::Pdu& PduRef() { return m_room.pdu; }
    const Snmp_pp::CTarget& Target() const { return m_target; }

    // One GET of oid through the PDU, re-pointed to that single object (a walk may have left a
    // whole GET-BULK answer in it; the storage is reused): the request's result; out receives
    // the printable value, or "" when the request failed. Logs the value or the error.
    static int GetOne(Snmp_pp::Snmp& snmp, Snmp_pp::Pdu& pdu, const Snmp_pp::SnmpTarget& target,
                      const Snmp_pp::Oid& oid, std::string& out);

    // The agent address of a connection text of at most cap bytes.
    static std::string AgentAddr(const char* conn, size_t cap);

private:
    static std::string_view AgentAddrView(const char* conn, size_t cap);

    Room& m_room;
    int m_status = SNMP_CLASS_SUCCESS;
    Snmp_pp::IpAddress m_addr;
    Snmp_pp::CTarget m_target;
    Snmp_pp::Snmp m_snmp;
    int m_requests = 0;
    bool m_dead = false;
};

#endif
