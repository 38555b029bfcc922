// Argument handling, error codes and edge cases of the CIPHER_, TDEA_ and
// PAD_ functions; the selector; the Triple DES known-answer test.
#include <openssl/evp.h>

#include <cstring>
#include <filesystem>

#include "cipher/cipher.h"
#include "common/test_util.h"
#include "morvanevelt.h"

using testutil::Bytes;
using testutil::from_hex;
using testutil::to_hex;

namespace {

const Bytes kKey16 = from_hex("000102030405060708090a0b0c0d0e0f");
const Bytes kKey24 = from_hex("0123456789abcdeffedcba987654321089abcdef01234567");
const Bytes kKey32 = from_hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
const Bytes kIv16 = from_hex("f0e0d0c0b0a090807060504030201000");
const Bytes kIv8 = from_hex("1234567890abcdef");

long enc(Bytes& out, const Bytes& in, const Bytes& key, const Bytes& iv, const char* sel, long opt = 0) {
    return CIPHER_EncryptBytes(out.data(), long(out.size()), in.data(), long(in.size()), key.data(), long(key.size()),
                               iv.data(), long(iv.size()), sel, opt);
}
long dec(Bytes& out, const Bytes& in, const Bytes& key, const Bytes& iv, const char* sel, long opt = 0) {
    return CIPHER_DecryptBytes(out.data(), long(out.size()), in.data(), long(in.size()), key.data(), long(key.size()),
                               iv.data(), long(iv.size()), sel, opt);
}

bool exists(const std::string& p) { return std::filesystem::exists(p); }

}  // namespace

TEST(CipherSelector, ParsesStrings) {
    struct Case {
        const char* s;
        long bits;  // -1: invalid
    } cases[] = {
        {"aes128/cbc/pkcs5", 0x20120},
        {"AES-256-GCM", 0x540},
        {"Tdea-CBC-NoPadding", 0x10110},
        {"desede3", 0x10},
        {"DESede/CTR", 0x410},
        {"3des ofb W3CPadding", 0x50210},
        {"aes192/cfb/OneAndZeroesPadding", 0x30330},
        {"aes256-ecb-ansix923", 0x40040},
        {"aes128pkcs5", -1},  // padding needs a mode
        {"aes512", -1},
        {"aes128/cbc/x", -1},
        {"aes128/cbc/pkcs5/x", -1},
        {"cbc", -1},
        {"/", -1},
    };
    for (const auto& c : cases) {
        long bits = 0;
        bool ok = velt::cipher::parse_selector(c.s, &bits);
        EXPECT_EQ(c.bits >= 0, ok) << c.s;
        if (ok) {
            EXPECT_EQ(c.bits, bits) << c.s;
        }
    }
}

TEST(CipherSelector, ResolutionErrors) {
    Bytes in(16), out(64);
    EXPECT_EQ(-17, enc(out, in, kKey16, kIv16, "aes128/cbc", 0x20));   // string and bits together
    EXPECT_EQ(-17, enc(out, in, kKey16, kIv16, nullptr, 0x20000));     // neither
    EXPECT_EQ(-17, enc(out, in, kKey16, kIv16, "", 0));
    EXPECT_EQ(-6, enc(out, in, kKey16, kIv16, "blowfish/cbc"));
    EXPECT_EQ(-19, enc(out, in, kKey24, kIv8, "tdea/gcm"));
    EXPECT_EQ(-35, enc(out, in, kKey16, kIv16, nullptr, 0x620));
    EXPECT_EQ(-6, CIPHER_Bytes(1, out.data(), in.data(), 16, kKey32.data(), kIv16.data(), "aes256/gcm", 0));
    EXPECT_EQ(6, VELT_ErrorCode());
    // The option word alone selects too, and the IV-prefix bit survives a string.
    EXPECT_EQ(32, enc(out, in, kKey16, kIv16, nullptr, 0x120));
    EXPECT_EQ(48, enc(out, in, kKey16, kIv16, "aes128/cbc", 0x1000));
}

