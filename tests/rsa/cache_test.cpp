// The key cache: results through it, its blinding pairs (squared, drawn
// afresh, never shared with a forked child), eviction with wiping, keys
// that do not read, and threads sharing entries.
#include <openssl/bn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "frame/error.h"
#include "morvanevelt.h"
#include "rng/rng.h"
#include "rsa/rsa_cache.h"
#include "rsa/rsa_fixture.h"
#include "rsa/rsa_int.h"

using namespace rsatest;
using testutil::Bytes;

namespace {

Bytes random_below_top(size_t k) {
    Bytes b(k);
    rngNonce(b.data(), long(k));
    b[0] = 0x00;
    return b;
}

// The same key under a fresh wrapping (a new IV): a different key string.
std::string rewrapped(const std::string& priv) {
    RsaKey* key = private_record(priv);
    std::string s(rsaPrivateKeyString(key, 0).c_str());
    rsaFree(&key);
    return s;
}

BIGNUM* bn_of_limbs(const uint64_t* l, size_t nl) {
    Bytes be(8 * nl);
    for (size_t i = 0; i < 8 * nl; ++i) be[8 * nl - 1 - i] = uint8_t(l[i / 8] >> (8 * (i % 8)));
    return BN_bin2bn(be.data(), int(be.size()), nullptr);
}

// A pair (a, ai) as limbs: whether a * ai^e = 1 mod n (a = r^e, ai = r^-1),
// and the pair squared.
struct PairCheck {
    BIGNUM *n, *e;
    BN_CTX* ctx = BN_CTX_new();
    explicit PairCheck(const Components& c)
        : n(BN_bin2bn(c.n.data(), int(c.n.size()), nullptr)),
          e(BN_bin2bn(c.e.data(), int(c.e.size()), nullptr)) {}
    ~PairCheck() {
        BN_free(n);
        BN_free(e);
        BN_CTX_free(ctx);
    }
    bool valid(const std::vector<uint64_t>& pair) {
        const size_t nl = pair.size() / 2;
        BIGNUM *a = bn_of_limbs(pair.data(), nl), *ai = bn_of_limbs(pair.data() + nl, nl), *t = BN_new();
        BN_mod_exp(t, ai, e, n, ctx);
        BN_mod_mul(t, t, a, n, ctx);
        bool ok = BN_is_one(t);
        for (BIGNUM* b : {a, ai, t}) BN_free(b);
        return ok;
    }
    bool is_square(const std::vector<uint64_t>& next, const std::vector<uint64_t>& prev) {
        const size_t nl = prev.size() / 2;
        bool ok = next.size() == prev.size();
        for (size_t h = 0; ok && h < 2; ++h) {
            BIGNUM *p = bn_of_limbs(prev.data() + h * nl, nl), *x = bn_of_limbs(next.data() + h * nl, nl);
            BN_mod_sqr(p, p, n, ctx);
            ok = BN_cmp(p, x) == 0;
            BN_free(p);
            BN_free(x);
        }
        return ok;
    }
};

}  // namespace

TEST(RsaKeyCache, CachedResultsMatchOpensslAcrossPairRefreshes) {
    // 40 operations on one cached string cross the fresh draw after 32 uses;
    // every result must match OpenSSL, and each pair must be a valid one:
    // the square of the one before, except right after a fresh draw.
    rsaCacheClear();
    const KeyStrings& k = openssl_key();
    PairCheck check(components(openssl_pkey()));
    std::vector<uint64_t> prev;
    int fresh = 0;
    for (int i = 0; i < 40; ++i) {
        Bytes x = random_below_top(256), y = x;
        ASSERT_EQ(RSA_RawPrivate(y.data(), 256, k.priv.c_str(), 0), 0);
        ASSERT_EQ(y, openssl_raw_private(openssl_pkey(), x)) << "operation " << i;
        ASSERT_EQ(RSA_RawPublic(y.data(), 256, k.pub.c_str(), 0), 0);
        ASSERT_EQ(y, x);
        std::vector<uint64_t> pair = rsaCacheBlindingPair(k.priv.c_str());
        ASSERT_EQ(pair.size(), 2 * 256 / 8);
        EXPECT_TRUE(check.valid(pair)) << "operation " << i;
        if (!prev.empty() && !check.is_square(pair, prev)) {
            ++fresh;
            EXPECT_EQ(i, int(kRsaBlindingUses));
        }
        prev = pair;
    }
    EXPECT_EQ(fresh, 1);
    EXPECT_EQ(rsaCacheSize(), 2u);  // the private and the public string
}

