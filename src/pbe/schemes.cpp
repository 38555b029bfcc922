// The password-based encryption schemes: PBES1 (RFC 8018 section 6.1, PBKDF1
// with DES or RC2), the PKCS #12 schemes (RFC 7292 appendix C, the PKCS #12
// derivation with Triple DES or RC2) and PBES2 (RFC 8018 section 6.2, PBKDF2
// with Triple DES, DES, RC2 or AES), all in CBC mode with PKCS #5 padding.
#include <strings.h>

#include <cstring>
#include <ctime>

#include "frame/error.h"
#include "hash/hash.h"
#include "pbe/bc.h"
#include "pbe/pbe.h"
#include "pbe/schemes.h"
#include "rng/rng.h"

using velt::SecureBytes;
using velt::pbe::Bc;
namespace hash = velt::hash;

namespace velt::pbe {
namespace {

const Scheme kSchemeTable[] = {
    {"pbeWithSHAAnd3-KeyTripleDES-CBC", SchemeKind::kPkcs12, hash::kSha1, Bc::kTdea, 24, 0, true},
    {"pbeWithMD5AndDES-CBC", SchemeKind::kPbes1, hash::kMd5, Bc::kDes, 8, 0, true},
    {"pbeWithMD2AndDES-CBC", SchemeKind::kPbes1, hash::kMd2, Bc::kDes, 8, 0, true},
    {"pbeWithSHA1AndDES-CBC", SchemeKind::kPbes1, hash::kSha1, Bc::kDes, 8, 0, true},
    {"pkcs5PBES2", SchemeKind::kPbes2, hash::kSha1, Bc::kAes, 0, 0, true},
    {"pbeWithMD5AndRC2-CBC", SchemeKind::kPbes1, hash::kMd5, Bc::kRc2, 8, 64, false},
    {"pbeWithMD2AndRC2-CBC", SchemeKind::kPbes1, hash::kMd2, Bc::kRc2, 8, 64, false},
    {"pbeWithSHA1AndRC2-CBC", SchemeKind::kPbes1, hash::kSha1, Bc::kRc2, 8, 64, false},
    {"pbeWithSHAAnd128BitRC2-CBC", SchemeKind::kPkcs12, hash::kSha1, Bc::kRc2, 16, 128, false},
    {"pbeWithSHAAnd40BitRC2-CBC", SchemeKind::kPkcs12, hash::kSha1, Bc::kRc2, 5, 40, false},
};

Bc enc_scheme_cipher(long id) {
    switch (id) {
        case kPbeDesEde3Cbc: return Bc::kTdea;
        case kPbeDesCbc: return Bc::kDes;
        case kPbeRc2Cbc: return Bc::kRc2;
        default: return Bc::kAes;
    }
}

}  // namespace

const Scheme* find_scheme(const char* name) {
    if (!name) return nullptr;
    for (const auto& s : kSchemeTable)
        if (strcasecmp(s.name, name) == 0) return &s;
    return nullptr;
}

// An 8-octet salt: the first octets of a digest of the password, the
// plaintext, (for the PKCS #12 schemes and PBES2) the time and processor
// clock in machine byte order, and 16 octets from the generator, so that no
// two encryptions share a salt even for the same key and password.
bool make_salt(PbeRec* pbe, const uint8_t* plain, size_t n, long alg, bool with_time) {
    uint8_t fresh[16], md[hash::kMaxDigest];
    velt::WipeOnExit wipe_f(fresh, sizeof fresh), wipe_m(md, sizeof md);
    if (rngNonce(fresh, sizeof fresh) != 0) {
        eprintf("Random generator failed while making the salt");
        return false;
    }
    hash::Hasher h;
    h.init(alg);
    h.update(pbe->password.data(), pbe->password.size());
    h.update(plain, n);
    if (with_time) {
        int64_t t = int64_t(time(nullptr)), c = int64_t(clock());
        h.update(&t, sizeof t);
        h.update(&c, sizeof c);
    }
    h.update(fresh, sizeof fresh);
    h.final(md);
    size_t len = pbe->saltLength ? pbe->saltLength : 8;
    if (len > h.length()) len = h.length();
    pbe_SetSalt(pbe, md, len);
    return true;
}

}  // namespace velt::pbe

