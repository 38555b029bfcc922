// Portable AES (FIPS 197) and the dispatch to AES-NI.
//
// The portable code keeps up to four blocks (64 bytes) in FIPS 197 byte
// order. SubBytes transposes the 64 bytes into eight 64-bit bit planes and
// evaluates the S-box as the 113-gate Boolean circuit of Boyar and Peralta
// ("A depth-16 circuit for the AES S-box", 2011); the inverse S-box is the
// same circuit between two inverse affine maps. ShiftRows is a byte
// permutation and MixColumns works on 32-bit columns with shifts and masks.
// Nothing is looked up in a table by key or data, so the running time and
// memory access pattern do not depend on either.
#include "cipher/aes.h"

#include <cstring>

#include "util/bytes.h"
#include "util/cpu.h"
#include "util/emem.h"

namespace velt::aes {
namespace {

// 8x8 bit-matrix transpose of a 64-bit word (row r in byte 7-r, column c at
// bit 7-c of its byte); Hacker's Delight 7-3. It is its own inverse.
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

// 8x8 byte-matrix transpose: byte j of w[i] <-> byte i of w[j].
inline void transpose_bytes(uint64_t w[8]) {
    uint64_t t;
    for (int i = 0; i < 8; i += 2) {  // 1-byte blocks
        t = ((w[i] >> 8) ^ w[i + 1]) & 0x00FF00FF00FF00FFULL;
        w[i + 1] ^= t;
        w[i] ^= t << 8;
    }
    for (int i = 0; i < 8; i += 4) {  // 2-byte blocks
        for (int j = 0; j < 2; ++j) {
            t = ((w[i + j] >> 16) ^ w[i + j + 2]) & 0x0000FFFF0000FFFFULL;
            w[i + j + 2] ^= t;
            w[i + j] ^= t << 16;
        }
    }
    for (int j = 0; j < 4; ++j) {  // 4-byte blocks
        t = ((w[j] >> 32) ^ w[j + 4]) & 0x00000000FFFFFFFFULL;
        w[j + 4] ^= t;
        w[j] ^= t << 32;
    }
}

// Bytes to bit planes: q[b] bit m is bit b of byte m. Its own inverse up to
// the order of the two steps.
inline void to_planes(const uint8_t s[64], uint64_t q[8]) {
    uint64_t w[8];
    for (int i = 0; i < 8; ++i) w[i] = transpose8(load_le64(s + 8 * i));
    // After transpose8, byte k of w[i] holds bit k of bytes 8i..8i+7.
    transpose_bytes(w);
    for (int b = 0; b < 8; ++b) q[b] = w[b];
}

inline void from_planes(const uint64_t q[8], uint8_t s[64]) {
    uint64_t w[8];
    for (int b = 0; b < 8; ++b) w[b] = q[b];
    transpose_bytes(w);
    for (int i = 0; i < 8; ++i) store_le64(s + 8 * i, transpose8(w[i]));
}

// The forward S-box on bit planes (q[7] is the most significant bit).
void sbox_planes(uint64_t q[8]) {
    uint64_t x0 = q[7], x1 = q[6], x2 = q[5], x3 = q[4], x4 = q[3], x5 = q[2], x6 = q[1], x7 = q[0];
    uint64_t y1, y2, y3, y4, y5, y6, y7, y8, y9, y10, y11, y12, y13, y14, y15, y16, y17, y18, y19, y20, y21;
    uint64_t z0, z1, z2, z3, z4, z5, z6, z7, z8, z9, z10, z11, z12, z13, z14, z15, z16, z17;
    uint64_t t0, t1, t2, t3, t4, t5, t6, t7, t8, t9, t10, t11, t12, t13, t14, t15, t16, t17, t18, t19;
    uint64_t t20, t21, t22, t23, t24, t25, t26, t27, t28, t29, t30, t31, t32, t33, t34, t35, t36, t37;
    uint64_t t38, t39, t40, t41, t42, t43, t44, t45, t46, t47, t48, t49, t50, t51, t52, t53, t54, t55;
    uint64_t t56, t57, t58, t59, t60, t61, t62, t63, t64, t65, t66, t67;
    uint64_t s0, s1, s2, s3, s4, s5, s6, s7;

    // Top linear transformation.
    y14 = x3 ^ x5;
    y13 = x0 ^ x6;
    y9 = x0 ^ x3;
    y8 = x0 ^ x5;
    t0 = x1 ^ x2;
    y1 = t0 ^ x7;
    y4 = y1 ^ x3;
    y12 = y13 ^ y14;
    y2 = y1 ^ x0;
    y5 = y1 ^ x6;
    y3 = y5 ^ y8;
    t1 = x4 ^ y12;
    y15 = t1 ^ x5;
    y20 = t1 ^ x1;
    y6 = y15 ^ x7;
    y10 = y15 ^ t0;
    y11 = y20 ^ y9;
    y7 = x7 ^ y11;
    y17 = y10 ^ y11;
    y19 = y10 ^ y8;
    y16 = t0 ^ y11;
    y21 = y13 ^ y16;
    y18 = x0 ^ y16;

    // Non-linear section: inversion in GF(2^4)^2.
    t2 = y12 & y15;
    t3 = y3 & y6;
    t4 = t3 ^ t2;
    t5 = y4 & x7;
    t6 = t5 ^ t2;
    t7 = y13 & y16;
    t8 = y5 & y1;
    t9 = t8 ^ t7;
    t10 = y2 & y7;
    t11 = t10 ^ t7;
    t12 = y9 & y11;
    t13 = y14 & y17;
    t14 = t13 ^ t12;
    t15 = y8 & y10;
    t16 = t15 ^ t12;
    t17 = t4 ^ t14;
    t18 = t6 ^ t16;
    t19 = t9 ^ t14;
    t20 = t11 ^ t16;
    t21 = t17 ^ y20;
    t22 = t18 ^ y19;
    t23 = t19 ^ y21;
    t24 = t20 ^ y18;

    t25 = t21 ^ t22;
    t26 = t21 & t23;
    t27 = t24 ^ t26;
    t28 = t25 & t27;
    t29 = t28 ^ t22;
    t30 = t23 ^ t24;
    t31 = t22 ^ t26;
    t32 = t31 & t30;
    t33 = t32 ^ t24;
    t34 = t23 ^ t33;
    t35 = t27 ^ t33;
    t36 = t24 & t35;
    t37 = t36 ^ t34;
    t38 = t27 ^ t36;
    t39 = t29 & t38;
    t40 = t25 ^ t39;

    t41 = t40 ^ t37;
    t42 = t29 ^ t33;
    t43 = t29 ^ t40;
    t44 = t33 ^ t37;
    t45 = t42 ^ t41;
    z0 = t44 & y15;
    z1 = t37 & y6;
    z2 = t33 & x7;
    z3 = t43 & y16;
    z4 = t40 & y1;
    z5 = t29 & y7;
    z6 = t42 & y11;
    z7 = t45 & y17;
    z8 = t41 & y10;
    z9 = t44 & y12;
    z10 = t37 & y3;
    z11 = t33 & y4;
    z12 = t43 & y13;
    z13 = t40 & y5;
    z14 = t29 & y2;
    z15 = t42 & y9;
    z16 = t45 & y14;
    z17 = t41 & y8;

    // Bottom linear transformation (with the affine constant 0x63).
    t46 = z15 ^ z16;
    t47 = z10 ^ z11;
    t48 = z5 ^ z13;
    t49 = z9 ^ z10;
    t50 = z2 ^ z12;
    t51 = z2 ^ z5;
    t52 = z7 ^ z8;
    t53 = z0 ^ z3;
    t54 = z6 ^ z7;
    t55 = z16 ^ z17;
    t56 = z12 ^ t48;
    t57 = t50 ^ t53;
    t58 = z4 ^ t46;
    t59 = z3 ^ t54;
    t60 = t46 ^ t57;
    t61 = z14 ^ t57;
    t62 = t52 ^ t58;
    t63 = t49 ^ t58;
    t64 = z4 ^ t59;
    t65 = t61 ^ t62;
    t66 = z1 ^ t63;
    s0 = t59 ^ t63;
    s6 = t56 ^ ~t62;
    s7 = t48 ^ ~t60;
    t67 = t64 ^ t65;
    s3 = t53 ^ t66;
    s4 = t51 ^ t66;
    s5 = t47 ^ t65;
    s1 = t64 ^ ~s3;
    s2 = t55 ^ ~t67;

    q[7] = s0;
    q[6] = s1;
    q[5] = s2;
    q[4] = s3;
    q[3] = s4;
    q[2] = s5;
    q[1] = s6;
    q[0] = s7;
}

// The inverse of the S-box's affine map, y -> A^-1(y ^ 0x63), on bit planes:
// bit i of the result is y[i+2] ^ y[i+5] ^ y[i+7] (indices mod 8) ^ bit i of
// 0x05 (FIPS 197 5.3.2).
inline void inv_affine(uint64_t q[8]) {
    uint64_t y[8];
    for (int i = 0; i < 8; ++i) y[i] = q[i];
    for (int i = 0; i < 8; ++i) q[i] = y[(i + 2) & 7] ^ y[(i + 5) & 7] ^ y[(i + 7) & 7];
    q[0] = ~q[0];
    q[2] = ~q[2];
}

// InvSubBytes(y) = L(S(L(y))) with L the inverse affine map above, since
// S = A o inv and so inv = L o S.
void inv_sbox_planes(uint64_t q[8]) {
    inv_affine(q);
    sbox_planes(q);
    inv_affine(q);
}

// Multiplication by x in GF(2^8) of the four bytes of a word.
inline uint32_t xtime4(uint32_t w) { return ((w & 0x7F7F7F7Fu) << 1) ^ (((w >> 7) & 0x01010101u) * 0x1Bu); }

inline void mix_columns(uint8_t* s, size_t ncols) {
    for (size_t c = 0; c < ncols; ++c) {
        uint32_t w = load_le32(s + 4 * c);
        uint32_t r8 = rotr32(w, 8);
        store_le32(s + 4 * c, xtime4(w ^ r8) ^ r8 ^ rotr32(w, 16) ^ rotr32(w, 24));
    }
}

// InvMixColumns = MixColumns after the circulant (5, 0, 4, 0): a_i ^= 4 (a_i ^ a_{i+2}).
inline void inv_mix_columns(uint8_t* s, size_t ncols) {
    for (size_t c = 0; c < ncols; ++c) {
        uint32_t w = load_le32(s + 4 * c);
        w ^= xtime4(xtime4(w ^ rotr32(w, 16)));
        store_le32(s + 4 * c, w);
    }
    mix_columns(s, ncols);
}

// Row r of each block is rotated left by r columns (byte index r + 4c).
inline void shift_rows(uint8_t* s, size_t nblocks) {
    for (size_t b = 0; b < nblocks; ++b) {
        uint8_t* p = s + 16 * b;
        uint8_t t[16];
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) t[r + 4 * c] = p[r + 4 * ((c + r) & 3)];
        memcpy(p, t, 16);
    }
}

inline void inv_shift_rows(uint8_t* s, size_t nblocks) {
    for (size_t b = 0; b < nblocks; ++b) {
        uint8_t* p = s + 16 * b;
        uint8_t t[16];
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) t[r + 4 * ((c + r) & 3)] = p[r + 4 * c];
        memcpy(p, t, 16);
    }
}

