#include "drivers/leak/SMLeak.h"

#include <cstdio>
#include <cstring>

#include "base/SMArith.h"
#include "base/SMBoard.h"
#include "base/SMRtu.h"

namespace {
const SMPointDef kPoints[] = {
    {0, 2, "status", 1, "泄漏状态值", 0, 1, 1, 0, "1泄漏状态", 0, "", 0},
    {0, 3, "LineRB", 1, "红黑线断线值", 0, 1, 1, 0, "1红黑线断", 0, "", 0},
    {0, 4, "LineYG", 1, "黄绿线断线值", 0, 1, 1, 0, "1黄绿线断", 0, "", 0},
};
const SMTableDef kTable = {"tbLeak",
                           "Kind INTEGER,Status INTEGER,LineRB INTEGER,LineYG INTEGER,Locate INTEGER,Lmd INTEGER,"
                           "Cable INTEGER"};

unsigned short Word(const unsigned char* r, int i)
{
    return CBufHelper::wdFromBuf(r + 3 + 2 * i);
}

int Copy(char* text, const char* s)
{
    std::strcpy(text, s);
    return static_cast<int>(std::strlen(s));
}
}  // namespace

CSMLeak::CSMLeak() : CSMLeak(1536)
{
    SetNote("QV-LEAK");
}

CSMLeak::CSMLeak(int type) : CSMBase(type)
{
    m_nDataCount = 8;
    m_pData = &m_v;
}

int CSMLeak::RegDb(IDbBase* db, int force)
{
    const SMTypeDef type = {1536, "漏水检测 %s", "485接口..."};
    return RegDbRows(db, force, type, kPoints, 3);
}

int CSMLeak::ChkDb(tagSMItem* item)
{
    return ChkDbTable(item, kTable);
}

int CSMLeak::DataVal(int fld)
{
    switch (fld) {
    case 1: return m_v.kind;
    case 2: return m_v.status;
    case 3: return m_v.lineRB;
    case 4: return m_v.lineYG;
    case 5: return m_v.locate;
    case 6: return m_v.lmd;
    case 7: return m_v.cable;
    case 8: return m_v.spare;
    default: return -1;
    }
}

unsigned long CSMLeak::PauseMs() const
{
    int p2 = Item() ? Item()->Param2 : 0;
    if (p2 > 0) return static_cast<unsigned long>(p2);
    return ItemVariant() == 2 ? 200 : 0;
}

int CSMLeak::ReadRegs(ISerBase* port, int addr, int func, int reg, int count, unsigned long pauseMs,
                      unsigned char* r, int cap)
{
    return RtuRead(port, addr, func, reg, count, 0, static_cast<int>(pauseMs), r, cap);
}

int CSMLeak::ModBusCmdN(unsigned char addr, unsigned char func, unsigned short reg, unsigned short count,
                        const unsigned char* data)
{
    int len = 2 * count + 8;
    if (len > CMD_SIZE || (count && !data)) return 0;
    unsigned char* b = m_cmdBuf;
    b[0] = addr;
    b[1] = func;
    CBufHelper::wdToBuf(b + 2, reg);
    CBufHelper::wdToBuf(b + 4, count);
    if (count) std::memcpy(b + 6, data, 2u * count);
    CBufHelper::wdToBufLH(b + len - 2, CBufHelper::crc16(b, static_cast<unsigned char>(len - 2)));
    return len;
}

