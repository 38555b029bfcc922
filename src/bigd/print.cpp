// Printing to standard output, for diagnostics only.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bigd/bigd.h"
#include "bigd/limbs.h"

using velt::bigd::DigitVec;

namespace {

void print_digits(const BdDigit a[], size_t n, bool newlines, bool trim) {
    if (trim) n = std::max<size_t>(mpSizeof(a, n), 1);
    size_t count = 0;
    for (size_t i = n; i-- > 0;) {
        std::printf("%08x ", n ? a[i] : 0);
        if (newlines && ++count % 8 == 0 && i > 0) std::printf("\n");
    }
    if (newlines) std::printf("\n");
}

void print_hex(const char* prefix, const BdDigit a[], size_t n, const char* suffix) {
    if (prefix) std::fputs(prefix, stdout);
    n = mpSizeof(a, n);
    if (n == 0) {
        std::printf("0");
    } else {
        std::printf("%x", a[n - 1]);
        for (size_t i = n - 1; i-- > 0;) std::printf("%08x", a[i]);
    }
    if (suffix) std::fputs(suffix, stdout);
}

void print_decimal(const char* prefix, const BdDigit a[], size_t n, const char* suffix) {
    size_t len = mpConvToDecimal(a, n, nullptr, 0);
    std::vector<char> s(len + 1);
    mpConvToDecimal(a, n, s.data(), s.size());
    if (prefix) std::fputs(prefix, stdout);
    std::fputs(s.data(), stdout);
    if (suffix) std::fputs(suffix, stdout);
}

void print_bits(const char* prefix, const BdDigit a[], size_t n, const char* suffix) {
    if (prefix) std::fputs(prefix, stdout);
    size_t bits = mpBitLength(a, n);
    if (bits == 0) std::fputc('0', stdout);
    for (size_t i = bits; i-- > 0;) std::fputc(mpGetBit(a, n, i) ? '1' : '0', stdout);
    if (suffix) std::fputs(suffix, stdout);
}

}  // namespace

void mpPrint(const BdDigit a[], size_t ndigits) { print_digits(a, ndigits, false, false); }
void mpPrintNL(const BdDigit a[], size_t ndigits) { print_digits(a, ndigits, true, false); }
void mpPrintTrim(const BdDigit a[], size_t ndigits) { print_digits(a, ndigits, false, true); }
void mpPrintTrimNL(const BdDigit a[], size_t ndigits) { print_digits(a, ndigits, true, true); }

void mpPrintHex(const char* prefix, const BdDigit a[], size_t ndigits, const char* suffix) {
    print_hex(prefix, a, ndigits, suffix);
}

void mpPrintDecimal(const char* prefix, const BdDigit a[], size_t ndigits, const char* suffix) {
    print_decimal(prefix, a, ndigits, suffix);
}

void mpPrintDecimalSigned(const char* prefix, const BdDigit a[], size_t ndigits, const char* suffix) {
    DigitVec t(std::max<size_t>(ndigits, 1), 0);
    mpAbs(t.data(), a, ndigits);
    if (prefix) std::fputs(prefix, stdout);
    if (mpIsNegative(a, ndigits)) std::fputc('-', stdout);
    print_decimal(nullptr, t.data(), ndigits, suffix);
}

void mpPrintBits(const char* prefix, const BdDigit a[], size_t ndigits, const char* suffix) {
    print_bits(prefix, a, ndigits, suffix);
}

void bdPrint(const BdNumber* b, uint32_t flags) {
    BdDigit zero = 0;
    size_t n = b->ndigits;
    // A number with no digits still prints one.
    print_digits(n ? b->digits : &zero, n ? n : 1, (flags & 1) != 0, (flags & 2) != 0);
}

void bdPrintHex(const char* prefix, const BdNumber* b, const char* suffix) {
    print_hex(prefix, b->digits, b->ndigits, suffix);
}

void bdPrintDecimal(const char* prefix, const BdNumber* b, const char* suffix) {
    print_decimal(prefix, b->digits, b->ndigits, suffix);
}

void bdPrintBits(const char* prefix, const BdNumber* b, const char* suffix) {
    print_bits(prefix, b->digits, b->ndigits, suffix);
}
