// Object identifiers: the name table, dotted text to content octets and back
// (X.690 section 8.19). Arcs of any size are converted exactly (for example
// the 128-bit UUID arcs under 2.25 of ITU-T X.667), and the first two arcs
// form one subidentifier 40 x first + second written base 128 like any
// other, so 2.48 and above take more than one octet.
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "util/strl.h"

namespace {

struct Row {
    const char* name;
    const char* dotted;
};

// Lookups in both directions take the first matching row, so row order
// decides duplicates.
constexpr Row kRows[] = {
    {"rsaEncryption", "1.2.840.113549.1.1.1"},
    {"rsaEncryption", "2.5.8.1.1"},
    {"pbeWithMD2AndDES-CBC", "1.2.840.113549.1.5.1"},
    {"pbeWithMD5AndDES-CBC", "1.2.840.113549.1.5.3"},
    {"pbeWithSHA1AndDES-CBC", "1.2.840.113549.1.5.10"},
    {"pbeWithMD2AndRC2-CBC", "1.2.840.113549.1.5.4"},
    {"pbeWithMD5AndRC2-CBC", "1.2.840.113549.1.5.6"},
    {"pbeWithSHA1AndRC2-CBC", "1.2.840.113549.1.5.11"},
    {"pbeWithSHAAnd3-KeyTripleDES-CBC", "1.2.840.113549.1.12.1.3"},
    {"pbeWithSHAAnd128BitRC2-CBC", "1.2.840.113549.1.12.1.5"},
    {"pbeWithSHAAnd40BitRC2-CBC", "1.2.840.113549.1.12.1.6"},
    {"pkcs-12-pkcs-8ShroudedKeyBag", "1.2.840.113549.1.12.10.1.2"},
    {"pkcs-12-certBag", "1.2.840.113549.1.12.10.1.3"},
    {"md2", "1.2.840.113549.2.2"},
    {"md5", "1.2.840.113549.2.5"},
    {"sha1", "1.3.14.3.2.26"},
    {"sha256", "2.16.840.1.101.3.4.2.1"},
    {"sha384", "2.16.840.1.101.3.4.2.2"},
    {"sha512", "2.16.840.1.101.3.4.2.3"},
    {"sha224", "2.16.840.1.101.3.4.2.4"},
    {"sha3-224", "2.16.840.1.101.3.4.2.7"},
    {"sha3-256", "2.16.840.1.101.3.4.2.8"},
    {"sha3-384", "2.16.840.1.101.3.4.2.9"},
    {"sha3-512", "2.16.840.1.101.3.4.2.10"},
    {"shake128", "2.16.840.1.101.3.4.2.11"},
    {"shake256", "2.16.840.1.101.3.4.2.12"},
    {"md2WithRSAEncryption", "1.2.840.113549.1.1.2"},
    {"md5WithRSAEncryption", "1.2.840.113549.1.1.4"},
    {"sha1WithRSAEncryption", "1.2.840.113549.1.1.5"},
    {"sha1WithRSAEncryption", "1.3.14.3.2.29"},
    {"sha-1WithRSAEncryption", "1.3.14.3.2.29"},
    {"sha256WithRSAEncryption", "1.2.840.113549.1.1.11"},
    {"sha384WithRSAEncryption", "1.2.840.113549.1.1.12"},
    {"sha512WithRSAEncryption", "1.2.840.113549.1.1.13"},
    {"sha224WithRSAEncryption", "1.2.840.113549.1.1.14"},
    {"dsa", "1.2.840.10040.4.1"},
    {"dsaWithSha1", "1.2.840.10040.4.3"},
    {"dsaWithSha224", "2.16.840.1.101.3.4.3.1"},
    {"dsaWithSha256", "2.16.840.1.101.3.4.3.2"},
    {"pkcs5PBES2", "1.2.840.113549.1.5.13"},
    {"pkcs5PBKDF2", "1.2.840.113549.1.5.12"},
    {"des-EDE3-CBC", "1.2.840.113549.3.7"},
    {"des_3CBC_pad", "1.3.36.3.1.3.2.1"},
    {"desCBC", "1.3.14.3.2.7"},
    {"rc2CBC", "1.2.840.113549.3.2"},
    {"rc5-CBCPad", "1.2.840.113549.3.9"},
    {"aes128-CBC", "2.16.840.1.101.3.4.1.2"},
    {"aes192-CBC", "2.16.840.1.101.3.4.1.22"},
    {"aes256-CBC", "2.16.840.1.101.3.4.1.42"},
    {"aes128-wrap", "2.16.840.1.101.3.4.1.5"},
    {"aes192-wrap", "2.16.840.1.101.3.4.1.25"},
    {"aes256-wrap", "2.16.840.1.101.3.4.1.45"},
    {"cms3DESwrap", "1.2.840.113549.1.9.16.3.6"},
    {"cmsRC2wrap", "1.2.840.113549.1.9.16.3.7"},
    {"aes128-GCM", "2.16.840.1.101.3.4.1.6"},
    {"aes192-GCM", "2.16.840.1.101.3.4.1.26"},
    {"aes256-GCM", "2.16.840.1.101.3.4.1.46"},
    {"hmacWithSHA1", "1.2.840.113549.2.7"},
    {"hmacWithSHA224", "1.2.840.113549.2.8"},
    {"hmacWithSHA256", "1.2.840.113549.2.9"},
    {"hmacWithSHA384", "1.2.840.113549.2.10"},
    {"hmacWithSHA512", "1.2.840.113549.2.11"},
    {"keyUsage", "2.5.29.15"},
    {"subjectAltName", "2.5.29.17"},
    {"basicConstraints", "2.5.29.19"},
    {"commonName", "2.5.4.3"},
    {"countryName", "2.5.4.6"},
    {"localityName", "2.5.4.7"},
    {"stateOrProvinceName", "2.5.4.8"},
    {"streetAddress", "2.5.4.9"},
    {"organizationName", "2.5.4.10"},
    {"organizationalUnitName", "2.5.4.11"},
    {"surname", "2.5.4.4"},
    {"serialNumber", "2.5.4.5"},
    {"givenName", "2.5.4.42"},
    {"title", "2.5.4.12"},
    {"dnQualifier", "2.5.4.46"},
    {"initials", "2.5.4.43"},
    {"pseudonym", "2.5.4.65"},
    {"generationQualifier", "2.5.4.44"},
    {"domainComponent", "0.9.2342.19200300.100.1.25"},
    {"emailAddress", "1.2.840.113549.1.9.1"},
    {"userID", "0.9.2342.19200300.100.1.1"},
    {"data", "1.2.840.113549.1.7.1"},
    {"signedData", "1.2.840.113549.1.7.2"},
    {"envelopedData", "1.2.840.113549.1.7.3"},
    {"signedAndEnvelopedData", "1.2.840.113549.1.7.4"},
    {"digestedData", "1.2.840.113549.1.7.5"},
    {"encryptedData", "1.2.840.113549.1.7.6"},
    {"contentType", "1.2.840.113549.1.9.3"},
    {"messageDigest", "1.2.840.113549.1.9.4"},
    {"signingTime", "1.2.840.113549.1.9.5"},
    {"sMIMECapabilities", "1.2.840.113549.1.9.15"},
    {"certReqExtensions", "1.3.6.1.4.1.311.2.1.14"},
    {"x509Certificate", "1.2.840.113549.1.9.22.1"},
    {"friendlyName", "1.2.840.113549.1.9.20"},
    {"localKeyID", "1.2.840.113549.1.9.21"},
    {"microsoftLocalMachineKeyset", "1.3.6.1.4.1.311.17.1"},
    {"authorityKeyIdentifier", "2.5.29.35"},
    {"subjectKeyIdentifier", "2.5.29.14"},
    {"ac-generic-hybrid", "1.0.18033.2.1.2"},
    {"kemRSA", "1.0.18033.2.2.4"},
    {"rsa-kem-spki", "1.2.840.113549.1.9.16.3.14"},
    {"kdf-kdf2", "1.0.18033.2.5.2"},
    {"kdf2", "1.3.133.16.840.9.44.1.1"},
    {"kdf3", "1.3.133.16.840.9.44.1.2"},
    {"KEMRecipientInfo", "1.2.840.113549.1.9.16.13.3"},
    {"mpeg-1", "1.3.6.1.4.1.3029.42.11172.1"},
    {"cRLDistributionPoints", "2.5.29.31"},
    {"authorityInfoAccess", "1.3.6.1.5.5.7.1.1"},
    {"extKeyUsage", "2.5.29.37"},
    {"serverAuth", "1.3.6.1.5.5.7.3.1"},
    {"clientAuth", "1.3.6.1.5.5.7.3.2"},
    {"codeSigning", "1.3.6.1.5.5.7.3.3"},
    {"emailProtection", "1.3.6.1.5.5.7.3.4"},
    {"timeStamping", "1.3.6.1.5.5.7.3.8"},
    {"ocsp", "1.3.6.1.5.5.7.48.1"},
    {"OCSPSigning", "1.3.6.1.5.5.7.3.9"},
    {"ocspBasic", "1.3.6.1.5.5.7.48.1.1"},
    {"ocspNonce", "1.3.6.1.5.5.7.48.1.2"},
    {"compressedData", "1.2.840.113549.1.9.16.1.9"},
    {"zlib", "1.2.840.113549.1.9.16.3.8"},
    {"extensionRequest", "1.2.840.113549.1.9.14"},
    {"ecdsaWithSHA1", "1.2.840.10045.4.1"},
    {"ecdsaWithSHA224", "1.2.840.10045.4.3.1"},
    {"ecdsaWithSHA256", "1.2.840.10045.4.3.2"},
    {"ecdsaWithSHA384", "1.2.840.10045.4.3.3"},
    {"ecdsaWithSHA512", "1.2.840.10045.4.3.4"},
    {"ecPublicKey", "1.2.840.10045.2.1"},
    {"secp192r1", "1.2.840.10045.3.1.1"},
    {"prime192v1", "1.2.840.10045.3.1.1"},
    {"secp256r1", "1.2.840.10045.3.1.7"},
    {"prime256v1", "1.2.840.10045.3.1.7"},
    {"secp224r1", "1.3.132.0.33"},
    {"secp384r1", "1.3.132.0.34"},
    {"secp521r1", "1.3.132.0.35"},
    {"secp256k1", "1.3.132.0.10"},
    {"sect233k1", "1.3.132.0.26"},
    {"scrypt", "1.3.6.1.4.1.11591.4.11"},
    {"rsaOAEP", "1.2.840.113549.1.1.7"},
    {"rsaPSS", "1.2.840.113549.1.1.10"},
    {"pkcs1-MGF", "1.2.840.113549.1.1.8"},
    {"rsaOAEP-pSpecified", "1.2.840.113549.1.1.9"},
    {"SigningCertificate", "1.2.840.113549.1.9.16.2.12"},
    {"SigningCertificateV2", "1.2.840.113549.1.9.16.2.47"},
    {"cmsAlgorithmProtection", "1.2.840.113549.1.9.52"},
    {"X25519", "1.3.101.110"},
    {"X448", "1.3.101.111"},
    {"Ed25519", "1.3.101.112"},
    {"Ed448", "1.3.101.113"},
    {"brainpoolP256r1", "1.3.36.3.3.2.8.1.1.7"},
    {"brainpoolP384r1", "1.3.36.3.3.2.8.1.1.11"},
    {"brainpoolP512r1", "1.3.36.3.3.2.8.1.1.13"},
    {"certificatePolicies", "2.5.29.32"},
    {"nistTestPolicy1", "2.16.840.1.101.3.2.1.48.1"},
    {"nistTestPolicy2", "2.16.840.1.101.3.2.1.48.2"},
    {"nistTestPolicy3", "2.16.840.1.101.3.2.1.48.3"},
    {"ecdhHKDF-SHA256", "1.2.840.113549.1.9.16.3.19"},
    {"ecdhHKDF-SHA384", "1.2.840.113549.1.9.16.3.20"},
    {"ecdhHKDF-SHA512", "1.2.840.113549.1.9.16.3.21"},
    {"hkdfWithSha256", "1.2.840.113549.1.9.16.3.28"},
    {"hkdfWithSha384", "1.2.840.113549.1.9.16.3.29"},
    {"hkdfWithSha512", "1.2.840.113549.1.9.16.3.30"},
    {"ecdhX963KDF-SHA1", "1.3.133.16.840.63.0.2"},
    {"ecdhX963KDF-SHA256", "1.3.132.1.11.1"},
    {"ecdhX963KDF-SHA384", "1.3.132.1.11.2"},
    {"ecdhX963KDF-SHA512", "1.3.132.1.11.3"},
    {"authEnvelopedData", "1.2.840.113549.1.9.16.1.23"},
    {"pwriKEK", "1.2.840.113549.1.9.16.3.9"},
    {"chaCha20Poly1305", "1.2.840.113549.1.9.16.3.18"},
    {"cRLDistributionPoints", "2.5.29.31"},
    {"validationParams", "1.3.6.1.4.1.2312.18.8.1"},
    {"ori-kem", "1.2.840.113549.1.9.16.13.3"},
    {"ml-kem-512-ipd", "1.3.6.1.4.1.22554.5.6.1"},
    {"ml-kem-768-ipd", "1.3.6.1.4.1.22554.5.6.2"},
    {"ml-kem-1024-ipd", "1.3.6.1.4.1.22554.5.6.3"},
    {"ml-dsa-44-ipd", "1.3.6.1.4.1.2.267.12.4.4"},
    {"ml-dsa-65-ipd", "1.3.6.1.4.1.2.267.12.6.5"},
    {"ml-dsa-87-ipd", "1.3.6.1.4.1.2.267.12.8.7"},
};

constexpr size_t kRowCount = sizeof kRows / sizeof kRows[0];
static_assert(kRowCount == 179, "OID table size");

// Unsigned big number on 32-bit limbs, least significant first.
using Big = std::vector<uint32_t>;

void big_mul_add(Big& b, uint32_t mul, uint32_t add) {
    uint64_t carry = add;
    for (auto& limb : b) {
        uint64_t v = uint64_t(limb) * mul + carry;
        limb = uint32_t(v);
        carry = v >> 32;
    }
    if (carry) b.push_back(uint32_t(carry));
}

bool big_is_zero(const Big& b) {
    for (uint32_t l : b) {
        if (l) return false;
    }
    return true;
}

uint32_t big_div_small(Big& b, uint32_t d) {
    uint64_t rem = 0;
    for (size_t i = b.size(); i-- > 0;) {
        uint64_t cur = (rem << 32) | b[i];
        b[i] = uint32_t(cur / d);
        rem = cur % d;
    }
    while (!b.empty() && b.back() == 0) b.pop_back();
    return uint32_t(rem);
}

std::string big_decimal(Big b) {
    if (big_is_zero(b)) return "0";
    std::string s;
    while (!big_is_zero(b)) {
        uint32_t r = big_div_small(b, 1000000000u);
        char part[16];
        snprintf(part, sizeof part, big_is_zero(b) ? "%u" : "%09u", r);
        s.insert(0, part);
    }
    return s;
}

// Base-128 octets of a subidentifier, most significant group first.
void put_base128(Big b, std::vector<uint8_t>& out) {
    uint8_t groups[64];
    int n = 0;
    do {
        groups[n++] = uint8_t(big_div_small(b, 128));
    } while (!big_is_zero(b) && n < 64);
    while (n > 1) out.push_back(uint8_t(0x80 | groups[--n]));
    out.push_back(groups[0]);
}

struct Table {
    std::vector<uint8_t> oct[kRowCount];
    Table() {
        for (size_t i = 0; i < kRowCount; ++i) {
            uint8_t buf[32];
            long n = oid_DottedToOctets(kRows[i].dotted, buf, sizeof buf - 1);
            oct[i].assign(buf, buf + (n > 0 ? n : 0));
        }
    }
};

const Table& table() {
    static const Table t;
    return t;
}

}  // namespace

