// Password-based encryption: what other subsystems may call.
//
// Key derivation from passwords (PBKDF2 and PBKDF1 of RFC 8018, the PKCS #12
// derivation of RFC 7292 appendix B, scrypt of RFC 7914), the PBES1, PBES2
// and PKCS #12 encryption schemes, the PBE parameter record that selects and
// carries a scheme's parameters, and the EncryptedPrivateKeyInfo of PKCS #8
// (RFC 5958) for reading and writing.
//
// Key savers (RSA, elliptic-curve, PKCS #12) fill a record with pbe_Setup from
// a password, an iteration count and their options word, then call
// asn_EncryptedPrivateKeyInfo_Make (or pbeEncryptPrivateKeyInfoDer on DER).
// Key readers set the password and call asn_EncryptedPrivateKeyInfo_Extract
// (or pbeDecryptPrivateKeyInfoDer), which takes the scheme and its parameters
// from the input. Failures leave a detail message in the error record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "util/emem.h"

// ---------------------------------------------------------------------------
// Bounds on parameters read from input. Readers of password-based parameters
// (encrypted private keys here, PKCS #12 bags and MACs, CMS) refuse larger
// values with INVALID_DATA_ERROR (8) before deriving anything, so that a file
// of a few dozen octets cannot keep a caller busy for minutes or claim
// gigabytes of memory. Functions that take the values from their caller
// (PBE_Kdf2, PBE_Scrypt, the key savers) are not bounded by them.

// Iteration counts of PBKDF2, PBKDF1 and the PKCS #12 derivation: at most
// 10,000,000 (a few seconds of HMAC-SHA-1, far above counts in real use).
inline constexpr uint64_t kPbeMaxIterations = 10000000;
// scrypt: the table of 128 r N octets within 1 GiB (N = 2^20 with r = 8 is
// the largest of RFC 7914's examples), and the work N r p at most 2^24, two
// passes over a 1 GiB table (which also keeps the 128 r p octets of blocks
// within 1 GiB).
inline constexpr uint64_t kPbeMaxScryptMemory = uint64_t(1) << 30;
inline constexpr uint64_t kPbeMaxScryptWork = uint64_t(1) << 24;

// True when an iteration count read from input is within kPbeMaxIterations.
inline bool pbe_CountAcceptable(uint64_t count) {
    return count <= kPbeMaxIterations;
}
// True when scrypt parameters read from input are valid (N a power of 2 above
// 1, r and p at least 1) and within the memory and work bounds above.
bool pbe_ScryptParamsAcceptable(uint64_t N, uint64_t r, uint64_t p);

// ---------------------------------------------------------------------------
// PBE parameter record. pbe_New zero-fills it; pbe_Free wipes the password
// and the whole record, frees it and nulls the caller's pointer.

struct PbeRec {
    std::string algorithm;  // scheme name (OID table name), compared without regard to case
    velt::SecureBytes password;
    uint32_t count = 0;
    std::vector<uint8_t> salt;
    std::vector<uint8_t> iv;  // PBES2
    bool bmp = false;         // password already in the PKCS #12 form
    long encScheme = -1;      // PBES2 encryption scheme identifier (below)
    char encSchemeName[64] = {0};
    size_t keyLength = 0;  // octets of the derived key; 0 = the scheme's default
    long keyParam = 0;     // RC2 effective key bits
    long prfId = 0;        // PBES2 PRF: a hash selector of hash.h
    char prfName[64] = {0};
    size_t saltLength = 8;  // octets of salt made when encrypting
};

// PBES2 encryption schemes.
enum PbeEncScheme : long {
    kPbeDesEde3Cbc = 0,
    kPbeDesCbc = 1,
    kPbeRc2Cbc = 2,
    kPbeAes128Cbc = 3,
    kPbeAes192Cbc = 4,
    kPbeAes256Cbc = 5,
};

// Options word of pbe_Setup (shared by the key savers).
inline constexpr long kPbeOptPbes2 = 0x1000;       // PBES2; cipher in 0xF0, PRF in 0x0F
inline constexpr long kPbeOptPbes1Mask = 0x800000F;  // with 0x1000 clear: 0x8000001..0x8000004

