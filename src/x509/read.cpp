// Reading certificates, CRLs and certification requests, their shape tests,
// and locating the fields of a certificate (RFC 5280 section 4.1, RFC 2986).
#include <cstring>

#include "encode/pem.h"
#include "frame/error.h"
#include "util/emem.h"
#include "util/futil.h"
#include "x509/x509.h"

namespace {

// Objects shorter than this are not taken for base64 text (a file name is
// tried instead).
constexpr size_t kMinB64 = 256;

bool is_universal(const AsnNode* n, uint32_t tag) {
    return n && (n->id & 0xC0) == 0 && n->tag == tag;
}

bool is_time(const AsnNode* n) {
    return is_universal(n, 23) || is_universal(n, 24);
}

// The outer SEQUENCE with a BIT STRING at level 1 and an OBJECT IDENTIFIER
// opening the second SEQUENCE at level 1, common to all three objects.
bool signed_shape(AsnNode* chain) {
    if (!is_universal(chain, 16) || !asn_isConstructed(chain) || chain->level != 0) return false;
    auto top = x509children(chain);
    if (top.size() < 3 || !is_universal(top[0], 16) || !is_universal(top[1], 16)) return false;
    if (!is_universal(top[2], 3)) return false;
    AsnNode* oid = top[1]->next;
    return oid && oid->level == top[1]->level + 1 && is_universal(oid, 6);
}

long shape_fail(const char* message) {
    eprintf("%s", message);
    return BAD_FORMAT_ERROR;
}

AsnNode* read_checked(const char* s, long* error, long (*check)(AsnNode*)) {
    if (error) *error = 0;
    long rc = 0;
    AsnNode* chain = pemReadAsnFromFileOrString(s, kMinB64, &rc);
    if (!chain) {
        if (error) *error = rc ? -rc : long(INVALID_DATA_ERROR);
        return nullptr;
    }
    rc = check(chain);
    if (rc != 0) {
        asn_Free(&chain);
        if (error) *error = rc;
        return nullptr;
    }
    return chain;
}

}  // namespace

std::vector<AsnNode*> x509children(AsnNode* node) {
    std::vector<AsnNode*> out;
    if (!node) return out;
    for (AsnNode* p = node->next; p && p->level > node->level; p = p->next) {
        if (p->level == node->level + 1 && !asn_isEOC(p)) out.push_back(p);
    }
    return out;
}

long x509checkCertShape(AsnNode* chain) {
    if (!signed_shape(chain)) return shape_fail("Not a valid X.509 certificate");
    // The validity SEQUENCE (third SEQUENCE of the TBSCertificate) opens
    // with a UTCTime or GeneralizedTime.
    long seqs = 0;
    for (AsnNode* f : x509children(x509children(chain)[0])) {
        if (!is_universal(f, 16) || ++seqs < 3) continue;
        AsnNode* t = f->next;
        if (t && t->level == f->level + 1 && is_time(t)) return 0;
        break;
    }
    return shape_fail("Not a valid X.509 certificate");
}

long x509checkCrlShape(AsnNode* chain) {
    if (signed_shape(chain)) {
        for (AsnNode* f : x509children(x509children(chain)[0])) {
            if (is_time(f)) return 0;
        }
    }
    return shape_fail("Not a valid CRL");
}

long x509checkCsrShape(AsnNode* chain) {
    if (signed_shape(chain)) {
        auto info = x509children(x509children(chain)[0]);
        if (!info.empty() && is_universal(info[0], 2) && info[0]->length == 1 && info[0]->data &&
            info[0]->data[0] == 0)
            return 0;
    }
    return shape_fail("Not a valid certificate signing request");
}

AsnNode* x509readCertFromFileOrString(const char* s, long* error) {
    return read_checked(s, error, x509checkCertShape);
}
AsnNode* x509readCrlFromFileOrString(const char* s, long* error) {
    return read_checked(s, error, x509checkCrlShape);
}
AsnNode* x509readCsrFromFileOrString(const char* s, long* error) {
    return read_checked(s, error, x509checkCsrShape);
}

long x509readCertDer(std::vector<uint8_t>& der, const char* s) {
    der.clear();
    long rc = 0;
    AsnNode* cert = x509readCertFromFileOrString(s, &rc);
    if (!cert) return rc;
    int64_t n = 0;
    uint8_t* p = asn_Store(cert, &n);
    asn_Free(&cert);
    if (!p) return INVALID_DATA_ERROR;
    der.assign(p, p + n);
    efree_mem(p);
    return 0;
}

long x509locate(AsnNode* cert, X509Parts* parts) {
    *parts = X509Parts{};
    auto top = x509children(cert);
    if (top.size() < 3 || !is_universal(top[0], 16)) return shape_fail("Not a valid X.509 certificate");
    parts->tbs = top[0];
    parts->outerSigAlg = is_universal(top[1], 16) ? top[1] : nullptr;
    parts->signature = is_universal(top[2], 3) ? top[2] : nullptr;
    auto f = x509children(top[0]);
    size_t i = 0;
    if (i < f.size() && asn_isContextSpecific(f[i]) && f[i]->tag == 0) parts->version = f[i++];
    if (i < f.size() && is_universal(f[i], 2)) parts->serial = f[i++];
    AsnNode** seqs[] = {&parts->innerSigAlg, &parts->issuer, &parts->validity, &parts->subject, &parts->spki};
    for (AsnNode** slot : seqs) {
        if (i < f.size() && is_universal(f[i], 16)) *slot = f[i++];
    }
    for (; i < f.size(); ++i) {
        if (asn_isContextSpecific(f[i]) && f[i]->tag == 3 && asn_isConstructed(f[i])) {
            auto ext = x509children(f[i]);
            if (ext.size() == 1 && is_universal(ext[0], 16)) parts->extensions = ext[0];
        }
    }
    if (!parts->serial || !parts->spki) return shape_fail("Not a valid X.509 certificate");
    return 0;
}

AsnNode* x509subjectName(AsnNode* cert) {
    X509Parts p;
    return x509locate(cert, &p) == 0 ? p.subject : nullptr;
}

AsnNode* x509issuerName(AsnNode* cert) {
    X509Parts p;
    return x509locate(cert, &p) == 0 ? p.issuer : nullptr;
}

namespace {

enum class Field { Issuer, Subject, Validity };

AsnNode* field_copy(const char* s, long* error, Field which) {
    long rc = 0;
    AsnNode* cert = x509readCertFromFileOrString(s, &rc);
    AsnNode* out = nullptr;
    if (cert) {
        X509Parts p;
        rc = x509locate(cert, &p);
        if (rc == 0) {
            AsnNode* n = which == Field::Issuer ? p.issuer : which == Field::Subject ? p.subject : p.validity;
            out = asn_ExtractCurrent(n);
            if (!out) {
                eprintf("No Distinguished Name found in cert");
                rc = BAD_FORMAT_ERROR;
            }
        }
        asn_Free(&cert);
    }
    if (error) *error = out ? 0 : rc;
    return out;
}

}  // namespace

AsnNode* x509getIssuerDNFromFile(const char* s, long* error) {
    return field_copy(s, error, Field::Issuer);
}
AsnNode* x509getSubjectDNFromFile(const char* s, long* error) {
    return field_copy(s, error, Field::Subject);
}
AsnNode* x509getValidityFromFile(const char* s, long* error) {
    return field_copy(s, error, Field::Validity);
}
