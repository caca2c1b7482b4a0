// SNMP manager classes without an agent: identifiers, addresses, targets, PDUs, and the
// requests refused before anything is sent.
#include <gtest/gtest.h>

#include <string>

#include "generic/snmp/snmp_pp.h"

using namespace Snmp_pp;

TEST(SnmpOid, ParsesDottedTextAndRejectsAnythingElse)
{
    Oid a("1.3.6.1.2.1.1.1.0");
    ASSERT_TRUE(a.valid());
    EXPECT_EQ(9u, a.len());
    EXPECT_EQ(6u, a[2]);
    EXPECT_EQ(0u, a[9]) << "outside the identifier";
    EXPECT_STREQ("1.3.6.1.2.1.1.1.0", a.get_printable());
    EXPECT_STREQ("1.3.6.1", Oid(".1.3.6.1").get_printable());
    EXPECT_STREQ("1.3.6", Oid("  1.3.6 ").get_printable());
    EXPECT_EQ(4294967295UL, Oid("1.4294967295")[1]);
    for (const char* bad : {"", ".", "1..2", "1.2.", "1.a.3", "sysDescr", "1.4294967296", "-1.2", "1 .2"}) {
        Oid o(bad);
        EXPECT_FALSE(o.valid()) << bad;
        EXPECT_EQ(0u, o.len()) << bad;
        Oid reused("1.3.6.1.2.1.1.1.0");  // parsing again leaves nothing of the old identifier
        EXPECT_FALSE(reused.Parse(bad)) << bad;
        EXPECT_FALSE(reused.valid()) << bad;
        EXPECT_EQ(0u, reused.len()) << bad;
    }
    Oid reused("1.3.6.1.2.1.1.1.0");
    EXPECT_TRUE(reused.Parse(" .1.3 "));
    EXPECT_EQ(Oid("1.3"), reused);
    EXPECT_FALSE(Oid(static_cast<const char*>(nullptr)).valid());

    Oid built;
    built += 1;
    built += 3;
    EXPECT_EQ(Oid("1.3"), built);
    built.trim(1);
    EXPECT_STREQ("1", built.get_printable());
    EXPECT_TRUE(Oid("1.3.6.1.2.1.25.2.3.1.2") < Oid("1.3.6.1.2.1.25.2.3.1.10")) << "numbers, not text";
}

TEST(SnmpOid, nCompareLooksAtThePrefixOnly)
{
    Oid base("1.3.6.1.2.1.25.2.3.1");
    unsigned long n = base.len();
    EXPECT_EQ(0, Oid("1.3.6.1.2.1.25.2.3.1.3.36").nCompare(n, base));
    EXPECT_GT(Oid("1.3.6.1.2.1.25.2.4.1.1").nCompare(n, base), 0) << "the next table";
    EXPECT_LT(Oid("1.3.6.1.2.1.25.2.2.0").nCompare(n, base), 0);
    EXPECT_GT(Oid("1.3.6.1.2.1.25.2.3.10").nCompare(n, base), 0) << "10 is above 1 as a number";
    EXPECT_LT(Oid("1.3.6.1.2.1.25.2").nCompare(n, base), 0) << "a shorter identifier is not inside the base";
    EXPECT_EQ(0, Oid("1.3.6").nCompare(10, Oid("1.3.6")));
    EXPECT_EQ(0, Oid("1.3.6").nCompare(2, Oid("1.3.9")));
}

TEST(SnmpAddress, NumericIpv4WithOptionalPortAndTargetDefaults)
{
    UdpAddress a("10.0.0.9");
    ASSERT_TRUE(a.valid());
    EXPECT_EQ(0, a.get_port());
    a.set_port(161);
    EXPECT_EQ(161, a.get_port());
    EXPECT_EQ(1161, UdpAddress("10.0.0.9/1161").get_port());
    EXPECT_EQ(65535, UdpAddress("192.168.1.20:65535").get_port());
    for (const char* bad : {"", "10.0.0", "10.0.0.9.1", "256.1.1.1", "ups.example.com", "10.0.0.9:", "10.0.0.9:70000",
                            "10.0.0.9:16x", ":161"})
        EXPECT_FALSE(UdpAddress(bad).valid()) << bad;
    EXPECT_FALSE(IpAddress("10.0.0.9:161").valid()) << "a plain IP address carries no port";

    // SNMP++'s defaults: version 1, 1 s time-out, one retry, community "public".
    CTarget t(a);
    EXPECT_TRUE(t.valid());
    EXPECT_EQ(version1, t.get_version());
    EXPECT_EQ(100u, t.get_timeout());
    EXPECT_EQ(1, t.get_retry());
    EXPECT_STREQ("public", t.get_readcommunity());
    t.set_version(version2c);
    t.set_readcommunity("quorum");
    t.set_retry(-3);
    EXPECT_EQ(version2c, t.get_version());
    EXPECT_STREQ("quorum", t.get_readcommunity());
    EXPECT_EQ(0, t.get_retry());
    UdpAddress back;
    t.get_address(back);
    EXPECT_STREQ("10.0.0.9", back.get_printable());
    EXPECT_EQ(161, back.get_port());
    EXPECT_FALSE(CTarget(UdpAddress("nowhere")).valid());
}

