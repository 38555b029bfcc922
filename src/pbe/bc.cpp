// CBC (SP 800-38A section 6.2) with PKCS #5 padding over the block ciphers
// the password-based schemes name.
#include "pbe/bc.h"

#include <cstring>

#include "cipher/aes.h"
#include "cipher/cipher.h"
#include "cipher/des.h"
#include "frame/error.h"
#include "pbe/rc2.h"

namespace velt::pbe {

// One keyed block cipher in one direction.
class Block {
public:
    ~Block() {
        aes::clear(aes_);
        des::clear(tdea_);
        ewipe(&des_, sizeof des_);
        rc2::clear(rc2_);
    }
    bool init(Bc alg, const uint8_t* key, size_t len, unsigned bits, bool enc) {
        alg_ = alg;
        switch (alg) {
            case Bc::kDes:
                if (len != 8) return false;
                des::set_key(des_, key, enc);
                return true;
            case Bc::kTdea:
                if (len != 24) return false;
                des::tdea_set_key(tdea_, key, enc);
                return true;
            case Bc::kRc2: return rc2::set_key(rc2_, key, len, bits);
            case Bc::kAes: return aes::set_key(aes_, key, len);
        }
        return false;
    }
    // CBC over whole blocks; iv is updated.
    void cbc(bool enc, uint8_t* iv, const uint8_t* in, uint8_t* out, size_t n) {
        const size_t b = block_bytes(alg_);
        if (alg_ == Bc::kAes) {
            enc ? aes::cbc_encrypt(aes_, iv, in, out, n / b) : aes::cbc_decrypt(aes_, iv, in, out, n / b);
            return;
        }
        if (alg_ == Bc::kTdea) {
            enc ? des::tdea_cbc_encrypt(tdea_, iv, in, out, n / b) : des::tdea_cbc_decrypt(tdea_, iv, in, out, n / b);
            return;
        }
        uint8_t t[8];
        for (size_t off = 0; off < n; off += 8) {
            if (enc) {
                for (int i = 0; i < 8; i++) t[i] = in[off + i] ^ iv[i];
                one(true, t, out + off);
                memcpy(iv, out + off, 8);
            } else {
                uint8_t c[8];
                memcpy(c, in + off, 8);
                one(false, c, t);
                for (int i = 0; i < 8; i++) out[off + i] = t[i] ^ iv[i];
                memcpy(iv, c, 8);
            }
        }
        ewipe(t, sizeof t);
    }

private:
    void one(bool enc, const uint8_t in[8], uint8_t out[8]) {
        if (alg_ == Bc::kDes) {
            des::crypt_block(des_, in, out);
        } else {
            enc ? rc2::encrypt_block(rc2_, in, out) : rc2::decrypt_block(rc2_, in, out);
        }
    }
    Bc alg_ = Bc::kAes;
    aes::Key aes_{};
    des::TdeaKey tdea_{};
    des::Schedule des_{};
    rc2::Key rc2_{};
};

size_t block_bytes(Bc alg) { return alg == Bc::kAes ? 16 : 8; }

bool cbc_encrypt(Bc alg, const uint8_t* key, size_t key_len, unsigned rc2_bits, const uint8_t* iv,
                 const uint8_t* in, size_t n, std::vector<uint8_t>& out) {
    out.clear();
    Block bc;
    if (!bc.init(alg, key, key_len, rc2_bits, true)) return false;
    const size_t b = block_bytes(alg);
    const size_t total = n / b * b + b;
    out.resize(total);
    SecureBytes buf(total);
    if (n) memcpy(buf.data(), in, n);
    cipher::pad_bytes(buf.data() + n, n, b, cipher::Pad::kPkcs5);
    uint8_t chain[16];
    memcpy(chain, iv, b);
    bc.cbc(true, chain, buf.data(), out.data(), total);
    return true;
}

bool cbc_decrypt(Bc alg, const uint8_t* key, size_t key_len, unsigned rc2_bits, const uint8_t* iv,
                 const uint8_t* in, size_t n, SecureBytes& out) {
    out.clear();
    const size_t b = block_bytes(alg);
    if (n == 0 || n % b) return false;
    Block bc;
    if (!bc.init(alg, key, key_len, rc2_bits, false)) return false;
    out.resize(n);
    uint8_t chain[16];
    memcpy(chain, iv, b);
    bc.cbc(false, chain, in, out.data(), n);
    long pad = cipher::unpad_length(out.data(), n, b, cipher::Pad::kPkcs5);
    if (pad < 0) {
        SecureBytes().swap(out);
        return false;
    }
    out.resize(n - size_t(pad));
    return true;
}

}  // namespace velt::pbe

using velt::pbe::Bc;

