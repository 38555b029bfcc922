// The one-shot digest and HMAC operations behind HASH_ and HMAC_, their
// hexadecimal forms, file digests and the incremental digesters.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "encode/encode.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "util/emem.h"

using namespace velt::hash;

namespace {

bool has_algorithm(long alg) { return digest_length(alg) != 0; }

// Copies the digest by the truncation rule: min(declared, len) bytes, or the
// length on a query.
long copy_digest(unsigned char* output, long declared, const uint8_t* d, size_t len) {
    if (!output || declared <= 0) return long(len);
    size_t n = size_t(declared) < len ? size_t(declared) : len;
    memcpy(output, d, n);
    return long(n);
}

// Writes min(len, declared / 2) bytes of d as lower-case hex with a NUL;
// a null output or a declared length of 0 or less asks for 2 * len.
long write_hex(char* output, long declared, const uint8_t* d, size_t len) {
    if (!output || declared <= 0) return long(2 * len);
    size_t n = size_t(declared / 2) < len ? size_t(declared / 2) : len;
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < n; i++) {
        output[2 * i] = kDigits[d[i] >> 4];
        output[2 * i + 1] = kDigits[d[i] & 15];
    }
    output[2 * n] = '\0';
    return long(2 * n);
}

// Replaces the digest in d by the digest of itself (the double-hash flag).
void rehash(long alg, uint8_t* d) {
    if ((alg & kAlgMask) == kRmd160Sha256) return;
    uint8_t tmp[kMaxDigest];
    size_t n = digest_length(alg);
    memcpy(tmp, d, n);
    digest(alg, tmp, n, d);
    ewipe(tmp, sizeof tmp);
}

// Strictly decodes a hex message string into `out`. Odd length or a
// non-hex character is -8 (the empty string is the empty message).
long decode_hex_message(velt::SecureBytes& out, const char* hex) {
    size_t len = strlen(hex);
    if (len % 2) {
        eprintf("Hex string has odd length");
        return -INVALID_DATA_ERROR;
    }
    out.assign(len / 2, 0);
    if (len == 0) return 0;
    if (hexstr2bytes_strict(out.data(), hex, long(out.size())) < 0) {
        eprintf("Invalid hex character in message");
        return -INVALID_DATA_ERROR;
    }
    return 0;
}

}  // namespace

long hashLen(long value) {
    size_t n = digest_length(value & kAlgMask);
    if ((value & ~kAlgMask) || n == 0) return -BAD_FLAG_ERROR;
    return long(n);
}

long hashBytes(unsigned char* output, long declared, const void* message, long length, long options) {
    if (length < 0) return -BAD_PARAM_ERROR;
    long alg = options & kAlgMask;
    if (!has_algorithm(alg)) return -BAD_FLAG_ERROR;
    size_t len = digest_length(alg);
    if (!output || declared <= 0) return long(len);
    if (!message) length = 0;
    uint8_t d[kMaxDigest];
    velt::WipeOnExit wipe(d, sizeof d);
    digest(alg, message, size_t(length), d);
    if (options & kDouble) rehash(alg, d);
    return copy_digest(output, declared, d, len);
}

long hashMsgs2(unsigned char* output, long declared, const void* message1, long length1, const void* message2,
               long length2, long options) {
    if (length1 < 0 || length2 < 0) return -BAD_PARAM_ERROR;
    long alg = options & kAlgMask;
    Hasher h;
    if (!h.init(alg)) return -BAD_FLAG_ERROR;
    size_t len = h.length();
    if (!output || declared <= 0) return long(len);
    uint8_t d[kMaxDigest];
    velt::WipeOnExit wipe(d, sizeof d);
    if (message1) h.update(message1, size_t(length1));
    if (message2) h.update(message2, size_t(length2));
    h.final(d);
    if (options & kDouble) rehash(alg, d);
    return copy_digest(output, declared, d, len);
}

long hash_sha_Length(long value) {
    switch (value) {
        case kSha1:
        case kSha256:
        case kSha384:
        case kSha512:
        case kSha224: return long(digest_length(value));
        default: return -BAD_FLAG_ERROR;
    }
}

long hash_sha_Bytes(unsigned char* output, long declared, const void* message, long length, long options) {
    if (hash_sha_Length(options & kAlgMask) < 0) return -BAD_FLAG_ERROR;
    return hashBytes(output, declared, message, length, options);
}