size_t oid_TableSize() {
    return kRowCount;
}
const char* oid_TableName(size_t i) {
    return i < kRowCount ? kRows[i].name : nullptr;
}
const char* oid_TableDotted(size_t i) {
    return i < kRowCount ? kRows[i].dotted : nullptr;
}

long oid_DottedToOctets(const char* text, uint8_t* out, size_t max) {
    if (!text || !*text) return ~0L;
    // An arc longer than this cannot fit the 31-octet record anyway.
    constexpr size_t kMaxArcDigits = 80;
    std::vector<uint8_t> enc;
    const char* p = text;
    int arc = 0;
    uint32_t first = 0;
    for (;;) {
        const char* start = p;
        if (*p < '0' || *p > '9') return ~long(p - text);
        Big v{0};
        while (*p >= '0' && *p <= '9') {
            if (size_t(p - start) >= kMaxArcDigits) return ~long(p - text);
            big_mul_add(v, 10, uint32_t(*p - '0'));
            ++p;
        }
        if (*p != '.' && *p != '\0') return ~long(p - text);
        if (arc == 0) {
            if (v.size() > 1 || v[0] > 2) return ~long(start - text);
            first = v[0];
        } else {
            if (arc == 1) {
                if (first < 2 && (v.size() > 1 || v[0] > 39)) return ~long(start - text);
                big_mul_add(v, 1, 40 * first);
            }
            put_base128(v, enc);
            if (enc.size() > max) return ~long(start - text);
        }
        ++arc;
        if (*p == '\0') break;
        ++p;
        if (*p == '\0') return ~long(p - text);  // trailing dot
    }
    if (arc < 3) return ~long(p - text);
    if (out) memcpy(out, enc.data(), enc.size());
    return long(enc.size());
}

