// The simulator's configuration and responders, without a bus: what the end-to-end runs do
// not reach (configuration mistakes, drift, YD/T return codes, checksums, the quiet line).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/FrameResponders.h"
#include "sim/Responder.h"
#include "sim/ScriptResponder.h"
#include "sim/SimConfig.h"
#include "tests/e2e/TestUtil.h"

using namespace sim;

namespace {

RegSpec Reg(Table t, int reg, int value, int step = 0, int lo = 0, int hi = 0)
{
    RegSpec r;
    r.table = t;
    r.reg = reg;
    r.value = value;
    r.step = step;
    r.lo = step ? lo : value;
    r.hi = step ? hi : value;
    return r;
}

SlaveSpec Slave(int addr, std::vector<RegSpec> regs, const std::map<std::string, std::string>& ext = {},
                Fault fault = FAULT_NONE)
{
    SlaveSpec s;
    s.name = "s" + std::to_string(addr);
    s.bus = "b";
    s.addr = addr;
    s.regs = std::move(regs);
    s.ext = ext;
    s.fault = fault;
    return s;
}

// The reply to a request as text, or as hex bytes; "<none>" without one.
std::string Ask(CResponder& r, const std::string& req)
{
    Reply rep;
    if (!r.Answer(reinterpret_cast<const uint8_t*>(req.data()), req.size(), rep)) return "<none>";
    return std::string(rep.bytes.begin(), rep.bytes.end());
}

std::string AskBytes(CResponder& r, const std::string& hex)
{
    std::vector<uint8_t> req = HexToBytes(e2e::Replace(hex, " ", ""));
    Reply rep;
    if (!r.Answer(req.data(), req.size(), rep)) return "<none>";
    std::string s;
    char t[4];
    for (uint8_t b : rep.bytes) {
        snprintf(t, sizeof t, s.empty() ? "%02X" : " %02X", b);
        s += t;
    }
    return s;
}

TEST(SimConfigFile, RegisterValuesAndMistakes)
{
    RegSpec r;
    ASSERT_TRUE(ParseRegValue("-100", r));
    EXPECT_EQ(65436, r.value);  // two's complement word
    ASSERT_TRUE(ParseRegValue("235 ~2", r));
    EXPECT_EQ("2 215..255", std::to_string(r.step) + " " + std::to_string(r.lo) + ".." + std::to_string(r.hi));
    ASSERT_TRUE(ParseRegValue(" 450 ~5 400..500 ", r));
    EXPECT_EQ("400..500", std::to_string(r.lo) + ".." + std::to_string(r.hi));
    for (const char* bad : {"450 ~5 460..500", "70000", "4x", "4 ~", "4 ~1 0-9"})
        EXPECT_FALSE(ParseRegValue(bad, r)) << bad;

    e2e::TempDir dir;
    std::string p = dir / "sim.ini";
    SimConfig cfg;
    std::string err;
    // The simulator's own checks (the reader's generic ones are the host's too).
    const std::string bus = "[bus.line]\nkind = rtu\npty = \n";
    struct {
        std::string text, expect;
    } bad[] = {
        {"[bus.a]\nkind = rtu\npty = /x\nlisten = 127.0.0.1:5\n", "[bus.a] listen: pty and listen are exclusive"},
        {"[bus.a]\nkind = mbtcp\npty = /x\n", "[bus.a] listen: mbtcp needs a listen address"},
        {bus + "[slave.x]\nbus = other\naddr = 1\n", "[slave.x] bus: no section [bus.other]"},
        {bus + "[slave.x]\nbus = line\naddr = 1\n[slave.y]\nbus = line\naddr = 1\n", "[slave.y] addr: address used twice"},
        {bus + "[slave.x]\nbus = line\naddr = 1\nhold.x = 1\n", "[slave.x] hold.x: bad register number"},
        {bus + "[slave.x]\nbus = line\naddr = 1\ncoil.1 = 2\n", "[slave.x] coil.1: a bit is 0 or 1"},
        {bus + "[slave.x]\nbus = line\naddr = 1\nfault = loud\n", "[slave.x] fault: unknown value 'loud'"},
        {"[sim]\n", "no bus configured"},
    };
    for (const auto& b : bad) {
        e2e::WriteFile(p, b.text);
        EXPECT_FALSE(LoadSimConfig(p, cfg, err)) << b.text;
        EXPECT_EQ(0u, err.find(p + ": ")) << err;
        EXPECT_NE(std::string::npos, err.find(b.expect)) << "expected '" << b.expect << "' in: " << err;
    }
}

TEST(ModbusSlave, DriftTurnsAtTheBounds)
{
    CModbusSlave s(Slave(1, {Reg(TB_HOLDING, 0, 10, 4, 5, 20), Reg(TB_HOLDING, 1, 99), Reg(TB_COIL, 0, 0, 1, 0, 1)}));
    std::vector<int> seen, bits;
    for (int i = 0; i < 8; ++i) {
        s.Tick();
        seen.push_back(s.Value(TB_HOLDING, 0));
        bits.push_back(s.Value(TB_COIL, 0));
    }
    EXPECT_EQ((std::vector<int>{14, 18, 20, 16, 12, 8, 5, 9}), seen);
    EXPECT_EQ((std::vector<int>{1, 0, 1, 0, 1, 0, 1, 0}), bits);
    EXPECT_EQ(99, s.Value(TB_HOLDING, 1));  // no step: constant
    EXPECT_EQ(-1, s.Value(TB_INPUT, 0));
}

// RTN of a YD/T reply.
std::string Rtn(const std::string& reply) { return reply.size() > 9 ? reply.substr(7, 2) : "<none>"; }

TEST(SimYdt, ReturnCodesAndSilence)
{
    EXPECT_EQ("~210160000000FDB6\r", CYdtResponder::Frame("21", 1, "60", "00", ""));
    CYdtResponder r;
    std::string err;
    ASSERT_TRUE(r.Add(Slave(1, {Reg(TB_HOLDING, 0, 0xFFF1)},
                            {{"ydt.ver", "22"}, {"ydt.42", "{0} {0:f}"}, {"ydt.43", "02"}, {"ydt.43.rtn", "05"},
                             {"ydt.ctl.2f01", "0=1"}}),
                      err))
        << err;
    ASSERT_TRUE(r.Add(Slave(3, {}, {}, FAULT_SILENT), err));
    auto ask = [&](const std::string& ver, int adr, const std::string& cid1, const std::string& cid2,
                   const std::string& info) { return Ask(r, CYdtResponder::Frame(ver, adr, cid1, cid2, info)); };
    EXPECT_EQ("FFF1000070C1", ask("22", 1, "60", "42", "").substr(13, 12)) << "a word, and -15 as a float";
    EXPECT_EQ("01", Rtn(ask("21", 1, "60", "42", ""))) << "another version";
    EXPECT_EQ("05", Rtn(ask("22", 1, "60", "43", ""))) << "configured RTN";
    EXPECT_EQ("04", Rtn(ask("22", 1, "60", "47", ""))) << "no reply configured";
    EXPECT_EQ("06", Rtn(ask("22", 1, "60", "45", "2002"))) << "not a known control";
    std::string bad = CYdtResponder::Frame("22", 1, "60", "42", "");
    bad[14] = bad[14] == '0' ? '1' : '0';
    EXPECT_EQ("02", Rtn(Ask(r, bad))) << "CHKSUM";
    bad = CYdtResponder::Frame("22", 1, "60", "42", "0102");
    bad[9] = 'A';
    EXPECT_EQ("03", Rtn(Ask(r, bad))) << "LENGTH check nibble";
    for (int adr : {2, 3}) EXPECT_EQ("<none>", ask("22", adr, "60", "42", "")) << "nobody or silent at " << adr;
    EXPECT_EQ("<none>", ask("22", 1, "41", "42", "")) << "another device class";
}

TEST(SimCmd, RequestsAndRepliesByTemplate)
{
    BusSpec bus;
    bus.ext = {{"cmd.request", "7E adr cmd dlen dat sum 0D"}, {"cmd.reply", "7E adr cmd dlen dat sum 0D"}, {"cmd.chk0", "1"}};
    CCmdResponder r;
    std::string err;
    ASSERT_TRUE(r.Setup(bus, err)) << err;
    ASSERT_TRUE(r.Add(Slave(1, {Reg(TB_HOLDING, 0, 2205), Reg(TB_HOLDING, 1, 250)}, {{"cmd.42", "{0} 0000 {1:f100}"}}), err))
        << err;
    // The sum runs from the address on: 01 + 42 + 00 = 43.
    EXPECT_EQ("<none>", AskBytes(r, "7E 01 42 00 44 0D")) << "bad sum";
    EXPECT_EQ("<none>", AskBytes(r, "7E 01 47 00 48 0D")) << "unknown command";
    std::vector<uint8_t> req = HexToBytes("7E0145020100490D");
    EXPECT_EQ(0, r.FrameLength(req.data(), 5)) << "dlen says two data bytes";
    EXPECT_EQ(8, r.FrameLength(req.data(), req.size()));

    // Data without a length: the request ends when the line is quiet.
    bus.ext = {{"cmd.request", "AA adr cmd dat xor"}, {"cmd.reply", "68 len adr dat xor"}};
    CCmdResponder quiet;
    ASSERT_TRUE(quiet.Setup(bus, err)) << err;
    ASSERT_TRUE(quiet.Add(Slave(5, {}, {{"cmd.10", "0102"}}), err)) << err;
    req = HexToBytes("AA05100909BF");  // xor of AA 05 10 09 09
    EXPECT_EQ(0, quiet.FrameLength(req.data(), req.size()));
    EXPECT_TRUE(quiet.AnswerOnGap());
    // len is set at the end; the XOR saw 0 there: 68 ^ 05 ^ 01 ^ 02.
    EXPECT_EQ("68 06 05 01 02 6E", AskBytes(quiet, "AA 05 10 09 09 BF"));
}

TEST(SimScript, RulesMatchExactlyOrByLongestPrefixAndLogEveryRequest)
{
    e2e::TempDir dir;
    std::string log = dir / "req.log", pic = dir / "pic.bin";
    e2e::WriteFile(pic, std::string("\xFF\xD8\x00\xFF\xD9", 5));
    BusSpec bus;
    bus.ext = {{"script.end", "\\r"}, {"script.log", log}};
    CScriptResponder r;
    std::string err;
    ASSERT_TRUE(r.Setup(bus, err)) << err;
    ASSERT_TRUE(r.Add(Slave(1, {Reg(TB_HOLDING, 0, 2291), Reg(TB_HOLDING, 1, 65526)},
                            {{"script.2", "text:Q1\\r => text:({0.1} {1} {0})\\r"},
                             {"script.10", "prefix:Q => text:NAK\\r"},
                             {"script.3", "prefix:QP => text:QP?\\r"},
                             {"script.4", "hex:56 00 32 => file:" + pic},
                             {"script.5", "hexprefix:AA00 => hex:55"},
                             {"script.6", "text:T\\x2A => none"}}),
                      err))
        << err;
    ASSERT_TRUE(r.Add(Slave(2, {}, {{"script.1", "text:I\\r => text:#ACME\\r"}}, FAULT_BADCRC), err)) << err;
    struct {
        std::string req, reply;
    } rows[] = {
        {"Q1\r", "(229.1 -10 2291)\r"},   // placeholders: tenths, signed word, plain
        {"Q2\r", "NAK\r"},                // prefix
        {"QPI\r", "QP?\r"},               // the longest prefix wins over the earlier, shorter one
        {std::string("V\x00\x32", 3), std::string("\xFF\xD8\x00\xFF\xD9", 5)},
        {std::string("\xAA\x00\x01", 3), "U"},
        {"T*", "<none>"},                 // rule without a reply
        {"X\r", "<none>"},                // nothing matches
        {"I\r", "#ACME\xF2"},             // the slave's fault: last byte inverted
    };
    for (const auto& row : rows) EXPECT_EQ(row.reply, Ask(r, row.req)) << row.req;
    EXPECT_EQ(0u, e2e::ReadFile(log).find("51 31 0d\n51 32 0d\n")) << e2e::ReadFile(log);

    const std::string req = "Q1\rQ2";
    EXPECT_EQ(3, r.FrameLength(reinterpret_cast<const uint8_t*>(req.data()), req.size())) << "ends after \\r";
    EXPECT_EQ(0, r.FrameLength(reinterpret_cast<const uint8_t*>(req.data()) + 3, 2));

    for (const char* bad : {"text:Q1 -> text:x", "word:Q => none", "text:Q => text:{7}", "hex:5 => none",
                            "text:\\q => none", "text:Q => text:{0"}) {
        CScriptResponder b;
        EXPECT_FALSE(b.Add(Slave(1, {Reg(TB_HOLDING, 0, 1)}, {{"script.1", bad}}), err)) << bad;
    }
}

}  // namespace
