// UTF-8 checks and conversions between UTF-8, Latin-1 (ISO 8859-1),
// ISO 8859-15, Windows-1252, and big-endian UCS-2 and UCS-4.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "encode/encode.h"
#include "frame/error.h"

namespace {

bool is_cont(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// The characters ISO 8859-15 places where Latin-1 has A4 A6 A8 B4 B8 BC BD BE.
uint32_t iso8859_15(unsigned char b) {
    switch (b) {
        case 0xA4:
            return 0x20AC;
        case 0xA6:
            return 0x0160;
        case 0xA8:
            return 0x0161;
        case 0xB4:
            return 0x017D;
        case 0xB8:
            return 0x017E;
        case 0xBC:
            return 0x0152;
        case 0xBD:
            return 0x0153;
        case 0xBE:
            return 0x0178;
        default:
            return b;
    }
}

// Windows-1252 bytes 80 to 9F; the five undefined positions (81, 8D, 8F, 90,
// 9D) stay at their Latin-1 code points.
constexpr uint16_t kCp1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

uint32_t code_point_8bit(unsigned char b, int charset) {
    if (b < 0x80) return b;
    if (charset == 1) return iso8859_15(b);
    if (charset == 2 && b <= 0x9F) return kCp1252[b - 0x80];
    return b;
}

// Appends one UCS-2/UCS-4 code unit as UTF-8 to out; nothing above 10FFFF.
void append_ucs(std::string& out, uint32_t cp) {
    unsigned char buf[4];
    size_t n = utf8_encode_cp(buf, cp);
    out.append(reinterpret_cast<const char*>(buf), n);
}

template <size_t W>
uint32_t load_unit(const unsigned char* p) {
    uint32_t v = 0;
    for (size_t i = 0; i < W; ++i) v = (v << 8) | p[i];
    return v;
}

template <size_t W>
long ucs_to_latin1(std::string& out, const unsigned char* in, size_t n) {
    out.clear();
    if (n % W != 0) return -BAD_LENGTH_ERROR;
    for (size_t i = 0; i < n; i += W) {
        uint32_t cp = load_unit<W>(in + i);
        if (cp > 0xFF) {
            out.clear();
            return -OUT_OF_RANGE_ERROR;
        }
        out += char(cp);
    }
    return long(out.size());
}

template <size_t W>
long ucs_to_utf8(std::string& out, const unsigned char* in, size_t n) {
    out.clear();
    if (n % W != 0) return -BAD_LENGTH_ERROR;
    for (size_t i = 0; i < n; i += W) append_ucs(out, load_unit<W>(in + i));
    return long(out.size());
}

}  // namespace

size_t utf8_encode_cp(unsigned char* out, uint32_t cp) {
    if (cp < 0x80) {
        out[0] = uint8_t(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = uint8_t(0xC0 | (cp >> 6));
        out[1] = uint8_t(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = uint8_t(0xE0 | (cp >> 12));
        out[1] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
        out[2] = uint8_t(0x80 | (cp & 0x3F));
        return 3;
    }
    if (cp <= 0x10FFFF) {
        out[0] = uint8_t(0xF0 | (cp >> 18));
        out[1] = uint8_t(0x80 | ((cp >> 12) & 0x3F));
        out[2] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
        out[3] = uint8_t(0x80 | (cp & 0x3F));
        return 4;
    }
    return 0;
}

int check_utf8_bytes(const unsigned char* b, size_t n) {
    if (!b || n == 0) return 1;
    int result = 1;
    size_t i = 0;
    while (i < n) {
        unsigned char c = b[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c == 0xFE || c == 0xFF || c < 0xC2) return 0;  // stray continuation, C0, C1
        size_t follow = c < 0xE0 ? 1 : c < 0xF0 ? 2 : c < 0xF8 ? 3 : c < 0xFC ? 4 : 5;
        if (n - i - 1 < follow) return 0;
        for (size_t k = 1; k <= follow; ++k)
            if (!is_cont(b[i + k])) return 0;
        unsigned char d = b[i + 1];
        // Overlong forms, U+FFFE and U+FFFF, and UTF-16 surrogates.
        if ((c == 0xE0 && d < 0xA0) || (c == 0xF0 && d < 0x90) || (c == 0xF8 && d < 0x88) ||
            (c == 0xFC && d < 0x84))
            return 0;
        if (c == 0xEF && d == 0xBF && (b[i + 2] == 0xBE || b[i + 2] == 0xBF)) return 0;
        if (c == 0xED && d >= 0xA0) return 0;
        int kind = (c == 0xC2 || c == 0xC3) ? 2 : 3;
        if (kind > result) result = kind;
        i += follow + 1;
    }
    return result;
}

int check_utf8_stream(FILE* f) {
    if (!f) return -READ_ERROR;
    constexpr size_t kChunk = 65536;
    std::vector<unsigned char> buf(kChunk + 8);
    size_t have = 0;  // bytes of a character cut by the previous chunk
    int result = 1;
    for (;;) {
        size_t got = fread(buf.data() + have, 1, kChunk, f);
        if (got == 0) {
            if (ferror(f)) return -READ_ERROR;
            int r = check_utf8_bytes(buf.data(), have);
            return r == 0 ? 0 : std::max(result, r);
        }
        size_t m = have + got;
        // Hold back a multi-byte character whose continuation bytes are
        // still to come.
        size_t cut = m;
        for (size_t k = 1; k <= 5 && k <= m; ++k) {
            unsigned char c = buf[m - k];
            if (is_cont(c)) continue;
            if (c >= 0xC0 && c < 0xFE) {
                size_t need = c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF8 ? 4 : c < 0xFC ? 5 : 6;
                if (need > k) cut = m - k;
            }
            break;
        }
        int r = check_utf8_bytes(buf.data(), cut);
        if (r == 0) return 0;
        result = std::max(result, r);
        memmove(buf.data(), buf.data() + cut, m - cut);
        have = m - cut;
    }
}

int check_utf8_file(const char* name) {
    if (!name || !*name) return -OPEN_ERROR;
    int fd = open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -OPEN_ERROR;
    struct stat st;
    // A device such as /dev/zero never ends: only files and pipes are read.
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode))) {
        close(fd);
        eprintf("'%s' is not a regular file or a pipe", name);
        return -OPEN_ERROR;
    }
    FILE* f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        return -OPEN_ERROR;
    }
    int r = check_utf8_stream(f);
    fclose(f);
    return r;
}

