// YD/T 1363 (YDN23) frame building and field decoding.
#ifndef QVSM_BASE_TEFRAME_H
#define QVSM_BASE_TEFRAME_H

int TE_CmdPack(unsigned char* buf, unsigned char ver, unsigned char cid1, unsigned char cid2,
               unsigned char adr, const unsigned char* info, int infoLen, unsigned char soi,
               unsigned char eoi);
unsigned short TE_GetChkLength(unsigned short lenid);
int TE_GetChkSum(const unsigned char* frame, unsigned short len);
int TE_GetChkPack(const unsigned char* frame, int len);
unsigned char TE_Ascii2uint8(const unsigned char* text, unsigned int n);
unsigned short TE_Ascii2uint16(const unsigned char* text, unsigned int n);
unsigned int TE_Ascii2uint32(const unsigned char* text, unsigned int n);
float TE_Ascii2float(const unsigned char* text, unsigned int n);
double TE_Ascii2double(const unsigned char* text, unsigned int n);
unsigned char TE_Ascii2Hex(unsigned char c);
unsigned char TE_Hex2AsciiHigh(unsigned char b);
unsigned char TE_Hex2AsciiLow(unsigned char b);

#endif