TEST(CipherBytes, LengthChecksAndLayout) {
    Bytes in(16, 0x11), out(64);
    EXPECT_EQ(-33, enc(out, in, kKey24, kIv16, "aes128/cbc"));
    EXPECT_EQ(-38, enc(out, in, kKey16, kIv8, "aes128/cbc"));
    EXPECT_EQ(32, enc(out, in, kKey16, kIv8, "aes128/ecb"));  // no IV check in ECB
    EXPECT_EQ(-14, CIPHER_EncryptBytes(out.data(), 64, in.data(), 16, nullptr, 16, kIv16.data(), 16, "aes128/cbc", 0));
    EXPECT_EQ(-26, CIPHER_EncryptBytes(out.data(), 64, in.data(), -1, kKey16.data(), 16, kIv16.data(), 16,
                                       "aes128/cbc", 0));
    Bytes small(31);
    EXPECT_EQ(-30, enc(small, in, kKey16, kIv16, "aes128/cbc"));

    // 16 bytes under CBC with default padding: 32 bytes; with the prefix 48,
    // the IV first.
    ASSERT_EQ(32, enc(out, in, kKey16, kIv16, "aes128/cbc"));
    Bytes plain_ct(out.begin(), out.begin() + 32);
    ASSERT_EQ(48, enc(out, in, kKey16, kIv16, "aes128/cbc", 0x1000));
    EXPECT_EQ(kIv16, Bytes(out.begin(), out.begin() + 16));
    EXPECT_EQ(plain_ct, Bytes(out.begin() + 16, out.begin() + 48));
    // With the prefix the IV argument is not needed to decrypt.
    Bytes back(16);
    EXPECT_EQ(16, CIPHER_DecryptBytes(back.data(), 16, out.data(), 48, kKey16.data(), 16, nullptr, 0, "aes128/cbc",
                                      0x1000));
    EXPECT_EQ(in, back);

    // An empty input in ECB is one block of padding.
    EXPECT_EQ(16, CIPHER_EncryptBytes(out.data(), 64, nullptr, 0, kKey16.data(), 16, nullptr, 0, "aes128/ecb", 0));
}

// ECB with the IV prefix and no IV writes a zero block in front instead of
// reading through a null pointer.
TEST(CipherBytes, EcbPrefixWithoutIv) {
    Bytes in(5, 0x22), out(48, 0xEE), back(16);
    ASSERT_EQ(32, CIPHER_EncryptBytes(out.data(), 48, in.data(), 5, kKey16.data(), 16, nullptr, 0, "aes128/ecb",
                                      0x1000));
    EXPECT_EQ(Bytes(16, 0), Bytes(out.begin(), out.begin() + 16));
    EXPECT_EQ(5, CIPHER_DecryptBytes(back.data(), 16, out.data(), 32, kKey16.data(), 16, nullptr, 0, "aes128/ecb",
                                     0x1000));
    EXPECT_EQ(in, Bytes(back.begin(), back.begin() + 5));
}

TEST(CipherBytes, DecryptFailuresWriteNothing) {
    Bytes in(20, 0x33), ct(32), out(32, 0xAA);
    ASSERT_EQ(32, enc(ct, in, kKey16, kIv16, "aes128/cbc"));
    Bytes wrong = kKey16;
    wrong[0] ^= 1;
    EXPECT_EQ(-15, dec(out, ct, wrong, kIv16, "aes128/cbc"));
    EXPECT_EQ(15, VELT_ErrorCode());
    EXPECT_EQ(Bytes(32, 0xAA), out);
    // The exact length on a query; too small a buffer afterwards is -30.
    EXPECT_EQ(20, CIPHER_DecryptBytes(nullptr, 0, ct.data(), 32, kKey16.data(), 16, kIv16.data(), 16, "aes128/cbc", 0));
    Bytes small(19);
    EXPECT_EQ(-30, dec(small, ct, kKey16, kIv16, "aes128/cbc"));
    EXPECT_EQ(-6, CIPHER_DecryptBytes(out.data(), -1, ct.data(), 32, kKey16.data(), 16, kIv16.data(), 16,
                                      "aes128/cbc", 0));
    // Not a whole number of blocks: -26, with and without padding.
    Bytes odd(ct.begin(), ct.begin() + 31);
    EXPECT_EQ(-26, dec(out, odd, kKey16, kIv16, "aes128/cbc"));
    EXPECT_EQ(-26, dec(out, odd, kKey16, kIv16, "aes128/cbc/nopadding"));
    // A prefix longer than the input.
    EXPECT_EQ(-26, dec(out, Bytes(8), kKey16, kIv16, "aes128/cbc", 0x1000));
}

