// Signatures through SIG_SignData and SIG_VerifyData with key strings (the
// key read from its string on every call, as a caller sees it) beside
// OpenSSL's EVP_DigestSign/EVP_DigestVerify with key objects made once.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "ecc/keys.h"
#include "encode/encode.h"
#include "morvanevelt.h"
#include "rsa/rsa.h"

namespace {

struct Alg {
    const char* name;     // SIG_ algorithm name
    const char* keytype;  // "rsa", "ed25519", "ed448" or an OpenSSL curve name
    bool digest;          // OpenSSL signs with SHA-2 (false for EdDSA)
    int sha;              // 256, 384 or 512
};

const Alg kRsa = {"sha256WithRSAEncryption", "rsa", true, 256};
const Alg kP256 = {"ecdsaWithSHA256", "prime256v1", true, 256};
const Alg kP384 = {"ecdsaWithSHA384", "secp384r1", true, 384};
const Alg kP521 = {"ecdsaWithSHA512", "secp521r1", true, 512};
const Alg kEd25519 = {"Ed25519", "ed25519", false, 0};
const Alg kEd448 = {"Ed448", "ed448", false, 0};

struct Keys {
    EVP_PKEY* pk = nullptr;
    std::string priv, pub;  // our key strings
};

std::string b64_der(int (*enc)(const EVP_PKEY*, unsigned char**), EVP_PKEY* pk) {
    unsigned char* p = nullptr;
    int n = enc(pk, &p);
    std::string s = b64_string(p, size_t(n));
    OPENSSL_free(p);
    return s;
}

int i2d_priv(const EVP_PKEY* k, unsigned char** p) {
    return i2d_PrivateKey(k, p);
}
int i2d_pub(const EVP_PKEY* k, unsigned char** p) {
    return i2d_PUBKEY(k, p);
}

Keys make_keys(const Alg* a) {
    Keys k;
    std::string t = a->keytype;
    if (t == "rsa")
        k.pk = EVP_RSA_gen(2048);
    else if (t == "ed25519")
        k.pk = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    else if (t == "ed448")
        k.pk = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED448");
    else
        k.pk = EVP_EC_gen(a->keytype);
    std::string priv = b64_der(i2d_priv, k.pk), pub = b64_der(i2d_pub, k.pk);
    // Internal key strings, as the key readers hand them out.
    std::vector<char> buf(8192);
    long n = t == "rsa" ? rsaReadAnyPrivateKey(buf.data(), long(buf.size()) - 1, priv.c_str(), "", 0)
                        : velt::ecc::eccReadPrivateKey(buf.data(), long(buf.size()) - 1, priv.c_str(), "", 0);
    k.priv = n > 0 ? std::string(buf.data(), size_t(n)) : priv;
    n = t == "rsa" ? rsaReadAnyPublicKey(buf.data(), long(buf.size()) - 1, pub.c_str(), 0)
                   : velt::ecc::eccReadPublicKey(buf.data(), long(buf.size()) - 1, pub.c_str(), 0);
    k.pub = n > 0 ? std::string(buf.data(), size_t(n)) : pub;
    return k;
}

const EVP_MD* md_of(const Alg* a) {
    if (!a->digest) return nullptr;
    return a->sha == 256 ? EVP_sha256() : a->sha == 384 ? EVP_sha384() : EVP_sha512();
}

const std::vector<unsigned char> kMsg(64, 0x61);

void sign_ours(benchmark::State& st, const Alg* a) {
    Keys k = make_keys(a);
    char out[1024];
    for (auto _ : st)
        if (SIG_SignData(out, sizeof out - 1, kMsg.data(), long(kMsg.size()), k.priv.c_str(), "", a->name,
                         0) <= 0)
            st.SkipWithError("SIG_SignData failed");
    EVP_PKEY_free(k.pk);
}

void verify_ours(benchmark::State& st, const Alg* a) {
    Keys k = make_keys(a);
    char sig[1024];
    if (SIG_SignData(sig, sizeof sig - 1, kMsg.data(), long(kMsg.size()), k.priv.c_str(), "", a->name, 0) <=
        0)
        st.SkipWithError("SIG_SignData failed");
    for (auto _ : st)
        if (SIG_VerifyData(sig, kMsg.data(), long(kMsg.size()), k.pub.c_str(), a->name, 0) != 0)
            st.SkipWithError("SIG_VerifyData failed");
    EVP_PKEY_free(k.pk);
}

void sign_openssl(benchmark::State& st, const Alg* a) {
    Keys k = make_keys(a);
    std::vector<unsigned char> sig(1024);
    for (auto _ : st) {
        EVP_MD_CTX* c = EVP_MD_CTX_new();
        size_t len = sig.size();
        if (EVP_DigestSignInit(c, nullptr, md_of(a), nullptr, k.pk) != 1 ||
            EVP_DigestSign(c, sig.data(), &len, kMsg.data(), kMsg.size()) != 1)
            st.SkipWithError("sign failed");
        EVP_MD_CTX_free(c);
    }
    EVP_PKEY_free(k.pk);
}

void verify_openssl(benchmark::State& st, const Alg* a) {
    Keys k = make_keys(a);
    std::vector<unsigned char> sig(1024);
    size_t len = sig.size();
    EVP_MD_CTX* c = EVP_MD_CTX_new();
    EVP_DigestSignInit(c, nullptr, md_of(a), nullptr, k.pk);
    EVP_DigestSign(c, sig.data(), &len, kMsg.data(), kMsg.size());
    EVP_MD_CTX_free(c);
    for (auto _ : st) {
        c = EVP_MD_CTX_new();
        if (EVP_DigestVerifyInit(c, nullptr, md_of(a), nullptr, k.pk) != 1 ||
            EVP_DigestVerify(c, sig.data(), len, kMsg.data(), kMsg.size()) != 1)
            st.SkipWithError("verify failed");
        EVP_MD_CTX_free(c);
    }
    EVP_PKEY_free(k.pk);
}

#define SIG_ROWS(var, label)                                                                                \
    BENCHMARK_CAPTURE(sign_ours, var, &var)->Name(label " sign/ours")->Unit(benchmark::kMicrosecond);       \
    BENCHMARK_CAPTURE(sign_openssl, var, &var)->Name(label " sign/openssl")->Unit(benchmark::kMicrosecond); \
    BENCHMARK_CAPTURE(verify_ours, var, &var)->Name(label " verify/ours")->Unit(benchmark::kMicrosecond);   \
    BENCHMARK_CAPTURE(verify_openssl, var, &var)->Name(label " verify/openssl")->Unit(benchmark::kMicrosecond)

SIG_ROWS(kRsa, "SIG RSA-2048 PKCS1 SHA-256");
SIG_ROWS(kP256, "SIG ECDSA P-256");
SIG_ROWS(kP384, "SIG ECDSA P-384");
SIG_ROWS(kP521, "SIG ECDSA P-521");
SIG_ROWS(kEd25519, "SIG Ed25519");
SIG_ROWS(kEd448, "SIG Ed448");

}  // namespace
