// The shared DER writer and TLV reader: definite lengths at the short/long
// boundaries, the INTEGER magnitude rules, agreement between the
// vector-returning and appending forms (the latter used with SecureBytes for
// key material), and the headers the reader refuses.
#include <gtest/gtest.h>

#include <cstring>

#include "asn1/asn1.h"
#include "asn1/der_read.h"
#include "asn1/der_write.h"
#include "common/test_util.h"
#include "util/emem.h"

using testutil::to_hex;
using velt::Der;

TEST(DerWrite, LengthOctetsAtBoundaries) {
    struct Case {
        size_t len;
        const char* header;
    };
    const Case cases[] = {
        {0, "0400"},      {1, "0401"},         {0x7F, "047f"},       {0x80, "048180"},
        {0xFF, "0481ff"}, {0x100, "04820100"}, {0xFFFF, "0482ffff"}, {0x10000, "0483010000"}};
    for (const Case& c : cases) {
        Der value(c.len, 0x5A);
        Der out = velt::der_tlv(0x04, value);
        const size_t hdr = std::strlen(c.header) / 2;
        ASSERT_EQ(out.size(), hdr + c.len) << c.len;
        EXPECT_EQ(to_hex(out.data(), hdr), c.header) << c.len;
        EXPECT_EQ(velt::der_header(0x04, c.len), Der(out.begin(), out.begin() + long(hdr))) << c.len;
        // The library's own reader takes it back with the same contents.
        AsnNode* node = asn_ReadBytes(out.data(), out.size());
        ASSERT_NE(node, nullptr) << c.len;
        EXPECT_EQ(node->length, int64_t(c.len));
        EXPECT_EQ(asn_Size(node), int64_t(out.size()));
        asn_Free(&node);
    }
}

TEST(DerWrite, UnsignedIntegers) {
    struct Case {
        const char* magnitude;  // hex, may carry leading zeros
        const char* der;
    };
    const Case cases[] = {{"", "020100"},         {"00", "020100"},      {"0000", "020100"},
                          {"7f", "02017f"},       {"80", "02020080"},    {"000080", "02020080"},
                          {"0001ff", "020201ff"}, {"ff00", "020300ff00"}};
    for (const Case& c : cases) {
        testutil::Bytes m = testutil::from_hex(c.magnitude);
        EXPECT_EQ(to_hex(velt::der_uint(m.data(), m.size())), c.der) << c.magnitude;
    }
    EXPECT_EQ(to_hex(velt::der_uint(uint64_t(1))), "020101");
    EXPECT_EQ(to_hex(velt::der_uint(uint64_t(256))), "02020100");
    EXPECT_EQ(to_hex(velt::der_uint(~uint64_t(0))), "020900ffffffffffffffff");
}

TEST(DerWrite, AppendingFormMatchesReturningForm) {
    const uint8_t oid[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};
    Der body(300, 0x11);
    velt::SecureBytes s;
    velt::der_put(s, 0x06, oid, sizeof oid);
    velt::der_put(s, 0x30, body);
    velt::der_put_uint(s, uint64_t(0x80));
    Der a = velt::der_oid(oid), b = velt::der_tlv(0x30, body), c = velt::der_uint(uint64_t(0x80));
    Der joined = velt::der_cat({&a, nullptr, &b, &c});
    EXPECT_EQ(Der(s.begin(), s.end()), joined);
    EXPECT_EQ(velt::der_seq({&a, &c}), velt::der_tlv(0x30, velt::der_cat({&a, &c})));
    EXPECT_EQ(to_hex(velt::der_explicit(1, c)),
              "a1040202"
              "0080");
}

TEST(DerWrite, NamedValues) {
    EXPECT_EQ(to_hex(velt::der_oid("1.2.840.10045.2.1")), "06072a8648ce3d0201");
    EXPECT_TRUE(velt::der_oid("no-such-name").empty());
    EXPECT_TRUE(velt::der_oid(nullptr).empty());
    EXPECT_EQ(to_hex(velt::der_bool(true)), "0101ff");
    EXPECT_EQ(to_hex(velt::der_null()), "0500");
    struct tm t {};
    t.tm_year = 2049 - 1900, t.tm_mon = 11, t.tm_mday = 31, t.tm_hour = 23, t.tm_min = 59, t.tm_sec = 59;
    EXPECT_EQ(to_hex(velt::der_time(t)), "170d" + to_hex(testutil::bytes_of("491231235959Z")));
    t.tm_year = 2050 - 1900, t.tm_mon = 0, t.tm_mday = 1, t.tm_hour = 0, t.tm_min = 0, t.tm_sec = 0;
    EXPECT_EQ(to_hex(velt::der_time(t)), "180f" + to_hex(testutil::bytes_of("20500101000000Z")));
}

TEST(DerRead, RefusesMalformedHeaders) {
    struct Case {
        const char* hex;
        size_t maxLen;
        bool ok;
    };
    const Case cases[] = {
        {"0400", 4, true},
        {"04", 4, false},                // header cut short
        {"0402aa", 4, false},            // value past the end
        {"1f0100", 4, false},            // multi-octet tag
        {"2480", 4, false},              // indefinite length
        {"0481", 4, false},              // length octets missing
        {"048101aa", 4, true},           // long form of a short length
        {"04850000000001aa", 4, false},  // five length octets
        {"04850000000001aa", 8, true},   // allowed when the user asks
        {"0484ffffffff", 4, false},      // huge length, nothing behind it
        {"0488ffffffffffffffff", 8, false},
    };
    for (const Case& c : cases) {
        testutil::Bytes b = testutil::from_hex(c.hex);
        velt::DerReader r(b.data(), b.size(), c.maxLen);
        velt::DerTlv t;
        EXPECT_EQ(r.next(t) && r.at_end(), c.ok) << c.hex;
    }
}

TEST(DerRead, WalksWhatTheWriterWrote) {
    Der a = velt::der_uint(uint64_t(5)), b = velt::der_octets(Der(200, 7)), c = velt::der_null();
    Der s = velt::der_seq({&a, &b, &c});
    velt::DerTlv outer, t;
    ASSERT_TRUE(velt::der_parse_one(s.data(), s.size(), outer));
    EXPECT_FALSE(velt::der_parse_one(s.data(), s.size() - 1, outer));
    ASSERT_TRUE(velt::der_parse_one(s.data(), s.size(), outer));
    velt::DerReader r(outer);
    ASSERT_TRUE(r.peek(t));
    EXPECT_EQ(r.pos, 0u);  // peek does not move
    for (const Der* want : {&a, &b, &c}) {
        ASSERT_TRUE(r.next(t));
        EXPECT_EQ(t.bytes(), *want);
    }
    EXPECT_TRUE(r.at_end());
    EXPECT_FALSE(r.next(t));
}