TEST(CipherBytes, GcmGoesToTheAeadEngine) {
    Bytes pt = from_hex("00112233445566778899aabbccddeeff0102"), iv = from_hex("000102030405060708090a0b");
    Bytes out(pt.size() + 16);
    ASSERT_EQ(long(pt.size() + 16), enc(out, pt, kKey32, iv, "aes256/gcm"));
    // libcrypto's ciphertext and tag.
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, kKey32.data(), iv.data());
    Bytes ref(pt.size() + 16);
    int n = 0;
    EVP_EncryptUpdate(ctx, ref.data(), &n, pt.data(), int(pt.size()));
    EVP_EncryptFinal_ex(ctx, ref.data() + n, &n);
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, ref.data() + pt.size());
    EVP_CIPHER_CTX_free(ctx);
    EXPECT_EQ(ref, out);
    Bytes back(pt.size());
    EXPECT_EQ(long(pt.size()), dec(back, out, kKey32, iv, "aes256/gcm"));
    EXPECT_EQ(pt, back);
    // Files too.
    std::string in = testutil::temp_path("g_in"), ef = testutil::temp_path("g_enc"), df = testutil::temp_path("g_dec");
    testutil::write_file(in, pt);
    ASSERT_EQ(0, CIPHER_FileEncrypt(ef.c_str(), in.c_str(), kKey32.data(), 32, iv.data(), 12, "aes256-gcm", 0));
    EXPECT_EQ(ref, testutil::read_file(ef));
    ASSERT_EQ(0, CIPHER_FileDecrypt(df.c_str(), ef.c_str(), kKey32.data(), 32, iv.data(), 12, "aes256-gcm", 0));
    EXPECT_EQ(pt, testutil::read_file(df));
}

TEST(CipherHex, ErrorsAndRoom) {
    char out[80];
    EXPECT_EQ(-8, CIPHER_EncryptHex(out, 79, "00zz", to_hex(kKey16).c_str(), to_hex(kIv16).c_str(), "aes128/cbc", 0));
    EXPECT_EQ(-8, CIPHER_EncryptHex(out, 79, "001", to_hex(kKey16).c_str(), to_hex(kIv16).c_str(), "aes128/cbc", 0));
    EXPECT_EQ(64, CIPHER_EncryptHex(nullptr, 0, "00", to_hex(kKey16).c_str(), to_hex(kIv16).c_str(), "aes128/cbc",
                                    0x1000));
    EXPECT_EQ(-30, CIPHER_EncryptHex(out, 31, "00", to_hex(kKey16).c_str(), to_hex(kIv16).c_str(), "aes128/cbc", 0));
    // ECB takes no IV string.
    EXPECT_EQ(32, CIPHER_EncryptHex(out, 79, "00", to_hex(kKey16).c_str(), nullptr, "aes128/ecb", 0));

    // The older form: output as long as the input, checked against the room.
    const std::string pt = "00112233445566778899aabbccddeeff";
    EXPECT_EQ(30, CIPHER_Hex(1, out, 31, pt.c_str(), to_hex(kKey16).c_str(), to_hex(kIv16).c_str(), "aes128/cbc", 0));
    ASSERT_EQ(0, CIPHER_Hex(1, out, 32, pt.c_str(), to_hex(kKey16).c_str(), to_hex(kIv16).c_str(), "aes128/cbc", 0));
    EXPECT_EQ(32u, strlen(out));
    EXPECT_EQ(33, CIPHER_Hex(1, out, 79, pt.c_str(), "0011", to_hex(kIv16).c_str(), "aes128/cbc", 0));
    EXPECT_EQ(37, CIPHER_Hex(1, out, 79, pt.c_str(), to_hex(kKey16).c_str(), "00", "aes128/cbc", 0));
    EXPECT_EQ(37, CIPHER_Hex(1, out, 79, pt.c_str(), to_hex(kKey16).c_str(), nullptr, "aes128/cbc", 0));
    EXPECT_EQ(26, CIPHER_Hex(1, out, 79, "0", to_hex(kKey16).c_str(), nullptr, "aes128/ecb", 0));
    EXPECT_EQ(7, CIPHER_Hex(1, out, 79, "0g", to_hex(kKey16).c_str(), nullptr, "aes128/ecb", 0));
    EXPECT_EQ(6, CIPHER_Hex(1, out, 79, "", to_hex(kKey16).c_str(), nullptr, "aes128/ecb", 0));
    EXPECT_EQ(26, CIPHER_Hex(1, out, 79, "0011", to_hex(kKey16).c_str(), nullptr, "aes128/ecb", 0));
}

