// PEM_FileToBinFile accepts only a well-formed body, and both PEM file
// converters write their output once, completely or not at all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "common/test_util.h"
#include "morvanevelt.h"

namespace {

using testutil::read_file;
using testutil::temp_path;
using testutil::write_file;

TEST(PemFileToBin, RefusesMalformedBodies) {
    const std::string in = temp_path("pem_bad.pem"), out = temp_path("pem_bad.bin");
    struct Case {
        const char* name;
        const char* body;
    } cases[] = {
        {"character outside base64", "MIIBCgKCAQEA*wIDAQAB\n"},
        {"'=' in the middle", "MIIB=CgKCAQEAwIDAQAB\n"},
        {"'=' then more symbols", "MIIBCg==\nKCAQEAwIDAQAB\n"},
        {"RFC 1421 headers",
         "Proc-Type: 4,ENCRYPTED\nDEK-Info: DES-EDE3-CBC,0123456789ABCDEF\n\nMIIBCgKCAQEAwIDAQAB\n"},
        {"empty body", "\n"},
        {"white space only", "   \r\n\t\n"},
        {"one dangling symbol", "MIIBC\n"},
        {"three pads", "MI===\n"},
    };
    for (const Case& c : cases) {
        write_file(in, std::string("-----BEGIN DATA-----\n") + c.body + "-----END DATA-----\n");
        write_file(out, std::string("previous"));
        EXPECT_EQ(PEM_FileToBinFile(out.c_str(), in.c_str()), -7) << c.name;
        EXPECT_EQ(read_file(out), testutil::bytes_of("previous")) << c.name;
    }
    // Accepted: padded, unpadded, spread over lines with CR LF.
    const struct {
        const char* body;
        const char* hex;
    } good[] = {
        {"AAEC\n", "000102"},
        {"AAECAw==\n", "00010203"},
        {"AAECAw\n", "00010203"},
        {"AAEC\r\nAwQ=\r\n", "0001020304"},
    };
    for (const auto& g : good) {
        write_file(in, std::string("-----BEGIN DATA-----\r\n") + g.body + "-----END DATA-----\r\n");
        ASSERT_EQ(PEM_FileToBinFile(out.c_str(), in.c_str()), 0) << g.body;
        EXPECT_EQ(testutil::to_hex(read_file(out)), g.hex) << g.body;
    }
}

// The PEM form is written once: the output holds either the whole PEM text
// or (after a failure) what it held before, never the raw input.
TEST(PemFileFromBin, WritesOnceThroughTheWriter) {
    const std::string dir = temp_path("pem_once");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    const std::string in = dir + "/in.bin", out = dir + "/out.pem", sub = dir + "/sub";
    write_file(in, testutil::Bytes(120000, 0xA5));
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    EXPECT_EQ(PEM_FileFromBinFile(sub.c_str(), in.c_str(), "DATA", 64), -2);
    ASSERT_EQ(PEM_FileFromBinFile(out.c_str(), in.c_str(), "DATA", 64), 0);
    auto text = read_file(out);
    ASSERT_GT(text.size(), 160000u);
    EXPECT_EQ(std::string(text.begin(), text.begin() + 20), "-----BEGIN DATA-----");
    // An input readable only by its owner gives an output readable only by its owner.
    ASSERT_EQ(chmod(in.c_str(), 0600), 0);
    ASSERT_EQ(PEM_FileFromBinFile(out.c_str(), in.c_str(), "DATA", 64), 0);
    struct stat st;
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
