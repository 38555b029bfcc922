#include "cipher/poly1305.h"

#include <cstring>

#include "util/bytes.h"
#include "util/cpu.h"
#include "util/emem.h"

namespace velt::poly1305 {
namespace {

using u128 = unsigned __int128;

// h = (h + m + hibit * 2^128) * r mod 2^130 - 5, partially reduced, for each
// whole 16-byte block. r1 is a multiple of 4 after clamping, so the terms at
// 2^128 and above fold back through 2^130 = 5 as multiples of s1 = 5*r1/4.
void blocks(State& st, const uint8_t* m, size_t nblocks, uint64_t hibit) {
    uint64_t r0 = st.r0, r1 = st.r1, s1 = st.s1;
    uint64_t h0 = st.h0, h1 = st.h1, h2 = st.h2;
    while (nblocks--) {
        u128 t = u128(h0) + load_le64(m);
        h0 = uint64_t(t);
        t = u128(h1) + load_le64(m + 8) + uint64_t(t >> 64);
        h1 = uint64_t(t);
        h2 += uint64_t(t >> 64) + hibit;

        u128 d0 = u128(h0) * r0 + u128(h1) * s1;
        u128 d1 = u128(h0) * r1 + u128(h1) * r0 + u128(h2) * s1;
        uint64_t d2 = h2 * r0;
        d1 += uint64_t(d0 >> 64);
        d2 += uint64_t(d1 >> 64);
        h0 = uint64_t(d0);
        h1 = uint64_t(d1);
        // Fold bits 130 and above: c * 2^130 = 5c.
        uint64_t c = (d2 >> 2) + (d2 & ~uint64_t(3));
        h2 = d2 & 3;
        t = u128(h0) + c;
        h0 = uint64_t(t);
        t = u128(h1) + uint64_t(t >> 64);
        h1 = uint64_t(t);
        h2 += uint64_t(t >> 64);
        m += 16;
    }
    st.h0 = h0;
    st.h1 = h1;
    st.h2 = h2;
}

}  // namespace

void init(State& st, const uint8_t key[32]) {
    st.r0 = load_le64(key) & 0x0ffffffc0fffffffULL;
    st.r1 = load_le64(key + 8) & 0x0ffffffc0ffffffcULL;
    st.s1 = st.r1 + (st.r1 >> 2);
    st.h0 = st.h1 = st.h2 = 0;
    st.pad0 = load_le64(key + 16);
    st.pad1 = load_le64(key + 24);
    st.used = 0;
    st.powers_ready = false;
}

void update(State& st, const uint8_t* data, size_t len) {
    if (st.used) {
        size_t take = 16 - st.used;
        if (take > len) take = len;
        memcpy(st.buf + st.used, data, take);
        st.used += take;
        data += take;
        len -= take;
        if (st.used < 16) return;
        blocks(st, st.buf, 1, 1);
        st.used = 0;
    }
    size_t n = len / 16;
    if (n >= 16 && cpu::has(cpu::kAvx2)) {
        size_t v = n & ~size_t(7);
        blocks_avx2(st, data, v);
        data += 16 * v;
        len -= 16 * v;
        n -= v;
    }
    if (n) blocks(st, data, n, 1);
    data += 16 * n;
    len -= 16 * n;
    if (len) {
        memcpy(st.buf, data, len);
        st.used = len;
    }
}

void pad16(State& st) {
    if (st.used) {
        memset(st.buf + st.used, 0, 16 - st.used);
        blocks(st, st.buf, 1, 1);
        st.used = 0;
    }
}

void finish(State& st, uint8_t tag[16]) {
    if (st.used) {
        // Final short block: the message bytes, then a 1 byte, then zeros.
        st.buf[st.used] = 1;
        memset(st.buf + st.used + 1, 0, 15 - st.used);
        blocks(st, st.buf, 1, 0);
    }
    uint64_t h0 = st.h0, h1 = st.h1, h2 = st.h2;
    // Full reduction: h < 2^131, so fold once more, then subtract p if h >= p
    // by computing h + 5 and checking bit 130, all with masks.
    uint64_t c = (h2 >> 2) * 5;
    h2 &= 3;
    u128 t = u128(h0) + c;
    h0 = uint64_t(t);
    t = u128(h1) + uint64_t(t >> 64);
    h1 = uint64_t(t);
    h2 += uint64_t(t >> 64);
    t = u128(h0) + 5;
    uint64_t g0 = uint64_t(t);
    t = u128(h1) + uint64_t(t >> 64);
    uint64_t g1 = uint64_t(t);
    uint64_t g2 = h2 + uint64_t(t >> 64);
    uint64_t mask = uint64_t(0) - (g2 >> 2);  // all-ones when h + 5 >= 2^130
    h0 = (h0 & ~mask) | (g0 & mask);
    h1 = (h1 & ~mask) | (g1 & mask);
    t = u128(h0) + st.pad0;
    h0 = uint64_t(t);
    h1 = h1 + st.pad1 + uint64_t(t >> 64);
    store_le64(tag, h0);
    store_le64(tag + 8, h1);
    ewipe(&st, sizeof st);
}

}  // namespace velt::poly1305
