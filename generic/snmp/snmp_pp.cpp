// SNMP manager classes over the net-snmp client library (single-session API).
#include "generic/snmp/snmp_pp.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

namespace Snmp_pp {

namespace {

const unsigned long kMaxSubId = 0xFFFFFFFFUL;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// net-snmp keeps process-wide tables from its first session on and cannot be set up twice.
// Keep it loaded for the life of the process, also when the host unloads this module.
void PinLibrary()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&snmp_sess_init), &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

// One-time set-up of the library: no configuration files, no MIB files (identifiers are
// numeric), no persistent state, and its log swallowed so that nothing reaches stderr.
bool LibReady()
{
    static bool ready = false;
    if (ready)
        return true;
    PinLibrary();
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    if (!netsnmp_register_loghandler(NETSNMP_LOGHANDLER_NONE, LOG_DEBUG))
        return false;
    ready = true;
    return true;
}

// The writers below put a value's text into out, reusing its storage.

void HexBytes(std::string& out, const unsigned char* p, size_t n)
{
    static const char kHex[] = "0123456789ABCDEF";
    out.clear();
    for (size_t i = 0; i < n; ++i) {
        if (i)
            out += ' ';
        out += kHex[p[i] >> 4];
        out += kHex[p[i] & 0x0F];
    }
}

// Octet strings print as text unless they carry control bytes; bytes from 0x80 up are
// kept (GBK text). Trailing NULs some agents append are not part of the text.
void OctetsText(std::string& out, const unsigned char* p, size_t n)
{
    size_t len = n;
    while (len > 0 && p[len - 1] == 0)
        --len;
    for (size_t i = 0; i < len; ++i) {
        unsigned char c = p[i];
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) {
            HexBytes(out, p, n);
            return;
        }
    }
    out.assign(reinterpret_cast<const char*>(p), len);
}

void TicksText(std::string& out, unsigned long long t)
{
    char b[64];
    snprintf(b, sizeof b, "%llu days, %02llu:%02llu:%02llu.%02llu", t / 8640000ULL,
             t / 360000ULL % 24, t / 6000ULL % 60, t / 100ULL % 60, t % 100ULL);
    out = b;
}

// Dotted sub-identifiers, as Oid::get_printable writes them.
template <class T>
void DottedText(std::string& out, const T* ids, size_t n)
{
    out.clear();
    char b[16];
    for (size_t i = 0; i < n; ++i) {
        snprintf(b, sizeof b, i ? ".%lu" : "%lu", (unsigned long)ids[i]);
        out += b;
    }
}

}  // namespace

// ---- Oid ----

Oid::Oid(const char* text)
{
    Parse(text);
}

bool Oid::Parse(const char* text)
{
    m_ids.clear();
    m_valid = false;
    if (!text)
        return false;
    const char* p = text;
    while (IsBlank(*p))
        ++p;
    const char* end = p + strlen(p);
    while (end > p && IsBlank(end[-1]))
        --end;
    if (p < end && *p == '.')
        ++p;
    if (p == end)
        return false;
    while (p < end) {
        if (*p < '0' || *p > '9')
            break;
        unsigned long long v = 0;
        while (p < end && *p >= '0' && *p <= '9') {
            v = v * 10 + (unsigned long long)(*p - '0');
            if (v > kMaxSubId)
                break;
            ++p;
        }
        if (v > kMaxSubId)
            break;
        m_ids.push_back((unsigned long)v);
        if (p == end) {
            m_valid = true;
            return true;
        }
        if (*p != '.' || p + 1 == end)
            break;
        ++p;
    }
    m_ids.clear();
    return false;
}

Oid::Oid(const unsigned long* subIds, unsigned long count)
{
    if (!subIds && count)
        return;
    for (unsigned long i = 0; i < count; ++i) {
        if (subIds[i] > kMaxSubId)
            return;
    }
    m_ids.assign(subIds, subIds + count);
    m_valid = count > 0;
}

unsigned long& Oid::operator[](unsigned long index)
{
    if (index < m_ids.size())
        return m_ids[index];
    m_scratch = 0;
    return m_scratch;
}

unsigned long Oid::operator[](unsigned long index) const
{
    return index < m_ids.size() ? m_ids[index] : 0;
}

int Oid::nCompare(unsigned long n, const Oid& other) const
{
    for (unsigned long i = 0; i < n; ++i) {
        bool haveMine = i < m_ids.size();
        bool haveTheirs = i < other.m_ids.size();
        if (!haveMine || !haveTheirs) {
            if (haveMine == haveTheirs)
                return 0;
            return haveMine ? 1 : -1;
        }
        if (m_ids[i] != other.m_ids[i])
            return m_ids[i] < other.m_ids[i] ? -1 : 1;
    }
    return 0;
}

