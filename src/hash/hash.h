// Digests, HMAC, key derivation and extendable-output functions: what other
// subsystems may call.
//
// One selector number chooses the digest everywhere: the low 4 bits of an
// option word (kSha1 .. kSha3_512 below). The block-level contexts (Sha512Ctx
// and kin) serve callers that keep a running digest (the generator's pools);
// Hasher and Hmac take any selector value; the C-style operations (hashBytes,
// hmacBytes, kdfX963, mgf1Bytes ...) follow the library's output convention
// and return lengths or negative error codes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::hash {

// Selector values (low 4 bits of the option word).
enum Alg : long {
    kSha1 = 0,
    kMd5 = 1,
    kMd2 = 2,
    kSha256 = 3,
    kSha384 = 4,
    kSha512 = 5,
    kSha224 = 6,
    kRmd160 = 7,
    kRmd160Sha256 = 8,
    kSha3_224 = 10,
    kSha3_256 = 11,
    kSha3_384 = 12,
    kSha3_512 = 13,
};

inline constexpr long kAlgMask = 0x0F;
inline constexpr long kModeText = 0x10000;  // VELT_HASH_MODE_TEXT
inline constexpr long kDouble = 0x20000;    // VELT_HASH_DOUBLE
inline constexpr size_t kMaxDigest = 64;
inline constexpr size_t kMaxBlock = 144;  // SHA3-224's rate

// --- Block-level contexts. Each update accepts any length; final writes the
// digest and leaves the context to be wiped or re-initialised. ---

struct Sha1Ctx {
    uint32_t h[5];
    uint64_t bytes;
    uint8_t buf[64];
    uint32_t used;
};
void sha1_init(Sha1Ctx& c);
void sha1_update(Sha1Ctx& c, const uint8_t* data, size_t n);
void sha1_final(Sha1Ctx& c, uint8_t out[20]);

// SHA-256 and SHA-224 (out_len 32 or 28).
struct Sha256Ctx {
    uint32_t h[8];
    uint64_t bytes;
    uint8_t buf[64];
    uint32_t used;
    uint32_t out_len;
};
void sha256_init(Sha256Ctx& c);
void sha224_init(Sha256Ctx& c);
void sha256_update(Sha256Ctx& c, const uint8_t* data, size_t n);
void sha256_final(Sha256Ctx& c, uint8_t* out);  // out_len bytes

// SHA-512 and SHA-384 (out_len 64 or 48).
struct Sha512Ctx {
    uint64_t h[8];
    uint64_t bytes;  // 2^64 bytes is beyond any input this library sees
    uint8_t buf[128];
    uint32_t used;
    uint32_t out_len;
};
void sha512_init(Sha512Ctx& c);
void sha384_init(Sha512Ctx& c);
void sha512_update(Sha512Ctx& c, const uint8_t* data, size_t n);
void sha512_final(Sha512Ctx& c, uint8_t* out);  // out_len bytes

struct Md5Ctx {
    uint32_t h[4];
    uint64_t bytes;
    uint8_t buf[64];
    uint32_t used;
};
void md5_init(Md5Ctx& c);
void md5_update(Md5Ctx& c, const uint8_t* data, size_t n);
void md5_final(Md5Ctx& c, uint8_t out[16]);

struct Md2Ctx {
    uint8_t state[48];
    uint8_t checksum[16];
    uint8_t buf[16];
    uint32_t used;
};
void md2_init(Md2Ctx& c);
void md2_update(Md2Ctx& c, const uint8_t* data, size_t n);
void md2_final(Md2Ctx& c, uint8_t out[16]);

struct Rmd160Ctx {
    uint32_t h[5];
    uint64_t bytes;
    uint8_t buf[64];
    uint32_t used;
};
void rmd160_init(Rmd160Ctx& c);
void rmd160_update(Rmd160Ctx& c, const uint8_t* data, size_t n);
void rmd160_final(Rmd160Ctx& c, uint8_t out[20]);

// Keccak-f[1600] sponge (FIPS 202): SHA3-224/256/384/512, SHAKE128/256 and
// the cSHAKE/KMAC framing of SP 800-185.
struct KeccakCtx {
    uint64_t a[25];
    uint32_t rate;     // bytes
    uint32_t used;     // bytes absorbed into the current block, or squeezed from it
    uint32_t out_len;  // digest length of SHA-3 (0 for the XOFs)
    uint8_t pad;       // domain byte: 0x06 SHA-3, 0x1F SHAKE, 0x04 cSHAKE
    bool squeezing;
};
void sha3_init(KeccakCtx& c, unsigned bits);   // 224, 256, 384, 512
void shake_init(KeccakCtx& c, unsigned bits);  // 128 or 256
void keccak_absorb(KeccakCtx& c, const uint8_t* data, size_t n);
void keccak_squeeze(KeccakCtx& c, uint8_t* out, size_t n);  // pads on the first call
void sha3_final(KeccakCtx& c, uint8_t* out);                  // out_len bytes
// The Keccak-f[1600] permutation (24 rounds).
void keccak_f1600(uint64_t a[25]);

