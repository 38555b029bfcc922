// The AES and Triple DES block functions: published vectors, the whole S-box,
// and every bulk loop against libcrypto, on the AES-NI and portable paths.
#include <openssl/evp.h>

#include <cstring>
#include <random>

#include "cipher/aes.h"
#include "cipher/des.h"
#include "common/test_util.h"
#include "util/cpu.h"

using testutil::Bytes;
using testutil::from_hex;
using testutil::to_hex;

namespace {

// Runs each test once on the accelerated path (where present) and once on
// the portable path.
// Runs each test on the portable path, on AES-NI alone, and on AES-NI with
// VAES (AVX-512), as far as the machine has them.
class AesPaths : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        using namespace velt::cpu;
        const uint32_t wide = kVaes | kAvx512f | kAvx512bw;
        if (GetParam() == 0) {
            restrict_features(0);
        } else if (GetParam() == 1) {
            if (!has(kAesNi)) GTEST_SKIP() << "no AES-NI on this machine";
            restrict_features(~kVaes);
        } else if (!has(kAesNi | wide)) {
            GTEST_SKIP() << "no VAES/AVX-512 on this machine";
        }
    }
    void TearDown() override { velt::cpu::restrict_features(~0u); }
};

INSTANTIATE_TEST_SUITE_P(Paths, AesPaths, ::testing::Values(0, 1, 2), [](const auto& info) {
    return info.param == 0 ? "Portable" : info.param == 1 ? "AesNi" : "Vaes";
});

Bytes random_bytes(size_t n, uint32_t seed) {
    std::mt19937 g(seed);
    Bytes b(n);
    for (auto& x : b) x = uint8_t(g());
    return b;
}

// libcrypto's answer for a raw (unpadded) cipher over whole input.
Bytes evp(const EVP_CIPHER* c, bool enc, const Bytes& key, const Bytes& iv, const Bytes& in) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EXPECT_EQ(1, EVP_CipherInit_ex(ctx, c, nullptr, key.data(), iv.empty() ? nullptr : iv.data(), enc));
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    Bytes out(in.size() + 32);
    int n1 = 0, n2 = 0;
    EXPECT_EQ(1, EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), int(in.size())));
    EXPECT_EQ(1, EVP_CipherFinal_ex(ctx, out.data() + n1, &n2));
    EVP_CIPHER_CTX_free(ctx);
    out.resize(size_t(n1 + n2));
    return out;
}

