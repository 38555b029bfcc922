// Rooms shared by the certificate and request builders: the signer (key
// reading, the SubjectPublicKeyInfo of the private key, the signature
// AlgorithmIdentifier and the signature), the Extensions list, the parts of
// a request a certificate is issued from, and the output writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rsa/rsa.h"
#include "sig/sig.h"
#include "x509/make.h"
#include "x509/make_der.h"

namespace velt::x509::mk {

// The DER of a file, PEM text, base64 text or key string: 0 or a positive
// code (1 cannot open, 8 unreadable).
long read_input_der(const char* input, Der& der);
// True when the argument names an existing file or looks like PEM text,
// base64 DER ("M...") or a key string ("P...").
bool input_present(const char* input);
// True for the shape SEQUENCE { SEQUENCE { OID, ... }, BIT STRING }.
bool is_spki(const Der& der);
// "'name'" for a file name, "(string)" for anything that may hold a key.
std::string describe(const char* input);

class Signer {
  public:
    // Chooses the row of options & 0xFF: 0, or 17 for an unknown id and for
    // the dsaWithSha1 row (the library makes no DSA signatures).
    long choose(long options);
    // Reads the private key of the row's family and derives its
    // SubjectPublicKeyInfo: 0 or a positive code (19 for an rsassaPss key).
    long open(const char* keyText, const char* password, const char* rsaFailText);
    // The signature AlgorithmIdentifier (RFC 4055 for RSASSA-PSS, RFC 5758
    // for ECDSA, RFC 8410 for EdDSA, RFC 8017 with NULL parameters else).
    Der alg_id() const;
    // Signs data: 0 or the signer's code.
    long sign(const uint8_t* data, size_t n, std::vector<uint8_t>& sig);
    const Der& spki() const { return spki_; }
    const sig::SigAlgRow* row() const { return row_; }

  private:
    const sig::SigAlgRow* row_ = nullptr;
    long options_ = 0;
    const char* keyText_ = nullptr;
    const char* password_ = nullptr;
    RsaKeyUse rsa_;
    Der spki_;
};

// An Extensions SEQUENCE under construction. Each extension's OID is kept so
// that one extension given twice is caught (RFC 5280 4.2: a certificate must
// not include more than one instance of a particular extension).
class ExtList {
  public:
    // critical: -1 no BOOLEAN, 0 explicit FALSE, 1 TRUE.
    void add(const Der& oid, int critical, const Der& value);
    void add(const char* oidName, int critical, const Der& value) { add(der_oid(oidName), critical, value); }
    // A whole Extension SEQUENCE copied from elsewhere.
    void add_raw(const Der& extension);
    bool empty() const { return body_.empty(); }
    // 0, or 6 naming the repeated extension.
    long check() const;
    Der sequence() const { return der_tlv(0x30, body_); }

  private:
    Der body_;
    std::vector<Der> oids_;
};

// SEQUENCE OF GeneralName from settings entries.
Der general_names(const ExtSettings& s);
// KeyUsage BIT STRING of the nine bits (DER: minimal octets, RFC 5280
// 4.2.1.3), empty for no bits.
Der key_usage_bits(uint32_t bits);
// ExtKeyUsageSyntax of the named purposes.
Der ext_key_usage(const ExtSettings& s);

// What a certificate takes from a request it is issued from.
struct CsrParts {
    Der subject;      // Name
    Der spki;         // SubjectPublicKeyInfo
    Der altNames;     // subjectAltName extnValue contents, or empty
    Der extKeyUsage;  // the whole extKeyUsage Extension, or empty
    uint32_t keyUsage = 0;
};
// Reads a request (file, PEM or base64), checks its signature with its own
// key and takes its parts: 0, 8 unreadable, 36 no usable key, 22 bad
// signature.
long csr_parts_read(CsrParts& parts, const char* request);

// Writes DER, or PEM with the label: 0, or the writer's code (2 or 4).
long write_output(const char* file, const Der& der, const char* pemLabel);

}  // namespace velt::x509::mk
