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
//
// One block's rounds form a single chain of dependent lookups, so the bulk
// loops (ECB, CBC decryption) take four independent blocks through each
// round together; CBC encryption, where each block needs the one before,
// runs one block at a time.
#include "cipher/des.h"

#include <array>
#include <utility>

#include "util/bytes.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::des {
namespace {

constexpr uint8_t kSbox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4, 9,  7,  2, 13, 12, 0,  5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9, 11, 5,  0, 14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0,  8,  13, 3, 12, 9,  7, 5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
     1, 10, 14, 3,  5,  12, 2,  15, 8, 6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0, 5,  9,  2,  6,  11, 13, 8,  1, 4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2, 8,  4, 6, 15, 11, 1,  10, 9,  3, 14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
     7,  4, 12, 5, 6, 11, 0,  14, 9,  2,  7, 11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
     15, 3, 5,  8, 2, 1,  14, 7,  4,  10, 8, 13, 15, 12, 9,  0,  3,  5,  6,  11},
};

constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                            2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
                              35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
                              46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr uint8_t kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                              26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                              51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// A fixed selection of bits from a 64-bit word, as a list of masked shifts:
// all bits that move the same distance move in one step. PC1 needs 42 steps
// in place of 56 single-bit moves, PC2 (with the packing into the two round
// key words) 36 in place of 48. The steps depend only on the tables, so the
// key schedule neither branches on nor indexes by key bits.
struct BitMoves {
    int n = 0;
    int shift[64] = {};      // left shift; negative for right
    uint64_t mask[64] = {};  // the destination bits of this step
};

// src[i] is the input bit (0 = least significant) that output bit i takes,
// or -1 for an output bit left zero.
constexpr BitMoves make_moves(const std::array<int, 64>& src) {
    BitMoves m;
    for (int i = 0; i < 64; ++i) {
        if (src[i] < 0) continue;
        int d = i - src[i], j = 0;
        while (j < m.n && m.shift[j] != d) ++j;
        if (j == m.n) m.shift[m.n++] = d;
        m.mask[j] |= uint64_t(1) << i;
    }
    return m;
}

inline uint64_t apply(const BitMoves& m, uint64_t x) {
    uint64_t out = 0;
#pragma GCC unroll 64
    for (int i = 0; i < m.n; ++i) out |= (m.shift[i] >= 0 ? x << m.shift[i] : x >> -m.shift[i]) & m.mask[i];
    return out;
}

// PC1 from the key as a big-endian word (key bit 1 at bit 63) to C || D in
// 56 bits (C's bit 1 at bit 55).
constexpr BitMoves make_pc1() {
    std::array<int, 64> src{};
    src.fill(-1);
    for (int i = 0; i < 56; ++i) src[55 - i] = 64 - kPc1[i];
    return make_moves(src);
}

// PC2 from C || D to the round key words: the eight 6-bit groups g0..g7 of
// the 48-bit result go to the even word (bits 32..63: g0, g2, g4, g6 at the
// bottom of its bytes, from the top) and the odd word (bits 0..31: g1, g3,
// g5, g7), the layout f expects.
constexpr BitMoves make_pc2() {
    std::array<int, 64> src{};
    src.fill(-1);
    for (int i = 0; i < 48; ++i) {
        int g = i / 6;
        int pos = (g % 2 == 0 ? 32 : 0) + 24 - 8 * (g / 2) + 5 - i % 6;
        src[pos] = 56 - kPc2[i];
    }
    return make_moves(src);
}

constexpr BitMoves kPc1Moves = make_pc1();
constexpr BitMoves kPc2Moves = make_pc2();

// Rotates C and D (28 bits each, C above D) left by n.
inline uint64_t rotate_cd(uint64_t cd, int n) {
    const uint64_t half = 0x0FFFFFFFULL, both = (half << 28) | half;
    const uint64_t low = (uint64_t(1) << n) - 1, wrap = (low << 28) | low;
    return ((cd << n) & both & ~wrap) | ((cd >> (28 - n)) & wrap);
}

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

// x with the bits selected by mask exchanged with those shift places above.
inline uint64_t delta_swap(uint64_t x, uint64_t mask, int shift) {
    uint64_t t = (x ^ (x >> shift)) & mask;
    return x ^ t ^ (t << shift);
}