inline void add_round_key(uint8_t* s, const uint8_t* rk, size_t nblocks) {
    for (size_t b = 0; b < nblocks; ++b)
        for (int i = 0; i < 16; ++i) s[16 * b + i] ^= rk[i];
}

// Up to four blocks through the forward cipher, in place in s (64 bytes).
void encrypt4(const Key& k, uint8_t s[64], size_t nblocks) {
    const uint8_t* rk = k.enc;
    add_round_key(s, rk, nblocks);
    for (unsigned r = 1; r < k.rounds; ++r) {
        detail::sub_bytes64(s);
        shift_rows(s, nblocks);
        mix_columns(s, 4 * nblocks);
        add_round_key(s, rk + 16 * r, nblocks);
    }
    detail::sub_bytes64(s);
    shift_rows(s, nblocks);
    add_round_key(s, rk + 16 * k.rounds, nblocks);
}

// The inverse cipher (FIPS 197 5.3) on up to four blocks.
void decrypt4(const Key& k, uint8_t s[64], size_t nblocks) {
    const uint8_t* rk = k.enc;
    add_round_key(s, rk + 16 * k.rounds, nblocks);
    for (unsigned r = k.rounds - 1; r >= 1; --r) {
        inv_shift_rows(s, nblocks);
        detail::inv_sub_bytes64(s);
        add_round_key(s, rk + 16 * r, nblocks);
        inv_mix_columns(s, 4 * nblocks);
    }
    inv_shift_rows(s, nblocks);
    detail::inv_sub_bytes64(s);
    add_round_key(s, rk, nblocks);
}

