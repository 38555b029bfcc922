// Every selectable digest and HMAC against OpenSSL's libcrypto on random
// messages of each length 0..300, on the portable and accelerated paths;
// MD2 against RFC 1319; the internal tables and digesters.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <random>

#include "common/test_util.h"
#include "hash/hash.h"
#include "util/cpu.h"

using testutil::Bytes;
using testutil::to_hex;
namespace vh = velt::hash;

namespace {

struct Named {
    long alg;
    const char* openssl_name;
};

constexpr Named kAlgs[] = {
    {vh::kSha1, "SHA1"},         {vh::kMd5, "MD5"},           {vh::kSha256, "SHA256"},
    {vh::kSha384, "SHA384"},     {vh::kSha512, "SHA512"},     {vh::kSha224, "SHA224"},
    {vh::kRmd160, "RIPEMD160"},  {vh::kSha3_224, "SHA3-224"}, {vh::kSha3_256, "SHA3-256"},
    {vh::kSha3_384, "SHA3-384"}, {vh::kSha3_512, "SHA3-512"},
};

Bytes ossl_digest(const char* name, const Bytes& m) {
    const EVP_MD* md = EVP_get_digestbyname(name);
    EXPECT_NE(md, nullptr) << name;
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    EVP_Digest(m.data(), m.size(), out.data(), &n, md, nullptr);
    out.resize(n);
    return out;
}

Bytes ossl_hmac(const char* name, const Bytes& key, const Bytes& m) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    static const uint8_t dummy = 0;  // OpenSSL refuses a null key pointer even for length 0
    HMAC(EVP_get_digestbyname(name), key.empty() ? &dummy : key.data(), int(key.size()),
         m.empty() ? &dummy : m.data(), m.size(), out.data(), &n);
    out.resize(n);
    return out;
}

Bytes random_bytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (auto& x : b) x = uint8_t(rng());
    return b;
}

Bytes ours(long alg, const Bytes& m) {
    Bytes out(vh::digest_length(alg));
    EXPECT_EQ(hashBytes(out.data(), long(out.size()), m.data(), long(m.size()), alg), long(out.size()));
    return out;
}

// Parameter: true = processor features in use, false = portable code only.
class Paths : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { velt::cpu::restrict_features(GetParam() ? ~0u : 0u); }
    void TearDown() override { velt::cpu::restrict_features(~0u); }
};

TEST_P(Paths, DigestsMatchOpenSslForEveryLengthTo300) {
    std::mt19937 rng(1);
    for (size_t len = 0; len <= 300; len++) {
        Bytes m = random_bytes(rng, len);
        for (const Named& a : kAlgs) ASSERT_EQ(to_hex(ours(a.alg, m)), to_hex(ossl_digest(a.openssl_name, m)))
            << a.openssl_name << " length " << len;
        // RIPEMD-160 of SHA-256
        ASSERT_EQ(to_hex(ours(vh::kRmd160Sha256, m)), to_hex(ossl_digest("RIPEMD160", ossl_digest("SHA256", m))));
    }
}

TEST_P(Paths, IncrementalUpdatesInOddPiecesMatchOneShot) {
    // Splits that cross block boundaries of every size (16, 64, 72..144, 128).
    std::mt19937 rng(2);
    Bytes m = random_bytes(rng, 5000);
    for (long alg : {0L, 1L, 2L, 3L, 4L, 5L, 6L, 7L, 10L, 11L, 12L, 13L}) {
        vh::Hasher h;
        ASSERT_TRUE(h.init(alg));
        size_t pos = 0, step = 1;
        while (pos < m.size()) {
            size_t n = std::min(step, m.size() - pos);
            h.update(m.data() + pos, n);
            pos += n;
            step = step * 3 % 211 + 1;
        }
        Bytes d(h.length());
        h.final(d.data());
        EXPECT_EQ(to_hex(d), to_hex(ours(alg, m))) << alg;
    }
}

TEST_P(Paths, HmacMatchesOpenSslForEveryLengthTo300AndKeyAroundTheBlockSize) {
    std::mt19937 rng(3);
    const Named macs[] = {{0, "SHA1"},      {1, "MD5"},       {3, "SHA256"},    {4, "SHA384"},
                          {5, "SHA512"},    {6, "SHA224"},    {10, "SHA3-224"}, {11, "SHA3-256"},
                          {12, "SHA3-384"}, {13, "SHA3-512"}};
    for (size_t len = 0; len <= 300; len++) {
        Bytes m = random_bytes(rng, len);
        // Key lengths around every block size: 0, short, = block, > block.
        size_t klen = (len * 7) % 200;
        Bytes key = random_bytes(rng, klen);
        for (const Named& a : macs) {
            Bytes out(vh::digest_length(a.alg));
            ASSERT_EQ(hmacBytes(out.data(), long(out.size()), m.data(), long(m.size()), key.data(), long(key.size()),
                                a.alg),
                      long(out.size()));
            ASSERT_EQ(to_hex(out), to_hex(ossl_hmac(a.openssl_name, key, m)))
                << a.openssl_name << " msg " << len << " key " << klen;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Hash, Paths, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "accelerated" : "portable"; });

TEST(Md2, Rfc1319TestSuite) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "8350e5a3e24c153df2275c9f80692773"},
        {"a", "32ec01ec4a6dac72c0ab96fb34c0b5d1"},
        {"abc", "da853b0d3f88d99b30283a69e6ded6bb"},
        {"message digest", "ab4f496bfb2a530b219ff33031fe06b0"},
        {"abcdefghijklmnopqrstuvwxyz", "4e8ddff3650292ab5a4108c3aa47940b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "da33def2a42df13975352846c30338cd"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "d5976f79d83d3a0dc9806c3c66f3efd8"},
    };
    for (const auto& [msg, want] : cases) EXPECT_EQ(to_hex(ours(vh::kMd2, testutil::bytes_of(msg))), want) << msg;
}

