// DES and Triple DES (FIPS 46-3, SP 800-67).
//
// Bit numbering follows FIPS 46-3: bit 1 is the most significant. The right
// half R is a 32-bit word with bit 1 at position 31. The expansion E selects
// the overlapping 6-bit groups g0..g7 (R bits 32,1..5; 4..9; ...; 28..32,1):
// rotr(R, 3) holds g0, g2, g4, g6 in the low six bits of its four bytes and
// rotl(R, 1) holds g1, g3, g5, g7, so a round is two rotations, two XORs
// with the subkey words and eight lookups in SP tables, each combining one
// S-box with the permutation P. The tables are built at compile time from
// the standard's S-boxes and P.
#include "cipher/des.h"

#include <array>
#include <cstring>

#include "util/bytes.h"
#include "util/emem.h"

namespace velt::des {
namespace {

constexpr uint8_t kSbox[8][64] = {
    {14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7, 0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11,
     9, 5, 3, 8, 4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0, 15, 12, 8, 2, 4, 9, 1, 7, 5,
     11, 3, 14, 10, 0, 6, 13},
    {15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10, 3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10,
     6, 9, 11, 5, 0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15, 13, 8, 10, 1, 3, 15, 4, 2,
     11, 6, 7, 12, 0, 5, 14, 9},
    {10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8, 13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14,
     12, 11, 15, 1, 13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7, 1, 10, 13, 0, 6, 9, 8, 7,
     4, 15, 14, 3, 11, 5, 2, 12},
    {7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15, 13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12,
     1, 10, 14, 9, 10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4, 3, 15, 0, 6, 10, 1, 13, 8,
     9, 4, 5, 11, 12, 7, 2, 14},
    {2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9, 14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10,
     3, 9, 8, 6, 4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14, 11, 8, 12, 7, 1, 14, 2, 13,
     6, 15, 0, 9, 10, 4, 5, 3},
    {12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11, 10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14,
     0, 11, 3, 8, 9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6, 4, 3, 2, 12, 9, 5, 15, 10,
     11, 14, 1, 7, 6, 0, 8, 13},
    {4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1, 13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12,
     2, 15, 8, 6, 1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2, 6, 11, 13, 8, 1, 4, 10, 7,
     9, 5, 0, 15, 14, 2, 3, 12},
    {13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7, 1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11,
     0, 14, 9, 2, 7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8, 2, 1, 14, 7, 4, 10, 8, 13,
     15, 12, 9, 0, 3, 5, 6, 11},
};

constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1, 15, 23, 26, 5, 18, 31, 10,
                            2, 8, 24, 14, 32, 27, 3, 9, 19, 13, 30, 6, 22, 11, 4, 25};

constexpr uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9, 1, 58, 50, 42, 34, 26, 18, 10, 2, 59, 51, 43,
                              35, 27, 19, 11, 3, 60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7, 62, 54,
                              46, 38, 30, 22, 14, 6, 61, 53, 45, 37, 29, 21, 13, 5, 28, 20, 12, 4};

constexpr uint8_t kPc2[48] = {14, 17, 11, 24, 1, 5, 3, 28, 15, 6, 21, 10, 23, 19, 12, 4,
                              26, 8, 16, 7, 27, 20, 13, 2, 41, 52, 31, 37, 47, 55, 30, 40,
                              51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// SP[i][x]: P applied to S-box i's output for the 6-bit input x (x's most
// significant bit is the group's first bit; row = outer bits, column = inner).
constexpr std::array<std::array<uint32_t, 64>, 8> make_sp() {
    std::array<std::array<uint32_t, 64>, 8> sp{};
    for (int i = 0; i < 8; ++i) {
        for (int x = 0; x < 64; ++x) {
            int row = ((x >> 4) & 2) | (x & 1);
            int col = (x >> 1) & 15;
            uint32_t s = uint32_t(kSbox[i][16 * row + col]) << (28 - 4 * i);
            uint32_t p = 0;
            for (int k = 0; k < 32; ++k)
                if (s & (1u << (32 - kP[k]))) p |= 1u << (31 - k);
            sp[i][x] = p;
        }
    }
    return sp;
}

constexpr auto kSp = make_sp();

// 8x8 bit-matrix transpose (Hacker's Delight 7-3): row r in byte 7-r,
// column c at bit 7-c.
inline uint64_t transpose8(uint64_t x) {
    uint64_t t;
    t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
    x = x ^ t ^ (t << 28);
    return x;
}

// IP: output byte r is bit column kIpCol[r] of the input bytes taken from the
// last to the first, i.e. a transpose of the byte-reversed block followed by
// a reordering of the rows.
constexpr int kIpCol[8] = {1, 3, 5, 7, 0, 2, 4, 6};

inline uint64_t row(uint64_t x, int r) { return (x >> (56 - 8 * r)) & 0xFF; }

inline void initial_perm(const uint8_t in[8], uint32_t& l, uint32_t& r) {
    uint64_t u = transpose8(__builtin_bswap64(load_be64(in)));
    uint64_t o = 0;
    for (int i = 0; i < 8; ++i) o |= row(u, kIpCol[i]) << (56 - 8 * i);
    l = uint32_t(o >> 32);
    r = uint32_t(o);
}

inline void final_perm(uint32_t l, uint32_t r, uint8_t out[8]) {
    uint64_t o = (uint64_t(l) << 32) | r;
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= row(o, i) << (56 - 8 * kIpCol[i]);
    store_be64(out, __builtin_bswap64(transpose8(u)));
}

inline uint32_t f(uint32_t r, const uint32_t* k) {
    uint32_t a = rotr32(r, 3) ^ k[0];
    uint32_t b = rotl32(r, 1) ^ k[1];
    return kSp[0][(a >> 24) & 63] ^ kSp[2][(a >> 16) & 63] ^ kSp[4][(a >> 8) & 63] ^ kSp[6][a & 63] ^
           kSp[1][(b >> 24) & 63] ^ kSp[3][(b >> 16) & 63] ^ kSp[5][(b >> 8) & 63] ^ kSp[7][b & 63];
}

// Sixteen rounds on (l, r); leaves l = L16, r = R16 (no final swap).
inline void rounds16(const Schedule& s, uint32_t& l, uint32_t& r) {
    const uint32_t* k = s.k;
    for (int i = 0; i < 8; ++i, k += 4) {
        l ^= f(r, k);
        r ^= f(l, k + 2);
    }
}

inline void tdea_core(const TdeaKey& k, uint32_t& l, uint32_t& r) {
    // Between the stages FP and IP cancel and only the halves swap.
    rounds16(k.s[0], l, r);
    rounds16(k.s[1], r, l);
    rounds16(k.s[2], l, r);
}

}  // namespace

