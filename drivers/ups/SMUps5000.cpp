#include "drivers/ups/SMUps5000.h"

CSMUps5000::CSMUps5000() : CSMUpsBase(790) { SetNote("QVUPS-5000"); }

int CSMUps5000::DataGet(ISerBase* port, int addr, int waitMs)
{
    if (!port || !port->IsOpen()) return 0;
    static const unsigned short kBlocks[6][2] = {{0, 57}, {45, 57}, {104, 9}, {130, 57}, {137, 57}, {140, 57}};
    unsigned short w[6][57] = {};
    for (int b = 0; b < 6; ++b) {
        UpsRead rq = {3, kBlocks[b][0], kBlocks[b][1], UM_WORDS, 0, 0, 0};
        if (!ReadWords(port, addr, rq, waitMs, w[b])) return 0;
        if (b == 0) Clear();
    }
    auto any = [](unsigned v, int lo, int hi) {
        unsigned mask = ((1u << (hi - lo + 1)) - 1u) << lo;
        return (v & mask) ? 1 : 0;
    };
    for (int p = 0; p < 3; ++p) {
        Val(UPS_VIN1 + p) = w[0][p];
        Val(UPS_IIN1 + p) = w[0][6 + p];
        Val(UPS_FIN1 + p) = w[0][9] / 10;
        Val(UPS_VOUT1 + p) = w[1][p];
        Val(UPS_IOUT1 + p) = w[1][6 + p];
        Val(UPS_FOUT1 + p) = w[1][9] / 10;
    }
    Val(UPS_VBATT) = w[2][0];
    Val(UPS_TEM) = w[2][2];
    Val(UPS_MBATT) = w[2][4] / 6;
    Val(UPS_PBATT) = w[2][5] * 10;

    int b[16] = {};
    b[15] = any(w[3][0], 13, 15);
    b[7] = any(w[4][0], 7, 8);
    b[6] = any(w[4][0], 2, 2);
    b[5] = any(w[4][0], 0, 0);
    b[4] = any(w[4][0], 12, 13);
    b[14] = any(w[4][1], 12, 13);
    b[13] = any(w[5][0], 0, 0);
    b[12] = any(w[5][0], 2, 2);
    b[11] = any(w[5][0], 6, 7);
    b[10] = any(w[5][0], 10, 10);
    b[9] = any(w[5][0], 11, 11);
    b[8] = any(w[5][3], 8, 9);
    b[3] = any(w[5][3], 10, 10);
    b[2] = any(w[5][3], 11, 11);
    b[1] = any(w[5][3], 12, 12);
    b[0] = any(w[5][3], 13, 13);
    Val(UPS_STATUS) = 0;
    for (int bit = 15; bit >= 0; --bit) SetFlag(bit, b[bit]);
    return 1;
}
