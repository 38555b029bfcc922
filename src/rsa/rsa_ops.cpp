// Bodies of the exported key-engine functions: key files, the in-place raw
// operations with the ISO 9796-1 / X9.31 ("RSA2") adjustment, key checks,
// matching, hash codes and sizes.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/error.h"
#include "hash/hash.h"
#include "rng/rng.h"
#include "rsa/rsa.h"
#include "rsa/rsa_int.h"
#include "rsa/rsa_store.h"
#include "util/ct.h"

using velt::SecureBytes;

namespace {

bool empty(const char* s) {
    return !s || !*s;
}

// Reads a key string as private, else as public; 0 or the reader's code.
long read_any(RsaKey* key, const char* text, bool* is_private) {
    long rc = rsaMakePrivateKeyFromB64(key, text);
    if (rc == 0) {
        *is_private = true;
        return 0;
    }
    key->flags = 0;
    long rc2 = rsaMakePublicKeyFromB64(key, text);
    if (rc2 == 0) {
        *is_private = false;
        return 0;
    }
    return rc2;
}

// Low four bits of the options: 6 or 12 select the RSA2 adjustment.
long rsa2_mode(long options) {
    long m = options & 0x0F;
    return (m == 6 || m == 12) ? m : 0;
}

}  // namespace

// ---- key files ---------------------------------------------------------

long rsaMakeKeys(const char* publicKeyFile, const char* privateKeyFile, long nbits, long exponentIndex,
                 long ntests, long iterationCount, const char* password, const unsigned char* seed,
                 long seedlen, long options) {
    if (empty(publicKeyFile) || empty(privateKeyFile) || empty(password)) return -BAD_PARAM_ERROR;
    if (nbits < 97) {
        eprintf("Invalid size %d", int(nbits));
        return -OUT_OF_RANGE_ERROR;
    }
    if (seedlen < 0 || (seedlen > 0 && !seed)) return -BAD_PARAM_ERROR;
    if (ntests < 0) ntests = 0;
    RsaKeyHolder key;
    long rc = rsaGenerateKeys(key.get(), size_t(nbits), exponentIndex, size_t(ntests), seed, size_t(seedlen),
                              rngFunc, options);
    if (rc != 0) {
        eprintcatf("rsaGenerateKeys failed");
        if (rc == TEST_FAILED_ERROR)
            event_log_error("RSA key generation failed Pair-wise Consistency Test",
                            long(int32_t(0xC0001F52u)));
        return -rc;
    }
    rc = rsaWriteEncPrivateKeyFile(privateKeyFile, key.get(), iterationCount, password, options, true);
    if (rc != 0) return -rc;
    rc = rsaWritePublicKeyFile(publicKeyFile, key.get(), options);
    if (rc != 0) {
        eprintf("Unable to create Public Key file");
        return -rc;
    }
    return 0;
}

long rsaMakeKeysXtd(const char* publicKeyFile, const char* privateKeyFile, const char* password, long nbits,
                    long exponentIndex, const char* paramString, long options) {
    RsaKeyParams kp;
    long rc = rsaParseKeyParams(paramString, kp);
    if (rc != 0) return -rc;
    if (kp.prf >= 0 && (options & 0x0F) == 0) options |= kp.prf;
    return rsaMakeKeys(publicKeyFile, privateKeyFile, nbits, exponentIndex, kp.ntests, kp.count, password,
                       reinterpret_cast<const unsigned char*>(kp.seed.data()), long(kp.seed.size()), options);
}

// ---- raw operations in place ---------------------------------------------

long rsaRawPublicInPlace(unsigned char* data, long dataLen, const char* keyString, long options) {
    if (!data || dataLen < 1 || empty(keyString)) return BAD_PARAM_ERROR;
    RsaKeyHolder key;
    long rc = rsaMakePublicKeyFromB64(key.get(), keyString);
    if (rc != 0) {
        eprintf("Invalid Public Key");
        return rc;
    }
    const size_t k = rsaBlockLength(key.get());
    if (size_t(dataLen) != k) {
        eprintf("Data length (%ld) does not match key (%d) bytes", dataLen, int(k));
        return OUT_OF_RANGE_ERROR;
    }
    const long mode = rsa2_mode(options);
    if (mode) {
        Bd x, half;
        bdConvFromOctets(x, data, k);
        bdShiftRight(half, key->n, 1);
        if (bdCompare(x, half) > 0) {
            eprintf("For RSA2, signature must be < n/2");
            return OUT_OF_RANGE_ERROR;
        }
    }
    SecureBytes out(k);
    size_t len = 0;
    rc = rsaPublicRaw(key.get(), out.data(), &len, data, k);
    if (rc != 0) {
        eprintf("RSA operation failed");
        return rc;
    }
    if (mode) {
        Bd v, t, r;
        bdConvFromOctets(v, out.data(), k);
        if (long(bdShortMod(r, v, 16)) != mode) {
            bdSubtract(t, key->n, v);
            if (long(bdShortMod(r, t, 16)) == mode) {
                bdConvToOctets(t, out.data(), k);
            } else {
                std::memset(data, 0, k);
                return SIGNATURE_ERROR;
            }
        }
    }
    std::memcpy(data, out.data(), k);
    return 0;
}

