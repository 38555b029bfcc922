// PEM finding, writing and reading, the file-or-string recognition cascade,
// the PEM_ exported converters and the PKCS #7 chain test.
#include <gtest/gtest.h>

#include <cstring>

#include "asn1/asn1.h"
#include "asn_helpers.h"
#include "encode/encode.h"
#include "encode/pem.h"
#include "frame/error.h"
#include "morvanevelt.h"
#include "openssl_fixtures.h"

using asntest::Chain;
using asntest::der_hex;
using testutil::from_hex;

namespace {

const char kDer[] = "3006020105020103";

std::string pem_of(const std::string& hex, const char* label) {
    testutil::Bytes b = from_hex(hex);
    return std::string("-----BEGIN ") + label + "-----\n" + b64_string(b.data(), b.size()) + "\n-----END " +
           label + "-----\n";
}

std::string read_text(const std::string& path) {
    testutil::Bytes b = testutil::read_file(path);
    return std::string(b.begin(), b.end());
}

}  // namespace

TEST(Pem, FindEncoded) {
    std::string t = "junk\n" + pem_of(kDer, "FOO") + "more";
    size_t n = 0;
    const char* body = PEM_FindEncoded(t.data(), t.size(), &n);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(std::string(body, n), "MAYCAQUCAQM=\n");
    // No END line: up to the next BEGIN, or no body at all.
    std::string two = "-----BEGIN A-----\nMAYCAQUCAQM=\n-----BEGIN B-----\nxx";
    body = PEM_FindEncoded(two.data(), two.size(), &n);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(std::string(body, n), "MAYCAQUCAQM=\n");
    std::string none = "-----BEGIN A-----\nMAYCAQUCAQM=\n and nothing more";
    EXPECT_EQ(PEM_FindEncoded(none.data(), none.size(), &n), nullptr);
    EXPECT_EQ(PEM_FindEncoded("-----BEGIN X-----", 17, &n), nullptr);
    EXPECT_TRUE(PEM_IsPEMString(t.substr(5).c_str()));
    EXPECT_FALSE(PEM_IsPEMString(t.c_str()));
    EXPECT_TRUE(PEM_IsBase64SeqString("MAYCAQUC AQM="));
    EXPECT_FALSE(PEM_IsBase64SeqString("NAYCAQUCAQM="));
    EXPECT_TRUE(PEM_IsBase64String(""));
    EXPECT_FALSE(PEM_IsBase64String("a-b"));
}

TEST(Pem, ExportedConvertersLineLayout) {
    std::string bin = testutil::temp_path("in.bin"), out = testutil::temp_path("out.pem"),
                back = testutil::temp_path("back.bin");
    testutil::Bytes data(200);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
    testutil::write_file(bin, data);

    ASSERT_EQ(PEM_FileFromBinFile(out.c_str(), bin.c_str(), "DATA", 0), 0);
    std::string pem = read_text(out);
    EXPECT_EQ(pem.rfind("-----BEGIN DATA-----\r\n", 0), 0u);
    size_t eol = pem.find("\r\n", 22);
    EXPECT_EQ(eol - 22, 64u);
    ASSERT_EQ(PEM_FileToBinFile(back.c_str(), out.c_str()), 0);
    EXPECT_EQ(testutil::read_file(back), data);

    ASSERT_EQ(PEM_FileFromBinFileEx(out.c_str(), bin.c_str(), "DATA", 70, VELT_PEM_LF), 0);
    pem = read_text(out);
    EXPECT_EQ(pem.find('\r'), std::string::npos);
    EXPECT_EQ(pem.find('\n', 21) - 21, 68u);
    ASSERT_EQ(PEM_FileToBinFile(back.c_str(), out.c_str()), 0);
    EXPECT_EQ(testutil::read_file(back), data);

    // No label: base64 lines only, which have no PEM body to read back.
    ASSERT_EQ(PEM_FileFromBinFile(out.c_str(), bin.c_str(), "", 64), 0);
    EXPECT_EQ(read_text(out).find("-----"), std::string::npos);
    EXPECT_EQ(PEM_FileToBinFile(back.c_str(), out.c_str()), -7);

    EXPECT_EQ(PEM_FileFromBinFile(out.c_str(), "", "X", 64), -6);
    EXPECT_EQ(PEM_FileToBinFile(nullptr, out.c_str()), -6);
    EXPECT_EQ(PEM_FileFromBinFile(out.c_str(), "/no/such/file", "X", 64), -1);
    EXPECT_EQ(PEM_FileToBinFile("/no/such/dir/x", out.c_str()), -7);
    ASSERT_EQ(PEM_FileFromBinFile(out.c_str(), bin.c_str(), "DATA", 0), 0);
    EXPECT_EQ(PEM_FileToBinFile("/no/such/dir/x", out.c_str()), -2);
}

