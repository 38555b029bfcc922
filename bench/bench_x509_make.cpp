// Certificates made per second: X509_MakeCert (issuer key as a key string,
// subject key as a public key string, DER written to tmpfs) beside OpenSSL
// building the same TBSCertificate, signing it with X509_sign and writing
// its DER to tmpfs.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ecc/keys.h"
#include "encode/encode.h"
#include "morvanevelt.h"
#include "rsa/rsa.h"

namespace {

struct Issuer {
    bool rsa;
    long options;
};
const Issuer kRsaIssuer{true, VELT_SIG_SHA256WITHRSA};
const Issuer kP256Issuer{false, VELT_SIG_ECDSA_SHA256};

std::string shm_path(const char* name) {
    return std::string("/dev/shm/velt-bench-") + std::to_string(getpid()) + "-" + name;
}

std::string der_b64(int (*enc)(const EVP_PKEY*, unsigned char**), EVP_PKEY* pk) {
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

struct Setup {
    EVP_PKEY* issuerKey = nullptr;
    EVP_PKEY* subjectKey = nullptr;
    std::string issuerKeyString, subjectPub, caFile;
    X509* ca = nullptr;

    explicit Setup(const Issuer& is) {
        issuerKey = is.rsa ? EVP_RSA_gen(2048) : EVP_EC_gen("prime256v1");
        subjectKey = EVP_EC_gen("prime256v1");
        std::string priv = der_b64(i2d_priv, issuerKey);
        std::vector<char> buf(8192);
        long n = is.rsa ? rsaReadAnyPrivateKey(buf.data(), long(buf.size()) - 1, priv.c_str(), "", 0)
                        : velt::ecc::eccReadPrivateKey(buf.data(), long(buf.size()) - 1, priv.c_str(), "", 0);
        issuerKeyString = n > 0 ? std::string(buf.data(), size_t(n)) : priv;
        subjectPub = der_b64(i2d_pub, subjectKey);
        caFile = shm_path(is.rsa ? "ca-rsa.cer" : "ca-p256.cer");
        X509_MakeCertSelf(caFile.c_str(), issuerKeyString.c_str(), 1, 10, "CN=Bench CA", "", 0, "",
                          is.options);
        FILE* f = fopen(caFile.c_str(), "rb");
        if (f) {
            ca = d2i_X509_fp(f, nullptr);
            fclose(f);
        }
    }
    ~Setup() {
        X509_free(ca);
        EVP_PKEY_free(issuerKey);
        EVP_PKEY_free(subjectKey);
        unlink(caFile.c_str());
    }
};

void make_ours(benchmark::State& st, const Issuer* is) {
    Setup s(*is);
    const std::string out = shm_path("ours.cer");
    long serial = 1000;
    for (auto _ : st)
        if (X509_MakeCert(out.c_str(), s.caFile.c_str(), s.subjectPub.c_str(), s.issuerKeyString.c_str(),
                          serial++, 1, "CN=leaf.example;O=Bench", "dnsname=leaf.example", 0x1, "",
                          is->options) != 0)
            st.SkipWithError("X509_MakeCert failed");
    unlink(out.c_str());
}

void make_openssl(benchmark::State& st, const Issuer* is) {
    Setup s(*is);
    if (!s.ca) st.SkipWithError("CA not made");
    const std::string out = shm_path("openssl.cer");
    long serial = 1000;
    for (auto _ : st) {
        X509* x = X509_new();
        X509_set_version(x, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(x), serial++);
        X509_set_issuer_name(x, X509_get_subject_name(s.ca));
        X509_NAME* name = X509_get_subject_name(x);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("leaf.example"), -1, -1, 0);
        X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Bench"),
                                   -1, -1, 0);
        X509_gmtime_adj(X509_getm_notBefore(x), 0);
        X509_time_adj_ex(X509_getm_notAfter(x), 365, 0, nullptr);
        X509_set_pubkey(x, s.subjectKey);
        X509V3_CTX ctx;
        X509V3_set_ctx(&ctx, s.ca, x, nullptr, nullptr, 0);
        for (const auto& [nid, value] :
             {std::pair<int, const char*>{NID_basic_constraints, "critical,CA:FALSE"},
              {NID_key_usage, "critical,digitalSignature"},
              {NID_subject_alt_name, "DNS:leaf.example"}}) {
            X509_EXTENSION* e = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
            X509_add_ext(x, e, -1);
            X509_EXTENSION_free(e);
        }
        if (X509_sign(x, s.issuerKey, EVP_sha256()) <= 0) st.SkipWithError("X509_sign failed");
        FILE* f = fopen(out.c_str(), "wb");
        if (!f || i2d_X509_fp(f, x) != 1) st.SkipWithError("write failed");
        if (f) {
            fflush(f);
            fsync(fileno(f));
            fclose(f);
        }
        X509_free(x);
    }
    unlink(out.c_str());
}

BENCHMARK_CAPTURE(make_ours, rsa, &kRsaIssuer)
    ->Name("X509 make cert RSA-2048 issuer/ours")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(make_openssl, rsa, &kRsaIssuer)
    ->Name("X509 make cert RSA-2048 issuer/openssl")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(make_ours, p256, &kP256Issuer)
    ->Name("X509 make cert P-256 issuer/ours")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(make_openssl, p256, &kP256Issuer)
    ->Name("X509 make cert P-256 issuer/openssl")
    ->Unit(benchmark::kMicrosecond);

}  // namespace
