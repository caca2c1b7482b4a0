// The module log: numbered, time-stamped lines in "/NandFlash/tmp/qvsm.log.ini".
#ifndef QVSM_BASE_SMLOG_H
#define QVSM_BASE_SMLOG_H

// Appends one formatted line; -1 for a null tag, else 1 (also when the file cannot be opened).
int trace_sm_log(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A trace point that records nothing; returns 1.
int trace_log(const char* tag, ...);

// Log path, before the root prefix.
extern const char* const filename;

// Test hook: the line counter back to 0, as at load.
void SMLogResetCounter();

#endif
