// scrypt (RFC 7914): PBKDF2-HMAC-SHA-256 with one iteration spreads the
// password over p blocks of 128*r octets, each block is mixed by ROMix
// (BlockMix of Salsa20/8 over a table of N entries), and a second PBKDF2 over
// the mixed blocks gives the derived key.
#include <cstdlib>
#include <cstring>

#include "encode/encode.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "pbe/pbe.h"
#include "util/bytes.h"
#include "util/emem.h"

namespace {

inline uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// B = B xor X, then Salsa20/8 core over B (RFC 7914 section 3), in words.
inline void salsa_xor(uint32_t B[16], const uint32_t X[16]) {
    uint32_t x[16];
    for (int i = 0; i < 16; i++) x[i] = B[i] ^= X[i];
    for (int i = 0; i < 8; i += 2) {
        x[4] ^= rotl(x[0] + x[12], 7);
        x[8] ^= rotl(x[4] + x[0], 9);
        x[12] ^= rotl(x[8] + x[4], 13);
        x[0] ^= rotl(x[12] + x[8], 18);
        x[9] ^= rotl(x[5] + x[1], 7);
        x[13] ^= rotl(x[9] + x[5], 9);
        x[1] ^= rotl(x[13] + x[9], 13);
        x[5] ^= rotl(x[1] + x[13], 18);
        x[14] ^= rotl(x[10] + x[6], 7);
        x[2] ^= rotl(x[14] + x[10], 9);
        x[6] ^= rotl(x[2] + x[14], 13);
        x[10] ^= rotl(x[6] + x[2], 18);
        x[3] ^= rotl(x[15] + x[11], 7);
        x[7] ^= rotl(x[3] + x[15], 9);
        x[11] ^= rotl(x[7] + x[3], 13);
        x[15] ^= rotl(x[11] + x[7], 18);
        x[1] ^= rotl(x[0] + x[3], 7);
        x[2] ^= rotl(x[1] + x[0], 9);
        x[3] ^= rotl(x[2] + x[1], 13);
        x[0] ^= rotl(x[3] + x[2], 18);
        x[6] ^= rotl(x[5] + x[4], 7);
        x[7] ^= rotl(x[6] + x[5], 9);
        x[4] ^= rotl(x[7] + x[6], 13);
        x[5] ^= rotl(x[4] + x[7], 18);
        x[11] ^= rotl(x[10] + x[9], 7);
        x[8] ^= rotl(x[11] + x[10], 9);
        x[9] ^= rotl(x[8] + x[11], 13);
        x[10] ^= rotl(x[9] + x[8], 18);
        x[12] ^= rotl(x[15] + x[14], 7);
        x[13] ^= rotl(x[12] + x[15], 9);
        x[14] ^= rotl(x[13] + x[12], 13);
        x[15] ^= rotl(x[14] + x[13], 18);
    }
    for (int i = 0; i < 16; i++) B[i] += x[i];
}

// BlockMix (RFC 7914 section 4) of the 2r 64-octet blocks of in into out:
// Y_i = Salsa(X xor B_i) with X starting at B_{2r-1}; out holds the even Y
// then the odd Y.
void block_mix(const uint32_t* in, uint32_t* out, size_t r) {
    uint32_t X[16];
    memcpy(X, in + (2 * r - 1) * 16, 64);
    for (size_t i = 0; i < 2 * r; i += 2) {
        salsa_xor(X, in + i * 16);
        memcpy(out + (i / 2) * 16, X, 64);
        salsa_xor(X, in + (i + 1) * 16);
        memcpy(out + (r + i / 2) * 16, X, 64);
    }
    ewipe(X, sizeof X);
}

// ROMix (RFC 7914 section 5) of one 128r-octet block in place; V has room
// for N blocks, XY for two.
void ro_mix(uint8_t* B, size_t r, uint64_t N, uint32_t* V, uint32_t* XY) {
    const size_t words = 32 * r;
    uint32_t* X = XY;
    uint32_t* Y = XY + words;
    for (size_t k = 0; k < words; k++) X[k] = velt::load_le32(B + 4 * k);
    for (uint64_t i = 0; i < N; i += 2) {
        memcpy(V + i * words, X, words * 4);
        block_mix(X, Y, r);
        memcpy(V + (i + 1) * words, Y, words * 4);
        block_mix(Y, X, r);
    }
    for (uint64_t i = 0; i < N; i += 2) {
        // Integerify: the first word of the last 64-octet block, mod N.
        uint64_t j = X[(2 * r - 1) * 16] & (N - 1);
        const uint32_t* Vj = V + j * words;
        for (size_t k = 0; k < words; k++) X[k] ^= Vj[k];
        block_mix(X, Y, r);
        j = Y[(2 * r - 1) * 16] & (N - 1);
        Vj = V + j * words;
        for (size_t k = 0; k < words; k++) Y[k] ^= Vj[k];
        block_mix(Y, X, r);
    }
    for (size_t k = 0; k < words; k++) velt::store_le32(B + 4 * k, X[k]);
}

}  // namespace