TEST(RsaKeyCache, ForkedChildDrawsItsOwnBlindingPair) {
    rsaCacheClear();
    const KeyStrings& k = openssl_key();
    Bytes x = random_below_top(256), want = openssl_raw_private(openssl_pkey(), x), y = x;
    ASSERT_EQ(RSA_RawPrivate(y.data(), 256, k.priv.c_str(), 0), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The child's cache starts empty: the parent's entries and pairs are dropped.
        uint64_t report[1 + 64] = {rsaCacheSize()};
        Bytes c = x;
        bool ok = RSA_RawPrivate(c.data(), 256, k.priv.c_str(), 0) == 0 && c == want;
        std::vector<uint64_t> pair = rsaCacheBlindingPair(k.priv.c_str());
        if (!ok || pair.size() != 64) report[0] = 99;
        std::copy(pair.begin(), pair.end(), report + 1);
        ssize_t w = write(fds[1], report, sizeof report);
        _exit(w == ssize_t(sizeof report) ? 0 : 1);
    }
    close(fds[1]);
    y = x;
    ASSERT_EQ(RSA_RawPrivate(y.data(), 256, k.priv.c_str(), 0), 0);
    EXPECT_EQ(y, want);
    std::vector<uint64_t> parent = rsaCacheBlindingPair(k.priv.c_str());
    uint64_t report[1 + 64] = {};
    size_t got = 0;
    while (got < sizeof report) {
        ssize_t r = read(fds[0], reinterpret_cast<char*>(report) + got, sizeof report - got);
        if (r <= 0) break;
        got += size_t(r);
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_EQ(got, sizeof report);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(report[0], 0u) << "child: entries inherited, or a wrong result";
    ASSERT_EQ(parent.size(), 64u);
    // Neither half of the pair may agree between the two processes.
    EXPECT_FALSE(std::equal(parent.begin(), parent.begin() + 32, report + 1));
    EXPECT_FALSE(std::equal(parent.begin() + 32, parent.end(), report + 33));
}

namespace {

struct Wiped {
    const void* p;
    size_t n;
    bool zero;
};
std::vector<Wiped> g_wiped;

void record_wipe(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    g_wiped.push_back({p, n, std::all_of(b, b + n, [](uint8_t v) { return v == 0; })});
}

}  // namespace

TEST(RsaKeyCache, LeastRecentlyUsedEntryIsEvictedAndWiped) {
    rsaCacheClear();
    const KeyStrings& k = our_key();
    std::vector<std::string> strings{k.priv};
    for (size_t i = 0; i < kRsaCacheEntries; ++i) strings.push_back(rewrapped(k.priv));
    Bytes x = random_below_top(128);
    auto sign = [&](const std::string& s) {
        Bytes y = x;
        ASSERT_EQ(RSA_RawPrivate(y.data(), 128, s.c_str(), 0), 0);
    };
    // Fill the cache with strings 0..31, touch 0, then add 32: 1 goes.
    for (size_t i = 0; i < kRsaCacheEntries; ++i) sign(strings[i]);
    EXPECT_EQ(rsaCacheSize(), kRsaCacheEntries);
    sign(strings[0]);
    std::vector<RsaCacheRegion> victim = rsaCacheRegions(strings[1].c_str(), true);
    ASSERT_FALSE(victim.empty());
    bool secret_nonzero = false;
    for (const RsaCacheRegion& r : victim) {
        const auto* b = static_cast<const uint8_t*>(r.p);
        if (r.secret && std::any_of(b, b + r.n, [](uint8_t v) { return v != 0; })) secret_nonzero = true;
    }
    EXPECT_TRUE(secret_nonzero);
    g_wiped.clear();
    rsaCacheSetWipeObserver(record_wipe);
    sign(strings[kRsaCacheEntries]);
    rsaCacheSetWipeObserver(nullptr);
    EXPECT_EQ(rsaCacheSize(), kRsaCacheEntries);
    EXPECT_FALSE(rsaCacheRegions(strings[0].c_str(), true).empty());
    EXPECT_TRUE(rsaCacheRegions(strings[1].c_str(), true).empty());
    ASSERT_EQ(g_wiped.size(), victim.size());
    for (size_t i = 0; i < victim.size(); ++i) {
        EXPECT_EQ(g_wiped[i].p, victim[i].p);
        EXPECT_EQ(g_wiped[i].n, victim[i].n);
        EXPECT_TRUE(g_wiped[i].zero) << "region " << i;
    }
}

TEST(RsaKeyCache, StringsThatDoNotReadAreNotCached) {
    rsaCacheClear();
    const KeyStrings& k = our_key();
    std::string corrupt = k.priv;
    corrupt[40] = corrupt[40] == 'A' ? 'B' : 'A';  // fails the unwrap check
    Components c = components(openssl_pkey());
    c.p.back() ^= 0x01;  // even p: reads, but cannot be prepared
    std::string even_p = private_string(c);
    Bytes x = random_below_top(128), y = x;
    EXPECT_EQ(RSA_RawPrivate(y.data(), 128, corrupt.c_str(), 0), INVALID_DATA_ERROR);
    EXPECT_EQ(RSA_RawPrivate(y.data(), 128, k.pub.c_str(), 0), INVALID_DATA_ERROR);
    EXPECT_EQ(RSA_RawPublic(y.data(), 128, k.priv.c_str(), 0), INVALID_DATA_ERROR);
    Bytes z = random_below_top(256);
    EXPECT_EQ(RSA_RawPrivate(z.data(), 256, even_p.c_str(), 0), BAD_PARAM_ERROR);
    EXPECT_EQ(rsaCacheSize(), 0u);
    // A private string cached for the private operation still does not
    // serve as a public key.
    ASSERT_EQ(RSA_RawPrivate(y.data(), 128, k.priv.c_str(), 0), 0);
    EXPECT_EQ(RSA_RawPublic(y.data(), 128, k.priv.c_str(), 0), INVALID_DATA_ERROR);
    EXPECT_EQ(rsaCacheSize(), 1u);
}

TEST(RsaKeyCache, ThreadsShareAndRaceForEntries) {
    // Four threads, each signing with one string all share and with strings
    // of their own (two wrappings of two keys), from an empty cache so the
    // first uses race too; every result must be right.
    rsaCacheClear();
    struct Case {
        std::string priv;
        Bytes x, want;
    };
    std::vector<Case> cases;
    const KeyStrings* keys[] = {&openssl_key(), &our_key()};
    for (const KeyStrings* ks : keys) {
        RsaKey* rec = private_record(ks->priv);
        const size_t kb = rsaBlockLength(rec);
        for (int w = 0; w < 5; ++w) {
            Case c{w == 0 ? ks->priv : rewrapped(ks->priv), random_below_top(kb), Bytes(kb)};
            size_t len = 0;
            EXPECT_EQ(rsaPrivateRaw(rec, c.want.data(), &len, c.x.data(), kb), 0);  // without the cache
            cases.push_back(c);
        }
        rsaFree(&rec);
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const size_t order[4] = {0, size_t(1 + t), 5, size_t(6 + t)};  // 0 and 5 are shared
            for (int i = 0; i < 24; ++i) {
                const Case& c = cases[order[i % 4]];
                Bytes y = c.x;
                if (RSA_RawPrivate(y.data(), long(y.size()), c.priv.c_str(), 0) != 0 || y != c.want) ++wrong;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(rsaCacheSize(), cases.size());
}
