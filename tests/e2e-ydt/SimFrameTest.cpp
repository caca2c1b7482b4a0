// The simulator's YD/T 1363 and command-protocol responders, without a bus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/FrameResponders.h"
#include "sim/SimConfig.h"
#include "tests/e2e/TestUtil.h"

using namespace sim;

namespace {

SlaveSpec Slave(int addr, const std::map<std::string, std::string>& ext, std::vector<std::pair<int, int>> regs = {})
{
    SlaveSpec s;
    s.name = "s" + std::to_string(addr);
    s.bus = "b";
    s.addr = addr;
    s.ext = ext;
    for (auto& r : regs) {
        RegSpec rs;
        rs.table = TB_HOLDING;
        rs.reg = r.first;
        rs.value = rs.lo = rs.hi = r.second;
        s.regs.push_back(rs);
    }
    return s;
}

std::string Ask(CResponder& r, const std::string& req)
{
    Reply rep;
    if (!r.Answer(reinterpret_cast<const uint8_t*>(req.data()), req.size(), rep)) return "<none>";
    return std::string(rep.bytes.begin(), rep.bytes.end());
}

std::vector<uint8_t> Bytes(const std::string& hex)
{
    std::vector<uint8_t> b;
    for (size_t i = 0; i + 1 < hex.size(); i += 3) b.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

std::string Hex(const std::vector<uint8_t>& b)
{
    std::string s;
    char t[4];
    for (size_t i = 0; i < b.size(); ++i) {
        snprintf(t, sizeof t, i ? " %02X" : "%02X", b[i]);
        s += t;
    }
    return s;
}

std::string AskBytes(CResponder& r, const std::string& hex)
{
    std::vector<uint8_t> req = Bytes(hex);
    Reply rep;
    if (!r.Answer(req.data(), req.size(), rep)) return "<none>";
    return Hex(rep.bytes);
}

// RTN of a YD/T reply.
std::string Rtn(const std::string& reply) { return reply.size() > 9 ? reply.substr(7, 2) : "<none>"; }

TEST(SimYdt, FramesAndTemplates)
{
    EXPECT_EQ(CYdtResponder::Frame("21", 1, "60", "00", ""), "~210160000000FDB6\r");
    CYdtResponder r;
    std::string err;
    ASSERT_TRUE(r.Add(Slave(1, {{"ydt.cid1", "41"}, {"ydt.41", "11 {0:f10} {1:b}"}}, {{0, 535}, {1, 0x101}}), err)) << err;
    std::string reply = Ask(r, CYdtResponder::Frame("21", 1, "41", "41", ""));
    EXPECT_EQ(reply, "~21014100400C110000564201FB4C\r") << "53.5 as a float, least significant byte first";
    ASSERT_TRUE(r.Add(Slave(2, {{"ydt.42", "{0} {0:f}"}}, {{0, 0xFFF1}}), err)) << err;
    EXPECT_EQ(Ask(r, CYdtResponder::Frame("21", 2, "60", "42", "")).substr(13, 12), "FFF1000070C1")
        << "a word, and -15 as a float";
}

TEST(SimYdt, ReturnCodesAndSilence)
{
    CYdtResponder r;
    std::string err;
    ASSERT_TRUE(r.Add(Slave(1, {{"ydt.ver", "22"}, {"ydt.42", "01"}, {"ydt.43", "02"}, {"ydt.43.rtn", "05"}}), err))
        << err;
    SlaveSpec silent = Slave(3, {});
    silent.fault = FAULT_SILENT;
    ASSERT_TRUE(r.Add(silent, err));

    std::string v = Ask(r, CYdtResponder::Frame("00", 1, "60", "4F", ""));
    EXPECT_EQ(Rtn(v), "00");
    EXPECT_EQ(v.substr(1, 2), "22") << "the version query is answered whatever VER it carries";
    EXPECT_EQ(Rtn(Ask(r, CYdtResponder::Frame("22", 1, "60", "42", ""))), "00");
    EXPECT_EQ(Ask(r, CYdtResponder::Frame("22", 1, "60", "42", "")).substr(9, 6), "E00201");
    EXPECT_EQ(Rtn(Ask(r, CYdtResponder::Frame("21", 1, "60", "42", ""))), "01") << "another version";
    EXPECT_EQ(Rtn(Ask(r, CYdtResponder::Frame("22", 1, "60", "43", ""))), "05") << "configured RTN";
    EXPECT_EQ(Rtn(Ask(r, CYdtResponder::Frame("22", 1, "60", "47", ""))), "04") << "no reply configured";
    std::string bad = CYdtResponder::Frame("22", 1, "60", "42", "");
    bad[14] = bad[14] == '0' ? '1' : '0';
    EXPECT_EQ(Rtn(Ask(r, bad)), "02") << "CHKSUM";
    std::string badLen = CYdtResponder::Frame("22", 1, "60", "42", "0102");
    badLen[9] = 'A';
    EXPECT_EQ(Rtn(Ask(r, badLen)), "03") << "LENGTH check nibble";
    EXPECT_EQ(Ask(r, CYdtResponder::Frame("22", 2, "60", "42", "")), "<none>") << "nobody at 2";
    EXPECT_EQ(Ask(r, CYdtResponder::Frame("22", 1, "41", "42", "")), "<none>") << "another device class";
    EXPECT_EQ(Ask(r, CYdtResponder::Frame("22", 3, "60", "42", "")), "<none>") << "silent slave";
    EXPECT_EQ(Ask(r, "~2201604200"), "<none>") << "too short";
}

TEST(SimYdt, ControlsSetRegisters)
{
    CYdtResponder r;
    std::string err;
    ASSERT_TRUE(r.Add(Slave(1, {{"ydt.43", "{3:b}"}, {"ydt.ctl.2f01", "3=1"}, {"ydt.ctl.2001", "3=0"}}, {{3, 0}}), err))
        << err;
    EXPECT_EQ(Ask(r, CYdtResponder::Frame("21", 1, "60", "43", "")).substr(13, 2), "00");
    EXPECT_EQ(Rtn(Ask(r, CYdtResponder::Frame("21", 1, "60", "45", "2F01"))), "00");
    EXPECT_EQ(r.Find(1)->lastControl, "2F01");
    EXPECT_EQ(Ask(r, CYdtResponder::Frame("21", 1, "60", "43", "")).substr(13, 2), "01");
    EXPECT_EQ(Rtn(Ask(r, CYdtResponder::Frame("21", 1, "60", "45", "2002"))), "06") << "not a known control";
    EXPECT_EQ(Rtn(Ask(r, CYdtResponder::Frame("21", 1, "60", "45", "2001"))), "00");
    EXPECT_EQ(Ask(r, CYdtResponder::Frame("21", 1, "60", "43", "")).substr(13, 2), "00");

    CYdtResponder refusing;
    ASSERT_TRUE(refusing.Add(Slave(1, {{"ydt.45.rtn", "04"}}), err));
    EXPECT_EQ(Rtn(Ask(refusing, CYdtResponder::Frame("21", 1, "60", "45", "01"))), "04");
}

TEST(SimYdt, FrameCuttingAndConfigurationErrors)
{
    CYdtResponder r;
    const std::string f = CYdtResponder::Frame("21", 1, "60", "42", "");
    auto len = [&](const std::string& s) { return r.FrameLength(reinterpret_cast<const uint8_t*>(s.data()), s.size()); };
    EXPECT_EQ(len(f + "~21"), 18);
    EXPECT_EQ(len(f.substr(0, 10)), 0);
    EXPECT_EQ(len("x~"), -1);

    std::string err;
    EXPECT_FALSE(r.Add(Slave(1, {{"ydt.42", "{7}"}}), err)) << "no register 7";
    EXPECT_NE(err.find("ydt.42"), std::string::npos) << err;
    EXPECT_FALSE(r.Add(Slave(1, {{"ydt.42", "0"}}), err)) << "odd digits";
    EXPECT_FALSE(r.Add(Slave(1, {{"ydt.42", "{0:x}"}}, {{0, 1}}), err));
    EXPECT_FALSE(r.Add(Slave(1, {{"ydt.42", "zz"}}), err));
    EXPECT_FALSE(r.Add(Slave(1, {{"ydt.ver", "1"}}), err));
    EXPECT_FALSE(r.Add(Slave(1, {{"ydt.ctl.2F01", "9=1"}}), err));
    EXPECT_FALSE(r.Add(Slave(1, {{"ydt.speed", "1"}}), err));
    EXPECT_FALSE(r.Add(Slave(1, {{"cmd.42", "01"}}), err));
}

TEST(SimCmd, RequestsRepliesAndControls)
{
    BusSpec bus;
    bus.name = "b";
    bus.ext = {{"cmd.request", "7E adr cmd dlen dat sum 0D"}, {"cmd.reply", "7E adr cmd dlen dat sum 0D"}, {"cmd.chk0", "1"}};
    CCmdResponder r;
    std::string err;
    ASSERT_TRUE(r.Setup(bus, err)) << err;
    ASSERT_TRUE(r.Add(Slave(1, {{"cmd.42", "{0} 0000 {1:f100}"}, {"cmd.43", "{3:b}"}, {"cmd.set.45", "3"}},
                            {{0, 2205}, {1, 250}, {3, 1}}),
                      err))
        << err;
    // 42 to address 1: sum from the address on = 01 + 42 + 00.
    EXPECT_EQ(AskBytes(r, "7E 01 42 00 43 0D"), "7E 01 42 08 08 9D 00 00 00 00 20 40 50 0D");
    EXPECT_EQ(AskBytes(r, "7E 01 42 00 44 0D"), "<none>") << "bad sum";
    EXPECT_EQ(AskBytes(r, "7E 02 42 00 44 0D"), "<none>") << "nobody at 2";
    EXPECT_EQ(AskBytes(r, "7E 01 47 00 48 0D"), "<none>") << "unknown command";
    EXPECT_EQ(AskBytes(r, "7E 01 45 02 01 00 49 0D"), "7E 01 45 00 46 0D");
    EXPECT_EQ(AskBytes(r, "7E 01 43 00 44 0D"), "7E 01 43 01 00 45 0D") << "the control opened the switch";

    std::vector<uint8_t> req = Bytes("7E 01 45 02 01 00 49 0D");
    EXPECT_EQ(r.FrameLength(req.data(), 3), 0);
    EXPECT_EQ(r.FrameLength(req.data(), 5), 0) << "dlen says two data bytes";
    EXPECT_EQ(r.FrameLength(req.data(), req.size()), 8);
    std::vector<uint8_t> junk = Bytes("55 7E");
    EXPECT_EQ(r.FrameLength(junk.data(), junk.size()), -1);
}

TEST(SimCmd, DataWithoutALengthWaitsForTheQuietLine)
{
    BusSpec bus;
    bus.ext = {{"cmd.request", "AA adr cmd dat xor"}, {"cmd.reply", "AA adr cmd dat crc"}};
    CCmdResponder r;
    std::string err;
    ASSERT_TRUE(r.Setup(bus, err)) << err;
    ASSERT_TRUE(r.Add(Slave(5, {{"cmd.10", "0102"}}), err)) << err;
    std::vector<uint8_t> req = Bytes("AA 05 10 09 09 BF");  // xor of AA 05 10 09 09
    EXPECT_EQ(r.FrameLength(req.data(), req.size()), 0);
    EXPECT_TRUE(r.AnswerOnGap());
    std::vector<uint8_t> out;
    ASSERT_TRUE(CCmdResponder::Build({"AA", "adr", "cmd", "dat", "crc"}, 0, 5, 0x10, {1, 2}, out));
    EXPECT_EQ(AskBytes(r, "AA 05 10 09 09 BF"), Hex(out));
    EXPECT_EQ(out.size(), 7u);
}

TEST(SimCmd, BuildAndSetupErrors)
{
    std::vector<uint8_t> out;
    ASSERT_TRUE(CCmdResponder::Build({"7E", "adr", "cmd", "dlen", "dat", "sum", "0D"}, 0, 1, 0x42, {}, out));
    EXPECT_EQ(Hex(out), "7E 01 42 00 C1 0D");
    ASSERT_TRUE(CCmdResponder::Build({"68", "len", "adr", "xor"}, 0, 2, 0, {}, out));
    EXPECT_EQ(Hex(out), "68 04 02 6A") << "len is set at the end; the XOR saw 0 there";
    EXPECT_FALSE(CCmdResponder::Build({"7E", "what"}, 0, 1, 0x42, {}, out));

    CCmdResponder r;
    std::string err;
    BusSpec bus;
    bus.ext = {{"cmd.request", "7E cmd"}, {"cmd.reply", "7E adr"}};
    EXPECT_FALSE(r.Setup(bus, err)) << "a request without adr";
    bus.ext = {{"cmd.request", "7E adr cmd"}};
    EXPECT_FALSE(r.Setup(bus, err)) << "no reply template";
    bus.ext = {{"cmd.request", "7E adr cmd foo"}, {"cmd.reply", "7E"}};
    EXPECT_FALSE(r.Setup(bus, err));
    bus.ext = {{"cmd.request", "7E0 adr cmd"}, {"cmd.reply", "7E"}};
    EXPECT_FALSE(r.Setup(bus, err));
    bus.ext = {{"cmd.request", "7E adr cmd"}, {"cmd.reply", "7E"}, {"cmd.chk0", "-1"}};
    EXPECT_FALSE(r.Setup(bus, err));
    bus.ext = {{"cmd.request", "7E adr cmd"}, {"cmd.reply", "7E"}};
    ASSERT_TRUE(r.Setup(bus, err)) << err;
    EXPECT_FALSE(r.Add(Slave(1, {{"cmd.4", "01"}}), err));
    EXPECT_FALSE(r.Add(Slave(1, {{"cmd.set.45", "2"}}), err)) << "no register 2";
    EXPECT_FALSE(r.Add(Slave(1, {{"ydt.42", "01"}}), err));
}

TEST(SimFrameConfig, KindsAndKeysFromTheFile)
{
    e2e::TempDir dir;
    std::string p = dir / "sim.ini";
    e2e::WriteFile(p,
                   "[bus.psu]\nkind = ydt\npty =\n"
                   "[bus.pdu]\nkind = cmd\npty =\nCmd.Request = 7E adr cmd\ncmd.reply = 7E adr\n"
                   "[slave.r]\nbus = psu\naddr = 1\nhold.0 = 5\nYDT.41 = {0}\nydt.ctl.2F01 = 0=1\n"
                   "[slave.p]\nbus = pdu\naddr = 1\ncmd.42 = 01\n");
    SimConfig cfg;
    std::string err;
    ASSERT_TRUE(LoadSimConfig(p, cfg, err)) << err;
    ASSERT_EQ(cfg.buses.size(), 2u);
    EXPECT_EQ(cfg.buses[0].protocol, PROTO_YDT1363);
    EXPECT_EQ(cfg.buses[1].protocol, PROTO_CMD);
    EXPECT_EQ(cfg.buses[1].ext.at("cmd.request"), "7E adr cmd");
    EXPECT_EQ(cfg.slaves[0].ext.at("ydt.41"), "{0}");
    EXPECT_EQ(cfg.slaves[0].ext.at("ydt.ctl.2f01"), "0=1");
    for (const BusSpec& b : cfg.buses) EXPECT_NE(MakeResponder(b, cfg.slaves, err), nullptr) << err;

    e2e::WriteFile(p, "[bus.psu]\nkind = ydt\npty =\ncmd.request = x\n[slave.r]\nbus = psu\naddr = 1\n");
    ASSERT_TRUE(LoadSimConfig(p, cfg, err)) << err;
    EXPECT_EQ(MakeResponder(cfg.buses[0], cfg.slaves, err), nullptr);
    EXPECT_NE(err.find("psu"), std::string::npos) << err;
    e2e::WriteFile(p, "[bus.psu]\nkind = ydt2\npty =\n");
    EXPECT_FALSE(LoadSimConfig(p, cfg, err));
}

}  // namespace
