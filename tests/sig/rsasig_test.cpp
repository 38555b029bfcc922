// RSA PKCS #1 v1.5 and PSS signature engines: Wycheproof verification files
// case by case, and signatures checked by OpenSSL.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include "common/test_util.h"
#include "frame/error.h"
#include "sig/sig.h"

using namespace velt::sig;
using testutil::Bytes;
using testutil::from_hex;

namespace {

long id_for(const std::string& sha, bool pss) {
    long h = sha == "SHA-1" ? 0 : sha == "SHA-224" ? 6 : sha == "SHA-256" ? 3 : sha == "SHA-384" ? 4 : 5;
    return pss ? (0xB0 | h) : h;
}

struct Key {
    RsaKey* k = rsaNew();
    ~Key() { rsaFree(&k); }
};

const EVP_MD* md_of(const std::string& sha) {
    return sha == "SHA-1"     ? EVP_sha1()
           : sha == "SHA-224" ? EVP_sha224()
           : sha == "SHA-256" ? EVP_sha256()
           : sha == "SHA-384" ? EVP_sha384()
                              : EVP_sha512();
}

// OpenSSL's PSS verification with the salt length taken from the encoding.
bool ossl_pss_any_salt(const Bytes& spki, const Bytes& sig, const Bytes& msg, const std::string& sha,
                       const std::string& mgfSha) {
    const uint8_t* p = spki.data();
    EVP_PKEY* pk = d2i_PUBKEY(nullptr, &p, long(spki.size()));
    if (!pk) return false;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_PKEY_CTX* pctx = nullptr;
    bool ok = EVP_DigestVerifyInit(ctx, &pctx, md_of(sha), nullptr, pk) == 1 &&
              EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PSS_PADDING) == 1 &&
              EVP_PKEY_CTX_set_rsa_pss_saltlen(pctx, RSA_PSS_SALTLEN_AUTO) == 1 &&
              EVP_PKEY_CTX_set_rsa_mgf1_md(pctx, md_of(mgfSha)) == 1 &&
              EVP_DigestVerify(ctx, sig.data(), sig.size(), msg.data(), msg.size()) == 1;
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(pk);
    return ok;
}

nlohmann::json load(const char* f) {
    auto j = testutil::load_wycheproof(f);
    return j ? *j : nlohmann::json();
}

}  // namespace

TEST(RsaSig, WycheproofPkcs1) {
    for (const char* f : {"rsa_signature_2048_sha224_test.json", "rsa_signature_2048_sha256_test.json",
                          "rsa_signature_2048_sha384_test.json", "rsa_signature_2048_sha512_test.json",
                          "rsa_signature_3072_sha256_test.json", "rsa_signature_4096_sha512_test.json"}) {
        nlohmann::json j = load(f);
        if (j.is_null()) GTEST_SKIP() << "test vectors not found";
        for (const auto& g : j["testGroups"]) {
            Key key;
            Bytes spki = from_hex(g["publicKeyDer"]);
            ASSERT_EQ(rsaParseSpkiDer(key.k, spki.data(), spki.size()), 0);
            const SigAlgRow& row = *sigPtrToSigAlgById(id_for(g["sha"], false));
            for (const auto& t : g["tests"]) {
                Bytes msg = from_hex(t["msg"]), sig = from_hex(t["sig"]);
                long rc = rsasigVerify(sig.data(), sig.size(), key.k, msg.data(), msg.size(), row, false);
                const std::string res = t["result"];
                if (res != "acceptable") {
                    EXPECT_EQ(rc == 0, res == "valid") << f << " tcId " << t["tcId"] << " " << t["comment"];
                }
                if (res == "invalid") {
                    EXPECT_EQ(rc, 22);
                }
            }
        }
    }
}

TEST(RsaSig, WycheproofPss) {
    for (const char* f : {"rsa_pss_2048_sha1_mgf1_20_test.json", "rsa_pss_2048_sha256_mgf1_32_test.json",
                          "rsa_pss_3072_sha256_mgf1_32_test.json", "rsa_pss_4096_sha512_mgf1_64_test.json",
                          "rsa_pss_misc_test.json"}) {
        nlohmann::json j = load(f);
        if (j.is_null()) GTEST_SKIP() << "test vectors not found";
        for (const auto& g : j["testGroups"]) {
            // The option word chooses MGF1 with the message hash or SHA-1.
            const std::string sha = g["sha"], mgfSha = g["mgfSha"];
            long options = 0;
            if (mgfSha != sha) {
                if (mgfSha != "SHA-1") continue;
                options = 0x800000;
            }
            Key key;
            Bytes spki = from_hex(g["publicKeyDer"]);
            ASSERT_EQ(rsaParseSpkiDer(key.k, spki.data(), spki.size()), 0);
            const SigAlgRow& row = *sigPtrToSigAlgById(id_for(sha, true));
            for (const auto& t : g["tests"]) {
                Bytes msg = from_hex(t["msg"]), sig = from_hex(t["sig"]);
                long rc =
                    rsasigVerify_PSS(sig.data(), sig.size(), key.k, msg.data(), msg.size(), row, options);
                const std::string res = t["result"];
                // The verifier takes whatever salt length the encoding
                // carries: an invalid case is refused unless it is a valid
                // encoding with another salt length than the group's, which
                // OpenSSL's salt-agnostic verification must then confirm.
                if (res == "valid") {
                    EXPECT_EQ(rc, 0) << f << " tcId " << t["tcId"] << " " << t["comment"];
                } else if (res == "invalid" && rc == 0) {
                    EXPECT_TRUE(ossl_pss_any_salt(spki, sig, msg, sha, mgfSha))
                        << f << " tcId " << t["tcId"] << " " << t["comment"];
                } else if (res == "invalid") {
                    EXPECT_EQ(rc, 22) << f << " tcId " << t["tcId"];
                }
            }
        }
    }
}

