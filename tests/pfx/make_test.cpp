// Files made by PFX_MakeFile, checked by the openssl command and by
// python-cryptography: same key, certificates and friendly name.
#include <cstdlib>
#include <string>

#include "frame/error.h"
#include "morvanevelt.h"
#include "pfx/ber.h"
#include "pfx_fixture.h"

using namespace pfxtest;

namespace {

// Prints the key modulus, the certificates (DER hex, in file order) and the
// friendly name as python-cryptography reads them.
const char* kPythonLoad = R"PY(
import sys
from cryptography.hazmat.primitives.serialization import pkcs12
from cryptography.hazmat.primitives import serialization
p = pkcs12.load_pkcs12(open(sys.argv[1], 'rb').read(), sys.argv[2].encode() if sys.argv[2] else None)
print('key', format(p.key.private_numbers().public_numbers.n, 'X') if p.key else '-')
certs = ([p.cert] if p.cert else []) + list(p.additional_certs)
for c in certs:
    print('cert', c.certificate.public_bytes(serialization.Encoding.DER).hex().upper(),
          (c.friendly_name or b'-').decode('utf-8'))
)PY";

bool have_python() {
    static bool ok = sh("python3 -c 'import cryptography.hazmat.primitives.serialization.pkcs12'");
    return ok;
}

std::string python_load(const std::string& file, const char* password) {
    const std::string script = testutil::temp_path("load.py");
    testutil::write_file(script, std::string(kPythonLoad));
    std::string out;
    if (!sh("python3 " + script + " " + file + " '" + password + "'", &out)) return "failed";
    return out;
}

struct Made {
    long options;
    bool key;
    const char* name;
    bool legacy;  // certificates under RC2-40: openssl needs its legacy provider
};

const Made kMade[] = {
    {0, true, "leaf name", true},         {0, false, nullptr, true},
    {0x1000000, true, nullptr, false},    {0x2000000, true, "plain certs", false},
    {0x4000000, true, "key as is", true}, {0x8000000, true, nullptr, true},
    {0x100000, true, "long salt", true},  {0x1043, true, "pbes2", false},
    {0x1043, false, nullptr, false},
};

TEST(PfxMake, OpenSslAndPythonReadOurFiles) {
    PFX_NEED_OPENSSL();
    const Env& e = env();
    const std::string certs = e.leaf + ";  " + e.ca;
    const std::string leaf_hex = testutil::to_hex(e.leaf_der, true),
                      ca_hex = testutil::to_hex(e.ca_der, true);
    int i = 0;
    for (const Made& m : kMade) {
        SCOPED_TRACE(testing::Message() << "options 0x" << std::hex << m.options << " key " << m.key);
        const std::string file = testutil::temp_path("made" + std::to_string(i++) + ".p12");
        ASSERT_EQ(PFX_MakeFile(file.c_str(), certs.c_str(), m.key ? e.key_p8.c_str() : nullptr, kPassword,
                               m.name, m.options),
                  0)
            << errmsg();
        EXPECT_EQ(PFX_VerifySig(file.c_str(), kPassword, 0), 0);
        if (m.key) {
            EXPECT_EQ(key_modulus(read_key(file, kPassword)), e.modulus);
        }
        // Without a key there is no localKeyID to match: the last certificate is taken.
        EXPECT_EQ(read_cert(file, kPassword), m.key ? e.leaf_der : e.ca_der);

        const std::string legacy = m.legacy ? " -legacy" : "";
        const std::string base = "openssl pkcs12 -in " + file + " -passin pass:" + kPassword + legacy;
        std::string info;
        ASSERT_TRUE(sh(base + " -info -nodes", &info)) << "openssl pkcs12 -info failed";
        if (m.name) {
            EXPECT_NE(info.find(std::string("friendlyName: ") + m.name), std::string::npos) << info;
        }
        if (m.key) {
            std::string mod;
            ASSERT_TRUE(sh(base + " -nocerts -nodes | openssl rsa -modulus -noout", &mod));
            EXPECT_EQ(mod.substr(0, mod.find_first_of("\r\n")), "Modulus=" + e.modulus);
        }
        std::string leaf;
        ASSERT_TRUE(
            sh(base + " -nokeys -clcerts | openssl x509 -outform DER | xxd -p -u | tr -d '\\n'", &leaf));
        EXPECT_EQ(leaf, leaf_hex);

        if (!have_python()) continue;
        std::string expect = "key " + (m.key ? e.modulus : std::string("-")) + "\n";
        expect += "cert " + leaf_hex + " " + (m.name ? m.name : "-") + "\ncert " + ca_hex + " -\n";
        EXPECT_EQ(python_load(file, kPassword), expect);
    }
}

TEST(PfxMake, LayoutOfTheDefaultFile) {
    PFX_NEED_OPENSSL();
    const Env& e = env();
    const std::string file = testutil::temp_path("layout.p12");
    ASSERT_EQ(PFX_MakeFile(file.c_str(), e.leaf.c_str(), e.key_p8.c_str(), kPassword, nullptr, 0), 0);
    std::string asn;
    ASSERT_TRUE(sh("openssl asn1parse -inform DER -in " + file, &asn));
    // MacData: HMAC-SHA-1, 8-octet salt, count 6000 to 6199.
    EXPECT_NE(asn.find(":sha1"), std::string::npos);
    std::string info;
    ASSERT_TRUE(sh("openssl pkcs12 -legacy -info -noout -in " + file + " -passin pass:" + kPassword + " 2>&1",
                   &info));
    EXPECT_NE(info.find("MAC: sha1, Iteration 6"), std::string::npos) << info;
    EXPECT_NE(info.find("MAC length: 20, salt length: 8"), std::string::npos) << info;
    EXPECT_NE(info.find("PKCS7 Encrypted data: pbeWithSHA1And40BitRC2-CBC, Iteration 6"), std::string::npos)
        << info;
    EXPECT_NE(info.find("Shrouded Keybag: pbeWithSHA1And3-KeyTripleDES-CBC, Iteration 6"), std::string::npos)
        << info;
}