TEST(Tdea, ModeFunctionsMatchLibcrypto) {
    Bytes pt = from_hex("4e6f77206973207468652074696d6520666f7220616c6c20");  // 24 bytes
    Bytes out(pt.size()), back(pt.size());
    ASSERT_EQ(0, TDEA_BytesMode(out.data(), pt.data(), long(pt.size()), kKey24.data(), 1, "cbc", kIv8.data()));
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_des_ede3_cbc(), nullptr, kKey24.data(), kIv8.data());
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    Bytes ref(pt.size());
    int n = 0;
    EVP_EncryptUpdate(ctx, ref.data(), &n, pt.data(), int(pt.size()));
    EVP_CIPHER_CTX_free(ctx);
    EXPECT_EQ(ref, out);
    ASSERT_EQ(0, TDEA_BytesMode(back.data(), out.data(), long(out.size()), kKey24.data(), 0, "CBCwhatever",
                                kIv8.data()));
    EXPECT_EQ(pt, back);
    EXPECT_EQ(35, TDEA_BytesMode(out.data(), pt.data(), 24, kKey24.data(), 1, "XYZ", kIv8.data()));
    EXPECT_EQ(26, TDEA_BytesMode(out.data(), pt.data(), 23, kKey24.data(), 1, "ECB", nullptr));
    EXPECT_EQ(37, TDEA_BytesMode(out.data(), pt.data(), 24, kKey24.data(), 1, "OFB", nullptr));
    EXPECT_EQ(14, TDEA_BytesMode(nullptr, pt.data(), 24, kKey24.data(), 1, "ECB", nullptr));

    // Hexadecimal: the output is as long as the input.
    std::string hx(pt.size() * 2 + 1, '\0');
    ASSERT_EQ(0, TDEA_HexMode(hx.data(), to_hex(pt).c_str(), to_hex(kKey24).c_str(), 1, "CBC", to_hex(kIv8).c_str()));
    EXPECT_EQ(to_hex(ref, true), hx.c_str());
    EXPECT_EQ(33, TDEA_HexMode(hx.data(), to_hex(pt).c_str(), "0011", 1, "ECB", nullptr));

    // Base64.
    std::string b64 = "Tm93IGlzIHRoZSB0aW1lIGZvciBhbGwg";  // the same 24 bytes
    std::string key64 = "ASNFZ4mrze/+3LqYdlQyEImrze8BI0Vn", iv64 = "EjRWeJCrze8=";
    char o[64];
    ASSERT_EQ(0, TDEA_B64Mode(o, b64.c_str(), key64.c_str(), 1, "CBC", iv64.c_str()));
    std::string ref64(64, '\0');
    ref64.resize(size_t(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(ref64.data()), ref.data(), 24)));
    EXPECT_EQ(ref64, o);
    char o2[64];
    ASSERT_EQ(0, TDEA_B64Mode(o2, o, key64.c_str(), 0, "CBC", iv64.c_str()));
    EXPECT_EQ(b64, o2);
    // Eight bytes written without their "=": the result would be one longer
    // than the input, so it is refused rather than overrun.
    EXPECT_EQ(30, TDEA_B64Mode(o, "AAAAAAAAAAA", key64.c_str(), 1, "ECB", nullptr));
    EXPECT_EQ(0, TDEA_B64Mode(o, "AAAAAAAAAAA=", key64.c_str(), 1, "ECB", nullptr));
    EXPECT_EQ(7, TDEA_B64Mode(o, "AAAA*AAAAAA=", key64.c_str(), 1, "ECB", nullptr));
    EXPECT_EQ(14, TDEA_B64Mode(o, "AAAAAAAAAAA=", key64.c_str(), 1, "", nullptr));
}

