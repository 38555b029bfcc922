// Answers about a certificate: dates, serial number, names, digests, the
// 22 query keywords over its fields and extensions (RFC 5280 section 4.2),
// and the conversions between a certificate file and a base64 string.
// Results are lengths or numbers, or negative error codes.
#include <strings.h>

#include <cstring>

#include "encode/encode.h"
#include "encode/pem.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "rsa/rsa.h"
#include "sig/sig.h"
#include "util/emem.h"
#include "util/safe_write.h"
#include "x509/x509.h"

namespace {

constexpr long kDecimal = 0x8000;
constexpr long kGetType = 0x100000;
constexpr long kFormatPem = 0x10000;

bool empty(const char* s) {
    return !s || !*s;
}

bool is_universal(const AsnNode* n, uint32_t tag) {
    return n && (n->id & 0xC0) == 0 && n->tag == tag;
}

// Output convention: the buffer is emptied first; a null buffer or a
// declared length of 0 or less asks for the length; a result that does not
// fit whole is error 30.
long put(char* out, long max, const std::string& s) {
    if (out && max > 0) out[0] = '\0';
    if (!out || max <= 0) return long(s.size());
    if (long(s.size()) > max) {
        eprintf("Not enough room in output buffer: %ld characters needed", long(s.size()));
        return -SHORT_BUF_ERROR;
    }
    std::memcpy(out, s.data(), s.size());
    out[s.size()] = '\0';
    return long(s.size());
}

std::string hex_lower(const uint8_t* p, size_t n) {
    return n ? hex_string(p, n, false) : std::string();
}

// A certificate read with its fields located; error holds the negative
// code when reading failed.
struct Cert {
    AsnNode* chain = nullptr;
    X509Parts parts;
    long error = 0;
    explicit Cert(const char* s) {
        long rc = 0;
        chain = x509readCertFromFileOrString(s, &rc);
        if (!chain) {
            error = rc ? -rc : -INTERNAL_ERROR;
            return;
        }
        rc = x509locate(chain, &parts);
        if (rc != 0) error = -rc;
    }
    ~Cert() { asn_Free(&chain); }
    Cert(const Cert&) = delete;
    Cert& operator=(const Cert&) = delete;
};

// The parsed value of an extension (freed on scope exit).
struct Ext {
    AsnNode* v;
    Ext(AsnNode* chain, const char* name) : v(x509findExtension(chain, name)) {}
    ~Ext() { asn_Free(&v); }
    Ext(const Ext&) = delete;
    Ext& operator=(const Ext&) = delete;
};

std::string iso_time(const AsnNode* t, long* error) {
    struct tm tm {};
    char buf[32];
    if (asn_ZuluTime2tm(t, &tm) != 0 || isotime_tm2isogmt(buf, sizeof buf, &tm) != 20) {
        *error = -INVALID_DATA_ERROR;
        return "";
    }
    return std::string(buf, 20);
}

std::string validity_time(Cert& c, int which, long* error) {
    auto t = x509children(c.parts.validity);
    if (!c.parts.validity || t.size() != 2) {
        eprintf("No Validity in cert");
        *error = -INVALID_DATA_ERROR;
        return "";
    }
    std::string s = iso_time(t[size_t(which)], error);
    if (*error) eprintf("Cannot find time in cert");
    return s;
}

std::string serial_text(const AsnNode* serial, long options, long* error) {
    if (!serial || !serial->data || serial->length < 1) {
        eprintf("No Serial Number found in cert");
        *error = -BAD_FORMAT_ERROR;
        return "";
    }
    if (!(options & kDecimal)) return hex_lower(serial->data, size_t(serial->length));
    BdNumber* b = bdNew();
    bdConvFromOctets(b, serial->data, size_t(serial->length));
    std::string s(size_t(serial->length) * 3 + 2, '\0');
    size_t n = bdConvToDecimal(b, s.data(), s.size());
    bdFree(&b);
    s.resize(std::min(n, s.size() - 1));
    return s;
}

std::string name_text(AsnNode* name, const char* delimiter, long options, long* error) {
    if (!name) {
        eprintf("No Distinguished Name found in cert");
        *error = -BAD_FORMAT_ERROR;
        return "";
    }
    const char delim[2] = {empty(delimiter) ? ';' : delimiter[0], '\0'};
    long n = x509getDNStringFromAsn(nullptr, 0, name, delim, options);
    if (n < 0) {
        *error = n;
        return "";
    }
    std::string s(size_t(n), '\0');
    if (n > 0) x509getDNStringFromAsn(s.data(), n, name, delim, options);
    return s;
}

const char* const kKeyUsageNames[] = {"digitalSignature", "nonRepudiation", "keyEncipherment",
                                      "dataEncipherment", "keyAgreement",   "keyCertSign",
                                      "cRLSign",          "encipherOnly",   "decipherOnly"};

long key_usage_bits(AsnNode* chain) {
    Ext ku(chain, "keyUsage");
    if (!ku.v || !is_universal(ku.v, 3)) return 0;
    return long(asn_BitString2Long(ku.v) & 0x1FF);
}

// The first [tag] element anywhere inside a value, as text.
std::string first_tagged_text(AsnNode* value, uint32_t tag) {
    for (AsnNode* p = value; p; p = p->next) {
        if (asn_isContextSpecific(p) && p->tag == tag && !asn_isConstructed(p) && p->data)
            return std::string(reinterpret_cast<const char*>(p->data), size_t(p->length));
    }
    return "";
}

std::string ip_text(const AsnNode* n) {
    char buf[64];
    if (n->length == 4) {
        std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", n->data[0], n->data[1], n->data[2], n->data[3]);
        return buf;
    }
    if (n->length == 16) {
        std::string s;
        for (int i = 0; i < 16; i += 2) {
            std::snprintf(buf, sizeof buf, "%s%02x%02x", i ? ":" : "", n->data[i], n->data[i + 1]);
            s += buf;
        }
        return s;
    }
    return "(invalid length!)";
}

std::string san_text(AsnNode* chain) {
    Ext san(chain, "subjectAltName");
    if (!san.v) return "";
    std::string out;
    for (AsnNode* g : x509children(san.v)) {
        if (!asn_isContextSpecific(g)) continue;
        std::string item;
        const bool prim = !asn_isConstructed(g) && g->data;
        auto text = [&] {
            return prim ? std::string(reinterpret_cast<const char*>(g->data), size_t(g->length)) : "";
        };
        switch (g->tag) {
            case 1:
                item = "rfc882Name=" + text();
                break;
            case 2:
                item = "dNSName=" + text();
                break;
            case 6:
                item = "uRI=" + text();
                break;
            case 7:
                item = "iPAddress=" + (prim ? ip_text(g) : std::string("(invalid length!)"));
                break;
            case 0:
                item = "otherName=(present)";
                break;
            case 3:
                item = "x400Address=(present)";
                break;
            case 4:
                item = "directoryName=(present)";
                break;
            case 5:
                item = "ediPartyName=(present)";
                break;
            case 8:
                item = "registeredID=(present)";
                break;
            default:
                item = "(unknown tag)=(present)";
        }
        if (!out.empty()) out += ";";
        out += item;
    }
    return out;
}

std::string eku_text(AsnNode* chain) {
    Ext eku(chain, "extKeyUsage");
    std::string out;
    if (!eku.v) return out;
    for (AsnNode* o : x509children(eku.v)) {
        if (!is_universal(o, 6)) continue;
        if (!out.empty()) out += ",";
        out += x509oidName(o);
    }
    return out;
}

// The hash row of the outer signature algorithm (the parameters' hash for
// rsaPSS); null when none.
const velt::sig::SigAlgRow* sig_row(Cert& c) {
    const std::string name = x509getAlgorithmName(c.parts.outerSigAlg);
    if (name == "rsaPSS" || name == "rsassaPss" || name == "RSASSA-PSS") {
        RsaPssParams prm;
        if (rsapssGetParams(&prm, c.parts.outerSigAlg) != 0) return nullptr;
        return velt::sig::sigPtrToSigAlgByName((std::string("RSA-PSS-") + prm.hashName).c_str());
    }
    const long id = velt::sig::sigAlgIdFromOid(name.c_str());
    if (id < 0 || name == "rsaEncryption") return nullptr;
    return velt::sig::sigPtrToSigAlgById(id);
}

struct QueryRow {
    const char* keyword;
    int type;
};
const QueryRow kQueries[] = {
    {"version", 1},
    {"serialNumber", 2},
    {"signatureAlgorithm", 2},
    {"signatureValue", 2},
    {"sigAlgID", 1},
    {"keyUsageString", 2},
    {"keyUsageFlags", 1},
    {"notBefore", 2},
    {"notAfter", 2},
    {"issuerName", 2},
    {"subjectName", 2},
    {"subjectPublicKeyAlgorithm", 2},
    {"subjectKeyIdentifier", 2},
    {"authorityKeyIdentifier", 2},
    {"rfc822Name", 2},
    {"isCA", 1},
    {"extKeyUsageString", 2},
    {"cRLDistributionPointsURI", 2},
    {"authorityInfoAccessURI", 2},
    {"subjectAltName", 2},
    {"hashAlgorithm", 2},
    {"pssParams", 2},
};
constexpr int kQueryCount = int(sizeof kQueries / sizeof kQueries[0]);

// Keyword index of a query, or a negative code: leading blanks and tabs
// skipped, at most 31 characters, cut at the first "/" and blank; a "/N"
// suffix needs N of 1 or more.
int parse_query(const char* query) {
    while (*query == ' ' || *query == '\t') ++query;
    std::string s(query, std::min<size_t>(std::strlen(query), 31));
    size_t slash = s.find('/');
    if (slash != std::string::npos) {
        if (std::atol(s.c_str() + slash + 1) < 1) {
            eprintf("'%s' is not a valid query", s.c_str());
            return -BAD_QUERY_ERROR;
        }
        s.resize(slash);
    }
    size_t blank = s.find(' ');
    if (blank != std::string::npos) s.resize(blank);
    for (int i = 0; i < kQueryCount; ++i) {
        if (strncasecmp(s.c_str(), kQueries[i].keyword, std::strlen(kQueries[i].keyword)) == 0) return i;
    }
    eprintf("'%s' is not a valid query", s.c_str());
    return -BAD_QUERY_ERROR;
}

}  // namespace

