// Block padding and its constant-time check, and the PAD_ operations.
#include <cctype>
#include <climits>
#include <cstring>

#include "cipher/cipher.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::cipher {

Pad pad_in_effect(long options, int mode) {
    if (mode != kEcb && mode != kCbc) return Pad::kNone;
    switch (options & kPadMask) {
        case kPadDefault:
        case kPadPkcs5: return Pad::kPkcs5;
        case kPadOneAndZeroes: return Pad::kOneAndZeroes;
        case kPadAnsiX923: return Pad::kAnsiX923;
        case kPadW3c: return Pad::kW3c;
        default: return Pad::kNone;
    }
}

Pad pad_from_field(long options) {
    switch (options & kPadMask) {
        case kPadOneAndZeroes: return Pad::kOneAndZeroes;
        case kPadAnsiX923: return Pad::kAnsiX923;
        case kPadW3c: return Pad::kW3c;
        default: return Pad::kPkcs5;
    }
}

size_t pad_bytes(uint8_t* out, size_t len, size_t block, Pad kind) {
    const size_t p = block - len % block;
    switch (kind) {
        case Pad::kOneAndZeroes:
            out[0] = 0x80;
            memset(out + 1, 0, p - 1);
            break;
        case Pad::kAnsiX923:
            memset(out, 0, p - 1);
            out[p - 1] = uint8_t(p);
            break;
        default:
            memset(out, int(p), p);
            break;
    }
    return p;
}

// Every byte of the last block is visited whatever the pad length, and the
// results are combined with masks: the time taken does not depend on the
// padding's contents.
long unpad_length(const uint8_t* data, size_t len, size_t block, Pad kind) {
    const uint8_t* last = data + len - block;
    uint64_t ok, n;
    if (kind == Pad::kOneAndZeroes) {
        uint64_t found = 0, bad = 0;
        n = 0;
        for (size_t j = 0; j < block; ++j) {
            uint64_t x = last[block - 1 - j];
            uint64_t is80 = ct::mask_eq(x, 0x80);
            uint64_t searching = ~found;
            n = ct::select(searching & is80, j + 1, n);
            bad |= searching & ~is80 & ct::mask_nonzero(x);
            found |= searching & is80;
        }
        ok = found & ~bad;
    } else {
        n = last[block - 1];
        ok = ct::mask_nonzero(n) & ct::mask_le(n, block);
        if (kind != Pad::kW3c) {
            const uint64_t want = kind == Pad::kAnsiX923 ? 0 : n;
            for (size_t i = 0; i + 1 < block; ++i) {
                // Byte i is inside the pad when block - 1 - i < n.
                uint64_t in_pad = ct::mask_lt(block - 1 - i, n);
                ok &= ~in_pad | ct::mask_eq(last[i], want);
            }
        }
    }
    // The result is chosen without a branch; only the caller looks at it.
    return long(ct::select(ok, n, uint64_t(-DECRYPT_ERROR)));
}

long padBytesBlock(uint8_t* out, long out_len, const uint8_t* in, long in_len, long block, long options) {
    if (block != 8 && block != 16) return -BAD_BLK_LEN_ERROR;
    if (in_len < 0) return -BAD_LENGTH_ERROR;
    if (!in && in_len > 0) return -NULL_ERROR;
    // The padded length must fit in a long.
    if (in_len > LONG_MAX - block) return -BAD_LENGTH_ERROR;
    const long required = in_len + (block - in_len % block);
    if (!out || out_len <= 0) return required;
    if (out_len < required) return -SHORT_BUF_ERROR;
    if (in_len) memmove(out, in, size_t(in_len));
    pad_bytes(out + in_len, size_t(in_len), size_t(block), pad_from_field(options));
    return required;
}

// The unpadding kind of the PAD_ functions: the field's kind, where "none"
// leaves the data as it is.
static bool unpad_kind(long options, Pad* kind) {
    if ((options & kPadMask) == kPadNone) return false;
    *kind = pad_from_field(options);
    return true;
}

long padUnpadBytes(uint8_t* out, long out_len, const uint8_t* in, long in_len, long block, long options) {
    if (block != 8 && block != 16) return -BAD_BLK_LEN_ERROR;
    if (!in) return -NULL_ERROR;
    if (in_len < block || in_len % block) return -BAD_LENGTH_ERROR;
    long result = in_len;
    Pad kind;
    if (unpad_kind(options, &kind)) {
        long p = unpad_length(in, size_t(in_len), size_t(block), kind);
        if (p < 0) return p;
        result = in_len - p;
    }
    if (!out || out_len <= 0) return result;
    if (out_len < result) return -SHORT_BUF_ERROR;
    if (result) memmove(out, in, size_t(result));
    return result;
}

static bool is_hex_even(const char* s, size_t n) {
    if (n % 2) return false;
    for (size_t i = 0; i < n; ++i)
        if (!isxdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

long padHexBlock(char* out, long out_chars, const char* in, long block, long options) {
    if (block != 8 && block != 16) return -BAD_BLK_LEN_ERROR;
    if (!in) return -NULL_ERROR;
    const size_t n = strlen(in);
    if (!is_hex_even(in, n)) return -BAD_FORMAT_ERROR;
    uint8_t pad[16];
    const size_t p = pad_bytes(pad, n / 2, size_t(block), pad_from_field(options));
    const long required = long(n + 2 * p);
    if (!out || out_chars <= 0) return required;
    if (out_chars < required) return -SHORT_BUF_ERROR;
    memmove(out, in, n);
    bytes2hexstr(out + n, pad, long(p));
    out[required] = '\0';
    return required;
}

long padUnpadHex(char* out, long out_chars, const char* in, long block, long options) {
    if (block != 8 && block != 16) return -BAD_BLK_LEN_ERROR;
    if (!in) return -NULL_ERROR;
    const size_t n = strlen(in);
    if (n == 0 || !is_hex_even(in, n)) return -BAD_FORMAT_ERROR;
    if (n / 2 < size_t(block) || (n / 2) % size_t(block)) return -BAD_LENGTH_ERROR;
    long result = long(n);
    Pad kind;
    if (unpad_kind(options, &kind)) {
        uint8_t last[16];
        hexstr2bytes_strict(last, in + n - 2 * size_t(block), block);
        long p = unpad_length(last, size_t(block), size_t(block), kind);
        ewipe(last, sizeof last);
        if (p < 0) return p;
        result = long(n) - 2 * p;
    }
    if (!out || out_chars <= 0) return result;
    if (out_chars < result) return -SHORT_BUF_ERROR;
    memmove(out, in, size_t(result));
    out[result] = '\0';
    return result;
}

}  // namespace velt::cipher