TEST(SnmpPdu, BindingsAreKeptInOrder)
{
    Pdu pdu;
    pdu += Vb(Oid("1.3.6.1.2.1.1.1.0"));
    pdu += Vb(Oid("1.3.6.1.2.1.1.5.0"));
    pdu[0].set_oid(Oid("1.3.6.1.2.1.1.3.0"));
    Vb vb(Oid("9.9"));
    EXPECT_FALSE(pdu.get_vb(vb, 2)) << "out of range: nothing copied";
    EXPECT_STREQ("9.9", vb.get_printable_oid());
    pdu[7].set_oid(Oid("1.2"));  // a scratch binding, not a third one
    ASSERT_EQ(2, pdu.get_vb_count());
    ASSERT_TRUE(pdu.get_vb(vb, 0));
    EXPECT_STREQ("1.3.6.1.2.1.1.3.0", vb.get_printable_oid());
    EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_NULL, vb.get_syntax());
    int i = -77;
    EXPECT_NE(SNMP_CLASS_SUCCESS, vb.get_value(i)) << "an empty binding has no number";
    EXPECT_EQ(-77, i);

    Vb list[3] = {Vb(Oid("1.1")), Vb(Oid("1.2")), Vb(Oid("1.3"))};
    ASSERT_TRUE(pdu.set_vblist(list, 3));
    EXPECT_STREQ("1.3", pdu[2].get_printable_oid());
    ASSERT_TRUE(pdu.set_vblist(&list[1], 1));
    EXPECT_EQ(1, pdu.get_vb_count());
    EXPECT_STREQ("1.2", pdu[0].get_printable_oid());
    // Bindings dropped from the list stay out of reach although their storage is kept.
    EXPECT_FALSE(pdu.get_vb(vb, 1));
    EXPECT_EQ(0u, pdu[2].get_oid().len());
    Vb two[2];
    EXPECT_TRUE(pdu.get_vblist(two, 1)) << "one binding fits one place";

    // The PDU's own bindings as the source: the list, one appended while the storage grows.
    ASSERT_TRUE(pdu.set_vblist(list, 3));
    ASSERT_TRUE(pdu.set_vblist(&pdu[2], 1));
    EXPECT_STREQ("1.3", pdu[0].get_printable_oid());
    for (int n = 1; n < 40; ++n) pdu += pdu[n - 1];
    ASSERT_EQ(40, pdu.get_vb_count());
    EXPECT_STREQ("1.3", pdu[39].get_printable_oid());
    pdu.trim(38);
    EXPECT_EQ(2, pdu.get_vb_count());
    pdu.trim(5);
    EXPECT_EQ(0, pdu.get_vb_count());
    pdu += Vb(Oid("1.4"));
    EXPECT_STREQ("1.4", pdu[0].get_printable_oid());
    pdu.clear();
    EXPECT_EQ(0, pdu.get_vb_count());
}

TEST(SnmpRequest, RefusedBeforeSendingWhenIncomplete)
{
    int status = -99;
    Snmp snmp(status, 0, false);
    ASSERT_EQ(SNMP_CLASS_SUCCESS, status);
    Pdu pdu;
    pdu += Vb(Oid("1.3.6.1.2.1.1.1.0"));
    EXPECT_EQ(SNMP_CLASS_INVALID_ADDRESS, snmp.get(pdu, CTarget(UdpAddress("not-an-address"))));

    UdpAddress addr("127.0.0.1");
    addr.set_port(9);
    CTarget target(addr);
    Pdu empty;
    EXPECT_EQ(SNMP_CLASS_INVALID_PDU, snmp.get(empty, target));
    EXPECT_EQ(SNMP_CLASS_INVALID_PDU, snmp.get_bulk(empty, target, 0, 10));
    Pdu badOid;
    badOid += Vb(Oid("1.3.6.1.2.1.1.1.0"));
    badOid += Vb(Oid("not.an.oid"));
    EXPECT_EQ(SNMP_CLASS_INVALID_OID, snmp.get(badOid, target));
    CTarget v3(addr);
    v3.set_version(static_cast<snmp_version>(3));
    EXPECT_EQ(SNMP_CLASS_INVALID_TARGET, snmp.get(pdu, v3));
    EXPECT_STRNE(Snmp::error_msg(SNMP_CLASS_TIMEOUT), Snmp::error_msg(SNMP_CLASS_INVALID_OID));
}