long x509queryCert(char* out, long max, const char* cert, const char* query, long options) {
    if (out && max > 0) out[0] = '\0';
    if (empty(query)) return -BAD_PARAM_ERROR;
    const int id = parse_query(query);
    if (id < 0) return id;
    if (options & kGetType) return kQueries[id].type;
    if (empty(cert)) return -BAD_PARAM_ERROR;
    Cert c(cert);
    if (c.error) return c.error;
    X509Parts& p = c.parts;
    long err = 0;
    std::string s;
    switch (id) {
        case 0: {  // version
            auto v = x509children(p.version);
            if (!p.version) return 1;
            if (v.size() != 1 || !is_universal(v[0], 2)) return -BAD_FORMAT_ERROR;
            return long(asn_Integer2Long(v[0]) & 0xFFFF) + 1;
        }
        case 1:
            s = serial_text(p.serial, options, &err);
            break;
        case 2:
            s = x509getAlgorithmName(p.outerSigAlg);
            break;
        case 3:
            if (p.signature && p.signature->data && p.signature->length > 1)
                s = hex_lower(p.signature->data + 1, size_t(p.signature->length - 1));
            break;
        case 4: {
            const velt::sig::SigAlgRow* row = sig_row(c);
            if (!row) {
                eprintf("No match found for signature algorithm");
                return -NO_MATCH_ERROR;
            }
            return row->id;
        }
        case 5: {
            const long bits = key_usage_bits(c.chain);
            for (int i = 0; i < 9; ++i) {
                if (!(bits & (1L << i))) continue;
                if (!s.empty()) s += ",";
                s += kKeyUsageNames[i];
            }
            break;
        }
        case 6:
            return key_usage_bits(c.chain);
        case 7:
        case 8:
            s = validity_time(c, id - 7, &err);
            break;
        case 9:
            s = name_text(p.issuer, ";", options, &err);
            break;
        case 10:
            s = name_text(p.subject, ";", options, &err);
            break;
        case 11: {
            auto f = x509children(p.spki);
            if (!f.empty()) s = x509getAlgorithmName(f[0]);
            break;
        }
        case 12: {
            Ext ski(c.chain, "subjectKeyIdentifier");
            if (ski.v && is_universal(ski.v, 4) && ski.v->data)
                s = hex_lower(ski.v->data, size_t(ski.v->length));
            break;
        }
        case 13: {
            Ext aki(c.chain, "authorityKeyIdentifier");
            for (AsnNode* f : x509children(aki.v)) {
                if (asn_isContextSpecific(f) && f->tag == 0 && !asn_isConstructed(f) && f->data) {
                    s = hex_lower(f->data, size_t(f->length));
                    break;
                }
            }
            break;
        }
        case 14: {
            Ext san(c.chain, "subjectAltName");
            for (AsnNode* g : x509children(san.v)) {
                if (asn_isContextSpecific(g) && g->tag == 1 && !asn_isConstructed(g) && g->data) {
                    s.assign(reinterpret_cast<const char*>(g->data), size_t(g->length));
                    break;
                }
            }
            break;
        }
        case 15: {
            Ext bc(c.chain, "basicConstraints");
            auto f = x509children(bc.v);
            return !f.empty() && is_universal(f[0], 1) && asn_BooleanValue(f[0]) ? 1 : 0;
        }
        case 16:
            s = eku_text(c.chain);
            break;
        case 17: {
            Ext cdp(c.chain, "cRLDistributionPoints");
            s = first_tagged_text(cdp.v, 6);
            break;
        }
        case 18: {
            Ext aia(c.chain, "authorityInfoAccess");
            s = first_tagged_text(aia.v, 6);
            break;
        }
        case 19:
            s = san_text(c.chain);
            break;
        case 20: {
            const std::string name = x509getAlgorithmName(p.outerSigAlg);
            const velt::sig::SigAlgRow* row = sig_row(c);
            if (name == "dsaWithSha1")
                s = "sha1";
            else if (row)
                s = row->hashName;
            break;
        }
        case 21: {
            const std::string name = x509getAlgorithmName(p.outerSigAlg);
            RsaPssParams prm;
            if (name == "rsaPSS" && rsapssGetParams(&prm, p.outerSigAlg) == 0) s = rsapssParamString(&prm);
            break;
        }
    }
    if (err) return err;
    return put(out, max, s);
}

