// GSM modem on a serial line: AT commands, short messages in PDU mode (QV-ALM PT).
#ifndef QVSM_DRIVERS_ALARM_SMALMGSM_H
#define QVSM_DRIVERS_ALARM_SMALMGSM_H

#include "base/SMBase.h"
#include "drivers/alarm/SMSmsCodec.h"

class CSMAlmGsm : public CSMBase {
public:
    CSMAlmGsm();

    int GetMask() override { return 12; }
    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override { return fld == 1 ? m_nSignal : -1; }
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;

    int GsmTest(ISerBase* port);
    int GsmInit(ISerBase* port);
    int GsmSmsc(ISerBase* port);
    int GsmSms(ISerBase* port);

    // What the driver keeps between commands.
    int Signal() const { return m_nSignal; }
    int Inited() const { return m_bGsmInited; }
    const char* Smsc() const { return m_szSmsc; }
    const char* Number() const { return m_szNum; }
    const char* Text() const { return m_szText; }

private:
    bool VariantIs01() const { return Item() && (ItemVariant() == 0 || ItemVariant() == 1); }
    bool VariantIs23() const { return Item() && (ItemVariant() == 2 || ItemVariant() == 3); }
    int SetNumber(const char* num);
    int SetText(const char* text, int len);

    int m_nSignal;
    unsigned char m_bGsmInited;
    char m_szSmsc[SMS_NUM_MAX + 1];
    char m_szNum[SMS_NUM_MAX + 1];
    char m_szText[sizeof(SM_PARAM::TP_UD)];
    char m_szParam[256];
};

#endif
