// SMS coding: number fields, user data, single and linked PDUs, the AT+CMGS dialogue; the
// PDUs are read back by an independent decoder (python3-gammu).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "drivers/alarm/SMSmsCodec.h"
#include "tests/kit/Kit.h"

namespace {

SM_PARAM Param(const char* sca, const char* tpa, const std::string& text, int dcs = 8)
{
    SM_PARAM p;
    std::memset(&p, 0, sizeof p);
    std::snprintf(p.SCA, sizeof p.SCA, "%s", sca);
    std::snprintf(p.TPA, sizeof p.TPA, "%s", tpa);
    std::snprintf(p.TP_UD, sizeof p.TP_UD, "%s", text.c_str());
    p.TP_DCS = static_cast<char>(dcs);
    return p;
}

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A modem that prompts and confirms each of n segments.
void ModemAccepts(ScriptPort& port, int n)
{
    for (int i = 0; i < n; ++i) {
        port.Reply(std::string("\r\n> "));
        port.Reply(std::string("\r\n+CMGS: 7\r\n\r\nOK\r\n"));
    }
}

// The PDU texts written after the prompts (Ctrl-Z and CR LF cut off), and the AT+CMGS counts.
struct Sent {
    std::vector<std::string> pdus;
    std::vector<int> counts;
};

Sent SentOf(const ScriptPort& port)
{
    Sent s;
    for (const Bytes& w : port.writes) {
        std::string t = Str(w);
        if (t.compare(0, 8, "AT+CMGS=") == 0) s.counts.push_back(std::atoi(t.c_str() + 8));
        size_t z = t.find('\x1A');
        if (z != std::string::npos) s.pdus.push_back(t.substr(0, z));
    }
    return s;
}

// One decoded PDU, as the decoder prints it.
struct Decoded {
    std::string smsc, number, validity, udh;
    int ref = -1, part = -1, parts = -1;
    std::string coding, text;
};

std::string DecoderScript() { return std::string(QVSM_SOURCE_DIR) + "/sim/sms_decode.py"; }

std::vector<Decoded> Decode(const std::vector<std::string>& pdus)
{
    TempRoot dir;
    std::string path = dir.Dir() + "/pdus.txt";
    {
        std::ofstream f(path);
        for (const std::string& p : pdus) f << p << "\n";
    }
    std::string cmd = "/usr/bin/python3 '" + DecoderScript() + "' '" + path + "' 2>&1";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    std::vector<Decoded> res;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream ls(line);
        for (std::string x; std::getline(ls, x, '\t');) f.push_back(x);
        EXPECT_EQ(f.size(), 9u) << "decoder said: " << out;
        if (f.size() != 9) continue;
        Decoded d;
        d.smsc = f[0];
        d.number = f[1];
        d.validity = f[2];
        d.udh = f[3];
        d.ref = std::atoi(f[4].c_str());
        d.part = std::atoi(f[5].c_str());
        d.parts = std::atoi(f[6].c_str());
        d.coding = f[7];
        d.text = f[8];
        res.push_back(d);
    }
    return res;
}

class SmsCodecTest : public ::testing::Test {
protected:
    TempRoot root;
    FakeClock clock;
};

TEST_F(SmsCodecTest, NumberFields)
{
    struct {
        const char* in;
        const char* swapped;
    } inv[] = {{"8613800138000", "683108108300F0"}, {"861380013800", "683108108300"}, {"1", "F1"}, {"", ""}};
    for (const auto& c : inv) {
        char out[32], back[32];
        int n = gsmInvertNumbers(c.in, out, static_cast<int>(std::strlen(c.in)));
        EXPECT_STREQ(out, c.swapped);
        EXPECT_EQ(n, static_cast<int>(std::strlen(c.swapped)));
        gsmSerializeNumbers(out, back, n);
        EXPECT_STREQ(back, c.in);
    }

    struct {
        const char* in;
        const char* stored;  // "" refused
    } intl[] = {
        {"13800138000", "8613800138000"},    {"8613800138000", "8613800138000"},
        {"+8613800138000", "8613800138000"}, {"1234567890123", "861234567890123"},
        {"12345678901234", ""},              {"8612345678901234", ""}, {"", ""}, {"+", ""},
    };
    for (const auto& c : intl) {
        char out[SMS_NUM_MAX + 1];
        int n = gsmIntlNumber(c.in, out);
        EXPECT_STREQ(out, c.stored) << c.in;
        EXPECT_EQ(n, static_cast<int>(std::strlen(c.stored))) << c.in;
    }

    struct {
        const char* reply;
        const char* sca;
    } csca[] = {
        {"\r\n+CSCA: \"+8613800100500\",145\r\n\r\nOK\r\n", "8613800100500"},
        {"\r\n+CSCA: \"13800100500\",129\r\n\r\nOK\r\n", "8613800100500"},
        {"\r\n+CSCA: \"008613800100500\",145\r\nOK", "8613800100500"},  // the last 13 only
        {"\r\n+CSCA: \"\",145\r\nOK", ""},
        {"\r\nOK\r\n", ""},
    };
    for (const auto& c : csca) {
        char out[SMS_NUM_MAX + 1];
        EXPECT_EQ(gsmScaFromReply(c.reply, out), static_cast<int>(std::strlen(c.sca))) << c.reply;
        EXPECT_STREQ(out, c.sca) << c.reply;
    }
}

