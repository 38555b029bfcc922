// The CIPHER_ byte, hexadecimal and file functions against libcrypto and the
// `openssl enc` command, for every algorithm, mode and padding, on the AES-NI
// and portable paths.
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <random>

#include "cipher/cipher.h"
#include "common/test_util.h"
#include "morvanevelt.h"
#include "util/cpu.h"

using testutil::Bytes;
using testutil::from_hex;
using testutil::to_hex;

namespace {

Bytes random_bytes(size_t n, uint32_t seed) {
    std::mt19937 g(seed);
    Bytes b(n);
    for (auto& x : b) x = uint8_t(g());
    return b;
}

struct Alg {
    const char* name;
    long bits;
    size_t key, block;
    const EVP_CIPHER* (*ecb)();
};
const Alg kAlgs[] = {
    {"tdea", 0x10, 24, 8, EVP_des_ede3_ecb},
    {"aes128", 0x20, 16, 16, EVP_aes_128_ecb},
    {"aes192", 0x30, 24, 16, EVP_aes_192_ecb},
    {"aes256", 0x40, 32, 16, EVP_aes_256_ecb},
};

const EVP_CIPHER* evp_for(const Alg& a, const std::string& mode) {
    bool t = a.bits == 0x10;
    int i = int(a.bits >> 4) - 2;
    if (mode == "ecb") return a.ecb();
    if (mode == "cbc") return t ? EVP_des_ede3_cbc() : (const EVP_CIPHER*[]){EVP_aes_128_cbc(), EVP_aes_192_cbc(), EVP_aes_256_cbc()}[i];
    if (mode == "ofb") return t ? EVP_des_ede3_ofb() : (const EVP_CIPHER*[]){EVP_aes_128_ofb(), EVP_aes_192_ofb(), EVP_aes_256_ofb()}[i];
    if (mode == "cfb") return t ? EVP_des_ede3_cfb64() : (const EVP_CIPHER*[]){EVP_aes_128_cfb128(), EVP_aes_192_cfb128(), EVP_aes_256_cfb128()}[i];
    if (mode == "ctr" && !t) return (const EVP_CIPHER*[]){EVP_aes_128_ctr(), EVP_aes_192_ctr(), EVP_aes_256_ctr()}[i];
    return nullptr;
}

Bytes evp_raw(const EVP_CIPHER* c, bool enc, const Bytes& key, const Bytes& iv, const Bytes& in) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, c, nullptr, key.data(), iv.empty() ? nullptr : iv.data(), enc);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    Bytes out(in.size() + 32);
    int n1 = 0, n2 = 0;
    EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), int(in.size()));
    EVP_CipherFinal_ex(ctx, out.data() + n1, &n2);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(size_t(n1 + n2));
    return out;
}

// libcrypto's encryption in any mode; Triple-DES CTR (which libcrypto lacks)
// is built from its ECB with a 64-bit big-endian counter.
Bytes reference_encrypt(const Alg& a, const std::string& mode, const Bytes& key, const Bytes& iv, const Bytes& in) {
    if (const EVP_CIPHER* c = evp_for(a, mode)) return evp_raw(c, true, key, mode == "ecb" ? Bytes{} : iv, in);
    Bytes ctr = iv, out(in.size());
    for (size_t off = 0; off < in.size(); off += 8) {
        Bytes ks = evp_raw(a.ecb(), true, key, {}, ctr);
        for (size_t i = 0; i < 8 && off + i < in.size(); ++i) out[off + i] = uint8_t(in[off + i] ^ ks[i]);
        for (int i = 7; i >= 0; --i)
            if (++ctr[size_t(i)]) break;
    }
    return out;
}

// Padding written independently of the library.
Bytes padded(const Bytes& in, size_t b, const std::string& pad) {
    Bytes p = in;
    size_t n = b - in.size() % b;
    if (pad == "oneandzeroes") {
        p.push_back(0x80);
        p.resize(in.size() + n, 0);
    } else if (pad == "ansix923") {
        p.resize(in.size() + n - 1, 0);
        p.push_back(uint8_t(n));
    } else {
        p.resize(in.size() + n, uint8_t(n));
    }
    return p;
}

