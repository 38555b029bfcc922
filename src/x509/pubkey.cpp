// Public keys from a certificate's (or request's) subjectPublicKeyInfo:
// RSA (RFC 3279 section 2.3.1), DSA (section 2.3.2), elliptic-curve and
// safe-curve keys (RFC 5480, RFC 8410) as public key strings.
#include <cstring>

#include "ecc/keys.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "rsa/rsa.h"
#include "sig/sig.h"
#include "util/emem.h"
#include "util/futil.h"
#include "x509/x509.h"

namespace {

bool is_universal(const AsnNode* n, uint32_t tag) {
    return n && (n->id & 0xC0) == 0 && n->tag == tag;
}

// The algorithm OID name and the BIT STRING's octets (unused-bits octet
// 0 only) of a SubjectPublicKeyInfo node.
bool spki_split(AsnNode* spki, std::string& alg, AsnNode** params, const uint8_t** key, size_t* keyLen) {
    auto f = x509children(spki);
    if (f.size() != 2 || !is_universal(f[0], 16) || !is_universal(f[1], 3) || asn_isConstructed(f[1]))
        return false;
    auto a = x509children(f[0]);
    if (a.empty() || !is_universal(a[0], 6)) return false;
    alg = x509oidName(a[0]);
    *params = a.size() > 1 ? a[1] : nullptr;
    if (f[1]->length < 1 || !f[1]->data || f[1]->data[0] != 0) return false;
    *key = f[1]->data + 1;
    *keyLen = size_t(f[1]->length - 1);
    return true;
}

// The SubjectPublicKeyInfo of a certificate, or of a request's
// CertificationRequestInfo { version, subject, subjectPKInfo, ... }, or the
// node itself when it is one.
AsnNode* find_spki(AsnNode* chain) {
    auto own = x509children(chain);
    if (is_universal(chain, 16) && own.size() == 2 && is_universal(own[0], 16) && is_universal(own[1], 3))
        return chain;  // a SubjectPublicKeyInfo itself
    X509Parts p;
    if (x509locate(chain, &p) == 0) return p.spki;
    auto top = x509children(chain);
    if (top.empty()) return nullptr;
    auto info = x509children(top[0]);
    if (info.size() >= 3 && is_universal(info[0], 2) && is_universal(info[2], 16)) return info[2];
    return nullptr;
}

std::string file_name(const char* s) {
    std::string d = describe_input(s);
    if (d.size() >= 2 && d.front() == '\'' && d.back() == '\'') d = d.substr(1, d.size() - 2);
    return d;
}

}  // namespace

AsnNode* x509getPublicKeyNode(AsnNode* certOrCsr) {
    return certOrCsr ? find_spki(certOrCsr) : nullptr;
}

AsnNode* x509getPublicKey(AsnNode* certOrCsr) {
    AsnNode* spki = certOrCsr ? find_spki(certOrCsr) : nullptr;
    return spki ? asn_ExtractCurrent(spki) : nullptr;
}

long x509getRsaFromPubKeyInfo(RsaKey* key, AsnNode* spki) {
    std::string alg;
    AsnNode* params = nullptr;
    const uint8_t* bits = nullptr;
    size_t n = 0;
    if (!key || !spki_split(spki, alg, &params, &bits, &n)) {
        eprintf("Unable to read public key");
        return BAD_KEY_ERROR;
    }
    if (alg != "rsaEncryption") {
        eprintf("Unsupported key algorithm '%s': require `rsaEncryption`", alg.c_str());
        return NOT_SUPPORTED_ERROR;
    }
    long rc = rsaParsePublicKeyDer(key, bits, n);
    if (rc == BAD_KEY_LEN_ERROR) return rc;
    if (rc != 0) {
        eprintf("Unable to read public key");
        return BAD_KEY_ERROR;
    }
    return 0;
}

long x509getRSAPubKeyFromTBS(RsaKey* key, AsnNode* tbs) {
    auto f = x509children(tbs);
    // subjectPublicKeyInfo is the fifth SEQUENCE of the TBSCertificate.
    int seqs = 0;
    for (AsnNode* n : f) {
        if (is_universal(n, 16) && ++seqs == 5) return x509getRsaFromPubKeyInfo(key, n);
    }
    eprintf("Unable to read public key");
    return BAD_KEY_ERROR;
}

long x509getRSAPublicKeyFromFile(RsaKey* key, const char* s) {
    long rc = 0;
    AsnNode* cert = x509readCertFromFileOrString(s, &rc);
    if (cert) {
        AsnNode* spki = find_spki(cert);
        rc = spki ? x509getRsaFromPubKeyInfo(key, spki) : long(BAD_KEY_ERROR);
        asn_Free(&cert);
    }
    if (rc != 0) eprintcatf("Unable to extract public key from '%s'", file_name(s).c_str());
    return rc;
}

