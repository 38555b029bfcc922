// ECDSA: RFC 6979 deterministic signatures, Wycheproof verification cases,
// the strict DER form, and interoperation with OpenSSL on every curve.
#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstring>

#include "common/test_util.h"
#include "ecc/ecc.h"
#include "ecc/keys.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "sig/sig.h"

using namespace velt::sig;
using testutil::Bytes;
using testutil::from_hex;
using testutil::to_hex;
namespace ecc = velt::ecc;

namespace {

constexpr long kUseDigest = 0x1000, kDet = 0x2000, kDer = 0x4000;

const SigAlgRow& row_for(long id) {
    return *sigPtrToSigAlgById(id);
}

// Private key string (plain base64 ECPrivateKey) of a scalar on a curve.
std::string private_key_string(const char* curve, const std::string& dhex) {
    ecc::EC_curve c;
    EXPECT_EQ(ecc::EC_curve_lookup(&c, curve), 1);
    Bytes d = from_hex(dhex);
    auto der = ecc::ecPrivateKeyDer(c, d.data(), d.size(), nullptr, 0);
    return b64_string(der.data(), der.size());
}

// An OpenSSL key pair on a curve as our key strings (PKCS #8 and SPKI).
struct OsslKey {
    EVP_PKEY* pk = nullptr;
    std::string priv, pub;
    explicit OsslKey(const char* curve) {
        pk = EVP_EC_gen(curve);
        if (!pk) return;
        unsigned char* p = nullptr;
        int n = i2d_PrivateKey(pk, &p);
        priv = b64_string(p, size_t(n));
        OPENSSL_free(p);
        p = nullptr;
        n = i2d_PUBKEY(pk, &p);
        pub = b64_string(p, size_t(n));
        OPENSSL_free(p);
    }
    ~OsslKey() { EVP_PKEY_free(pk); }
};

const EVP_MD* md_of(long hashAlg) {
    switch (hashAlg) {
        case 0:
            return EVP_sha1();
        case 6:
            return EVP_sha224();
        case 3:
            return EVP_sha256();
        case 4:
            return EVP_sha384();
        default:
            return EVP_sha512();
    }
}

bool ossl_verify(EVP_PKEY* pk, const EVP_MD* md, const Bytes& sig, const Bytes& msg) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool ok = EVP_DigestVerifyInit(ctx, nullptr, md, nullptr, pk) == 1 &&
              EVP_DigestVerify(ctx, sig.data(), sig.size(), msg.data(), msg.size()) == 1;
    EVP_MD_CTX_free(ctx);
    return ok;
}

Bytes ossl_sign(EVP_PKEY* pk, const EVP_MD* md, const Bytes& msg) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    size_t len = 0;
    EVP_DigestSignInit(ctx, nullptr, md, nullptr, pk);
    EVP_DigestSign(ctx, nullptr, &len, msg.data(), msg.size());
    Bytes sig(len);
    EVP_DigestSign(ctx, sig.data(), &len, msg.data(), msg.size());
    sig.resize(len);
    EVP_MD_CTX_free(ctx);
    return sig;
}

}  // namespace