// Runs each test on the portable path, on AES-NI alone, and on AES-NI with
// VAES (AVX-512), as far as the machine has them.
class CipherPaths : public ::testing::TestWithParam<int> {
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

INSTANTIATE_TEST_SUITE_P(Paths, CipherPaths, ::testing::Values(0, 1, 2), [](const auto& info) {
    return info.param == 0 ? "Portable" : info.param == 1 ? "AesNi" : "Vaes";
});

const size_t kLengths[] = {0, 1, 15, 16, 17, 4095, 4096, 4097, 8193, 0 /* random */};

struct Combo {
    std::string mode, pad;  // pad "" = default
};

std::vector<Combo> combos() {
    std::vector<Combo> c;
    for (const char* m : {"ecb", "cbc"})
        for (const char* p : {"", "nopadding", "pkcs5padding", "oneandzeroes", "ansix923", "w3c"}) c.push_back({m, p});
    for (const char* m : {"ofb", "cfb", "ctr"}) c.push_back({m, ""});
    return c;
}

}  // namespace

// Bytes and hexadecimal, both directions, with and without the IV prefix.
TEST_P(CipherPaths, BytesAndHexMatchLibcrypto) {
    std::mt19937 g(42);
    for (const Alg& a : kAlgs) {
        for (const Combo& c : combos()) {
            std::string sel = std::string(a.name) + "/" + c.mode + (c.pad.empty() ? "" : "/" + c.pad);
            const bool pads = (c.mode == "ecb" || c.mode == "cbc") && c.pad != "nopadding";
            for (size_t li = 0; li < std::size(kLengths); ++li) {
                size_t len = li + 1 == std::size(kLengths) ? 1 + g() % 3000 : kLengths[li];
                for (long prefix : {0L, 0x1000L}) {
                    SCOPED_TRACE(sel + " length " + std::to_string(len) + (prefix ? " prefix" : ""));
                    Bytes key = random_bytes(a.key, g()), iv = random_bytes(a.block, g());
                    Bytes pt = random_bytes(len, g());
                    const bool whole = len % a.block == 0;
                    Bytes expect;
                    if (pads) {
                        expect = reference_encrypt(a, c.mode, key, iv, padded(pt, a.block, c.pad));
                    } else if ((c.mode == "ecb" || c.mode == "cbc") && !whole) {
                        Bytes out(len + 32);
                        EXPECT_EQ(-26, CIPHER_EncryptBytes(out.data(), long(out.size()), pt.data(), long(len),
                                                           key.data(), long(key.size()), iv.data(), long(iv.size()),
                                                           sel.c_str(), prefix));
                        continue;
                    } else {
                        expect = reference_encrypt(a, c.mode, key, iv, pt);
                    }
                    if (prefix && c.mode != "ecb") expect.insert(expect.begin(), iv.begin(), iv.end());
                    if (prefix && c.mode == "ecb") expect.insert(expect.begin(), iv.begin(), iv.end());

                    long need = CIPHER_EncryptBytes(nullptr, 0, pt.data(), long(len), key.data(), long(key.size()),
                                                    iv.data(), long(iv.size()), sel.c_str(), prefix);
                    ASSERT_EQ(long(expect.size()), need);
                    Bytes ct(static_cast<size_t>(need));
                    ASSERT_EQ(need, CIPHER_EncryptBytes(ct.data(), need, pt.data(), long(len), key.data(),
                                                        long(key.size()), iv.data(), long(iv.size()), sel.c_str(),
                                                        prefix));
                    ASSERT_EQ(expect, ct);

                    long got = CIPHER_DecryptBytes(nullptr, 0, ct.data(), long(ct.size()), key.data(),
                                                   long(key.size()), iv.data(), long(iv.size()), sel.c_str(), prefix);
                    EXPECT_EQ(long(len), got);  // exact, also when padded
                    Bytes back(len + 1);
                    got = CIPHER_DecryptBytes(back.data(), long(back.size()), ct.data(), long(ct.size()), key.data(),
                                              long(key.size()), prefix ? nullptr : iv.data(),
                                              prefix ? 0 : long(iv.size()), sel.c_str(), prefix);
                    ASSERT_EQ(long(len), got);
                    back.resize(len);
                    EXPECT_EQ(pt, back);

                    // The hexadecimal forms give the same bytes.
                    if (len <= 4097) {
                        std::string hx(2 * ct.size() + 1, '\0');
                        std::string iv_hex = to_hex(iv), pt_hex = to_hex(pt), key_hex = to_hex(key);
                        long n = CIPHER_EncryptHex(hx.data(), long(hx.size()), pt_hex.c_str(), key_hex.c_str(),
                                                   iv_hex.c_str(), sel.c_str(), prefix);
                        ASSERT_EQ(long(2 * ct.size()), n);
                        EXPECT_EQ(to_hex(ct, true), hx.substr(0, size_t(n)));
                        std::string px(2 * len + 1, '\0');
                        EXPECT_EQ(long(2 * len), CIPHER_DecryptHex(nullptr, 0, hx.c_str(), key_hex.c_str(),
                                                                   iv_hex.c_str(), sel.c_str(), prefix));
                        n = CIPHER_DecryptHex(px.data(), long(px.size()), hx.c_str(), key_hex.c_str(),
                                              iv_hex.c_str(), sel.c_str(), prefix);
                        ASSERT_EQ(long(2 * len), n);
                        EXPECT_EQ(to_hex(pt, true), px.substr(0, size_t(n)));
                    }
                }
            }
        }
    }
}

