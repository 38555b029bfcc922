// The signature algorithm table and DSA verification against OpenSSL-made
// signatures (FIPS 186-4 domain sizes).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/dsa.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include "common/test_util.h"
#include "hash/hash.h"
#include "sig/sig.h"

using namespace velt::sig;

TEST(SigTable, Lookups) {
    const SigAlgRow* r = sigPtrToSigAlgByName("rsa-sha256");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->id, 0x03);
    EXPECT_STREQ(r->oidName, "sha256WithRSAEncryption");
    ASSERT_NE(sigPtrToSigAlgById(0), nullptr);
    EXPECT_STREQ(sigPtrToSigAlgById(0)->name, "sha1WithRSAEncryption");
    EXPECT_EQ(sigPtrToSigAlgById(0x07), nullptr);
    EXPECT_STREQ(sigAlgorithmNameFromFlags(0x1030), "ecdsaWithSHA256");
    EXPECT_STREQ(sigAlgorithmOIDFromFlags(0xB4), "rsaPSS");
    EXPECT_EQ(sigAlgorithmNameFromFlags(0x07), nullptr);
    EXPECT_EQ(sigAlgIdFromOid("RSAPSS"), 0xB0);
    EXPECT_EQ(sigAlgIdFromOid("rsaEncryption"), 0);
    EXPECT_EQ(sigAlgIdFromOid("ed448"), 0xC1);
    EXPECT_EQ(sigAlgIdFromOid("nope"), -1);
    EXPECT_TRUE(sigAlgNameIsEdDSA("Ed25519"));
    EXPECT_FALSE(sigAlgNameIsEdDSA("ed25519"));
    // Every row's digest length agrees with its hash.
    size_t n = 0;
    const SigAlgRow* t = sigAlgTable(&n);
    ASSERT_EQ(n, 27u);
    for (size_t i = 0; i < n; i++) {
        if (t[i].hashAlg == 159) continue;
        EXPECT_EQ(velt::hash::digest_length(t[i].hashAlg), t[i].digestLen) << t[i].name;
    }
    EXPECT_TRUE(sigIdIsEcc(0x30));
    EXPECT_TRUE(sigIdIsEcc(0xC1));
    EXPECT_FALSE(sigIdIsEcc(0xB3));
    EXPECT_FALSE(sigIdIsEcc(0xD0));
}

namespace {

testutil::Bytes bn_bytes(const BIGNUM* b) {
    testutil::Bytes out(size_t(BN_num_bytes(b)));
    BN_bn2bin(b, out.data());
    return out;
}

struct DsaCase {
    int pbits, qbits;
};

}  // namespace

class DsaVerify : public ::testing::TestWithParam<DsaCase> {};