long hashFile(unsigned char* output, long declared, const char* file_name, long options) {
    if (!file_name || !*file_name) return -BAD_PARAM_ERROR;
    // Text mode reads the same bytes as binary mode on this platform.
    int fd = open(file_name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        eprintf("Cannot open file '%s'", file_name);
        return -OPEN_ERROR;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        eprintf("'%s' is not a file", file_name);
        return -OPEN_ERROR;
    }
    long alg = options & kAlgMask;
    Hasher h;
    bool ok = h.init(alg == kRmd160Sha256 ? kSha256 : alg);
    if (!ok) {
        close(fd);
        return -BAD_FLAG_ERROR;
    }
    // Fixed-size chunks: memory stays flat whatever the file's size.
    constexpr size_t kChunk = 64 * 1024;
    velt::SecureBytes buf(kChunk);
    for (;;) {
        ssize_t r = read(fd, buf.data(), kChunk);
        if (r < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            close(fd);
            eprintf("Read error on file '%s': %s", file_name, strerror(e));
            return -READ_ERROR;
        }
        if (r == 0) break;
        h.update(buf.data(), size_t(r));
    }
    close(fd);
    uint8_t d[kMaxDigest];
    velt::WipeOnExit wipe(d, sizeof d);
    h.final(d);
    if (alg == kRmd160Sha256) {
        uint8_t inner[32];
        memcpy(inner, d, 32);
        digest(kRmd160, inner, 32, d);
        ewipe(inner, sizeof inner);
    }
    if (options & kDouble) rehash(alg, d);
    return copy_digest(output, declared, d, digest_length(alg));
}

long hashBytesHex(char* output, long declared, const void* message, long length, long options) {
    uint8_t d[kMaxDigest];
    velt::WipeOnExit wipe(d, sizeof d);
    long r = hashBytes(d, sizeof d, message, length, options);
    if (r < 0) return r;
    return write_hex(output, declared, d, size_t(r));
}

long hashFileHex(char* output, long declared, const char* file_name, long options) {
    uint8_t d[kMaxDigest];
    velt::WipeOnExit wipe(d, sizeof d);
    long r = hashFile(d, sizeof d, file_name, options);
    if (r < 0) return r;
    return write_hex(output, declared, d, size_t(r));
}

long hashHexHex(char* output, long declared, const char* message_hex, long options) {
    if (!message_hex) return -BAD_PARAM_ERROR;
    velt::SecureBytes msg;
    long r = decode_hex_message(msg, message_hex);
    if (r < 0) return r;
    return hashBytesHex(output, declared, msg.data(), long(msg.size()), options);
}

// --- HMAC ---

long hmacBytes(unsigned char* output, long declared, const void* message, long length, const unsigned char* key,
               long key_length, long options) {
    if (length < 0 || key_length < 0) return -BAD_PARAM_ERROR;
    long alg = options & kAlgMask;
    if (!hmac_allowed(alg)) return -BAD_FLAG_ERROR;
    size_t len = digest_length(alg);
    if (!output || declared <= 0) return long(len);
    uint8_t mac[kMaxDigest];
    velt::WipeOnExit wipe(mac, sizeof mac);
    hmac(alg, key, key ? size_t(key_length) : 0, message, message ? size_t(length) : 0, mac);
    return copy_digest(output, declared, mac, len);
}

long hmacBytesHex(char* output, long declared, const void* message, long length, const unsigned char* key,
                  long key_length, long options) {
    uint8_t mac[kMaxDigest];
    velt::WipeOnExit wipe(mac, sizeof mac);
    long r = hmacBytes(mac, sizeof mac, message, length, key, key_length, options);
    if (r < 0) return r;
    return write_hex(output, declared, mac, size_t(r));
}

long hmacHexHex(char* output, long declared, const char* message_hex, const char* key_hex, long options) {
    if (!message_hex || !key_hex) return -BAD_PARAM_ERROR;
    size_t klen = strlen(key_hex) / 2;
    if (klen == 0) {
        eprintf("Key is empty");
        return -BAD_KEY_LEN_ERROR;
    }
    velt::SecureBytes key(klen);
    if (hexstr2bytes_strict(key.data(), key_hex, long(klen)) < 0) {
        eprintf("Key is not valid hex");
        return -BAD_FORMAT_ERROR;
    }
    velt::SecureBytes msg;
    long r = decode_hex_message(msg, message_hex);
    if (r < 0) return r;
    return hmacBytesHex(output, declared, msg.data(), long(msg.size()), key.data(), long(key.size()), options);
}

