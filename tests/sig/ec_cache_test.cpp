// The prepared-key cache behind ECDSA and EdDSA signing and verification:
// key strings give the same values and codes as the files they came from,
// keys of the wrong kind still fail as before, the cache stays bounded, and
// a forked child starts without the parent's entries, and threads that race
// for the same entries all get right answers.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/test_util.h"
#include "ecc/keys.h"
#include "morvanevelt.h"

using velt::ecc::ecCacheClear;
using velt::ecc::ecCacheSize;
using velt::ecc::kEcCacheEntries;

namespace {

// A key as files (PKCS #8 private key and SPKI, PEM) and as key strings.
struct Key {
    std::string priv_file, pub_file, priv, pub;
};

Key make_key(const std::string& type, int n = 0) {
    EVP_PKEY* pk = type == "ed25519" ? EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")
                   : type == "ed448" ? EVP_PKEY_Q_keygen(nullptr, nullptr, "ED448")
                                     : EVP_EC_gen(type.c_str());
    const std::string tag = "eccache-" + type + "-" + std::to_string(n);
    Key k{testutil::temp_path(tag + "-priv.pem"), testutil::temp_path(tag + "-pub.pem"), "", ""};
    BIO* b = BIO_new_file(k.priv_file.c_str(), "w");
    PEM_write_bio_PrivateKey(b, pk, nullptr, nullptr, 0, nullptr, nullptr);
    BIO_free(b);
    b = BIO_new_file(k.pub_file.c_str(), "w");
    PEM_write_bio_PUBKEY(b, pk);
    BIO_free(b);
    EVP_PKEY_free(pk);
    std::vector<char> buf(4096);
    long len = ECC_ReadPrivateKey(buf.data(), long(buf.size()) - 1, k.priv_file.c_str(), "", 0);
    if (len > 0) k.priv.assign(buf.data(), size_t(len));
    len = ECC_ReadPublicKey(buf.data(), long(buf.size()) - 1, k.pub_file.c_str(), 0);
    if (len > 0) k.pub.assign(buf.data(), size_t(len));
    return k;
}

const std::vector<uint8_t> kMsg = {'c', 'a', 'c', 'h', 'e', 'd', ' ', 'k', 'e', 'y'};

// The signature text, or the negative code as text.
std::string sign(const std::string& key, const char* alg, long options) {
    char out[512];
    long n = SIG_SignData(out, sizeof out - 1, kMsg.data(), long(kMsg.size()), key.c_str(), "", alg, options);
    return n > 0 ? std::string(out, size_t(n)) : "error " + std::to_string(n);
}

long verify(const std::string& sig, const std::string& key, const char* alg, long options = 0) {
    return SIG_VerifyData(sig.c_str(), kMsg.data(), long(kMsg.size()), key.c_str(), alg, options);
}

struct Row {
    const char* type;
    const char* alg;
    long options;  // deterministic signing, so values can be compared
};

const Row kRows[] = {
    {"prime256v1", "ecdsaWithSHA256", VELT_SIG_DETERMINISTIC},
    {"secp384r1", "ecdsaWithSHA384", VELT_SIG_DETERMINISTIC | VELT_SIG_ASN1DER},
    {"secp521r1", "ecdsaWithSHA512", VELT_SIG_DETERMINISTIC},
    {"ed25519", "Ed25519", 0},
    {"ed448", "Ed448", 0},
};

}  // namespace

TEST(EcKeyCache, KeyStringsSignAndVerifyAsTheirFiles) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.alg);
        ecCacheClear();
        Key k = make_key(row.type);
        ASSERT_FALSE(k.priv.empty());
        ASSERT_FALSE(k.pub.empty());
        const std::string want = sign(k.priv_file, row.alg, row.options);
        ASSERT_EQ(want.rfind("error", 0), std::string::npos) << want;
        // First use fills the entry, the second takes it.
        EXPECT_EQ(sign(k.priv, row.alg, row.options), want);
        EXPECT_EQ(sign(k.priv, row.alg, row.options), want);
        EXPECT_EQ(ecCacheSize(), 1u);
        for (const std::string* key : {&k.pub, &k.pub, &k.priv, &k.pub_file})
            EXPECT_EQ(verify(want, *key, row.alg), 0);
        EXPECT_EQ(ecCacheSize(), 3u);  // signing and verifying entries of the private string, the public one
        // A changed message is refused through the cached key.
        std::string other = want;
        other[other.size() / 2] = other[other.size() / 2] == 'A' ? 'B' : 'A';
        EXPECT_NE(verify(other, k.pub, row.alg), 0);
    }
}

