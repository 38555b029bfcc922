// RSA: private operation (RSA-2048 and RSA-4096), public operation
// (RSA-2048) and RSA-2048 key generation, beside OpenSSL's raw RSA. The
// operations take the same key string on every call (served by the key
// cache, as OpenSSL's key object serves it); the first-use row reads the key
// afresh on every call on both sides.
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "morvanevelt.h"
#include "rng/rng.h"
#include "rsa/rsa.h"
#include "rsa/rsa_cache.h"

namespace {

struct BenchKey {
    EVP_PKEY* pk = nullptr;
    std::string priv, pub;
    std::vector<uint8_t> der;  // PKCS #1 RSAPrivateKey
    size_t k = 0;
};

std::vector<uint8_t> bn_param(EVP_PKEY* pk, const char* name) {
    BIGNUM* bn = nullptr;
    EVP_PKEY_get_bn_param(pk, name, &bn);
    std::vector<uint8_t> out(size_t(BN_num_bytes(bn)));
    BN_bn2bin(bn, out.data());
    BN_free(bn);
    return out;
}

// One OpenSSL key per size, loaded into both libraries.
const BenchKey& bench_key(int bits) {
    static BenchKey keys[2];
    BenchKey& b = keys[bits == 4096 ? 1 : 0];
    if (b.pk) return b;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
    EVP_PKEY_keygen_init(ctx);
    EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, bits);
    EVP_PKEY_keygen(ctx, &b.pk);
    EVP_PKEY_CTX_free(ctx);
    const char* names[] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,
                           OSSL_PKEY_PARAM_RSA_D,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                           OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                           OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};
    std::vector<uint8_t> v[8];
    for (int i = 0; i < 8; ++i) v[i] = bn_param(b.pk, names[i]);
    RsaKey* key = rsaNew();
    rsaSetPrivateKeyEx(key, v[0].data(), v[0].size(), v[1].data(), v[1].size(), v[2].data(), v[2].size(),
                       v[3].data(), v[3].size(), v[4].data(), v[4].size(), v[5].data(), v[5].size(),
                       v[6].data(), v[6].size(), v[7].data(), v[7].size());
    b.priv = std::string(rsaPrivateKeyString(key, 0).c_str());
    b.pub = rsaPublicKeyString(key, 0);
    b.k = rsaBlockLength(key);
    velt::SecureBytes der = rsaPrivateKeyDer(key);
    b.der.assign(der.begin(), der.end());
    rsaFree(&key);
    return b;
}

std::vector<uint8_t> input(size_t k) {
    std::vector<uint8_t> x(k);
    rngNonce(x.data(), long(k));
    x[0] = 0;
    return x;
}

void private_ours(benchmark::State& st, int bits) {
    const BenchKey& b = bench_key(bits);
    std::vector<uint8_t> x = input(b.k), y(b.k);
    for (auto _ : st) {
        y = x;
        if (RSA_RawPrivate(y.data(), long(b.k), b.priv.c_str(), 0) != 0)
            st.SkipWithError("RSA_RawPrivate failed");
    }
}

void private_openssl(benchmark::State& st, int bits) {
    const BenchKey& b = bench_key(bits);
    std::vector<uint8_t> x = input(b.k), y(b.k);
    for (auto _ : st) {
        // A fresh operation context per call on the one key object.
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(b.pk, nullptr);
        EVP_PKEY_decrypt_init(ctx);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING);
        size_t len = y.size();
        if (EVP_PKEY_decrypt(ctx, y.data(), &len, x.data(), x.size()) != 1)
            st.SkipWithError("decrypt failed");
        EVP_PKEY_CTX_free(ctx);
    }
}

// A key string seen for the first time on every call: the cache is
// emptied first, so the unwrapping and set-up are paid each time.
void first_use_ours(benchmark::State& st) {
    const BenchKey& b = bench_key(2048);
    std::vector<uint8_t> x = input(b.k), y(b.k);
    for (auto _ : st) {
        y = x;
        rsaCacheClear();
        if (RSA_RawPrivate(y.data(), long(b.k), b.priv.c_str(), 0) != 0)
            st.SkipWithError("RSA_RawPrivate failed");
    }
}

// The key object parsed from its DER on every call.
void first_use_openssl(benchmark::State& st) {
    const BenchKey& b = bench_key(2048);
    std::vector<uint8_t> x = input(b.k), y(b.k);
    for (auto _ : st) {
        const unsigned char* p = b.der.data();
        EVP_PKEY* pk = d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &p, long(b.der.size()));
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(pk, nullptr);
        EVP_PKEY_decrypt_init(ctx);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING);
        size_t len = y.size();
        if (EVP_PKEY_decrypt(ctx, y.data(), &len, x.data(), x.size()) != 1)
            st.SkipWithError("decrypt failed");
        EVP_PKEY_CTX_free(ctx);
        EVP_PKEY_free(pk);
    }
}

void public_ours(benchmark::State& st) {
    const BenchKey& b = bench_key(2048);
    std::vector<uint8_t> x = input(b.k), y(b.k);
    for (auto _ : st) {
        y = x;
        if (RSA_RawPublic(y.data(), long(b.k), b.pub.c_str(), 0) != 0)
            st.SkipWithError("RSA_RawPublic failed");
    }
}

void public_openssl(benchmark::State& st) {
    const BenchKey& b = bench_key(2048);
    std::vector<uint8_t> x = input(b.k), y(b.k);
    for (auto _ : st) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(b.pk, nullptr);
        EVP_PKEY_encrypt_init(ctx);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING);
        size_t len = y.size();
        if (EVP_PKEY_encrypt(ctx, y.data(), &len, x.data(), x.size()) != 1)
            st.SkipWithError("encrypt failed");
        EVP_PKEY_CTX_free(ctx);
    }
}

void keygen_ours(benchmark::State& st) {
    for (auto _ : st) {
        RsaKey* key = rsaNew();
        if (rsaGenerateKeys(key, 2048, 4, 64, nullptr, 0, rngFunc, 0) != 0) st.SkipWithError("keygen failed");
        rsaFree(&key);
    }
}

void keygen_openssl(benchmark::State& st) {
    for (auto _ : st) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
        EVP_PKEY_keygen_init(ctx);
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, 2048);
        EVP_PKEY* pk = nullptr;
        EVP_PKEY_keygen(ctx, &pk);
        EVP_PKEY_free(pk);
        EVP_PKEY_CTX_free(ctx);
    }
}

}  // namespace

BENCHMARK_CAPTURE(private_ours, 2048, 2048)
    ->Name("RSA-2048 private cached/ours")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(private_openssl, 2048, 2048)
    ->Name("RSA-2048 private cached/openssl")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(first_use_ours)->Name("RSA-2048 private first use/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(first_use_openssl)->Name("RSA-2048 private first use/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(private_ours, 4096, 4096)->Name("RSA-4096 private/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(private_openssl, 4096, 4096)
    ->Name("RSA-4096 private/openssl")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(public_ours)->Name("RSA-2048 public/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(public_openssl)->Name("RSA-2048 public/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(keygen_ours)->Name("RSA-2048 keygen/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(keygen_openssl)->Name("RSA-2048 keygen/openssl")->Unit(benchmark::kMillisecond);
