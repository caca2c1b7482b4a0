#include "drivers/panel/SMDGusMonitor.h"

#include <cstdint>
#include <cstring>

ISerBase* CSMDGusMonitor::m_pHandler = nullptr;
CSMDGusMonitor* CSMDGusMonitor::m_pInstance = nullptr;

namespace {
const SMTableDef kTable = {"tbAlmDGus", ""};
}

CSMDGusMonitor::CSMDGusMonitor(int type, const char* note) : CSMBase(type) { SetNote(note); }

CSMDGusMonitor* CSMDGusMonitor::GetInstance()
{
    if (!m_pInstance) m_pInstance = new CSMDGusMonitor();
    return m_pInstance;
}

void CSMDGusMonitor::FreeInstance()
{
    delete m_pInstance;
    m_pInstance = nullptr;
}

int CSMDGusMonitor::RegDb(IDbBase* db, int force)
{
    return RegDbRows(db, force, {2560, "%s", "232接口,支持串口屏"}, nullptr, 0);
}

int CSMDGusMonitor::ChkDb(tagSMItem* item) { return ChkDbTable(item, kTable); }

int CSMDGusMonitor::DataGet(ISerBase* port, int, int) { return port && port->IsOpen() ? 1 : 0; }

int CSMDGusMonitor::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    IDbBase* db = hist ? hist : m_pDb;
    if (!db) return 0;
    return SqlExec(db,
                   "update tbAlmGsm set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d,SnapID=%d "
                   "where sid=%d",
                   u.state, u.snapId, u.sid) == 0
               ? 1
               : 0;
}

int CSMDGusMonitor::diwen_init()
{
    if (!m_pHandler) return 0;
    m_pHandler->Open(0);
    return 1;
}

int CSMDGusMonitor::Send(const unsigned char* body, int n)
{
    if (!m_pHandler || !m_pHandler->IsOpen() || n + 2 > CMD_SIZE) return 0;
    bool swapped = ItemVariant() == 1;
    m_cmdBuf[0] = swapped ? 0x5A : 0xA5;
    m_cmdBuf[1] = swapped ? 0xA5 : 0x5A;
    std::memcpy(m_cmdBuf + 2, body, static_cast<size_t>(n));
    return m_pHandler->Write(m_cmdBuf, n + 2) == n + 2 ? 1 : 0;
}

int CSMDGusMonitor::diwen_set_data(unsigned short vp, unsigned short value)
{
    const unsigned char b[] = {0x05, 0x82, static_cast<unsigned char>(vp >> 8), static_cast<unsigned char>(vp & 0xFF),
                               static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value & 0xFF)};
    return Send(b, sizeof b);
}

int CSMDGusMonitor::diwen_set_rtc(const DIWEN_RTC_DATA* rtc)
{
    if (!rtc) return 0;
    unsigned char b[11] = {0x0A, 0x80, 0x1F, 0x5A};
    std::memcpy(b + 4, rtc->b, sizeof rtc->b);
    return Send(b, sizeof b);
}

int CSMDGusMonitor::diwen_set_display(unsigned short page)
{
    const unsigned char b[] = {0x04, 0x80, 0x03, static_cast<unsigned char>(page >> 8),
                               static_cast<unsigned char>(page & 0xFF)};
    return Send(b, sizeof b);
}

int CSMDGusMonitor::DoFunc(ISerBase* port, int, int cmd, void* buf, int len)
{
    if (!port || !port->IsOpen()) return 0;
    InitHandler(port);
    int r = 0;
    switch (cmd) {
    case 1:  // the variable's address is the value of the pointer itself
        r = diwen_set_data(static_cast<unsigned short>(reinterpret_cast<uintptr_t>(buf) & 0xFFFF),
                           static_cast<unsigned short>(len & 0xFFFF));
        break;
    case 2: r = buf ? diwen_set_rtc(static_cast<const DIWEN_RTC_DATA*>(buf)) : 0; break;
    case 3: r = diwen_set_display(static_cast<unsigned short>(len & 0xFFFF)); break;
    default: return 0;
    }
    return r == 1 ? 1 : 0;
}