// The file forms: ECB and CBC always pad (PKCS #5 style unless one-and-zeroes
// or ANSI X9.23 is chosen), the IV prefix is written outside ECB, and
// decryption gives the input back.
TEST_P(CipherPaths, FilesMatchLibcrypto) {
    std::mt19937 g(7);
    const std::string in = testutil::temp_path("plain.bin"), enc = testutil::temp_path("enc.bin"),
                      dec = testutil::temp_path("dec.bin");
    for (const Alg& a : kAlgs) {
        for (const Combo& c : combos()) {
            std::string sel = std::string(a.name) + "-" + c.mode + (c.pad.empty() ? "" : "-" + c.pad);
            const bool block_mode = c.mode == "ecb" || c.mode == "cbc";
            for (size_t li = 0; li < std::size(kLengths); ++li) {
                size_t len = li + 1 == std::size(kLengths) ? 1 + g() % 9000 : kLengths[li];
                for (long prefix : {0L, 0x1000L}) {
                    SCOPED_TRACE(sel + " length " + std::to_string(len) + (prefix ? " prefix" : ""));
                    Bytes key = random_bytes(a.key, g()), iv = random_bytes(a.block, g());
                    Bytes pt = random_bytes(len, g());
                    testutil::write_file(in, pt);
                    Bytes body = block_mode ? padded(pt, a.block, c.pad == "oneandzeroes" || c.pad == "ansix923"
                                                                      ? c.pad
                                                                      : "pkcs5")
                                            : pt;
                    Bytes expect = reference_encrypt(a, c.mode, key, iv, body);
                    if (prefix && c.mode != "ecb") expect.insert(expect.begin(), iv.begin(), iv.end());
                    ASSERT_EQ(0, CIPHER_FileEncrypt(enc.c_str(), in.c_str(), key.data(), long(key.size()), iv.data(),
                                                    long(iv.size()), sel.c_str(), prefix));
                    ASSERT_EQ(expect, testutil::read_file(enc));
                    ASSERT_EQ(0, CIPHER_FileDecrypt(dec.c_str(), enc.c_str(), key.data(), long(key.size()),
                                                    prefix ? nullptr : iv.data(), prefix ? 0 : long(iv.size()),
                                                    sel.c_str(), prefix));
                    // Decryption without padding keeps the pad bytes the encryptor wrote.
                    EXPECT_EQ(c.pad == "nopadding" ? body : pt, testutil::read_file(dec));
                }
            }
        }
    }
}

