// Multiple-precision arithmetic on caller-supplied arrays of 32-bit digits,
// least significant digit first. Every array argument of one call has the
// same digit count `ndigits`; products and squares occupy 2*ndigits digits.
// The prime-curve field arithmetic and the handle layer (bigd.h) call these.
//
// A little-endian array of an even number of digits is the same memory as an
// array of 64-bit limbs; the heavy routines (multiplication, division,
// Montgomery exponentiation) work on 64-bit limbs internally, copying into
// padded temporaries when the count is odd. Inputs are never modified: no
// routine shifts a divisor or modulus in place, so a key's numbers can be
// read from several threads at once.
//
// No routine reports library error codes; the few failure results are small
// integers described per function. Temporaries are wiped before release.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint32_t BdDigit;

inline constexpr size_t kBitsPerDigit = 32;
inline constexpr BdDigit kMaxDigit = 0xFFFFFFFFu;

// ---- single-digit helpers ----
// p[1]:p[0] = x * y.
void spMultiply(BdDigit p[2], BdDigit x, BdDigit y);
// *q = u / v, *r = u % v for the double digit u[1]:u[0]; requires u[1] < v
// (the quotient fits a digit). Returns *q.
BdDigit spDivide(BdDigit* q, BdDigit* r, const BdDigit u[2], BdDigit v);
// A uniformly chosen digit in [lower, upper] from the library generator;
// lower when lower >= upper.
BdDigit spRandBetween(BdDigit lower, BdDigit upper);

// ---- storage ----
// Zeroed space for max(n, 1) digits; throws std::bad_alloc when memory runs out.
BdDigit* mpAlloc(size_t ndigits);
// Wipes ndigits digits, frees the array and nulls *p (null allowed).
void mpFree(BdDigit** p, size_t ndigits);

// ---- assignment, size, comparison ----
void mpSetZero(BdDigit a[], size_t ndigits);  // zeroes every digit, highest first
void mpSetDigit(BdDigit a[], BdDigit d, size_t ndigits);
void mpSetEqual(BdDigit a[], const BdDigit b[], size_t ndigits);
BdDigit mpToShort(const BdDigit a[], size_t ndigits);
// Number of significant digits / bits (0 for zero).
size_t mpSizeof(const BdDigit a[], size_t ndigits);
size_t mpBitLength(const BdDigit a[], size_t ndigits);
// 1/0 tests and -1/0/+1 comparisons. The _ct forms run over all ndigits
// digits with no branch on the values.
int mpIsZero(const BdDigit a[], size_t ndigits);
int mpIsZero_ct(const BdDigit a[], size_t ndigits);
int mpEqual(const BdDigit a[], const BdDigit b[], size_t ndigits);
int mpEqual_ct(const BdDigit a[], const BdDigit b[], size_t ndigits);
int mpCompare(const BdDigit a[], const BdDigit b[], size_t ndigits);
int mpCompare_ct(const BdDigit a[], const BdDigit b[], size_t ndigits);
int mpShortCmp(const BdDigit a[], BdDigit d, size_t ndigits);
int mpShortEqual(const BdDigit a[], BdDigit d, size_t ndigits);

// ---- addition and subtraction (w may equal u, never v) ----
// w = u + v; returns the carry out of the top digit.
BdDigit mpAdd(BdDigit w[], const BdDigit u[], const BdDigit v[], size_t ndigits);
// w = u - v mod 2^(32*ndigits); returns the borrow (1 if u < v).
BdDigit mpSubtract(BdDigit w[], const BdDigit u[], const BdDigit v[], size_t ndigits);
BdDigit mpShortAdd(BdDigit w[], const BdDigit u[], BdDigit d, size_t ndigits);
BdDigit mpShortSub(BdDigit w[], const BdDigit u[], BdDigit d, size_t ndigits);

// ---- multiplication (w has 2*ndigits digits, distinct from the inputs) ----
int mpMultiply(BdDigit w[], const BdDigit u[], const BdDigit v[], size_t ndigits);
int mpSquare(BdDigit w[], const BdDigit x[], size_t ndigits);
// w = u * d over ndigits digits; returns the carry digit.
BdDigit mpShortMult(BdDigit w[], const BdDigit u[], BdDigit d, size_t ndigits);

// ---- division ----
// q = u div v, r = u mod v; q and r have udigits digits each, u has udigits
// and v vdigits. A zero divisor returns -1 with q and r zero; otherwise 0.
int mpDivide(BdDigit q[], BdDigit r[], const BdDigit u[], size_t udigits, const BdDigit v[], size_t vdigits);
// r (vdigits digits) = u mod v. -1 for a zero divisor (r zero), else 0.
int mpModulo(BdDigit r[], const BdDigit u[], size_t udigits, const BdDigit v[], size_t vdigits);
// q = u div d; returns u mod d. A zero divisor returns 0 with q zero.
BdDigit mpShortDiv(BdDigit q[], const BdDigit u[], BdDigit d, size_t ndigits);
BdDigit mpShortMod(const BdDigit a[], BdDigit d, size_t ndigits);