using namespace velt::pbe;

namespace {

// Key and IV of a PBES1 or PKCS #12 scheme from the record.
bool derive_v1(PbeRec* pbe, const Scheme* s, uint8_t key[24], size_t* key_len, unsigned* bits, uint8_t iv[8]) {
    if (s->kind == SchemeKind::kPbes1) {
        uint8_t t[16];
        velt::WipeOnExit wipe(t, sizeof t);
        pbeKDF1(t, 16, pbe->password.data(), pbe->password.size(), pbe->salt.data(), pbe->salt.size(),
                pbe->count ? pbe->count : 1, s->alg);
        memcpy(key, t, 8);
        memcpy(iv, t + 8, 8);
        *key_len = 8;
        *bits = s->rc2_bits;
        return true;
    }
    size_t klen = s->key_len;
    unsigned b = s->rc2_bits;
    if (s->cipher == Bc::kRc2) {
        if (pbe->keyLength) klen = pbe->keyLength;
        if (pbe->keyParam) b = unsigned(pbe->keyParam);
        if (klen < 1 || klen > 24 || b < 1 || b > 1024) return false;
    }
    pbe_MakePkcs12KeySHA(key, klen, pbe, 1);
    pbe_MakePkcs12KeySHA(iv, 8, pbe, 2);
    *key_len = klen;
    *bits = b;
    return true;
}

// Key octets a PBES2 encryption scheme takes, or 0 when the record's
// parameters are not acceptable for it: a stated key length must equal the
// cipher's; RC2 takes 1 to 128 octets and 1 to 1024 effective bits.
size_t pbes2_key_len(const PbeRec* pbe) {
    if (pbe->encScheme == kPbeRc2Cbc) {
        long bits = pbe->keyParam;
        if (bits < 1 || bits > 1024) return 0;
        size_t n = pbe->keyLength ? pbe->keyLength : size_t(bits) / 8;
        return n >= 1 && n <= 128 ? n : 0;
    }
    size_t n = pbe_EncSchemeKeyLen(pbe->encScheme);
    if (pbe->keyLength && pbe->keyLength != n) return 0;
    return n;
}

// A record's count (read from input) within the bound, else false with a
// detail message: checked before any key is derived.
bool count_acceptable(const PbeRec* pbe) {
    if (pbe_CountAcceptable(pbe->count)) return true;
    eprintf("Iteration count %lu exceeds the limit of %llu", (unsigned long)pbe->count,
            (unsigned long long)kPbeMaxIterations);
    return false;
}

}  // namespace

bool pbe_EncPBES2(PbeRec* pbe, const uint8_t* plain, size_t n, std::vector<uint8_t>& out) {
    out.clear();
    if (pbe->encScheme != kPbeDesEde3Cbc && pbe->encScheme != kPbeAes128Cbc && pbe->encScheme != kPbeAes192Cbc &&
        pbe->encScheme != kPbeAes256Cbc) {
        eprintf("PBES2 encryption scheme '%s' not supported for writing", pbe->encSchemeName);
        return false;
    }
    const size_t key_len = pbe_EncSchemeKeyLen(pbe->encScheme), iv_len = pbe_EncSchemeBlockLen(pbe->encScheme);
    if (!make_salt(pbe, plain, n, hash::kSha1, true)) return false;
    uint8_t iv[16];
    if (rngNonce(iv, long(iv_len)) != 0) {
        eprintf("Random generator failed while making the IV");
        return false;
    }
    pbe_SetIV(pbe, iv, iv_len);
    SecureBytes key(key_len);
    long prf = pbe->prfName[0] ? pbe->prfId : hash::kSha1;
    if (pbeKDF2(key.data(), long(key_len), pbe->password.data(), long(pbe->password.size()), pbe->salt.data(),
                long(pbe->salt.size()), long(pbe->count), prf) != 0) {
        eprintf("PBKDF2 failed");
        return false;
    }
    return cbc_encrypt(enc_scheme_cipher(pbe->encScheme), key.data(), key_len, 0, iv, plain, n, out);
}