TEST(CipherFiles, FailuresLeaveOutputAsItWas) {
    const std::string in = testutil::temp_path("f_in"), out = testutil::temp_path("f_out"),
                      back = testutil::temp_path("f_back");
    Bytes pt(100, 0x5A);
    testutil::write_file(in, pt);
    // The same file for input and output: -12, and the file is untouched.
    EXPECT_EQ(-12, CIPHER_FileEncrypt(in.c_str(), in.c_str(), kKey16.data(), 16, kIv16.data(), 16, "aes128/cbc", 0));
    EXPECT_EQ(pt, testutil::read_file(in));
    EXPECT_EQ(-6, CIPHER_FileEncrypt("", in.c_str(), kKey16.data(), 16, kIv16.data(), 16, "aes128/cbc", 0));
    // A missing input: -1, and an existing output is left as it was.
    testutil::write_file(out, "old");
    EXPECT_EQ(-1, CIPHER_FileEncrypt(out.c_str(), (in + ".missing").c_str(), kKey16.data(), 16, kIv16.data(), 16,
                                     "aes128/cbc", 0));
    EXPECT_EQ(testutil::bytes_of("old"), testutil::read_file(out));
    // Wrong key: bad padding, -15, no output.
    ASSERT_EQ(0, CIPHER_FileEncrypt(out.c_str(), in.c_str(), kKey16.data(), 16, kIv16.data(), 16, "aes128/cbc", 0));
    Bytes wrong = kKey16;
    wrong[15] ^= 0x80;
    EXPECT_EQ(-15, CIPHER_FileDecrypt(back.c_str(), out.c_str(), wrong.data(), 16, kIv16.data(), 16, "aes128/cbc", 0));
    EXPECT_FALSE(exists(back));
    // Keep-padding writes the final block as it is.
    ASSERT_EQ(0, CIPHER_FileDecrypt(back.c_str(), out.c_str(), kKey16.data(), 16, kIv16.data(), 16, "aes128/cbc",
                                    0x2000));
    const Bytes kept = testutil::read_file(back);
    EXPECT_EQ(112u, kept.size());
    // Not a whole number of blocks, with and without padding: -26, and the
    // earlier output is left as it was.
    Bytes ct = testutil::read_file(out);
    ct.pop_back();
    testutil::write_file(out, ct);
    EXPECT_EQ(-26, CIPHER_FileDecrypt(back.c_str(), out.c_str(), kKey16.data(), 16, kIv16.data(), 16, "aes128/cbc", 0));
    EXPECT_EQ(kept, testutil::read_file(back));
    EXPECT_EQ(-26, CIPHER_FileDecrypt(back.c_str(), out.c_str(), kKey16.data(), 16, kIv16.data(), 16,
                                      "aes128/cbc/nopadding", 0));
    EXPECT_EQ(kept, testutil::read_file(back));
    // An empty file has no padding to remove.
    testutil::write_file(out, Bytes{});
    EXPECT_EQ(-26, CIPHER_FileDecrypt(back.c_str(), out.c_str(), kKey16.data(), 16, kIv16.data(), 16, "aes128/cbc", 0));
    // A file shorter than the IV prefix.
    testutil::write_file(out, Bytes(5));
    EXPECT_EQ(-3, CIPHER_FileDecrypt(back.c_str(), out.c_str(), kKey16.data(), 16, nullptr, 0, "aes128/ctr", 0x1000));
    EXPECT_EQ(kept, testutil::read_file(back));
}

