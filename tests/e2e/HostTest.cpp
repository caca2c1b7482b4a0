// qvsm-host's start-up, poll cycle, shutdown and show against a recording module.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/HostConfig.h"
#include "tests/e2e/TestUtil.h"

using e2e::Gbk;

namespace {

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

    void Start(host::CHost& h)
    {
        std::string err;
        h.quietPorts = true;
        ASSERT_TRUE(h.Start(FAKE_MODULE, err)) << err;
    }

    // The recorded calls: "Op" (DataVal with its point), or the columns asked for.
    static std::string Calls(CSqliteDb& db, const std::string& where, const char* what = "Op||(case when Op='DataVal' "
                                                                                          "then A else '' end)")
    {
        return db.QueryStr(("select group_concat(x,' ') from (select " + std::string(what) +
                            " as x from tbFakeCalls where " + where + " order by Seq)")
                               .c_str());
    }

    e2e::TempDir dir;
    host::HostCfg cfg;
};

TEST_F(HostWithFake, StartRegistersEachTypeOnceAndPreparesEveryDevice)
{
    {
        host::CHost h(cfg);
        Start(h);
    }
    Site("");
    cfg.devices[1].nameGbk = "renamed";
    host::CHost h(cfg);
    Start(h);  // a restart: the host's rows are kept, not doubled
    CSqliteDb& db = h.Live();
    int first = db.QueryInt("select Seq from tbFakeCalls where Op='FreeSMManager'");
    std::string now = "Seq>" + std::to_string(first);
    EXPECT_EQ("RegDb RegDb DoItem ChkDb DoItem ChkDb DoItem ChkDb DoItem ChkDb", Calls(db, now));
    EXPECT_EQ("256 2305", Calls(db, now + " and Op='RegDb'", "Type"));
    EXPECT_EQ("1 1 1 1", Calls(db, now + " and Op='ChkDb'", "B")) << "second database handed over";
    // The record carries the Variant and the name.
    EXPECT_EQ("11:3:" + Gbk("甲") + " 12:0:renamed 13:0:device.c 14:0:device.io",
              Calls(db, now + " and Op='DoItem'", "SID||':'||A||':'||Txt"));

    // The host's own rows: one device row each, channel rows for the I/O module.
    EXPECT_EQ(4, db.QueryInt("select count(*) from tbSubSysDetail where Fld=0 and State=-1 and SIDD=sid"));
    EXPECT_EQ(8, db.QueryInt("select count(*) from tbSubSysDetail"));
    EXPECT_EQ(Gbk("甲"), std::string(db.QueryStr("select Name from tbSubSysDetail where sid=11 and Fld=0")));
    EXPECT_EQ("renamed", std::string(db.QueryStr("select Name from tbSubSysDetail where sid=12 and Fld=0")));
    EXPECT_EQ(256, db.QueryInt("select type from tbSubSysDetail where sid=12 and Fld=0"));
    EXPECT_EQ(4, db.QueryInt("select count(*) from tbSubSysDetail where sid=14 and Fld>0 and type=2305"));
    EXPECT_EQ("point3", std::string(db.QueryStr("select Name from tbSubSysDetail where sid=14 and Fld=3")));

    // The module's root is prepared and handed over.
    struct stat st;
    EXPECT_EQ(0, stat((dir / "root/NandFlash/tmp").c_str(), &st));
    ASSERT_NE(nullptr, getenv("QVSM_ROOT"));
    EXPECT_EQ(dir / "root", std::string(getenv("QVSM_ROOT")));
}

