// The shipped Modbus definitions polled by qvsm-host with libqvsm.so against devices simulated
// by qvsm-sim: a temperature/humidity transmitter and a digital I/O module over RTU on a
// pseudo-terminal, a three-phase meter over Modbus TCP, and controls whose writes the
// simulator receives and the next poll reads back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/SqliteDb.h"
#include "tests/e2e/TestUtil.h"

using namespace std::chrono;
using e2e::Gbk;

namespace {

uint32_t Bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// "hold.N = word" lines of a float stored low word first (format f) ...
std::string FloatLowWordFirst(int reg, float v)
{
    uint32_t b = Bits(v);
    return "hold." + std::to_string(reg) + " = " + std::to_string(b & 0xFFFF) + "\nhold." + std::to_string(reg + 1) +
           " = " + std::to_string(b >> 16) + "\n";
}

// ... and least significant byte first (format F).
std::string FloatLowByteFirst(int reg, float v)
{
    uint32_t b = Bits(v);
    unsigned p0 = b & 0xFF, p1 = (b >> 8) & 0xFF, p2 = (b >> 16) & 0xFF, p3 = b >> 24;
    return "hold." + std::to_string(reg) + " = " + std::to_string((p0 << 8) | p1) + "\nhold." + std::to_string(reg + 1) +
           " = " + std::to_string((p2 << 8) | p3) + "\n";
}

class ModbusEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The definitions go where the module looks for them, below the site's root.
        std::string sm = dir / "root/NandFlash/SM";
        ASSERT_TRUE(host::MakeDirs(sm));
        for (const char* code : {"4608", "4609", "4610"}) {
            std::string text = e2e::ReadFile(std::string(EXAMPLES_DIR) + "/SM" + code + ".def");
            ASSERT_FALSE(text.empty()) << code;
            e2e::WriteFile(sm + "/SM" + code + ".def", text);
        }
    }

    // Starts qvsm-sim (verbose: it logs every frame) and returns bus name -> where.
    std::map<std::string, std::string> StartSim(e2e::Proc& p, const std::string& cfg)
    {
        std::map<std::string, std::string> where;
        std::string ini = dir / "sim.ini", ready = dir / "sim.ready";
        e2e::WriteFile(ini, cfg);
        unlink(ready.c_str());
        EXPECT_TRUE(p.Start({SIM_BIN, ini, "--ready", ready, "--verbose"}, dir / "sim.log"));
        bool up = e2e::WaitFor([&] { return access(ready.c_str(), R_OK) == 0 || !p.Running(); }, seconds(10));
        EXPECT_TRUE(up && p.Running()) << e2e::ReadFile(dir / "sim.log");
        std::istringstream in(e2e::ReadFile(ready));
        std::string word, name, kind, at, rest;
        while (in >> word) {
            if (word != "bus") continue;
            in >> name >> kind >> at;
            where[name] = at;
            std::getline(in, rest);
        }
        return where;
    }

    std::string Site(const std::string& ports, const std::string& devices)
    {
        std::string p = dir / "site.ini";
        e2e::WriteFile(p, "[host]\nLive = live.db\nHistory = hist.db\nRoot = root\nInterval = 0\n" + ports + devices);
        return p;
    }

    static std::string Device(int sid, int type, int port, int addr, const std::string& name)
    {
        return "[device." + std::to_string(sid) + "]\nSID = " + std::to_string(sid) + "\nType = " + std::to_string(type) +
               "\nPort = " + std::to_string(port) + "\nAddr = " + std::to_string(addr) + "\nName = " + name + "\n";
    }

    int Host(const std::vector<std::string>& args, std::string& out)
    {
        std::vector<std::string> argv = {HOST_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.insert(argv.end(), {"--module", MODULE_SO});
        return e2e::Run(argv, out, seconds(60));
    }

    int Int(const std::string& db, const std::string& sql)
    {
        CSqliteDb d;
        if (!d.Open(db)) return -999;
        return d.QueryInt(sql.c_str());
    }
    std::string Str(const std::string& db, const std::string& sql)
    {
        CSqliteDb d;
        if (!d.Open(db)) return "<no db>";
        return d.QueryStr(sql.c_str());
    }
    // A reading of the live database, -999 when the row is missing.
    int Val(int sid, const std::string& fld)
    {
        std::string where = " from tbModbusDat where SID=" + std::to_string(sid) + " and Fld='" + fld + "'";
        if (Int(live, "select count(*)" + where) != 1) return -999;
        return Int(live, "select Val" + where);
    }
    std::string Brief(int sid) { return Str(live, "select Brief from tbSMBrief where SID=" + std::to_string(sid)); }

    e2e::TempDir dir;
    std::string live = dir / "live.db", hist = dir / "hist.db";
};

