// Compression functions of the Merkle-Damgard digests, portable and
// accelerated, and the buffering they share. Internal to src/hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velt::hash {

// SHA-512 round constants (FIPS 180-4 section 4.2.3).
extern const uint64_t kSha512K[80];

// Portable compression of `blocks` whole blocks.
void sha1_blocks_portable(uint32_t h[5], const uint8_t* p, size_t blocks);
void sha256_blocks_portable(uint32_t h[8], const uint8_t* p, size_t blocks);
void sha512_blocks_portable(uint64_t h[8], const uint8_t* p, size_t blocks);
// SHA-NI forms (sha_ni.cpp); call only when cpu::has(kShaNi).
void sha1_blocks_shani(uint32_t h[5], const uint8_t* p, size_t blocks);
void sha256_blocks_shani(uint32_t h[8], const uint8_t* p, size_t blocks);
// SHA-512 with the message schedule in AVX2 and rorx rotations
// (sha512_avx2.cpp); call only when cpu::has(kAvx2 | kBmi2).
void sha512_blocks_avx2(uint64_t h[8], const uint8_t* p, size_t blocks);

// Keccak-f[1600], portable and with BMI1 (keccak_bmi.cpp; call only when
// cpu::has(kBmi2), which implies BMI1).
void keccak_f1600_portable(uint64_t s[25]);
void keccak_f1600_bmi(uint64_t s[25]);

// The chosen compression for the current feature set.
void sha1_blocks(uint32_t h[5], const uint8_t* p, size_t blocks);
void sha256_blocks(uint32_t h[8], const uint8_t* p, size_t blocks);
void sha512_blocks(uint64_t h[8], const uint8_t* p, size_t blocks);

// Feeds n bytes through a block buffer: completes a partial block, compresses
// whole blocks straight from the input, keeps the rest.
template <size_t B, class Ctx, class F>
inline void md_update(Ctx& c, const uint8_t* data, size_t n, F compress) {
    c.bytes += n;
    if (c.used) {
        size_t take = B - c.used;
        if (take > n) take = n;
        memcpy(c.buf + c.used, data, take);
        c.used += uint32_t(take);
        data += take;
        n -= take;
        if (c.used < B) return;
        compress(c.buf, 1);
        c.used = 0;
    }
    if (n >= B) {
        compress(data, n / B);
        data += n / B * B;
        n %= B;
    }
    if (n) {
        memcpy(c.buf, data, n);
        c.used = uint32_t(n);
    }
}

}  // namespace velt::hash
