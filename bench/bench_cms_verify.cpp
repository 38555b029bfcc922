// Signed-data verification through CMS_VerifySigData (the object read from
// its file on every call) beside OpenSSL's d2i_CMS_bio + CMS_verify, for
// attached and detached signatures (SHA-256, signed attributes) by RSA-2048
// and P-256; and BIGFILE verification of a large streamed file with the
// peak resident size of a child process that does only that.
//
// The default run uses 1 MiB; VELT_BENCH_CMS_LARGE=1 adds the 50 MiB rows
// and VELT_BENCH_CMS_BIGFILE_MB sets the BIGFILE size (default 64).
#include <benchmark/benchmark.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "morvanevelt.h"

namespace {

struct Signed {
    std::string att, det, content, hexDigest;
    bool ok = false;
};

X509* self_signed(EVP_PKEY* pk) {
    X509* x = X509_new();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_gmtime_adj(X509_getm_notBefore(x), 0);
    X509_gmtime_adj(X509_getm_notAfter(x), 86400);
    X509_NAME* n = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(n, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("bench"), -1, -1,
                               0);
    X509_set_issuer_name(x, n);
    X509_set_pubkey(x, pk);
    X509_sign(x, pk, EVP_sha256());
    return x;
}

bool write_cms(const std::string& path, CMS_ContentInfo* cms, BIO* in, int flags) {
    BIO* out = BIO_new_file(path.c_str(), "wb");
    bool ok = out && i2d_CMS_bio_stream(out, cms, in, flags) == 1;
    BIO_free(out);
    return ok;
}

// Fixture files are large: they are removed when the program ends.
std::vector<std::string>& made_files() {
    static std::vector<std::string> files;
    static const bool registered = [] {
        std::atexit([] {
            for (const auto& f : made_files()) std::remove(f.c_str());
        });
        return true;
    }();
    (void)registered;
    return files;
}

// Resident size of this process in MiB.
double rss_mib() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Content of mib MiB and its attached and detached signed-data files.
Signed make(const char* tag, bool rsa, size_t mib, bool stream = false) {
    Signed s;
    std::string base = std::string("/tmp/velt_bench_cms_") + tag + "_" + std::to_string(mib);
    s.content = base + ".bin";
    s.att = base + (stream ? ".stream.p7m" : ".p7m");
    s.det = base + ".p7s";
    made_files().insert(made_files().end(), {s.content, s.att, s.det});
    {
        FILE* f = std::fopen(s.content.c_str(), "wb");
        if (!f) return s;
        std::vector<unsigned char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 131 + 7);
        for (size_t i = 0; i < mib; ++i) std::fwrite(block.data(), 1, block.size(), f);
        std::fclose(f);
    }
    EVP_PKEY* pk = rsa ? EVP_RSA_gen(2048) : EVP_EC_gen("prime256v1");
    X509* cert = self_signed(pk);
    const int base_flags = CMS_BINARY | CMS_STREAM;
    s.ok = true;
    for (int detached = 0; detached < 2; ++detached) {
        if (stream && detached) break;
        BIO* in = BIO_new_file(s.content.c_str(), "rb");
        int flags = base_flags | (detached ? CMS_DETACHED : 0);
        CMS_ContentInfo* cms = CMS_sign(cert, pk, nullptr, in, flags);
        if (!stream) {
            // A definite-length encoding, as most senders store it.
            BIO_free(in);
            in = BIO_new_file(s.content.c_str(), "rb");
            CMS_ContentInfo_free(cms);
            cms = CMS_sign(cert, pk, nullptr, in, flags & ~CMS_STREAM);
            BIO* out = BIO_new_file((detached ? s.det : s.att).c_str(), "wb");
            s.ok = s.ok && cms && out && i2d_CMS_bio(out, cms) == 1;
            BIO_free(out);
        } else {
            s.ok = s.ok && cms && write_cms(s.att, cms, in, flags);
        }
        CMS_ContentInfo_free(cms);
        BIO_free(in);
    }
    X509_free(cert);
    EVP_PKEY_free(pk);
    char hex[129];
    s.ok = s.ok && HASH_HexFromFile(hex, 128, s.content.c_str(), 3) == 64;
    s.hexDigest = hex;
    return s;
}

const Signed& fixture(const char* tag, bool rsa, size_t mib) {
    static std::vector<std::pair<std::string, Signed>> cache;
    std::string key = std::string(tag) + std::to_string(mib);
    for (auto& c : cache)
        if (c.first == key) return c.second;
    cache.emplace_back(key, make(tag, rsa, mib));
    return cache.back().second;
}

