// Checks of Modbus RTU replies that drivers read with Exchange.
#ifndef QVSM_BASE_SMRTU_H
#define QVSM_BASE_SMRTU_H

#include "base/BufHelper.h"

// The CRC-16 of the first n - 2 bytes equals the last two bytes, low byte first. Replies
// shorter than 3 bytes or longer than the CRC routine takes are refused.
inline bool SMRtuCrcOk(const unsigned char* r, int n)
{
    if (!r || n < 3 || n - 2 > QVSM_CRC_MAX) return false;
    return CBufHelper::crc16(r, static_cast<unsigned char>(n - 2)) == CBufHelper::wdFromBufLH(r + n - 2);
}

#endif