long scrypt(uint8_t* dk, long dkLen, const uint8_t* password, long pwLen, const uint8_t* salt, long saltLen,
            uint64_t N, uint64_t r, uint64_t p) {
    if (!dk || (!password && pwLen) || (!salt && saltLen)) return NULL_ERROR;
    if (dkLen < 1 || pwLen < 0 || saltLen < 0 || N == 0 || r == 0 || p == 0) return BAD_PARAM_ERROR;
    constexpr uint64_t kMax57 = (uint64_t(1) << 57) - 1;
    if (r > kMax57 || p >= (uint64_t(1) << 30) / r || N < 2 || (N & (N - 1)) || N > kMax57 / r)
        return OUT_OF_RANGE_ERROR;
    // 128*r*N < 2^64 by the checks above; refuse what cannot be addressed.
    const uint64_t vbytes = 128 * r * N, bbytes = 128 * r * p;
    if (vbytes > kAllocLimit || bbytes > kAllocLimit) return MEMORY_ERROR;
    uint8_t* B = static_cast<uint8_t*>(malloc(size_t(bbytes)));
    uint32_t* V = static_cast<uint32_t*>(malloc(size_t(vbytes)));
    uint32_t* XY = static_cast<uint32_t*>(malloc(size_t(256 * r)));
    if (!B || !V || !XY) {
        free(B);
        free(V);
        free(XY);
        return MEMORY_ERROR;
    }
    pbeKDF2(B, long(bbytes), password, pwLen, salt, saltLen, 1, velt::hash::kSha256);
    for (uint64_t i = 0; i < p; i++) ro_mix(B + i * 128 * r, size_t(r), N, V, XY);
    pbeKDF2(dk, dkLen, password, pwLen, B, long(bbytes), 1, velt::hash::kSha256);
    ewipe(B, size_t(bbytes));
    ewipe(V, size_t(vbytes));
    ewipe(XY, size_t(256 * r));
    free(B);
    free(V);
    free(XY);
    return 0;
}

bool pbe_ScryptParamsAcceptable(uint64_t N, uint64_t r, uint64_t p) {
    if (N < 2 || (N & (N - 1)) || r == 0 || p == 0) return false;
    // Each factor is first bounded alone so that the products cannot wrap
    // (then N r <= 2^23 and N r p < 2^46).
    const uint64_t table_blocks = kPbeMaxScryptMemory / 128;
    if (N > table_blocks || r > table_blocks || p > kPbeMaxScryptWork || N * r > table_blocks) return false;
    return N * r * p <= kPbeMaxScryptWork;
}

long pbeScrypt(uint8_t* dk, long dkLen, const uint8_t* password, long pwLen, const uint8_t* salt, long saltLen,
               long N, long r, long p, long) {
    if (N < 0 || r < 0 || p < 0) return -BAD_PARAM_ERROR;
    return -scrypt(dk, dkLen, password, pwLen, salt, saltLen, uint64_t(N), uint64_t(r), uint64_t(p));
}

long pbeScryptHex(char* outHex, long outHexLen, long dkLen, const char* password, const char* saltHex, long N,
                  long r, long p, long options) {
    if (!outHex || !password || !saltHex) return -NULL_ERROR;
    if (outHexLen < 1 || dkLen < 1 || N < 1 || r < 1 || p < 1) return -BAD_PARAM_ERROR;
    if (outHexLen / 2 < dkLen) return -SHORT_BUF_ERROR;
    size_t hex_len = strlen(saltHex);
    std::vector<uint8_t> salt(hex_len / 2 + 1);
    if (hex_len % 2 || hexstr2bytes_strict(salt.data(), saltHex, long(salt.size())) != long(hex_len / 2))
        return -BAD_FORMAT_ERROR;
    velt::SecureBytes dk(static_cast<size_t>(dkLen));
    long rc = pbeScrypt(dk.data(), dkLen, reinterpret_cast<const uint8_t*>(password), long(strlen(password)),
                        salt.data(), long(hex_len / 2), N, r, p, options);
    if (rc) return rc;
    bytes2hexstrlower(outHex, dk.data(), dkLen);
    return 0;
}