long x509getDSAFromPubKeyInfo(velt::sig::DsaKey* key, AsnNode* spki) {
    std::string alg;
    AsnNode* params = nullptr;
    const uint8_t* bits = nullptr;
    size_t n = 0;
    if (!key || !spki_split(spki, alg, &params, &bits, &n)) {
        eprintf("Unable to read public key");
        return BAD_KEY_ERROR;
    }
    if (alg != "dsa") {
        eprintf("Unsupported key algorithm '%s': require `dsa`", alg.c_str());
        return NOT_SUPPORTED_ERROR;
    }
    // Dss-Parms ::= SEQUENCE { p, q, g INTEGER }; DSAPublicKey ::= INTEGER.
    auto pqg = x509children(params);
    AsnNode* y = asn_ReadBytes(bits, n);
    long rc = BAD_KEY_ERROR;
    if (is_universal(params, 16) && pqg.size() == 3 && is_universal(pqg[0], 2) && is_universal(pqg[1], 2) &&
        is_universal(pqg[2], 2) && is_universal(y, 2) && !y->next && y->data && pqg[0]->data &&
        pqg[1]->data && pqg[2]->data) {
        rc = velt::sig::dsaSetParams(key, pqg[0]->data, size_t(pqg[0]->length), pqg[1]->data,
                                     size_t(pqg[1]->length), pqg[2]->data, size_t(pqg[2]->length));
        if (rc == 0) rc = velt::sig::dsaSetPublicKey(key, y->data, size_t(y->length));
        if (rc != 0) rc = BAD_KEY_ERROR;
    }
    asn_Free(&y);
    if (rc != 0) eprintf("Unable to read public key");
    return rc;
}

long x509getDSAPublicKeyFromFile(velt::sig::DsaKey* key, const char* s) {
    long rc = 0;
    AsnNode* cert = x509readCertFromFileOrString(s, &rc);
    if (cert) {
        AsnNode* spki = find_spki(cert);
        rc = spki ? x509getDSAFromPubKeyInfo(key, spki) : long(BAD_KEY_ERROR);
        asn_Free(&cert);
    }
    if (rc != 0) eprintcatf("Unable to extract public key from '%s'", file_name(s).c_str());
    return rc;
}

namespace {

long ecc_key_string(std::string& out, AsnNode* spki) {
    out.clear();
    AsnNode* copy = spki ? asn_ExtractCurrent(spki) : nullptr;
    int64_t n = 0;
    uint8_t* der = copy ? asn_Store(copy, &n) : nullptr;
    asn_Free(&copy);
    long rc = BAD_KEY_ERROR;
    if (der) {
        velt::ecc::EcKey key;
        int form = velt::ecc::ecParseKeyDer(key, der, size_t(n));
        if ((form == velt::ecc::kFormEcSpki && !key.q.empty()) ||
            (form == velt::ecc::kFormSafe && !key.is_private)) {
            out = velt::ecc::ecPublicKeyString(der, size_t(n));
            rc = out.empty() ? long(BAD_KEY_ERROR) : 0;
        }
        efree_mem(der);
    }
    if (rc != 0) eprintf("Unable to read EC public key data");
    return rc;
}

}  // namespace

long x509getECCPublicKeyAsString(std::string& out, AsnNode* cert) {
    return ecc_key_string(out, cert ? find_spki(cert) : nullptr);
}

long x509getECCPublicKeyFromFile(std::string& out, const char* s) {
    out.clear();
    long rc = 0;
    AsnNode* cert = x509readCertFromFileOrString(s, &rc);
    if (cert) {
        rc = x509getECCPublicKeyAsString(out, cert);
        asn_Free(&cert);
    }
    return rc;
}

long x509publicKeyStringFromCert(std::string& keyString, const char* s) {
    keyString.clear();
    long rc = 0;
    AsnNode* cert = x509readCertFromFileOrString(s, &rc);
    if (!cert) return rc;
    AsnNode* spki = find_spki(cert);
    std::string alg;
    AsnNode* params = nullptr;
    const uint8_t* bits = nullptr;
    size_t n = 0;
    if (!spki || !spki_split(spki, alg, &params, &bits, &n)) {
        rc = BAD_KEY_ERROR;
    } else if (alg == "rsaEncryption") {
        RsaKey* key = rsaNew();
        rc = x509getRsaFromPubKeyInfo(key, spki);
        if (rc == 0) {
            long err = 0;
            keyString = rsaPublicKeyString(key, 0, &err);
            if (keyString.empty())
                rc = err == -PRNG_ERR_FAILURE ? long(PRNG_ERR_FAILURE) : long(BAD_KEY_ERROR);
        }
        rsaFree(&key);
    } else {
        rc = ecc_key_string(keyString, spki);
        if (rc != 0) rc = NOT_SUPPORTED_ERROR;
    }
    asn_Free(&cert);
    return rc;
}
