// RSA key records to and from internal key strings.
#include <cstring>

#include "frame/error.h"
#include "rsa/rsa.h"
#include "rsa/rsa_int.h"

using velt::SecureBytes;
using velt::SecureString;

namespace {

// A key read from storage must at least allow the arithmetic: n > 1 and e > 0.
bool usable(const RsaKey* key) { return bdShortCmp(key->n, 1) > 0 && !bdIsZero(key->e); }

// A failed key-string decode: the generator's failure (no wrapping key could
// be made) keeps its own code; anything else is invalid data.
long decode_failure(long len) {
    return len == -PRNG_ERR_FAILURE ? long(PRNG_ERR_FAILURE) : long(INVALID_DATA_ERROR);
}

// The same for making a key string, negative: 0 when s was made.
long encode_result(const std::string& s, long len) {
    if (!s.empty()) return 0;
    return len == -PRNG_ERR_FAILURE ? len : -INVALID_DATA_ERROR;
}

}  // namespace

long rsaMakePublicKeyFromB64(RsaKey* key, const char* text) {
    if (!key || !text) return NULL_ERROR;
    long len = 0;
    int type = 0;
    SecureBytes der = IK_BytesFromB64(&len, &type, text);
    if (len < 0) return decode_failure(len);
    if (type != 0 && type != 1 && type != 3) return INVALID_DATA_ERROR;
    if (len < 18) return OUT_OF_RANGE_ERROR;
    long rc = rsaParsePublicKeyDer(key, der.data(), der.size());
    // Plain base64 may also carry a SubjectPublicKeyInfo.
    if (rc != 0 && type == 0) rc = rsaParseSpkiDer(key, der.data(), der.size());
    if (rc != 0 || !usable(key)) {
        key->flags = 0;
        return INVALID_DATA_ERROR;
    }
    return 0;
}

long rsaMakePrivateKeyFromB64(RsaKey* key, const char* text) {
    if (!key || !text) return NULL_ERROR;
    long len = 0;
    int type = 0;
    SecureBytes der = IK_BytesFromB64(&len, &type, text);
    if (len < 0) return decode_failure(len);
    if (type != 0 && type != 2 && type != 4) return INVALID_DATA_ERROR;
    if (len < 76) return OUT_OF_RANGE_ERROR;
    long rc = rsaParsePrivateKeyDer(key, der.data(), der.size());
    if (rc != 0 && type == 0) rc = rsaParsePrivateKeyInfoDer(key, der.data(), der.size());
    if (rc == NOT_SUPPORTED_ERROR) return rc;
    if (rc != 0 || !usable(key)) {
        key->flags = 0;
        return INVALID_DATA_ERROR;
    }
    return 0;
}

std::string rsaPublicKeyString(const RsaKey* key, long options, long* error) {
    if (error) *error = -INVALID_DATA_ERROR;
    std::vector<uint8_t> der = rsaPublicKeyDer(key);
    if (der.empty()) return {};
    long len = 0;
    std::string s = IK_B64FromBytes(&len, (options & kKeyUnwrapped) ? 0 : 1, der.data(), long(der.size()));
    if (error) *error = encode_result(s, len);
    return s;
}

SecureString rsaPrivateKeyString(const RsaKey* key, long options, long* error) {
    if (error) *error = -INVALID_DATA_ERROR;
    SecureBytes der = rsaPrivateKeyDer(key);
    if (der.empty()) return {};
    long len = 0;
    std::string s = IK_B64FromBytes(&len, (options & kKeyUnwrapped) ? 0 : 2, der.data(), long(der.size()));
    if (error) *error = encode_result(s, len);
    SecureString out(s.begin(), s.end());
    ewipe(s.data(), s.size());
    return out;
}

namespace {

long out_string(char* out, long outlen, const char* s, size_t n) {
    if (!out || outlen <= 0) return long(n);
    if (outlen < long(n)) return -SHORT_BUF_ERROR;
    std::memcpy(out, s, n);
    out[n] = '\0';
    return long(n);
}

}  // namespace

long rsaMakeB64FromPublicKey(char* out, long outlen, const RsaKey* key, long options) {
    if (!key || !(key->flags & kRsaHasPublic)) {
        eprintf("Not an RSA public key");
        return -BAD_FORMAT_ERROR;
    }
    long error = 0;
    std::string s = rsaPublicKeyString(key, options, &error);
    if (s.empty()) return error;
    return out_string(out, outlen, s.data(), s.size());
}

long rsaMakeB64FromPrivateKey(char* out, long outlen, const RsaKey* key, long options) {
    if (!key || (key->flags & 3) != 3) {
        eprintf("Not an RSA private key");
        return -BAD_FORMAT_ERROR;
    }
    long error = 0;
    SecureString s = rsaPrivateKeyString(key, options, &error);
    if (s.empty()) return error;
    return out_string(out, outlen, s.data(), s.size());
}
