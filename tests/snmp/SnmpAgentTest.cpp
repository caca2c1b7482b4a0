// SNMP manager classes against a real net-snmp agent on 127.0.0.1: what the value forms and
// requests look like on the wire. The drivers' own use of them is covered by the driver suites.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "generic/snmp/snmp_pp.h"
#include "tests/snmp/SnmpAgent.h"

using namespace Snmp_pp;

namespace {

const char* const kSysDescr = "1.3.6.1.2.1.1.1.0";
const char* const kHrStorageIndex = "1.3.6.1.2.1.25.2.3.1.1";
const char* const kDescr = "Rack \"A\" \\ UPS 1";
const char* const kLocation = "机房";

class SnmpAgentTest : public ::testing::TestWithParam<snmp_version> {
protected:
    static void SetUpTestSuite()
    {
        s_agent = new SnmpAgent;
        s_started = s_agent->Start(std::string("rocommunity public 127.0.0.1\nsysdescr ") + kDescr +
                                   "\nsyslocation " + kLocation +
                                   "\nsyscontact a\x01"
                                   "b\nsysservices 72\nsysobjectid 1.3.6.1.4.1.99999.1.2\n");
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
        snmp = std::make_unique<Snmp>(status, 0, false);
        ASSERT_EQ(SNMP_CLASS_SUCCESS, status);
    }
    static CTarget Target(const char* community = "public")
    {
        UdpAddress addr("127.0.0.1");
        addr.set_port(static_cast<unsigned short>(s_agent->Port()));
        CTarget t(addr);
        t.set_version(GetParam());
        t.set_readcommunity(community);
        return t;
    }

    static SnmpAgent* s_agent;
    static bool s_started;
    std::unique_ptr<Snmp> snmp;
};

SnmpAgent* SnmpAgentTest::s_agent = nullptr;
bool SnmpAgentTest::s_started = false;

INSTANTIATE_TEST_SUITE_P(Versions, SnmpAgentTest, ::testing::Values(version1, version2c),
                         [](const testing::TestParamInfo<snmp_version>& i) { return i.param == version1 ? "v1" : "v2c"; });

TEST_P(SnmpAgentTest, PrintableFormsOfEachSyntax)
{
    Pdu pdu;
    for (const char* o : {kSysDescr, "1.3.6.1.2.1.1.7.0", "1.3.6.1.2.1.1.2.0", "1.3.6.1.2.1.1.6.0",
                          "1.3.6.1.2.1.1.4.0", "1.3.6.1.2.1.1.3.0"})
        pdu += Vb(Oid(o));
    CTarget t = Target();
    ASSERT_EQ(SNMP_CLASS_SUCCESS, snmp->get(pdu, t));
    ASSERT_EQ(6, pdu.get_vb_count());
    EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_OCTETS, pdu[0].get_syntax());
    EXPECT_STREQ(kDescr, pdu[0].get_printable_value());
    int i = -5;
    EXPECT_NE(SNMP_CLASS_SUCCESS, pdu[0].get_value(i)) << "text has no number";
    EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_INT32, pdu[1].get_syntax());
    ASSERT_EQ(SNMP_CLASS_SUCCESS, pdu[1].get_value(i));
    EXPECT_EQ(72, i);
    EXPECT_STREQ("1.3.6.1.4.1.99999.1.2", pdu[2].get_printable_value());
    EXPECT_STREQ(kLocation, pdu[3].get_printable_value()) << "GBK text stays text";
    EXPECT_STREQ("61 01 62", pdu[4].get_printable_value()) << "a control byte turns the string into hex bytes";

    // Time ticks as days and a clock of two-digit fields, matching the number.
    std::string text = pdu[5].get_printable_value();
    unsigned long days = 0, h = 0, mi = 0, s = 0, cs = 0, ticks = 0;
    int used = 0;
    ASSERT_EQ(5, std::sscanf(text.c_str(), "%lu days, %2lu:%2lu:%2lu.%2lu%n", &days, &h, &mi, &s, &cs, &used)) << text;
    EXPECT_EQ(text.size(), static_cast<size_t>(used)) << text;
    EXPECT_EQ(text.size() - 9, text.find(':')) << text;
    ASSERT_EQ(SNMP_CLASS_SUCCESS, pdu[5].get_value(ticks));
    EXPECT_EQ(ticks, (((days * 24 + h) * 60 + mi) * 60 + s) * 100 + cs) << text;

    // A missing object: v1 answers noSuchName, v2c a binding that prints empty.
    Vb missing(Oid("1.3.6.1.2.1.1.99.0"));
    pdu.set_vblist(&missing, 1);
    if (GetParam() == version1) {
        EXPECT_EQ(SNMP_ERROR_NO_SUCH_NAME, snmp->get(pdu, t));
    } else {
        ASSERT_EQ(SNMP_CLASS_SUCCESS, snmp->get(pdu, t));
        EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_NOSUCHOBJECT, pdu[0].get_syntax());
        EXPECT_STREQ("", pdu[0].get_printable_value());
    }
}

