// Alarm dialler unit (QV3000): short messages, spoken calls, local speech and a relay over a
// framed serial protocol "AA len cmd payload xor 55".
#ifndef QVSM_DRIVERS_ALARM_SMALM3000_H
#define QVSM_DRIVERS_ALARM_SMALM3000_H

#include "base/SMBase.h"

// Port slots the protocol functions reach the port through; the dialler's constructor fills
// them with wrappers over the module-wide alarm port.
extern int (*open_port)(int n, int baud);
extern int (*send_data)(const unsigned char* buf, int len);
extern int (*recv_data)(unsigned char* buf, int len, int* got);
extern int (*close_port)(int n);
extern int (*set_timeout)(int first, int total);
extern int (*purge_port)(int n);

// The port the wrappers use (set by the dialler's DoItem).
ISerBase* AlmPort();
void SetAlmPort(ISerBase* port);

// XOR of n bytes.
unsigned char calc_chksum(const unsigned char* buf, int n);
// Sends AA, len (high byte first), cmd, payload, checksum, 55. 0 sent, 1 failed or too long.
int send_packet(unsigned char cmd, const unsigned char* data, int len);

// The protocol functions: 0 success, 1 failure. Status bytes: 0 means success.
int rmt_get_device_id(unsigned char id[4]);
int rmt_get_status(unsigned char status[4]);
int rmt_clr_tts_text();
int rmt_set_tts_text(const char* text);
int rmt_set_snapshot(const char* name);
int rmt_get_sig_qty(unsigned char* q);
int rmt_get_rmt_req(unsigned char req[20]);
int rmt_reset_gsm();
int rmt_send_sms(const char* number, const char* text, unsigned char* status);
int rmt_start_upload(unsigned char* status);
int rmt_upload_pic(const unsigned char* buf, int len);
int rmt_end_upload(unsigned char* status);
int rmt_do_send_mms(const char* number, unsigned char* status);
int rmt_reset_pstn();
int rmt_dial_num(const char* number);
int rmt_tts_local(const char* text);
int rmt_ctrl_relay(unsigned char relay, unsigned char state);
int rmt_read_io(unsigned char buf[4]);
int rmt_pstn_dial(const char* number, const char* text);
int rmt_send_mms(const char* number, const unsigned char* pic, int len);

class CSMAlm3000 : public CSMBase {
public:
    CSMAlm3000();

    int GetMask() override { return 31; }
    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int, int*, int*, int, IDbBase*) override { return 1; }
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    int DoItem(tagSMItem* item, int n) override;

    const char* Number() const { return m_szNum; }
    const char* Message() const { return m_szMsg; }
    const char* Text2() const { return m_szText2; }

private:
    int m_val[2];
    char m_szNum[16];
    char m_szMsg[512];
    char m_szText2[512];
};

#endif