const char* Oid::get_printable() const
{
    DottedText(m_text, m_ids.data(), m_ids.size());
    return m_text.c_str();
}

Oid& Oid::operator+=(unsigned long subId)
{
    if (subId > kMaxSubId) {
        m_valid = false;
        return *this;
    }
    if (m_ids.empty())
        m_valid = true;
    m_ids.push_back(subId);
    return *this;
}

void Oid::trim(unsigned long n)
{
    m_ids.resize(n >= m_ids.size() ? 0 : m_ids.size() - n);
    if (m_ids.empty())
        m_valid = false;
}

// ---- Vb ----

// Fills a binding from an answer's variable; private to this file.
struct VbAccess {
    static void Fill(Vb& vb, const netsnmp_variable_list* v)
    {
        vb.m_oid.Assign(v->name, v->name_length);
        vb.m_syntax = v->type;
        vb.m_signed = 0;
        vb.m_unsigned = 0;
        vb.m_text.clear();
        char b[32];
        switch (v->type) {
        case ASN_INTEGER:
            vb.m_signed = v->val.integer ? *v->val.integer : 0;
            snprintf(b, sizeof b, "%lld", vb.m_signed);
            vb.m_text = b;
            break;
        case ASN_COUNTER:
        case ASN_GAUGE:
        case ASN_TIMETICKS:
        case ASN_UINTEGER:
            vb.m_unsigned = v->val.integer ? ((unsigned long)*v->val.integer & 0xFFFFFFFFUL) : 0;
            if (v->type == ASN_TIMETICKS) {
                TicksText(vb.m_text, vb.m_unsigned);
            } else {
                snprintf(b, sizeof b, "%llu", vb.m_unsigned);
                vb.m_text = b;
            }
            break;
        case ASN_COUNTER64:
            if (v->val.counter64)
                vb.m_unsigned = ((unsigned long long)v->val.counter64->high << 32) |
                                (v->val.counter64->low & 0xFFFFFFFFUL);
            snprintf(b, sizeof b, "%llu", vb.m_unsigned);
            vb.m_text = b;
            break;
        case ASN_IPADDRESS:
            if (v->val.string && v->val_len == 4) {
                snprintf(b, sizeof b, "%u.%u.%u.%u", v->val.string[0], v->val.string[1],
                         v->val.string[2], v->val.string[3]);
                vb.m_text = b;
            }
            break;
        case ASN_OCTET_STR:
        case ASN_BIT_STR:
            if (v->val.string)
                OctetsText(vb.m_text, v->val.string, v->val_len);
            break;
        case ASN_OPAQUE:
            if (v->val.string)
                HexBytes(vb.m_text, v->val.string, v->val_len);
            break;
        case ASN_OBJECT_ID:
            if (v->val.objid)
                DottedText(vb.m_text, v->val.objid, v->val_len / sizeof(oid));
            break;
        default:  // NULL, noSuchObject, noSuchInstance, endOfMibView and the unknown
            break;
        }
    }
};

void Vb::set_oid(const Oid& oid)
{
    m_oid = oid;
    set_null();
}

void Vb::set_null()
{
    m_syntax = sNMP_SYNTAX_NULL;
    m_signed = 0;
    m_unsigned = 0;
    m_text.clear();
}

int Vb::get_value(int& i) const
{
    switch (m_syntax) {
    case sNMP_SYNTAX_INT32:
        if (m_signed < INT_MIN || m_signed > INT_MAX)
            return SNMP_CLASS_INVALID;
        i = (int)m_signed;
        return SNMP_CLASS_SUCCESS;
    case sNMP_SYNTAX_CNTR32:
    case sNMP_SYNTAX_GAUGE32:
    case sNMP_SYNTAX_TIMETICKS:
        if (m_unsigned > (unsigned long long)INT_MAX)
            return SNMP_CLASS_INVALID;
        i = (int)m_unsigned;
        return SNMP_CLASS_SUCCESS;
    default:
        return SNMP_CLASS_INVALID;
    }
}

int Vb::get_value(unsigned long& u) const
{
    switch (m_syntax) {
    case sNMP_SYNTAX_INT32:
        if (m_signed < 0)
            return SNMP_CLASS_INVALID;
        u = (unsigned long)m_signed;
        return SNMP_CLASS_SUCCESS;
    case sNMP_SYNTAX_CNTR32:
    case sNMP_SYNTAX_GAUGE32:
    case sNMP_SYNTAX_TIMETICKS:
    case sNMP_SYNTAX_CNTR64:
        if (m_unsigned > (unsigned long long)ULONG_MAX)
            return SNMP_CLASS_INVALID;
        u = (unsigned long)m_unsigned;
        return SNMP_CLASS_SUCCESS;
    default:
        return SNMP_CLASS_INVALID;
    }
}

