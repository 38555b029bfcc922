// The signature algorithm table and its lookups.
#include <strings.h>

#include <cstring>

#include "sig/sig.h"

namespace velt::sig {

namespace {

// Search order matters: the RSA-style aliases after the OID names, and the
// last row maps the OID name rsaEncryption to id 0.
const SigAlgRow kRows[] = {
    {"sha1WithRSAEncryption", 0x00, "sha1WithRSAEncryption", 0, "sha1", 20},
    {"sha224WithRSAEncryption", 0x06, "sha224WithRSAEncryption", 6, "sha224", 28},
    {"sha256WithRSAEncryption", 0x03, "sha256WithRSAEncryption", 3, "sha256", 32},
    {"sha384WithRSAEncryption", 0x04, "sha384WithRSAEncryption", 4, "sha384", 48},
    {"sha512WithRSAEncryption", 0x05, "sha512WithRSAEncryption", 5, "sha512", 64},
    {"md5WithRSAEncryption", 0x01, "md5WithRSAEncryption", 1, "md5", 16},
    {"md2WithRSAEncryption", 0x02, "md2WithRSAEncryption", 2, "md2", 16},
    {"RSA-SHA1", 0x00, "sha1WithRSAEncryption", 0, "sha1", 20},
    {"RSA-SHA224", 0x06, "sha224WithRSAEncryption", 6, "sha224", 28},
    {"RSA-SHA256", 0x03, "sha256WithRSAEncryption", 3, "sha256", 32},
    {"RSA-SHA384", 0x04, "sha384WithRSAEncryption", 4, "sha384", 48},
    {"RSA-SHA512", 0x05, "sha512WithRSAEncryption", 5, "sha512", 64},
    {"RSA-MD5", 0x01, "md5WithRSAEncryption", 1, "md5", 16},
    {"ecdsaWithSHA1", 0x10, "ecdsaWithSHA1", 0, "sha1", 20},
    {"ecdsaWithSHA224", 0x20, "ecdsaWithSHA224", 6, "sha224", 28},
    {"ecdsaWithSHA256", 0x30, "ecdsaWithSHA256", 3, "sha256", 32},
    {"ecdsaWithSHA384", 0x40, "ecdsaWithSHA384", 4, "sha384", 48},
    {"ecdsaWithSHA512", 0x50, "ecdsaWithSHA512", 5, "sha512", 64},
    {"RSA-PSS-SHA1", 0xB0, "rsaPSS", 0, "sha1", 20},
    {"RSA-PSS-SHA224", 0xB6, "rsaPSS", 6, "sha224", 28},
    {"RSA-PSS-SHA256", 0xB3, "rsaPSS", 3, "sha256", 32},
    {"RSA-PSS-SHA384", 0xB4, "rsaPSS", 4, "sha384", 48},
    {"RSA-PSS-SHA512", 0xB5, "rsaPSS", 5, "sha512", 64},
    {"Ed25519", 0xC0, "Ed25519", 5, "sha512", 64},
    {"Ed448", 0xC1, "Ed448", 159, "shake256", 64},
    {"dsaWithSha1", 0xD0, "dsaWithSha1", 0, "sha1", 20},
    {"sha1WithRSAEncryption", 0x00, "rsaEncryption", 0, "sha1", 20},
};

}  // namespace

const SigAlgRow* sigAlgTable(size_t* count) {
    if (count) *count = sizeof kRows / sizeof kRows[0];
    return kRows;
}

const SigAlgRow* sigPtrToSigAlgByName(const char* name) {
    if (!name) return nullptr;
    for (const auto& r : kRows)
        if (strcasecmp(r.name, name) == 0) return &r;
    return nullptr;
}

const SigAlgRow* sigPtrToSigAlgById(long id) {
    for (const auto& r : kRows)
        if (r.id == id) return &r;
    return nullptr;
}

const char* sigAlgorithmNameFromFlags(long options) {
    const SigAlgRow* r = sigPtrToSigAlgById(options & 0xFF);
    return r ? r->name : nullptr;
}

const char* sigAlgorithmOIDFromFlags(long options) {
    const SigAlgRow* r = sigPtrToSigAlgById(options & 0xFF);
    return r ? r->oidName : nullptr;
}

long sigAlgIdFromOid(const char* oidName) {
    if (!oidName) return -1;
    for (const auto& r : kRows)
        if (strcasecmp(r.oidName, oidName) == 0) return r.id;
    return -1;
}

bool sigAlgNameIsEdDSA(const char* name) {
    return name && (std::strcmp(name, "Ed25519") == 0 || std::strcmp(name, "Ed448") == 0);
}

}  // namespace velt::sig
