// SNMP manager classes in the shape of SNMP++ (namespace Snmp_pp), built on the net-snmp
// client library. SNMPv1 and SNMPv2c, GET / GET-NEXT / GET-BULK, numeric object identifiers
// only. The net-snmp headers stay inside snmp_pp.cpp.
#ifndef QVSM_GENERIC_SNMP_SNMP_PP_H
#define QVSM_GENERIC_SNMP_SNMP_PP_H

#include <string>
#include <vector>

// Results of Snmp requests: 0 success, negative for the library, positive for the error
// status an agent answered with.
#define SNMP_CLASS_SUCCESS 0
#define SNMP_CLASS_ERROR (-1)
#define SNMP_CLASS_RESOURCE_UNAVAIL (-2)
#define SNMP_CLASS_INTERNAL_ERROR (-3)
#define SNMP_CLASS_UNSUPPORTED (-4)
#define SNMP_CLASS_TIMEOUT (-5)
#define SNMP_CLASS_INVALID (-10)
#define SNMP_CLASS_INVALID_PDU (-11)
#define SNMP_CLASS_INVALID_TARGET (-12)
#define SNMP_CLASS_INVALID_OID (-17)
#define SNMP_CLASS_INVALID_ADDRESS (-18)
#define SNMP_CLASS_TL_FAILED (-22)

#define SNMP_ERROR_SUCCESS 0
#define SNMP_ERROR_TOO_BIG 1
#define SNMP_ERROR_NO_SUCH_NAME 2
#define SNMP_ERROR_BAD_VALUE 3
#define SNMP_ERROR_READ_ONLY 4
#define SNMP_ERROR_GENERAL_VB_ERR 5
#define SNMP_ERROR_NO_ACCESS 6
#define SNMP_ERROR_WRONG_TYPE 7
#define SNMP_ERROR_WRONG_LENGTH 8
#define SNMP_ERROR_WRONG_ENCODING 9
#define SNMP_ERROR_WRONG_VALUE 10
#define SNMP_ERROR_NO_CREATION 11
#define SNMP_ERROR_INCONSIST_VAL 12
#define SNMP_ERROR_RESOURCE_UNAVAIL 13
#define SNMP_ERROR_COMITFAIL 14
#define SNMP_ERROR_UNDO_FAIL 15
#define SNMP_ERROR_AUTH_ERR 16
#define SNMP_ERROR_NOT_WRITEABLE 17
#define SNMP_ERROR_INCONSIS_NAME 18

// Value syntaxes (the BER tags), as Vb::get_syntax reports them.
#define sNMP_SYNTAX_INT 0x02
#define sNMP_SYNTAX_INT32 0x02
#define sNMP_SYNTAX_BITS 0x03
#define sNMP_SYNTAX_OCTETS 0x04
#define sNMP_SYNTAX_NULL 0x05
#define sNMP_SYNTAX_OID 0x06
#define sNMP_SYNTAX_IPADDR 0x40
#define sNMP_SYNTAX_CNTR32 0x41
#define sNMP_SYNTAX_GAUGE32 0x42
#define sNMP_SYNTAX_UINT32 0x42
#define sNMP_SYNTAX_TIMETICKS 0x43
#define sNMP_SYNTAX_OPAQUE 0x44
#define sNMP_SYNTAX_CNTR64 0x46
#define sNMP_SYNTAX_NOSUCHOBJECT 0x80
#define sNMP_SYNTAX_NOSUCHINSTANCE 0x81
#define sNMP_SYNTAX_ENDOFMIBVIEW 0x82

// Request defaults of a target: 1 second (in hundredths) and one retry, so a silent agent
// costs two seconds per request. Port 161 when the address names none (see Snmp::DefaultPort).
#define SNMP_PP_DEFAULT_TIMEOUT 100
#define SNMP_PP_DEFAULT_RETRIES 1
#define SNMP_PP_DEFAULT_PORT 161

namespace Snmp_pp {

typedef unsigned long SmiUINT32;

// Any other value a caller casts in is refused by the requests.
enum snmp_version : int { version1 = 0, version2c = 1 };

// Object identifier: a sequence of 32-bit sub-identifiers.
class Oid {
public:
    Oid() = default;
    // Dotted numeric text, a leading dot allowed ("1.3.6.1.2.1.1.1.0", ".1.3.6"). Any other
    // text gives an invalid, empty identifier.
    Oid(const char* text);  // NOLINT: converts like the library it stands for
    Oid(const unsigned long* subIds, unsigned long count);
    // Replaces the identifier with the one of text (as the constructor reads it), reusing the
    // storage; false (and an invalid, empty identifier) when the text is not one.
    bool Parse(const char* text);