void portable_ecb(const Key& k, const uint8_t* in, uint8_t* out, size_t nblocks, bool enc) {
    alignas(16) uint8_t s[64];
    while (nblocks) {
        size_t n = nblocks < 4 ? nblocks : 4;
        memset(s, 0, sizeof s);
        memcpy(s, in, 16 * n);
        if (enc) {
            encrypt4(k, s, n);
        } else {
            decrypt4(k, s, n);
        }
        memcpy(out, s, 16 * n);
        in += 16 * n;
        out += 16 * n;
        nblocks -= n;
    }
    ewipe(s, sizeof s);
}

// FIPS 197 5.2 key expansion; SubWord goes through the bit-sliced S-box.
void portable_expand(Key& k, const uint8_t* key, size_t key_len) {
    const unsigned nk = unsigned(key_len / 4);
    const unsigned total = 4 * (k.rounds + 1);
    memcpy(k.enc, key, key_len);
    uint8_t rcon = 1;
    alignas(16) uint8_t s[64] = {0};
    for (unsigned i = nk; i < total; ++i) {
        uint8_t t[4];
        memcpy(t, k.enc + 4 * (i - 1), 4);
        if (i % nk == 0 || (nk > 6 && i % nk == 4)) {
            memcpy(s, t, 4);
            detail::sub_bytes64(s);
            if (i % nk == 0) {
                t[0] = uint8_t(s[1] ^ rcon);
                t[1] = s[2];
                t[2] = s[3];
                t[3] = s[0];
                rcon = uint8_t((rcon << 1) ^ (0x1B & -(rcon >> 7)));
            } else {
                memcpy(t, s, 4);
            }
        }
        for (int j = 0; j < 4; ++j) k.enc[4 * i + j] = uint8_t(k.enc[4 * (i - nk) + j] ^ t[j]);
        ewipe(t, sizeof t);
    }
    ewipe(s, sizeof s);
}

