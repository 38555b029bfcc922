// Signing and verifying data and files with text-encoded signatures: the
// choice of algorithm, key reading, the engines, and the encodings of the
// signature value (hex, base64, base64url).
#include <cstring>
#include <string>

#include "encode/encode.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "sig/sig.h"
#include "util/emem.h"
#include "util/futil.h"
#include "x509/x509.h"

namespace velt::sig {

namespace {

inline constexpr long kUseDigest = 0x1000;
inline constexpr long kAsn1Der = 0x4000;
inline constexpr long kEncodeHex = 0x30000;
inline constexpr long kEncodeB64Url = 0x40000;

bool empty(const char* s) {
    return !s || !*s;
}

// The row named by algName ("name" or "name/parameter"), else the row of
// the option word's low byte. Negative code on failure; param receives the
// text after "/".
long choose_row(const SigAlgRow** row, std::string& param, const char* algName, long options) {
    if (!empty(algName)) {
        std::string name = algName;
        size_t slash = name.find('/');
        if (slash != std::string::npos) {
            param = name.substr(slash + 1);
            name = name.substr(0, std::min<size_t>(slash, 31));
        }
        *row = sigPtrToSigAlgByName(name.c_str());
        if (!*row) {
            eprintcatf("Invalid algorithm '%s'", name.c_str());
            return -NO_MATCH_ERROR;
        }
    } else {
        *row = sigPtrToSigAlgById(options & 0xFF);
        if (!*row) return -BAD_FLAG_ERROR;
    }
    // The library makes and checks no DSA signatures through these functions
    // (DSA verification serves certificates and CMS only).
    if (sigIdIsDsa((*row)->id)) {
        eprintf("Algorithm '%s' is not supported", (*row)->name);
        return -NOT_SUPPORTED_ERROR;
    }
    return 0;
}

size_t encoded_length(size_t n, long options) {
    if (options & kEncodeHex) return 2 * n;
    if (options & kEncodeB64Url) return (4 * n + 2) / 3;
    return 4 * ((n + 2) / 3);
}

std::string encode(const std::vector<uint8_t>& sig, long options) {
    if (options & kEncodeHex) return hex_string(sig.data(), sig.size(), false);
    std::string s = b64_string(sig.data(), sig.size());
    if (options & kEncodeB64Url) s.resize(size_t(b64tobase64url(s.data())));
    return s;
}

// Strict hexadecimal, else base64url, else base64; false when none.
bool decode_signature(std::vector<uint8_t>& out, const char* text) {
    const size_t n = std::strlen(text);
    if (detect_ishexstrict(text) && n % 2 == 0) {
        out = hex_bytes(text);
        return out.size() == n / 2;
    }
    if (detect_isbase64url(text) || detect_isbase64(text)) {
        std::string s = text;
        b64frombase64url(s.data());
        out = b64_bytes(s.c_str());
        return !out.empty();
    }
    return false;
}

long sign_bytes(std::vector<uint8_t>& sig, size_t* orderBytes, const uint8_t* data, size_t dlen,
                const char* key, const char* password, const SigAlgRow& row, const std::string& param,
                long options) {
    if (sigIdIsEcc(row.id))
        return eccDSA_SignDataToBytes(sig, data, dlen, key, password, row, options, orderBytes);
    RsaKeyUse rsa;
    long rc = rsa.open_private(key, password ? password : "");
    if (rc == 0) {
        if (sigIdIsPss(row.id)) {
            std::vector<uint8_t> salt = hex_bytes(param.c_str());
            rc = rsasigSign_PSS(sig, rsa, data, dlen, row, options, param.empty() ? nullptr : salt.data(),
                                salt.size());
        } else {
            rc = rsasigSign(sig, rsa, data, dlen, row, (options & kUseDigest) != 0);
        }
    }
    return rc;
}

long verify_bytes(const std::vector<uint8_t>& sig, const uint8_t* data, size_t dlen, const char* key,
                  const SigAlgRow& row, long options) {
    // An X.509 certificate stands for its subject's public key. Internal key
    // strings ("P...") and text too short for a certificate that names no
    // file are never certificates (and cost no probe).
    std::string certKey;
    if (!empty(key) && key[0] != 'P' && (std::strlen(key) >= 256 || futil_exists(key))) {
        if (x509publicKeyStringFromCert(certKey, key) == 0)
            key = certKey.c_str();
        else
            errclear();  // not a certificate: the key readers below report
    }
    if (sigIdIsEcc(row.id))
        return eccDSA_VerifyDataFromBytes(sig.data(), sig.size(), data, dlen, key, row, options);
    RsaKeyUse rsa;
    long rc = rsa.open_public(key);
    if (rc == 0) {
        rc = sigIdIsPss(row.id)
                 ? rsasigVerify_PSS(sig.data(), sig.size(), rsa, data, dlen, row, options)
                 : rsasigVerify(sig.data(), sig.size(), rsa, data, dlen, row, (options & kUseDigest) != 0);
    }
    return rc;
}

long sign_to_text(char* out, long outlen, const uint8_t* data, size_t dlen, const char* key,
                  const char* password, const SigAlgRow& row, const std::string& param, long options) {
    std::vector<uint8_t> sig;
    size_t nb = 0;
    long rc = sign_bytes(sig, &nb, data, dlen, key, password, row, param, options);
    if (rc != 0) return -rc;
    if (!out || outlen < 1) {
        // A DER ECDSA value varies in length from one signature to the next:
        // answer with the longest any signature of the curve can take.
        if (nb && (options & kAsn1Der)) return long(encoded_length(ecdsaDerMaxLen(nb), options));
        return long(encoded_length(sig.size(), options));
    }
    std::string text = encode(sig, options);
    if (long(text.size()) > outlen) return -SHORT_BUF_ERROR;
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return long(text.size());
}

// The file's digest with the row's hash: 0, or the hash error (negative).
long file_digest(std::vector<uint8_t>& digest, const char* file, const SigAlgRow& row) {
    digest.assign(row.digestLen, 0);
    long rc = hashFile(digest.data(), long(digest.size()), file, row.hashAlg);
    if (rc < 0) {
        eprintcatf("Error with file '%s'", file);
        return rc;
    }
    if (size_t(rc) != row.digestLen) return -BAD_LENGTH_ERROR;
    return 0;
}

}  // namespace

long sigSignData(char* out, long outlen, const uint8_t* data, long dlen, const char* key,
                 const char* password, const char* algName, long options) {
    if (empty(key) || dlen < 0) return -BAD_PARAM_ERROR;
    if (!data && dlen > 0) return -NULL_ERROR;
    const SigAlgRow* row = nullptr;
    std::string param;
    long rc = choose_row(&row, param, algName, options);
    if (rc != 0) return rc;
    static const uint8_t kNothing = 0;
    return sign_to_text(out, outlen, data ? data : &kNothing, size_t(dlen), key, password, *row, param,
                        options);
}

long sigSignFile(char* out, long outlen, const char* file, const char* key, const char* password,
                 const char* algName, long options) {
    if (empty(file) || empty(key)) return -BAD_PARAM_ERROR;
    const SigAlgRow* row = nullptr;
    std::string param;
    long rc = choose_row(&row, param, algName, options);
    if (rc != 0) return rc;
    if (sigIdIsEdDSA(row->id)) {
        eprintf("Cannot use digest value for an EdDSA signature");
        return -NOT_SUPPORTED_ERROR;
    }
    std::vector<uint8_t> digest;
    rc = file_digest(digest, file, *row);
    if (rc != 0) return rc;
    return sign_to_text(out, outlen, digest.data(), digest.size(), key, password, *row, param,
                        options | kUseDigest);
}

long sigVerifyData(const char* sigText, const uint8_t* data, long dlen, const char* key, const char* algName,
                   long options) {
    if (empty(sigText) || empty(key) || dlen < 0) return -BAD_PARAM_ERROR;
    if (!data && dlen > 0) return -NULL_ERROR;
    const SigAlgRow* row = nullptr;
    std::string param;
    long rc = choose_row(&row, param, algName, options);
    if (rc != 0) return rc;
    std::vector<uint8_t> sig;
    if (!decode_signature(sig, sigText)) {
        eprintf("Invalid encoding in signature");
        return -BAD_FORMAT_ERROR;
    }
    static const uint8_t kNothing = 0;
    rc = verify_bytes(sig, data ? data : &kNothing, size_t(dlen), key, *row, options);
    return -rc;
}

long sigVerifyFile(const char* sigText, const char* file, const char* key, const char* algName,
                   long options) {
    if (empty(sigText) || empty(file) || empty(key)) return -BAD_PARAM_ERROR;
    const SigAlgRow* row = nullptr;
    std::string param;
    long rc = choose_row(&row, param, algName, options);
    if (rc != 0) return rc;
    if (sigIdIsEdDSA(row->id)) {
        eprintf("Cannot use digest value for an EdDSA signature");
        return -NOT_SUPPORTED_ERROR;
    }
    std::vector<uint8_t> sig;
    if (!decode_signature(sig, sigText)) {
        eprintf("Invalid encoding in signature");
        return -BAD_FORMAT_ERROR;
    }
    std::vector<uint8_t> digest;
    rc = file_digest(digest, file, *row);
    if (rc != 0) return rc;
    return -verify_bytes(sig, digest.data(), digest.size(), key, *row, options | kUseDigest);
}

}  // namespace velt::sig
