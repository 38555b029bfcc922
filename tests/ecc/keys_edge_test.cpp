// Elliptic-curve keys: curve names, ECC_ReadKeyByCurve's scalars and points,
// range and length checks, queries, hash codes, ECDH refusals and the
// parameter string.
#include "ecc/keys_fixture.h"
#include "encode/encode.h"

using namespace ecckeys;
using testutil::Bytes;

namespace {

const std::string kP256N = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";
const std::string kP521Gx =
    "00c6858e06b70404e9cd9e3ecb662395b4429c648139053fb521f828af606b4d3dbaa14b5e77efe75928fe1dc127a2ffa8de3348"
    "b3c185"
    "6a429bf97e7e31c2e5bd66";
const std::string kP521Gy =
    "011839296a789a3bc0045c8a5fb42c7d1bd998f54449579b446817afbd17273e662c97ee72995ef42640c550b9013fad0761353c"
    "7086a2"
    "72c24088be94769fd16650";

// a + b of two equal-length big-endian hex numbers, same length (no carry out).
std::string hex_add(const std::string& a, const std::string& b) {
    Bytes x = testutil::from_hex(a), y = testutil::from_hex(b);
    unsigned carry = 0;
    for (size_t i = x.size(); i-- > 0;) {
        unsigned s = x[i] + y[i] + carry;
        x[i] = uint8_t(s);
        carry = s >> 8;
    }
    return testutil::to_hex(x);
}

std::string p521_p() {
    return "01" + std::string(130, 'f');
}

TEST(EccKeyNames, AliasesInAnyCaseSelectTheCurve) {
    const std::string d = std::string(63, '0') + "7";
    for (const char* name : {"P-256", "p-256", "P_256", "PRIME256V1", "SECP256R1", "secp256r1"}) {
        std::string key = by_curve(d, name);
        ASSERT_FALSE(key.empty()) << name;
        EXPECT_EQ(query(key, "curveName"), "secp256r1") << name;
    }
    std::string ed = by_curve(std::string(64, '1'), "ed25519");
    EXPECT_EQ(query(ed, "curveName"), "Ed25519");
    long rc = 0;
    by_curve(d, "P-257", 0, &rc);
    EXPECT_EQ(rc, -21);
}

TEST(EccReadKeyByCurve, ScalarsAndRanges) {
    struct Case {
        std::string hex;
        const char* curve;
        long expect;  // >0: a key string; else the error
    };
    const std::string nMinus1 = kP256N.substr(0, 63) + "0";
    const Case cases[] = {
        {"04" + std::string(62, 'a'), "P-256", 1},  // 64 digits starting "04": a scalar
        {"1", "P-256", 1},
        {"  01:02 03 ", "P-256", 1},
        {nMinus1, "P-256", 1},
        {std::string(64, '0'), "P-256", -36},
        {"0", "P-256", -36},
        {kP256N, "P-256", -36},
        {std::string(64, 'f'), "P-256", -36},
        {"1" + std::string(64, '0'), "P-256", -33},  // 65 digits
        {"12g4", "P-256", -8},
        {std::string(62, '1'), "X25519", -33},  // 31 bytes
        {std::string(66, '1'), "X25519", -33},  // 33 bytes
        {std::string(112, '1'), "X448", 1},
        {std::string(114, '1'), "Ed448", 1},
        {"", "P-256", -6},
    };
    for (const Case& c : cases) {
        long rc = 0;
        std::string key = by_curve(c.hex, c.curve, 0, &rc);
        if (c.expect > 0) {
            EXPECT_GT(rc, 0) << c.hex;
            EXPECT_EQ(query_num(key, "isPrivate"), 1) << c.hex;
        } else {
            EXPECT_EQ(rc, c.expect) << c.hex;
        }
    }
}

TEST(EccReadKeyByCurve, PointsCompressedAndUncompressed) {
    const std::string priv = by_curve("1", "secp521r1");
    const std::string g = query(priv, "publicKey");
    EXPECT_EQ(g, "04" + kP521Gx + kP521Gy);
    EXPECT_EQ(query(priv, "privateKey").size(), 132u);  // 66 bytes
    EXPECT_EQ(g.size(), 266u);                          // 133 bytes
    const std::string pubFull = by_curve(g, "P-521");
    EXPECT_EQ(pubFull, public_of(priv));
    // G's y is even: "02" || x gives G, "03" || x gives -G.
    EXPECT_EQ(by_curve("02" + kP521Gx, "P-521"), pubFull);
    std::string neg = query(by_curve("03" + kP521Gx, "P-521"), "publicKey");
    EXPECT_EQ(neg.substr(0, 134), g.substr(0, 134));
    EXPECT_NE(neg, g);
    EXPECT_EQ(hex_add(neg.substr(134), kP521Gy), p521_p());  // y + (-y) = p

    // x + p still fits in 66 bytes; it is not below p and must be refused.
    long rc = 0;
    by_curve("04" + hex_add(kP521Gx, p521_p()) + kP521Gy, "P-521", 0, &rc);
    EXPECT_EQ(rc, -36);
    by_curve("04" + kP521Gx + hex_add(kP521Gy, std::string(130, '0') + "01"), "P-521", 0, &rc);
    EXPECT_EQ(rc, -36);  // off the curve
    // An x with no square root fails with either prefix.
    int found = 0;
    for (int x = 1; x < 64 && !found; ++x) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%02x", x);
        std::string xs = std::string(62, '0') + buf;
        long r2 = 0, r3 = 0;
        by_curve("02" + xs, "P-256", 0, &r2);
        by_curve("03" + xs, "P-256", 0, &r3);
        EXPECT_EQ(r2 > 0, r3 > 0) << xs;
        if (r2 < 0) {
            EXPECT_EQ(r2, -36);
            found = x;
        }
    }
    EXPECT_NE(found, 0);
}

