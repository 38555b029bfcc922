// Encryption schemes and EncryptedPrivateKeyInfo: RC2 known answers, the
// Wycheproof PBES2 files, keys encrypted by `openssl pkcs8` read by ours and
// ours read by `openssl pkcs8`, the written structure, and hostile input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/test_util.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "pbe/pbe.h"
#include "pbe/rc2.h"

using testutil::Bytes;
using testutil::from_hex;
using testutil::run_command;
using testutil::to_hex;

namespace {

const char* const kLegacy = " -provider legacy -provider default";

// A small EC key made by OpenSSL: its PEM file and plain PKCS #8 DER.
struct KeyFixture {
    std::string pem;
    Bytes pki;
};

const KeyFixture& fixture() {
    static KeyFixture f = [] {
        KeyFixture k;
        k.pem = testutil::temp_path("ec.pem");
        std::string der = testutil::temp_path("ec.p8");
        int st = 0;
        run_command("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out " + k.pem + " 2>&1", &st);
        run_command("openssl pkcs8 -topk8 -nocrypt -in " + k.pem + " -outform DER -out " + der + " 2>&1", &st);
        k.pki = testutil::read_file(der);
        return k;
    }();
    return f;
}

Bytes pem_body(const std::string& text) {
    auto b = text.find("-----\n"), e = text.find("-----END");
    return b == std::string::npos || e == std::string::npos ? Bytes() : b64_bytes(text.substr(b + 6, e - b - 6).c_str());
}

velt::SecureBytes decrypt(const Bytes& epki, const std::string& pw, long* rc) {
    velt::SecureBytes out;
    *rc = pbeDecryptPrivateKeyInfoDer(out, epki.data(), epki.size(), (const uint8_t*)pw.data(), pw.size());
    return out;
}

// The top-level nodes of a parsed DER chain, as (level, tag) text, for
// structure assertions.
std::string shape(const Bytes& der) {
    AsnNode* chain = asn_ReadBytes(der.data(), der.size());
    std::string s;
    for (AsnNode* p = chain; p; p = p->next) s += std::to_string(p->level) + ":" + std::to_string(p->tag) + " ";
    asn_Free(&chain);
    return s;
}

}  // namespace

TEST(Rc2, Rfc2268KnownAnswers) {
    struct Case {
        const char* key;
        unsigned bits;
        const char* pt;
        const char* ct;
    } cases[] = {
        {"0000000000000000", 63, "0000000000000000", "ebb773f993278eff"},
        {"ffffffffffffffff", 64, "ffffffffffffffff", "278b27e42e2f0d49"},
        {"3000000000000000", 64, "1000000000000001", "30649edf9be7d2c2"},
        {"88", 64, "0000000000000000", "61a8a244adacccf0"},
        {"88bca90e90875a", 64, "0000000000000000", "6ccf4308974c267f"},
        {"88bca90e90875a7f0f79c384627bafb2", 64, "0000000000000000", "1a807d272bbe5db1"},
        {"88bca90e90875a7f0f79c384627bafb2", 128, "0000000000000000", "2269552ab0f85ca6"},
        {"88bca90e90875a7f0f79c384627bafb216f80a6f85920584c42fceb0be255daf1e", 129, "0000000000000000",
         "5b78d3a43dfff1f1"},
    };
    for (const auto& c : cases) {
        Bytes key = from_hex(c.key), pt = from_hex(c.pt), out(8), back(8);
        velt::rc2::Key k;
        ASSERT_TRUE(velt::rc2::set_key(k, key.data(), key.size(), c.bits));
        velt::rc2::encrypt_block(k, pt.data(), out.data());
        EXPECT_EQ(to_hex(out), c.ct) << c.key << "/" << c.bits;
        velt::rc2::decrypt_block(k, out.data(), back.data());
        EXPECT_EQ(back, pt);
    }
    velt::rc2::Key k;
    uint8_t key[129] = {0};
    EXPECT_FALSE(velt::rc2::set_key(k, key, 0, 64));
    EXPECT_FALSE(velt::rc2::set_key(k, key, 129, 64));
    EXPECT_FALSE(velt::rc2::set_key(k, key, 8, 1025));
}

