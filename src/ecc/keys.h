// Elliptic-curve keys: the safe-curve table, the key records, the stored
// forms (ECPrivateKey of RFC 5915, PKCS #8 PrivateKeyInfo, SubjectPublicKeyInfo,
// RFC 8410 / RFC 5958 OneAsymmetricKey), key strings, and the bodies of the
// exported ECC_ functions. What other subsystems (signatures, certificates,
// CMS key agreement) may call for keys; the arithmetic is in ecc/ecc.h and
// ecc/safecurve.h.
//
// Results are 0 or a negative error code unless a comment says otherwise.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ecc/ecc.h"
#include "util/emem.h"

namespace velt::ecc {

// ---- Safe curves ----
inline constexpr int SAFECURVE_PRIVATE_KEY = 1;
inline constexpr int SAFECURVE_PUBLIC_KEY = 2;
inline constexpr size_t kSafeMaxKeyLen = 57;

struct SafeCurveRow {
    int id;  // 0 X25519, 1 Ed25519, 2 X448, 3 Ed448; -1 ends the table
    const char* name;
    int bits;
    size_t keylen;
    uint8_t oid[3];  // 1.3.101.110 .. 113 (content octets)
};
// Case-insensitive lookup by name; null when not a safe curve.
const SafeCurveRow* safecurve_by_name(const char* name);
const SafeCurveRow* safecurve_by_id(int id);
// The curve's public key from its private key: 0, or a positive error code.
long safecurve_public_from_private(int id, uint8_t* pub, const uint8_t* priv);

struct safecurve_key {
    int id = -1;
    const char* name = "";
    int bits = 0;
    size_t keylen = 0;
    int kind = 0;  // SAFECURVE_PRIVATE_KEY or SAFECURVE_PUBLIC_KEY
    size_t privlen = 0;
    size_t publen = 0;
    uint8_t priv[kSafeMaxKeyLen] = {0};
    uint8_t pub[kSafeMaxKeyLen] = {0};
    safecurve_key() = default;
    safecurve_key(const safecurve_key&) = delete;
    safecurve_key& operator=(const safecurve_key&) = delete;
    ~safecurve_key() { ewipe(priv, sizeof priv); }
};

// ---- Parsed keys ----
enum EcForm : int { kFormNone = 0, kFormSafe = 1, kFormEcPrivate = 2, kFormEcSpki = 3, kFormEcPki = 4 };

struct EcKey {
    int form = kFormNone;
    bool is_private = false;
    // Safe curves: the record; the version of a private key as read (1 for
    // INTEGER 0, 2 for INTEGER 1) and the public key a version 2 key carried.
    safecurve_key safe;
    int safe_version = 0;
    std::vector<uint8_t> safe_embedded_pub;
    // Prime curves: the curve, the scalar as stored and the public point
    // octets as stored (empty when absent). Nothing here is validated.
    EC_curve curve{};
    SecureBytes d;
    std::vector<uint8_t> q;
    // The private key's DER in the form a private key string carries
    // (ECPrivateKey, or the safe-curve PrivateKeyInfo as read).
    SecureBytes der;
    EcKey() = default;
    EcKey(const EcKey&) = delete;
    EcKey& operator=(const EcKey&) = delete;
    ~EcKey() { ewipe(&curve, sizeof curve); }
};

// Parses a safe-curve PrivateKeyInfo/OneAsymmetricKey or
// SubjectPublicKeyInfo: 1 when recognised (key filled, the public half of a
// private key derived unless derive_public is false: ECDH needs only the
// private half), 0 when not a safe-curve key, -33 for a wrong key length.
int safecurve_parse_asn(EcKey& key, const uint8_t* der, size_t len, bool derive_public = true);
// Classifies a DER value in the order safe curve, ECPrivateKey, EC
// SubjectPublicKeyInfo, EC PrivateKeyInfo (converted to ECPrivateKey without
// its public key). Returns the form (kFormNone when unrecognised) or a
// negative error code from the safe-curve parse.
int ecParseKeyDer(EcKey& key, const uint8_t* der, size_t len, bool derive_public = true);
// The DER of a key string: "M" plain base64, "P" an internal key string.
// 0, or -8 (invalid key string).
long ecKeyStringDer(const char* text, SecureBytes& der);
// Decode and classify: the form, kFormNone, or a negative error code.
int ecParseKeyString(EcKey& key, const char* text);
// The DER of a file name, PEM text or key string (the readers' input).
// 0, or the file reader's negative code.
long ecReadInputDer(const char* input, SecureBytes& der);

// The scalar of a prime private key as c.nlimbs limbs: true when 0 < d < n.
bool ecPrivateScalar(const EcKey& key, uint64_t* d);
// The public point octets (04 || X || Y) of a prime key: stored for a public
// key, computed from d for a private one. Empty on failure.
std::vector<uint8_t> ecPublicOctets(const EcKey& key);

// ---- Prepared keys of key strings ----
// What signing or verification needs of a key, read from its key string
// once and kept in a process-wide cache (keys_cache.cpp): the unwrapping,
// parsing, range checks and point validation are paid once per string.
// An entry is found by a keyed digest of the string (HMAC-SHA-256 under a
// per-process random key), holds at most kEcCacheEntries keys (the least
// recently used goes first), is wiped when dropped (eviction once its last
// user is done, unload, and in a child process after fork before the
// child's first use) and is thread-safe.
inline constexpr size_t kEcCacheEntries = 32;

struct EcPreparedKey {
    bool safe = false;  // a safe-curve key, else a prime-curve key
    // Safe curves: the row id and key length; for signing the private key
    // and the public key its reader derived, for verification the public
    // key a verifier takes from the key (the one a version 2 private key
    // carries, if any).
    int safe_id = -1;
    size_t keylen = 0;
    uint8_t priv[kSafeMaxKeyLen] = {0};
    uint8_t pub[kSafeMaxKeyLen] = {0};
    // Prime curves: the curve; for signing the private scalar (c.nlimbs
    // limbs, 0 < d < n), for verification the public point (affine,
    // validated with EC_partial_validation).
    EC_curve curve{};
    uint64_t d[kMaxLimbs] = {0};
    EC_point Q{};
    // Verification with a prime-curve key: the table of Q
    // (EC_point_verify_table), built on the entry's second use so that a
    // key used once pays nothing for it; see ecPreparedVerifyTable.
    mutable std::atomic<unsigned> uses{0};
    mutable std::once_flag table_once;
    mutable std::vector<uint64_t> qtable;
    EcPreparedKey() = default;
    EcPreparedKey(const EcPreparedKey&) = delete;
    EcPreparedKey& operator=(const EcPreparedKey&) = delete;
    ~EcPreparedKey();
};
using EcPreparedRef = std::shared_ptr<const EcPreparedKey>;

// The prepared key of a key string for signing (a private key) or for
// verification (a public key, or the public half of a private key). Only
// internal key strings of types 6 and 8 and plain base64 strings are taken;
// null when the input is none of these or does not read as a usable key
// (unreadable, wrong kind, scalar out of range, invalid point): the caller
// then reads the input itself, which reports why. The entry is read as the
// signing readers read a key without a password.
EcPreparedRef ecCacheGetSigning(const char* keyString);
EcPreparedRef ecCacheGetVerifying(const char* keyString);
// The verification table of a prime-curve entry: null on its first use,
// then the table (built once, thread-safely).
const std::vector<uint64_t>* ecPreparedVerifyTable(const EcPreparedKey& key);
// For tests: drop every entry; the number of entries.
void ecCacheClear();
size_t ecCacheSize();

// ---- Stored forms ----
// ECPrivateKey { 1, d, [0] curve OID, [1] Q } (q null/empty: no [1]).
SecureBytes ecPrivateKeyDer(const EC_curve& c, const uint8_t* d, size_t dlen, const uint8_t* q, size_t qlen);
// EC PrivateKeyInfo { 0, { ecPublicKey, curve }, OCTET STRING { 1, d, [1] Q } }.
SecureBytes ecPrivateKeyInfoDer(const EC_curve& c, const uint8_t* d, size_t dlen, const uint8_t* q,
                                size_t qlen);
// EC SubjectPublicKeyInfo with the point octets as given.
std::vector<uint8_t> ecSpkiDer(const EC_curve& c, const uint8_t* q, size_t qlen);
// Safe-curve PrivateKeyInfo version 1 or OneAsymmetricKey version 2.
SecureBytes safecurvePrivateKeyInfoDer(const safecurve_key& k, int version);
std::vector<uint8_t> safecurveSpkiDer(int id, const uint8_t* pub, size_t publen);

// ---- Key strings ----
inline constexpr long kEccPublicKey = 0x1;
inline constexpr long kKeyFormatPem = 0x10000;
inline constexpr long kKeyTypePkcs8 = 0x40000;
inline constexpr long kKeyPkcs8V1 = 0x80000;
inline constexpr long kQueryGetType = 0x100000;
inline constexpr long kKeyUnwrapped = 0x2000000;
inline constexpr long kPbes1Selector = 0x8000000;

// A private key string (internal key string of type 6, or plain base64 with
// kKeyUnwrapped) and a public key string (plain base64). An empty private
// key string sets *error (when given) to -212 when the generator failed to
// make the wrapping key, else -8.
SecureString ecPrivateKeyString(const uint8_t* der, size_t len, long options, long* error = nullptr);
std::string ecPublicKeyString(const uint8_t* der, size_t len);

// An ephemeral private key string for a curve name (CMS key agreement):
// empty with *status set to the negative error code on failure.
SecureString eccMakePrivateKey(const char* curveName, long* status);
// The curve and scalar (c.nlimbs limbs) of an ECPrivateKey DER: 0, or -36
// when it cannot be read or 0 < d < n fails.
int ecReadPrivateKeyScalar(const uint8_t* der, size_t len, EC_curve* c, uint64_t* d);

// ---- Bodies of the exported functions ----
long eccMakeKeys(const char* pubFile, const char* priFile, const char* curveName, const char* password,
                 const char* params, long options);
long eccReadKeyByCurve(char* out, long outlen, const char* hexKey, const char* curveName, long options);
long eccSaveKey(const char* outFile, const char* keyString, long options);
long eccSaveEncKey(const char* outFile, const char* keyString, const char* password, const char* params,
                   long options);
long eccReadPrivateKey(char* out, long outlen, const char* input, const char* password, long options);
long eccReadPublicKey(char* out, long outlen, const char* input, long options);
long eccPublicKeyFromPrivate(char* out, long outlen, const char* keyString, long options);
long eccQueryKey(char* out, long outlen, const char* keyString, const char* query, long options);
long eccKeyHashCode(const char* keyString);  // the code; 0 with the error recorded on failure
long eccDHSharedSecret(uint8_t* out, long outlen, const char* privateKey, const char* publicKey,
                       long options);

}  // namespace velt::ecc

namespace velt::ecc {

// HPKE DeriveKeyPair (RFC 9180 section 7.1.3) for P-256, P-384, P-521,
// X25519 and X448: with either bit of 0x30000 the private key as hex (the
// derivation of src/hash), otherwise that key read by curve into a private
// key string (output rules of eccReadKeyByCurve).
long eccHpkeDerivePrivateKey(char* out, long outlen, const uint8_t* ikm, long ikmlen, const char* curveName,
                             long options);

}  // namespace velt::ecc
