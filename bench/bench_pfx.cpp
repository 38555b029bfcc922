// PKCS #12 reading: PFX_VerifySig then RSA_ReadPrivateKeyFromPFX beside
// libcrypto's PKCS12_parse (both check the MAC and decrypt the certificate
// and key bags: three derivations) on a 2048-bit key file made by
// `openssl pkcs12 -export` with its defaults (PBES2 AES-256-CBC with
// PBKDF2-HMAC-SHA-256, HMAC-SHA-256 MAC, 2048 iterations) and with -legacy
// (PKCS #12 derivations, RC2-40 and Triple DES, HMAC-SHA-1). Median of
// several repetitions.
#include <benchmark/benchmark.h>
#include <openssl/bio.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "morvanevelt.h"

namespace {

const char kPassword[] = "bench-password";

struct Files {
    bool ok = false;
    std::string modern, legacy;
};

const Files& files() {
    static Files f = [] {
        Files v;
        char tmpl[] = "/tmp/velt-bench-pfx-XXXXXX";
        if (!mkdtemp(tmpl)) return v;
        const std::string dir = tmpl;
        const std::string base =
            "cd " + dir +
            " && openssl req -x509 -newkey rsa:2048 -nodes -keyout k.pem -out c.pem -subj "
            "/CN=bench -days 30 >/dev/null 2>&1";
        const std::string exp =
            " && openssl pkcs12 -export -inkey k.pem -in c.pem -passout pass:" + std::string(kPassword);
        if (std::system((base + exp + " -out modern.p12" + exp + " -legacy -out legacy.p12").c_str()) != 0)
            return v;
        v.modern = dir + "/modern.p12";
        v.legacy = dir + "/legacy.p12";
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
        v.ok = true;
        return v;
    }();
    return f;
}

void read_ours(benchmark::State& state, bool legacy) {
    const Files& f = files();
    if (!f.ok) {
        state.SkipWithError("openssl command not available");
        return;
    }
    const std::string& file = legacy ? f.legacy : f.modern;
    std::vector<char> key(4096);
    for (auto _ : state) {
        if (PFX_VerifySig(file.c_str(), kPassword, 0) != 0 ||
            RSA_ReadPrivateKeyFromPFX(key.data(), long(key.size()) - 1, file.c_str(), kPassword, 0) <= 0) {
            state.SkipWithError("read failed");
            break;
        }
    }
}

void read_openssl(benchmark::State& state, bool legacy) {
    const Files& f = files();
    if (!f.ok) {
        state.SkipWithError("openssl command not available");
        return;
    }
    const std::string& file = legacy ? f.legacy : f.modern;
    for (auto _ : state) {
        BIO* bio = BIO_new_file(file.c_str(), "rb");
        PKCS12* p12 = bio ? d2i_PKCS12_bio(bio, nullptr) : nullptr;
        EVP_PKEY* pkey = nullptr;
        X509* cert = nullptr;
        const bool ok = p12 && PKCS12_parse(p12, kPassword, &pkey, &cert, nullptr) == 1;
        EVP_PKEY_free(pkey);
        X509_free(cert);
        PKCS12_free(p12);
        BIO_free(bio);
        if (!ok) {
            state.SkipWithError("PKCS12_parse failed");
            break;
        }
    }
}

}  // namespace

BENCHMARK_CAPTURE(read_ours, modern, false)
    ->Name("PKCS12 verify+read RSA-2048 default/ours")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(read_openssl, modern, false)
    ->Name("PKCS12 verify+read RSA-2048 default/openssl")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(read_ours, legacy, true)
    ->Name("PKCS12 verify+read RSA-2048 legacy/ours")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(read_openssl, legacy, true)
    ->Name("PKCS12 verify+read RSA-2048 legacy/openssl")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
