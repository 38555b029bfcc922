// The block-cipher context: one key, one direction, one mode (SP 800-38A).
#include <cstring>

#include "cipher/cipher.h"
#include "frame/error.h"
#include "util/emem.h"

namespace velt::cipher {
namespace {

// Big-endian increment of the whole counter block (8 or 16 bytes).
inline void increment(uint8_t* c, size_t n) {
    for (size_t i = n; i-- > 0;)
        if (++c[i] != 0) break;
}

}  // namespace

long Context::init(long alg, const uint8_t* key, bool encrypt, int mode, const uint8_t* iv) {
    clear();
    if (mode < kEcb || mode > kCtr) return -BAD_MODE_ERROR;
    alg_ = alg;
    mode_ = mode;
    encrypt_ = encrypt;
    if (alg == kAlgTdea) {
        block_ = 8;
        // The stream modes only ever run the forward cipher.
        des::tdea_set_key(tdea_, key, encrypt || (mode != kEcb && mode != kCbc));
    } else if (alg == kAlgAes128 || alg == kAlgAes192 || alg == kAlgAes256) {
        block_ = 16;
        aes::set_key(aes_, key, alg_key_len(alg));
    } else {
        alg_ = 0;
        return -INTERNAL_ERROR;
    }
    if (iv) {
        memcpy(iv0_, iv, block_);
    } else {
        memset(iv0_, 0, sizeof iv0_);
    }
    restart();
    return 0;
}

void Context::restart() {
    memcpy(reg_, iv0_, sizeof reg_);
    ewipe(ks_, sizeof ks_);
    used_ = block_;
}

// Wipes the schedule in use (only the round keys the key size filled) and the
// chaining state.
void Context::clear() {
    if (alg_ == kAlgTdea) {
        des::clear(tdea_);
    } else if (alg_) {
        ewipe(aes_.enc, 16 * (aes_.rounds + 1));
        if (aes_.accel) ewipe(aes_.dec, 16 * (aes_.rounds + 1));
    }
    alg_ = 0;
    ewipe(iv0_, sizeof iv0_);
    ewipe(reg_, sizeof reg_);
    ewipe(ks_, sizeof ks_);
    used_ = 0;
}

void Context::encrypt_one(const uint8_t in[16], uint8_t out[16]) const {
    if (block_ == 16) {
        aes::encrypt_block(aes_, in, out);
    } else {
        des::tdea_block(tdea_, in, out);
    }
}

long Context::update(uint8_t* out, const uint8_t* in, size_t len) {
    const size_t b = block_;
    if (mode_ == kEcb || mode_ == kCbc) {
        if (len % b) return -BAD_LENGTH_ERROR;
        const size_t n = len / b;
        if (b == 16) {
            if (mode_ == kEcb) {
                encrypt_ ? aes::encrypt_blocks(aes_, in, out, n) : aes::decrypt_blocks(aes_, in, out, n);
            } else {
                encrypt_ ? aes::cbc_encrypt(aes_, reg_, in, out, n) : aes::cbc_decrypt(aes_, reg_, in, out, n);
            }
        } else {
            if (mode_ == kEcb) {
                des::tdea_blocks(tdea_, in, out, n);
            } else {
                encrypt_ ? des::tdea_cbc_encrypt(tdea_, reg_, in, out, n)
                         : des::tdea_cbc_decrypt(tdea_, reg_, in, out, n);
            }
        }
        return 0;
    }

    // Stream modes: use up the current keystream block byte by byte.
    auto bytewise = [&](size_t count) {
        for (size_t i = 0; i < count; ++i) {
            uint8_t x = in[i];
            uint8_t y = uint8_t(x ^ ks_[used_]);
            if (mode_ == kCfb) ks_[used_] = encrypt_ ? y : x;  // the register takes ciphertext
            out[i] = y;
            if (++used_ == b && mode_ == kCfb) memcpy(reg_, ks_, b);
        }
        in += count;
        out += count;
        len -= count;
    };
    if (used_ < b) bytewise(len < b - used_ ? len : b - used_);

    // Whole blocks.
    const size_t n = len / b;
    if (n) {
        if (mode_ == kCtr && b == 16) {
            aes::ctr_blocks(aes_, reg_, in, out, n);
        } else if (mode_ == kCfb && !encrypt_ && b == 16) {
            aes::cfb_decrypt(aes_, reg_, in, out, n);
        } else {
            uint8_t k[16];
            for (size_t j = 0; j < n; ++j) {
                const uint8_t* pi = in + j * b;
                uint8_t* po = out + j * b;
                encrypt_one(reg_, k);
                if (mode_ == kCtr) {
                    increment(reg_, b);
                } else if (mode_ == kOfb) {
                    memcpy(reg_, k, b);
                } else if (!encrypt_) {
                    memcpy(reg_, pi, b);  // CFB decryption: next register is this ciphertext
                }
                for (size_t i = 0; i < b; ++i) po[i] = uint8_t(pi[i] ^ k[i]);
                if (mode_ == kCfb && encrypt_) memcpy(reg_, po, b);
            }
            ewipe(k, sizeof k);
        }
        in += n * b;
        out += n * b;
        len -= n * b;
    }

    // A final partial block: a fresh keystream block, partly used.
    if (len) {
        encrypt_one(reg_, ks_);
        if (mode_ == kCtr) {
            increment(reg_, b);
        } else if (mode_ == kOfb) {
            memcpy(reg_, ks_, b);
        }
        used_ = 0;
        bytewise(len);
    }
    return 0;
}

}  // namespace velt::cipher
