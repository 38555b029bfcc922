// CBC (SP 800-38A section 6.2) with PKCS #5 padding over the block ciphers
// the password-based schemes name.
#include "pbe/bc.h"

#include <cstring>

#include "cipher/aes.h"
#include "cipher/cipher.h"
#include "cipher/des.h"
#include "pbe/rc2.h"

namespace velt::pbe {
namespace {

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

}  // namespace

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