void set_key(Schedule& s, const uint8_t key[8], bool encrypt) {
    uint64_t kb = load_be64(key);
    uint64_t cd = 0;  // 56 bits, bit 1 of C at position 55
    for (int i = 0; i < 56; ++i) cd |= ((kb >> (64 - kPc1[i])) & 1) << (55 - i);
    uint32_t c = uint32_t(cd >> 28) & 0x0FFFFFFF, d = uint32_t(cd) & 0x0FFFFFFF;
    uint32_t sub[32];
    for (int round = 0; round < 16; ++round) {
        for (int n = 0; n < kShifts[round]; ++n) {
            c = ((c << 1) | (c >> 27)) & 0x0FFFFFFF;
            d = ((d << 1) | (d >> 27)) & 0x0FFFFFFF;
        }
        uint64_t both = (uint64_t(c) << 28) | d;
        uint64_t k48 = 0;
        for (int i = 0; i < 48; ++i) k48 |= ((both >> (56 - kPc2[i])) & 1) << (47 - i);
        uint32_t even = 0, odd = 0;
        for (int g = 0; g < 8; ++g) {
            uint32_t v = uint32_t(k48 >> (42 - 6 * g)) & 63;
            int shift = 24 - 8 * (g / 2);
            if (g % 2 == 0) {
                even |= v << shift;
            } else {
                odd |= v << shift;
            }
        }
        sub[2 * round] = even;
        sub[2 * round + 1] = odd;
    }
    for (int round = 0; round < 16; ++round) {
        int src = encrypt ? round : 15 - round;
        s.k[2 * round] = sub[2 * src];
        s.k[2 * round + 1] = sub[2 * src + 1];
    }
    ewipe(sub, sizeof sub);
    ewipe(&cd, sizeof cd);
    ewipe(&kb, sizeof kb);
}

void crypt_block(const Schedule& s, const uint8_t in[8], uint8_t out[8]) {
    uint32_t l, r;
    initial_perm(in, l, r);
    rounds16(s, l, r);
    final_perm(r, l, out);
}

void tdea_set_key(TdeaKey& k, const uint8_t key[24], bool encrypt) {
    if (encrypt) {
        set_key(k.s[0], key, true);
        set_key(k.s[1], key + 8, false);
        set_key(k.s[2], key + 16, true);
    } else {
        set_key(k.s[0], key + 16, false);
        set_key(k.s[1], key + 8, true);
        set_key(k.s[2], key, false);
    }
}

void tdea_block(const TdeaKey& k, const uint8_t in[8], uint8_t out[8]) {
    uint32_t l, r;
    initial_perm(in, l, r);
    tdea_core(k, l, r);
    final_perm(r, l, out);
}

void tdea_blocks(const TdeaKey& k, const uint8_t* in, uint8_t* out, size_t nblocks) {
    for (size_t i = 0; i < nblocks; ++i) tdea_block(k, in + 8 * i, out + 8 * i);
}

void tdea_cbc_encrypt(const TdeaKey& k, uint8_t iv[8], const uint8_t* in, uint8_t* out, size_t nblocks) {
    uint64_t c = load_be64(iv);
    uint8_t b[8];
    for (size_t i = 0; i < nblocks; ++i) {
        store_be64(b, c ^ load_be64(in + 8 * i));
        tdea_block(k, b, out + 8 * i);
        c = load_be64(out + 8 * i);
    }
    store_be64(iv, c);
    ewipe(b, sizeof b);
}

void tdea_cbc_decrypt(const TdeaKey& k, uint8_t iv[8], const uint8_t* in, uint8_t* out, size_t nblocks) {
    uint64_t prev = load_be64(iv);
    uint8_t b[8];
    for (size_t i = 0; i < nblocks; ++i) {
        uint64_t c = load_be64(in + 8 * i);
        tdea_block(k, in + 8 * i, b);
        store_be64(out + 8 * i, load_be64(b) ^ prev);
        prev = c;
    }
    store_be64(iv, prev);
    ewipe(b, sizeof b);
}

void clear(TdeaKey& k) { ewipe(&k, sizeof k); }

}  // namespace velt::des
