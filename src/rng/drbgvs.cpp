// RNG_TestDRBGVS: one HMAC_DRBG test vector (in the form of the NIST DRBG
// validation system) on a fresh instance, never touching the process
// generator.
#include <cstring>

#include "encode/encode.h"
#include "frame/error.h"
#include "rng/internal.h"
#include "rng/rng.h"
#include "util/emem.h"

using namespace velt::rng;

namespace {

velt::SecureBytes decode(const char* hex) {
    if (!hex || !*hex) return {};
    std::vector<uint8_t> v = hex_bytes(hex);
    velt::SecureBytes s(v.begin(), v.end());
    ewipe(v.data(), v.size());
    return s;
}

Span span_of(const velt::SecureBytes& b) { return {b.data(), b.size()}; }

}  // namespace

long rng_testdrbgvs(char* output, long declared, long returned_bits, const char* entropy, const char* nonce,
                    const char* personalisation, const char* additional1, const char* reseed_entropy,
                    const char* reseed_additional, const char* additional2, long options) {
    if (returned_bits < 1) return -BAD_PARAM_ERROR;
    if (returned_bits > 8L * kRngMaxRequest) return -PRNG_ERR_TOOBIG;
    size_t n = size_t((returned_bits + 7) / 8);
    if (!output || declared <= 0) return long(2 * n);

    velt::SecureBytes e = decode(entropy), no = decode(nonce), p = decode(personalisation),
                      a1 = decode(additional1), re = decode(reseed_entropy), ra = decode(reseed_additional),
                      a2 = decode(additional2);
    Drbg d{};
    velt::WipeOnExit wipe(&d, sizeof d);
    Span inst[3] = {span_of(e), span_of(no), span_of(p)};
    drbg_instantiate(d, inst, 3);
    // The published no-reseed answers come from runs without a reseed, so an
    // empty reseed entropy and additional input mean "no reseed".
    bool reseed = !re.empty() || !ra.empty();
    Span rs[2] = {span_of(re), span_of(ra)};
    velt::SecureBytes out(n);
    if (reseed && !(options & kRngReseedAfterGen)) drbg_reseed(d, rs, 2);
    drbg_generate(d, out.data(), n, a1.data(), a1.size());
    if (reseed && (options & kRngReseedAfterGen)) drbg_reseed(d, rs, 2);
    drbg_generate(d, out.data(), n, a2.data(), a2.size());

    size_t bytes = size_t(declared) / 2 < n ? size_t(declared) / 2 : n;
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < bytes; ++i) {
        output[2 * i] = kHex[out[i] >> 4];
        output[2 * i + 1] = kHex[out[i] & 15];
    }
    output[2 * bytes] = '\0';
    long r = drbg_uninstantiate(d);
    if (r != 0) return r;
    return long(2 * bytes);
}
