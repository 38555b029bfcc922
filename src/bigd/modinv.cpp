// Constant-time modular inverse for odd moduli by Bernstein and Yang's
// divsteps ("Fast constant-time gcd computation and modular inversion",
// TCHES 2019).
//
// One divstep maps (delta, f, g), f odd, to
//   (1 - delta, g, (g - f) / 2)  if delta > 0 and g is odd,
//   (1 + delta, f, (g + f) / 2)  if delta <= 0 and g is odd,
//   (1 + delta, f, g / 2)        if g is even.
// Starting from (1, m, a), g reaches 0 and f = +-gcd(m, a) within
// floor((49 d + 80) / 17) steps when m, a < 2^d (Theorem 11.2 of the paper),
// so the step count depends on the limb count only. The choices of a batch
// of S consecutive steps (S = 62 or 60) depend only on delta and the low S
// bits of f and g: they are made on one word each and collected in a 2x2
// matrix T with 2^S (f', g') = T (f, g), which is then applied to the full
// numbers. The same matrix carries d and e with f = d a and g = e a (mod m);
// the division by 2^S is exact there too once the multiple of m that clears
// the low S bits is added (Montgomery's trick). At the end a^-1 = +-d.
//
// That multiple is taken in [-2^(S-1), 2^(S-1)), so each batch adds at most
// m/2 to max(|d|, |e|): d stays below (batches/2 + 1) m in magnitude and is
// reduced into [0, m) once, at the end, by masked subtractions. Every choice
// is a mask, every loop bound a function of n.
//
// Two representations of the numbers: the portable one has limbs of 62
// bits (the top limb signed) and 62-step batches whose products fit an
// __int128; the AVX-512 one has 30-bit lanes in 64-bit vector lanes and
// 60-step batches whose matrix entries are split in two 30-bit halves, so
// that VPMULDQ (32 x 32 -> 64 bits, signed) forms all the products. Its lanes
// are left slightly redundant (two carry passes per batch, no sequential
// carry chain); the top lane keeps its full value.

// GCC 12's AVX-512 headers start some intrinsics from _mm512_undefined, which
// its own uninitialised-value analysis then reports.
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "bigd/modinv.h"

#include <immintrin.h>

#include "util/cpu.h"
#include "util/ct.h"

