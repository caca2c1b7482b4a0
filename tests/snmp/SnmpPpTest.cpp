// SNMP manager classes without an agent: identifiers, addresses, targets, PDUs, and the
// requests refused before anything is sent.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "generic/snmp/snmp_pp.h"

using namespace Snmp_pp;

TEST(SnmpOid, ParsesDottedTextAndRejectsAnythingElse)
{
    Oid a("1.3.6.1.2.1.1.1.0");
    ASSERT_TRUE(a.valid());
    EXPECT_EQ(9u, a.len());
    EXPECT_EQ(1u, a[0]);
    EXPECT_EQ(6u, a[2]);
    EXPECT_EQ(0u, a[8]);
    EXPECT_STREQ("1.3.6.1.2.1.1.1.0", a.get_printable());

    EXPECT_STREQ("1.3.6.1", Oid(".1.3.6.1").get_printable());
    EXPECT_STREQ("1.3.6", Oid("  1.3.6 ").get_printable());
    Oid big("1.4294967295");
    ASSERT_TRUE(big.valid());
    EXPECT_EQ(4294967295UL, big[1]);

    for (const char* bad : {"", ".", "1..2", "1.2.", "1.a.3", "sysDescr", "1.4294967296", "-1.2",
                            "1 .2"}) {
        Oid o(bad);
        EXPECT_FALSE(o.valid()) << bad;
        EXPECT_EQ(0u, o.len()) << bad;
    }
    EXPECT_FALSE(Oid(static_cast<const char*>(nullptr)).valid());
}

TEST(SnmpOid, IndexingAppendingAndTrimming)
{
    Oid o("1.3.6");
    o[1] = 7;
    EXPECT_STREQ("1.7.6", o.get_printable());
    // Outside the identifier: 0, and writing there changes nothing.
    EXPECT_EQ(0u, o[3]);
    o[5] = 99;
    EXPECT_STREQ("1.7.6", o.get_printable());
    const Oid& c = o;
    EXPECT_EQ(0u, c[100]);

    o += 42;
    EXPECT_EQ(4u, o.len());
    EXPECT_STREQ("1.7.6.42", o.get_printable());
    o.trim(2);
    EXPECT_STREQ("1.7", o.get_printable());
    o.trim(5);
    EXPECT_EQ(0u, o.len());
    EXPECT_FALSE(o.valid());

    Oid built;
    built += 1;
    built += 3;
    EXPECT_TRUE(built.valid());
    EXPECT_EQ(Oid("1.3"), built);
    EXPECT_NE(Oid("1.3.0"), built);
    EXPECT_TRUE(Oid("1.3.6.1.2.1.25.2.3.1.2") < Oid("1.3.6.1.2.1.25.2.3.1.10"));
}

TEST(SnmpOid, nCompareLooksAtThePrefixOnly)
{
    Oid base("1.3.6.1.2.1.25.2.3.1");
    unsigned long n = base.len();
    EXPECT_EQ(0, Oid("1.3.6.1.2.1.25.2.3.1.3.36").nCompare(n, base));
    EXPECT_EQ(0, base.nCompare(n, base));
    // The next table and an earlier one.
    EXPECT_GT(Oid("1.3.6.1.2.1.25.2.4.1.1").nCompare(n, base), 0);
    EXPECT_LT(Oid("1.3.6.1.2.1.25.2.2.0").nCompare(n, base), 0);
    // The 10th sub-identifier compares as a number, not as text.
    EXPECT_GT(Oid("1.3.6.1.2.1.25.2.3.10").nCompare(n, base), 0);
    // A shorter identifier with a matching start is not inside the base.
    EXPECT_LT(Oid("1.3.6.1.2.1.25.2").nCompare(n, base), 0);
    EXPECT_GT(base.nCompare(n, Oid("1.3.6.1.2.1.25.2")), 0);
    // Both shorter than n but equal: equal.
    EXPECT_EQ(0, Oid("1.3.6").nCompare(10, Oid("1.3.6")));
    EXPECT_EQ(0, Oid("1.3.6").nCompare(0, Oid("2.9")));
    EXPECT_EQ(0, Oid("1.3.6").nCompare(2, Oid("1.3.9")));
}

