// HMAC_DRBG of NIST SP 800-90A Rev. 1, section 10.1.2, over HMAC-SHA-512.
#include <cstring>

#include "rng/internal.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::rng {

void hmac_key_init(HmacSha512Key& hk, const uint8_t* key, size_t key_len) {
    uint8_t block[128];
    uint8_t digest[64];
    velt::WipeOnExit w1(block, sizeof block), w2(digest, sizeof digest);
    memset(block, 0, sizeof block);
    if (key_len > sizeof block) {
        hash::Sha512Ctx c;
        hash::sha512_init(c);
        hash::sha512_update(c, key, key_len);
        hash::sha512_final(c, digest);
        ewipe(&c, sizeof c);
        memcpy(block, digest, 64);
    } else if (key_len) {
        memcpy(block, key, key_len);
    }
    for (uint8_t& b : block) b ^= 0x36;
    hash::sha512_init(hk.inner);
    hash::sha512_update(hk.inner, block, sizeof block);
    for (uint8_t& b : block) b ^= 0x36 ^ 0x5C;
    hash::sha512_init(hk.outer);
    hash::sha512_update(hk.outer, block, sizeof block);
}

void hmac_with_key(const HmacSha512Key& hk, const Span* parts, size_t count, uint8_t out[64]) {
    hash::Sha512Ctx c = hk.inner;
    for (size_t i = 0; i < count; ++i)
        if (parts[i].n) hash::sha512_update(c, parts[i].p, parts[i].n);
    uint8_t inner[64];
    hash::sha512_final(c, inner);
    c = hk.outer;
    hash::sha512_update(c, inner, sizeof inner);
    hash::sha512_final(c, out);  // final wipes the context
    ewipe(inner, sizeof inner);
}

namespace {

// HMAC_DRBG_Update (10.1.2.2) with provided_data given as parts.
void drbg_update(Drbg& d, const Span* parts, size_t count) {
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) total += parts[i].n;
    for (uint8_t round = 0; round < 2; ++round) {
        // K = HMAC(K, V || round || provided_data); V = HMAC(K, V).
        Span msg[8];
        size_t m = 0;
        msg[m++] = {d.V, kOutLen};
        msg[m++] = {&round, 1};
        for (size_t i = 0; i < count && m < 8; ++i) msg[m++] = parts[i];
        hmac_with_key(d.hk, msg, m, d.K);
        hmac_key_init(d.hk, d.K, kOutLen);
        Span v{d.V, kOutLen};
        hmac_with_key(d.hk, &v, 1, d.V);
        if (total == 0) break;
    }
}

// Cuts the parts to at most kMaxSeedMaterial bytes in all (later parts lose first).
size_t limit_parts(const Span* parts, size_t count, Span* out) {
    size_t room = kMaxSeedMaterial, m = 0;
    for (size_t i = 0; i < count && m < 6; ++i) {
        size_t n = parts[i].n < room ? parts[i].n : room;
        if (n) out[m++] = {parts[i].p, n};
        room -= n;
    }
    return m;
}

}  // namespace

void drbg_instantiate(Drbg& d, const Span* parts, size_t count) {
    memset(d.K, 0x00, kOutLen);
    memset(d.V, 0x01, kOutLen);
    hmac_key_init(d.hk, d.K, kOutLen);
    Span cut[6];
    size_t m = limit_parts(parts, count, cut);
    drbg_update(d, cut, m);
    d.reseed_counter = 1;
}

void drbg_reseed(Drbg& d, const Span* parts, size_t count) {
    Span cut[6];
    size_t m = limit_parts(parts, count, cut);
    drbg_update(d, cut, m);
    d.reseed_counter = 1;
}

void drbg_generate(Drbg& d, uint8_t* out, size_t n, const uint8_t* additional, size_t additional_len) {
    if (additional_len > kMaxAdditional) additional_len = kMaxAdditional;
    Span add{additional, additional ? additional_len : 0};
    if (add.n) drbg_update(d, &add, 1);
    Span v{d.V, kOutLen};
    while (n) {
        hmac_with_key(d.hk, &v, 1, d.V);
        size_t take = n < kOutLen ? n : kOutLen;
        memcpy(out, d.V, take);
        out += take;
        n -= take;
    }
    drbg_update(d, &add, add.n ? 1 : 0);
    d.reseed_counter++;
}

long drbg_uninstantiate(Drbg& d) {
    ewipe(&d, sizeof d);
    if (!velt::ct::is_zero(d.K, kOutLen) || !velt::ct::is_zero(d.V, kOutLen)) return -210;
    return 0;
}

}  // namespace velt::rng