namespace velt::bigd {

namespace {

using i128 = __int128;

// ---- Batches of divsteps on one word ----

// The matrix of a batch: 2^S f' = u f + v g, 2^S g' = q f + r g, with
// |u| + |v| <= 2^S and |q| + |r| <= 2^S (each step at most doubles a row).
struct Trans {
    int64_t u, v, q, r;
};

// The steps run in groups of up to kSub on two words that hold the low kSub
// bits of f and g and, above them, the matrix rows: F = u X + v Y and
// G = q X + r Y with X = (f mod 2^kSub) + 2^kPosU, Y = (g mod 2^kSub) +
// 2^kPosV. Instead of halving g, each step doubles f's row (the values are
// 2^i f_i and 2^i g_i), so all three fields move together and one addition
// updates them; the parity of g_i is bit i of G. After j <= kSub steps the
// low field is below 2^(2 kSub) in magnitude and |u|, |v| <= 2^kSub, which
// the field positions leave room for (4 kSub + 4 <= 63).
constexpr int kSub = 14;
constexpr int kPosU = 2 * kSub + 1;
constexpr int kPosV = 3 * kSub + 3;
// Steps between calls of the work interleaved with them (see divsteps).
constexpr int kWorkEvery = 3;

// Splits a packed row w = low + 2^kPosU a + 2^kPosV b into a and b.
inline void unpack_row(uint64_t w, int64_t& a, int64_t& b) {
    int64_t ab = int64_t(w + (uint64_t(1) << (kPosU - 1))) >> kPosU;  // rounds the low field away
    constexpr int sh = 64 - (kPosV - kPosU);
    a = int64_t(uint64_t(ab) << sh) >> sh;
    b = (ab - a) >> (kPosV - kPosU);
}

// J divsteps. eta = -delta, so "delta > 0" is eta's sign bit, and x is f or
// -f, whichever g takes when odd. On a swap (delta > 0 and g odd) f takes g's
// old value, selected directly rather than formed as f + (g - f), so that it
// does not wait for the addition to g.
template <int J, class Work>
__attribute__((always_inline)) inline int64_t divsteps_packed(int64_t eta, uint64_t f, uint64_t g, Trans& t,
                                                              Work& work, int done) {
    constexpr uint64_t low = (uint64_t(1) << kSub) - 1;
    uint64_t F = (f & low) + (uint64_t(1) << kPosU);
    uint64_t G = (g & low) + (uint64_t(1) << kPosV);
    uint64_t pos = uint64_t(eta >> 63);  // all-ones when delta > 0
    uint64_t x = (F ^ pos) - pos;
#pragma GCC unroll 16
    for (int i = 0; i < J; ++i) {
        uint64_t odd = ct::value_barrier(uint64_t(int64_t(G << (63 - i)) >> 63));
        uint64_t swap = pos & odd;
        uint64_t fs = F ^ ((F ^ G) & swap);  // swap ? g : f
        G += x & odd;
        eta = int64_t((uint64_t(eta) ^ swap) - (swap + 1));  // swap ? -eta - 1 : eta - 1
        pos = uint64_t(eta >> 63);
        F = fs << 1;
        x = (F ^ pos) - pos;
        if ((i + 1) % kWorkEvery == 0) work(done + i + 1);
    }
    unpack_row(F, t.u, t.v);
    unpack_row(G, t.q, t.r);
    return eta;
}

// t = s t. The entries stay within 2^62, so int64_t products do not overflow.
inline void compose(Trans& t, const Trans& s) {
    Trans p = {s.u * t.u + s.v * t.q, s.u * t.v + s.v * t.r, s.q * t.u + s.r * t.q, s.q * t.v + s.r * t.r};
    t = p;
}

// (f, g) = (u f + v g, q f + r g) / 2^j on words: correct in the low 64 - j
// bits, which is all the remaining steps of the batch read.
inline void advance(uint64_t& f, uint64_t& g, const Trans& s, int j) {
    uint64_t nf = (uint64_t(s.u) * f + uint64_t(s.v) * g) >> j;
    uint64_t ng = (uint64_t(s.q) * f + uint64_t(s.r) * g) >> j;
    f = nf;
    g = ng;
}

// S divsteps (56 < S <= 70) from the low S bits of f and g. work(i) runs
// after every few steps, i the steps done, and work(S) at the end: other
// work placed there overlaps the steps, whose chain of dependent operations
// leaves the processor room.
template <int S, class Work>
__attribute__((always_inline)) inline int64_t divsteps(int64_t eta, uint64_t f, uint64_t g, Trans& t,
                                                       Work&& work) {
    static_assert(S > 4 * kSub && S <= 5 * kSub, "four full groups and one partial");
    Trans s;
    eta = divsteps_packed<kSub>(eta, f, g, t, work, 0);
    advance(f, g, t, kSub);
    for (int k = 1; k < 4; ++k) {
        eta = divsteps_packed<kSub>(eta, f, g, s, work, k * kSub);
        advance(f, g, s, kSub);
        compose(t, s);
    }
    eta = divsteps_packed<S - 4 * kSub>(eta, f, g, s, work, 4 * kSub);
    compose(t, s);
    work(S);
    return eta;
}

struct NoWork {
    void operator()(int) const {}
};

// ---- Shared set-up and final reduction ----

// m^-1 mod 2^64 for odd m by Newton's iteration: m is its own inverse
// modulo 8, and each step doubles the number of correct low bits.
uint64_t inv64(uint64_t m) {
    uint64_t x = m;
    for (int i = 0; i < 5; ++i) x *= 2 - m * x;
    return x;
}

// The public sizes of one inversion with S-step batches.
struct Plan {
    size_t batches;
    unsigned growth;  // |d|, |e| < 2^growth m throughout
    Plan(size_t n, size_t S) {
        size_t steps = (49 * 64 * n + 80) / 17;
        batches = (steps + S - 1) / S;
        size_t k = batches / 2 + 2;
        growth = 0;
        while ((size_t(1) << growth) < k) ++growth;
    }
};

// n limbs (non-negative) to len limbs of `bits` bits each.
void to_radix(int64_t* out, size_t len, const limb* a, size_t n, unsigned bits) {
    const limb mask = (limb(1) << bits) - 1;
    for (size_t i = 0; i < len; ++i) {
        size_t pos = bits * i, w = pos / 64, s = pos % 64;
        limb lo = w < n ? a[w] >> s : 0;
        limb hi = (s + bits > 64 && w + 1 < n) ? a[w + 1] << (64 - s) : 0;
        out[i] = int64_t((lo | hi) & mask);
    }
}

// The value sum a[i] 2^(bits i) (any signed limbs of magnitude below 2^62)
// to w limbs of two's complement. The loops depend on the sizes only.
void to_words(limb* out, size_t w, const int64_t* a, size_t len, unsigned bits) {
    i128 acc = 0;
    unsigned have = 0;
    size_t o = 0;
    for (size_t i = 0; i < len && o < w; ++i) {
        acc += i128(u128(i128(a[i])) << have);
        have += bits;
        while (have >= 64 && o < w) {
            out[o++] = limb(acc);
            acc >>= 64;
            have -= 64;
        }
    }
    while (o < w) {
        out[o++] = limb(acc);
        acc >>= 64;
    }
}

// Given f, g and d as w = n + 2 limbs of two's complement (|d| < 2^growth
// m): r = +-d mod m with the sign of f, if g = 0, f = +-1 and m is odd;
// else r = 0. Returns the all-ones mask of success.
limb finish(limb* r, const limb* f, const limb* g, limb* d, const limb* m, size_t n, unsigned growth) {
    const size_t w = n + 2;
    const limb fneg = ct::mask_from_bit(f[w - 1] >> 63);
    limb gor = 0, fdiff = (f[0] ^ fneg) ^ (~fneg & 1);  // f ^ sign is 0 (f = -1) or 1 (f = 1)
    for (size_t i = 0; i < w; ++i) gor |= g[i];
    for (size_t i = 1; i < w; ++i) fdiff |= f[i] ^ fneg;
    const limb ok = ct::mask_zero(gor) & ct::mask_zero(fdiff) & ct::mask_from_bit(m[0]);  // m odd

    Scratch<limb> tmp(2 * w);
    limb *ms = tmp.data(), *t = ms + w;
    // d = f d, then d + 2^growth m is in (0, 2^(growth+1) m).
    limb c = fneg & 1;
    for (size_t i = 0; i < w; ++i) {
        u128 s = u128(d[i] ^ fneg) + c;
        d[i] = limb(s);
        c = limb(s >> 64);
    }
    // ms = m << j over w limbs (j < 64 and m < 2^(64n), so nothing is lost).
    auto shifted = [&](unsigned j) {
        for (size_t i = 0; i < w; ++i) {
            limb lo = i < n ? m[i] << j : 0;
            limb hi = (j != 0 && i >= 1 && i - 1 < n) ? m[i - 1] >> (64 - j) : 0;
            ms[i] = lo | hi;
        }
    };
    shifted(growth);
    add_n(d, d, ms, w);
    // Binary reduction: below 2^(j+1) m, a masked subtraction of 2^j m
    // leaves it below 2^j m.
    for (unsigned j = growth + 1; j-- > 0;) {
        shifted(j);
        limb borrow = sub_n(t, d, ms, w);
        limb keep = ct::mask_from_bit(borrow);
        for (size_t i = 0; i < w; ++i) d[i] = ct::select(keep, d[i], t[i]);
    }
    for (size_t i = 0; i < n; ++i) r[i] = d[i] & ok;
    return ok;
}

// ---- Portable path: 62-bit limbs, 62-step batches ----

constexpr int kBatch62 = 62;
constexpr uint64_t kMask62 = (uint64_t(1) << 62) - 1;

// (f, g) = T (f, g) / 2^62; exact, the low 62 bits of both sums are zero.
void update_fg62(int64_t* f, int64_t* g, size_t len, const Trans& t) {
    const int64_t u = t.u, v = t.v, q = t.q, r = t.r;
    i128 cf = i128(u) * f[0] + i128(v) * g[0];
    i128 cg = i128(q) * f[0] + i128(r) * g[0];
    cf >>= kBatch62;
    cg >>= kBatch62;
    for (size_t i = 1; i < len; ++i) {
        cf += i128(u) * f[i] + i128(v) * g[i];
        cg += i128(q) * f[i] + i128(r) * g[i];
        f[i - 1] = int64_t(uint64_t(cf) & kMask62);
        g[i - 1] = int64_t(uint64_t(cg) & kMask62);
        cf >>= kBatch62;
        cg >>= kBatch62;
    }
    f[len - 1] = int64_t(cf);
    g[len - 1] = int64_t(cg);
}

// (d, e) = (T (d, e) + (kd, ke) m) / 2^62 with kd, ke in [-2^61, 2^61) the
// multiples that clear the low 62 bits (minv = m^-1 mod 2^64). Each sum is
// below 2^124 + 2^123 in magnitude.
void update_de62(int64_t* d, int64_t* e, size_t len, const Trans& t, const int64_t* m, uint64_t minv) {
    const int64_t u = t.u, v = t.v, q = t.q, r = t.r;
    i128 cd = i128(u) * d[0] + i128(v) * e[0];
    i128 ce = i128(q) * d[0] + i128(r) * e[0];
    const int64_t kd = int64_t((uint64_t(0) - minv * uint64_t(cd)) << 2) >> 2;
    const int64_t ke = int64_t((uint64_t(0) - minv * uint64_t(ce)) << 2) >> 2;
    cd += i128(kd) * m[0];
    ce += i128(ke) * m[0];
    cd >>= kBatch62;
    ce >>= kBatch62;
    for (size_t i = 1; i < len; ++i) {
        cd += i128(u) * d[i] + i128(v) * e[i] + i128(kd) * m[i];
        ce += i128(q) * d[i] + i128(r) * e[i] + i128(ke) * m[i];
        d[i - 1] = int64_t(uint64_t(cd) & kMask62);
        e[i - 1] = int64_t(uint64_t(ce) & kMask62);
        cd >>= kBatch62;
        ce >>= kBatch62;
    }
    d[len - 1] = int64_t(cd);
    e[len - 1] = int64_t(ce);
}

limb modinv_portable(limb* r, const limb* a, const limb* m, size_t n) {
    const Plan plan(n, kBatch62);
    // Limbs for values below 2^(64n + growth) in magnitude, top limb signed.
    const size_t len = (64 * n + plan.growth + 62) / 62 + 1;
    const size_t w = n + 2;

    Scratch<int64_t> s62(5 * len);
    int64_t *f = s62.data(), *g = f + len, *d = g + len, *e = d + len, *ms = e + len;
    to_radix(ms, len, m, n, 62);
    to_radix(f, len, m, n, 62);
    to_radix(g, len, a, n, 62);
    e[0] = 1;
    const uint64_t minv = inv64(m[0]);

    int64_t eta = -1;
    for (size_t b = 0; b < plan.batches; ++b) {
        Trans t;
        eta = divsteps<kBatch62>(eta, uint64_t(f[0]) | (uint64_t(f[1]) << 62),
                                 uint64_t(g[0]) | (uint64_t(g[1]) << 62), t, NoWork());
        update_fg62(f, g, len, t);
        update_de62(d, e, len, t, ms, minv);
    }

    Scratch<limb> words(3 * w);
    limb *fw = words.data(), *gw = fw + w, *dw = gw + w;
    to_words(fw, w, f, len, 62);
    to_words(gw, w, g, len, 62);
    to_words(dw, w, d, len, 62);
    return finish(r, fw, gw, dw, m, n, plan.growth);
}

// ---- AVX-512 path: 30-bit lanes, 60-step batches ----

#define VELT_AVX512_TARGET __attribute__((target("avx512f")))

constexpr int kBatch30 = 60;
constexpr int64_t kMask30 = (int64_t(1) << 30) - 1;

// One batch's update of two numbers x, y held in V vectors of eight lanes:
// x' = (a x + b y [+ kx m]) / 2^60 and y' = (c x + d y [+ ky m]) / 2^60, each
// multiplier split as lo + 2^30 hi (lo in [0, 2^30), |hi| <= 2^30). Lane j of
// the products is lo x_j + hi x_(j-1) + ..., below 5 * 2^60 in magnitude for
// lanes near [0, 2^30); two passes move each lane's bits above 30 one lane up
// and leave lanes in [-5, 2^30 + 5], inside VPMULDQ's signed 32-bit inputs.
// The two lowest lanes are then zero (the sum is a multiple of 2^60) and the
// vectors shift down by two lanes. The top lane is never masked and sends
// nothing up: with a lane of headroom above the value it holds the small
// remainder (-1, 0 or 1) exactly. Vectors are processed in order, each step
// reading vector k and writing vector k - 1, so the update runs in place.
template <bool Mod>
struct VecPass {
    __m512i xa0, xa1, xb0, xb1, ya0, ya1, yb0, yb1, xk0, xk1, yk0, yk1, mask;
    __m512i xprev, yprev, mprev, xh, yh, xh2, yh2, xout, yout;
    int64_t *x, *y;
    const int64_t* m;
    size_t V;

