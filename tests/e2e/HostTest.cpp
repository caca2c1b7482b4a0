// qvsm-host's start-up, poll cycle, controls and shutdown against a recording module.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "host/Host.h"
#include "host/HostConfig.h"
#include "tests/e2e/TestUtil.h"

using e2e::Gbk;

namespace {

struct Call {
    std::string op;
    int type, sid, a, b, c;
    std::string txt;
};

class HostWithFake : public ::testing::Test {
protected:
    void SetUp() override { Site(""); }

    void Site(const std::string& extra)
    {
        e2e::WriteFile(dir / "site.ini",
                       "[host]\nLive = live.db\nHistory = hist/hist.db\nRoot = root\nInterval = 0\nHistoryEvery = 2\n"
                       "[device.a]\nSID = 11\nType = 256\nParam1 = 150\nParam2 = 0\nVariant = 3\nName = 甲\nWait = 120\n"
                       "[device.b]\nSID = 12\nType = 256\nParam1 = 250\nParam2 = 1\nAddr = 5\n"
                       "[device.c]\nSID = 13\nType = 256\nAddr = 99\n"
                       "[device.io]\nSID = 14\nType = 2305\nParam1 = 3\n" +
                           extra);
        std::string err;
        ASSERT_TRUE(host::LoadHostConfig(dir / "site.ini", cfg, err)) << err;
    }

    void Start(host::CHost& h, const std::string& module = FAKE_MODULE)
    {
        std::string err;
        h.quietPorts = true;
        ASSERT_TRUE(h.Start(module, err)) << err;
    }

    std::vector<Call> Calls(sqlite3* db, const std::string& where = "1")
    {
        std::vector<Call> out;
        sqlite3_stmt* st = nullptr;
        std::string sql = "select Op,Type,SID,A,B,C,Txt from tbFakeCalls where " + where + " order by Seq";
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return out;
        while (sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* op = sqlite3_column_text(st, 0);
            const unsigned char* t = sqlite3_column_text(st, 6);
            out.push_back(Call{op ? reinterpret_cast<const char*>(op) : "", sqlite3_column_int(st, 1),
                               sqlite3_column_int(st, 2), sqlite3_column_int(st, 3), sqlite3_column_int(st, 4),
                               sqlite3_column_int(st, 5), t ? reinterpret_cast<const char*>(t) : ""});
        }
        sqlite3_finalize(st);
        return out;
    }

    static std::string Ops(const std::vector<Call>& calls)
    {
        std::string s;
        for (const Call& c : calls) s += (s.empty() ? "" : " ") + c.op + (c.op == "DataVal" ? std::to_string(c.a) : "");
        return s;
    }