int CSMLeak::DataGet(ISerBase* port, int addr, int)
{
    ClearFirst16();
    if (!port || !port->IsOpen()) return 0;
    const unsigned long pause = PauseMs();
    unsigned char r[64];
    switch (ItemVariant()) {
    case 0: {
        if (ReadRegs(port, addr, 4, 1, 4, pause, r, 20) < 0) return 0;
        int r1 = Word(r, 0), r2 = Word(r, 1), r3 = Word(r, 2), r4 = Word(r, 3);
        bool leak = (r2 < 1001 || r3 > 4) && r1 < r4;
        if (!leak) r1 = 0;
        m_v.kind = 1;
        m_v.status = leak ? 1 : 0;
        m_v.locate = (r1 < 1000 && r1 < r4) ? r1 : 0;
        m_v.cable = r4 < 1000 ? r4 : 0;
        if (ReadRegs(port, addr, 3, 1, 1, pause, r, 10) < 0) return 0;
        m_v.lmd = Word(r, 0);
        m_v.spare = 0;
        if (ReadRegs(port, addr, 4, 4, 2, pause, r, 10) < 0) return 0;
        m_v.lineRB = Word(r, 0) > 4095;
        m_v.lineYG = Word(r, 1) > 4095;
        break;
    }
    case 1: {
        tagSMItem* it = Item();
        if (it && it->Param1 > 0) {
            // The cable length, sent once: acknowledged, it is stored negated.
            const unsigned char len[2] = {static_cast<unsigned char>((it->Param1 >> 8) & 0xFF),
                                          static_cast<unsigned char>(it->Param1 & 0xFF)};
            int n = ModBusCmdN(static_cast<unsigned char>(addr & 0xFF), 6, 8, 1, len);
            int k = Exchange(port, m_cmdBuf, n, pause * 1000UL, r, 50, CSMRtuRule(addr, 6, -1));
            if (k > 0 && SMRtuCrcOk(r, k)) {
                trace_log("RtLog", "SMLeak len:%d 0x%02x %02x\r\n", it->Param1, len[0], len[1]);
                it->Param1 = -it->Param1;
            }
        }
        if (ReadRegs(port, addr, 3, 0, 2, pause, r, 50) < 0) return 0;
        m_v.kind = 1;
        m_v.status = Word(r, 0) & 1;
        m_v.lineRB = (Word(r, 0) >> 1) & 1;
        m_v.lineYG = m_v.lineRB;
        m_v.locate = SMScale(Word(r, 1), 1.3);
        if (ReadRegs(port, addr, 3, 8, 4, pause, r, 50) < 0) return 0;
        m_v.cable = SMScale(Word(r, 0), 1.3);
        m_v.lmd = Word(r, 1);
        m_v.spare = Word(r, 2);
        break;
    }
    case 2: {
        if (ReadRegs(port, addr, 4, 0, 1, pause, r, 20) < 0) return 0;
        m_v.kind = 0;
        m_v.status = (Word(r, 0) & 0xFF) == 1 ? 1 : 0;
        m_v.lineRB = m_v.lineYG = 0;
        m_v.locate = 0;
        if (ReadRegs(port, addr, 3, 0x1000, 1, pause, r, 20) < 0) return 0;
        m_v.lmd = Word(r, 0);
        m_v.cable = 0;
        m_v.spare = 0;
        break;
    }
    case 3: {
        if (ReadRegs(port, addr, 4, 2, 1, pause, r, 10) < 0) return 0;
        m_v.kind = 1;
        m_v.status = (r[3] >> 1) & 1;
        m_v.lineRB = r[3] & 1;
        m_v.lineYG = m_v.lineRB;
        if (ReadRegs(port, addr, 4, 4, 1, pause, r, 10) < 0) return 0;
        m_v.locate = SMScale(Word(r, 0), 1.3);
        if (ReadRegs(port, addr, 4, 0x26, 1, pause, r, 10) < 0) return 0;
        m_v.lmd = 0;
        m_v.cable = SMScale(Word(r, 0), 1.3);
        m_v.spare = 0;
        break;
    }
    default: break;
    }
    return 1;
}

