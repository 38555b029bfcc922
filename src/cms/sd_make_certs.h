// Certificates and keys of the signed-data writer: the certificate list,
// the fields a SignerInfo names, and the match of a private key to a
// certificate. Internal to the signed-data writer.
#pragma once

#include <string>
#include <vector>

#include "cms/sd_sets.h"

namespace velt::cms {

// The parts of a certificate (RFC 5280 4.1) a SignerInfo and its attributes
// use, each a complete TLV (ski: the key identifier octets).
struct SignerCert {
    Der der;
    Der issuer;
    Der serial;
    Der spki;
    Der ski;  // empty when the certificate has no subjectKeyIdentifier
};
// False when der is not a certificate.
bool parse_cert(const Der& der, SignerCert& out);

// The DER certificates of a list: ";"-separated file names or certificate
// strings (empty items skipped), or, without ";", one PKCS #7 certificate
// chain whose certificates are taken in order. 0, or 1 with "Cannot read
// certificate '%s'".
long read_cert_list(const char* certList, std::vector<Der>& certs);
// The DER certificates of a SignedData's [0] certificates field inside a
// ContentInfo encoding; false when der is no SignedData.
bool certs_of_signed_data(const uint8_t* der, size_t n, std::vector<Der>& certs);

// The public key a private key string belongs to, as comparable octets
// (RSA: RSAPublicKey DER; prime curves: the point; safe curves: the public
// key); empty when the key cannot be read.
Der private_key_identity(const char* privateKey, bool ecc);
// The same of a certificate's SubjectPublicKeyInfo.
Der spki_identity(const Der& spki, bool ecc);
// The RSA modulus length in octets of a SubjectPublicKeyInfo; 0 when it is
// no RSA key.
size_t spki_rsa_bytes(const Der& spki);

}  // namespace velt::cms
