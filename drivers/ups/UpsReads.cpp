// Reads of the UPS models that only read Modbus registers: Function/first register/count of
// each request, and where its words go. The register layouts are assumed, in the record's own
// order and units as the device sends them (no scaling), since the models' maps are not known:
//   a measurement block: words 0..21 are Vin1-3, Vout1-3, Iin1-3, Iout1-3, Fin1-3, Fout1-3,
//                        Pout1-3 and Tem, words 22..24 Vbatt, Pbatt, Mbatt (as far as it goes);
//   a status request:    its first word is the status word, bits 15..0 the flags b15..b0;
//   coils / inputs:      the flags from b0 upwards, also set in the status word.
#include "drivers/ups/UpsReads.h"

namespace {

// A measurement block and its battery words.
#define UPS_BLOCK(func, reg, count) {func, reg, count, UM_WORDS, 0, UPS_VIN1, 22}, {0, 0, 0, UM_WORDS, 22, UPS_VBATT, 3}
#define UPS_STATUSWORD(func, reg, count) {func, reg, count, UM_STATUS, 0, UPS_STATUS, 1}
#define UPS_FLAGS(func, reg, count, firstBit, take) {func, reg, count, UM_BITS, 0, firstBit, take}
#define UPS_COUNT(reads) static_cast<int>(sizeof reads / sizeof reads[0])
#define UPS_ROW(reads) {reads, UPS_COUNT(reads)}

// 789: 3/13/57 measurement block; 4/83/57 its first word the status word.
const UpsRead kHTxx[] = {UPS_BLOCK(3, 13, 57), UPS_STATUSWORD(4, 83, 57)};
// 791: 4/30000/40 measurement block; discrete inputs 10064/11 flags b0..b10, 10009/5 b11..b15.
const UpsRead kKstarModbus[] = {UPS_BLOCK(4, 30000, 40), UPS_FLAGS(2, 10064, 11, 0, 11), UPS_FLAGS(2, 10009, 5, 11, 5)};
// 792: 3/256/76 measurement block; 3/64/16 the status word first.
const UpsRead kApcMegGalaxy5000[] = {UPS_BLOCK(3, 256, 76), UPS_STATUSWORD(3, 64, 16)};
// 796: 4/100/58 measurement block, word 25 the status word.
const UpsRead kMR33[] = {UPS_BLOCK(4, 100, 58), {0, 0, 0, UM_STATUS, 25, UPS_STATUS, 1}};
// 800: 4/0/41 measurement block; discrete inputs 64/12 flags b0..b11, 13/4 b12..b15.
const UpsRead kHL[] = {UPS_BLOCK(4, 0, 41), UPS_FLAGS(2, 64, 12, 0, 12), UPS_FLAGS(2, 13, 4, 12, 4)};
// 801: 3/0/18 Vin1..Fout3 with coils 0/8 flags b0..b7; Variant 1: 3/4096/72 measurement block
// with coils 4096/16 flags b0..b15.
const UpsRead kMdCard[] = {{3, 0, 18, UM_WORDS, 0, UPS_VIN1, 18}, UPS_FLAGS(1, 0, 8, 0, 8)};
const UpsRead kMdCardAlt[] = {UPS_BLOCK(3, 4096, 72), UPS_FLAGS(1, 4096, 16, 0, 16)};
// 805: 3/1050/41 measurement block (Variant 1: 47 registers, words 41..45 Ved, Aed, VAed, Vdc,
// Fed); 3/1040/2 the status word first.
const UpsRead kModbusAdapter[] = {UPS_BLOCK(3, 1050, 41), UPS_STATUSWORD(3, 1040, 2)};
const UpsRead kModbusAdapterAlt[] = {UPS_BLOCK(3, 1050, 47), {0, 0, 0, UM_WORDS, 41, UPS_VED, 5},
                                     UPS_STATUSWORD(3, 1040, 2)};
// 806: 3/170/31 measurement block; 3/350/8 the status word first.
const UpsRead kGP3340KS[] = {UPS_BLOCK(3, 170, 31), UPS_STATUSWORD(3, 350, 8)};
// 809: 4/200/38 measurement block.
const UpsRead kYC[] = {UPS_BLOCK(4, 200, 38)};
// 810: 3/40040/29 measurement block; 3/40007/1 the status word; 3/40030/6 Ved, Aed, VAed, Vdc, Fed.
const UpsRead kHiplant[] = {UPS_BLOCK(3, 40040, 29), UPS_STATUSWORD(3, 40007, 1),
                            {3, 40030, 6, UM_WORDS, 0, UPS_VED, 5}};
// 811: 4/0/66 measurement block, word 25 the status word.
const UpsRead kHZZY[] = {UPS_BLOCK(4, 0, 66), {0, 0, 0, UM_STATUS, 25, UPS_STATUS, 1}};
// 814: 4/5000/41 measurement block; 4/5138/2 the status word first; discrete inputs 5000/16 flags
// b0..b15 (set over the status word's).
const UpsRead kKRB3320[] = {UPS_BLOCK(4, 5000, 41), UPS_STATUSWORD(4, 5138, 2), UPS_FLAGS(2, 5000, 16, 0, 16)};
// 818: 4/0/41 measurement block; discrete inputs 0/31 flags b0..b15 from its first 16; 64/36 and
// 200/7 are read (a poll fails without them) but not kept.
const UpsRead kSZAY[] = {UPS_BLOCK(4, 0, 41), UPS_FLAGS(2, 0, 31, 0, 16), UPS_FLAGS(2, 64, 36, 0, 0),
                         UPS_FLAGS(2, 200, 7, 0, 0)};

}  // namespace

const UpsModel kUpsHTxx = UPS_ROW(kHTxx);
const UpsModel kUpsKstarModbus = UPS_ROW(kKstarModbus);
const UpsModel kUpsApcMegGalaxy5000 = UPS_ROW(kApcMegGalaxy5000);
const UpsModel kUpsMR33 = UPS_ROW(kMR33);
const UpsModel kUpsHL = UPS_ROW(kHL);
const UpsModel kUpsMdCard = {kMdCard, UPS_COUNT(kMdCard), kMdCardAlt, UPS_COUNT(kMdCardAlt)};
const UpsModel kUpsModbusAdapter = {kModbusAdapter, UPS_COUNT(kModbusAdapter), kModbusAdapterAlt,
                                   UPS_COUNT(kModbusAdapterAlt)};
const UpsModel kUpsGP3340KS = UPS_ROW(kGP3340KS);
const UpsModel kUpsYC = UPS_ROW(kYC);
const UpsModel kUpsHiplant = UPS_ROW(kHiplant);
const UpsModel kUpsHZZY = UPS_ROW(kHZZY);
const UpsModel kUpsKRB3320 = UPS_ROW(kKRB3320);
const UpsModel kUpsSZAY = UPS_ROW(kSZAY);
