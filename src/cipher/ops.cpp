// The operations behind CIPHER_EncryptBytes/DecryptBytes and their
// hexadecimal forms, and the older CIPHER_Bytes, CIPHER_Hex and TDEA_
// functions.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <string>

#include "cipher/cipher.h"
#include "cipher/route_gcm.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "util/emem.h"

namespace velt::cipher {
namespace {

// True when the two ranges of n bytes share memory without being the same.
bool overlaps(const uint8_t* a, const uint8_t* b, size_t n) { return a != b && a < b + n && b < a + n; }

// Key and IV length rules of the newer functions (negative codes).
long check_key_iv(const Selection& s, long key_len, long iv_len, bool decrypt) {
    if (s.key_len == 0) return -INTERNAL_ERROR;
    if (key_len != long(s.key_len)) {
        eprintf("Invalid key length %ld (expected %zu)", key_len, s.key_len);
        return -BAD_KEY_LEN_ERROR;
    }
    const bool iv_from_input = decrypt && (s.options & kIvPrefix);
    if (s.mode != kEcb && !iv_from_input && iv_len != long(s.block)) {
        eprintf("Invalid IV length %ld (expected %zu)", iv_len, s.block);
        return -BAD_IV_LEN_ERROR;
    }
    return 0;
}

// Strict hexadecimal into secret bytes; false when not valid hexadecimal.
bool hex_in(const char* s, SecureBytes& out) {
    long n = hexstr2bytes_strict(nullptr, s, 0);
    if (n < 0) return false;
    out.resize(size_t(n));
    hexstr2bytes_strict(out.data(), s, n);
    return true;
}

// Upper-case hexadecimal of (possibly secret) bytes without a table lookup:
// digits above 9 are moved up by 7 to reach 'A' through a mask.
inline char hex_digit(int v) { return char('0' + v + (((9 - v) >> 8) & 7)); }

void hex_out(char* out, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = hex_digit(p[i] >> 4);
        out[2 * i + 1] = hex_digit(p[i] & 15);
    }
    out[2 * n] = '\0';
}

// Base64 text is the alphabet, "=" and white space only, and decodes to
// something when it is not blank.
bool b64_in(const char* s, SecureBytes& out) {
    bool any = false;
    for (const char* p = s; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (isalnum(c) || c == '+' || c == '/') {
            any = true;
        } else if (c != '=' && !isspace(c)) {
            return false;
        }
    }
    out.resize(strlen(s) * 3 / 4 + 3);
    long n = b64decode(out.data(), long(out.size()), s);
    out.resize(size_t(n));
    return !any || n > 0;
}

// Runs one context over data in place (positive error codes).
long run_in_place(long alg, int mode, bool encrypt, const uint8_t* key, const uint8_t* iv, uint8_t* data, size_t n) {
    const size_t b = alg_block_len(alg);
    if ((mode == kEcb || mode == kCbc) && n % b) {
        eprintf("Data length %zu is not a multiple of the block length %zu", n, b);
        return BAD_LENGTH_ERROR;
    }
    Context ctx;
    long r = ctx.init(alg, key, encrypt, mode, iv);
    if (r == 0) r = ctx.update(data, data, n);
    return -r;
}

}  // namespace

