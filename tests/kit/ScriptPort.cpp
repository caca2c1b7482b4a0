#include "tests/kit/ScriptPort.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/BufHelper.h"

Bytes HexBytes(const std::string& hex)
{
    Bytes out;
    int hi = -1;
    for (char c : hex) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
        int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::toupper(c) - 'A' + 10);
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<unsigned char>(hi * 16 + v));
            hi = -1;
        }
    }
    return out;
}

std::string ToHex(const Bytes& b)
{
    std::string s;
    char t[4];
    for (size_t i = 0; i < b.size(); ++i) {
        std::snprintf(t, sizeof t, i ? " %02X" : "%02X", b[i]);
        s += t;
    }
    return s;
}

void ScriptPort::ReplyRtu(const Bytes& body)
{
    Bytes b = body;
    unsigned short crc = CBufHelper::crc16(b.data(), static_cast<unsigned char>(b.size()));
    b.push_back(static_cast<unsigned char>(crc & 0xFF));
    b.push_back(static_cast<unsigned char>(crc >> 8));
    replies.push_back(b);
}

int ScriptPort::Read(unsigned char* buf, int cap, int timeoutMs)
{
    ++reads;
    readCaps.push_back(cap);
    readTimeouts.push_back(timeoutMs);
    if (replies.empty()) return 0;
    Bytes r = replies.front();
    replies.pop_front();
    int n = static_cast<int>(r.size());
    if (n > cap) n = cap;
    if (readLimit >= 0 && n > readLimit) n = readLimit;
    if (n > 0) std::memcpy(buf, r.data(), static_cast<size_t>(n));
    return n;
}

int ScriptPort::Write(const unsigned char* buf, int len)
{
    int index = static_cast<int>(writes.size());
    writes.emplace_back(buf, buf + (len > 0 ? len : 0));
    if (failWritesFrom >= 0 && index >= failWritesFrom) return -1;
    return len - shortWriteBy;
}

int ScriptPort::WriteStr(const char* text)
{
    int len = static_cast<int>(std::strlen(text));
    return Write(reinterpret_cast<const unsigned char*>(text), len);
}

Bytes ScriptPort::AllWritten() const
{
    Bytes all;
    for (const Bytes& w : writes) all.insert(all.end(), w.begin(), w.end());
    return all;
}
