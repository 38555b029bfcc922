// The prime-curve ECDH core: agreement with OpenSSL's key derivation, the
// refusals (scalar out of range, invalid peer points) and the Wycheproof
// ecdh_* files case by case.
#include <openssl/evp.h>

#include <cstring>

#include "ecc/prime_fixture.h"
#include "frame/error.h"

using namespace primetest;
using namespace velt::ecc;

namespace {

// Minimal strict DER reader for SubjectPublicKeyInfo { { ecPublicKey,
// namedCurve OID }, BIT STRING point }: returns false on anything else
// (explicit parameters, trailing bytes, bad lengths).
struct Der {
    const uint8_t* p;
    size_t n;
    bool next(uint8_t tag, Der* body) {
        if (n < 2 || p[0] != tag) return false;
        size_t len = p[1], hdr = 2;
        if (len & 0x80) {
            size_t k = len & 0x7f;
            if (k == 0 || k > 2 || n < 2 + k) return false;
            len = 0;
            for (size_t i = 0; i < k; ++i) len = (len << 8) | p[2 + i];
            if (len < 128 || (k == 2 && len < 256)) return false;  // not minimal
            hdr = 2 + k;
        }
        if (n - hdr < len) return false;
        *body = {p + hdr, len};
        p += hdr + len;
        n -= hdr + len;
        return true;
    }
};

bool parse_spki(const Bytes& der, const EC_curve& c, Bytes* point) {
    Der all{der.data(), der.size()}, spki, alg, oid1, oid2, bits;
    if (!all.next(0x30, &spki) || all.n != 0) return false;
    if (!spki.next(0x30, &alg) || !spki.next(0x03, &bits) || spki.n != 0) return false;
    if (!alg.next(0x06, &oid1) || !alg.next(0x06, &oid2) || alg.n != 0) return false;
    static const uint8_t kEcPublicKey[] = {0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01};
    if (oid1.n != sizeof kEcPublicKey || std::memcmp(oid1.p, kEcPublicKey, oid1.n) != 0) return false;
    OidRec want;
    if (EC_curve_oid(c, &want) != 0) return false;
    if (oid2.n != size_t(want.length) || std::memcmp(oid2.p, want.oct, oid2.n) != 0) return false;
    if (bits.n < 1 || bits.p[0] != 0) return false;
    point->assign(bits.p + 1, bits.p + bits.n);
    return true;
}

void run_wycheproof(const std::string& file, const std::string& name) {
    VELT_LOAD_WYCHEPROOF(doc, file);
    EC_curve c = curve(name);
    size_t checked = 0, accepted = 0;
    for (const auto& group : doc["testGroups"]) {
        ASSERT_EQ(group["encoding"], "asn");
        for (const auto& t : group["tests"]) {
            int id = t["tcId"];
            std::string result = t["result"];
            Bytes pub = testutil::from_hex(t["public"]), priv = testutil::from_hex(t["private"]);
            Bytes shared = testutil::from_hex(t["shared"]), point, out(EC_field_bytes(c));
            EC_point Q;
            int rc = -1;
            if (parse_spki(pub, c, &point) && EC_point_from_octets(c, &Q, point.data(), point.size()) == 0)
                rc = EC_ecdh(c, out.data(), priv.data(), priv.size(), Q);
            ++checked;
            if (result == "invalid") {
                EXPECT_NE(rc, 0) << file << " tcId " << id << " accepted: " << t["comment"];
            } else if (result == "valid") {
                EXPECT_EQ(rc, 0) << file << " tcId " << id << " refused: " << t["comment"];
            }
            if (rc == 0) {
                ++accepted;
                EXPECT_EQ(testutil::to_hex(out), testutil::to_hex(shared)) << file << " tcId " << id;
            }
        }
    }
    EXPECT_GT(accepted, 0u);
    EXPECT_GT(checked, accepted);
}

}  // namespace

TEST(PrimeEcdh, WycheproofFiles) {
    const char* kCurves[] = {"secp224r1", "secp256r1",       "secp384r1",       "secp521r1",
                             "secp256k1", "brainpoolP256r1", "brainpoolP384r1", "brainpoolP512r1"};
    for (const char* name : kCurves) {
        SCOPED_TRACE(name);
        run_wycheproof(std::string("ecdh_") + name + "_test.json", name);
    }
}

