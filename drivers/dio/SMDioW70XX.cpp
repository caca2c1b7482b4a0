#include "drivers/dio/SMDioW70XX.h"

namespace {
enum { PAUSE_MS = 100 };

int CrcOk(const unsigned char* r, int n)
{
    return n > 2 && CBufHelper::crc16(r, static_cast<unsigned char>(n - 2)) == CBufHelper::wdFromBufLH(r + n - 2);
}
}  // namespace

CSMDioW70XX::CSMDioW70XX() : CSMDioBase(2308)
{
    SetNote("W70XX");
    m_nChannels = m_nDataCount = INPUTS + OUTPUTS;
    m_nInputs = INPUTS;
}

int CSMDioW70XX::ChkDef(IDbBase* db, int force)
{
    if (!NeedDef(db, force)) return 0;
    int r = InsertChannelRows(db, INPUTS, "开关量", 1, 1, 0, "", 0, "");
    for (int i = INPUTS + 1; i <= INPUTS + OUTPUTS; ++i) {
        char name[8], note[32];
        std::snprintf(name, sizeof name, "D%02d", i);
        std::snprintf(note, sizeof note, "开关输出%d", i - INPUTS);
        r = InsertPoint(db, {0, i, name, 1, note, 0, 1, 0, 0, "", 0, "", 0});
    }
    return r;
}

int CSMDioW70XX::DataGet(ISerBase* port, int addr, int waitMs)
{
    unsigned char in[16], out[16];
    if (RtuRead(port, addr, 2, 0, INPUTS, waitMs, PAUSE_MS, in, sizeof in) < 0) return 0;
    if (RtuRead(port, addr, 1, 0, OUTPUTS, waitMs, PAUSE_MS, out, sizeof out) < 0) return 0;
    m_rec[0] = in[3] | (out[3] << 8);
    for (int i = 0; i < INPUTS; ++i) m_rec[1 + i] = (in[3] >> i) & 1;
    for (int i = 0; i < OUTPUTS; ++i) m_rec[1 + INPUTS + i] = (out[3] >> i) & 1;
    return 1;
}

int CSMDioW70XX::DoFunc(ISerBase* port, int addr, int cmd, void* buf, int)
{
    if (!port || !port->IsOpen() || !buf) return 0;
    unsigned value = *static_cast<unsigned char*>(buf);
    unsigned coil = static_cast<unsigned>(cmd) & 0xFFFF;
    unsigned func = (static_cast<unsigned>(cmd) >> 16) & 0xFF;
    unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    unsigned char r[REPLY_CAP];
    int len;
    if (func == 5) {
        if (ItemVariant() != 2) return 0;
        unsigned word = 0;
        if (value) word = (coil & 0xA0) ? 0xFF00 + value : 0xFF00;
        len = ModBusCmd(a, 5, static_cast<unsigned short>(coil), static_cast<unsigned short>(word));
    } else if (func == 0x46) {
        unsigned char* b = CmdBuf();
        const unsigned char head[7] = {a, 0x46, 4, static_cast<unsigned char>(value), 0, 0, 0};
        for (int i = 0; i < 7; ++i) b[i] = head[i];
        CBufHelper::wdToBufLH(b + 7, CBufHelper::crc16(b, 7));
        len = 9;
    } else {
        return 0;
    }
    int n = Exchange(port, CmdBuf(), len, ReplyPauseUs(0, PAUSE_MS), r, sizeof r, CSMRtuRule(a, func, -1));
    if (n <= 0 || !CrcOk(r, n)) return 0;
    if (func == 0x46 && n > 2 && r[2] == 0xC6) return 0;
    return 1;
}
