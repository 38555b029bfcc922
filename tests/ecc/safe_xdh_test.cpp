// X25519 and X448 (RFC 7748): the RFC vectors including the iterated ones,
// Wycheproof case by case, and agreement with OpenSSL on random keys.
#include <openssl/evp.h>

#include "common/test_util.h"
#include "ecc/curve25519_ifma.h"
#include "ecc/safecurve.h"
#include "frame/error.h"
#include "safe_oracle.h"
#include "util/cpu.h"

using testutil::Bytes;
using testutil::from_hex;
using testutil::to_hex;
using namespace velt::ecc;

namespace {

struct Xdh {
    const char* name;
    size_t len;
    int evp;
    long (*pub)(uint8_t*, const uint8_t*);
    long (*shared)(uint8_t*, const uint8_t*, const uint8_t*);
    const char* wycheproof;
};

const Xdh kX25519 = {"X25519",          32, EVP_PKEY_X25519, x25519_public_key, x25519_shared_secret,
                     "x25519_test.json"};
const Xdh kX448 = {"X448", 56, EVP_PKEY_X448, x448_public_key, x448_shared_secret, "x448_test.json"};

class XdhTest : public ::testing::TestWithParam<const Xdh*> {};

Bytes shared(const Xdh& x, const Bytes& k, const Bytes& u, long* rc = nullptr) {
    Bytes out(x.len, 0xAA);
    long r = x.shared(out.data(), k.data(), u.data());
    if (rc) *rc = r;
    return out;
}

// RFC 7748 section 5.2: two single vectors and the iteration k, u <- X(k, u), k.
struct Rfc7748 {
    const Xdh* x;
    const char *k, *u, *out;
};
const Rfc7748 kRfcVectors[] = {
    {&kX25519, "a546e36bf0527c9d3b16154b82465edd62144c0ac1fc5a18506a2244ba449ac4",
     "e6db6867583030db3594c1a424b15f7c726624ec26b3353b10a903a6d0ab1c4c",
     "c3da55379de9c6908e94ea4df28d084f32eccf03491c71f754b4075577a28552"},
    // The u-coordinate has its top bit set, which decoding must ignore.
    {&kX25519, "4b66e9d4d1b4673c5ad22691957d6af5c11b6421e0ea01d42ca4169e7918ba0d",
     "e5210f12786811d3f4b7959d0538ae2c31dbe7106fc03c3efc4cd549c715a493",
     "95cbde9476e8907d7aade45cb4b873f88b595a68799fa152e6f8f7647aac7957"},
    {&kX448,
     "3d262fddf9ec8e88495266fea19a34d28882acef045104d0d1aae121700a779c984c24f8cdd78fbff44943eba368f54b29259a4"
     "f1c600ad3",
     "06fce640fa3487bfda5f6cf2d5263f8aad88334cbd07437f020f08f9814dc031ddbdc38c19c6da2583fa5429db94ada18aa7a7f"
     "b4ef8a086",
     "ce3e4ff95a60dc6697da1db1d85e6afbdf79b50a2412d7546d5f239fe14fbaadeb445fc66a01b0779d98223961111e21766282f"
     "73dd96b6f"},
    {&kX448,
     "203d494428b8399352665ddca42f9de8fef600908e0d461cb021f8c538345dd77c3e4806e25f46d3315c44e0a5b4371282dd2c8"
     "d5be3095f",
     "0fbcc2f993cd56d3305b0b7d9e55d4c1a8fb5dbb52f8e9a1e9b6201b165d015894e56c4d3570bee52fe205e28a78b91cdfbde71"
     "ce8d157db",
     "884a02576239ff7a2f2f63b2db6a9ff37047ac13568e1e30fe63c4a7ad1b3ee3a5700df34321d62077e63633c575c1c954514e9"
     "9da7c179d"},
};

TEST(SafeXdh, Rfc7748Vectors) {
    for (const Rfc7748& v : kRfcVectors) {
        long rc = -1;
        EXPECT_EQ(to_hex(shared(*v.x, from_hex(v.k), from_hex(v.u), &rc)), v.out) << v.x->name;
        EXPECT_EQ(rc, 0);
    }
}

TEST(SafeXdh, Rfc7748Iterated) {
    struct {
        const Xdh* x;
        const char* after1;
        const char* after1000;
    } cases[] = {
        {&kX25519, "422c8e7a6227d7bca1350b3e2bb7279f7897b87bb6854b783c60e80311ae3079",
         "684cf59ba83309552800ef566f2f4d3c1c3887c49360e3875f2eb94d99532c51"},
        {&kX448,
         "3f482c8a9f19b01e6c46ee9711d9dc14fd4bf67af30765c2ae2b846a4d23a8cd0db897086239492caf350b51f833868b9bc"
         "2b3bca9cf4113",
         "aa3b4749d55b9daf1e5b00288826c467274ce3ebbdd5c17b975e09d4af6c67cf10d087202db88286e2b79fceea3ec353ef5"
         "4faa26e219f38"},
    };
    for (const auto& c : cases) {
        Bytes k(c.x->len, 0), u(c.x->len, 0);
        k[0] = u[0] = c.x == &kX25519 ? 9 : 5;
        for (int i = 1; i <= 1000; ++i) {
            Bytes next = shared(*c.x, k, u);
            u = k;
            k = next;
            if (i == 1) {
                EXPECT_EQ(to_hex(k), c.after1) << c.x->name;
            }
        }
        EXPECT_EQ(to_hex(k), c.after1000) << c.x->name;
    }
}

// The RFC 7748 section 6 key pairs: public keys by the fixed-base path and
// the agreed secret both ways.
TEST(SafeXdh, Rfc7748DiffieHellman) {
    struct {
        const Xdh* x;
        const char *a, *apub, *b, *bpub, *k;
    } cases[] = {
        {&kX25519, "77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a",
         "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a",
         "5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb",
         "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f",
         "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742"},
        {&kX448,
         "9a8f4925d1519f5775cf46b04b5800d4ee9ee8bae8bc5565d498c28dd9c9baf574a9419744897391006382a6f127ab1d9ac"
         "2d8c0a598726b",
         "9b08f7cc31b7e3e67d22d5aea121074a273bd2b83de09c63faa73d2c22c5d9bbc836647241d953d40c5b12da88120d53177"
         "f80e532c41fa0",
         "1c306a7ac2a0e2e0990b294470cba339e6453772b075811d8fad0d1d6927c120bb5ee8972b0d3e21374c9c921b09d1b0366"
         "f10b65173992d",
         "3eb7a829b0cd20f5bcfc0b599b6feccf6da4627107bdb0d4f345b43027d8b972fc3e34fb4232a13ca706dcb57aec3dae07b"
         "dc1c67bf33609",
         "07fff4181ac6cc95ec1c16a94a0f74d12da232ce40a77552281d282bb60c0b56fd2464c335543936521c24403085d59a449"
         "a5037514a879d"},
    };
    for (const auto& c : cases) {
        Bytes a = from_hex(c.a), b = from_hex(c.b), pa(c.x->len), pb(c.x->len);
        EXPECT_EQ(c.x->pub(pa.data(), a.data()), 0);
        EXPECT_EQ(c.x->pub(pb.data(), b.data()), 0);
        EXPECT_EQ(to_hex(pa), c.apub) << c.x->name;
        EXPECT_EQ(to_hex(pb), c.bpub) << c.x->name;
        EXPECT_EQ(to_hex(shared(*c.x, a, pb)), c.k) << c.x->name;
        EXPECT_EQ(to_hex(shared(*c.x, b, pa)), c.k) << c.x->name;
    }
}

// Every invalid case refused (here: a public key of the wrong length, which
// the fixed-size interface cannot take), every all-zero secret refused with
// error 11, every other secret equal to the expected one.
TEST_P(XdhTest, Wycheproof) {
    const Xdh& x = *GetParam();
    VELT_LOAD_WYCHEPROOF(j, x.wycheproof);
    int n = 0;
    for (const auto& g : j["testGroups"])
        for (const auto& t : g["tests"]) {
            ++n;
            Bytes pub = from_hex(t["public"]), priv = from_hex(t["private"]);
            std::string result = t["result"];
            SCOPED_TRACE("tcId " + std::to_string(int(t["tcId"])));
            bool zero = false;
            for (const auto& f : t["flags"]) zero |= f == "ZeroSharedSecret";
            if (pub.size() != x.len || priv.size() != x.len) {
                EXPECT_EQ(result, "invalid");
                continue;
            }
            ASSERT_NE(result, "invalid");
            long rc = -1;
            Bytes out = shared(x, priv, pub, &rc);
            if (zero) {
                EXPECT_EQ(rc, OUT_OF_RANGE_ERROR);
                EXPECT_EQ(out, Bytes(x.len, 0));
            } else {
                EXPECT_EQ(rc, 0);
                EXPECT_EQ(to_hex(out), t["shared"].get<std::string>());
            }
        }
    EXPECT_GT(n, 100);
}

TEST_P(XdhTest, AgreesWithOpenSSL) {
    const Xdh& x = *GetParam();
    uint64_t seed = 0x5afec0de + x.len;
    for (int i = 0; i < 40; ++i) {
        Bytes a = safe_oracle::random_bytes(x.len, seed), b = safe_oracle::random_bytes(x.len, seed);
        // Private keys whose signed radix-16 recoding (the X25519 public key
        // goes through the fixed-base table) carries through every digit or
        // sits on the digit boundary 8.
        const uint8_t special[] = {0x00, 0xFF, 0x88, 0x77, 0xF8};
        if (i < 5) std::fill(a.begin(), a.end(), special[i]);
        Bytes pa(x.len), pb(x.len);
        ASSERT_EQ(x.pub(pa.data(), a.data()), 0);
        ASSERT_EQ(x.pub(pb.data(), b.data()), 0);
        EXPECT_EQ(pa, safe_oracle::public_key(x.evp, a));
        Bytes s = shared(x, a, pb);
        EXPECT_EQ(s, safe_oracle::derive(x.evp, a, pb));
        EXPECT_EQ(s, shared(x, b, pa));
        // Arbitrary u-coordinates (on the curve or its twist), unreduced ones included.
        Bytes u = safe_oracle::random_bytes(x.len, seed);
        if (i % 4 == 0) std::fill(u.begin(), u.end(), 0xFF);
        EXPECT_EQ(shared(x, a, u), safe_oracle::derive(x.evp, a, u));
    }
}

// The X25519 ladder has a vector path (AVX-512 IFMA) and a portable one: the
// portable one, forced here, must give the same results (the other tests run
// whichever the processor selects).
TEST(SafeXdh, X25519PortableLadder) {
    const uint32_t before = velt::cpu::enabled();
    velt::cpu::restrict_features(0);
    EXPECT_FALSE(safe::x25519_ifma_usable());
    Bytes k(32, 0), u(32, 0);
    k[0] = u[0] = 9;
    for (int i = 0; i < 1000; ++i) {
        Bytes next = shared(kX25519, k, u);
        u = k;
        k = next;
    }
    EXPECT_EQ(to_hex(k), "684cf59ba83309552800ef566f2f4d3c1c3887c49360e3875f2eb94d99532c51");
    uint64_t seed = 1234;
    for (int i = 0; i < 20; ++i) {
        Bytes a = safe_oracle::random_bytes(32, seed), pb = safe_oracle::random_bytes(32, seed);
        EXPECT_EQ(shared(kX25519, a, pb), safe_oracle::derive(EVP_PKEY_X25519, a, pb));
    }
    velt::cpu::restrict_features(before);
}

INSTANTIATE_TEST_SUITE_P(Curves, XdhTest, ::testing::Values(&kX25519, &kX448),
                         [](const auto& info) { return std::string(info.param->name); });

}  // namespace
