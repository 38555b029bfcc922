// Text encodings: hexadecimal, base64, base64url, base58, Latin-1/UTF-8, and
// the format detectors. What other subsystems may call.
#pragma once

#include <cstddef>
#include <cstdint>
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
long hexfilter(char* output, long size, const char* input, long input_len);
long b64filter(char* output, long size, const char* input, long input_len);
// Each is true for the empty string.
bool detect_isbase64(const char* s);
bool detect_isbase64url(const char* s);
bool detect_ishexstrict(const char* s);
bool detect_ishexloose(const char* s);
bool dataIs7bit(const unsigned char* bytes, long count);
