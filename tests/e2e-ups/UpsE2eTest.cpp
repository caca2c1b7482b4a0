// qvsm-host with libqvsm.so polling UPS units: an ASCII-protocol UPS on a scripted serial bus and
// a six-block Modbus UPS simulated by qvsm-sim, and the SNMP members against snmpd on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>

#include "tests/e2e/TestUtil.h"
#include "tests/snmp/SnmpAgent.h"

using e2e::Gbk;

namespace {

class UpsE2e : public e2e::Harness {
protected:
    void TearDown() override { unsetenv("QVSM_SNMP_PORT"); }
    static std::string Example(const std::string& name)
    {
        return e2e::ReadFile(std::string(e2e::ExamplesDir()) + "/snmpd/" + name);
    }
    static std::string Snmp(int sid, int type, const std::string& name)
    {
        return Device(sid, type, 0, 1, name, "ConnText = snmp127.0.0.1:161\n");
    }
    std::string Row(const std::string& table, int sid, const std::string& cols, const std::string& db = "")
    {
        return e2e::DbStr(db.empty() ? live : db,
                          "select " + cols + " from " + table + " where SID=" + std::to_string(sid) + " order by DID desc");
    }
    bool StartsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }
};

TEST_F(UpsE2e, AsciiUpsOnAScriptedLineAndASixBlockModbusUps)
{
    const std::string log = dir / "ups.log";
    auto where = StartSim(
        "[sim]\ntick = 600000\n"
        "[bus.ups]\nkind = script\npty = " + (dir / "ttyUPS") + "\nscript.log = " + log + "\n"
        "[slave.ups]\nbus = ups\naddr = 1\nhold.0 = 2291\n"
        "script.1 = text:Q1\\r\\n => text:({0.1} 000.0 229.9 012 50.0 2.27 30.5 00001001\\r\n"
        "script.2 = text:Q2\\r => text:(231.0 232.5 228.0\\r\n"
        "script.3 = text:F\\r => text:#220.0 004 24.00 50.0\\r\n"
        "script.4 = text:I\\r => text:#  ACME UPS      SMART-1K   V1.2      \\r\n"
        "[bus.mb]\nkind = rtu\npty = " + (dir / "ttyMB") + "\n"
        "[slave.big]\nbus = mb\naddr = 2\n"
        "hold.0 = 2301\nhold.1 = 2302\nhold.2 = 2303\nhold.6 = 11\nhold.7 = 12\nhold.8 = 13\nhold.9 = 5012\n"
        "hold.45 = 2201\nhold.46 = 2202\nhold.47 = 2203\nhold.51 = 21\nhold.52 = 22\nhold.53 = 23\nhold.54 = 4998\n"
        "hold.104 = 5440\nhold.106 = 315\nhold.108 = 125\nhold.109 = 9\n"
        "hold.130 = 16384\nhold.137 = 257\nhold.138 = 4096\nhold.140 = 2052\nhold.143 = 8704\nhold.196 = 0\n");
    std::string site = Site(Port(1, dir / "ttyUPS") + Port(2, dir / "ttyMB"),
                            Device(401, 768, 1, 1, "UPS", "Param2 = 12\n") + Device(402, 790, 2, 2, "UPS5000"));
    std::string out;
    ASSERT_EQ(Host({"-c", site, "--cycles", "2"}, out), 0) << out;
    EXPECT_NE(out.find("cycle 2: 2 ok, 0 failed"), std::string::npos) << out;

    // The ASCII UPS: Q1 and Q2 every poll, F and I once; Vbatt 2.27 V x cell factor 1.2.
    EXPECT_EQ(e2e::ReadFile(log), "51 31 0d 0a\n51 32 0d\n46 0d\n49 0d\n51 31 0d 0a\n51 32 0d\n");
    EXPECT_EQ(Row("tbUps", 401, "Vin1||'/'||Vin2||'/'||Vin3||'/'||Fin||'/'||Vout||'/'||Aout||'/'||Vbatt||'/'||Tem||'/'||"
                                "status||'/'||b3||b0||'/'||Ved||'/'||Aed||'/'||Vdc||'/'||Fed||'/'||company||'/'||mode||'/'||"
                                "version||'/'||State"),
              "2291/2325/2280/500/2299/120/272/305/9/11/2200/40/240/500/ACME UPS/SMART-1K/V1.2/0");
    EXPECT_TRUE(StartsWith(Brief(401), Gbk("输入电压:229.1V, 输出电压:229.9V, 输出负载:12%"))) << Brief(401);
    EXPECT_EQ(Int("select count(*) from tbSMDef where Type=768"), 16);
    EXPECT_EQ(Row("tbUps", 401, "count(*)", hist), "2");
    // A 150-minute battery test goes out as T99; nothing is read back.
    ASSERT_EQ(Host({"ctl", "-c", site, "--sid", "401", "--cmd", "8001", "--int", "150"}, out), 0) << out;
    EXPECT_NE(out.find("DoFunc(cmd 8001) = 1"), std::string::npos) << out;
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::ReadFile(log).find("\n54 39 39 0d\n") != std::string::npos; },
                             std::chrono::seconds(3)))
        << e2e::ReadFile(log);

    // The Modbus UPS: six blocks into the three-phase record.
    EXPECT_EQ(Row("tbUpsEx", 402, "Vin1||'/'||Vin3||'/'||Iin2||'/'||Fin3||'/'||Vout2||'/'||Iout3||'/'||Fout1||'/'||Vbatt||"
                                  "'/'||Tem||'/'||Mbatt||'/'||Pbatt||'/'||status||'/'||b15||b14||b13||b0||'/'||State"),
              "2301/2303/12/501/2202/23/499/5440/315/20/90/54177/1101/0");
    EXPECT_TRUE(StartsWith(Brief(402), Gbk("输入电压:230.1V, 230.2V, 230.3V, 输出电压:220.1V, 220.2V, 220.3V, "
                                           "输出电流:2.1A,2.2A,2.3A, 电池电压:544.0V")))
        << Brief(402);
    EXPECT_EQ(Int("select count(*) from tbSMDef where Type=790"), 47);
    EXPECT_EQ(Row("tbUpsEx", 402, "count(*)", hist), "2");
}

