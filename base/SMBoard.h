// On-board files: sysfs/IIO readings and GPIO outputs. Paths are absolute module paths and go
// through SMPath, so tests prepare the files below QVSM_ROOT.
#ifndef QVSM_BASE_SMBOARD_H
#define QVSM_BASE_SMBOARD_H

// Reads the leading integer of a file such as "/sys/bus/iio/devices/iio:device0/in_voltage5_raw".
// false (value untouched) when the file cannot be opened or does not start with a number.
bool SMReadIntFile(const char* path, long* value);

// Writes value and a newline to a file such as "/sys/class/gpio/gpio123/value".
// false when the file cannot be opened or the write fails.
bool SMWriteIntFile(const char* path, long value);

#endif