    bool valid() const { return m_valid; }
    unsigned long len() const { return (unsigned long)m_ids.size(); }
    // Sub-identifier at position index (from 0). Outside the identifier a scratch
    // value 0 is returned instead of touching foreign memory.
    unsigned long& operator[](unsigned long index);
    unsigned long operator[](unsigned long index) const;
    // Compares the first n sub-identifiers: 0 when equal, -1 / 1 in lexical order. An
    // identifier shorter than n whose sub-identifiers all match orders first.
    int nCompare(unsigned long n, const Oid& other) const;
    // Dotted text without a leading dot; empty for an empty identifier.
    const char* get_printable() const;

    Oid& operator+=(unsigned long subId);
    // Replaces the sub-identifiers with n from ids, reusing the storage; invalid and empty
    // when one does not fit 32 bits.
    template <class T>
    void Assign(const T* ids, size_t n)
    {
        m_ids.clear();
        m_valid = false;
        if (!ids)
            return;
        for (size_t i = 0; i < n; ++i)
            if ((unsigned long long)ids[i] > 0xFFFFFFFFULL)
                return;
        m_ids.assign(ids, ids + n);
        m_valid = n > 0;
    }
    // Drops the last n sub-identifiers.
    void trim(unsigned long n = 1);

    friend bool operator==(const Oid& a, const Oid& b) { return a.m_ids == b.m_ids; }
    friend bool operator!=(const Oid& a, const Oid& b) { return a.m_ids != b.m_ids; }
    friend bool operator<(const Oid& a, const Oid& b) { return a.m_ids < b.m_ids; }

private:
    std::vector<unsigned long> m_ids;
    bool m_valid = false;
    unsigned long m_scratch = 0;
    mutable std::string m_text;
};

// Variable binding: an object identifier and the value an agent returned for it.
class Vb {
public:
    Vb() = default;
    explicit Vb(const Oid& oid) : m_oid(oid) {}

    void set_oid(const Oid& oid);
    void get_oid(Oid& oid) const { oid = m_oid; }
    const Oid& get_oid() const { return m_oid; }
    const char* get_printable_oid() const { return m_oid.get_printable(); }
    bool valid() const { return m_oid.valid(); }
    // Clears the value (syntax NULL), keeping the identifier.
    void set_null();

    SmiUINT32 get_syntax() const { return m_syntax; }
    // The value as text: integers in decimal, counters and gauges unsigned, time ticks
    // as "D days, HH:MM:SS.hh", object identifiers and IP addresses dotted, octet strings
    // as their bytes when they hold no control character (GBK text passes) or else as
    // upper-case hex bytes separated by blanks. Empty for NULL and for the exceptions
    // noSuchObject, noSuchInstance and endOfMibView. The text lives as long as the Vb
    // keeps its value.
    const char* get_printable_value() const { return m_text.c_str(); }
    // INTEGER, and the unsigned syntaxes (counter, gauge, time ticks) when the value fits
    // an int: SNMP_CLASS_SUCCESS and the value. Any other syntax leaves i untouched and
    // returns SNMP_CLASS_INVALID.
    int get_value(int& i) const;
    // INTEGER when not negative, counters, gauges and time ticks.
    int get_value(unsigned long& u) const;

private:
    friend struct VbAccess;
    Oid m_oid;
    SmiUINT32 m_syntax = sNMP_SYNTAX_NULL;
    long long m_signed = 0;
    unsigned long long m_unsigned = 0;
    std::string m_text;
};

// Protocol data unit: the ordered bindings of one request, replaced by the bindings of
// the answer after a successful request. Storage of bindings is kept and reused: a PDU used
// again and again allocates only when it holds more bindings than ever before.
class Pdu {
public:
    Pdu() = default;
    Pdu(const Vb* vbs, int count);

    Pdu& operator+=(const Vb& vb);
    // Binding at index; outside the list a scratch binding is returned.
    Vb& operator[](int index);
    // Copies binding index into vb; false (vb untouched) when there is none.
    bool get_vb(Vb& vb, int index) const;
    int get_vb_count() const { return m_count; }
    // Replaces the bindings with count bindings from vbs.
    bool set_vblist(const Vb* vbs, int count);
    // Copies up to count bindings into vbs; false when the PDU holds more than count.
    bool get_vblist(Vb* vbs, int count) const;
    // Drops the last n bindings.
    void trim(int n = 1);
    void clear();

    // Error status and index of the last answer (0 when it had none).
    int get_error_status() const { return m_errStatus; }
    int get_error_index() const { return m_errIndex; }

private:
    friend class Snmp;
    // Makes room for count bindings.
    void Grow(int count);
    // The first m_count are the bindings; the rest keep their storage for later answers.
    std::vector<Vb> m_vbs;
    int m_count = 0;
    Vb m_scratch;
    int m_errStatus = 0;
    int m_errIndex = 0;
};

// IPv4 address in numeric dotted form. Host names are not resolved.
class IpAddress {
public:
    IpAddress() = default;
    IpAddress(const char* text);  // NOLINT: converts like the library it stands for
    virtual ~IpAddress() = default;