// RFC 6979 appendix A.2.5 (P-256) and A.2.6 (P-384), messages "sample" and
// "test" with the curve's matching hash.
TEST(Ecdsa, Rfc6979Vectors) {
    struct V {
        const char* curve;
        const char* x;
        long id;
        const char* msg;
        const char* r;
        const char* s;
    } vs[] = {
        {"P-256", "C9AFA9D845BA75166B5C215767B1D6934E50C3DB36E89B127B8A622B120F6721", 0x30, "sample",
         "EFD48B2AACB6A8FD1140DD9CD45E81D69D2C877B56AAF991C34D0EA84EAF3716",
         "F7CB1C942D657C41D436C7A1B6E29F65F3E900DBB9AFF4064DC4AB2F843ACDA8"},
        {"P-256", "C9AFA9D845BA75166B5C215767B1D6934E50C3DB36E89B127B8A622B120F6721", 0x30, "test",
         "F1ABB023518351CD71D881567B1EA663ED3EFCF6C5132B354F28D3B0B7D38367",
         "019F4113742A2B14BD25926B49C649155F267E60D3814B4C0CC84250E46F0083"},
        {"P-384",
         "6B9D3DAD2E1B8C1C05B19875B6659F4DE23C3B667BF297BA9AA47740787137D896D5724E4C70A825F872C9EA60D2EDF5",
         0x40, "sample",
         "94EDBB92A5ECB8AAD4736E56C691916B3F88140666CE9FA73D64C4EA95AD133C81A648152E44ACF96E36DD1E80FABE46",
         "99EF4AEB15F178CEA1FE40DB2603138F130E740A19624526203B6351D0A3A94FA329C145786E679E7B82C71A38628AC8"},
        {"P-384",
         "6B9D3DAD2E1B8C1C05B19875B6659F4DE23C3B667BF297BA9AA47740787137D896D5724E4C70A825F872C9EA60D2EDF5",
         0x40, "test",
         "8203B63D3C853E8D77227FB377BCF7B7B772E97892A80F36AB775D509D7A5FEB0542A7F0812998DA8F1DD3CA3CF023DB",
         "DDD0760448D42D8A43AF45AF836FCE4DE8BE06B485E9B61B827C2F13173923E06A739F040649A667BF3B828246BAA5A5"},
    };
    for (const V& v : vs) {
        std::string key = private_key_string(v.curve, v.x);
        std::vector<uint8_t> sig;
        ASSERT_EQ(eccDSA_SignDataToBytes(sig, reinterpret_cast<const uint8_t*>(v.msg), std::strlen(v.msg),
                                         key.c_str(), "", row_for(v.id), kDet),
                  0);
        EXPECT_EQ(to_hex(sig, true), std::string(v.r) + v.s) << v.curve << " " << v.msg;
        // The DER form carries the same pair, and both verify against the
        // private key's own public point.
        std::vector<uint8_t> der;
        ASSERT_EQ(eccDSA_SignDataToBytes(der, reinterpret_cast<const uint8_t*>(v.msg), std::strlen(v.msg),
                                         key.c_str(), "", row_for(v.id), kDet | kDer),
                  0);
        const size_t nb = sig.size() / 2;
        EXPECT_EQ(der, ecdsaDerFromRS(sig.data(), sig.data() + nb, nb));
        for (const auto* s : {&sig, &der})
            EXPECT_EQ(
                eccDSA_VerifyDataFromBytes(s->data(), s->size(), reinterpret_cast<const uint8_t*>(v.msg),
                                           std::strlen(v.msg), key.c_str(), row_for(v.id), 0),
                0);
    }
}

TEST(Ecdsa, RandomNoncesDifferDeterministicAgree) {
    OsslKey k("P-256");
    ASSERT_NE(k.pk, nullptr);
    const uint8_t msg[] = "abc";
    std::vector<uint8_t> a, b;
    ASSERT_EQ(eccDSA_SignDataToBytes(a, msg, 3, k.priv.c_str(), "", row_for(0x30), 0), 0);
    ASSERT_EQ(eccDSA_SignDataToBytes(b, msg, 3, k.priv.c_str(), "", row_for(0x30), 0), 0);
    EXPECT_NE(a, b);
    ASSERT_EQ(eccDSA_SignDataToBytes(a, msg, 3, k.priv.c_str(), "", row_for(0x30), kDet), 0);
    ASSERT_EQ(eccDSA_SignDataToBytes(b, msg, 3, k.priv.c_str(), "", row_for(0x30), kDet), 0);
    EXPECT_EQ(a, b);
    // A digest of the wrong length is refused.
    EXPECT_EQ(eccDSA_SignDataToBytes(a, msg, 3, k.priv.c_str(), "", row_for(0x30), kUseDigest), 26);
    // A public key cannot sign.
    EXPECT_EQ(eccDSA_SignDataToBytes(a, msg, 3, k.pub.c_str(), "", row_for(0x30), 0), 36);
}