inline void xor16(uint8_t* d, const uint8_t* a, const uint8_t* b) {
    for (int i = 0; i < 16; ++i) d[i] = uint8_t(a[i] ^ b[i]);
}

inline void ctr_increment(uint8_t c[16], CtrWidth w) {
    int stop = w == CtrWidth::kLow32 ? 12 : 0;
    for (int i = 15; i >= stop; --i)
        if (++c[i] != 0) break;
}

}  // namespace

namespace detail {

void sub_bytes64(uint8_t s[64]) {
    uint64_t q[8];
    to_planes(s, q);
    sbox_planes(q);
    from_planes(q, s);
    ewipe(q, sizeof q);
}

void inv_sub_bytes64(uint8_t s[64]) {
    uint64_t q[8];
    to_planes(s, q);
    inv_sbox_planes(q);
    from_planes(q, s);
    ewipe(q, sizeof q);
}

}  // namespace detail

bool set_key(Key& k, const uint8_t* key, size_t key_len) {
    if (key_len != 16 && key_len != 24 && key_len != 32) return false;
    memset(&k, 0, sizeof k);
    k.rounds = unsigned(key_len / 4 + 6);
    k.accel = cpu::has(cpu::kAesNi | cpu::kSsse3 | cpu::kSse41);
    k.wide = k.accel && cpu::has(cpu::kVaes | cpu::kAvx512f | cpu::kAvx512bw);
    if (k.accel) {
        detail::ni_expand(k, key, key_len);
    } else {
        portable_expand(k, key, key_len);
    }
    return true;
}

void clear(Key& k) { ewipe(&k, sizeof k); }

// Long runs go to VAES first; the AES-NI code takes what is left. `wide`
// runs whole groups of 16 blocks and returns how many blocks it did.
template <class Wide>
inline void wide_first(const Key& k, const uint8_t*& in, uint8_t*& out, size_t& nblocks, Wide wide) {
    if (k.wide && nblocks >= 16) {
        size_t done = wide();
        in += 16 * done;
        out += 16 * done;
        nblocks -= done;
    }
}