uint8_t gf_mul(uint8_t a, uint8_t b) {
    uint8_t p = 0;
    for (int i = 0; i < 8; ++i) {
        if (b & 1) p ^= a;
        a = uint8_t((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
        b >>= 1;
    }
    return p;
}

// The S-box from its definition (FIPS 197 5.1.1): inverse, then affine map.
uint8_t sbox_ref(uint8_t x) {
    uint8_t inv = 0;
    for (int y = 1; y < 256 && x; ++y)
        if (gf_mul(x, uint8_t(y)) == 1) inv = uint8_t(y);
    uint8_t s = 0x63;
    for (int i = 0; i < 8; ++i) {
        int bit = ((inv >> i) ^ (inv >> ((i + 4) & 7)) ^ (inv >> ((i + 5) & 7)) ^ (inv >> ((i + 6) & 7)) ^
                   (inv >> ((i + 7) & 7))) & 1;
        s ^= uint8_t(bit << i);
    }
    return s;
}

}  // namespace

TEST(AesSbox, CircuitMatchesDefinitionForEveryByte) {
    uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = uint8_t(i);
    for (int i = 0; i < 4; ++i) velt::aes::detail::sub_bytes64(s + 64 * i);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(sbox_ref(uint8_t(i)), s[i]) << "input " << i;
    for (int i = 0; i < 4; ++i) velt::aes::detail::inv_sub_bytes64(s + 64 * i);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(i, s[i]) << "inverse at " << i;
}

TEST_P(AesPaths, Fips197AppendixC) {
    struct Case {
        const char *key, *ct;
    } cases[] = {
        {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089"},
    };
    const Bytes pt = from_hex("00112233445566778899aabbccddeeff");
    for (const auto& c : cases) {
        Bytes key = from_hex(c.key);
        velt::aes::Key k;
        ASSERT_TRUE(velt::aes::set_key(k, key.data(), key.size()));
        EXPECT_EQ(k.accel, GetParam() != 0);
        EXPECT_EQ(k.wide, GetParam() == 2);
        uint8_t out[16], back[16];
        velt::aes::encrypt_block(k, pt.data(), out);
        EXPECT_EQ(c.ct, to_hex(out, 16));
        velt::aes::decrypt_block(k, out, back);
        EXPECT_EQ(to_hex(pt), to_hex(back, 16));
    }
    velt::aes::Key k;
    EXPECT_FALSE(velt::aes::set_key(k, pt.data(), 15));
}

// Every bulk loop, every key size, block counts around the 4- and 8-block
// strides, in place and out of place, against libcrypto.
TEST_P(AesPaths, BulkLoopsMatchLibcrypto) {
    const EVP_CIPHER* ecb[] = {EVP_aes_128_ecb(), EVP_aes_192_ecb(), EVP_aes_256_ecb()};
    const EVP_CIPHER* cbc[] = {EVP_aes_128_cbc(), EVP_aes_192_cbc(), EVP_aes_256_cbc()};
    const EVP_CIPHER* ctr[] = {EVP_aes_128_ctr(), EVP_aes_192_ctr(), EVP_aes_256_ctr()};
    const EVP_CIPHER* cfb[] = {EVP_aes_128_cfb128(), EVP_aes_192_cfb128(), EVP_aes_256_cfb128()};
    for (int ks = 0; ks < 3; ++ks) {
        Bytes key = random_bytes(16 + 8 * size_t(ks), 1 + ks);
        velt::aes::Key k;
        ASSERT_TRUE(velt::aes::set_key(k, key.data(), key.size()));
        for (size_t nb : {1, 3, 4, 5, 7, 8, 9, 16, 17, 33, 48, 53}) {
            Bytes in = random_bytes(16 * nb, uint32_t(100 + nb));
            Bytes iv = random_bytes(16, uint32_t(200 + nb));
            Bytes out(in.size());
            SCOPED_TRACE("key " + std::to_string(key.size()) + " blocks " + std::to_string(nb));

            velt::aes::encrypt_blocks(k, in.data(), out.data(), nb);
            EXPECT_EQ(evp(ecb[ks], true, key, {}, in), out);
            Bytes tmp = out;
            velt::aes::decrypt_blocks(k, tmp.data(), tmp.data(), nb);
            EXPECT_EQ(in, tmp);

            Bytes v = iv;
            velt::aes::cbc_encrypt(k, v.data(), in.data(), out.data(), nb);
            EXPECT_EQ(evp(cbc[ks], true, key, iv, in), out);
            EXPECT_EQ(Bytes(out.end() - 16, out.end()), v);
            v = iv;
            tmp = out;
            velt::aes::cbc_decrypt(k, v.data(), tmp.data(), tmp.data(), nb);
            EXPECT_EQ(in, tmp);

            v = iv;
            velt::aes::cfb_decrypt(k, v.data(), in.data(), out.data(), nb);
            EXPECT_EQ(evp(cfb[ks], false, key, iv, in), out);

            v = iv;
            velt::aes::ctr_blocks(k, v.data(), in.data(), out.data(), nb);
            EXPECT_EQ(evp(ctr[ks], true, key, iv, in), out);
        }
        velt::aes::clear(k);
    }
}

// The 128-bit counter carries across all bytes; the 32-bit one wraps alone.
// 40 blocks: the carry falls inside a 16-block group.
TEST_P(AesPaths, CounterCarries) {
    Bytes key = random_bytes(16, 7);
    velt::aes::Key k;
    velt::aes::set_key(k, key.data(), 16);
    Bytes in = random_bytes(16 * 40, 8);
    Bytes out(in.size());
    Bytes iv = from_hex("00ffffffffffffffffffffffffffffF4");
    Bytes v = iv;
    velt::aes::ctr_blocks(k, v.data(), in.data(), out.data(), 40);
    EXPECT_EQ(evp(EVP_aes_128_ctr(), true, key, iv, in), out);
    EXPECT_EQ("0100000000000000000000000000001c", to_hex(v));

    v = from_hex("0102030405060708090a0b0cfffffff6");
    velt::aes::ctr_blocks(k, v.data(), in.data(), out.data(), 40, velt::aes::CtrWidth::kLow32);
    EXPECT_EQ("0102030405060708090a0b0c0000001e", to_hex(v));
    // Every block used the expected counter.
    for (uint32_t b = 0; b < 40; ++b) {
        Bytes ctr = from_hex("0102030405060708090a0b0c00000000");
        uint32_t c = 0xfffffff6u + b;
        for (int i = 0; i < 4; ++i) ctr[size_t(12 + i)] = uint8_t(c >> (24 - 8 * i));
        uint8_t ks[16];
        velt::aes::encrypt_block(k, ctr.data(), ks);
        for (int i = 0; i < 16; ++i) ASSERT_EQ(out[16 * b + i], uint8_t(in[16 * b + i] ^ ks[i])) << "block " << b;
    }
}

TEST(Des, PublishedVectors) {
    struct Case {
        const char *key, *pt, *ct;
    } cases[] = {
        {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
        // SP 800-20 variable-plaintext and variable-key tests.
        {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
        {"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
        {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
    };
    for (const auto& c : cases) {
        Bytes key = from_hex(c.key), pt = from_hex(c.pt);
        velt::des::Schedule e, d;
        velt::des::set_key(e, key.data(), true);
        velt::des::set_key(d, key.data(), false);
        uint8_t out[8], back[8];
        velt::des::crypt_block(e, pt.data(), out);
        EXPECT_EQ(c.ct, to_hex(out, 8, true));
        velt::des::crypt_block(d, out, back);
        EXPECT_EQ(pt, Bytes(back, back + 8));
    }
}

TEST(Des, TripleDesMatchesLibcrypto) {
    for (size_t nb : {1, 2, 7, 64}) {
        Bytes key = random_bytes(24, uint32_t(nb)), iv = random_bytes(8, uint32_t(nb + 1));
        Bytes in = random_bytes(8 * nb, uint32_t(nb + 2)), out(in.size());
        velt::des::TdeaKey e, d;
        velt::des::tdea_set_key(e, key.data(), true);
        velt::des::tdea_set_key(d, key.data(), false);
        velt::des::tdea_blocks(e, in.data(), out.data(), nb);
        EXPECT_EQ(evp(EVP_des_ede3_ecb(), true, key, {}, in), out);
        velt::des::tdea_blocks(d, out.data(), out.data(), nb);
        EXPECT_EQ(in, out);
        Bytes v = iv;
        velt::des::tdea_cbc_encrypt(e, v.data(), in.data(), out.data(), nb);
        EXPECT_EQ(evp(EVP_des_ede3_cbc(), true, key, iv, in), out);
        v = iv;
        velt::des::tdea_cbc_decrypt(d, v.data(), out.data(), out.data(), nb);
        EXPECT_EQ(in, out);
    }
}