TEST(EccSafeCurves, PublicKeysByCurveAndHashCodes) {
    const std::string priv = by_curve(std::string(64, '5'), "X25519");
    const std::string pubHex = query(priv, "publicKey");
    const std::string pub = by_curve(pubHex, "X25519", VELT_ECC_PUBLICKEY);
    EXPECT_EQ(pub, public_of(priv));
    EXPECT_EQ(query_num(pub, "isPrivate"), 0);
    EXPECT_EQ(query(pub, "privateKey"), "0");
    EXPECT_EQ(query(priv, "privateKey"), std::string(64, '5'));
    EXPECT_EQ(ECC_KeyHashCode(priv.c_str()), ECC_KeyHashCode(pub.c_str()));
    EXPECT_NE(ECC_KeyHashCode(priv.c_str()), 0);
    // A version 1 private key carries no public key to read back.
    long rc = 0;
    read_public(priv, &rc);
    EXPECT_EQ(rc, -8);
    const std::string p256 = by_curve("1234", "P-256");
    EXPECT_EQ(ECC_KeyHashCode(p256.c_str()), ECC_KeyHashCode(public_of(p256).c_str()));
    EXPECT_EQ(read_public(p256), public_of(p256));
    EXPECT_EQ(ECC_KeyHashCode(""), 0);
    EXPECT_EQ(ECC_KeyHashCode("xyz"), 0);
    EXPECT_EQ(VELT_ErrorCode(), 8);
}

TEST(EccQuery, KeywordsTypesAndBadQueries) {
    const std::string key = by_curve("1234", "brainpoolP384r1");
    EXPECT_EQ(query_num(key, "keybits"), 384);
    EXPECT_EQ(query_num(key, "  keyBitsAndMore"), 384);
    EXPECT_EQ(query_num(key, "isValid/extra"), 1);
    EXPECT_EQ(query_num(key, "bits"), -29);
    EXPECT_EQ(ECC_QueryKey(nullptr, 0, "", "curveName", VELT_QUERY_GETTYPE), 2);
    EXPECT_EQ(ECC_QueryKey(nullptr, 0, "", "keyBits", VELT_QUERY_GETTYPE), 1);
    EXPECT_EQ(query_num("", "keyBits"), -6);
    EXPECT_EQ(query_num("Qabc", "keyBits"), -8);
    char small[4];
    EXPECT_EQ(ECC_QueryKey(small, sizeof small, key.c_str(), "curveName", 0), -30);
    // Unwrapped output is plain base64 DER of the same key.
    long rc = 0;
    std::string plain = read_private(key, "", VELT_KEY_UNWRAPPED, &rc);
    ASSERT_GT(rc, 0);
    EXPECT_EQ(plain[0], 'M');
    EXPECT_EQ(query(plain, "privateKey"), query(key, "privateKey"));
}

