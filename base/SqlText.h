// SMSqlText: a statement written piece by piece into a caller's buffer, without printf, for
// the statements a poll writes many times (one per reading). The text is always
// NUL-terminated; a piece that does not fit leaves the text as it was before the piece and
// marks it over-long, and nothing is added after that: the caller refuses the statement,
// it is never cut.
#ifndef QVSM_BASE_SQLTEXT_H
#define QVSM_BASE_SQLTEXT_H

#include <cstddef>
#include <cstring>

class SMSqlText {
public:
    // cap: bytes of buf, the terminating NUL included (at least 1).
    SMSqlText(char* buf, int cap) : m_buf(buf), m_cap(cap) { m_buf[0] = 0; }

    SMSqlText& Add(const char* s, size_t n)
    {
        if (m_over || !Room(n)) return *this;
        std::memcpy(m_buf + m_len, s, n);
        m_len += static_cast<int>(n);
        m_buf[m_len] = 0;
        return *this;
    }
    SMSqlText& Add(const char* s) { return Add(s, std::strlen(s)); }
    // Decimal text of v, as "%lld" writes it.
    SMSqlText& Int(long long v);
    // s up to its NUL with every single quote doubled (the text between SQL quotes).
    SMSqlText& Quoted(const char* s);
    // Back to the first len bytes (len <= Len()), the over-long mark cleared: for texts that
    // share a beginning.
    void Keep(int len)
    {
        m_len = len;
        m_buf[len] = 0;
        m_over = false;
    }

    bool Over() const { return m_over; }
    int Len() const { return m_len; }
    const char* Text() const { return m_buf; }

private:
    // n more bytes and the NUL fit.
    bool Room(size_t n)
    {
        if (n < static_cast<size_t>(m_cap - m_len)) return true;
        m_over = true;
        return false;
    }

    char* m_buf;
    int m_cap;
    int m_len = 0;
    bool m_over = false;
};

// Decimal text of v into out (at least 21 bytes), as "%lld" writes it; returns its length.
int SMIntText(char* out, long long v);

#endif
