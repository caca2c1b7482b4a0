// Intermediate base of a group of cyber drivers.
#ifndef QVSM_DRIVERS_CYBER_SMCYBERSTULZC7000BASE_H
#define QVSM_DRIVERS_CYBER_SMCYBERSTULZC7000BASE_H

#include "base/SMBase.h"

class CSMCyberStulzC7000Base : public CSMBase {
public:
    explicit CSMCyberStulzC7000Base(int type);
    ~CSMCyberStulzC7000Base() override;
};

#endif
