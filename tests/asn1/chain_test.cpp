// Node chain builders, the DER encoder and the BER parser, including hostile
// input that must be refused cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "asn1/asn1.h"
#include "asn_helpers.h"
#include "frame/error.h"
#include "util/inp.h"

using asntest::Chain;
using asntest::der_hex;
using asntest::parse_hex;
using testutil::from_hex;

TEST(AsnBuild, PrimitivesEncodeMinimally) {
    struct Case {
        AsnNode* node;
        const char* hex;
    } cases[] = {
        {asn_NewInteger(0), "020100"},
        {asn_NewInteger(127), "02017f"},
        {asn_NewInteger(128), "02020080"},
        {asn_NewInteger(0xFFFFFFFFFFFFFFFFull), "020900ffffffffffffffff"},
        {asn_NewIntegerBig(from_hex("000000").data(), 3), "020100"},
        {asn_NewIntegerBig(from_hex("0080").data(), 2), "02020080"},
        {asn_NewIntegerBig(nullptr, 0), "020100"},
        {asn_NewNull(), "0500"},
        {asn_NewBoolean(1), "0101ff"},
        {asn_NewBoolean(0), "010100"},
        {asn_NewBitString(5, from_hex("a0").data(), 1), "030205a0"},
        {asn_NewBMPStringA("AB"), "1e0400410042"},
        {asn_NewUTF8StringA("\xe9"), "0c02c3a9"},          // Latin-1 e-acute converted
        {asn_NewUTF8StringA("\xc3\xa9"), "0c02c3a9"},      // already UTF-8
        {asn_NewPrintableString(nullptr), "1300"},
        {asn_NewContextImplicit(2, from_hex("0102").data(), 2), "82020102"},
        {asn_Sequence(nullptr), "3000"},
        {asn_Set(nullptr), "3100"},
        {asn_ConstrContext(0, asn_NewInteger(2)), "a003020102"},
        {asn_NewOctetStringAsn(asn_NewNull()), "04020500"},
        {asn_NewBitStringAsn(0, asn_NewNull()), "0303000500"},
        {asn_Sequence(asn_LinkVar(asn_NewOID("sha256"), asn_NewNull(), nullptr)),
         "300d06096086480165030402010500"},
    };
    for (auto& c : cases) {
        Chain ch(c.node);
        EXPECT_EQ(der_hex(ch.get()), c.hex);
    }
}

TEST(AsnBuild, LengthForms) {
    for (auto [n, prefix] : {std::pair<size_t, const char*>{127, "047f"}, {128, "048180"}, {256, "04820100"},
                             {65536, "0483010000"}}) {
        std::vector<uint8_t> v(n, 0x41);
        Chain c(asn_NewOctetString(v.data(), v.size()));
        EXPECT_EQ(der_hex(c.get()).substr(0, strlen(prefix)), prefix) << n;
        EXPECT_EQ(asn_Size(c.get()), int64_t(strlen(prefix) / 2 + n));
    }
}

TEST(AsnBuild, HighTagNumbersAreRefusedByBuilders) {
    EXPECT_EQ(asn_Start(0x20, 31), nullptr);
    EXPECT_EQ(asn_NewContextImplicit(31, nullptr, 0), nullptr);
    EXPECT_EQ(asn_NdefOpen(40), nullptr);
    EXPECT_EQ(asn_ConstrContext(31, asn_NewNull()), nullptr);
    AsnNode hand{};
    hand.tag = 31;
    hand.length = 0;
    EXPECT_EQ(asn_SetHeader(&hand), 0);
}

