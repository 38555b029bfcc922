// Big numbers on growable heap handles: what RSA, DSA verification, ASN.1
// integer extraction and the key-derivation code call. Each operation writes
// its result into the first handle and leaves the inputs' values unchanged
// (operands are only ever grown with zero digits). The plain forms need the
// output distinct from the inputs named in the comment; the _s forms compute
// into a temporary first, so their output may be any input.
//
// Memory exhaustion throws std::bad_alloc (the frame reports it as error 5);
// no operation reports library error codes. Every digit array is wiped
// before it is freed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bigd/bigdigits.h"

struct BdNumber {
    BdDigit* digits;     // owned digit array, least significant first
    size_t ndigits;      // digits that may be significant (an upper bound)
    size_t allocdigits;  // digits allocated, at least 1 and at least ndigits
};

// Callback that fills n bytes, given additional input (seed, seedlen);
// 0 on success. rngFunc (rng/rng.h) has this shape.
typedef long (*BdRandFunc)(unsigned char* out, long n, const unsigned char* seed, long seedlen);

// ---- life cycle ----
BdNumber* bdNew();           // holds 0 with one allocated digit
void bdFree(BdNumber** pb);  // wipes, frees and nulls the caller's handle (null allowed)

// ---- conversions ----
// Big-endian octets; returns the digits filled.
size_t bdConvFromOctets(BdNumber* b, const unsigned char* octets, size_t nbytes);
// With out null or len 0 returns the significant byte count (at least 1);
// otherwise writes big-endian right-aligned in all len bytes (zero-filled,
// only the least significant len bytes when short) and returns the
// significant byte count (0 for zero), which may exceed len.
size_t bdConvToOctets(const BdNumber* b, unsigned char* out, size_t len);
// Text to number: characters that are not digits of the base are skipped.
size_t bdConvFromHex(BdNumber* b, const char* s);
size_t bdConvFromDecimal(BdNumber* b, const char* s);
// Number to text: returns the full length (lower-case hex, no leading zeros,
// "0" for zero). With s non-null and smax > 0, writes the first
// min(length, smax - 1) characters and a NUL into s (smax bytes).
size_t bdConvToHex(const BdNumber* b, char* s, size_t smax);
size_t bdConvToDecimal(const BdNumber* b, char* s, size_t smax);
int bdSetShort(BdNumber* b, BdDigit d);
BdDigit bdToShort(const BdNumber* b);

// ---- size ----
size_t bdBitLength(const BdNumber* b);
size_t bdSizeof(const BdNumber* b);

// ---- tests: 1/0, comparisons -1/0/+1 ----
int bdIsZero(const BdNumber* a);
int bdIsZero_ct(const BdNumber* a);
int bdIsEqual(const BdNumber* a, const BdNumber* b);
int bdIsEqual_ct(const BdNumber* a, const BdNumber* b);
int bdCompare(const BdNumber* a, const BdNumber* b);
int bdCompare_ct(const BdNumber* a, const BdNumber* b);
int bdShortCmp(const BdNumber* a, BdDigit d);
int bdShortIsEqual(const BdNumber* a, BdDigit d);
int bdIsEven(const BdNumber* a);
int bdIsOdd(const BdNumber* a);

// ---- assignment ----
int bdSetEqual(BdNumber* a, const BdNumber* b);
int bdSetZero(BdNumber* a);  // wipes the significant digits, size 0

// ---- addition and subtraction: return the carry / borrow ----
BdDigit bdAdd(BdNumber* w, const BdNumber* u, const BdNumber* v);  // w != v
BdDigit bdAdd_s(BdNumber* w, const BdNumber* u, const BdNumber* v);
BdDigit bdShortAdd(BdNumber* w, const BdNumber* u, BdDigit d);
BdDigit bdIncrement(BdNumber* a);
// On borrow the result is u - v mod 2^(32n), n the common length.
BdDigit bdSubtract(BdNumber* w, const BdNumber* u, const BdNumber* v);  // w != v
BdDigit bdSubtract_s(BdNumber* w, const BdNumber* u, const BdNumber* v);
BdDigit bdShortSub(BdNumber* w, const BdNumber* u, BdDigit d);
BdDigit bdDecrement(BdNumber* a);

// ---- multiplication ----
int bdMultiply(BdNumber* w, const BdNumber* u, const BdNumber* v);  // w != u, w != v
int bdMultiply_s(BdNumber* w, const BdNumber* u, const BdNumber* v);
int bdShortMult(BdNumber* w, const BdNumber* u, BdDigit d);
int bdSquare(BdNumber* w, const BdNumber* x);  // w != x
int bdSquare_s(BdNumber* w, const BdNumber* x);
int bdPower(BdNumber* y, const BdNumber* g, uint32_t n);  // y = g^n

