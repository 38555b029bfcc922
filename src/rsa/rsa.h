// RSA: the key record, key generation, the raw public and private
// operations, internal key strings, key structures and files, and the
// PKCS #1 message encodings. What other subsystems may call.
//
// Internal operations of this module return the error codes they raise as
// positive numbers (0 = success) unless a comment says otherwise; the
// exported wrappers negate them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bigd/bigd.h"
#include "util/emem.h"

// ---------------------------------------------------------------------------
// Key record

inline constexpr uint32_t kRsaHasPublic = 1;   // n, e
inline constexpr uint32_t kRsaHasPrivate = 2;  // d
inline constexpr uint32_t kRsaHasCrt = 4;      // p, q, dP, dQ, qInv

struct RsaKey {
    uint32_t flags;
    size_t bits;  // bit length of n
    BdNumber *n, *e, *d, *p, *q, *dP, *dQ, *qInv;
};

RsaKey* rsaNew();
void rsaFree(RsaKey** key);  // wipes every number, frees and nulls the handle

// Setters from big-endian octets; return 0, or 14 for a null key.
long rsaSetPublicKey(RsaKey* key, const unsigned char* n, size_t nlen, const unsigned char* e, size_t elen);
long rsaSetPrivateKey(RsaKey* key, const unsigned char* n, size_t nlen, const unsigned char* e, size_t elen,
                      const unsigned char* d, size_t dlen);
long rsaSetPrivateKeyEx(RsaKey* key, const unsigned char* n, size_t nlen, const unsigned char* e, size_t elen,
                        const unsigned char* d, size_t dlen, const unsigned char* p, size_t plen,
                        const unsigned char* q, size_t qlen, const unsigned char* dP, size_t dPlen,
                        const unsigned char* dQ, size_t dQlen, const unsigned char* qInv, size_t qInvlen);
// Getters: each length is the buffer size in and the significant octet
// count out (bdConvToOctets rule: values are right-aligned in the buffer).
long rsaGetPublicKeyOctets(const RsaKey* key, unsigned char* n, size_t* nlen, unsigned char* e, size_t* elen);
long rsaGetPrivateKeyOctets(const RsaKey* key, unsigned char* n, size_t* nlen, unsigned char* e, size_t* elen,
                            unsigned char* d, size_t* dlen, unsigned char* p, size_t* plen, unsigned char* q,
                            size_t* qlen, unsigned char* dP, size_t* dPlen, unsigned char* dQ, size_t* dQlen,
                            unsigned char* qInv, size_t* qInvlen);
size_t rsaBitLength(const RsaKey* key);
size_t rsaBlockLength(const RsaKey* key);

// Minimal big-endian octets of a number (one zero octet for 0).
velt::SecureBytes rsaNumberOctets(const BdNumber* b);

// ---------------------------------------------------------------------------
// Raw operations (RFC 8017 RSAEP/RSADP). out receives exactly rsaBlockLength
// octets (the buffer must hold that many) and *outlen is set to it.
// Results: 0; 14 null key; 6 needed part absent; 11 input not below n.
// The private operation is blinded, uses constant-time exponentiation and
// checks its result with the public exponent (23 when it does not verify).
long rsaPublicRaw(const RsaKey* key, unsigned char* out, size_t* outlen, const unsigned char* in, size_t inlen);
long rsaPrivateRaw(const RsaKey* key, unsigned char* out, size_t* outlen, const unsigned char* in, size_t inlen);

// Generator callback: fills n bytes with additional input; 0 on success.
typedef long (*RsaRandFunc)(unsigned char* out, long n, const unsigned char* seed, long seedlen);

inline constexpr long kRsaProgress = 0x1000000;  // print prime-search progress

// Generates a key of nbits bits. Results 0, 14, 11 (nbits < 4), 24, 23.
long rsaGenerateKeys(RsaKey* key, size_t nbits, long exponentIndex, size_t ntests, const unsigned char* seed,
                     size_t seedlen, RsaRandFunc randFunc, long flags);
long rsaPairWiseTest(const RsaKey* key);  // 0, 26 or 23
// Consistency of a private key's values: with CRT values 1 < p, 1 < q,
// p q = n, dP = d mod (p - 1), dQ = d mod (q - 1) and qInv q = 1 mod p;
// without them the five CRT fields zero. 0, 14 null, or 23 with a detail
// message. The reductions are ordinary (not constant-time) divisions.
long rsaCheckPrivateValues(const RsaKey* key);
// Public exponent of the generation table (index above 4 gives 65537).
uint32_t rsaExponentFromIndex(long index);
// CRT values from d, p, q (p < q allowed): 0 with three minimal octet strings
// in the outputs, or -1 when any input is below 2 or q has no inverse mod p.
int rsaComputeCRT(velt::SecureBytes& dP, velt::SecureBytes& dQ, velt::SecureBytes& qInv,
                  const unsigned char* d, size_t dlen, const unsigned char* p, size_t plen, const unsigned char* q,
                  size_t qlen);
