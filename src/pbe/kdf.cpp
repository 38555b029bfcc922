// Password-based key derivation: PBKDF2 and PBKDF1 (RFC 8018 section 5) and
// the PKCS #12 derivation (RFC 7292 appendix B.2).
#include <cstring>

#include "encode/encode.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "pbe/pbe.h"
#include "util/bytes.h"
#include "util/emem.h"

using velt::SecureBytes;
using namespace velt::hash;

namespace {

bool kdf2_prf(long prf) { return prf == kSha1 || prf == kSha256 || prf == kSha384 || prf == kSha512 || prf == kSha224; }

// T_i = U_1 xor ... xor U_c with U_1 = HMAC(P, S || INT(i)), U_j = HMAC(P, U_{j-1}).
// The keyed HMAC state is made once and copied for every U_j, so each
// iteration costs the two compressions of the inner and outer digest.
void pbkdf2_blocks(uint8_t* dk, size_t dk_len, const Hmac& keyed, const uint8_t* salt, size_t salt_len,
                   uint32_t count) {
    const size_t hlen = keyed.length();
    SecureBytes block(salt_len + 4);
    if (salt_len) memcpy(block.data(), salt, salt_len);
    uint8_t u[kMaxDigest], t[kMaxDigest];
    velt::WipeOnExit wipe_u(u, sizeof u), wipe_t(t, sizeof t);
    Hmac h;
    for (uint32_t i = 1; dk_len; i++) {
        velt::store_be32(block.data() + salt_len, i);
        h = keyed;
        h.update(block.data(), block.size());
        h.final(u);
        memcpy(t, u, hlen);
        for (uint32_t j = 1; j < count; j++) {
            h = keyed;
            h.update(u, hlen);
            h.final(u);
            for (size_t k = 0; k < hlen; k++) t[k] ^= u[k];
        }
        size_t n = dk_len < hlen ? dk_len : hlen;
        memcpy(dk, t, n);
        dk += n;
        dk_len -= n;
    }
    ewipe(&h, sizeof h);
}

}  // namespace

long pbeKDF2(uint8_t* dk, long dkLen, const uint8_t* password, long pwLen, const uint8_t* salt, long saltLen,
             long count, long prf) {
    if (!dk || (!password && pwLen) || (!salt && saltLen)) return NULL_ERROR;
    if (dkLen < 1 || pwLen < 0 || saltLen < 0 || !kdf2_prf(prf)) return BAD_PARAM_ERROR;
    memset(dk, 0, size_t(dkLen));
    uint32_t c = count < 1 ? 1 : (count > 0xFFFFFFFFL ? 0xFFFFFFFFu : uint32_t(count));
    Hmac keyed;
    keyed.init(prf, password, size_t(pwLen));
    pbkdf2_blocks(dk, size_t(dkLen), keyed, salt, size_t(saltLen), c);
    ewipe(&keyed, sizeof keyed);
    return 0;
}

long pbeKDF2Hex(char* outHex, long outHexLen, long dkLen, const char* password, const char* saltHex, long count,
                long prf) {
    if (!outHex || !password || !saltHex) return NULL_ERROR;
    if (outHexLen < 1 || dkLen < 1 || count < 1) return BAD_PARAM_ERROR;
    if (outHexLen / 2 < dkLen) return SHORT_BUF_ERROR;
    size_t hex_len = strlen(saltHex);
    std::vector<uint8_t> salt(hex_len / 2 + 1);
    if (hex_len % 2 || hexstr2bytes_strict(salt.data(), saltHex, long(salt.size())) != long(hex_len / 2))
        return BAD_FORMAT_ERROR;
    SecureBytes dk(static_cast<size_t>(dkLen));
    long r = pbeKDF2(dk.data(), dkLen, reinterpret_cast<const uint8_t*>(password), long(strlen(password)),
                     salt.data(), long(hex_len / 2), count, prf);
    if (r) return r;
    bytes2hexstrlower(outHex, dk.data(), dkLen);
    return 0;
}

void pbeKDF1(uint8_t* out, size_t n, const uint8_t* password, size_t pwLen, const uint8_t* salt, size_t saltLen,
             uint32_t count, long alg) {
    Hasher h;
    uint8_t t[kMaxDigest];
    velt::WipeOnExit wipe(t, sizeof t);
    h.init(alg);
    const size_t hlen = h.length();
    h.update(password, pwLen);
    h.update(salt, saltLen);
    h.final(t);
    for (uint32_t i = 1; i < count; i++) {
        h.init(alg);
        h.update(t, hlen);
        h.final(t);
    }
    memcpy(out, t, n < hlen ? n : hlen);
}

