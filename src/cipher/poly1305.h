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
    // r, r^2, ..., r^8 in five 26-bit limbs for the vector path (filled on
    // first use when powers_ready is false).
    uint32_t pw[8][5];
    bool powers_ready;
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

}  // namespace velt::poly1305