long cipherEncryptBytes(uint8_t* out, long out_len, const uint8_t* in, long in_len, const uint8_t* key, long key_len,
                        const uint8_t* iv, long iv_len, const char* selector, long options) {
    Selection s;
    long r = resolve_selector(selector, options, true, &s);
    if (r) return r;
    if (s.mode == kGcm) return gcm_encrypt_bytes(out, out_len, in, in_len, key, key_len, iv, iv_len, s.options);
    if ((r = check_key_iv(s, key_len, iv_len, false))) return r;
    if (in_len < 0) return -BAD_LENGTH_ERROR;
    const size_t b = s.block;
    // Padding and the IV prefix add at most two blocks: refuse a length whose
    // output size would not fit in a long.
    if (in_len > LONG_MAX - 2 * long(b)) {
        eprintf("Input length %ld is too long", in_len);
        return -BAD_LENGTH_ERROR;
    }
    const Pad pad = pad_in_effect(s.options, s.mode);
    const bool prefix = s.options & kIvPrefix;
    size_t n = size_t(in_len);
    if (pad != Pad::kNone) n += b - n % b;
    const long required = long(n + (prefix ? b : 0));
    if (!out || out_len <= 0) return required;
    if ((!in && in_len > 0) || !key || (s.mode != kEcb && !iv)) return -NULL_ERROR;
    if (out_len < required) return -SHORT_BUF_ERROR;
    if ((s.mode == kEcb || s.mode == kCbc) && n % b) {
        eprintf("Input length %ld is not a multiple of the block length %zu", in_len, b);
        return -BAD_LENGTH_ERROR;
    }
    // The IV is kept before any output is written: it may lie in the output.
    uint8_t iv_copy[16] = {0};
    const size_t have_iv = iv ? std::min(b, size_t(std::max(iv_len, 0L))) : 0;
    if (have_iv) memcpy(iv_copy, iv, have_iv);
    uint8_t* dst = out + (prefix ? b : 0);
    if (in_len && overlaps(dst, in, size_t(in_len))) {
        memmove(dst, in, size_t(in_len));
        in = dst;
    }
    Context ctx;
    if ((r = ctx.init(s.alg, key, true, s.mode, s.mode == kEcb ? nullptr : iv_copy))) return r;
    // Whole blocks go straight from the input; with padding the last
    // (partial) block is completed in a stack buffer.
    const size_t direct = pad == Pad::kNone ? size_t(in_len) : size_t(in_len) - size_t(in_len) % b;
    if (direct && (r = ctx.update(dst, in, direct))) return r;
    if (pad != Pad::kNone) {
        uint8_t last[16];
        const size_t rest = size_t(in_len) - direct;
        if (rest) memcpy(last, in + direct, rest);
        pad_bytes(last + rest, size_t(in_len), b, pad);
        r = ctx.update(dst + direct, last, b);
        ewipe(last, sizeof last);
        if (r) return r;
    }
    if (prefix) {
        // In ECB the IV argument is optional: what is given is copied, the
        // rest of the block is zero.
        memcpy(out, iv_copy, b);
    }
    return required;
}

long cipherDecryptBytes(uint8_t* out, long out_len, const uint8_t* in, long in_len, const uint8_t* key, long key_len,
                        const uint8_t* iv, long iv_len, const char* selector, long options) {
    Selection s;
    long r = resolve_selector(selector, options, true, &s);
    if (r) return r;
    if (s.mode == kGcm) return gcm_decrypt_bytes(out, out_len, in, in_len, key, key_len, iv, iv_len, s.options);
    if ((r = check_key_iv(s, key_len, iv_len, true))) return r;
    if (in_len < 0) return -BAD_LENGTH_ERROR;
    if (out_len < 0) return -BAD_PARAM_ERROR;
    if ((!in && in_len > 0) || !key) return -NULL_ERROR;
    const size_t b = s.block;
    const Pad pad = pad_in_effect(s.options, s.mode);
    const uint8_t* ct = in;
    size_t ct_len = size_t(in_len);
    if (s.options & kIvPrefix) {
        if (ct_len < b) return -BAD_LENGTH_ERROR;
        iv = in;
        ct += b;
        ct_len -= b;
    } else if (s.mode != kEcb && !iv) {
        return -NULL_ERROR;
    }
    const uint8_t* ctx_iv = s.mode == kEcb ? nullptr : iv;
    if (pad == Pad::kNone) {
        if (!out || out_len == 0) return long(ct_len);
        if (out_len < long(ct_len)) return -SHORT_BUF_ERROR;
        if ((s.mode == kEcb || s.mode == kCbc) && ct_len % b) {
            eprintf("Ciphertext length %zu is not a multiple of the block length %zu", ct_len, b);
            return -BAD_LENGTH_ERROR;
        }
        // The context copies the IV before the output, which may hold the
        // input's IV prefix, is written.
        Context ctx;
        if ((r = ctx.init(s.alg, key, false, s.mode, ctx_iv))) return r;
        if (overlaps(out, ct, ct_len)) {
            memmove(out, ct, ct_len);
            ct = out;
        }
        if ((r = ctx.update(out, ct, ct_len))) return r;
        return long(ct_len);
    }
    if (ct_len == 0 || ct_len % b) {
        eprintf("Ciphertext length %zu is not a positive multiple of the block length %zu", ct_len, b);
        return -BAD_LENGTH_ERROR;
    }
    // The last block is decrypted first (in CBC its chaining block is the
    // ciphertext block before it) and its padding checked, so that the
    // exact length is known and nothing is written when the padding is bad.
    uint8_t last[16];
    WipeOnExit wipe_last(last, sizeof last);
    {
        Context ctx;
        const uint8_t* chain = ct_len > b ? ct + ct_len - 2 * b : ctx_iv;
        if ((r = ctx.init(s.alg, key, false, s.mode, s.mode == kEcb ? nullptr : chain))) return r;
        if ((r = ctx.update(last, ct + ct_len - b, b))) return r;
    }
    long p = unpad_length(last, b, b, pad);
    if (p < 0) {
        eprintf("Decryption error: invalid padding");
        return -DECRYPT_ERROR;
    }
    const long result = long(ct_len) - p;
    if (!out || out_len == 0) return result;
    if (out_len < result) return -SHORT_BUF_ERROR;
    const size_t head = ct_len - b;
    if (head) {
        Context ctx;
        if ((r = ctx.init(s.alg, key, false, s.mode, ctx_iv))) return r;
        if (overlaps(out, ct, ct_len)) {
            memmove(out, ct, head);
            ct = out;
        }
        if ((r = ctx.update(out, ct, head))) return r;
    }
    if (result > long(head)) memcpy(out + head, last, size_t(result) - head);
    return result;
}