// Power-up self-test: loads the fixed 512-bit key pair and returns the
// pair-wise test result (0 when it passes).
long rsaSelfTest();

// ---------------------------------------------------------------------------
// Key structures (DER). Encoders return an empty vector when the record lacks
// the needed parts.
std::vector<uint8_t> rsaPublicKeyDer(const RsaKey* key);   // PKCS #1 RSAPublicKey
std::vector<uint8_t> rsaSpkiDer(const RsaKey* key);        // SubjectPublicKeyInfo
velt::SecureBytes rsaPrivateKeyDer(const RsaKey* key);     // PKCS #1 RSAPrivateKey
velt::SecureBytes rsaPrivateKeyInfoDer(const RsaKey* key); // PKCS #8 PrivateKeyInfo
// Parsers: 0, 8 unparsable, 19 unsupported version, 7 wrong algorithm, 33
// key too large (rsaCheckKeySize).
long rsaParsePublicKeyDer(RsaKey* key, const uint8_t* der, size_t len);
long rsaParseSpkiDer(RsaKey* key, const uint8_t* der, size_t len);
long rsaParsePrivateKeyDer(RsaKey* key, const uint8_t* der, size_t len);
long rsaParsePrivateKeyInfoDer(RsaKey* key, const uint8_t* der, size_t len);

// Size bounds on keys from input, so that a hostile key cannot keep a raw
// operation busy for minutes: moduli of at most 16,384 bits, and public
// exponents of at most 64 bits with moduli above 3,072 bits.
inline constexpr size_t kRsaMaxModulusBits = 16384;
inline constexpr size_t kRsaLongExponentFromBits = 3072;
inline constexpr size_t kRsaMaxLongExponentBits = 64;
// 0, or 33 (BAD_KEY_LEN_ERROR) with a detail message when n (big-endian,
// leading zeros allowed) and e break those bounds.
long rsaCheckKeySize(const uint8_t* n, size_t nlen, const uint8_t* e, size_t elen);

// ---------------------------------------------------------------------------
// Internal key strings (shared with the elliptic-curve keys).

// Type from the first four characters (PUBR 1 .. PVED 8), 0 when none.
int IK_KeyTypeFromB64(const char* text);
bool IK_KeyTypeIsECC(const char* text);  // types 6 and 8
// A new key string of type 1..8 (wrapped) or plain base64 for any other type.
// Empty result (and *len = -6) for no data, *len = -212 when the generator
// fails (wrapping key, padding or IV).
std::string IK_B64FromBytes(long* len, int type, const uint8_t* der, long derlen);
// The DER payload of a key string; *type 0 for plain base64. On failure the
// result is empty and *len negative (-6 empty text, -8 failed unwrap, -212
// no wrapping key: the generator failed).
velt::SecureBytes IK_BytesFromB64(long* len, int* type, const char* text);
// Wrap/unwrap under a 24-octet Triple-DES key (see ikey.cpp); lengths or
// negative codes.
long IK_Wrap(uint8_t* out, long outlen, const uint8_t* der, long derlen, const uint8_t* key);
long IK_Unwrap(uint8_t* out, long outlen, const uint8_t* in, long inlen, const uint8_t* key);
// The process wrapping key (24 octets, from the library generator on first use).
const uint8_t* IK_GetKeyPtr();

// Key record from an internal key string: 0, 11 short payload, 8 unparsable,
// 14 null arguments, 33 key too large (rsaCheckKeySize), 212 when the
// generator fails to make the wrapping key.
long rsaMakePublicKeyFromB64(RsaKey* key, const char* text);
long rsaMakePrivateKeyFromB64(RsaKey* key, const char* text);
// Key string of a record (options 0x2000000: plain base64). Length, -30 when
// out is given and too small, -7 when the record lacks the parts, -212 when
// the generator fails to make the wrapping key.
inline constexpr long kKeyUnwrapped = 0x2000000;
long rsaMakeB64FromPublicKey(char* out, long outlen, const RsaKey* key, long options);
long rsaMakeB64FromPrivateKey(char* out, long outlen, const RsaKey* key, long options);
// The key string alone; empty on failure, with *error (when given) -212 when
// the generator failed to make the wrapping key, else -8.
std::string rsaPublicKeyString(const RsaKey* key, long options, long* error = nullptr);
velt::SecureString rsaPrivateKeyString(const RsaKey* key, long options, long* error = nullptr);