TEST(EcKeyCache, WrongKindsFailAsWithoutTheCache) {
    ecCacheClear();
    Key p256 = make_key("prime256v1"), ed = make_key("ed25519"), ed448 = make_key("ed448");
    struct Case {
        const std::string& key;
        const std::string& file;
        const char* alg;
    } sign_cases[] = {
        {ed.priv, ed.priv_file, "ecdsaWithSHA256"},    // safe-curve key for ECDSA
        {p256.priv, p256.priv_file, "Ed25519"},        // prime key for EdDSA
        {ed448.priv, ed448.priv_file, "Ed25519"},      // the other Edwards curve
        {p256.pub, p256.pub_file, "ecdsaWithSHA256"},  // public key for signing
    };
    for (const Case& c : sign_cases) {
        SCOPED_TRACE(c.alg);
        const std::string want = sign(c.file, c.alg, 0);
        ASSERT_EQ(want.rfind("error", 0), 0u) << want;
        for (int i = 0; i < 2; ++i) EXPECT_EQ(sign(c.key, c.alg, 0), want);
    }
    const std::string edsig = sign(ed.priv, "Ed25519", 0);
    const std::string psig = sign(p256.priv, "ecdsaWithSHA256", 0);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(verify(edsig, p256.pub, "Ed25519"), verify(edsig, p256.pub_file, "Ed25519"));
        EXPECT_EQ(verify(psig, ed.pub, "ecdsaWithSHA256"), verify(psig, ed.pub_file, "ecdsaWithSHA256"));
        EXPECT_EQ(verify(edsig, ed448.pub, "Ed25519"), verify(edsig, ed448.pub_file, "Ed25519"));
        // EdDSA with a digest is refused before any key is read.
        EXPECT_EQ(verify(edsig, ed.pub, "Ed25519", VELT_SIG_USEDIGEST), -19);
    }
    EXPECT_NE(verify(edsig, p256.pub, "Ed25519"), 0);
    // A damaged key string is never cached and fails as before.
    std::string bad = p256.priv;
    bad[bad.size() / 2] = bad[bad.size() / 2] == 'A' ? 'B' : 'A';
    const size_t before = ecCacheSize();
    const std::string err = sign(bad, "ecdsaWithSHA256", 0);
    EXPECT_EQ(err.rfind("error", 0), 0u);
    EXPECT_EQ(sign(bad, "ecdsaWithSHA256", 0), err);
    EXPECT_EQ(ecCacheSize(), before);
}

TEST(EcKeyCache, BoundedAndEvictsTheLeastRecentlyUsed) {
    ecCacheClear();
    std::vector<Key> keys;
    for (size_t i = 0; i < kEcCacheEntries + 3; ++i) keys.push_back(make_key("prime256v1", int(i)));
    std::vector<std::string> sigs;
    for (const Key& k : keys) {
        sigs.push_back(sign(k.priv, "ecdsaWithSHA256", 0));
        EXPECT_LE(ecCacheSize(), kEcCacheEntries);
    }
    EXPECT_EQ(ecCacheSize(), kEcCacheEntries);
    // Evicted keys are read again and still work.
    for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(verify(sigs[i], keys[i].pub, "ecdsaWithSHA256"), 0);
    EXPECT_EQ(verify(sign(keys[0].priv, "ecdsaWithSHA256", 0), keys[0].pub, "ecdsaWithSHA256"), 0);
    EXPECT_EQ(ecCacheSize(), kEcCacheEntries);
}

TEST(EcKeyCache, ForkedChildStartsEmpty) {
    ecCacheClear();
    Key k = make_key("prime256v1");
    const std::string sig = sign(k.priv, "ecdsaWithSHA256", 0);
    ASSERT_EQ(verify(sig, k.pub, "ecdsaWithSHA256"), 0);
    ASSERT_EQ(ecCacheSize(), 2u);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        bool ok = ecCacheSize() == 0;
        ok = ok && verify(sig, k.pub, "ecdsaWithSHA256") == 0 && ecCacheSize() == 1;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ecCacheSize(), 2u);
}

TEST(EcKeyCache, ThreadsShareAndRaceForEntries) {
    // Four threads sign and verify, from an empty cache, with key strings all
    // of them share and with one of their own each, so first uses, the
    // per-key verification tables built on a second use, and evictions race.
    ecCacheClear();
    struct Case {
        Key key;
        const Row* row;
        std::string want;
    };
    std::vector<Case> cases;
    for (int i = 0; i < 6; ++i) {
        const Row& row = kRows[i % 2 == 0 ? 0 : 3];  // P-256 and Ed25519, both deterministic here
        Case c{make_key(row.type, 100 + i), &row, ""};
        c.want = sign(c.key.priv_file, row.alg, row.options);  // read from the file, not the cache
        ASSERT_EQ(c.want.rfind("error", 0), std::string::npos) << c.want;
        cases.push_back(c);
    }
    ecCacheClear();
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const size_t order[3] = {0, 1, size_t(2 + t)};  // 0 and 1 are shared
            for (int i = 0; i < 30; ++i) {
                const Case& c = cases[order[i % 3]];
                if (sign(c.key.priv, c.row->alg, c.row->options) != c.want) ++wrong;
                if (verify(c.want, c.key.pub, c.row->alg) != 0) ++wrong;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_LE(ecCacheSize(), kEcCacheEntries);
}