TEST(PrimeEcdh, AgreesWithOpensslDerive) {
    const struct {
        const char* name;
        const char* ossl;
    } kCurves[] = {{"secp192r1", "prime192v1"},
                   {"secp256r1", "P-256"},
                   {"secp521r1", "P-521"},
                   {"brainpoolP384r1", "brainpoolP384r1"}};
    for (const auto& k : kCurves) {
        SCOPED_TRACE(k.name);
        EC_curve c = curve(k.name);
        EVP_PKEY* a = EVP_EC_gen(k.ossl);
        EVP_PKEY* b = EVP_EC_gen(k.ossl);
        ASSERT_TRUE(a && b);
        // Our side: a's scalar, b's point.
        BIGNUM* d = nullptr;
        ASSERT_EQ(EVP_PKEY_get_bn_param(a, "priv", &d), 1);
        Bytes dbytes(EC_order_bytes(c));
        BN_bn2binpad(d, dbytes.data(), int(dbytes.size()));
        BN_free(d);
        Bytes pt(1 + 2 * EC_field_bytes(c));
        size_t ptlen = 0;
        ASSERT_EQ(EVP_PKEY_get_octet_string_param(b, "encoded-pub-key", pt.data(), pt.size(), &ptlen), 1);
        EC_point Q;
        ASSERT_EQ(EC_point_from_octets(c, &Q, pt.data(), ptlen), 0);
        Bytes ours(EC_field_bytes(c));
        ASSERT_EQ(EC_ecdh(c, ours.data(), dbytes.data(), dbytes.size(), Q), 0);

        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(a, nullptr);
        size_t len = 0;
        ASSERT_EQ(EVP_PKEY_derive_init(ctx), 1);
        ASSERT_EQ(EVP_PKEY_derive_set_peer(ctx, b), 1);
        ASSERT_EQ(EVP_PKEY_derive(ctx, nullptr, &len), 1);
        Bytes theirs(len);
        ASSERT_EQ(EVP_PKEY_derive(ctx, theirs.data(), &len), 1);
        EXPECT_EQ(ours, theirs);
        EVP_PKEY_CTX_free(ctx);
        EVP_PKEY_free(a);
        EVP_PKEY_free(b);
    }
}

TEST(PrimeEcdh, Refusals) {
    EC_curve c = curve("secp521r1");
    ASSERT_EQ(EC_field_bytes(c), 66u);
    uint64_t k[kMaxLimbs] = {12345};
    EC_point Q, inf;
    EC_point_mult_base(c, &Q, k);
    EC_point_set_infinity(&inf);
    Bytes out(66), d(66, 0);
    // Scalar 0, n, n + 1 and one wider than the limbs: refused, output zeroed.
    EXPECT_EQ(EC_ecdh(c, out.data(), d.data(), d.size(), Q), -BAD_KEY_ERROR);
    EC_num_to_bytes(d.data(), d.size(), c.n, c.nlimbs);
    EXPECT_EQ(EC_ecdh(c, out.data(), d.data(), d.size(), Q), -BAD_KEY_ERROR);
    d.back() += 1;
    EXPECT_EQ(EC_ecdh(c, out.data(), d.data(), d.size(), Q), -BAD_KEY_ERROR);
    Bytes wide(73, 0);
    wide[0] = 1;
    wide.back() = 1;
    EXPECT_EQ(EC_ecdh(c, out.data(), wide.data(), wide.size(), Q), -BAD_KEY_ERROR);
    EXPECT_EQ(out, Bytes(66, 0));
    // The largest valid scalar and a short (unpadded) one work; the secret
    // is left-padded to the field length.
    EC_num_to_bytes(d.data(), d.size(), c.n, c.nlimbs);
    d.back() -= 1;
    EXPECT_EQ(EC_ecdh(c, out.data(), d.data(), d.size(), Q), 0);
    uint8_t one = 1;
    ASSERT_EQ(EC_ecdh(c, out.data(), &one, 1, Q), 0);
    Bytes x(66);
    EC_num_to_bytes(x.data(), x.size(), Q.X, c.nlimbs);
    EXPECT_EQ(out, x);
    // Invalid peer points: infinity, off the curve, a coordinate plus p.
    EXPECT_EQ(EC_ecdh(c, out.data(), &one, 1, inf), -BAD_KEY_ERROR);
    EC_point off = Q;
    off.Y[0] ^= 1;
    EXPECT_EQ(EC_ecdh(c, out.data(), &one, 1, off), -BAD_KEY_ERROR);
    EC_point big = Q;
    BnPtr v = to_bn(Q.X, c.nlimbs), p = to_bn(c.p, c.nlimbs);
    BN_add(v.get(), v.get(), p.get());
    from_bn(big.X, v.get());
    EXPECT_EQ(EC_ecdh(c, out.data(), &one, 1, big), -BAD_KEY_ERROR);
}
