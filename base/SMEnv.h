// Process-wide services of the module that tests replace: the file-system root and sleeping.
#ifndef QVSM_BASE_SMENV_H
#define QVSM_BASE_SMENV_H

#include <ctime>
#include <string>

// Every absolute path the module touches ("/NandFlash/...", "/dev/...", "/sys/...") goes
// through here: the value of the environment variable QVSM_ROOT (empty by default) is put
// in front of it. Relative paths are returned unchanged.
std::string SMPath(const char* path);

// Same, into a caller's buffer without allocating; returns false (and an empty text) when it
// does not fit.
bool SMPath(const char* path, char* out, size_t cap);

// Every pause of the module goes through these. Tests install a fake clock with
// SMSetSleepHook; nullptr restores the real usleep.
typedef void (*SMSleepHook)(unsigned long usec);
void SMSetSleepHook(SMSleepHook hook);
void SMSleepUs(unsigned long usec);
// Milliseconds; a delay longer than unsigned long microseconds hold (71 minutes where it has
// 32 bits) is slept in several pieces.
void SMSleepMs(unsigned long ms);

// Every reading of the clock goes through these. Tests install a hook with SMSetClockHook
// to choose "now"; nullptr restores the real clock.
typedef time_t (*SMClockHook)();
void SMSetClockHook(SMClockHook hook);
time_t SMNow();
// SMNow() as local broken-down time.
struct tm SMLocalNow();

#endif
