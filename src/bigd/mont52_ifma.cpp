// Radix-2^52 Montgomery products and exponentiations on AVX-512 IFMA.
//
// Product (operand scanning, one digit of b per step): the accumulator is a
// row of 64-bit lanes, lane j holding digit position j. Each step adds the
// low and high 52-bit halves of a * b[i] and of m * y (the high halves
// through copies of a and m moved up one lane), then drops lane 0, whose low
// 52 bits the choice y = lane0 * -m^-1 mod 2^52 has made zero. Lane 0's
// exact value is followed in a general register, so the next y does not wait
// for the vector. Lanes collect unnormalised sums (at most 4 * digits * 2^52,
// below 2^62 for 80 digits); one carry pass at the end brings them back to
// 52-bit digits: a shifted add, then a carry-lookahead over lane masks for
// the rare lanes still at or above 2^52.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#pragma GCC diagnostic ignored "-Wuninitialized"

#include "bigd/mont52.h"
#include "util/cpu.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::bigd {

namespace {

constexpr uint64_t kMask52 = (uint64_t(1) << 52) - 1;
constexpr size_t kMaxVectors = 10;  // 80 lanes: moduli up to 4096 bits (79 digits)

// Digits for a modulus of nl limbs: R = 2^(52 * digits) must exceed 4m, and
// the row needs one lane above the top digit for the moved-up high halves.
size_t digits_for(size_t nl) {
    return (64 * nl + 2 + 51) / 52;
}
size_t vectors_for(size_t n52) {
    return (n52 + 1 + 7) / 8;
}

// A zeroed, 64-byte aligned, self-wiping row of 64-bit lanes.
class Row {
  public:
    Row() = default;
    explicit Row(size_t lanes) { resize(lanes); }
    Row(const Row&) = delete;  // the aligned pointer points into this row's own buffer
    Row& operator=(const Row&) = delete;
    void resize(size_t lanes) {
        buf_.assign(lanes + 8, 0);
        uintptr_t p = reinterpret_cast<uintptr_t>(buf_.data());
        p_ = reinterpret_cast<uint64_t*>((p + 63) & ~uintptr_t(63));
    }
    uint64_t* data() { return p_; }
    const uint64_t* data() const { return p_; }
    uint64_t& operator[](size_t i) { return p_[i]; }
    uint64_t operator[](size_t i) const { return p_[i]; }

  private:
    std::vector<uint64_t, WipingAllocator<uint64_t>> buf_;
    uint64_t* p_ = nullptr;
};

// Limbs (nl of 64 bits) to lanes of 52-bit digits (all `lanes` written).
void to_digits(uint64_t* d, size_t lanes, const limb* a, size_t nl) {
    for (size_t j = 0; j < lanes; ++j) {
        size_t bit = 52 * j, li = bit / 64, sh = bit % 64;
        uint64_t v = li < nl ? a[li] >> sh : 0;
        if (sh > 12 && li + 1 < nl) v |= a[li + 1] << (64 - sh);
        d[j] = v & kMask52;
    }
}

// Normalised digits back to nl limbs (the value must fit).
void from_digits(limb* a, size_t nl, const uint64_t* d, size_t n52) {
    std::fill(a, a + nl, 0);
    for (size_t j = 0; j < n52; ++j) {
        size_t bit = 52 * j, li = bit / 64, sh = bit % 64;
        if (li < nl) a[li] |= d[j] << sh;
        if (sh > 12 && li + 1 < nl) a[li + 1] |= d[j] >> (64 - sh);
    }
}

}  // namespace

struct Mont52::State {
    size_t nl = 0, n52 = 0, L = 0;
    uint64_t k0 = 0;      // -m^-1 mod 2^52
    Row m, mup, rr, one;  // m, m moved up one lane, R^2 mod m, the number 1
    LimbVec ml;           // m as limbs
};

bool Mont52::usable(size_t limbs) {
    const uint32_t need = cpu::kAvx512f | cpu::kAvx512ifma | cpu::kAvx512vl;
    return limbs >= 1 && vectors_for(digits_for(limbs)) <= kMaxVectors && cpu::has(need);
}

