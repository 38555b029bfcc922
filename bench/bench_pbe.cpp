// Password-based key derivation: PBKDF2-HMAC-SHA-256 at 100,000 iterations
// and scrypt N=16384 r=8 p=1, ours beside OpenSSL's libcrypto in the same run.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include "morvanevelt.h"

namespace {

const char kPassword[] = "correct horse battery staple";
const unsigned char kSalt[16] = {0x5a, 0x17, 0x33, 0x01, 0x9e, 0x44, 0x21, 0x6b,
                                 0x0c, 0xd2, 0x7f, 0x88, 0x13, 0x6e, 0xa5, 0x40};

void pbkdf2_ours(benchmark::State& state) {
    unsigned char dk[32];
    for (auto _ : state)
        benchmark::DoNotOptimize(PBE_Kdf2(dk, 32, kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt, 100000,
                                          VELT_HASH_SHA256));
}

void pbkdf2_openssl(benchmark::State& state) {
    unsigned char dk[32];
    for (auto _ : state)
        benchmark::DoNotOptimize(PKCS5_PBKDF2_HMAC(kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt, 100000,
                                                   EVP_sha256(), 32, dk));
}

void scrypt_ours(benchmark::State& state) {
    unsigned char dk[64];
    for (auto _ : state)
        benchmark::DoNotOptimize(
            PBE_Scrypt(dk, 64, kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt, 16384, 8, 1, 0));
}

void scrypt_openssl(benchmark::State& state) {
    unsigned char dk[64];
    for (auto _ : state)
        benchmark::DoNotOptimize(EVP_PBE_scrypt(kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt, 16384, 8, 1,
                                                64ull << 20, dk, 64));
}

}  // namespace

BENCHMARK(pbkdf2_ours)->Name("PBKDF2-HMAC-SHA-256 100000 iterations/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(pbkdf2_openssl)->Name("PBKDF2-HMAC-SHA-256 100000 iterations/openssl")->Unit(benchmark::kMillisecond);
BENCHMARK(scrypt_ours)->Name("scrypt N=16384 r=8 p=1/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(scrypt_openssl)->Name("scrypt N=16384 r=8 p=1/openssl")->Unit(benchmark::kMillisecond);
