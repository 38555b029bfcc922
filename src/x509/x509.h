// X.509 (RFC 5280, RFC 2986): reading certificates, certification requests
// and CRLs with their shape tests; the elements other subsystems take from a
// certificate (names, serial, issuer-and-serial, key identifier, public
// keys); the structural extension finder; signature verification with an
// issuer's certificate; validity. What other subsystems may call.
//
// Internal operations of this module return the error codes they raise as
// positive numbers (0 = success) with a detail text in the error record; the
// exported wrappers negate them where the function's contract asks for
// negative codes. Chains returned are owned by the caller (asn_Free); a null
// chain comes with *error set when an error pointer is taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "asn1/asn1.h"

struct RsaKey;
namespace velt::sig {
struct DsaKey;
}

// ---- Readers ----
// A file name, or the object as PEM or base64 text (at least 256 characters
// for text that is not PEM), read into a chain and checked for the shape of
// a certificate, CRL or request. Null on failure with *error (when given) set
// to the reader's code (1 cannot open, 8 unreadable, 14 nothing given) or 7
// for the wrong shape ("Not a valid X.509 certificate", "Not a valid CRL",
// "Not a valid certificate signing request").
AsnNode* x509readCertFromFileOrString(const char* certFileOrString, long* error = nullptr);
AsnNode* x509readCrlFromFileOrString(const char* crlFileOrString, long* error = nullptr);
AsnNode* x509readCsrFromFileOrString(const char* csrFileOrString, long* error = nullptr);
// Shape tests on a chain already read: 0, or 7 with the detail text.
long x509checkCertShape(AsnNode* chain);
long x509checkCrlShape(AsnNode* chain);
long x509checkCsrShape(AsnNode* chain);
// The DER of a certificate from a file or string (re-encoded chain, identical
// to the input's octets for DER input): 0 or the reader's positive code.
long x509readCertDer(std::vector<uint8_t>& der, const char* certFileOrString);

// ---- Elements of a certificate chain (nodes borrowed from the chain) ----
// The fields of Certificate { TBSCertificate, signatureAlgorithm, signature }
// and of the TBSCertificate. version and extensions are null when absent
// (extensions is the Extensions SEQUENCE inside [3]).
struct X509Parts {
    AsnNode* tbs = nullptr;
    AsnNode* version = nullptr;  // the [0] wrapper
    AsnNode* serial = nullptr;
    AsnNode* innerSigAlg = nullptr;
    AsnNode* issuer = nullptr;
    AsnNode* validity = nullptr;
    AsnNode* subject = nullptr;
    AsnNode* spki = nullptr;
    AsnNode* extensions = nullptr;
    AsnNode* outerSigAlg = nullptr;
    AsnNode* signature = nullptr;  // the BIT STRING
};
// 0, or 7 "Not a valid X.509 certificate" when the TBSCertificate lacks any of
// serial, signature, issuer, validity, subject and subjectPublicKeyInfo.
long x509locate(AsnNode* cert, X509Parts* parts);
// The subject or issuer Name node of a certificate chain (borrowed), or null.
AsnNode* x509subjectName(AsnNode* cert);
AsnNode* x509issuerName(AsnNode* cert);
// The child nodes of a constructed node, one level deeper, in order.
std::vector<AsnNode*> x509children(AsnNode* node);

// ---- Copies of elements, from a file or string ----
// Null with *error (positive code) when absent or unreadable.
AsnNode* x509getIssuerDNFromFile(const char* certFileOrString, long* error = nullptr);
AsnNode* x509getSubjectDNFromFile(const char* certFileOrString, long* error = nullptr);
AsnNode* x509getValidityFromFile(const char* certFileOrString, long* error = nullptr);

// ---- Issuer and serial number (RFC 5652 IssuerAndSerialNumber) ----
// A new SEQUENCE { issuer Name, serialNumber INTEGER } of a certificate chain;
// null with "Could not find issuerAndSerialNumber in certificate '%s'" (the
// name given in what, may be null) when absent.
AsnNode* x509getIssuerAndSN(AsnNode* cert, const char* what = nullptr);
AsnNode* x509getIssuerAndSNFromFile(const char* certFileOrString, long* error = nullptr);
// A new SEQUENCE { copy of name, copy of serial }; the arguments stay the
// caller's.
AsnNode* x509makeIssuerAndSN(const AsnNode* name, const AsnNode* serial);

// ---- Subject key identifier ----
// The keyIdentifier of the subjectKeyIdentifier extension as a new OCTET
// STRING node; null with "Could not find SubjectKeyIdentifier in certificate
// '%s'" (error 10) when absent.
AsnNode* x509getSubjectKeyIdAsn(AsnNode* cert, const char* what = nullptr);
AsnNode* x509getSubjectKeyIdFromFile(const char* certFileOrString, long* error = nullptr);