long hmacshaLen(long value) {
    switch (value) {
        case kSha1:
        case kSha256:
        case kSha384:
        case kSha512: return long(digest_length(value));
        default: return -BAD_FLAG_ERROR;
    }
}

long hmacshaBytes(unsigned char* output, long declared, const void* message, long length, const unsigned char* key,
                  long key_length, long options) {
    if (hmacshaLen(options & kAlgMask) < 0) return -BAD_FLAG_ERROR;
    return hmacBytes(output, declared, message, length, key, key_length, options & kAlgMask);
}

// --- Digesters ---

struct HashDigester {
    uint32_t alg;
    bool ready;
    Hasher h;
};

struct HmacDigester {
    uint32_t alg;
    bool ready;
    Hmac m;
    Hmac keyed;  // the state just after keying, to start the next MAC
};

namespace {

template <class D>
D* new_digester() {
    void* p = ecalloc(1, sizeof(D));
    return new (p) D{};
}

template <class D>
void free_digester(D** d) {
    if (!d || !*d) return;
    (*d)->~D();
    ewipe(*d, sizeof(D));
    efree_mem(*d);
    *d = nullptr;
}

}  // namespace

HashDigester* hash_digester_New() { return new_digester<HashDigester>(); }

long hash_digester_Init(HashDigester* d, long value) {
    if (!d) return -BAD_PARAM_ERROR;
    d->alg = uint32_t(value);
    d->ready = value >= 0 && value <= 7 && d->h.init(value);
    return d->ready ? 0 : -NOT_SUPPORTED_ERROR;
}

long hash_digester_Update(HashDigester* d, const void* data, long length) {
    if (!d || length < 0 || (!data && length)) return -BAD_PARAM_ERROR;
    if (!d->ready) return -NOT_SUPPORTED_ERROR;
    d->h.update(data, size_t(length));
    return 0;
}

long hash_digester_Final(HashDigester* d, unsigned char* output, long declared) {
    if (!d) return -BAD_PARAM_ERROR;
    if (!d->ready) return -NOT_SUPPORTED_ERROR;
    size_t len = d->h.length();
    if (!output || declared <= 0) return long(len);
    uint8_t out[kMaxDigest];
    velt::WipeOnExit wipe(out, sizeof out);
    d->h.final(out);
    d->h.init(long(d->alg));  // ready for the next message
    return copy_digest(output, declared, out, len);
}

void hash_digester_Free(HashDigester** d) { free_digester(d); }

HmacDigester* hmac_digester_New() { return new_digester<HmacDigester>(); }

namespace {
bool hmac_digester_value(long value) {
    return value == kSha1 || value == kSha256 || value == kSha384 || value == kSha512 || value == kSha224;
}
}  // namespace

long hmac_digester_Init(HmacDigester* d, const unsigned char* key, long key_length, long value) {
    if (!d || key_length < 0 || (!key && key_length)) return -BAD_PARAM_ERROR;
    d->alg = uint32_t(value);
    d->ready = hmac_digester_value(value) && d->m.init(value, key, size_t(key_length));
    if (d->ready) d->keyed = d->m;
    return d->ready ? 0 : -NOT_SUPPORTED_ERROR;
}

long hmac_digester_Update(HmacDigester* d, const void* data, long length) {
    if (!d || length < 0 || (!data && length)) return -BAD_PARAM_ERROR;
    if (!d->ready) return -NOT_SUPPORTED_ERROR;
    d->m.update(data, size_t(length));
    return 0;
}

long hmac_digester_Final(HmacDigester* d, unsigned char* output, long declared) {
    if (!d) return -BAD_PARAM_ERROR;
    if (!d->ready) return -NOT_SUPPORTED_ERROR;
    size_t len = d->m.length();
    if (!output || declared <= 0) return long(len);
    uint8_t out[kMaxDigest];
    velt::WipeOnExit wipe(out, sizeof out);
    d->m.final(out);
    d->m = d->keyed;  // ready for the next message under the same key
    return copy_digest(output, declared, out, len);
}

void hmac_digester_Free(HmacDigester** d) { free_digester(d); }

long hmac_digester_bitlength(const HmacDigester* d, long value) {
    long v = d ? long(d->alg) : value;
    if (!hmac_digester_value(v)) return -NOT_SUPPORTED_ERROR;
    return long(digest_length(v) * 8);
}