// Interoperation with the `openssl enc` command in both directions.
TEST(CipherFiles, OpensslEncBothWays) {
    struct Case {
        const char *sel, *name;
        size_t key, iv;
    } cases[] = {
        {"aes128-cbc", "aes-128-cbc", 16, 16}, {"aes256-cbc", "aes-256-cbc", 32, 16},
        {"aes192-ecb", "aes-192-ecb", 24, 0},  {"aes128-ctr", "aes-128-ctr", 16, 16},
        {"aes256-ofb", "aes-256-ofb", 32, 16}, {"aes128-cfb", "aes-128-cfb", 16, 16},
        {"tdea-cbc", "des-ede3-cbc", 24, 8},   {"tdea-ecb", "des-ede3", 24, 0},
    };
    const std::string in = testutil::temp_path("o_in.bin"), ours = testutil::temp_path("o_ours.bin"),
                      theirs = testutil::temp_path("o_theirs.bin"), back = testutil::temp_path("o_back.bin");
    for (const auto& c : cases) {
        for (size_t len : {0, 17, 4096, 8193}) {
            SCOPED_TRACE(std::string(c.sel) + " length " + std::to_string(len));
            Bytes key = random_bytes(c.key, uint32_t(len + 1)), iv = random_bytes(c.iv ? c.iv : 8, uint32_t(len + 2));
            Bytes pt = random_bytes(len, uint32_t(len + 3));
            testutil::write_file(in, pt);
            std::string cmd = std::string("openssl enc -") + c.name + " -K " + to_hex(key) +
                              (c.iv ? " -iv " + to_hex(iv) : "");
            int st = 0;
            testutil::run_command(cmd + " -e -in " + in + " -out " + theirs, &st);
            ASSERT_EQ(0, st);
            ASSERT_EQ(0, CIPHER_FileEncrypt(ours.c_str(), in.c_str(), key.data(), long(key.size()), iv.data(),
                                            long(c.iv), c.sel, 0));
            EXPECT_EQ(testutil::read_file(theirs), testutil::read_file(ours));
            testutil::run_command(cmd + " -d -in " + ours + " -out " + back, &st);
            ASSERT_EQ(0, st);
            EXPECT_EQ(pt, testutil::read_file(back));
            ASSERT_EQ(0, CIPHER_FileDecrypt(back.c_str(), theirs.c_str(), key.data(), long(key.size()), iv.data(),
                                            long(c.iv), c.sel, 0));
            EXPECT_EQ(pt, testutil::read_file(back));
        }
    }
}

// SP 800-38A appendix F, AES-128, four blocks, through the older CIPHER_Bytes.
TEST_P(CipherPaths, Sp80038aExamples) {
    const Bytes key = from_hex("2b7e151628aed2a6abf7158809cf4f3c");
    const Bytes pt = from_hex(
        "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e5130c81c46a35ce411e5fbc1191a0a52eff69f24"
        "45df4f9b17ad2b417be66c3710");
    struct Case {
        const char *sel, *iv, *ct;
    } cases[] = {
        {"aes128/ecb", "", "3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf43b1cd7f598ece23881b00e3ed030688"
                           "7b0c785e27e8ad3f8223207104725dd4"},
        {"aes128/cbc", "000102030405060708090a0b0c0d0e0f",
         "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b273bed6b8e3c1743b7116e69e222295163ff1caa1681f"
         "ac09120eca307586e1a7"},
        {"aes128/cfb", "000102030405060708090a0b0c0d0e0f",
         "3b3fd92eb72dad20333449f8e83cfb4ac8a64537a0b3a93fcde3cdad9f1ce58b26751f67a3cbb140b1808cf187a4f4dfc04b05357c5d"
         "1c0eeac4c66f9ff7f2e6"},
        {"aes128/ofb", "000102030405060708090a0b0c0d0e0f",
         "3b3fd92eb72dad20333449f8e83cfb4a7789508d16918f03f53c52dac54ed8259740051e9c5fecf64344f7a82260edcc304c6528f659"
         "c77866a510d9c1d6ae5e"},
        {"aes128/ctr", "f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff",
         "874d6191b620e3261bef6864990db6ce9806f66b7970fdff8617187bb9fffdff5ae4df3edbd5d35e5b4f09020db03eab1e031dda2fbe"
         "03d1792170a0f3009cee"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sel);
        Bytes iv = from_hex(c.iv), out(pt.size()), back(pt.size());
        ASSERT_EQ(0, CIPHER_Bytes(1, out.data(), pt.data(), long(pt.size()), key.data(), iv.data(), c.sel, 0));
        EXPECT_EQ(c.ct, to_hex(out));
        ASSERT_EQ(0, CIPHER_Bytes(0, back.data(), out.data(), long(out.size()), key.data(), iv.data(), c.sel, 0));
        EXPECT_EQ(pt, back);
        // The same through the hexadecimal form (output as long as the input).
        std::string hx(pt.size() * 2 + 1, '\0');
        ASSERT_EQ(0, CIPHER_Hex(1, hx.data(), long(pt.size() * 2), to_hex(pt).c_str(), to_hex(key).c_str(),
                                c.iv, c.sel, 0));
        EXPECT_EQ(to_hex(out, true), hx.c_str());
    }
}

