// KDF, XOF, PRF and HPKE derivations: OpenSSL's libcrypto as the oracle for
// HKDF, X9.63, SHAKE and KMAC; published vectors (RFC 5869, SP 800-185,
// RFC 9180) and the Wycheproof HMAC, HKDF and KMAC files.
#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <random>

#include "common/test_util.h"
#include "hash/hash.h"
#include "morvanevelt.h"

using testutil::Bytes;
using testutil::from_hex;
using testutil::to_hex;

namespace {

Bytes random_bytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (auto& x : b) x = uint8_t(rng());
    return b;
}

// OpenSSL EVP_KDF with the given parameters.
Bytes ossl_kdf(const char* name, const char* digest, const Bytes& key, const Bytes& salt, const Bytes& info,
               size_t len, const char* info_param = OSSL_KDF_PARAM_INFO) {
    EVP_KDF* kdf = EVP_KDF_fetch(nullptr, name, nullptr);
    EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
    static uint8_t dummy = 0;
    OSSL_PARAM params[5];
    size_t n = 0;
    params[n++] = OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>(digest), 0);
    params[n++] = OSSL_PARAM_construct_octet_string(
        OSSL_KDF_PARAM_KEY, key.empty() ? &dummy : const_cast<uint8_t*>(key.data()), key.size());
    if (!salt.empty())
        params[n++] = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT,
                                                        const_cast<uint8_t*>(salt.data()), salt.size());
    if (!info.empty())
        params[n++] =
            OSSL_PARAM_construct_octet_string(info_param, const_cast<uint8_t*>(info.data()), info.size());
    params[n] = OSSL_PARAM_construct_end();
    Bytes out(len);
    EXPECT_EQ(EVP_KDF_derive(ctx, out.data(), len, params), 1) << name;
    EVP_KDF_CTX_free(ctx);
    EVP_KDF_free(kdf);
    return out;
}

Bytes ossl_kmac(const char* name, const Bytes& key, const Bytes& msg, const std::string& custom, size_t len) {
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, name, nullptr);
    EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
    OSSL_PARAM params[3];
    size_t n = 0;
    params[n++] = OSSL_PARAM_construct_size_t(OSSL_MAC_PARAM_SIZE, &len);
    if (!custom.empty())
        params[n++] = OSSL_PARAM_construct_octet_string(OSSL_MAC_PARAM_CUSTOM,
                                                        const_cast<char*>(custom.data()), custom.size());
    params[n] = OSSL_PARAM_construct_end();
    EXPECT_EQ(EVP_MAC_init(ctx, key.data(), key.size(), params), 1);
    EVP_MAC_update(ctx, msg.data(), msg.size());
    Bytes out(len);
    size_t outl = 0;
    EVP_MAC_final(ctx, out.data(), &outl, len);
    EVP_MAC_CTX_free(ctx);
    EVP_MAC_free(mac);
    return out;
}

Bytes ossl_digest(const char* name, const Bytes& m) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    EVP_Digest(m.data(), m.size(), out.data(), &n, EVP_get_digestbyname(name), nullptr);
    out.resize(n);
    return out;
}

TEST(Kdf, HkdfMatchesOpenSslAndRfc5869) {
    std::mt19937 rng(10);
    const std::pair<long, const char*> hashes[] = {{0, "SHA1"}, {3, "SHA256"}, {4, "SHA384"}, {5, "SHA512"}};
    for (size_t len = 1; len <= 300; len += 7) {
        for (const auto& [alg, name] : hashes) {
            Bytes z = random_bytes(rng, len % 80), info = random_bytes(rng, len % 23);
            Bytes salt = random_bytes(rng, 1 + len % 40);
            std::string params = "salt=" + to_hex(salt);
            Bytes out(len);
            ASSERT_EQ(KDF_Bytes(out.data(), long(len), z.data(), long(z.size()), info.data(),
                                long(info.size()), params.c_str(), 0x1000 | alg),
                      0);
            EXPECT_EQ(to_hex(out), to_hex(ossl_kdf("HKDF", name, z, salt, info, len))) << name << " " << len;
        }
    }
    // RFC 5869 test case 3: no salt, no info.
    Bytes okm(42);
    Bytes ikm(22, 0x0b);
    ASSERT_EQ(KDF_Bytes(okm.data(), 42, ikm.data(), 22, nullptr, 0, "", 0x1003), 0);
    EXPECT_EQ(to_hex(okm),
              "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8");
    // Salt given as blank-padded attribute, any case.
    Bytes okm2(42), salt(3);
    ASSERT_EQ(KDF_Bytes(okm2.data(), 42, ikm.data(), 22, nullptr, 0, " SALT=000102 ", 0x1003), 0);
    EXPECT_EQ(to_hex(okm2), to_hex(ossl_kdf("HKDF", "SHA256", ikm, from_hex("000102"), {}, 42)));
}

