// SNMP manager classes against a real net-snmp agent on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "generic/snmp/snmp_pp.h"
#include "tests/snmp/SnmpAgent.h"

using namespace Snmp_pp;

namespace {

const char* const kSysDescr = "1.3.6.1.2.1.1.1.0";
const char* const kSysObjectId = "1.3.6.1.2.1.1.2.0";
const char* const kSysUpTime = "1.3.6.1.2.1.1.3.0";
const char* const kSysContact = "1.3.6.1.2.1.1.4.0";
const char* const kSysName = "1.3.6.1.2.1.1.5.0";
const char* const kSysLocation = "1.3.6.1.2.1.1.6.0";
const char* const kSysServices = "1.3.6.1.2.1.1.7.0";
const char* const kHrSystemUptime = "1.3.6.1.2.1.25.1.1.0";
const char* const kHrStorageEntry = "1.3.6.1.2.1.25.2.3.1";

// Texts with a backslash and quotes, GBK text, and a control byte.
const char* const kDescr = "Rack \"A\" \\ UPS 1";
const char* const kName = "host\\name \"q\"";
const char* const kLocation = "机房";

std::string AgentConfig()
{
    return std::string("rocommunity public 127.0.0.1\n"
                       "rocommunity quorum 127.0.0.1\n"
                       "sysdescr ") + kDescr + "\n" +
           "sysname " + kName + "\n" +
           "syslocation " + kLocation + "\n" +
           "syscontact a\x01" "b\n"
           "sysservices 72\n"
           "sysobjectid 1.3.6.1.4.1.99999.1.2\n";
}

int OpenFds()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Cell {
    std::string oid;
    SmiUINT32 syntax;
    std::string text;
};

// One table walk the way the drivers do it: repeat GET-BULK from the last binding until a
// binding leaves the base or the view ends. batches receives the size of every answer.
int Walk(Snmp& snmp, const CTarget& target, const char* base, int reps, std::vector<Cell>& cells,
         std::vector<int>& batches, bool& complete)
{
    Oid baseOid(base);
    Pdu pdu;
    pdu += Vb(baseOid);
    complete = false;
    int status = SNMP_CLASS_SUCCESS;
    for (int guard = 0; guard < 1000 && !complete; ++guard) {
        status = snmp.get_bulk(pdu, target, 0, reps);
        if (status != SNMP_CLASS_SUCCESS)
            return status;
        batches.push_back(pdu.get_vb_count());
        Vb vb;
        for (int i = 0; i < pdu.get_vb_count() && !complete; ++i) {
            pdu.get_vb(vb, i);
            if (vb.get_oid().nCompare(baseOid.len(), baseOid) != 0 ||
                vb.get_syntax() == sNMP_SYNTAX_ENDOFMIBVIEW) {
                complete = true;
                break;
            }
            cells.push_back({vb.get_printable_oid(), vb.get_syntax(), vb.get_printable_value()});
        }
        if (pdu.get_vb_count() == 0)
            break;
        pdu.set_vblist(&vb, 1);
    }
    return status;
}

class SnmpAgentTest : public ::testing::Test {
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
        int status = -99;
        m_snmp = std::make_unique<Snmp>(status, 0, false);
        ASSERT_EQ(SNMP_CLASS_SUCCESS, status);
    }

    static CTarget Target(snmp_version v, const char* community = "public")
    {
        UdpAddress addr("127.0.0.1");
        addr.set_port((unsigned short)s_agent->Port());
        CTarget t(addr);
        t.set_version(v);
        t.set_readcommunity(community);
        return t;
    }

    static SnmpAgent* s_agent;
    static bool s_started;
    std::unique_ptr<Snmp> m_snmp;
};

SnmpAgent* SnmpAgentTest::s_agent = nullptr;
bool SnmpAgentTest::s_started = false;