TEST(PfxMake, CertificatesOnlyWithoutPassword) {
    PFX_NEED_OPENSSL();
    const Env& e = env();
    // Any of 0x1043 asks for encryption, which still needs a password.
    for (long options : {0L, 0x1043L}) {
        const std::string file = testutil::temp_path("nopass.p12");
        ASSERT_EQ(PFX_MakeFile(file.c_str(), e.leaf.c_str(), nullptr, "", nullptr, options), 0) << errmsg();
        EXPECT_EQ(PFX_VerifySig(file.c_str(), "", 0), 0);
        EXPECT_EQ(PFX_VerifySig(file.c_str(), kPassword, 0), -1);
        EXPECT_EQ(read_cert(file, nullptr), e.leaf_der);
        std::string info;
        ASSERT_TRUE(
            sh("openssl pkcs12 -info -nokeys -noout -nomacver -in " + file + " -passin pass: 2>&1", &info));
        EXPECT_NE(info.find("PKCS7 Data"), std::string::npos) << info;
        EXPECT_EQ(info.find("Encrypted"), std::string::npos) << info;
    }
}

TEST(PfxMake, Errors) {
    PFX_NEED_OPENSSL();
    const Env& e = env();
    const std::string file = testutil::temp_path("err.p12");
    EXPECT_EQ(PFX_MakeFile(file.c_str(), "", nullptr, kPassword, nullptr, 0), BAD_PARAM_ERROR);
    EXPECT_EQ(PFX_MakeFile(file.c_str(), e.leaf.c_str(), e.key_p8.c_str(), "", nullptr, 0), BAD_PARAM_ERROR);
    EXPECT_EQ(PFX_MakeFile(file.c_str(), " ; ", nullptr, kPassword, nullptr, 0), -BAD_PARAM_ERROR);
    // The key belongs to the leaf, not to the CA certificate.
    EXPECT_EQ(PFX_MakeFile(file.c_str(), e.ca.c_str(), e.key_p8.c_str(), kPassword, nullptr, 0),
              NO_MATCH_ERROR);
    EXPECT_NE(std::string(errmsg()).find("Private key does not match certificate"), std::string::npos);
    EXPECT_EQ(PFX_MakeFile(file.c_str(), e.leaf.c_str(), e.key_p8.c_str(), "wrong", nullptr, 0),
              DECRYPT_ERROR);
    const std::string bad = e.leaf + ";" + testutil::temp_path("missing.pem");
    EXPECT_EQ(PFX_MakeFile(file.c_str(), bad.c_str(), nullptr, kPassword, nullptr, 0), INVALID_DATA_ERROR);
    // The safe writer refuses a target that is not a regular file and leaves it alone.
    const std::string dir = testutil::temp_path("target-dir");
    ASSERT_TRUE(sh("mkdir " + dir));
    EXPECT_EQ(PFX_MakeFile(dir.c_str(), e.leaf.c_str(), nullptr, kPassword, nullptr, 0), CREATE_ERROR);
    EXPECT_TRUE(sh("test -d " + dir));
}

TEST(PfxMake, FriendlyNameAsUtf16) {
    PFX_NEED_OPENSSL();
    const Env& e = env();
    struct Name {
        const char* given;
        const char* bmp_hex;  // BMPString contents
    } names[] = {
        {"caf\xC3\xA9", "00630061006600E9"},    // UTF-8
        {"caf\xE9", "00630061006600E9"},        // not UTF-8: Latin-1
        {"k\xF0\x9F\x94\x91", "006BD83DDD11"},  // U+1F511 as a surrogate pair
    };
    for (const Name& n : names) {
        const std::string file = testutil::temp_path("name.p12");
        ASSERT_EQ(PFX_MakeFile(file.c_str(), e.leaf.c_str(), nullptr, kPassword, n.given, 0x2000000), 0);
        testutil::Bytes der = testutil::read_file(file);
        std::string hex = testutil::to_hex(der, true);
        EXPECT_NE(hex.find("1E" + testutil::to_hex(testutil::Bytes{uint8_t(strlen(n.bmp_hex) / 2)}, true) +
                           n.bmp_hex),
                  std::string::npos)
            << n.bmp_hex;
    }
}

TEST(PfxMake, IterationCountsLeaveTheCLibraryGeneratorAlone) {
    PFX_NEED_OPENSSL();
    const Env& e = env();
    srand(12345);
    const int first = rand();
    srand(12345);
    const std::string file = testutil::temp_path("rand.p12");
    ASSERT_EQ(PFX_MakeFile(file.c_str(), e.leaf.c_str(), e.key_p8.c_str(), kPassword, nullptr, 0), 0);
    EXPECT_EQ(rand(), first);
}

}  // namespace