    VELT_AVX512_TARGET static __m512i lo(int64_t c) { return _mm512_set1_epi64(c & kMask30); }
    VELT_AVX512_TARGET static __m512i hi(int64_t c) { return _mm512_set1_epi64(c >> 30); }

    VELT_AVX512_TARGET VecPass(int64_t* x_, int64_t* y_, const int64_t* m_, size_t V_, const Trans& t,
                               int64_t kx, int64_t ky)
        : x(x_), y(y_), m(m_), V(V_) {
        xa0 = lo(t.u), xa1 = hi(t.u), xb0 = lo(t.v), xb1 = hi(t.v);
        ya0 = lo(t.q), ya1 = hi(t.q), yb0 = lo(t.r), yb1 = hi(t.r);
        xk0 = lo(kx), xk1 = hi(kx), yk0 = lo(ky), yk1 = hi(ky);
        mask = _mm512_set1_epi64(kMask30);
        xprev = yprev = mprev = xh = yh = xh2 = yh2 = xout = yout = _mm512_setzero_si512();
    }

    // Both carry passes of one vector of products p: returns the new lanes
    // and keeps the two high parts for the next vector. top: lane 7 is the
    // top lane.
    VELT_AVX512_TARGET __m512i carry(__m512i p, __m512i& h, __m512i& h2, bool top) {
        const __mmask8 keep = top ? 0x7f : 0xff;
        __m512i ph = _mm512_srai_epi64(p, 30);
        __m512i p1 = _mm512_add_epi64(_mm512_mask_and_epi64(p, keep, p, mask), _mm512_alignr_epi64(ph, h, 7));
        h = ph;
        __m512i ph2 = _mm512_srai_epi64(p1, 30);
        __m512i p2 =
            _mm512_add_epi64(_mm512_mask_and_epi64(p1, keep, p1, mask), _mm512_alignr_epi64(ph2, h2, 7));
        h2 = ph2;
        return p2;
    }

