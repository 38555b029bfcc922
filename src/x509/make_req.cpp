// Certification requests (PKCS #10, RFC 2986): making one, and reading the
// parts of one that a certificate is issued from.
#include <cstring>

#include "asn1/asn1.h"
#include "frame/error.h"
#include "rsa/rsa.h"
#include "util/emem.h"
#include "x509/make_int.h"
#include "x509/x509.h"

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
    // The request's signature with its own key (RFC 2986 proof of
    // possession), by the certificate module's verifier.
    long rc = x509verifyWithCert(request, "");
    if (rc != 0) {
        eprintcatf("CSR signature is invalid");
        return rc == BAD_KEY_ERROR ? long(BAD_KEY_ERROR) : long(SIGNATURE_ERROR);
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
    for (const ExtraExtension& x : s.extras) list.add(der_oid(x.oid.c_str()), x.critical ? 1 : -1, x.der);
    rc = list.check();
    if (rc != 0) return rc;

    Der info = der_uint(uint64_t(0));
    der_append(info, subject);
    der_append(info, signer.spki());
    if (!list.empty()) {
        Der attr = der_oid("extensionRequest");
        der_append(attr, der_tlv(0x31, list.sequence()));
        der_append(info, der_tlv(0xA0, der_tlv(0x30, attr)));
    } else if (!(options & kMkReqNoAttrs)) {
        der_append(info, Der{0xA0, 0x00});
    }
    info = der_tlv(0x30, info);
    std::vector<uint8_t> signature;
    rc = signer.sign(info.data(), info.size(), signature);
    if (rc != 0) {
        eprintcatf("Unable to sign certificate");
        return rc;
    }
    const Der algId = signer.alg_id();
    Der body = info;
    der_append(body, algId);
    Der bits{0};
    der_append(bits, signature);
    der_append(body, der_tlv(0x03, bits));
    return write_output(newReqFile, der_tlv(0x30, body),
                        (options & kMkFormatBin) ? nullptr : "CERTIFICATE REQUEST");
}

}  // namespace velt::x509