// Key record from a key file, PEM string, base64 DER or internal key string
// (signing, certificate and CMS code). 0 or a positive code.
long rsaGetPublicKeyFromFileOrString(RsaKey* key, const char* fileOrString);
long rsaGetPrivateKeyFromFileOrString(RsaKey* key, const char* fileOrString, const char* password);

// A key for one or more raw operations (signing and verifying code): an
// internal key string goes through the process-wide prepared-key cache, so
// its unwrapping and Montgomery set-up are paid once per string; any other
// input is read into a record for this use. The open functions follow the
// rsaGet*KeyFromFileOrString rules and codes (0 or a positive code).
struct RsaOpKey;
class RsaKeyUse {
  public:
    RsaKeyUse();
    ~RsaKeyUse();
    RsaKeyUse(const RsaKeyUse&) = delete;
    RsaKeyUse& operator=(const RsaKeyUse&) = delete;

    long open_private(const char* fileOrString, const char* password);
    long open_public(const char* fileOrString);
    const RsaKey* key() const;
    // rsaPrivateRaw and rsaPublicRaw on the key (same contracts).
    long private_raw(unsigned char* out, size_t* outlen, const unsigned char* in, size_t inlen) const;
    long public_raw(unsigned char* out, size_t* outlen, const unsigned char* in, size_t inlen) const;

  private:
    RsaOpKey* k_;
};

// ---------------------------------------------------------------------------
// Message encodings (RFC 8017). Hash identifiers are those of hash/hash.h.

// EME-PKCS1-v1_5 type 2 block of k octets; 0, 30 message too long, or the
// generator's failure as 24. randFunc null: the library generator.
long rsaEmePkcs1Encode(uint8_t* block, size_t k, const uint8_t* msg, size_t mlen);
// Decodes in constant time with respect to the block: message length, or -15.
// Copies min(outlen, length) octets when out is given.
long rsaEmePkcs1Decode(uint8_t* out, size_t outlen, const uint8_t* block, size_t k);
// EME-OAEP with the empty label; seed null draws one from the generator.
// 0, 17 bad hash, 30 message too long, 26 block too short.
long rsaOaepEncode(uint8_t* block, size_t k, const uint8_t* msg, size_t mlen, long hashAlg, long mgfHashAlg,
                   const uint8_t* seed);
// Message length or -15 (-17 bad hash, -26 block too short).
long rsaOaepDecode(uint8_t* out, size_t outlen, const uint8_t* block, size_t k, long hashAlg, long mgfHashAlg);
// EMSA-PKCS1-v1_5 of a digest: 0, 17, 26, 30.
long rsaEmsaPkcs1Encode(uint8_t* block, size_t k, const uint8_t* digest, size_t dlen, long hashAlg);

// Type-1 block with the private operation, and its inverse (Part of the
// signature code's toolkit): 0 or a positive code.
long rsaEncryptPublic(const RsaKey* key, uint8_t* out, size_t* outlen, const uint8_t* data, size_t datalen,
                      RsaRandFunc randFunc);
long rsaDecryptPrivate(const RsaKey* key, uint8_t* out, size_t* outlen, const uint8_t* in, size_t inlen);
long rsaEncryptPrivate(const RsaKey* key, uint8_t* out, size_t* outlen, const uint8_t* data, size_t datalen);
long rsaDecryptPublic(const RsaKey* key, uint8_t* out, size_t* outlen, const uint8_t* in, size_t inlen);

// ISO/IEC 9796-1 redundancy for a key of kbits bits (0: 8 k). Encode: 0 or
// 6; decode: message length, -22 on any inconsistency, -30 short output.
long rsaIso9796Encode(uint8_t* out, size_t k, const uint8_t* msg, size_t mlen, size_t kbits);
long rsaIso9796Decode(uint8_t* out, size_t outlen, const uint8_t* block, size_t blen, size_t kbits);

// EMSA-PSS (RFC 8017 9.1): encode 0 or 39; verify 0 consistent, 1 not.
long rsapssEncode(uint8_t* em, size_t emLen, size_t emBits, const uint8_t* mHash, size_t hLen, long hashAlg,
                  long mgfHashAlg, const uint8_t* salt, size_t saltLen);
