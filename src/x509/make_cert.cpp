// Certificates (RFC 5280 4.1): the builder shared by issued and
// self-signed certificates, and issuing from a certification request.
#include <cstring>
#include <ctime>

#include "asn1/asn1.h"
#include "frame/error.h"
#include "rsa/rsa.h"
#include "util/emem.h"
#include "x509/make_int.h"
#include "x509/x509.h"

namespace velt::x509 {

using namespace mk;

namespace {

bool empty(const char* s) {
    return !s || !*s;
}

// The subject's public key as a SubjectPublicKeyInfo: an SPKI as it is
// (elliptic-curve, safe-curve or RSA), or a PKCS #1 RSAPublicKey or RSA key
// string wrapped as one.
long subject_spki(Der& spki, const char* input) {
    Der der;
    if (read_input_der(input, der) == 0) {
        if (is_spki(der)) {
            spki = der;
            return 0;
        }
        RsaKey* key = rsaNew();
        if (rsaParsePublicKeyDer(key, der.data(), der.size()) == 0) spki = rsaSpkiDer(key);
        rsaFree(&key);
        if (!spki.empty()) return 0;
    }
    RsaKeyUse rsa;
    if (rsa.open_public(input) == 0) spki = rsaSpkiDer(rsa.key());
    if (!spki.empty()) return 0;
    eprintf("Invalid or unreadable public key");
    return INVALID_DATA_ERROR;
}

// True when two SubjectPublicKeyInfo values hold the same key: identical
// DER, or for RSA the same modulus and exponent.
bool same_key(const Der& a, const Der& b) {
    if (a == b) return true;
    RsaKey* ka = rsaNew();
    RsaKey* kb = rsaNew();
    bool same = rsaParseSpkiDer(ka, a.data(), a.size()) == 0 &&
                rsaParseSpkiDer(kb, b.data(), b.size()) == 0 && rsaPublicKeyDer(ka) == rsaPublicKeyDer(kb);
    rsaFree(&ka);
    rsaFree(&kb);
    return same;
}

Der chain_der(AsnNode* chain) {
    int64_t n = 0;
    uint8_t* p = asn_Store(chain, &n);
    Der out;
    if (p && n > 0) out.assign(p, p + n);
    if (p) efree_mem(p);
    return out;
}

// The fields of an issuer certificate the builder needs.
struct IssuerCert {
    Der subject;
    Der spki;
    bool hasKeyId = false;
    Der keyId;
};

// DER of one node and its contents, copied out of a chain.
Der node_der(const AsnNode* node) {
    AsnNode* copy = asn_ExtractCurrent(node);
    Der out = chain_der(copy);
    asn_Free(&copy);
    return out;
}

// The subject, subjectPublicKeyInfo and (when wantKeyId) subjectKeyIdentifier
// of an issuer certificate, through the certificate reader: 0, or 8 when the
// certificate has not the shape of one. A missing key identifier leaves
// hasKeyId false with the reader's detail text.
long read_issuer(IssuerCert& ic, const Der& der, bool wantKeyId) {
    AsnNode* cert = asn_ReadBytes(der.data(), der.size());
    X509Parts parts;
    long rc = INVALID_DATA_ERROR;
    if (cert && x509locate(cert, &parts) == 0 && parts.subject) {
        ic.subject = node_der(parts.subject);
        ic.spki = node_der(parts.spki);
        AsnNode* id = wantKeyId ? x509getSubjectKeyIdAsn(cert) : nullptr;
        if (id) {
            ic.hasKeyId = true;
            if (id->data && id->length > 0) ic.keyId.assign(id->data, id->data + id->length);
            asn_Free(&id);
        }
        rc = 0;
    }
    asn_Free(&cert);
    return rc;
}

// Validity { notBefore, notAfter }: 0 or 6.
long validity(Der& out, const ExtSettings& s, long yearsValid) {
    struct tm nb {
    }, na{};
    if (s.hasNotBefore) {
        if (isotime_iso2tmgmt(&nb, s.notBefore.c_str(), "00:00:01") != 0) {
            eprintf("notBefore time is invalid");
            return BAD_PARAM_ERROR;
        }
    } else {
        time_t now = time(nullptr);
        gmtime_r(&now, &nb);
    }
    gt_normalizetm(&nb);
    if (s.hasNotAfter) {
        if (isotime_iso2tmgmt(&na, s.notAfter.c_str(), "23:59:59") != 0) {
            eprintf("notAfter time is invalid");
            return BAD_PARAM_ERROR;
        }
    } else {
        if (yearsValid < 1 || yearsValid > 9999 - (nb.tm_year + 1900)) {
            eprintf("Invalid yearsValid value");
            return BAD_PARAM_ERROR;
        }
        na = nb;
        na.tm_year += int(yearsValid);
    }
    gt_normalizetm(&na);
    Der body = der_time(nb);
    der_append(body, der_time(na));
    out = der_tlv(0x30, body);
    return 0;
}

// The Extensions of a certificate, in the order the builder always uses.
long cert_extensions(Der& out, const ExtSettings& s, const CsrParts* csr, const IssuerCert* issuer, bool self,
                     bool emptySubject, long keyUsageFlags, long options) {
    ExtList list;
    if (!(options & kMkNoBasic)) {
        Der bc = (self || (options & kMkCaTrue)) ? der_tlv(0x30, der_bool(true)) : der_tlv(0x30, Der());
        list.add("basicConstraints", 1, bc);
    }
    uint32_t ku = (s.keyUsage | uint32_t(keyUsageFlags)) & kKeyUsageMask;
    if (ku) list.add("keyUsage", s.keyUsageNonCritical ? 0 : 1, key_usage_bits(ku));
    if (csr && !csr->extKeyUsage.empty()) {
        list.add_raw(csr->extKeyUsage);
    } else if (!s.extKeyUsage.empty()) {
        list.add("extKeyUsage", s.extKeyUsageCritical ? 1 : -1, ext_key_usage(s));
    }
    if (!s.smimeCaps.empty()) {
        Der caps;
        for (const auto& c : s.smimeCaps) der_append(caps, c);
        list.add("sMIMECapabilities", -1, der_tlv(0x30, caps));
    }
    if (issuer && (options & kMkAuthKeyId))
        list.add("authorityKeyIdentifier", -1, der_tlv(0x30, der_tlv(0x80, issuer->keyId)));
    if (s.hasSubjectKeyId) list.add("subjectKeyIdentifier", -1, der_tlv(0x04, s.subjectKeyId));
    if (s.hasPolicy)
        list.add("certificatePolicies", -1, der_tlv(0x30, der_tlv(0x30, der_oid(s.policyOid.c_str()))));
    if (s.hasCrlUri) {
        Der uri = der_tlv(0x86, reinterpret_cast<const uint8_t*>(s.crlUri.data()), s.crlUri.size());
        list.add("cRLDistributionPoints", -1,
                 der_tlv(0x30, der_tlv(0x30, der_tlv(0xA0, der_tlv(0xA0, uri)))));
    }
    if (csr && !csr->altNames.empty()) {
        list.add("subjectAltName", emptySubject ? 1 : -1, csr->altNames);
    } else if (!s.altNames.empty()) {
        list.add("subjectAltName", emptySubject ? 1 : -1, general_names(s));
    }
    for (const ExtraExtension& x : s.extras) list.add(der_oid(x.oid.c_str()), x.critical ? 1 : -1, x.der);
    long rc = list.check();
    if (rc != 0) return rc;
    out = list.empty() ? Der() : der_tlv(0xA3, list.sequence());
    return 0;
}

struct CertArgs {
    const char* newCertFile;
    const char* issuerCertFile;
    const char* subjectPubKeyFile;
    const char* privKeyFile;
    long certNum;
    long yearsValid;
    const char* distName;
    const char* extensions;
    long keyUsageFlags;
    const char* password;
    long options;
    bool self;
    const CsrParts* csr;
};

long make_cert(const CertArgs& a) {
    Signer signer;
    long rc = signer.choose(a.options);
    if (rc != 0) return rc;
    if (!input_present(a.privKeyFile)) {
        eprintf("Unable to open or read issuer's private key file %s", describe(a.privKeyFile).c_str());
        return OPEN_ERROR;
    }
    IssuerCert issuer;
    if (!a.self) {
        if (!a.csr && !input_present(a.subjectPubKeyFile)) {
            eprintf("Unable to open or read subject's public key file %s",
                    describe(a.subjectPubKeyFile).c_str());
            return OPEN_ERROR;
        }
        Der der;
        if (!input_present(a.issuerCertFile) || read_input_der(a.issuerCertFile, der) != 0) {
            eprintf("Unable to open issuer's certificate file %s", describe(a.issuerCertFile).c_str());
            return OPEN_ERROR;
        }
        if (read_issuer(issuer, der, (a.options & kMkAuthKeyId) != 0) != 0) {
            eprintf("Invalid DN in issuer certificate");
            return INVALID_DATA_ERROR;
        }
        if ((a.options & kMkAuthKeyId) && !issuer.hasKeyId) {
            eprintf("Issuer certificate has no subjectKeyIdentifier");
            return ISSUER_ERROR;
        }
    }
    Der subject;
    if (a.csr) {
        subject = a.csr->subject;
    } else {
        long err = 0;
        AsnNode* name = dn_MakeNameFromString(a.distName, a.options & kMkUtf8, &err);
        if (!name) {
            eprintf("Invalid distinguished name string");
            return BAD_PARAM_ERROR;
        }
        subject = chain_der(name);
        asn_Free(&name);
    }
    rc = signer.open(a.privKeyFile, a.password, "Unable to read RSA private key data");
    if (rc != 0) return rc;
    ExtSettings s;
    rc = make_ext_parse(s, a.extensions, ExtFor::kCertificate);
    if (rc != 0) return rc;
    Der validityDer;
    rc = validity(validityDer, s, a.yearsValid);
    if (rc != 0) return rc;

    Der spki;
    const Der* issuerName = &subject;
    if (a.self) {
        spki = signer.spki();
    } else {
        // A certificate signed by a key other than the issuer certificate's
        // would never verify.
        if (!same_key(signer.spki(), issuer.spki)) {
            eprintf("Issuer's private key does not match the issuer certificate");
            return NO_MATCH_ERROR;
        }
        issuerName = &issuer.subject;
        if (a.csr) {
            spki = a.csr->spki;
        } else if ((rc = subject_spki(spki, a.subjectPubKeyFile)) != 0) {
            return rc;
        }
    }

    const Der algId = signer.alg_id();
    const bool emptySubject = subject.size() == 2;
    const bool v1 = (a.options & kMkVersion1) != 0;
    Der exts;
    if (!v1) {
        rc = cert_extensions(exts, s, a.csr, a.self ? nullptr : &issuer, a.self, emptySubject,
                             a.keyUsageFlags, a.options);
        if (rc != 0) return rc;
    }
    Der tbs;
    if (!v1) der_append(tbs, der_tlv(0xA0, der_uint(uint64_t(2))));
    der_append(tbs, s.hasSerial ? der_uint(s.serial.data(), s.serial.size()) : der_uint(uint64_t(a.certNum)));
    der_append(tbs, algId);
    der_append(tbs, *issuerName);
    der_append(tbs, validityDer);
    der_append(tbs, subject);
    der_append(tbs, spki);
    der_append(tbs, exts);
    tbs = der_tlv(0x30, tbs);

    std::vector<uint8_t> signature;
    rc = signer.sign(tbs.data(), tbs.size(), signature);
    if (rc != 0) {
        eprintcatf("Error creating signature");
        return rc;
    }
    Der body = tbs;
    der_append(body, algId);
    Der bits{0};
    der_append(bits, signature);
    der_append(body, der_tlv(0x03, bits));
    return write_output(a.newCertFile, der_tlv(0x30, body),
                        (a.options & kMkFormatPem) ? "CERTIFICATE" : nullptr);
}

}  // namespace

long x509makeCert(const char* newCertFile, const char* issuerCertFile, const char* subjectPubKeyFile,
                  const char* issuerPrivKeyFile, long certNum, long yearsValid, const char* distName,
                  const char* extensions, long keyUsageFlags, const char* password, long options) {
    if (empty(newCertFile) || empty(issuerCertFile) || empty(subjectPubKeyFile) || empty(issuerPrivKeyFile) ||
        !password || !distName) {
        eprintf("Parameter is wrong or missing");
        return BAD_PARAM_ERROR;
    }
    CertArgs a{newCertFile, issuerCertFile, subjectPubKeyFile, issuerPrivKeyFile, certNum, yearsValid,
               distName,    extensions,     keyUsageFlags,     password,          options, false,
               nullptr};
    if (*distName) return make_cert(a);
    // An empty distinguished name issues the certificate from the request
    // in subjectPubKeyFile: its subject, key and requested extensions.
    CsrParts csr;
    long rc = csr_parts_read(csr, subjectPubKeyFile);
    if (rc != 0) return rc;
    a.csr = &csr;
    a.keyUsageFlags = long(uint32_t(keyUsageFlags) | csr.keyUsage);
    return make_cert(a);
}

long x509makeCertSelf(const char* newCertFile, const char* privKeyFile, long certNum, long yearsValid,
                      const char* distName, const char* extensions, long keyUsageFlags, const char* password,
                      long options) {
    if (empty(newCertFile) || empty(privKeyFile) || empty(distName) || !password) {
        eprintf("Parameter is wrong or missing");
        return BAD_PARAM_ERROR;
    }
    CertArgs a{newCertFile, nullptr,       nullptr,  privKeyFile, certNum, yearsValid, distName,
               extensions,  keyUsageFlags, password, options,     true,    nullptr};
    return make_cert(a);
}

}  // namespace velt::x509