    VELT_AVX512_TARGET void step(size_t k) {
        __m512i xk = _mm512_loadu_si512(x + 8 * k), yk = _mm512_loadu_si512(y + 8 * k);
        __m512i xs = _mm512_alignr_epi64(xk, xprev, 7), ys = _mm512_alignr_epi64(yk, yprev, 7);
        __m512i px = _mm512_add_epi64(_mm512_add_epi64(_mm512_mul_epi32(xa0, xk), _mm512_mul_epi32(xa1, xs)),
                                      _mm512_add_epi64(_mm512_mul_epi32(xb0, yk), _mm512_mul_epi32(xb1, ys)));
        __m512i py = _mm512_add_epi64(_mm512_add_epi64(_mm512_mul_epi32(ya0, xk), _mm512_mul_epi32(ya1, xs)),
                                      _mm512_add_epi64(_mm512_mul_epi32(yb0, yk), _mm512_mul_epi32(yb1, ys)));
        if (Mod) {
            __m512i mk = _mm512_loadu_si512(m + 8 * k);
            __m512i msh = _mm512_alignr_epi64(mk, mprev, 7);
            px =
                _mm512_add_epi64(px, _mm512_add_epi64(_mm512_mul_epi32(xk0, mk), _mm512_mul_epi32(xk1, msh)));
            py =
                _mm512_add_epi64(py, _mm512_add_epi64(_mm512_mul_epi32(yk0, mk), _mm512_mul_epi32(yk1, msh)));
            mprev = mk;
        }
        xprev = xk;
        yprev = yk;
        const bool top = k + 1 == V;
        __m512i x2 = carry(px, xh, xh2, top), y2 = carry(py, yh, yh2, top);
        if (k > 0) {
            _mm512_storeu_si512(x + 8 * (k - 1), _mm512_alignr_epi64(x2, xout, 2));
            _mm512_storeu_si512(y + 8 * (k - 1), _mm512_alignr_epi64(y2, yout, 2));
        }
        xout = x2;
        yout = y2;
    }

