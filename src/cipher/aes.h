// AES block cipher (FIPS 197) with 128, 192 and 256-bit keys, and the bulk
// block loops the modes are built from. Two implementations sit behind these
// functions: AES-NI (aes_aesni.cpp), chosen at key setup when the processor
// has it, and a portable one that evaluates the S-box as a Boolean circuit on
// bit-sliced data, so that no table is ever indexed by key or data.
//
// Every function accepts in == out (in-place operation); other overlaps are
// not allowed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::aes {

inline constexpr size_t kBlock = 16;

struct Key {
    // Round keys of the forward cipher in FIPS 197 byte order: round r is
    // enc[16r .. 16r+15].
    alignas(16) uint8_t enc[240];
    // AES-NI only: round keys of the equivalent inverse cipher (FIPS 197
    // section 5.3.5) in the order they are applied.
    alignas(16) uint8_t dec[240];
    unsigned rounds;  // 10, 12 or 14
    bool accel;       // the AES-NI code runs this key
    bool wide;        // long runs of independent blocks use VAES (AVX-512)
};

// Expands a 16, 24 or 32-byte key for both directions; false for any other
// length. The path (AES-NI or portable) is fixed here from util/cpu.h.
bool set_key(Key& k, const uint8_t* key, size_t key_len);
// Wipes the schedule.
void clear(Key& k);

// ECB over n whole blocks.
void encrypt_blocks(const Key& k, const uint8_t* in, uint8_t* out, size_t nblocks);
void decrypt_blocks(const Key& k, const uint8_t* in, uint8_t* out, size_t nblocks);
inline void encrypt_block(const Key& k, const uint8_t in[16], uint8_t out[16]) { encrypt_blocks(k, in, out, 1); }
inline void decrypt_block(const Key& k, const uint8_t in[16], uint8_t out[16]) { decrypt_blocks(k, in, out, 1); }

// CBC (SP 800-38A 6.2) over n whole blocks; iv is updated to the last
// ciphertext block so that calls can be chained.
void cbc_encrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t nblocks);
void cbc_decrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t nblocks);

// Counter mode over n whole blocks: out = in XOR E(counter), the counter
// block advanced after each block. kFull128 increments the whole block as a
// big-endian integer (SP 800-38A appendix B.1); kLow32 only its last four
// bytes, modulo 2^32 (the inc32 of SP 800-38D, for GCM).
enum class CtrWidth { kFull128, kLow32 };
void ctr_blocks(const Key& k, uint8_t counter[16], const uint8_t* in, uint8_t* out, size_t nblocks,
                CtrWidth width = CtrWidth::kFull128);

// Full-block CFB decryption (SP 800-38A 6.3, s = 128) over n whole blocks;
// iv is updated to the last ciphertext block. (CFB and OFB encryption are
// serial and use encrypt_block.)
void cfb_decrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t nblocks);

// --- Implementation interface between aes.cpp and aes_aesni.cpp ---
namespace detail {
void ni_expand(Key& k, const uint8_t* key, size_t key_len);
void ni_encrypt_blocks(const Key& k, const uint8_t* in, uint8_t* out, size_t nblocks);
void ni_decrypt_blocks(const Key& k, const uint8_t* in, uint8_t* out, size_t nblocks);
void ni_cbc_encrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t nblocks);
void ni_cbc_decrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t nblocks);
void ni_ctr_blocks(const Key& k, uint8_t counter[16], const uint8_t* in, uint8_t* out, size_t nblocks,
                   CtrWidth width);
void ni_cfb_decrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t nblocks);
// VAES on 512-bit registers: each handles whole groups of 16 blocks and
// returns how many blocks it did.
size_t vaes_ecb(const Key& k, const uint8_t* in, uint8_t* out, size_t nblocks, bool encrypt);
size_t vaes_cbc_decrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t nblocks);
size_t vaes_ctr(const Key& k, uint8_t counter[16], const uint8_t* in, uint8_t* out, size_t nblocks, CtrWidth width);
// The portable S-box over 64 bytes in place (four blocks at a time); exposed
// for the exhaustive S-box test.
void sub_bytes64(uint8_t s[64]);
void inv_sub_bytes64(uint8_t s[64]);
}  // namespace detail

}  // namespace velt::aes