// IP works on the block as a little-endian word x (block byte j in bits
// 8j..8j+7). Three swaps transpose x as an 8x8 bit matrix (Hacker's Delight
// 7-3): row r, in bits 56 - 8r..63 - 8r, then holds bit column r (0 = the
// most significant bit of each byte) of the block's bytes taken from the
// last to the first. IP's L is rows 1, 3, 5, 7 and its R rows 0, 2, 4, 6, in
// that order; two more swaps gather them into the low and the high half.
// Each swap is its own inverse, so FP runs the same swaps in reverse order.
struct Swap {
    uint64_t mask;
    int shift;
};
// The transpose, then rows 0 1 2 3 -> 0 2 1 3 in each half, then
// 0 2 1 3 4 6 5 7 -> 0 2 4 6 1 3 5 7.
constexpr Swap kIpSwaps[5] = {
    {0x00AA00AA00AA00AAULL, 7}, {0x0000CCCC0000CCCCULL, 14}, {0x00000000F0F0F0F0ULL, 28},
    {0x0000FF000000FF00ULL, 8}, {0x00000000FFFF0000ULL, 16},
};

inline void initial_perm(uint64_t x, uint32_t& l, uint32_t& r) {
    for (const Swap& s : kIpSwaps) x = delta_swap(x, s.mask, s.shift);
    l = uint32_t(x);
    r = uint32_t(x >> 32);
}

// FP of the halves (l, r): the inverse of initial_perm, so that
// final_perm(l, r) undoes initial_perm's (l, r).
inline uint64_t final_perm(uint32_t l, uint32_t r) {
    uint64_t x = (uint64_t(r) << 32) | l;
    for (int i = 4; i >= 0; --i) x = delta_swap(x, kIpSwaps[i].mask, kIpSwaps[i].shift);
    return x;
}

// For a lone block (CBC encryption) each round waits on the one before, so
// the eight lookups are combined by a tree of XORs, which the barriers keep
// the compiler from turning back into a chain; with several blocks in
// flight the chain is as fast and needs fewer registers.
template <bool kLone>
inline uint32_t f(uint32_t r, const uint32_t* k) {
    uint32_t a = rotr32(r, 3) ^ k[0];
    uint32_t b = rotl32(r, 1) ^ k[1];
    if constexpr (kLone) {
        uint32_t t0 = ct::value_barrier(kSp[0][(a >> 24) & 63] ^ kSp[2][(a >> 16) & 63]);
        uint32_t t1 = ct::value_barrier(kSp[4][(a >> 8) & 63] ^ kSp[6][a & 63]);
        uint32_t t2 = ct::value_barrier(kSp[1][(b >> 24) & 63] ^ kSp[3][(b >> 16) & 63]);
        uint32_t t3 = ct::value_barrier(kSp[5][(b >> 8) & 63] ^ kSp[7][b & 63]);
        return ct::value_barrier(t0 ^ t1) ^ ct::value_barrier(t2 ^ t3);
    }
    return kSp[0][(a >> 24) & 63] ^ kSp[2][(a >> 16) & 63] ^ kSp[4][(a >> 8) & 63] ^ kSp[6][a & 63] ^
           kSp[1][(b >> 24) & 63] ^ kSp[3][(b >> 16) & 63] ^ kSp[5][(b >> 8) & 63] ^ kSp[7][b & 63];
}

// Sixteen rounds on N independent blocks (l[j], r[j]); leaves l = L16,
// r = R16 (no final swap). A single block is bound by the latency of a round
// (lookups, then the XORs that feed the next round); with several blocks the
// rounds are interleaved so that their lookups overlap.
template <size_t N>
inline void rounds16(const Schedule& s, uint32_t (&l)[N], uint32_t (&r)[N]) {
    const uint32_t* k = s.k;
    for (int i = 0; i < 8; ++i, k += 4) {
        for (size_t j = 0; j < N; ++j) l[j] ^= f<N == 1>(r[j], k);
        for (size_t j = 0; j < N; ++j) r[j] ^= f<N == 1>(l[j], k + 2);
    }
}

// Triple DES on N block words (as loaded by load_le64), in place. Between
// the stages FP and IP cancel and only the halves swap; the swap after the
// last stage is the one before FP. One loop over the stages keeps a single
// copy of the interleaved rounds in the code.
template <size_t N>
inline void tdea_words(const TdeaKey& k, uint64_t (&x)[N]) {
    uint32_t l[N], r[N];
    for (size_t j = 0; j < N; ++j) initial_perm(x[j], l[j], r[j]);
    for (const Schedule& s : k.s) {
        rounds16(s, l, r);
        for (size_t j = 0; j < N; ++j) std::swap(l[j], r[j]);
    }
    for (size_t j = 0; j < N; ++j) x[j] = final_perm(l[j], r[j]);
}

