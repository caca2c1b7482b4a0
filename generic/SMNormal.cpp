#include "generic/SMNormal.h"

CSMNormal::CSMNormal(int type) : CSMBase(type)
{
    SetNote("QVYD-base");
    m_nDataCount = 1;
}

CSMNormal::~CSMNormal() = default;

int CSMNormal::LoadDef(const char*) { return -1; }
