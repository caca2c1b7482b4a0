// Intermediate base of a group of dio drivers.
#ifndef QVSM_DRIVERS_DIO_SMDIOBASE_H
#define QVSM_DRIVERS_DIO_SMDIOBASE_H

#include "base/SMBase.h"

class CSMDioBase : public CSMBase {
public:
    explicit CSMDioBase(int type);
    ~CSMDioBase() override;
};

#endif
