// Temperature and humidity probe on Modbus RTU (QV-TH485), and the driver of every 0x5xx
// code without one of its own.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIR_H
#define QVSM_DRIVERS_ENVIR_SMENVIR_H

#include "base/SMBase.h"

class CSMEnvir : public CSMBase {
public:
    CSMEnvir();

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int VarEval(char* var) override;

    unsigned short Tem() const { return m_tem; }
    unsigned short Hum() const { return m_hum; }

    // ".温度"/".Tem" and ".湿度"/".Hum" of the probes: the value in tenths as "%.1f" over var.
    static int EvalTemHum(char* var, int tem, int hum);

private:
    unsigned short m_tem = 0;  // tenths of a degree, unsigned as read
    unsigned short m_hum = 0;  // tenths of a percent
    unsigned char m_block[4] = {};  // Tem, Hum as big-endian words
};

#endif
