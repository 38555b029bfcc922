// Digests, HMAC, HKDF and file hashing: our exported functions beside
// OpenSSL's libcrypto doing the same work in the same run.
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>

#include <cstdio>
#include <string>
#include <vector>

#include "morvanevelt.h"

namespace {

std::vector<unsigned char> message(size_t n) {
    std::vector<unsigned char> m(n);
    for (size_t i = 0; i < n; i++) m[i] = (unsigned char)(i * 131 + 7);
    return m;
}

void digest_ours(benchmark::State& state, long alg, long size) {
    auto m = message(size_t(size));
    unsigned char out[64];
    for (auto _ : state) benchmark::DoNotOptimize(HASH_Bytes(out, 64, m.data(), long(m.size()), alg));
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

void digest_openssl(benchmark::State& state, const char* name, long size) {
    auto m = message(size_t(size));
    EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
    unsigned char out[64];
    unsigned int n;
    for (auto _ : state) benchmark::DoNotOptimize(EVP_Digest(m.data(), m.size(), out, &n, md, nullptr));
    EVP_MD_free(md);
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

void hmac_ours(benchmark::State& state, long size) {
    auto m = message(size_t(size));
    auto key = message(32);
    unsigned char out[64];
    for (auto _ : state)
        benchmark::DoNotOptimize(HMAC_Bytes(out, 64, m.data(), long(m.size()), key.data(), 32, VELT_HASH_SHA256));
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

void hmac_openssl(benchmark::State& state, long size) {
    auto m = message(size_t(size));
    auto key = message(32);
    unsigned char out[64];
    unsigned int n;
    for (auto _ : state) benchmark::DoNotOptimize(HMAC(EVP_sha256(), key.data(), 32, m.data(), m.size(), out, &n));
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

void hkdf_ours(benchmark::State& state) {
    auto ikm = message(32), info = message(16);
    unsigned char out[42];
    for (auto _ : state)
        benchmark::DoNotOptimize(KDF_Bytes(out, 42, ikm.data(), 32, info.data(), 16, "", VELT_KDF_HKDF | 3));
}

void hkdf_openssl(benchmark::State& state) {
    auto ikm = message(32), info = message(16);
    unsigned char out[42];
    EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
    EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>("SHA256"), 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, ikm.data(), 32),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, info.data(), 16), OSSL_PARAM_construct_end()};
    for (auto _ : state) benchmark::DoNotOptimize(EVP_KDF_derive(ctx, out, 42, params));
    EVP_KDF_CTX_free(ctx);
    EVP_KDF_free(kdf);
}

// A 64 MiB file, written once per run.
const std::string& big_file() {
    static const std::string path = [] {
        std::string p = "/tmp/velt_bench_hash_64MiB.bin";
        FILE* f = fopen(p.c_str(), "wb");
        auto chunk = message(1 << 20);
        for (int i = 0; i < 64; i++) fwrite(chunk.data(), 1, chunk.size(), f);
        fclose(f);
        return p;
    }();
    return path;
}

void file_ours(benchmark::State& state) {
    const std::string& path = big_file();
    unsigned char out[64];
    for (auto _ : state) benchmark::DoNotOptimize(HASH_File(out, 64, path.c_str(), VELT_HASH_SHA256));
    state.SetBytesProcessed(int64_t(state.iterations()) * (64 << 20));
}

void file_openssl(benchmark::State& state) {
    const std::string& path = big_file();
    EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    std::vector<unsigned char> buf(64 * 1024);
    unsigned char out[64];
    for (auto _ : state) {
        FILE* f = fopen(path.c_str(), "rb");
        EVP_MD_CTX* c = EVP_MD_CTX_new();
        EVP_DigestInit_ex(c, md, nullptr);
        size_t n;
        while ((n = fread(buf.data(), 1, buf.size(), f)) > 0) EVP_DigestUpdate(c, buf.data(), n);
        EVP_DigestFinal_ex(c, out, nullptr);
        EVP_MD_CTX_free(c);
        fclose(f);
    }
    EVP_MD_free(md);
    state.SetBytesProcessed(int64_t(state.iterations()) * (64 << 20));
}

struct DigestRow {
    const char* row;
    long alg;
    const char* openssl;
};

constexpr DigestRow kDigestRows[] = {
    {"SHA-1", VELT_HASH_SHA1, "SHA1"},
    {"SHA-256", VELT_HASH_SHA256, "SHA256"},
    {"SHA-512", VELT_HASH_SHA512, "SHA512"},
    {"SHA3-256", VELT_HASH_SHA3_256, "SHA3-256"},
};

constexpr std::pair<long, const char*> kSizes[] = {{64, "64B"}, {1024, "1KiB"}, {8192, "8KiB"}};

int register_all() {
    for (const DigestRow& r : kDigestRows) {
        for (const auto& [size, label] : kSizes) {
            std::string row = std::string(r.row) + " " + label;
            benchmark::RegisterBenchmark((row + "/ours").c_str(), digest_ours, r.alg, size);
            benchmark::RegisterBenchmark((row + "/openssl").c_str(), digest_openssl, r.openssl, size);
        }
    }
    for (const auto& [size, label] : kSizes) {
        std::string row = std::string("HMAC-SHA-256 ") + label;
        benchmark::RegisterBenchmark((row + "/ours").c_str(), hmac_ours, size);
        benchmark::RegisterBenchmark((row + "/openssl").c_str(), hmac_openssl, size);
    }
    benchmark::RegisterBenchmark("HKDF-SHA-256 42B/ours", hkdf_ours);
    benchmark::RegisterBenchmark("HKDF-SHA-256 42B/openssl", hkdf_openssl);
    benchmark::RegisterBenchmark("HASH_File SHA-256 64MiB/ours", file_ours)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("HASH_File SHA-256 64MiB/openssl", file_openssl)->Unit(benchmark::kMillisecond);
    return 0;
}

const int registered = register_all();

}  // namespace
