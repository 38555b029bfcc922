// CMS signed-data making: CMS_MakeSigData beside libcrypto's CMS_sign with
// the same options (SHA-256, signed attributes, binary content), attached
// and detached, 1 MiB and 50 MiB files, RSA-2048 and P-256; and streaming
// (VELT_CMS_BIGFILE beside CMS_sign with CMS_STREAM) of a large file, each
// run in a child process so that its peak resident set can be reported.
// The large file's size is $VELT_BENCH_BIGFILE_MIB (default 256).
#include <benchmark/benchmark.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/pem.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "morvanevelt.h"

namespace {

struct Signer {
    std::string certFile, keyString;
    X509* cert = nullptr;
    EVP_PKEY* pkey = nullptr;
    long alg = 0;
};

struct Setup {
    bool ok = false;
    std::string dir;
    Signer rsa, ec;
    std::string file1, file50, bigFile;
    size_t bigMiB = 256;
};

std::string read_key_string(const std::string& file, bool ec) {
    std::vector<char> buf(8192);
    long n = ec ? ECC_ReadPrivateKey(buf.data(), long(buf.size()) - 1, file.c_str(), "", 0)
                : RSA_ReadAnyPrivateKey(buf.data(), long(buf.size()) - 1, file.c_str(), "", 0);
    return n > 0 ? std::string(buf.data(), size_t(n)) : std::string();
}

bool make_signer(Signer& s, const std::string& dir, const char* name, const char* keyopt, bool ec, long alg) {
    std::string cmd = "cd " + dir + " && openssl req -x509 " + keyopt + " -nodes -keyout " + name +
                      ".key -out " + name + ".crt -subj /CN=" + name + " -days 30 >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return false;
    s.certFile = dir + "/" + name + ".crt";
    s.keyString = read_key_string(dir + "/" + name + ".key", ec);
    s.alg = alg;
    FILE* f = std::fopen(s.certFile.c_str(), "r");
    if (!f) return false;
    s.cert = PEM_read_X509(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    f = std::fopen((dir + "/" + name + ".key").c_str(), "r");
    if (!f) return false;
    s.pkey = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    return s.cert && s.pkey && !s.keyString.empty();
}

bool make_file(const std::string& path, size_t mib) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::vector<unsigned char> block(size_t(1) << 20);
    for (size_t i = 0; i < block.size(); i++) block[i] = static_cast<unsigned char>(i * 131 + (i >> 9));
    bool ok = true;
    for (size_t i = 0; i < mib && ok; i++) {
        block[0] = static_cast<unsigned char>(i);
        ok = std::fwrite(block.data(), 1, block.size(), f) == block.size();
    }
    return std::fclose(f) == 0 && ok;
}

Setup build() {
    Setup s;
    char tmpl[] = "/tmp/velt-bench-cms-XXXXXX";
    if (!mkdtemp(tmpl)) return s;
    s.dir = tmpl;
    if (const char* e = std::getenv("VELT_BENCH_BIGFILE_MIB"))
        s.bigMiB = size_t(std::strtoul(e, nullptr, 10));
    s.file1 = s.dir + "/content1";
    s.file50 = s.dir + "/content50";
    s.bigFile = s.dir + "/contentbig";
    s.ok = make_signer(s.rsa, s.dir, "rsa", "-newkey rsa:2048", false, VELT_SIG_SHA256WITHRSA) &&
           make_signer(s.ec, s.dir, "ec", "-newkey ec -pkeyopt ec_paramgen_curve:P-256", true,
                       VELT_SIG_ECDSA_SHA256) &&
           make_file(s.file1, 1) && make_file(s.file50, 50);
    return s;
}

Setup& setup() {
    static Setup s = build();
    return s;
}

struct Case {
    const Signer* (*signer)();
    const std::string* (*file)();
    bool detached;
};

const Signer* rsa() {
    return &setup().rsa;
}
const Signer* ec() {
    return &setup().ec;
}
const std::string* mib1() {
    return &setup().file1;
}
const std::string* mib50() {
    return &setup().file50;
}

void sign_ours(benchmark::State& st, Case c) {
    Setup& s = setup();
    if (!s.ok) return st.SkipWithError("fixtures not made (openssl command)");
    const Signer* g = c.signer();
    const std::string out = s.dir + "/ours.p7";
    long opts = g->alg | VELT_CMS_INCLUDE_ATTRS | (c.detached ? VELT_CMS_EXCLUDE_DATA : 0);
    for (auto _ : st)
        if (CMS_MakeSigData(out.c_str(), c.file()->c_str(), g->certFile.c_str(), g->keyString.c_str(),
                            opts) != 0)
            return st.SkipWithError("CMS_MakeSigData failed");
}

void sign_openssl(benchmark::State& st, Case c) {
    Setup& s = setup();
    if (!s.ok) return st.SkipWithError("fixtures not made (openssl command)");
    const Signer* g = c.signer();
    const std::string out = s.dir + "/openssl.p7";
    unsigned flags = CMS_BINARY | (c.detached ? CMS_DETACHED : 0);
    for (auto _ : st) {
        BIO* in = BIO_new_file(c.file()->c_str(), "rb");
        CMS_ContentInfo* cms = CMS_sign(g->cert, g->pkey, nullptr, in, flags);
        BIO* o = BIO_new_file(out.c_str(), "wb");
        int ok = cms && o && i2d_CMS_bio(o, cms);
        BIO_free(o);
        CMS_ContentInfo_free(cms);
        BIO_free(in);
        if (!ok) return st.SkipWithError("CMS_sign failed");
    }
}

// Runs fn in a child process; the child's peak resident set in MiB, or -1.
template <class Fn>
double child_peak_mib(Fn fn) {
    pid_t pid = fork();
    if (pid == 0) _exit(fn() ? 0 : 1);
    int status = 0;
    struct rusage ru {};
    if (pid < 0 || wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return double(ru.ru_maxrss) / 1024.0;
}

bool ensure_big_file() {
    Setup& s = setup();
    static bool made = s.ok && make_file(s.bigFile, s.bigMiB);
    return made;
}

void bigfile_ours(benchmark::State& st) {
    Setup& s = setup();
    if (!ensure_big_file()) return st.SkipWithError("large file not made");
    const std::string out = s.dir + "/ours_big.p7";
    double peak = 0;
    for (auto _ : st) {
        peak = child_peak_mib([&] {
            return CMS_MakeSigData(out.c_str(), s.bigFile.c_str(), s.rsa.certFile.c_str(),
                                   s.rsa.keyString.c_str(),
                                   VELT_SIG_SHA256WITHRSA | VELT_CMS_INCLUDE_ATTRS | VELT_CMS_BIGFILE) == 0;
        });
        if (peak < 0) return st.SkipWithError("BIGFILE signing failed");
    }
    st.counters["peak_rss_MiB"] = peak;
    st.counters["MiB"] = double(s.bigMiB);
    std::remove(out.c_str());
}

void bigfile_openssl(benchmark::State& st) {
    Setup& s = setup();
    if (!ensure_big_file()) return st.SkipWithError("large file not made");
    const std::string out = s.dir + "/openssl_big.p7";
    double peak = 0;
    for (auto _ : st) {
        peak = child_peak_mib([&] {
            BIO* in = BIO_new_file(s.bigFile.c_str(), "rb");
            CMS_ContentInfo* cms = CMS_sign(s.rsa.cert, s.rsa.pkey, nullptr, in, CMS_BINARY | CMS_STREAM);
            BIO* o = BIO_new_file(out.c_str(), "wb");
            int ok = cms && o && i2d_CMS_bio_stream(o, cms, in, CMS_BINARY | CMS_STREAM);
            BIO_free(o);
            CMS_ContentInfo_free(cms);
            BIO_free(in);
            return ok == 1;
        });
        if (peak < 0) return st.SkipWithError("CMS_sign streaming failed");
    }
    st.counters["peak_rss_MiB"] = peak;
    st.counters["MiB"] = double(s.bigMiB);
    std::remove(out.c_str());
}

#define CMS_SIGN_ROW(label, signer, file, detached)                      \
    BENCHMARK_CAPTURE(sign_ours, label, Case{signer, file, detached})    \
        ->Name("CMS sign " label "/ours")                                \
        ->Unit(benchmark::kMillisecond);                                 \
    BENCHMARK_CAPTURE(sign_openssl, label, Case{signer, file, detached}) \
        ->Name("CMS sign " label "/openssl")                             \
        ->Unit(benchmark::kMillisecond)

CMS_SIGN_ROW("RSA-2048 attached 1MiB", rsa, mib1, false);
CMS_SIGN_ROW("RSA-2048 detached 1MiB", rsa, mib1, true);
CMS_SIGN_ROW("RSA-2048 attached 50MiB", rsa, mib50, false);
CMS_SIGN_ROW("RSA-2048 detached 50MiB", rsa, mib50, true);
CMS_SIGN_ROW("P-256 attached 1MiB", ec, mib1, false);
CMS_SIGN_ROW("P-256 detached 1MiB", ec, mib1, true);
CMS_SIGN_ROW("P-256 attached 50MiB", ec, mib50, false);
CMS_SIGN_ROW("P-256 detached 50MiB", ec, mib50, true);
BENCHMARK(bigfile_ours)->Name("CMS sign BIGFILE RSA-2048/ours")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(bigfile_openssl)
    ->Name("CMS sign BIGFILE RSA-2048/openssl")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