TEST(EccDH, RefusalsAndLengths) {
    const std::string a = by_curve("1234", "secp521r1"), b = by_curve("5678", "secp521r1");
    unsigned char z1[66], z2[66];
    EXPECT_EQ(ECC_DHSharedSecret(nullptr, 0, a.c_str(), public_of(b).c_str(), 0), 66);
    EXPECT_EQ(ECC_DHSharedSecret(z1, 66, a.c_str(), public_of(b).c_str(), 0), 66);
    EXPECT_EQ(ECC_DHSharedSecret(z2, 66, b.c_str(), public_of(a).c_str(), 0), 66);
    EXPECT_EQ(Bytes(z1, z1 + 66), Bytes(z2, z2 + 66));
    EXPECT_EQ(ECC_DHSharedSecret(z1, 65, a.c_str(), public_of(b).c_str(), 0), -30);

    // The generator with x + p in the public key: refused as invalid.
    Bytes spki = b64_bytes(public_of(by_curve("1", "P-521")).c_str());
    Bytes bad = testutil::from_hex(hex_add(kP521Gx, p521_p()));
    std::copy(bad.begin(), bad.end(), spki.end() - 132);
    std::string badPub = b64_string(spki.data(), spki.size());
    EXPECT_EQ(ECC_DHSharedSecret(z1, 66, a.c_str(), badPub.c_str(), 0), -36);

    const std::string p256 = by_curve("1234", "P-256");
    const std::string ed = by_curve(std::string(64, '1'), "Ed25519");
    const std::string x = by_curve(std::string(64, '1'), "X25519");
    const std::string x448 = by_curve(std::string(112, '1'), "X448");
    struct Case {
        std::string pri, pub;
        long expect;
    };
    const Case cases[] = {
        {a, public_of(p256), -21},
        {ed, public_of(ed), -19},
        {a, b, -36},  // a private key as the public key
        {x, x, -36},
        {x, public_of(x448), -36},  // curves differ
        {x, public_of(a), -36},
        {p256, public_of(x), -36},
        {"junk", public_of(a), -8},
        {x, "junk", -8},
        {"", public_of(a), -6},
        // Low-order X25519/X448 public keys give an all-zero secret: refused.
        {x, by_curve(std::string(64, '0'), "X25519", VELT_ECC_PUBLICKEY), -11},
        {x, by_curve("01" + std::string(62, '0'), "X25519", VELT_ECC_PUBLICKEY), -11},
        {x448, by_curve(std::string(112, '0'), "X448", VELT_ECC_PUBLICKEY), -11},
    };
    for (const Case& c : cases) {
        unsigned char z[80];
        EXPECT_EQ(ECC_DHSharedSecret(z, sizeof z, c.pri.c_str(), c.pub.c_str(), 0), c.expect)
            << c.pri << " " << c.pub;
    }
}

TEST(EccMakeKeys, ArgumentsParametersAndSeed) {
    const std::string pub = testutil::temp_path("mk.pub"), pri = testutil::temp_path("mk.pri");
    struct Case {
        const char* curve;
        const char* pw;
        const char* params;
        long opts;
        long expect;
    };
    const Case cases[] = {
        {"P-256", "pw", "", 0x8000000, -17},
        {"nocurve", "pw", "", 0, -21},
        {"P-256", "", "", 0, -6},
        {"P-256", "pw", "colour=red", 0, -6},
        {"P-256", "pw", "tests=5", 0, -6},
        {"P-256", "pw", "count=0", 0, -8},
        {"P-256", "pw", "count=12x", 0, -8},
        {"P-256", "pw", "prf=hmacWithMD5", 0, -8},
        {"P-256", "pw", " Count=0x10 ; PRF=hmacwithsha512;", 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ECC_MakeKeys(pub.c_str(), pri.c_str(), c.curve, c.pw, c.params, c.opts), c.expect)
            << c.params;
    }
    // "rngseed" is additional input, not the entropy source.
    std::string keys[2];
    for (std::string& k : keys) {
        ASSERT_EQ(ECC_MakeKeys(pub.c_str(), pri.c_str(), "Ed25519", "pw", "rngseed=fixed", 0), 0);
        k = query(read_private(pri, "pw"), "privateKey");
        EXPECT_EQ(k.size(), 64u);
    }
    EXPECT_NE(keys[0], keys[1]);
    const std::string key = by_curve("1234", "P-256");
    EXPECT_EQ(ECC_SaveEncKey(pri.c_str(), key.c_str(), "pw", "", 0x8000000), -17);
    EXPECT_EQ(ECC_SaveEncKey(pri.c_str(), public_of(key).c_str(), "pw", "", 0), -36);
    EXPECT_EQ(ECC_SaveKey("/nonexistent-dir/k.der", key.c_str(), 0), -2);
}

}  // namespace