// ---- division (a zero divisor leaves quotient and remainder 0) ----
int bdDivide(BdNumber* q, BdNumber* r, const BdNumber* u, const BdNumber* v);
int bdDivide_s(BdNumber* q, BdNumber* r, const BdNumber* u, const BdNumber* v);
int bdShortDiv(BdNumber* q, BdNumber* r, const BdNumber* u, BdDigit d);
int bdModulo(BdNumber* r, const BdNumber* u, const BdNumber* m);
int bdModulo_s(BdNumber* r, const BdNumber* u, const BdNumber* m);
BdDigit bdShortMod(BdNumber* r, const BdNumber* u, BdDigit d);  // also returns r

// ---- roots (floor) ----
int bdSqrt(BdNumber* s, const BdNumber* x);
int bdCubeRoot(BdNumber* s, const BdNumber* x);

// ---- bits (bits beyond the number read as 0) ----
int bdSetBit(BdNumber* a, size_t n, int value);  // grows a as needed
int bdGetBit(const BdNumber* a, size_t n);
int bdShiftLeft(BdNumber* a, const BdNumber* b, size_t s);
int bdShiftRight(BdNumber* a, const BdNumber* b, size_t s);
int bdXorBits(BdNumber* a, const BdNumber* b, const BdNumber* c);
int bdOrBits(BdNumber* a, const BdNumber* b, const BdNumber* c);
int bdAndBits(BdNumber* a, const BdNumber* b, const BdNumber* c);
int bdNotBits(BdNumber* a, const BdNumber* b);  // within b's current ndigits
int bdModPowerOf2(BdNumber* a, size_t L);       // keeps the low L bits

// ---- modular arithmetic ----
// y = x^e mod m (e = 0 gives 1 mod m; a zero modulus gives 0).
int bdModExp(BdNumber* y, const BdNumber* x, const BdNumber* e, const BdNumber* m);
// The same for a secret exponent: constant time in e's value (and in x's when
// x, e and m have the same digit count and m is odd). The result's ndigits is
// m's digit count (not normalised, which would branch on it).
int bdModExp_ct(BdNumber* y, const BdNumber* x, const BdNumber* e, const BdNumber* m);
int bdModMult(BdNumber* a, const BdNumber* x, const BdNumber* y, const BdNumber* m);
int bdModSquare(BdNumber* a, const BdNumber* x, const BdNumber* m);
// x = a^-1 mod m; returns 0, or 1 with x = 0 when there is no inverse.
int bdModInv(BdNumber* x, const BdNumber* a, const BdNumber* m);
int bdGcd(BdNumber* g, const BdNumber* x, const BdNumber* y);
int bdJacobi(const BdNumber* a, const BdNumber* m);  // m odd

// ---- primes and random numbers ----
int bdIsPrime(const BdNumber* b, size_t ntests);
int bdRabinMiller(const BdNumber* b, size_t ntests);
// Fills ceil(nbits/32) digits by one call of randFunc and clears the bits at
// and above nbits. Returns the callback's result: nonzero means the fill
// failed and b is set to 0.
int bdRandomSeeded(BdNumber* b, size_t nbits, const unsigned char* seed, size_t seedlen, BdRandFunc randFunc);
// A random nbits-bit prime (top and bottom bits set) tested with ntests
// Rabin-Miller rounds: 0 when found, 1 otherwise (also when randFunc fails).
int bdGeneratePrime(BdNumber* b, size_t nbits, size_t ntests, const unsigned char* seed, size_t seedlen,
                    BdRandFunc randFunc);
// Test values (not for secrets): nbits random bits; a random value of 1 to
// maxdigits digits with some top bits cleared.
size_t bdQuickRandBits(BdNumber* b, size_t nbits);
size_t bdSetRandTest(BdNumber* b, size_t maxdigits);

// ---- printing to standard output (diagnostics) ----
// flags: 1 a newline after every eight digits and at the end; 2 drop leading zero digits.
void bdPrint(const BdNumber* b, uint32_t flags);
void bdPrintHex(const char* prefix, const BdNumber* b, const char* suffix);
void bdPrintDecimal(const char* prefix, const BdNumber* b, const char* suffix);
void bdPrintBits(const char* prefix, const BdNumber* b, const char* suffix);

int bdVersion();  // 2612
const char* bdCompileTime();