    VELT_AVX512_TARGET void finish() {
        const __m512i z = _mm512_setzero_si512();
        _mm512_storeu_si512(x + 8 * (V - 1), _mm512_alignr_epi64(z, xout, 2));
        _mm512_storeu_si512(y + 8 * (V - 1), _mm512_alignr_epi64(z, yout, 2));
    }
};

// One batch's update of f, g, d and e, cut into items (one vector of f and
// g, or of d and e) that the next batch's divsteps call for as they go.
struct BatchUpdate {
    VecPass<false> fg;
    VecPass<true> de;
    size_t V, total, done = 0;

    VELT_AVX512_TARGET BatchUpdate(int64_t* f, int64_t* g, int64_t* d, int64_t* e, const int64_t* m,
                                   size_t V_, const Trans& t, int64_t kd, int64_t ke)
        : fg(f, g, nullptr, V_, t, 0, 0), de(d, e, m, V_, t, kd, ke), V(V_), total(2 * V_ + 2) {}

    VELT_AVX512_TARGET void work(size_t upto) {
        for (; done < upto; ++done) {
            if (done < V)
                fg.step(done);
            else if (done == V)
                fg.finish();
            else if (done < 2 * V + 1)
                de.step(done - V - 1);
            else
                de.finish();
        }
    }