TEST(RsaSig, SignedHereVerifiedByOpenSsl) {
    EVP_PKEY* pk = EVP_RSA_gen(2048);
    ASSERT_NE(pk, nullptr);
    unsigned char* p = nullptr;
    int n = i2d_PrivateKey(pk, &p);
    Key key;
    ASSERT_EQ(rsaParsePrivateKeyDer(key.k, p, size_t(n)), 0);
    OPENSSL_free(p);
    p = nullptr;
    n = i2d_PUBKEY(pk, &p);
    Bytes spki(p, p + n);
    OPENSSL_free(p);
    const Bytes msg = testutil::bytes_of("signed by the RSA engine");
    std::vector<uint8_t> sig;
    for (long id : {0x00L, 0x06L, 0x03L, 0x04L, 0x05L, 0x01L}) {
        const SigAlgRow& row = *sigPtrToSigAlgById(id);
        ASSERT_EQ(rsasigSign(sig, key.k, msg.data(), msg.size(), row, false), 0) << row.name;
        EXPECT_EQ(rsasigVerify(sig.data(), sig.size(), key.k, msg.data(), msg.size(), row, false), 0);
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        const EVP_MD* md = id == 1 ? EVP_md5()
                                   : md_of(std::string(row.hashName) == "sha1"     ? "SHA-1"
                                           : std::string(row.hashName) == "sha224" ? "SHA-224"
                                           : std::string(row.hashName) == "sha256" ? "SHA-256"
                                           : std::string(row.hashName) == "sha384" ? "SHA-384"
                                                                                   : "SHA-512");
        EXPECT_EQ(EVP_DigestVerifyInit(ctx, nullptr, md, nullptr, pk), 1);
        EXPECT_EQ(EVP_DigestVerify(ctx, sig.data(), sig.size(), msg.data(), msg.size()), 1) << row.name;
        EVP_MD_CTX_free(ctx);
    }
    // One octet short of the modulus: invalid.
    sig.pop_back();
    EXPECT_EQ(
        rsasigVerify(sig.data(), sig.size(), key.k, msg.data(), msg.size(), *sigPtrToSigAlgById(5), false),
        22);
    // A digest of the wrong length.
    EXPECT_EQ(rsasigSign(sig, key.k, msg.data(), 31, *sigPtrToSigAlgById(3), true), 26);
    // DSA is not an RSA algorithm.
    EXPECT_EQ(rsasigSign(sig, key.k, msg.data(), msg.size(), *sigPtrToSigAlgById(0xD0), false), 19);

    // PSS with every salt-length option, MGF1 with the message hash or SHA-1.
    struct P {
        long id;
        long options;
        size_t salt;
    } ps[] = {{0xB3, 0, 32},        {0xB3, 0x200000, 256 - 32 - 2},
              {0xB3, 0x300000, 20}, {0xB3, 0x400000, 0},
              {0xB5, 0x800000, 64}, {0xB0, 0, 20},
              {0xB4, 0x300000, 20}, {0xB6, 0, 28}};
    for (const P& c : ps) {
        const SigAlgRow& row = *sigPtrToSigAlgById(c.id);
        ASSERT_EQ(rsasigSign_PSS(sig, key.k, msg.data(), msg.size(), row, c.options, nullptr, 0), 0);
        EXPECT_EQ(rsasigVerify_PSS(sig.data(), sig.size(), key.k, msg.data(), msg.size(), row, c.options), 0);
        std::string sha = row.hashName;
        sha = sha == "sha1" ? "SHA-1" : "SHA-" + sha.substr(3);
        EXPECT_TRUE(ossl_pss_any_salt(spki, sig, msg, sha, (c.options & 0x800000) ? "SHA-1" : sha))
            << row.name << " options " << std::hex << c.options;
        // The wrong MGF1 hash fails.
        EXPECT_EQ(rsasigVerify_PSS(sig.data(), sig.size(), key.k, msg.data(), msg.size(), row,
                                   c.options ^ 0x800000),
                  c.id == 0xB0 ? 0 : 22);
    }
    // A given salt makes the signature deterministic.
    const uint8_t salt[4] = {1, 2, 3, 4};
    std::vector<uint8_t> a, b;
    ASSERT_EQ(rsasigSign_PSS(a, key.k, msg.data(), msg.size(), *sigPtrToSigAlgById(0xB3), 0, salt, 4), 0);
    ASSERT_EQ(rsasigSign_PSS(b, key.k, msg.data(), msg.size(), *sigPtrToSigAlgById(0xB3), 0, salt, 4), 0);
    EXPECT_EQ(a, b);
    EVP_PKEY_free(pk);
}