TEST(Pbes2, WycheproofFiles) {
    const std::pair<const char*, long> prfs[] = {
        {"hmacsha1", 0}, {"hmacsha224", 6}, {"hmacsha256", 3}, {"hmacsha384", 4}, {"hmacsha512", 5}};
    const std::pair<const char*, long> ciphers[] = {
        {"aes_128", kPbeAes128Cbc}, {"aes_192", kPbeAes192Cbc}, {"aes_256", kPbeAes256Cbc}};
    for (const auto& [prf_name, prf] : prfs)
        for (const auto& [cipher_name, scheme] : ciphers) {
            std::string name = std::string("pbes2_") + prf_name + "_" + cipher_name + "_test.json";
            VELT_LOAD_WYCHEPROOF(doc, name);
            for (const auto& g : doc["testGroups"])
                for (const auto& t : g["tests"]) {
                    PbeRec* pbe = pbe_New();
                    Bytes pw = from_hex(t["password"]), salt = from_hex(t["salt"]), iv = from_hex(t["iv"]);
                    Bytes ct = from_hex(t["ct"]);
                    pbe_SetAlgorithm(pbe, "pkcs5PBES2");
                    pbe_SetPassword(pbe, pw.data(), pw.size());
                    pbe_SetSalt(pbe, salt.data(), salt.size());
                    pbe_SetIV(pbe, iv.data(), iv.size());
                    pbe_SetCount(pbe, t["iterationCount"]);
                    ASSERT_EQ(pbe_SetEncSchemeId(pbe, scheme), scheme);
                    ASSERT_EQ(pbe_SetPrfId(pbe, prf), prf);
                    velt::SecureBytes msg;
                    bool ok = pbe_Decrypt(pbe, ct.data(), ct.size(), msg);
                    if (t["result"] == "valid") {
                        EXPECT_TRUE(ok) << name << " " << t["tcId"];
                        EXPECT_EQ(to_hex(msg.data(), msg.size()), t["msg"].get<std::string>()) << name << t["tcId"];
                    } else {
                        EXPECT_FALSE(ok) << name << " " << t["tcId"];
                    }
                    pbe_Free(&pbe);
                }
        }
}

TEST(EncryptedKey, OpenSslWritesOursReads) {
    const auto& key = fixture();
    ASSERT_FALSE(key.pki.empty());
    const char* variants[] = {
        "-v2 aes-256-cbc -v2prf hmacWithSHA256", "-v2 aes-128-cbc -v2prf hmacWithSHA1",
        "-v2 aes-192-cbc -v2prf hmacWithSHA512", "-v2 des3 -v2prf hmacWithSHA384",
        "-v2 des3 -v2prf hmacWithSHA224",        "-v2 aes-256-cbc -v2prf hmacWithSHA1 -iter 1",
        "-v1 PBE-SHA1-3DES",                     "-v1 PBE-SHA1-RC2-128 LEGACY",
        "-v1 PBE-SHA1-RC2-40 LEGACY",            "-v1 PBE-MD5-DES LEGACY",
        "-v1 PBE-SHA1-DES LEGACY",               "-v1 PBE-SHA1-RC2-64 LEGACY",
        "-v2 des-cbc LEGACY",                    "-v2 rc2-cbc LEGACY",
        "-v2 rc2-40-cbc LEGACY",
    };
    int i = 0;
    for (std::string v : variants) {
        std::string extra;
        if (auto p = v.find(" LEGACY"); p != std::string::npos) {
            v.erase(p);
            extra = kLegacy;
        }
        for (const char* form : {"DER", "PEM"}) {
            std::string out = testutil::temp_path("enc" + std::to_string(i++));
            int st = -1;
            std::string log = run_command("openssl pkcs8 -topk8 -in " + key.pem + " -passout pass:s3cret -outform " +
                                              form + " -out " + out + " " + v + extra + " 2>&1",
                                          &st);
            ASSERT_EQ(st, 0) << v << ": " << log;
            Bytes der = testutil::read_file(out);
            if (std::string(form) == "PEM") der = pem_body(std::string(der.begin(), der.end()));
            long rc;
            auto plain = decrypt(der, "s3cret", &rc);
            EXPECT_EQ(rc, 0) << v << " " << form << ": " << errmsg();
            EXPECT_EQ(Bytes(plain.begin(), plain.end()), key.pki) << v << " " << form;
            // The wrong password is error 15, never a key.
            decrypt(der, "s3cret!", &rc);
            EXPECT_EQ(rc, DECRYPT_ERROR) << v;
        }
    }
}