PbeRec* pbe_New();
void pbe_Free(PbeRec** pbe);
// Clears the record, sets the salt length to 8, the count to max(count, 1),
// the scheme chosen by options and the password (the octets of the text,
// without terminator; null is empty). Always succeeds (returns 0).
int pbe_Setup(PbeRec* pbe, const char* password, long count, long options);
void pbe_SetPassword(PbeRec* pbe, const uint8_t* octets, size_t n);
void pbe_SetSalt(PbeRec* pbe, const uint8_t* octets, size_t n);
void pbe_SetIV(PbeRec* pbe, const uint8_t* octets, size_t n);
void pbe_SetCount(PbeRec* pbe, long count);
void pbe_SetKeyLength(PbeRec* pbe, long n);
void pbe_SetKeyParam(PbeRec* pbe, long bits);
void pbe_SetAlgorithm(PbeRec* pbe, const char* name);
// Lookups set the field and return the identifier, or -1 when unknown.
long pbe_SetEncSchemeByName(PbeRec* pbe, const char* name);
long pbe_SetEncSchemeId(PbeRec* pbe, long id);
long pbe_SetPrfByName(PbeRec* pbe, const char* name);
long pbe_SetPrfId(PbeRec* pbe, long id);
const char* pbe_Algorithm(const PbeRec* pbe);
const uint8_t* pbe_Salt(const PbeRec* pbe);
size_t pbe_SaltLen(const PbeRec* pbe);
const uint8_t* pbe_IV(const PbeRec* pbe);
size_t pbe_IVLen(const PbeRec* pbe);
long pbe_Count(const PbeRec* pbe);
const char* pbe_EncSchemeName(const PbeRec* pbe);
long pbe_PrfId(const PbeRec* pbe);
const char* pbe_PrfName(const PbeRec* pbe);
// 1 when the record's scheme is name (case-insensitive), else 0.
int pbe_CompareAlgorithm(const PbeRec* pbe, const char* name);
// Selects the first scheme name (table order) that begins with text,
// case-insensitively: 0; with no match sets an empty name and returns 1.
int pbe_MatchAlgorithmName(PbeRec* pbe, const char* text);
// Name and identifier tables.
const char* pbe_EncSchemeNameOf(long id);  // null when unknown
const char* pbe_PrfNameOf(long id);        // null when unknown
// Key and block octets of a PBES2 encryption scheme (0 when unknown).
size_t pbe_EncSchemeKeyLen(long id);
size_t pbe_EncSchemeBlockLen(long id);

// ---------------------------------------------------------------------------
// Encryption and decryption under a record. Encryption makes a fresh 8-octet
// salt (and for PBES2 a fresh IV from the generator) and stores them in the
// record; ciphertext is padded by PKCS #5. Decryption refuses a count above
// kPbeMaxIterations before deriving, then checks and removes the padding.
// Both return false with a detail message on failure (output wiped).
//
// PBES2 decryption with a PRF other than HMAC-SHA-1 also derives a key with
// HMAC-SHA-1 (some writers used it whatever PRF they named) and takes that
// result when the named PRF's padding is not valid. Both derivations and
// both decryptions always run, so the time does not tell whether the
// padding of either was valid.

bool pbe_Encrypt(PbeRec* pbe, const uint8_t* plain, size_t n, std::vector<uint8_t>& out);
bool pbe_Decrypt(PbeRec* pbe, const uint8_t* cipher, size_t n, velt::SecureBytes& out);
bool pbe_EncPBES2(PbeRec* pbe, const uint8_t* plain, size_t n, std::vector<uint8_t>& out);
bool pbe_DecPBES2(PbeRec* pbe, const uint8_t* cipher, size_t n, velt::SecureBytes& out);

// ---------------------------------------------------------------------------
// EncryptedPrivateKeyInfo (RFC 5958 section 3).

// Encrypts the DER of the PrivateKeyInfo chain and returns the
// EncryptedPrivateKeyInfo chain, or null ("Unsupported PBE algorithm: %s").
AsnNode* asn_EncryptedPrivateKeyInfo_Make(PbeRec* pbe, AsnNode* privateKeyInfo);
// With the password set, returns the decrypted PrivateKeyInfo chain, or null.
AsnNode* asn_EncryptedPrivateKeyInfo_Extract(PbeRec* pbe, AsnNode* encryptedPrivateKeyInfo);
// True when the chain is SEQUENCE, SEQUENCE, OID pkcs5PBES2.
int pbeasn_IsEncryptedPrivateKeyInfo_PBES2(const AsnNode* chain);
// Fills the record from PBES2-params (the node is the SEQUENCE holding
// keyDerivationFunc and encryptionScheme): 0, or -1 with a detail message
// (also for an iteration count above kPbeMaxIterations).
int asn_Pbes2_Get(PbeRec* pbe, AsnNode* parameters);

