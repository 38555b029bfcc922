// The Keccak-f[1600] permutation (FIPS 202 section 3) as one inline body,
// compiled once portably (keccak_f1600.cpp) and once with BMI1 so that
// chi's ~b & c is a single andn (keccak_bmi.cpp). The round is written out
// lane by lane: theta's column parities, then rho, pi, chi and iota fused per
// output plane, alternating between two sets of 25 locals so that no lane is
// copied. Generated from the step definitions; lane (x, y) is a<x><y>.
// Internal to src/hash.
#pragma once

#include <cstdint>

#include "util/bytes.h"

namespace velt::hash {

extern const uint64_t kKeccakRc[24];

__attribute__((always_inline)) inline void keccak_permute(uint64_t s[25]) {
    uint64_t a00 = s[0];
    uint64_t a10 = s[1];
    uint64_t a20 = s[2];
    uint64_t a30 = s[3];
    uint64_t a40 = s[4];
    uint64_t a01 = s[5];
    uint64_t a11 = s[6];
    uint64_t a21 = s[7];
    uint64_t a31 = s[8];
    uint64_t a41 = s[9];
    uint64_t a02 = s[10];
    uint64_t a12 = s[11];
    uint64_t a22 = s[12];
    uint64_t a32 = s[13];
    uint64_t a42 = s[14];
    uint64_t a03 = s[15];
    uint64_t a13 = s[16];
    uint64_t a23 = s[17];
    uint64_t a33 = s[18];
    uint64_t a43 = s[19];
    uint64_t a04 = s[20];
    uint64_t a14 = s[21];
    uint64_t a24 = s[22];
    uint64_t a34 = s[23];
    uint64_t a44 = s[24];
    uint64_t e00, e10, e20, e30, e40, e01, e11, e21, e31, e41, e02, e12, e22, e32, e42, e03, e13, e23, e33, e43, e04, e14, e24, e34, e44;
    uint64_t b0, b1, b2, b3, b4, c0, c1, c2, c3, c4, d0, d1, d2, d3, d4;
    for (int r = 0; r < 24; r += 2) {
        c0 = a00 ^ a01 ^ a02 ^ a03 ^ a04;
        c1 = a10 ^ a11 ^ a12 ^ a13 ^ a14;
        c2 = a20 ^ a21 ^ a22 ^ a23 ^ a24;
        c3 = a30 ^ a31 ^ a32 ^ a33 ^ a34;
        c4 = a40 ^ a41 ^ a42 ^ a43 ^ a44;
        d0 = c4 ^ rotl64(c1, 1);
        d1 = c0 ^ rotl64(c2, 1);
        d2 = c1 ^ rotl64(c3, 1);
        d3 = c2 ^ rotl64(c4, 1);
        d4 = c3 ^ rotl64(c0, 1);
        b0 = a00 ^ d0;
        b1 = rotl64(a11 ^ d1, 44);
        b2 = rotl64(a22 ^ d2, 43);
        b3 = rotl64(a33 ^ d3, 21);
        b4 = rotl64(a44 ^ d4, 14);
        e00 = b0 ^ (~b1 & b2) ^ kKeccakRc[r];
        e10 = b1 ^ (~b2 & b3);
        e20 = b2 ^ (~b3 & b4);
        e30 = b3 ^ (~b4 & b0);
        e40 = b4 ^ (~b0 & b1);
        b0 = rotl64(a30 ^ d3, 28);
        b1 = rotl64(a41 ^ d4, 20);
        b2 = rotl64(a02 ^ d0, 3);
        b3 = rotl64(a13 ^ d1, 45);
        b4 = rotl64(a24 ^ d2, 61);
        e01 = b0 ^ (~b1 & b2);
        e11 = b1 ^ (~b2 & b3);
        e21 = b2 ^ (~b3 & b4);
        e31 = b3 ^ (~b4 & b0);
        e41 = b4 ^ (~b0 & b1);
        b0 = rotl64(a10 ^ d1, 1);
        b1 = rotl64(a21 ^ d2, 6);
        b2 = rotl64(a32 ^ d3, 25);
        b3 = rotl64(a43 ^ d4, 8);
        b4 = rotl64(a04 ^ d0, 18);
        e02 = b0 ^ (~b1 & b2);
        e12 = b1 ^ (~b2 & b3);
        e22 = b2 ^ (~b3 & b4);
        e32 = b3 ^ (~b4 & b0);
        e42 = b4 ^ (~b0 & b1);
        b0 = rotl64(a40 ^ d4, 27);
        b1 = rotl64(a01 ^ d0, 36);
        b2 = rotl64(a12 ^ d1, 10);
        b3 = rotl64(a23 ^ d2, 15);
        b4 = rotl64(a34 ^ d3, 56);
        e03 = b0 ^ (~b1 & b2);
        e13 = b1 ^ (~b2 & b3);
        e23 = b2 ^ (~b3 & b4);
        e33 = b3 ^ (~b4 & b0);
        e43 = b4 ^ (~b0 & b1);
        b0 = rotl64(a20 ^ d2, 62);
        b1 = rotl64(a31 ^ d3, 55);
        b2 = rotl64(a42 ^ d4, 39);
        b3 = rotl64(a03 ^ d0, 41);
        b4 = rotl64(a14 ^ d1, 2);
        e04 = b0 ^ (~b1 & b2);
        e14 = b1 ^ (~b2 & b3);
        e24 = b2 ^ (~b3 & b4);
        e34 = b3 ^ (~b4 & b0);
        e44 = b4 ^ (~b0 & b1);
        c0 = e00 ^ e01 ^ e02 ^ e03 ^ e04;
        c1 = e10 ^ e11 ^ e12 ^ e13 ^ e14;
        c2 = e20 ^ e21 ^ e22 ^ e23 ^ e24;
        c3 = e30 ^ e31 ^ e32 ^ e33 ^ e34;
        c4 = e40 ^ e41 ^ e42 ^ e43 ^ e44;
        d0 = c4 ^ rotl64(c1, 1);
        d1 = c0 ^ rotl64(c2, 1);
        d2 = c1 ^ rotl64(c3, 1);
        d3 = c2 ^ rotl64(c4, 1);
        d4 = c3 ^ rotl64(c0, 1);
        b0 = e00 ^ d0;
        b1 = rotl64(e11 ^ d1, 44);
        b2 = rotl64(e22 ^ d2, 43);
        b3 = rotl64(e33 ^ d3, 21);
        b4 = rotl64(e44 ^ d4, 14);
        a00 = b0 ^ (~b1 & b2) ^ kKeccakRc[r + 1];
        a10 = b1 ^ (~b2 & b3);
        a20 = b2 ^ (~b3 & b4);
        a30 = b3 ^ (~b4 & b0);
        a40 = b4 ^ (~b0 & b1);
        b0 = rotl64(e30 ^ d3, 28);
        b1 = rotl64(e41 ^ d4, 20);
        b2 = rotl64(e02 ^ d0, 3);
        b3 = rotl64(e13 ^ d1, 45);
        b4 = rotl64(e24 ^ d2, 61);
        a01 = b0 ^ (~b1 & b2);
        a11 = b1 ^ (~b2 & b3);
        a21 = b2 ^ (~b3 & b4);
        a31 = b3 ^ (~b4 & b0);
        a41 = b4 ^ (~b0 & b1);
        b0 = rotl64(e10 ^ d1, 1);
        b1 = rotl64(e21 ^ d2, 6);
        b2 = rotl64(e32 ^ d3, 25);
        b3 = rotl64(e43 ^ d4, 8);
        b4 = rotl64(e04 ^ d0, 18);
        a02 = b0 ^ (~b1 & b2);
        a12 = b1 ^ (~b2 & b3);
        a22 = b2 ^ (~b3 & b4);
        a32 = b3 ^ (~b4 & b0);
        a42 = b4 ^ (~b0 & b1);
        b0 = rotl64(e40 ^ d4, 27);
        b1 = rotl64(e01 ^ d0, 36);
        b2 = rotl64(e12 ^ d1, 10);
        b3 = rotl64(e23 ^ d2, 15);
        b4 = rotl64(e34 ^ d3, 56);
        a03 = b0 ^ (~b1 & b2);
        a13 = b1 ^ (~b2 & b3);
        a23 = b2 ^ (~b3 & b4);
        a33 = b3 ^ (~b4 & b0);
        a43 = b4 ^ (~b0 & b1);
        b0 = rotl64(e20 ^ d2, 62);
        b1 = rotl64(e31 ^ d3, 55);
        b2 = rotl64(e42 ^ d4, 39);
        b3 = rotl64(e03 ^ d0, 41);
        b4 = rotl64(e14 ^ d1, 2);
        a04 = b0 ^ (~b1 & b2);
        a14 = b1 ^ (~b2 & b3);
        a24 = b2 ^ (~b3 & b4);
        a34 = b3 ^ (~b4 & b0);
        a44 = b4 ^ (~b0 & b1);
    }
    s[0] = a00;
    s[1] = a10;
    s[2] = a20;
    s[3] = a30;
    s[4] = a40;
    s[5] = a01;
    s[6] = a11;
    s[7] = a21;
    s[8] = a31;
    s[9] = a41;
    s[10] = a02;
    s[11] = a12;
    s[12] = a22;
    s[13] = a32;
    s[14] = a42;
    s[15] = a03;
    s[16] = a13;
    s[17] = a23;
    s[18] = a33;
    s[19] = a43;
    s[20] = a04;
    s[21] = a14;
    s[22] = a24;
    s[23] = a34;
    s[24] = a44;
}

}  // namespace velt::hash
