// CSMSnmpPub and the SNMP adapter against a real snmpd on 127.0.0.1, with SNMPv1 and SNMPv2c,
// writing into a test database; and polling a port where nothing answers.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <string>

#include "generic/SMGeneric.h"
#include "tests/kit/Kit.h"
#include "tests/snmp/SnmpAgent.h"

namespace {

// The agent: fixed scalars (texts with a backslash and quotes, GBK text, a control byte, a
// number made with snmpd's "override") and snmpd's own host-resources tables.
const char kRuntimeOid[] = "1.3.6.1.2.1.33.1.2.3.0";
const int kRuntime = 42;
const char kDescr[] = "Rack 'A' \\ UPS 1";
const char kName[] = "ups\\east \"2\"";
const char kHrStorage[] = "1.3.6.1.2.1.25.2.3.1";

std::string AgentConfig()
{
    return std::string("rocommunity public 127.0.0.1\nrocommunity quorum 127.0.0.1\nsysdescr ") + kDescr +
           "\nsysname " + kName + "\nsyslocation 机房\nsyscontact a\x01" "b\nsysservices 72\n"
           "sysobjectid 1.3.6.1.4.1.99999.1.2\noverride " + kRuntimeOid + " integer " + std::to_string(kRuntime) + "\n";
}

const char kLog[] = "/NandFlash/tmp/qvsm.log.ini";
const char kDef[] = "/NandFlash/SM/SM4096.def";

int OpenFds()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

// Loads the definition into d under root; the load's trace is swallowed.
void LoadDef(TempRoot& root, CSMSnmpPub& d, const std::string& def)
{
    root.Write(kDef, def);
    testing::internal::CaptureStdout();
    EXPECT_EQ(d.LoadDef(SMPath(kDef).c_str()), 1);
    testing::internal::GetCapturedStdout();
    root.Write(kLog, "");
}

class SnmpPubAgent : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite()
    {
        s_agent = new SnmpAgent;
        s_started = s_agent->Start(AgentConfig());
    }
    static void TearDownTestSuite()
    {
        delete s_agent;
        s_agent = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_started) << "the SNMP agent is needed for these tests: " << s_agent->Error();
        d.SetDb(&live, 0);
        item = MakeItem(12, 4096);
        std::snprintf(item.ConnText, sizeof item.ConnText, "xxxx127.0.0.1:%d%s", s_agent->Port(),
                      GetParam() == 0 ? ":public" : "");
        d.DoItem(&item, 0);
        d.ChkDb(&item);
    }
    // Loads the definition with the version under test and polls once.
    int Poll(const std::string& def)
    {
        LoadDef(root, d, "[comm]\nver=" + std::to_string(GetParam()) + "\n" + def);
        return d.DataGet(nullptr, 0, 0);
    }
    std::string Val(const std::string& key) { return d.Ini().GetValue(SEC_VALS, key, "<absent>"); }
    std::map<std::string, std::string> Vals()
    {
        std::map<std::string, std::string> m;
        for (auto it = d.Ini().beginKey(SEC_VALS); it != d.Ini().endKey(SEC_VALS); ++it) m[it->first] = it->second.value;
        return m;
    }

    static SnmpAgent* s_agent;
    static bool s_started;
    TempRoot root;
    TestDb live;
    CSMSnmpPub d{4096};
    tagSMItem item;
};

SnmpAgent* SnmpPubAgent::s_agent = nullptr;
bool SnmpPubAgent::s_started = false;

INSTANTIATE_TEST_SUITE_P(Versions, SnmpPubAgent, ::testing::Values(0, 1),
                         [](const testing::TestParamInfo<int>& i) { return i.param == 0 ? "v1" : "v2c"; });

