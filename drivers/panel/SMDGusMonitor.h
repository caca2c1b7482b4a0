// DGUS serial touch screen (QV-DGus): writes display variables, the clock and the shown page
// on the host's request. Nothing is polled or read back.
#ifndef QVSM_DRIVERS_PANEL_SMDGUSMONITOR_H
#define QVSM_DRIVERS_PANEL_SMDGUSMONITOR_H

#include "base/SMBase.h"

// Seven bytes of clock data, passed to the screen unchanged.
struct DIWEN_RTC_DATA {
    unsigned char b[7];
};

class CSMDGusMonitor : public CSMBase {
public:
    CSMDGusMonitor() : CSMDGusMonitor(2816, "QV-DGus") {}

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int) override { return 0; }
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;
    using CSMBase::DoFunc;

    // The port the screen operations write through (class-wide: the last DoFunc decides).
    static void InitHandler(ISerBase* port) { m_pHandler = port; }
    static ISerBase* Handler() { return m_pHandler; }
    static CSMDGusMonitor* GetInstance();
    static void FreeInstance();

    int diwen_init();
    int diwen_set_data(unsigned short vp, unsigned short value);
    int diwen_set_rtc(const DIWEN_RTC_DATA* rtc);
    int diwen_set_display(unsigned short page);

protected:
    CSMDGusMonitor(int type, const char* note);

private:
    // Header (A5 5A, or 5A A5 with Variant 1) and body into the command buffer, then written.
    int Send(const unsigned char* body, int n);

    static ISerBase* m_pHandler;
    static CSMDGusMonitor* m_pInstance;
};

// The kind's second member: the same screen operations.
class CSMAlmDiwen : public CSMDGusMonitor {
public:
    CSMAlmDiwen() : CSMDGusMonitor(2817, "QV-Diwen") {}
};

#endif
