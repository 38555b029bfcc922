// Text encodings: hexadecimal, base64, base64url, base58, Latin-1/UTF-8, and
// the format detectors. What other subsystems may call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// --- Hexadecimal ---
// Upper-case hex of `count` bytes into a buffer of `size` bytes (NUL
// included), whole pairs only; returns the characters written.
long hexencode(char* output, long size, const unsigned char* bytes, long count);
// The same in lower case.
long hexencodelc(char* output, long size, const unsigned char* bytes, long count);
// All `count` bytes into a buffer the caller sized at 2 * count + 1.
char* bytes2hexstr(char* output, const unsigned char* bytes, long count);
char* bytes2hexstrlower(char* output, const unsigned char* bytes, long count);
// Lenient decoder: skips every non-hex character, pairs the digits (first
// high), drops a final unpaired digit, stops at max_bytes; returns bytes written.
long hexdecode(unsigned char* output, long max_bytes, const char* string);
// Strict decoder: even length, hex digits only, else -1; returns the number of
// pairs (bytes written stop at max_bytes).
long hexstr2bytes_strict(unsigned char* output, const char* string, long max_bytes);
// As the strict decoder, but 0 on failure.
long hexstr2bytes(unsigned char* output, const char* string, long max_bytes);

// --- Base64 (RFC 4648 section 4) and base64url (section 5) ---
// Encodes into a buffer of `size` bytes (NUL included), whole groups only, no
// line breaks; returns the characters written.
long b64encode(char* output, long size, const unsigned char* bytes, long count);
// Decodes up to the NUL or the first "=", skipping characters outside the
// alphabet; returns bytes written (at most max_bytes).
long b64decode(unsigned char* output, long max_bytes, const char* string);
// In place: removes "=", "+" to "-", "/" to "_"; returns the new length.
long b64tobase64url(char* string);
// In place: "-" to "+", "_" to "/"; no padding is added.
long b64frombase64url(char* string);

// Convenience forms for C++ callers.
std::string hex_string(const unsigned char* bytes, size_t count, bool upper = true);
std::string b64_string(const unsigned char* bytes, size_t count);
std::vector<uint8_t> b64_bytes(const char* string);
std::vector<uint8_t> hex_bytes(const char* string);  // lenient

// --- Filters and detectors ---
// Copy the input's hex digits (hexfilter) or its base64 alphabet characters
// and "=" (b64filter) into a buffer of `size` bytes (NUL included), reading
// at most input_len characters and stopping at the input's NUL; return the
// characters written.
long hexfilter(char* output, long size, const char* input, long input_len);
long b64filter(char* output, long size, const char* input, long input_len);
// Character classes of the library's own table (independent of the C
// locale; bytes 128 to 255 are in no class).
bool is_hexdigit(char c);
bool is_space(char c);  // blank, tab, LF, VT, FF, CR
bool is_punct(char c);  // printable ASCII other than letters, digits, blank
// Each is true for the empty (or null) string.
bool detect_isbase64(const char* s);     // base64 alphabet, "=" or white space
bool detect_isbase64url(const char* s);  // the same with "-" and "_"
bool detect_ishexstrict(const char* s);  // hex digits only
bool detect_ishexloose(const char* s);   // hex digits, white space, punctuation
// True if no byte has its top bit set.
bool dataIs7bit(const unsigned char* bytes, long count);

// --- Base58 ---
// Base58 conversion takes time quadratic in the length: both directions
// refuse inputs longer than this many bytes (encoding) or characters
// (decoding, white space included), 64 KiB.
inline constexpr size_t kBase58MaxInput = size_t(64) << 10;
// The text in `out`: a "1" for each leading zero byte, then the base-58
// digits. Returns its length, or -26 (BAD_LENGTH_ERROR) for more than
// kBase58MaxInput bytes.
long base58_Encode(std::string& out, const unsigned char* bytes, size_t count);
// Decodes, skipping blanks, tabs, CR and LF; the bytes go to `out`. Returns
// their number, -8 for a character outside the alphabet, or -26
// (BAD_LENGTH_ERROR) for a string longer than kBase58MaxInput characters.
long base58_Decode(std::vector<uint8_t>& out, const char* string);

// --- UTF-8 and 8-bit character sets ---
// 0 not valid UTF-8; 1 valid, all bytes below 0x80; 2 valid, multi-byte
// characters only in U+0080..U+00FF; 3 valid with other characters. Null or
// empty is 1. Lead bytes F8 to FD with 4 and 5 continuation bytes are
// accepted; overlong forms, surrogates, U+FFFE and U+FFFF are not.
int check_utf8_bytes(const unsigned char* bytes, size_t count);
int check_utf8(const char* s);
// The same check over the rest of a stream, read to its end in pieces (a
// pipe as well as a file, whatever size the file system reports); -3
// (READ_ERROR) on a read error.
int check_utf8_stream(FILE* f);
// The same check over a named file or pipe (FIFO); anything else (a device
// such as /dev/zero, a directory) is refused with -1 (OPEN_ERROR), as is a
// name that cannot be opened.
int check_utf8_file(const char* name);
// UTF-8 bytes to Latin-1: -8 for FE, FF, a lead C0/C1 or a missing
// continuation byte; -11 for a character above U+00FF or a stray
// continuation byte. Writes at most max bytes; returns the characters
// written, or the full count when out is null.
long utf8_to_latin1(unsigned char* out, long max, const unsigned char* in, long n);
// 8-bit text to UTF-8: charset 0 Latin-1, 1 ISO 8859-15, 2 Windows-1252
// (anything else Latin-1). Characters are written only whole, the first that
// does not fit ends the output. Returns the bytes written, or the full
// length when out is null.
long eightbit_to_utf8(unsigned char* out, long max, const unsigned char* in, long n, int charset);
long latin1_to_utf8(unsigned char* out, long max, const unsigned char* in, long n);
// One code point as 1 to 4 UTF-8 bytes; 0 bytes above U+10FFFF.
size_t utf8_encode_cp(unsigned char* out, uint32_t cp);
// Big-endian UCS-2 / UCS-4 (BMPString, UniversalString) to Latin-1 or UTF-8
// in `out`. Returns the output length; -26 when n is not a multiple of the
// unit size; -11 (Latin-1 only) for a character above U+00FF. The UTF-8
// forms encode each unit as it is (nothing for values above U+10FFFF).
long ucs2_to_latin1(std::string& out, const unsigned char* in, size_t n);
long ucs4_to_latin1(std::string& out, const unsigned char* in, size_t n);
long ucs2_to_utf8(std::string& out, const unsigned char* in, size_t n);
long ucs4_to_utf8(std::string& out, const unsigned char* in, size_t n);
// 32-bit code points to UTF-8; -39 for a surrogate or a value above U+10FFFF.
long wide_to_utf8(std::string& out, const uint32_t* in, size_t n);