TEST_F(SnmpAgentTest, GetsScalarsWithBothVersions)
{
    for (snmp_version v : {version1, version2c}) {
        SCOPED_TRACE(v == version1 ? "v1" : "v2c");
        Pdu pdu;
        for (const char* o : {kSysDescr, kSysName, kSysServices, kSysObjectId, kSysLocation, kSysContact})
            pdu += Vb(Oid(o));
        CTarget t = Target(v, v == version1 ? "public" : "quorum");
        ASSERT_EQ(SNMP_CLASS_SUCCESS, m_snmp->get(pdu, t));
        ASSERT_EQ(6, pdu.get_vb_count());
        EXPECT_EQ(0, pdu.get_error_status());

        Vb vb;
        pdu.get_vb(vb, 0);
        EXPECT_STREQ(kSysDescr, vb.get_printable_oid());
        EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_OCTETS, vb.get_syntax());
        EXPECT_STREQ(kDescr, vb.get_printable_value());
        int i = -5;
        EXPECT_NE(SNMP_CLASS_SUCCESS, vb.get_value(i));
        EXPECT_EQ(-5, i);

        EXPECT_STREQ(kName, pdu[1].get_printable_value());
        EXPECT_STREQ(kSysName, pdu[1].get_printable_oid());

        EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_INT32, pdu[2].get_syntax());
        EXPECT_STREQ("72", pdu[2].get_printable_value());
        ASSERT_EQ(SNMP_CLASS_SUCCESS, pdu[2].get_value(i));
        EXPECT_EQ(72, i);

        EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_OID, pdu[3].get_syntax());
        EXPECT_STREQ("1.3.6.1.4.1.99999.1.2", pdu[3].get_printable_value());
        EXPECT_NE(SNMP_CLASS_SUCCESS, pdu[3].get_value(i));

        // GBK text stays text; a control byte turns the string into hex bytes.
        EXPECT_STREQ(kLocation, pdu[4].get_printable_value());
        EXPECT_STREQ("61 01 62", pdu[5].get_printable_value());
    }
}

TEST_F(SnmpAgentTest, OneBindingReusedForEveryGet)
{
    // The drivers' pattern: one PDU, its first binding re-pointed before every GET.
    int fdsBefore = OpenFds();
    {
        int status = -1;
        Snmp snmp(status, 0, false);
        ASSERT_EQ(SNMP_CLASS_SUCCESS, status);
        CTarget t = Target(version1);
        t.set_timeout(20);
        t.set_retry(0);
        Pdu pdu;
        pdu += Vb(Oid(kSysDescr));
        const char* oids[] = {kSysName, kSysServices, kSysDescr};
        const char* want[] = {kName, "72", kDescr};
        for (int k = 0; k < 3; ++k) {
            pdu[0].set_oid(Oid(oids[k]));
            ASSERT_EQ(SNMP_CLASS_SUCCESS, snmp.get(pdu, t)) << oids[k];
            ASSERT_EQ(1, pdu.get_vb_count());
            Vb vb;
            ASSERT_TRUE(pdu.get_vb(vb, 0));
            EXPECT_STREQ(oids[k], vb.get_printable_oid());
            EXPECT_STREQ(want[k], vb.get_printable_value());
        }

        // Targets that differ in the community only, or in the version only.
        CTarget wrong = t;
        wrong.set_readcommunity("nobody");
        pdu[0].set_oid(Oid(kSysServices));
        EXPECT_EQ(SNMP_CLASS_TIMEOUT, snmp.get(pdu, wrong));
        EXPECT_EQ(SNMP_CLASS_SUCCESS, snmp.get(pdu, t));
        EXPECT_STREQ("72", pdu[0].get_printable_value());
        CTarget v2 = t;
        v2.set_version(version2c);
        pdu[0].set_oid(Oid("1.3.6.1.2.1.1.99.0"));
        EXPECT_EQ(SNMP_CLASS_SUCCESS, snmp.get(pdu, v2));
        EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_NOSUCHOBJECT, pdu[0].get_syntax());
        EXPECT_EQ(SNMP_ERROR_NO_SUCH_NAME, snmp.get(pdu, t));
    }
    // Every socket is closed with the Snmp object.
    EXPECT_EQ(fdsBefore, OpenFds());
}