namespace {

// The PKCS #12 derivation with a digest of u octets over v-octet blocks.
// digest(A, D, I) computes A = H(D || I); again(A) computes A = H(A).
template <class Digest, class Again>
void pkcs12_derive_core(uint8_t* out, size_t n, const uint8_t* bmpPassword, size_t pwLen, const uint8_t* salt,
                        size_t saltLen, uint32_t count, int id, size_t u, size_t v, Digest digest,
                        Again again) {
    // I = S || P, each its input repeated to a whole number of v-octet blocks.
    const size_t slen = (saltLen + v - 1) / v * v, plen = (pwLen + v - 1) / v * v;
    SecureBytes I(slen + plen), D(v, uint8_t(id)), B(v);
    for (size_t i = 0; i < slen; i++) I[i] = salt[i % saltLen];
    for (size_t i = 0; i < plen; i++) I[slen + i] = bmpPassword[i % pwLen];
    uint8_t A[kMaxDigest];
    velt::WipeOnExit wipe_a(A, sizeof A);
    if (count < 1) count = 1;
    for (size_t done = 0; done < n;) {
        digest(A, D, I);
        for (uint32_t j = 1; j < count; j++) again(A);
        size_t take = n - done < u ? n - done : u;
        memcpy(out + done, A, take);
        done += take;
        if (done >= n) break;
        // I_j = (I_j + B + 1) mod 2^(8v) for every v-octet block of I.
        for (size_t i = 0; i < v; i++) B[i] = A[i % u];
        for (size_t j = 0; j < I.size(); j += v) {
            unsigned carry = 1;
            for (size_t k = v; k-- > 0;) {
                carry += unsigned(I[j + k]) + B[k];
                I[j + k] = uint8_t(carry);
                carry >>= 8;
            }
        }
    }
}

}  // namespace

void pkcs12_derive(uint8_t* out, size_t n, const uint8_t* bmpPassword, size_t pwLen, const uint8_t* salt,
                   size_t saltLen, uint32_t count, int id) {
    // SHA-1 directly: the derivation iterates thousands of one-block digests.
    Sha1Ctx c;
    pkcs12_derive_core(
        out, n, bmpPassword, pwLen, salt, saltLen, count, id, 20, 64,
        [&c](uint8_t* A, const SecureBytes& D, const SecureBytes& I) {
            sha1_init(c);
            sha1_update(c, D.data(), D.size());
            sha1_update(c, I.data(), I.size());
            sha1_final(c, A);
        },
        [&c](uint8_t* A) {
            sha1_init(c);
            sha1_update(c, A, 20);
            sha1_final(c, A);
        });
    ewipe(&c, sizeof c);
}

void pkcs12_derive_hash(long alg, uint8_t* out, size_t n, const uint8_t* bmpPassword, size_t pwLen,
                        const uint8_t* salt, size_t saltLen, uint32_t count, int id) {
    if (alg == kSha1) {
        pkcs12_derive(out, n, bmpPassword, pwLen, salt, saltLen, count, id);
        return;
    }
    Hasher h;
    h.init(alg);
    const size_t u = h.length();
    const size_t v = (alg == kSha384 || alg == kSha512) ? 128 : 64;
    pkcs12_derive_core(
        out, n, bmpPassword, pwLen, salt, saltLen, count, id, u, v,
        [&h, alg](uint8_t* A, const SecureBytes& D, const SecureBytes& I) {
            h.init(alg);
            h.update(D.data(), D.size());
            h.update(I.data(), I.size());
            h.final(A);
        },
        [&h, alg, u](uint8_t* A) {
            h.init(alg);
            h.update(A, u);
            h.final(A);
        });
}

long pbe_MakePkcs12KeySHA(uint8_t* out, size_t n, PbeRec* pbe, int id) {
    if (!out || !pbe) return NULL_ERROR;
    if (!pbe->bmp) {
        // Each octet c becomes 0x00 c, then a two-octet zero terminator.
        SecureBytes bmp(pbe->password.size() * 2 + 2, 0);
        for (size_t i = 0; i < pbe->password.size(); i++) bmp[2 * i + 1] = pbe->password[i];
        pbe->password.swap(bmp);
        pbe->bmp = true;
    }
    pkcs12_derive(out, n, pbe->password.data(), pbe->password.size(), pbe->salt.data(), pbe->salt.size(),
                  pbe->count, id);
    return 0;
}
