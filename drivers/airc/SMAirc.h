// Two-unit infrared air-conditioner controller (QV-AIRC), and the driver of every 0x7xx code
// without one of its own. Modbus-shaped frames with the controller's own function codes;
// words in its replies are low byte first.
#ifndef QVSM_DRIVERS_AIRC_SMAIRC_H
#define QVSM_DRIVERS_AIRC_SMAIRC_H

#include "base/SMBase.h"

class CSMAirc : public CSMBase {
public:
    CSMAirc();

    enum { POINTS = 27, READ_CAP = 100 };
    // Point numbers (unit 2 adds UNIT2).
    enum {
        F_SFKWD = 1, F_HFKWD, F_CT, F_HT, F_LT, F_OT, F_DL, F_HDL, F_LDL, F_STATUS, F_EXCEPT,
        UNIT2 = 11,
        F_DI1 = 23, F_DI2, F_DO1, F_DO2, F_EXTRA
    };

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    int VarEval(char* var) override;

    // addr, func, reg (high, low), count (high, low), count data bytes, CRC-16 low byte first,
    // in the command buffer. Returns count + 8, or 0 when the frame would not fit.
    int ModBusCmdN(unsigned char addr, unsigned char func, unsigned short reg, unsigned short count,
                   unsigned char* data);

    // Summary texts.
    static const char* StateText(int st);
    static const char* StatusText(int v);
    static const char* ExceptText(int v);

private:
    // Sends len bytes of the command buffer and reads at most cap bytes into r (zeroed first).
    // Returns the bytes read when the reply's CRC holds, else -1.
    int Ask(ISerBase* port, int len, unsigned char* r, int cap);

    unsigned int m_val[POINTS] = {};  // point n at [n-1]
};

#endif
