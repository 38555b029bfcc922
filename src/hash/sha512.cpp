// SHA-512 and SHA-384 (FIPS 180-4 sections 6.4 and 6.5).
#include "hash/blocks.h"
#include "hash/hash.h"
#include "util/bytes.h"
#include "util/cpu.h"
#include "util/emem.h"

namespace velt::hash {

alignas(64) const uint64_t kSha512K[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817};

// One round, with the additions ordered for short dependency chains: h + K
// + W is ready before e, Ch(e,f,g) is the sum of its two disjoint halves, and
// d takes h before Maj is added.
#define S512_ROUND(a, b, c, d, e, f, g, h, k, w)                                     \
    do {                                                                             \
        h += (k) + (w);                                                              \
        h += (e & f);                                                                \
        h += (~e & g);                                                               \
        h += rotr64(e, 14) ^ rotr64(e, 18) ^ rotr64(e, 41);                          \
        d += h;                                                                      \
        h += (a & (b | c)) | (b & c);                                                \
        h += rotr64(a, 28) ^ rotr64(a, 34) ^ rotr64(a, 39);                          \
    } while (0)

// W[j] for rounds 16..79, kept in a 16-word ring: W[j] += s0(W[j+1]) +
// W[j+9] + s1(W[j+14]) (indices mod 16).
#define S512_SCHED(j)                                                                      \
    (w[(j) & 15] += (rotr64(w[((j) + 1) & 15], 1) ^ rotr64(w[((j) + 1) & 15], 8) ^         \
                     (w[((j) + 1) & 15] >> 7)) +                                           \
                    w[((j) + 9) & 15] +                                                    \
                    (rotr64(w[((j) + 14) & 15], 19) ^ rotr64(w[((j) + 14) & 15], 61) ^     \
                     (w[((j) + 14) & 15] >> 6)))

#define S512_8ROUNDS(k, W)                                      \
    S512_ROUND(a, b, c, d, e, f, g, h, (k)[0], W(0));           \
    S512_ROUND(h, a, b, c, d, e, f, g, (k)[1], W(1));           \
    S512_ROUND(g, h, a, b, c, d, e, f, (k)[2], W(2));           \
    S512_ROUND(f, g, h, a, b, c, d, e, (k)[3], W(3));           \
    S512_ROUND(e, f, g, h, a, b, c, d, (k)[4], W(4));           \
    S512_ROUND(d, e, f, g, h, a, b, c, (k)[5], W(5));           \
    S512_ROUND(c, d, e, f, g, h, a, b, (k)[6], W(6));           \
    S512_ROUND(b, c, d, e, f, g, h, a, (k)[7], W(7))

#define S512_W0(i) w[i]
#define S512_W8(i) w[8 + (i)]
#define S512_S0(i) S512_SCHED(i)
#define S512_S8(i) S512_SCHED(8 + (i))

void sha512_blocks_portable(uint64_t st[8], const uint8_t* p, size_t blocks) {
    while (blocks--) {
        uint64_t w[16];
        for (int t = 0; t < 16; t++) w[t] = load_be64(p + 8 * t);
        uint64_t a = st[0], b = st[1], c = st[2], d = st[3], e = st[4], f = st[5], g = st[6], h = st[7];
        S512_8ROUNDS(kSha512K, S512_W0);
        S512_8ROUNDS(kSha512K + 8, S512_W8);
        for (int t = 16; t < 80; t += 16) {
            S512_8ROUNDS(kSha512K + t, S512_S0);
            S512_8ROUNDS(kSha512K + t + 8, S512_S8);
        }
        st[0] += a;
        st[1] += b;
        st[2] += c;
        st[3] += d;
        st[4] += e;
        st[5] += f;
        st[6] += g;
        st[7] += h;
        p += 128;
    }
}

void sha512_blocks(uint64_t h[8], const uint8_t* p, size_t blocks) {
    if (cpu::has(cpu::kAvx2 | cpu::kBmi2))
        sha512_blocks_avx2(h, p, blocks);
    else
        sha512_blocks_portable(h, p, blocks);
}

void sha512_init(Sha512Ctx& c) {
    static constexpr uint64_t kIv[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                        0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                        0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
    memcpy(c.h, kIv, sizeof kIv);
    c.bytes = 0;
    c.used = 0;
    c.out_len = 64;
}

void sha384_init(Sha512Ctx& c) {
    static constexpr uint64_t kIv[8] = {0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17,
                                        0x152fecd8f70e5939, 0x67332667ffc00b31, 0x8eb44a8768581511,
                                        0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};
    memcpy(c.h, kIv, sizeof kIv);
    c.bytes = 0;
    c.used = 0;
    c.out_len = 48;
}

void sha512_update(Sha512Ctx& c, const uint8_t* data, size_t n) {
    md_update<128>(c, data, n, [&](const uint8_t* p, size_t b) { sha512_blocks(c.h, p, b); });
}

void sha512_final(Sha512Ctx& c, uint8_t* out) {
    uint64_t bits = c.bytes << 3, bits_hi = c.bytes >> 61;
    c.buf[c.used++] = 0x80;
    if (c.used > 112) {
        memset(c.buf + c.used, 0, 128 - c.used);
        sha512_blocks(c.h, c.buf, 1);
        c.used = 0;
    }
    memset(c.buf + c.used, 0, 112 - c.used);
    store_be64(c.buf + 112, bits_hi);
    store_be64(c.buf + 120, bits);
    sha512_blocks(c.h, c.buf, 1);
    uint8_t full[64];
    for (int i = 0; i < 8; i++) store_be64(full + 8 * i, c.h[i]);
    memcpy(out, full, c.out_len);
    ewipe(full, sizeof full);
    ewipe(&c, sizeof c);
}

}  // namespace velt::hash
