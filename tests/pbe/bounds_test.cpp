// Bounds on password-based parameters read from input: iteration counts of
// every scheme refused above the limit before any derivation, the PBES2
// HMAC-SHA-1 fallback decided by the parameters alone (so decryption time
// does not depend on the padding), and the scrypt parameter limits.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "common/test_util.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "pbe/bc.h"
#include "pbe/pbe.h"

using testutil::Bytes;

namespace {

Bytes store(AsnNode* chain) {
    int64_t n = 0;
    uint8_t* der = asn_Store(chain, &n);
    Bytes out(der, der + n);
    efree_mem(der);
    asn_Free(&chain);
    return out;
}

AsnNode* oid(const char* name) {
    AsnNode* o = asn_NewOID(name);
    return o ? o : asn_NewOIDFromDotted(name);
}

AsnNode* octets(const Bytes& b) {
    return asn_NewOctetString(b.data(), b.size());
}

// EncryptedPrivateKeyInfo with PBES2 (PBKDF2 with an optional PRF element,
// AES-128-CBC) from its parts.
Bytes pbes2_der(uint64_t count, const char* prf, const Bytes& salt, const Bytes& iv, const Bytes& ct) {
    AsnNode* kp = asn_LinkVar(octets(salt), asn_NewInteger(count), nullptr);
    if (prf) kp = asn_Link(kp, asn_Sequence(asn_LinkVar(oid(prf), asn_NewNull(), nullptr)));
    AsnNode* kdf = asn_Sequence(asn_LinkVar(oid("pkcs5PBKDF2"), asn_Sequence(kp), nullptr));
    AsnNode* enc = asn_Sequence(asn_LinkVar(oid("aes128-CBC"), octets(iv), nullptr));
    AsnNode* alg =
        asn_Sequence(asn_LinkVar(oid("pkcs5PBES2"), asn_Sequence(asn_LinkVar(kdf, enc, nullptr)), nullptr));
    return store(asn_Sequence(asn_LinkVar(alg, octets(ct), nullptr)));
}

// EncryptedPrivateKeyInfo with a PBES1 or PKCS #12 scheme (salt, count).
Bytes pbes1_der(const char* scheme, uint64_t count, const Bytes& ct) {
    const Bytes salt(8, 0x5A);
    AsnNode* params = asn_Sequence(asn_LinkVar(octets(salt), asn_NewInteger(count), nullptr));
    AsnNode* alg = asn_Sequence(asn_LinkVar(oid(scheme), params, nullptr));
    return store(asn_Sequence(asn_LinkVar(alg, octets(ct), nullptr)));
}

long decrypt(const Bytes& epki, const std::string& pw, velt::SecureBytes* out = nullptr) {
    velt::SecureBytes plain;
    long rc =
        pbeDecryptPrivateKeyInfoDer(plain, epki.data(), epki.size(), (const uint8_t*)pw.data(), pw.size());
    if (out) *out = plain;
    return rc;
}

// Processor time of this thread in seconds (other load on the machine
// barely moves it).
double cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

const Bytes kSalt(8, 0x11), kIv(16, 0x22), kCt(32, 0x33);
// A PrivateKeyInfo-shaped plaintext (one DER element).
const Bytes kPlain = testutil::from_hex("300b020100300606042a030405");

// PBES2 with AES-128: ciphertext of kPlain under a key derived with
// derive_prf, the file naming named_prf (null: the default SHA-1).
Bytes pbes2_file(long count, long derive_prf, const char* named_prf, const std::string& pw) {
    uint8_t key[16];
    EXPECT_EQ(pbeKDF2(key, 16, (const uint8_t*)pw.data(), long(pw.size()), kSalt.data(), long(kSalt.size()),
                      count, derive_prf),
              0);
    std::vector<uint8_t> ct;
    EXPECT_TRUE(bc_EncAES_CBC(ct, kPlain.data(), kPlain.size(), key, 128, kIv.data()));
    return pbes2_der(uint64_t(count), named_prf, kSalt, kIv, Bytes(ct.begin(), ct.end()));
}

}  // namespace

