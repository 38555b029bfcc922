// Known-answer tests run at power-up: the example messages of FIPS 180-4 and
// FIPS 202, the test suites of RFC 1321 and RFC 1319, and the HMAC test cases
// of RFC 2202 and RFC 4231.
#include <cstring>
#include <string>

#include "encode/encode.h"
#include "hash/hash.h"
#include "util/ct.h"

using namespace velt::hash;

namespace {

constexpr char kAbc[] = "abc";
constexpr char k448[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
constexpr char k896[] =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopq"
    "rstu";
constexpr char k62[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

struct DigestCase {
    long alg;
    const char* message;
    const char* expect;  // hex
};

struct MacCase {
    long alg;
    const char* key;      // hex
    const char* message;  // text, or hex when it starts with "#x"
    const char* expect;
};

bool matches(const uint8_t* got, size_t n, const char* expect_hex) {
    std::vector<uint8_t> want = hex_bytes(expect_hex);
    return want.size() == n && velt::ct::equal(got, want.data(), n);
}

long run_digests(const DigestCase* cases, size_t count) {
    for (size_t i = 0; i < count; i++) {
        uint8_t d[kMaxDigest];
        if (!digest(cases[i].alg, cases[i].message, strlen(cases[i].message), d)) return -1;
        if (!matches(d, digest_length(cases[i].alg), cases[i].expect)) return -1;
    }
    return 0;
}

long run_macs(const MacCase* cases, size_t count) {
    for (size_t i = 0; i < count; i++) {
        std::vector<uint8_t> key = hex_bytes(cases[i].key);
        std::vector<uint8_t> msg;
        const char* m = cases[i].message;
        if (m[0] == '#' && m[1] == 'x')
            msg = hex_bytes(m + 2);
        else
            msg.assign(m, m + strlen(m));
        uint8_t d[kMaxDigest];
        if (!hmac(cases[i].alg, key.data(), key.size(), msg.data(), msg.size(), d)) return -1;
        if (!matches(d, digest_length(cases[i].alg), cases[i].expect)) return -1;
    }
    return 0;
}

template <size_t N>
long run(const DigestCase (&c)[N]) {
    return run_digests(c, N);
}
template <size_t N>
long run(const MacCase (&c)[N]) {
    return run_macs(c, N);
}

// RFC 2202 / RFC 4231 inputs.
constexpr char kJefeKey[] = "4a656665";
constexpr char kJefeMsg[] = "what do ya want for nothing?";
#define AA10 "aaaaaaaaaaaaaaaaaaaa"
constexpr char kAa80[] = AA10 AA10 AA10 AA10 AA10 AA10 AA10 AA10;
constexpr char kAa131[] = AA10 AA10 AA10 AA10 AA10 AA10 AA10 AA10 AA10 AA10 AA10 AA10 AA10 "aa";
constexpr char kRfc2202Case7[] = "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data";
constexpr char kRfc4231Case7[] =
    "This is a test using a larger than block-size key and a larger than block-size data. The key needs to be "
    "hashed before being used by the HMAC algorithm.";

}  // namespace

long selftest_sha1() {
    static const DigestCase c[] = {{kSha1, kAbc, "a9993e364706816aba3e25717850c26c9cd0d89d"},
                                   {kSha1, k448, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"}};
    return run(c);
}

long selftest_sha224() {
    static const DigestCase c[] = {{kSha224, kAbc, "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
                                   {kSha224, k448, "75388b16512776cc5dba5da1fd890150b0c6455cb4f58b1952522525"}};
    return run(c);
}

long selftest_sha256() {
    static const DigestCase c[] = {
        {kSha256, kAbc, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {kSha256, k448, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"}};
    return run(c);
}

long selftest_sha384() {
    static const DigestCase c[] = {
        {kSha384, kAbc,
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
        {kSha384, k896,
         "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039"}};
    return run(c);
}

long selftest_sha512() {
    static const DigestCase c[] = {
        {kSha512, kAbc,
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce"
         "80e2a9ac94fa54ca49f"},
        {kSha512, k896,
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd2"
         "6545e96e55b874be909"}};
    return run(c);
}

long selftest_sha3() {
    static const DigestCase c[] = {
        {kSha3_256, kAbc, "3a985da74fe225b2045c172d6bd390bd855f086e3e9d525b46bfe24511431532"},
        {kSha3_224, "", "6b4e03423667dbb73b6e15454f0eb1abd4597f9a1b078e3f5b5a6bc7"},
        {kSha3_384, k448,
         "991c665755eb3a4b6bbdfb75c78a492e8c56a22c5c4d7e429bfdbc32b9d4ad5aa04a1f076e62fea19eef51acd0657c22"},
        {kSha3_512, k896,
         "afebb2ef542e6579c50cad06d2e578f9f8dd6881d7dc824d26360feebf18a4fa73e3261122948efcfd492e74e82e2189ed0fb440d187f"
         "382270cb455f21dd185"}};
    return run(c);
}

long selftest_md5() {
    static const DigestCase c[] = {{kMd5, kAbc, "900150983cd24fb0d6963f7d28e17f72"},
                                   {kMd5, k62, "d174ab98d277d9f5a5611c2c9f419d9f"}};
    return run(c);
}

long selftest_md2() {
    static const DigestCase c[] = {{kMd2, kAbc, "da853b0d3f88d99b30283a69e6ded6bb"},
                                   {kMd2, k62, "da33def2a42df13975352846c30338cd"}};
    return run(c);
}

long selftest_hmac_sha1() {
    static const MacCase c[] = {{kSha1, kJefeKey, kJefeMsg, "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
                                {kSha1, kAa80, kRfc2202Case7, "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"}};
    return run(c);
}

long selftest_hmac_md5() {
    static const MacCase c[] = {
        {kMd5, "0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b", "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {kMd5, kJefeKey, kJefeMsg, "750c783e6ab0b503eaa86e310a5db738"},
        {kMd5, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
         "#xdddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddd",
         "56be34521d144c88dbb8c733f0e8b3f6"},
        {kMd5, kAa80, "Test Using Larger Than Block-Size Key - Hash Key First", "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"}};
    return run(c);
}

long selftest_hmac_sha224() {
    static const MacCase c[] = {
        {kSha224, kJefeKey, kJefeMsg, "a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44"},
        {kSha224, kAa131, kRfc4231Case7, "3a854166ac5d9f023f54d517d0b39dbd946770db9c2b95c9f6f565d1"}};
    return run(c);
}

long selftest_hmac_sha256() {
    static const MacCase c[] = {
        {kSha256, kJefeKey, kJefeMsg, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {kSha256, kAa131, kRfc4231Case7, "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"}};
    return run(c);
}

long selftest_hmac_sha384() {
    static const MacCase c[] = {
        {kSha384, kJefeKey, kJefeMsg,
         "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649"},
        {kSha384, kAa131, kRfc4231Case7,
         "6617178e941f020d351e2f254e8fd32c602420feb0b8fb9adccebb82461e99c5a678cc31e799176d3860e6110c46523e"}};
    return run(c);
}

long selftest_hmac_sha512() {
    static const MacCase c[] = {
        {kSha512, kJefeKey, kJefeMsg,
         "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6"
         "b4b636e070a38bce737"},
        {kSha512, kAa131, kRfc4231Case7,
         "e37b6a775dc87dbaa4dfa9f96e5e3ffddebd71f8867289865df5a32d20cdc944b6022cac3c4982b10d5eeb55c3e4de15134676fb6de04"
         "46065c97440fa8c6a58"}};
    return run(c);
}