TEST_F(ModbusEndToEnd, TransmitterAndIoModuleOverRtu)
{
    e2e::Proc sim;
    StartSim(sim, "[sim]\ntick = 600000\n[bus.line]\nkind = rtu\npty = " + (dir / "ttyMB") +
                      "\n[slave.th]\nbus = line\naddr = 1\ninput.0 = -50\ninput.1 = 456\n"
                      "[slave.dio]\nbus = line\naddr = 2\n"
                      "coil.0 = 0\ncoil.2 = 1\ncoil.7 = 0\ndiscrete.0 = 0\ndiscrete.1 = 1\ndiscrete.7 = 0\n"
                      "hold.0 = 3\nhold.1 = 2571\n"
                      "[slave.gone]\nbus = line\naddr = 3\ninput.0 = 0\nfault = silent\n");
    std::string site = Site("[port.1]\nDevice = " + (dir / "ttyMB") + "\nTimeout = 300\n",
                            Device(301, 4609, 1, 1, "机房变送器") + Device(302, 4610, 1, 2, "IO模块") +
                                Device(303, 4609, 1, 3, "离线变送器"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("2 ok, 1 failed (303)")) << out;

    // Catalogue rows from the definitions.
    EXPECT_EQ(2, Int(live, "select count(*) from tbSMDef where Type=4609"));
    EXPECT_EQ(13, Int(live, "select count(*) from tbSMDef where Type=4610"));
    EXPECT_EQ(Gbk("QV-THM485"), Str(live, "select Name from tbSMType where Type=4609"));
    EXPECT_EQ(Gbk("温湿度变送器"), Str(live, "select Iface from tbSMType where Type=4609"));

    // Transmitter: the temperature is signed; -5.0 degC is below its limit of 5.0.
    EXPECT_EQ(-50, Val(301, "V30001"));
    EXPECT_EQ(456, Val(301, "V30002"));
    EXPECT_EQ(2, Int(live, "select count(*) from tbModbusDat where SID=301"));
    EXPECT_EQ(Gbk("温度-5.0℃ (告警) 湿度45.6%RH (正常); 告警:温度值"), Brief(301));
    EXPECT_EQ(0, Int(live, "select State from tbModbus where SID=301"));
    EXPECT_EQ(1, Int(live, "select count(*) from tbModbus where SID=301 and Type=4609 and Port=1 and Addr=1"));

    // The silent one: failure state, no readings.
    EXPECT_EQ(2, Int(live, "select State from tbModbus where SID=303"));
    EXPECT_EQ(0, Int(live, "select count(*) from tbModbusDat where SID=303"));
    EXPECT_EQ(Gbk("温度℃ (故障) 湿度%RH (故障)"), Brief(303));
    EXPECT_EQ(2, Int(live, "select St from tbSMBrief where SID=303"));

    // I/O module: bit weights, the status word in bits, the counters in bytes.
    EXPECT_EQ(0, Val(302, "V00001"));
    EXPECT_EQ(4, Val(302, "V00003"));
    EXPECT_EQ(0, Val(302, "V00008"));
    EXPECT_EQ(2, Val(302, "V10002"));
    EXPECT_EQ(3, Val(302, "V40001"));
    EXPECT_EQ(1, Val(302, "V40001-0"));
    EXPECT_EQ(1, Val(302, "V40001-1"));
    EXPECT_EQ(0, Val(302, "V40001-15"));
    EXPECT_EQ(2571, Val(302, "V40002"));
    EXPECT_EQ(10, Val(302, "V40002-H"));
    EXPECT_EQ(11, Val(302, "V40002-L"));
    EXPECT_EQ(36, Int(live, "select count(*) from tbModbusDat where SID=302"));
    EXPECT_EQ(Gbk("DI1正常 DI2告警 DI3正常 DI4正常 DO1=0 DO2=0 过压告警 门磁告警; 告警:输入2 过压 门磁"), Brief(302));

    // History: one row per device and cycle, readings hung on their row.
    EXPECT_EQ(6, Int(hist, "select count(*) from tbModbus"));
    EXPECT_EQ(2, Int(hist, "select count(*) from tbModbus where SID=303 and State=2"));
    EXPECT_EQ(4, Int(hist, "select count(*) from tbModbusDat where SID=301"));
    EXPECT_EQ(2, Int(hist, "select count(*) from tbModbusDat d, tbModbus m where d.DID=m.DID and m.SID=301 and "
                           "d.SID=301 and d.Fld='V30001' and d.Val=-50"));

    // Control 1 of the I/O module switches output 1 on: the simulator receives the write and
    // the next poll reads it back.
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "302", "--cmd", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 1) = 1")) << out;
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::ReadFile(dir / "sim.log").find("line < 02 05 00 00 ff 00") != std::string::npos; },
                             seconds(5)))
        << e2e::ReadFile(dir / "sim.log");
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_EQ(1, Val(302, "V00001"));
    EXPECT_EQ(Gbk("DI1正常 DI2告警 DI3正常 DI4正常 DO1=1 DO2=0 过压告警 门磁告警; 告警:输入2 过压 门磁"), Brief(302));

    // No control 9, and a device that does not answer: both refused.
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "302", "--cmd", "9"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 9) = 0")) << out;
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "303", "--cmd", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 1) = 0")) << out;
}

