// Battery string monitor on Modbus RTU (QV-BAT100): string current, voltage and temperature,
// and per cell voltage, internal resistance and two temperatures, one tbBattVal row per cell.
#ifndef QVSM_DRIVERS_BATT_SMBATT100_H
#define QVSM_DRIVERS_BATT_SMBATT100_H

#include "base/SMBase.h"

class CSMBatt100 : public CSMBase {
public:
    enum { MAX_CELLS = 256, BLOCK = 64, DEFAULT_CELLS = 4 };

    CSMBatt100();

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    // waitMs: the number of cells to poll, 0 for the stored cell count.
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    using CSMBase::DoFunc;
    // cmd 0: the cell count becomes the low 16 bits of len (at most 256).
    int DoFunc(int cmd, void* buf, int len) override;

    int Cells() const { return m_d.cells; }
    int Polls() const { return m_d.polls; }
    // A cell count as stored: at most 256, and 4 for 0 or a negative setting.
    static int CellCount(int n);

protected:
    struct Values {
        unsigned short cells;
        unsigned short a, a2, v;
        short t;
        unsigned short cellV[MAX_CELLS];
        unsigned short cellR[MAX_CELLS];
        short cellT[MAX_CELLS];
        short cellT2[MAX_CELLS];
        int polls;
    } m_d = {};
};

#endif