// --- Any selector value with an algorithm (0-7, 10-13; not 8). ---
class Hasher {
public:
    Hasher() = default;
    ~Hasher();
    Hasher(const Hasher&) = default;
    Hasher& operator=(const Hasher&) = default;
    // False for a value without an algorithm (the object is then unusable).
    bool init(long alg);
    void update(const void* data, size_t n);
    // Writes length() bytes; init again before reuse.
    void final(uint8_t* out);
    size_t length() const;
    size_t block_size() const;
    long alg() const { return alg_; }

private:
    size_t state_size() const;
    long alg_ = -1;
    bool clean_ = true;  // the state holds nothing to wipe (new, or wiped by final)
    union {
        Sha1Ctx sha1;
        Sha256Ctx sha256;
        Sha512Ctx sha512;
        Md5Ctx md5;
        Md2Ctx md2;
        Rmd160Ctx rmd;
        KeccakCtx keccak;
    } u_{};
};

// Digest length of a selector value's low 4 bits (8 gives 20), 0 for none.
size_t digest_length(long alg);
// One-shot digest of a selector value (8 included); false for none.
bool digest(long alg, const void* data, size_t n, uint8_t* out);

// HMAC of RFC 2104 over SHA-1, MD5, SHA-2 and SHA-3 (block size = rate).
class Hmac {
public:
    // False when the selector has no HMAC (MD2, RIPEMD-160, 8, none).
    bool init(long alg, const uint8_t* key, size_t key_len);
    void update(const void* data, size_t n);
    void final(uint8_t* out);  // length() bytes; init again before reuse
    size_t length() const { return inner_.length(); }
    long alg() const { return inner_.alg(); }

private:
    Hasher inner_, outer_;
};
bool hmac_allowed(long alg);
// One-shot HMAC; false when the selector has no HMAC.
bool hmac(long alg, const uint8_t* key, size_t key_len, const void* data, size_t n, uint8_t* out);

// Rows of the signature hash table and the PKCS #1 DigestInfo table.
struct HashAlgRow {
    const char* name;  // "sha1", "sha224", "sha256", "sha384", "sha512", "shake256"
    long alg;
    long length;
};
struct DigestInfoRow {
    long alg;
    long length;
    const uint8_t* prefix;
    size_t prefix_len;
};
// Row for selector values 0 to 6, else null.
const DigestInfoRow* digest_info(long alg);
// All seven rows, in selector order.
const DigestInfoRow* digest_info_table(size_t* count);

// SHAKE of FIPS 202 (bits 128 or 256).
void shake(unsigned bits, const uint8_t* msg, size_t n, uint8_t* out, size_t out_len);
// KMAC128/KMAC256 of SP 800-185 (non-XOF form).
void kmac(unsigned bits, const uint8_t* key, size_t key_len, const uint8_t* msg, size_t n,
          const uint8_t* custom, size_t custom_len, uint8_t* out, size_t out_len);

}  // namespace velt::hash

// ---------------------------------------------------------------------------
// Library operations (output convention: a null output or a declared length
// of 0 or less is a length query; digests are truncated to the declared
// length). Results are lengths or negative error codes.

long hashBytes(unsigned char* output, long declared, const void* message, long length, long options);
long hashFile(unsigned char* output, long declared, const char* file_name, long options);
long hashBytesHex(char* output, long declared, const void* message, long length, long options);
long hashFileHex(char* output, long declared, const char* file_name, long options);
long hashHexHex(char* output, long declared, const char* message_hex, long options);
// Digest of message1 || message2 (values 0-7, 10-13).
long hashMsgs2(unsigned char* output, long declared, const void* message1, long length1, const void* message2,
               long length2, long options);
long hashLen(long value);
// As hashBytes and hashLen, for SHA-1 and SHA-2 only (0, 3, 4, 5, 6).
long hash_sha_Bytes(unsigned char* output, long declared, const void* message, long length, long options);
long hash_sha_Length(long value);

// Incremental digests. The hash digester takes values 0-7, the HMAC digester
// 0, 3, 4, 5, 6; another value is stored and every later call gives -19.
struct HashDigester;
struct HmacDigester;
HashDigester* hash_digester_New();
long hash_digester_Init(HashDigester* d, long value);
long hash_digester_Update(HashDigester* d, const void* data, long length);
long hash_digester_Final(HashDigester* d, unsigned char* output, long declared);
void hash_digester_Free(HashDigester** d);
HmacDigester* hmac_digester_New();
long hmac_digester_Init(HmacDigester* d, const unsigned char* key, long key_length, long value);
long hmac_digester_Update(HmacDigester* d, const void* data, long length);
long hmac_digester_Final(HmacDigester* d, unsigned char* output, long declared);
void hmac_digester_Free(HmacDigester** d);
long hmac_digester_bitlength(const HmacDigester* d, long value);

