#include "generic/SMSnmpPub.h"

CSMSnmpPub::CSMSnmpPub(int type) : CSMBase(type)
{
    SetNote("QVMB-base");
    m_nDataCount = 1;
}

CSMSnmpPub::~CSMSnmpPub() = default;

int CSMSnmpPub::LoadDef(const char*) { return -1; }
