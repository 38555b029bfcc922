// Signatures: the table of signature algorithms every signing module shares,
// the byte-level signing engines (RSA PKCS #1 v1.5 and PSS, ECDSA, EdDSA),
// DSA verification, and the bodies of the exported SIG_ functions. What
// certificates, CRLs and CMS may call.
//
// Byte-level engines return 0 or a positive error code (src/frame/error.h)
// and write their detail text with eprintf; the text-level bodies of the
// exported functions return lengths or negative codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bigd/bigd.h"
#include "ecc/ecc.h"
#include "rsa/rsa.h"
#include "util/emem.h"

namespace velt::sig {

// ---- Signature algorithm table ----
struct SigAlgRow {
    const char* name;     // the name callers pass
    long id;              // selects the row in the low 8 bits of an option word
    const char* oidName;  // name in the OID table
    long hashAlg;         // hash identifier of hash/hash.h
    const char* hashName;
    size_t digestLen;
};

// Families by id: high nibble 0 PKCS #1 v1.5, 1..5 ECDSA, 0xB PSS, 0xC
// EdDSA, 0xD DSA.
inline constexpr long kSigIdEd25519 = 0xC0;
inline constexpr long kSigIdEd448 = 0xC1;
inline constexpr long kSigIdDsaSha1 = 0xD0;
inline bool sigIdIsPss(long id) {
    return (id & 0xF0) == 0xB0;
}
inline bool sigIdIsEdDSA(long id) {
    return (id & 0xF0) == 0xC0;
}
inline bool sigIdIsDsa(long id) {
    return (id & 0xF0) == 0xD0;
}
// Rows handled by the elliptic-curve engine: high nibble 1..0xA and 0xC0..0xCF.
inline bool sigIdIsEcc(long id) {
    long hi = (id >> 4) & 0xF;
    return (hi >= 1 && hi <= 0xA) || hi == 0xC;
}

// First row whose name equals `name` case-insensitively; null when none.
const SigAlgRow* sigPtrToSigAlgByName(const char* name);
// First row with this id (id 0 gives sha1WithRSAEncryption); null when none.
const SigAlgRow* sigPtrToSigAlgById(long id);
// Name and OID name of the row of id = options & 0xFF; null when none.
const char* sigAlgorithmNameFromFlags(long options);
const char* sigAlgorithmOIDFromFlags(long options);
// Id of the first row whose OID name matches case-insensitively, or -1
// ("rsaPSS" gives 0xB0, "rsaEncryption" 0).
long sigAlgIdFromOid(const char* oidName);
// Exact comparison with "Ed25519" or "Ed448".
bool sigAlgNameIsEdDSA(const char* name);
// All rows, in search order.
const SigAlgRow* sigAlgTable(size_t* count);

// ---- DSA (FIPS 186-4), verification only ----
inline constexpr uint32_t kDsaHasParams = 1;
inline constexpr uint32_t kDsaHasPublic = 2;
inline constexpr uint32_t kDsaHasPrivate = 4;

struct DsaKey {
    uint32_t flags;
    size_t pbits;
    BdNumber *p, *q, *g, *y, *x;
};
DsaKey* dsaNew();
void dsaFree(DsaKey** key);  // wipes every number, frees and nulls the handle
// Load from big-endian octets: 0, 14 for a null key, 8 for values that
// cannot be domain parameters (p or q even or below 3, g not in (1, p), q
// not of 160, 224 or 256 bits) or a public value not in (1, p).
long dsaSetParams(DsaKey* key, const uint8_t* p, size_t plen, const uint8_t* q, size_t qlen, const uint8_t* g,
                  size_t glen);
long dsaSetPublicKey(DsaKey* key, const uint8_t* y, size_t ylen);
// p, q, g and y as minimal big-endian octets; 0, or 7 when parts are absent.
long dsaGetPublicKeyOctets(const DsaKey* key, std::vector<uint8_t>& p, std::vector<uint8_t>& q,
                           std::vector<uint8_t>& g, std::vector<uint8_t>& y);
// 1 when (r, s) is a valid signature of the digest under the key, else 0.
// Requires 0 < r < q and 0 < s < q; r and s are at most the byte length of
// q; the digest is cut to its leftmost bitlen(q) bits (FIPS 186-4 4.6).
int dsaVerify(const DsaKey* key, const uint8_t* digest, size_t dlen, const uint8_t* r, size_t rlen,
              const uint8_t* s, size_t slen);

// ---- ECDSA (SEC 1 4.1, RFC 6979) ----
// The leftmost orderbits bits of a digest as a number of c.nlimbs limbs
// (not reduced; below 2^orderbits).
void ecdsaDigestToNum(const ecc::EC_curve& c, uint64_t* e, const uint8_t* digest, size_t dlen);
// RFC 6979 3.2 nonce for private scalar d (c.nlimbs limbs, 0 < d < n) and
// digest h1 with HMAC over hashAlg; k receives c.nlimbs limbs with 0 < k < n.
// 0, or 17 when the hash has no HMAC.
long det_computek(const ecc::EC_curve& c, uint64_t* k, const uint64_t* d, const uint8_t* h1, size_t h1len,
                  long hashAlg);
// One signing step with nonce k: r and s (c.nlimbs limbs). 0, or 24 when k is
// out of range or r or s is zero. Constant time in d and k.
long EC_dsa_sign(const ecc::EC_curve& c, uint64_t* r, uint64_t* s, const uint64_t* d, const uint64_t* k,
                 const uint64_t* e);
// 0 when (r, s) is valid for digest number e and public point Q (validated
// by the caller), else 22.
long EC_dsa_verify(const ecc::EC_curve& c, const uint64_t* r, const uint64_t* s, const uint64_t* e,
                   const ecc::EC_point& Q);
// The same through a table of Q from ecc::EC_point_verify_table (the result
// is the same as without it).
long EC_dsa_verify(const ecc::EC_curve& c, const uint64_t* r, const uint64_t* s, const uint64_t* e,
                   const std::vector<uint64_t>& qtable);
// DER SEQUENCE { INTEGER r, INTEGER s } of two order-sized values.
std::vector<uint8_t> ecdsaDerFromRS(const uint8_t* r, const uint8_t* s, size_t nbytes);
// Strict DER reading into r || s (2 * nbytes): one SEQUENCE of two minimal
// positive INTEGERs, minimal definite lengths, no trailing octets, each value
// fitting in nbytes. 0, 7 when not a DER SEQUENCE, 8 when its content is not
// two such INTEGERs.
long ecdsaRSFromDer(uint8_t* rs, size_t nbytes, const uint8_t* der, size_t len);
// Upper bound of any DER signature of a curve with nbytes-byte order.
size_t ecdsaDerMaxLen(size_t nbytes);

// Signature of the ECDSA or EdDSA row `row` over data (or over a digest when
// useDigest) with the private key string/file/PEM `key`; options carry
// VELT_SIG_DETERMINISTIC and VELT_SIG_ASN1DER. 0 or a positive code.
// orderBytes (when given) receives the ECDSA curve's scalar length.
long eccDSA_SignDataToBytes(std::vector<uint8_t>& sig, const uint8_t* data, size_t dlen, const char* key,
                            const char* password, const SigAlgRow& row, long options,
                            size_t* orderBytes = nullptr);
// 0 when valid, else a positive code.
long eccDSA_VerifyDataFromBytes(const uint8_t* sig, size_t siglen, const uint8_t* data, size_t dlen,
                                const char* key, const SigAlgRow& row, long options);

// ---- RSA (RFC 8017 8.1, 8.2) ----
// PKCS #1 v1.5 signature of data (or of a digest with useDigest). 0 or a
// positive code (26 wrong digest length).
long rsasigSign(std::vector<uint8_t>& sig, const RsaKey* key, const uint8_t* data, size_t dlen,
                const SigAlgRow& row, bool useDigest);
// PSS signature; salt null draws one of the length the options choose.
long rsasigSign_PSS(std::vector<uint8_t>& sig, const RsaKey* key, const uint8_t* data, size_t dlen,
                    const SigAlgRow& row, long options, const uint8_t* salt, size_t saltlen);
// 0 when valid, else 22 (26 for a wrong digest length).
long rsasigVerify(const uint8_t* sig, size_t siglen, const RsaKey* key, const uint8_t* data, size_t dlen,
                  const SigAlgRow& row, bool useDigest);
long rsasigVerify_PSS(const uint8_t* sig, size_t siglen, const RsaKey* key, const uint8_t* data, size_t dlen,
                      const SigAlgRow& row, long options);
// The same over a key opened for use (internal key strings through the
// prepared-key cache).
long rsasigSign(std::vector<uint8_t>& sig, const RsaKeyUse& key, const uint8_t* data, size_t dlen,
                const SigAlgRow& row, bool useDigest);
long rsasigSign_PSS(std::vector<uint8_t>& sig, const RsaKeyUse& key, const uint8_t* data, size_t dlen,
                    const SigAlgRow& row, long options, const uint8_t* salt, size_t saltlen);
long rsasigVerify(const uint8_t* sig, size_t siglen, const RsaKeyUse& key, const uint8_t* data, size_t dlen,
                  const SigAlgRow& row, bool useDigest);
long rsasigVerify_PSS(const uint8_t* sig, size_t siglen, const RsaKeyUse& key, const uint8_t* data,
                      size_t dlen, const SigAlgRow& row, long options);

// ---- Bodies of the exported functions (lengths, 0, or negative codes) ----
long sigSignData(char* out, long outlen, const uint8_t* data, long dlen, const char* key,
                 const char* password, const char* algName, long options);
long sigSignFile(char* out, long outlen, const char* file, const char* key, const char* password,
                 const char* algName, long options);
long sigVerifyData(const char* sig, const uint8_t* data, long dlen, const char* key, const char* algName,
                   long options);
long sigVerifyFile(const char* sig, const char* file, const char* key, const char* algName, long options);

}  // namespace velt::sig
