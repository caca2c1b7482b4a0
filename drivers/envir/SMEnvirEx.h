// Temperature and humidity probe in its own framed protocol (QV-TH485, 1293), with the
// change of both readings since the previous good poll of the same device.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIREX_H
#define QVSM_DRIVERS_ENVIR_SMENVIREX_H

#include <map>

#include "drivers/envir/SMEnvirTHBase.h"

class CSMEnvirEx : public CSMEnvirTHBase {
public:
    CSMEnvirEx();

    int ChkDb(tagSMItem* item) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;

    // C1 addr cmd param(lo,hi) data 55 sum: buf must hold 7 + len bytes. Returns the length,
    // 0 when the frame would not fit the command buffer.
    int CmdPack(unsigned char* buf, unsigned char addr, unsigned char cmd, unsigned short param,
                unsigned char* data, unsigned short len);

protected:
    void OnFault(int sid) override;

private:
    std::map<int, int> m_prevTem;  // per SID; 0 in both maps: no previous reading
    std::map<int, int> m_prevHum;
};

#endif
