// Lengths whose derived size (padding, IV prefix, tag, key-wrap block) would
// not fit in a long are refused with -26 before anything is read or written;
// the largest lengths that do fit still give their exact size on a length
// query. The inputs are small real buffers: a refusal must come before any
// read, so a wrong answer shows as a crash or a sanitizer report.
#include <climits>

#include "common/test_util.h"
#include "morvanevelt.h"

using testutil::Bytes;

namespace {

struct LengthCase {
    const char* name;
    long (*call)(unsigned char* out, long out_len, const unsigned char* in, long in_len);
    long in_len;
    long expected;
};

const Bytes kKey(32, 0x11), kIv(16, 0x22);

long pad8(unsigned char* o, long ol, const unsigned char* i, long il) {
    return PAD_BytesBlock(o, ol, i, il, 8, 0);
}
long pad16(unsigned char* o, long ol, const unsigned char* i, long il) {
    return PAD_BytesBlock(o, ol, i, il, 16, 0);
}
long aes_cbc(unsigned char* o, long ol, const unsigned char* i, long il) {
    return CIPHER_EncryptBytes(o, ol, i, il, kKey.data(), 16, kIv.data(), 16, "aes128/cbc", 0);
}
long aes_cbc_prefix(unsigned char* o, long ol, const unsigned char* i, long il) {
    return CIPHER_EncryptBytes(o, ol, i, il, kKey.data(), 16, kIv.data(), 16, "aes128/cbc", 0x1000);
}
long tdea_ctr_prefix(unsigned char* o, long ol, const unsigned char* i, long il) {
    return CIPHER_EncryptBytes(o, ol, i, il, kKey.data(), 24, kIv.data(), 8, "tdea/ctr", 0x1000);
}
long aes_gcm_prefix(unsigned char* o, long ol, const unsigned char* i, long il) {
    return CIPHER_EncryptBytes(o, ol, i, il, kKey.data(), 16, kIv.data(), 12, "aes128/gcm", 0x1000);
}
long chacha_prefix(unsigned char* o, long ol, const unsigned char* i, long il) {
    return CIPHER_EncryptAEAD(o, ol, i, il, kKey.data(), 32, kIv.data(), 12, nullptr, 0, 0x1550);
}
long aes_wrap(unsigned char* o, long ol, const unsigned char* i, long il) {
    return CIPHER_KeyWrap(o, ol, i, il, kKey.data(), 16, 0x20);
}

const LengthCase kCases[] = {
    {"pad 8", pad8, LONG_MAX - 3, -26},
    {"pad 8 at the limit", pad8, LONG_MAX - 8, LONG_MAX - 7},
    {"pad 16", pad16, LONG_MAX - 15, -26},
    {"pad 16 at the limit", pad16, LONG_MAX - 16, LONG_MAX - 15},
    {"cbc", aes_cbc, LONG_MAX - 5, -26},
    {"cbc with IV prefix", aes_cbc_prefix, LONG_MAX - 31, -26},
    {"cbc with IV prefix at the limit", aes_cbc_prefix, LONG_MAX - 32, LONG_MAX - 15},
    {"ctr with IV prefix", tdea_ctr_prefix, LONG_MAX - 7, -26},
    {"gcm with IV prefix", aes_gcm_prefix, LONG_MAX - 27, -26},
    {"gcm with IV prefix at the limit", aes_gcm_prefix, LONG_MAX - 28, LONG_MAX},
    {"chacha20-poly1305 with IV prefix", chacha_prefix, LONG_MAX, -26},
    {"aes key wrap", aes_wrap, LONG_MAX - 7, -26},
    {"aes key wrap at the limit", aes_wrap, LONG_MAX - 15, LONG_MAX - 7},
};

TEST(AbsurdLengths, RefusedOrExactBeforeReading) {
    unsigned char in[16] = {0};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        // A length query, and (for a refusal) a call with a small real output.
        EXPECT_EQ(c.expected, c.call(nullptr, 0, in, c.in_len));
        if (c.expected < 0) {
            unsigned char out[16];
            EXPECT_EQ(c.expected, c.call(out, sizeof out, in, c.in_len));
            EXPECT_EQ(c.expected, c.call(out, LONG_MAX, in, c.in_len));
        }
    }
}

// A non-null output with a length of 0 asks for the size, as a null output
// does, in every key-unwrap form.
TEST(OutputConvention, KeyUnwrapLengthQuery) {
    const Bytes kek(24, 7), key(24, 9);
    Bytes w(40), out(24, 0xAA);
    ASSERT_EQ(40, CIPHER_KeyWrap(w.data(), 40, key.data(), 24, kek.data(), 24, 0x10));
    EXPECT_EQ(24, CIPHER_KeyUnwrap(nullptr, 0, w.data(), 40, kek.data(), 24, 0x10));
    EXPECT_EQ(24, CIPHER_KeyUnwrap(out.data(), 0, w.data(), 40, kek.data(), 24, 0x10));
    EXPECT_EQ(Bytes(24, 0xAA), out);  // nothing written
    EXPECT_EQ(-30, CIPHER_KeyUnwrap(out.data(), 23, w.data(), 40, kek.data(), 24, 0x10));
    EXPECT_EQ(24, CIPHER_KeyUnwrap(out.data(), 24, w.data(), 40, kek.data(), 24, 0x10));
    EXPECT_EQ(key, out);
}

}  // namespace
