// PBKDF2, scrypt and the PKCS #12 derivation: published vectors (RFC 6070,
// RFC 7914, Wycheproof), OpenSSL as oracle, and the argument rules of the
// exported functions.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>

#include <cstring>
#include <string>

#include "common/test_util.h"
#include "morvanevelt.h"
#include "pbe/pbe.h"

using testutil::Bytes;
using testutil::from_hex;
using testutil::to_hex;

namespace {

const EVP_MD* openssl_md(long prf) {
    switch (prf) {
        case 0: return EVP_sha1();
        case 3: return EVP_sha256();
        case 4: return EVP_sha384();
        case 5: return EVP_sha512();
        case 6: return EVP_sha224();
    }
    return nullptr;
}

Bytes kdf2(const std::string& pw, const std::string& salt, long count, long dk_len, long prf) {
    Bytes dk(static_cast<size_t>(dk_len));
    EXPECT_EQ(PBE_Kdf2(dk.data(), dk_len, pw.data(), long(pw.size()), salt.data(), long(salt.size()), count, prf), 0);
    return dk;
}

}  // namespace

TEST(Pbkdf2, Rfc6070Sha1) {
    struct Case {
        std::string pw, salt;
        long count, len;
        const char* dk;
    } cases[] = {
        {"password", "salt", 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, 20, "4b007901b765489abead49d926f721d065a429c1"},
        // 25 octets: one full SHA-1 block and 5 octets of the second.
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16, "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const auto& c : cases) EXPECT_EQ(to_hex(kdf2(c.pw, c.salt, c.count, c.len, 0)), c.dk) << c.pw;
}

TEST(Pbkdf2, WycheproofFiles) {
    const std::pair<const char*, long> files[] = {{"pbkdf2_hmacsha1_test.json", 0},
                                                  {"pbkdf2_hmacsha224_test.json", 6},
                                                  {"pbkdf2_hmacsha256_test.json", 3},
                                                  {"pbkdf2_hmacsha384_test.json", 4},
                                                  {"pbkdf2_hmacsha512_test.json", 5}};
    for (const auto& [name, prf] : files) {
        VELT_LOAD_WYCHEPROOF(doc, name);
        size_t n = 0;
        for (const auto& g : doc["testGroups"])
            for (const auto& t : g["tests"]) {
                Bytes pw = from_hex(t["password"]), salt = from_hex(t["salt"]);
                long dk_len = t["dkLen"];
                Bytes dk(static_cast<size_t>(dk_len));
                ASSERT_EQ(pbeKDF2(dk.data(), dk_len, pw.data(), long(pw.size()), salt.data(), long(salt.size()),
                                  t["iterationCount"], prf),
                          0);
                EXPECT_EQ(to_hex(dk), t["dk"].get<std::string>()) << name << " tcId " << t["tcId"];
                n++;
            }
        EXPECT_GT(n, 0u) << name;
    }
}

TEST(Pbkdf2, MatchesOpenSslForEachPrfAndOddLengths) {
    for (long prf : {0L, 3L, 4L, 5L, 6L})
        for (long len : {1L, 31L, 64L, 65L, 129L}) {
            std::string pw = "correct horse " + std::to_string(len), salt = "NaCl" + std::to_string(prf);
            Bytes want(static_cast<size_t>(len));
            ASSERT_EQ(PKCS5_PBKDF2_HMAC(pw.data(), int(pw.size()), (const unsigned char*)salt.data(),
                                        int(salt.size()), 3, openssl_md(prf), int(len), want.data()),
                      1);
            EXPECT_EQ(kdf2(pw, salt, 3, len, prf), want) << prf << " " << len;
        }
}

TEST(Pbkdf2, CountZeroActsAsOne) { EXPECT_EQ(kdf2("password", "salt", 0, 20, 0), kdf2("password", "salt", 1, 20, 0)); }

TEST(Pbkdf2, ExportedErrorsArePositiveAndRecorded) {
    unsigned char dk[16];
    EXPECT_EQ(PBE_Kdf2(nullptr, 16, "pw", 2, "s", 1, 1, 0), 14);
    EXPECT_EQ(VELT_ErrorCode(), 14);
    EXPECT_EQ(PBE_Kdf2(dk, 16, "pw", 2, nullptr, 0, 1, 0), 14);
    EXPECT_EQ(PBE_Kdf2(dk, 0, "pw", 2, "s", 1, 1, 0), 6);
    EXPECT_EQ(PBE_Kdf2(dk, 16, "pw", 2, "s", 1, 1, 1), 6);  // MD5 is no PBKDF2 PRF here
    EXPECT_EQ(VELT_ErrorCode(), 6);
    // The internal form accepts a null salt of length 0 and a null password of length 0.
    EXPECT_EQ(pbeKDF2(dk, 16, nullptr, 0, nullptr, 0, 1, 0), 0);
    EXPECT_EQ(pbeKDF2(dk, 16, nullptr, 1, nullptr, 0, 1, 0), 14);
}

TEST(Pbkdf2, HexForm) {
    char out[41];
    EXPECT_EQ(PBE_Kdf2Hex(out, 40, 20, "password", "73616C74", 2, 0), 0);
    EXPECT_STREQ(out, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
    EXPECT_EQ(PBE_Kdf2Hex(out, 39, 20, "password", "73616c74", 2, 0), 30);
    EXPECT_EQ(PBE_Kdf2Hex(out, 40, 20, "password", "73616c7", 2, 0), 7);
    EXPECT_EQ(PBE_Kdf2Hex(out, 40, 20, "password", "7361zz74", 2, 0), 7);
    EXPECT_EQ(PBE_Kdf2Hex(out, 40, 20, nullptr, "73616c74", 2, 0), 14);
    EXPECT_EQ(PBE_Kdf2Hex(out, 40, 0, "password", "73616c74", 2, 0), 6);
    EXPECT_EQ(PBE_Kdf2Hex(out, 40, 20, "password", "73616c74", 0, 0), 6);
    EXPECT_EQ(VELT_ErrorCode(), 6);
}

TEST(Scrypt, Rfc7914) {
    struct Case {
        std::string pw, salt;
        long N, r, p;
        const char* dk;
    } cases[] = {
        {"", "", 16, 1, 1,
         "77d6576238657b203b19ca42c18a0497f16b4844e3074ae8dfdffa3fede21442fcd0069ded0948f8326a753a0fc81f17e8d3e0fb2e0d"
         "3628cf35e20c38d18906"},
        {"password", "NaCl", 1024, 8, 16,
         "fdbabe1c9d3472007856e7190d01e9fe7c6ad7cbc8237830e77376634b3731622eaf30d92e22a3886ff109279d9830dac727afb94a83"
         "ee6d8360cbdfa2cc0640"},
        {"pleaseletmein", "SodiumChloride", 16384, 8, 1,
         "7023bdcb3afd7348461c06cd81fd38ebfda8fbba904f8e3ea9b543f6545da1f2d5432955613f0fcf62d49705242a9af9e61e85dc0d65"
         "1e40dfcf017b45575887"},
    };
    for (const auto& c : cases) {
        Bytes dk(64);
        ASSERT_EQ(PBE_Scrypt(dk.data(), 64, c.pw.data(), long(c.pw.size()), c.salt.data(), long(c.salt.size()), c.N,
                             c.r, c.p, 0),
                  0);
        EXPECT_EQ(to_hex(dk), c.dk) << c.pw;
    }
}

TEST(Scrypt, MatchesOpenSslOnOddShapes) {
    const struct { uint64_t N, r, p; long len; } shapes[] = {{2, 1, 1, 1}, {8, 3, 2, 37}, {64, 1, 3, 100}};
    for (const auto& s : shapes) {
        Bytes want(static_cast<size_t>(s.len)), got(size_t(s.len));
        ASSERT_EQ(EVP_PBE_scrypt("pw", 2, (const unsigned char*)"salt", 4, s.N, s.r, s.p, 0, want.data(),
                                 size_t(s.len)),
                  1);
        ASSERT_EQ(scrypt(got.data(), s.len, (const uint8_t*)"pw", 2, (const uint8_t*)"salt", 4, s.N, s.r, s.p), 0);
        EXPECT_EQ(got, want) << s.N << " " << s.r << " " << s.p;
    }
}

TEST(Scrypt, ParameterRules) {
    unsigned char dk[32];
    EXPECT_EQ(PBE_Scrypt(dk, 32, "pw", 2, "s", 1, 1023, 8, 1, 0), -11);  // not a power of 2
    EXPECT_EQ(VELT_ErrorCode(), 11);
    EXPECT_EQ(PBE_Scrypt(dk, 32, "pw", 2, "s", 1, 1024, 8, 1, 0), 0);
    EXPECT_EQ(PBE_Scrypt(dk, 32, "pw", 2, "s", 1, 1, 1, 1, 0), -11);     // N < 2
    EXPECT_EQ(PBE_Scrypt(dk, 32, "pw", 2, "s", 1, 0, 1, 1, 0), -6);
    EXPECT_EQ(PBE_Scrypt(dk, 32, "pw", 2, "s", 1, 16, 0, 1, 0), -6);
    EXPECT_EQ(PBE_Scrypt(dk, 0, "pw", 2, "s", 1, 16, 1, 1, 0), -6);
    EXPECT_EQ(PBE_Scrypt(dk, 32, "pw", 2, "s", 1, 16, 8, 1L << 27, 0), -11);  // p >= 2^30 / r
    EXPECT_EQ(PBE_Scrypt(dk, 32, "pw", 2, "s", 1, 1L << 55, 8, 1, 0), -11);   // N > (2^57 - 1) / r
    EXPECT_EQ(PBE_Scrypt(nullptr, 32, "pw", 2, "s", 1, 16, 1, 1, 0), -14);
    EXPECT_EQ(PBE_Scrypt(dk, 32, nullptr, 2, "s", 1, 16, 1, 1, 0), -14);
    // A table that cannot be allocated is error 5, not a crash.
    EXPECT_EQ(PBE_Scrypt(dk, 32, "pw", 2, "s", 1, 1L << 50, 1, 1, 0), -5);
    char hex[65];
    EXPECT_EQ(PBE_ScryptHex(hex, 64, 32, "password", "4e61436c", 16, 1, 1, 0), 0);
    EXPECT_EQ(strlen(hex), 64u);
    EXPECT_EQ(PBE_ScryptHex(hex, 63, 32, "password", "4e61436c", 16, 1, 1, 0), -30);
    EXPECT_EQ(PBE_ScryptHex(hex, 64, 32, "password", "4e61436", 16, 1, 1, 0), -7);
    EXPECT_EQ(PBE_ScryptHex(hex, 64, 32, "password", "4e61436c", 0, 1, 1, 0), -6);
}

TEST(Pkcs12Kdf, MatchesOpenSsl) {
    // OpenSSL's PKCS12_key_gen_uni takes the password already in BMP form,
    // as ours does after the record's one-time conversion.
    const Bytes salt = from_hex("0a58cf64530d823f");
    for (int id : {1, 2, 3})
        for (size_t n : {size_t(8), size_t(24), size_t(45)}) {
            PbeRec* pbe = pbe_New();
            pbe_SetPassword(pbe, (const uint8_t*)"smeg", 4);
            pbe_SetSalt(pbe, salt.data(), salt.size());
            pbe_SetCount(pbe, 3);
            Bytes got(n), want(n);
            ASSERT_EQ(pbe_MakePkcs12KeySHA(got.data(), n, pbe, id), 0);
            // A second call must not convert the password again.
            Bytes again(n);
            ASSERT_EQ(pbe_MakePkcs12KeySHA(again.data(), n, pbe, id), 0);
            unsigned char bmp[] = {0, 's', 0, 'm', 0, 'e', 0, 'g', 0, 0};
            ASSERT_EQ(PKCS12_key_gen_uni(bmp, sizeof bmp, (unsigned char*)salt.data(), int(salt.size()), id, 3,
                                         int(n), want.data(), EVP_sha1()),
                      1);
            EXPECT_EQ(got, want) << id << " " << n;
            EXPECT_EQ(again, want);
            pbe_Free(&pbe);
            EXPECT_EQ(pbe, nullptr);
        }
}
