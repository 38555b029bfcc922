// Conversions of digit arrays to and from big-endian octets, hexadecimal and
// decimal text, and the quick random fill used by tests.
#include <algorithm>
#include <cstring>
#include <string>

#include "bigd/bigdigits.h"
#include "bigd/limbs.h"
#include "rng/rng.h"
#include "util/emem.h"

using velt::bigd::DigitVec;

size_t mpConvFromOctets(BdDigit a[], size_t ndigits, const unsigned char* c, size_t nbytes) {
    mpSetZero(a, ndigits);
    // Least significant byte last; bytes beyond the array's capacity are dropped.
    size_t take = std::min(nbytes, ndigits * 4);
    for (size_t i = 0; i < take; ++i) a[i / 4] |= BdDigit(c[nbytes - 1 - i]) << (8 * (i % 4));
    return (take + 3) / 4;
}

size_t mpConvToOctets(const BdDigit a[], size_t ndigits, unsigned char* c, size_t nbytes) {
    for (size_t i = 0; i < nbytes; ++i) {
        size_t di = i / 4;
        c[nbytes - 1 - i] = di < ndigits ? static_cast<unsigned char>(a[di] >> (8 * (i % 4))) : 0;
    }
    return nbytes;
}

static int hex_value(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

size_t mpConvFromHex(BdDigit a[], size_t ndigits, const char* s) {
    mpSetZero(a, ndigits);
    if (!s) return 0;
    // Nibbles from the end of the text; characters that are not hex digits are skipped.
    size_t nib = 0;
    for (size_t i = std::strlen(s); i-- > 0;) {
        int v = hex_value(s[i]);
        if (v < 0) continue;
        if (nib / 8 < ndigits) a[nib / 8] |= BdDigit(v) << (4 * (nib % 8));
        ++nib;
    }
    return mpSizeof(a, ndigits);
}

size_t mpConvFromDecimal(BdDigit a[], size_t ndigits, const char* s) {
    mpSetZero(a, ndigits);
    if (!s) return 0;
    // Nine decimal digits at a time: a = a * 10^k + chunk.
    BdDigit chunk = 0, scale = 1;
    for (const char* p = s;; ++p) {
        bool digit = *p >= '0' && *p <= '9';
        if (digit) {
            chunk = chunk * 10 + BdDigit(*p - '0');
            scale *= 10;
        }
        if ((scale == 1000000000u) || (!*p && scale > 1)) {
            mpShortMult(a, a, scale, ndigits);
            mpShortAdd(a, a, chunk, ndigits);
            chunk = 0;
            scale = 1;
        }
        if (!*p) break;
    }
    return mpSizeof(a, ndigits);
}

// Text of a in base 16 or 10, most significant first, no leading zeros.
static velt::SecureString conv_to_base(const BdDigit a[], size_t ndigits, unsigned base) {
    size_t n = mpSizeof(a, ndigits);
    velt::SecureString out;
    if (n == 0) {
        out.push_back('0');
        return out;
    }
    static const char kHex[] = "0123456789abcdef";
    if (base == 16) {
        out.reserve(8 * n);
        for (size_t i = n; i-- > 0;)
            for (int k = 7; k >= 0; --k) out.push_back(kHex[(a[i] >> (4 * k)) & 15]);
    } else {
        // Divide a copy by 10^9 repeatedly; each remainder gives nine digits.
        DigitVec t(a, a + n);
        velt::SecureString rev;
        rev.reserve(10 * n + 9);
        size_t len = n;
        while (len > 0) {
            BdDigit r = mpShortDiv(t.data(), t.data(), 1000000000u, len);
            len = mpSizeof(t.data(), len);
            for (int k = 0; k < 9; ++k) {
                rev.push_back(char('0' + r % 10));
                r /= 10;
            }
        }
        out.assign(rev.rbegin(), rev.rend());
    }
    size_t lead = out.find_first_not_of('0');
    out.erase(0, lead == std::string::npos ? out.size() - 1 : lead);
    return out;
}

static size_t write_text(const velt::SecureString& text, char* s, size_t smax) {
    if (s && smax > 0) {
        size_t k = std::min(text.size(), smax - 1);
        std::memcpy(s, text.data(), k);
        s[k] = '\0';
    }
    return text.size();
}

size_t mpConvToHex(const BdDigit a[], size_t ndigits, char* s, size_t smax) {
    return write_text(conv_to_base(a, ndigits, 16), s, smax);
}

size_t mpConvToDecimal(const BdDigit a[], size_t ndigits, char* s, size_t smax) {
    return write_text(conv_to_base(a, ndigits, 10), s, smax);
}

size_t mpQuickRandBits(BdDigit a[], size_t ndigits, size_t nbits) {
    mpSetZero(a, ndigits);
    size_t nd = std::min(ndigits, (nbits + 31) / 32);
    if (nd == 0) return 0;
    rngNonce(reinterpret_cast<unsigned char*>(a), long(nd * sizeof(BdDigit)));
    if (nbits < nd * 32) mpModPowerOf2(a, nd, nbits);
    return nd;
}