int CSMLeak::DoFunc(ISerBase* port, int addr, int cmd, void* buf, int)
{
    if (!port || !buf) return 0;
    if (((cmd >> 16) & 0xFF) != 6) return 1;
    const unsigned short reg = static_cast<unsigned short>(cmd & 0xFFFF);
    const unsigned short value = static_cast<unsigned short>(*static_cast<int*>(buf) & 0xFFFF);
    const unsigned char a = static_cast<unsigned char>(addr & 0xFF);
    int len;
    int variant = ItemVariant();
    if (variant == 0 || variant == 2) {
        len = ModBusCmd(a, 6, reg, value);
    } else if (variant == 1) {
        const unsigned char data[2] = {static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
        len = ModBusCmdN(a, 6, reg, 1, data);
    } else {
        return 0;
    }
    unsigned char r[20];
    int n = Exchange(port, m_cmdBuf, len, 0, r, sizeof r, CSMRtuRule(a, 6, -1));
    return SMRtuCrcOk(r, n) ? 1 : 0;
}

void CSMLeak::Settle()
{
    if (ItemVariant() == 2) return;
    if (m_v.status > 1) {
        m_v.status = m_v.lineRB = m_v.lineYG = 1;
        m_v.locate = m_v.lmd = m_v.cable = 0;
    }
    if (m_v.locate > 1000 || m_v.locate > m_v.cable) m_v.locate = 0;
}

void CSMLeak::Brief(char* out, int cap) const
{
    const char* word = m_v.status ? "泄漏" : "未泄漏";
    if (m_v.locate != 0)
        std::snprintf(out, static_cast<size_t>(cap), "漏水状态:%s 泄漏位置:%.1f米 ", word, m_v.locate / 13.0);
    else
        std::snprintf(out, static_cast<size_t>(cap), "漏水状态:%s ", word);
}

int CSMLeak::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    if (!almBits) std::memset(&m_v, 0, sizeof m_v);
    m_nFailCount = 0;
    int r = UpdSubSys(u);
    Settle();
    const SMCol cols[] = {{"Kind", m_v.kind},     {"Status", m_v.status}, {"LineRB", m_v.lineRB},
                          {"LineYG", m_v.lineYG}, {"Locate", m_v.locate}, {"Lmd", m_v.lmd},
                          {"Cable", m_v.cable}};
    if (m_pDb) {
        UpdRow("tbLeak", u, cols, 7);
        char brief[128];
        Brief(brief, sizeof brief - 8);
        std::strcat(brief, m_v.status == 0 ? "(正常)" : "(报警)");
        r = UpdBriefText(u, brief);
    }
    if (hist) r = InsHist(hist, "tbLeak", u, cols, 7);
    return r == 0 ? 1 : 0;
}

int CSMLeak::VarEval(char* text)
{
    if (!text || (std::strcmp(text, ".位置") != 0 && std::strcmp(text, ".Locate") != 0)) return -1;
    char out[32];
    std::snprintf(out, sizeof out, "%.1f", m_v.locate / 10.0);
    return Copy(text, out);
}

// ---- the board's own input ----------------------------------------------------------------

CSMLeakX200::CSMLeakX200() : CSMLeak(1539)
{
    SetNote("QV-LEAK-X200");
}

int CSMLeakX200::RegDb(IDbBase* db, int force)
{
    const SMTypeDef type = {0x600, "漏水检测 %s", "内置漏水接口..."};
    return RegDbRows(db, force, type, kPoints, 1);
}

int CSMLeakX200::ChkDb(tagSMItem* item)
{
    if (!m_pDb) return 0;
    if (item && item->Param1 > 0) m_sens = item->Param1;
    if (m_sens < 1 || m_sens > 15) m_sens = 6;
    m_threshold = m_sens * 260;
    return CSMLeak::ChkDb(item);
}

int CSMLeakX200::DataVal(int fld)
{
    if (fld == 1) return m_v.kind;
    if (fld == 2) return m_v.status;
    return -1;
}

int CSMLeakX200::DataGet(ISerBase*, int, int)
{
    ClearFirst16();
    const bool second = ItemVariant() == 1;
    long raw = 0;
    if (!SMReadIntFile(second ? "/sys/bus/iio/devices/iio:device0/in_voltage9_raw"
                              : "/sys/bus/iio/devices/iio:device0/in_voltage5_raw",
                       &raw)) {
        std::printf("popen() error");
        raw = 0;
    }
    m_v.status = raw < m_threshold ? 1 : 0;
    m_v.kind = 0;
    m_v.lmd = m_sens;
    // The indicator is lit (1) while the cable is dry.
    SMWriteIntFile(second ? "/sys/class/gpio/gpio124/value" : "/sys/class/gpio/gpio123/value", m_v.status ? 0 : 1);
    return 1;
}

int CSMLeakX200::DoFunc(ISerBase*, int, int cmd, void* buf, int)
{
    if (((cmd >> 16) & 0xFF) != 6 || !buf) return 0;
    int s = *static_cast<int*>(buf) & 0xFFFF;
    if (s < 1 || s > 13) s = 5;
    m_sens = s;
    if (Item()) Item()->Param1 = s;
    m_threshold = s * 260;
    return 1;
}

void CSMLeakX200::Settle()
{
    if (m_v.status) m_v.status = 1;
}

void CSMLeakX200::Brief(char* out, int cap) const
{
    std::snprintf(out, static_cast<size_t>(cap), "漏水状态:%s ", m_v.status ? "泄漏" : "未泄漏");
}

int CSMLeakX200::VarEval(char* text)
{
    if (!text || (std::strcmp(text, ".状态") != 0 && std::strcmp(text, ".St") != 0)) return -1;
    return Copy(text, m_v.status ? "泄漏" : "未泄漏");
}
