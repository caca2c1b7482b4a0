// CSMUps5000: three-phase UPS read over Modbus RTU in six blocks (measurements, battery and
// three alarm blocks whose bits become the flags b15..b0 and the status word).
#ifndef QVSM_DRIVERS_UPS_SMUPS5000_H
#define QVSM_DRIVERS_UPS_SMUPS5000_H

#include "drivers/ups/SMUpsBase.h"

class CSMUps5000 : public CSMUpsBase {
public:
    CSMUps5000();
    int DataGet(ISerBase* port, int addr, int waitMs) override;
};

#endif
