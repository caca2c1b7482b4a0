#include "generic/SMSnmpPub.h"

CSMSnmpPub::CSMSnmpPub(int type) : CSMDefBase(type, "QVMB-base", "QVSNMP-base") {}

CSMSnmpPub::~CSMSnmpPub() = default;