long rsapssVerify(const uint8_t* mHash, size_t hLen, const uint8_t* em, size_t emLen, size_t emBits, long hashAlg,
                  long mgfHashAlg);

// ---------------------------------------------------------------------------
// Bodies of the exported functions (negative codes unless noted).
long rsaMakeKeys(const char* publicKeyFile, const char* privateKeyFile, long nbits, long exponentIndex, long ntests,
                 long iterationCount, const char* password, const unsigned char* seed, long seedlen, long options);
long rsaMakeKeysXtd(const char* publicKeyFile, const char* privateKeyFile, const char* password, long nbits,
                    long exponentIndex, const char* paramString, long options);
long rsaRawPublicInPlace(unsigned char* data, long dataLen, const char* keyString, long options);   // positive
long rsaRawPrivateInPlace(unsigned char* data, long dataLen, const char* keyString, long options);  // positive
long rsaCheckKey(const char* keyString, long options);
long rsaKeyMatch(const char* privateKeyString, const char* publicKeyString);
long rsaKeyHashCode(const char* keyString);
long rsaKeyBits(const char* keyString);
long rsaKeyBytes(const char* keyString);
long rsaPublicKeyFromPrivate(char* out, long outlen, const char* privateKeyString, long options);

long rsaEncrypt(unsigned char* out, long outlen, const unsigned char* data, long datalen, const char* publicKey,
                const char* params, long options);
long rsaDecrypt(unsigned char* out, long outlen, const unsigned char* data, long datalen, const char* privateKey,
                const char* password, const char* params, long options);
long rsaEncodeMsg(unsigned char* out, long outlen, const unsigned char* msg, long msglen, long options);
long rsaDecodeMsg(unsigned char* out, long outlen, const unsigned char* block, long blocklen, long options);

// Key reading and saving (the exported RSA_Read*, RSA_Save*, RSA_KeyValue).
// The readers return the key string length or a negative code; the three
// savers named in the comment return positive codes.
long rsaReadAnyPrivateKey(char* out, long outlen, const char* input, const char* password, long options);
long rsaReadAnyPublicKey(char* out, long outlen, const char* input, long options);
long rsaReadPrivateKeyInfo(char* out, long outlen, const char* input, long options);
long rsaReadEncPrivateKey(char* out, long outlen, const char* input, const char* password, long options);
long rsaReadPublicKey(char* out, long outlen, const char* input, long options);
long rsaGetPublicKeyFromCert(char* out, long outlen, const char* input, long options);
long rsaSavePublicKey(const char* outputFile, const char* keyString, long options);             // positive
long rsaSavePrivateKeyInfo(const char* outputFile, const char* privateKeyString, long options);  // positive
long rsaSaveEncPrivateKey(const char* outputFile, const char* privateKeyString, long iterationCount,
                          const char* password, long options);  // positive
long rsaSaveEncKey(const char* outputFile, const char* privateKeyString, const char* password,
                   const char* paramString, long options);
long rsaKeyValue(char* out, long outlen, const char* keyString, const char* fieldName, long options);

// ---------------------------------------------------------------------------
// RSASSA-PSS and RSAES-OAEP parameters (RFC 8017 appendix A.2.1, A.2.3).

struct AsnNode;

struct RsaPssParams {
    long hashAlg = 0;                // hash identifier (SHA-1 by default)
    char hashName[16] = "SHA1";
    int mgfStatus = 0;               // 0 = MGF1 (the only one accepted)
    long mgfHashAlg = 0;
    char mgfName[16] = "mgf1SHA1";
    long saltLen = 20;               // PSS only
    long trailer = 1;                // PSS only
    int pSourceStatus = 0;           // OAEP only: 0 = empty label
    char errorText[64] = "";
};

// Fill a record from an AlgorithmIdentifier (or the bare parameters
// SEQUENCE). 0, or -19 / -6 with the record's error text set.
long rsapssGetParams(RsaPssParams* rec, const AsnNode* algorithmIdentifier);
long rsapssGetParams_OAEP(RsaPssParams* rec, const AsnNode* algorithmIdentifier);
// The same over DER.
long rsapssGetParamsDer(RsaPssParams* rec, const uint8_t* der, size_t len, bool oaep);
// "hash/mgf/salt/trailer" and "hash/mgf/pSource" (at most 127 characters).
std::string rsapssParamString(const RsaPssParams* rec);
std::string rsapssParamString_OAEP(const RsaPssParams* rec);
bool rsapssParamsMatch(const RsaPssParams* a, const RsaPssParams* b);
