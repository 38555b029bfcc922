// Constant-time vocabulary. Every helper here is branch-free on its secret
// arguments; masks are all-ones (true) or all-zero (false). value_barrier
// hides a value from the optimiser so that it cannot turn a mask back into a
// branch. Code that handles secrets uses these rather than its own tricks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::ct {

// Opaque copy of x: the compiler cannot reason about the result's value.
template <class T>
inline T value_barrier(T x) {
    __asm__("" : "+r"(x));
    return x;
}

// All-ones if x != 0: the top bit of (x | -x) is set exactly when x is non-zero.
inline uint64_t mask_nonzero(uint64_t x) {
    return value_barrier(uint64_t(0) - ((x | (uint64_t(0) - x)) >> 63));
}
inline uint64_t mask_zero(uint64_t x) { return ~mask_nonzero(x); }
inline uint64_t mask_eq(uint64_t a, uint64_t b) { return mask_zero(a ^ b); }
// All-ones if a < b (unsigned): the borrow of a - b, computed without compare.
inline uint64_t mask_lt(uint64_t a, uint64_t b) {
    uint64_t borrow = ((~a & b) | ((~(a ^ b)) & (a - b))) >> 63;
    return value_barrier(uint64_t(0) - borrow);
}
inline uint64_t mask_le(uint64_t a, uint64_t b) { return ~mask_lt(b, a); }
// All-ones if bit is 1, all-zero if 0.
inline uint64_t mask_from_bit(uint64_t bit) { return value_barrier(uint64_t(0) - (bit & 1)); }

// mask ? a : b, with no branch.
inline uint64_t select(uint64_t mask, uint64_t a, uint64_t b) { return b ^ (mask & (a ^ b)); }
inline uint32_t select32(uint32_t mask, uint32_t a, uint32_t b) { return b ^ (mask & (a ^ b)); }
inline uint8_t select8(uint8_t mask, uint8_t a, uint8_t b) { return uint8_t(b ^ (mask & (a ^ b))); }

// 1 if the n bytes are equal, 0 otherwise; the time depends on n only.
inline int equal(const void* a, const void* b, size_t n) {
    const volatile uint8_t* x = static_cast<const volatile uint8_t*>(a);
    const volatile uint8_t* y = static_cast<const volatile uint8_t*>(b);
    uint8_t d = 0;
    for (size_t i = 0; i < n; ++i) d |= uint8_t(x[i] ^ y[i]);
    return int(1 & ((uint32_t(d) - 1) >> 8));
}

// 1 if all n bytes are zero; time depends on n only.
inline int is_zero(const void* a, size_t n) {
    const volatile uint8_t* x = static_cast<const volatile uint8_t*>(a);
    uint8_t d = 0;
    for (size_t i = 0; i < n; ++i) d |= x[i];
    return int(1 & ((uint32_t(d) - 1) >> 8));
}

// Copies src over dst when mask is all-ones, leaves dst when zero; every byte
// is read and written either way.
inline void cond_copy(uint64_t mask, void* dst, const void* src, size_t n) {
    uint8_t m = uint8_t(mask);
    uint8_t* d = static_cast<uint8_t*>(dst);
    const uint8_t* s = static_cast<const uint8_t*>(src);
    for (size_t i = 0; i < n; ++i) d[i] = select8(m, s[i], d[i]);
}

// Copies entry `index` of a table of `count` entries, each `width` bytes, by
// reading every entry: the memory access pattern is independent of index.
inline void table_lookup(void* out, const void* table, size_t count, size_t width, size_t index) {
    uint8_t* o = static_cast<uint8_t*>(out);
    const uint8_t* t = static_cast<const uint8_t*>(table);
    for (size_t j = 0; j < width; ++j) o[j] = 0;
    for (size_t i = 0; i < count; ++i) {
        uint8_t m = uint8_t(mask_eq(i, index));
        for (size_t j = 0; j < width; ++j) o[j] |= uint8_t(m & t[i * width + j]);
    }
}

}  // namespace velt::ct