TEST_F(SmsCodecTest, UserDataCodings)
{
    unsigned char b[64];
    char back[128];
    // The classic 7-bit example; the NUL after the text flushes the last partial octet.
    int n = gsmEncode7bit("hellohello", b, 11);
    char hex[129];
    gsmBytes2String(b, hex, n);
    EXPECT_STREQ(hex, "E8329BFD4697D9EC37");
    EXPECT_EQ(gsmDecode7bit(b, back, n), 10);
    EXPECT_STREQ(back, "hellohello");
    EXPECT_EQ(gsmEncode7bit("ABCDEFGH", b, 9), 7) << "eight septets fill seven octets";

    std::string gbk = "告警A";  // literals are GBK
    n = gsmEncodeUcs2(gbk.c_str(), b, static_cast<int>(gbk.size()));
    gsmBytes2String(b, hex, n);
    EXPECT_STREQ(hex, "544A8B660041");
    EXPECT_EQ(gsmDecodeUcs2(b, back, n), static_cast<int>(gbk.size()));
    EXPECT_EQ(std::string(back), gbk);
    EXPECT_EQ(gsmUcs2Len(gbk.c_str()), 6);

    unsigned char raw[] = {0x00, 0xAB, 0x7F};
    EXPECT_EQ(gsmBytes2String(raw, hex, 3), 6);
    EXPECT_STREQ(hex, "00AB7F");
    unsigned char again[3];
    EXPECT_EQ(gsmString2Bytes("00AB7F", again, 6), 3);
    EXPECT_EQ(std::memcmp(raw, again, 3), 0);
}

TEST_F(SmsCodecTest, SinglePduLayoutAndCmgsLength)
{
    char out[SMS_PDU_TEXT];
    SM_PARAM p = Param("8613800100500", "8613800138000", std::string("告警A"));
    int n = gsmEncodePdu(&p, out);
    const std::string want = "0891683108100005F0"  // SMSC: 8 octets, international, swapped digits
                             "1100"                // SMS-SUBMIT with relative validity, reference 0
                             "0D91683108108300F0"  // 13 digits, international
                             "000800"              // PID, UCS-2, 5 minutes
                             "06544A8B660041";
    EXPECT_EQ(std::string(out), want);
    EXPECT_EQ(n, static_cast<int>(want.size()));
    EXPECT_EQ(gsmTpduLen(out), static_cast<int>(want.size()) / 2 - 9);

    SM_PARAM sim = Param("", "8613800138000", "ab", 0);
    gsmEncodePdu(&sim, out);
    EXPECT_EQ(std::string(out), "00" "1100" "0D91683108108300F0" "000000" "02" "6131");
    EXPECT_EQ(gsmTpduLen(out), static_cast<int>(std::strlen(out)) / 2 - 1) << "empty centre: one octet less";

    SM_PARAM eight = Param("", "10086", "\x01\xFE", 4);
    gsmEncodePdu(&eight, out);
    EXPECT_EQ(std::string(out), "00" "1100" "05910180F6" "000400" "02" "01FE");
}

