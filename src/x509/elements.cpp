// Elements other subsystems take from a certificate: IssuerAndSerialNumber
// (RFC 5652 section 10.2.4), the subject key identifier (RFC 5280 section
// 4.2.1.2), extensions by extnID, and algorithm names.
#include <cstring>

#include "frame/error.h"
#include "util/emem.h"
#include "util/futil.h"
#include "x509/x509.h"

namespace {

const char* name_of(const char* what) {
    return what ? what : "(string)";
}

// The file name, or "(string)" for text that names no file.
std::string describe_cert(const char* s) {
    std::string d = describe_input(s);
    if (d.size() >= 2 && d.front() == '\'' && d.back() == '\'') d = d.substr(1, d.size() - 2);
    return d;
}

}  // namespace

AsnNode* x509makeIssuerAndSN(const AsnNode* name, const AsnNode* serial) {
    if (!name || !serial) return nullptr;
    AsnNode* n = asn_ExtractCurrent(name);
    AsnNode* s = asn_ExtractCurrent(serial);
    return asn_Sequence(asn_Link(n, s));
}

AsnNode* x509getIssuerAndSN(AsnNode* cert, const char* what) {
    X509Parts p;
    if (!cert || x509locate(cert, &p) != 0 || !p.issuer || !p.serial) {
        eprintf("Could not find issuerAndSerialNumber in certificate '%s'\n", name_of(what));
        return nullptr;
    }
    return x509makeIssuerAndSN(p.issuer, p.serial);
}

AsnNode* x509getIssuerAndSNFromFile(const char* s, long* error) {
    long rc = 0;
    AsnNode* cert = x509readCertFromFileOrString(s, &rc);
    AsnNode* out = nullptr;
    if (cert) {
        out = x509getIssuerAndSN(cert, describe_cert(s).c_str());
        if (!out) rc = MISSING_ERROR;
        asn_Free(&cert);
    }
    if (error) *error = out ? 0 : rc;
    return out;
}

AsnNode* x509findExtension(AsnNode* chain, const char* oidName, int* critical) {
    if (critical) *critical = 0;
    if (!chain || !oidName) return nullptr;
    OidRec rec;
    if (oid_SetOID(&rec, oidName) <= 0 && oid_SetOIDFromDotted(&rec, oidName) <= 0) return nullptr;
    AsnNode* octets = asn_FindExtension(chain, &rec, critical);
    if (!octets) return nullptr;
    AsnNode* value = nullptr;
    if (octets->data && octets->length > 0) value = asn_ReadBytes(octets->data, size_t(octets->length));
    asn_Free(&octets);
    return value;
}

AsnNode* x509getSubjectKeyIdAsn(AsnNode* cert, const char* what) {
    AsnNode* value = x509findExtension(cert, "subjectKeyIdentifier");
    // SubjectKeyIdentifier ::= KeyIdentifier ::= OCTET STRING
    if (value && (value->id & 0xE0) == 0 && value->tag == 4 && !value->next) return value;
    asn_Free(&value);
    eprintf("Could not find SubjectKeyIdentifier in certificate '%s'\n", name_of(what));
    return nullptr;
}

AsnNode* x509getSubjectKeyIdFromFile(const char* s, long* error) {
    long rc = 0;
    AsnNode* cert = x509readCertFromFileOrString(s, &rc);
    AsnNode* out = nullptr;
    if (cert) {
        out = x509getSubjectKeyIdAsn(cert, describe_cert(s).c_str());
        if (!out) rc = MISSING_ERROR;
        asn_Free(&cert);
    }
    if (error) *error = out ? 0 : rc;
    return out;
}

std::string x509oidName(const AsnNode* oid) {
    OidRec rec;
    asn_SetOid(&rec, oid);  // -1 for a name not in the table: the dotted form is kept
    return rec.length > 0 ? rec.name : "";
}

std::string x509getAlgorithmName(AsnNode* algId) {
    if (!algId) return "";
    AsnNode* oid = algId->next;
    if (!oid || oid->level != algId->level + 1) return "";
    return x509oidName(oid);
}
