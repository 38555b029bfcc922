// The incremental AEAD contexts: AES-GCM (SP 800-38D) with a 12-byte IV and
// ChaCha20-Poly1305 (RFC 8439 section 2.8).
#include <algorithm>
#include <cstring>
#include <new>

#include "cipher/aead.h"
#include "cipher/aes.h"
#include "cipher/chacha.h"
#include "cipher/gcm.h"
#include "cipher/ghash.h"
#include "cipher/poly1305.h"
#include "util/bytes.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::aead {

namespace {
constexpr long kBadParam = -6;
constexpr long kWrongState = -41;
constexpr long kAuthFail = -40;
constexpr long kBadLength = -26;
// GCM encrypts at most 2^32 - 2 blocks under one IV (SP 800-38D 5.2.1.1);
// ChaCha20's 32-bit block counter starts at 1 (RFC 8439 section 2.8).
constexpr uint64_t kGcmMaxText = (uint64_t(1) << 36) - 32;
constexpr uint64_t kChaChaMaxText = ((uint64_t(1) << 32) - 1) * 64;
}  // namespace

// The per-message state of a context.
struct AeadSmall {
    uint64_t aad_len = 0, text_len = 0;
    uint8_t expected[16];
    size_t expected_len = 0;
    // Partial-block buffers: abuf collects associated data (GCM), ks holds
    // the key stream of the current block and cbuf the ciphertext bytes of
    // the current block not yet hashed (GCM).
    uint8_t abuf[16];
    size_t aused = 0;
    uint8_t ks[64];
    uint8_t cbuf[16];
    size_t kslen = 0;  // block size of the key stream: 16 (GCM) or 64

    // GCM
    uint8_t y[16];
    uint8_t counter[16];
    uint8_t ek0[16];  // E(K, J0), masks the tag

    // ChaCha20-Poly1305
    chacha::Key ck;
    uint32_t nonce[3];
    uint32_t block = 0;
    poly1305::State poly;
};

// With the keys; the AES and GHASH keys are wiped by their own modules (only
// the part they filled).
struct AeadState : AeadSmall {
    aes::Key aes;
    ghash::Key gh;
};

AeadCtx::AeadCtx(Algorithm alg) noexcept : alg_(alg) {}

AeadCtx::~AeadCtx() { Destroy(); }

void AeadCtx::Destroy() {
    if (s_) {
        // Only the fields the algorithm uses hold anything.
        AeadState& s = *s_;
        ewipe(s.expected, sizeof s.expected);
        ewipe(s.ks, sizeof s.ks);
        if (alg_ == kGcm) {
            if (state_ != kEmpty) {
                aes::clear(s.aes);
                ghash::clear(s.gh);
            }
            ewipe(s.abuf, sizeof s.abuf);
            ewipe(s.cbuf, sizeof s.cbuf);
            ewipe(s.y, sizeof s.y);
            ewipe(s.ek0, sizeof s.ek0);
        } else {
            ewipe(&s.ck, sizeof s.ck);
            ewipe(&s.poly, sizeof s.poly);
        }
        s_->~AeadState();
        efree_mem(s_);
        s_ = nullptr;
    }
    state_ = kEmpty;
}

long AeadCtx::InitKey(const unsigned char* key, size_t keyLen) {
    if (!key) return kBadParam;
    if (alg_ == kGcm ? (keyLen != 16 && keyLen != 24 && keyLen != 32) : keyLen != 32) return kBadParam;
    Destroy();
    void* mem = emalloc(sizeof(AeadState));
    s_ = new (mem) AeadState();
    if (alg_ == kGcm) {
        aes::set_key(s_->aes, key, keyLen);
        uint8_t h[16] = {0};
        aes::encrypt_block(s_->aes, h, h);
        ghash::init(s_->gh, h);
        ewipe(h, sizeof h);
    } else {
        chacha::load_key(s_->ck, key);
    }
    state_ = kKeyed;
    return 0;
}

