// Alarm outputs: the GSM modem driver's AT dialogue and controls, the dialler unit's frames and
// control results, the DGUS screen's frames; tables and rows of all three.
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

#include "drivers/alarm/AlarmModels.h"
#include "drivers/panel/PanelModels.h"
#include "tests/kit/Kit.h"

namespace {

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A modem answering each command by its text; a PDU (ending in Ctrl-Z) gets `sent`.
class ModemPort : public ScriptPort {
public:
    ModemPort()
    {
        answers = {{"AT\r", "\r\nOK\r\n"},
                   {"ATZ\r", "\r\nOK\r\n"},
                   {"ATE0\r", "\r\nOK\r\n"},
                   {"AT+CSQ\r", "\r\n+CSQ: 23,99\r\n\r\nOK\r\n"},
                   {"AT+CPIN?\r", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
                   {"AT+COPS?\r", "\r\n+COPS: 0,0,\"CHINA MOBILE\"\r\n\r\nOK\r\n"},
                   {"AT+ESIMS?\r", "\r\n+ESIMS: 1\r\n\r\nOK\r\n"},
                   {"AT+CMGF=0\r", "\r\nOK\r\n"},
                   {"AT+CMEE=2\r", "\r\nOK\r\n"},
                   {"AT+CSCS=\"GSM\";+CSCA?\r\n", "\r\n+CSCA: \"+8613800100500\",145\r\n\r\nOK\r\n"},
                   {"AT+CSCS=?\r\n", "\r\n+CSCS: (\"GSM\",\"UCS2\")\r\n\r\nOK\r\n"},
                   {"AT+CSCA?\r\n", "\r\n+CSCA: \"+8613800100500\",145\r\n\r\nOK\r\n"}};
    }
    int Read(unsigned char* buf, int cap, int timeoutMs) override
    {
        ++reads;
        readCaps.push_back(cap);
        readTimeouts.push_back(timeoutMs);
        std::string last = writes.empty() ? "" : Str(writes.back());
        std::string a;
        if (last.compare(0, 8, "AT+CMGS=") == 0) a = "\r\n> ";
        else if (last.find('\x1A') != std::string::npos) a = sent;
        else if (answers.count(last)) a = answers[last];
        int n = static_cast<int>(a.size()) < cap ? static_cast<int>(a.size()) : cap;
        std::memcpy(buf, a.data(), static_cast<size_t>(n));
        return n;
    }
    // Every command written, CR and LF shown as \r \n, PDUs as "<pdu>".
    std::string Dialogue() const
    {
        std::string out;
        for (const Bytes& w : writes) {
            std::string t = Str(w);
            if (t.find('\x1A') != std::string::npos) t = "<pdu>";
            for (size_t p; (p = t.find('\r')) != std::string::npos;) t.replace(p, 1, "\\r");
            for (size_t p; (p = t.find('\n')) != std::string::npos;) t.replace(p, 1, "\\n");
            out += (out.empty() ? "" : " ") + t;
        }
        return out;
    }
    std::string Pdu() const
    {
        for (const Bytes& w : writes)
            if (Str(w).find('\x1A') != std::string::npos) return Str(w);
        return "";
    }
    std::map<std::string, std::string> answers;
    std::string sent = "\r\n+CMGS: 3\r\n\r\nOK\r\n";
};

class AlarmOutTest : public ::testing::Test {
protected:
    void SetUp() override { SMLogResetCounter(); }
    std::string Log() const { return root.Exists(kLog) ? root.Read(kLog) : ""; }
    static constexpr const char* kLog = "/NandFlash/tmp/qvsm.log.ini";
    TempRoot root;
    FakeClock clock;
    TestDb db, db2;
};

// ---- GSM modem -----------------------------------------------------------------------------

TEST_F(AlarmOutTest, GsmStoresNumberTextAndParameterWithoutTheModem)
{
    CSMAlmGsm g;
    struct {
        int cmd;
        const char* buf;
        int result;
        const char* number;
    } cases[] = {
        {31, "13800138000", 13, "8613800138000"}, {31, "8613600000000", 13, "8613600000000"},
        {31, "1234567890123456", 0, "8613600000000"}, {31, nullptr, 0, "8613600000000"},
        {32, "机房告警", 8, "8613600000000"},     {33, "extra", 5, "8613600000000"},
        {30, nullptr, 1, "8613600000000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(g.DoFunc(nullptr, 1, c.cmd, const_cast<char*>(c.buf), 0), c.result) << c.cmd << " " << (c.buf ? c.buf : "");
        EXPECT_STREQ(g.Number(), c.number);
    }
    EXPECT_STREQ(g.Text(), "机房告警");
    ScriptPort closed;
    closed.open = false;
    EXPECT_EQ(g.DoFunc(&closed, 1, 3, nullptr, 0), 0);
    EXPECT_TRUE(closed.writes.empty());
}

TEST_F(AlarmOutTest, GsmSendNowPerVariant)
{
    const char* kInit0 =
        "AT\\r AT+CSQ\\r AT+CPIN?\\r AT+COPS?\\r "                                    // GsmTest
        "ATZ\\r ATE0\\r AT+ESIMS?\\r AT+COPS?\\r AT+CSQ\\r AT+CMGF=0\\r AT+CMEE=2\\r "  // GsmInit
        "AT+CSCS=\"GSM\";+CSCA?\\r\\n ";                                              // GsmSmsc
    struct {
        int variant;
        int cmd;
        const char* buf;
        const char* dialogue;  // after the GsmTest/GsmInit/GsmSmsc part of Variant 0
        const char* pduStart;  // centre and destination as sent
        const char* pduEnd;
    } cases[] = {
        {0, 3, "13900001111;告警", "", "0891683108100005F011000D91683109001011F1", "\x1A"},
        {1, 3, "8613900001111;告警",
         "AT\\r AT+CSQ\\r AT+CPIN?\\r AT+COPS?\\r ATZ\\r ATE0\\r AT+CSQ\\r AT+CMGF=0\\r AT+CMEE=2\\r "
         "AT+CSCS=\"GSM\";+CSCA?\\r\\n AT+CMGS=19\\r <pdu>",
         "0891683108100005F011000D91683109001011F1", "\x1A"},
        // Send-now asks for the centre in every variant; Variants 2 and 3 then leave it out.
        {2, 3, "13900001111;告警",
         "AT\\r ATZ\\r AT+CSQ\\r AT+CMGF=0\\r AT+CMEE=2\\r AT+CSCS=?\\r\\n AT+CSCA?\\r\\n AT+CMGS=19\\r <pdu>",
         "0011000D91683109001011F1", "\x1A\r\n"},
        {3, 35, "告警", "AT\\r ATZ\\r AT+CSQ\\r AT+CMGF=0\\r AT+CMEE=2\\r AT+CMGS=19\\r <pdu>",
         "0011000D91683108108300F0", "\x1A\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.variant) + " " + c.buf);
        ModemPort port;
        tagSMItem item = MakeItem(7, 2561, 1, c.variant, &port);
        CSMAlmGsm g;
        g.DoItem(&item, 0);
        g.DoFunc(nullptr, 1, 31, const_cast<char*>("13800138000"), 0);
        EXPECT_EQ(g.DoFunc(&port, 1, c.cmd, const_cast<char*>(c.buf), 0), 1);
        std::string want = c.variant == 0 ? std::string(kInit0) + "AT+CMGS=19\\r <pdu>" : c.dialogue;
        EXPECT_EQ(port.Dialogue(), want);
        std::string pdu = port.Pdu();
        EXPECT_EQ(pdu.compare(0, std::strlen(c.pduStart), c.pduStart), 0) << pdu;
        EXPECT_EQ(pdu.substr(pdu.size() - std::strlen(c.pduEnd)), c.pduEnd);
        EXPECT_NE(pdu.find("000800" "04" "544A8B66"), std::string::npos) << "UCS-2 text, 5 minutes";
        EXPECT_EQ(g.Signal(), 23);
        EXPECT_EQ(g.Inited(), 1);
    }
}

TEST_F(AlarmOutTest, GsmSignalRulesAtInitAndTest)
{
    struct {
        const char* csq;
        int init;  // GsmInit result
        int signal;
        int test;  // GsmTest result (Variant 0)
    } cases[] = {
        {"\r\n+CSQ: 5,99\r\n\r\nOK\r\n", 0, 0, 0},  {"\r\n+CSQ: 6,99\r\n\r\nOK\r\n", 1, 6, 0},
        {"\r\n+CSQ: 9,99\r\n\r\nOK\r\n", 1, 9, 0},  {"\r\n+CSQ: 10,99\r\n\r\nOK\r\n", 1, 10, 1},
        {"\r\n+CSQ: 23,99\r\n\r\nOK\r\n", 1, 23, 1}, {"\r\n+CSQ: 99,99\r\n\r\nOK\r\n", 1, 99, 1},
        {"\r\n+CSQ: 23\r\n\r\nOK\r\n", 0, 0, 1},    {"\r\nERROR\r\n", 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.csq);
        SMLogResetCounter();
        std::remove(root.Path(kLog).c_str());
        ModemPort port;
        port.answers["AT+CSQ\r"] = c.csq;
        tagSMItem item = MakeItem(7, 2561, 1, 0, &port);
        CSMAlmGsm g;
        g.DoItem(&item, 0);
        EXPECT_EQ(g.GsmInit(&port), c.init);
        EXPECT_EQ(g.Inited(), c.init);
        EXPECT_EQ(g.Signal(), c.signal);
        EXPECT_EQ(Log().find("[CSMAlmGsm::GsmInit] Check \"AT+CSQ\" Error\r") != std::string::npos, c.init == 0);
        EXPECT_EQ(g.GsmTest(&port), c.test);
    }
}

TEST_F(AlarmOutTest, GsmTestFailuresRetryAndResetTheModem)
{
    ModemPort port;
    port.answers["AT+CPIN?\r"] = "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n";
    tagSMItem item = MakeItem(7, 2561, 3, 0, &port);
    CSMAlmGsm g;
    g.DoItem(&item, 0);
    EXPECT_EQ(g.DoFunc(&port, 3, 0, nullptr, 0), 0);
    int resets = 0;
    for (const Bytes& w : port.writes) resets += Str(w) == "AT+CFUN=1,1\r";
    EXPECT_EQ(resets, 5);
    unsigned long pauses = 0;
    for (unsigned long us : FakeClock::Sleeps()) pauses += us == 1000000;
    EXPECT_EQ(pauses, 4u) << "1 s between the five tries";
    std::string log = Log();
    EXPECT_NE(log.find("[CSMAlmGsm::DoFunc] addr=3, func=0, buf=(null)"), std::string::npos);
    EXPECT_NE(log.find("GsmTest try: 4 "), std::string::npos);
    EXPECT_NE(log.find("GsmTest try Error: 5 "), std::string::npos);

    ModemPort silent;  // nothing but OK to AT, no operator
    silent.answers["AT+COPS?\r"] = "\r\n+COPS: 0\r\n\r\nOK\r\n";
    EXPECT_EQ(g.GsmTest(&silent), 0);
    silent.answers.clear();
    EXPECT_EQ(g.GsmTest(&silent), 0);
    EXPECT_NE(Log().find("[CSMAlmGsm::GsmTest] Read AT Error"), std::string::npos);
    EXPECT_EQ(silent.readCaps.back(), 16);
}

TEST_F(AlarmOutTest, GsmSmscAndSendFailures)
{
    ModemPort port;
    tagSMItem item = MakeItem(7, 2561, 1, 3, &port);
    CSMAlmGsm g;
    g.DoItem(&item, 0);
    EXPECT_EQ(g.GsmSmsc(&port), 13);
    EXPECT_STREQ(g.Smsc(), "8613800100500");
    port.answers["AT+CSCA?\r\n"] = "\r\nERROR\r\n";
    EXPECT_EQ(g.GsmSmsc(&port), 0);
    EXPECT_STREQ(g.Smsc(), "");
    EXPECT_NE(Log().find("获取当前的服务中心地址失败!"), std::string::npos);

    // Nothing to send yet, then a modem that does not confirm.
    EXPECT_EQ(g.DoFunc(&port, 1, 34, nullptr, 0), 0);
    EXPECT_NE(Log().find("[CSMAlmGsm::GsmSms] GSM Num and Sms Error"), std::string::npos);
    g.DoFunc(nullptr, 1, 31, const_cast<char*>("13800138000"), 0);
    port.sent = "\r\n+CMS ERROR: 500\r\n";
    EXPECT_EQ(g.DoFunc(&port, 1, 35, const_cast<char*>("test"), 0), 0);
    EXPECT_NE(Log().find("[CSMAlmGsm::GsmSms] Send GSM Error! errno=2"), std::string::npos);
    port.sent = "\r\nOK\r\n";
    EXPECT_EQ(g.DoFunc(&port, 1, 34, nullptr, 0), 1);
    EXPECT_EQ(g.DoFunc(&port, 1, 12, nullptr, 0), 0) << "no such command";
}

TEST_F(AlarmOutTest, GsmTablesRowsAndPoll)
{
    CSMAlmGsm g;
    g.SetDb(&db, 0);
    g.SetDb(&db2, 1);
    EXPECT_EQ(g.ChkDb(nullptr), 1);
    for (TestDb* d : {&db, &db2})
        for (const char* t : {"tbAlarm", "tbAlmGsm"}) EXPECT_TRUE(d->TableExists(t)) << t;
    EXPECT_EQ(db.CountExecs("create table tbAlmGsm(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTEGER,Addr "
                            "INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER,DevId INTEGER,Status INTEGER,Signal "
                            "INTEGER,iSignal INTEGER)"),
              1);
    ModemPort port;
    tagSMItem item = MakeItem(41, 2561, 2, 0, &port);
    g.DoItem(&item, 0);
    EXPECT_EQ(g.ChkDb(&item), 1);
    EXPECT_EQ(db.Int("select count(*) from tbAlmGsm where SID=41"), 1);
    EXPECT_EQ(db.Int("select count(*) from tbAlarm where SID=41"), 1);
    g.RegDb(&db, 0);
    EXPECT_EQ(db.Str("select Name from tbSMType where Type=2561"), "短信猫 QV-ALM PT");
    EXPECT_EQ(db.Int("select Kind from tbSMType where Type=2561"), 2560);
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=2561 and Fld=1"), 1);

    g.GsmInit(&port);
    EXPECT_EQ(g.DataGet(&port, 2, 0), 1);
    EXPECT_NE(Log().find("[P02] SMAlmGsm: s=23 \r"), std::string::npos);
    EXPECT_EQ(g.DataGet(nullptr, 2, 0), 0);
    EXPECT_EQ(g.DataVal(1), 23);
    EXPECT_EQ(g.DataVal(2), -1);

    int alarm[1] = {1}, snap = 9;
    struct {
        int flags;
        int* bits;
        IDbBase* hist;
        const char* row;  // State,SnapID,Signal,iSignal
    } cases[] = {
        {0, alarm, nullptr, "0|0|23|1"},
        {0x11, alarm, nullptr, "1|9|23|1"},
        {0, nullptr, nullptr, "2|0|0|2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(g.DataUpd(c.flags, c.bits, &snap, -1, c.hist), 1);
        EXPECT_EQ(db.Str("select State||'|'||SnapID||'|'||Signal||'|'||iSignal from tbAlmGsm where SID=41"), c.row);
    }
    db2.Clear();
    EXPECT_EQ(g.DataUpd(0, alarm, nullptr, 41, &db2), 1);
    ASSERT_EQ(db2.execs.size(), 1u);
    EXPECT_EQ(db2.execs[0],
              "update tbAlmGsm set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0,SnapID=0,Signal=23,"
              "iSignal=1 where sid=41");
    CSMAlmGsm none;
    EXPECT_EQ(none.DataUpd(0, alarm, nullptr, 1, nullptr), 0);
}

// ---- dialler unit --------------------------------------------------------------------------

// Reply header and body as two reads.
void Reply3000(ScriptPort& port, unsigned char cmd, const Bytes& data, unsigned char trailer = 0x55, int chkDelta = 0)
{
    port.Reply(Bytes{0xAA, static_cast<unsigned char>(data.size() >> 8), static_cast<unsigned char>(data.size())});
    Bytes b{cmd};
    unsigned char x = cmd;
    for (unsigned char d : data) {
        b.push_back(d);
        x ^= d;
    }
    b.push_back(static_cast<unsigned char>(x + chkDelta));
    b.push_back(trailer);
    port.Reply(b);
}

TEST_F(AlarmOutTest, DiallerMessageFrame)
{
    ScriptPort port;
    tagSMItem item = MakeItem(5, 2560, 1, 0, &port);
    CSMAlm3000 d;
    d.DoItem(&item, 0);
    EXPECT_EQ(d.DoFunc(&port, 1, 0x1F, const_cast<char*>("13800138000"), 0), 13);
    Reply3000(port, 0x11, {0x00});
    EXPECT_EQ(d.DoFunc(&port, 1, 0x23, const_cast<char*>("A"), 0), 1);
    std::string payload = std::string("8613800138000") + '\0' + "A" + '\0';
    std::string frame = std::string("\xAA") + '\0' + static_cast<char>(payload.size()) + '\x11' + payload;
    Bytes want(frame.begin(), frame.end());
    unsigned char x = 0x11;
    for (char c : payload) x ^= static_cast<unsigned char>(c);
    want.push_back(x);
    want.push_back(0x55);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(ToHex(port.writes[0]), ToHex(want));
    EXPECT_EQ(payload.size(), 16u);
    EXPECT_EQ(port.purges, 1);
    EXPECT_STREQ(d.Message(), "A");
    EXPECT_EQ(port.readCaps, (std::vector<int>{3, 4}));
}

TEST_F(AlarmOutTest, DiallerRepliesThatFail)
{
    struct {
        const char* name;
        Bytes header;  // empty: built from the data
        unsigned char echo;
        Bytes data;
        unsigned char trailer;
        int chkDelta;
        int result;
    } cases[] = {
        {"good", {}, 0x11, {0x00}, 0x55, 0, 1},
        {"trailer not 55", {}, 0x11, {0x00}, 0x54, 0, 0},
        {"checksum", {}, 0x11, {0x00}, 0x55, 1, 0},
        {"other command echoed", {}, 0x12, {0x00}, 0x55, 0, 0},
        {"status not 0", {}, 0x11, {0x03}, 0x55, 0, 0},
        {"no status byte", {}, 0x11, {}, 0x55, 0, 0},
        {"short header", {0xAA, 0x00}, 0x11, {0x00}, 0x55, 0, 0},
        {"not AA", {0xAB, 0x00, 0x01}, 0x11, {0x00}, 0x55, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptPort port;
        tagSMItem item = MakeItem(5, 2560, 1, 0, &port);
        CSMAlm3000 d;
        d.DoItem(&item, 0);
        d.DoFunc(&port, 1, 0x33, const_cast<char*>("10086"), 0);
        d.DoFunc(&port, 1, 0x20, const_cast<char*>("x"), 0);
        if (c.header.empty()) {
            Reply3000(port, c.echo, c.data, c.trailer, c.chkDelta);
        } else {
            port.Reply(c.header);
            port.Reply(Bytes{c.echo, 0x00, c.echo, 0x55});
        }
        EXPECT_EQ(d.DoFunc(&port, 1, 0x22, nullptr, 0), c.result);
    }
}

TEST_F(AlarmOutTest, DiallerControlsAndTheirResults)
{
    struct {
        const char* name;
        int cmd;
        const char* buf;
        int param1;
        std::vector<std::pair<unsigned char, Bytes>> replies;
        int result;
        std::vector<std::string> frames;  // hex of each write
    } cases[] = {
        {"relay off", 10, nullptr, 1, {{0x32, {}}}, 0, {"AA 00 02 32 01 00 33 55"}},
        {"relay on, relay 0", 11, nullptr, 0, {{0x32, {}}}, 0, {"AA 00 02 32 00 01 33 55"}},
        {"speak locally", 0x14, "hi", 0, {{0x04, {}}, {0x31, {}}}, 0,
         {"AA 00 03 04 68 69 00 05 55", "AA 00 00 31 31 55"}},
        {"GSM status good", 0x1E, nullptr, 0, {{0x02, {0, 5, 0, 0}}}, 1, {"AA 00 00 02 02 55"}},
        {"GSM status 20", 0x1E, nullptr, 0, {{0x02, {0, 20, 0, 0}}}, 0, {"AA 00 00 02 02 55"}},
        {"GSM reset", 0x1E, "", 0, {{0x10, {}}}, 1, {"AA 00 00 10 10 55"}},
        {"line free", 0x32, nullptr, 0, {{0x02, {0, 0, 0, 0}}}, 1, {"AA 00 00 02 02 55"}},
        {"line busy", 0x32, nullptr, 0, {{0x02, {0, 0, 1, 0}}}, 2, {"AA 00 00 02 02 55"}},
        {"line fault", 0x32, nullptr, 0, {{0x02, {0, 0, 7, 0}}}, 0, {"AA 00 00 02 02 55"}},
        {"line reset", 0x32, "", 0, {{0x20, {}}}, 1, {"AA 00 00 20 20 55"}},
        {"unknown", 0x40, nullptr, 0, {}, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptPort port;
        tagSMItem item = MakeItem(5, 2560, 1, 0, &port);
        item.Param1 = c.param1;
        CSMAlm3000 d;
        d.DoItem(&item, 0);
        for (const auto& r : c.replies) Reply3000(port, r.first, r.second);
        EXPECT_EQ(d.DoFunc(&port, 1, c.cmd, const_cast<char*>(c.buf), 0), c.result);
        std::vector<std::string> frames;
        for (const Bytes& w : port.writes) frames.push_back(ToHex(w));
        EXPECT_EQ(frames, c.frames);
    }

    ScriptPort port;  // a call: text to speak, then the number
    tagSMItem item = MakeItem(5, 2560, 1, 0, &port);
    CSMAlm3000 d;
    d.DoItem(&item, 0);
    d.DoFunc(&port, 1, 0x1F, const_cast<char*>("8613800138000"), 0);
    d.DoFunc(&port, 1, 0x20, const_cast<char*>("ab"), 0);
    Reply3000(port, 0x04, {});
    Reply3000(port, 0x21, {});
    EXPECT_EQ(d.DoFunc(&port, 1, 0x35, nullptr, 0), 1);
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(port.writes[0][3], 0x04);
    EXPECT_EQ(Str(port.writes[1]).substr(4, 14), std::string("8613800138000") + '\0');
    EXPECT_EQ(d.DoFunc(&port, 1, 0x24, nullptr, 0), 0);
    EXPECT_EQ(port.timeouts.back(), (std::pair<unsigned, unsigned>(10, 1000)));
    port.open = false;
    EXPECT_EQ(d.DoFunc(&port, 1, 0x22, nullptr, 0), 0);
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
}

TEST_F(AlarmOutTest, DiallerNumbersTextsAndReopen)
{
    CSMAlm3000 d;
    struct {
        int cmd;
        std::string buf;
        int result;
        const char* number;
    } cases[] = {
        {0x1F, "13800138000", 13, "8613800138000"},     {0x1F, "8613912345678", 13, "8613912345678"},
        {0x1F, "1380013800012", 15, "861380013800012"}, {0x1F, "13800138000123", 0, "861380013800012"},
        {0x33, "13800138000", 11, "13800138000"},       {0x33, "1234567890123456", 0, "13800138000"},
        {0x20, std::string(511, 'm'), 511, "13800138000"}, {0x34, std::string(512, 'm'), 0, "13800138000"},
        {0x21, "second", 6, "13800138000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(d.DoFunc(nullptr, 1, c.cmd, const_cast<char*>(c.buf.c_str()), 0), c.result) << c.buf;
        EXPECT_STREQ(d.Number(), c.number);
    }
    EXPECT_EQ(std::strlen(d.Message()), 511u);
    EXPECT_STREQ(d.Text2(), "second");
    EXPECT_EQ(d.DoFunc(nullptr, 1, 0x1F, nullptr, 0), 0);

    ScriptPort port;  // every write fails: one reopen and one more try
    port.failWritesFrom = 0;
    tagSMItem item = MakeItem(5, 2560, 1, 0, &port);
    d.DoItem(&item, 0);
    EXPECT_EQ(d.DoFunc(&port, 1, 0x22, nullptr, 0), 0);
    EXPECT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(port.closes, 1);
    EXPECT_EQ(port.opens, 1);
    EXPECT_EQ(AlmPort(), &port);

    d.SetDb(&db, 0);
    EXPECT_EQ(d.ChkDb(&item), 1);
    EXPECT_TRUE(db.TableExists("tbAlarm"));
    EXPECT_FALSE(db2.TableExists("tbAlarm"));
    EXPECT_EQ(d.DataSize(), 2);
    EXPECT_EQ(d.DataVal(2), 0);
    EXPECT_EQ(d.DataVal(3), -1);
    EXPECT_EQ(d.DataUpd(0, nullptr, nullptr, 5, nullptr), 1);
}

// ---- display panel -------------------------------------------------------------------------

TEST_F(AlarmOutTest, PanelFrames)
{
    static unsigned char rtc[7] = {0x26, 0x12, 0x06, 0x00, 0x13, 0x05, 0x00};
    struct {
        int variant;
        int cmd;
        void* buf;
        int len;
        int result;
        const char* frame;
    } cases[] = {
        {0, 3, nullptr, 5, 1, "A5 5A 04 80 03 00 05"},
        {1, 3, nullptr, 5, 1, "5A A5 04 80 03 00 05"},
        {0, 1, reinterpret_cast<void*>(0x1000), 250, 1, "A5 5A 05 82 10 00 00 FA"},
        {0, 1, reinterpret_cast<void*>(0x21234), 0x10102, 1, "A5 5A 05 82 12 34 01 02"},
        {0, 2, rtc, 7, 1, "A5 5A 0A 80 1F 5A 26 12 06 00 13 05 00"},
        {0, 2, nullptr, 7, 0, ""},
        {0, 4, nullptr, 5, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        ScriptPort port;
        tagSMItem item = MakeItem(9, 2816, 1, c.variant, &port);
        CSMDGusMonitor p;
        p.DoItem(&item, 0);
        EXPECT_EQ(p.DoFunc(c.cmd, c.buf, c.len), c.result);
        EXPECT_EQ(ToHex(port.AllWritten()), c.frame);
        EXPECT_EQ(CSMDGusMonitor::Handler(), &port);
    }
    ScriptPort port;
    port.shortWriteBy = 1;
    CSMAlmDiwen w;
    EXPECT_EQ(w.DoFunc(&port, 1, 3, nullptr, 1), 0) << "short write";
    port.open = false;
    EXPECT_EQ(w.DoFunc(&port, 1, 3, nullptr, 1), 0);
    EXPECT_EQ(w.DataGet(&port, 1, 0), 0);
    EXPECT_EQ(w.GetType(), 2817);
    EXPECT_EQ(w.diwen_init(), 1);
    EXPECT_EQ(port.opens, 1);
}

TEST_F(AlarmOutTest, PanelRowsAndTable)
{
    CSMDGusMonitor p;
    p.SetDb(&db, 0);
    p.SetDb(&db2, 1);
    tagSMItem item = MakeItem(9, 2816, 1, 0, nullptr);
    p.DoItem(&item, 0);
    EXPECT_EQ(p.ChkDb(&item), 1);
    EXPECT_TRUE(db2.TableExists("tbAlmDGus"));
    EXPECT_EQ(db.Int("select count(*) from tbAlmDGus where SID=9"), 1);
    p.RegDb(&db, 0);
    EXPECT_EQ(db.Str("select Kind||' '||Name||' '||Iface from tbSMType where Type=2816"), "2560 QV-DGus 232接口,支持串口屏");
    db.Run("create table tbAlmGsm(SID INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER)");
    db.Run("insert into tbAlmGsm(SID) values(9)");
    int snap = 4, bits[1] = {0};
    EXPECT_EQ(p.DataUpd(0x10, bits, &snap, -1, nullptr), 1);
    EXPECT_EQ(db.Str("select State||'|'||SnapID from tbAlmGsm where SID=9"), "0|4");
    EXPECT_EQ(p.DataUpd(1, nullptr, &snap, -1, nullptr), 1);
    EXPECT_EQ(db.Str("select State||'|'||SnapID from tbAlmGsm where SID=9"), "1|0");
    EXPECT_EQ(p.DataUpd(0, nullptr, nullptr, -1, &db2), 0) << "no tbAlmGsm in the second database";
    EXPECT_EQ(p.DataVal(1), 0);
    EXPECT_EQ(p.DataSize(), 0);
}

}  // namespace