TEST_P(SnmpPubAgent, ScalarsOfEverySyntaxAndTheirRowsInTheReadingsTable)
{
    ASSERT_EQ(Poll(std::string("[oids]\n1.3.6.1.2.1.1.1.0=descr\n1.3.6.1.2.1.1.5.0=name\n") + kRuntimeOid +
                   "=runtime\n1.3.6.1.4.1.99999.9.9.0=missing\n1.3.6.1.2.1.1.2.0=oid\n1.3.6.1.2.1.1.3.0=up\n"
                   "1.3.6.1.2.1.1.4.0=contact\n1.3.6.1.2.1.1.6.0=loc\n1.3.6.1.2.1.1.7.0=services\n"
                   "[vals.str]\ndescr=1\n[flds]\ncnt=1\n1=runtime\n"),
              1);
    EXPECT_EQ(Val("descr"), "Rack 'A'   UPS 1") << "a text reading has its backslash replaced";
    EXPECT_EQ(Val("name"), kName) << "a reading not marked as text is kept as it came";
    EXPECT_EQ(Val("missing"), "");
    EXPECT_EQ(Val("oid"), "1.3.6.1.4.1.99999.1.2");
    EXPECT_EQ(Val("contact"), "61 01 62") << "a control byte turns the string into hex bytes";
    EXPECT_EQ(Val("loc"), "机房") << "GBK text stays text";
    EXPECT_EQ(Val("services"), "72");
    // Time ticks as days and a clock of two-digit fields.
    std::string up = Val("up");
    unsigned days = 0, h = 0, mi = 0, sec = 0, cs = 0;
    int used = 0;
    ASSERT_EQ(std::sscanf(up.c_str(), "%u days, %2u:%2u:%2u.%2u%n", &days, &h, &mi, &sec, &cs, &used), 5) << up;
    EXPECT_EQ(up.size(), static_cast<size_t>(used)) << up;
    EXPECT_EQ(up.size() - 9, up.find(':')) << up;
    EXPECT_EQ(d.DataVal(1), kRuntime);
    std::string log = root.Read(kLog);
    EXPECT_NE(log.find("SNMP.dst=127.0.0.1  port=" + std::to_string(s_agent->Port()) + "  comm=" +
                       (GetParam() == 0 ? "public" : "quorum") + "  u=  p=\n"),
              std::string::npos);
    EXPECT_NE(log.find("SNMP.get val=42\n"), std::string::npos);

    ASSERT_EQ(d.DataDetail(&live, 12, 0), 0);
    EXPECT_EQ(live.Str("select ValStr from tbSnmpDat where Fld='descr'"), "Rack 'A'   UPS 1");
    EXPECT_EQ(live.Int("select Val is null and ValStr is null from tbSnmpDat where Fld='name'"), 1)
        << "text not marked as text goes to Val as null";
    EXPECT_EQ(live.Int("select Val from tbSnmpDat where Fld='runtime'"), kRuntime);
    EXPECT_EQ(live.Int("select Val is null from tbSnmpDat where Fld='missing'"), 1);
}