template <size_t N>
inline void ecb_group(const TdeaKey& k, const uint8_t* in, uint8_t* out) {
    uint64_t x[N];
    for (size_t j = 0; j < N; ++j) x[j] = load_le64(in + 8 * j);
    tdea_words(k, x);
    for (size_t j = 0; j < N; ++j) store_le64(out + 8 * j, x[j]);
}

// CBC decryption of N blocks chained to prev; returns the last ciphertext
// block. All N ciphertext blocks are read before any output is written, so
// out may equal in.
template <size_t N>
inline uint64_t cbc_decrypt_group(const TdeaKey& k, uint64_t prev, const uint8_t* in, uint8_t* out) {
    uint64_t c[N], x[N];
    for (size_t j = 0; j < N; ++j) x[j] = c[j] = load_le64(in + 8 * j);
    tdea_words(k, x);
    for (size_t j = 0; j < N; ++j) {
        store_le64(out + 8 * j, x[j] ^ prev);
        prev = c[j];
    }
    return prev;
}

// Blocks per group in the bulk loops. Two blocks already run at nearly
// twice the speed of one; four come within a few per cent of what the table
// lookups allow (x86-64: 2.6 times one block), and more only spill
// registers. A shorter tail goes as a pair, then a lone block.
constexpr size_t kWays = 4;

}  // namespace

void set_key(Schedule& s, const uint8_t key[8], bool encrypt) {
    uint64_t cd = apply(kPc1Moves, load_be64(key));
    for (int round = 0; round < 16; ++round) {
        cd = rotate_cd(cd, kShifts[round]);
        uint64_t k = apply(kPc2Moves, cd);
        int dst = encrypt ? round : 15 - round;
        s.k[2 * dst] = uint32_t(k >> 32);
        s.k[2 * dst + 1] = uint32_t(k);
    }
    ewipe(&cd, sizeof cd);
}

void crypt_block(const Schedule& s, const uint8_t in[8], uint8_t out[8]) {
    uint32_t l[1], r[1];
    initial_perm(load_le64(in), l[0], r[0]);
    rounds16(s, l, r);
    store_le64(out, final_perm(r[0], l[0]));
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
    ecb_group<1>(k, in, out);
}

void tdea_blocks(const TdeaKey& k, const uint8_t* in, uint8_t* out, size_t nblocks) {
    size_t i = 0;
    for (; i + kWays <= nblocks; i += kWays) ecb_group<kWays>(k, in + 8 * i, out + 8 * i);
    if (i + 2 <= nblocks) {
        ecb_group<2>(k, in + 8 * i, out + 8 * i);
        i += 2;
    }
    if (i < nblocks) ecb_group<1>(k, in + 8 * i, out + 8 * i);
}

void tdea_cbc_encrypt(const TdeaKey& k, uint8_t iv[8], const uint8_t* in, uint8_t* out, size_t nblocks) {
    uint64_t c[1] = {load_le64(iv)};
    for (size_t i = 0; i < nblocks; ++i) {
        c[0] ^= load_le64(in + 8 * i);
        tdea_words(k, c);
        store_le64(out + 8 * i, c[0]);
    }
    store_le64(iv, c[0]);
}

void tdea_cbc_decrypt(const TdeaKey& k, uint8_t iv[8], const uint8_t* in, uint8_t* out, size_t nblocks) {
    uint64_t prev = load_le64(iv);
    size_t i = 0;
    for (; i + kWays <= nblocks; i += kWays)
        prev = cbc_decrypt_group<kWays>(k, prev, in + 8 * i, out + 8 * i);
    if (i + 2 <= nblocks) {
        prev = cbc_decrypt_group<2>(k, prev, in + 8 * i, out + 8 * i);
        i += 2;
    }
    if (i < nblocks) prev = cbc_decrypt_group<1>(k, prev, in + 8 * i, out + 8 * i);
    store_le64(iv, prev);
}

void clear(TdeaKey& k) {
    ewipe(&k, sizeof k);
}

}  // namespace velt::des