TEST(Kdf, X963AndKdf2MatchOpenSslKdf3ByDefinition) {
    std::mt19937 rng(11);
    const std::pair<long, const char*> hashes[] = {{0, "SHA1"},   {6, "SHA224"}, {3, "SHA256"},
                                                   {4, "SHA384"}, {5, "SHA512"}, {11, "SHA3-256"}};
    for (size_t len = 1; len <= 200; len += 13) {
        for (const auto& [alg, name] : hashes) {
            Bytes z = random_bytes(rng, 1 + len % 50), info = random_bytes(rng, len % 17);
            Bytes want = ossl_kdf("X963KDF", name, z, {}, info, len);
            Bytes out(len);
            ASSERT_EQ(KDF_Bytes(out.data(), long(len), z.data(), long(z.size()), info.data(),
                                long(info.size()), nullptr, alg),
                      0);
            EXPECT_EQ(to_hex(out), to_hex(want)) << name;
            if (alg == 11) {
                EXPECT_EQ(KDF_Bytes(out.data(), long(len), z.data(), long(z.size()), nullptr, 0, nullptr,
                                    0x2000 | alg),
                          -17);
                continue;
            }
            // KDF2 is the same construction with the counter after Z.
            ASSERT_EQ(KDF_Bytes(out.data(), long(len), z.data(), long(z.size()), info.data(),
                                long(info.size()), nullptr, 0x2000 | alg),
                      0);
            EXPECT_EQ(to_hex(out), to_hex(want)) << name;
            // KDF3: Hash(counter || Z || info), counter from 1.
            Bytes k3;
            for (uint32_t c = 1; k3.size() < len; c++) {
                Bytes in = {uint8_t(c >> 24), uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
                in.insert(in.end(), z.begin(), z.end());
                in.insert(in.end(), info.begin(), info.end());
                Bytes h = ossl_digest(name, in);
                k3.insert(k3.end(), h.begin(), h.end());
            }
            k3.resize(len);
            ASSERT_EQ(KDF_Bytes(out.data(), long(len), z.data(), long(z.size()), info.data(),
                                long(info.size()), nullptr, 0x3000 | alg),
                      0);
            EXPECT_EQ(to_hex(out), to_hex(k3)) << name;
        }
    }
}

TEST(Kdf, ArgumentAndParameterErrors) {
    unsigned char out[64];
    const unsigned char z[4] = {1, 2, 3, 4};
    EXPECT_EQ(KDF_Bytes(out, 16, z, 4, nullptr, 0, nullptr, 0x1006), -17);  // HKDF with SHA-224
    EXPECT_EQ(KDF_Bytes(out, 16, z, 4, nullptr, 0, nullptr, 0x4003), -17);
    EXPECT_EQ(KDF_Bytes(out, 16, z, 4, nullptr, 0, nullptr, 9), -17);
    EXPECT_EQ(KDF_Bytes(nullptr, 16, z, 4, nullptr, 0, nullptr, 3), -6);
    EXPECT_EQ(KDF_Bytes(out, 0, z, 4, nullptr, 0, nullptr, 3), -6);
    EXPECT_EQ(KDF_Bytes(out, 16, nullptr, 4, nullptr, 0, nullptr, 3), -6);
    EXPECT_EQ(KDF_Bytes(out, 16, z, -1, nullptr, 0, nullptr, 3), -6);
    EXPECT_EQ(KDF_Bytes(out, 16, z, 4, nullptr, -1, nullptr, 3), -6);
    EXPECT_EQ(KDF_Bytes(out, 16, z, 4, nullptr, 0, "pepper=00", 0x1003), -6);
    char msg[700];
    VELT_LastError(msg, sizeof msg - 1);
    EXPECT_NE(std::string(msg).find("'pepper' is not a valid attribute name"), std::string::npos) << msg;
    EXPECT_EQ(KDF_Bytes(out, 16, z, 4, nullptr, 0, "salt=0g", 0x1003), -7);
    VELT_LastError(msg, sizeof msg - 1);
    EXPECT_NE(std::string(msg).find("Invalid hex '0g'"), std::string::npos) << msg;
    // An empty shared secret to KDF2/KDF3 is a recorded -6, not a positive 6.
    EXPECT_EQ(KDF_Bytes(out, 16, z, 0, nullptr, 0, nullptr, 0x2003), -6);
    EXPECT_EQ(VELT_ErrorCode(), 6);
    EXPECT_EQ(KDF_Bytes(out, 16, z, 0, nullptr, 0, nullptr, 0x3003), -6);
    // The internal KDF2/KDF3 keep their positive codes.
    EXPECT_EQ(kdf2(out, 16, z, 0, nullptr, 0, 3), 6);
    EXPECT_EQ(kdf3(nullptr, 16, z, 4, nullptr, 0, 3), 14);
    // HKDF limits.
    std::vector<unsigned char> big(255 * 32 + 1);
    EXPECT_EQ(hkdf_Bytes(big.data(), long(big.size()), z, 4, nullptr, 0, nullptr, 0, 3), -11);
    EXPECT_EQ(hkdf_Bytes(big.data(), long(big.size()) - 1, z, 4, nullptr, 0, nullptr, 0, 3), 0);
    EXPECT_EQ(hkdf_Extract(out, 31, z, 4, nullptr, 0, 3), -30);
    EXPECT_EQ(hkdf_Extract(nullptr, 0, z, 4, nullptr, 0, 3), 32);
    // X9.63 with SHA-256 for 33 bytes: the second block cut to one byte.
    unsigned char k33[33], k64[64];
    ASSERT_EQ(kdfX963(k33, 33, z, 4, nullptr, 0, 3), 0);
    ASSERT_EQ(kdfX963(k64, 64, z, 4, nullptr, 0, 3), 0);
    EXPECT_EQ(to_hex(k33, 33), to_hex(k64, 33));
}

TEST(Xof, ShakeAndMgf1) {
    std::mt19937 rng(12);
    for (size_t len = 0; len <= 300; len++) {
        Bytes m = random_bytes(rng, len);
        for (int bits : {128, 256}) {
            size_t outlen = 1 + (len * 5) % 400;
            Bytes out(outlen), want(outlen);
            ASSERT_EQ(XOF_Bytes(out.data(), long(outlen), m.empty() ? (const void*)"" : m.data(), long(len),
                                bits == 128 ? 0x203 : 0x204),
                      long(outlen));
            EVP_MD_CTX* c = EVP_MD_CTX_new();
            EVP_DigestInit_ex(c, EVP_get_digestbyname(bits == 128 ? "SHAKE128" : "SHAKE256"), nullptr);
            EVP_DigestUpdate(c, m.data(), m.size());
            EVP_DigestFinalXOF(c, want.data(), outlen);
            EVP_MD_CTX_free(c);
            ASSERT_EQ(to_hex(out), to_hex(want)) << bits << " " << len;
        }
    }
    // MGF1-SHA-256 by definition (RFC 8017 B.2.1).
    Bytes seed = from_hex("0102030405"), out(100);
    EXPECT_EQ(XOF_Bytes(out.data(), 100, seed.data(), 5, 0x213), 100);
    Bytes want;
    for (uint32_t c = 0; want.size() < 100; c++) {
        Bytes in = seed;
        in.insert(in.end(), {uint8_t(c >> 24), uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
        Bytes h = ossl_digest("SHA256", in);
        want.insert(want.end(), h.begin(), h.end());
    }
    want.resize(100);
    EXPECT_EQ(to_hex(out), to_hex(want));
    EXPECT_EQ(XOF_Bytes(out.data(), 100, seed.data(), 5, 0x211), -17);  // MGF1 with MD5
    EXPECT_EQ(XOF_Bytes(out.data(), 100, seed.data(), 5, 0x201), -17);  // KMAC is a PRF
    EXPECT_EQ(XOF_Bytes(out.data(), 100, seed.data(), 5, 0x205), -17);
    EXPECT_EQ(XOF_Bytes(nullptr, 100, seed.data(), 5, 0x204), -6);
    EXPECT_EQ(mgf1Bytes(out.data(), 0, seed.data(), 5, 3), -6);
}

TEST(Prf, KmacMatchesSp800185SamplesAndOpenSsl) {
    Bytes key = from_hex("404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f");
    Bytes d4 = from_hex("00010203"), d200(200);
    for (size_t i = 0; i < 200; i++) d200[i] = uint8_t(i);
    const char* tag = "My Tagged Application";
    struct Sample {
        long sel;
        const Bytes* data;
        const char* custom;
        size_t len;
        const char* want;
    } samples[] = {
        {0x201, &d4, "", 32, "e5780b0d3ea6f7d3a429c5706aa43a00fadbd7d49628839e3187243f456ee14e"},
        {0x201, &d4, tag, 32, "3b1fba963cd8b0b59e8c1a6d71888b7143651af8ba0a7070c0979e2811324aa5"},
        {0x201, &d200, tag, 32, "1f5b4e6cca02209e0dcb5ca635b89a15e271ecc760071dfd805faa38f9729230"},
        {0x202, &d4, tag, 64,
         "20c570c31346f703c9ac36c61c03cb64c3970d0cfc787e9b79599d273a68d2f7f69d4cc3de9d104a351689f27cf6f5951f0"
         "103f33f4f2"
         "4871024d9c27773a8dd"},
        {0x202, &d200, "", 64,
         "75358cf39e41494e949707927cee0af20a3ff553904c86b08f21cc414bcfd691589d27cf5e15369cbbff8b9a4c2eb178008"
         "55d0235ff6"
         "35da82533ec6b759b69"},
        {0x202, &d200, tag, 64,
         "b58618f71f92e1d56c1b8c55ddd7cd188b97b4ca4d99831eb2699a837da2e4d970fbacfde50033aea585f1a2708510c32d0"
         "7880801bd1"
         "82898fe476876fc8965"},
    };
    for (const Sample& s : samples) {
        Bytes out(s.len);
        ASSERT_EQ(PRF_Bytes(out.data(), long(s.len), s.data->data(), long(s.data->size()), key.data(),
                            long(key.size()), s.custom, s.sel),
                  long(s.len));
        EXPECT_EQ(to_hex(out), s.want);
    }
    std::mt19937 rng(13);
    for (size_t len = 0; len <= 300; len += 3) {
        Bytes m = random_bytes(rng, len), k = random_bytes(rng, 4 + len % 200);
        std::string custom(len % 9, 'c');
        size_t outlen = 1 + len % 90;
        for (long sel : {0x201L, 0x202L}) {
            Bytes out(outlen);
            ASSERT_EQ(PRF_Bytes(out.data(), long(outlen), m.empty() ? (const void*)"" : m.data(), long(len),
                                k.data(), long(k.size()), custom.c_str(), sel),
                      long(outlen));
            EXPECT_EQ(to_hex(out),
                      to_hex(ossl_kmac(sel == 0x201 ? "KMAC128" : "KMAC256", k, m, custom, outlen)));
        }
    }
    unsigned char out[8];
    EXPECT_EQ(PRF_Bytes(out, 0, d4.data(), 4, key.data(), 32, nullptr, 0x201), 0);
    EXPECT_EQ(PRF_Bytes(out, 8, d4.data(), 4, key.data(), 32, nullptr, 0x213), -17);  // MGF1 is not a PRF
    EXPECT_EQ(PRF_Bytes(out, 8, nullptr, 4, key.data(), 32, nullptr, 0x201), -6);
    // SHAKE through PRF_Bytes ignores the key.
    Bytes a(8), b(8);
    PRF_Bytes(a.data(), 8, d4.data(), 4, key.data(), 32, nullptr, 0x204);
    XOF_Bytes(b.data(), 8, d4.data(), 4, 0x204);
    EXPECT_EQ(a, b);
}

TEST(Hpke, DeriveKeyPairVectorsOfRfc9180) {
    struct Case {
        const char* curve;
        const char* ikm;
        const char* sk;
    } cases[] = {
        {"X25519", "7268600d403fce431561aef583ee1613527cff655c1343f29812e66706df3234",
         "52c4a758a802cd8b936eceea314432798d5baf2d7e9235dc084ab1b9cfa2f736"},
        {"x25519", "6db9df30aa07dd42ee5e8181afdb977e538f5e1fec8a06223f33f7013e525037",
         "4612c550263fc8ad58375df3f557aac531d26850903e55a9f23f21d8534e8ac8"},
        {"P-256", "4270e54ffd08d79d5928020af4686d8f6b7d35dbe470265f1f5aa22816ce860e",
         "4995788ef4b9d6132b249ce59a77281493eb39af373d236a1fe415cb0c2d7beb"},
        {"p_256", "668b37171f1072f3cf12ea8a236a45df23fc13b82af3609ad1e354f6ef817550",
         "f3ce7fdae57e1a310d87f1ebbde6f328be0a99cdbcadf4d6589cf29de4b8ffd2"},
        {"P-521",
         "7f06ab8215105fc46aceeb2e3dc5028b44364f960426eb0d8e4026c2f8b5d7e7a986688f1591abf5ab753c357a5d6f04404"
         "14b4ed4ede7"
         "1317772ac98d9239f70904",
         "014784c692da35df6ecde98ee43ac425dbdd0969c0c72b42f2e708ab9d535415a8569bdacfcc0a114c85b8e3f26acf4d681"
         "15f8c91a66"
         "178cdbd03b7bcc5291e374b"},
    };
    for (const Case& c : cases) {
        Bytes ikm = from_hex(c.ikm);
        char out[300];
        long want = long(strlen(c.sk));
        EXPECT_EQ(HPKE_DerivePrivateKey(nullptr, 0, ikm.data(), long(ikm.size()), c.curve, nullptr,
                                        VELT_ENCODE_HEX),
                  want);
        EXPECT_EQ(
            HPKE_DerivePrivateKey(out, want - 1, ikm.data(), long(ikm.size()), c.curve, nullptr, 0x10000),
            -30);
        ASSERT_EQ(HPKE_DerivePrivateKey(out, sizeof out - 1, ikm.data(), long(ikm.size()), c.curve, nullptr,
                                        0x20000),
                  want)
            << c.curve;
        EXPECT_STREQ(out, c.sk) << c.curve;
        // Without the hex option: a private key string holding the same key.
        char key[400];
        ASSERT_GT(
            HPKE_DerivePrivateKey(key, sizeof key - 1, ikm.data(), long(ikm.size()), c.curve, nullptr, 0), 0);
        EXPECT_EQ(key[0], 'P');
        ASSERT_EQ(ECC_QueryKey(out, sizeof out - 1, key, "privateKey", 0), want);
        EXPECT_STREQ(out, c.sk) << c.curve;
    }
    Bytes ikm(32, 1);
    char out[200];
    EXPECT_EQ(HPKE_DerivePrivateKey(out, 199, ikm.data(), 32, "P-224", nullptr, VELT_ENCODE_HEX), -19);
    EXPECT_EQ(HPKE_DerivePrivateKey(out, 199, ikm.data(), 31, "X25519", nullptr, VELT_ENCODE_HEX), -26);
    EXPECT_EQ(HPKE_DerivePrivateKey(out, 199, ikm.data(), 32, "P-224", nullptr, 0), -19);
    EXPECT_EQ(HPKE_DerivePrivateKey(out, 10, ikm.data(), 32, "X25519", nullptr, 0), -30);
}

TEST(Hpke, LabeledStepsFollowRfc9180Framing) {
    // LabeledExtract = HKDF-Extract(salt, "HPKE-v1" || suite || label || ikm)
    Bytes ikm = from_hex("00112233"), salt = from_hex("aabb");
    unsigned char prk[64];
    ASSERT_EQ(HPKE_LabeledExtract(prk, 64, salt.data(), 2, "lbl", ikm.data(), 4, "P-384", nullptr, 0x550),
              48);
    Bytes labeled = testutil::bytes_of("HPKE-v1");
    Bytes suite = {'H', 'P', 'K', 'E', 0x00, 0x11, 0x00, 0x02, 0x00, 0x03};
    labeled.insert(labeled.end(), suite.begin(), suite.end());
    labeled.insert(labeled.end(), {'l', 'b', 'l'});
    labeled.insert(labeled.end(), ikm.begin(), ikm.end());
    unsigned char want[64];
    ASSERT_EQ(hkdf_Extract(want, 64, labeled.data(), long(labeled.size()), salt.data(), 2, 4), 48);
    EXPECT_EQ(to_hex(prk, 48), to_hex(want, 48));
    // LabeledExpand with L = 300 puts 0x01 0x2C in front of "HPKE-v1".
    Bytes out(300);
    ASSERT_EQ(HPKE_LabeledExpand(out.data(), 300, prk, 48, "exp", ikm.data(), 4, "P-384", nullptr, 0), 0);
    Bytes info = {0x01, 0x2c, 'H', 'P', 'K', 'E', '-', 'v', '1', 'K', 'E', 'M', 0x00, 0x11, 'e', 'x', 'p'};
    info.insert(info.end(), ikm.begin(), ikm.end());
    Bytes ref(300);
    ASSERT_EQ(hkdf_Expand(ref.data(), 300, prk, 48, info.data(), long(info.size()), 4), 0);
    EXPECT_EQ(out, ref);
    EXPECT_EQ(HPKE_LabeledExpand(out.data(), 300, prk, 48, "exp", nullptr, 0, "P-384", nullptr, 0x530), -17);
    EXPECT_EQ(HPKE_LabeledExpand(out.data(), 300, prk, 48, "exp", nullptr, 0, "secp384r1", nullptr, 0), -19);
}

// --- Wycheproof ---

void run_mac_file(const char* file, long alg) {
    VELT_LOAD_WYCHEPROOF(j, file);
    size_t n = 0;
    for (const auto& g : j["testGroups"]) {
        size_t tag_bytes = g["tagSize"].get<size_t>() / 8;
        for (const auto& t : g["tests"]) {
            Bytes key = from_hex(t["key"]), msg = from_hex(t["msg"]), tag = from_hex(t["tag"]);
            Bytes out(64);
            long r;
            if (alg < 0)
                r = PRF_Bytes(out.data(), long(tag_bytes), msg.empty() ? (const void*)"" : msg.data(),
                              long(msg.size()), key.data(), long(key.size()), nullptr, -alg);
            else
                r = HMAC_Bytes(out.data(), long(tag_bytes), msg.empty() ? (const void*)"" : msg.data(),
                               long(msg.size()), key.empty() ? (const void*)"" : key.data(), long(key.size()),
                               alg);
            ASSERT_EQ(r, long(tag_bytes));
            out.resize(tag_bytes);
            bool valid = t["result"] == "valid";
            EXPECT_EQ(out == tag, valid) << file << " tcId " << t["tcId"];
            n++;
        }
    }
    EXPECT_GT(n, 0u);
}

TEST(Wycheproof, Hmac) {
    const std::pair<const char*, long> files[] = {
        {"hmac_sha1_test.json", 0},      {"hmac_sha224_test.json", 6},    {"hmac_sha256_test.json", 3},
        {"hmac_sha384_test.json", 4},    {"hmac_sha512_test.json", 5},    {"hmac_sha3_224_test.json", 10},
        {"hmac_sha3_256_test.json", 11}, {"hmac_sha3_384_test.json", 12}, {"hmac_sha3_512_test.json", 13}};
    for (const auto& [file, alg] : files) run_mac_file(file, alg);
}

TEST(Wycheproof, Kmac) {
    run_mac_file("kmac128_no_customization_test.json", -0x201);
    run_mac_file("kmac256_no_customization_test.json", -0x202);
}

TEST(Wycheproof, Hkdf) {
    const std::pair<const char*, long> files[] = {{"hkdf_sha1_test.json", 0},
                                                  {"hkdf_sha256_test.json", 3},
                                                  {"hkdf_sha384_test.json", 4},
                                                  {"hkdf_sha512_test.json", 5}};
    for (const auto& [file, alg] : files) {
        VELT_LOAD_WYCHEPROOF(j, file);
        for (const auto& g : j["testGroups"]) {
            for (const auto& t : g["tests"]) {
                Bytes ikm = from_hex(t["ikm"]), salt = from_hex(t["salt"]), info = from_hex(t["info"]);
                size_t size = t["size"];
                Bytes out(size ? size : 1);
                long r = hkdf_Bytes(out.data(), long(size), ikm.data(), long(ikm.size()), info.data(),
                                    long(info.size()), salt.data(), long(salt.size()), alg);
                if (t["result"] == "valid") {
                    ASSERT_EQ(r, 0) << file << " tcId " << t["tcId"];
                    EXPECT_EQ(to_hex(out), t["okm"].get<std::string>()) << file << " tcId " << t["tcId"];
                } else {
                    EXPECT_LT(r, 0) << file << " tcId " << t["tcId"];
                }
            }
        }
    }
}

}  // namespace
