// qvsm-host with libqvsm.so polling two devices of one SNMP definition: one served by a real
// snmpd on 127.0.0.1, one on a port where nothing answers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <regex>
#include <string>
#include <vector>

#include "host/SqliteDb.h"
#include "tests/e2e-snmp/AgentConfig.h"
#include "tests/e2e/TestUtil.h"
#include "tests/snmp/SnmpAgent.h"

using namespace std::chrono;
using namespace snmptest;

namespace {

std::string Definition()
{
    return std::string("[comm]\nnote=SNMP UPS\nmodel=QV-SNMPUPS\nver=1\n"
                       "brief=Runtime %1%min Bat2 %2%V %2st%\n"
                       "[oids]\n1.3.6.1.2.1.1.1.0=descr\n1.3.6.1.2.1.1.5.0=name\n") +
           kRuntimeOid + "=runtime\n" + kBat + "=bat:,2,4,\n" +
           "[vals.str]\ndescr=1\nbat.4=1\n[vals.ext]\nbat.2=1\n"
           "[flds]\ncnt=2\n1=runtime\n2=bat2_2\n"
           "[flds.def]\n1='Runtime',1,'Runtime',0,1,11,10,'',0,''\n2='Bat2',1,'Bat2',0,1,7,0,'',220,''\n";
}

class SnmpPubHost : public ::testing::Test {
protected:
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
    e2e::TempDir dir;
};

TEST_F(SnmpPubHost, AgentAndSilentPortThroughTheHost)
{
    SnmpAgent agent;
    ASSERT_TRUE(agent.Start(AgentConfig())) << agent.Error();
    int silent = SnmpAgent::FreeUdpPort();
    ASSERT_GT(silent, 0);

    mkdir((dir / "root").c_str(), 0755);
    mkdir((dir / "root/NandFlash").c_str(), 0755);
    mkdir((dir / "root/NandFlash/SM").c_str(), 0755);
    e2e::WriteFile(dir / "root/NandFlash/SM/SM4096.def", Definition());
    std::string site = dir / "site.ini";
    e2e::WriteFile(site, "[host]\nLive = live.db\nHistory = hist.db\nRoot = root\nInterval = 0\n"
                         "[device.ups]\nSID = 201\nType = 4096\nName = UPS\nConnText = xxxx127.0.0.1:" +
                             std::to_string(agent.Port()) + ":public\n"
                             "[device.mute]\nSID = 202\nType = 4096\nName = mute\nConnText = xxxx127.0.0.1:" +
                             std::to_string(silent) + "\n");

    std::string out;
    ASSERT_EQ(e2e::Run({HOST_BIN, "-c", site, "--cycles", "1", "--module", MODULE_SO}, out, seconds(90)), 0) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("cycle 1: 2 ok, 0 failed"))) << out;

    std::string live = dir / "live.db", hist = dir / "hist.db";
    EXPECT_EQ(Str(live, "select Name||'/'||Iface from tbSMType where Type=4096"), "QV-SNMPUPS/SNMP UPS");
    auto val = [&](int sid, const std::string& fld) {
        return Str(live, "select coalesce(Val,'null')||'|'||coalesce(ValStr,'null') from tbSnmpDat where DID=0 and SID=" +
                             std::to_string(sid) + " and Fld='" + fld + "'");
    };
    EXPECT_EQ(val(201, "descr"), "null|Rack 'A'   UPS 1");
    EXPECT_EQ(val(201, "name"), "null|null") << "text not marked as text";
    EXPECT_EQ(val(201, "runtime"), "42|null");
    EXPECT_EQ(val(201, "bat"), "4|null");
    EXPECT_EQ(val(201, "bat2_2"), "225|null");
    EXPECT_EQ(val(201, "bat1_4"), "null|null") << "table cells are looked up under their own key";
    EXPECT_EQ(val(201, "bat_2a"), std::to_string(kVolt[0] / 4) + "|null") << "230 and the name (0) over 4 rows";
    EXPECT_EQ(val(201, "bat_2x"), "0|null");
    EXPECT_EQ(val(201, "bat_2X"), "230|null");
    EXPECT_EQ(Int(live, "select count(*) from tbSnmpDat where SID=201"), 15);

    // Point 2 (225 V) is above its upper limit 220: the host's alarm bit reaches the brief.
    EXPECT_EQ(Str(live, "select Brief from tbSMBrief where SID=201"),
              "Runtime 42min Bat2 225V " + e2e::Gbk("(告警)") + "; " + e2e::Gbk("告警:") + "Bat2");
    EXPECT_EQ(Int(live, "select State from tbSnmp where SID=201"), 0);
    EXPECT_EQ(Int(live, "select State from tbSubSysDetail where sid=201 and Fld=0"), 0);

    // Nothing answered: every reading is null, no row counter, and the poll counted as done.
    EXPECT_EQ(Int(live, "select count(*) from tbSnmpDat where SID=202"), 3);
    EXPECT_EQ(Int(live, "select count(*) from tbSnmpDat where SID=202 and Val is null and ValStr is null"), 3);
    EXPECT_EQ(Int(live, "select State from tbSnmp where SID=202"), 0);
    // DataVal answers -1 for the empty runtime, which is below its lower limit 10.
    EXPECT_EQ(Str(live, "select Brief from tbSMBrief where SID=202"),
              "Runtime min Bat2 V " + e2e::Gbk("(正常)") + "; " + e2e::Gbk("告警:") + "Runtime");

    int did = Int(hist, "select DID from tbSnmp where SID=201");
    ASSERT_GT(did, 0);
    EXPECT_EQ(Int(hist, "select Val from tbSnmpDat where Fld='runtime' and DID=" + std::to_string(did)), kRuntime);
    EXPECT_EQ(Int(hist, "select count(*) from tbSnmpDat where DID=" + std::to_string(did)), 15);
}