    // After `steps` of the next batch's divsteps.
    VELT_AVX512_TARGET void operator()(int steps) { work(total * size_t(steps) / kBatch30); }
};

// The low 64 bits of a number in 30-bit lanes (any signed lanes).
inline uint64_t low_word30(const int64_t* x) {
    return uint64_t(x[0]) + (uint64_t(x[1]) << 30) + (uint64_t(x[2]) << 60);
}

// The low 64 bits of (u x + v y) / 2^60 from the low five lanes of x and y
// (150 bits, of which the result reads bits 60 to 123).
inline uint64_t next_low30(const int64_t* x, const int64_t* y, int64_t u, int64_t v) {
    u128 xl = 0, yl = 0;
    for (int j = 0; j < 5; ++j) {
        xl += u128(i128(x[j])) << (30 * j);
        yl += u128(i128(y[j])) << (30 * j);
    }
    return uint64_t((u128(i128(u)) * xl + u128(i128(v)) * yl) >> 60);
}

VELT_AVX512_TARGET limb modinv_avx512(limb* r, const limb* a, const limb* m, size_t n) {
    const Plan plan(n, kBatch30);
    // Lanes for 2^60 times values below 2^(64n + growth), plus one lane of
    // headroom for the top lane, in whole vectors.
    const size_t lanes = (64 * n + plan.growth + 60 + 29) / 30 + 2;
    const size_t V = (lanes + 7) / 8, L = 8 * V;
    const size_t w = n + 2;

    Scratch<int64_t> buf(5 * L + 8);
    int64_t* base = buf.data();
    base += (64 - reinterpret_cast<uintptr_t>(base) % 64) % 64 / sizeof(int64_t);
    int64_t *f = base, *g = f + L, *d = g + L, *e = d + L, *ms = e + L;
    to_radix(ms, L, m, n, 30);
    to_radix(f, L, m, n, 30);
    to_radix(g, L, a, n, 30);
    e[0] = 1;
    const uint64_t minv = inv64(m[0]);

    // Each batch's update runs beside the next batch's divsteps, which read
    // only the low words of the updated f and g: those are computed first,
    // from the low lanes.
    Trans t;
    int64_t eta = divsteps<kBatch30>(-1, low_word30(f), low_word30(g), t, NoWork());
    for (size_t b = 0; b < plan.batches; ++b) {
        // Multiples of m in [-2^59, 2^59) that clear the low 60 bits.
        uint64_t dl = low_word30(d), el = low_word30(e);
        uint64_t cd = uint64_t(t.u) * dl + uint64_t(t.v) * el, ce = uint64_t(t.q) * dl + uint64_t(t.r) * el;
        int64_t kd = int64_t((uint64_t(0) - minv * cd) << 4) >> 4;
        int64_t ke = int64_t((uint64_t(0) - minv * ce) << 4) >> 4;
        uint64_t fl = next_low30(f, g, t.u, t.v), gl = next_low30(f, g, t.q, t.r);

        BatchUpdate up(f, g, d, e, ms, V, t, kd, ke);
        if (b + 1 < plan.batches) {
            Trans next;
            eta = divsteps<kBatch30>(eta, fl, gl, next, up);
            t = next;
        } else {
            up.work(up.total);
        }
    }

    Scratch<limb> words(3 * w);
    limb *fw = words.data(), *gw = fw + w, *dw = gw + w;
    to_words(fw, w, f, L, 30);
    to_words(gw, w, g, L, 30);
    to_words(dw, w, d, L, 30);
    return finish(r, fw, gw, dw, m, n, plan.growth);
}

}  // namespace

limb modinv_odd_ct(limb* r, const limb* a, const limb* m, size_t n) {
    if (n == 0) return 0;
    if (cpu::has(cpu::kAvx512f)) return modinv_avx512(r, a, m, n);
    return modinv_portable(r, a, m, n);
}

}  // namespace velt::bigd