// ---- modular arithmetic (all arrays ndigits digits) ----
int mpModMult(BdDigit a[], const BdDigit x[], const BdDigit y[], const BdDigit m[], size_t ndigits);
int mpModSquare(BdDigit a[], const BdDigit x[], const BdDigit m[], size_t ndigits);
// y = x^e mod m. e = 0 gives 1 mod m; a zero modulus gives 0. Sliding
// window over Montgomery arithmetic for an odd modulus. Returns 0.
int mpModExp(BdDigit y[], const BdDigit x[], const BdDigit e[], const BdDigit m[], size_t ndigits);
// Same result, for secret exponents: fixed windows over all 32*ndigits bits
// of e, table entries read by a full masked scan, no branch or memory index
// that depends on e. For an odd m whose digit count is ndigits (rounded up to
// whole limbs) the base is not reduced first, so a secret (blinded) base is
// safe too; a longer base is reduced by division, in time that depends on it.
int mpModExp_ct(BdDigit y[], const BdDigit x[], const BdDigit e[], const BdDigit m[], size_t ndigits);
// inv = u^-1 mod m; returns 0, or 1 with inv = 0 when gcd(u, m) != 1.
int mpModInv(BdDigit inv[], const BdDigit u[], const BdDigit m[], size_t ndigits);
int mpGcd(BdDigit g[], const BdDigit x[], const BdDigit y[], size_t ndigits);
// Jacobi symbol (a/m) for odd m: -1, 0 or 1.
int mpJacobi(const BdDigit a[], const BdDigit m[], size_t ndigits);
// Floors of the square and cube roots.
int mpSqrt(BdDigit s[], const BdDigit x[], size_t ndigits);
int mpCubeRoot(BdDigit s[], const BdDigit x[], size_t ndigits);

// ---- primes ----
// 1 if w is (probably) prime: small-prime table, trial division, then t
// rounds of Rabin-Miller.
int mpIsPrime(const BdDigit w[], size_t ndigits, size_t t);
// t rounds of Rabin-Miller (FIPS 186-5 B.3.1) with bases uniform in [2, w-2]
// from the library generator; 1 probably prime, 0 composite.
int mpRabinMiller(const BdDigit w[], size_t ndigits, size_t t);
// The 167 odd primes from 3 to 997, ascending.
extern const BdDigit kSmallPrimes[167];
inline constexpr size_t kNumSmallPrimes = 167;

// ---- bits ----
// a = b << shift or b >> shift over ndigits digits, any shift; a may equal b.
// For shift < 32 returns the bits moved out of the array (in the low bits
// for a left shift, the high bits for a right shift), else 0.
BdDigit mpShiftLeft(BdDigit a[], const BdDigit b[], size_t shift, size_t ndigits);
BdDigit mpShiftRight(BdDigit a[], const BdDigit b[], size_t shift, size_t ndigits);
// Sets bit n to value (0 or 1); -1 when n is beyond the array.
int mpSetBit(BdDigit a[], size_t ndigits, size_t n, int value);
// Bit n (0 or 1); -1 when n is beyond the array.
int mpGetBit(const BdDigit a[], size_t ndigits, size_t n);
void mpXorBits(BdDigit a[], const BdDigit b[], const BdDigit c[], size_t ndigits);
void mpOrBits(BdDigit a[], const BdDigit b[], const BdDigit c[], size_t ndigits);
void mpAndBits(BdDigit a[], const BdDigit b[], const BdDigit c[], size_t ndigits);
void mpNotBits(BdDigit a[], const BdDigit b[], size_t ndigits);
// Keeps the low L bits of a.
void mpModPowerOf2(BdDigit a[], size_t ndigits, size_t L);

// ---- two's-complement view of ndigits digits ----
int mpIsNegative(const BdDigit a[], size_t ndigits);
void mpChs(BdDigit a[], const BdDigit b[], size_t ndigits);
void mpAbs(BdDigit a[], const BdDigit b[], size_t ndigits);

// ---- conversions ----
// Big-endian octets into a (zero-filled); returns the digits filled (at most ndigits).
size_t mpConvFromOctets(BdDigit a[], size_t ndigits, const unsigned char* c, size_t nbytes);
// Writes a big-endian, right-aligned in nbytes bytes (zero-filled on the
// left, keeping the least significant nbytes when short); returns nbytes.
size_t mpConvToOctets(const BdDigit a[], size_t ndigits, unsigned char* c, size_t nbytes);
// Text skips every character that is not a digit of the base.
size_t mpConvFromHex(BdDigit a[], size_t ndigits, const char* s);
size_t mpConvFromDecimal(BdDigit a[], size_t ndigits, const char* s);
// With s non-null and smax > 0 (the buffer size), writes the first
// min(length, smax - 1) characters and a NUL; returns the length of the full
// text (lower case, no leading zeros, 1 for zero).
size_t mpConvToHex(const BdDigit a[], size_t ndigits, char* s, size_t smax);
size_t mpConvToDecimal(const BdDigit a[], size_t ndigits, char* s, size_t smax);

// Random fill of nbits low bits (others zero), non-cryptographic use (tests);
// returns the digits written.
size_t mpQuickRandBits(BdDigit a[], size_t ndigits, size_t nbits);

// ---- printing to standard output (diagnostics) ----
void mpPrint(const BdDigit a[], size_t ndigits);
void mpPrintNL(const BdDigit a[], size_t ndigits);
void mpPrintTrim(const BdDigit a[], size_t ndigits);
void mpPrintTrimNL(const BdDigit a[], size_t ndigits);
void mpPrintHex(const char* prefix, const BdDigit a[], size_t ndigits, const char* suffix);
void mpPrintDecimal(const char* prefix, const BdDigit a[], size_t ndigits, const char* suffix);
void mpPrintDecimalSigned(const char* prefix, const BdDigit a[], size_t ndigits, const char* suffix);
void mpPrintBits(const char* prefix, const BdDigit a[], size_t ndigits, const char* suffix);

int mpVersion();