long oid_OctetsToDotted(const uint8_t* oct, size_t n, char* buf, long max) {
    if (buf && max > 0) buf[0] = '\0';
    if (!oct || !n) return -1;
    std::string s;
    Big v{0};
    bool firstArc = true;
    bool open = false;
    for (size_t i = 0; i < n; ++i) {
        // A subidentifier may not start with 0x80 (X.690 8.19.2).
        if (!open && oct[i] == 0x80) return -1;
        big_mul_add(v, 128, oct[i] & 0x7F);
        open = (oct[i] & 0x80) != 0;
        if (open) continue;
        if (firstArc) {
            Big rest = v;
            uint32_t a1;
            if (v.size() == 1 && v[0] < 80) {
                a1 = v[0] / 40;
                rest = Big{v[0] % 40};
            } else {
                a1 = 2;
                // rest = v - 80
                uint64_t borrow = 80;
                for (auto& limb : rest) {
                    uint64_t cur = limb;
                    if (cur >= borrow) {
                        limb = uint32_t(cur - borrow);
                        borrow = 0;
                        break;
                    }
                    limb = uint32_t(cur + (uint64_t(1) << 32) - borrow);
                    borrow = 1;
                }
            }
            s = std::to_string(a1) + "." + big_decimal(rest);
            firstArc = false;
        } else {
            s += '.';
            s += big_decimal(v);
        }
        v.assign(1, 0);
    }
    if (open) return -1;
    if (buf && max > 0) strlcpy(buf, s.c_str(), max);
    return long(s.size());
}