bool bc_EncDES_CBC(std::vector<uint8_t>& out, const uint8_t* in, size_t n, const uint8_t key[8], const uint8_t iv[8]) {
    return velt::pbe::cbc_encrypt(Bc::kDes, key, 8, 0, iv, in, n, out);
}
bool bc_EncTDEA_CBC(std::vector<uint8_t>& out, const uint8_t* in, size_t n, const uint8_t key[24],
                    const uint8_t iv[8]) {
    return velt::pbe::cbc_encrypt(Bc::kTdea, key, 24, 0, iv, in, n, out);
}
bool bc_EncAES_CBC(std::vector<uint8_t>& out, const uint8_t* in, size_t n, const uint8_t* key, long bits,
                   const uint8_t iv[16]) {
    return velt::pbe::cbc_encrypt(Bc::kAes, key, size_t(bits / 8), 0, iv, in, n, out);
}
bool bc_EncRC2_CBC(std::vector<uint8_t>& out, const uint8_t* in, size_t n, const uint8_t* key, size_t key_len,
                   long effective_bits, const uint8_t iv[8]) {
    return effective_bits > 0 &&
           velt::pbe::cbc_encrypt(Bc::kRc2, key, key_len, unsigned(effective_bits), iv, in, n, out);
}
bool bc_DecDES_CBC(velt::SecureBytes& out, const uint8_t* in, size_t n, const uint8_t key[8], const uint8_t iv[8]) {
    return velt::pbe::cbc_decrypt(Bc::kDes, key, 8, 0, iv, in, n, out);
}
bool bc_DecTDEA_CBC(velt::SecureBytes& out, const uint8_t* in, size_t n, const uint8_t key[24], const uint8_t iv[8]) {
    return velt::pbe::cbc_decrypt(Bc::kTdea, key, 24, 0, iv, in, n, out);
}
bool bc_DecAES_CBC(velt::SecureBytes& out, const uint8_t* in, size_t n, const uint8_t* key, long bits,
                   const uint8_t iv[16]) {
    return velt::pbe::cbc_decrypt(Bc::kAes, key, size_t(bits / 8), 0, iv, in, n, out);
}
bool bc_DecRC2_CBC(velt::SecureBytes& out, const uint8_t* in, size_t n, const uint8_t* key, size_t key_len,
                   long effective_bits, const uint8_t iv[8]) {
    return effective_bits > 0 &&
           velt::pbe::cbc_decrypt(Bc::kRc2, key, key_len, unsigned(effective_bits), iv, in, n, out);
}

struct BcDecrypter {
    velt::pbe::Block block;
    bool ready = false;
    size_t size = 8;
    uint8_t chain[16] = {0};
    uint8_t held[32] = {0};  // input not yet decrypted (at most one block plus a partial one)
    size_t held_len = 0;
    ~BcDecrypter() {
        ewipe(chain, sizeof chain);
        ewipe(held, sizeof held);
    }
};

BcDecrypter* bc_decrypter_New() { return new BcDecrypter(); }

void bc_decrypter_Free(BcDecrypter** d) {
    if (!d || !*d) return;
    delete *d;
    *d = nullptr;
}

long bc_decrypter_Init(BcDecrypter* d, long alg, const uint8_t* key, size_t key_len, long rc2_bits,
                       const uint8_t* iv) {
    if (!d || !key || !iv) return -BAD_PARAM_ERROR;
    d->ready = false;
    d->held_len = 0;
    Bc kind;
    switch (alg) {
        case 0: kind = Bc::kTdea; break;
        case 1: kind = Bc::kRc2; break;
        case 2: case 3: case 4:
            kind = Bc::kAes;
            if (key_len != size_t(16 + 8 * (alg - 2))) return -BAD_PARAM_ERROR;
            break;
        default: return -BAD_PARAM_ERROR;
    }
    if (rc2_bits < 0 || !d->block.init(kind, key, key_len, unsigned(rc2_bits), false)) return -BAD_PARAM_ERROR;
    d->size = velt::pbe::block_bytes(kind);
    memcpy(d->chain, iv, d->size);
    d->ready = true;
    return 0;
}

long bc_decrypter_Decrypt(BcDecrypter* d, uint8_t* out, const uint8_t* in, size_t n) {
    if (!d || !d->ready || (!in && n) || !out) return -BAD_PARAM_ERROR;
    const size_t b = d->size;
    size_t written = 0;
    while (n) {
        size_t take = 2 * b - d->held_len < n ? 2 * b - d->held_len : n;
        memcpy(d->held + d->held_len, in, take);
        d->held_len += take;
        in += take;
        n -= take;
        // With two blocks held and more input to come, the first cannot be the last.
        if (d->held_len == 2 * b && n) {
            d->block.cbc(false, d->chain, d->held, out + written, b);
            written += b;
            memmove(d->held, d->held + b, b);
            d->held_len = b;
        }
    }
    if (d->held_len == 2 * b) {
        d->block.cbc(false, d->chain, d->held, out + written, b);
        written += b;
        memmove(d->held, d->held + b, b);
        d->held_len = b;
    }
    return long(written);
}

long bc_decrypter_Unpad(BcDecrypter* d, uint8_t* out) {
    if (!d || !d->ready || !out) return -BAD_PARAM_ERROR;
    d->ready = false;
    const size_t b = d->size;
    if (d->held_len != b) return -DECRYPT_ERROR;
    uint8_t last[16];
    velt::WipeOnExit wipe(last, sizeof last);
    d->block.cbc(false, d->chain, d->held, last, b);
    long pad = velt::cipher::unpad_length(last, b, b, velt::cipher::Pad::kPkcs5);
    if (pad < 0) return -DECRYPT_ERROR;
    memcpy(out, last, b - size_t(pad));
    return long(b - size_t(pad));
}

long bc_KeyBytes(long alg, long bits) {
    switch (alg) {
        case 0: case 3: case 6: return 24;
        case 1: return bits / 8;
        case 2: case 5: return 16;
        case 4: case 7: case 8: return 32;
    }
    return -1;
}

long bc_BlockBytes(long alg) {
    if (alg == 0 || alg == 1) return 8;
    if (alg >= 2 && alg <= 4) return 16;
    return 0;
}