TEST(Ecdsa, WycheproofFiles) {
    struct F {
        const char* file;
        bool p1363;
    } files[] = {
        {"ecdsa_brainpoolP256r1_sha256_test.json", false}, {"ecdsa_brainpoolP384r1_sha384_test.json", false},
        {"ecdsa_brainpoolP512r1_sha512_test.json", false}, {"ecdsa_secp192r1_sha256_test.json", false},
        {"ecdsa_secp224r1_sha224_test.json", false},       {"ecdsa_secp256k1_sha256_test.json", false},
        {"ecdsa_secp256r1_sha256_test.json", false},       {"ecdsa_secp384r1_sha384_test.json", false},
        {"ecdsa_secp521r1_sha512_test.json", false},       {"ecdsa_secp256r1_sha256_p1363_test.json", true},
        {"ecdsa_secp384r1_sha384_p1363_test.json", true},  {"ecdsa_secp521r1_sha512_p1363_test.json", true},
    };
    for (const F& f : files) {
        auto jo = testutil::load_wycheproof(f.file);
        if (!jo) {
            GTEST_SKIP() << "test vectors not found (set VELT_VECTORS): " << f.file;
        }
        const nlohmann::json& j = *jo;
        size_t checked = 0;
        for (const auto& g : j["testGroups"]) {
            std::string sha = g["sha"];
            long id = sha == "SHA-224" ? 0x20 : sha == "SHA-256" ? 0x30 : sha == "SHA-384" ? 0x40 : 0x50;
            Bytes spki = from_hex(g["publicKeyDer"]);
            std::string key = b64_string(spki.data(), spki.size());
            for (const auto& t : g["tests"]) {
                Bytes msg = from_hex(t["msg"]), sig = from_hex(t["sig"]);
                long rc = eccDSA_VerifyDataFromBytes(sig.data(), sig.size(), msg.data(), msg.size(),
                                                     key.c_str(), row_for(id), 0);
                std::string result = t["result"];
                if (result == "valid") {
                    EXPECT_EQ(rc, 0) << f.file << " tcId " << t["tcId"] << " " << t["comment"];
                } else if (result == "invalid") {
                    EXPECT_NE(rc, 0) << f.file << " tcId " << t["tcId"] << " " << t["comment"];
                }
                checked++;
            }
        }
        EXPECT_GT(checked, 100u) << f.file;
    }
}

class EcdsaInterop : public ::testing::TestWithParam<const char*> {};

TEST_P(EcdsaInterop, BothDirections) {
    // OpenSSL's names of the two X9.62 curves.
    std::string name = GetParam();
    if (name == "secp192r1") name = "prime192v1";
    if (name == "secp256r1") name = "prime256v1";
    OsslKey k(name.c_str());
    ASSERT_NE(k.pk, nullptr);
    const Bytes msg = testutil::bytes_of("interoperation message");
    for (long id : {0x10L, 0x20L, 0x30L, 0x40L, 0x50L}) {
        const SigAlgRow& row = row_for(id);
        std::vector<uint8_t> der;
        ASSERT_EQ(eccDSA_SignDataToBytes(der, msg.data(), msg.size(), k.priv.c_str(), "", row, kDer), 0);
        EXPECT_TRUE(ossl_verify(k.pk, md_of(row.hashAlg), der, msg)) << GetParam() << " " << row.name;
        Bytes theirs = ossl_sign(k.pk, md_of(row.hashAlg), msg);
        EXPECT_EQ(eccDSA_VerifyDataFromBytes(theirs.data(), theirs.size(), msg.data(), msg.size(),
                                             k.pub.c_str(), row, 0),
                  0)
            << GetParam() << " " << row.name;
        theirs.back() ^= 1;
        EXPECT_NE(eccDSA_VerifyDataFromBytes(theirs.data(), theirs.size(), msg.data(), msg.size(),
                                             k.pub.c_str(), row, 0),
                  0);
        // The DER null-buffer bound holds for every signature.
        ecc::EC_curve c;
        ASSERT_EQ(ecc::EC_curve_lookup(&c, GetParam()), 1);
        EXPECT_LE(der.size(), ecdsaDerMaxLen(EC_order_bytes(c)));
    }
}