TEST_P(SnmpPubAgent, HostResourcesStorageWalkedWithEverySlot)
{
    std::string ext;
    for (int n = 1; n <= 32; ++n) ext += "hr." + std::to_string(n) + "=1\n";
    int fds = OpenFds();
    ASSERT_EQ(Poll(std::string("[oids]\n") + kHrStorage + "=hr:,1,3,4,5,6,\n[vals.str]\nhr.3=1\n[vals.ext]\n" + ext), 1);
    EXPECT_EQ(OpenFds(), fds) << "the poll closes its socket";
    int rows = std::atoi(Val("hr").c_str());
    ASSERT_GT(rows, 0) << "snmpd reports at least its memory";
    // Listed columns only, and nothing of the next table (hrDeviceTable).
    for (const auto& kv : Vals()) {
        const std::string& k = kv.first;
        size_t us = k.rfind('_');
        bool stat = k.compare(0, 3, "hr_") == 0 && std::strchr("axX", k.back());
        EXPECT_TRUE(k == "hr" || stat || (us != std::string::npos && std::strchr("13456", k[us + 1]) && k.size() == us + 2))
            << k;
    }
    EXPECT_NE(root.Read(kLog).find("SNMP bulk 2.1 = "), std::string::npos) << "unlisted cells are still logged";
    // Every row index seen in column 1; the statistics of each slot from the stored cells.
    int seen = 0;
    for (int row = 0; row < 200; ++row) {
        std::string r = "hr" + std::to_string(row) + "_", s = "hr_" + std::to_string(row + 1);
        if (Val(r + "1") == "<absent>") {
            if (row < 32) {
                EXPECT_EQ(Val(s + "a") + Val(s + "x") + Val(s + "X"), "000") << "absent row " << row;
            }
            continue;
        }
        ++seen;
        EXPECT_EQ(Val(r + "1"), std::to_string(row));
        EXPECT_NE(Val(r + "3"), "") << "the description, as text";
        if (row >= 32) continue;
        long long sum = 0, lo = row, hi = row;
        for (const char* c : {"1", "3", "4", "5", "6"}) {
            long long v = std::atoll(Val(r + c).c_str());  // the description counts as 0
            sum += v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        EXPECT_EQ(Val(s + "a"), std::to_string(sum / rows)) << row;
        EXPECT_EQ(Val(s + "x"), std::to_string(lo)) << row;
        EXPECT_EQ(Val(s + "X"), std::to_string(hi)) << row;
    }
    EXPECT_EQ(seen, rows);
    ASSERT_EQ(d.DataDetail(&live, 12, 0), 0);
    EXPECT_EQ(live.Int("select count(*) from tbSnmpDat where SID=12"), static_cast<int>(Vals().size()));
    EXPECT_EQ(live.Int("select count(*) from tbSnmpDat where ValStr is not null"), 0)
        << "cells are looked up under their own key (hr1_3), not hr.3";
}

// The request storage is kept between polls: a scalar after a walk, and every later poll, must
// read exactly what a fresh poll reads; a reload plans the new [oids] only.
TEST_P(SnmpPubAgent, RepeatedPollsReadTheSame)
{
    const std::string def = std::string("[oids]\n1.3.6.1.2.1.1.1.0=descr\n") + kHrStorage + "=hr:,1,3,\n" + kRuntimeOid +
                            "=runtime\n1.3.6.1.2.1.1.5.0=name\n[vals.str]\ndescr=1\nhr.3=1\n[vals.ext]\nhr.2=1\n";
    ASSERT_EQ(Poll(def), 1);
    auto first = Vals();
    EXPECT_EQ(first["runtime"], std::to_string(kRuntime)) << "the GET after a walk asks for its own object";
    EXPECT_EQ(first["descr"], "Rack 'A'   UPS 1");
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(d.DataGet(nullptr, 0, 0), 1);
        EXPECT_EQ(Vals(), first) << "poll " << i + 2;
    }
    ASSERT_EQ(Poll(std::string("[oids]\n") + kRuntimeOid + "=runtime\n"), 1);
    EXPECT_EQ(Vals(), (std::map<std::string, std::string>{{"runtime", std::to_string(kRuntime)}}));
}

TEST_P(SnmpPubAgent, NumbersFromOneGet)
{
    int status = -1;
    Snmp_pp::Snmp snmp(status, 0, false);
    ASSERT_EQ(status, SNMP_CLASS_SUCCESS);
    Snmp_pp::UdpAddress addr("127.0.0.1");
    addr.set_port(static_cast<unsigned short>(s_agent->Port()));
    Snmp_pp::CTarget target(addr);
    target.set_version(static_cast<Snmp_pp::snmp_version>(GetParam()));
    Snmp_pp::Pdu pdu;
    // A PDU still holding several bindings (as after a walk) asks for the one object only.
    pdu += Snmp_pp::Vb(Snmp_pp::Oid("1.3.6.1.4.1.99999.9.9.0"));
    pdu += Snmp_pp::Vb(Snmp_pp::Oid("1.3.6.1.2.1.1.5.0"));
    EXPECT_EQ(CSMSnmpPub::_oidGet(snmp, pdu, target, kRuntimeOid, 10), kRuntime);
    EXPECT_EQ(pdu.get_vb_count(), 1);
    EXPECT_EQ(CSMSnmpPub::_oidGet(snmp, pdu, target, kRuntimeOid, 16), 0x42);
    EXPECT_EQ(CSMSnmpPub::_oidGet(snmp, pdu, target, "1.3.6.1.2.1.1.5.0", 10), 0) << "text";
    EXPECT_EQ(CSMSnmpPub::_oidGet(snmp, pdu, target, "1.3.6.1.4.1.99999.9.9.0", 10), 0) << "no such object";
    EXPECT_EQ(CSMSnmpPub::_oidGetStr(snmp, pdu, target, "1.3.6.1.2.1.1.1.0"), kDescr);
    EXPECT_EQ(CSMSnmpPub::_oidGetStr(snmp, pdu, target, "not.an.oid"), "");
}

