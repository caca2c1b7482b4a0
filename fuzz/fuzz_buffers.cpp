// The buffer helpers, the YD/T 1363 text decoders and the exchange routines of the driver
// base. The first byte chooses an address and a count for the requests; the rest is cut into
// port reads (a length byte, then that many bytes) for RtuRead, GetModBusData (RTU and TCP)
// and GetYdn23Data, and is also fed whole to the helpers.
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/BufHelper.h"
#include "base/SMBase.h"
#include "base/SMEnv.h"
#include "base/TeFrame.h"
#include "tests/kit/ScriptPort.h"

namespace {
void NoSleep(unsigned long) {}

void Fill(ScriptPort& port, const uint8_t* data, size_t size)
{
    port.replies.clear();
    for (size_t i = 0; i < size;) {
        size_t n = data[i++];
        if (n > size - i) n = size - i;
        port.Reply(Bytes(data + i, data + i + n));
        i += n;
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SMSetSleepHook(NoSleep);
    if (size < 1) return 0;
    const int addr = 1 + (data[0] & 0x07);
    const int count = 1 + (data[0] >> 3);
    const uint8_t* body = data + 1;
    const size_t len = size - 1;

    CSMBase drv(1280);
    ScriptPort port;
    unsigned char rbuf[600];
    for (int func : {1, 3}) {
        Fill(port, body, len);
        drv.RtuRead(&port, addr, func, 0, count, 0, 0, rbuf, sizeof rbuf);
    }
    for (unsigned short tcp : {0, 1}) {
        Fill(port, body, len);
        drv.GetModBusData(rbuf, sizeof rbuf, &port, static_cast<unsigned char>(addr), 4, 0,
                          static_cast<unsigned short>(count), 0, 7, tcp);
    }
    Fill(port, body, len);
    drv.GetYdn23Data(rbuf, 128, &port, static_cast<unsigned char>(addr), 0x21, 0x60, 0x42, nullptr, 0, '~', '\r', 0);

    // Helpers over the whole input, in a buffer of its own size so overruns show.
    std::vector<unsigned char> buf(body, body + len);
    const unsigned char* p = buf.data();
    const int n = static_cast<int>(len);
    CBufHelper::crc16(p, static_cast<unsigned char>(n > 255 ? 255 : n));
    CBufHelper::sum(p, n);
    CBufHelper::Xor(p, n);
    CBufHelper::YdChk(p, n);
    CBufHelper::YdDatLen(p, n);
    TE_GetChkPack(p, n);
    TE_GetChkSum(p, static_cast<unsigned short>(n > 65535 ? 65535 : n));
    for (unsigned bit = 0; bit < 8u * len + 8; bit += 7) CBufHelper::GetBitState(p, static_cast<unsigned>(len), bit);
    std::vector<char> text(buf.begin(), buf.end());
    text.push_back(0);
    if (len >= 8) {
        CBufHelper::HexValF(text.data());
        TE_Ascii2float(p, 8);
        TE_Ascii2uint32(p, 8);
    }
    if (len >= 4) CBufHelper::HexVal(text.data(), 4);
    std::vector<char> out(3 * len + 8);
    CBufHelper::BufToStr(out.data(), p, n, ' ');
    std::vector<unsigned char> bytes(len / 2 + 8);
    CBufHelper::BufFromStr(bytes.data(), text.data(), static_cast<int>(len & ~size_t(1)));
    SMSetSleepHook(nullptr);
    return 0;
}
