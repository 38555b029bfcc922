// Prime-curve ECDH: the internal core (peer point validation and the
// constant-time multiplication) beside OpenSSL's EVP_PKEY_derive, for
// P-256, P-384 and P-521.
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <vector>

#include "ecc/ecc.h"

namespace {

using velt::ecc::EC_curve;
using velt::ecc::EC_point;

struct EcdhPair {
    EVP_PKEY* a = nullptr;
    EVP_PKEY* b = nullptr;
    EC_curve c;
    std::vector<uint8_t> d;
    EC_point Q;
};

const EcdhPair& pair_for(int which) {
    static const char* kNames[] = {"P-256", "P-384", "P-521"};
    static EcdhPair pairs[3];
    EcdhPair& p = pairs[which];
    if (p.a) return p;
    p.a = EVP_EC_gen(kNames[which]);
    p.b = EVP_EC_gen(kNames[which]);
    velt::ecc::EC_curve_lookup(&p.c, kNames[which]);
    BIGNUM* d = nullptr;
    EVP_PKEY_get_bn_param(p.a, OSSL_PKEY_PARAM_PRIV_KEY, &d);
    p.d.resize(velt::ecc::EC_order_bytes(p.c));
    BN_bn2binpad(d, p.d.data(), int(p.d.size()));
    BN_free(d);
    std::vector<uint8_t> pt(1 + 2 * velt::ecc::EC_field_bytes(p.c));
    size_t len = 0;
    EVP_PKEY_get_octet_string_param(p.b, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, pt.data(), pt.size(), &len);
    velt::ecc::EC_point_from_octets(p.c, &p.Q, pt.data(), len);
    return p;
}

void ecdh_ours(benchmark::State& st, int which) {
    const EcdhPair& p = pair_for(which);
    std::vector<uint8_t> out(velt::ecc::EC_field_bytes(p.c));
    for (auto _ : st) {
        if (velt::ecc::EC_ecdh(p.c, out.data(), p.d.data(), p.d.size(), p.Q) != 0)
            st.SkipWithError("EC_ecdh failed");
    }
}

void ecdh_openssl(benchmark::State& st, int which) {
    const EcdhPair& p = pair_for(which);
    std::vector<uint8_t> out(velt::ecc::EC_field_bytes(p.c));
    for (auto _ : st) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(p.a, nullptr);
        size_t len = out.size();
        if (EVP_PKEY_derive_init(ctx) != 1 || EVP_PKEY_derive_set_peer(ctx, p.b) != 1 ||
            EVP_PKEY_derive(ctx, out.data(), &len) != 1)
            st.SkipWithError("EVP_PKEY_derive failed");
        EVP_PKEY_CTX_free(ctx);
    }
}

}  // namespace

BENCHMARK_CAPTURE(ecdh_ours, p256, 0)->Name("ECDH P-256 core/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ecdh_openssl, p256, 0)->Name("ECDH P-256 core/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ecdh_ours, p384, 1)->Name("ECDH P-384 core/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ecdh_openssl, p384, 1)->Name("ECDH P-384 core/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ecdh_ours, p521, 2)->Name("ECDH P-521 core/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ecdh_openssl, p521, 2)->Name("ECDH P-521 core/openssl")->Unit(benchmark::kMicrosecond);