TEST_F(ModbusEndToEnd, MeterOverModbusTcp)
{
    e2e::Proc sim;
    auto where = StartSim(sim, "[sim]\ntick = 600000\n[bus.net]\nkind = mbtcp\nlisten = 127.0.0.1:0\n"
                               "[slave.meter]\nbus = net\naddr = 1\n" +
                                   FloatLowWordFirst(0, 220.5f) + FloatLowWordFirst(2, 221.25f) +
                                   FloatLowWordFirst(4, 219.75f) + FloatLowByteFirst(6, 1.5f) +
                                   FloatLowByteFirst(8, 2.25f) + FloatLowByteFirst(10, 90.0f) +
                                   // P = 123456 W high word first; energy 9876.54 kWh low word first
                                   "hold.100 = 1\nhold.101 = 57920\nhold.102 = 4614\nhold.103 = 15\n"
                                   "hold.104 = 5000\nhold.105 = 950\nhold.200 = 0\nhold.201 = 0\n");
    ASSERT_EQ(1u, where.count("net"));
    std::string site = Site("[port.2]\nDevice = tcp://" + where["net"] + "\nTimeout = 300\n",
                            Device(401, 4608, 2, 1, "配电柜电表"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("1 ok, 0 failed")) << out;

    EXPECT_EQ(2205, Val(401, "V40001"));
    EXPECT_EQ(2212, Val(401, "V40003"));
    EXPECT_EQ(2197, Val(401, "V40005"));
    EXPECT_EQ(150, Val(401, "V40007"));
    EXPECT_EQ(225, Val(401, "V40009"));
    EXPECT_EQ(9000, Val(401, "V40011"));
    EXPECT_EQ(123456, Val(401, "V40101"));
    EXPECT_EQ(98765, Val(401, "V40103"));
    EXPECT_EQ(5000, Val(401, "V40105"));
    EXPECT_EQ(950, Val(401, "V40106"));
    EXPECT_EQ(0, Val(401, "V40202"));
    EXPECT_EQ(-999, Val(401, "V40002")) << "the second register of a float has no row";
    EXPECT_EQ(12, Int(live, "select count(*) from tbModbusDat where SID=401"));
    // Ic at 90.00 A is above its 80.00 A limit.
    EXPECT_EQ(Gbk("Ua=220.5V (正常) Ub=221.2V (正常) Uc=219.7V (正常) P=123456W F=50.0Hz; 告警:C相电流"), Brief(401));
    EXPECT_EQ(0, Int(live, "select State from tbModbus where SID=401"));
    EXPECT_EQ(2, Int(hist, "select count(*) from tbModbus where SID=401"));
    // Requests carry the Modbus TCP header with a growing transaction id.
    std::string log = e2e::ReadFile(dir / "sim.log");
    EXPECT_NE(std::string::npos, log.find("net < 00 01 00 00 00 06 01 03 00 00 00 0c")) << log;
    EXPECT_NE(std::string::npos, log.find("net < 00 06 00 00 00 06 01 03 00 c8 00 02")) << log;

    // Control 2 trips the relay (register 201); the next poll reads it and raises its alarm.
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "401", "--cmd", "2"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 2) = 1")) << out;
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::ReadFile(dir / "sim.log").find("net < 00 01 00 00 00 06 01 06 00 c9 00 01") !=
                                          std::string::npos; },
                             seconds(5)))
        << e2e::ReadFile(dir / "sim.log");
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_EQ(1, Val(401, "V40202"));
    EXPECT_EQ(Gbk("Ua=220.5V (正常) Ub=221.2V (正常) Uc=219.7V (正常) P=123456W F=50.0Hz; 告警:C相电流 跳闸继电器"),
              Brief(401));
}

}  // namespace
