// What the RSA key readers refuse: moduli above 16,384 bits and long public
// exponents with large moduli (error 33 from every reader and key-taking
// function), encrypted keys whose iteration count is above the limit (error
// 8 at once), version-0 private keys with trailing elements, and private
// keys whose p, q and CRT values do not belong to n and d (the key check).
#include <ctime>
#include <string>

#include "encode/encode.h"
#include "frame/error.h"
#include "morvanevelt.h"
#include "pbe/pbe.h"
#include "rsa/rsa_fixture.h"
#include "rsa/rsa_int.h"

using namespace rsatest;
using testutil::Bytes;

namespace {

// DER of one element (definite length).
Bytes tlv(uint8_t tag, const Bytes& v) {
    Bytes out{tag};
    if (v.size() < 0x80) {
        out.push_back(uint8_t(v.size()));
    } else {
        Bytes len;
        for (size_t n = v.size(); n; n >>= 8) len.insert(len.begin(), uint8_t(n));
        out.push_back(uint8_t(0x80 | len.size()));
        out.insert(out.end(), len.begin(), len.end());
    }
    out.insert(out.end(), v.begin(), v.end());
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// INTEGER of a non-negative big-endian value.
Bytes integer(Bytes v) {
    if (v.empty() || (v[0] & 0x80)) v.insert(v.begin(), 0x00);
    return tlv(0x02, v);
}

Bytes seq(std::initializer_list<Bytes> parts) {
    return tlv(0x30, cat(parts));
}

// An odd number of exactly `bits` bits (not a real modulus: readers refuse
// or accept by size before any arithmetic).
Bytes odd_number(size_t bits) {
    Bytes v((bits + 7) / 8, 0xA5);
    v[0] = uint8_t(1u << ((bits - 1) % 8));
    v.back() |= 1;
    return v;
}

Bytes rsa_public_der(const Bytes& n, const Bytes& e) {
    return seq({integer(n), integer(e)});
}

Bytes spki_der(const Bytes& rsa_public) {
    Bytes alg = seq({testutil::from_hex("06092a864886f70d010101"), testutil::from_hex("0500")});
    Bytes bits{0x00};
    bits.insert(bits.end(), rsa_public.begin(), rsa_public.end());
    return seq({alg, tlv(0x03, bits)});
}

Bytes rsa_private_der(const Components& c, const Bytes& trailing = {}) {
    return seq({integer({0}), integer(c.n), integer(c.e), integer(c.d), integer(c.p), integer(c.q),
                integer(c.dP), integer(c.dQ), integer(c.qInv), trailing});
}

Bytes pkcs8_der(const Bytes& rsa_private) {
    Bytes alg = seq({testutil::from_hex("06092a864886f70d010101"), testutil::from_hex("0500")});
    return seq({integer({0}), alg, tlv(0x04, rsa_private)});
}

std::string b64(const Bytes& der) {
    return b64_string(der.data(), der.size());
}

// A wrapped internal key string (type 1 public, 2 private) of any DER.
std::string wrapped(int type, const Bytes& der) {
    long len = 0;
    return IK_B64FromBytes(&len, type, der.data(), long(der.size()));
}

std::string file_of(const std::string& name, const Bytes& der) {
    std::string path = testutil::temp_path(name);
    testutil::write_file(path, der);
    return path;
}

double cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

Components fake_private(const Bytes& n) {
    Components c;
    c.n = n;
    c.e = {0x01, 0x00, 0x01};
    c.d = Bytes(n.size() - 1, 0x35);
    c.p = c.q = c.dP = c.dQ = c.qInv = {0};
    return c;
}

}  // namespace

TEST(RsaReadBounds, PublicKeySizes) {
    const Bytes e3{0x01, 0x00, 0x01};
    Bytes e65 = odd_number(65), e64(8, 0xFF);
    struct Case {
        const char* name;
        Bytes der;
        long bits;  // RSA_KeyBits, or the negated error
        bool spki;  // travels as plain base64 only
    } cases[] = {
        {"16385-bit modulus", rsa_public_der(odd_number(16385), e3), -BAD_KEY_LEN_ERROR, false},
        {"65536-bit modulus", rsa_public_der(odd_number(65536), odd_number(65536)), -BAD_KEY_LEN_ERROR,
         false},
        {"16385-bit modulus in SPKI", spki_der(rsa_public_der(odd_number(16385), e3)), -BAD_KEY_LEN_ERROR,
         true},
        {"modulus with leading zero octets", rsa_public_der(cat({Bytes(3, 0), odd_number(16385)}), e3),
         -BAD_KEY_LEN_ERROR, false},
        {"16384-bit modulus", rsa_public_der(odd_number(16384), e3), 16384, false},
        {"4096 bits, 65-bit exponent", rsa_public_der(odd_number(4096), e65), -BAD_KEY_LEN_ERROR, false},
        {"3073 bits, 65-bit exponent", rsa_public_der(odd_number(3073), e65), -BAD_KEY_LEN_ERROR, false},
        {"4096 bits, 64-bit exponent", rsa_public_der(odd_number(4096), e64), 4096, false},
        {"3072 bits, 65-bit exponent", rsa_public_der(odd_number(3072), e65), 3072, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool refused = c.bits < 0;
        const std::string path = file_of("pub.der", c.der), plain = b64(c.der);
        const double t0 = cpu_seconds();
        auto expect = [&](long got, long ok_value) { EXPECT_EQ(got, refused ? c.bits : ok_value); };
        // The readers give the key string's length on success.
        auto length_or = [&](long n) { return n > 0 ? 1L : n; };
        expect(length_or(RSA_ReadPublicKey(nullptr, 0, path.c_str(), 0)), 1);
        expect(length_or(RSA_ReadAnyPublicKey(nullptr, 0, path.c_str(), 0)), 1);
        expect(RSA_KeyBits(plain.c_str()), c.bits);
        expect(RSA_CheckKey(plain.c_str(), 0), 1);
        Bytes block((size_t(refused ? 16385 : c.bits) + 7) / 8, 0);
        if (refused) {
            // Plain base64 DER and a wrapped key string (SPKI travels plain only).
            EXPECT_EQ(RSA_RawPublic(block.data(), long(block.size()), plain.c_str(), 0), BAD_KEY_LEN_ERROR);
            EXPECT_EQ(VELT_ErrorCode(), BAD_KEY_LEN_ERROR);
            if (!c.spki) {
                std::string ks = wrapped(1, c.der);
                EXPECT_EQ(RSA_KeyBits(ks.c_str()), c.bits);
                EXPECT_EQ(RSA_RawPublic(block.data(), long(block.size()), ks.c_str(), 0), BAD_KEY_LEN_ERROR);
            }
            RsaKeyHolder key;
            EXPECT_EQ(rsaGetPublicKeyFromFileOrString(key.get(), path.c_str()), BAD_KEY_LEN_ERROR);
        }
        EXPECT_LT(cpu_seconds() - t0, 2.0);
    }
}

TEST(RsaReadBounds, PrivateKeySizes) {
    const Bytes big = rsa_private_der(fake_private(odd_number(16385)));
    std::vector<uint8_t> enc;
    ASSERT_EQ(pbeEncryptPrivateKeyInfoDer(enc, pkcs8_der(big).data(), pkcs8_der(big).size(), "pw", 10,
                                          0x1000 | 0x20),
              0);
    const std::string pkcs1 = file_of("big.p1", big), pkcs8 = file_of("big.p8", pkcs8_der(big)),
                      encrypted = file_of("big.p8e", Bytes(enc.begin(), enc.end()));
    for (const std::string& f : {pkcs1, pkcs8}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(RSA_ReadPrivateKeyInfo(nullptr, 0, f.c_str(), 0), -BAD_KEY_LEN_ERROR);
        EXPECT_EQ(RSA_ReadAnyPrivateKey(nullptr, 0, f.c_str(), "", 0), -BAD_KEY_LEN_ERROR);
        RsaKeyHolder key;
        EXPECT_EQ(rsaGetPrivateKeyFromFileOrString(key.get(), f.c_str(), ""), BAD_KEY_LEN_ERROR);
    }
    EXPECT_EQ(RSA_ReadEncPrivateKey(nullptr, 0, encrypted.c_str(), "pw", 0), -BAD_KEY_LEN_ERROR);
    EXPECT_EQ(RSA_ReadAnyPrivateKey(nullptr, 0, encrypted.c_str(), "pw", 0), -BAD_KEY_LEN_ERROR);
    for (const std::string& ks : {b64(big), wrapped(2, big), b64(pkcs8_der(big))}) {
        EXPECT_EQ(RSA_CheckKey(ks.c_str(), 0), -BAD_KEY_LEN_ERROR);
        EXPECT_EQ(RSA_KeyBits(ks.c_str()), -BAD_KEY_LEN_ERROR);
        Bytes block(2049, 0);
        EXPECT_EQ(RSA_RawPrivate(block.data(), long(block.size()), ks.c_str(), 0), BAD_KEY_LEN_ERROR);
    }
}

TEST(RsaReadBounds, HugeIterationCountIsRefusedAtOnce) {
    // An EncryptedPrivateKeyInfo of a few dozen octets: PBES2, PBKDF2 with
    // count 2^31 - 1, AES-128-CBC.
    const Bytes kdf = seq({testutil::from_hex("06092a864886f70d01050c"),
                           seq({tlv(0x04, Bytes(8, 1)), integer({0x7F, 0xFF, 0xFF, 0xFF})})});
    const Bytes enc = seq({testutil::from_hex("0609608648016503040102"), tlv(0x04, Bytes(16, 2))});
    const Bytes alg = seq({testutil::from_hex("06092a864886f70d01050d"), seq({kdf, enc})});
    const Bytes der = seq({alg, tlv(0x04, Bytes(32, 3))});
    EXPECT_LT(der.size(), 128u);
    const std::string path = file_of("huge.p8e", der);
    const double t0 = cpu_seconds();
    EXPECT_EQ(RSA_ReadEncPrivateKey(nullptr, 0, path.c_str(), "pw", 0), -INVALID_DATA_ERROR);
    EXPECT_NE(std::string(errmsg()).find("Iteration count 2147483647 exceeds the limit of 10000000"),
              std::string::npos)
        << errmsg();
    EXPECT_EQ(RSA_ReadAnyPrivateKey(nullptr, 0, path.c_str(), "pw", 0), -INVALID_DATA_ERROR);
    RsaKeyHolder key;
    EXPECT_EQ(rsaGetPrivateKeyFromFileOrString(key.get(), path.c_str(), "pw"), INVALID_DATA_ERROR);
    EXPECT_LT(cpu_seconds() - t0, 1.0);
}

TEST(RsaReadBounds, KeyCheckComparesPrimesAndCrtValues) {
    const Components good = components(openssl_pkey());
    auto with = [&](auto change) {
        Components c = good;
        change(c);
        return c;
    };
    auto plus_two = [](Bytes v) {
        if (!v.empty()) v.back() = uint8_t(v.back() + 2);  // another value (a wrap in the last octet is fine)
        return v;
    };
    struct Case {
        const char* name;
        Components c;
        long rc;
    } cases[] = {
        {"valid", good, 0},
        {"n, e, d only (CRT fields zero)",
         with([](Components& c) { c.p = c.q = c.dP = c.dQ = c.qInv = {0}; }), 0},
        {"p = 1, q = n", with([](Components& c) {
             c.p = {1};
             c.q = c.n;
             c.dP = {0};
             c.dQ = c.d;
             c.qInv = {0};
         }),
         -TEST_FAILED_ERROR},
        {"one-octet CRT fields that are not zero",
         with([](Components& c) { c.p = c.q = c.dP = c.dQ = c.qInv = {1}; }), -TEST_FAILED_ERROR},
        {"p and q swapped without new CRT values", with([](Components& c) { std::swap(c.p, c.q); }),
         -TEST_FAILED_ERROR},
        {"dP off by two", with([&](Components& c) { c.dP = plus_two(c.dP); }), -TEST_FAILED_ERROR},
        {"dQ off by two", with([&](Components& c) { c.dQ = plus_two(c.dQ); }), -TEST_FAILED_ERROR},
        {"qInv off by two", with([&](Components& c) { c.qInv = plus_two(c.qInv); }), -TEST_FAILED_ERROR},
        {"qInv plus p", with([](Components& c) {
             Bd a, b, s;
             bdConvFromOctets(a, c.qInv.data(), c.qInv.size());
             bdConvFromOctets(b, c.p.data(), c.p.size());
             bdAdd(s, a, b);
             c.qInv = Bytes(bdConvToOctets(s, nullptr, 0));
             bdConvToOctets(s, c.qInv.data(), c.qInv.size());
         }),
         -TEST_FAILED_ERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes der = rsa_private_der(c.c);
        EXPECT_EQ(RSA_CheckKey(b64(der).c_str(), 0), c.rc) << errmsg();
        EXPECT_EQ(RSA_CheckKey(wrapped(2, der).c_str(), 0), c.rc);
    }
}

TEST(RsaReadBounds, VersionZeroPrivateKeyEndsAfterQInv) {
    const Components good = components(openssl_pkey());
    struct Case {
        const char* name;
        Bytes der;
        long rc;
    } cases[] = {
        {"plain", rsa_private_der(good), 0},
        {"trailing INTEGER", rsa_private_der(good, integer({5})), -INVALID_DATA_ERROR},
        {"trailing otherPrimeInfos",
         rsa_private_der(good, seq({seq({integer({7}), integer({3}), integer({5})})})), -INVALID_DATA_ERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string f1 = file_of("v0.p1", c.der), f8 = file_of("v0.p8", pkcs8_der(c.der));
        auto ok_or = [&](long n) { return c.rc == 0 ? (n > 0 ? 0L : n) : n; };
        EXPECT_EQ(ok_or(RSA_ReadPrivateKeyInfo(nullptr, 0, f1.c_str(), 0)), c.rc);
        EXPECT_EQ(ok_or(RSA_ReadPrivateKeyInfo(nullptr, 0, f8.c_str(), 0)), c.rc);
        EXPECT_EQ(RSA_CheckKey(b64(c.der).c_str(), 0), c.rc);
    }
    // Version 1 (multi-prime) stays unsupported.
    Bytes v1 = rsa_private_der(good, seq({}));
    v1[v1[1] == 0x82 ? 6 : 4] = 1;
    EXPECT_EQ(RSA_ReadPrivateKeyInfo(nullptr, 0, file_of("v1.p1", v1).c_str(), 0), -NOT_SUPPORTED_ERROR);
}
