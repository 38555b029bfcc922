// The sponge of FIPS 202 over Keccak-f[1600]: SHA3-224/256/384/512 and
// SHAKE128/256, and the cSHAKE framing that KMAC uses (SP 800-185).
#include <cstring>

#include "hash/hash.h"
#include "util/bytes.h"
#include "util/emem.h"

namespace velt::hash {
namespace {

inline void xor_byte(uint64_t* a, size_t i, uint8_t v) { a[i / 8] ^= uint64_t(v) << (8 * (i % 8)); }
inline uint8_t get_byte(const uint64_t* a, size_t i) { return uint8_t(a[i / 8] >> (8 * (i % 8))); }

void sponge_init(KeccakCtx& c, uint32_t rate, uint32_t out_len, uint8_t pad) {
    memset(c.a, 0, sizeof c.a);
    c.rate = rate;
    c.used = 0;
    c.out_len = out_len;
    c.pad = pad;
    c.squeezing = false;
}

}  // namespace

void sha3_init(KeccakCtx& c, unsigned bits) { sponge_init(c, 200 - bits / 4, bits / 8, 0x06); }

void shake_init(KeccakCtx& c, unsigned bits) { sponge_init(c, 200 - bits / 4, 0, 0x1F); }

void keccak_absorb(KeccakCtx& c, const uint8_t* data, size_t n) {
    const size_t rate = c.rate;
    if (c.used) {
        while (n && c.used < rate) {
            xor_byte(c.a, c.used++, *data++);
            n--;
        }
        if (c.used < rate) return;
        keccak_f1600(c.a);
        c.used = 0;
    }
    const size_t lanes = rate / 8;  // every rate here is a whole number of lanes
    while (n >= rate) {
        for (size_t i = 0; i < lanes; i++) c.a[i] ^= load_le64(data + 8 * i);
        keccak_f1600(c.a);
        data += rate;
        n -= rate;
    }
    for (size_t i = 0; i < n; i++) xor_byte(c.a, i, data[i]);
    c.used = uint32_t(n);
}

void keccak_squeeze(KeccakCtx& c, uint8_t* out, size_t n) {
    if (!c.squeezing) {
        xor_byte(c.a, c.used, c.pad);
        xor_byte(c.a, c.rate - 1, 0x80);
        keccak_f1600(c.a);
        c.used = 0;
        c.squeezing = true;
    }
    while (n) {
        if (c.used == c.rate) {
            keccak_f1600(c.a);
            c.used = 0;
        }
        if (c.used == 0 && n >= c.rate) {
            for (size_t i = 0; i < c.rate / 8; i++) store_le64(out + 8 * i, c.a[i]);
            out += c.rate;
            n -= c.rate;
            c.used = c.rate;
            continue;
        }
        *out++ = get_byte(c.a, c.used++);
        n--;
    }
}

void sha3_final(KeccakCtx& c, uint8_t* out) {
    keccak_squeeze(c, out, c.out_len);
    ewipe(&c, sizeof c);
}

void shake(unsigned bits, const uint8_t* msg, size_t n, uint8_t* out, size_t out_len) {
    KeccakCtx c;
    shake_init(c, bits);
    keccak_absorb(c, msg, n);
    keccak_squeeze(c, out, out_len);
    ewipe(&c, sizeof c);
}

// --- KMAC (SP 800-185 section 4) ---
namespace {

// left_encode / right_encode of SP 800-185 section 2.3.1.
size_t left_encode(uint8_t out[9], uint64_t x) {
    uint8_t tmp[8];
    size_t n = 0;
    do {
        tmp[n++] = uint8_t(x);
        x >>= 8;
    } while (x);
    out[0] = uint8_t(n);
    for (size_t i = 0; i < n; i++) out[1 + i] = tmp[n - 1 - i];
    return n + 1;
}

size_t right_encode(uint8_t out[9], uint64_t x) {
    uint8_t tmp[9];
    size_t n = left_encode(tmp, x);
    memcpy(out, tmp + 1, n - 1);
    out[n - 1] = tmp[0];
    return n;
}

void absorb_encoded_string(KeccakCtx& c, const uint8_t* s, size_t n) {
    uint8_t enc[9];
    keccak_absorb(c, enc, left_encode(enc, uint64_t(n) * 8));
    keccak_absorb(c, s, n);
}

// Absorbs zero bytes up to the next multiple of the rate (bytepad's tail).
void pad_to_rate(KeccakCtx& c) {
    if (c.used) {
        static const uint8_t zeros[200] = {};
        keccak_absorb(c, zeros, c.rate - c.used);
    }
}

}  // namespace

void kmac(unsigned bits, const uint8_t* key, size_t key_len, const uint8_t* msg, size_t n, const uint8_t* custom,
          size_t custom_len, uint8_t* out, size_t out_len) {
    KeccakCtx c;
    sponge_init(c, 200 - bits / 4, 0, 0x04);  // cSHAKE with a non-empty name
    uint8_t enc[9];
    static const uint8_t kName[] = {'K', 'M', 'A', 'C'};
    // bytepad(encode_string("KMAC") || encode_string(S), rate)
    keccak_absorb(c, enc, left_encode(enc, c.rate));
    absorb_encoded_string(c, kName, sizeof kName);
    absorb_encoded_string(c, custom, custom_len);
    pad_to_rate(c);
    // bytepad(encode_string(K), rate)
    keccak_absorb(c, enc, left_encode(enc, c.rate));
    absorb_encoded_string(c, key, key_len);
    pad_to_rate(c);
    keccak_absorb(c, msg, n);
    keccak_absorb(c, enc, right_encode(enc, uint64_t(out_len) * 8));
    keccak_squeeze(c, out, out_len);
    ewipe(&c, sizeof c);
}

}  // namespace velt::hash