bool Mont52::supported(size_t limbs) {
    const uint32_t need = cpu::kAvx512f | cpu::kAvx512ifma | cpu::kAvx512vl;
    return limbs >= 1 && vectors_for(digits_for(limbs)) <= kMaxVectors && (cpu::detected() & need) == need;
}

// Everything but R^2 mod m.
static void init_state(Mont52::State& s, const limb* m, size_t nl) {
    s.nl = nl;
    s.n52 = digits_for(nl);
    s.L = vectors_for(s.n52);
    s.ml.assign(m, m + nl);
    const size_t lanes = 8 * s.L;
    limb inv = m[0];
    for (int i = 0; i < 5; ++i) inv *= 2 - m[0] * inv;
    s.k0 = (limb(0) - inv) & kMask52;
    s.m.resize(lanes);
    s.mup.resize(lanes);
    s.rr.resize(lanes);
    s.one.resize(lanes);
    to_digits(s.m.data(), lanes, m, nl);
    for (size_t j = 1; j < lanes; ++j) s.mup[j] = s.m[j - 1];
    s.one[0] = 1;
}

Mont52::Mont52(const limb* m, size_t nl) : nl_(nl), s_(std::make_unique<State>()) {
    State& s = *s_;
    init_state(s, m, nl);
    // R^2 = 2^(104 * digits) mod m by one division.
    const size_t bit = 104 * s.n52, nu = bit / 64 + 1;
    LimbVec u(nu, 0), q(nu - nl + 1), r(nl);
    u[nu - 1] = limb(1) << (bit % 64);
    divrem(q.data(), r.data(), u.data(), nu, m, nl);
    to_digits(s.rr.data(), 8 * s.L, r.data(), nl);
}

Mont52::Mont52(Mont& ctx) : nl_(ctx.size()), s_(std::make_unique<State>()) {
    State& s = *s_;
    const size_t nl = nl_;
    const limb* m = ctx.modulus();
    init_state(s, m, nl);
    const size_t lanes = 8 * s.L;

    // R52^2 = R64^2 * 2^(2d) mod m with d = 52 * digits - 64 * limbs (2 to
    // 53 by the choice of digits), from the 64-bit context's R^2 without
    // division and without branching on m: two Montgomery products with
    // the power 2^(2d) when that is surely below m (m's top limb is
    // nonzero), else 2d masked doublings.
    LimbVec x(ctx.rr(), ctx.rr() + nl), t(nl);
    const size_t d2 = 2 * (52 * s.n52 - 64 * nl);
    if (d2 < 64 * (nl - 1)) {
        t.assign(nl, 0);
        t[d2 / 64] = limb(1) << (d2 % 64);
        ctx.mul(t.data(), t.data(), ctx.rr());  // 2^(2d) R64
        ctx.mul(x.data(), x.data(), t.data());  // R64^2 2^(2d)
    } else {
        for (size_t i = 0; i < d2; ++i) mod_double_ct(x.data(), m, nl, t.data());
    }
    to_digits(s.rr.data(), lanes, x.data(), nl);
}

Mont52::~Mont52() = default;

// Everything below is compiled for the instruction set this file serves;
// the included headers above keep the baseline target.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512ifma,avx512vl"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512ifma,avx512vl")
#endif

