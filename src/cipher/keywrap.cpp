// Key wrap: AES key wrap (RFC 3394 section 2.2) and Triple-DES key wrap
// (RFC 3217 section 3).
#include "cipher/keywrap.h"

#include <climits>
#include <cstring>

#include "cipher/aead.h"
#include "cipher/aes.h"
#include "cipher/des.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "rng/rng.h"
#include "util/bytes.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::aead {
namespace {

constexpr uint8_t kAesKwIv[8] = {0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6};
// The fixed IV of the second encryption pass (RFC 3217 section 3.1 step 7).
constexpr uint8_t kTdesKwIv[8] = {0x4A, 0xDD, 0xA2, 0x2C, 0x79, 0xE8, 0x21, 0x05};

// 0 for Triple DES, else the AES key length; -1 for an invalid selector.
long wrap_algorithm(long options) {
    switch (options & kKeyWrapMask) {
        case 0x10: case 0x100000: return 0;
        case 0x20: case 0x200000: return 16;
        case 0x30: case 0x300000: return 24;
        case 0x40: case 0x400000: return 32;
        default: return -1;
    }
}

long fail(long code, const char* what) {
    eprintf("%s", what);
    return -code;
}

// First 8 bytes of SHA-1 of the 24-byte key: the CMS key checksum (RFC 3217
// section 2).
void key_checksum(const uint8_t key[24], uint8_t icv[8]) {
    hash::Sha1Ctx c;
    hash::sha1_init(c);
    hash::sha1_update(c, key, 24);
    uint8_t d[20];
    hash::sha1_final(c, d);
    memcpy(icv, d, 8);
    ewipe(d, sizeof d);
    ewipe(&c, sizeof c);
}

void reverse(uint8_t* p, size_t n) {
    for (size_t i = 0, j = n - 1; i < j; ++i, --j) {
        uint8_t t = p[i];
        p[i] = p[j];
        p[j] = t;
    }
}

// ---- AES key wrap (RFC 3394 2.2.1 and 2.2.2, index-based form)

long aes_wrap(unsigned char* out, long outLen, const unsigned char* data, long dataLen, const unsigned char* kek,
              long kekLen, size_t aesLen) {
    if (!kek || size_t(kekLen) != aesLen) {
        eprintf("AES key wrap needs a %zu-byte KEK, not %ld", aesLen, kek ? kekLen : 0L);
        return -BAD_KEY_LEN_ERROR;
    }
    // The upper bound keeps the output length (8 more) within a long.
    if (dataLen < 16 || dataLen % 8 != 0 || dataLen > LONG_MAX - 8) {
        eprintf("AES key wrap needs key data of 16 bytes or more in whole 8-byte blocks, not %ld", dataLen);
        return -BAD_LENGTH_ERROR;
    }
    const long required = dataLen + 8;
    if (!out || outLen == 0) return required;
    if (!data) return fail(NULL_ERROR, "Key data is null");
    if (outLen < required) {
        eprintf("Output needs %ld bytes, room for %ld", required, outLen);
        return -SHORT_BUF_ERROR;
    }
    const size_t n = size_t(dataLen) / 8;
    aes::Key k;
    aes::set_key(k, kek, aesLen);
    SecureBytes r(data, data + dataLen);  // R[1..n]
    uint8_t b[16];
    memcpy(b, kAesKwIv, 8);  // A
    for (size_t j = 0; j < 6; ++j) {
        for (size_t i = 0; i < n; ++i) {
            memcpy(b + 8, &r[8 * i], 8);
            aes::encrypt_block(k, b, b);
            uint64_t t = uint64_t(n * j + i + 1);
            store_be64(b, load_be64(b) ^ t);
            memcpy(&r[8 * i], b + 8, 8);
        }
    }
    memcpy(out, b, 8);
    memcpy(out + 8, r.data(), r.size());
    ewipe(b, sizeof b);
    aes::clear(k);
    return required;
}

long aes_unwrap(unsigned char* out, long outLen, const unsigned char* in, long inLen, const unsigned char* kek,
                long kekLen, size_t aesLen) {
    if (!kek || size_t(kekLen) != aesLen) {
        eprintf("AES key unwrap needs a %zu-byte KEK, not %ld", aesLen, kek ? kekLen : 0L);
        return -BAD_KEY_LEN_ERROR;
    }
    if (inLen < 24 || inLen % 8 != 0) {
        eprintf("Wrapped key of %ld bytes: AES key unwrap needs 24 bytes or more in whole 8-byte blocks", inLen);
        return -BAD_LENGTH_ERROR;
    }
    const long plainLen = inLen - 8;
    if (!out || outLen == 0) return plainLen;
    if (!in) return fail(NULL_ERROR, "Wrapped key is null");
    if (outLen < plainLen) {
        eprintf("Output needs %ld bytes, room for %ld", plainLen, outLen);
        return -SHORT_BUF_ERROR;
    }
    const size_t n = size_t(plainLen) / 8;
    aes::Key k;
    aes::set_key(k, kek, aesLen);
    SecureBytes r(in + 8, in + inLen);
    uint8_t b[16];
    memcpy(b, in, 8);
    for (size_t j = 6; j-- > 0;) {
        for (size_t i = n; i-- > 0;) {
            uint64_t t = uint64_t(n * j + i + 1);
            store_be64(b, load_be64(b) ^ t);
            memcpy(b + 8, &r[8 * i], 8);
            aes::decrypt_block(k, b, b);
            memcpy(&r[8 * i], b + 8, 8);
        }
    }
    aes::clear(k);
    const int ok = ct::equal(b, kAesKwIv, 8);
    ewipe(b, sizeof b);
    if (!ok) {
        ewipe(out, size_t(plainLen));
        return fail(DECRYPT_ERROR, "AES key unwrap: integrity check failed");
    }
    memcpy(out, r.data(), r.size());
    return plainLen;
}

// ---- Triple-DES key wrap (RFC 3217 3.1 and 3.2)

long tdes_wrap(unsigned char* out, long outLen, const unsigned char* data, long dataLen, const unsigned char* kek,
               long kekLen) {
    if (!kek || kekLen != 24 || dataLen != 24) {
        eprintf("Triple-DES key wrap needs a 24-byte key and a 24-byte KEK");
        return -BAD_KEY_LEN_ERROR;
    }
    if (!out || outLen == 0) return 40;
    if (!data) return fail(NULL_ERROR, "Key data is null");
    if (outLen < 40) {
        eprintf("Output needs 40 bytes, room for %ld", outLen);
        return -SHORT_BUF_ERROR;
    }
    uint8_t iv[8];
    long r = rngNonce(iv, 8);
    if (r < 0) return fail(-r, "Random generator failed");
    tdesWrapWithIv(out, data, kek, iv);
    ewipe(iv, sizeof iv);
    return 40;
}

long tdes_unwrap(unsigned char* out, long outLen, const unsigned char* in, long inLen, const unsigned char* kek,
                 long kekLen) {
    if (!kek || kekLen != 24) return fail(BAD_KEY_LEN_ERROR, "Triple-DES key unwrap needs a 24-byte KEK");
    if (inLen != 40) {
        eprintf("Wrapped key of %ld bytes: Triple-DES key unwrap needs exactly 40", inLen);
        return -BAD_LENGTH_ERROR;
    }
    if (!out || outLen == 0) return 24;
    if (!in) return fail(NULL_ERROR, "Wrapped key is null");
    if (outLen < 24) {
        eprintf("Output needs 24 bytes, room for %ld", outLen);
        return -SHORT_BUF_ERROR;
    }
    des::TdeaKey k;
    des::tdea_set_key(k, kek, false);
    uint8_t temp[40];
    WipeOnExit wipe_temp(temp, sizeof temp);
    uint8_t iv[8];
    memcpy(iv, kTdesKwIv, 8);
    des::tdea_cbc_decrypt(k, iv, in, temp, 5);  // TEMP3
    reverse(temp, 40);                          // TEMP2 = IV || TEMP1
    memcpy(iv, temp, 8);
    des::tdea_cbc_decrypt(k, iv, temp + 8, temp + 8, 4);  // WKCKS = key || ICV
    des::clear(k);
    uint8_t icv[8];
    key_checksum(temp + 8, icv);
    const int ok = ct::equal(icv, temp + 32, 8);
    ewipe(icv, sizeof icv);
    if (!ok) {
        ewipe(out, 24);
        return fail(DECRYPT_ERROR, "Triple-DES key unwrap: integrity check failed");
    }
    memcpy(out, temp + 8, 24);
    return 24;
}

}  // namespace