// Wycheproof AES-CBC with PKCS #5 padding: valid cases exact both ways,
// invalid ones rejected.
TEST_P(CipherPaths, WycheproofAesCbcPkcs5) {
    VELT_LOAD_WYCHEPROOF(doc, "aes_cbc_pkcs5_test.json");
    size_t count = 0;
    for (const auto& group : doc["testGroups"]) {
        for (const auto& t : group["tests"]) {
            Bytes key = from_hex(t["key"]), iv = from_hex(t["iv"]), msg = from_hex(t["msg"]), ct = from_hex(t["ct"]);
            const bool valid = t["result"] != "invalid";
            SCOPED_TRACE("tcId " + std::to_string(int(t["tcId"])));
            std::string sel = "aes" + std::to_string(8 * key.size()) + "/cbc/pkcs5";
            Bytes out(ct.size() + 16, 0xAA);
            long r = CIPHER_DecryptBytes(out.data(), long(out.size()), ct.data(), long(ct.size()), key.data(),
                                         long(key.size()), iv.data(), long(iv.size()), sel.c_str(), 0);
            if (valid) {
                ASSERT_EQ(long(msg.size()), r);
                EXPECT_EQ(msg, Bytes(out.begin(), out.begin() + r));
                Bytes enc(msg.size() + 16);
                r = CIPHER_EncryptBytes(enc.data(), long(enc.size()), msg.data(), long(msg.size()), key.data(),
                                        long(key.size()), iv.data(), long(iv.size()), sel.c_str(), 0);
                ASSERT_EQ(long(ct.size()), r);
                EXPECT_EQ(ct, Bytes(enc.begin(), enc.begin() + r));
            } else {
                EXPECT_TRUE(r == -15 || r == -26) << r;
                EXPECT_EQ(Bytes(out.size(), 0xAA), out);  // nothing written
            }
            ++count;
        }
    }
    EXPECT_GT(count, 100u);
}

// Feeding a context in pieces of any length gives the one-shot result.
TEST_P(CipherPaths, ContextStreamsInPieces) {
    using velt::cipher::Context;
    for (const Alg& a : kAlgs) {
        for (int mode : {velt::cipher::kCfb, velt::cipher::kOfb, velt::cipher::kCtr}) {
            Bytes key = random_bytes(a.key, 1), iv = random_bytes(a.block, 2), pt = random_bytes(1000, 3);
            for (bool enc : {true, false}) {
                Context one, pieces;
                ASSERT_EQ(0, one.init(a.bits, key.data(), enc, mode, iv.data()));
                ASSERT_EQ(0, pieces.init(a.bits, key.data(), enc, mode, iv.data()));
                Bytes x(pt.size()), y = pt;
                one.update(x.data(), pt.data(), pt.size());
                size_t off = 0, step = 1;
                while (off < y.size()) {
                    size_t n = std::min(step, y.size() - off);
                    pieces.update(y.data() + off, y.data() + off, n);
                    off += n;
                    step = step * 3 % 41 + 1;
                }
                EXPECT_EQ(x, y) << a.name << " mode " << mode << (enc ? " enc" : " dec");
                // restart gives the same stream again.
                one.restart();
                Bytes z(pt.size());
                one.update(z.data(), pt.data(), pt.size());
                EXPECT_EQ(x, z);
            }
        }
    }
}