// ---- Pdu ----

Pdu::Pdu(const Vb* vbs, int count)
{
    set_vblist(vbs, count);
}

Pdu& Pdu::operator+=(const Vb& vb)
{
    if (!m_vbs.empty() && &vb >= m_vbs.data() && &vb < m_vbs.data() + m_vbs.size()) {
        Vb copy(vb);  // one of this PDU's own bindings, which growing may move
        return *this += copy;
    }
    Grow(m_count + 1);
    m_vbs[(size_t)m_count++] = vb;
    return *this;
}

void Pdu::Grow(int count)
{
    if ((size_t)count > m_vbs.size())
        m_vbs.resize((size_t)count);
}

Vb& Pdu::operator[](int index)
{
    if (index >= 0 && index < m_count)
        return m_vbs[(size_t)index];
    m_scratch = Vb();
    return m_scratch;
}

bool Pdu::get_vb(Vb& vb, int index) const
{
    if (index < 0 || index >= m_count)
        return false;
    vb = m_vbs[(size_t)index];
    return true;
}

bool Pdu::set_vblist(const Vb* vbs, int count)
{
    if (count < 0 || (count > 0 && !vbs))
        return false;
    // Bindings taken from this PDU itself are copied out first.
    if (count > 0 && !m_vbs.empty() && vbs + count > m_vbs.data() && vbs < m_vbs.data() + m_vbs.size()) {
        std::vector<Vb> copy(vbs, vbs + count);
        return set_vblist(copy.data(), count);
    }
    // Bindings beyond the count keep their storage for the next answer.
    Grow(count);
    for (int i = 0; i < count; ++i)
        m_vbs[(size_t)i] = vbs[i];
    m_count = count;
    return true;
}

bool Pdu::get_vblist(Vb* vbs, int count) const
{
    if (count < m_count || (!vbs && m_count > 0))
        return false;
    for (int i = 0; i < m_count; ++i)
        vbs[i] = m_vbs[(size_t)i];
    return true;
}

void Pdu::trim(int n)
{
    if (n <= 0)
        return;
    m_count = n >= m_count ? 0 : m_count - n;
}

void Pdu::clear()
{
    m_count = 0;
    m_errStatus = 0;
    m_errIndex = 0;
}

// ---- addresses ----

bool IpAddress::ParseHost(const char* text, size_t n)
{
    m_valid = false;
    m_text.clear();
    while (n > 0 && IsBlank(*text)) {
        ++text;
        --n;
    }
    while (n > 0 && IsBlank(text[n - 1]))
        --n;
    char host[INET_ADDRSTRLEN];
    if (n == 0 || n >= sizeof host)
        return false;
    memcpy(host, text, n);
    host[n] = '\0';
    in_addr a;
    if (inet_pton(AF_INET, host, &a) != 1)
        return false;
    char out[INET_ADDRSTRLEN];
    if (!inet_ntop(AF_INET, &a, out, sizeof out))
        return false;
    m_text = out;
    m_valid = true;
    return true;
}

IpAddress::IpAddress(const char* text)
{
    if (text)
        ParseHost(text, strlen(text));
}

UdpAddress::UdpAddress(const char* text)
{
    if (!text)
        return;
    const char* sep = strrchr(text, '/');
    if (!sep)
        sep = strrchr(text, ':');
    if (!sep) {
        ParseHost(text, strlen(text));
        return;
    }
    const char* p = sep + 1;
    while (IsBlank(*p))
        ++p;
    unsigned long port = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
        port = port * 10 + (unsigned long)(*p++ - '0');
        if (++digits > 5)
            return;
    }
    while (IsBlank(*p))
        ++p;
    if (digits == 0 || *p || port > 65535)
        return;
    if (ParseHost(text, (size_t)(sep - text)))
        m_port = (unsigned short)port;
}

// ---- targets ----

void SnmpTarget::set_address(const IpAddress& address)
{
    m_address = UdpAddress(address);
}

CTarget::CTarget(const IpAddress& address, const char* readCommunity, const char* writeCommunity)
    : SnmpTarget(address)
{
    set_readcommunity(readCommunity);
    set_writecommunity(writeCommunity);
}

// ---- Snmp ----

