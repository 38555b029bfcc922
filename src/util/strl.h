// Bounded string copies: never write past `size` bytes and always terminate.
#pragma once

#include <cstddef>

// Copies at most size - 1 characters and a NUL; returns strlen(src). A null
// pointer or size below 1 writes nothing and returns 0.
long strlcpy(char* dst, const char* src, long size);
// Appends so the result has at most size - 1 characters; returns the length
// the whole result would have had.
long strlcat(char* dst, const char* src, long size);
// As strlcpy and strlcat, taking at most n characters of src.
long strlncpy(char* dst, const char* src, long size, long n);
long strlncat(char* dst, const char* src, long size, long n);
// strlen, 0 for null.
long strllen(const char* s);
// snprintf that returns -1 when size is below 1 or the text did not fit.
long slprintf(char* buf, long size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Output convention helpers shared by the exported wrappers.
// Copies text into a caller's string buffer that holds declared + 1 bytes,
// cutting it to `declared` characters; returns the characters written, or
// the full length on a length query (null output or declared <= 0).
long out_truncate(char* output, long declared, const char* text, long len);
// Copies text only if it fits whole: the length, or -30 when declared is too
// small; the length on a length query.
long out_exact(char* output, long declared, const char* text, long len);
// The same rules for byte arrays (no NUL written).
long out_bytes_truncate(unsigned char* output, long declared, const unsigned char* data, long len);
long out_bytes_exact(unsigned char* output, long declared, const unsigned char* data, long len);