static long cipher_hex(bool encrypt, char* out, long out_chars, const char* in, const char* key, const char* iv,
                       const char* selector, long options) {
    if (!in || !key) return -NULL_ERROR;
    SecureBytes data, k, v;
    if (!hex_in(in, data) || !hex_in(key, k) || (iv && !hex_in(iv, v))) {
        eprintf("Invalid hexadecimal input");
        return -INVALID_DATA_ERROR;
    }
    const uint8_t* ivp = iv ? v.data() : nullptr;
    auto op = encrypt ? cipherEncryptBytes : cipherDecryptBytes;
    // Keep pointers valid for empty vectors.
    data.reserve(1);
    k.reserve(1);
    v.reserve(1);
    if (!out || out_chars <= 0) {
        long r = op(nullptr, 0, data.data(), long(data.size()), k.data(), long(k.size()), ivp, long(v.size()),
                    selector, options);
        return r < 0 ? r : 2 * r;
    }
    SecureBytes scratch(data.size() + 32);
    long r = op(scratch.data(), long(scratch.size()), data.data(), long(data.size()), k.data(), long(k.size()), ivp,
                long(v.size()), selector, options);
    if (r < 0) return r;
    if (out_chars < 2 * r) return -SHORT_BUF_ERROR;
    hex_out(out, scratch.data(), size_t(r));
    return 2 * r;
}

long cipherEncryptHex(char* out, long out_chars, const char* in, const char* key, const char* iv, const char* selector,
                      long options) {
    return cipher_hex(true, out, out_chars, in, key, iv, selector, options);
}

long cipherDecryptHex(char* out, long out_chars, const char* in, const char* key, const char* iv, const char* selector,
                      long options) {
    return cipher_hex(false, out, out_chars, in, key, iv, selector, options);
}

long cipherBytes(bool encrypt, uint8_t* out, const uint8_t* in, long n, const uint8_t* key, const uint8_t* iv,
                 const char* selector, long options) {
    Selection s;
    long r = resolve_selector(selector, options, false, &s);
    if (r) return r;
    if (s.key_len == 0) return INTERNAL_ERROR;
    if (!out || !in || !key) return NULL_ERROR;
    if (n < 0) return BAD_LENGTH_ERROR;
    if (s.mode != kEcb && !iv) return BAD_IV_ERROR;
    // Key and IV are copied first: they may lie in the output.
    uint8_t k[32], v[16] = {0};
    WipeOnExit wipe_k(k, sizeof k);
    memcpy(k, key, s.key_len);
    if (s.mode != kEcb) memcpy(v, iv, s.block);
    if (n > 0) memmove(out, in, size_t(n));
    return run_in_place(s.alg, s.mode, encrypt, k, v, out, size_t(n));
}