namespace {

using State = Mont52::State;

// Carry pass: lanes of up to 62 bits to 52-bit digits, branch-free.
template <size_t L>
inline void normalize(__m512i* R) {
    const __m512i mask = _mm512_set1_epi64(int64_t(kMask52));
    const __m512i zero = _mm512_setzero_si512();
    __m512i C[L];
#pragma GCC unroll 16
    for (size_t v = 0; v < L; ++v) {
        C[v] = _mm512_srli_epi64(R[v], 52);
        R[v] = _mm512_and_si512(R[v], mask);
    }
#pragma GCC unroll 16
    for (size_t v = 0; v < L; ++v)
        R[v] = _mm512_add_epi64(R[v], _mm512_alignr_epi64(C[v], v ? C[v - 1] : zero, 7));
    // Lanes above 2^52 - 1 generate a carry of one, lanes equal to it pass
    // one on: the carries in are ((G << 1) + P) ^ P over the lane bits.
    u128 G = 0, P = 0;
#pragma GCC unroll 16
    for (size_t v = 0; v < L; ++v) {
        G |= u128(_mm512_cmpgt_epu64_mask(R[v], mask)) << (8 * v);
        P |= u128(_mm512_cmpeq_epu64_mask(R[v], mask)) << (8 * v);
    }
    u128 carries = ((G << 1) + P) ^ P;
    const __m512i one = _mm512_set1_epi64(1);
#pragma GCC unroll 16
    for (size_t v = 0; v < L; ++v) {
        __mmask8 k = __mmask8(uint8_t(carries >> (8 * v)));
        R[v] = _mm512_and_si512(_mm512_mask_add_epi64(R[v], k, R[v], one), mask);
    }
}

// r[k] = a[k] * b[k] / R mod m[k] (below 2m, normalised) for K independent
// products with the same digit count, their steps interleaved. Inputs are
// normalised rows below 2m; r may alias a or b.
template <size_t L, size_t K>
void amm(uint64_t* const* r, const uint64_t* const* a, const uint64_t* const* b, const State* const* st) {
    const size_t n52 = st[0]->n52;
    const __m512i zero = _mm512_setzero_si512();
    __m512i R[K][L], A[K][L], Aup[K][L];
    // Lane 0 is followed exactly in a general register (the vector's copy
    // lacks the carry out of the previous lane 0). The terms of a * b[i]
    // go through a row of their own, which does not wait for the
    // accumulator, so lane 1 with those terms added is ready early; the
    // next lane 0 is that plus the few terms of m * y that land in it,
    // which are formed in general registers: the chain from one y to the
    // next never waits for a vector multiply.
    uint64_t acc0[K], a0[K], m0[K], m1[K], k0[K];
#pragma GCC unroll 4
    for (size_t k = 0; k < K; ++k) {
#pragma GCC unroll 16
        for (size_t v = 0; v < L; ++v) {
            R[k][v] = zero;
            A[k][v] = _mm512_load_si512(a[k] + 8 * v);
        }
#pragma GCC unroll 16
        for (size_t v = 0; v < L; ++v) Aup[k][v] = _mm512_alignr_epi64(A[k][v], v ? A[k][v - 1] : zero, 7);
        acc0[k] = 0;
        a0[k] = a[k][0];
        m0[k] = st[k]->m[0];
        m1[k] = st[k]->m[1];
        k0[k] = st[k]->k0;
    }
    for (size_t i = 0; i < n52; ++i) {
#pragma GCC unroll 4
        for (size_t k = 0; k < K; ++k) {
            const uint64_t bi = b[k][i];
            const __m512i B = _mm512_set1_epi64(int64_t(bi));
#pragma GCC unroll 16
            for (size_t v = 0; v < L; ++v) {
                __m512i t = _mm512_madd52lo_epu64(zero, A[k][v], B);
                R[k][v] = _mm512_add_epi64(R[k][v], _mm512_madd52hi_epu64(t, Aup[k][v], B));
            }
            const uint64_t lane1 = uint64_t(_mm_extract_epi64(_mm512_castsi512_si128(R[k][0]), 1));
            const uint64_t t0 = acc0[k] + ((a0[k] * bi) & kMask52);
            const uint64_t y = (t0 * k0[k]) & kMask52;
            const __m512i Y = _mm512_set1_epi64(int64_t(y));
            const u128 p0 = u128(m0[k]) * y;
            const uint64_t carry = (t0 + (uint64_t(p0) & kMask52)) >> 52;  // the low 52 bits are zero
            acc0[k] = lane1 + ((m1[k] * y) & kMask52) + uint64_t(p0 >> 52) + carry;
            const uint64_t* M = st[k]->m.data();
            const uint64_t* Mup = st[k]->mup.data();
#pragma GCC unroll 16
            for (size_t v = 0; v < L; ++v) {
                R[k][v] = _mm512_madd52lo_epu64(R[k][v], _mm512_load_si512(M + 8 * v), Y);
                R[k][v] = _mm512_madd52hi_epu64(R[k][v], _mm512_load_si512(Mup + 8 * v), Y);
            }
            // Every lane moves down one digit position.
#pragma GCC unroll 16
            for (size_t v = 0; v < L; ++v)
                R[k][v] = _mm512_alignr_epi64(v + 1 < L ? R[k][v + 1] : zero, R[k][v], 1);
        }
    }
#pragma GCC unroll 4
    for (size_t k = 0; k < K; ++k) {
        R[k][0] = _mm512_mask_set1_epi64(R[k][0], 1, int64_t(acc0[k]));
        normalize<L>(R[k]);
#pragma GCC unroll 16
        for (size_t v = 0; v < L; ++v) _mm512_store_si512(r[k] + 8 * v, R[k][v]);
    }
}

// The same product on 256-bit vectors of four digits, N of them holding
// the n52 <= 4N digits exactly (no spare lane): each step adds the low
// halves of a * b[i] and m * y, moves every lane down one position and then
// adds the high halves, which belong one position up. a stays in registers
// across the whole product. Lane 0 is followed exactly in a general
// register, and so is lane 1 for the next step: it is read from the vector
// at the end of a step, plus the terms the next b[i] and y put into it,
// formed in general registers, so the chain from one y to the next never
// waits for a vector multiply. The terms of a[0] and a[1] there are formed
// for all i up front on the vector units: the loop is bound by its count of
// instructions here, and this takes three multiplications per step out of
// the general registers. The rows are those of amm (8L lanes).
template <size_t L, size_t N, size_t K>
void amm256(uint64_t* const* r, const uint64_t* const* a, const uint64_t* const* b, const State* const* st) {
    const size_t n52 = st[0]->n52;
    const __m256i zero = _mm256_setzero_si256();
    __m256i R[K][N], A[K][N];
    uint64_t acc0[K], lane1[K], a0[K], a1[K], m0[K], m1[K], k0[K];
#pragma GCC unroll 4
    for (size_t k = 0; k < K; ++k) {
#pragma GCC unroll 16
        for (size_t v = 0; v < N; ++v) {
            R[k][v] = zero;
            A[k][v] = _mm256_load_si256(reinterpret_cast<const __m256i*>(a[k] + 4 * v));
        }
        acc0[k] = 0;
        lane1[k] = 0;
        a0[k] = a[k][0];
        a1[k] = a[k][1];
        m0[k] = st[k]->m[0];
        m1[k] = st[k]->m[1];
        k0[k] = st[k]->k0;
    }
    // The terms of a[0] b[i] and a[1] b[i] the general registers need,
    // for every i at once on the vector units: the low half of a[0] b[i]
    // (position i) and the high half of a[0] b[i] plus the low half of
    // a[1] b[i] (position i + 1).
    alignas(32) uint64_t ab0[K][4 * N], ab1[K][4 * N];
#pragma GCC unroll 4
    for (size_t k = 0; k < K; ++k) {
        const __m256i X0 = _mm256_set1_epi64x(int64_t(a0[k])), X1 = _mm256_set1_epi64x(int64_t(a1[k]));
#pragma GCC unroll 16
        for (size_t v = 0; v < N; ++v) {
            const __m256i Bv = _mm256_load_si256(reinterpret_cast<const __m256i*>(b[k] + 4 * v));
            _mm256_store_si256(reinterpret_cast<__m256i*>(ab0[k] + 4 * v),
                               _mm256_madd52lo_epu64(zero, Bv, X0));
            _mm256_store_si256(reinterpret_cast<__m256i*>(ab1[k] + 4 * v),
                               _mm256_madd52hi_epu64(_mm256_madd52lo_epu64(zero, Bv, X1), Bv, X0));
        }
    }
    for (size_t i = 0; i < n52; ++i) {
#pragma GCC unroll 4
        for (size_t k = 0; k < K; ++k) {
            const uint64_t bi = b[k][i];
            const __m256i B = _mm256_set1_epi64x(int64_t(bi));
            const uint64_t t0 = acc0[k] + ab0[k][i];
            const uint64_t y = (t0 * k0[k]) & kMask52;
            const __m256i Y = _mm256_set1_epi64x(int64_t(y));
            const u128 pm = u128(m0[k]) * y;
            // m[0] y = -t0 mod 2^52 by the choice of y: the carry out of
            // position i is t0's part above 52 bits, plus one unless t0's
            // low 52 bits are zero.
            const uint64_t carry = (t0 >> 52) + (((t0 & kMask52) + kMask52) >> 52);
            // Position i + 1 after this step: what the vector held, the
            // terms of a[0] b[i] and a[1] b[i] there, the low half of m[1] y,
            // the high half of m[0] y and the carry out of position i.
            acc0[k] = lane1[k] + ab1[k][i] + ((m1[k] * y) & kMask52) + uint64_t(pm >> 52) + carry;
            const uint64_t* M = st[k]->m.data();
#pragma GCC unroll 16
            for (size_t v = 0; v < N; ++v) {
                R[k][v] = _mm256_madd52lo_epu64(R[k][v], A[k][v], B);
                R[k][v] = _mm256_madd52lo_epu64(
                    R[k][v], _mm256_load_si256(reinterpret_cast<const __m256i*>(M + 4 * v)), Y);
            }
#pragma GCC unroll 16
            for (size_t v = 0; v < N; ++v)
                R[k][v] = _mm256_alignr_epi64(v + 1 < N ? R[k][v + 1] : zero, R[k][v], 1);
#pragma GCC unroll 16
            for (size_t v = 0; v < N; ++v) {
                R[k][v] = _mm256_madd52hi_epu64(R[k][v], A[k][v], B);
                R[k][v] = _mm256_madd52hi_epu64(
                    R[k][v], _mm256_load_si256(reinterpret_cast<const __m256i*>(M + 4 * v)), Y);
            }
            lane1[k] = uint64_t(_mm256_extract_epi64(R[k][0], 1));
        }
    }
    // The rows of products of a's digits are secret: cleared before return
    // (the barrier keeps the compiler from dropping the stores).
#pragma GCC unroll 4
    for (size_t k = 0; k < K; ++k) {
#pragma GCC unroll 16
        for (size_t v = 0; v < N; ++v) {
            _mm256_store_si256(reinterpret_cast<__m256i*>(ab0[k] + 4 * v), zero);
            _mm256_store_si256(reinterpret_cast<__m256i*>(ab1[k] + 4 * v), zero);
        }
    }
    asm volatile("" : : "r"(&ab0[0][0]), "r"(&ab1[0][0]) : "memory");
#pragma GCC unroll 4
    for (size_t k = 0; k < K; ++k) {
        R[k][0] = _mm256_mask_set1_epi64(R[k][0], 1, int64_t(acc0[k]));
        __m512i W[L];
#pragma GCC unroll 16
        for (size_t v = 0; v < L; ++v) {
            const __m256i lo = 2 * v < N ? R[k][2 * v] : zero, hi = 2 * v + 1 < N ? R[k][2 * v + 1] : zero;
            W[v] = _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
        }
        normalize<L>(W);
#pragma GCC unroll 16
        for (size_t v = 0; v < L; ++v) _mm512_store_si512(r[k] + 8 * v, W[v]);
    }
}

// The product for K moduli of L vectors: on 256-bit vectors when the digits
// fill them exactly enough (the moduli of 1024-bit RSA primes: 20 digits in
// five), else on 512-bit ones.
template <size_t L, size_t K>
inline void amm_any(uint64_t* const* r, const uint64_t* const* a, const uint64_t* const* b,
                    const State* const* st) {
    if constexpr (L == 3) {
        if (st[0]->n52 > 16 && st[0]->n52 <= 20) {
            amm256<L, 5, K>(r, a, b, st);
            return;
        }
    }
    amm<L, K>(r, a, b, st);
}

// Constant-time fetch of table entry idx (count entries of L vectors).
template <size_t L>
void lookup(uint64_t* out, const uint64_t* table, size_t count, uint64_t idx) {
    __m512i acc[L];
#pragma GCC unroll 16
    for (size_t v = 0; v < L; ++v) acc[v] = _mm512_setzero_si512();
    const __m512i want = _mm512_set1_epi64(int64_t(idx));
    for (size_t i = 0; i < count; ++i) {
        __mmask8 k = _mm512_cmpeq_epi64_mask(_mm512_set1_epi64(int64_t(i)), want);
        const uint64_t* t = table + i * 8 * L;
#pragma GCC unroll 16
        for (size_t v = 0; v < L; ++v)
            acc[v] = _mm512_mask_mov_epi64(acc[v], k, _mm512_load_si512(t + 8 * v));
    }
#pragma GCC unroll 16
    for (size_t v = 0; v < L; ++v) _mm512_store_si512(out + 8 * v, acc[v]);
}

// A normalised value v < 2m (digits) to limbs below m, by a masked
// subtraction over one limb more than m has (2m may need it).
void final_limbs(limb* y, const uint64_t* v, const State& s) {
    const size_t nl = s.nl;
    LimbVec t(nl + 1), d(nl + 1), m(nl + 1, 0);
    from_digits(t.data(), nl + 1, v, s.n52);
    std::copy(s.ml.begin(), s.ml.end(), m.begin());
    limb br = sub_n(d.data(), t.data(), m.data(), nl + 1);
    limb keep = ct::mask_nonzero(br);
    for (size_t i = 0; i < nl; ++i) y[i] = ct::select(keep, t[i], d[i]);
}

// K fixed-window exponentiations with the same schedule.
template <size_t L, size_t K>
void exp_fixed(State* const* st, limb* const* y, const limb* const* x, const limb* const* e, size_t ne) {
    const size_t lanes = 8 * L;
    const size_t bits = 64 * ne;
    const unsigned w = fixed_window(bits);
    const size_t count = size_t(1) << w;
    Row table[K], acc[K], tmp[K];
    uint64_t *pa[K], *pt[K];
    const uint64_t *ca[K], *ct1[K];
    for (size_t k = 0; k < K; ++k) {
        table[k].resize(count * lanes);
        acc[k].resize(lanes);
        tmp[k].resize(lanes);
        pa[k] = acc[k].data();
        pt[k] = tmp[k].data();
        ca[k] = pa[k];
        to_digits(pt[k], lanes, x[k], st[k]->nl);
    }
    auto entry = [&](size_t k, size_t i) { return table[k].data() + i * lanes; };
    uint64_t* out[K];
    const uint64_t *in1[K], *in2[K];
    // table[0] = R mod m, table[1] = x R mod m, then powers.
    for (size_t k = 0; k < K; ++k)
        out[k] = entry(k, 0), in1[k] = st[k]->rr.data(), in2[k] = st[k]->one.data();
    amm_any<L, K>(out, in1, in2, st);
    for (size_t k = 0; k < K; ++k) out[k] = entry(k, 1), in1[k] = pt[k], in2[k] = st[k]->rr.data();
    amm_any<L, K>(out, in1, in2, st);
    for (size_t i = 2; i < count; ++i) {
        for (size_t k = 0; k < K; ++k) {
            out[k] = entry(k, i);
            in1[k] = i % 2 ? entry(k, i - 1) : entry(k, i / 2);
            in2[k] = i % 2 ? entry(k, 1) : entry(k, i / 2);
        }
        amm_any<L, K>(out, in1, in2, st);
    }
    size_t nwin = (bits + w - 1) / w;
    size_t pos = (nwin - 1) * w;
    for (size_t k = 0; k < K; ++k) lookup<L>(pa[k], table[k].data(), count, window_bits(e[k], ne, pos, w));
    while (pos > 0) {
        pos -= w;
        for (unsigned j = 0; j < w; ++j) amm_any<L, K>(pa, ca, ca, st);
        for (size_t k = 0; k < K; ++k)
            lookup<L>(pt[k], table[k].data(), count, window_bits(e[k], ne, pos, w));
        for (size_t k = 0; k < K; ++k) ct1[k] = pt[k];
        amm_any<L, K>(pa, ca, ct1, st);
    }
    for (size_t k = 0; k < K; ++k) in2[k] = st[k]->one.data();
    amm_any<L, K>(pa, ca, in2, st);
    for (size_t k = 0; k < K; ++k) final_limbs(y[k], pa[k], *st[k]);
}

// Square and multiply, variable time in e (public exponents).
template <size_t L>
void exp_binary(State& s, limb* y, const limb* x, const limb* e, size_t ne) {
    const size_t lanes = 8 * L;
    Row xm(lanes), acc(lanes);
    State* st[1] = {&s};
    uint64_t* pacc[1] = {acc.data()};
    const uint64_t* cacc[1] = {acc.data()};
    const uint64_t* cxm[1] = {xm.data()};
    uint64_t* pxm[1] = {xm.data()};
    to_digits(acc.data(), lanes, x, s.nl);
    const uint64_t* rr[1] = {s.rr.data()};
    amm<L, 1>(pxm, cacc, rr, st);  // x R mod m
    size_t top = normlen(e, ne);
    if (top == 0) {
        const uint64_t* one[1] = {s.one.data()};
        amm<L, 1>(pacc, rr, one, st);  // R mod m
    } else {
        std::memcpy(acc.data(), xm.data(), lanes * sizeof(uint64_t));
        size_t bits = 64 * (top - 1) + (64 - size_t(__builtin_clzll(e[top - 1])));
        for (size_t i = bits - 1; i-- > 0;) {
            amm<L, 1>(pacc, cacc, cacc, st);
            if ((e[i / 64] >> (i % 64)) & 1) amm<L, 1>(pacc, cacc, cxm, st);
        }
    }
    const uint64_t* one[1] = {s.one.data()};
    amm<L, 1>(pacc, cacc, one, st);
    final_limbs(y, acc.data(), s);
}

template <size_t L>
void mul_mod_l(State& s, limb* r, const limb* a, const limb* b) {
    const size_t lanes = 8 * L;
    Row ad(lanes), bd(lanes);
    to_digits(ad.data(), lanes, a, s.nl);
    to_digits(bd.data(), lanes, b, s.nl);
    State* st[1] = {&s};
    uint64_t* pa[1] = {ad.data()};
    const uint64_t* ca[1] = {ad.data()};
    const uint64_t* cb[1] = {bd.data()};
    const uint64_t* rr[1] = {s.rr.data()};
    amm<L, 1>(pa, ca, cb, st);  // a b / R
    amm<L, 1>(pa, ca, rr, st);  // a b
    final_limbs(r, ad.data(), s);
}

#define VELT_M52_SIZES(X) X(1) X(2) X(3) X(4) X(5) X(6) X(7) X(8) X(9) X(10)

}  // namespace

