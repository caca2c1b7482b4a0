#include "drivers/dio/SMDio.h"

CSMDio::CSMDio() : CSMDioBase(2304)
{
    SetNote("DI-2416");
    m_nDataCount = 11;
}

int CSMDio::ChkDef(IDbBase* db, int force)
{
    if (!NeedDef(db, force)) return 0;
    return InsertChannelRows(db, 16, "开关量", 1, 1, 0, "拉低触发报警", 0, "");
}

int CSMDio::DataGet(ISerBase* port, int, int)
{
    switch (ItemVariant()) {
    case 0: return ReadStream(port);
    case 1:
        m_nDataCount = 25;
        return ReadGpio(8) ? 1 : 0;
    default: return 1;
    }
}

int CSMDio::ReadStream(ISerBase* port)
{
    if (!port || !port->IsOpen()) return 0;
    // The board sends its state by itself: nothing is requested. A missing second byte reads
    // as all four lines inactive.
    unsigned char b[2] = {0xFF, 0xFF};
    if (port->Read(b, 2, 0) <= 0) return 0;
    m_rec[0] = b[0];
    for (int i = 0; i < 8; ++i) m_rec[1 + i] = (b[0] >> i) & 1 ? 0 : 1;
    for (int i = 0; i < 4; ++i) m_rec[9 + i] = (b[1] >> i) & 1 ? 0 : 1;
    return 1;
}

int CSMDio::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    m_nChannels = m_nInputs = ItemVariant() == 1 ? 16 : 8;
    return StoreRecord(flags, almBits, snapId, sid, hist);  // the record stays after a failed poll
}
