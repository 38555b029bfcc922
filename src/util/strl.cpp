#include "util/strl.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "frame/error.h"

long strllen(const char* s) { return s ? long(strlen(s)) : 0; }

long strlcpy(char* dst, const char* src, long size) {
    if (!dst || !src || size < 1) return 0;
    long len = long(strlen(src));
    long n = len < size - 1 ? len : size - 1;
    memmove(dst, src, size_t(n));
    dst[n] = '\0';
    return len;
}

long strlncpy(char* dst, const char* src, long size, long n) {
    if (!dst || !src || size < 1) return 0;
    long len = long(strnlen(src, n < 0 ? 0 : size_t(n)));
    long k = len < size - 1 ? len : size - 1;
    memmove(dst, src, size_t(k));
    dst[k] = '\0';
    return len;
}

long strlcat(char* dst, const char* src, long size) {
    if (!dst || !src || size < 1) return 0;
    long dlen = long(strnlen(dst, size_t(size)));
    long slen = long(strlen(src));
    if (dlen >= size) return size + slen;
    long room = size - 1 - dlen;
    long n = slen < room ? slen : room;
    memmove(dst + dlen, src, size_t(n));
    dst[dlen + n] = '\0';
    return dlen + slen;
}

long strlncat(char* dst, const char* src, long size, long n) {
    if (!dst || !src || size < 1) return 0;
    long dlen = long(strnlen(dst, size_t(size)));
    long slen = long(strnlen(src, n < 0 ? 0 : size_t(n)));
    if (dlen >= size) return size + slen;
    long room = size - 1 - dlen;
    long k = slen < room ? slen : room;
    memmove(dst + dlen, src, size_t(k));
    dst[dlen + k] = '\0';
    return dlen + slen;
}

long slprintf(char* buf, long size, const char* format, ...) {
    if (!buf || size < 1) return -1;
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(buf, size_t(size), format, ap);
    va_end(ap);
    if (n < 0 || n >= size) return -1;
    return n;
}

long out_truncate(char* output, long declared, const char* text, long len) {
    if (!output || declared <= 0) return len;
    long n = declared < len ? declared : len;
    memcpy(output, text, size_t(n));
    output[n] = '\0';
    return n;
}

long out_exact(char* output, long declared, const char* text, long len) {
    if (!output || declared <= 0) return len;
    if (declared < len) return -SHORT_BUF_ERROR;
    memcpy(output, text, size_t(len));
    output[len] = '\0';
    return len;
}

long out_bytes_truncate(unsigned char* output, long declared, const unsigned char* data, long len) {
    if (!output || declared <= 0) return len;
    long n = declared < len ? declared : len;
    if (n > 0) memcpy(output, data, size_t(n));
    return n;
}

long out_bytes_exact(unsigned char* output, long declared, const unsigned char* data, long len) {
    if (!output || declared <= 0) return len;
    if (declared < len) return -SHORT_BUF_ERROR;
    if (len > 0) memcpy(output, data, size_t(len));
    return len;
}