TEST(HashOps, LengthsSelectorsAndFlags) {
    EXPECT_EQ(hashLen(3), 32);
    EXPECT_EQ(hashLen(8), 20);
    EXPECT_EQ(hashLen(9), -17);
    EXPECT_EQ(hashLen(14), -17);
    EXPECT_EQ(hashLen(0x20003), -17);
    EXPECT_EQ(hash_sha_Length(1), -17);
    EXPECT_EQ(hash_sha_Length(6), 28);
    EXPECT_EQ(hmacshaLen(6), -17);
    unsigned char out[64];
    EXPECT_EQ(hashBytes(out, 64, "abc", 3, 9), -17);
    EXPECT_EQ(hashBytes(out, 64, "abc", -1, 3), -6);
    EXPECT_EQ(hmacBytes(out, 64, "abc", 3, (const unsigned char*)"k", 1, vh::kMd2), -17);
    EXPECT_EQ(hmacBytes(out, 64, "abc", 3, (const unsigned char*)"k", 1, vh::kRmd160), -17);
    EXPECT_EQ(hmacBytes(out, 64, "abc", 3, (const unsigned char*)"k", 1, vh::kRmd160Sha256), -17);
    EXPECT_EQ(hash_sha_Bytes(out, 64, "abc", 3, vh::kMd5), -17);
    // Double flag: SHA-256 applied twice; no effect on value 8.
    Bytes abc = testutil::bytes_of("abc");
    EXPECT_EQ(hashBytes(out, 64, "abc", 3, 0x20003), 32);
    EXPECT_EQ(to_hex(out, 32), to_hex(ossl_digest("SHA256", ossl_digest("SHA256", abc))));
    EXPECT_EQ(hashBytes(out, 64, "abc", 3, 0x20008), 20);
    EXPECT_EQ(to_hex(out, 20), to_hex(ours(8, abc)));
    // Truncation and length query.
    EXPECT_EQ(hashBytes(out, 5, "abc", 3, 5), 5);
    EXPECT_EQ(hashBytes(nullptr, 0, "abc", 3, 5), 64);
    char hex[200];
    EXPECT_EQ(hashBytesHex(hex, 10, "abc", 3, 0), 10);
    EXPECT_STREQ(hex, "a9993e3647");
    EXPECT_EQ(hashBytesHex(hex, -5, "abc", 3, 0), 40);  // negative declared length is a query
    EXPECT_EQ(hashMsgs2(out, 64, "ab", 2, "c", 1, 3), 32);
    EXPECT_EQ(to_hex(out, 32), to_hex(ossl_digest("SHA256", abc)));
    EXPECT_EQ(hashMsgs2(out, 64, "ab", 2, "c", 1, 8), -17);
}

