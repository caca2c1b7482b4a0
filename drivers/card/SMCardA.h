// Door access controller (type 3328, the default of the card kind): 34-byte packets, the
// latest access record per poll, new records kept in tbCardLog.
#ifndef QVSM_DRIVERS_CARD_SMCARDA_H
#define QVSM_DRIVERS_CARD_SMCARDA_H

#include "base/SMBase.h"

class CSMCardA : public CSMBase {
public:
    enum { PACK_LEN = 34, DATA_LEN = 26, LOG_MAX = 1500, LOG_KEEP = 1000 };

    // The value area: the last reply as received, then the decoded record.
    struct Record {
        unsigned char reply[PACK_LEN];
        int rec;        // record number (24 bits)
        int card;
        int date;       // year << 16 | month << 8 | day
        int time;       // hour << 16 | minute << 8 | second
        short st;
        short word15;   // reply bytes 15 and 16, low byte first
        short reason;
        short door;
        short byte28;
        int newEvent;   // 1 after a poll that took a record not seen before
    };

    CSMCardA();

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int n) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    using CSMBase::DoFunc;

    // Builds the packet in the request buffer: 0x7E, address and command (low byte first),
    // len bytes of data (one when len is 0), the sum of bytes 1..30, 0x0D. Returns 34, or 0
    // when the data does not fit its 26 bytes.
    int CmdPack(int addr, int cmd, const void* data, int len);
    // 1 when buf is a 34-byte packet with a good sum.
    static int ChkPack(const unsigned char* buf, int n);
    // Packed date and time of the date and time words of a record.
    static int DecodeDate(unsigned short w);
    static int DecodeTime(unsigned short w);

    const Record& Rec() const { return m_rec; }

private:
    // One exchange: the packet out, the reply into the value area. Reply length or -1.
    int Transact(ISerBase* port, int len, unsigned long pauseUs);

    Record m_rec;
};

#endif
