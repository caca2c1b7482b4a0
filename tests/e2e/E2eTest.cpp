// qvsm-host with libqvsm.so polling temperature/humidity sensors simulated by qvsm-sim, over
// a pseudo-terminal and over TCP, as separate processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/SqliteDb.h"
#include "tests/e2e/TestUtil.h"

using namespace std::chrono;
using e2e::Gbk;

namespace {

class EndToEnd : public ::testing::Test {
protected:
    // Starts qvsm-sim and waits until it reports its buses; returns bus name -> where.
    std::map<std::string, std::string> StartSim(e2e::Proc& p, const std::string& cfg)
    {
        std::map<std::string, std::string> where;
        std::string ini = dir / "sim.ini", ready = dir / "sim.ready";
        e2e::WriteFile(ini, cfg);
        unlink(ready.c_str());
        EXPECT_TRUE(p.Start({SIM_BIN, ini, "--ready", ready}, dir / "sim.log"));
        bool up = e2e::WaitFor([&] { return access(ready.c_str(), R_OK) == 0 || !p.Running(); }, seconds(10));
        EXPECT_TRUE(up && p.Running()) << e2e::ReadFile(dir / "sim.log");
        std::istringstream in(e2e::ReadFile(ready));
        std::string word, name, kind, at;
        while (in >> word) {
            if (word != "bus") continue;
            in >> name >> kind >> at;
            where[name] = at;
            std::string rest;
            std::getline(in, rest);
        }
        return where;
    }

    std::string Site(const std::string& ports, const std::string& devices, const std::string& host = "")
    {
        std::string p = dir / "site.ini";
        e2e::WriteFile(p, "[host]\nLive = live.db\nHistory = hist.db\nRoot = root\nInterval = 0\n" + host + ports +
                              devices);
        return p;
    }

    static std::string Sensor(int sid, int port, int addr, int variant, const std::string& name)
    {
        return "[device." + std::to_string(sid) + "]\nSID = " + std::to_string(sid) + "\nType = 1280\nPort = " +
               std::to_string(port) + "\nAddr = " + std::to_string(addr) + "\nVariant = " + std::to_string(variant) +
               "\nName = " + name + "\n";
    }

