// CSMYdt1363: any device speaking YD/T 1363 (ASCII-hex frames "~VERADRCID1CID2LENGTH INFO
// CHKSUM\r") that has a definition file. The file names the command codes to poll ([comm]
// cid2), the layout of each reply's INFO (one section per code, "42H" for code 42), value
// types and factors, bit expansions, controls (CID2 45) and the points to register.
//
// Readings go to [vals] under "<section><nn>" (42H01) and, for expanded bits,
// "<section><nn>-<bit>" (42H03-5); an item sent as all "20" is stored empty.
//
// Tables tbYdt1363 and tbYdt1363Dat (Fld "V<key>").
//
// Limits: the request is built in the 64-byte command buffer, so an INFO text of more than
// 45 characters is refused (the command or control is not sent); a reply is read into a
// 512-character buffer, so a dmax above 512 is refused (the poll fails at that command).
// Version, CID1 and CID2 texts must be exactly two characters; other lengths are refused.
#ifndef QVSM_GENERIC_SMYDT1363_H
#define QVSM_GENERIC_SMYDT1363_H

#include <string>
#include <vector>

#include "generic/SMDefBase.h"

class CSMYdt1363 : public CSMDefBase {
public:
    enum { REPLY_MAX = 512, INFO_MAX = CMD_SIZE - 19, VALUE_SLOTS = 64 };

    explicit CSMYdt1363(int type);
    ~CSMYdt1363() override;

    int UpdLoad() override;

    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    using CSMBase::DoFunc;

    // One request frame "~" ver adr(%02X) cid1 cid2 LENGTH info CHKSUM "\r" into out (NUL
    // terminated). LENGTH carries the INFO length in characters with its check nibble on top
    // ("0000" without INFO). Returns 18 + INFO length, or -1 when the frame with its NUL does
    // not fit in cap or a version/CID text is not two characters.
    static int YdCmd(char* out, int cap, const char* ver, int addr, const char* cid1, const char* cid2,
                     const char* info);
    // One item at text: type F (8 characters, float, least significant byte first, times fac,
    // truncated), I (4 characters, unsigned 16-bit) or anything else (2 characters, one byte).
    static int YdVal(const char* text, const std::string& type, double fac);
    // Characters of one item of the type: 8, 4 or 2.
    static int YdDatSize(const std::string& type);
    // 1 when the chars characters at text are all "20" pairs (the device marks the item absent).
    static int YdDatNone(const char* text, int chars);
    // Asks the device for its protocol version (CID2 4F with version "00"); "" without a valid
    // answer.
    std::string YdVer(ISerBase* port, int addr);

    const std::string& Version() const { return m_ver; }

private:
    int Poll(ISerBase* port, int addr, int waitMs);
    // One command of the poll; false when the poll must stop.
    bool PollCommand(ISerBase* port, int addr, const std::string& ver, const std::string& code);
    // SendCmd into a text buffer of cap + 1 characters, NUL terminated; only a frame with
    // the request's ADR counts (CSMYdtRule).
    int Send(ISerBase* port, int addr, int len, char* reply, int cap);
    // A control or version reply: at least 9 characters and RTN's second and LENGTH's first
    // character both "0".
    static bool ReplyOk(const char* reply, int n);

    std::string m_dinfo = "I";
    int m_dmax = 200;
    int m_bak = 0;
    std::string m_ver;
    std::string m_cid1 = "60";
    std::vector<std::string> m_codes;  // [comm] cid2, read at load
    int m_values[VALUE_SLOTS] = {};
};

#endif
