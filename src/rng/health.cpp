// DRBG health checks (SP 800-90A 11.3): known answers for instantiate,
// reseed, generate and uninstantiate on a separate test instance, and at
// level 2 a forced accumulator reseed through the full generate path.
#include <cstring>

#include "frame/error.h"
#include "rng/internal.h"
#include "rng/rng.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::rng {
namespace {

// Fixed inputs: 32-byte entropy, 16-byte nonce, 32-byte personalisation; a
// reseed with 32-byte entropy and additional input; two 256-byte generates
// with 32-byte additional inputs. Byte i of each input is its start value + i.
constexpr uint8_t kEntropyStart = 0x00, kNonceStart = 0x20, kPersStart = 0x40, kReseedStart = 0x80,
                  kReseedAddStart = 0xA0, kAdd1Start = 0xC0, kAdd2Start = 0xE0;

// Expected values, from an independent HMAC_DRBG (HMAC-SHA-512) run on the
// inputs above.
constexpr const char* kInstK =
    "6cdd9380b3060ced9e65c4291a93ba928e7b55d0a345fc5f9138a43f2c202514739f0f2a812cb4d84530e0d33a4b617c70f0ecb3a77a4f9f"
    "13024be753314283";
constexpr const char* kInstV =
    "3b1bd1c5bcc5ec8a6c998af14a182612f228ec666eaad5baa611a35361969d8bc6587b07de5cb9c8937d8da0392b459ebef49dca1ed3ed73"
    "618d652ab026b4f2";
constexpr const char* kReseedK =
    "e5151f634c0bc1e6b428c36327710aa3bba6f828ee8ccb3917fa2fe1366632c9d72e8e2d6ffcc69cc6a8d53aca0bfd1db3b0aa72935b3b66"
    "f362b0b747687d20";
constexpr const char* kReseedV =
    "f78ffc689f92ff1dd4ccb9aa739d251b5cd01d06fd790aee78510776e1c7f8d766ccdcb4e83d6b2d6fe9e3bbff81640ec0e922cd6241532f"
    "b1b9e7cf902f06c2";
constexpr const char* kGen1K =
    "663667f3c2bc86b0a5b16c774507912c91d10701d326b205e6891de65ee14cb87275eaafe593484170c778d8487065e4fccaa071da86f670"
    "67daf0b5b701c265";
constexpr const char* kGen1V =
    "98e8a70b39931b538054f4d8e6d0527b64a155c2ace9725d9c347e5c62c51ebd5bbd3084f4cfbcbba7ed87259605e7a805870d7fe495a536"
    "340826a3bb8bf1a4";
constexpr const char* kGen2Out =
    "c53075c41c71310aaa34a5970da8e5c8dad19d29446fb9172d449e4f625088a2daa37d835cce83d06fd48faf9a26ae1f7b732fbae75d4f0b"
    "6dd6b98ac8f75760323b8f013c266c7c2525c7b679e9a44be147d08b7384ef208b67199bd9e30b8fb0bdd3c5b40ea1cca5fd54ae50bd5595"
    "415c4a8bf8eb0cf9c4de2dbcdf1221b2596fc8d30ad14cab4f2aa0ac0b4b9d38e715c593620d3024d43f6cc8cd510443e9ec5e6b0da85c68"
    "438da78dbbe7181dceffbeb3bb1c95401041067d25248f40438b2a12eebe491af276a36289d7fffd6edd861fd1d2cb4333cf7010fee11294"
    "9a8b4581a510b367cb49d8e46462637220fe72869996be547287e5db8a373740";
constexpr const char* kGen2K =
    "da8e7b6a3bcea6e53df12a8297fdc49d80176590b3ec9f48dd8f40f27a3180a9b882b4232416bbcf541e572c6bf63dfa84f17b7f2f3c994f"
    "de0a0f65be023ee0";
constexpr const char* kGen2V =
    "6e5a94e90d6d5b35f477d618575d9a21b91e04b5c1f17a4596b5ea45c38754acbb7ac7dd20f97b73d6f9e9375d1d1f75a4864cabb8e39840"
    "a70779035bca2353";

int nibble(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }

// True when the bytes equal the expected lower-case hex string.
bool matches(const uint8_t* p, size_t n, const char* hex) {
    if (strlen(hex) != 2 * n) return false;
    uint8_t diff = 0;
    for (size_t i = 0; i < n; ++i) diff |= uint8_t(p[i] ^ ((nibble(hex[2 * i]) << 4) | nibble(hex[2 * i + 1])));
    return diff == 0;
}

void pattern(uint8_t* out, size_t n, uint8_t start) {
    for (size_t i = 0; i < n; ++i) out[i] = uint8_t(start + i);
}

bool state_is(const Drbg& d, const char* k, const char* v, uint32_t counter) {
    bool ok = matches(d.K, kOutLen, k);
    ok = matches(d.V, kOutLen, v) && ok;
    return ok && d.reseed_counter == counter;
}

bool zeroed(const Drbg& d) {
    return velt::ct::is_zero(d.K, kOutLen) && velt::ct::is_zero(d.V, kOutLen) && d.reseed_counter == 0;
}

void instantiate_fixed(Drbg& d) {
    uint8_t e[32], n[16], p[32];
    pattern(e, 32, kEntropyStart);
    pattern(n, 16, kNonceStart);
    pattern(p, 32, kPersStart);
    Span parts[3] = {{e, 32}, {n, 16}, {p, 32}};
    drbg_instantiate(d, parts, 3);
}

}  // namespace
}  // namespace velt::rng

using namespace velt::rng;

long prngHealthCheck(int level) {
    // HMAC-SHA-512 known answers first.
    bool ok = selftest_hmac_sha512() == 0;
    Drbg test_instance{};
    velt::WipeOnExit wipe(&test_instance, sizeof test_instance);
    Drbg* d = &test_instance;
    instantiate_fixed(*d);
    ok = state_is(*d, kInstK, kInstV, 1) && ok;
    if (level >= 1) {
        uint8_t e[32], a[32];
        pattern(e, 32, kReseedStart);
        pattern(a, 32, kReseedAddStart);
        Span parts[2] = {{e, 32}, {a, 32}};
        drbg_reseed(*d, parts, 2);
        ok = state_is(*d, kReseedK, kReseedV, 1) && ok;
        uint8_t out[256];
        pattern(a, 32, kAdd1Start);
        drbg_generate(*d, out, sizeof out, a, 32);
        ok = state_is(*d, kGen1K, kGen1V, 2) && ok;
        pattern(a, 32, kAdd2Start);
        drbg_generate(*d, out, sizeof out, a, 32);
        ok = matches(out, sizeof out, kGen2Out) && ok;
        ok = state_is(*d, kGen2K, kGen2V, 3) && ok;
        ok = drbg_uninstantiate(*d) == 0 && ok;
        ok = zeroed(*d) && ok;
    }
    if (level >= 2) {
        instantiate_fixed(*d);
        d->reseed_counter = kForcedReseed;
        uint8_t out[256];
        process_lock();
        long r = prngGenerateRandomData(*d, out, sizeof out, nullptr, 0);
        process_unlock();
        ok = r == 0 && ok;
        ok = d->reseed_counter >= 1 && d->reseed_counter <= 9 && ok;
        ok = drbg_uninstantiate(*d) == 0 && ok;
        ok = zeroed(*d) && ok;
        ewipe(out, sizeof out);
    }
    return ok ? 0 : -PRNG_ERR_CATASTROPHIC;
}
