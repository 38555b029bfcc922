// One-shot AEAD over byte arrays and AES-GCM over files.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cipher/aead.h"
#include "frame/error.h"
#include "util/emem.h"

namespace velt::aead {
namespace {

constexpr size_t kChunk = 4096;

struct Selected {
    AeadCtx::Algorithm alg;
    size_t key_len;
};

// The algorithm from the option word; false (error 17 recorded) for anything
// that is not one of the four AEAD selector values.
bool select(long options, Selected& sel) {
    switch (options & kAeadMask) {
        case kAes128Gcm: sel = {AeadCtx::kGcm, 16}; return true;
        case kAes192Gcm: sel = {AeadCtx::kGcm, 24}; return true;
        case kAes256Gcm: sel = {AeadCtx::kGcm, 32}; return true;
        case kChaCha20Poly1305: sel = {AeadCtx::kChaChaPoly, 32}; return true;
        default:
            eprintf("Invalid AEAD algorithm 0x%lx in the option word", options & kAeadMask);
            return false;
    }
}

// True when the two ranges of n bytes share memory without being the same.
bool overlaps(const unsigned char* a, const unsigned char* b, size_t n) {
    const uintptr_t x = reinterpret_cast<uintptr_t>(a), y = reinterpret_cast<uintptr_t>(b);
    return x != y && x < y + n && y < x + n;
}

long fail(long code, const char* what) {
    eprintf("%s", what);
    return -code;
}

}  // namespace

long aeadEncrypt(unsigned char* out, long outLen, const unsigned char* in, long inLen, const unsigned char* key,
                 long keyLen, const unsigned char* iv, long ivLen, const unsigned char* aad, long aadLen,
                 long options) {
    if (!key || keyLen <= 0) return fail(BAD_KEY_ERROR, "AEAD key is missing");
    if (!iv || ivLen <= 0) return fail(BAD_IV_ERROR, "AEAD nonce is missing");
    if (outLen < 0) return fail(BAD_PARAM_ERROR, "Output length is negative");
    if (inLen < 0) return fail(BAD_LENGTH_ERROR, "Input length is negative");
    if (aadLen < 0) return fail(BAD_LENGTH_ERROR, "Associated data length is negative");
    if (!in && inLen > 0) return fail(NULL_ERROR, "Input is null");
    if (!aad && aadLen > 0) return fail(NULL_ERROR, "Associated data is null");
    Selected sel;
    if (!select(options, sel)) return -BAD_FLAG_ERROR;
    if (size_t(keyLen) != sel.key_len) {
        eprintf("AEAD key must be %zu bytes, not %ld", sel.key_len, keyLen);
        return -BAD_KEY_LEN_ERROR;
    }
    if (size_t(ivLen) != kNonceLen) {
        eprintf("AEAD nonce must be 12 bytes, not %ld", ivLen);
        return -BAD_IV_LEN_ERROR;
    }
    if (inLen > LONG_MAX - 28) return fail(BAD_LENGTH_ERROR, "Input too long");
    const bool prefix = (options & kAeadIvPrefix) != 0;
    const long required = inLen + long(kTagLen) + (prefix ? long(kNonceLen) : 0);
    if (out && outLen >= 1 && outLen < required) {
        eprintf("Output needs %ld bytes, room for %ld", required, outLen);
        return -SHORT_BUF_ERROR;
    }
    if (!out || outLen == 0) return required;

    unsigned char* ct = out + (prefix ? kNonceLen : 0);
    // The nonce is copied and the associated data absorbed before anything
    // is written: either may lie inside the output.
    uint8_t nonce[kNonceLen];
    memcpy(nonce, iv, kNonceLen);
    AeadCtx ctx(sel.alg);
    long r = ctx.InitKey(key, size_t(keyLen));
    if (r == 0) r = ctx.SetNonce(nonce, kNonceLen);
    if (r == 0 && aadLen > 0) r = ctx.AddAAD(aad, size_t(aadLen));
    if (r == 0) r = ctx.StartEncrypt();
    // The stream code works in place (in == out) but not on a shifted
    // overlap, such as the same buffer with the nonce in front: the input is
    // moved to where the ciphertext goes first.
    if (r == 0 && inLen > 0 && overlaps(ct, in, size_t(inLen))) {
        memmove(ct, in, size_t(inLen));
        in = ct;
    }
    if (r == 0 && inLen > 0) r = ctx.Update(ct, in, size_t(inLen));
    uint8_t tag[kTagLen];
    if (r == 0) r = ctx.FinishEncrypt(tag, sizeof tag);
    if (r != 0) {
        ewipe(tag, sizeof tag);
        ewipe(out, size_t(required));
        return fail(-r, "AEAD encryption failed");
    }
    memcpy(ct + inLen, tag, kTagLen);
    if (prefix) memcpy(out, nonce, kNonceLen);
    ewipe(tag, sizeof tag);
    return required;
}

long aeadDecrypt(unsigned char* out, long outLen, const unsigned char* in, long inLen, const unsigned char* key,
                 long keyLen, const unsigned char* iv, long ivLen, const unsigned char* aad, long aadLen,
                 long options) {
    if (!key || keyLen <= 0) return fail(BAD_KEY_ERROR, "AEAD key is missing");
    if (outLen < 0) return fail(BAD_PARAM_ERROR, "Output length is negative");
    if (inLen < 0) return fail(BAD_LENGTH_ERROR, "Input length is negative");
    if (aadLen < 0) return fail(BAD_LENGTH_ERROR, "Associated data length is negative");
    if (!in && inLen > 0) return fail(NULL_ERROR, "Input is null");
    if (!aad && aadLen > 0) return fail(NULL_ERROR, "Associated data is null");
    Selected sel;
    if (!select(options, sel)) return -BAD_FLAG_ERROR;
    if (size_t(keyLen) != sel.key_len) {
        eprintf("AEAD key must be %zu bytes, not %ld", sel.key_len, keyLen);
        return -BAD_KEY_LEN_ERROR;
    }
    const bool prefix = (options & kAeadIvPrefix) != 0;
    const long overhead = long(kTagLen) + (prefix ? long(kNonceLen) : 0);
    // An empty or absent input cannot carry a tag either.
    if (inLen < overhead) {
        eprintf("AEAD input of %ld bytes is shorter than its %ld-byte tag and nonce", inLen, overhead);
        return -BAD_LENGTH_ERROR;
    }
    const long ctLen = inLen - overhead;
    const unsigned char* nonce = iv;
    if (prefix) {
        nonce = in;
    } else {
        if (!iv || ivLen <= 0) return fail(BAD_IV_ERROR, "AEAD nonce is missing");
        if (ivLen != long(kNonceLen)) {
            eprintf("AEAD nonce must be 12 bytes, not %ld", ivLen);
            return -BAD_IV_LEN_ERROR;
        }
    }
    const unsigned char* ct = in + (prefix ? kNonceLen : 0);
    const unsigned char* tag = ct + ctLen;
    if (out && outLen >= 1 && outLen < ctLen) {
        eprintf("Output needs %ld bytes, room for %ld", ctLen, outLen);
        return -SHORT_BUF_ERROR;
    }
    if (!out || outLen == 0) return ctLen;

    // The tag and nonce are copied first: out may overlap the input.
    uint8_t tagcopy[kTagLen], noncecopy[kNonceLen];
    memcpy(tagcopy, tag, kTagLen);
    memcpy(noncecopy, nonce, kNonceLen);
    AeadCtx ctx(sel.alg);
    long r = ctx.InitKey(key, size_t(keyLen));
    if (r == 0) r = ctx.SetNonce(noncecopy, kNonceLen);
    if (r == 0 && aadLen > 0) r = ctx.AddAAD(aad, size_t(aadLen));
    if (r == 0) r = ctx.StartDecrypt(tagcopy, kTagLen);
    // A shifted overlap (in place with the nonce in front) is made exact.
    if (r == 0 && ctLen > 0 && overlaps(out, ct, size_t(ctLen))) {
        memmove(out, ct, size_t(ctLen));
        ct = out;
    }
    if (r == 0 && ctLen > 0) r = ctx.Update(out, ct, size_t(ctLen));
    if (r == 0) r = ctx.FinishDecrypt();
    ewipe(tagcopy, sizeof tagcopy);
    if (r != 0) {
        // Unauthenticated plaintext never reaches the caller.
        if (ctLen > 0) ewipe(out, size_t(ctLen));
        if (r == -AUTH_FAIL_ERROR) return fail(AUTH_FAIL_ERROR, "AEAD tag does not match: authentication failed");
        return fail(-r, "AEAD decryption failed");
    }
    return ctLen;
}

// ---------------------------------------------------------------- files

namespace {

bool same_file(const char* a, const char* b) {
    if (strcmp(a, b) == 0) return true;
    struct stat sa, sb;
    if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Owns the two files of a GCM file operation. Unless commit() is called, the
// destructor empties and deletes the output file, so that a failed operation
// leaves no output (and no unauthenticated plaintext) behind.
class FilePair {
public:
    FilePair(const char* out_name) : out_name_(out_name) {}
    ~FilePair() {
        if (in) fclose(in);
        if (out) {
            if (!committed_) {
                fflush(out);
                if (ftruncate(fileno(out), 0) != 0) { /* removed below anyway */ }
            }
            fclose(out);
        }
        if (created_ && !committed_) remove(out_name_);
    }
    bool create() {
        out = fopen(out_name_, "wb");
        created_ = out != nullptr;
        return created_;
    }
    // Closes the output; false when the close (the last write) fails.
    bool close_output() {
        FILE* f = out;
        out = nullptr;
        return fclose(f) == 0;
    }
    void commit() { committed_ = true; }

    FILE* in = nullptr;
    FILE* out = nullptr;

private:
    const char* out_name_;
    bool created_ = false;
    bool committed_ = false;
};

// The checks common to both directions; 0 or a negative code.
long file_checks(const char* outFile, const char* inFile, const unsigned char* key, long keyLen, long options,
                 Selected& sel) {
    long alg = options & 0xF0;
    if (alg == 0x20) sel = {AeadCtx::kGcm, 16};
    else if (alg == 0x30) sel = {AeadCtx::kGcm, 24};
    else if (alg == 0x40) sel = {AeadCtx::kGcm, 32};
    else return fail(NOT_SUPPORTED_ERROR, "GCM file encryption needs AES-128, AES-192 or AES-256");
    if (!key || keyLen <= 0) return fail(BAD_KEY_ERROR, "Key is missing");
    if (size_t(keyLen) != sel.key_len) {
        eprintf("AES key must be %zu bytes, not %ld", sel.key_len, keyLen);
        return -BAD_KEY_LEN_ERROR;
    }
    if (!outFile || !*outFile || !inFile || !*inFile) return fail(BAD_PARAM_ERROR, "File name is missing");
    if (same_file(outFile, inFile)) {
        eprintf("Input and output are the same file '%s'", inFile);
        return -DUP_ERROR;
    }
    return 0;
}

long open_files(FilePair& fp, const char* outFile, const char* inFile) {
    fp.in = fopen(inFile, "rb");
    if (!fp.in) {
        eprintf("Cannot open input file '%s'", inFile);
        return -OPEN_ERROR;
    }
    if (!fp.create()) {
        eprintf("Cannot create output file '%s'", outFile);
        return -CREATE_ERROR;
    }
    return 0;
}

}  // namespace

long gcmFileEncrypt(const char* outFile, const char* inFile, const unsigned char* key, long keyLen,
                    const unsigned char* iv, long ivLen, long options) {
    if (!iv || ivLen <= 0) return fail(BAD_IV_ERROR, "GCM nonce is missing");
    if (ivLen != long(kNonceLen)) {
        eprintf("GCM nonce must be 12 bytes, not %ld", ivLen);
        return -BAD_IV_LEN_ERROR;
    }
    Selected sel;
    long r = file_checks(outFile, inFile, key, keyLen, options, sel);
    if (r) return r;
    FilePair fp(outFile);
    if ((r = open_files(fp, outFile, inFile))) return r;
    if ((options & kAeadIvPrefix) && fwrite(iv, 1, kNonceLen, fp.out) != kNonceLen)
        return fail(WRITE_ERROR, "File write error");

    AeadCtx ctx(sel.alg);
    if ((r = ctx.InitKey(key, size_t(keyLen))) || (r = ctx.SetNonce(iv, kNonceLen)) || (r = ctx.StartEncrypt()))
        return fail(-r, "GCM setup failed");
    SecureBytes buf(kChunk);
    for (;;) {
        size_t n = fread(buf.data(), 1, kChunk, fp.in);
        if (n == 0) {
            if (ferror(fp.in)) return fail(READ_ERROR, "File read error");
            break;
        }
        if ((r = ctx.Update(buf.data(), buf.data(), n))) return fail(-r, "GCM encryption failed");
        if (fwrite(buf.data(), 1, n, fp.out) != n) return fail(WRITE_ERROR, "File write error");
    }
    uint8_t tag[kTagLen];
    r = ctx.FinishEncrypt(tag, kTagLen);
    if (r) return fail(-r, "GCM encryption failed");
    size_t w = fwrite(tag, 1, kTagLen, fp.out);
    ewipe(tag, sizeof tag);
    if (w != kTagLen) return fail(WRITE_ERROR, "File write error");
    if (!fp.close_output()) return fail(WRITE_ERROR, "File write error");
    fp.commit();
    return 0;
}

long gcmFileDecrypt(const char* outFile, const char* inFile, const unsigned char* key, long keyLen,
                    const unsigned char* iv, long ivLen, long options) {
    const bool prefix = (options & kAeadIvPrefix) != 0;
    if (!prefix) {
        if (!iv || ivLen <= 0) return fail(BAD_IV_ERROR, "GCM nonce is missing");
        if (ivLen != long(kNonceLen)) {
            eprintf("GCM nonce must be 12 bytes, not %ld", ivLen);
            return -BAD_IV_LEN_ERROR;
        }
    }
    Selected sel;
    long r = file_checks(outFile, inFile, key, keyLen, options, sel);
    if (r) return r;
    FilePair fp(outFile);
    if ((r = open_files(fp, outFile, inFile))) return r;

    // Measure the input, read the tag from its end, rewind.
    if (fseeko(fp.in, 0, SEEK_END) != 0) return fail(IO_ERROR, "Misc file IO error");
    off_t total = ftello(fp.in);
    if (total < 0) return fail(IO_ERROR, "Misc file IO error");
    const off_t overhead = off_t(kTagLen) + (prefix ? off_t(kNonceLen) : 0);
    if (total < overhead) {
        eprintf("GCM file '%s' is shorter than its tag", inFile);
        return -BAD_LENGTH_ERROR;
    }
    uint8_t tag[kTagLen];
    WipeOnExit wipe_tag(tag, sizeof tag);
    if (fseeko(fp.in, total - off_t(kTagLen), SEEK_SET) != 0 || fread(tag, 1, kTagLen, fp.in) != kTagLen)
        return fail(READ_ERROR, "File read error");
    rewind(fp.in);
    off_t remaining = total - off_t(kTagLen);
    uint8_t nonce[kNonceLen];
    if (prefix) {
        if (fread(nonce, 1, kNonceLen, fp.in) != kNonceLen) return fail(READ_ERROR, "File read error");
        remaining -= off_t(kNonceLen);
    } else {
        memcpy(nonce, iv, kNonceLen);
    }

    AeadCtx ctx(sel.alg);
    if ((r = ctx.InitKey(key, size_t(keyLen))) || (r = ctx.SetNonce(nonce, kNonceLen)) ||
        (r = ctx.StartDecrypt(tag, kTagLen)))
        return fail(-r, "GCM setup failed");
    SecureBytes buf(kChunk);
    while (remaining > 0) {
        size_t want = remaining < off_t(kChunk) ? size_t(remaining) : kChunk;
        if (fread(buf.data(), 1, want, fp.in) != want) return fail(READ_ERROR, "File read error");
        if ((r = ctx.Update(buf.data(), buf.data(), want))) return fail(-r, "GCM decryption failed");
        if (fwrite(buf.data(), 1, want, fp.out) != want) return fail(WRITE_ERROR, "File write error");
        remaining -= off_t(want);
    }
    if (ctx.FinishDecrypt() != 0) {
        eprintf("GCM file '%s': tag does not match", inFile);
        return -DECRYPT_ERROR;
    }
    if (!fp.close_output()) return fail(WRITE_ERROR, "File write error");
    fp.commit();
    return 0;
}

}  // namespace velt::aead
