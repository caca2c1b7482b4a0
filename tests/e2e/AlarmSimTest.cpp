// The simulated GSM modem, alarm dialler and panel without a bus: the modem's prompt, PDU capture and
// length check, rules before built-in answers; the dialler's silence on frames it cannot check.
#include <gtest/gtest.h>

#include <string>

#include "sim/AlarmResponders.h"
#include "tests/e2e/TestUtil.h"

using namespace sim;

namespace {

std::string Ask(CResponder& r, const std::string& req)
{
    Reply rep;
    if (!r.Answer(reinterpret_cast<const uint8_t*>(req.data()), req.size(), rep)) return "<none>";
    return std::string(rep.bytes.begin(), rep.bytes.end());
}

int Len(const CResponder& r, const std::string& s)
{
    return r.FrameLength(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

SlaveSpec Rules(const std::map<std::string, std::string>& ext)
{
    SlaveSpec s;
    s.name = "m";
    s.bus = "b";
    s.ext = ext;
    return s;
}

TEST(SimAlarm, ModemPromptsCapturesAndChecksTheLength)
{
    e2e::TempDir dir;
    BusSpec bus;
    bus.ext = {{"gsm.capture", dir / "pdu.txt"}, {"gsm.log", dir / "at.log"}};
    CGsmModemResponder m;
    std::string err;
    ASSERT_TRUE(m.Setup(bus, err)) << err;
    ASSERT_TRUE(m.Add(Rules({{"script.1", "text:AT+CSQ\\r => text:\\r\\n+CSQ: 4,99\\r\\n\\r\\nOK\\r\\n"}}), err)) << err;

    EXPECT_EQ(Len(m, "\nAT"), -1);
    EXPECT_EQ(Len(m, "AT+CSQ\rAT"), 7);
    EXPECT_EQ(Len(m, "AT+CMEE=?"), 0) << "no CR: the gap ends it";
    const std::string pdu = "0011000D91683108108300F0000800024F60";  // 17 octets after the 00
    struct {
        std::string req, reply;
    } rows[] = {
        {"AT+CSQ\r", "\r\n+CSQ: 4,99\r\n\r\nOK\r\n"},  // the rule wins
        {"AT+CPIN?\r", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+FOO\r", "\r\nERROR\r\n"},
        {"AT+CMGS=17\r", "\r\n> "},
        {pdu.substr(0, 10), "<none>"},  // a PDU that comes in two pieces
        {pdu.substr(10) + "\x1A", "\r\n+CMGS: 1\r\n\r\nOK\r\n"},
        {"AT+CMGS=18\r", "\r\n> "},
        {pdu + "\x1A", "\r\n+CMS ERROR: 304\r\n"},  // not the length announced
        {"AT\r", "\r\nOK\r\n"},
    };
    for (const auto& row : rows) {
        if (m.InPdu()) {
            EXPECT_EQ(Len(m, row.req), row.req.back() == '\x1A' ? static_cast<int>(row.req.size()) : 0);
        }
        EXPECT_EQ(row.reply, Ask(m, row.req)) << row.req;
    }
    EXPECT_EQ(e2e::ReadFile(dir / "pdu.txt"), pdu + "\n" + pdu + "\n");
    EXPECT_EQ(e2e::ReadFile(dir / "at.log"), "AT+CSQ\nAT+CPIN?\nAT+FOO\nAT+CMGS=17\nAT+CMGS=18\nAT\n");

    BusSpec bad;
    bad.ext = {{"gsm.send", "maybe"}};
    CGsmModemResponder b;
    EXPECT_FALSE(b.Setup(bad, err));
}

TEST(SimAlarm, DiallerAnswersGoodFramesOnly)
{
    CDiallerResponder d;
    std::string err;
    ASSERT_TRUE(d.Add(Rules({{"script.1", "hexprefix:AA 00 02 32 => hex:AA 00 01 32 07 35 55"}}), err)) << err;
    const std::string status("\xAA\x00\x00\x02\x02\x55", 6);
    struct {
        std::string req, reply;
    } rows[] = {
        {status, std::string("\xAA\x00\x04\x02\x00\x05\x00\x00\x07\x55", 10)},
        {std::string("\xAA\x00\x02\x11\x00\x00\x11\x55", 8), std::string("\xAA\x00\x01\x11\x00\x11\x55", 7)},
        {std::string("\xAA\x00\x02\x32\x01\x01\x32\x55", 8), std::string("\xAA\x00\x01\x32\x07\x35\x55", 7)},
        {std::string("\xAA\x00\x00\x02\x03\x55", 6), "<none>"},  // checksum
        {std::string("\xAA\x00\x00\x02\x02\x54", 6), "<none>"},  // trailer
        {std::string("\xAA\x00\x02\x32\x01\x01\x33\x55", 8), "<none>"},  // bad frame: no rule either
    };
    for (const auto& row : rows) EXPECT_EQ(row.reply, Ask(d, row.req));
    EXPECT_EQ(Len(d, status), 6);
    EXPECT_EQ(Len(d, status.substr(0, 2)), 0);
    EXPECT_EQ(Len(d, "\x55"), -1);

    CPanelResponder p;  // two frames that arrive together stay two
    const std::string two("\xA5\x5A\x04\x80\x03\x00\x05\x5A\xA5\x04", 10);
    EXPECT_EQ(Len(p, two), 7);
    EXPECT_EQ(Len(p, two.substr(7)), 7);
    EXPECT_EQ(Len(p, "\x5A\x5A"), -1);
}

}  // namespace