    int Host(const std::vector<std::string>& args, std::string& out, milliseconds limit = seconds(60))
    {
        std::vector<std::string> argv = {HOST_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        return e2e::Run(argv, out, limit);
    }

    // Cycle times from the status lines, and their ok/failed counts.
    struct Cycle {
        int ok, failed;
        long ms;
    };
    static std::vector<Cycle> Cycles(const std::string& out)
    {
        std::vector<Cycle> c;
        std::regex re("cycle [0-9]+: ([0-9]+) ok, ([0-9]+) failed[^,]*, ([0-9]+) ms");
        for (auto it = std::sregex_iterator(out.begin(), out.end(), re); it != std::sregex_iterator(); ++it)
            c.push_back(Cycle{std::stoi((*it)[1]), std::stoi((*it)[2]), std::stol((*it)[3])});
        return c;
    }

    // A fresh connection per question: the host may be writing.
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
    int State(int sid) { return Int(dir / "live.db", "select State from tbSubSysDetail where sid=" + std::to_string(sid) + " and Fld=0"); }

    e2e::TempDir dir;
};

const char kLineSim[] =
    "[sim]\ntick = 600000\n"
    "[bus.line]\nkind = rtu\npty = %LINK%\n"
    "[slave.v0]\nbus = line\naddr = 1\nhold.0 = 450\nhold.1 = 325\n"   // Hum, Tem
    "[slave.v1]\nbus = line\naddr = 2\ninput.0 = 351\ninput.1 = 602\n" // Tem, Hum by function 4
    "[slave.v4]\nbus = line\naddr = 3\nhold.1 = 395\nhold.2 = 300\n";  // Tem, Hum from register 1

std::string Replace(std::string s, const std::string& what, const std::string& with)
{
    for (size_t p; (p = s.find(what)) != std::string::npos;) s.replace(p, what.size(), with);
    return s;
}

TEST_F(EndToEnd, SensorsOnASerialBusFillLiveAndHistoryTables)
{
    e2e::Proc sim;
    StartSim(sim, Replace(kLineSim, "%LINK%", dir / "ttyV1"));
    std::string site = Site("[port.1]\nDevice = " + (dir / "ttyV1") + "\nTimeout = 300\n",
                            Sensor(101, 1, 1, 0, "机房温湿度") + Sensor(102, 1, 2, 1, "电池间") + Sensor(103, 1, 3, 4, "配电室"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2", "--module", MODULE_SO}, out)) << out;
    std::vector<Cycle> cycles = Cycles(out);
    ASSERT_EQ(2u, cycles.size()) << out;
    for (const Cycle& c : cycles) {
        EXPECT_EQ(3, c.ok) << out;
        EXPECT_EQ(0, c.failed) << out;
    }

    std::string live = dir / "live.db", hist = dir / "hist.db";
    // Register order by Variant: 0 Hum,Tem; 1 Tem,Hum by function 4; 4 Tem,Hum from register 1.
    EXPECT_EQ(325, Int(live, "select Tem from tbEnvir where SID=101"));
    EXPECT_EQ(450, Int(live, "select Hum from tbEnvir where SID=101"));
    EXPECT_EQ(351, Int(live, "select Tem from tbEnvir where SID=102"));
    EXPECT_EQ(602, Int(live, "select Hum from tbEnvir where SID=102"));
    EXPECT_EQ(395, Int(live, "select Tem from tbEnvir where SID=103"));
    EXPECT_EQ(300, Int(live, "select Hum from tbEnvir where SID=103"));
    EXPECT_EQ(1, Int(live, "select count(*) from tbEnvir where SID=101 and State=0 and iTem=0 and iHum=0 and Port=1 and Addr=1"));

    // The default limits are 30.0..38.0 degC and 35.0..78.0 %RH: 39.5 degC is above, 30.0 %RH below.
    EXPECT_EQ(1, Int(live, "select count(*) from tbEnvir where SID=103 and State=1 and iTem=1 and iHum=1"));
    EXPECT_EQ(Gbk("温度:32.5 (正常),湿度:45.0 (正常)"), Str(live, "select Brief from tbSMBrief where SID=101"));
    EXPECT_EQ(Gbk("温度:39.5 (告警),湿度:30.0 (告警)"), Str(live, "select Brief from tbSMBrief where SID=103"));
    EXPECT_EQ(0, Int(live, "select St from tbSMBrief where SID=102"));
    EXPECT_EQ(1, Int(live, "select St from tbSMBrief where SID=103"));

    EXPECT_EQ(0, State(101));
    EXPECT_EQ(0, State(102));
    EXPECT_EQ(1, State(103));
    EXPECT_EQ(3, Int(live, "select count(*) from tbSubSysDetail where Fld=0 and LastUpd is not null"));
    EXPECT_EQ(Gbk("机房温湿度"), Str(live, "select Name from tbSubSysDetail where sid=101 and Fld=0"));
    EXPECT_EQ(2, Int(live, "select count(*) from tbSMDef where Type=1280"));

    // One history row per device and cycle.
    EXPECT_EQ(6, Int(hist, "select count(*) from tbEnvir"));
    EXPECT_EQ(2, Int(hist, "select count(*) from tbEnvir where SID=102 and Tem=351 and Hum=602 and State=0"));
    EXPECT_EQ(2, Int(hist, "select count(*) from tbEnvir where SID=103 and State=1"));

    // The module's log was saved at shutdown.
    EXPECT_EQ(0, access((dir / "root/NandFlash/tmp/qvsm.log.ini").c_str(), F_OK));

    // show: summaries and scaled values for the terminal.
    ASSERT_EQ(0, Host({"show", "-c", site}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("[101] 机房温湿度")) << out;
    EXPECT_NE(std::string::npos, out.find("summary: 温度:32.5 (正常),湿度:45.0 (正常)")) << out;
    EXPECT_NE(std::string::npos, out.find("温度值 32.5, 湿度值 45.0")) << out;
    EXPECT_NE(std::string::npos, out.find("state 1 (告警)")) << out;
}

TEST_F(EndToEnd, SensorBehindATcpDeviceServer)
{
    e2e::Proc sim;
    auto where = StartSim(sim,
                          "[sim]\ntick = 600000\n[bus.net]\nkind = rtu\nlisten = 127.0.0.1:0\n"
                          "[slave.n]\nbus = net\naddr = 6\nhold.0 = 500\nhold.1 = 321\n");
    ASSERT_EQ(1u, where.count("net"));
    std::string site = Site("[port.4]\nDevice = tcp://" + where["net"] + "\nTimeout = 300\n", Sensor(301, 4, 6, 0, "net"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1", "--module", MODULE_SO}, out)) << out;
    std::string live = dir / "live.db";
    EXPECT_EQ(1, Int(live, "select count(*) from tbEnvir where SID=301 and Tem=321 and Hum=500 and State=0 and Port=4"));
    EXPECT_EQ(Gbk("温度:32.1 (正常),湿度:50.0 (正常)"), Str(live, "select Brief from tbSMBrief where SID=301"));
    EXPECT_EQ(0, State(301));
}

TEST_F(EndToEnd, MissingSlaveFailsAloneAndCostsItsTimeout)
{
    e2e::Proc sim;
    StartSim(sim, Replace(kLineSim, "%LINK%", dir / "ttyV1"));
    const std::string port = "[port.1]\nDevice = " + (dir / "ttyV1") + "\nTimeout = 300\n";
    std::string out;

    // Without the missing device first: the time the other two take.
    std::string site = Site(port, Sensor(101, 1, 1, 0, "a") + Sensor(102, 1, 2, 1, "b"));
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2", "--module", MODULE_SO}, out)) << out;
    std::vector<Cycle> base = Cycles(out);
    ASSERT_EQ(2u, base.size()) << out;

    site = Site(port, Sensor(101, 1, 1, 0, "a") + Sensor(107, 1, 7, 0, "nobody") + Sensor(102, 1, 2, 1, "b"));
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "2", "--module", MODULE_SO}, out)) << out;
    std::vector<Cycle> with = Cycles(out);
    ASSERT_EQ(2u, with.size()) << out;
    EXPECT_NE(std::string::npos, out.find("2 ok, 1 failed (107)")) << out;

    // The silent address costs the driver's 100 ms pause and the port's 300 ms time-out.
    long delta = with[1].ms - base[1].ms;
    EXPECT_GE(delta, 380) << out;
    EXPECT_LE(delta, 400 + 200) << out;

    std::string live = dir / "live.db";
    EXPECT_EQ(2, State(107));
    EXPECT_EQ(1, Int(live, "select count(*) from tbEnvir where SID=107 and State=2 and Tem=0 and Hum=0 and iTem=2 and iHum=2"));
    EXPECT_EQ(Gbk("温度:0.0 (故障),湿度:0.0 (故障)"), Str(live, "select Brief from tbSMBrief where SID=107"));
    EXPECT_EQ(2, Int(live, "select St from tbSMBrief where SID=107"));
    EXPECT_EQ(0, State(101));
    EXPECT_EQ(0, State(102));
    EXPECT_EQ(325, Int(live, "select Tem from tbEnvir where SID=101"));
    EXPECT_EQ(602, Int(live, "select Hum from tbEnvir where SID=102"));
}

TEST_F(EndToEnd, DamagedRepliesCountAsFailedPolls)
{
    e2e::Proc sim;
    StartSim(sim,
             "[sim]\ntick = 600000\n[bus.line]\nkind = rtu\npty = " + (dir / "ttyV2") +
                 "\n[slave.good]\nbus = line\naddr = 1\nhold.0 = 450\nhold.1 = 325\n"
                 "[slave.bad]\nbus = line\naddr = 2\nhold.0 = 450\nhold.1 = 325\nfault = badcrc\n");
    std::string site = Site("[port.1]\nDevice = " + (dir / "ttyV2") + "\nTimeout = 200\n",
                            Sensor(401, 1, 1, 0, "good") + Sensor(402, 1, 2, 0, "bad"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1", "--module", MODULE_SO}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("1 ok, 1 failed (402)")) << out;
    EXPECT_EQ(0, State(401));
    EXPECT_EQ(2, State(402));
}

TEST_F(EndToEnd, KilledSimulatorTurnsDevicesToFailureAndBackWhenItReturns)
{
    e2e::Proc sim;
    std::string simCfg = Replace(kLineSim, "%LINK%", dir / "ttyV1") +
                         "[bus.net]\nkind = rtu\nlisten = 127.0.0.1:%PORT%\n"
                         "[slave.n]\nbus = net\naddr = 6\nhold.0 = 500\nhold.1 = 321\n";
    auto where = StartSim(sim, Replace(simCfg, "%PORT%", "0"));
    ASSERT_EQ(1u, where.count("net"));
    std::string tcpPort = where["net"].substr(where["net"].rfind(':') + 1);

    std::string site = Site("[port.1]\nDevice = " + (dir / "ttyV1") + "\nTimeout = 200\nRetry = 100\n"
                            "[port.2]\nDevice = tcp://" + where["net"] + "\nTimeout = 200\nRetry = 100\n",
                            Sensor(201, 1, 1, 0, "a") + Sensor(202, 1, 2, 1, "b") + Sensor(203, 2, 6, 0, "c"),
                            "HistoryEvery = 0\n");
    e2e::Proc hostProc;
    ASSERT_TRUE(hostProc.Start({HOST_BIN, "-c", site, "--module", MODULE_SO, "--interval", "100"}, dir / "host.log"));
    auto all = [this](int st) { return State(201) == st && State(202) == st && State(203) == st; };
    ASSERT_TRUE(e2e::WaitFor([&] { return all(0); }, seconds(15))) << e2e::ReadFile(dir / "host.log");

    sim.Kill();
    ASSERT_TRUE(e2e::WaitFor([&] { return all(2); }, seconds(15))) << e2e::ReadFile(dir / "host.log");
    std::string live = dir / "live.db";
    EXPECT_EQ(3, Int(live, "select count(*) from tbEnvir where State=2 and Tem=0"));
    EXPECT_TRUE(hostProc.Running());

    StartSim(sim, Replace(simCfg, "%PORT%", tcpPort));
    ASSERT_TRUE(e2e::WaitFor([&] { return all(0); }, seconds(15))) << e2e::ReadFile(dir / "host.log");
    EXPECT_EQ(321, Int(live, "select Tem from tbEnvir where SID=203"));
    EXPECT_EQ(325, Int(live, "select Tem from tbEnvir where SID=201"));

    hostProc.Signal(SIGTERM);
    EXPECT_EQ(0, hostProc.Wait(seconds(10)));
    std::string log = e2e::ReadFile(dir / "host.log");
    EXPECT_NE(std::string::npos, log.find("stopped after")) << log;
    EXPECT_NE(std::string::npos, log.find("failed (201 202 203)")) << log;
    EXPECT_EQ(0, access((dir / "root/NandFlash/tmp/qvsm.log.ini").c_str(), F_OK));
}

TEST_F(EndToEnd, CtlReachesDoFunc)
{
    std::string site = Site("", Sensor(501, 0, 1, 0, "ctl"));
    std::string out;
    // The sensor driver keeps the base behaviour: DoFunc answers 0.
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "501", "--cmd", "3", "--module", MODULE_SO}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("ctl [501] ctl: DoFunc(cmd 3) = 0")) << out;

    // A recording module shows what arrives in the driver.
    std::string site2 = dir / "fake.ini";
    e2e::WriteFile(site2, "[host]\nLive = fake.db\n[device.x]\nSID = 9\nType = 256\nAddr = 4\n");
    ASSERT_EQ(0, Host({"ctl", "-c", site2, "--sid", "9", "--cmd", "7", "--text", "开门吧", "--module", FAKE_MODULE}, out))
        << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 7) = 71")) << out;
    EXPECT_NE(std::string::npos, out.find("reply: done")) << out;
    EXPECT_EQ(1, Int(dir / "fake.db", "select count(*) from tbFakeCalls where Op='DoFunc' and SID=9 and A=7 and B=4"));
    EXPECT_EQ(Gbk("开门吧"), Str(dir / "fake.db", "select Txt from tbFakeCalls where Op='DoFunc'"));

    ASSERT_EQ(0, Host({"ctl", "-c", site2, "--sid", "9", "--cmd", "8", "--int", "42", "--module", FAKE_MODULE}, out));
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 8) = 81")) << out;
    EXPECT_EQ(2, Host({"ctl", "-c", site2, "--sid", "10", "--cmd", "8", "--module", FAKE_MODULE}, out));
    EXPECT_NE(std::string::npos, out.find("no device with SID 10")) << out;
}

TEST_F(EndToEnd, BadSiteFileStopsBeforeAnythingRuns)
{
    std::string site = Site("[port.1]\nDevice = /dev/null\nParity = Q\n", Sensor(1, 1, 1, 0, "x"));
    std::string out;
    EXPECT_EQ(2, Host({"-c", site, "--cycles", "1", "--module", MODULE_SO}, out));
    EXPECT_NE(std::string::npos, out.find(site + ": [port.1] Parity: 'Q' is not N, E or O")) << out;
    EXPECT_NE(0, access((dir / "live.db").c_str(), F_OK));
    EXPECT_EQ(2, Host({"-c", dir / "none.ini"}, out));
    EXPECT_EQ(2, Host({"--bogus"}, out));
    EXPECT_NE(std::string::npos, out.find("usage:")) << out;
}

}  // namespace
