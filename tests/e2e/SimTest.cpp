// The simulator's configuration and its Modbus responders, without a bus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/Responder.h"
#include "sim/SimConfig.h"
#include "tests/e2e/TestUtil.h"

using namespace sim;

namespace {

std::vector<uint8_t> Rtu(std::vector<uint8_t> pdu)
{
    uint16_t crc = Crc16(pdu.data(), pdu.size());
    pdu.push_back(static_cast<uint8_t>(crc & 0xFF));
    pdu.push_back(static_cast<uint8_t>(crc >> 8));
    return pdu;
}

bool CrcOk(const std::vector<uint8_t>& f)
{
    if (f.size() < 3) return false;
    uint16_t crc = Crc16(f.data(), f.size() - 2);
    return f[f.size() - 2] == (crc & 0xFF) && f[f.size() - 1] == (crc >> 8);
}

SlaveSpec Slave(int addr, std::vector<RegSpec> regs, Fault fault = FAULT_NONE, int delay = 0)
{
    SlaveSpec s;
    s.name = "s" + std::to_string(addr);
    s.bus = "b";
    s.addr = addr;
    s.regs = std::move(regs);
    s.fault = fault;
    s.delayMs = delay;
    return s;
}

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

TEST(SimRegValue, Forms)
{
    RegSpec r;
    ASSERT_TRUE(ParseRegValue("450", r));
    EXPECT_EQ(450, r.value);
    EXPECT_EQ(0, r.step);
    ASSERT_TRUE(ParseRegValue("-100", r));
    EXPECT_EQ(65436, r.value);  // two's complement word
    ASSERT_TRUE(ParseRegValue("235 ~2", r));
    EXPECT_EQ(2, r.step);
    EXPECT_EQ(215, r.lo);
    EXPECT_EQ(255, r.hi);
    ASSERT_TRUE(ParseRegValue(" 450 ~5 400..500 ", r));
    EXPECT_EQ(400, r.lo);
    EXPECT_EQ(500, r.hi);
    EXPECT_FALSE(ParseRegValue("450 ~5 460..500", r));  // start outside its range
    EXPECT_FALSE(ParseRegValue("70000", r));
    EXPECT_FALSE(ParseRegValue("4x", r));
    EXPECT_FALSE(ParseRegValue("4 ~", r));
    EXPECT_FALSE(ParseRegValue("4 ~1 0-9", r));
}

TEST(SimConfigFile, BusesSlavesAndMistakes)
{
    e2e::TempDir dir;
    std::string p = dir / "sim.ini";
    e2e::WriteFile(p,
                   "[sim]\ntick = 50\n"
                   "[bus.line]\nkind = rtu\npty = /tmp/x\n"
                   "[bus.net]\nkind = mbtcp\nlisten = 127.0.0.1:0\n"
                   "[slave.t1]\nbus = line\naddr = 3\nhold.0 = 450\ninput.7 = 1 ~1 0..9\ncoil.2 = 1\nfault = badcrc\n"
                   "delay = 20\n");
    SimConfig cfg;
    std::string err;
    ASSERT_TRUE(LoadSimConfig(p, cfg, err)) << err;
    EXPECT_EQ(50, cfg.tickMs);
    ASSERT_EQ(2u, cfg.buses.size());
    EXPECT_FALSE(cfg.buses[0].tcp);
    EXPECT_EQ("/tmp/x", cfg.buses[0].link);
    EXPECT_TRUE(cfg.buses[1].tcp);
    EXPECT_EQ(PROTO_MODBUS_TCP, cfg.buses[1].protocol);
    ASSERT_EQ(1u, cfg.slaves.size());
    const SlaveSpec& s = cfg.slaves[0];
    EXPECT_EQ(3, s.addr);
    EXPECT_EQ(FAULT_BADCRC, s.fault);
    EXPECT_EQ(20, s.delayMs);
    ASSERT_EQ(3u, s.regs.size());
    EXPECT_EQ(TB_INPUT, s.regs[1].table);
    EXPECT_EQ(7, s.regs[1].reg);

    const std::string bus = "[bus.line]\nkind = rtu\npty = \n";
    struct {
        std::string text, expect;
    } bad[] = {
        {"[bus.a]\npty = /tmp/y\n", "[bus.a] kind: missing"},
        {"[bus.a]\nkind = rtu\npty = /x\nlisten = 127.0.0.1:5\n", "[bus.a] listen: pty and listen are exclusive"},
        {"[bus.a]\nkind = mbtcp\npty = /x\n", "[bus.a] listen: mbtcp needs a listen address"},
        {"[bus.a]\nkind = bacnet\n", "[bus.a] kind: unknown value 'bacnet'"},
        {bus + "[slave.x]\nbus = other\naddr = 1\n", "[slave.x] bus: no section [bus.other]"},
        {bus + "[slave.x]\nbus = line\n", "[slave.x] addr: missing"},
        {bus + "[slave.x]\nbus = line\naddr = 1\n[slave.y]\nbus = line\naddr = 1\n", "[slave.y] addr: address used twice"},
        {bus + "[slave.x]\nbus = line\naddr = 1\nhold.x = 1\n", "[slave.x] hold.x: bad register number"},
        {bus + "[slave.x]\nbus = line\naddr = 1\ncoil.1 = 2\n", "[slave.x] coil.1: a bit is 0 or 1"},
        {bus + "[slave.x]\nbus = line\naddr = 1\nfault = loud\n", "[slave.x] fault: unknown value 'loud'"},
        {bus + "[slave.x]\nbus = line\naddr = 1\ncolour = red\n", "[slave.x] colour: unknown key"},
        {"[sim]\ntick = 0\n", "[sim] tick"},
        {"[sim]\n", "no bus configured"},
    };
    for (const auto& b : bad) {
        e2e::WriteFile(p, b.text);
        EXPECT_FALSE(LoadSimConfig(p, cfg, err)) << b.text;
        EXPECT_NE(std::string::npos, err.find(b.expect)) << "expected '" << b.expect << "' in: " << err;
        EXPECT_EQ(0u, err.find(p)) << err;
    }
}

TEST(ModbusRtu, FrameLengthsByFunction)
{
    CModbusResponder r(PROTO_MODBUS_RTU, {});
    const uint8_t read[] = {1, 3};
    EXPECT_EQ(0, r.FrameLength(read, 1));
    EXPECT_EQ(8, r.FrameLength(read, 2));
    const uint8_t multi[] = {1, 16, 0, 0, 0, 2, 4};
    EXPECT_EQ(0, r.FrameLength(multi, 6));
    EXPECT_EQ(13, r.FrameLength(multi, 7));
    const uint8_t other[] = {1, 0x2B, 0x0E};
    EXPECT_EQ(0, r.FrameLength(other, 3));
    EXPECT_TRUE(r.AnswerOnGap());
}

TEST(ModbusRtu, AnswersOnlyItsSlavesAndKeepsTheirFaults)
{
    std::vector<SlaveSpec> slaves = {
        Slave(1, {Reg(TB_HOLDING, 0, 450), Reg(TB_HOLDING, 1, 235)}),
        Slave(2, {Reg(TB_INPUT, 0, 235), Reg(TB_INPUT, 1, 450)}, FAULT_BADCRC),
        Slave(3, {Reg(TB_HOLDING, 0, 1)}, FAULT_SILENT),
        Slave(4, {Reg(TB_HOLDING, 1133, 7)}, FAULT_NONE, 35),
    };
    CModbusResponder r(PROTO_MODBUS_RTU, slaves);
    ASSERT_TRUE(r.Ok());
    Reply rep;

    auto q = Rtu({1, 3, 0, 0, 0, 2});
    ASSERT_TRUE(r.Answer(q.data(), q.size(), rep));
    EXPECT_EQ(Rtu({1, 3, 4, 0x01, 0xC2, 0x00, 0xEB}), rep.bytes);
    EXPECT_EQ(0, rep.delayMs);

    q = Rtu({2, 4, 0, 0, 0, 2});
    ASSERT_TRUE(r.Answer(q.data(), q.size(), rep));
    ASSERT_EQ(9u, rep.bytes.size());
    EXPECT_EQ(0xEB, rep.bytes[4]);
    EXPECT_FALSE(CrcOk(rep.bytes));

    q = Rtu({3, 3, 0, 0, 0, 1});
    EXPECT_FALSE(r.Answer(q.data(), q.size(), rep));  // silent slave
    q = Rtu({9, 3, 0, 0, 0, 1});
    EXPECT_FALSE(r.Answer(q.data(), q.size(), rep));  // nobody at 9
    q = Rtu({1, 3, 0, 0, 0, 2});
    q.back() ^= 1;
    EXPECT_FALSE(r.Answer(q.data(), q.size(), rep));  // damaged request

    q = Rtu({4, 3, 0x04, 0x6D, 0, 1});  // register 1133
    ASSERT_TRUE(r.Answer(q.data(), q.size(), rep));
    EXPECT_EQ(Rtu({4, 3, 2, 0, 7}), rep.bytes);
    EXPECT_EQ(35, rep.delayMs);
    q = Rtu({4, 3, 0, 0, 0, 1});  // outside the map: exception "illegal data address"
    ASSERT_TRUE(r.Answer(q.data(), q.size(), rep));
    EXPECT_EQ(Rtu({4, 0x83, 2}), rep.bytes);

    // A write lands in the map and is read back.
    q = Rtu({1, 6, 0, 1, 0x01, 0x2C});
    ASSERT_TRUE(r.Answer(q.data(), q.size(), rep));
    EXPECT_EQ(q, rep.bytes);
    EXPECT_EQ(300, r.Slave(1)->Value(TB_HOLDING, 1));
}

TEST(ModbusTcp, AnswersByUnitWithTheTransactionId)
{
    CModbusResponder r(PROTO_MODBUS_TCP, {Slave(9, {Reg(TB_HOLDING, 0, 70), Reg(TB_HOLDING, 1, 80)})});
    ASSERT_TRUE(r.Ok());
    EXPECT_FALSE(r.AnswerOnGap());
    const uint8_t q[] = {0x12, 0x34, 0, 0, 0, 6, 9, 3, 0, 0, 0, 2};
    EXPECT_EQ(0, r.FrameLength(q, 5));
    EXPECT_EQ(12, r.FrameLength(q, 6));
    const uint8_t badProto[] = {0, 1, 0, 1, 0, 6};
    EXPECT_LT(r.FrameLength(badProto, 6), 0);
    Reply rep;
    ASSERT_TRUE(r.Answer(q, sizeof q, rep));
    EXPECT_EQ((std::vector<uint8_t>{0x12, 0x34, 0, 0, 0, 7, 9, 3, 4, 0, 70, 0, 80}), rep.bytes);
    const uint8_t other[] = {0, 1, 0, 0, 0, 6, 8, 3, 0, 0, 0, 2};
    EXPECT_FALSE(r.Answer(other, sizeof other, rep));
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

}  // namespace