TEST(CipherFiles, OlderFileFunctions) {
    const std::string in = testutil::temp_path("o_in"), out = testutil::temp_path("o_out"),
                      back = testutil::temp_path("o_back");
    Bytes pt(5000);
    for (size_t i = 0; i < pt.size(); ++i) pt[i] = uint8_t(i * 7);
    testutil::write_file(in, pt);
    ASSERT_EQ(0, TDEA_File(out.c_str(), in.c_str(), kKey24.data(), 1, "CBC", kIv8.data()));
    EXPECT_EQ(5008u, testutil::read_file(out).size());
    ASSERT_EQ(0, CIPHER_File(0, back.c_str(), out.c_str(), kKey24.data(), kIv8.data(), "tdea/cbc", 0));
    EXPECT_EQ(pt, testutil::read_file(back));
    ASSERT_EQ(0, CIPHER_File(1, out.c_str(), in.c_str(), kKey32.data(), kIv16.data(), "aes256/ctr", 0));
    ASSERT_EQ(0, TDEA_File(back.c_str(), in.c_str(), kKey24.data(), 1, "ofb", kIv8.data()));
    EXPECT_EQ(pt.size(), testutil::read_file(back).size());
    EXPECT_EQ(-6, CIPHER_File(1, out.c_str(), in.c_str(), kKey32.data(), kIv16.data(), "aes256/gcm", 0));
    EXPECT_EQ(12, CIPHER_File(1, in.c_str(), in.c_str(), kKey32.data(), kIv16.data(), "aes256/ctr", 0));
}