TEST_F(HostWithFake, CyclesPollInOrderWithAlarmBitsHistoryAndFreshLimits)
{
    {
        host::CHost h(cfg);
        Start(h);
        CSqliteDb& db = h.Live();
        host::CycleStats st = h.Cycle();
        EXPECT_EQ(3, st.ok);
        EXPECT_EQ(1, st.failed);
        EXPECT_EQ(0u, st.Line().find("cycle 1: 3 ok, 1 failed (13), ")) << st.Line();
        EXPECT_NE(0, sqlite3_get_autocommit(db.Handle())) << "the cycle's transaction is closed";

        std::string polls = "Seq>(select max(Seq) from tbFakeCalls where Op='ChkDb')";
        EXPECT_EQ("DoItem DataGet DataVal1 DataVal2 DataVal3 DataUpd "
                  "DoItem DataGet DataVal1 DataVal2 DataVal3 DataUpd "
                  "DoItem DataGet DataUpd "
                  "DoItem DataGet DataVal1 DataVal2 DataVal3 DataVal4 DataUpd",
                  Calls(db, polls));
        // Address, Wait, port (none configured), inside the cycle's transaction.
        EXPECT_EQ("1/120/0/tx 5/0/0/tx 99/0/0/tx 1/0/0/tx", Calls(db, polls + " and Op='DataGet'", "A||'/'||B||'/'||C||'/'||Txt"));
        // Alarm bits: a: 150 within 100..200, 0 is the normal level 0; b: 250 above 200, 1
        // differs from the normal level; c: failed poll, no alarm bits at all; io: 3 below 100 (point
        // 1) and below 5 (point 4). Flags 0, history in the first cycle, a snapshot id.
        EXPECT_EQ("0/0/1/snap 3/0/1/snap -1/0/1/snap 9/0/1/snap",
                  Calls(db, polls + " and Op='DataUpd'", "A||'/'||B||'/'||C||'/'||Txt"));

        h.Cycle();
        ASSERT_EQ(0, db.Exec("update tbSMDef set vref2=300 where Type=256 and Fld=1"));
        h.Cycle();
        // History every other cycle; the edited limit applies at once (250 is now within).
        EXPECT_EQ("3/1 3/0 2/1", Calls(db, "Op='DataUpd' and SID=12", "A||'/'||C"));
    }
    CSqliteDb live, hist;
    ASSERT_TRUE(live.Open(dir / "live.db"));
    EXPECT_EQ("FreeSMManager", std::string(live.QueryStr("select Op from tbFakeCalls order by Seq desc limit 1")));
    ASSERT_TRUE(hist.Open(dir / "hist/hist.db"));
    EXPECT_EQ(8, hist.QueryInt("select count(*) from tbFakeCalls where Op='Hist'"));
    EXPECT_EQ(2, hist.QueryInt("select count(*) from tbFakeCalls where Op='Hist' and B=13 and A=-1"));
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
    host::CHost h(cfg);
    EXPECT_FALSE(h.Start(FAKE_MODULE, err));
    EXPECT_NE(std::string::npos, err.find("[device.z] Type: 9999 has no driver")) << err;
}

// show of a definition driver's readings: text readings, readings under the definition's keys
// without the V of the Modbus family, a null reading, and the SID 0 row of a point.
TEST(Show, ReadingsUnderThePointNamesOfTheDefinition)
{
    e2e::TempDir dir;
    e2e::WriteFile(dir / "site.ini", "[host]\nLive = live.db\nRoot = root\n"
                                     "[device.ups]\nSID = 7\nType = 4096\nName = UPS\n");
    std::filesystem::create_directories(dir / "root/NandFlash/SM");
    e2e::WriteFile(dir / "root/NandFlash/SM/SM4096.def", "[comm]\nnote=x\n[flds]\ncnt=4\n1=model\n2=battv ; volts\n"
                                                          "3=alarms\n4=gone\n5=octets\n");
    host::HostCfg cfg;
    std::string err;
    ASSERT_TRUE(host::LoadHostConfig(dir / "site.ini", cfg, err)) << err;
    CSqliteDb db;
    ASSERT_TRUE(db.Open(cfg.live) && db.CreateHostTables());
    ASSERT_EQ(0, db.Exec("create table tbSnmpDat(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,Fld VARCHAR(64),"
                         "Val INTEGER,ValStr VARCHAR(128));"
                         "insert into tbSnmpDat(DID,SID,Fld,ValStr) values(0,7,'model','UPS ''10K''');"
                         "insert into tbSnmpDat(DID,SID,Fld,Val) values(0,7,'battv',2184),(0,7,'alarms',null),"
                         "(0,7,'octets',4294967295),"
                         "(5,7,'battv',1),(0,8,'battv',2);"  // a history row, another device
                         "insert into tbSMDef values(4096,0,1,'Model',1,'Model',0,1,0,0,'',0,'',0,NULL),"
                         "(4096,3,2,'BattV',1,'Wrong',0,1,0,0,'',0,'',0,NULL),"
                         "(4096,0,2,'BattV',1,'BattV',0,10,0,0,'',0,'',0,NULL),"
                         "(4096,0,3,'Alarms',1,'Alarms',0,1,0,0,'',0,'',0,NULL),"
                         "(4096,0,4,'Gone',1,'Gone',0,1,0,0,'',0,'',0,NULL),"
                         "(4096,0,5,'Octets',1,'Octets',0,1,0,0,'',0,'',0,NULL)"))
        << db.LastError();
    db.Close();
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    ASSERT_TRUE(host::Show(cfg, out, err)) << err;
    std::fclose(out);
    std::string shown(text, size);
    std::free(text);
    EXPECT_NE(std::string::npos,
              shown.find("  tbSnmpDat: model='UPS '10K'' battv=2184 alarms=NULL octets=4294967295\n"
                         "  Model 'UPS '10K'', BattV 218.4, Alarms NULL, Octets 4294967295\n"))
        << shown;
}

}  // namespace
