#include "drivers/dio/SMDioBase.h"

CSMDioBase::CSMDioBase(int type) : CSMBase(type) {}

CSMDioBase::~CSMDioBase() = default;