// ---- Extensions, found by extnID at the Extensions level ----
// The parsed contents of the extnValue of extension oidName (an OID-table
// name or dotted text) of a certificate, CRL or request chain (a request's
// only inside its extensionRequest attribute); null when absent or when the
// value does not parse. *critical receives the critical flag when given.
AsnNode* x509findExtension(AsnNode* chain, const char* oidName, int* critical = nullptr);

// ---- Public keys ----
// A copy of the subjectPublicKeyInfo SEQUENCE of a certificate chain (also of
// a request's CertificationRequestInfo), or null.
AsnNode* x509getPublicKey(AsnNode* certOrCsr);
// The same node borrowed from the chain (not copied), or null.
AsnNode* x509getPublicKeyNode(AsnNode* certOrCsr);
// RSA: the algorithm must be rsaEncryption ("Unsupported key algorithm '%s':
// require `rsaEncryption`", 19); the BIT STRING is an RSAPublicKey ("Unable
// to read public key", 36). 0 or a positive code; key is filled.
long x509getRsaFromPubKeyInfo(RsaKey* key, AsnNode* spki);
long x509getRSAPubKeyFromTBS(RsaKey* key, AsnNode* tbs);
// From a file or string; adds "Unable to extract public key from '%s'".
long x509getRSAPublicKeyFromFile(RsaKey* key, const char* certFileOrString);
// DSA: algorithm dsa, p, q, g from the parameters and y from the BIT STRING.
long x509getDSAFromPubKeyInfo(velt::sig::DsaKey* key, AsnNode* spki);
long x509getDSAPublicKeyFromFile(velt::sig::DsaKey* key, const char* certFileOrString);
// Elliptic-curve and safe-curve keys: the subjectPublicKeyInfo as a public
// key string (base64 of its DER); 0, or 36 "Unable to read EC public key
// data" when it is not a key the ECC module accepts. The node may also be a
// SubjectPublicKeyInfo itself.
long x509getECCPublicKeyAsString(std::string& out, AsnNode* cert);
long x509getECCPublicKeyFromFile(std::string& out, const char* certFileOrString);

// ---- Algorithms ----
// OID-table name (or dotted form) of the OID that opens an
// AlgorithmIdentifier SEQUENCE node (a chain of its own, or a node inside a
// chain such as X509Parts::outerSigAlg); empty when none.
std::string x509getAlgorithmName(AsnNode* algId);
// OID-table name or dotted text of an OBJECT IDENTIFIER node; empty when the
// node is not one.
std::string x509oidName(const AsnNode* oid);

// ---- Verification ----
// Verifies the signature of a certificate, CRL or request (file, PEM or
// base64) with the public key of the issuer's certificate (file, PEM or
// base64); an empty issuer verifies a request with its own key. 0 when the
// signature verifies; otherwise a positive code: 22 signature invalid or
// inner and outer algorithms differ, 6 empty input, 19 unsupported
// algorithm, 7/8/10 malformed input, or a reader's code.
long x509verifyWithCert(const char* toVerify, const char* issuerCert);
// Verifies sig over tbs under the AlgorithmIdentifier sigAlg with the public
// key in spki (a SubjectPublicKeyInfo SEQUENCE node). 0 or a positive code as
// above.
long x509verifySignature(const uint8_t* tbs, size_t tbsLen, AsnNode* sigAlg, const uint8_t* sig,
                         size_t sigLen, AsnNode* spki);

// ---- Validity ----
// 0 when the current time lies within the validity of the certificate (both
// bounds valid); 16 outside; 7 validity missing; 6 empty argument; or the
// reader's code.
long x509certIsValidNow(const char* certFileOrString);
// The clock the validity check reads: the C library's time() unless a test
// has set a fixed instant (null restores the real clock).
void x509setClockForTesting(const time_t* fixedNow);
time_t x509now();

// ---- Bodies of the exported functions (lengths, numbers, 0, or negative
// codes; string outputs follow the output convention and give -30 when the
// result does not fit whole) ----
long x509queryCert(char* out, long max, const char* cert, const char* query, long options);
long x509keyUsageFlags(const char* cert);
// which: 0 notBefore, 1 notAfter.
long x509certDate(char* out, long max, const char* cert, int which);
long x509certSerialNumber(char* out, long max, const char* cert, long options);
long x509certName(char* out, long max, const char* cert, const char* delimiter, long options, bool subject);
long x509certThumb(char* out, long max, const char* cert, long options);
long x509hashIssuerAndSN(char* out, long max, const char* cert, long options);
long x509readStringFromFile(char* out, long max, const char* cert, long options);
long x509saveFileFromString(const char* newFile, const char* certString, long options);

// The public key of a certificate (file or string) as a key string the key
// users of the RSA and ECC modules take: an RSA public key string, or an
// elliptic-curve public key string (base64 SubjectPublicKeyInfo). 0, or a
// positive code: the reader's when the input is not a certificate, 19 for
// another kind of key.
long x509publicKeyStringFromCert(std::string& keyString, const char* certFileOrString);
