// 64-bit limb kernels behind the digit layer: carry-chain primitives,
// schoolbook and Karatsuba multiplication, Knuth division, Montgomery
// arithmetic and the two exponentiation ladders. Internal to src/bigd.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bigd/bigdigits.h"
#include "util/emem.h"

namespace velt::bigd {

using limb = uint64_t;
using u128 = unsigned __int128;
using LimbVec = std::vector<limb, velt::WipingAllocator<limb>>;
using DigitVec = std::vector<BdDigit, velt::WipingAllocator<BdDigit>>;

// A zeroed temporary of n elements: on the stack up to a few hundred
// bytes' worth, else on the heap; wiped on release either way. Keeps the
// small operands of the prime-curve field arithmetic off the allocator.
template <class T, size_t Inline = 1024 / sizeof(T)>
class Scratch {
  public:
    explicit Scratch(size_t n) : n_(n), p_(n <= Inline ? inline_ : static_cast<T*>(emalloc(n * sizeof(T)))) {
        std::memset(p_, 0, n_ * sizeof(T));
    }
    ~Scratch() {
        ewipe(p_, n_ * sizeof(T));
        if (p_ != inline_) efree_mem(p_);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    T* data() { return p_; }
    T& operator[](size_t i) { return p_[i]; }
    size_t size() const { return n_; }

  private:
    size_t n_;
    T* p_;
    T inline_[Inline];
};

// r = a + b over n limbs (r may alias either); returns the carry.
limb add_n(limb* r, const limb* a, const limb* b, size_t n);
// r = a - b over n limbs (r may alias either); returns the borrow.
limb sub_n(limb* r, const limb* a, const limb* b, size_t n);
// r = a * b over n limbs; returns the carry limb.
limb mul_1(limb* r, const limb* a, size_t n, limb b);
// r += a * b over n limbs; returns the carry limb.
limb addmul_1(limb* r, const limb* a, size_t n, limb b);
// r -= a * b over n limbs; returns the borrow limb.
limb submul_1(limb* r, const limb* a, size_t n, limb b);
// r (na + nb limbs, distinct from a and b) = a * b.
void mul(limb* r, const limb* a, size_t na, const limb* b, size_t nb);
// r (2n limbs, distinct from a) = a^2.
void sqr(limb* r, const limb* a, size_t n);
// Knuth's Algorithm D (TAOCP 4.3.1): q (nu - nv + 1 limbs) = u div v and
// r (nv limbs) = u mod v, for nu >= nv >= 1 and v[nv - 1] != 0. The inputs
// are read only (the normalised divisor is a temporary copy).
void divrem(limb* q, limb* r, const limb* u, size_t nu, const limb* v, size_t nv);
// The same with caller scratch of nu + nv + 1 limbs (null allowed when nv is 1).
void divrem(limb* q, limb* r, const limb* u, size_t nu, const limb* v, size_t nv, limb* scratch);
// Significant limbs of a.
size_t normlen(const limb* a, size_t n);
int cmp(const limb* a, const limb* b, size_t n);

// Digit arrays to and from limbs: a little-endian digit array is the same
// memory as little-endian limbs, so these are copies with zero padding.
void digits_to_limbs(limb* out, size_t nl, const BdDigit* a, size_t nd);
void limbs_to_digits(BdDigit* out, size_t nd, const limb* a, size_t nl);

// x = 2x mod m for x < m (n limbs), branch-free in x's and m's values;
// scratch holds n limbs.
void mod_double_ct(limb* x, const limb* m, size_t n, limb* scratch);

// Montgomery arithmetic modulo an odd m of n limbs with R = 2^(64n). The
// products are branch-free in the operands' values (the final subtraction is
// a masked select), so the constant-time exponentiation can use them.
class Mont {
  public:
    // m odd, n = its significant limb count. With secret_modulus the set-up
    // (R^2 mod m) runs without branches on m's value; otherwise by one
    // division, which is quicker for large public moduli.
    Mont(const limb* m, size_t n, bool secret_modulus = false);
    size_t size() const { return n_; }
    const limb* modulus() const { return m_.data(); }
    // r = a * b / R mod m, for a, b < m; r may alias a or b.
    void mul(limb* r, const limb* a, const limb* b);
    void sqr(limb* r, const limb* a);
    // r = a * R mod m for a < m; and back.
    void to(limb* r, const limb* a);
    void from(limb* r, const limb* a);
    // r = R mod m (one in Montgomery form).
    void one(limb* r);
    // r = t / R mod m for t of nt <= 2n limbs with t < m*R (branch-free),
    // e.g. a wider number's residue divided by R.
    void reduce(limb* r, const limb* t, size_t nt);
    // R^2 mod m: multiplying by it converts to Montgomery form.
    const limb* rr() const { return rr_.data(); }

  private:
    void redc(limb* r, limb* t);
    size_t n_;
    LimbVec m_;
    limb k0_;  // -m^-1 mod 2^64
    LimbVec rr_;
    LimbVec t_;
};

// Window width of the fixed-window ladders for an exponent of `bits` bits.
inline unsigned fixed_window(size_t bits) {
    return bits >= 3072 ? 6 : bits >= 512 ? 5 : bits >= 128 ? 4 : 3;
}

// Bits [pos, pos + w) of e (bits beyond 64 * ne read 0), w < 64; index
// arithmetic only, so the ladders read secret exponents without branches.
inline limb window_bits(const limb* e, size_t ne, size_t pos, unsigned w) {
    size_t li = pos / 64, sh = pos % 64;
    limb v = e[li] >> sh;
    if (sh + w > 64 && li + 1 < ne) v |= e[li + 1] << (64 - sh);
    return v & ((limb(1) << w) - 1);
}

// y = x^e mod m on limbs, for m of nm significant limbs (m[nm-1] != 0), x
// already reduced (nm limbs), e of ne limbs. Sliding window, variable time in
// e. y has nm limbs.
void modexp_vartime(limb* y, const limb* x, const limb* e, size_t ne, const limb* m, size_t nm);
// y_mont = x^e * R mod ctx's modulus (the result left in Montgomery form),
// x reduced; variable time in e. For loops that continue in that form.
void mont_exp(Mont& ctx, limb* y_mont, const limb* x, const limb* e, size_t ne);
// Same result in time independent of e's value: fixed windows over all 64*ne
// bits of e and masked table scans.
void modexp_consttime(limb* y, const limb* x, const limb* e, size_t ne, const limb* m, size_t nm);
// The same with a caller's Montgomery context (reused across operations).
void mont_exp_consttime(Mont& ctx, limb* y, const limb* x, const limb* e, size_t ne);

}  // namespace velt::bigd
