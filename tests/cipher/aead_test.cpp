// AES-GCM and ChaCha20-Poly1305: published examples, the Wycheproof files,
// round trips against libcrypto, streaming in uneven pieces, and the one-shot
// functions' argument handling. Every case runs on each processor path.
#include <openssl/evp.h>

#include <cstring>
#include <random>

#include "cipher/aead.h"
#include "common/test_util.h"
#include "morvanevelt.h"
#include "util/cpu.h"

using testutil::Bytes;
using testutil::from_hex;
using testutil::to_hex;
using velt::aead::AeadCtx;

namespace {

// Feature sets: everything, no AVX-512 (AES-NI/PCLMUL/AVX2 paths), portable.
constexpr uint32_t kAvx512Set = velt::cpu::kAvx512f | velt::cpu::kVaes | velt::cpu::kVpclmul |
                                velt::cpu::kAvx512bw | velt::cpu::kAvx512vl;
const uint32_t kPaths[] = {~0u, ~kAvx512Set, 0u};

class AeadPaths : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override { velt::cpu::restrict_features(GetParam()); }
    void TearDown() override { velt::cpu::restrict_features(~0u); }
};

INSTANTIATE_TEST_SUITE_P(Paths, AeadPaths, ::testing::ValuesIn(kPaths), [](const auto& info) {
    return info.param == ~0u ? std::string("All") : info.param == 0 ? std::string("Portable") : std::string("NoAvx512");
});

Bytes random_bytes(size_t n, std::mt19937& g) {
    Bytes b(n);
    for (auto& x : b) x = uint8_t(g());
    return b;
}

long gcm_option(size_t key_len) {
    return key_len == 16 ? velt::aead::kAes128Gcm : key_len == 24 ? velt::aead::kAes192Gcm : velt::aead::kAes256Gcm;
}

const EVP_CIPHER* evp_for(long option) {
    switch (option & velt::aead::kAeadMask) {
        case velt::aead::kAes128Gcm: return EVP_aes_128_gcm();
        case velt::aead::kAes192Gcm: return EVP_aes_192_gcm();
        case velt::aead::kAes256Gcm: return EVP_aes_256_gcm();
        default: return EVP_chacha20_poly1305();
    }
}

// libcrypto's ciphertext || tag.
Bytes evp_seal(long option, const Bytes& key, const Bytes& iv, const Bytes& aad, const Bytes& pt) {
    EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
    Bytes out(pt.size() + 16);
    int len = 0;
    EXPECT_EQ(1, EVP_EncryptInit_ex(c, evp_for(option), nullptr, key.data(), iv.data()));
    if (!aad.empty()) {
        EXPECT_EQ(1, EVP_EncryptUpdate(c, nullptr, &len, aad.data(), int(aad.size())));
    }
    if (!pt.empty()) {
        EXPECT_EQ(1, EVP_EncryptUpdate(c, out.data(), &len, pt.data(), int(pt.size())));
    }
    EXPECT_EQ(1, EVP_EncryptFinal_ex(c, out.data() + pt.size(), &len));
    EXPECT_EQ(1, EVP_CIPHER_CTX_ctrl(c, EVP_CTRL_AEAD_GET_TAG, 16, out.data() + pt.size()));
    EVP_CIPHER_CTX_free(c);
    return out;
}

// libcrypto's decryption of ciphertext || tag; nullopt when it rejects.
std::optional<Bytes> evp_open(long option, const Bytes& key, const Bytes& iv, const Bytes& aad, const Bytes& in) {
    EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
    size_t n = in.size() - 16;
    Bytes out(n + 1);
    int len = 0;
    EVP_DecryptInit_ex(c, evp_for(option), nullptr, key.data(), iv.data());
    if (!aad.empty()) (void)EVP_DecryptUpdate(c, nullptr, &len, aad.data(), int(aad.size()));
    if (n) EVP_DecryptUpdate(c, out.data(), &len, in.data(), int(n));
    EVP_CIPHER_CTX_ctrl(c, EVP_CTRL_AEAD_SET_TAG, 16, const_cast<uint8_t*>(in.data() + n));
    int ok = EVP_DecryptFinal_ex(c, out.data() + n, &len);
    EVP_CIPHER_CTX_free(c);
    if (ok != 1) return std::nullopt;
    out.resize(n);
    return out;
}

