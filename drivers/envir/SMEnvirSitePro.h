// Site controller over Modbus TCP: temperature/humidity, leak, digital inputs, air conditioner.
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRSITEPRO_H
#define QVSM_DRIVERS_ENVIR_SMENVIRSITEPRO_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirSitePro : public CSMEnvirBase {
public:
    CSMEnvirSitePro();

protected:
    int Requests(int variant, EnvirRead* out) const override;
    int ReadWords(ISerBase* port, int addr, const EnvirRead& rq, int waitMs, unsigned short* w) override;

private:
    unsigned short m_transId = 0;
};

#endif
