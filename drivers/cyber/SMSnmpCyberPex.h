// CSMSnmpCyberPex: precision air conditioner read over SNMP, 26 fixed objects into 26 points,
// table tbCyberPexS.
#ifndef QVSM_DRIVERS_CYBER_SMSNMPCYBERPEX_H
#define QVSM_DRIVERS_CYBER_SMSNMPCYBERPEX_H

#include "base/SMBase.h"
#include "generic/SMSnmpSession.h"

class CSMSnmpCyberPex : public CSMBase {
public:
    enum { POINTS = 26 };
    CSMSnmpCyberPex();

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int VarEval(char* var) override;

    static const char* const kNames[POINTS];  // the tbCyberPexS columns, in point order
    static const char* const kOids[POINTS];

private:
    int m_val[POINTS] = {};
    CSMSnmpSession::Room m_room;
};

#endif