INSTANTIATE_TEST_SUITE_P(Curves, EcdsaInterop,
                         ::testing::Values("secp192r1", "secp224r1", "secp256r1", "secp384r1", "secp521r1",
                                           "secp256k1", "brainpoolP256r1", "brainpoolP384r1",
                                           "brainpoolP512r1"));

TEST(EcdsaDer, StrictReading) {
    const size_t nb = 32;
    uint8_t rs[64];
    struct C {
        const char* hex;
        long rc;
    } cases[] = {
        {"3006020101020102", 0},
        {"300602010102010200", 7},      // trailing octet
        {"30070201010201020000", 7},    // declared length too long
        {"3081060201010201 02", 7},     // long form for a short length
        {"31060201010201 02", 7},       // SET, not SEQUENCE
        {"3007020200010201 02", 8},     // INTEGER with a needless leading zero
        {"30060201ff020102", 8},        // negative r
        {"3006020100020102", 0},        // r = 0 parses; verification refuses it
        {"3007020101028101 02", 8},     // long form inside
        {"3009020101020102020103", 8},  // three INTEGERs
        {"3003020101", 8},              // one INTEGER
        {"0030060201010201 02", 7},     // garbage prefix
        {"3003040101", 8},              // OCTET STRING
    };
    for (const C& c : cases) {
        std::string h = c.hex;
        h.erase(std::remove(h.begin(), h.end(), ' '), h.end());
        Bytes der = from_hex(h);
        EXPECT_EQ(ecdsaRSFromDer(rs, nb, der.data(), der.size()), c.rc) << c.hex;
    }
    // An INTEGER longer than the order allows (33 octets of value) is refused;
    // 32 octets plus a sign octet are accepted.
    Bytes big(32, 0xFF);
    Bytes der = ecdsaDerFromRS(big.data(), big.data(), 32);
    EXPECT_EQ(ecdsaRSFromDer(rs, nb, der.data(), der.size()), 0);
    EXPECT_EQ(ecdsaRSFromDer(rs, 31, der.data(), der.size()), 8);
    // Bounds: P-256 72, P-384 104, P-521 141.
    EXPECT_EQ(ecdsaDerMaxLen(32), 72u);
    EXPECT_EQ(ecdsaDerMaxLen(48), 104u);
    EXPECT_EQ(ecdsaDerMaxLen(66), 141u);
}

