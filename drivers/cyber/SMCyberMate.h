// Computer-room air-conditioning unit on YD/T 1363 (device class 0x60): analogue values,
// switch states, alarm states and set parameters in four commands, one row of 48 columns.
#ifndef QVSM_DRIVERS_CYBER_SMCYBERMATE_H
#define QVSM_DRIVERS_CYBER_SMCYBERMATE_H

#include "base/SMBase.h"

// Upper-case hex character of the high / low nibble of b.
unsigned char HASCII(unsigned char b);
unsigned char LASCII(unsigned char b);
// Value of "0".."9" and upper-case "A".."F"; 0 for any other character.
unsigned char ASCII2HEX(unsigned char c);
// YD/T 1363 LENGTH word of lenid (LCHKSUM in the top nibble).
unsigned short getLength(unsigned short lenid);

class CSMCyberMate : public CSMBase {
public:
    CSMCyberMate();

    enum { VALUES = 48, ANALOG = 5, SWITCHES = 7, ALARMS = 26, PARAMS = 10, READ_CAP = 120 };

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int n) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;

    // Column names in value order.
    static const char* const kColumns[VALUES];

private:
    struct Values {
        int analog[ANALOG];
        unsigned char sw[SWITCHES];
        unsigned char alarm[ALARMS];
        unsigned char param[PARAMS];
    };
    static_assert(sizeof(Values) == 64, "value area of 64 bytes");
    Values m_v = {};
};

#endif