TEST(Padding, PadAndUnpad) {
    struct Case {
        const char* in;
        long block, options;
        const char* padded;
    } cases[] = {
        {"", 8, 0, "0808080808080808"},
        {"AABBCC", 8, 0x20000, "AABBCC0505050505"},
        {"AABBCC", 8, 0x30000, "AABBCC8000000000"},
        {"AABBCC", 8, 0x40000, "AABBCC0000000005"},
        {"AABBCC", 8, 0x50000, "AABBCC0505050505"},
        {"00112233445566778899aabbccddeeff", 16, 0,
         "00112233445566778899aabbccddeeff10101010101010101010101010101010"},
    };
    for (const auto& c : cases) {
        char out[80];
        long n = PAD_HexBlock(out, 79, c.in, c.block, c.options);
        ASSERT_EQ(long(strlen(c.padded)), n) << c.in;
        EXPECT_STREQ(c.padded, out);
        char back[80];
        EXPECT_EQ(long(strlen(c.in)), PAD_UnpadHex(back, 79, out, c.block, c.options));
        EXPECT_STREQ(c.in, back);
        Bytes in = from_hex(c.in), pb(40);
        n = PAD_BytesBlock(pb.data(), 40, in.data(), long(in.size()), c.block, c.options);
        EXPECT_EQ(from_hex(c.padded), Bytes(pb.begin(), pb.begin() + n));
        EXPECT_EQ(long(in.size()), PAD_UnpadBytes(pb.data(), 40, pb.data(), n, c.block, c.options));
    }
    // Bad pads of each kind.
    struct Bad {
        const char* block;
        long options;
    } bad[] = {
        {"0102030405060700", 0},        {"0102030405060709", 0},        {"0102030405060303", 0},
        {"0102030405800001", 0x30000},  {"0102030405060708", 0x30000},  {"0102030405000102", 0x40000},
        {"0102030405060709", 0x40000},  {"0102030405060700", 0x50000},
    };
    for (const auto& b : bad) {
        Bytes in = from_hex(b.block), out(8);
        EXPECT_EQ(-15, PAD_UnpadBytes(out.data(), 8, in.data(), 8, 8, b.options)) << b.block;
        char o[20];
        EXPECT_EQ(-15, PAD_UnpadHex(o, 19, b.block, 8, b.options)) << b.block;
    }
    // W3C looks at the last byte only; one-and-zeroes may fill a whole block.
    Bytes w = from_hex("0102030405060703"), o(8);
    EXPECT_EQ(5, PAD_UnpadBytes(o.data(), 8, w.data(), 8, 8, 0x50000));
    Bytes z = from_hex("8000000000000000");
    EXPECT_EQ(0, PAD_UnpadBytes(o.data(), 8, z.data(), 8, 8, 0x30000));
    // Argument errors.
    Bytes x(16), y(40);
    EXPECT_EQ(-34, PAD_BytesBlock(y.data(), 40, x.data(), 16, 12, 0));
    EXPECT_EQ(24, PAD_BytesBlock(nullptr, 0, x.data(), 16, 8, 0));
    EXPECT_EQ(-30, PAD_BytesBlock(y.data(), 23, x.data(), 16, 8, 0));
    EXPECT_EQ(-26, PAD_UnpadBytes(y.data(), 40, x.data(), 12, 8, 0));
    EXPECT_EQ(-14, PAD_UnpadBytes(y.data(), 40, nullptr, 16, 8, 0));
    char s[40];
    EXPECT_EQ(-7, PAD_HexBlock(s, 39, "ABC", 8, 0));
    EXPECT_EQ(-7, PAD_UnpadHex(s, 39, "", 8, 0));
    EXPECT_EQ(-26, PAD_UnpadHex(s, 39, "0808080808", 8, 0));
    EXPECT_EQ(-30, PAD_HexBlock(s, 15, "", 8, 0));
}

TEST(Tdea, KnownAnswerTestAndPowerUp) {
    EXPECT_EQ(0, velt::cipher::tdeaKnownAnswerTest());
    EXPECT_EQ(0, VELT_PowerUpTests(0));
}

// Encrypting and decrypting in place, also when the IV prefix shifts the
// data by a block inside the same buffer.
TEST(CipherBytes, InPlaceWithPrefix) {
    for (const char* sel : {"aes128/cbc", "aes128/cbc/nopadding", "aes128/ctr", "tdea/cfb", "tdea/cbc"}) {
        SCOPED_TRACE(sel);
        const bool tdea = sel[0] == 't';
        const Bytes& key = tdea ? kKey24 : kKey16;
        const Bytes& iv = tdea ? kIv8 : kIv16;
        Bytes pt(64);
        for (size_t i = 0; i < pt.size(); ++i) pt[i] = uint8_t(3 * i);
        Bytes ref(128);
        long n = CIPHER_EncryptBytes(ref.data(), 128, pt.data(), 64, key.data(), long(key.size()), iv.data(),
                                     long(iv.size()), sel, 0x1000);
        ASSERT_GT(n, 64);
        Bytes buf(128);
        std::copy(pt.begin(), pt.end(), buf.begin());
        ASSERT_EQ(n, CIPHER_EncryptBytes(buf.data(), 128, buf.data(), 64, key.data(), long(key.size()), iv.data(),
                                         long(iv.size()), sel, 0x1000));
        EXPECT_EQ(Bytes(ref.begin(), ref.begin() + n), Bytes(buf.begin(), buf.begin() + n));
        ASSERT_EQ(64, CIPHER_DecryptBytes(buf.data(), 128, buf.data(), n, key.data(), long(key.size()), nullptr, 0,
                                          sel, 0x1000));
        EXPECT_EQ(pt, Bytes(buf.begin(), buf.begin() + 64));
    }
}
