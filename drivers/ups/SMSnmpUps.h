// UPS units read over SNMP: fixed object lists, no definition file, no host port. The agent's
// address is the device's connection text from its fifth character up to the first ":"; port,
// version (SNMPv1), community "public", time-out and retries are the SNMP library's defaults.
#ifndef QVSM_DRIVERS_UPS_SMSNMPUPS_H
#define QVSM_DRIVERS_UPS_SMSNMPUPS_H

#include <string>

#include "drivers/ups/SMUps.h"
#include "drivers/ups/SMUpsBase.h"
#include "generic/snmp/snmp_pp.h"

// One poll's SNMP session with the connection steps and single GETs. An agent that lets the
// first request time out is taken as dead: later requests are not sent (they fail at once).
class CSMSnmpSession {
public:
    // Logs the connection text, cuts out the address; errTag prefixes the session error line.
    CSMSnmpSession(const tagSMItem& item, const char* errTag);
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

    Snmp_pp::Snmp& Session() { return m_snmp; }
    Snmp_pp::Pdu& PduRef() { return m_pdu; }
    const Snmp_pp::CTarget& Target() const { return m_target; }

    // The agent address of a connection text of at most cap bytes.
    static std::string AgentAddr(const char* conn, size_t cap);

private:
    int m_status = SNMP_CLASS_SUCCESS;
    Snmp_pp::IpAddress m_addr;
    Snmp_pp::CTarget m_target;
    Snmp_pp::Pdu m_pdu;
    Snmp_pp::Snmp m_snmp;
    int m_requests = 0;
    bool m_dead = false;
};

// 795: the record and table of the ASCII-protocol UPS; Fld 8 is the output load, Fld 9 the
// battery temperature.
class CSMSnmpUpsPowerNet : public CSMUps {
public:
    CSMSnmpUpsPowerNet();
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DoFunc(ISerBase*, int, int, void*, int) override { return 0; }
    using CSMBase::DoFunc;

protected:
    void Brief(char* out, int cap, const int* almBits) override;
};

// 798: the record and table of the ASCII-protocol UPS, 16 objects in one GET.
class CSMSnmpUpsIta0510k : public CSMUps {
public:
    CSMSnmpUpsIta0510k();
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DoFunc(ISerBase*, int, int, void*, int) override { return 0; }
    using CSMBase::DoFunc;
};

// 804: per-line input and output tables, battery scalars and flags.
class CSMSnmpUpsMgG5000 : public CSMUpsBase {
public:
    enum { MAX_LINES = 16 };  // lines beyond are not requested (an agent may answer any count)
    CSMSnmpUpsMgG5000();
    int DataGet(ISerBase* port, int addr, int waitMs) override;
};

// 807: per-phase values, record divisor 100.
class CSMSnmpUpsIta1620k : public CSMUpsBase {
public:
    CSMSnmpUpsIta1620k();
    int DataGet(ISerBase* port, int addr, int waitMs) override;
};

// 808: record divisor 1000 (load percentages in the summary); its object map is not known, so
// it answers DataGet with 0 like the other members that are only named.
class CSMSnmpUpsPowerNet3 : public CSMUpsBase {
public:
    CSMSnmpUpsPowerNet3() : CSMUpsBase(808)
    {
        SetNote("QV-UPS-POWERNET3");
        SetDivisor(1000);
    }
};

#endif
