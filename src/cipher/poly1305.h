// Poly1305 one-time authenticator (RFC 8439 section 2.5). Room of the AEAD
// code. The accumulator works in radix 2^64 with 128-bit products.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::poly1305 {

struct State {
    uint64_t r0, r1, s1;  // clamped r, and s1 = r1 + r1/4 (= 5*r1/4)
    uint64_t h0, h1, h2;  // accumulator, below 2^131
    uint64_t pad0, pad1;  // s, added at the end
    uint8_t buf[16];      // partial block
    size_t used;
    // r, r^2, ..., r^16 in five 26-bit limbs for the vector paths; the first
    // npw are filled (on first use).
    uint32_t pw[16][5];
    int npw;
};

void init(State& st, const uint8_t key[32]);
void update(State& st, const uint8_t* data, size_t len);
// Absorbs zero bytes up to the next 16-byte boundary (the AEAD padding).
void pad16(State& st);
void finish(State& st, uint8_t tag[16]);  // wipes the state

// The AVX2 form: nblocks (a multiple of 8) whole blocks with the 2^128 bit,
// eight interleaved accumulators (two registers of four) multiplied by r^8
// per step.
void blocks_avx2(State& st, const uint8_t* m, size_t nblocks);
// The AVX-512 form: nblocks a multiple of 16, sixteen accumulators (two
// registers of eight) multiplied by r^16 per step.
void blocks_avx512(State& st, const uint8_t* m, size_t nblocks);
// h0 + h1 2^64 + h2 2^128 as five 26-bit limbs (the top one unbounded).
void split26(uint64_t h0, uint64_t h1, uint64_t h2, uint64_t l[5]);
// Sets the accumulator from five limbs of up to about 2^60 each (carried
// and folded here).
void join26(State& st, uint64_t t[5]);
// Fills st.pw up to r^n (n <= 16).
void compute_powers(State& st, int n);

}  // namespace velt::poly1305