TEST_F(SnmpPubHost, ExampleUpsDefinitionAgainstTheExampleAgent)
{
    SnmpAgent agent;
    ASSERT_TRUE(agent.Start(e2e::ReadFile(EXAMPLES_DIR "/snmpd/ups.conf"))) << agent.Error();
    std::string def = e2e::ReadFile(EXAMPLES_DIR "/definitions/SM4096.def");
    ASSERT_FALSE(def.empty());

    mkdir((dir / "root").c_str(), 0755);
    mkdir((dir / "root/NandFlash").c_str(), 0755);
    mkdir((dir / "root/NandFlash/SM").c_str(), 0755);
    e2e::WriteFile(dir / "root/NandFlash/SM/SM4096.def", def);
    std::string site = dir / "site.ini";
    e2e::WriteFile(site, "[host]\nLive = live.db\nRoot = root\nInterval = 0\n"
                         "[device.ups]\nSID = 301\nType = 4096\nName = UPS\nConnText = snmp127.0.0.1:" +
                             std::to_string(agent.Port()) + ":public\n");
    std::string out;
    ASSERT_EQ(e2e::Run({HOST_BIN, "-c", site, "--cycles", "2", "--module", MODULE_SO}, out, seconds(60)), 0) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("cycle 2: 1 ok, 0 failed"))) << out;

    std::string live = dir / "live.db";
    auto val = [&](const std::string& fld) {
        return Str(live, "select coalesce(Val,'null')||'|'||coalesce(ValStr,'null') from tbSnmpDat where SID=301 and "
                         "Fld='" + fld + "'");
    };
    EXPECT_EQ(val("maker"), "null|QV Power Systems");
    EXPECT_EQ(val("model"), "null|UPS-10K 3/3");
    EXPECT_EQ(val("runtime"), "48|null");
    EXPECT_EQ(val("battv"), "2184|null");
    EXPECT_EQ(val("in3_3"), "268|null");
    EXPECT_EQ(val("out2_5"), "45|null");
    EXPECT_EQ(val("out3_2"), "221|null");
    EXPECT_EQ(val("in"), "0|null") << "the line index of the UPS-MIB tables is not readable";
    EXPECT_EQ(Int(live, "select count(*) from tbSnmpDat where SID=301"), 21);
    EXPECT_EQ(Int(live, "select count(*) from tbSMDef where Type=4096"), 15);
    // Input C at 268 V is above its limit of 264 V.
    EXPECT_EQ(Str(live, "select Brief from tbSMBrief where SID=301"),
              e2e::Gbk("后备48分钟 电量100% 电池27℃ 输入221V(正常) 219V(正常) 268V(告警) 负载41%/45%/38% 输出正常; "
                       "告警:输入电压C"));
}

}  // namespace
