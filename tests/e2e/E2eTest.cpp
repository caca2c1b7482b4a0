// qvsm-host with libqvsm.so polling temperature/humidity sensors simulated by qvsm-sim, over
// a pseudo-terminal and over TCP, as separate processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/TestUtil.h"

using namespace std::chrono;
using e2e::Gbk;

namespace {

class EndToEnd : public e2e::Harness {
protected:
    static std::string Sensor(int sid, int port, int addr, int variant, const std::string& name)
    {
        return Device(sid, 1280, port, addr, name, "Variant = " + std::to_string(variant) + "\n");
    }
    // Cycle times from the status lines.
    static std::vector<long> CycleMs(const std::string& out)
    {
        std::vector<long> ms;
        std::regex re("cycle [0-9]+: [0-9]+ ok, [0-9]+ failed[^,]*, ([0-9]+) ms");
        for (auto it = std::sregex_iterator(out.begin(), out.end(), re); it != std::sregex_iterator(); ++it)
            ms.push_back(std::stol((*it)[1]));
        return ms;
    }
    // "SID:Tem/Hum/iTem iHum/State ..." of the tbEnvir rows of a database.
    static std::string Envir(const std::string& db, const std::string& where = "1")
    {
        return e2e::DbStr(db, "select group_concat(r,' ') from (select SID||':'||Tem||'/'||Hum||'/'||iTem||iHum||'/'||"
                              "State as r from tbEnvir where " + where + " order by SID, DID)");
    }
    std::string SimLine() const
    {
        return "[sim]\ntick = 600000\n[bus.line]\nkind = rtu\npty = " + (dir / "ttyV1") +
               "\n[slave.v0]\nbus = line\naddr = 1\nhold.0 = 450\nhold.1 = 325\n"    // Hum, Tem
               "[slave.v1]\nbus = line\naddr = 2\ninput.0 = 351\ninput.1 = 602\n"   // Tem, Hum by function 4
               "[slave.v4]\nbus = line\naddr = 3\nhold.1 = 395\nhold.2 = 300\n";    // Tem, Hum from register 1
    }
};

TEST_F(EndToEnd, SensorsOnASerialBusAndBehindATcpServerAndOneThatIsMissing)
{
    auto where = StartSim(SimLine() + "[slave.bad]\nbus = line\naddr = 4\nhold.0 = 450\nhold.1 = 325\nfault = badcrc\n"
                                      "[bus.net]\nkind = rtu\nlisten = 127.0.0.1:0\n"
                                      "[slave.n]\nbus = net\naddr = 6\nhold.0 = 500\nhold.1 = 321\n");
    const std::string ports = Port(1, dir / "ttyV1") + Port(2, "tcp://" + where["net"]);
    const std::string sensors = Sensor(101, 1, 1, 0, "机房温湿度") + Sensor(102, 1, 2, 1, "电池间") +
                                Sensor(103, 1, 3, 4, "配电室") + Sensor(104, 1, 4, 0, "damaged");
    std::string site = Site(ports, sensors + Sensor(301, 2, 6, 0, "net"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("cycle 2: 4 ok, 1 failed (104)")) << out;
    std::vector<long> base = CycleMs(out);
    ASSERT_EQ(2u, base.size()) << out;

    // Register order by Variant: 0 Hum,Tem; 1 Tem,Hum by function 4; 4 Tem,Hum from register 1.
    // The default limits are 30.0..38.0 degC and 35.0..78.0 %RH: 39.5 degC is above, 30.0 %RH
    // below. A damaged reply is a failed poll.
    EXPECT_EQ("101:325/450/00/0 102:351/602/00/0 103:395/300/11/1 104:0/0/22/2 301:321/500/00/0", Envir(live));
    EXPECT_EQ(1, Int("select count(*) from tbEnvir where SID=101 and Port=1 and Addr=1 and Type=1280"));
    EXPECT_EQ(1, Int("select count(*) from tbEnvir where SID=301 and Port=2 and Addr=6"));
    EXPECT_EQ(Gbk("温度:32.5 (正常),湿度:45.0 (正常)"), Brief(101));
    EXPECT_EQ(Gbk("温度:39.5 (告警),湿度:30.0 (告警)"), Brief(103));
    EXPECT_EQ(Gbk("温度:0.0 (故障),湿度:0.0 (故障)"), Brief(104));
    EXPECT_EQ(Gbk("温度:32.1 (正常),湿度:50.0 (正常)"), Brief(301));
    EXPECT_EQ("0 0 1 2 0", Str("select group_concat(St,' ') from (select St from tbSMBrief order by SID)"));
    EXPECT_EQ("0 0 1 2 0", Str("select group_concat(State,' ') from (select State from tbSubSysDetail where Fld=0 "
                               "and LastUpd is not null order by sid)"));
    EXPECT_EQ(Gbk("机房温湿度"), Str("select Name from tbSubSysDetail where sid=101 and Fld=0"));
    EXPECT_EQ(2, Int("select count(*) from tbSMDef where Type=1280"));
    // One history row per device and cycle.
    EXPECT_EQ("101:325/450/00/0 101:325/450/00/0 102:351/602/00/0 102:351/602/00/0 103:395/300/11/1 "
              "103:395/300/11/1 104:0/0/22/2 104:0/0/22/2 301:321/500/00/0 301:321/500/00/0",
              Envir(hist));
    // The module's log was saved at shutdown.
    EXPECT_EQ(0, access((dir / "root/NandFlash/tmp/qvsm.log.ini").c_str(), F_OK));

    // show: summaries and scaled values for the terminal.
    ASSERT_EQ(0, Host({"show", "-c", site}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("[101] 机房温湿度  type 1280, port 1, addr 1\n  state 0 (正常)")) << out;
    EXPECT_NE(std::string::npos, out.find("summary: 温度:32.5 (正常),湿度:45.0 (正常)\n  tbEnvir: Tem=325 Hum=450 "
                                          "iTem=0 iHum=0\n  温度值 32.5, 湿度值 45.0\n")) << out;
    EXPECT_NE(std::string::npos, out.find("state 1 (告警)")) << out;

    // A sensor address nobody answers fails alone; the silent address costs the driver's 100 ms
    // pause and the port's 300 ms time-out.
    site = Site(ports, sensors + Sensor(107, 1, 7, 0, "nobody") + Sensor(301, 2, 6, 0, "net"));
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("cycle 2: 4 ok, 2 failed (104 107)")) << out;
    std::vector<long> with = CycleMs(out);
    ASSERT_EQ(2u, with.size()) << out;
    EXPECT_GE(with[1] - base[1], 380) << out;
    EXPECT_LE(with[1] - base[1], 400 + 200) << out;
    EXPECT_EQ("101:325/450/00/0 102:351/602/00/0 103:395/300/11/1 104:0/0/22/2 107:0/0/22/2 301:321/500/00/0",
              Envir(live));
    EXPECT_EQ(2, State(107));
}

TEST_F(EndToEnd, KilledSimulatorTurnsDevicesToFailureAndBackWhenItReturns)
{
    std::string simCfg = SimLine() + "[bus.net]\nkind = rtu\nlisten = 127.0.0.1:%PORT%\n"
                                     "[slave.n]\nbus = net\naddr = 6\nhold.0 = 500\nhold.1 = 321\n";
    auto where = StartSim(e2e::Replace(simCfg, "%PORT%", "0"));
    ASSERT_EQ(1u, where.count("net"));
    std::string tcpPort = where["net"].substr(where["net"].rfind(':') + 1);

    std::string site = Site(Port(1, dir / "ttyV1", "Retry = 100\n") + Port(2, "tcp://" + where["net"], "Retry = 100\n"),
                            Sensor(201, 1, 1, 0, "a") + Sensor(202, 1, 2, 1, "b") + Sensor(203, 2, 6, 0, "c"),
                            "HistoryEvery = 0\n");
    e2e::Proc host;
    ASSERT_TRUE(host.Start({e2e::HostBin(), "-c", site, "--module", e2e::ModuleSo(), "--interval", "100"}, dir / "host.log"));
    auto all = [this](int st) { return State(201) == st && State(202) == st && State(203) == st; };
    ASSERT_TRUE(e2e::WaitFor([&] { return all(0); }, seconds(15))) << e2e::ReadFile(dir / "host.log");

    sim.Kill();
    ASSERT_TRUE(e2e::WaitFor([&] { return all(2); }, seconds(15))) << e2e::ReadFile(dir / "host.log");
    EXPECT_EQ("201:0/0/22/2 202:0/0/22/2 203:0/0/22/2", Envir(live));
    EXPECT_TRUE(host.Running());

    StartSim(e2e::Replace(simCfg, "%PORT%", tcpPort));
    ASSERT_TRUE(e2e::WaitFor([&] { return all(0); }, seconds(15))) << e2e::ReadFile(dir / "host.log");
    EXPECT_EQ("201:325/450/00/0 202:351/602/00/0 203:321/500/00/0", Envir(live));

    host.Signal(SIGTERM);
    EXPECT_EQ(0, host.Wait(seconds(10)));
    std::string log = e2e::ReadFile(dir / "host.log");
    EXPECT_NE(std::string::npos, log.find("stopped after")) << log;
    EXPECT_NE(std::string::npos, log.find("failed (201 202 203)")) << log;
    EXPECT_EQ(0, access((dir / "root/NandFlash/tmp/qvsm.log.ini").c_str(), F_OK));
}

TEST_F(EndToEnd, CtlArgumentsReachDoFuncAndMistakesStopTheHost)
{
    // A recording module shows what arrives in the driver: the text in GBK, or an int.
    std::string out;
    std::string fake = dir / "fake.ini";
    e2e::WriteFile(fake, "[host]\nLive = fake.db\n[device.x]\nSID = 9\nType = 256\nAddr = 4\n");
    ASSERT_EQ(0, Host({"ctl", "-c", fake, "--sid", "9", "--cmd", "7", "--text", "开门吧"}, out, FAKE_MODULE)) << out;
    EXPECT_NE(std::string::npos, out.find("ctl [9] device.x: DoFunc(cmd 7) = 71")) << out;
    EXPECT_NE(std::string::npos, out.find("reply: done")) << out;
    std::string db = dir / "fake.db";
    EXPECT_EQ(Gbk("开门吧"), e2e::DbStr(db, "select Txt from tbFakeCalls where Op='DoFunc' and SID=9 and A=7 and B=4"));

    ASSERT_EQ(0, Host({"ctl", "-c", fake, "--sid", "9", "--cmd", "8", "--int", "42"}, out, FAKE_MODULE));
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 8) = 81")) << out;
    EXPECT_EQ(2, Host({"ctl", "-c", fake, "--sid", "10", "--cmd", "8"}, out, FAKE_MODULE));
    EXPECT_NE(std::string::npos, out.find("no device with SID 10")) << out;

    // A bad site file or command line stops the host before anything runs.
    std::string site = Site("[port.1]\nDevice = /dev/null\nParity = Q\n", Sensor(1, 1, 1, 0, "x"));
    EXPECT_EQ(2, Host({"-c", site, "--cycles", "1"}, out));
    EXPECT_NE(std::string::npos, out.find(site + ": [port.1] Parity: 'Q' is not N, E or O")) << out;
    EXPECT_NE(0, access(live.c_str(), F_OK));
    EXPECT_EQ(2, Host({"-c", dir / "none.ini"}, out));
    EXPECT_NE(std::string::npos, out.find(dir / "none.ini")) << out;
    EXPECT_EQ(2, Host({"--bogus"}, out));
    EXPECT_NE(std::string::npos, out.find("usage:")) << out;
}

}  // namespace
