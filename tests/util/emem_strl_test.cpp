#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "util/emem.h"
#include "util/strl.h"

namespace {

TEST(Emem, AllocateGrowWipe) {
    void* p = emalloc(0);
    ASSERT_NE(p, nullptr);
    static_cast<char*>(p)[0] = 'x';  // one usable byte
    efree_mem(p);

    char* q = static_cast<char*>(ecalloc(0, 0));
    EXPECT_EQ(q[0], 0);
    efree_mem(q);

    char* s = static_cast<char*>(emalloc(8));
    memcpy(s, "abcdefg", 8);
    EXPECT_EQ(erealloc(s, 4, 8), s);  // not larger: same block, untouched
    EXPECT_STREQ(s, "abcdefg");
    char* t = static_cast<char*>(erealloc(s, 16, 8));
    EXPECT_STREQ(t, "abcdefg");
    ewipestr(t);
    EXPECT_EQ(std::string(t, 8), std::string(8, '\0'));
    ewipestr(nullptr);
    efree_mem(t);
    efree_mem(nullptr);

    char* d = estrdup("copy");
    EXPECT_STREQ(d, "copy");
    efree_mem(d);
}

// Running out of memory throws (the frame reports it), never ends the process.
TEST(Emem, FailedAllocationsThrowBadAlloc) {
    EXPECT_THROW(emalloc(size_t(1) << 62), std::bad_alloc);
    EXPECT_THROW(ecalloc(size_t(1) << 61, 2), std::bad_alloc);
    // count * size reaches 2^62 although count < 2^62 / size rounded down.
    EXPECT_THROW(ecalloc((size_t(1) << 62) / 3 + 1, 3), std::bad_alloc);
    EXPECT_THROW(ecalloc(SIZE_MAX, SIZE_MAX), std::bad_alloc);
    EXPECT_THROW(velt::SecureBytes(size_t(1) << 62), std::bad_alloc);
}

// The bytes of a SecureString object after its destructor ran: nothing of the
// secret may remain in the object itself, whether the text stayed in the
// inline buffer or grew from it onto the heap.
TEST(SecureString, DestructorWipesInlineBuffer) {
    const std::string secret = "pw:Hunter2";  // short enough for the inline buffer
    struct Case {
        const char* what;
        void (*fill)(velt::SecureString&, const std::string&);
    } cases[] = {
        {"assigned", [](velt::SecureString& s, const std::string& t) { s.assign(t); }},
        {"appended", [](velt::SecureString& s, const std::string& t) { s += t; }},
        {"shortened",
         [](velt::SecureString& s, const std::string& t) {
             s = t;
             s = "x";
         }},
        {"grown onto the heap",
         [](velt::SecureString& s, const std::string& t) {
             s = t;
             s.append(200, 'y');
         }},
        {"moved out",
         [](velt::SecureString& s, const std::string& t) {
             s = t;
             velt::SecureString other(std::move(s));
         }},
    };
    for (const Case& c : cases) {
        alignas(velt::SecureString) unsigned char raw[sizeof(velt::SecureString)];
        auto* s = new (raw) velt::SecureString();
        c.fill(*s, secret);
        s->~SecureString();
        std::string bytes(reinterpret_cast<const char*>(raw), sizeof raw);
        // No 4 consecutive characters of the secret survive.
        for (size_t i = 0; i + 4 <= secret.size(); ++i)
            EXPECT_EQ(bytes.find(secret.substr(i, 4)), std::string::npos) << c.what << " at " << i;
    }
    // The text itself behaves as a string.
    velt::SecureString a("abc"), b = a;
    b += "def";
    EXPECT_EQ(b.substr(2, 2), "cd");
    EXPECT_EQ(a, "abc");
}

TEST(Strl, BoundedCopiesTable) {
    struct {
        const char* src;
        long size;
        long want;
        const char* out;
    } cpy[] = {{"hello", 10, 5, "hello"}, {"hello", 5, 5, "hell"}, {"hello", 1, 5, ""}, {"", 4, 0, ""}};
    for (const auto& c : cpy) {
        char buf[16] = "zzzzzzzzzzzzzzz";
        EXPECT_EQ(strlcpy(buf, c.src, c.size), c.want);
        EXPECT_STREQ(buf, c.out);
    }
    char buf[8] = "keep";
    EXPECT_EQ(strlcpy(buf, "x", 0), 0);
    EXPECT_EQ(strlcpy(buf, "x", -3), 0);
    EXPECT_EQ(strlcpy(nullptr, "x", 4), 0);
    EXPECT_EQ(strlcpy(buf, nullptr, 4), 0);
    EXPECT_STREQ(buf, "keep");

    char cat[8] = "ab";
    EXPECT_EQ(strlcat(cat, "cdefgh", 8), 8);
    EXPECT_STREQ(cat, "abcdefg");
    EXPECT_EQ(strlcat(cat, "", 8), 7);
    EXPECT_EQ(strlncpy(buf, "abcdef", 8, 3), 3);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(strlncat(buf, "xyz", 8, 2), 5);
    EXPECT_STREQ(buf, "abcxy");
    EXPECT_EQ(strllen(nullptr), 0);
    EXPECT_EQ(strllen("four"), 4);

    EXPECT_EQ(slprintf(buf, 8, "%d-%s", 12, "ab"), 5);
    EXPECT_STREQ(buf, "12-ab");
    EXPECT_EQ(slprintf(buf, 4, "%s", "toolong"), -1);
    EXPECT_EQ(slprintf(buf, 0, "%s", "x"), -1);
}

TEST(Strl, OutputConventionHelpers) {
    char s[8];
    EXPECT_EQ(out_truncate(nullptr, 0, "abcdef", 6), 6);
    EXPECT_EQ(out_truncate(s, 3, "abcdef", 6), 3);
    EXPECT_STREQ(s, "abc");
    strcpy(s, "keep");
    EXPECT_EQ(out_exact(s, 5, "abcdef", 6), -30);
    EXPECT_STREQ(s, "keep");
    EXPECT_EQ(out_exact(s, 6, "abcdef", 6), 6);
    EXPECT_STREQ(s, "abcdef");
    unsigned char b[4] = {9, 9, 9, 9};
    const unsigned char d[] = {1, 2, 3};
    EXPECT_EQ(out_bytes_truncate(b, 2, d, 3), 2);
    EXPECT_EQ(b[2], 9);
    EXPECT_EQ(out_bytes_exact(b, 2, d, 3), -30);
    EXPECT_EQ(out_bytes_exact(nullptr, 2, d, 3), 3);
}

}  // namespace