void Mont52::mul_mod(limb* r, const limb* a, const limb* b) {
    switch (s_->L) {
#define VELT_CASE(N)                \
    case N:                         \
        mul_mod_l<N>(*s_, r, a, b); \
        return;
        VELT_M52_SIZES(VELT_CASE)
#undef VELT_CASE
    }
}

void Mont52::exp_vartime(limb* y, const limb* x, const limb* e, size_t ne) {
    // Square and multiply for exponents of one limb (the public 3, 17,
    // 65537...); longer ones take the window ladder, which saves products.
    const size_t top = normlen(e, ne);
    if (top > 1) {
        exp_consttime(y, x, e, top);
        return;
    }
    switch (s_->L) {
#define VELT_CASE(N)                     \
    case N:                              \
        exp_binary<N>(*s_, y, x, e, ne); \
        return;
        VELT_M52_SIZES(VELT_CASE)
#undef VELT_CASE
    }
}

void Mont52::exp_consttime(limb* y, const limb* x, const limb* e, size_t ne) {
    State* st[1] = {s_.get()};
    limb* ys[1] = {y};
    const limb* xs[1] = {x};
    const limb* es[1] = {e};
    switch (s_->L) {
#define VELT_CASE(N)                         \
    case N:                                  \
        exp_fixed<N, 1>(st, ys, xs, es, ne); \
        return;
        VELT_M52_SIZES(VELT_CASE)
#undef VELT_CASE
    }
}

void Mont52::exp_consttime_x2(Mont52& c1, limb* y1, const limb* x1, const limb* e1, size_t ne1, Mont52& c2,
                              limb* y2, const limb* x2, const limb* e2, size_t ne2) {
    if (c1.s_->n52 != c2.s_->n52 || ne1 != ne2) {
        c1.exp_consttime(y1, x1, e1, ne1);
        c2.exp_consttime(y2, x2, e2, ne2);
        return;
    }
    State* st[2] = {c1.s_.get(), c2.s_.get()};
    limb* ys[2] = {y1, y2};
    const limb* xs[2] = {x1, x2};
    const limb* es[2] = {e1, e2};
    switch (st[0]->L) {
#define VELT_CASE(N)                          \
    case N:                                   \
        exp_fixed<N, 2>(st, ys, xs, es, ne1); \
        return;
        VELT_M52_SIZES(VELT_CASE)
#undef VELT_CASE
    }
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace velt::bigd