long AeadCtx::SetNonce(const unsigned char* iv, size_t ivLen) {
    if (state_ == kEmpty || !s_) return kWrongState;
    if (!iv || ivLen != kNonceLen) return kBadParam;
    AeadState& s = *s_;
    s.aad_len = s.text_len = 0;
    s.aused = 0;
    s.expected_len = 0;
    if (alg_ == kGcm) {
        // J0 = IV || 0^31 || 1; the first data block uses inc32(J0).
        memcpy(s.counter, iv, 12);
        store_be32(s.counter + 12, 1);
        aes::encrypt_block(s.aes, s.counter, s.ek0);
        store_be32(s.counter + 12, 2);
        memset(s.y, 0, 16);
        s.kslen = 16;
    } else {
        chacha::load_nonce(s.nonce, iv);
        // The one-time Poly1305 key is the first 32 bytes of block 0.
        uint8_t otk[64];
        chacha::chacha20_block(otk, s.ck, 0, s.nonce);
        poly1305::init(s.poly, otk);
        ewipe(otk, sizeof otk);
        s.block = 1;
        s.kslen = 64;
    }
    state_ = kNonceSet;
    return 0;
}

long AeadCtx::AddAAD(const unsigned char* data, size_t len) {
    if (state_ != kNonceSet) return kWrongState;
    if (!data && len) return kBadParam;
    AeadState& s = *s_;
    s.aad_len += len;
    if (alg_ == kChaChaPoly) {
        poly1305::update(s.poly, data, len);
        return 0;
    }
    if (s.aused) {
        size_t take = std::min(len, 16 - s.aused);
        memcpy(s.abuf + s.aused, data, take);
        s.aused += take;
        data += take;
        len -= take;
        if (s.aused < 16) return 0;
        ghash::update(s.gh, s.y, s.abuf, 1);
        s.aused = 0;
    }
    ghash::update(s.gh, s.y, data, len / 16);
    data += len & ~size_t(15);
    len &= 15;
    if (len) {
        memcpy(s.abuf, data, len);
        s.aused = len;
    }
    return 0;
}

namespace {
// Ends the associated data: zero padding to a block boundary.
void close_aad(AeadCtx::Algorithm alg, AeadState& s) {
    if (alg == AeadCtx::kChaChaPoly) {
        poly1305::pad16(s.poly);
    } else if (s.aused) {
        memset(s.abuf + s.aused, 0, 16 - s.aused);
        ghash::update(s.gh, s.y, s.abuf, 1);
    }
    s.aused = 0;
}
}  // namespace

long AeadCtx::StartEncrypt() {
    if (state_ != kNonceSet) return kWrongState;
    close_aad(alg_, *s_);
    state_ = kEncrypting;
    return 0;
}

long AeadCtx::StartDecrypt(const unsigned char* expectedTag, size_t tagLen) {
    if (state_ != kNonceSet) return kWrongState;
    if (!expectedTag || tagLen < 4) return kBadParam;
    if (tagLen > 16) tagLen = 16;
    memcpy(s_->expected, expectedTag, tagLen);
    s_->expected_len = tagLen;
    close_aad(alg_, *s_);
    state_ = kDecrypting;
    return 0;
}

