// Water-leak detection: leak controllers on Modbus RTU (QV-LEAK, every 0x6xx code without a
// driver of its own, four controller variants) and the board's own sensing-cable input
// (QV-LEAK-X200: an IIO voltage and an indicator GPIO). Both write tbLeak.
#ifndef QVSM_DRIVERS_LEAK_SMLEAK_H
#define QVSM_DRIVERS_LEAK_SMLEAK_H

#include <cstdint>
#include <cstring>

#include "base/SMBase.h"

class CSMLeak : public CSMBase {
public:
    CSMLeak();

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    using CSMBase::DoFunc;
    int VarEval(char* text) override;

    // addr, func, reg, count, then 2 * count data bytes unchanged and the CRC (no byte
    // count); returns 2 * count + 8, or 0 when it does not fit the request buffer.
    int ModBusCmdN(unsigned char addr, unsigned char func, unsigned short reg, unsigned short count,
                   const unsigned char* data);

    struct Values {
        uint8_t kind, status, lineRB, lineYG;
        int32_t locate, lmd, cable, spare;
    };
    const Values& Vals() const { return m_v; }

protected:
    explicit CSMLeak(int type);
    // Corrections before storing; the summary text.
    virtual void Settle();
    virtual void Brief(char* out, int cap) const;

    int ReadRegs(ISerBase* port, int addr, int func, int reg, int count, unsigned long pauseMs, unsigned char* r,
                 int cap);
    unsigned long PauseMs() const;
    void ClearFirst16() { std::memset(&m_v, 0, 16); }

    Values m_v = {};
};

class CSMLeakX200 : public CSMLeak {
public:
    CSMLeakX200();

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    using CSMBase::DoFunc;
    int VarEval(char* text) override;

    int Sensitivity() const { return m_sens; }
    int Threshold() const { return m_threshold; }

protected:
    void Settle() override;
    void Brief(char* out, int cap) const override;

    int m_sens = 0;
    int m_threshold = 0;
};

#endif