void verify_ours(benchmark::State& st, const char* tag, bool rsa, size_t mib, bool detached) {
    const Signed& s = fixture(tag, rsa, mib);
    if (!s.ok) st.SkipWithError("fixture not made");
    char hex[129];
    for (auto _ : st) {
        long rc;
        if (detached) {
            // The caller digests the detached content itself.
            HASH_HexFromFile(hex, 128, s.content.c_str(), 3);
            rc = CMS_VerifySigData(s.det.c_str(), "", hex, 0);
        } else {
            rc = CMS_VerifySigData(s.att.c_str(), "", "", 0);
        }
        if (rc != 0) st.SkipWithError("CMS_VerifySigData failed");
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(mib << 20));
}

void verify_openssl(benchmark::State& st, const char* tag, bool rsa, size_t mib, bool detached) {
    const Signed& s = fixture(tag, rsa, mib);
    if (!s.ok) st.SkipWithError("fixture not made");
    for (auto _ : st) {
        BIO* in = BIO_new_file((detached ? s.det : s.att).c_str(), "rb");
        CMS_ContentInfo* cms = d2i_CMS_bio(in, nullptr);
        BIO* dcont = detached ? BIO_new_file(s.content.c_str(), "rb") : nullptr;
        BIO* out = BIO_new(BIO_s_null());
        if (!cms ||
            CMS_verify(cms, nullptr, nullptr, dcont, out, CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY) != 1)
            st.SkipWithError("CMS_verify failed");
        BIO_free(out);
        BIO_free(dcont);
        CMS_ContentInfo_free(cms);
        BIO_free(in);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(mib << 20));
}

// BIGFILE verification in a child process; its peak RSS is reported.
void bigfile_ours(benchmark::State& st) {
    const char* env = std::getenv("VELT_BENCH_CMS_BIGFILE_MB");
    size_t mib = env ? size_t(std::atol(env)) : 64;
    static Signed s = make("big", true, mib, true);
    if (!s.ok) st.SkipWithError("fixture not made");
    double rss = 0, parent = 0;
    for (auto _ : st) {
        // The child's peak counts the pages it shares with this process at
        // the fork; that part is reported apart.
        parent = rss_mib();
        pid_t pid = fork();
        if (pid == 0) _exit(CMS_VerifySigData(s.att.c_str(), "", "", VELT_CMS_BIGFILE) == 0 ? 0 : 1);
        int status = 0;
        struct rusage ru {};
        wait4(pid, &status, 0, &ru);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) st.SkipWithError("BIGFILE verification failed");
        rss = double(ru.ru_maxrss) / 1024.0;
    }
    st.counters["peak_rss_MiB"] = rss;
    st.counters["rss_at_fork_MiB"] = parent;
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(mib << 20));
}

#define CMS_ROW(label, tag, rsa, mib, det)                                \
    BENCHMARK_CAPTURE(verify_ours, tag##mib##det, #tag, rsa, mib, det)    \
        ->Name(label "/ours")                                             \
        ->Unit(benchmark::kMillisecond);                                  \
    BENCHMARK_CAPTURE(verify_openssl, tag##mib##det, #tag, rsa, mib, det) \
        ->Name(label "/openssl")                                          \
        ->Unit(benchmark::kMillisecond)

CMS_ROW("CMS verify RSA-2048 attached 1 MiB", rsa, true, 1, false);
CMS_ROW("CMS verify RSA-2048 detached 1 MiB", rsa, true, 1, true);
CMS_ROW("CMS verify P-256 attached 1 MiB", p256, false, 1, false);
CMS_ROW("CMS verify P-256 detached 1 MiB", p256, false, 1, true);

bool large() {
    const char* e = std::getenv("VELT_BENCH_CMS_LARGE");
    return e && *e == '1';
}

[[maybe_unused]] const bool kLargeRows = [] {
    if (!large()) return false;
    benchmark::RegisterBenchmark("CMS verify RSA-2048 attached 50 MiB/ours", verify_ours, "rsa", true, 50,
                                 false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CMS verify RSA-2048 attached 50 MiB/openssl", verify_openssl, "rsa", true,
                                 50, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CMS verify RSA-2048 detached 50 MiB/ours", verify_ours, "rsa", true, 50,
                                 true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CMS verify RSA-2048 detached 50 MiB/openssl", verify_openssl, "rsa", true,
                                 50, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CMS verify P-256 attached 50 MiB/ours", verify_ours, "p256", false, 50,
                                 false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CMS verify P-256 attached 50 MiB/openssl", verify_openssl, "p256", false,
                                 50, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CMS verify P-256 detached 50 MiB/ours", verify_ours, "p256", false, 50,
                                 true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CMS verify P-256 detached 50 MiB/openssl", verify_openssl, "p256", false,
                                 50, true)
        ->Unit(benchmark::kMillisecond);
    return true;
}();

BENCHMARK(bigfile_ours)
    ->Name("CMS BIGFILE verify RSA-2048 streamed")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