void tdesWrapWithIv(uint8_t out[40], const uint8_t key[24], const uint8_t kek[24], const uint8_t iv[8]) {
    uint8_t temp[40];
    WipeOnExit wipe_temp(temp, sizeof temp);
    memcpy(temp, iv, 8);
    memcpy(temp + 8, key, 24);
    key_checksum(key, temp + 32);  // WKCKS = key || ICV after the IV
    des::TdeaKey k;
    des::tdea_set_key(k, kek, true);
    uint8_t chain[8];
    memcpy(chain, iv, 8);
    des::tdea_cbc_encrypt(k, chain, temp + 8, temp + 8, 4);  // TEMP2 = IV || TEMP1
    reverse(temp, 40);                                       // TEMP3
    memcpy(chain, kTdesKwIv, 8);
    des::tdea_cbc_encrypt(k, chain, temp, out, 5);
    des::clear(k);
}

long keyWrap(unsigned char* out, long outLen, const unsigned char* keyData, long keyDataLen, const unsigned char* kek,
             long kekLen, long options) {
    long alg = wrap_algorithm(options);
    if (alg < 0) return fail(BAD_FLAG_ERROR, "Invalid key wrap algorithm in the option word");
    if (outLen < 0) return fail(BAD_PARAM_ERROR, "Output length is negative");
    if (alg == 0) return tdes_wrap(out, outLen, keyData, keyDataLen, kek, kekLen);
    return aes_wrap(out, outLen, keyData, keyDataLen, kek, kekLen, size_t(alg));
}

long keyUnwrap(unsigned char* out, long outLen, const unsigned char* wrapped, long wrappedLen, const unsigned char* kek,
               long kekLen, long options) {
    long alg = wrap_algorithm(options);
    if (alg < 0) return fail(BAD_FLAG_ERROR, "Invalid key wrap algorithm in the option word");
    if (outLen < 0) return fail(BAD_PARAM_ERROR, "Output length is negative");
    if (alg == 0) return tdes_unwrap(out, outLen, wrapped, wrappedLen, kek, kekLen);
    return aes_unwrap(out, outLen, wrapped, wrappedLen, kek, kekLen, size_t(alg));
}

}  // namespace velt::aead