// DER-level forms for key savers and readers.
// EncryptedPrivateKeyInfo DER of a PrivateKeyInfo DER under the scheme that
// pbe_Setup chooses for options: 0, or 9999 ("Unable to make encrypted
// private key") with the scheme's detail message.
long pbeEncryptPrivateKeyInfoDer(std::vector<uint8_t>& out, const uint8_t* pki, size_t pki_len,
                                 const char* password, long count, long options);
// The PrivateKeyInfo DER inside an EncryptedPrivateKeyInfo DER: 0; 8 when
// an iteration count exceeds kPbeMaxIterations (nothing is derived); or 15
// (Could not decrypt) with the detail message of the failed step.
long pbeDecryptPrivateKeyInfoDer(velt::SecureBytes& out, const uint8_t* epki, size_t epki_len,
                                 const uint8_t* password, size_t password_len);

// ---------------------------------------------------------------------------
// Key derivation. Results are 0 or a positive error code.

// PBKDF2 (RFC 8018 section 5.2) with HMAC over prf 0 SHA-1, 3 SHA-256,
// 4 SHA-384, 5 SHA-512, 6 SHA-224; count 0 acts as 1. 14 for a null output,
// or a null password or salt with a non-zero length; 6 for dkLen below 1 or
// another prf. The output is zeroed first.
long pbeKDF2(uint8_t* dk, long dkLen, const uint8_t* password, long pwLen, const uint8_t* salt, long saltLen,
             long count, long prf);
// Lower-case hex of PBKDF2 over a text password and a hex salt: 0; 14 null,
// 6 zero values, 30 output too short, 7 salt not hexadecimal.
long pbeKDF2Hex(char* outHex, long outHexLen, long dkLen, const char* password, const char* saltHex, long count,
                long prf);
// PBKDF1 (RFC 8018 section 5.1) with digest alg: n octets (n <= digest length).
void pbeKDF1(uint8_t* out, size_t n, const uint8_t* password, size_t pwLen, const uint8_t* salt, size_t saltLen,
             uint32_t count, long alg);
// The PKCS #12 derivation (RFC 7292 appendix B.2, SHA-1) of n octets from the
// record's password (converted once to the PKCS #12 form), salt and count;
// id 1 key, 2 IV, 3 MAC key. 0 or a positive error code.
long pbe_MakePkcs12KeySHA(uint8_t* out, size_t n, PbeRec* pbe, int id);
// The same over raw inputs; password already in the PKCS #12 form.
void pkcs12_derive(uint8_t* out, size_t n, const uint8_t* bmpPassword, size_t pwLen, const uint8_t* salt,
                   size_t saltLen, uint32_t count, int id);
// The same over any of SHA-1, SHA-224, SHA-256, SHA-384 and SHA-512 (alg a
// hash id): u is the digest length, v 64 octets (128 for SHA-384 and SHA-512).
void pkcs12_derive_hash(long alg, uint8_t* out, size_t n, const uint8_t* bmpPassword, size_t pwLen,
                        const uint8_t* salt, size_t saltLen, uint32_t count, int id);
// scrypt (RFC 7914): 0, or 14 null, 6 zero value, 11 out of range, 5 memory.
long scrypt(uint8_t* dk, long dkLen, const uint8_t* password, long pwLen, const uint8_t* salt, long saltLen,
            uint64_t N, uint64_t r, uint64_t p);
// Bodies of PBE_Scrypt and PBE_ScryptHex: 0 or a negative error code.
long pbeScrypt(uint8_t* dk, long dkLen, const uint8_t* password, long pwLen, const uint8_t* salt, long saltLen,
               long N, long r, long p, long options);
long pbeScryptHex(char* outHex, long outHexLen, long dkLen, const char* password, const char* saltHex, long N,
                  long r, long p, long options);