Snmp::Snmp(int& status, unsigned short port, bool /*bindIpv6*/) : m_localPort(port)
{
    status = LibReady() ? SNMP_CLASS_SUCCESS : SNMP_CLASS_RESOURCE_UNAVAIL;
}

Snmp::~Snmp()
{
    Close();
}

int Snmp::socket_startup()
{
    return 0;
}

void Snmp::socket_cleanup() {}

const char* Snmp::error_msg(int status)
{
    switch (status) {
    case SNMP_CLASS_SUCCESS: return "Success";
    case SNMP_CLASS_ERROR: return "SNMP: general error";
    case SNMP_CLASS_RESOURCE_UNAVAIL: return "SNMP: resource unavailable";
    case SNMP_CLASS_INTERNAL_ERROR: return "SNMP: internal error";
    case SNMP_CLASS_UNSUPPORTED: return "SNMP: unsupported function";
    case SNMP_CLASS_TIMEOUT: return "SNMP: timeout, no response from agent";
    case SNMP_CLASS_INVALID: return "SNMP: invalid value";
    case SNMP_CLASS_INVALID_PDU: return "SNMP: invalid PDU";
    case SNMP_CLASS_INVALID_TARGET: return "SNMP: invalid target";
    case SNMP_CLASS_INVALID_OID: return "SNMP: invalid object identifier";
    case SNMP_CLASS_INVALID_ADDRESS: return "SNMP: invalid address";
    case SNMP_CLASS_TL_FAILED: return "SNMP: transport failed";
    case SNMP_ERROR_TOO_BIG: return "SNMP: response too big";
    case SNMP_ERROR_NO_SUCH_NAME: return "SNMP: no such name";
    case SNMP_ERROR_BAD_VALUE: return "SNMP: bad value";
    case SNMP_ERROR_READ_ONLY: return "SNMP: read only";
    case SNMP_ERROR_GENERAL_VB_ERR: return "SNMP: general error in variable binding";
    case SNMP_ERROR_NO_ACCESS: return "SNMP: no access";
    case SNMP_ERROR_WRONG_TYPE: return "SNMP: wrong type";
    case SNMP_ERROR_WRONG_LENGTH: return "SNMP: wrong length";
    case SNMP_ERROR_WRONG_ENCODING: return "SNMP: wrong encoding";
    case SNMP_ERROR_WRONG_VALUE: return "SNMP: wrong value";
    case SNMP_ERROR_NO_CREATION: return "SNMP: no creation";
    case SNMP_ERROR_INCONSIST_VAL: return "SNMP: inconsistent value";
    case SNMP_ERROR_RESOURCE_UNAVAIL: return "SNMP: agent resource unavailable";
    case SNMP_ERROR_COMITFAIL: return "SNMP: commit failed";
    case SNMP_ERROR_UNDO_FAIL: return "SNMP: undo failed";
    case SNMP_ERROR_AUTH_ERR: return "SNMP: authorization error";
    case SNMP_ERROR_NOT_WRITEABLE: return "SNMP: not writable";
    case SNMP_ERROR_INCONSIS_NAME: return "SNMP: inconsistent name";
    default: return "SNMP: unknown error";
    }
}

int Snmp::get(Pdu& pdu, const SnmpTarget& target)
{
    return Request(SNMP_MSG_GET, pdu, target, 0, 0);
}

int Snmp::get_next(Pdu& pdu, const SnmpTarget& target)
{
    return Request(SNMP_MSG_GETNEXT, pdu, target, 0, 0);
}

int Snmp::get_bulk(Pdu& pdu, const SnmpTarget& target, int nonRepeaters, int maxReps)
{
    if (target.get_version() == version1)
        return Request(SNMP_MSG_GETNEXT, pdu, target, 0, 0);
    return Request(SNMP_MSG_GETBULK, pdu, target, nonRepeaters, maxReps);
}

void Snmp::Close()
{
    if (m_sess)
        snmp_sess_close(m_sess);
    m_sess = nullptr;
    m_peer[0] = 0;
}

unsigned short Snmp::DefaultPort()
{
    const char* env = getenv("QVSM_SNMP_PORT");
    if (env && *env) {
        char* end = nullptr;
        long v = strtol(env, &end, 10);
        if (end && *end == 0 && v >= 1 && v <= 65535) return (unsigned short)v;
    }
    return (unsigned short)SNMP_PP_DEFAULT_PORT;
}

