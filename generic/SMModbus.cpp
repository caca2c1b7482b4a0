#include "generic/SMModbus.h"

CSMModbus::CSMModbus(int type) : CSMBase(type)
{
    SetNote("QVMB-base");
    m_nDataCount = 1;
}

CSMModbus::~CSMModbus() = default;

int CSMModbus::LoadDef(const char*) { return -1; }