TEST(HashOps, HexInputs) {
    char hex[200];
    EXPECT_EQ(hashHexHex(hex, 199, "", 0), 40);
    EXPECT_STREQ(hex, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hashHexHex(hex, 199, "616263", 0), 40);
    EXPECT_STREQ(hex, "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hashHexHex(hex, 199, "616", 0), -8);
    EXPECT_EQ(hashHexHex(hex, 199, "zz", 0), -8);  // not hex: rejected, not the empty message
    EXPECT_EQ(hmacHexHex(hex, 199, "", "", 3), -33);
    EXPECT_EQ(hmacHexHex(hex, 199, "", "0", 3), -33);
    EXPECT_EQ(hmacHexHex(hex, 199, "", "0g", 3), -7);
    EXPECT_EQ(hmacHexHex(hex, 199, "6", "4a656665", 3), -8);
    EXPECT_EQ(hmacHexHex(hex, 199, "7g", "4a656665", 3), -8);
    EXPECT_EQ(hmacHexHex(hex, 199, "7768617420646f2079612077616e7420666f72206e6f7468696e673f", "4a656665", 3), 64);
    EXPECT_STREQ(hex, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}

TEST(HashOps, FilesAreStreamedAndReadErrorsReported) {
    std::mt19937 rng(4);
    Bytes big = random_bytes(rng, 3 * 1024 * 1024 + 17);
    std::string path = testutil::temp_path("big.bin");
    testutil::write_file(path, big);
    for (const Named& a : kAlgs) {
        unsigned char out[64];
        ASSERT_EQ(hashFile(out, 64, path.c_str(), a.alg), long(vh::digest_length(a.alg)));
        EXPECT_EQ(to_hex(out, vh::digest_length(a.alg)), to_hex(ossl_digest(a.openssl_name, big))) << a.openssl_name;
    }
    unsigned char out[64];
    EXPECT_EQ(hashFile(out, 64, path.c_str(), 0x10008), 20);  // text mode reads the same bytes
    EXPECT_EQ(to_hex(out, 20), to_hex(ours(8, big)));
    EXPECT_EQ(hashFile(out, 64, "/nonexistent/file", 0), -1);
    EXPECT_EQ(hashFile(out, 64, "/nonexistent/file", 9), -1);  // open failure comes first
    EXPECT_EQ(hashFile(out, 64, path.c_str(), 9), -17);
    EXPECT_EQ(hashFile(out, 64, "/tmp", 0), -1);  // a directory is not a file
    // A file that opens but fails to read (reading address 0 of the process's
    // own memory gives EIO) is a read error, not the digest of what was read.
    EXPECT_EQ(hashFile(out, 64, "/proc/self/mem", 3), -3);
    char hex[200];
    EXPECT_EQ(hashFileHex(hex, 199, path.c_str(), 3), 64);
    EXPECT_EQ(std::string(hex), to_hex(ossl_digest("SHA256", big)));
}

TEST(Digesters, StreamingMatchesOneShotAndRejectsUnsupported) {
    HashDigester* d = hash_digester_New();
    ASSERT_NE(d, nullptr);
    for (long v = 0; v <= 7; v++) {
        ASSERT_EQ(hash_digester_Init(d, v), 0);
        EXPECT_EQ(hash_digester_Update(d, "ab", 2), 0);
        EXPECT_EQ(hash_digester_Update(d, "c", 1), 0);
        unsigned char out[64];
        long n = hash_digester_Final(d, out, 64);
        EXPECT_EQ(to_hex(out, size_t(n)), to_hex(ours(v, testutil::bytes_of("abc")))) << v;
    }
    EXPECT_EQ(hash_digester_Init(d, 11), -19);
    EXPECT_EQ(hash_digester_Update(d, "a", 1), -19);
    unsigned char out[64];
    EXPECT_EQ(hash_digester_Final(d, out, 64), -19);
    hash_digester_Free(&d);
    EXPECT_EQ(d, nullptr);

    HmacDigester* m = hmac_digester_New();
    const unsigned char key[] = "Jefe";
    ASSERT_EQ(hmac_digester_Init(m, key, 4, 3), 0);
    EXPECT_EQ(hmac_digester_bitlength(m, 0), 256);
    EXPECT_EQ(hmac_digester_bitlength(nullptr, 6), 224);
    EXPECT_EQ(hmac_digester_bitlength(nullptr, 1), -19);
    for (int round = 0; round < 2; round++) {  // the same key serves again after Final
        hmac_digester_Update(m, "what do ya want ", 16);
        hmac_digester_Update(m, "for nothing?", 12);
        EXPECT_EQ(hmac_digester_Final(m, out, 20), 20);
        EXPECT_EQ(to_hex(out, 20), "5bdcc146bf60754e6a042426089575c75a003f08");
    }
    EXPECT_EQ(hmac_digester_Init(m, key, 4, vh::kMd5), -19);
    EXPECT_EQ(hmac_digester_Update(m, "a", 1), -19);
    hmac_digester_Free(&m);
    EXPECT_EQ(m, nullptr);
}

TEST(Tables, DigestInfoPrefixesAndSignatureHashes) {
    // Each DigestInfo prefix plus a digest of the right length is a complete
    // DER SEQUENCE whose length byte covers the rest.
    size_t count = 0;
    const vh::DigestInfoRow* t = vh::digest_info_table(&count);
    ASSERT_EQ(count, 7u);
    for (size_t i = 0; i < count; i++) {
        EXPECT_EQ(t[i].alg, long(i));
        EXPECT_EQ(size_t(t[i].length), vh::digest_length(long(i)));
        EXPECT_EQ(t[i].prefix[0], 0x30);
        EXPECT_EQ(size_t(t[i].prefix[1]) + 2, t[i].prefix_len + size_t(t[i].length));
        EXPECT_EQ(t[i].prefix[t[i].prefix_len - 1], t[i].length);
    }
    EXPECT_EQ(vh::digest_info(7), nullptr);
    ASSERT_NE(hashPtrToHashAlgByName("SHA256"), nullptr);
    EXPECT_EQ(hashPtrToHashAlgByName("SHA256")->alg, 3);
    EXPECT_EQ(hashPtrToHashAlgById(159)->length, 64);
    EXPECT_STREQ(hashPtrToHashAlgById(6)->name, "sha224");
    EXPECT_EQ(hashPtrToHashAlgByName("md5"), nullptr);
    EXPECT_EQ(hashPtrToHashAlgById(1), nullptr);
}

}  // namespace