void encrypt_blocks(const Key& k, const uint8_t* in, uint8_t* out, size_t nblocks) {
    wide_first(k, in, out, nblocks, [&] { return detail::vaes_ecb(k, in, out, nblocks, true); });
    if (k.accel) return detail::ni_encrypt_blocks(k, in, out, nblocks);
    portable_ecb(k, in, out, nblocks, true);
}

void decrypt_blocks(const Key& k, const uint8_t* in, uint8_t* out, size_t nblocks) {
    wide_first(k, in, out, nblocks, [&] { return detail::vaes_ecb(k, in, out, nblocks, false); });
    if (k.accel) return detail::ni_decrypt_blocks(k, in, out, nblocks);
    portable_ecb(k, in, out, nblocks, false);
}

void cbc_encrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t nblocks) {
    if (k.accel) return detail::ni_cbc_encrypt(k, iv, in, out, nblocks);
    alignas(16) uint8_t s[64] = {0};
    for (size_t b = 0; b < nblocks; ++b) {
        xor16(s, in + 16 * b, iv);
        encrypt4(k, s, 1);
        memcpy(out + 16 * b, s, 16);
        memcpy(iv, s, 16);
    }
    ewipe(s, sizeof s);
}

void cbc_decrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t nblocks) {
    wide_first(k, in, out, nblocks, [&] { return detail::vaes_cbc_decrypt(k, iv, in, out, nblocks); });
    if (k.accel) return detail::ni_cbc_decrypt(k, iv, in, out, nblocks);
    alignas(16) uint8_t s[64];
    uint8_t c[64];
    while (nblocks) {
        size_t n = nblocks < 4 ? nblocks : 4;
        memset(s, 0, sizeof s);
        memcpy(s, in, 16 * n);
        memcpy(c, in, 16 * n);  // in may equal out
        decrypt4(k, s, n);
        xor16(out, s, iv);
        for (size_t b = 1; b < n; ++b) xor16(out + 16 * b, s + 16 * b, c + 16 * (b - 1));
        memcpy(iv, c + 16 * (n - 1), 16);
        in += 16 * n;
        out += 16 * n;
        nblocks -= n;
    }
    ewipe(s, sizeof s);
}

void ctr_blocks(const Key& k, uint8_t counter[16], const uint8_t* in, uint8_t* out, size_t nblocks,
                CtrWidth width) {
    wide_first(k, in, out, nblocks, [&] { return detail::vaes_ctr(k, counter, in, out, nblocks, width); });
    if (k.accel) return detail::ni_ctr_blocks(k, counter, in, out, nblocks, width);
    alignas(16) uint8_t s[64];
    while (nblocks) {
        size_t n = nblocks < 4 ? nblocks : 4;
        memset(s, 0, sizeof s);
        for (size_t b = 0; b < n; ++b) {
            memcpy(s + 16 * b, counter, 16);
            ctr_increment(counter, width);
        }
        encrypt4(k, s, n);
        for (size_t i = 0; i < 16 * n; ++i) out[i] = uint8_t(in[i] ^ s[i]);
        in += 16 * n;
        out += 16 * n;
        nblocks -= n;
    }
    ewipe(s, sizeof s);
}

void cfb_decrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t nblocks) {
    if (k.accel) return detail::ni_cfb_decrypt(k, iv, in, out, nblocks);
    alignas(16) uint8_t s[64];
    uint8_t c[64];
    while (nblocks) {
        size_t n = nblocks < 4 ? nblocks : 4;
        memset(s, 0, sizeof s);
        memcpy(s, iv, 16);
        if (n > 1) memcpy(s + 16, in, 16 * (n - 1));
        memcpy(c, in, 16 * n);
        encrypt4(k, s, n);
        for (size_t i = 0; i < 16 * n; ++i) out[i] = uint8_t(c[i] ^ s[i]);
        memcpy(iv, c + 16 * (n - 1), 16);
        in += 16 * n;
        out += 16 * n;
        nblocks -= n;
    }
    ewipe(s, sizeof s);
}

}  // namespace velt::aes
