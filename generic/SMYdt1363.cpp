#include "generic/SMYdt1363.h"

CSMYdt1363::CSMYdt1363(int type) : CSMBase(type)
{
    SetNote("QVYD-base");
    m_nDataCount = 1;
}

CSMYdt1363::~CSMYdt1363() = default;

int CSMYdt1363::LoadDef(const char*) { return -1; }
