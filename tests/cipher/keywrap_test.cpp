// AES key wrap (RFC 3394) and Triple-DES key wrap (RFC 3217): the RFC
// examples, Wycheproof aes_wrap, both directions against libcrypto, and the
// length, selector and integrity failures (output zeroed).
#include <openssl/evp.h>

#include <algorithm>
#include <random>

#include "cipher/aead.h"
#include "cipher/keywrap.h"
#include "common/test_util.h"
#include "morvanevelt.h"
#include "util/cpu.h"

using testutil::Bytes;
using testutil::from_hex;
using testutil::to_hex;

namespace {

class KeyWrapPaths : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override { velt::cpu::restrict_features(GetParam()); }
    void TearDown() override { velt::cpu::restrict_features(~0u); }
};
INSTANTIATE_TEST_SUITE_P(Paths, KeyWrapPaths, ::testing::Values(~0u, 0u),
                         [](const auto& info) { return info.param ? "Accelerated" : "Portable"; });

long aes_opt(size_t kek_len) { return kek_len == 16 ? 0x20 : kek_len == 24 ? 0x30 : 0x40; }

Bytes wrap(const Bytes& data, const Bytes& kek, long opt) {
    Bytes out(data.size() + 40);
    long n = CIPHER_KeyWrap(out.data(), long(out.size()), data.data(), long(data.size()), kek.data(),
                            long(kek.size()), opt);
    EXPECT_GT(n, 0);
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

long unwrap(const Bytes& in, const Bytes& kek, long opt, Bytes& out) {
    out.assign(in.size(), 0xEE);
    long n = CIPHER_KeyUnwrap(out.data(), long(out.size()), in.data(), long(in.size()), kek.data(),
                              long(kek.size()), opt);
    if (n >= 0) out.resize(size_t(n));
    return n;
}

TEST_P(KeyWrapPaths, Rfc3394Examples) {
    const char* kek256 = "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F";
    struct Case {
        size_t kek_len;
        const char* data;
        const char* out;
    } cases[] = {
        {16, "00112233445566778899AABBCCDDEEFF", "1FA68B0A8112B447AEF34BD8FB5A7B829D3E862371D2CFE5"},
        {24, "00112233445566778899AABBCCDDEEFF", "96778B25AE6CA435F92B5B97C050AED2468AB8A17AD84E5D"},
        {32, "00112233445566778899AABBCCDDEEFF", "64E8C3F9CE0F5BA263E9777905818A2A93C8191E7D6E8AE7"},
        {24, "00112233445566778899AABBCCDDEEFF0001020304050607",
         "031D33264E15D33268F24EC260743EDCE1C6C7DDEE725A936BA814915C6762D2"},
        {32, "00112233445566778899AABBCCDDEEFF0001020304050607",
         "A8F9BC1612C68B3FF6E6F4FBE30E71E4769C8B80A32CB8958CD5D17D6B254DA1"},
        {32, "00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F",
         "28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21"},
    };
    for (const Case& c : cases) {
        Bytes kek = from_hex(std::string(kek256).substr(0, 2 * c.kek_len)), data = from_hex(c.data);
        EXPECT_EQ(c.out, to_hex(wrap(data, kek, aes_opt(c.kek_len)), true));
        // The alternative selector bits give the same result.
        EXPECT_EQ(c.out, to_hex(wrap(data, kek, aes_opt(c.kek_len) << 16), true));
        Bytes back;
        EXPECT_EQ(long(data.size()), unwrap(from_hex(c.out), kek, aes_opt(c.kek_len), back));
        EXPECT_EQ(data, back);
    }
}

TEST_P(KeyWrapPaths, WycheproofAesWrap) {
    VELT_LOAD_WYCHEPROOF(doc, "aes_wrap_test.json");
    int valid = 0, invalid = 0;
    for (const auto& g : doc["testGroups"]) {
        for (const auto& t : g["tests"]) {
            Bytes kek = from_hex(t["key"]), msg = from_hex(t["msg"]), ct = from_hex(t["ct"]);
            const std::string result = t["result"];
            const int id = t["tcId"];
            long opt = aes_opt(kek.size());
            Bytes out;
            long r = unwrap(ct, kek, opt, out);
            if (result == "valid") {
                ++valid;
                EXPECT_EQ(long(msg.size()), r) << id;
                EXPECT_EQ(to_hex(msg), to_hex(out)) << id;
                EXPECT_EQ(to_hex(ct), to_hex(wrap(msg, kek, opt))) << id;
            } else if (result == "invalid") {
                ++invalid;
                EXPECT_TRUE(r == -15 || r == -26) << id << " gave " << r;
                if (r == -15) {
                    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + long(ct.size() - 8),
                                            [](uint8_t b) { return b == 0; }))
                        << id;
                }
            } else {
                // "acceptable": wrapping 8 bytes, which RFC 3394 does not
                // allow (n >= 2 blocks); refused either way.
                EXPECT_EQ(-26, r) << id;
            }
        }
    }
    EXPECT_GT(valid, 30);
    EXPECT_GT(invalid, 100);
}