bool pbe_DecPBES2(PbeRec* pbe, const uint8_t* cipher, size_t n, SecureBytes& out) {
    out.clear();
    const size_t key_len = pbes2_key_len(pbe), block = pbe_EncSchemeBlockLen(pbe->encScheme);
    if (!key_len || !block || pbe->iv.size() != block) {
        eprintf("PBES2 encryption scheme parameters invalid or not supported");
        return false;
    }
    const Bc alg = enc_scheme_cipher(pbe->encScheme);
    const long prf = pbe->prfName[0] ? pbe->prfId : hash::kSha1;
    // Some writers derived the key with HMAC-SHA-1 whatever PRF they named:
    // with another PRF, the SHA-1 key is tried when the named one's padding
    // fails. Whether that retry runs depends on the parameters alone: both
    // keys are derived and both decryptions made every time, so the time
    // does not tell whether the padding was valid.
    const long prfs[2] = {prf, hash::kSha1};
    const int tries = prf == hash::kSha1 ? 1 : 2;
    SecureBytes key(key_len), plain[2];
    bool ok[2] = {false, false}, derived = true;
    for (int i = 0; i < tries; i++) {
        derived =
            derived && pbeKDF2(key.data(), long(key_len), pbe->password.data(), long(pbe->password.size()),
                               pbe->salt.data(), long(pbe->salt.size()), long(pbe->count), prfs[i]) == 0;
        ok[i] = cbc_decrypt(alg, key.data(), key_len, unsigned(pbe->keyParam), pbe->iv.data(), cipher, n,
                            plain[i]);
    }
    if (derived && (ok[0] || ok[1])) {
        out.swap(plain[ok[0] ? 0 : 1]);
        return true;
    }
    eprintf("Decryption error");
    return false;
}

bool pbe_Encrypt(PbeRec* pbe, const uint8_t* plain, size_t n, std::vector<uint8_t>& out) {
    out.clear();
    const Scheme* s = find_scheme(pbe->algorithm.c_str());
    if (!s || (s->kind == SchemeKind::kPbes1 && s->cipher == Bc::kRc2)) {
        eprintf("Unsupported PBE algorithm: %s", pbe->algorithm.c_str());
        return false;
    }
    if (s->kind == SchemeKind::kPbes2) return pbe_EncPBES2(pbe, plain, n, out);
    if (!make_salt(pbe, plain, n, s->alg, s->kind == SchemeKind::kPkcs12)) return false;
    uint8_t key[24], iv[8];
    velt::WipeOnExit wipe_k(key, sizeof key), wipe_i(iv, sizeof iv);
    size_t key_len;
    unsigned bits;
    if (!derive_v1(pbe, s, key, &key_len, &bits, iv) ||
        !cbc_encrypt(s->cipher, key, key_len, bits, iv, plain, n, out)) {
        eprintf("Unsupported PBE algorithm: %s", pbe->algorithm.c_str());
        return false;
    }
    return true;
}

bool pbe_Decrypt(PbeRec* pbe, const uint8_t* cipher, size_t n, SecureBytes& out) {
    out.clear();
    const Scheme* s = find_scheme(pbe->algorithm.c_str());
    if (!s) {
        eprintf("Unsupported PBE algorithm: %s", pbe->algorithm.c_str());
        return false;
    }
    if (s->kind == SchemeKind::kPbes2) return pbe_DecPBES2(pbe, cipher, n, out);
    if (!count_acceptable(pbe)) return false;
    uint8_t key[24], iv[8];
    velt::WipeOnExit wipe_k(key, sizeof key), wipe_i(iv, sizeof iv);
    size_t key_len;
    unsigned bits;
    if (!derive_v1(pbe, s, key, &key_len, &bits, iv) || !cbc_decrypt(s->cipher, key, key_len, bits, iv, cipher, n, out)) {
        eprintf("Decryption error");
        return false;
    }
    return true;
}