int check_utf8(const char* s) {
    if (!s) return 1;
    return check_utf8_bytes(reinterpret_cast<const unsigned char*>(s), strlen(s));
}

long utf8_to_latin1(unsigned char* out, long max, const unsigned char* in, long n) {
    long count = 0;
    for (long i = 0; i < n; ++i) {
        unsigned char c = in[i];
        unsigned char ch;
        if (c < 0x80) {
            ch = c;
        } else {
            if (c == 0xFE || c == 0xFF) return -INVALID_DATA_ERROR;
            if (c < 0xC0 || c > 0xDF || c >= 0xC4) return -OUT_OF_RANGE_ERROR;
            if (c < 0xC2) return -INVALID_DATA_ERROR;
            if (i + 1 >= n || !is_cont(in[i + 1])) return -INVALID_DATA_ERROR;
            ch = static_cast<unsigned char>(((c & 0x1F) << 6) | (in[i + 1] & 0x3F));
            ++i;
        }
        if (out && count < max) out[count] = ch;
        ++count;
    }
    if (out && count > max) count = max;
    return count;
}

long eightbit_to_utf8(unsigned char* out, long max, const unsigned char* in, long n, int charset) {
    long count = 0;
    for (long i = 0; i < n; ++i) {
        unsigned char buf[4];
        size_t k = utf8_encode_cp(buf, code_point_8bit(in[i], charset));
        if (out) {
            if (long(k) > max - count) break;  // the first character that does not fit ends it
            memcpy(out + count, buf, k);
        }
        count += long(k);
    }
    return count;
}

long latin1_to_utf8(unsigned char* out, long max, const unsigned char* in, long n) {
    return eightbit_to_utf8(out, max, in, n, 0);
}

long ucs2_to_latin1(std::string& out, const unsigned char* in, size_t n) {
    return ucs_to_latin1<2>(out, in, n);
}
long ucs4_to_latin1(std::string& out, const unsigned char* in, size_t n) {
    return ucs_to_latin1<4>(out, in, n);
}
long ucs2_to_utf8(std::string& out, const unsigned char* in, size_t n) {
    return ucs_to_utf8<2>(out, in, n);
}
long ucs4_to_utf8(std::string& out, const unsigned char* in, size_t n) {
    return ucs_to_utf8<4>(out, in, n);
}

long wide_to_utf8(std::string& out, const uint32_t* in, size_t n) {
    out.clear();
    for (size_t i = 0; i < n; ++i) {
        uint32_t cp = in[i];
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            out.clear();
            return -ENCODING_ERROR;
        }
        append_ucs(out, cp);
    }
    return long(out.size());
}
