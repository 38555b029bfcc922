// The MAC check over the digest MacData names, iteration counts read from a
// file, BER forms of the data OCTET STRING and the certificate choice, on
// files rebuilt from an openssl-made one.
#include <cstring>
#include <string>

#include "frame/error.h"
#include "hash/hash.h"
#include "morvanevelt.h"
#include "pbe/pbe.h"
#include "pfx/ber.h"
#include "asn1/der_write.h"
#include "pfx/pfx_int.h"
#include "pfx_fixture.h"

using namespace pfxtest;
using namespace velt;
using namespace velt::pfx;

namespace {

const uint8_t kOidSha1[] = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
const uint8_t kOidSha256[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
const uint8_t kOidMd5[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05};

Der raw(const Tlv& t) {
    return Der(t.start, t.start + t.total);
}

// The three parts of a PFX file: version, authSafe ContentInfo, MacData.
struct Parts {
    testutil::Bytes file;
    std::vector<Tlv> top;
};

Parts split(const std::string& path) {
    Parts p;
    p.file = testutil::read_file(path);
    Tlv pfx;
    EXPECT_TRUE(ber_read(p.file.data(), p.file.size(), &pfx) && ber_children(pfx, &p.top));
    return p;
}

// MacData ::= SEQUENCE { SEQUENCE { SEQUENCE { OID, NULL }, OCTET STRING mac }, OCTET STRING salt, count }
Der mac_data(const uint8_t* oid, size_t oid_len, const Der& mac, const Der& salt, const Der* count) {
    Der o = der_tlv(0x06, oid, oid_len), null = der_tlv(0x05, nullptr, 0), alg = der_seq({&o, &null});
    Der m = der_octets(mac.data(), mac.size()), di = der_seq({&alg, &m});
    Der s = der_octets(salt.data(), salt.size());
    return der_seq({&di, &s, count});
}

std::string write_pfx(const std::string& name, const Der& version, const Der& ci, const Der* mac) {
    const std::string path = testutil::temp_path(name);
    Der pfx = der_seq({&version, &ci, mac});
    testutil::write_file(path, testutil::Bytes(pfx.begin(), pfx.end()));
    return path;
}

// The stored MAC, salt and count of a file's MacData.
void mac_fields(const Tlv& md, Der* mac, Der* salt, Der* count) {
    std::vector<Tlv> f, di;
    ASSERT_TRUE(ber_children(md, &f) && ber_children(f[0], &di));
    *mac = Der(di[1].body, di[1].body + di[1].body_len);
    *salt = Der(f[1].body, f[1].body + f[1].body_len);
    *count = raw(f[2]);
}

// The authSafe content octets (the MAC input).
Der auth_safe(const Tlv& ci) {
    std::vector<Tlv> c, in;
    EXPECT_TRUE(ber_children(ci, &c) && ber_children(c[1], &in));
    velt::SecureBytes v;
    EXPECT_TRUE(ber_octets(in[0], &v));
    return Der(v.begin(), v.end());
}

TEST(PfxMac, TableOfMacCases) {
    PFX_NEED_OPENSSL();
    struct File {
        const char* args;
        const uint8_t* oid;
        size_t oid_len;
    } files[] = {{"-macalg sha1", kOidSha1, sizeof kOidSha1}, {"", kOidSha256, sizeof kOidSha256}};
    for (const File& f : files) {
        SCOPED_TRACE(f.args);
        const std::string path = openssl_export("mac", std::string(f.args) + " -passout pass:" + kPassword);
        Parts p = split(path);
        ASSERT_EQ(p.top.size(), 3u);
        Der mac, salt, count;
        mac_fields(p.top[2], &mac, &salt, &count);
        const Der version = raw(p.top[0]), ci = raw(p.top[1]);
        Der flipped = mac, longer = mac;
        flipped[5] ^= 0x01;
        longer.push_back(0);
        struct Case {
            const char* name;
            Der mac;
            const uint8_t* oid;
            size_t oid_len;
            const char* password;
            long expect;
        } cases[] = {
            {"right", mac, f.oid, f.oid_len, kPassword, 0},
            {"wrong password", mac, f.oid, f.oid_len, "wrong", -1},
            {"flipped octet", flipped, f.oid, f.oid_len, kPassword, -1},
            {"cut to 19", Der(mac.begin(), mac.begin() + 19), f.oid, f.oid_len, kPassword, -1},
            {"cut to 1", Der(mac.begin(), mac.begin() + 1), f.oid, f.oid_len, kPassword, -1},
            {"empty", Der(), f.oid, f.oid_len, kPassword, -1},
            {"one longer", longer, f.oid, f.oid_len, kPassword, -1},
            {"md5", mac, kOidMd5, sizeof kOidMd5, kPassword, NOT_SUPPORTED_ERROR},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            Der md = mac_data(c.oid, c.oid_len, c.mac, salt, &count);
            const std::string file = write_pfx("case.p12", version, ci, &md);
            EXPECT_EQ(PFX_VerifySig(file.c_str(), c.password, 0), c.expect);
        }
    }
}

TEST(PfxMac, IterationCountsReadFromTheFile) {
    PFX_NEED_OPENSSL();
    Parts p = split(openssl_export("count", std::string("-passout pass:") + kPassword));
    Der mac, salt, count;
    mac_fields(p.top[2], &mac, &salt, &count);
    const Der version = raw(p.top[0]), ci = raw(p.top[1]), content = auth_safe(p.top[1]);
    // HMAC-SHA-256 keyed with one iteration of the derivation.
    velt::SecureBytes pw = bmp_password(kPassword);
    uint8_t key[32], one[32];
    pkcs12_derive_hash(velt::hash::kSha256, key, 32, pw.data(), pw.size(), salt.data(), salt.size(), 1, 3);
    velt::hash::hmac(velt::hash::kSha256, key, 32, content.data(), content.size(), one);
    const Der mac1(one, one + 32);
    const uint8_t zero[] = {0x02, 0x01, 0x00}, negative[] = {0x02, 0x01, 0xFF},
                  huge[] = {0x02, 0x04, 0x00, 0x98, 0x96, 0x81};  // 10,000,001
    const Der c0(zero, zero + 3), cneg(negative, negative + 3), chuge(huge, huge + 6);
    struct Case {
        const char* name;
        const Der* count;
        long expect;
    } cases[] = {{"absent", nullptr, 0},
                 {"zero", &c0, 0},
                 {"negative", &cneg, BAD_FORMAT_ERROR},
                 {"above the bound", &chuge, INVALID_DATA_ERROR}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Der md = mac_data(kOidSha256, sizeof kOidSha256, mac1, salt, c.count);
        const std::string file = write_pfx("count.p12", version, ci, &md);
        EXPECT_EQ(PFX_VerifySig(file.c_str(), kPassword, 0), c.expect);
    }
}

TEST(PfxMac, IndefiniteLengthDataOctetString) {
    PFX_NEED_OPENSSL();
    Parts p = split(openssl_export("ber", std::string("-passout pass:") + kPassword));
    const Der content = auth_safe(p.top[1]);
    // ContentInfo { data, [0] { OCTET STRING } } with indefinite lengths and
    // the octets in three constructed segments.
    Der ci = {0x30, 0x80, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7,
              0x0D, 0x01, 0x07, 0x01, 0xA0, 0x80, 0x24, 0x80};
    const size_t cut1 = 7, cut2 = content.size() / 2;
    for (auto [a, b] : {std::pair{size_t(0), cut1}, {cut1, cut2}, {cut2, content.size()}}) {
        Der seg = der_octets(content.data() + a, b - a);
        ci.insert(ci.end(), seg.begin(), seg.end());
    }
    ci.insert(ci.end(), 6, 0x00);
    const Der version = raw(p.top[0]), mac = raw(p.top[2]);
    const std::string file = write_pfx("ber.p12", version, ci, &mac);
    EXPECT_EQ(PFX_VerifySig(file.c_str(), kPassword, 0), 0);
    EXPECT_EQ(key_modulus(read_key(file, kPassword)), env().modulus);
    EXPECT_EQ(read_cert(file, kPassword), env().leaf_der);
}

TEST(PfxChoice, CertificateMatchedByLocalKeyIdWhenNotFirst) {
    PFX_NEED_OPENSSL();
    const Env& e = env();
    // Our file with plain certificates (leaf with attributes, then CA), its
    // certificate bags then swapped and the MAC dropped.
    const std::string made = testutil::temp_path("order.p12");
    const std::string list = e.leaf + ";" + e.ca;
    ASSERT_EQ(PFX_MakeFile(made.c_str(), list.c_str(), e.key_p8.c_str(), kPassword, nullptr, 0x2000000), 0);
    Parts p = split(made);
    const Der content = auth_safe(p.top[1]);
    Tlv as;
    std::vector<Tlv> cis, c, in, bags;
    ASSERT_TRUE(ber_read(content.data(), content.size(), &as) && ber_children(as, &cis) && cis.size() == 2);
    ASSERT_TRUE(ber_children(cis[0], &c) && ber_children(c[1], &in));
    velt::SecureBytes sc;
    ASSERT_TRUE(ber_octets(in[0], &sc));
    Tlv sct;
    ASSERT_TRUE(ber_read(sc.data(), sc.size(), &sct) && ber_children(sct, &bags) && bags.size() == 2);
    const Der b0 = raw(bags[0]), b1 = raw(bags[1]), swapped = der_seq({&b1, &b0});
    Der oid = der_oid(kOidData), os = der_octets(swapped.data(), swapped.size()),
        tagged = der_explicit(0, os);
    const Der cert_ci = der_seq({&oid, &tagged}), key_ci = raw(cis[1]);
    const Der new_as = der_seq({&cert_ci, &key_ci});
    Der os2 = der_octets(new_as.data(), new_as.size()), tagged2 = der_explicit(0, os2);
    const Der ci = der_seq({&oid, &tagged2}), version = raw(p.top[0]);
    const std::string file = write_pfx("swapped.p12", version, ci, nullptr);
    EXPECT_EQ(read_cert(file, kPassword), e.leaf_der);
    const std::string out = testutil::temp_path("swapped.cer");
    EXPECT_EQ(X509_GetCertFromPFX(out.c_str(), file.c_str(), nullptr, 0), long(e.leaf_der.size()));
    EXPECT_EQ(testutil::read_file(out), e.leaf_der);
    // No MAC: verifies only without a password.
    EXPECT_EQ(PFX_VerifySig(file.c_str(), nullptr, 0), 0);
    EXPECT_EQ(PFX_VerifySig(file.c_str(), kPassword, 0), -1);
}

TEST(PfxInput, HostileAndEmptyInputs) {
    char buf[256];
    EXPECT_EQ(PFX_VerifySig("", kPassword, 0), BAD_PARAM_ERROR);
    EXPECT_EQ(PFX_VerifySig("MIIBAAAA", kPassword, 0), INVALID_DATA_ERROR);
    EXPECT_EQ(RSA_ReadPrivateKeyFromPFX(buf, sizeof buf, "not a pfx", kPassword, 0), -BAD_FORMAT_ERROR);
    EXPECT_EQ(RSA_ReadPrivateKeyFromPFX(buf, sizeof buf, "#not base64#", kPassword, 0), -INVALID_DATA_ERROR);
    EXPECT_EQ(X509_ReadCertStringFromPFX(buf, sizeof buf, "MAMCAQM=", kPassword, 0x400), -BAD_FLAG_ERROR);
    // A version other than 3.
    const uint8_t v2[] = {0x30, 0x03, 0x02, 0x01, 0x02};
    const std::string f = testutil::temp_path("v2.p12");
    testutil::write_file(f, testutil::Bytes(v2, v2 + sizeof v2));
    EXPECT_EQ(PFX_VerifySig(f.c_str(), kPassword, 0), INVALID_DATA_ERROR);
    const uint8_t v2b[] = {0x30, 0x08, 0x02, 0x01, 0x02, 0x30, 0x03, 0x06, 0x01, 0x00};
    testutil::write_file(f, testutil::Bytes(v2b, v2b + sizeof v2b));
    EXPECT_EQ(PFX_VerifySig(f.c_str(), kPassword, 0), NOT_SUPPORTED_ERROR);
}

}  // namespace

namespace {

// A PFX without MAC holding one shrouded key bag with the given EPKI.
std::string pfx_with_key_bag(const Der& epki) {
    Der bag_id = der_oid(kOidShroudedKeyBag), value = der_explicit(0, epki);
    Der bag = der_seq({&bag_id, &value}), contents = der_seq({&bag});
    Der oid = der_oid(kOidData), os = der_octets(contents.data(), contents.size()),
        tagged = der_explicit(0, os);
    Der ci = der_seq({&oid, &tagged}), as = der_seq({&ci});
    Der os2 = der_octets(as.data(), as.size()), tagged2 = der_explicit(0, os2),
        outer = der_seq({&oid, &tagged2});
    return write_pfx("keycount.p12", der_uint(3), outer, nullptr);
}

TEST(PfxKeyBag, IterationCountOfTheKeyBag) {
    PFX_NEED_OPENSSL();
    const Env& e = env();
    const std::string p8 = testutil::temp_path("iter1.p8");
    ASSERT_TRUE(sh("openssl pkcs8 -topk8 -v1 PBE-SHA1-3DES -iter 1 -outform DER -in " + e.key + " -out " +
                   p8 + " -passout pass:" + kPassword));
    const testutil::Bytes der = testutil::read_file(p8);
    Tlv epki;
    std::vector<Tlv> top, alg, params;
    ASSERT_TRUE(ber_read(der.data(), der.size(), &epki) && ber_children(epki, &top) &&
                ber_children(top[0], &alg) && ber_children(alg[1], &params) && params.size() == 2);
    const Der oid = raw(alg[0]), salt = raw(params[0]), enc = raw(top[1]);
    const uint8_t negative[] = {0x02, 0x01, 0xFF}, huge[] = {0x02, 0x04, 0x00, 0x98, 0x96, 0x81};
    const Der cneg(negative, negative + 3), chuge(huge, huge + 6);
    struct Case {
        const char* name;
        const Der* count;
        long expect;  // 0: the key reads
    } cases[] = {{"absent", nullptr, 0},
                 {"negative", &cneg, -BAD_FORMAT_ERROR},
                 {"above the bound", &chuge, -INVALID_DATA_ERROR}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Der p = der_seq({&salt, c.count}), a = der_seq({&oid, &p}), bag_epki = der_seq({&a, &enc});
        const std::string file = pfx_with_key_bag(bag_epki);
        long rc;
        std::string key = read_key(file, kPassword, &rc);
        if (c.expect == 0) {
            EXPECT_EQ(key_modulus(key), e.modulus) << rc;
        } else {
            EXPECT_EQ(rc, c.expect);
        }
    }
}

}  // namespace
