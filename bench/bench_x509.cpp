// Certificate parse+verify: X509_VerifyCert with the certificate and its
// issuer as in-memory base64 beside base64 decoding, d2i_X509 of both and
// X509_verify; and parse-only rows (both certificates read) on each side.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "encode/encode.h"
#include "morvanevelt.h"
#include "x509/x509.h"

namespace {

struct Pair {
    std::string leaf, issuer;  // base64 DER
};

X509* make_cert(EVP_PKEY* subjectKey, EVP_PKEY* issuerKey, X509* issuer, const char* cn, long serial) {
    X509* c = X509_new();
    X509_set_version(c, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(c), serial);
    X509_gmtime_adj(X509_getm_notBefore(c), 0);
    X509_gmtime_adj(X509_getm_notAfter(c), 86400L * 365);
    X509_NAME* n = X509_get_subject_name(c);
    X509_NAME_add_entry_by_txt(n, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Bench"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(n, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn), -1, -1, 0);
    X509_set_issuer_name(c, issuer ? X509_get_subject_name(issuer) : n);
    X509_set_pubkey(c, subjectKey);
    X509_sign(c, issuerKey, EVP_sha256());
    return c;
}

std::string b64_of(X509* c) {
    unsigned char* p = nullptr;
    int n = i2d_X509(c, &p);
    std::string s = b64_string(p, size_t(n));
    OPENSSL_free(p);
    return s;
}

// A CA (RSA-2048 or P-256) and a P-256 leaf it issued.
Pair make_pair(bool rsa) {
    EVP_PKEY* caKey = rsa ? EVP_RSA_gen(2048) : EVP_EC_gen("prime256v1");
    EVP_PKEY* leafKey = EVP_EC_gen("prime256v1");
    X509* ca = make_cert(caKey, caKey, nullptr, "Bench CA", 1);
    X509* leaf = make_cert(leafKey, caKey, ca, "leaf", 2);
    Pair p{b64_of(leaf), b64_of(ca)};
    X509_free(leaf);
    X509_free(ca);
    EVP_PKEY_free(caKey);
    EVP_PKEY_free(leafKey);
    return p;
}

const Pair& pair_of(bool rsa) {
    static const Pair r = make_pair(true), e = make_pair(false);
    return rsa ? r : e;
}

X509* openssl_parse(const std::string& b64) {
    std::vector<unsigned char> der(b64.size());
    int n = EVP_DecodeBlock(der.data(), reinterpret_cast<const unsigned char*>(b64.data()), int(b64.size()));
    if (n < 0) return nullptr;
    // EVP_DecodeBlock counts the padding octets as zeros.
    if (b64.size() >= 1 && b64.end()[-1] == '=') --n;
    if (b64.size() >= 2 && b64.end()[-2] == '=') --n;
    const unsigned char* p = der.data();
    return d2i_X509(nullptr, &p, n);
}

void verify_ours(benchmark::State& st, bool rsa) {
    const Pair& p = pair_of(rsa);
    for (auto _ : st)
        if (X509_VerifyCert(p.leaf.c_str(), p.issuer.c_str(), 0) != 0)
            st.SkipWithError("X509_VerifyCert failed");
}

void verify_openssl(benchmark::State& st, bool rsa) {
    const Pair& p = pair_of(rsa);
    for (auto _ : st) {
        X509* leaf = openssl_parse(p.leaf);
        X509* ca = openssl_parse(p.issuer);
        if (!leaf || !ca || X509_verify(leaf, X509_get0_pubkey(ca)) != 1)
            st.SkipWithError("X509_verify failed");
        X509_free(leaf);
        X509_free(ca);
    }
}

void parse_ours(benchmark::State& st, bool rsa) {
    const Pair& p = pair_of(rsa);
    for (auto _ : st) {
        AsnNode* leaf = x509readCertFromFileOrString(p.leaf.c_str());
        AsnNode* ca = x509readCertFromFileOrString(p.issuer.c_str());
        if (!leaf || !ca) st.SkipWithError("read failed");
        asn_Free(&leaf);
        asn_Free(&ca);
    }
}

void parse_openssl(benchmark::State& st, bool rsa) {
    const Pair& p = pair_of(rsa);
    for (auto _ : st) {
        X509* leaf = openssl_parse(p.leaf);
        X509* ca = openssl_parse(p.issuer);
        if (!leaf || !ca) st.SkipWithError("d2i_X509 failed");
        X509_free(leaf);
        X509_free(ca);
    }
}

#define X509_ROWS(rsa, label)                                                                          \
    BENCHMARK_CAPTURE(verify_ours, rsa, rsa)                                                           \
        ->Name(label " parse+verify/ours")                                                             \
        ->Unit(benchmark::kMicrosecond);                                                               \
    BENCHMARK_CAPTURE(verify_openssl, rsa, rsa)                                                        \
        ->Name(label " parse+verify/openssl")                                                          \
        ->Unit(benchmark::kMicrosecond);                                                               \
    BENCHMARK_CAPTURE(parse_ours, rsa, rsa)->Name(label " parse/ours")->Unit(benchmark::kMicrosecond); \
    BENCHMARK_CAPTURE(parse_openssl, rsa, rsa)->Name(label " parse/openssl")->Unit(benchmark::kMicrosecond)

X509_ROWS(true, "X509 RSA-2048-signed cert");
X509_ROWS(false, "X509 P-256-signed cert");

}  // namespace