TEST_P(SnmpAgentTest, BulkRepetitionsNonRepeatersAndTheEndOfTheView)
{
    // One non-repeater and three repetitions of the storage index column (v1: one GET-NEXT each).
    Pdu pdu;
    pdu += Vb(Oid("1.3.6.1.2.1.1.1"));
    pdu += Vb(Oid(kHrStorageIndex));
    CTarget t = Target();
    ASSERT_EQ(SNMP_CLASS_SUCCESS, snmp->get_bulk(pdu, t, 1, 3));
    ASSERT_EQ(GetParam() == version1 ? 2 : 4, pdu.get_vb_count());
    EXPECT_STREQ(kSysDescr, pdu[0].get_printable_oid());
    for (int k = 1; k < pdu.get_vb_count(); ++k) {
        EXPECT_EQ(0, pdu[k].get_oid().nCompare(11, Oid(kHrStorageIndex))) << pdu[k].get_printable_oid();
        EXPECT_EQ(12u, pdu[k].get_oid().len());
    }
    Pdu ten;
    ten += Vb(Oid("1.3.6.1.2.1.25.2.3.1"));
    ASSERT_EQ(SNMP_CLASS_SUCCESS, snmp->get_bulk(ten, t, 0, 10));
    EXPECT_EQ(GetParam() == version1 ? 1 : 10, ten.get_vb_count());
    if (ten.get_vb_count() > 1) {
        EXPECT_TRUE(ten[0].get_oid() < ten[1].get_oid());
    }

    // Past the last object: v2c marks the bindings, v1 answers noSuchName.
    Pdu end;
    end += Vb(Oid("1.4"));
    if (GetParam() == version1) {
        EXPECT_EQ(SNMP_ERROR_NO_SUCH_NAME, snmp->get_bulk(end, t, 0, 10));
    } else {
        ASSERT_EQ(SNMP_CLASS_SUCCESS, snmp->get_bulk(end, t, 0, 10));
        EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_ENDOFMIBVIEW, end[0].get_syntax());
    }
}

TEST_P(SnmpAgentTest, WrongCommunityTimesOutAfterTheTriesAsked)
{
    CTarget t = Target("wrong");
    t.set_timeout(20);
    t.set_retry(1);
    Pdu pdu;
    pdu += Vb(Oid(kSysDescr));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SNMP_CLASS_TIMEOUT, snmp->get(pdu, t));
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(took, 0.38) << "two tries of 0.2 s";
    EXPECT_LT(took, 1.0);
    ASSERT_EQ(1, pdu.get_vb_count());
    EXPECT_STREQ("", pdu[0].get_printable_value()) << "the request's binding is left as it was";
    CTarget ok = Target();
    EXPECT_EQ(SNMP_CLASS_SUCCESS, snmp->get(pdu, ok)) << "the same object reaches the agent afterwards";
}

}  // namespace