long x509keyUsageFlags(const char* cert) {
    if (empty(cert)) return -BAD_PARAM_ERROR;
    Cert c(cert);
    if (c.error) return c.error;
    return key_usage_bits(c.chain);
}

long x509certDate(char* out, long max, const char* cert, int which) {
    if (out && max > 0) out[0] = '\0';
    if (empty(cert)) return -BAD_PARAM_ERROR;
    Cert c(cert);
    if (c.error) return c.error;
    long err = 0;
    std::string s = validity_time(c, which, &err);
    return err ? err : put(out, max, s);
}

long x509certSerialNumber(char* out, long max, const char* cert, long options) {
    if (out && max > 0) out[0] = '\0';
    if (empty(cert)) return -BAD_PARAM_ERROR;
    Cert c(cert);
    if (c.error) return c.error;
    long err = 0;
    std::string s = serial_text(c.parts.serial, options, &err);
    return err ? err : put(out, max, s);
}

long x509certName(char* out, long max, const char* cert, const char* delimiter, long options, bool subject) {
    if (out && max > 0) out[0] = '\0';
    if (empty(cert)) return -BAD_PARAM_ERROR;
    Cert c(cert);
    if (c.error) return c.error;
    long err = 0;
    std::string s = name_text(subject ? c.parts.subject : c.parts.issuer, delimiter, options, &err);
    return err ? err : put(out, max, s);
}