TEST_F(SmsCodecTest, SentPdusDecodeIndependently)
{
    const std::string chinese = std::string("机房A 温度告警: 41.5°C,请处理!");
    struct {
        const char* name;
        std::string text;
        const char* sca;
        int crlf;
        int pdus;
    } cases[] = {
        {"chinese", chinese, "8613800100500", 0, 1},
        {"67", Repeat("x", 67), "8613800100500", 0, 1},
        {"68", Repeat(std::string("测"), 68), "", 1, 2},
        {"134", Repeat("y", 100) + Repeat(std::string("长"), 34), "8613800100500", 0, 2},
        {"135", Repeat("z", 135), "8613800100500", 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptPort port;
        ModemAccepts(port, c.pdus);
        SM_PARAM p = Param(c.sca, "8613800138000", c.text);
        EXPECT_EQ(gsmSendSms(&port, &p, c.crlf), 1);
        Sent s = SentOf(port);
        ASSERT_EQ(static_cast<int>(s.pdus.size()), c.pdus);
        ASSERT_EQ(s.counts.size(), s.pdus.size());
        size_t sca = c.sca[0] ? 18 : 2;  // hex digits of the service-centre part
        for (size_t i = 0; i < s.pdus.size(); ++i) {
            EXPECT_EQ(s.counts[i], gsmTpduLen(s.pdus[i].c_str()));
            EXPECT_EQ(s.pdus[i].substr(sca, 2), c.pdus == 1 ? "11" : "51");
            std::string body = Str(port.writes[2 * i + 1]);
            EXPECT_EQ(body, s.pdus[i] + (c.crlf ? "\x1A\r\n" : "\x1A"));
        }
        if (c.pdus == 1) {
            EXPECT_EQ(s.pdus[0].size() / 2, (c.sca[0] ? 9u : 1u) + 15u + gsmUcs2Len(c.text.c_str()));
        }

        std::vector<Decoded> d = Decode(s.pdus);
        ASSERT_EQ(static_cast<int>(d.size()), c.pdus);
        std::string whole;
        for (size_t i = 0; i < d.size(); ++i) {
            EXPECT_EQ(d[i].number, "+8613800138000");
            EXPECT_EQ(d[i].smsc, c.sca[0] ? "+8613800100500" : "");
            EXPECT_EQ(d[i].coding, "Unicode_No_Compression");
            EXPECT_EQ(d[i].validity, c.pdus == 1 ? "5M" : "10M");
            if (c.pdus > 1) {
                EXPECT_EQ(d[i].udh, "ConcatenatedMessages");
                EXPECT_EQ(d[i].ref, d[0].ref);
                EXPECT_EQ(d[i].part, static_cast<int>(i) + 1);
                EXPECT_EQ(d[i].parts, c.pdus);
            } else {
                EXPECT_EQ(d[i].udh, "NoUDH");
            }
            whole += d[i].text;
        }
        EXPECT_EQ(whole, GbkToUtf8(c.text));
    }
}

TEST_F(SmsCodecTest, ModemAnswersDecideTheResult)
{
    SM_PARAM p = Param("8613800100500", "8613800138000", "hi");
    {
        ScriptPort port;  // no prompt: probed for diagnostics
        port.Reply(std::string("\r\nERROR\r\n"));
        EXPECT_EQ(gsmSendSms(&port, &p, 0), 0);
        EXPECT_EQ(Str(port.LastWrite()), "AT+CMEE=?");
        EXPECT_EQ(port.writes.size(), 2u);
    }
    {
        ScriptPort port;  // sent, but no OK
        port.Reply(std::string("\r\n> "));
        port.Reply(std::string("\r\n+CMS ERROR: 500\r\n"));
        FakeClock::Sleeps().clear();
        EXPECT_EQ(gsmSendSms(&port, &p, 0), 2);
        EXPECT_EQ(Str(port.LastWrite()), "AT+CMEE?\r");
        std::vector<unsigned long> want = {500000, 1500000, 5000000, 2500000};
        EXPECT_EQ(FakeClock::Sleeps(), want);
        EXPECT_EQ(port.readTimeouts[1], 10000) << "the final answer waits up to 10 s";
    }
    {
        ScriptPort port;  // silence after the PDU
        port.Reply(std::string("\r\n> "));
        EXPECT_EQ(gsmSendSms(&port, &p, 0), 0);
    }
    {
        ScriptPort port;  // the first of two segments is not confirmed: the second is not sent
        port.Reply(std::string("\r\n> "));
        port.Reply(std::string("\r\nERROR\r\n"));
        port.Reply(std::string("\r\nOK\r\n"));
        SM_PARAM longer = Param("", "8613800138000", Repeat("z", 80));
        EXPECT_EQ(gsmSendSms(&port, &longer, 0), 2);
        EXPECT_EQ(SentOf(port).pdus.size(), 1u);
    }
}

}  // namespace
