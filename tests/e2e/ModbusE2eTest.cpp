// The shipped Modbus definitions polled by qvsm-host with libqvsm.so against devices simulated
// by qvsm-sim: a temperature/humidity transmitter and a digital I/O module over RTU on a
// pseudo-terminal, a three-phase meter over Modbus TCP, and controls whose writes the
// simulator receives and the next poll reads back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/e2e/TestUtil.h"

using namespace std::chrono;
using e2e::Gbk;

namespace {

// "hold.N = word" lines of a float: low word first (format f) or least significant byte
// first (format F).
std::string Float(int reg, float v, bool byteSwapped)
{
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    if (byteSwapped) b = ((b & 0xFF) << 8) | ((b >> 8) & 0xFF) | (((b >> 16) & 0xFF) << 24) | ((b >> 24) << 16);
    return "hold." + std::to_string(reg) + " = " + std::to_string(b & 0xFFFF) + "\nhold." + std::to_string(reg + 1) +
           " = " + std::to_string(b >> 16) + "\n";
}

class ModbusEndToEnd : public e2e::Harness {
protected:
    void SetUp() override { InstallDefs({"SM4608.def", "SM4609.def", "SM4610.def"}); }

    // Sends a control and waits until the simulator has seen the request.
    void Control(const std::string& site, int sid, int cmd, const std::string& request)
    {
        std::string out;
        ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", std::to_string(sid), "--cmd", std::to_string(cmd)}, out)) << out;
        EXPECT_NE(std::string::npos, out.find("DoFunc(cmd " + std::to_string(cmd) + ") = 1")) << out;
        EXPECT_TRUE(e2e::WaitFor([&] { return e2e::ReadFile(dir / "sim.log").find(request) != std::string::npos; },
                                 seconds(5)))
            << e2e::ReadFile(dir / "sim.log");
    }
};

TEST_F(ModbusEndToEnd, TransmitterAndIoModuleOverRtu)
{
    StartSim("[sim]\ntick = 600000\n[bus.line]\nkind = rtu\npty = " + (dir / "ttyMB") +
                 "\n[slave.th]\nbus = line\naddr = 1\ninput.0 = -50\ninput.1 = 456\n"
                 "[slave.dio]\nbus = line\naddr = 2\n"
                 "coil.0 = 0\ncoil.2 = 1\ncoil.7 = 0\ndiscrete.0 = 0\ndiscrete.1 = 1\ndiscrete.7 = 0\n"
                 "hold.0 = 3\nhold.1 = 2571\n"
                 "[slave.gone]\nbus = line\naddr = 3\ninput.0 = 0\nfault = silent\n",
             true);
    std::string site = Site(Port(1, dir / "ttyMB"), Device(301, 4609, 1, 1, "机房变送器") +
                                                        Device(302, 4610, 1, 2, "IO模块") + Device(303, 4609, 1, 3, "离线变送器"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("cycle 2: 2 ok, 1 failed (303)")) << out;

    // Transmitter: the temperature is signed; -5.0 degC is below its limit of 5.0.
    EXPECT_EQ("V30001=-50 V30002=456", Readings("tbModbusDat", 301));
    EXPECT_EQ(Gbk("温度-5.0℃ (告警) 湿度45.6%RH (正常); 告警:温度值"), Brief(301));
    EXPECT_EQ(1, Int("select count(*) from tbModbus where SID=301 and Type=4609 and Port=1 and Addr=1 and State=0"));

    // The silent one: failure state, no readings.
    EXPECT_EQ(2, Int("select State from tbModbus where SID=303"));
    EXPECT_EQ("", Readings("tbModbusDat", 303));
    EXPECT_EQ(Gbk("温度℃ (故障) 湿度%RH (故障)"), Brief(303));
    EXPECT_EQ(2, Int("select St from tbSMBrief where SID=303"));

    // I/O module: bit weights, the status word in bits, the counters in bytes.
    EXPECT_EQ("V00001=0 V00003=4 V00008=0 V10002=2 V40001=3 V40001-0=1 V40001-1=1 V40001-15=0 V40002=2571 "
              "V40002-H=10 V40002-L=11",
              Readings("tbModbusDat", 302, {"V00001", "V00003", "V00008", "V10002", "V40001", "V40001-0", "V40001-1",
                                            "V40001-15", "V40002", "V40002-H", "V40002-L"}));
    EXPECT_EQ(36, Int("select count(*) from tbModbusDat where SID=302"));
    EXPECT_EQ(Gbk("DI1正常 DI2告警 DI3正常 DI4正常 DO1=0 DO2=0 过压告警 门磁告警; 告警:输入2 过压 门磁"), Brief(302));

    // show: the readings under the point names of the definition, scaled.
    ASSERT_EQ(0, Host({"show", "-c", site}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("tbModbusDat: V30001=-50 V30002=456\n  温度值 -5.0, 湿度值 45.6\n")) << out;

    // Control 1 of the I/O module switches output 1 on: the simulator receives the write and
    // the next poll reads it back.
    Control(site, 302, 1, "line < 02 05 00 00 ff 00");
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_EQ("V00001=1", Readings("tbModbusDat", 302, {"V00001"}));
    EXPECT_EQ(Gbk("DI1正常 DI2告警 DI3正常 DI4正常 DO1=1 DO2=0 过压告警 门磁告警; 告警:输入2 过压 门磁"), Brief(302));

    // A device that does not answer refuses the control.
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "303", "--cmd", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 1) = 0")) << out;
}

TEST_F(ModbusEndToEnd, MeterOverModbusTcp)
{
    auto where = StartSim("[sim]\ntick = 600000\n[bus.net]\nkind = mbtcp\nlisten = 127.0.0.1:0\n"
                          "[slave.meter]\nbus = net\naddr = 1\n" +
                              Float(0, 220.5f, false) + Float(2, 221.25f, false) + Float(4, 219.75f, false) +
                              Float(6, 1.5f, true) + Float(8, 2.25f, true) + Float(10, 90.0f, true) +
                              // P = 123456 W high word first; energy 9876.54 kWh low word first
                              "hold.100 = 1\nhold.101 = 57920\nhold.102 = 4614\nhold.103 = 15\n"
                              "hold.104 = 5000\nhold.105 = 950\nhold.200 = 0\nhold.201 = 0\n",
                          true);
    std::string site = Site(Port(2, "tcp://" + where["net"]), Device(401, 4608, 2, 1, "配电柜电表"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("cycle 2: 1 ok, 0 failed")) << out;

    // The second register of a float has no row of its own.
    EXPECT_EQ("V40001=2205 V40003=2212 V40005=2197 V40007=150 V40009=225 V40011=9000 V40101=123456 V40103=98765 "
              "V40105=5000 V40106=950 V40201=0 V40202=0",
              Readings("tbModbusDat", 401));
    // Ic at 90.00 A is above its 80.00 A limit.
    EXPECT_EQ(Gbk("Ua=220.5V (正常) Ub=221.2V (正常) Uc=219.7V (正常) P=123456W F=50.0Hz; 告警:C相电流"), Brief(401));
    EXPECT_EQ(0, Int("select State from tbModbus where SID=401"));
    // Requests carry the Modbus TCP header with a growing transaction id.
    std::string log = e2e::ReadFile(dir / "sim.log");
    EXPECT_NE(std::string::npos, log.find("net < 00 01 00 00 00 06 01 03 00 00 00 0c")) << log;
    EXPECT_NE(std::string::npos, log.find("net < 00 06 00 00 00 06 01 03 00 c8 00 02")) << log;

    // Control 2 trips the relay (register 201); the next poll reads it and raises its alarm.
    Control(site, 401, 2, "net < 00 01 00 00 00 06 01 06 00 c9 00 01");
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_EQ("V40202=1", Readings("tbModbusDat", 401, {"V40202"}));
    EXPECT_EQ(Gbk("Ua=220.5V (正常) Ub=221.2V (正常) Uc=219.7V (正常) P=123456W F=50.0Hz; 告警:C相电流 跳闸继电器"),
              Brief(401));
}

}  // namespace