TEST_P(DsaVerify, OpenSslSignaturesAndTampering) {
    const DsaCase dc = GetParam();
    EVP_PKEY_CTX* pctx = EVP_PKEY_CTX_new_id(EVP_PKEY_DSA, nullptr);
    ASSERT_NE(pctx, nullptr);
    EVP_PKEY* params = nullptr;
    ASSERT_EQ(EVP_PKEY_paramgen_init(pctx), 1);
    ASSERT_EQ(EVP_PKEY_CTX_set_dsa_paramgen_bits(pctx, dc.pbits), 1);
    ASSERT_EQ(EVP_PKEY_CTX_set_dsa_paramgen_q_bits(pctx, dc.qbits), 1);
    ASSERT_EQ(EVP_PKEY_paramgen(pctx, &params), 1);
    EVP_PKEY_CTX* kctx = EVP_PKEY_CTX_new(params, nullptr);
    EVP_PKEY* pk = nullptr;
    ASSERT_EQ(EVP_PKEY_keygen_init(kctx), 1);
    ASSERT_EQ(EVP_PKEY_keygen(kctx, &pk), 1);
    DSA* ossl = EVP_PKEY_get1_DSA(pk);
    ASSERT_NE(ossl, nullptr);
    EVP_PKEY_free(pk);
    EVP_PKEY_free(params);
    EVP_PKEY_CTX_free(kctx);
    EVP_PKEY_CTX_free(pctx);
    const BIGNUM *p, *q, *g, *y;
    DSA_get0_pqg(ossl, &p, &q, &g);
    DSA_get0_key(ossl, &y, nullptr);
    const size_t qbits = size_t(BN_num_bits(q));
    ASSERT_EQ(qbits, size_t(dc.qbits));
    auto P = bn_bytes(p), Q = bn_bytes(q), G = bn_bytes(g), Y = bn_bytes(y);

    DsaKey* key = dsaNew();
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(dsaSetParams(key, P.data(), P.size(), Q.data(), Q.size(), G.data(), G.size()), 0);
    ASSERT_EQ(dsaSetPublicKey(key, Y.data(), Y.size()), 0);
    std::vector<uint8_t> p2, q2, g2, y2;
    ASSERT_EQ(dsaGetPublicKeyOctets(key, p2, q2, g2, y2), 0);
    EXPECT_EQ(p2, P);
    EXPECT_EQ(y2, Y);

    // SHA-512 digests are longer than every q: verification must cut them to
    // the bit length of q as the signer did.
    for (int i = 0; i < 8; i++) {
        uint8_t dig[64];
        std::string msg = "message " + std::to_string(i);
        SHA512(reinterpret_cast<const uint8_t*>(msg.data()), msg.size(), dig);
        const size_t dlen = (i % 2) ? 64 : qbits / 8;
        DSA_SIG* s = DSA_do_sign(dig, int(dlen), ossl);
        ASSERT_NE(s, nullptr);
        const BIGNUM *br, *bs;
        DSA_SIG_get0(s, &br, &bs);
        auto R = bn_bytes(br), S = bn_bytes(bs);
        EXPECT_EQ(dsaVerify(key, dig, dlen, R.data(), R.size(), S.data(), S.size()), 1) << i;
        // A changed digest, r or s fails.
        dig[0] ^= 1;
        EXPECT_EQ(dsaVerify(key, dig, dlen, R.data(), R.size(), S.data(), S.size()), 0);
        dig[0] ^= 1;
        auto R2 = R;
        R2.back() ^= 1;
        EXPECT_EQ(dsaVerify(key, dig, dlen, R2.data(), R2.size(), S.data(), S.size()), 0);
        // r + q (as a longer number) is refused, not reduced.
        BIGNUM* rq = BN_new();
        BN_add(rq, br, q);
        auto RQ = bn_bytes(rq);
        EXPECT_EQ(dsaVerify(key, dig, dlen, RQ.data(), RQ.size(), S.data(), S.size()), 0);
        BN_free(rq);
        DSA_SIG_free(s);
    }
    // (1, q): s = q has no inverse; a verifier that let it through would take
    // w = 0, hence u1 = u2 = 0 and v = 1, and accept r = 1 for any message.
    uint8_t one = 1, zero = 0, dig[32] = {7};
    EXPECT_EQ(dsaVerify(key, dig, sizeof dig, &one, 1, Q.data(), Q.size()), 0);
    EXPECT_EQ(dsaVerify(key, dig, sizeof dig, Q.data(), Q.size(), &one, 1), 0);
    EXPECT_EQ(dsaVerify(key, dig, sizeof dig, &zero, 1, &one, 1), 0);
    EXPECT_EQ(dsaVerify(key, dig, sizeof dig, &one, 1, &zero, 1), 0);
    dsaFree(&key);
    EXPECT_EQ(key, nullptr);
    DSA_free(ossl);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DsaVerify,
                         ::testing::Values(DsaCase{1024, 160}, DsaCase{2048, 224}, DsaCase{2048, 256}));

TEST(DsaKeyRecord, RefusesBadParameters) {
    DsaKey* key = dsaNew();
    uint8_t p[] = {0x17}, q_even[20] = {0x80}, g[] = {2}, y[] = {3};
    EXPECT_EQ(dsaSetParams(key, p, 1, q_even, sizeof q_even, g, 1), 8);  // q even
    EXPECT_EQ(dsaSetPublicKey(key, y, 1), 8);                            // no parameters
    EXPECT_EQ(dsaSetParams(nullptr, p, 1, p, 1, g, 1), 14);
    dsaFree(&key);
}
