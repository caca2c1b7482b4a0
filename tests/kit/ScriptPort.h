// A scripted ISerBase: queued replies, every write recorded as bytes, call counters.
#ifndef QVSM_TESTS_SCRIPTPORT_H
#define QVSM_TESTS_SCRIPTPORT_H

#include <qvsm/qvsm.h>

#include <deque>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// "01 03 00 0A" -> bytes; spaces optional.
Bytes HexBytes(const std::string& hex);
std::string ToHex(const Bytes& b);

class ScriptPort : public ISerBase {
public:
    virtual ~ScriptPort() = default;

    // Replies handed out one per Read, in order; an empty reply makes Read return 0.
    void Reply(const Bytes& b) { replies.push_back(b); }
    void Reply(const std::string& text) { replies.emplace_back(text.begin(), text.end()); }
    void ReplyHex(const std::string& hex) { replies.push_back(HexBytes(hex)); }
    // A Modbus RTU reply: the bytes given plus their CRC, low byte first.
    void ReplyRtu(const Bytes& body);

    unsigned int GetMode() override { return mode; }
    int Open(int) override { ++opens; open = true; return 1; }
    int Close() override { ++closes; open = false; return 1; }
    int IsOpen() override { ++isOpens; return open ? 1 : 0; }
    int GetHandle() override { return handle; }
    int SetTimeout(unsigned int a, unsigned int b) override { timeouts.push_back({a, b}); return 1; }
    int Purge() override { ++purges; return 1; }
    int Read(unsigned char* buf, int cap, int timeoutMs) override;
    int Write(const unsigned char* buf, int len) override;
    int WriteStr(const char* text) override;

    // All writes joined, and the last one.
    Bytes AllWritten() const;
    Bytes LastWrite() const { return writes.empty() ? Bytes() : writes.back(); }

    bool open = true;
    unsigned int mode = 0;
    int handle = -1;
    int shortWriteBy = 0;        // Write reports this many bytes fewer than asked
    int failWritesFrom = -1;     // writes with index >= this report -1
    int readLimit = -1;          // >= 0: Read hands out at most this many bytes
    std::deque<Bytes> replies;
    std::vector<Bytes> writes;
    std::vector<int> readCaps, readTimeouts;
    std::vector<std::pair<unsigned, unsigned>> timeouts;
    int opens = 0, closes = 0, isOpens = 0, purges = 0, reads = 0;
};

#endif