// Signatures shaped to test how the verifier tells DER from r || s: a valid
// DER signature shorter than r || s (small s), and an r || s value that
// starts with 0x30. Made with a known private key by choosing the digest:
// e = s*k - d*r mod n.
TEST(EcdsaDer, FormRecognisedByStructure) {
    ecc::EC_curve c;
    ASSERT_EQ(ecc::EC_curve_lookup(&c, "secp256r1"), 1);
    const std::string dhex = "C9AFA9D845BA75166B5C215767B1D6934E50C3DB36E89B127B8A622B120F6721";
    std::string key = private_key_string("secp256r1", dhex);
    Bytes dbytes = from_hex(dhex);
    uint64_t d[ecc::kMaxLimbs] = {0};
    ecc::EC_num_from_bytes(c, d, dbytes.data(), dbytes.size());
    auto forge = [&](const uint64_t* k, const uint64_t* s, uint8_t* digest, uint8_t* rsbytes) {
        ecc::EC_point R;
        ecc::EC_point_mult_base(c, &R, k);
        uint64_t r[ecc::kMaxLimbs] = {0}, t[ecc::kMaxLimbs] = {0}, u[ecc::kMaxLimbs] = {0};
        ecc::EC_scalar_reduce(c, r, R.X);
        ecc::EC_scalar_mul(c, t, s, k);
        ecc::EC_scalar_mul(c, u, d, r);
        // t - u = t + (n - u)
        uint64_t zero[ecc::kMaxLimbs] = {0}, negu[ecc::kMaxLimbs] = {0};
        uint64_t borrow = 0;
        for (size_t i = 0; i < c.nlimbs; i++) {
            unsigned __int128 diff = (unsigned __int128)c.n[i] - u[i] - borrow;
            negu[i] = uint64_t(diff);
            borrow = uint64_t(diff >> 64) & 1;
        }
        ecc::EC_scalar_reduce(c, negu, negu);
        ecc::EC_scalar_add(c, t, t, negu);
        (void)zero;
        ecc::EC_num_to_bytes(digest, 32, t, c.nlimbs);
        ecc::EC_num_to_bytes(rsbytes, 32, r, c.nlimbs);
        ecc::EC_num_to_bytes(rsbytes + 32, 32, s, c.nlimbs);
    };
    // Small s: the DER value is 40 octets, below 2 * 32.
    uint64_t k[ecc::kMaxLimbs] = {12345}, s[ecc::kMaxLimbs] = {1};
    uint8_t digest[32], rsb[64];
    forge(k, s, digest, rsb);
    Bytes der = ecdsaDerFromRS(rsb, rsb + 32, 32);
    ASSERT_LT(der.size(), 64u);
    EXPECT_EQ(eccDSA_VerifyDataFromBytes(der.data(), der.size(), digest, 32, key.c_str(), row_for(0x30),
                                         kUseDigest),
              0);
    EXPECT_EQ(eccDSA_VerifyDataFromBytes(rsb, 64, digest, 32, key.c_str(), row_for(0x30), kUseDigest), 0);
    // r || s whose first octet is 0x30: search k until r starts with 0x30.
    s[0] = 77;
    for (uint64_t i = 1;; i++) {
        k[0] = 1000 + i;
        forge(k, s, digest, rsb);
        if (rsb[0] == 0x30) break;
        ASSERT_LT(i, 100000u);
    }
    EXPECT_EQ(eccDSA_VerifyDataFromBytes(rsb, 64, digest, 32, key.c_str(), row_for(0x30), kUseDigest), 0);
    // Neither form turns a wrong digest valid.
    digest[31] ^= 1;
    EXPECT_EQ(eccDSA_VerifyDataFromBytes(rsb, 64, digest, 32, key.c_str(), row_for(0x30), kUseDigest), 22);
    // A non-DER value of another length is an encoding error, not a length one.
    Bytes bad = der;
    bad.push_back(0);
    EXPECT_EQ(eccDSA_VerifyDataFromBytes(bad.data(), bad.size(), digest, 32, key.c_str(), row_for(0x30),
                                         kUseDigest),
              7);
}

// Ed25519 and Ed448 Wycheproof files through the verifying driver with SPKI
// key strings (length checks and strict verification).
TEST(EdDsaDriver, WycheproofFiles) {
    for (long id : {0xC0L, 0xC1L}) {
        const char* file = id == 0xC0 ? "ed25519_test.json" : "ed448_test.json";
        auto jo = testutil::load_wycheproof(file);
        if (!jo) {
            GTEST_SKIP() << "test vectors not found: " << file;
        }
        for (const auto& g : (*jo)["testGroups"]) {
            Bytes pub = from_hex(g["publicKey"]["pk"]);
            auto spki = ecc::safecurveSpkiDer(id == 0xC0 ? 1 : 3, pub.data(), pub.size());
            std::string key = b64_string(spki.data(), spki.size());
            for (const auto& t : g["tests"]) {
                Bytes msg = from_hex(t["msg"]), sig = from_hex(t["sig"]);
                long rc = eccDSA_VerifyDataFromBytes(sig.data(), sig.size(), msg.data(), msg.size(),
                                                     key.c_str(), row_for(id), 0);
                const std::string res = t["result"];
                if (res == "valid") {
                    EXPECT_EQ(rc, 0) << file << " tcId " << t["tcId"];
                } else if (res == "invalid") {
                    EXPECT_NE(rc, 0) << file << " tcId " << t["tcId"];
                }
            }
        }
        // A digest is refused.
        uint8_t d[64] = {0}, s[114] = {0};
        EXPECT_EQ(eccDSA_VerifyDataFromBytes(s, id == 0xC0 ? 64 : 114, d, 64, "x", row_for(id), kUseDigest),
                  19);
    }
}