TEST(ReadBounds, IterationCountsAboveTheLimitAreRefusedBeforeDeriving) {
    const uint64_t kMax = 2147483647;  // the largest count the readers take
    struct Case {
        Bytes der;
        long rc;
        const char* message;  // start of the detail message
    } cases[] = {
        // Every scheme family at one above the limit and at 2^31 - 1.
        {pbes2_der(10000001, nullptr, kSalt, kIv, kCt), INVALID_DATA_ERROR,
         "Iteration count 10000001 exceeds"},
        {pbes2_der(kMax, "hmacWithSHA256", kSalt, kIv, kCt), INVALID_DATA_ERROR,
         "Iteration count 2147483647"},
        {pbes1_der("pbeWithSHA1AndDES-CBC", kMax, kCt), INVALID_DATA_ERROR, "Iteration count 2147483647"},
        {pbes1_der("pbeWithMD5AndDES-CBC", 10000001, kCt), INVALID_DATA_ERROR, "Iteration count 10000001"},
        {pbes1_der("pbeWithSHAAnd3-KeyTripleDES-CBC", kMax, kCt), INVALID_DATA_ERROR, "Iteration count"},
        {pbes1_der("pbeWithSHAAnd40BitRC2-CBC", kMax, kCt), INVALID_DATA_ERROR, "Iteration count"},
        {pbes1_der("pbeWithMD5AndRC2-CBC", kMax, kCt), INVALID_DATA_ERROR, "Iteration count"},
        // At the limit the count passes and the next check speaks (an
        // unsupported PRF, an unknown scheme), so nothing is derived here.
        {pbes2_der(10000000, "1.2.840.113549.2.13", kSalt, kIv, kCt), DECRYPT_ERROR,
         "PRF algorithm not supported"},
        {pbes1_der("1.2.3.4", 10000000, kCt), DECRYPT_ERROR, "Unsupported PBE algorithm: 1.2.3.4"},
        {pbes1_der("1.2.3.4", 10000001, kCt), INVALID_DATA_ERROR, "Iteration count 10000001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        errclear();
        velt::SecureBytes plain;
        const double t0 = cpu_seconds();
        EXPECT_EQ(decrypt(c.der, "pw", &plain), c.rc);
        EXPECT_LT(cpu_seconds() - t0, 0.5);
        EXPECT_TRUE(plain.empty());
        EXPECT_EQ(std::string(errmsg()).rfind(c.message, 0), 0u) << errmsg();
    }

    // The node-level readers refuse the same way.
    Bytes der = pbes2_der(kMax, nullptr, kSalt, kIv, kCt);
    AsnNode* chain = asn_ReadBytes(der.data(), der.size());
    ASSERT_NE(chain, nullptr);
    PbeRec* pbe = pbe_New();
    pbe_SetPassword(pbe, (const uint8_t*)"pw", 2);
    const double t0 = cpu_seconds();
    AsnNode* pki = asn_EncryptedPrivateKeyInfo_Extract(pbe, chain);
    EXPECT_EQ(pki, nullptr);
    // PBES2-params: the SEQUENCE after the pkcs5PBES2 OID.
    AsnNode* params = asn_FindAtLevel(chain, 16, 1, 2);
    ASSERT_NE(params, nullptr);
    EXPECT_EQ(asn_Pbes2_Get(pbe, params), -1);
    EXPECT_LT(cpu_seconds() - t0, 0.5);
    asn_Free(&pki);
    asn_Free(&chain);
    pbe_Free(&pbe);

    // A record filled by some other reader is refused by decryption itself.
    pbe = pbe_New();
    pbe_SetAlgorithm(pbe, "pbeWithSHAAnd3-KeyTripleDES-CBC");
    pbe_SetCount(pbe, long(kMax));
    velt::SecureBytes out;
    EXPECT_FALSE(pbe_Decrypt(pbe, kCt.data(), kCt.size(), out));
    EXPECT_EQ(std::string(errmsg()).rfind("Iteration count", 0), 0u);
    pbe_Free(&pbe);
}

TEST(ReadBounds, Pbes2Sha1FallbackKeepsItsResults) {
    struct Case {
        long derive_prf;
        const char* named_prf;
        const char* password;
        long rc;
    } cases[] = {
        {velt::hash::kSha256, "hmacWithSHA256", "pw", 0},
        {velt::hash::kSha1, nullptr, "pw", 0},
        // Key derived with HMAC-SHA-1 although the file names SHA-256.
        {velt::hash::kSha1, "hmacWithSHA256", "pw", 0},
        {velt::hash::kSha1, "hmacWithSHA512", "pw", 0},
        {velt::hash::kSha256, "hmacWithSHA256", "wrong", DECRYPT_ERROR},
        {velt::hash::kSha1, "hmacWithSHA384", "wrong", DECRYPT_ERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.named_prf ? c.named_prf : "default") + " " + c.password);
        Bytes der = pbes2_file(1000, c.derive_prf, c.named_prf, "pw");
        velt::SecureBytes plain;
        EXPECT_EQ(decrypt(der, c.password, &plain), c.rc) << errmsg();
        EXPECT_EQ(Bytes(plain.begin(), plain.end()), c.rc == 0 ? kPlain : Bytes());
    }
}