namespace {

// Digest of DER octets as lower-case hexadecimal, whole or not at all.
long digest_hex(char* out, long max, const uint8_t* der, size_t n, long options) {
    uint8_t d[velt::hash::kMaxDigest];
    long len = hashBytes(d, sizeof d, der, long(n), options);
    if (len < 0) return len;
    return put(out, max, hex_lower(d, size_t(len)));
}

}  // namespace

long x509certThumb(char* out, long max, const char* cert, long options) {
    if (out && max > 0) out[0] = '\0';
    if (empty(cert)) return -BAD_PARAM_ERROR;
    std::vector<uint8_t> der;
    long rc = x509readCertDer(der, cert);
    if (rc != 0) return -rc;
    return digest_hex(out, max, der.data(), der.size(), options);
}

long x509hashIssuerAndSN(char* out, long max, const char* cert, long options) {
    if (out && max > 0) out[0] = '\0';
    if (max < 0) return -BAD_PARAM_ERROR;
    if (empty(cert)) return -BAD_PARAM_ERROR;
    Cert c(cert);
    if (c.error) return c.error;
    AsnNode* ias = x509getIssuerAndSN(c.chain);
    if (!ias) {
        eprintf("No Issuer and Serial Number found in cert");
        return -BAD_FORMAT_ERROR;
    }
    int64_t n = 0;
    uint8_t* der = asn_Store(ias, &n);
    asn_Free(&ias);
    if (!der) return -BAD_FORMAT_ERROR;
    long rc = digest_hex(out, max, der, size_t(n), options);
    efree_mem(der);
    return rc;
}

long x509readStringFromFile(char* out, long max, const char* cert, long) {
    if (out && max > 0) out[0] = '\0';
    if (empty(cert)) return -BAD_PARAM_ERROR;
    std::vector<uint8_t> der;
    long rc = x509readCertDer(der, cert);
    if (rc != 0) return -rc;
    return put(out, max, b64_string(der.data(), der.size()));
}

long x509saveFileFromString(const char* newFile, const char* certString, long options) {
    if (empty(newFile) || empty(certString)) return -BAD_PARAM_ERROR;
    AsnNode* chain = asn_FromBase64(certString);
    if (!chain || x509checkCertShape(chain) != 0) {
        asn_Free(&chain);
        eprintf("Not valid X.509 data");
        return -INVALID_DATA_ERROR;
    }
    int64_t n = 0;
    uint8_t* der = asn_Store(chain, &n);
    asn_Free(&chain);
    if (!der) return -INVALID_DATA_ERROR;
    long rc = safe_write_file(newFile, der, size_t(n), velt::WriteMode::kPublic);
    efree_mem(der);
    if (rc != 0) {
        eprintf("Cannot create file '%s'", newFile);
        return -CREATE_ERROR;
    }
    if ((options & kFormatPem) && PEM_ConvertFileFromBinary(newFile, "CERTIFICATE") != 0) {
        eprintf("Cannot create file '%s'", newFile);
        return -CREATE_ERROR;
    }
    return 0;
}
