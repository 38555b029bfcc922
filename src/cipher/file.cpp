// The streaming file encryptor and decryptor: 4096-byte chunks, so memory
// use does not depend on the file's size. The output goes through the safe
// writer: a failed operation leaves whatever was at the output name as it
// was (no new file, an existing file untouched).
#include <cstdio>
#include <cstring>

#include "cipher/cipher.h"
#include "cipher/route_gcm.h"
#include "frame/error.h"
#include "util/emem.h"
#include "util/safe_write.h"

namespace velt::cipher {
namespace {

constexpr size_t kChunk = 4096;

// Reads up to n bytes, retrying short reads; sets *err on a read error.
size_t read_full(FILE* f, uint8_t* p, size_t n, bool* err) {
    size_t got = 0;
    while (got < n) {
        size_t k = fread(p + got, 1, n - got, f);
        if (k == 0) {
            if (ferror(f)) *err = true;
            break;
        }
        got += k;
    }
    return got;
}

long encrypt_stream(Context& ctx, FILE* in, SafeWriter& out, long options) {
    const size_t b = ctx.block();
    const bool pads = ctx.mode() == kEcb || ctx.mode() == kCbc;
    SecureBytes buf(kChunk + 16);
    for (;;) {
        bool err = false;
        size_t k = read_full(in, buf.data(), kChunk, &err);
        if (err) return READ_ERROR;
        const bool last = k < kChunk;
        // In ECB and CBC the final (possibly empty) chunk is always padded.
        if (last && pads) k += pad_bytes(buf.data() + k, k, b, pad_from_field(options));
        if (long r = ctx.update(buf.data(), buf.data(), k)) return -r;
        if (k && out.write(buf.data(), k)) return WRITE_ERROR;
        if (last) return 0;
    }
}

long decrypt_stream(Context& ctx, FILE* in, SafeWriter& out, long options) {
    const size_t b = ctx.block();
    const bool block_mode = ctx.mode() == kEcb || ctx.mode() == kCbc;
    const Pad pad = (options & kKeepPadding) ? Pad::kNone : pad_in_effect(options, ctx.mode());
    // One decrypted chunk is held back so that the last one can be unpadded.
    SecureBytes cur(kChunk), held(kChunk);
    size_t held_len = 0, total = 0;
    for (;;) {
        bool err = false;
        size_t k = read_full(in, cur.data(), kChunk, &err);
        if (err) return READ_ERROR;
        if (k == 0) break;
        total += k;
        if (block_mode && k % b) {
            eprintf("Input is not a whole number of blocks");
            return BAD_LENGTH_ERROR;
        }
        if (long r = ctx.update(cur.data(), cur.data(), k)) return -r;
        if (held_len && out.write(held.data(), held_len)) return WRITE_ERROR;
        cur.swap(held);
        held_len = k;
        if (k < kChunk) break;
    }
    if (pad != Pad::kNone) {
        if (total == 0) {
            eprintf("Input is empty");
            return BAD_LENGTH_ERROR;
        }
        long p = unpad_length(held.data(), held_len, b, pad);
        if (p < 0) {
            eprintf("Decryption error: invalid padding");
            return DECRYPT_ERROR;
        }
        held_len -= size_t(p);
    }
    if (held_len && out.write(held.data(), held_len)) return WRITE_ERROR;
    return 0;
}

}  // namespace

long cipher_file_crypt(bool encrypt, const char* out_file, const char* in_file, const uint8_t* key,
                       const uint8_t* iv, long options) {
    if (!out_file || !*out_file || !in_file || !*in_file) return BAD_PARAM_ERROR;
    if (safe_same_file(in_file, out_file)) {
        eprintf("Input and output files are the same");
        return DUP_ERROR;
    }
    const long alg = options & kAlgMask;
    const size_t b = alg_block_len(alg);
    if (!b) return INTERNAL_ERROR;
    int mode;
    switch (options & kModeMask) {
        case kModeEcb: mode = kEcb; break;
        case kModeCbc: mode = kCbc; break;
        case kModeOfb: mode = kOfb; break;
        case kModeCfb: mode = kCfb; break;
        case kModeCtr: mode = kCtr; break;
        default: return BAD_MODE_ERROR;
    }
    // The input is opened before anything is done to the output, and the
    // output is written to a temporary file that replaces the target only
    // when everything succeeded.
    FILE* in = fopen(in_file, "rb");
    if (!in) {
        eprintf("Cannot open input file '%s'", in_file);
        return OPEN_ERROR;
    }
    // Decrypted output may be secret: owner-only until the caller decides.
    SafeWriter out;
    if (out.open(out_file, encrypt ? WriteMode::kPublic : WriteMode::kSecret)) {
        fclose(in);
        eprint_headline("Cannot create output file '%s'", out_file);
        return CREATE_ERROR;
    }
    long r = 0;
    uint8_t iv_buf[16] = {0};
    if (iv && mode != kEcb) memcpy(iv_buf, iv, b);
    if ((options & kIvPrefix) && mode != kEcb) {
        if (encrypt) {
            if (out.write(iv_buf, b)) r = WRITE_ERROR;
        } else {
            bool err = false;
            if (read_full(in, iv_buf, b, &err) != b) r = READ_ERROR;
        }
    }
    if (r == 0) {
        Context ctx;
        r = -ctx.init(alg, key, encrypt, mode, iv_buf);
        if (r == 0) r = encrypt ? encrypt_stream(ctx, in, out, options) : decrypt_stream(ctx, in, out, options);
    }
    ewipe(iv_buf, sizeof iv_buf);
    fclose(in);
    if (r == 0) r = out.commit();
    return r;
}

long cipherFile(bool encrypt, const char* out_file, const char* in_file, const uint8_t* key, const uint8_t* iv,
                const char* selector, long options) {
    Selection s;
    long r = resolve_selector(selector, options, false, &s);
    if (r) return r;
    if (s.key_len == 0) return INTERNAL_ERROR;
    if (!key) return NULL_ERROR;
    const bool iv_from_file = !encrypt && (s.options & kIvPrefix);
    if (s.mode != kEcb && !iv && !iv_from_file) return BAD_IV_ERROR;
    return cipher_file_crypt(encrypt, out_file, in_file, key, iv, s.options);
}

long tdeaFile(const char* out_file, const char* in_file, const uint8_t* key, bool encrypt, const char* mode,
              const uint8_t* iv) {
    if (!key || !mode) return NULL_ERROR;
    const int m = mode_from_word(mode);
    if (m < 0) return BAD_MODE_ERROR;
    if (m != kEcb && !iv) return BAD_IV_ERROR;
    static constexpr long kModeBits[] = {kModeEcb, kModeCbc, kModeCfb, kModeOfb, kModeCtr};
    return cipher_file_crypt(encrypt, out_file, in_file, key, iv, kAlgTdea | kModeBits[m]);
}

static long file_newer(bool encrypt, const char* out_file, const char* in_file, const uint8_t* key, long key_len,
                       const uint8_t* iv, long iv_len, const char* selector, long options) {
    Selection s;
    long r = resolve_selector(selector, options, true, &s);
    if (r) return r;
    if (s.mode == kGcm) return gcm_file(encrypt, out_file, in_file, key, key_len, iv, iv_len, s.options);
    if (s.key_len == 0) return -INTERNAL_ERROR;
    if (key_len != long(s.key_len)) return -BAD_KEY_LEN_ERROR;
    const bool iv_from_file = !encrypt && (s.options & kIvPrefix);
    if (s.mode != kEcb && !iv_from_file && iv_len != long(s.block)) return -BAD_IV_LEN_ERROR;
    if (!key || (s.mode != kEcb && !iv_from_file && !iv)) return -NULL_ERROR;
    return -cipher_file_crypt(encrypt, out_file, in_file, key, iv_from_file ? nullptr : iv, s.options);
}

long cipherFileEncrypt(const char* out_file, const char* in_file, const uint8_t* key, long key_len, const uint8_t* iv,
                       long iv_len, const char* selector, long options) {
    return file_newer(true, out_file, in_file, key, key_len, iv, iv_len, selector, options);
}

long cipherFileDecrypt(const char* out_file, const char* in_file, const uint8_t* key, long key_len, const uint8_t* iv,
                       long iv_len, const char* selector, long options) {
    return file_newer(false, out_file, in_file, key, key_len, iv, iv_len, selector, options);
}

// Triple DES known-answer test: one ECB block each way from single-DES
// vectors (SP 800-20 variable plaintext and variable key, with K1 = K2 = K3),
// and 32 bytes of CBC each way under a fixed three-key bundle and IV.
long tdeaKnownAnswerTest() {
    static const uint8_t k1[8] = {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
    static const uint8_t p1[8] = {0x80, 0, 0, 0, 0, 0, 0, 0};
    static const uint8_t c1[8] = {0x95, 0xF8, 0xA5, 0xE5, 0xDD, 0x31, 0xD9, 0x00};
    static const uint8_t k2[8] = {0x80, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
    static const uint8_t c2[8] = {0x95, 0xA8, 0xD7, 0x28, 0x13, 0xDA, 0xA9, 0x4D};
    static const uint8_t p2[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    static const uint8_t k3[24] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0xBA, 0x98,
                                   0x76, 0x54, 0x32, 0x10, 0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67};
    static const uint8_t iv3[8] = {0x12, 0x34, 0x56, 0x78, 0x90, 0xAB, 0xCD, 0xEF};
    static const uint8_t p3[32] = {'T', 'h', 'i', 's', ' ', 's', 'o', 'm', 'e', ' ', 's', 'a', 'm', 'p', 'e', ' ',
                                   'c', 'o', 'n', 't', 'e', 'n', 't', '.', 8, 8, 8, 8, 8, 8, 8, 8};
    static const uint8_t c3[32] = {0x6e, 0x8a, 0x09, 0x12, 0x49, 0x16, 0x70, 0xad, 0x67, 0xab, 0x44,
                                   0x49, 0x21, 0xc8, 0xd1, 0xc6, 0x4a, 0x26, 0xd8, 0x3a, 0x70, 0x1e,
                                   0xbd, 0xcd, 0x7e, 0x93, 0x1b, 0x3c, 0xdc, 0xc1, 0x44, 0x4c};
    uint8_t key[24], buf[32];
    for (int i = 0; i < 3; ++i) memcpy(key + 8 * i, k1, 8);
    long r = 0;
    if (tdeaBytesMode(buf, p1, 8, key, true, "ECB", nullptr) || memcmp(buf, c1, 8)) r = -1;
    for (int i = 0; i < 3; ++i) memcpy(key + 8 * i, k2, 8);
    if (!r && (tdeaBytesMode(buf, c2, 8, key, false, "ECB", nullptr) || memcmp(buf, p2, 8))) r = -2;
    if (!r && (tdeaBytesMode(buf, p3, 32, k3, true, "CBC", iv3) || memcmp(buf, c3, 32))) r = -3;
    if (!r && (tdeaBytesMode(buf, c3, 32, k3, false, "CBC", iv3) || memcmp(buf, p3, 32))) r = -4;
    ewipe(key, sizeof key);
    ewipe(buf, sizeof buf);
    return r;
}

}  // namespace velt::cipher