TEST(EncryptedKey, OursWritesOpenSslReads) {
    const auto& key = fixture();
    ASSERT_FALSE(key.pki.empty());
    // pbe_Setup options word: every scheme we write, every PBES2 cipher and PRF.
    std::vector<long> options = {0, 0x8000001, 0x8000003, 0x8000004};
    for (long cipher : {0x00L, 0x20L, 0x30L, 0x40L})
        for (long prf : {0L, 3L, 4L, 5L, 6L}) options.push_back(0x1000 | cipher | prf);
    for (long opt : options) {
        std::vector<uint8_t> epki;
        ASSERT_EQ(pbeEncryptPrivateKeyInfoDer(epki, key.pki.data(), key.pki.size(), "pass word", 7, opt), 0) << opt;
        std::string in = testutil::temp_path("ours.der"), out = testutil::temp_path("back.der");
        testutil::write_file(in, Bytes(epki.begin(), epki.end()));
        int st = -1;
        std::string extra = (opt & 0x8000000) && opt != 0x8000004 ? kLegacy : "";
        std::string log = run_command("openssl pkcs8 -inform DER -in " + in + " -passin 'pass:pass word'" + extra +
                                          " | openssl pkcs8 -topk8 -nocrypt -outform DER -out " + out + " 2>&1",
                                      &st);
        EXPECT_EQ(st, 0) << std::hex << opt << ": " << log;
        EXPECT_EQ(testutil::read_file(out), key.pki) << std::hex << opt;
        // And ours reads it back.
        long rc;
        auto plain = decrypt(Bytes(epki.begin(), epki.end()), "pass word", &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(Bytes(plain.begin(), plain.end()), key.pki);
    }
}

TEST(EncryptedKey, Md2SchemeRoundTrips) {
    // No oracle offers MD2; check that it derives, writes and reads.
    const auto& key = fixture();
    std::vector<uint8_t> epki;
    ASSERT_EQ(pbeEncryptPrivateKeyInfoDer(epki, key.pki.data(), key.pki.size(), "pw", 3, 0x8000002), 0);
    long rc;
    auto plain = decrypt(Bytes(epki.begin(), epki.end()), "pw", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(Bytes(plain.begin(), plain.end()), key.pki);
}

TEST(PbeSetup, OptionsChooseTheScheme) {
    struct Case {
        long options, count;
        const char* alg;
        const char* enc;
        const char* prf;
        long stored_count;
    } cases[] = {
        {0, 0, "pbeWithSHAAnd3-KeyTripleDES-CBC", "", "", 1},
        {0x1000 | 0x40 | 3, 2048, "pkcs5PBES2", "aes256-CBC", "hmacWithSHA256", 2048},
        {0x1000 | 0x20 | 9, 5, "pkcs5PBES2", "aes128-CBC", "hmacWithSHA1", 5},
        {0x1000 | 0x10 | 6, 5, "pkcs5PBES2", "des-EDE3-CBC", "hmacWithSHA224", 5},
        {0x8000001, 5, "pbeWithMD5AndDES-CBC", "", "", 5},
        {0x8000002, 5, "pbeWithMD2AndDES-CBC", "", "", 5},
        {0x8000003, 5, "pbeWithSHA1AndDES-CBC", "", "", 5},
        {0x8000004, 5, "pkcs5PBES2", "des-EDE3-CBC", "hmacWithSHA1", 5},
        {0x8000005, -3, "pbeWithSHAAnd3-KeyTripleDES-CBC", "", "", 1},
    };
    for (const auto& c : cases) {
        PbeRec* pbe = pbe_New();
        EXPECT_EQ(pbe_Setup(pbe, "pw", c.count, c.options), 0);
        EXPECT_STREQ(pbe_Algorithm(pbe), c.alg) << std::hex << c.options;
        EXPECT_STREQ(pbe_EncSchemeName(pbe), c.enc) << std::hex << c.options;
        EXPECT_STREQ(pbe_PrfName(pbe), c.prf) << std::hex << c.options;
        EXPECT_EQ(pbe_Count(pbe), c.stored_count);
        EXPECT_EQ(pbe->password.size(), 2u);
        pbe_Free(&pbe);
    }
    PbeRec* pbe = pbe_New();
    EXPECT_EQ(pbe_MatchAlgorithmName(pbe, "PBEWITHSHA1"), 0);
    EXPECT_STREQ(pbe_Algorithm(pbe), "pbeWithSHA1AndDES-CBC");
    EXPECT_EQ(pbe_MatchAlgorithmName(pbe, "nonsense"), 1);
    EXPECT_STREQ(pbe_Algorithm(pbe), "");
    EXPECT_EQ(pbe_SetEncSchemeByName(pbe, "AES256-cbc"), kPbeAes256Cbc);
    EXPECT_EQ(pbe_SetPrfByName(pbe, "hmacWithMD5"), -1);
    pbe_Free(&pbe);
}

TEST(EncryptedKey, WrittenStructure) {
    const auto& key = fixture();
    AsnNode* pki = asn_ReadBytes(key.pki.data(), key.pki.size());
    ASSERT_NE(pki, nullptr);
    for (long prf : {0L, 3L}) {
        PbeRec* pbe = pbe_New();
        pbe_Setup(pbe, "pw", 100, 0x1000 | 0x40 | prf);
        AsnNode* epki = asn_EncryptedPrivateKeyInfo_Make(pbe, pki);
        ASSERT_NE(epki, nullptr);
        EXPECT_TRUE(pbeasn_IsEncryptedPrivateKeyInfo_PBES2(epki));
        int64_t n;
        uint8_t* der = asn_Store(epki, &n);
        Bytes d(der, der + n);
        efree_mem(der);
        // SEQ{ SEQ{ OID, SEQ{ SEQ{ OID, SEQ{ salt, count [, SEQ{ prf, NULL }] } }, SEQ{ OID, IV } } }, OCTETS }
        std::string want = "0:16 1:16 2:6 2:16 3:16 4:6 4:16 5:4 5:2 ";
        if (prf) want += "5:16 6:6 6:5 ";
        want += "3:16 4:6 4:4 1:4 ";
        EXPECT_EQ(shape(d), want) << prf;
        EXPECT_EQ(pbe_SaltLen(pbe), 8u);
        EXPECT_EQ(pbe_IVLen(pbe), 16u);
        // The chain-level reader gives the PrivateKeyInfo back.
        PbeRec* rd = pbe_New();
        pbe_SetPassword(rd, (const uint8_t*)"pw", 2);
        AsnNode* back = asn_EncryptedPrivateKeyInfo_Extract(rd, epki);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(pbe_PrfId(rd), prf);
        EXPECT_EQ(pbe_Count(rd), 100);
        int64_t m;
        uint8_t* plain = asn_Store(back, &m);
        EXPECT_EQ(Bytes(plain, plain + m), key.pki);
        efree_mem(plain);
        asn_Free(&back);
        asn_Free(&epki);
        pbe_Free(&rd);
        pbe_Free(&pbe);
    }
    // PBES1 and PKCS #12 form, and a scheme we do not write.
    PbeRec* pbe = pbe_New();
    pbe_Setup(pbe, "pw", 3, 0);
    AsnNode* epki = asn_EncryptedPrivateKeyInfo_Make(pbe, pki);
    int64_t n;
    uint8_t* der = asn_Store(epki, &n);
    EXPECT_EQ(shape(Bytes(der, der + n)), "0:16 1:16 2:6 2:16 3:4 3:2 1:4 ");
    efree_mem(der);
    asn_Free(&epki);
    pbe_SetAlgorithm(pbe, "pbeWithSHA1AndRC2-CBC");
    EXPECT_EQ(asn_EncryptedPrivateKeyInfo_Make(pbe, pki), nullptr);
    EXPECT_STREQ(errmsg(), "Unsupported PBE algorithm: pbeWithSHA1AndRC2-CBC");
    pbe_Free(&pbe);
    asn_Free(&pki);
}

TEST(EncryptedKey, SaltAndIvAreFreshEachTime) {
    // The salt digest takes generator bytes: the same key, password and
    // scheme never repeat a salt, the PBES1 schemes included.
    const auto& key = fixture();
    for (long opt : {0L, 0x8000001L, 0x8000003L, 0x1040L}) {
        std::vector<uint8_t> a, b;
        ASSERT_EQ(pbeEncryptPrivateKeyInfoDer(a, key.pki.data(), key.pki.size(), "pw", 1, opt), 0);
        ASSERT_EQ(pbeEncryptPrivateKeyInfoDer(b, key.pki.data(), key.pki.size(), "pw", 1, opt), 0);
        EXPECT_NE(a, b) << std::hex << opt;
        PbeRec* p1 = pbe_New();
        PbeRec* p2 = pbe_New();
        AsnNode* c1 = asn_ReadBytes(a.data(), a.size());
        AsnNode* c2 = asn_ReadBytes(b.data(), b.size());
        pbe_SetPassword(p1, (const uint8_t*)"pw", 2);
        pbe_SetPassword(p2, (const uint8_t*)"pw", 2);
        AsnNode* k1 = asn_EncryptedPrivateKeyInfo_Extract(p1, c1);
        AsnNode* k2 = asn_EncryptedPrivateKeyInfo_Extract(p2, c2);
        ASSERT_NE(k1, nullptr);
        ASSERT_NE(k2, nullptr);
        EXPECT_EQ(pbe_SaltLen(p1), 8u);
        EXPECT_NE(Bytes(pbe_Salt(p1), pbe_Salt(p1) + 8), Bytes(pbe_Salt(p2), pbe_Salt(p2) + 8)) << std::hex << opt;
        if (opt & 0x1000) {
            EXPECT_NE(Bytes(pbe_IV(p1), pbe_IV(p1) + 16), Bytes(pbe_IV(p2), pbe_IV(p2) + 16));
        }
        asn_Free(&k1);
        asn_Free(&k2);
        asn_Free(&c1);
        asn_Free(&c2);
        pbe_Free(&p1);
        pbe_Free(&p2);
    }
}

namespace {

// EncryptedPrivateKeyInfo DER with PBES2 parameters built from parts, for
// the checks on parameters read from a file.
Bytes pbes2_epki(const char* kdf, long key_len, const char* prf, const char* enc, AsnNode* enc_params) {
    const uint8_t salt[8] = {1, 2, 3, 4, 5, 6, 7, 8}, ct[16] = {0};
    AsnNode* kp = asn_LinkVar(asn_NewOctetString(salt, 8), asn_NewInteger(10), nullptr);
    if (key_len) kp = asn_Link(kp, asn_NewInteger(uint64_t(key_len)));
    if (prf) kp = asn_Link(kp, asn_Sequence(asn_LinkVar(asn_NewOID(prf), asn_NewNull(), nullptr)));
    AsnNode* kdf_id = asn_Sequence(asn_LinkVar(asn_NewOID(kdf), asn_Sequence(kp), nullptr));
    AsnNode* enc_id = asn_Sequence(asn_LinkVar(asn_NewOID(enc), enc_params, nullptr));
    AsnNode* alg = asn_Sequence(asn_LinkVar(asn_NewOID("pkcs5PBES2"), asn_Sequence(asn_LinkVar(kdf_id, enc_id, nullptr)),
                                            nullptr));
    AsnNode* epki = asn_Sequence(asn_LinkVar(alg, asn_NewOctetString(ct, 16), nullptr));
    int64_t n;
    uint8_t* der = asn_Store(epki, &n);
    Bytes out(der, der + n);
    efree_mem(der);
    asn_Free(&epki);
    return out;
}

AsnNode* iv_of(size_t n) {
    uint8_t iv[32] = {0};
    return asn_NewOctetString(iv, n);
}

AsnNode* rc2_params(long version, size_t iv_len) {
    AsnNode* p = version >= 0 ? asn_NewInteger(uint64_t(version)) : nullptr;
    return asn_Sequence(asn_Link(p, iv_of(iv_len)));
}

}  // namespace

TEST(EncryptedKey, Pbes2ParametersFromAFileAreValidated) {
    struct Case {
        Bytes der;
        const char* message;
    } cases[] = {
        // A stated key length must be the cipher's.
        {pbes2_epki("pkcs5PBKDF2", 16, nullptr, "aes256-CBC", iv_of(16)), "PBES2 key length 16 does not match aes256-CBC"},
        {pbes2_epki("pkcs5PBKDF2", 8, nullptr, "des-EDE3-CBC", iv_of(8)), "PBES2 key length 8 does not match des-EDE3-CBC"},
        // RC2: key lengths within 1..128 octets, versions within the table.
        {pbes2_epki("pkcs5PBKDF2", 4000, nullptr, "rc2CBC", rc2_params(58, 8)), "PBES2 key length 4000 not valid for rc2CBC"},
        {pbes2_epki("pkcs5PBKDF2", 0, nullptr, "rc2CBC", rc2_params(5000, 8)), "Invalid ParameterVersion (5000)"},
        {pbes2_epki("pkcs5PBKDF2", 0, nullptr, "rc2CBC", rc2_params(7, 8)), "Invalid ParameterVersion (7)"},
        // IVs must be one block.
        {pbes2_epki("pkcs5PBKDF2", 0, nullptr, "aes128-CBC", iv_of(8)),
         "PBES2 encryption scheme parameters invalid or not supported"},
        {pbes2_epki("pkcs5PBKDF2", 0, nullptr, "rc2CBC", rc2_params(58, 4)),
         "PBES2 encryption scheme parameters invalid or not supported"},
        {pbes2_epki("scrypt", 0, nullptr, "aes128-CBC", iv_of(16)), "Key derivation algorithm 'scrypt' not supported"},
        {pbes2_epki("pkcs5PBKDF2", 0, "hmacWithSHA512-256", "aes128-CBC", iv_of(16)), "PRF algorithm not supported"},
        {pbes2_epki("pkcs5PBKDF2", 0, nullptr, "aes128-GCM", iv_of(16)), "'aes128-GCM' not supported"},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.der.empty()) << c.message;
        long rc;
        errclear();
        auto plain = decrypt(c.der, "pw", &rc);
        EXPECT_EQ(rc, DECRYPT_ERROR) << c.message;
        EXPECT_TRUE(plain.empty());
        EXPECT_STREQ(errmsg(), c.message);
    }
    // A key length equal to the cipher's is accepted (decryption then fails on
    // this dummy ciphertext, with the padding error).
    errclear();
    long rc;
    decrypt(pbes2_epki("pkcs5PBKDF2", 32, "hmacWithSHA256", "aes256-CBC", iv_of(16)), "pw", &rc);
    EXPECT_EQ(rc, DECRYPT_ERROR);
    EXPECT_STREQ(errmsg(), "Decryption error");
}

TEST(EncryptedKey, DamagedInputFailsCleanly) {
    const auto& key = fixture();
    std::vector<uint8_t> good;
    ASSERT_EQ(pbeEncryptPrivateKeyInfoDer(good, key.pki.data(), key.pki.size(), "pw", 2, 0x1000 | 0x20 | 3), 0);
    long rc;
    // Every truncation, and a flipped bit in every octet of the header part.
    for (size_t n = 0; n < good.size(); n++) {
        auto plain = decrypt(Bytes(good.begin(), good.begin() + long(n)), "pw", &rc);
        EXPECT_NE(rc, 0) << n;
    }
    for (size_t i = 0; i < 90 && i < good.size(); i++)
        for (uint8_t bit : {0x01, 0x80}) {
            Bytes bad(good.begin(), good.end());
            bad[i] ^= bit;
            auto plain = decrypt(bad, "pw", &rc);
            EXPECT_TRUE(rc == 0 || rc == DECRYPT_ERROR) << i;
        }
    // Not an EncryptedPrivateKeyInfo at all.
    decrypt(key.pki, "pw", &rc);
    EXPECT_EQ(rc, DECRYPT_ERROR);
}
