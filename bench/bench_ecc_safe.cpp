// Safe curves: X25519 and X448 shared secrets, Ed25519 and Ed448 signing and
// verification through the internal operations, beside OpenSSL's EVP_PKEY
// with key objects made once (a fresh operation context per call).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <vector>

#include "ecc/safecurve.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes fill(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(seed * 31 + i * 7 + 1);
    return b;
}

struct Xdh {
    int evp;
    size_t len;
    long (*pub)(uint8_t*, const uint8_t*);
    long (*shared)(uint8_t*, const uint8_t*, const uint8_t*);
};
const Xdh kX25519 = {EVP_PKEY_X25519, 32, velt::ecc::x25519_public_key, velt::ecc::x25519_shared_secret};
const Xdh kX448 = {EVP_PKEY_X448, 56, velt::ecc::x448_public_key, velt::ecc::x448_shared_secret};

void xdh_ours(benchmark::State& st, const Xdh* x) {
    Bytes a = fill(x->len, 1), b = fill(x->len, 2), pb(x->len), out(x->len);
    x->pub(pb.data(), b.data());
    for (auto _ : st)
        if (x->shared(out.data(), a.data(), pb.data()) != 0) st.SkipWithError("shared secret failed");
}

void xdh_openssl(benchmark::State& st, const Xdh* x) {
    Bytes a = fill(x->len, 1), b = fill(x->len, 2), pb(x->len), out(x->len);
    x->pub(pb.data(), b.data());
    EVP_PKEY* ka = EVP_PKEY_new_raw_private_key(x->evp, nullptr, a.data(), a.size());
    EVP_PKEY* kb = EVP_PKEY_new_raw_public_key(x->evp, nullptr, pb.data(), pb.size());
    for (auto _ : st) {
        EVP_PKEY_CTX* c = EVP_PKEY_CTX_new(ka, nullptr);
        size_t len = out.size();
        if (EVP_PKEY_derive_init(c) != 1 || EVP_PKEY_derive_set_peer(c, kb) != 1 ||
            EVP_PKEY_derive(c, out.data(), &len) != 1)
            st.SkipWithError("derive failed");
        EVP_PKEY_CTX_free(c);
    }
    EVP_PKEY_free(ka);
    EVP_PKEY_free(kb);
}

struct Ed {
    int evp;
    size_t len, sig_len;
};
const Ed kEd25519 = {EVP_PKEY_ED25519, 32, 64};
const Ed kEd448 = {EVP_PKEY_ED448, 57, 114};

void ed_sign_ours(benchmark::State& st, const Ed* e) {
    Bytes sk = fill(e->len, 3), pk(e->len), msg = fill(64, 4), sig(e->sig_len);
    bool ed25519 = e == &kEd25519;
    ed25519 ? velt::ecc::ed25519_public_key(pk.data(), sk.data())
            : velt::ecc::ed448_public_key(pk.data(), sk.data());
    for (auto _ : st) {
        if (ed25519)
            velt::ecc::ed25519_sign(sig.data(), msg.data(), msg.size(), sk.data(), pk.data());
        else
            velt::ecc::ed448_sign(sig.data(), msg.data(), msg.size(), sk.data(), pk.data());
    }
}

void ed_verify_ours(benchmark::State& st, const Ed* e) {
    Bytes sk = fill(e->len, 3), pk(e->len), msg = fill(64, 4), sig(e->sig_len);
    bool ed25519 = e == &kEd25519;
    if (ed25519) {
        velt::ecc::ed25519_public_key(pk.data(), sk.data());
        velt::ecc::ed25519_sign(sig.data(), msg.data(), msg.size(), sk.data(), pk.data());
    } else {
        velt::ecc::ed448_public_key(pk.data(), sk.data());
        velt::ecc::ed448_sign(sig.data(), msg.data(), msg.size(), sk.data(), pk.data());
    }
    for (auto _ : st) {
        long rc = ed25519 ? velt::ecc::ed25519_verify(sig.data(), msg.data(), msg.size(), pk.data())
                          : velt::ecc::ed448_verify(sig.data(), msg.data(), msg.size(), pk.data());
        if (rc != 0) st.SkipWithError("verify failed");
    }
}

void ed_sign_openssl(benchmark::State& st, const Ed* e) {
    Bytes sk = fill(e->len, 3), msg = fill(64, 4), sig(e->sig_len);
    EVP_PKEY* k = EVP_PKEY_new_raw_private_key(e->evp, nullptr, sk.data(), sk.size());
    for (auto _ : st) {
        EVP_MD_CTX* c = EVP_MD_CTX_new();
        size_t len = sig.size();
        if (EVP_DigestSignInit(c, nullptr, nullptr, nullptr, k) != 1 ||
            EVP_DigestSign(c, sig.data(), &len, msg.data(), msg.size()) != 1)
            st.SkipWithError("sign failed");
        EVP_MD_CTX_free(c);
    }
    EVP_PKEY_free(k);
}

void ed_verify_openssl(benchmark::State& st, const Ed* e) {
    Bytes sk = fill(e->len, 3), msg = fill(64, 4), sig(e->sig_len), pk(e->len);
    EVP_PKEY* k = EVP_PKEY_new_raw_private_key(e->evp, nullptr, sk.data(), sk.size());
    size_t len = pk.size();
    EVP_PKEY_get_raw_public_key(k, pk.data(), &len);
    EVP_MD_CTX* c = EVP_MD_CTX_new();
    len = sig.size();
    EVP_DigestSignInit(c, nullptr, nullptr, nullptr, k);
    EVP_DigestSign(c, sig.data(), &len, msg.data(), msg.size());
    EVP_MD_CTX_free(c);
    EVP_PKEY* p = EVP_PKEY_new_raw_public_key(e->evp, nullptr, pk.data(), pk.size());
    for (auto _ : st) {
        c = EVP_MD_CTX_new();
        if (EVP_DigestVerifyInit(c, nullptr, nullptr, nullptr, p) != 1 ||
            EVP_DigestVerify(c, sig.data(), sig.size(), msg.data(), msg.size()) != 1)
            st.SkipWithError("verify failed");
        EVP_MD_CTX_free(c);
    }
    EVP_PKEY_free(p);
    EVP_PKEY_free(k);
}

}  // namespace

BENCHMARK_CAPTURE(xdh_ours, x25519, &kX25519)->Name("X25519 shared/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(xdh_openssl, x25519, &kX25519)
    ->Name("X25519 shared/openssl")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(xdh_ours, x448, &kX448)->Name("X448 shared/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(xdh_openssl, x448, &kX448)->Name("X448 shared/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ed_sign_ours, ed25519, &kEd25519)->Name("Ed25519 sign/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ed_sign_openssl, ed25519, &kEd25519)
    ->Name("Ed25519 sign/openssl")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ed_verify_ours, ed25519, &kEd25519)
    ->Name("Ed25519 verify/ours")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ed_verify_openssl, ed25519, &kEd25519)
    ->Name("Ed25519 verify/openssl")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ed_sign_ours, ed448, &kEd448)->Name("Ed448 sign/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ed_sign_openssl, ed448, &kEd448)->Name("Ed448 sign/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ed_verify_ours, ed448, &kEd448)->Name("Ed448 verify/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ed_verify_openssl, ed448, &kEd448)
    ->Name("Ed448 verify/openssl")
    ->Unit(benchmark::kMicrosecond);
