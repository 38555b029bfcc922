// Authenticated encryption: AES-256-GCM and ChaCha20-Poly1305 through the
// exported one-shot functions (key setup included in every call) against
// libcrypto's EVP interface doing the same work (key and IV set per message).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <vector>

#include "morvanevelt.h"

namespace {

constexpr long kAes256Gcm = 0x540;
constexpr long kChaChaPoly = 0x550;

struct Data {
    std::vector<unsigned char> key = std::vector<unsigned char>(32, 0x42);
    std::vector<unsigned char> iv = std::vector<unsigned char>(12, 0x24);
    std::vector<unsigned char> aad = std::vector<unsigned char>(13, 0x11);
    std::vector<unsigned char> in, out;
    explicit Data(size_t n) : in(n + 16, 0x5a), out(n + 16) {}
};

void ours_encrypt(benchmark::State& state, long alg, size_t n) {
    Data d(n);
    for (auto _ : state) {
        long r = CIPHER_EncryptAEAD(d.out.data(), long(d.out.size()), d.in.data(), long(n), d.key.data(), 32,
                                    d.iv.data(), 12, d.aad.data(), long(d.aad.size()), alg);
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void ours_decrypt(benchmark::State& state, long alg, size_t n) {
    Data d(n);
    CIPHER_EncryptAEAD(d.in.data(), long(d.in.size()), std::vector<unsigned char>(n, 0x5a).data(), long(n),
                       d.key.data(), 32, d.iv.data(), 12, d.aad.data(), long(d.aad.size()), alg);
    for (auto _ : state) {
        long r = CIPHER_DecryptAEAD(d.out.data(), long(d.out.size()), d.in.data(), long(n + 16), d.key.data(), 32,
                                    d.iv.data(), 12, d.aad.data(), long(d.aad.size()), alg);
        if (r != long(n)) state.SkipWithError("decryption failed");
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

const EVP_CIPHER* evp(long alg) { return alg == kAes256Gcm ? EVP_aes_256_gcm() : EVP_chacha20_poly1305(); }

void ossl_encrypt(benchmark::State& state, long alg, size_t n) {
    Data d(n);
    EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        int len = 0;
        EVP_EncryptInit_ex(c, evp(alg), nullptr, d.key.data(), d.iv.data());
        EVP_EncryptUpdate(c, nullptr, &len, d.aad.data(), int(d.aad.size()));
        EVP_EncryptUpdate(c, d.out.data(), &len, d.in.data(), int(n));
        EVP_EncryptFinal_ex(c, d.out.data() + n, &len);
        EVP_CIPHER_CTX_ctrl(c, EVP_CTRL_AEAD_GET_TAG, 16, d.out.data() + n);
        benchmark::DoNotOptimize(d.out.data());
    }
    EVP_CIPHER_CTX_free(c);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void ossl_decrypt(benchmark::State& state, long alg, size_t n) {
    Data d(n);
    CIPHER_EncryptAEAD(d.in.data(), long(d.in.size()), std::vector<unsigned char>(n, 0x5a).data(), long(n),
                       d.key.data(), 32, d.iv.data(), 12, d.aad.data(), long(d.aad.size()), alg);
    EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        int len = 0;
        EVP_DecryptInit_ex(c, evp(alg), nullptr, d.key.data(), d.iv.data());
        EVP_DecryptUpdate(c, nullptr, &len, d.aad.data(), int(d.aad.size()));
        EVP_DecryptUpdate(c, d.out.data(), &len, d.in.data(), int(n));
        EVP_CIPHER_CTX_ctrl(c, EVP_CTRL_AEAD_SET_TAG, 16, d.in.data() + n);
        if (EVP_DecryptFinal_ex(c, d.out.data() + n, &len) != 1) state.SkipWithError("decryption failed");
        benchmark::DoNotOptimize(d.out.data());
    }
    EVP_CIPHER_CTX_free(c);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

}  // namespace

BENCHMARK_CAPTURE(ours_encrypt, gcm16k, kAes256Gcm, 16384)->Name("AES-256-GCM encrypt 16 KiB/ours");
BENCHMARK_CAPTURE(ossl_encrypt, gcm16k, kAes256Gcm, 16384)->Name("AES-256-GCM encrypt 16 KiB/openssl");
BENCHMARK_CAPTURE(ours_decrypt, gcm16k, kAes256Gcm, 16384)->Name("AES-256-GCM decrypt 16 KiB/ours");
BENCHMARK_CAPTURE(ossl_decrypt, gcm16k, kAes256Gcm, 16384)->Name("AES-256-GCM decrypt 16 KiB/openssl");
BENCHMARK_CAPTURE(ours_encrypt, cp16k, kChaChaPoly, 16384)->Name("ChaCha20-Poly1305 encrypt 16 KiB/ours");
BENCHMARK_CAPTURE(ossl_encrypt, cp16k, kChaChaPoly, 16384)->Name("ChaCha20-Poly1305 encrypt 16 KiB/openssl");
BENCHMARK_CAPTURE(ours_decrypt, cp16k, kChaChaPoly, 16384)->Name("ChaCha20-Poly1305 decrypt 16 KiB/ours");
BENCHMARK_CAPTURE(ossl_decrypt, cp16k, kChaChaPoly, 16384)->Name("ChaCha20-Poly1305 decrypt 16 KiB/openssl");
BENCHMARK_CAPTURE(ours_encrypt, gcm64, kAes256Gcm, 64)->Name("AES-256-GCM encrypt 64 B/ours");
BENCHMARK_CAPTURE(ossl_encrypt, gcm64, kAes256Gcm, 64)->Name("AES-256-GCM encrypt 64 B/openssl");