TEST_F(SnmpAgentTest, MissingObjectsPerVersion)
{
    // SNMPv1: the agent answers with the error status noSuchName and the binding's index.
    Pdu pdu;
    pdu += Vb(Oid(kSysDescr));
    pdu += Vb(Oid("1.3.6.1.2.1.1.99.0"));
    CTarget v1 = Target(version1);
    EXPECT_EQ(SNMP_ERROR_NO_SUCH_NAME, m_snmp->get(pdu, v1));
    EXPECT_EQ(SNMP_ERROR_NO_SUCH_NAME, pdu.get_error_status());
    EXPECT_EQ(2, pdu.get_error_index());
    EXPECT_STREQ(Snmp::error_msg(SNMP_ERROR_NO_SUCH_NAME), Snmp::error_msg(pdu.get_error_status()));

    // SNMPv2c: success, the binding carries the exception and prints empty.
    Pdu pdu2;
    pdu2 += Vb(Oid("1.3.6.1.2.1.1.99.0"));
    pdu2 += Vb(Oid("1.3.6.1.2.1.1.1.5"));
    pdu2 += Vb(Oid(kSysServices));
    CTarget v2 = Target(version2c);
    ASSERT_EQ(SNMP_CLASS_SUCCESS, m_snmp->get(pdu2, v2));
    ASSERT_EQ(3, pdu2.get_vb_count());
    EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_NOSUCHOBJECT, pdu2[0].get_syntax());
    EXPECT_STREQ("", pdu2[0].get_printable_value());
    EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_NOSUCHINSTANCE, pdu2[1].get_syntax());
    EXPECT_STREQ("", pdu2[1].get_printable_value());
    int i = 3;
    EXPECT_NE(SNMP_CLASS_SUCCESS, pdu2[1].get_value(i));
    EXPECT_EQ(3, i);
    EXPECT_STREQ("72", pdu2[2].get_printable_value());
}

TEST_F(SnmpAgentTest, TimeTicksPrintAsDaysAndClock)
{
    Pdu pdu;
    pdu += Vb(Oid(kSysUpTime));
    pdu += Vb(Oid(kHrSystemUptime));
    CTarget t = Target(version2c);
    ASSERT_EQ(SNMP_CLASS_SUCCESS, m_snmp->get(pdu, t));
    ASSERT_EQ(2, pdu.get_vb_count());
    for (int k = 0; k < 2; ++k) {
        const Vb& vb = pdu[k];
        EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_TIMETICKS, vb.get_syntax());
        std::string text = vb.get_printable_value();
        unsigned long days = 0, h = 0, mi = 0, s = 0, cs = 0;
        int used = 0;
        ASSERT_EQ(5, sscanf(text.c_str(), "%lu days, %2lu:%2lu:%2lu.%2lu%n", &days, &h, &mi, &s, &cs,
                            &used)) << text;
        EXPECT_EQ(text.size(), (size_t)used) << text;
        // Two digits for every clock field.
        EXPECT_EQ(text.size() - 9, text.find(':')) << text;
        unsigned long ticks = 0;
        ASSERT_EQ(SNMP_CLASS_SUCCESS, vb.get_value(ticks));
        EXPECT_LT(h, 24u);
        EXPECT_LT(mi, 60u);
        EXPECT_LT(s, 60u);
        EXPECT_EQ(ticks, (((days * 24 + h) * 60 + mi) * 60 + s) * 100 + cs) << text;
        int asInt = -1;
        ASSERT_EQ(SNMP_CLASS_SUCCESS, vb.get_value(asInt));
        EXPECT_EQ((long)ticks, (long)asInt);
    }
}

