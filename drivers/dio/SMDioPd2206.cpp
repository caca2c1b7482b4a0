#include "drivers/dio/SMDioPd2206.h"

CSMDioPd2206::CSMDioPd2206() : CSMDioBase(2307)
{
    SetNote("QV-PD220-6");
    m_nChannels = m_nDataCount = CHANNELS_USED;
    m_nInputs = INPUTS;
}

int CSMDioPd2206::ChkDef(IDbBase* db, int force)
{
    if (!NeedDef(db, force)) return 0;
    return InsertChannelRows(db, CHANNELS_USED, "开关量", 1, 1, 0, "", 0, "");
}

int CSMDioPd2206::DataGet(ISerBase* port, int addr, int waitMs)
{
    unsigned char r[5 + 2 * CHANNELS_USED];
    if (RtuRead(port, addr, 4, 0, CHANNELS_USED, waitMs, 100, r, sizeof r) < 0) return 0;
    m_rec[0] = 0;
    for (int i = 0; i < CHANNELS_USED; ++i) {
        m_rec[1 + i] = CBufHelper::wdFromBuf(r + 3 + 2 * i) != 0;
        m_rec[0] |= m_rec[1 + i] << i;
    }
    return 1;
}
