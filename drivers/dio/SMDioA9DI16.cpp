#include "drivers/dio/SMDioA9DI16.h"

CSMDioA9DI16::CSMDioA9DI16() : CSMDioBase(2319)
{
    SetNote("A9DI16");
    m_nChannels = m_nInputs = m_nDataCount = 20;
}

int CSMDioA9DI16::DataGet(ISerBase*, int, int) { return ReadGpio(4) ? 1 : 0; }
