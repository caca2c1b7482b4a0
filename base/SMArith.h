// Arithmetic on device words that is defined for every input: 32-bit sums and products wrap
// like the device's own registers (no signed overflow), scalings are done in double.
#ifndef QVSM_BASE_SMARITH_H
#define QVSM_BASE_SMARITH_H

#include <cstdint>

// a * b and a + b modulo 2^32, read back as a signed 32-bit number.
inline int32_t SMWrapMul(int64_t a, int64_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b)));
}
inline int32_t SMWrapAdd(int64_t a, int64_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)));
}

// v * factor in double, truncated toward zero and clamped to the 32-bit range (90 * 1.3 = 117).
inline int32_t SMScale(double v, double factor)
{
    double r = v * factor;
    if (!(r == r)) return 0;
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

#endif