TEST(SnmpAddress, ReadsNumericIpv4WithOptionalPort)
{
    UdpAddress a("10.0.0.9");
    ASSERT_TRUE(a.valid());
    EXPECT_STREQ("10.0.0.9", a.get_printable());
    EXPECT_EQ(0, a.get_port());
    a.set_port(161);
    EXPECT_EQ(161, a.get_port());

    UdpAddress slash("10.0.0.9/1161");
    ASSERT_TRUE(slash.valid());
    EXPECT_EQ(1161, slash.get_port());
    EXPECT_STREQ("10.0.0.9", slash.get_printable());
    UdpAddress colon("192.168.1.20:65535");
    ASSERT_TRUE(colon.valid());
    EXPECT_EQ(65535, colon.get_port());

    for (const char* bad : {"", "10.0.0", "10.0.0.9.1", "256.1.1.1", "ups.example.com",
                            "10.0.0.9:", "10.0.0.9:70000", "10.0.0.9:16x", "10.0.0.9:1234567",
                            ":161"}) {
        EXPECT_FALSE(UdpAddress(bad).valid()) << bad;
    }
    // A plain IP address carries no port.
    EXPECT_FALSE(IpAddress("10.0.0.9:161").valid());
    IpAddress ip("127.0.0.1");
    ASSERT_TRUE(ip.valid());
    UdpAddress fromIp(ip);
    EXPECT_TRUE(fromIp.valid());
    EXPECT_EQ(0, fromIp.get_port());
}

TEST(SnmpTarget, DefaultsAndSetters)
{
    CTarget t(IpAddress("127.0.0.1"));
    EXPECT_TRUE(t.valid());
    EXPECT_EQ(version1, t.get_version());
    EXPECT_EQ(100u, t.get_timeout());
    EXPECT_EQ(1, t.get_retry());
    EXPECT_STREQ("public", t.get_readcommunity());
    EXPECT_STREQ("public", t.get_writecommunity());

    t.set_version(version2c);
    t.set_readcommunity("quorum");
    t.set_timeout(25);
    t.set_retry(-3);
    EXPECT_EQ(version2c, t.get_version());
    EXPECT_STREQ("quorum", t.get_readcommunity());
    EXPECT_STREQ("public", t.get_writecommunity());
    EXPECT_EQ(25u, t.get_timeout());
    EXPECT_EQ(0, t.get_retry());

    UdpAddress back;
    t.get_address(back);
    EXPECT_STREQ("127.0.0.1", back.get_printable());
    EXPECT_FALSE(CTarget().valid());
    EXPECT_FALSE(CTarget(UdpAddress("nowhere")).valid());
}

TEST(SnmpPdu, BindingsAreKeptInOrder)
{
    Pdu pdu;
    EXPECT_EQ(0, pdu.get_vb_count());
    pdu += Vb(Oid("1.3.6.1.2.1.1.1.0"));
    pdu += Vb(Oid("1.3.6.1.2.1.1.5.0"));
    ASSERT_EQ(2, pdu.get_vb_count());
    EXPECT_STREQ("1.3.6.1.2.1.1.5.0", pdu[1].get_printable_oid());

    pdu[0].set_oid(Oid("1.3.6.1.2.1.1.3.0"));
    Vb vb;
    ASSERT_TRUE(pdu.get_vb(vb, 0));
    EXPECT_STREQ("1.3.6.1.2.1.1.3.0", vb.get_printable_oid());
    EXPECT_EQ((SmiUINT32)sNMP_SYNTAX_NULL, vb.get_syntax());
    EXPECT_STREQ("", vb.get_printable_value());

    // Out of range: no binding copied, a scratch binding for writes.
    Vb untouched(Oid("9.9"));
    EXPECT_FALSE(pdu.get_vb(untouched, 2));
    EXPECT_FALSE(pdu.get_vb(untouched, -1));
    EXPECT_STREQ("9.9", untouched.get_printable_oid());
    pdu[7].set_oid(Oid("1.2"));
    EXPECT_EQ(2, pdu.get_vb_count());

    Vb list[3] = {Vb(Oid("1.1")), Vb(Oid("1.2")), Vb(Oid("1.3"))};
    ASSERT_TRUE(pdu.set_vblist(list, 3));
    ASSERT_EQ(3, pdu.get_vb_count());
    EXPECT_STREQ("1.3", pdu[2].get_printable_oid());
    Vb out[3];
    EXPECT_FALSE(pdu.get_vblist(out, 2));
    ASSERT_TRUE(pdu.get_vblist(out, 3));
    EXPECT_STREQ("1.2", out[1].get_printable_oid());
    pdu.trim();
    EXPECT_EQ(2, pdu.get_vb_count());
    ASSERT_TRUE(pdu.set_vblist(&list[2], 1));
    EXPECT_EQ(1, pdu.get_vb_count());
    EXPECT_STREQ("1.3", pdu[0].get_printable_oid());
    pdu.clear();
    EXPECT_EQ(0, pdu.get_vb_count());
}