TEST(AsnBuild, JoinAndEncodersRefuseNodesWithoutAValidHeader) {
    // An invalid dotted OID yields a node carrying a negative length.
    AsnNode* bad = asn_NewOIDFromDotted("3.1.1");
    ASSERT_NE(bad, nullptr);
    EXPECT_LT(bad->length, 0);
    EXPECT_EQ(asn_Sequence(asn_Link(asn_NewNull(), bad)), nullptr);
    AsnNode* bad2 = asn_NewOIDFromDotted("1.2.");
    int64_t n = 7;
    EXPECT_EQ(asn_Store(bad2, &n), nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(asn_Size(bad2), 0);
    FILE* f = tmpfile();
    EXPECT_EQ(asn_Write(bad2, f), -1);
    fclose(f);
    Chain nd(asn_NdefOpen(16));
    EXPECT_EQ(asn_NdefAppend(nd.get(), asn_NewOIDFromDotted("x")), nullptr);
    asn_Free(&bad2);
}

TEST(AsnBuild, UtcTimeRangeAndGenOrUtc) {
    struct tm t {};
    t.tm_year = 150;
    t.tm_mon = 0;
    t.tm_mday = 1;
    EXPECT_EQ(asn_NewUTCTime(&t), nullptr);
    EXPECT_NE(std::string(errmsg()).find("asn_NewUTCTime: Year out of range"), std::string::npos);
    Chain g(asn_NewTime_GenOrUtc(&t));
    EXPECT_EQ(der_hex(g.get()), "180f" + testutil::to_hex(testutil::bytes_of("20500101000000Z")));
    struct tm u {};
    u.tm_year = 149;
    u.tm_mon = 11;
    u.tm_mday = 31;
    u.tm_hour = 23;
    u.tm_min = 59;
    u.tm_sec = 59;
    Chain c(asn_NewTime_GenOrUtc(&u));
    EXPECT_EQ(der_hex(c.get()), "170d" + testutil::to_hex(testutil::bytes_of("491231235959Z")));
}

TEST(AsnBuild, IndefiniteBuildersAndConversion) {
    AsnNode* nd = asn_NdefOpen(16);
    nd = asn_NdefAppend(nd, asn_NewInteger(5));
    nd = asn_NdefClose(nd);
    Chain c(nd);
    EXPECT_EQ(der_hex(c.get()), "3080020105" "0000");
    ASSERT_EQ(asn_Ndef2Fixed(&c.p), 1);
    EXPECT_EQ(der_hex(c.get()), "3003020105");

    Chain parsed(parse_hex("30800201050000"));
    ASSERT_TRUE(parsed);
    ASSERT_EQ(asn_Ndef2Fixed(&parsed.p), 1);
    EXPECT_EQ(der_hex(parsed.get()), "3003020105");

    // Nested: an indefinite element inside an indefinite element, then a
    // sibling after it, sized as one definite element.
    AsnNode* inner = asn_NdefClose(asn_NdefAppend(asn_NdefOpenContext(0), asn_NewNull()));
    AsnNode* outer = asn_NdefOpen(16);
    outer = asn_NdefAppend(outer, asn_Link(inner, asn_NewBoolean(1)));
    outer = asn_NdefClose(outer);
    Chain o(outer);
    EXPECT_EQ(der_hex(o.get()), "3080" "a080" "0500" "0000" "0101ff" "0000");
    Chain wrapped(asn_Sequence(o.release()));
    EXPECT_EQ(der_hex(wrapped.get()), "300d" "3080a08005000000" "0101ff" "0000");
}

TEST(AsnBuild, LinkRefusesANonHead) {
    Chain a(asn_Sequence(asn_NewNull()));
    AsnNode* inside = a.get()->next;
    EXPECT_EQ(asn_Link(asn_NewNull(), inside), nullptr);
    EXPECT_NE(std::string(errmsg()).find("asn_Link: 2nd header is invalid"), std::string::npos);
    AsnNode* v = inside;
    asn_Free(&v);  // not a head: frees nothing, nulls the variable
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(der_hex(a.get()), "30020500");
}

TEST(AsnBuild, CompareAndSort) {
    Chain a(parse_hex("3100")), b(parse_hex("31020500")), c(parse_hex("020105")), d(parse_hex("0400"));
    EXPECT_EQ(asn_Compare(a.get(), b.get()), -1);
    EXPECT_EQ(asn_Compare(b.get(), a.get()), 1);
    EXPECT_EQ(asn_Compare(c.get(), d.get()), -1);
    EXPECT_EQ(asn_Compare(nullptr, c.get()), 1);
    EXPECT_EQ(asn_Compare(c.get(), nullptr), -1);
    EXPECT_EQ(asn_Compare(nullptr, nullptr), 0);
    AsnNode* items[4] = {d.get(), b.get(), c.get(), a.get()};
    asn_Sort(items, 4);
    EXPECT_EQ(items[0], c.get());
    EXPECT_EQ(items[1], d.get());
    EXPECT_EQ(items[2], a.get());
    EXPECT_EQ(items[3], b.get());
}

// ---- Parser ----

TEST(AsnParse, KeepsHeadersAsReadAndLevels) {
    // Non-minimal lengths and indefinite forms come back byte for byte.
    for (const char* hex : {"308103020105", "308400000003020105", "30800201050000", "3080308002010500000000",
                            "24800401410401420000", "30820003020105", "1f81010101", "bf8101030201 05"}) {
        std::string h = hex;
        h.erase(std::remove(h.begin(), h.end(), ' '), h.end());
        Chain c(parse_hex(h));
        ASSERT_TRUE(c) << h;
        EXPECT_EQ(der_hex(c.get()), h);
    }
}

TEST(AsnParse, LevelsOfAnIndefiniteElement) {
    Chain c(parse_hex("3080" "3003020101" "0101ff" "0000"));
    ASSERT_TRUE(c);
    std::vector<uint32_t> levels;
    for (AsnNode* p = c.get(); p; p = p->next) levels.push_back(p->level);
    EXPECT_EQ(levels, (std::vector<uint32_t>{0, 1, 2, 1, 1}));
    EXPECT_TRUE(asn_isEOC(c.get()->next->next->next->next));
}

TEST(AsnParse, OneElementOrAllSiblings) {
    testutil::Bytes two = from_hex("020101020102");
    Chain one(asn_ReadBytes(two.data(), two.size()));
    EXPECT_EQ(der_hex(one.get()), "020101");
    Chain both(asn_ReadBytesImplicitSet(two.data(), two.size()));
    EXPECT_EQ(der_hex(both.get()), "020101020102");
    testutil::Bytes cut = from_hex("0201010202");
    EXPECT_EQ(asn_ReadBytesImplicitSet(cut.data(), cut.size()), nullptr);
}

TEST(AsnParse, HostileInputIsRefused) {
    const char* bad[] = {
        "0000",                  // top-level end-of-contents
        "3004" "0000" "0500",    // end-of-contents inside a definite element
        "3003" "020201" "00",    // child longer than its parent
        "3002" "0401" "41" "00", // child header crossing the parent's end
        "04850100000000",        // five length octets
        "1f80808001" "00",       // tag number needing four subsequent octets
        "1f808001" "84000000" "01", // header of nine octets
        "0484ffffffff41",        // length far beyond the input
        "3084ffffffff0500",      // constructed length beyond the input
        "048000",                // indefinite primitive
        "0001",                  // EOC with a length
        "3080",                  // indefinite never closed
        "30",                    // header cut short
        "",
    };
    for (const char* h : bad) {
        testutil::Bytes b = from_hex(h);
        EXPECT_EQ(asn_ReadBytes(b.data(), b.size()), nullptr) << h;
        EXPECT_EQ(asn_ReadBytesImplicitSet(b.data(), b.size()), nullptr) << h;
    }
    // A stray end-of-contents after a complete top-level element.
    testutil::Bytes stray = from_hex("308000000000");
    EXPECT_EQ(asn_ReadBytesImplicitSet(stray.data(), stray.size()), nullptr);
}

static std::string nested(int depth, bool indefinite) {
    std::string s;
    if (indefinite) {
        for (int i = 0; i < depth; ++i) s += "3080";
        s += "0500";
        for (int i = 0; i < depth; ++i) s += "0000";
        return s;
    }
    s = "0500";
    for (int i = 0; i < depth; ++i) {
        size_t len = s.size() / 2;
        char hdr[32];
        if (len < 128) {
            snprintf(hdr, sizeof hdr, "30%02zx", len);
        } else if (len < 256) {
            snprintf(hdr, sizeof hdr, "3081%02zx", len);
        } else {
            snprintf(hdr, sizeof hdr, "3082%04zx", len);
        }
        s = hdr + s;
    }
    return s;
}

TEST(AsnParse, DepthLimitCoversDefiniteAndIndefiniteNesting) {
    for (bool indef : {false, true}) {
        Chain ok(parse_hex(nested(200, indef)));
        EXPECT_TRUE(ok) << indef;
        Chain deep(parse_hex(nested(201, indef)));
        EXPECT_FALSE(deep) << indef;
    }
    // Mixed nesting counts toward the same limit.
    std::string s = "0500";
    for (int i = 0; i < 60; ++i) s = "3080" + s + "0000";
    for (int i = 0; i < 141; ++i) {
        size_t len = s.size() / 2;
        char hdr[32];
        snprintf(hdr, sizeof hdr, len < 128 ? "30%02zx" : len < 256 ? "3081%02zx" : "3082%04zx", len);
        s = hdr + s;
    }
    Chain m(parse_hex(s));
    EXPECT_FALSE(m);
}

TEST(AsnParse, HugeIndefiniteNestingDoesNotExhaustTheStack) {
    std::string s;
    for (int i = 0; i < 100000; ++i) s += "\x30\x80";
    Chain c(asn_ReadBytes(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
    EXPECT_FALSE(c);
    // The peek parser and the chain-free scanner walk the same input.
    AsnInput in = AsnInput::memory(s.data(), s.size());
    EXPECT_EQ(asn_ReadSequenceFromInput(&in), nullptr);
    EXPECT_EQ(in.tell(), 0);
    int64_t off, size;
    EXPECT_EQ(asn_SearchInData(&off, &size, reinterpret_cast<const uint8_t*>(s.data()), s.size(), 5, 1, -1), 0);
}

TEST(AsnParse, FileStreamsAndPipes) {
    std::string path = testutil::temp_path("two.der");
    testutil::write_file(path, from_hex("3080040141000030030201050202"));
    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    Chain a(asn_ReadFile(f));
    EXPECT_EQ(der_hex(a.get()), "30800401410000");
    Chain b(asn_ReadFile(f));
    EXPECT_EQ(der_hex(b.get()), "3003020105");
    Chain c(asn_ReadFile(f));  // truncated INTEGER
    EXPECT_FALSE(c);
    fclose(f);

    // A pipe has no known size: a false length fails once the input ends,
    // without reserving the claimed size up front.
    FILE* p = popen("printf '\\004\\204\\177\\377\\377\\377AB'", "r");
    ASSERT_NE(p, nullptr);
    Chain d(asn_ReadFile(p));
    EXPECT_FALSE(d);
    pclose(p);
}

TEST(AsnParse, PeekSequenceRestoresPosition) {
    testutil::Bytes b = from_hex("3080" "3080" "0401ff" "0000" "020101" "0000" "0500");
    AsnInput in = AsnInput::memory(b.data(), b.size());
    Chain c(asn_ReadSequenceFromInput(&in));
    EXPECT_EQ(der_hex(c.get()), "308030800401ff00000201010000");
    EXPECT_EQ(in.tell(), 0);
    EXPECT_EQ(asn_TagLookAhead(&in, nullptr), 16);
    EXPECT_EQ(in.tell(), 0);
}

TEST(AsnParse, Templates) {
    const AsnMatchItem rsaPub[] = {{16, 0}, {2, 1}, {2, 1}, {0, -1}};
    const AsnMatchItem open[] = {{16, 0}, {2, 1}, {-99, -1}};
    Chain k(parse_hex("3006020105020103"));
    EXPECT_EQ(asn_IsMatchToList(k.get(), rsaPub), 1);
    EXPECT_EQ(asn_IsMatchToList(k.get(), open), 1);
    Chain longer(parse_hex("3009020105020103020101"));
    EXPECT_EQ(asn_IsMatchToList(longer.get(), rsaPub), 0);
    EXPECT_EQ(asn_IsMatchToList(longer.get(), open), 1);
    Chain indef(parse_hex("30800201050201030000"));
    EXPECT_EQ(asn_IsMatchToList(indef.get(), rsaPub), 1);
    Chain shorter(parse_hex("3003020105"));
    EXPECT_EQ(asn_IsMatchToList(shorter.get(), rsaPub), 0);
}

TEST(AsnParse, RawReadsAndSignedLayout) {
    testutil::Bytes b = from_hex("3080" "0402abcd" "0000");
    AsnInput in = AsnInput::memory(b.data(), b.size());
    int64_t n = 0;
    AsnNode w{};
    uint8_t* r = asn_ReadNextRaw(&in, &n, &w);
    EXPECT_EQ(testutil::to_hex(r, size_t(n)), "3080");
    efree_mem(r);
    r = asn_ReadNextRaw(&in, &n, &w);
    EXPECT_EQ(testutil::to_hex(r, size_t(n)), "0402abcd");
    efree_mem(r);
    r = asn_ReadNextRaw(&in, &n, &w);
    EXPECT_EQ(testutil::to_hex(r, size_t(n)), "0000");
    efree_mem(r);
    EXPECT_EQ(asn_ReadNextRaw(&in, &n, &w), nullptr);
    EXPECT_EQ(n, 0);
    testutil::Bytes cut = from_hex("0405ab");
    AsnInput in2 = AsnInput::memory(cut.data(), cut.size());
    EXPECT_EQ(asn_ReadNextRaw(&in2, &n, &w), nullptr);
    EXPECT_EQ(n, -1);

    // certificate-like: SEQ { SEQ{..}, SEQ{..}, BIT STRING }
    testutil::Bytes s = from_hex("300d" "3003020101" "3002" "0500" "03020000");
    AsnInput in3 = AsnInput::memory(s.data(), s.size());
    int64_t tbs = 0, tbsSize = 0, alg = 0, sig = 0;
    EXPECT_EQ(asn_ParseSignedFromInput(&in3, &tbs, &tbsSize, &alg, &sig), 0);
    EXPECT_EQ(tbs, 2);
    EXPECT_EQ(tbsSize, 5);
    EXPECT_EQ(alg, 7);
    EXPECT_EQ(sig, 11);
}

TEST(AsnParse, SearchInData) {
    testutil::Bytes b = from_hex("300c" "3003020101" "3005" "020102" "0500");
    int64_t off = 0, size = 0;
    EXPECT_EQ(asn_SearchInData(&off, &size, b.data(), b.size(), 2, 2, -1), 1);
    EXPECT_EQ(off, 9);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(asn_SearchInData(&off, &size, b.data(), b.size(), 16, 1, 1), 1);
    EXPECT_EQ(off, 2);
    EXPECT_EQ(asn_SearchInData(&off, &size, b.data(), b.size(), 2, 3, -1), 0);
}

TEST(AsnParse, InputStreamsOverFileAndMemory) {
    testutil::Bytes b = from_hex("3003020105" "3080040141" "0000" "0484ffffff00");
    InpStream mem;
    ASSERT_EQ(mem.init(nullptr, b.data(), b.size()), 0);
    Chain a(asn_ReadFromInput(&mem));
    EXPECT_EQ(der_hex(a.get()), "3003020105");
    EXPECT_EQ(asn_TagLookAhead(&mem, nullptr), 16);
    Chain s(asn_ReadSequenceFromInput(&mem));
    EXPECT_EQ(der_hex(s.get()), "30800401410000");
    EXPECT_EQ(mem.tell(), 5);
    Chain b2(asn_ReadFromInput(&mem));
    EXPECT_EQ(der_hex(b2.get()), "30800401410000");
    Chain c(asn_ReadFromInput(&mem));  // length beyond the input
    EXPECT_FALSE(c);

    std::string path = testutil::temp_path("inp.der");
    testutil::write_file(path, b);
    FILE* f = fopen(path.c_str(), "rb");
    InpStream fs;
    fs.init(f, nullptr, 0);
    Chain all(asn_ReadImplicitSetFromInput(&fs));
    EXPECT_FALSE(all);  // the last element is cut short
    fs.seekset(0);
    Chain first(asn_ReadFromInput(&fs));
    EXPECT_EQ(der_hex(first.get()), "3003020105");
    fclose(f);
}

TEST(AsnStack, OverflowAndUnderflowSetTheFlag) {
    STACK* s = STACK_new(2);
    EXPECT_EQ(STACK_push(s, 7), 1);
    EXPECT_EQ(STACK_push(s, 8), 1);
    EXPECT_EQ(STACK_iserror(s), 0);
    EXPECT_EQ(STACK_push(s, 9), 0);
    EXPECT_EQ(STACK_iserror(s), 1);
    EXPECT_EQ(s->count, 0u);
    EXPECT_EQ(STACK_pop(s), 0u);
    STACK_free(&s);
    EXPECT_EQ(s, nullptr);
    s = STACK_new(3);
    STACK_push(s, 1);
    STACK_push(s, 2);
    EXPECT_EQ(STACK_pop(s), 2u);
    EXPECT_EQ(STACK_pop(s), 1u);
    EXPECT_EQ(STACK_iserror(s), 0);
    STACK_free(&s);
}