    bool valid() const { return m_valid; }
    // "a.b.c.d", empty when invalid.
    const char* get_printable() const { return m_text.c_str(); }
    // 0 when the address names no port (an IpAddress never does).
    unsigned short get_port() const { return m_port; }

protected:
    bool ParseHost(const char* text, size_t n);
    bool m_valid = false;
    unsigned short m_port = 0;
    std::string m_text;
};

// IPv4 address with a UDP port: "a.b.c.d", "a.b.c.d/port" or "a.b.c.d:port".
class UdpAddress : public IpAddress {
public:
    UdpAddress() = default;
    UdpAddress(const char* text);  // NOLINT: converts like the library it stands for
    UdpAddress(const IpAddress& ip) : IpAddress(ip) {}  // NOLINT
    void set_port(unsigned short port) { m_port = port; }
};

// Where and how requests go: agent address, protocol version, time-out and retries.
class SnmpTarget {
public:
    virtual ~SnmpTarget() = default;

    bool valid() const { return m_address.valid(); }
    void set_address(const IpAddress& address);
    void get_address(UdpAddress& address) const { address = m_address; }

    void set_version(snmp_version version) { m_version = version; }
    snmp_version get_version() const { return m_version; }
    // Time-out of one try, in hundredths of a second.
    void set_timeout(unsigned long hundredths) { m_timeout = hundredths; }
    unsigned long get_timeout() const { return m_timeout; }
    // Further tries after the first one times out.
    void set_retry(int retries) { m_retries = retries < 0 ? 0 : retries; }
    int get_retry() const { return m_retries; }

protected:
    SnmpTarget() = default;
    explicit SnmpTarget(const IpAddress& address) { set_address(address); }
    virtual const std::string& read_community() const = 0;

private:
    friend class Snmp;
    UdpAddress m_address;
    snmp_version m_version = version1;
    unsigned long m_timeout = SNMP_PP_DEFAULT_TIMEOUT;
    int m_retries = SNMP_PP_DEFAULT_RETRIES;
};

// Community-based target (SNMPv1, SNMPv2c). Both communities default to "public".
class CTarget : public SnmpTarget {
public:
    CTarget() = default;
    explicit CTarget(const IpAddress& address) : SnmpTarget(address) {}
    CTarget(const IpAddress& address, const char* readCommunity, const char* writeCommunity);

    void set_readcommunity(const char* community) { m_read = community ? community : ""; }
    void set_writecommunity(const char* community) { m_write = community ? community : ""; }
    const char* get_readcommunity() const { return m_read.c_str(); }
    const char* get_writecommunity() const { return m_write.c_str(); }

protected:
    const std::string& read_community() const override { return m_read; }

private:
    std::string m_read = "public";
    std::string m_write = "public";
};

// Manager session. Requests are synchronous; each call waits for the answer or for the
// target's time-out and retries. The UDP socket is opened with the first request and
// kept while the target stays the same; it is closed with the object.
class Snmp {
public:
    // status receives SNMP_CLASS_SUCCESS, or an error when the library cannot be set up.
    // port: local UDP port to send from (0 any). IPv6 is not offered: the flag is ignored.
    Snmp(int& status, unsigned short port = 0, bool bindIpv6 = false);
    ~Snmp();
    Snmp(const Snmp&) = delete;
    Snmp& operator=(const Snmp&) = delete;

    // Nothing to do on this platform; kept for the calling shape.
    static int socket_startup();
    static void socket_cleanup();
    static const char* error_msg(int status);
    // Agent port of an address that names none: $QVSM_SNMP_PORT when it holds a port number
    // (a test agent on a high loopback port), else 161.
    static unsigned short DefaultPort();

    int get(Pdu& pdu, const SnmpTarget& target);
    int get_next(Pdu& pdu, const SnmpTarget& target);
    // GET-BULK. An SNMPv1 target has no GET-BULK: a GET-NEXT of the same bindings is sent,
    // which answers one binding per requested one.
    int get_bulk(Pdu& pdu, const SnmpTarget& target, int nonRepeaters, int maxReps);

private:
    int Request(int command, Pdu& pdu, const SnmpTarget& target, int nonRepeaters, int maxReps);
    int Open(const SnmpTarget& target);
    void Close();

    void* m_sess = nullptr;
    // What the open session was made for.
    char m_peer[64] = {};
    int m_version = -1;
    long m_timeoutUs = 0;
    int m_retries = 0;
    std::string m_community;
    unsigned short m_localPort = 0;
};

}  // namespace Snmp_pp

#endif
