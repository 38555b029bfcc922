// Ed25519 and Ed448 (RFC 8032): the section 7 vectors, Wycheproof case by
// case (strict verification), and agreement with OpenSSL both ways.
#include <openssl/evp.h>
#include <openssl/sha.h>

#include "common/test_util.h"
#include "ecc/safecurve.h"
#include "frame/error.h"
#include "safe_oracle.h"

using testutil::Bytes;
using testutil::from_hex;
using testutil::to_hex;
using namespace velt::ecc;

namespace {

struct EdAlg {
    const char* name;
    size_t key_len, sig_len;
    int evp;
    const char* wycheproof;
    long (*pub)(uint8_t*, const uint8_t*);
    long (*sign)(uint8_t*, const uint8_t*, size_t, const uint8_t*, const uint8_t*);
    long (*verify)(const uint8_t*, const uint8_t*, size_t, const uint8_t*);
};

long ed448_sign_pure(uint8_t* sig, const uint8_t* m, size_t n, const uint8_t* priv, const uint8_t* pub) {
    return ed448_sign(sig, m, n, priv, pub);
}
long ed448_verify_pure(const uint8_t* sig, const uint8_t* m, size_t n, const uint8_t* pub) {
    return ed448_verify(sig, m, n, pub);
}

const EdAlg kEd25519 = {
    "Ed25519",     32, 64, EVP_PKEY_ED25519, "ed25519_test.json", ed25519_public_key, ed25519_sign,
    ed25519_verify};
const EdAlg kEd448 = {
    "Ed448",          57, 114, EVP_PKEY_ED448, "ed448_test.json", ed448_public_key, ed448_sign_pure,
    ed448_verify_pure};

class EdTest : public ::testing::TestWithParam<const EdAlg*> {};

Bytes sign(const EdAlg& a, const Bytes& priv, const Bytes& msg, const uint8_t* pub = nullptr) {
    Bytes sig(a.sig_len);
    EXPECT_EQ(a.sign(sig.data(), msg.data(), msg.size(), priv.data(), pub), 0);
    return sig;
}

long verify(const EdAlg& a, const Bytes& pub, const Bytes& msg, const Bytes& sig) {
    if (sig.size() != a.sig_len || pub.size() != a.key_len) return SIGNATURE_ERROR;
    return a.verify(sig.data(), msg.data(), msg.size(), pub.data());
}

// RFC 8032 section 7.1 (tests 1-3 and SHA(abc)) and 7.4 (blank, 1 octet).
struct Rfc8032 {
    const EdAlg* a;
    const char *sk, *pk, *msg, *sig;
};
const Rfc8032 kVectors[] = {
    {&kEd25519, "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f"
     "0595bbe2465"
     "5141438e7a100b"},
    {&kEd25519, "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2ea"
     "eb4302aee"
     "b00d291612bb0c00"},
    {&kEd25519, "c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc6594a7c15e"
     "9716ed28d"
     "c027beceea1ec40a"},
    {&kEd25519, "833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42",
     "ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d442"
     "3643ce80e"
     "2a9ac94fa54ca49f",
     "dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b58909351fc9ac90b3ecfdfbc7c66431e0303dca179"
     "c138ac17a"
     "d9bef1177331a704"},
    {&kEd448,
     "6c82a562cb808d10d632be89c8513ebf6c929f34ddfa8c9f63c9960ef6e348a3528c8a3fcc2f044e39a3fc5b94492f8f032e754"
     "9a20098f9"
     "5b",
     "5fd7449b59b461fd2ce787ec616ad46a1da1342485a70e1f8a0ea75d80e96778edf124769b46c7061bd6783df1e50f6cd1fa1ab"
     "eafe82561"
     "80",
     "",
     "533a37f6bbe457251f023c0d88f976ae2dfb504a843e34d2074fd823d41a591f2b233f034f628281f2fd7a22ddd47d7828c59bd"
     "0a21bfd39"
     "80ff0d2028d4b18a9df63e006c5d1c2d345b925d8dc00b4104852db99ac5c7cdda8530a113a0f4dbb61149f05a7363268c71d95"
     "808ff2e65"
     "2600"},
    {&kEd448,
     "c4eab05d357007c632f3dbb48489924d552b08fe0c353a0d4a1f00acda2c463afbea67c5e8d2877c5e3bc397a659949ef8021e9"
     "54e0a1227"
     "4e",
     "43ba28f430cdff456ae531545f7ecd0ac834a55d9358c0372bfa0c6c6798c0866aea01eb00742802b8438ea4cb82169c2351606"
     "27b4c3a94"
     "80",
     "03",
     "26b8f91727bd62897af15e41eb43c377efb9c610d48f2335cb0bd0087810f4352541b143c4b981b7e18f62de8ccdf633fc1bf03"
     "7ab7cd779"
     "805e0dbcc0aae1cbcee1afb2e027df36bc04dcecbf154336c19f0af7e0a6472905e799f1953d2a0ff3348ab21aa4adafd1d2344"
     "41cf807c0"
     "3a00"},
};

TEST(SafeEdDsa, Rfc8032Vectors) {
    for (const Rfc8032& v : kVectors) {
        const EdAlg& a = *v.a;
        Bytes sk = from_hex(v.sk), msg = from_hex(v.msg), pk(a.key_len);
        EXPECT_EQ(a.pub(pk.data(), sk.data()), 0);
        EXPECT_EQ(to_hex(pk), v.pk) << a.name;
        EXPECT_EQ(to_hex(sign(a, sk, msg)), v.sig) << a.name;
        EXPECT_EQ(to_hex(sign(a, sk, msg, pk.data())), v.sig) << a.name;
        EXPECT_EQ(verify(a, pk, msg, from_hex(v.sig)), 0) << a.name;
    }
}

// RFC 8032 section 7.1 TEST 1024 (a 1023-octet message): the message and
// signature are those of the Wycheproof case for the same key.
TEST(SafeEdDsa, Rfc8032Test1024) {
    VELT_LOAD_WYCHEPROOF(j, "ed25519_test.json");
    const Bytes sk = from_hex("f5e5767cf153319517630f226876b86c8160cc583bc013744c6bf255f5cc0ee5");
    Bytes pk(32);
    ed25519_public_key(pk.data(), sk.data());
    ASSERT_EQ(to_hex(pk), "278117fc144c72340f67d0f2316e8386ceffbf2b2428c9c51fef7c597f1d426e");
    int found = 0;
    for (const auto& g : j["testGroups"]) {
        if (g["publicKey"]["pk"] != to_hex(pk)) continue;
        for (const auto& t : g["tests"]) {
            Bytes msg = from_hex(t["msg"]);
            if (msg.size() != 1023) continue;
            ++found;
            EXPECT_EQ(to_hex(sign(kEd25519, sk, msg)), t["sig"].get<std::string>());
        }
    }
    EXPECT_EQ(found, 1);
}

// Ed448 with a context (RFC 8032 section 7.4, "1 octet (with context)"):
// the context enters dom4, so another context or none fails, and a context
// longer than 255 octets is refused.
TEST(SafeEdDsa, Ed448Context) {
    const Bytes sk = from_hex(
        "c4eab05d357007c632f3dbb48489924d552b08fe0c353a0d4a1f00acda2c463afbea67c5e8d2877c5e3bc397a659949ef802"
        "1e954e0a1227"
        "4e");
    const Bytes msg = {0x03}, ctx = {'f', 'o', 'o'}, other = {'f', 'o', 'p'};
    Bytes pk(57), sig(114);
    ed448_public_key(pk.data(), sk.data());
    ASSERT_EQ(ed448_sign(sig.data(), msg.data(), 1, sk.data(), pk.data(), ctx.data(), ctx.size()), 0);
    EXPECT_EQ(to_hex(sig),
              "d4f8f6131770dd46f40867d6fd5d5055de43541f8c5e35abbcd001b32a89f7d2151f7647f11d8ca2ae279fb842d607"
              "217fce6e042f"
              "6815ea000c85741de5c8da1144a6a1aba7f96de42505d7a7298524fda538fccbbb754f578c1cad10d54d0d5428407e"
              "85dcbc98a4"
              "9155c13764e66c3c00");
    EXPECT_EQ(ed448_verify(sig.data(), msg.data(), 1, pk.data(), ctx.data(), ctx.size()), 0);
    EXPECT_EQ(ed448_verify(sig.data(), msg.data(), 1, pk.data(), other.data(), other.size()),
              SIGNATURE_ERROR);
    EXPECT_EQ(ed448_verify(sig.data(), msg.data(), 1, pk.data()), SIGNATURE_ERROR);
    const Bytes big(256, 1);
    EXPECT_EQ(ed448_sign(sig.data(), msg.data(), 1, sk.data(), pk.data(), big.data(), big.size()),
              BAD_PARAM_ERROR);
    EXPECT_EQ(ed448_verify(sig.data(), msg.data(), 1, pk.data(), big.data(), big.size()), BAD_PARAM_ERROR);
}

// Every valid case verifies (and, with a private key given, is reproduced by
// signing); every invalid one is refused.
TEST_P(EdTest, Wycheproof) {
    const EdAlg& a = *GetParam();
    VELT_LOAD_WYCHEPROOF(j, a.wycheproof);
    int n = 0;
    for (const auto& g : j["testGroups"]) {
        Bytes pk = from_hex(g["publicKey"]["pk"]);
        for (const auto& t : g["tests"]) {
            ++n;
            SCOPED_TRACE("tcId " + std::to_string(int(t["tcId"])));
            Bytes msg = from_hex(t["msg"]), sig = from_hex(t["sig"]);
            long rc = verify(a, pk, msg, sig);
            if (t["result"] == "valid")
                EXPECT_EQ(rc, 0);
            else
                EXPECT_EQ(rc, SIGNATURE_ERROR);
        }
    }
    EXPECT_GT(n, 80);
}

// Edits that must break a signature: every bit of R and S, the message, and
// S + L (the same value mod L, refused as non-canonical).
TEST_P(EdTest, RejectsAlteredSignatures) {
    const EdAlg& a = *GetParam();
    uint64_t seed = 77 + a.key_len;
    Bytes sk = safe_oracle::random_bytes(a.key_len, seed), msg = safe_oracle::random_bytes(40, seed);
    Bytes pk(a.key_len);
    a.pub(pk.data(), sk.data());
    Bytes sig = sign(a, sk, msg);
    ASSERT_EQ(verify(a, pk, msg, sig), 0);
    for (size_t bit = 0; bit < 8 * a.sig_len; bit += 3) {
        Bytes bad = sig;
        bad[bit / 8] ^= uint8_t(1 << (bit % 8));
        EXPECT_EQ(verify(a, pk, msg, bad), SIGNATURE_ERROR) << bit;
    }
    Bytes m2 = msg;
    m2[0] ^= 1;
    EXPECT_EQ(verify(a, pk, m2, sig), SIGNATURE_ERROR);
    // S + L: add the little-endian order to S.
    const Bytes order =
        a.key_len == 32
            ? from_hex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010")
            : from_hex(
                  "f34458ab92c27823558fc58d72c26c219036d6ae49db4ec4e923ca7cffffffffffffffffffffffff"
                  "ffffffffffffffffffffffffffffff3f00");
    Bytes big = sig;
    unsigned carry = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        unsigned s = big[a.key_len + i] + order[i] + carry;
        big[a.key_len + i] = uint8_t(s);
        carry = s >> 8;
    }
    EXPECT_EQ(verify(a, pk, msg, big), SIGNATURE_ERROR);
}

TEST_P(EdTest, AgreesWithOpenSSL) {
    const EdAlg& a = *GetParam();
    uint64_t seed = 0xed0000 + a.key_len;
    for (int i = 0; i < 25; ++i) {
        Bytes sk = safe_oracle::random_bytes(a.key_len, seed);
        Bytes msg = safe_oracle::random_bytes(size_t(i * 37), seed);
        Bytes pk(a.key_len);
        ASSERT_EQ(a.pub(pk.data(), sk.data()), 0);
        EXPECT_EQ(pk, safe_oracle::public_key(a.evp, sk));
        Bytes sig = sign(a, sk, msg, i % 2 ? pk.data() : nullptr);
        EXPECT_EQ(sig, safe_oracle::sign(a.evp, sk, msg));
        EXPECT_TRUE(safe_oracle::verify(a.evp, pk, msg, sig));
        EXPECT_EQ(verify(a, pk, msg, sig), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Curves, EdTest, ::testing::Values(&kEd25519, &kEd448),
                         [](const auto& info) { return std::string(info.param->name); });

}  // namespace
