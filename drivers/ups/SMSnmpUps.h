// UPS units read over SNMP: fixed object lists, no definition file, no host port. The agent's
// address is the device's connection text from its fifth character up to the first ":"; port,
// version (SNMPv1), community "public", time-out and retries are the SNMP library's defaults.
#ifndef QVSM_DRIVERS_UPS_SMSNMPUPS_H
#define QVSM_DRIVERS_UPS_SMSNMPUPS_H

#include "drivers/ups/SMUps.h"
#include "drivers/ups/SMUpsBase.h"
#include "generic/SMSnmpSession.h"

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

private:
    CSMSnmpSession::Room m_room;
};

// 798: the record and table of the ASCII-protocol UPS, 16 objects in one GET.
class CSMSnmpUpsIta0510k : public CSMUps {
public:
    CSMSnmpUpsIta0510k();
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DoFunc(ISerBase*, int, int, void*, int) override { return 0; }
    using CSMBase::DoFunc;

private:
    CSMSnmpSession::Room m_room;
    Snmp_pp::Vb m_objects[16];  // the request's bindings, made once
};

// 804: per-line input and output tables, battery scalars and flags.
class CSMSnmpUpsMgG5000 : public CSMUpsBase {
public:
    enum { MAX_LINES = 16 };  // lines beyond are not requested (an agent may answer any count)
    CSMSnmpUpsMgG5000();
    int DataGet(ISerBase* port, int addr, int waitMs) override;

private:
    CSMSnmpSession::Room m_room;
};

// 807: per-phase values, record divisor 100.
class CSMSnmpUpsIta1620k : public CSMUpsBase {
public:
    CSMSnmpUpsIta1620k();
    int DataGet(ISerBase* port, int addr, int waitMs) override;

private:
    CSMSnmpSession::Room m_room;
};

// 808: three-phase tables walked column by column, values x 10, record divisor 1000.
class CSMSnmpUpsPowerNet3 : public CSMUpsBase {
public:
    CSMSnmpUpsPowerNet3();
    int DataGet(ISerBase* port, int addr, int waitMs) override;

private:
    CSMSnmpSession::Room m_room;
};

#endif
