// Short messages in PDU mode: number fields, 7-bit/8-bit/UCS-2 user data, single and linked
// SMS-SUBMIT PDUs as hexadecimal text, and the AT+CMGS dialogue that sends them. Free
// functions, so that every alarm driver with a GSM modem can share them.
#ifndef QVSM_DRIVERS_ALARM_SMSMSCODEC_H
#define QVSM_DRIVERS_ALARM_SMSMSCODEC_H

#include <qvsm/qvsm.h>

// The message handed to the encoders (fixed layout).
struct SM_PARAM {
    char SCA[16];       // service-centre digits; empty: the centre stored in the SIM
    char TPA[16];       // destination digits, country code included
    char TP_PID;        // protocol identifier
    char TP_DCS;        // 0 7-bit, 8 UCS-2, other 8-bit
    char TP_SCTS[16];   // time stamp (not used when sending)
    char TP_UD[482];    // text, NUL-terminated (GBK for UCS-2)
};

enum {
    SMS_SEG_BYTES = 134,  // UCS-2 bytes of one message (67 characters)
    SMS_UCS2_MAX = 1024,  // UCS-2 form of a whole text (at most 8 segments)
    SMS_PDU_TEXT = 512,   // hexadecimal text of one PDU, NUL included
    SMS_NUM_MAX = 15,     // digits of a number field (16 bytes with the NUL)
    SMS_SCA_KEEP = 13,    // characters of a service-centre address kept from its end
};

// n bytes to 2n upper-case hexadecimal characters and a NUL; returns 2n.
int gsmBytes2String(const unsigned char* src, char* dst, int n);
// n hexadecimal characters to n / 2 bytes; returns n / 2.
int gsmString2Bytes(const char* src, unsigned char* dst, int n);
// Swaps each pair of characters (semi-octet order), an odd count padded with 'F'; the NUL-
// terminated result in dst (n + 2 bytes). Returns the padded length.
int gsmInvertNumbers(const char* src, char* dst, int n);
// Undoes gsmInvertNumbers and drops a trailing 'F'; returns the length.
int gsmSerializeNumbers(const char* src, char* dst, int n);

// Packs n characters as GSM 7-bit septets (no translation). A final partial octet is
// written only by the character after it, so callers pass the text's NUL as well.
int gsmEncode7bit(const char* src, unsigned char* dst, int n);
int gsmDecode7bit(const unsigned char* src, char* dst, int n);
int gsmEncode8bit(const char* src, unsigned char* dst, int n);
int gsmDecode8bit(const unsigned char* src, char* dst, int n);
// The first n bytes of a GBK text as UCS-2 big-endian; dst holds 2n bytes. Returns bytes written.
int gsmEncodeUcs2(const char* src, unsigned char* dst, int n);
// n bytes of UCS-2 to GBK; dst holds 2n + 1 bytes. Returns its length.
int gsmDecodeUcs2(const unsigned char* src, char* dst, int n);

// One SMS-SUBMIT PDU (first octet 0x11, validity 00) as hexadecimal text in out
// (SMS_PDU_TEXT bytes). Returns its length in characters, 0 when it does not fit.
int gsmEncodePdu(const SM_PARAM* param, char* out);
// Segment index (1-based) of total of a linked message with reference ref (first octet 0x51,
// validity 01, header 05 00 03 ref total index). Returns the text length, 0 when refused.
int gsmEncodePdul(const SM_PARAM* param, char* out, int total, int index, int ref);

// UCS-2 bytes of a GBK text, and how many PDUs it takes.
int gsmUcs2Len(const char* gbk);
int gsmSegments(int ucs2Bytes);
// The octet count AT+CMGS names for a PDU text: its octets minus the service-centre part.
int gsmTpduLen(const char* pdu);

// A recipient in international form: a leading '+' dropped, "86" put in front when missing.
// Returns the length, or 0 (and "") when it is empty or longer than SMS_NUM_MAX.
int gsmIntlNumber(const char* in, char* out);
// The service-centre address of a "+CSCA:" answer: the text between the first pair of quotes
// after the tag, its last 13 characters, "86" in front when missing. Returns the length (0: none).
int gsmScaFromReply(const char* reply, char* out);

// rand() modulo n after seeding with the current time (0 for n == -1).
int getRandom(int n);

// Sends a message; 1 sent and confirmed, 2 sent without confirmation, 0 failed. crlf: CR LF
// after each Ctrl-Z.
int gsmSendSms(ISerBase* port, SM_PARAM* param, int crlf);
// The modem's final answer to a sent PDU: 1 OK, 2 something else, 0 nothing.
int endSendSms(ISerBase* port);

#endif