TEST(Pem, StreamWritersAndReader) {
    std::string in = testutil::temp_path("f2f.in"), pem = testutil::temp_path("f2f.pem"),
                out = testutil::temp_path("f2f.out");
    testutil::Bytes data(100, 0x5A);
    testutil::write_file(in, data);
    FILE* fi = fopen(in.c_str(), "rb");
    FILE* fo = fopen(pem.c_str(), "wb");
    EXPECT_GT(b64encap_f2f(fo, fi, "X", 10, 1), 0);
    fclose(fi);
    fclose(fo);
    std::string text = read_text(pem);
    // A line length of 10 gives lines of 12 (the next multiple of 4).
    EXPECT_EQ(text.find('\n', 18) - 18, 12u);
    fi = fopen(pem.c_str(), "rb");
    fo = fopen(out.c_str(), "wb");
    EXPECT_EQ(b64decap_f2f(fo, fi), 100);
    fclose(fi);
    fclose(fo);
    EXPECT_EQ(testutil::read_file(out), data);
    EXPECT_EQ(b64encapsulate(stdout, nullptr, 0, "X", 64), -1);
}

TEST(Pem, RecognitionCascade) {
    testutil::Bytes der = from_hex(kDer);
    std::string b64 = b64_string(der.data(), der.size());
    std::string pem = pem_of(kDer, "ANY LABEL");
    std::string pemB64 = b64_string(reinterpret_cast<const uint8_t*>(pem.data()), pem.size());
    long err = 0;
    for (const std::string& s : {pem, "  \n" + b64, pemB64}) {
        Chain c(pemReadAsnFromAnything(s.c_str(), &err));
        EXPECT_EQ(der_hex(c.get()), kDer) << s;
        EXPECT_EQ(err, 0);
    }
    // A base64 DER string starting with "M" where a file name is expected.
    Chain m(PEM_ReadSeqFromFileOrPEMString(b64.c_str(), &err));
    EXPECT_EQ(der_hex(m.get()), kDer);

    std::string fDer = testutil::temp_path("c.der"), fPem = testutil::temp_path("c.pem"),
                fB64 = testutil::temp_path("c.b64");
    testutil::write_file(fDer, der);
    testutil::write_file(fPem, pem);
    testutil::write_file(fB64, b64 + "\n");
    for (const std::string& f : {fDer, fPem}) {
        Chain a(pemReadAsnFromFileOrString(f.c_str(), 256, &err));
        EXPECT_EQ(der_hex(a.get()), kDer) << f;
        Chain b(PEM_ReadSeqFromFileOrPEMString(f.c_str(), &err));
        EXPECT_EQ(der_hex(b.get()), kDer) << f;
    }
    Chain plain(pemReadAsnFromAnything(fB64.c_str(), &err));
    EXPECT_EQ(der_hex(plain.get()), kDer);
    Chain notForCerts(pemReadAsnFromFileOrString(fB64.c_str(), 256, &err));
    EXPECT_FALSE(notForCerts);
    EXPECT_EQ(err, -8);

    errclear();
    Chain missing(pemReadAsnFromFileOrString("nofile.cer", 256, &err));
    EXPECT_FALSE(missing);
    EXPECT_EQ(err, -1);
    // A name that is not an existing file may be key text: never quoted.
    EXPECT_NE(std::string(errmsg()).find("Unable to open file (string)"), std::string::npos);
    std::string longName(300, '.');
    Chain longMissing(pemReadAsnFromFileOrString(longName.c_str(), 256, &err));
    EXPECT_EQ(err, -8);
    errclear();
    std::string badPem = "-----BEGIN X-----\nAAAAAAAAAAAAAAAAAAAA\n-----END X-----\n";
    Chain bp(pemReadAsnFromAnything(badPem.c_str(), &err));
    EXPECT_EQ(err, -8);
    EXPECT_NE(std::string(errmsg()).find("(string) is not valid ASN.1 data and no file of that name exists"),
              std::string::npos);
    EXPECT_EQ(std::string(errmsg()).find("AAAAAAAA"), std::string::npos);
    Chain empty(pemReadAsnFromFileOrString("", 256, &err));
    EXPECT_EQ(err, -14);
    Chain none(PEM_ReadSeqFromFileOrPEMString("/no/such", &err));
    EXPECT_EQ(err, -1);
    Chain garbage(PEM_ReadSeqFromFileOrPEMString(fB64.c_str(), &err));  // base64 in a file: not BER or PEM
    EXPECT_EQ(err, -7);
}

TEST(Pem, P7ChainTest) {
    const std::string& dir = asntest::openssl_fixtures();
    if (dir.empty()) GTEST_SKIP() << "openssl command not usable";
    EXPECT_EQ(pemCheckIsP7Chain((dir + "/p7chain.der").c_str()), 0);
    EXPECT_EQ(pemCheckIsP7Chain((dir + "/cms_signed.der").c_str()), 1);
    EXPECT_EQ(pemCheckIsP7Chain((dir + "/cms_stream.der").c_str()), 1);
    // A ContentInfo of another type is not a chain.
    EXPECT_EQ(pemCheckIsP7Chain((dir + "/cms_data.der").c_str()), 1);
    EXPECT_EQ(pemCheckIsP7Chain((dir + "/cert.pem").c_str()), 1);
    std::string intFile = testutil::temp_path("int.der");
    testutil::write_file(intFile, pem_of("020105", "X"));
    errclear();
    EXPECT_EQ(pemCheckIsP7Chain(intFile.c_str()), -7);
    EXPECT_NE(std::string(errmsg()).find("expecting an outer SEQUENCE"), std::string::npos);
    EXPECT_EQ(pemCheckIsP7Chain("no-such-file"), -1);
}
