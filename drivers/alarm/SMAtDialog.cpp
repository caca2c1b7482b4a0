#include "drivers/alarm/SMAtDialog.h"

#include <cstring>

#include "base/SMEnv.h"

bool SMAtReply::Has(const char* part) const { return n > 0 && part && std::strstr(text, part) != nullptr; }

int AtRead(ISerBase* port, SMAtReply& r, int cap, int timeoutMs)
{
    r.text[0] = 0;
    r.n = 0;
    if (!port) return 0;
    if (cap > AT_REPLY_MAX || cap < 1) cap = AT_REPLY_MAX;
    int n = port->Read(reinterpret_cast<unsigned char*>(r.text), cap, timeoutMs);
    if (n < 0) n = 0;
    if (n > cap) n = cap;
    r.text[n] = 0;
    // A NUL inside the answer would hide what follows it from the searches.
    for (int i = 0; i < n; ++i)
        if (r.text[i] == 0) r.text[i] = ' ';
    r.n = n;
    return n;
}

int AtCmd(ISerBase* port, const char* cmd, int len, unsigned long pauseMs, SMAtReply& r, int cap, int timeoutMs)
{
    r.text[0] = 0;
    r.n = -1;
    r.written = 0;
    if (!port || !cmd) return -1;
    if (len < 0) len = static_cast<int>(std::strlen(cmd));
    r.written = port->Write(reinterpret_cast<const unsigned char*>(cmd), len);
    if (r.written <= 0) return -1;
    SMSleepMs(pauseMs);
    return AtRead(port, r, cap, timeoutMs);
}