TEST(SnmpValue, AnEmptyBindingHasNoNumber)
{
    Vb vb(Oid("1.3.6.1.2.1.1.7.0"));
    int i = -77;
    EXPECT_NE(SNMP_CLASS_SUCCESS, vb.get_value(i));
    EXPECT_EQ(-77, i);
    unsigned long u = 5;
    EXPECT_NE(SNMP_CLASS_SUCCESS, vb.get_value(u));
    EXPECT_EQ(5u, u);
}

TEST(SnmpRequest, RefusedBeforeSendingWhenIncomplete)
{
    int status = -99;
    Snmp snmp(status, 0, false);
    ASSERT_EQ(SNMP_CLASS_SUCCESS, status);

    Pdu pdu;
    pdu += Vb(Oid("1.3.6.1.2.1.1.1.0"));
    CTarget noAddress(UdpAddress("not-an-address"));
    EXPECT_EQ(SNMP_CLASS_INVALID_ADDRESS, snmp.get(pdu, noAddress));

    UdpAddress addr("127.0.0.1");
    addr.set_port(9);
    CTarget target(addr);
    target.set_timeout(1);
    target.set_retry(0);
    Pdu empty;
    EXPECT_EQ(SNMP_CLASS_INVALID_PDU, snmp.get(empty, target));
    EXPECT_EQ(SNMP_CLASS_INVALID_PDU, snmp.get_bulk(empty, target, 0, 10));

    Pdu badOid;
    badOid += Vb(Oid("1.3.6.1.2.1.1.1.0"));
    badOid += Vb(Oid("not.an.oid"));
    EXPECT_EQ(SNMP_CLASS_INVALID_OID, snmp.get(badOid, target));
    EXPECT_EQ(2, badOid.get_vb_count());

    CTarget v3(addr);
    v3.set_version(static_cast<snmp_version>(3));
    EXPECT_EQ(SNMP_CLASS_INVALID_TARGET, snmp.get(pdu, v3));
}

TEST(SnmpRequest, EveryStatusHasItsOwnText)
{
    std::set<std::string> seen;
    const int codes[] = {SNMP_CLASS_SUCCESS,        SNMP_CLASS_ERROR,
                         SNMP_CLASS_RESOURCE_UNAVAIL, SNMP_CLASS_INTERNAL_ERROR,
                         SNMP_CLASS_UNSUPPORTED,    SNMP_CLASS_TIMEOUT,
                         SNMP_CLASS_INVALID,        SNMP_CLASS_INVALID_PDU,
                         SNMP_CLASS_INVALID_TARGET, SNMP_CLASS_INVALID_OID,
                         SNMP_CLASS_INVALID_ADDRESS, SNMP_CLASS_TL_FAILED};
    for (int c : codes) {
        const char* m = Snmp::error_msg(c);
        ASSERT_NE(nullptr, m);
        EXPECT_TRUE(seen.insert(m).second) << c << " " << m;
    }
    for (int c = SNMP_ERROR_TOO_BIG; c <= SNMP_ERROR_INCONSIS_NAME; ++c)
        EXPECT_TRUE(seen.insert(Snmp::error_msg(c)).second) << c;
    std::string unknown = Snmp::error_msg(12345);
    EXPECT_FALSE(unknown.empty());
    EXPECT_EQ(unknown, Snmp::error_msg(-12345));
    EXPECT_EQ(0u, seen.count(unknown));
}