    e2e::TempDir dir;
    host::HostCfg cfg;
};

TEST_F(HostWithFake, StartRegistersEachTypeOnceAndPreparesEveryDevice)
{
    host::CHost h(cfg);
    Start(h);
    sqlite3* db = h.Live().Handle();
    EXPECT_EQ("RegDb RegDb DoItem ChkDb DoItem ChkDb DoItem ChkDb DoItem ChkDb", Ops(Calls(db)));
    std::vector<Call> reg = Calls(db, "Op='RegDb'");
    ASSERT_EQ(2u, reg.size());
    EXPECT_EQ(256, reg[0].type);
    EXPECT_EQ(2305, reg[1].type);
    for (const Call& c : Calls(db, "Op='ChkDb'")) EXPECT_EQ(1, c.b) << "second database handed over";
    std::vector<Call> items = Calls(db, "Op='DoItem'");
    ASSERT_EQ(4u, items.size());
    EXPECT_EQ(11, items[0].sid);
    EXPECT_EQ(3, items[0].a);  // the record carries the Variant
    EXPECT_EQ(Gbk("甲"), items[0].txt);

    // The host's own rows: one device row each, channel rows for the I/O module.
    EXPECT_EQ(4, h.Live().QueryInt("select count(*) from tbSubSysDetail where Fld=0 and State=-1 and SIDD=sid"));
    EXPECT_EQ(Gbk("甲"), std::string(h.Live().QueryStr("select Name from tbSubSysDetail where sid=11 and Fld=0")));
    EXPECT_EQ(256, h.Live().QueryInt("select type from tbSubSysDetail where sid=12 and Fld=0"));
    EXPECT_EQ(4, h.Live().QueryInt("select count(*) from tbSubSysDetail where sid=14 and Fld>0 and type=2305"));
    EXPECT_EQ("point3", std::string(h.Live().QueryStr("select Name from tbSubSysDetail where sid=14 and Fld=3")));
    EXPECT_EQ(0, h.Live().QueryInt("select count(*) from tbSubSysDetail where sid=11 and Fld>0"));

    // The module's root is prepared and handed over.
    struct stat st;
    EXPECT_EQ(0, stat((dir / "root/NandFlash/tmp").c_str(), &st));
    ASSERT_NE(nullptr, getenv("QVSM_ROOT"));
    EXPECT_EQ(dir / "root", std::string(getenv("QVSM_ROOT")));
}

TEST_F(HostWithFake, RestartKeepsOneHostRowPerDevice)
{
    {
        host::CHost h(cfg);
        Start(h);
    }
    Site("");
    cfg.devices[1].nameGbk = "renamed";
    host::CHost h(cfg);
    Start(h);
    EXPECT_EQ(4, h.Live().QueryInt("select count(*) from tbSubSysDetail where Fld=0"));
    EXPECT_EQ(8, h.Live().QueryInt("select count(*) from tbSubSysDetail"));
    EXPECT_EQ("renamed", std::string(h.Live().QueryStr("select Name from tbSubSysDetail where sid=12 and Fld=0")));
}

TEST_F(HostWithFake, CyclePollsInOrderAndPassesAlarmBits)
{
    host::CHost h(cfg);
    Start(h);
    sqlite3* db = h.Live().Handle();
    int before = h.Live().QueryInt("select max(Seq) from tbFakeCalls");
    host::CycleStats st = h.Cycle();
    EXPECT_EQ(1, st.cycle);
    EXPECT_EQ(3, st.ok);
    EXPECT_EQ(1, st.failed);
    EXPECT_EQ(std::vector<int>{13}, st.failedSids);
    EXPECT_EQ(0u, st.Line().find("cycle 1: 3 ok, 1 failed (13), ")) << st.Line();
    EXPECT_NE(0, sqlite3_get_autocommit(db)) << "the cycle's transaction is closed";

    std::string after = "Seq>" + std::to_string(before);
    EXPECT_EQ("DoItem DataGet DataVal1 DataVal2 DataVal3 DataUpd "
              "DoItem DataGet DataVal1 DataVal2 DataVal3 DataUpd "
              "DoItem DataGet DataUpd "
              "DoItem DataGet DataVal1 DataVal2 DataVal3 DataVal4 DataUpd",
              Ops(Calls(db, after)));

    std::vector<Call> gets = Calls(db, after + " and Op='DataGet'");
    ASSERT_EQ(4u, gets.size());
    EXPECT_EQ(5, gets[1].a);            // address of device b
    EXPECT_EQ(120, gets[0].b);          // Wait of device a
    EXPECT_EQ(0, gets[0].c);            // no port configured
    for (const Call& g : gets) EXPECT_EQ("tx", g.txt) << "polls run inside the cycle's transaction";

    std::vector<Call> upd = Calls(db, after + " and Op='DataUpd'");
    ASSERT_EQ(4u, upd.size());
    EXPECT_EQ(0, upd[0].a);   // 150 within 100..200, 0 is not the alarm level 1
    EXPECT_EQ(3, upd[1].a);   // 250 above 200, 1 equals the alarm level
    EXPECT_EQ(-1, upd[2].a);  // failed poll: no alarm bits at all
    EXPECT_EQ(9, upd[3].a);   // 3 below 100 (point 1) and below 5 (point 4)
    for (const Call& u : upd) {
        EXPECT_EQ(0, u.b);       // flags
        EXPECT_EQ(1, u.c);       // first cycle writes history
        EXPECT_EQ("snap", u.txt);
    }
}

TEST_F(HostWithFake, HistoryEveryOtherCycleAndLimitsReadEachCycle)
{
    host::CHost h(cfg);
    Start(h);
    h.Cycle();
    h.Cycle();
    ASSERT_EQ(0, h.Live().Exec("update tbSMDef set vref2=300 where Type=256 and Fld=1"));
    h.Cycle();
    sqlite3* db = h.Live().Handle();
    std::vector<Call> upd = Calls(db, "Op='DataUpd' and SID=12");
    ASSERT_EQ(3u, upd.size());
    EXPECT_EQ(1, upd[0].c);
    EXPECT_EQ(0, upd[1].c);
    EXPECT_EQ(1, upd[2].c);
    EXPECT_EQ(3, upd[1].a);
    EXPECT_EQ(2, upd[2].a);  // 250 is now within the edited limits
    h.Stop();

    CSqliteDb hist;
    ASSERT_TRUE(hist.Open(dir / "hist/hist.db"));
    EXPECT_EQ(8, hist.QueryInt("select count(*) from tbFakeHist"));
    EXPECT_EQ(2, hist.QueryInt("select count(*) from tbFakeHist where SID=13 and Bits=-1"));
}

TEST_F(HostWithFake, CtlReachesTheDriversDoFunc)
{
    host::CHost h(cfg);
    Start(h);
    std::string text = Gbk("开机了");  // not the size of an int: the fake answers into text buffers
    char buf[64] = {0};
    text.copy(buf, sizeof buf - 1);
    int result = 0;
    std::string err;
    ASSERT_TRUE(h.Ctl(12, 5, buf, static_cast<int>(text.size()), result, err)) << err;
    EXPECT_EQ(51, result);
    EXPECT_STREQ("done", buf);
    std::vector<Call> f = Calls(h.Live().Handle(), "Op='DoFunc'");
    ASSERT_EQ(1u, f.size());
    EXPECT_EQ(12, f[0].sid);
    EXPECT_EQ(5, f[0].a);
    EXPECT_EQ(5, f[0].b);  // the device's address
    EXPECT_EQ(text, f[0].txt);

    EXPECT_FALSE(h.Ctl(77, 5, nullptr, 0, result, err));
    EXPECT_NE(std::string::npos, err.find("no device with SID 77")) << err;
}

TEST_F(HostWithFake, StopFreesTheManagerLast)
{
    {
        host::CHost h(cfg);
        Start(h);
        h.Cycle();
    }
    CSqliteDb live;
    ASSERT_TRUE(live.Open(dir / "live.db"));
    EXPECT_EQ("FreeSMManager", std::string(live.QueryStr("select Op from tbFakeCalls order by Seq desc limit 1")));
    EXPECT_EQ(1, live.QueryInt("select count(*) from tbFakeCalls where Op='FreeSMManager'"));
}

TEST_F(HostWithFake, StartFailuresAreExplained)
{
    std::string err;
    {
        host::CHost h(cfg);
        EXPECT_FALSE(h.Start(dir / "missing.so", err));
        EXPECT_NE(std::string::npos, err.find("cannot load " + (dir / "missing.so"))) << err;
    }
    {
        host::CHost h(cfg);
        EXPECT_FALSE(h.Start("libm.so.6", err));
        EXPECT_NE(std::string::npos, err.find("no entry point DllType")) << err;
    }
    Site("[device.z]\nSID = 20\nType = 9999\n");
    {
        host::CHost h(cfg);
        EXPECT_FALSE(h.Start(FAKE_MODULE, err));
        EXPECT_NE(std::string::npos, err.find("[device.z] Type: 9999 has no driver")) << err;
    }
}

}  // namespace
