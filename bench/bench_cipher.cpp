// Block ciphers over 16 KiB (and, for Triple DES, 1 KiB) messages: one whole
// call per message on both sides (our one-shot exported function; libcrypto's
// EVP init, update and final), so key setup and per-call costs are counted
// alike. The 1 KiB rows are near the size of the RSA private-key unwrap,
// where the key schedule weighs as much as the blocks.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <vector>

#include "morvanevelt.h"

namespace {

constexpr size_t kMsg = 16384;

struct Data {
    explicit Data(size_t msg) : in(msg + 16, 0xA7), out(msg + 64) {}
    std::vector<unsigned char> key = std::vector<unsigned char>(32, 0x2B);
    std::vector<unsigned char> iv = std::vector<unsigned char>(16, 0x5C);
    std::vector<unsigned char> in;
    std::vector<unsigned char> out;
};

void ours(benchmark::State& state, const char* sel, size_t key_len, size_t iv_len, bool encrypt,
          size_t msg = kMsg) {
    Data d(msg);
    // A valid padded ciphertext to decrypt.
    long ct_len = CIPHER_EncryptBytes(d.out.data(), long(d.out.size()), d.in.data(), long(msg), d.key.data(),
                                      long(key_len), d.iv.data(), long(iv_len), sel, 0);
    std::vector<unsigned char> ct(d.out.begin(), d.out.begin() + ct_len);
    for (auto _ : state) {
        long r = encrypt
                     ? CIPHER_EncryptBytes(d.out.data(), long(d.out.size()), d.in.data(), long(msg),
                                           d.key.data(), long(key_len), d.iv.data(), long(iv_len), sel, 0)
                     : CIPHER_DecryptBytes(d.out.data(), long(d.out.size()), ct.data(), ct_len, d.key.data(),
                                           long(key_len), d.iv.data(), long(iv_len), sel, 0);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(msg));
}

void openssl(benchmark::State& state, const EVP_CIPHER* c, bool encrypt, size_t msg = kMsg) {
    Data d(msg);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0, m = 0;
    EVP_EncryptInit_ex(ctx, c, nullptr, d.key.data(), d.iv.data());
    EVP_EncryptUpdate(ctx, d.out.data(), &n, d.in.data(), int(msg));
    EVP_EncryptFinal_ex(ctx, d.out.data() + n, &m);
    std::vector<unsigned char> ct(d.out.begin(), d.out.begin() + n + m);
    for (auto _ : state) {
        EVP_CipherInit_ex(ctx, c, nullptr, d.key.data(), d.iv.data(), encrypt);
        const unsigned char* src = encrypt ? d.in.data() : ct.data();
        int len = encrypt ? int(msg) : int(ct.size());
        EVP_CipherUpdate(ctx, d.out.data(), &n, src, len);
        EVP_CipherFinal_ex(ctx, d.out.data() + n, &m);
        benchmark::DoNotOptimize(n + m);
        benchmark::ClobberMemory();
    }
    EVP_CIPHER_CTX_free(ctx);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(msg));
}

}  // namespace

BENCHMARK_CAPTURE(ours, aes128_ctr, "aes128/ctr", 16, 16, true)->Name("AES-128-CTR 16KiB/ours");
BENCHMARK_CAPTURE(openssl, aes128_ctr, EVP_aes_128_ctr(), true)->Name("AES-128-CTR 16KiB/openssl");
BENCHMARK_CAPTURE(ours, aes128_cbc_enc, "aes128/cbc", 16, 16, true)->Name("AES-128-CBC encrypt 16KiB/ours");
BENCHMARK_CAPTURE(openssl, aes128_cbc_enc, EVP_aes_128_cbc(), true)
    ->Name("AES-128-CBC encrypt 16KiB/openssl");
BENCHMARK_CAPTURE(ours, aes128_cbc_dec, "aes128/cbc", 16, 16, false)->Name("AES-128-CBC decrypt 16KiB/ours");
BENCHMARK_CAPTURE(openssl, aes128_cbc_dec, EVP_aes_128_cbc(), false)
    ->Name("AES-128-CBC decrypt 16KiB/openssl");
BENCHMARK_CAPTURE(ours, tdea_cbc_enc, "tdea/cbc", 24, 8, true)->Name("Triple-DES-CBC encrypt 16KiB/ours");
BENCHMARK_CAPTURE(openssl, tdea_cbc_enc, EVP_des_ede3_cbc(), true)
    ->Name("Triple-DES-CBC encrypt 16KiB/openssl");
BENCHMARK_CAPTURE(ours, tdea_cbc_dec, "tdea/cbc", 24, 8, false)->Name("Triple-DES-CBC decrypt 16KiB/ours");
BENCHMARK_CAPTURE(openssl, tdea_cbc_dec, EVP_des_ede3_cbc(), false)
    ->Name("Triple-DES-CBC decrypt 16KiB/openssl");
BENCHMARK_CAPTURE(ours, tdea_ecb_enc, "tdea/ecb", 24, 0, true)->Name("Triple-DES-ECB encrypt 16KiB/ours");
BENCHMARK_CAPTURE(openssl, tdea_ecb_enc, EVP_des_ede3_ecb(), true)
    ->Name("Triple-DES-ECB encrypt 16KiB/openssl");
BENCHMARK_CAPTURE(ours, tdea_cbc_dec_1k, "tdea/cbc", 24, 8, false, 1024)
    ->Name("Triple-DES-CBC decrypt 1KiB/ours");
BENCHMARK_CAPTURE(openssl, tdea_cbc_dec_1k, EVP_des_ede3_cbc(), false, 1024)
    ->Name("Triple-DES-CBC decrypt 1KiB/openssl");
