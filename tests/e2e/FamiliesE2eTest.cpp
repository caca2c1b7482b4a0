// qvsm-host with libqvsm.so against qvsm-sim: a power meter, a switch-input module, a battery
// string and a leak controller on one RS-485 line, and the board's own leak input.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e/TestUtil.h"

using e2e::Gbk;

namespace {

class FamiliesEndToEnd : public e2e::Harness {
protected:
    // HCxxx meter: ratio registers 2 and 3 (100 each), energy count, then Ua Ub Uc Ia Ib Ic P Q S PF Hz .. Pa Pb Pc.
    static std::string Meter(const std::string& name, int addr, int ua, const std::string& more = "")
    {
        return "[slave." + name + "]\nbus = line\naddr = " + std::to_string(addr) +
               "\nhold.0 = 0\nhold.2 = 100\nhold.3 = 100\nhold.64 = 0\nhold.65 = 24000\n"
               "hold.192 = " + std::to_string(ua) + "\nhold.193 = 22100\nhold.194 = 22200\n"
               "hold.195 = 150\nhold.196 = 160\nhold.197 = 170\nhold.198 = 110\nhold.199 = -20\nhold.200 = 120\n"
               "hold.201 = 9500\nhold.202 = 5000\nhold.204 = 30\nhold.205 = 40\nhold.206 = 50\n" + more;
    }
    std::string SimConfig()
    {
        std::string cells;
        for (int i = 0; i < 24; ++i) {
            std::string n = std::to_string(i);
            cells += "input." + std::to_string(0x100 + i) + " = " + std::to_string(1300 + i) + "\n" +  // V
                     "input." + std::to_string(0x400 + i) + " = " + std::to_string(20 + i) + "\n" +    // R
                     "input." + std::to_string(0x200 + i) + " = 250\ninput." + std::to_string(0x300 + i) + " = 260\n";
        }
        return "[sim]\ntick = 600000\n[bus.line]\nkind = rtu\npty = " + (dir / "ttyFam") + "\n" +
               Meter("meter", 1, 22000) + Meter("hot", 2, 40000) + Meter("gone", 3, 22000, "fault = silent\n") +
               "[slave.sw]\nbus = line\naddr = 4\ninput.0 = 1\ninput.1 = 256\ninput.5 = 0\n"
               "[slave.swbad]\nbus = line\naddr = 7\ninput.0 = 0\ninput.5 = 0\nfault = badcrc\n"
               "[slave.batt]\nbus = line\naddr = 5\ninput.1280 = 123\ninput.1281 = -5\ninput.1282 = 5400\n"
               "input.1283 = 251\ninput.1087 = 0\n" + cells +
               "[slave.leak]\nbus = line\naddr = 6\ninput.1 = 300\ninput.2 = 10\ninput.3 = 0\ninput.4 = 800\n"
               "input.5 = 0\nhold.1 = 55\n";
    }
    std::string SiteFile()
    {
        std::filesystem::create_directories(dir / "root/sys/bus/iio/devices/iio:device0");
        std::filesystem::create_directories(dir / "root/sys/class/gpio/gpio123");
        e2e::WriteFile(dir / "root/sys/bus/iio/devices/iio:device0/in_voltage5_raw", "4000\n");
        return Site(Port(1, dir / "ttyFam"),
                    Device(201, 256, 1, 1, "总配电") + Device(202, 256, 1, 2, "过压表") + Device(203, 300, 1, 3, "离线表") +
                        Device(211, 512, 1, 4, "配电开关") + Device(212, 512, 1, 7, "坏开关") +
                        Device(221, 1026, 1, 5, "蓄电池组", "Wait = 24\nParam1 = 24\n") +
                        Device(231, 1536, 1, 6, "机房漏水") + Device(232, 1539, 0, 0, "板载漏水", "Param1 = 10\n"));
    }
    std::string Elec(int sid, const std::string& db)
    {
        return e2e::DbStr(db, "select group_concat(State||':'||Ygzdn||'/'||Zyggl||'/'||Zwggl||'/'||Zszgl||'/'||Zglys||'/'"
                              "||Pl||'/'||Ady||'/'||Cdy||'/'||Adl||'/'||Cdl,' ') from tbElec where SID=" +
                                  std::to_string(sid));
    }
};

TEST_F(FamiliesEndToEnd, MeterSwitchBatteryAndLeakOnOneLine)
{
    StartSim(SimConfig());
    std::string site = SiteFile();
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2"}, out)) << out << e2e::ReadFile(dir / "sim.log");
    EXPECT_NE(std::string::npos, out.find("cycle 2: 6 ok, 2 failed (203 212)")) << out;

    // Meter: R = 100 x 100; energy 24000 x R / 12000; voltages 100 x 22000 / 1000 tenths.
    EXPECT_EQ("0:20000/330/-60/360/950/5000/2200/2220/150/170", Elec(201, live));
    EXPECT_EQ(Gbk("电压: 220.0V ,电流:1.50A,B相: 221.0V 1.60A,C相: 222.0V 1.70A"), Brief(201));
    // Above the 390.0 V limit: named in the summary, the device state stays 0.
    EXPECT_EQ(Gbk("电压: 400.0V ,电流:1.50A,B相: 221.0V 1.60A,C相: 222.0V 1.70A告警:A相电压"), Brief(202));
    EXPECT_EQ(0, State(202));
    // Silent: state 2, zeros; an unlisted 0x1xx code is served by the meter driver.
    EXPECT_EQ("2:0/0/0/0/0/0/0/0/0/0", Elec(203, live));
    EXPECT_EQ(2, State(203));
    EXPECT_EQ(Gbk("电压: 0.0V ,电流:0.00A,B相: 0.0V 0.00A,C相: 0.0V 0.00A"), Brief(203));
    EXPECT_EQ(2, Int("select count(*) from tbSMDef where Type=256 and Fld in (19,24) and AlmMode=7"));
    EXPECT_EQ(0, Int("select count(*) from tbSMDef where Type=300"));
    // History: a row per cycle; the day's energy row next to the baseline (none for the silent one).
    EXPECT_EQ("0:20000/330/-60/360/950/5000/2200/2220/150/170 0:20000/330/-60/360/950/5000/2200/2220/150/170", Elec(201, hist));
    EXPECT_EQ("0:20000 1:0", e2e::DbStr(hist, "select group_concat(min(Day,1)||':'||Val,' ') from (select Day,Val "
                                              "from tbElecM where SID=201 order by Day)"));
    EXPECT_EQ(0, e2e::DbInt(hist, "select count(*) from tbElecM where SID=203"));

    // Switches: inputs 2 and 3 open; a damaged reply is a failure.
    EXPECT_EQ(Gbk("正常,断开,断开,正常,正常,正常"), Brief(211));
    EXPECT_EQ("0:0 1 1 0 0 0", Str("select State||':'||sd1||' '||sd2||' '||sd3||' '||sd4||' '||sd5||' '||sd6 from "
                                   "tbOnoff where SID=211"));
    EXPECT_EQ(Gbk("故障,故障,故障,故障,故障,故障"), Brief(212));
    EXPECT_EQ(2, State(212));
    EXPECT_EQ(1, e2e::DbInt(hist, "select count(*) from tbOnoff where SID=211")) << "normal rows at most hourly";
    EXPECT_EQ(1, e2e::DbInt(hist, "select count(*) from tbOnoff where SID=212"));

    // Battery string: 24 cells from full 64-register blocks, one row each plus the overall row.
    EXPECT_EQ("0:123/5400/251", Str("select State||':'||Curr||'/'||Volt||'/'||Minutes from tbBatt100 where SID=221"));
    EXPECT_EQ(25, Int("select count(*) from tbBattVal where SID=221"));
    EXPECT_EQ("5400/123/251/0 1300/20/250/260 1323/43/250/260",
              Str("select group_concat(V||'/'||R||'/'||T||'/'||T2,' ') from (select * from tbBattVal where SID=221 and "
                  "Fld in (0,1,24) order by Fld)"));
    EXPECT_EQ(10, Int("select count(*) from tbSMDef where Type=1026"));

    // Leak at 300 on an 800 cable, alarm on the status point.
    EXPECT_EQ("0:1 1 0 0 300 55 800", Str("select State||':'||Kind||' '||Status||' '||LineRB||' '||LineYG||' '||Locate||' '"
                                          "||Lmd||' '||Cable from tbLeak where SID=231"));
    EXPECT_EQ(Gbk("漏水状态:泄漏 泄漏位置:23.1米 (报警)"), Brief(231));
    EXPECT_EQ(2, e2e::DbInt(hist, "select count(*) from tbLeak where SID=231"));
    // Board input: 4000 is above 10 x 260, dry; the indicator is lit.
    EXPECT_EQ(Gbk("漏水状态:未泄漏 (正常)"), Brief(232));
    EXPECT_EQ("1\n", e2e::ReadFile(dir / "root/sys/class/gpio/gpio123/value"));

    // Controls: the leak controller's register 1 (its sensitivity) read back by the next poll;
    // the meter's register 11.
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "231", "--cmd", std::to_string((6 << 16) | 1), "--int", "77"}, out))
        << out;
    EXPECT_NE(std::string::npos, out.find("= 1")) << out;
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "201", "--cmd", "128", "--int", "9"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 128) = 1")) << out;
    e2e::WriteFile(dir / "root/sys/bus/iio/devices/iio:device0/in_voltage5_raw", "100\n");
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_EQ(77, Int("select Lmd from tbLeak where SID=231"));
    EXPECT_EQ(Gbk("漏水状态:泄漏 (报警)"), Brief(232));
    EXPECT_EQ("0\n", e2e::ReadFile(dir / "root/sys/class/gpio/gpio123/value"));

    // show prints the four new kinds with their summaries.
    ASSERT_EQ(0, Host({"show", "-c", site}, out)) << out;
    for (const char* s : {"220.0V", "断开", "泄漏位置", "蓄电池组"}) EXPECT_NE(std::string::npos, out.find(s)) << s << out;
}

}  // namespace
