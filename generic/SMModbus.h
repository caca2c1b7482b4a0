// CSMModbus: any Modbus RTU / Modbus TCP device described by a definition file.
//
// The file names the blocks to read ([regs1]..[regs4]: start address = count, read with
// function code 1..4 in key order), the format of each register ([flds] "<register key>" =
// type letter and multiplier), bit splits ("<addr>bit" = bytes) and byte splits
// ("<addr>HL" = 1), the points ([flds] "1".."cnt" name register keys), the brief template
// and the controls ([comm] "Yk01".. = request PDU in hex).
//
// Register keys are Modicon numbers: table digit and address + 1 with at least four digits
// ("00001" coil, "10001" input, "30001" input register, "40001" holding register); derived
// keys "<key>-<bit>", "<key>-H", "<key>-L". Current values live in [vals] as decimal text.
//
// The poll is planned by UpdLoad from the blocks, formats and splits of the definition (the
// value slot of every key included); settings changed in the store afterwards take effect at
// the next UpdLoad. Readings stay in their slots between polls (DefVals).
//
// Tables tbModbus and tbModbusDat (Fld "V<key>"); DataUpd reports its last statement.
//
// Framing: Modbus TCP when the port's mode has QVSM_MODE_TCP and bit 0x10000 of the flag
// argument (waitMs of DataGet, len of DoFunc) is clear, else RTU (also over a network port).
#ifndef QVSM_GENERIC_SMMODBUS_H
#define QVSM_GENERIC_SMMODBUS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "generic/SMDefBase.h"

enum {
    MB_MAX_REGS = 125,     // registers per block (function codes 3 and 4)
    MB_MAX_BITS = 2000,    // coils / inputs per block (function codes 1 and 2)
    MB_REPLY_SIZE = 512,   // reply buffer
    MB_RTU_PDU_MAX = 61,   // control PDU bytes: address + PDU + CRC in the 64-byte request buffer
    MB_TCP_PDU_MAX = 57,   // control PDU bytes behind the 7-byte MBAP header
    MB_FLAG_RTU = 0x10000, // flag bit forcing RTU frames on a network port
};

// A register format of [flds]: an optional type letter, then an optional multiplier.
//   "" or "12" (starts with a digit): no letter; "S0.1": S, times 0.1;
//   after the letter one more leading non-digit is dropped: "L.5" is L times 5.
struct MbFormat {
    char type = 0;          // the letter, 0 for none
    bool scaled = false;    // text follows the letter: the value is multiplied
    double mult = 1.0;      // the multiplier (strtod of the text after the dropped character)
    std::string_view text;  // the multiplier text as used, a view into fmt ("" when none)
};
MbFormat MbParseFormat(std::string_view fmt);

// Types known for function codes 3 and 4: 0 (none), S s u U I l L F f; in byte mode also b.
bool MbKnownType(char type, bool byteMode);
// Registers a type consumes in register mode (2 for I l L F f, else 1).
int MbTypeRegs(char type);
// Bytes a type reads: register mode 2 or 4; byte mode 1, 2 (S s U u) or 4 (I l L F f).
int MbTypeBytes(char type, bool byteMode);
// Decodes one value at p, of which avail bytes were received. The F and f types apply their
// multiplier here (single precision, truncated). Returns the bytes read, 0 when the value
// needs bytes that were not received (value unchanged).
int MbDecode(const unsigned char* p, int avail, const MbFormat& f, bool byteMode, int32_t& value);
// The multiplier step for the other types: (int)(value * mult), truncated, saturated.
int32_t MbScale(int32_t value, const MbFormat& f);

// A [regsN] key that is a block: it does not contain "bit"; its leading decimal number is
// the start address ("5HL" is a block at 5, a key without a leading number one at 0).
bool MbBlockKey(std::string_view key, int& start);
// Whether a block fits the Modbus limits: 1..125 registers (fc 3, 4) or 1..2000 bits
// (fc 1, 2), start 0..65535, last address at most 65535.
bool MbBlockFits(int fc, int start, int count);
// Register key of function code fc and Modicon number (address + 1) into out.
// Returns its length, -1 when fc is not 1..4 or it does not fit.
int MbRegKey(char* out, size_t cap, int fc, int number);
// Bytes of a control PDU written in hex (two digits per byte, no separators), or -1 when
// the text is empty, of odd length or holds anything but hex digits.
int MbPduLen(std::string_view text);

class CSMModbus : public CSMDefBase {
public:
    explicit CSMModbus(int type);
    ~CSMModbus() override;

    // Common settings, then delayv (30), crc (1), DataByte (0); logs blocks and controls that
    // will be refused.
    int UpdLoad() override;

    // Pauses delay ms when delayv is set, then the point's current value (-1 when none).
    int DataVal(int fld) override;
    // Reads every block; 1 after a complete poll, 0 on any failure (values of the blocks
    // read before stay in [vals]).
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    // Control cmd: [comm] "Yk%02d" of (cmd & 0xFFFF) sent as one request. 1 when the reply
    // carries the request's function code.
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    using CSMBase::DoFunc;

    int TransId() const { return m_nTransId; }
    int DelayV() const { return m_nDelayV; }
    int Crc() const { return m_nCrc; }
    int DataByte() const { return m_nDataByte; }

private:
    // One register value of a block as the poll stores it: where it is read, its format, its
    // value slot and the slots of its splits (bits, then H and L).
    struct RegPlan {
        int off;        // byte offset in the block's data
        MbFormat f;
        int slot;
        int sub;        // first index in m_subSlots
        short need;     // bytes of the value
        short bits;     // bit splits
        bool hl;        // H and L follow the bits
        bool word;      // no type: the register as it is
        bool scale;     // multiplied after decoding (the float types apply it themselves)
    };
    // One block of a poll, in poll order.
    struct BlockPlan {
        int fc;
        int start;
        long long count;
        bool refused;   // over the Modbus limits: the poll fails here
        bool overrun;   // a value runs past the block: the poll fails after storing the others
        int reg0, regs; // range in m_regPlan (function codes 3 and 4)
        int bit0;       // first index in m_subSlots of the block's bits (function codes 1 and 2)
    };
    // The poll planned from the definition (at UpdLoad).
    void Plan();
    void PlanRegs(BlockPlan& b);

    int Poll(ISerBase* port, int addr, int waitMs);
    bool UseTcp(ISerBase* port, int flags) const;
    // One block: request, reply, decode into [vals]. false ends the poll.
    bool ReadBlock(ISerBase* port, int addr, int fc, int start, int count, bool tcp);
    void StoreBits(int fc, int start, const unsigned char* data, int avail);
    bool StoreRegs(int fc, int start, int count, const unsigned char* data, int avail);

    std::vector<BlockPlan> m_blocks;
    int m_fcFirst[6] = {};           // blocks of function code fc: [m_fcFirst[fc], m_fcFirst[fc + 1])
    std::vector<RegPlan> m_regPlan;
    std::vector<int> m_subSlots;
    const BlockPlan* m_block = nullptr;  // the block being read

    int m_nTransId = 1;
    int m_nDelayV = 30;
    int m_nCrc = 1;
    int m_nDataByte = 0;
    bool m_bValPause = false;  // DataVal pauses delay ms (delayv set, delay above 0)
    unsigned char m_reply[MB_REPLY_SIZE];
};

#endif