// The older hexadecimal form shared by CIPHER_Hex and TDEA_HexMode: out_chars
// < 0 means the caller gave no room (TDEA_HexMode), which the output never
// exceeds since it is as long as the input.
static long older_hex(bool encrypt, char* out, long out_chars, const char* in, const char* key, const char* iv,
                      long alg, int mode) {
    if (!out || !in || !*in || !key || !*key) return BAD_PARAM_ERROR;
    if (strlen(in) < 2) return BAD_LENGTH_ERROR;
    SecureBytes data, k, v;
    if (!hex_in(in, data)) {
        eprintf("Invalid hexadecimal data");
        return BAD_FORMAT_ERROR;
    }
    if (!hex_in(key, k) || k.size() != alg_key_len(alg)) return BAD_KEY_LEN_ERROR;
    if (mode != kEcb && (!iv || !hex_in(iv, v) || v.size() != alg_block_len(alg))) return BAD_IV_ERROR;
    if (out_chars >= 0 && out_chars < long(2 * data.size())) return SHORT_BUF_ERROR;
    long r = run_in_place(alg, mode, encrypt, k.data(), mode == kEcb ? nullptr : v.data(), data.data(), data.size());
    if (r) return r;
    hex_out(out, data.data(), data.size());
    return 0;
}

long cipherHex(bool encrypt, char* out, long out_chars, const char* in, const char* key, const char* iv,
               const char* selector, long options) {
    Selection s;
    long r = resolve_selector(selector, options, false, &s);
    if (r) return r;
    if (s.key_len == 0) return INTERNAL_ERROR;
    return older_hex(encrypt, out, std::max(out_chars, 0L), in, key, iv, s.alg, s.mode);
}

long tdeaBytesMode(uint8_t* out, const uint8_t* in, long n, const uint8_t* key, bool encrypt, const char* mode,
                   const uint8_t* iv) {
    if (!out || !in || !key || !mode) return NULL_ERROR;
    const int m = mode_from_word(mode);
    if (m < 0) return BAD_MODE_ERROR;
    if (n < 0) return BAD_LENGTH_ERROR;
    if (m != kEcb && !iv) return BAD_IV_ERROR;
    // Key and IV are copied first: they may lie in the output.
    uint8_t k[24], v[8] = {0};
    WipeOnExit wipe_k(k, sizeof k);
    memcpy(k, key, sizeof k);
    if (m != kEcb) memcpy(v, iv, sizeof v);
    if (n > 0) memmove(out, in, size_t(n));
    return run_in_place(kAlgTdea, m, encrypt, k, v, out, size_t(n));
}

long tdeaHexMode(char* out, const char* in, const char* key, bool encrypt, const char* mode, const char* iv) {
    if (!mode) return BAD_PARAM_ERROR;
    const int m = mode_from_word(mode);
    if (m < 0) return BAD_MODE_ERROR;
    return older_hex(encrypt, out, -1, in, key, iv, kAlgTdea, m);
}

long tdeaB64Mode(char* out, const char* in, const char* key, bool encrypt, const char* mode, const char* iv) {
    if (!out || !in || !*in || !key || !*key || !mode || !*mode) return NULL_ERROR;
    const int m = mode_from_word(mode);
    if (m < 0) return BAD_MODE_ERROR;
    SecureBytes data, k, v;
    if (!b64_in(in, data)) {
        eprintf("Invalid base64 data");
        return BAD_FORMAT_ERROR;
    }
    if (!b64_in(key, k) || k.size() != 24) return BAD_KEY_LEN_ERROR;
    if (m != kEcb && (!iv || !b64_in(iv, v) || v.size() != 8)) return BAD_IV_ERROR;
    // The caller's buffer is taken to be as long as the input string (+1).
    const size_t out_len = 4 * ((data.size() + 2) / 3);
    if (out_len > strlen(in)) {
        eprintf("Output would be longer than the input string");
        return SHORT_BUF_ERROR;
    }
    long r = run_in_place(kAlgTdea, m, encrypt, k.data(), m == kEcb ? nullptr : v.data(), data.data(), data.size());
    if (r) return r;
    b64encode(out, long(out_len + 1), data.data(), long(data.size()));
    out[out_len] = '\0';
    return 0;
}

}  // namespace velt::cipher