TEST_F(UpsE2e, SnmpUpsUnitsAndAirConditionerAgainstOneAgent)
{
    SnmpAgent agent;
    ASSERT_TRUE(agent.Start(Example("ups-powernet.conf") + Example("ups-mg.conf") + Example("cyberpex.conf") +
                            Example("ups-powernet3.conf") + Example("ups-ita.conf")))
        << agent.Error();
    setenv("QVSM_SNMP_PORT", std::to_string(agent.Port()).c_str(), 1);
    std::string site = Site("", Snmp(501, 795, "APC") + Snmp(502, 804, "MG") + Snmp(503, 2097, "PEX") +
                                    Snmp(504, 808, "APC3") + Snmp(505, 798, "ITA") + Snmp(506, 807, "ITA3"));
    std::string out;
    ASSERT_EQ(Host({"-c", site, "--cycles", "1"}, out), 0) << out;
    EXPECT_NE(out.find("cycle 1: 6 ok, 0 failed"), std::string::npos) << out;

    // 795: every value x 10, "229" stored as 2290; the output state's low 8 bits unscaled.
    const std::string apc = "Vin1||'/'||Vin2||'/'||Vin3||'/'||Fin||'/'||Vout||'/'||Aout||'/'||Fout||'/'||Vbatt||'/'||"
                            "Pbatt||'/'||Tem||'/'||status||'/'||b7||b6||b5||b4||b3||b2||b1||b0||'/'||Vdc||'/'||v1||'/'||"
                            "v2||'/'||v3||'/'||v4||'/'||State";
    EXPECT_EQ(Row("tbUps", 501, apc), "2290/2320/2260/500/2200/80/500/540/1000/270/8/00000000/480/30/350/120/0/0");
    EXPECT_EQ(Row("tbUps", 501, apc, hist), "2290/2320/2260/500/2200/80/500/540/1000/270/8/00000000/480/30/350/120/0/0");
    EXPECT_EQ(Brief(501), Gbk("输入电压:229.0V, 输出电压:220.0V, 输出负载:41.0%"));

    // 804: lines 1..3 of four inputs; the flags OR-ed into the status word (b9 keeps its last object).
    EXPECT_EQ(Row("tbUpsEx", 502, "Vin1||'/'||Vin3||'/'||Fin2||'/'||Iin3||'/'||Vout2||'/'||Fout3||'/'||Pout3||'/'||"
                                  "Iout1||'/'||Vbatt||'/'||Tem||'/'||Pbatt||'/'||Mbatt||'/'||b0||b1||b4||b9||'/'||status"),
              "2301/2303/501/122/2201/500/47/80/5440/25/100/3600/0110/530");
    EXPECT_TRUE(StartsWith(Brief(502), Gbk("输入电压:230.1V, 230.2V, 230.3V, 输出电压:220.0V, 220.1V, 220.2V, "
                                           "输出电流:8.0A,8.1A,8.2A, 电池电压:544.0V")))
        << Brief(502);

    // 808: the phase tables walked, x 10; divisor 1000 shows the loads.
    EXPECT_EQ(Row("tbUpsEx", 504, "Vin1||'/'||Vin2||'/'||Vin3||'/'||Vout3||'/'||Iout1||'/'||Iout3||'/'||Pout2||'/'||Fin1"),
              "2300/2310/2290/2220/100/120/360/0");
    EXPECT_TRUE(StartsWith(Brief(504), Gbk("输入:230.0V, 231.0V, 229.0V, 输出:220.0V, 221.0V, 222.0V, "
                                           "负载:35.0%,36.0%,37.0%")))
        << Brief(504);

    // 798: sixteen bindings of one request by position, unscaled; the table keeps v1 only.
    EXPECT_EQ(Row("tbUps", 505, "status||'/'||Vin1||'/'||Vin3||'/'||Fin||'/'||Vout||'/'||Aout||'/'||Fout||'/'||v1||'/'||"
                                "ifnull(v2,'-')||'/'||Tem||'/'||Fed||'/'||Vbatt||'/'||Pbatt"),
              "3/2301/2303/500/2200/55/499/11/-/265/500/5400/95");
    // 807: per phase the objects i+1, i+7, i+16; divisor 100.
    EXPECT_EQ(Row("tbUpsEx", 506, "Vin1||'/'||Vin3||'/'||Vout2||'/'||Iout3"), "23010/23030/22010/1070");
    EXPECT_TRUE(StartsWith(Brief(506), Gbk("输入电压:230.1V, 230.2V, 230.3V, 输出电压:220.0V, 220.1V, 220.2V, "
                                           "输出电流:10.5A,10.6A,10.7A, 电池电压:0.0V")))
        << Brief(506);

    // 2097: one object per point, stored as read.
    EXPECT_EQ(Row("tbCyberPexS", 503, "tem||'/'||temS||'/'||hum||'/'||humL||'/'||stXt||'/'||stRun||'/'||xqFj||'/'||xqJs"),
              "235/220/456/300/1/2/1/0");
    EXPECT_EQ(Row("tbCyberPexS", 503, "tem||'/'||xqZl", hist), "235/1");
    EXPECT_EQ(Brief(503), Gbk("当前温度:235.0 ℃, 当前湿度:456.0 %"));
    EXPECT_EQ(Int("select count(*) from tbSMDef where Type=2097 and Scale=100"), 14);
}

TEST_F(UpsE2e, SilentAgentCostsOneTimeOut)
{
    setenv("QVSM_SNMP_PORT", std::to_string(SnmpAgent::FreeUdpPort()).c_str(), 1);
    std::string site = Site("", Snmp(601, 795, "APC") + Snmp(602, 804, "MG"));
    std::string out;
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(Host({"-c", site, "--cycles", "1"}, out), 0) << out;
    long ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_NE(out.find("cycle 1: 0 ok, 2 failed"), std::string::npos) << out;
    // One time-out of the library (1 s, one retry) per device, not one per object.
    EXPECT_LT(ms, 9000) << out;
    EXPECT_EQ(State(601), 2);
    EXPECT_EQ(Brief(601), Gbk("输入电压:0.0V, 输出电压:0.0V, 输出负载:0.0%"));
    EXPECT_EQ(Row("tbUpsEx", 602, "State||'/'||Vin1"), "2/0");
}

}  // namespace
