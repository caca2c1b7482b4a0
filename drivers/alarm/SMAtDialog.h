// One step of an AT dialogue with a modem: write a command, pause, read the answer once and
// look for texts in it. Every pause goes through the sleep seam.
#ifndef QVSM_DRIVERS_ALARM_SMATDIALOG_H
#define QVSM_DRIVERS_ALARM_SMATDIALOG_H

#include <qvsm/qvsm.h>

// Answer buffer: up to 128 bytes read, NUL-terminated.
enum { AT_REPLY_MAX = 128 };

struct SMAtReply {
    char text[AT_REPLY_MAX + 1];
    int n;        // bytes read (0: nothing, -1: the command could not be written)
    int written;  // bytes the port reported written

    bool Has(const char* part) const;
};

// Writes len bytes of cmd (len < 0: the whole text), sleeps pauseMs, reads up to cap bytes
// (at most AT_REPLY_MAX) with the given read time-out. Returns r.n.
int AtCmd(ISerBase* port, const char* cmd, int len, unsigned long pauseMs, SMAtReply& r, int cap = AT_REPLY_MAX,
          int timeoutMs = 0);
// Reads once more without writing.
int AtRead(ISerBase* port, SMAtReply& r, int cap = AT_REPLY_MAX, int timeoutMs = 0);

#endif