Bytes seal(long option, const Bytes& key, const Bytes& iv, const Bytes& aad, const Bytes& pt) {
    Bytes out(pt.size() + 28);
    long n = velt::aead::aeadEncrypt(out.data(), long(out.size()), pt.data(), long(pt.size()), key.data(),
                                     long(key.size()), iv.data(), long(iv.size()), aad.data(), long(aad.size()),
                                     option);
    EXPECT_EQ(long(pt.size() + 16), n);
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

long open(long option, const Bytes& key, const Bytes& iv, const Bytes& aad, const Bytes& in, Bytes& pt) {
    pt.assign(in.size() + 1, 0xEE);
    long n = velt::aead::aeadDecrypt(pt.data(), long(pt.size()), in.data(), long(in.size()), key.data(),
                                     long(key.size()), iv.data(), long(iv.size()), aad.data(), long(aad.size()),
                                     option);
    if (n >= 0) pt.resize(size_t(n));
    return n;
}

TEST_P(AeadPaths, Rfc8439ChaCha20Poly1305Example) {
    // RFC 8439 section 2.8.2.
    Bytes key = from_hex("808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f");
    Bytes iv = from_hex("070000004041424344454647");
    Bytes aad = from_hex("50515253c0c1c2c3c4c5c6c7");
    Bytes pt = testutil::bytes_of(
        "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the future, sunscreen "
        "would be it.");
    Bytes out = seal(velt::aead::kChaCha20Poly1305, key, iv, aad, pt);
    EXPECT_EQ(
        "d31a8d34648e60db7b86afbc53ef7ec2a4aded51296e08fea9e2b5a736ee62d63dbea45e8ca9671282fafb69da92728b1a71de0a9e06"
        "0b2905d6a5b67ecd3b3692ddbd7f2d778b8c9803aee328091b58fab324e4fad675945585808b4831d7bc3ff4def08e4b7a9de576d2"
        "6586cec64b6116"
        "1ae10b594f09e26a7e902ecbd0600691",
        to_hex(out));
}

TEST_P(AeadPaths, GcmPublishedExamples) {
    // The test cases of the original GCM paper (McGrew and Viega), numbers 2, 3, 4 (AES-128), 9 (AES-192)
    // and 16 (AES-256): ciphertext followed by tag.
    struct Case {
        const char *key, *iv, *aad, *pt, *out;
    } cases[] = {
        {"00000000000000000000000000000000", "000000000000000000000000", "", "00000000000000000000000000000000",
         "0388dace60b6a392f328c2b971b2fe78ab6e47d42cec13bdf53a67b21257bddf"},
        {"feffe9928665731c6d6a8f9467308308", "cafebabefacedbaddecaf888", "",
         "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de6"
         "57ba637b391aafd255",
         "42831ec2217774244b7221b784d0d49ce3aa212f2c02a4e035c17e2329aca12e21d514b25466931c7d8f6a5aac84aa051ba30b396a0aac"
         "973d58e091473f59854d5c2af327cd64a62cf35abd2ba6fab4"},
        {"feffe9928665731c6d6a8f9467308308", "cafebabefacedbaddecaf888", "feedfacedeadbeeffeedfacedeadbeefabaddad2",
         "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de6"
         "57ba637b39",
         "42831ec2217774244b7221b784d0d49ce3aa212f2c02a4e035c17e2329aca12e21d514b25466931c7d8f6a5aac84aa051ba30b396a0aac"
         "973d58e0915bc94fbc3221a5db94fae95ae7121a47"},
        {"feffe9928665731c6d6a8f9467308308feffe9928665731c", "cafebabefacedbaddecaf888",
         "feedfacedeadbeeffeedfacedeadbeefabaddad2",
         "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de6"
         "57ba637b39",
         "3980ca0b3c00e841eb06fac4872a2757859e1ceaa6efd984628593b40ca1e19c7d773d00c144c525ac619d18c84a3f4718e2448b2fe324"
         "d9ccda27102519498e80f1478f37ba55bd6d27618c"},
        {"feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308", "cafebabefacedbaddecaf888",
         "feedfacedeadbeeffeedfacedeadbeefabaddad2",
         "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de6"
         "57ba637b39",
         "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a"
         "0abcc9f662" "76fc6ece0f4e1768cddf8853bb2d551b"},
    };
    for (const Case& c : cases) {
        Bytes key = from_hex(c.key), iv = from_hex(c.iv), aad = from_hex(c.aad), pt = from_hex(c.pt);
        EXPECT_EQ(c.out, to_hex(seal(gcm_option(key.size()), key, iv, aad, pt))) << c.key;
        Bytes back;
        EXPECT_EQ(long(pt.size()), open(gcm_option(key.size()), key, iv, aad, from_hex(c.out), back));
        EXPECT_EQ(pt, back);
    }
}

// Runs a Wycheproof AEAD file. Cases with a 12-byte IV and a 16-byte tag go
// through the one-shot functions; other tag sizes through the incremental
// context (which checks truncated tags of 4 bytes and more). Other IV sizes
// must be refused with error 38.
void run_wycheproof(const nlohmann::json& doc, bool chacha) {
    int checked = 0;
    for (const auto& g : doc["testGroups"]) {
        for (const auto& t : g["tests"]) {
            Bytes key = from_hex(t["key"]), iv = from_hex(t["iv"]), aad = from_hex(t["aad"]);
            Bytes msg = from_hex(t["msg"]), ct = from_hex(t["ct"]), tag = from_hex(t["tag"]);
            const std::string result = t["result"];
            const int id = t["tcId"];
            long option = chacha ? velt::aead::kChaCha20Poly1305 : gcm_option(key.size());
            if (!chacha && key.size() != 16 && key.size() != 24 && key.size() != 32) continue;
            if (iv.size() != 12) {
                Bytes out(msg.size() + 16);
                EXPECT_EQ(iv.empty() ? -37 : -38, velt::aead::aeadEncrypt(out.data(), long(out.size()), msg.data(), long(msg.size()),
                                                       key.data(), long(key.size()), iv.data(), long(iv.size()),
                                                       aad.data(), long(aad.size()), option))
                    << id;
                continue;
            }
            ++checked;
            if (tag.size() == 16) {
                Bytes in = ct;
                in.insert(in.end(), tag.begin(), tag.end());
                Bytes pt;
                long r = open(option, key, iv, aad, in, pt);
                if (result == "invalid") {
                    EXPECT_EQ(-40, r) << id;
                    EXPECT_TRUE(std::all_of(pt.begin(), pt.begin() + long(ct.size()), [](uint8_t b) { return b == 0; }))
                        << id << ": unauthenticated plaintext left in the output";
                } else {
                    EXPECT_EQ(long(msg.size()), r) << id;
                    EXPECT_EQ(to_hex(msg), to_hex(pt)) << id;
                    EXPECT_EQ(to_hex(in), to_hex(seal(option, key, iv, aad, msg))) << id;
                }
            } else {
                AeadCtx ctx(chacha ? AeadCtx::kChaChaPoly : AeadCtx::kGcm);
                ASSERT_EQ(0, ctx.InitKey(key.data(), key.size()));
                ASSERT_EQ(0, ctx.SetNonce(iv.data(), iv.size()));
                ASSERT_EQ(0, ctx.AddAAD(aad.data(), aad.size()));
                if (tag.size() < 4) {
                    EXPECT_EQ(-6, ctx.StartDecrypt(tag.data(), tag.size())) << id;
                    continue;
                }
                // (StartDecrypt has the tag; the rest follows.)
                ASSERT_EQ(0, ctx.StartDecrypt(tag.data(), tag.size()));
                Bytes pt(ct.size());
                ASSERT_EQ(0, ctx.Update(pt.data(), ct.data(), ct.size()));
                long r = ctx.FinishDecrypt();
                if (result == "invalid") {
                    EXPECT_EQ(-40, r) << id;
                } else {
                    EXPECT_EQ(0, r) << id;
                    EXPECT_EQ(to_hex(msg), to_hex(pt)) << id;
                }
            }
        }
    }
    EXPECT_GT(checked, 50);
}

TEST_P(AeadPaths, WycheproofAesGcm) {
    VELT_LOAD_WYCHEPROOF(doc, "aes_gcm_test.json");
    run_wycheproof(doc, false);
}

TEST_P(AeadPaths, WycheproofChaCha20Poly1305) {
    VELT_LOAD_WYCHEPROOF(doc, "chacha20_poly1305_test.json");
    run_wycheproof(doc, true);
}

// Both directions against libcrypto over lengths around the block and
// batch boundaries of every path (16, 64, 128, 256, 512, 1024 bytes).
TEST_P(AeadPaths, MatchesLibcryptoBothWays) {
    std::mt19937 g(7);
    const long options[] = {velt::aead::kAes128Gcm, velt::aead::kAes192Gcm, velt::aead::kAes256Gcm,
                            velt::aead::kChaCha20Poly1305};
    const size_t lens[] = {0, 1, 15, 16, 17, 63, 64, 65, 127, 128, 129, 255, 256, 257, 511, 512, 513, 1023, 1024,
                           1025, 4095, 4096, 4097, 8193};
    for (long opt : options) {
        size_t klen = opt == velt::aead::kAes128Gcm ? 16 : opt == velt::aead::kAes192Gcm ? 24 : 32;
        for (size_t len : lens) {
            Bytes key = random_bytes(klen, g), iv = random_bytes(12, g), pt = random_bytes(len, g);
            Bytes aad = random_bytes(g() % 40, g);
            Bytes ours = seal(opt, key, iv, aad, pt);
            ASSERT_EQ(to_hex(evp_seal(opt, key, iv, aad, pt)), to_hex(ours)) << opt << " len " << len;
            auto theirs = evp_open(opt, key, iv, aad, ours);
            ASSERT_TRUE(theirs.has_value());
            Bytes back;
            ASSERT_EQ(long(len), open(opt, key, iv, aad, ours, back));
            ASSERT_EQ(pt, back);
            // Any changed bit of ciphertext, tag or associated data fails.
            Bytes bad = ours;
            bad[g() % bad.size()] ^= uint8_t(1u << (g() % 8));
            EXPECT_EQ(-40, open(opt, key, iv, aad, bad, back));
            if (!aad.empty()) {
                Bytes bad_aad = aad;
                bad_aad[g() % aad.size()] ^= 1;
                EXPECT_EQ(-40, open(opt, key, iv, bad_aad, ours, back));
            }
        }
    }
}

// The incremental context fed in uneven pieces gives the one-shot result.
TEST_P(AeadPaths, StreamingInPiecesMatchesOneShot) {
    std::mt19937 g(11);
    for (auto alg : {AeadCtx::kGcm, AeadCtx::kChaChaPoly}) {
        long opt = alg == AeadCtx::kGcm ? velt::aead::kAes256Gcm : velt::aead::kChaCha20Poly1305;
        Bytes key = random_bytes(32, g), iv = random_bytes(12, g);
        Bytes aad = random_bytes(77, g), pt = random_bytes(3000, g);
        Bytes expect = seal(opt, key, iv, aad, pt);
        AeadCtx ctx(alg);
        ASSERT_EQ(0, ctx.InitKey(key.data(), key.size()));
        for (int round = 0; round < 3; ++round) {  // the same key takes new messages
            ASSERT_EQ(0, ctx.SetNonce(iv.data(), iv.size()));
            for (size_t pos = 0; pos < aad.size();) {
                size_t n = std::min<size_t>(g() % 20, aad.size() - pos);
                ASSERT_EQ(0, ctx.AddAAD(aad.data() + pos, n));
                pos += n;
            }
            ASSERT_EQ(0, ctx.StartEncrypt());
            Bytes out(pt.size() + 16);
            for (size_t pos = 0; pos < pt.size();) {
                size_t n = std::min<size_t>(g() % 700, pt.size() - pos);
                ASSERT_EQ(0, ctx.Update(out.data() + pos, pt.data() + pos, n));
                pos += n;
            }
            ASSERT_EQ(0, ctx.FinishEncrypt(out.data() + pt.size(), 16));
            ASSERT_EQ(to_hex(expect), to_hex(out));
            // Decrypt in pieces, authenticate-only (null output) for round 2.
            ASSERT_EQ(0, ctx.SetNonce(iv.data(), iv.size()));
            ASSERT_EQ(0, ctx.AddAAD(aad.data(), aad.size()));
            ASSERT_EQ(0, ctx.StartDecrypt(out.data() + pt.size(), 16));
            Bytes back(pt.size());
            for (size_t pos = 0; pos < pt.size();) {
                size_t n = std::min<size_t>(g() % 300, pt.size() - pos);
                ASSERT_EQ(0, ctx.Update(round == 2 ? nullptr : back.data() + pos, out.data() + pos, n));
                pos += n;
            }
            ASSERT_EQ(0, ctx.FinishDecrypt());
            if (round != 2) {
                ASSERT_EQ(pt, back);
            }
        }
    }
}

TEST(AeadContext, StatesAndArguments) {
    Bytes key(32, 1), iv(12, 2), tag(16, 3);
    AeadCtx gcm(AeadCtx::kGcm);
    EXPECT_EQ(-41, gcm.SetNonce(iv.data(), 12));
    EXPECT_EQ(-6, gcm.InitKey(key.data(), 20));
    EXPECT_EQ(0, gcm.InitKey(key.data(), 24));
    EXPECT_EQ(-41, gcm.StartEncrypt());
    EXPECT_EQ(-6, gcm.SetNonce(iv.data(), 16));
    EXPECT_EQ(0, gcm.SetNonce(iv.data(), 12));
    EXPECT_EQ(-41, gcm.Update(tag.data(), tag.data(), 16));
    EXPECT_EQ(-6, gcm.StartDecrypt(tag.data(), 3));
    EXPECT_EQ(0, gcm.StartDecrypt(tag.data(), 40));  // cut to 16
    EXPECT_EQ(-41, gcm.AddAAD(tag.data(), 1));
    EXPECT_EQ(-41, gcm.FinishEncrypt(tag.data(), 16));
    EXPECT_EQ(-40, gcm.FinishDecrypt());
    EXPECT_EQ(AeadCtx::kKeyed, gcm.state());
    gcm.Destroy();
    EXPECT_EQ(AeadCtx::kEmpty, gcm.state());
    AeadCtx cp(AeadCtx::kChaChaPoly);
    EXPECT_EQ(-6, cp.InitKey(key.data(), 16));
}

TEST(AeadOneShot, LayoutAndErrors) {
    Bytes key16(16, 7), key32(32, 7), iv(12, 9), pt(5, 1), out(64);
    const long g128 = velt::aead::kAes128Gcm, pre = velt::aead::kAeadIvPrefix;
    auto enc = [&](unsigned char* o, long olen, const Bytes& k, const unsigned char* v, long vlen, long opt,
                   const Bytes& p) {
        return velt::aead::aeadEncrypt(o, olen, p.data(), long(p.size()), k.data(), long(k.size()), v, vlen, nullptr,
                                       0, opt);
    };
    // Empty plaintext: the tag alone, or IV and tag with the prefix.
    EXPECT_EQ(16, enc(out.data(), 64, key16, iv.data(), 12, g128, Bytes()));
    EXPECT_EQ(28, enc(out.data(), 64, key16, iv.data(), 12, g128 | pre, Bytes()));
    EXPECT_EQ(to_hex(iv), to_hex(Bytes(out.begin(), out.begin() + 12)));
    EXPECT_EQ(21, enc(nullptr, 0, key16, iv.data(), 12, g128, pt));  // length query
    EXPECT_EQ(33, enc(out.data(), 0, key16, iv.data(), 12, g128 | pre, pt));
    EXPECT_EQ(-30, enc(out.data(), 20, key16, iv.data(), 12, g128, pt));
    EXPECT_EQ(-38, enc(out.data(), 64, key16, iv.data(), 11, g128, pt));
    EXPECT_EQ(-37, enc(out.data(), 64, key16, nullptr, 12, g128, pt));
    EXPECT_EQ(-33, enc(out.data(), 64, key16, iv.data(), 12, velt::aead::kChaCha20Poly1305, pt));
    EXPECT_EQ(-33, enc(out.data(), 64, key32, iv.data(), 12, g128, pt));
    EXPECT_EQ(-17, enc(out.data(), 64, key16, iv.data(), 12, 0x420, pt));
    EXPECT_EQ(-36, enc(out.data(), 64, Bytes(), iv.data(), 12, g128, pt));
    EXPECT_EQ(-6, enc(out.data(), -1, key16, iv.data(), 12, g128, pt));

    // Decryption with the IV taken from the front of the input.
    long n = enc(out.data(), 64, key16, iv.data(), 12, g128 | pre, pt);
    ASSERT_EQ(33, n);
    Bytes back(8);
    auto dec = [&](unsigned char* o, long olen, long inlen, const unsigned char* v, long vlen, long opt) {
        return velt::aead::aeadDecrypt(o, olen, out.data(), inlen, key16.data(), 16, v, vlen, nullptr, 0, opt);
    };
    EXPECT_EQ(5, dec(nullptr, 0, 33, nullptr, 0, g128 | pre));
    EXPECT_EQ(5, dec(back.data(), 8, 33, nullptr, 0, g128 | pre));
    EXPECT_EQ(pt, Bytes(back.begin(), back.begin() + 5));
    EXPECT_EQ(-30, dec(back.data(), 4, 33, nullptr, 0, g128 | pre));
    EXPECT_EQ(-26, dec(back.data(), 8, 27, nullptr, 0, g128 | pre));
    EXPECT_EQ(-26, dec(back.data(), 8, 15, iv.data(), 12, g128));
    EXPECT_EQ(-38, dec(back.data(), 8, 21, iv.data(), 8, g128));
    EXPECT_EQ(-37, dec(back.data(), 8, 21, nullptr, 0, g128));
    EXPECT_EQ(-14, velt::aead::aeadDecrypt(back.data(), 8, out.data(), 33, key16.data(), 16, nullptr, 0, nullptr, 4,
                                           g128 | pre));
}

// The exported pair: a bad tag is -40, recorded with its detail, and the
// caller's buffer holds no unauthenticated plaintext.
TEST(AeadExported, FailureIsRecordedAndOutputZeroed) {
    Bytes key(32, 4), iv(12, 5), aad = testutil::bytes_of("header"), pt(100, 0x61), ct(128);
    ASSERT_EQ(116, CIPHER_EncryptAEAD(ct.data(), 128, pt.data(), 100, key.data(), 32, iv.data(), 12, aad.data(), 6,
                                      velt::aead::kChaCha20Poly1305));
    Bytes out(100, 0xEE);
    ASSERT_EQ(100, CIPHER_DecryptAEAD(out.data(), 100, ct.data(), 116, key.data(), 32, iv.data(), 12, aad.data(), 6,
                                      velt::aead::kChaCha20Poly1305));
    EXPECT_EQ(pt, out);
    EXPECT_EQ(0, VELT_ErrorCode());
    aad[0] ^= 1;
    EXPECT_EQ(-40, CIPHER_DecryptAEAD(out.data(), 100, ct.data(), 116, key.data(), 32, iv.data(), 12, aad.data(), 6,
                                      velt::aead::kChaCha20Poly1305));
    EXPECT_EQ(40, VELT_ErrorCode());
    EXPECT_EQ(Bytes(100, 0), out);
    char msg[200];
    EXPECT_GT(VELT_LastError(msg, sizeof msg - 1), 0);
}

}  // namespace