long hmacBytes(unsigned char* output, long declared, const void* message, long length, const unsigned char* key,
               long key_length, long options);
long hmacBytesHex(char* output, long declared, const void* message, long length, const unsigned char* key,
                  long key_length, long options);
long hmacHexHex(char* output, long declared, const char* message_hex, const char* key_hex, long options);
// HMAC restricted to SHA-1, SHA-256, SHA-384, SHA-512 (values 0, 3, 4, 5).
long hmacshaBytes(unsigned char* output, long declared, const void* message, long length, const unsigned char* key,
                  long key_length, long options);
long hmacshaLen(long value);

// Signature hash table lookups ("sha1" .. "shake256"); null when absent.
const velt::hash::HashAlgRow* hashPtrToHashAlgByName(const char* name);
const velt::hash::HashAlgRow* hashPtrToHashAlgById(long value);

// Known-answer tests: 0 when every value matches the published one, else -1.
long selftest_sha1();
long selftest_sha256();
long selftest_sha384();
long selftest_sha512();
long selftest_sha224();
long selftest_sha3();
long selftest_md5();
long selftest_md2();
long selftest_hmac_sha1();
long selftest_hmac_sha256();
long selftest_hmac_sha384();
long selftest_hmac_sha512();
long selftest_hmac_sha224();
long selftest_hmac_md5();

// ---------------------------------------------------------------------------
// Key derivation (results as stated per function).

// The body of KDF_Bytes: parses the "salt=<hex>" parameter string and runs
// the KDF of bits 0xF000 (X9.63, HKDF, KDF2, KDF3); 0 or a negative code
// (-7 for a salt that is not hex, -8 for an odd number of digits, -6 for a
// salt given to a KDF other than HKDF).
long kdfBytes(unsigned char* output, long length, const unsigned char* z, long z_length, const unsigned char* info,
              long info_length, const char* params, long options);
// ANSI X9.63 KDF: 0, or a negative code.
long kdfX963(unsigned char* output, long length, const unsigned char* z, long z_length, const unsigned char* info,
             long info_length, long options);
// ISO 18033-2 KDF2/KDF3: 0; 14 for a null output or Z and 6 for a zero
// length (returned positive).
long kdf2(unsigned char* output, long length, const unsigned char* z, long z_length, const unsigned char* info,
          long info_length, long options);
long kdf3(unsigned char* output, long length, const unsigned char* z, long z_length, const unsigned char* info,
          long info_length, long options);
// HKDF (RFC 5869) with the hash of the option's low 4 bits (0, 3, 4, 5): 0.
long kdfHkdf(unsigned char* output, long length, const unsigned char* ikm, long ikm_length, const unsigned char* info,
             long info_length, const unsigned char* salt, long salt_length, long options);
long hkdf_Bytes(unsigned char* output, long length, const unsigned char* ikm, long ikm_length,
                const unsigned char* info, long info_length, const unsigned char* salt, long salt_length, long alg);
// PRK into output (Nh bytes); Nh (also, without writing, for a null output
// or declared < 1), or -30 when 1 <= declared < Nh.
long hkdf_Extract(unsigned char* output, long declared, const unsigned char* ikm, long ikm_length,
                  const unsigned char* salt, long salt_length, long alg);
// 0; -11 above 255 * Nh, -6 for no output, a length below 1, or a null PRK
// with a non-zero length.
long hkdf_Expand(unsigned char* output, long length, const unsigned char* prk, long prk_length,
                 const unsigned char* info, long info_length, long alg);
// MGF1 (RFC 8017 B.2.1) with hash 0 or 3-6: the output length.
long mgf1Bytes(unsigned char* output, long length, const unsigned char* seed, long seed_length, long alg);
// SHAKE128/256 and MGF1 by the XOF selector: the output length.
long xofBytes(unsigned char* output, long length, const unsigned char* message, long message_length, long options);
// KMAC128/256 (or SHAKE ignoring the key): the output length.
long prfBytes(unsigned char* output, long length, const unsigned char* message, long message_length,
              const unsigned char* key, long key_length, const char* custom, long options);
long kmacBytes(unsigned char* output, long length, const unsigned char* message, long message_length,
               const unsigned char* key, long key_length, const unsigned char* custom, long custom_length,
               unsigned bits);
// HPKE (RFC 9180): suite identifier bytes for an AEAD selector (0x000,
// 0x520, 0x540, 0x550) and KEM row; its length, or -17.
long form_suite_id(unsigned char out[10], long kem_id, long kdf_id, long options);
long hpkeLabeledExtract(unsigned char* output, long declared, const unsigned char* salt, long salt_length,
                        const char* label, const unsigned char* ikm, long ikm_length, const char* curve,
                        long options);
long hpkeLabeledExpand(unsigned char* output, long length, const unsigned char* prk, long prk_length,
                       const char* label, const unsigned char* info, long info_length, const char* curve,
                       long options);
long hpkeDerivePrivateKey(char* output, long declared, const unsigned char* ikm, long ikm_length, const char* curve,
                          long options);
