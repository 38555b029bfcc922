// Certification requests (PKCS #10, RFC 2986): making one, and reading the
// parts of one that a certificate is issued from.
#include <cstring>

#include "asn1/asn1.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "rsa/rsa.h"
#include "util/emem.h"
#include "x509/make_int.h"

namespace velt::x509 {

using namespace mk;

namespace {

inline constexpr uint8_t kOidKeyUsage[] = {0x55, 0x1D, 0x0F};
inline constexpr uint8_t kOidAltName[] = {0x55, 0x1D, 0x11};
inline constexpr uint8_t kOidExtKeyUsage[] = {0x55, 0x1D, 0x25};
inline constexpr uint8_t kOidExtReq[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x0E};

template <size_t N>
bool oid_is(const Tlv& oid, const uint8_t (&want)[N]) {
    return oid.tag == 0x06 && oid.len == N && std::memcmp(oid.value, want, N) == 0;
}

bool empty(const char* s) {
    return !s || !*s;
}

// The signature-table row an AlgorithmIdentifier names (for RSASSA-PSS the
// row of its hash, with the MGF1 hash checked); null when none.
const sig::SigAlgRow* row_of(const Tlv& algId, long* options) {
    *options = 0;
    Reader r(algId);
    Tlv oid;
    if (!r.next(oid) || oid.tag != 0x06) return nullptr;
    Der want = copy(oid);
    size_t count = 0;
    const sig::SigAlgRow* rows = sig::sigAlgTable(&count);
    for (size_t i = 0; i < count; ++i) {
        const sig::SigAlgRow& row = rows[i];
        if (sig::sigIdIsDsa(row.id) || oid_der(row.oidName) != want) continue;
        if (!sig::sigIdIsPss(row.id)) return &row;
        RsaPssParams p;
        if (rsapssGetParamsDer(&p, algId.start, algId.total, false) != 0 || p.trailer != 1) return nullptr;
        for (size_t j = 0; j < count; ++j) {
            if (sig::sigIdIsPss(rows[j].id) && rows[j].hashAlg == p.hashAlg) {
                if (p.mgfHashAlg == p.hashAlg) return &rows[j];
                if (p.mgfHashAlg == 0) {
                    *options = 0x800000;  // MGF1 with SHA-1
                    return &rows[j];
                }
                return nullptr;
            }
        }
        return nullptr;
    }
    return nullptr;
}

// Checks a signature over data with the key of a SubjectPublicKeyInfo:
// 0, 36 for a key that cannot be used, 22 otherwise.
long verify_with_spki(const Der& spki, const Tlv& algId, const uint8_t* data, size_t n, const uint8_t* sigv,
                      size_t siglen) {
    long options = 0;
    const sig::SigAlgRow* row = row_of(algId, &options);
    if (!row) return SIGNATURE_ERROR;
    if (sig::sigIdIsEcc(row->id)) {
        std::string keyText = b64_string(spki.data(), spki.size());
        return sig::eccDSA_VerifyDataFromBytes(sigv, siglen, data, n, keyText.c_str(), *row,
                                               0x4000 | options) == 0
                   ? 0
                   : long(SIGNATURE_ERROR);
    }
    RsaKey* key = rsaNew();
    long rc = rsaParseSpkiDer(key, spki.data(), spki.size());
    if (rc != 0) {
        rsaFree(&key);
        return BAD_KEY_ERROR;
    }
    rc = sig::sigIdIsPss(row->id) ? sig::rsasigVerify_PSS(sigv, siglen, key, data, n, *row, options)
                                  : sig::rsasigVerify(sigv, siglen, key, data, n, *row, false);
    rsaFree(&key);
    return rc == 0 ? 0L : long(SIGNATURE_ERROR);
}

uint32_t key_usage_from(const Tlv& bits) {
    uint32_t out = 0;
    if (bits.tag != 0x03 || bits.len < 1) return 0;
    for (size_t i = 0; i < 9 && 1 + i / 8 < bits.len; ++i)
        if (bits.value[1 + i / 8] & (0x80 >> (i % 8))) out |= 1u << i;
    return out;
}

// Takes keyUsage, extKeyUsage and subjectAltName from the attributes [0]
// of a CertificationRequestInfo; false when malformed.
bool read_requested(CsrParts& parts, const Tlv& attrs) {
    Reader r(attrs);
    Tlv attr;
    while (r.next(attr)) {
        Reader a(attr);
        Tlv type, values, exts;
        if (attr.tag != 0x30 || !a.next(type) || !a.next(values)) return false;
        if (!oid_is(type, kOidExtReq)) continue;
        Reader v(values);
        if (values.tag != 0x31 || !v.next(exts) || exts.tag != 0x30) return false;
        Reader e(exts);
        Tlv ext;
        while (e.next(ext)) {
            Reader f(ext);
            Tlv oid, val;
            if (ext.tag != 0x30 || !f.next(oid) || !f.next(val)) return false;
            if (val.tag == 0x01 && !f.next(val)) return false;
            if (val.tag != 0x04) return false;
            if (oid_is(oid, kOidKeyUsage)) {
                Tlv bits;
                if (!single_element(val.value, val.len, &bits)) return false;
                parts.keyUsage = key_usage_from(bits);
            } else if (oid_is(oid, kOidExtKeyUsage)) {
                parts.extKeyUsage = copy(ext);
            } else if (oid_is(oid, kOidAltName)) {
                parts.altNames.assign(val.value, val.value + val.len);
            }
        }
    }
    return true;
}

}  // namespace

namespace mk {

long csr_parts_read(CsrParts& parts, const char* request) {
    parts = CsrParts();
    Der der;
    Tlv req, info, algId, sigBits, version, subject, spki, attrs;
    if (read_input_der(request, der) != 0 || !single_element(der.data(), der.size(), &req) ||
        req.tag != 0x30) {
        eprintf("Unable to read certificate request %s", describe(request).c_str());
        return INVALID_DATA_ERROR;
    }
    Reader r(req);
    if (!r.next(info) || !r.next(algId) || !r.next(sigBits) || info.tag != 0x30 || algId.tag != 0x30 ||
        sigBits.tag != 0x03 || sigBits.len < 1 || sigBits.value[0] != 0) {
        eprintf("Invalid certificate request");
        return INVALID_DATA_ERROR;
    }
    Reader i(info);
    if (!i.next(version) || version.tag != 0x02 || !i.next(subject) || subject.tag != 0x30 || !i.next(spki)) {
        eprintf("Invalid certificate request");
        return INVALID_DATA_ERROR;
    }
    parts.subject = copy(subject);
    parts.spki = copy(spki);
    if (!is_spki(parts.spki)) {
        eprintf("Error with subject public key info");
        return INVALID_DATA_ERROR;
    }
    long rc = verify_with_spki(parts.spki, algId, info.start, info.total, sigBits.value + 1, sigBits.len - 1);
    if (rc != 0) {
        eprintf("CSR signature is invalid");
        return rc == BAD_KEY_ERROR ? rc : SIGNATURE_ERROR;
    }
    if (i.next(attrs) && (attrs.tag != 0xA0 || !read_requested(parts, attrs))) {
        eprintf("Invalid attributes in certificate request");
        return INVALID_DATA_ERROR;
    }
    return 0;
}

}  // namespace mk

long x509makeCertRequest(const char* newReqFile, const char* privKeyFile, const char* distName,
                         const char* extensions, const char* password, long options) {
    if (empty(newReqFile) || empty(privKeyFile) || empty(distName) || !password) {
        eprintf("Parameter is wrong or missing");
        return BAD_PARAM_ERROR;
    }
    Signer signer;
    long rc = signer.choose(options);
    if (rc != 0) return rc;
    if (!input_present(privKeyFile)) {
        eprintf("Unable to open or read private key file %s", describe(privKeyFile).c_str());
        return OPEN_ERROR;
    }
    long err = 0;
    AsnNode* name = dn_MakeNameFromString(distName, options & kMkUtf8, &err);
    if (!name) {
        eprintf("Invalid distinguished name string");
        return BAD_PARAM_ERROR;
    }
    int64_t n = 0;
    uint8_t* p = asn_Store(name, &n);
    Der subject;
    if (p && n > 0) subject.assign(p, p + n);
    if (p) efree_mem(p);
    asn_Free(&name);
    rc = signer.open(privKeyFile, password, "Unable to read private key data");
    if (rc != 0) return rc;
    ExtSettings s;
    rc = make_ext_parse(s, extensions, ExtFor::kRequest);
    if (rc != 0) return rc;

    ExtList list;
    if (!s.altNames.empty()) list.add("subjectAltName", subject.size() == 2 ? 1 : -1, general_names(s));
    if (s.keyUsage) list.add("keyUsage", -1, key_usage_bits(s.keyUsage));
    if (!s.extKeyUsage.empty()) list.add("extKeyUsage", s.extKeyUsageCritical ? 1 : -1, ext_key_usage(s));
    for (const ExtraExtension& x : s.extras) list.add(oid_der(x.oid.c_str()), x.critical ? 1 : -1, x.der);
    rc = list.check();
    if (rc != 0) return rc;

    Der info = uint_der(uint64_t(0));
    add(info, subject);
    add(info, signer.spki());
    if (!list.empty()) {
        Der attr = oid_der("extensionRequest");
        add(attr, tlv(0x31, list.sequence()));
        add(info, tlv(0xA0, seq(attr)));
    } else if (!(options & kMkReqNoAttrs)) {
        add(info, Der{0xA0, 0x00});
    }
    info = seq(info);
    std::vector<uint8_t> signature;
    rc = signer.sign(info.data(), info.size(), signature);
    if (rc != 0) {
        eprintcatf("Unable to sign certificate");
        return rc;
    }
    const Der algId = signer.alg_id();
    Der body = info;
    add(body, algId);
    Der bits{0};
    add(bits, signature);
    add(body, tlv(0x03, bits));
    return write_output(newReqFile, seq(body), (options & kMkFormatBin) ? nullptr : "CERTIFICATE REQUEST");
}

}  // namespace velt::x509
