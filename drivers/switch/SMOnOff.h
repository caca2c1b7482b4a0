// Six-way switch-state input module on Modbus RTU (QV-PD220-6), and the driver of every
// 0x2xx code without one of its own. History keeps alarm rows always and normal rows at
// most once an hour.
#ifndef QVSM_DRIVERS_SWITCH_SMONOFF_H
#define QVSM_DRIVERS_SWITCH_SMONOFF_H

#include "base/SMBase.h"

class CSMOnOff : public CSMBase {
public:
    enum { INPUTS = 6 };

    CSMOnOff();

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int DoFunc(ISerBase*, int, int, void*, int) override { return 1; }
    int DoFunc(int, void*, int) override { return 1; }
    int VarEval(char* text) override;

protected:
    unsigned char m_sd[INPUTS] = {};  // 1: switch open
};

#endif
