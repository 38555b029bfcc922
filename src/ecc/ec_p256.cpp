// Portable kernels of the secp256r1 field (see ec_p256.h).
#include "ecc/ec_p256.h"

namespace velt::ecc {

void p256_mul_wide(limb* t, const limb* a, const limb* b) {
    limb x[8] = {0};
    for (size_t i = 0; i < 4; ++i) {
        u128 c = 0;
        for (size_t j = 0; j < 4; ++j) {
            c = u128(a[i]) * b[j] + x[i + j] + (c >> 64);
            x[i + j] = limb(c);
        }
        x[i + 4] = limb(c >> 64);
    }
    for (size_t i = 0; i < 8; ++i) t[i] = x[i];
}

void p256_sqr_wide(limb* t, const limb* a) {
    limb x[8] = {0};
    for (size_t i = 0; i < 4; ++i) {
        u128 c = 0;
        for (size_t j = i + 1; j < 4; ++j) {
            c = u128(a[i]) * a[j] + x[i + j] + (c >> 64);
            x[i + j] = limb(c);
        }
        x[i + 4] = limb(c >> 64);
    }
    limb carry = 0;
    for (size_t i = 0; i < 8; ++i) {
        limb v = x[i];
        x[i] = (v << 1) | carry;
        carry = v >> 63;
    }
    u128 c = 0;
    for (size_t i = 0; i < 4; ++i) {
        u128 sq = u128(a[i]) * a[i];
        c = u128(x[2 * i]) + limb(sq) + (c >> 64);
        x[2 * i] = limb(c);
        c = u128(x[2 * i + 1]) + limb(sq >> 64) + (c >> 64);
        x[2 * i + 1] = limb(c);
    }
    for (size_t i = 0; i < 8; ++i) t[i] = x[i];
}

void p256_redc(limb* r, limb* t) {
    constexpr limb kP1 = 0x00000000ffffffffULL, kP3 = 0xffffffff00000001ULL;
    static const limb kP[4] = {0xffffffffffffffffULL, kP1, 0, kP3};
    limb t0 = t[0], t1 = t[1], t2 = t[2], t3 = t[3], t4 = t[4], t5 = t[5], t6 = t[6], t7 = t[7];
    // Step i adds q p 2^(64 i) with q = t_i, which clears t_i: q (2^64 - 1)
    // + q = q 2^64, a carry of q into limb i + 1, where q P1 + q = q 2^32 is
    // a shift. Each step's top carry joins the next step's top limb;
    // q P3 + 3 (2^64 - 1) stays below 2^128.
    u128 c;
    limb carry, q;
    q = t0;
    c = u128(t1) + (q << 32);
    t1 = limb(c);
    c = u128(t2) + (q >> 32) + limb(c >> 64);
    t2 = limb(c);
    c = u128(t3) + u128(q) * kP3 + limb(c >> 64);
    t3 = limb(c);
    carry = limb(c >> 64);
    q = t1;
    c = u128(t2) + (q << 32);
    t2 = limb(c);
    c = u128(t3) + (q >> 32) + limb(c >> 64);
    t3 = limb(c);
    c = u128(t4) + u128(q) * kP3 + limb(c >> 64) + carry;
    t4 = limb(c);
    carry = limb(c >> 64);
    q = t2;
    c = u128(t3) + (q << 32);
    t3 = limb(c);
    c = u128(t4) + (q >> 32) + limb(c >> 64);
    t4 = limb(c);
    c = u128(t5) + u128(q) * kP3 + limb(c >> 64) + carry;
    t5 = limb(c);
    carry = limb(c >> 64);
    q = t3;
    c = u128(t4) + (q << 32);
    t4 = limb(c);
    c = u128(t5) + (q >> 32) + limb(c >> 64);
    t5 = limb(c);
    c = u128(t6) + u128(q) * kP3 + limb(c >> 64) + carry;
    t6 = limb(c);
    c = u128(t7) + limb(c >> 64);
    t7 = limb(c);
    limb t8 = limb(c >> 64);
    // (t4..t7) + t8 2^256 < 2p: subtract p unless that borrows past t8.
    limb v[4] = {t4, t5, t6, t7}, s[4];
    limb borrow = MontField<4>::sub_raw(s, v, kP);
    limb keep = ct::mask_from_bit(borrow & (t8 ^ 1));
    fe_select<4>(r, keep, v, s);
}

}  // namespace velt::ecc
