// Temperature and humidity probe in its own framed protocol (QV-TH485, 1293), with the
// change of both readings since the previous good poll of the same device.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIREX_H
#define QVSM_DRIVERS_ENVIR_SMENVIREX_H

#include <map>

#include "base/SMBase.h"

class CSMEnvirEx : public CSMBase {
public:
    CSMEnvirEx();

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int VarEval(char* var) override;

    // C1 addr cmd param(lo,hi) data 55 sum: buf must hold 7 + len bytes. Returns the length,
    // 0 when the frame would not fit the command buffer.
    int CmdPack(unsigned char* buf, unsigned char addr, unsigned char cmd, unsigned short param,
                unsigned char* data, unsigned short len);

private:
    short m_tem = 0;
    short m_hum = 0;
    unsigned short m_temRate = 0;
    unsigned short m_humRate = 0;
    unsigned char m_block[4] = {};
    std::map<int, int> m_prevTem;  // per SID; 0 in both maps: no previous reading
    std::map<int, int> m_prevHum;
};

#endif