long AeadCtx::Update(unsigned char* out, const unsigned char* in, size_t len) {
    if (state_ != kEncrypting && state_ != kDecrypting) return kWrongState;
    if (len == 0) return 0;
    if (!in || (!out && state_ == kEncrypting)) return kBadParam;
    AeadState& s = *s_;
    const bool enc = state_ == kEncrypting;
    const uint64_t max_text = alg_ == kGcm ? kGcmMaxText : kChaChaMaxText;
    if (len > max_text - s.text_len) return kBadLength;
    const size_t bs = s.kslen;
    size_t pos = size_t(s.text_len % bs);
    s.text_len += len;

    // Finish the current partial block from the saved key stream.
    if (pos) {
        size_t take = std::min(len, bs - pos);
        for (size_t i = 0; i < take; ++i) {
            uint8_t c = enc ? uint8_t(in[i] ^ s.ks[pos + i]) : in[i];
            if (alg_ == kGcm) s.cbuf[pos + i] = c;
            if (out) out[i] = uint8_t(in[i] ^ s.ks[pos + i]);
            if (alg_ == kChaChaPoly) poly1305::update(s.poly, &c, 1);
        }
        pos += take;
        in += take;
        if (out) out += take;
        len -= take;
        if (pos == bs && alg_ == kGcm) ghash::update(s.gh, s.y, s.cbuf, 1);
        if (len == 0) return 0;
    }

    // Whole blocks.
    size_t whole = len - len % bs;
    if (whole) {
        if (alg_ == kGcm) {
            if (out) {
                gcm::ctr_ghash(s.aes, s.gh, s.y, s.counter, in, out, whole / 16, enc);
            } else {
                ghash::update(s.gh, s.y, in, whole / 16);
                store_be32(s.counter + 12, load_be32(s.counter + 12) + uint32_t(whole / 16));
            }
        } else {
            if (!enc) poly1305::update(s.poly, in, whole);
            if (out) s.block = chacha::chacha20_xor(out, in, whole, s.ck, s.block, s.nonce);
            else s.block += uint32_t(whole / 64);
            if (enc) poly1305::update(s.poly, out, whole);
        }
        in += whole;
        if (out) out += whole;
        len -= whole;
    }

    // Start a new partial block with fresh key stream.
    if (len) {
        if (alg_ == kGcm) {
            aes::encrypt_block(s.aes, s.counter, s.ks);
            store_be32(s.counter + 12, load_be32(s.counter + 12) + 1);
        } else {
            chacha::chacha20_block(s.ks, s.ck, s.block++, s.nonce);
        }
        for (size_t i = 0; i < len; ++i) {
            uint8_t c = enc ? uint8_t(in[i] ^ s.ks[i]) : in[i];
            if (alg_ == kGcm) s.cbuf[i] = c;
            if (out) out[i] = uint8_t(in[i] ^ s.ks[i]);
            if (alg_ == kChaChaPoly) poly1305::update(s.poly, &c, 1);
        }
    }
    return 0;
}

namespace {
// Computes the full 16-byte tag and returns the context's per-message state
// to empty.
void compute_tag(AeadCtx::Algorithm alg, AeadState& s, uint8_t tag[16]) {
    if (alg == AeadCtx::kGcm) {
        size_t rem = size_t(s.text_len % 16);
        if (rem) {
            memset(s.cbuf + rem, 0, 16 - rem);
            ghash::update(s.gh, s.y, s.cbuf, 1);
        }
        uint8_t lens[16];
        store_be64(lens, s.aad_len * 8);
        store_be64(lens + 8, s.text_len * 8);
        ghash::update(s.gh, s.y, lens, 1);
        for (int i = 0; i < 16; ++i) tag[i] = uint8_t(s.y[i] ^ s.ek0[i]);
        ewipe(s.y, sizeof s.y);
        ewipe(s.ek0, sizeof s.ek0);
    } else {
        poly1305::pad16(s.poly);
        uint8_t lens[16];
        store_le64(lens, s.aad_len);
        store_le64(lens + 8, s.text_len);
        poly1305::update(s.poly, lens, 16);
        poly1305::finish(s.poly, tag);
    }
    ewipe(s.ks, sizeof s.ks);
    ewipe(s.cbuf, sizeof s.cbuf);
}
}  // namespace

long AeadCtx::FinishEncrypt(unsigned char* tagOut, size_t tagLen) {
    if (state_ != kEncrypting) return kWrongState;
    if (!tagOut || tagLen < kTagLen) return kBadParam;
    compute_tag(alg_, *s_, tagOut);
    state_ = kKeyed;
    return 0;
}

long AeadCtx::FinishDecrypt() {
    if (state_ != kDecrypting) return kWrongState;
    uint8_t tag[16];
    compute_tag(alg_, *s_, tag);
    int ok = ct::equal(tag, s_->expected, s_->expected_len);
    ewipe(tag, sizeof tag);
    ewipe(s_->expected, sizeof s_->expected);
    state_ = kKeyed;
    return ok ? 0 : kAuthFail;
}

}  // namespace velt::aead