const EVP_CIPHER* evp_wrap(size_t kek_len) {
    return kek_len == 16 ? EVP_aes_128_wrap() : kek_len == 24 ? EVP_aes_192_wrap() : EVP_aes_256_wrap();
}

// One libcrypto wrap or unwrap; empty on failure.
Bytes evp_kw(const EVP_CIPHER* cipher, bool enc, const Bytes& kek, const Bytes& in) {
    EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
    EVP_CIPHER_CTX_set_flags(c, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    Bytes out(in.size() + 64);
    int len = 0, fin = 0;
    bool ok = EVP_CipherInit_ex(c, cipher, nullptr, kek.data(), nullptr, enc ? 1 : 0) == 1 &&
              EVP_CipherUpdate(c, out.data(), &len, in.data(), int(in.size())) == 1 &&
              EVP_CipherFinal_ex(c, out.data() + len, &fin) == 1;
    EVP_CIPHER_CTX_free(c);
    if (!ok || len <= 0) return {};
    out.resize(size_t(len + fin));
    return out;
}

TEST_P(KeyWrapPaths, MatchesLibcryptoBothWays) {
    std::mt19937 g(5);
    for (size_t kek_len : {16, 24, 32}) {
        for (size_t n : {16, 24, 32, 40, 64, 200}) {
            Bytes kek(kek_len), data(n);
            for (auto& b : kek) b = uint8_t(g());
            for (auto& b : data) b = uint8_t(g());
            Bytes ours = wrap(data, kek, aes_opt(kek_len));
            EXPECT_EQ(to_hex(evp_kw(evp_wrap(kek_len), true, kek, data)), to_hex(ours));
            Bytes back;
            EXPECT_EQ(long(n), unwrap(ours, kek, aes_opt(kek_len), back));
            EXPECT_EQ(data, back);
        }
    }
    // Triple DES: the IV is random, so check that each side unwraps the
    // other's result, and that two wraps of one key differ.
    for (int i = 0; i < 8; ++i) {
        Bytes kek(24), key(24);
        for (auto& b : kek) b = uint8_t(g());
        for (auto& b : key) b = uint8_t(g());
        Bytes ours = wrap(key, kek, 0x10);
        ASSERT_EQ(40u, ours.size());
        EXPECT_EQ(to_hex(key), to_hex(evp_kw(EVP_des_ede3_wrap(), false, kek, ours)));
        EXPECT_NE(to_hex(ours), to_hex(wrap(key, kek, 0x100000)));
        Bytes back;
        EXPECT_EQ(24, unwrap(evp_kw(EVP_des_ede3_wrap(), true, kek, key), kek, 0x10, back));
        EXPECT_EQ(key, back);
    }
}

TEST(KeyWrap, Rfc3217Example) {
    Bytes kek = from_hex("255e0d1c07b646dfb3134cc843ba8aa71f025b7c0838251f");
    Bytes cek = from_hex("2923bf85e06dd6ae529149f1f1bae9eab3a7da3d860d3e98");
    Bytes iv = from_hex("5dd4cbfc96f5453b");
    const std::string expect = "690107618ef092b3b48ca1796b234ae9fa33ebb4159604037db5d6a84eb3aac2768c632775a467d4";
    Bytes out(40);
    velt::aead::tdesWrapWithIv(out.data(), cek.data(), kek.data(), iv.data());
    EXPECT_EQ(expect, to_hex(out));
    Bytes back;
    EXPECT_EQ(24, unwrap(from_hex(expect), kek, 0x10, back));
    EXPECT_EQ(cek, back);
}

TEST(KeyWrap, LengthsSelectorsAndIntegrity) {
    Bytes kek16(16, 1), kek24(24, 2), key16(16, 3), key24(24, 4), out(64);
    // Length queries.
    EXPECT_EQ(24, CIPHER_KeyWrap(nullptr, 0, key16.data(), 16, kek16.data(), 16, 0x20));
    EXPECT_EQ(24, CIPHER_KeyWrap(out.data(), 0, key16.data(), 16, kek16.data(), 16, 0x20));
    EXPECT_EQ(40, CIPHER_KeyWrap(nullptr, 0, key24.data(), 24, kek24.data(), 24, 0x10));
    // Triple DES wraps only 24-byte keys under 24-byte KEKs.
    EXPECT_EQ(-33, CIPHER_KeyWrap(out.data(), 64, key16.data(), 16, kek24.data(), 24, 0x10));
    EXPECT_EQ(-33, CIPHER_KeyWrap(out.data(), 64, key24.data(), 24, kek16.data(), 16, 0x10));
    EXPECT_EQ(-30, CIPHER_KeyWrap(out.data(), 39, key24.data(), 24, kek24.data(), 24, 0x10));
    // AES: KEK length, key data length, room, selector.
    EXPECT_EQ(-33, CIPHER_KeyWrap(out.data(), 64, key16.data(), 16, kek24.data(), 24, 0x20));
    EXPECT_EQ(-26, CIPHER_KeyWrap(out.data(), 64, key16.data(), 8, kek16.data(), 16, 0x20));
    EXPECT_EQ(-26, CIPHER_KeyWrap(out.data(), 64, key24.data(), 20, kek16.data(), 16, 0x20));
    EXPECT_EQ(-30, CIPHER_KeyWrap(out.data(), 23, key16.data(), 16, kek16.data(), 16, 0x20));
    EXPECT_EQ(-17, CIPHER_KeyWrap(out.data(), 64, key16.data(), 16, kek16.data(), 16, 0x50));
    EXPECT_EQ(-17, CIPHER_KeyWrap(out.data(), 64, key16.data(), 16, kek16.data(), 16, 0x200020));
    EXPECT_EQ(-17, CIPHER_KeyUnwrap(out.data(), 64, key24.data(), 24, kek16.data(), 16, 0));

    // Unwrapping under the wrong KEK: error 15 and a zeroed output.
    Bytes w = wrap(key16, kek16, 0x20);
    ASSERT_EQ(24u, w.size());
    Bytes wrong(16, 9), got;
    EXPECT_EQ(-15, unwrap(w, wrong, 0x20, got));
    EXPECT_EQ(Bytes(16, 0), Bytes(got.begin(), got.begin() + 16));
    // The unwrap output room is checked (it was not).
    EXPECT_EQ(-30, CIPHER_KeyUnwrap(out.data(), 15, w.data(), 24, kek16.data(), 16, 0x20));
    EXPECT_EQ(16, CIPHER_KeyUnwrap(out.data(), 0, w.data(), 24, kek16.data(), 16, 0x20));
    EXPECT_EQ(-26, CIPHER_KeyUnwrap(out.data(), 64, w.data(), 16, kek16.data(), 16, 0x20));
    EXPECT_EQ(-26, CIPHER_KeyUnwrap(out.data(), 64, w.data(), 23, kek16.data(), 16, 0x20));

    Bytes t = wrap(key24, kek24, 0x10);
    EXPECT_EQ(-26, CIPHER_KeyUnwrap(out.data(), 64, t.data(), 32, kek24.data(), 24, 0x10));
    EXPECT_EQ(-30, CIPHER_KeyUnwrap(out.data(), 23, t.data(), 40, kek24.data(), 24, 0x10));
    Bytes kek_other(24, 5);
    EXPECT_EQ(-15, unwrap(t, kek_other, 0x10, got));
    EXPECT_EQ(Bytes(24, 0), Bytes(got.begin(), got.begin() + 24));
    t[39] ^= 1;
    EXPECT_EQ(-15, unwrap(t, kek24, 0x10, got));
}

}  // namespace