// Opens (or keeps) the session for the target; SNMP_CLASS_SUCCESS or an error.
int Snmp::Open(const SnmpTarget& target)
{
    const UdpAddress& a = target.m_address;
    unsigned short port = a.get_port() ? a.get_port() : DefaultPort();
    char peer[64];
    snprintf(peer, sizeof peer, "udp:%s:%u", a.get_printable(), port);
    // Time-out in microseconds; zero would never wait at all.
    long timeoutUs = (long)(target.m_timeout ? target.m_timeout : 1) * 10000L;
    const std::string& community = target.read_community();

    if (m_sess && strcmp(peer, m_peer) == 0 && (int)target.m_version == m_version && timeoutUs == m_timeoutUs &&
        target.m_retries == m_retries && community == m_community)
        return SNMP_CLASS_SUCCESS;
    Close();

    netsnmp_session s;
    snmp_sess_init(&s);
    s.version = target.m_version == version2c ? SNMP_VERSION_2c : SNMP_VERSION_1;
    s.peername = peer;
    // The library copies the community when it opens the session.
    s.community = reinterpret_cast<u_char*>(const_cast<char*>(community.c_str()));
    s.community_len = community.size();
    s.timeout = timeoutUs;
    s.retries = target.m_retries;
    s.local_port = m_localPort;
    m_sess = snmp_sess_open(&s);
    if (!m_sess)
        return SNMP_CLASS_TL_FAILED;
    memcpy(m_peer, peer, sizeof m_peer);
    m_version = (int)target.m_version;
    m_timeoutUs = timeoutUs;
    m_retries = target.m_retries;
    m_community = community;
    return SNMP_CLASS_SUCCESS;
}

int Snmp::Request(int command, Pdu& pdu, const SnmpTarget& target, int nonRepeaters, int maxReps)
{
    pdu.m_errStatus = 0;
    pdu.m_errIndex = 0;
    if (!LibReady())
        return SNMP_CLASS_RESOURCE_UNAVAIL;
    if (!target.valid())
        return SNMP_CLASS_INVALID_ADDRESS;
    if (target.m_version != version1 && target.m_version != version2c)
        return SNMP_CLASS_INVALID_TARGET;
    if (pdu.m_count == 0)
        return SNMP_CLASS_INVALID_PDU;
    for (int i = 0; i < pdu.m_count; ++i) {
        const Vb& vb = pdu.m_vbs[(size_t)i];
        if (!vb.valid() || vb.get_oid().len() > MAX_OID_LEN)
            return SNMP_CLASS_INVALID_OID;
    }
    int rc = Open(target);
    if (rc != SNMP_CLASS_SUCCESS)
        return rc;

    netsnmp_pdu* req = snmp_pdu_create(command);
    if (!req)
        return SNMP_CLASS_RESOURCE_UNAVAIL;
    if (command == SNMP_MSG_GETBULK) {
        req->non_repeaters = nonRepeaters < 0 ? 0 : nonRepeaters;
        req->max_repetitions = maxReps < 0 ? 0 : maxReps;
    }
    oid name[MAX_OID_LEN];
    for (int i = 0; i < pdu.m_count; ++i) {
        const Oid& o = pdu.m_vbs[(size_t)i].get_oid();
        for (unsigned long i = 0; i < o.len(); ++i)
            name[i] = (oid)o[i];
        if (!snmp_add_null_var(req, name, o.len())) {
            snmp_free_pdu(req);
            return SNMP_CLASS_RESOURCE_UNAVAIL;
        }
    }

    // The library frees the request in every case.
    netsnmp_pdu* resp = nullptr;
    int st = snmp_sess_synch_response(m_sess, req, &resp);
    if (st != STAT_SUCCESS || !resp) {
        if (resp)
            snmp_free_pdu(resp);
        if (st == STAT_TIMEOUT)
            return SNMP_CLASS_TIMEOUT;
        Close();  // a broken socket is not reused
        return SNMP_CLASS_TL_FAILED;
    }
    pdu.m_errStatus = (int)resp->errstat;
    pdu.m_errIndex = (int)resp->errindex;
    if (resp->errstat != SNMP_ERR_NOERROR) {
        int err = (int)resp->errstat;
        snmp_free_pdu(resp);
        return err > 0 ? err : SNMP_CLASS_ERROR;
    }
    // The answer's bindings replace the request's, in the PDU's own storage.
    int n = 0;
    for (const netsnmp_variable_list* v = resp->variables; v; v = v->next_variable) {
        pdu.Grow(n + 1);
        VbAccess::Fill(pdu.m_vbs[(size_t)n++], v);
    }
    pdu.m_count = n;
    snmp_free_pdu(resp);
    return SNMP_CLASS_SUCCESS;
}

}  // namespace Snmp_pp
