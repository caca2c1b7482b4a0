#include "drivers/ups/SMUpsBase.h"

CSMUpsBase::CSMUpsBase(int type) : CSMBase(type) {}

CSMUpsBase::~CSMUpsBase() = default;