TEST_F(SnmpAgentTest, BulkWalkOfTheStorageTable)
{
    std::vector<Cell> cells;
    std::vector<int> batches;
    bool complete = false;
    CTarget t = Target(version2c, "quorum");
    ASSERT_EQ(SNMP_CLASS_SUCCESS, Walk(*m_snmp, t, kHrStorageEntry, 10, cells, batches, complete));
    EXPECT_TRUE(complete) << "the walk must end at the first object after the table";
    ASSERT_GE(batches.size(), 2u);
    EXPECT_EQ(10, batches[0]);
    for (int b : batches)
        EXPECT_LE(b, 10);

    Oid base(kHrStorageEntry);
    std::map<unsigned long, size_t> perColumn;
    bool physical = false;
    for (size_t k = 0; k < cells.size(); ++k) {
        Oid o(cells[k].oid.c_str());
        ASSERT_EQ(base.len() + 2, o.len()) << cells[k].oid;
        if (k > 0) {
            EXPECT_TRUE(Oid(cells[k - 1].oid.c_str()) < o) << cells[k].oid;
        }
        unsigned long col = o[base.len()];
        unsigned long row = o[base.len() + 1];
        ++perColumn[col];
        if (col == 1) {
            // hrStorageIndex holds the row's own index.
            EXPECT_EQ(std::to_string(row), cells[k].text);
            EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_INT32, cells[k].syntax);
        } else if (col == 2) {
            EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_OID, cells[k].syntax);
            EXPECT_EQ(0u, cells[k].text.rfind("1.3.6.1.2.1.25.2.1.", 0)) << cells[k].text;
        } else if (col == 3) {
            physical = physical || cells[k].text == "Physical memory";
        } else if (col >= 4 && col <= 6) {
            EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_INT32, cells[k].syntax);
        }
    }
    EXPECT_TRUE(physical);
    // Index, type, description, unit, size and used for every row, nothing else missing.
    size_t rows = perColumn[1];
    EXPECT_GE(rows, 2u);
    for (unsigned long col = 1; col <= 6; ++col)
        EXPECT_EQ(rows, perColumn[col]) << "column " << col;
    size_t total = 0;
    for (const auto& pc : perColumn)
        total += pc.second;
    EXPECT_EQ(total, cells.size());
}

TEST_F(SnmpAgentTest, Version1BulkIsOneGetNextPerBinding)
{
    std::vector<Cell> v1Cells, v2Cells;
    std::vector<int> v1Batches, v2Batches;
    bool complete = false;
    ASSERT_EQ(SNMP_CLASS_SUCCESS,
              Walk(*m_snmp, Target(version1), kHrStorageEntry, 10, v1Cells, v1Batches, complete));
    EXPECT_TRUE(complete);
    for (int b : v1Batches)
        EXPECT_EQ(1, b);
    ASSERT_EQ(SNMP_CLASS_SUCCESS,
              Walk(*m_snmp, Target(version2c), kHrStorageEntry, 10, v2Cells, v2Batches, complete));
    ASSERT_EQ(v2Cells.size(), v1Cells.size());
    EXPECT_LT(v2Batches.size(), v1Batches.size());
    for (size_t k = 0; k < v1Cells.size(); ++k) {
        EXPECT_EQ(v2Cells[k].oid, v1Cells[k].oid);
        EXPECT_EQ(v2Cells[k].syntax, v1Cells[k].syntax);
    }
}