// The older functions (no padding, output as long as the input) over bytes,
// hexadecimal and base64, every algorithm and mode, both directions.
TEST_P(CipherPaths, OlderFunctionsMatchLibcrypto) {
    std::mt19937 g(99);
    const char* modes[] = {"ecb", "cbc", "ofb", "cfb", "ctr"};
    for (const Alg& a : kAlgs) {
        for (const char* mode : modes) {
            const bool block_mode = !strcmp(mode, "ecb") || !strcmp(mode, "cbc");
            for (size_t len : {size_t(8), size_t(16), size_t(48), size_t(4096), size_t(8200), size_t(1 + g() % 3000)}) {
                if (block_mode && len % a.block) len += a.block - len % a.block;
                std::string sel = std::string(a.name) + "-" + mode;
                SCOPED_TRACE(sel + " length " + std::to_string(len));
                Bytes key = random_bytes(a.key, g()), iv = random_bytes(a.block, g()), pt = random_bytes(len, g());
                Bytes expect = reference_encrypt(a, mode, key, iv, pt);
                Bytes out(len), back(len);
                ASSERT_EQ(0, CIPHER_Bytes(1, out.data(), pt.data(), long(len), key.data(), iv.data(), sel.c_str(), 0));
                EXPECT_EQ(expect, out);
                ASSERT_EQ(0, CIPHER_Bytes(0, back.data(), out.data(), long(len), key.data(), iv.data(), sel.c_str(), 0));
                EXPECT_EQ(pt, back);
                std::string hx(2 * len + 1, '\0');
                ASSERT_EQ(0, CIPHER_Hex(1, hx.data(), long(2 * len), to_hex(pt).c_str(), to_hex(key).c_str(),
                                        to_hex(iv).c_str(), sel.c_str(), 0));
                EXPECT_EQ(to_hex(expect, true), hx.c_str());
                if (a.bits != 0x10) continue;
                // Triple DES with a mode word.
                const char* word = mode;
                ASSERT_EQ(0, TDEA_BytesMode(out.data(), pt.data(), long(len), key.data(), 1, word, iv.data()));
                EXPECT_EQ(expect, out);
                ASSERT_EQ(0, TDEA_HexMode(hx.data(), hx.c_str(), to_hex(key).c_str(), 0, word, to_hex(iv).c_str()));
                EXPECT_EQ(to_hex(pt, true), hx.c_str());
                std::string b64(4 * (len + 2) / 3 + 4, '\0'), k64(40, '\0'), iv64(16, '\0');
                EVP_EncodeBlock(reinterpret_cast<unsigned char*>(b64.data()), pt.data(), int(len));
                EVP_EncodeBlock(reinterpret_cast<unsigned char*>(k64.data()), key.data(), 24);
                EVP_EncodeBlock(reinterpret_cast<unsigned char*>(iv64.data()), iv.data(), 8);
                std::string ref64(b64.size(), '\0');
                EVP_EncodeBlock(reinterpret_cast<unsigned char*>(ref64.data()), expect.data(), int(len));
                std::string o(b64.size() + 1, '\0');
                ASSERT_EQ(0, TDEA_B64Mode(o.data(), b64.c_str(), k64.c_str(), 1, word, iv64.c_str()));
                EXPECT_STREQ(ref64.c_str(), o.c_str());
                std::string o2(b64.size() + 1, '\0');
                ASSERT_EQ(0, TDEA_B64Mode(o2.data(), o.c_str(), k64.c_str(), 0, word, iv64.c_str()));
                EXPECT_STREQ(b64.c_str(), o2.c_str());
            }
        }
    }
}
