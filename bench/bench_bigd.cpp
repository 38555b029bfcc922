// Big-number rows: constant-time modular exponentiation with a full-size
// exponent (2048 and 4096 bits), 2048-bit modular multiplication, the
// constant-time 2048-bit modular inverse and 1024-bit prime generation, each
// beside OpenSSL's BIGNUM.
#include <benchmark/benchmark.h>
#include <openssl/bn.h>

#include <vector>

#include "bigd/bigd.h"
#include "bigd/modinv.h"
#include "rng/rng.h"
#include "util/cpu.h"

namespace {

struct Operands {
    BIGNUM *m, *x, *e;
    BdNumber *bm, *bx, *be;
    explicit Operands(int bits) {
        m = BN_new();
        x = BN_new();
        e = BN_new();
        // An odd modulus with the top bit set, a base below it and an
        // exponent of the modulus' full size.
        BN_rand(m, bits, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ODD);
        BN_rand_range(x, m);
        BN_rand(e, bits, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ANY);
        bm = to_bd(m);
        bx = to_bd(x);
        be = to_bd(e);
    }
    ~Operands() {
        BN_free(m);
        BN_free(x);
        BN_free(e);
        bdFree(&bm);
        bdFree(&bx);
        bdFree(&be);
    }
    static BdNumber* to_bd(const BIGNUM* v) {
        std::vector<unsigned char> buf(size_t(BN_num_bytes(v)));
        BN_bn2bin(v, buf.data());
        BdNumber* b = bdNew();
        bdConvFromOctets(b, buf.data(), buf.size());
        return b;
    }
};

template <int Bits>
void modexp_ours(benchmark::State& state) {
    Operands o(Bits);
    BdNumber* y = bdNew();
    for (auto _ : state) bdModExp_ct(y, o.bx, o.be, o.bm);
    bdFree(&y);
}

template <int Bits>
void modexp_openssl(benchmark::State& state) {
    Operands o(Bits);
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* y = BN_new();
    for (auto _ : state) BN_mod_exp_mont_consttime(y, o.x, o.e, o.m, ctx, nullptr);
    BN_free(y);
    BN_CTX_free(ctx);
}

BENCHMARK(modexp_ours<2048>)->Name("bigd modexp_ct 2048/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(modexp_openssl<2048>)->Name("bigd modexp_ct 2048/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(modexp_ours<4096>)->Name("bigd modexp_ct 4096/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(modexp_openssl<4096>)->Name("bigd modexp_ct 4096/openssl")->Unit(benchmark::kMicrosecond);

void modmul_ours(benchmark::State& state) {
    Operands o(2048);
    BdNumber* y = bdNew();
    for (auto _ : state) bdModMult(y, o.bx, o.be, o.bm);
    bdFree(&y);
}

void modmul_openssl(benchmark::State& state) {
    Operands o(2048);
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* y = BN_new();
    for (auto _ : state) BN_mod_mul(y, o.x, o.e, o.m, ctx);
    BN_free(y);
    BN_CTX_free(ctx);
}

BENCHMARK(modmul_ours)->Name("bigd modmult 2048/ours");
BENCHMARK(modmul_openssl)->Name("bigd modmult 2048/openssl");

// The inverse of a random residue modulo a random odd 2048-bit modulus (the
// RSA blinding step), on the accelerated and on the portable path.
template <bool Portable>
void modinv_ours(benchmark::State& state) {
    Operands o(2048);
    constexpr size_t n = 32;
    velt::bigd::limb m[n] = {}, x[n] = {}, r[n];
    BN_bn2lebinpad(o.m, reinterpret_cast<unsigned char*>(m), sizeof m);
    BN_bn2lebinpad(o.x, reinterpret_cast<unsigned char*>(x), sizeof x);
    if (Portable) velt::cpu::restrict_features(0);
    for (auto _ : state) {
        velt::bigd::modinv_odd_ct(r, x, m, n);
        benchmark::DoNotOptimize(r);
    }
    velt::cpu::restrict_features(~0u);
}

void modinv_openssl(benchmark::State& state) {
    Operands o(2048);
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* y = BN_new();
    for (auto _ : state) BN_mod_inverse(y, o.x, o.m, ctx);
    BN_free(y);
    BN_CTX_free(ctx);
}

BENCHMARK(modinv_ours<false>)->Name("bigd modinv 2048/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(modinv_openssl)->Name("bigd modinv 2048/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(modinv_ours<true>)->Name("bigd modinv 2048 portable/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(modinv_openssl)->Name("bigd modinv 2048 portable/openssl")->Unit(benchmark::kMicrosecond);

// Prime search time varies with the random start: one operation is a batch
// of searches so that the variation evens out.
constexpr int kPrimesPerOp = 8;

void prime_ours(benchmark::State& state) {
    BdNumber* p = bdNew();
    for (auto _ : state)
        for (int i = 0; i < kPrimesPerOp; ++i) bdGeneratePrime(p, 1024, 5, nullptr, 0, rngFunc);
    bdFree(&p);
}

void prime_openssl(benchmark::State& state) {
    BIGNUM* p = BN_new();
    for (auto _ : state)
        for (int i = 0; i < kPrimesPerOp; ++i) BN_generate_prime_ex(p, 1024, 0, nullptr, nullptr, nullptr);
    BN_free(p);
}

BENCHMARK(prime_ours)->Name("bigd prime 1024 (x8)/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(prime_openssl)->Name("bigd prime 1024 (x8)/openssl")->Unit(benchmark::kMillisecond);

}  // namespace