TEST_P(SnmpPubAgent, AdapterBulkRepetitionsAndTheEndOfTheView)
{
    using namespace Snmp_pp;
    int status = -1;
    Snmp snmp(status, 0, false);
    ASSERT_EQ(status, SNMP_CLASS_SUCCESS);
    UdpAddress addr("127.0.0.1");
    addr.set_port(static_cast<unsigned short>(s_agent->Port()));
    CTarget t(addr);
    t.set_version(static_cast<snmp_version>(GetParam()));
    const bool v1 = GetParam() == 0;
    Pdu ten;
    ten += Vb(Oid(kHrStorage));
    ASSERT_EQ(SNMP_CLASS_SUCCESS, snmp.get_bulk(ten, t, 0, 10));
    EXPECT_EQ(v1 ? 1 : 10, ten.get_vb_count()) << "ten repetitions; SNMPv1 has one GET-NEXT";
    // Past the last object: v2c marks the bindings, v1 answers noSuchName.
    Pdu end;
    end += Vb(Oid("1.4"));
    EXPECT_EQ(v1 ? SNMP_ERROR_NO_SUCH_NAME : SNMP_CLASS_SUCCESS, snmp.get_bulk(end, t, 0, 10));
    if (!v1) {
        EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_ENDOFMIBVIEW, end[0].get_syntax());
    }
}

TEST(SnmpPubSilentAgent, OneTimeOutFailsThePoll)
{
    TempRoot root;
    CSMSnmpPub d(4096);
    LoadDef(root, d, std::string("[comm]\nver=1\n[oids]\n") + kRuntimeOid + "=runtime\n" + kHrStorage +
                         "=hr:,2,\n[vals.ext]\nhr.1=1\n[flds]\ncnt=1\n1=runtime\n");
    TestDb live;
    d.SetDb(&live, 0);
    tagSMItem item = MakeItem(13, 4096);
    std::snprintf(item.ConnText, sizeof item.ConnText, "xxxx127.0.0.1:%d", SnmpAgent::FreeUdpPort());
    d.DoItem(&item, 0);
    d.ChkDb(&item);

    // A walk first, then a GET: the walk's first request decides.
    for (const char* order : {"walk", "get"}) {
        SCOPED_TRACE(order);
        if (std::string(order) == "walk")
            LoadDef(root, d, std::string("[comm]\nver=1\n[oids]\n") + kHrStorage + "=hr:,2,\n" + kRuntimeOid +
                                 "=runtime\n[flds]\ncnt=1\n1=runtime\n");
        else
            LoadDef(root, d, std::string("[comm]\nver=1\n[oids]\n") + kRuntimeOid + "=runtime\n" + kHrStorage +
                                 "=hr:,2,\n[vals.ext]\nhr.1=1\n[flds]\ncnt=1\n1=runtime\n");
        d.Ini().SetValue(SEC_VALS, "old", 1);
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(d.DataGet(nullptr, 0, 0), 0);
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_GE(s, 1.8) << "one request: 1 s and one retry";
        EXPECT_LT(s, 3.5) << "the second request is not sent";
        EXPECT_EQ(d.Ini().GetValue(SEC_VALS, "runtime", "<absent>"), "<absent>");
        EXPECT_FALSE(d.Ini().HasKey(SEC_VALS, "hr"));
        EXPECT_FALSE(d.Ini().HasKey(SEC_VALS, "old"));
        EXPECT_NE(root.Read(kLog).find("no answer to the first request"), std::string::npos);
    }

    // The host records a failed poll as state 2.
    EXPECT_EQ(d.DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(live.Int("select State from tbSnmp where SID=13"), 2);
}

}  // namespace
