// qvsm-host with libqvsm.so polling the example UPS definition against snmpd answering from the
// example UPS-MIB configuration, on 127.0.0.1.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/e2e/TestUtil.h"
#include "tests/snmp/SnmpAgent.h"

namespace {

using SnmpPubHost = e2e::Harness;

TEST_F(SnmpPubHost, ExampleUpsDefinitionAgainstTheExampleAgent)
{
    SnmpAgent agent;
    ASSERT_TRUE(agent.Start(e2e::ReadFile(std::string(e2e::ExamplesDir()) + "/snmpd/ups.conf"))) << agent.Error();
    InstallDefs({"SM4096.def"});
    std::string site = Site("", "[device.ups]\nSID = 301\nType = 4096\nName = UPS\nConnText = snmp127.0.0.1:" +
                                    std::to_string(agent.Port()) + ":public\n");
    std::string out;
    ASSERT_EQ(Host({"-c", site, "--cycles", "2"}, out), 0) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("cycle 2: 1 ok, 0 failed"))) << out;

    auto val = [&](const std::string& fld) {
        return Str("select coalesce(Val,'null')||'|'||coalesce(ValStr,'null') from tbSnmpDat where SID=301 and DID=0 "
                   "and Fld='" + fld + "'");
    };
    EXPECT_EQ(Str("select Name||'/'||Iface from tbSMType where Type=4096"), "QV-UPSMIB/SNMP UPS");
    EXPECT_EQ(val("maker"), "null|QV Power Systems") << "a text reading with its backslash replaced";
    EXPECT_EQ(val("model"), "null|UPS-10K 3/3");
    EXPECT_EQ(val("runtime"), "48|null");
    EXPECT_EQ(val("battv"), "2184|null");
    EXPECT_EQ(val("in3_3"), "268|null");
    EXPECT_EQ(val("out2_5"), "45|null");
    EXPECT_EQ(val("in"), "0|null") << "the line index of the UPS-MIB tables is not readable";
    EXPECT_EQ(Int("select count(*) from tbSnmpDat where SID=301 and DID=0"), 21);
    EXPECT_EQ(Int("select count(*) from tbSMDef where Type=4096"), 15);
    // Input C at 268 V is above its limit of 264 V: the host's alarm bit reaches the brief.
    EXPECT_EQ(Brief(301), e2e::Gbk("后备48分钟 电量100% 电池27℃ 输入221V(正常) 219V(正常) 268V(告警) "
                                   "负载41%/45%/38% 输出正常; 告警:输入电压C"));
    EXPECT_EQ(State(301), 0);

    // One history row per cycle, each with its own readings.
    EXPECT_EQ(e2e::DbInt(hist, "select count(*) from tbSnmp where SID=301"), 2);
    int did = e2e::DbInt(hist, "select max(DID) from tbSnmp where SID=301");
    EXPECT_EQ(e2e::DbInt(hist, "select Val from tbSnmpDat where Fld='runtime' and DID=" + std::to_string(did)), 48);
    EXPECT_EQ(e2e::DbInt(hist, "select count(*) from tbSnmpDat where DID=" + std::to_string(did)), 21);
}

}  // namespace
