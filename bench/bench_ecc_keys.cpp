// Elliptic-curve keys through the exported functions: ECDH with key strings
// (ECC_DHSharedSecret) beside EVP_PKEY_derive, and key generation with both
// files written (ECC_MakeKeys, default encryption and count) beside OpenSSL
// key generation plus an encrypted PEM write (PBES2, AES-256, 2048
// iterations) and a public key PEM.
#include <benchmark/benchmark.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "morvanevelt.h"

namespace {

struct DhPair {
    EVP_PKEY* a = nullptr;
    EVP_PKEY* b = nullptr;
    std::string priv, pub;  // our key strings of a's private key and b's public key
};

std::string pem_of(EVP_PKEY* k, bool pub) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (pub) {
        PEM_write_bio_PUBKEY(bio, k);
    } else {
        PEM_write_bio_PrivateKey(bio, k, nullptr, nullptr, 0, nullptr, nullptr);
    }
    char* p = nullptr;
    long n = BIO_get_mem_data(bio, &p);
    std::string s(p, size_t(n));
    BIO_free(bio);
    return s;
}

std::string key_string(const std::string& pem, bool pub) {
    long n = pub ? ECC_ReadPublicKey(nullptr, 0, pem.c_str(), 0)
                 : ECC_ReadPrivateKey(nullptr, 0, pem.c_str(), "", 0);
    if (n <= 0) return {};
    std::string s(size_t(n) + 1, '\0');
    if (pub) {
        ECC_ReadPublicKey(s.data(), n, pem.c_str(), 0);
    } else {
        ECC_ReadPrivateKey(s.data(), n, pem.c_str(), "", 0);
    }
    s.resize(size_t(n));
    return s;
}

EVP_PKEY* generate(const char* name) {
    std::string n(name);
    if (n == "X25519" || n == "X448") return EVP_PKEY_Q_keygen(nullptr, nullptr, name);
    return EVP_EC_gen(name);
}

const char* kDhCurves[] = {"P-256", "P-384", "P-521", "X25519", "X448"};

const DhPair& pair_for(int which) {
    static DhPair pairs[5];
    DhPair& p = pairs[which];
    if (p.a) return p;
    p.a = generate(kDhCurves[which]);
    p.b = generate(kDhCurves[which]);
    p.priv = key_string(pem_of(p.a, false), false);
    p.pub = key_string(pem_of(p.b, true), true);
    return p;
}

void dh_ours(benchmark::State& st, int which) {
    const DhPair& p = pair_for(which);
    unsigned char z[80];
    for (auto _ : st) {
        if (ECC_DHSharedSecret(z, sizeof z, p.priv.c_str(), p.pub.c_str(), 0) <= 0)
            st.SkipWithError("ECC_DHSharedSecret failed");
    }
}

void dh_openssl(benchmark::State& st, int which) {
    const DhPair& p = pair_for(which);
    unsigned char z[80];
    for (auto _ : st) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(p.a, nullptr);
        size_t len = sizeof z;
        if (EVP_PKEY_derive_init(ctx) != 1 || EVP_PKEY_derive_set_peer(ctx, p.b) != 1 ||
            EVP_PKEY_derive(ctx, z, &len) != 1)
            st.SkipWithError("EVP_PKEY_derive failed");
        EVP_PKEY_CTX_free(ctx);
    }
}

std::string tmp_name(const char* tag) {
    return "/tmp/velt_bench_" + std::to_string(getpid()) + "_" + tag;
}

void keygen_ours(benchmark::State& st, const char* curve) {
    const std::string pub = tmp_name("pub"), pri = tmp_name("pri");
    for (auto _ : st) {
        if (ECC_MakeKeys(pub.c_str(), pri.c_str(), curve, "password", "", VELT_KEY_FORMAT_PEM) != 0)
            st.SkipWithError("ECC_MakeKeys failed");
    }
    std::remove(pub.c_str());
    std::remove(pri.c_str());
}

void keygen_openssl(benchmark::State& st, const char* curve) {
    const std::string pub = tmp_name("opub"), pri = tmp_name("opri");
    for (auto _ : st) {
        EVP_PKEY* k = std::string(curve) == "Ed25519" ? EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")
                                                      : EVP_EC_gen(curve);
        FILE* f = std::fopen(pri.c_str(), "w");
        bool ok = f && PEM_write_PKCS8PrivateKey(f, k, EVP_aes_256_cbc(), nullptr, 0, nullptr,
                                                 const_cast<char*>("password")) == 1;
        if (f) std::fclose(f);
        f = std::fopen(pub.c_str(), "w");
        ok = ok && f && PEM_write_PUBKEY(f, k) == 1;
        if (f) std::fclose(f);
        EVP_PKEY_free(k);
        if (!ok) st.SkipWithError("OpenSSL key write failed");
    }
    std::remove(pub.c_str());
    std::remove(pri.c_str());
}

}  // namespace

#define DH_ROW(tag, i, label)                          \
    BENCHMARK_CAPTURE(dh_ours, tag, i)                 \
        ->Name("ECC_DHSharedSecret " label "/ours")    \
        ->Unit(benchmark::kMicrosecond);               \
    BENCHMARK_CAPTURE(dh_openssl, tag, i)              \
        ->Name("ECC_DHSharedSecret " label "/openssl") \
        ->Unit(benchmark::kMicrosecond)

DH_ROW(p256, 0, "P-256");
DH_ROW(p384, 1, "P-384");
DH_ROW(p521, 2, "P-521");
DH_ROW(x25519, 3, "X25519");
DH_ROW(x448, 4, "X448");

BENCHMARK_CAPTURE(keygen_ours, p256, "P-256")->Name("ECC_MakeKeys P-256/ours")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(keygen_openssl, p256, "P-256")
    ->Name("ECC_MakeKeys P-256/openssl")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(keygen_ours, ed25519, "Ed25519")
    ->Name("ECC_MakeKeys Ed25519/ours")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(keygen_openssl, ed25519, "Ed25519")
    ->Name("ECC_MakeKeys Ed25519/openssl")
    ->Unit(benchmark::kMillisecond);
