#include "base/SqlText.h"

namespace {
const char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";
}  // namespace

int SMIntText(char* out, long long v)
{
    char tmp[24];
    char* e = tmp + sizeof tmp;
    char* p = e;
    unsigned long long u = v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    while (u >= 100) {
        const char* d = kPairs + 2 * (u % 100);
        u /= 100;
        *--p = d[1];
        *--p = d[0];
    }
    if (u >= 10) {
        *--p = kPairs[2 * u + 1];
        *--p = kPairs[2 * u];
    } else {
        *--p = static_cast<char>('0' + u);
    }
    if (v < 0) *--p = '-';
    int n = static_cast<int>(e - p);
    std::memcpy(out, p, static_cast<size_t>(n));
    out[n] = 0;
    return n;
}

SMSqlText& SMSqlText::Int(long long v)
{
    char t[24];
    int n = SMIntText(t, v);
    return Add(t, static_cast<size_t>(n));
}

SMSqlText& SMSqlText::Quoted(const char* s)
{
    if (m_over) return *this;
    int len = m_len;
    const int last = m_cap - 1;  // the NUL's place
    for (; *s; ++s) {
        if (len >= last) break;
        m_buf[len++] = *s;
        if (*s != '\'') continue;
        if (len >= last) break;
        m_buf[len++] = '\'';
    }
    if (*s) {  // did not fit
        m_buf[m_len] = 0;
        m_over = true;
        return *this;
    }
    m_len = len;
    m_buf[len] = 0;
    return *this;
}
