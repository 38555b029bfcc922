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
};

void init(State& st, const uint8_t key[32]);
void update(State& st, const uint8_t* data, size_t len);
// Absorbs zero bytes up to the next 16-byte boundary (the AEAD padding).
void pad16(State& st);
void finish(State& st, uint8_t tag[16]);  // wipes the state

}  // namespace velt::poly1305