int oid_SetOID(OidRec* rec, const char* name) {
    if (!rec) return 0;
    memset(rec, 0, sizeof *rec);
    if (!name) return 0;
    const Table& t = table();
    for (size_t i = 0; i < kRowCount; ++i) {
        if (strcasecmp(kRows[i].name, name) == 0) {
            memcpy(rec->oct, t.oct[i].data(), t.oct[i].size());
            rec->length = int32_t(t.oct[i].size());
            strlcpy(rec->name, kRows[i].name, sizeof rec->name);
            return rec->length;
        }
    }
    return 0;
}

int oid_SetOIDFromDotted(OidRec* rec, const char* text) {
    if (!rec) return -1;
    memset(rec, 0, sizeof *rec);
    long n = oid_DottedToOctets(text, rec->oct, 31);
    if (n < 0) {
        memset(rec, 0, sizeof *rec);
        return int(n);
    }
    rec->length = int32_t(n);
    strlcpy(rec->name, text, sizeof rec->name);
    return rec->length;
}

int oid_SetRefAsDotString(OidRec* rec) {
    if (!rec) return 0;
    long n =
        oid_OctetsToDotted(rec->oct, size_t(rec->length > 0 ? rec->length : 0), rec->name, sizeof rec->name);
    if (n < 0) {
        rec->name[0] = '\0';
        return 0;
    }
    return int(strlen(rec->name));
}

int oid_SetRef(OidRec* rec) {
    if (!rec || rec->length <= 0 || rec->length > 31) {
        if (rec) rec->name[0] = '\0';
        return -1;
    }
    const Table& t = table();
    for (size_t i = 0; i < kRowCount; ++i) {
        if (t.oct[i].size() == size_t(rec->length) &&
            memcmp(t.oct[i].data(), rec->oct, size_t(rec->length)) == 0) {
            strlcpy(rec->name, kRows[i].name, sizeof rec->name);
            return 0;
        }
    }
    oid_SetRefAsDotString(rec);
    return -1;
}

int oid_MatchName(const OidRec* rec, const char* name) {
    return rec && name && strcasecmp(rec->name, name) == 0 ? 1 : 0;
}

const char* oid_GetRef(const OidRec* rec) {
    return rec ? rec->name : "";
}