long rsaRawPrivateInPlace(unsigned char* data, long dataLen, const char* keyString, long options) {
    if (!data || dataLen < 1 || empty(keyString)) return BAD_PARAM_ERROR;
    RsaKeyHolder key;
    long rc = rsaMakePrivateKeyFromB64(key.get(), keyString);
    if (rc != 0) {
        eprintf("Invalid Private Key");
        return rc;
    }
    const size_t k = rsaBlockLength(key.get());
    if (size_t(dataLen) != k) {
        eprintf("Data length (%ld) does not match key (%d) bytes", dataLen, int(k));
        return OUT_OF_RANGE_ERROR;
    }
    const long mode = rsa2_mode(options);
    if (mode && ((data[k - 1] & 0x0F) % mode) != 0) return BAD_FORMAT_ERROR;
    SecureBytes out(k);
    size_t len = 0;
    rc = rsaPrivateRaw(key.get(), out.data(), &len, data, k);
    if (rc != 0) {
        eprintf("RSA operation failed");
        return rc;
    }
    if (mode) {
        // The smaller of s and n - s (ISO/IEC 9796-1, ANSI X9.31).
        Bd s, t;
        bdConvFromOctets(s, out.data(), k);
        bdSubtract(t, key->n, s);
        if (bdCompare(t, s) < 0) bdConvToOctets(t, out.data(), k);
    }
    std::memcpy(data, out.data(), k);
    return 0;
}

// ---- checks and queries ---------------------------------------------------

namespace {

// n odd and 3 <= e < n with e odd: the least a public key must satisfy.
bool public_values_valid(const RsaKey* key) {
    return bdIsOdd(key->n) && bdIsOdd(key->e) && bdShortCmp(key->e, 3) >= 0 && bdCompare(key->e, key->n) < 0;
}

}  // namespace

long rsaCheckKey(const char* keyString, long) {
    if (empty(keyString)) return -BAD_PARAM_ERROR;
    RsaKeyHolder key;
    bool priv = false;
    long rc = read_any(key.get(), keyString, &priv);
    if (rc != 0) {
        eprintf("Could not extract key from string");
        return -rc;
    }
    if (!priv) {
        if (!public_values_valid(key.get())) {
            eprintf("Invalid public key: n must be odd and e odd with 3 <= e < n");
            return -INVALID_DATA_ERROR;
        }
        return 1;
    }
    if (!public_values_valid(key.get())) return -TEST_FAILED_ERROR;
    rc = rsaPairWiseTest(key.get());
    return rc == 0 ? 0 : -TEST_FAILED_ERROR;
}

long rsaKeyMatch(const char* privateKeyString, const char* publicKeyString) {
    if (empty(privateKeyString) || empty(publicKeyString)) return -BAD_PARAM_ERROR;
    RsaKeyHolder pri, pub;
    long rc = rsaMakePrivateKeyFromB64(pri.get(), privateKeyString);
    if (rc != 0) {
        eprintf("Could not extract private key from string");
        return -rc;
    }
    rc = rsaMakePublicKeyFromB64(pub.get(), publicKeyString);
    if (rc != 0) {
        eprintf("Could not extract public key from string");
        return -rc;
    }
    if (pri->bits != pub->bits) {
        eprintf("Key lengths are different");
        return -NO_MATCH_ERROR;
    }
    if (rsaPairWiseTest(pri.get()) != 0) {
        eprintf("Not a valid private key");
        return -INVALID_DATA_ERROR;
    }
    std::vector<uint8_t> a = rsaPublicKeyDer(pri.get()), b = rsaPublicKeyDer(pub.get());
    if (a.empty() || b.empty()) {
        eprintf("Invalid key data");
        return -INVALID_DATA_ERROR;
    }
    if (a != b) {
        eprintf("Keys do not match");
        return -NO_MATCH_ERROR;
    }
    return 0;
}

long rsaKeyHashCode(const char* keyString) {
    if (empty(keyString)) {
        errset(-BAD_PARAM_ERROR);
        return 0;
    }
    RsaKeyHolder key;
    bool priv = false;
    if (read_any(key.get(), keyString, &priv) != 0) {
        eprintf("Could not extract key from string");
        errset(-INVALID_DATA_ERROR);
        return 0;
    }
    std::vector<uint8_t> der = rsaPublicKeyDer(key.get());
    uint8_t dig[20];
    velt::WipeOnExit wipe(dig, sizeof dig);
    velt::hash::digest(velt::hash::kSha1, der.data(), der.size(), dig);
    ewipe(der.data(), der.size());
    uint32_t v = (uint32_t(dig[0]) << 24) | (uint32_t(dig[1]) << 16) | (uint32_t(dig[2]) << 8) | dig[3];
    return long(int32_t(v));
}

namespace {

long key_size(const char* keyString, bool bytes) {
    if (empty(keyString)) return -BAD_PARAM_ERROR;
    RsaKeyHolder key;
    long rc = rsaMakePublicKeyFromB64(key.get(), keyString);
    if (rc != 0) {
        key->flags = 0;
        rc = rsaMakePrivateKeyFromB64(key.get(), keyString);
    }
    if (rc != 0) {
        eprintf("Could not extract key from string");
        return -rc;
    }
    return long(bytes ? rsaBlockLength(key.get()) : rsaBitLength(key.get()));
}

}  // namespace

long rsaKeyBits(const char* keyString) {
    return key_size(keyString, false);
}
long rsaKeyBytes(const char* keyString) {
    return key_size(keyString, true);
}

long rsaPublicKeyFromPrivate(char* out, long outlen, const char* privateKeyString, long options) {
    if (empty(privateKeyString)) return -BAD_PARAM_ERROR;
    RsaKeyHolder key;
    long rc = rsaMakePrivateKeyFromB64(key.get(), privateKeyString);
    if (rc != 0) {
        eprintf("Could not extract private key from string");
        return -rc;
    }
    return rsaMakeB64FromPublicKey(out, outlen, key.get(), options);
}
