#include "generic/SMModbus.h"

CSMModbus::CSMModbus(int type) : CSMDefBase(type, "QVMB-base", "QVMB-base") {}

CSMModbus::~CSMModbus() = default;