TEST_F(SnmpAgentTest, BulkWithNonRepeatersAndAtTheEndOfTheView)
{
    // One non-repeater (the object after sysDescr's column) and three repetitions of the
    // storage index column.
    Pdu pdu;
    pdu += Vb(Oid("1.3.6.1.2.1.1.1"));
    pdu += Vb(Oid("1.3.6.1.2.1.25.2.3.1.1"));
    CTarget v2 = Target(version2c);
    ASSERT_EQ(SNMP_CLASS_SUCCESS, m_snmp->get_bulk(pdu, v2, 1, 3));
    ASSERT_EQ(4, pdu.get_vb_count());
    EXPECT_STREQ(kSysDescr, pdu[0].get_printable_oid());
    EXPECT_STREQ(kDescr, pdu[0].get_printable_value());
    for (int k = 1; k < 4; ++k) {
        Oid o = pdu[k].get_oid();
        EXPECT_EQ(0, o.nCompare(11, Oid("1.3.6.1.2.1.25.2.3.1.1"))) << o.get_printable();
        EXPECT_EQ(12u, o.len());
    }
    EXPECT_TRUE(pdu[1].get_oid() < pdu[2].get_oid());

    // Past the last object: v2c marks the bindings, v1 answers noSuchName.
    Pdu end;
    end += Vb(Oid("1.4"));
    ASSERT_EQ(SNMP_CLASS_SUCCESS, m_snmp->get_bulk(end, v2, 0, 10));
    ASSERT_GE(end.get_vb_count(), 1);
    EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_ENDOFMIBVIEW, end[0].get_syntax());
    EXPECT_STREQ("", end[0].get_printable_value());
    Pdu end1;
    end1 += Vb(Oid("1.4"));
    EXPECT_EQ(SNMP_ERROR_NO_SUCH_NAME, m_snmp->get_bulk(end1, Target(version1), 0, 10));
    EXPECT_EQ(SNMP_ERROR_NO_SUCH_NAME, m_snmp->get_next(end1, Target(version1)));
}

TEST_F(SnmpAgentTest, WrongCommunityTimesOutAfterTheTriesAsked)
{
    for (snmp_version v : {version1, version2c}) {
        CTarget t = Target(v, "wrong");
        t.set_timeout(20);
        t.set_retry(2);
        Pdu pdu;
        pdu += Vb(Oid(kSysDescr));
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(SNMP_CLASS_TIMEOUT, m_snmp->get(pdu, t));
        double took = Seconds(start);
        // Three tries of 0.2 s.
        EXPECT_GE(took, 0.55);
        EXPECT_LT(took, 1.5);
        // The request's binding is left as it was.
        ASSERT_EQ(1, pdu.get_vb_count());
        EXPECT_STREQ(kSysDescr, pdu[0].get_printable_oid());
        EXPECT_STREQ("", pdu[0].get_printable_value());

        t.set_retry(0);
        start = std::chrono::steady_clock::now();
        EXPECT_EQ(SNMP_CLASS_TIMEOUT, m_snmp->get_bulk(pdu, t, 0, 10));
        took = Seconds(start);
        EXPECT_GE(took, 0.18);
        EXPECT_LT(took, 0.55);
    }
}

TEST_F(SnmpAgentTest, SilentPortWithTheDefaultTimeOut)
{
    // No agent on this port: one second per try and one retry.
    UdpAddress addr("127.0.0.1");
    addr.set_port((unsigned short)SnmpAgent::FreeUdpPort());
    CTarget t(addr);
    t.set_version(version2c);
    Pdu pdu;
    pdu += Vb(Oid(kSysDescr));
    auto start = std::chrono::steady_clock::now();
    int status = m_snmp->get(pdu, t);
    double took = Seconds(start);
    EXPECT_EQ(SNMP_CLASS_TIMEOUT, status) << Snmp::error_msg(status);
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 3.5);
    // The agent that does answer is still reachable through the same object.
    CTarget ok = Target(version1);
    EXPECT_EQ(SNMP_CLASS_SUCCESS, m_snmp->get(pdu, ok));
}

TEST(SnmpAgentHelper, FailsClearlyWithoutTheDaemon)
{
    setenv("QVSM_SNMPD", "/nonexistent/snmpd", 1);
    SnmpAgent agent;
    EXPECT_FALSE(agent.Start("rocommunity public 127.0.0.1\n"));
    EXPECT_NE(std::string::npos, agent.Error().find("snmpd")) << agent.Error();
    EXPECT_FALSE(agent.Running());
    unsetenv("QVSM_SNMPD");
}

}  // namespace