TEST(ReadBounds, Pbes2TimeDoesNotDependOnThePadding) {
    // With a PRF other than SHA-1, a correct password (padding valid at the
    // first key) and a wrong one (padding invalid under both keys) must cost
    // the same derivations. Processor time of this thread, best of five.
    const long count = 150000;
    Bytes der = pbes2_file(count, velt::hash::kSha256, "hmacWithSHA256", "pw");
    auto best = [&](const char* pw, long want) {
        double t = 1e9;
        for (int i = 0; i < 5; i++) {
            const double t0 = cpu_seconds();
            EXPECT_EQ(decrypt(der, pw), want);
            t = std::min(t, cpu_seconds() - t0);
        }
        return t;
    };
    best("pw", 0);  // warm up
    const double good = best("pw", 0), bad = best("wrong", DECRYPT_ERROR);
    EXPECT_LT(bad / good, 1.25) << "good " << good << " s, bad " << bad << " s";
    EXPECT_GT(bad / good, 0.8) << "good " << good << " s, bad " << bad << " s";
}

TEST(ReadBounds, ScryptParameterLimits) {
    struct Case {
        uint64_t N, r, p;
        bool ok;
    } cases[] = {
        {16, 1, 1, true},
        {1024, 8, 16, true},
        {uint64_t(1) << 20, 8, 1, true},   // 1 GiB table: the largest RFC 7914 example
        {uint64_t(1) << 20, 8, 2, true},   // work 2^24
        {uint64_t(1) << 20, 8, 3, false},  // work above 2^24
        {uint64_t(1) << 21, 8, 1, false},  // 2 GiB table
        {uint64_t(1) << 14, 8, 128, true},
        {uint64_t(1) << 14, 8, 129, false},
        {2, 1, uint64_t(1) << 23, true},
        {2, 1, (uint64_t(1) << 23) + 1, false},
        {1023, 8, 1, false},  // not a power of 2
        {1, 8, 1, false},
        {0, 8, 1, false},
        {16, 0, 1, false},
        {16, 1, 0, false},
        // Products that would wrap in 64 bits.
        {uint64_t(1) << 62, uint64_t(1) << 62, uint64_t(1) << 62, false},
        {2, uint64_t(1) << 63, 2, false},
        {2, 2, ~uint64_t(0), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pbe_ScryptParamsAcceptable(c.N, c.r, c.p), c.ok) << c.N << " " << c.r << " " << c.p;
}
