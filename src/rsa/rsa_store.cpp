// RSA key files: writing DER and PEM, reading key files, PEM strings, base64
// DER and internal key strings into key records, and the saving and reading
// functions behind the exported RSA_Save* and RSA_Read* calls.
#include "rsa/rsa_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "encode/encode.h"
#include "frame/error.h"
#include "rsa/rsa_int.h"
#include "rsa/rsa_pem.h"
#include "rsa/rsa_pbe.h"

using velt::SecureBytes;
using velt::SecureString;

namespace {

bool empty(const char* s) { return !s || !*s; }

}  // namespace

long rsaWriteKeyFile(const char* path, const uint8_t* der, size_t len, const char* pemLabel, bool crlf,
                     unsigned mode) {
    if (empty(path)) return BAD_PARAM_ERROR;
    SecureString text;
    if (pemLabel) text = rsaPemEncode(der, len, pemLabel, crlf);
    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return CREATE_ERROR;
    // An existing file keeps its permissions under O_CREAT: narrow them for
    // private keys.
    if ((mode & 077) == 0) (void)::fchmod(fd, mode);
    FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        return CREATE_ERROR;
    }
    const void* p = pemLabel ? static_cast<const void*>(text.data()) : static_cast<const void*>(der);
    size_t n = pemLabel ? text.size() : len;
    bool ok = std::fwrite(p, 1, n, f) == n;
    if (std::fclose(f) != 0) return ok ? long(IO_ERROR) : long(WRITE_ERROR);
    return ok ? 0L : long(WRITE_ERROR);
}

long rsaWritePublicKeyFile(const char* path, const RsaKey* key, long options) {
    if (options & kKeyFormatPem) {
        std::vector<uint8_t> der = rsaPublicKeyDer(key);
        if (der.empty()) return BAD_FORMAT_ERROR;
        return rsaWriteKeyFile(path, der.data(), der.size(), "RSA PUBLIC KEY", true, 0644);
    }
    if (options & kKeyFormatAlt) {
        std::vector<uint8_t> der = rsaSpkiDer(key);
        if (der.empty()) return BAD_FORMAT_ERROR;
        return rsaWriteKeyFile(path, der.data(), der.size(), "PUBLIC KEY", false, 0644);
    }
    std::vector<uint8_t> der = rsaPublicKeyDer(key);
    if (der.empty()) return BAD_FORMAT_ERROR;
    return rsaWriteKeyFile(path, der.data(), der.size(), nullptr, true, 0644);
}

long rsaWriteEncPrivateKeyFile(const char* path, const RsaKey* key, long count, const char* password, long options,
                               bool forMakeKeys) {
    long status = 0;
    SecureBytes der = rsaEncryptedPrivateKeyInfoDer(key, count, password, options, &status);
    if (der.empty()) {
        if (forMakeKeys) {
            eprintf("Unable to create EncryptedPrivateKeyInfo ASN");
        } else {
            eprintf("Unable to make encrypted private key");
        }
        return status ? status : MISC_ERROR;
    }
    const bool pem = (options & (kKeyFormatPem | kKeyFormatAlt)) != 0;
    long rc = rsaWriteKeyFile(path, der.data(), der.size(), pem ? "ENCRYPTED PRIVATE KEY" : nullptr, true, 0644);
    if (rc == CREATE_ERROR) {
        if (forMakeKeys) {
            eprintf("Unable to create Encrypted Private Key File");
            return WRITE_ERROR;
        }
        eprintf("Cannot create output file '%s'", path);
        return CREATE_ERROR;
    }
    if (rc != 0 && forMakeKeys) {
        eprintf("Failed to create Encrypted Private Key File");
        return IO_ERROR;
    }
    return rc;
}

// ---- reading ------------------------------------------------------------

bool rsaKeyInputDer(const char* fileOrString, SecureBytes& der) {
    der.clear();
    FILE* f = std::fopen(fileOrString, "rb");
    if (f) {
        SecureBytes data;
        uint8_t buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
        std::fclose(f);
        ewipe(buf, sizeof buf);
        if (data.empty()) return false;
        SecureString s(data.begin(), data.end());
        if (s.find("-----BEGIN") != SecureString::npos) return rsaPemDecode(s.c_str(), der);
        der = std::move(data);
        return true;
    }
    if (std::strstr(fileOrString, "-----BEGIN")) return rsaPemDecode(fileOrString, der);
    if (fileOrString[0] == 'M') {
        size_t tl = std::strlen(fileOrString);
        der.resize(tl / 4 * 3 + 3);
        long n = b64decode(der.data(), long(der.size()), fileOrString);
        if (n <= 0) return false;
        der.resize(size_t(n));
        return true;
    }
    return false;
}

long rsaGetPublicKeyFromFileOrString(RsaKey* key, const char* fileOrString) {
    if (!key || !fileOrString) return NULL_ERROR;
    if (empty(fileOrString)) return BAD_PARAM_ERROR;
    key->flags = 0;
    if (IK_KeyTypeFromB64(fileOrString) != 0) {
        if (rsaMakePublicKeyFromB64(key, fileOrString) == 0) return 0;
        key->flags = 0;
        long rc = rsaMakePrivateKeyFromB64(key, fileOrString);
        if (rc == 0) {
            key->flags &= kRsaHasPublic;
            return 0;
        }
        return rc == PRNG_ERR_FAILURE ? rc : long(INVALID_DATA_ERROR);
    }
    SecureBytes der;
    if (!rsaKeyInputDer(fileOrString, der)) return INVALID_DATA_ERROR;
    if (rsaParsePublicKeyDer(key, der.data(), der.size()) == 0) return 0;
    key->flags = 0;
    long rc = rsaParseSpkiDer(key, der.data(), der.size());
    if (rc == 0) return 0;
    key->flags = 0;
    return rc == BAD_FORMAT_ERROR ? long(BAD_FORMAT_ERROR) : long(INVALID_DATA_ERROR);
}

long rsaGetPrivateKeyFromFileOrString(RsaKey* key, const char* fileOrString, const char* password) {
    if (!key || !fileOrString) return NULL_ERROR;
    if (empty(fileOrString)) return BAD_PARAM_ERROR;
    key->flags = 0;
    if (IK_KeyTypeFromB64(fileOrString) != 0) {
        long rc = rsaMakePrivateKeyFromB64(key, fileOrString);
        return rc == 0 || rc == PRNG_ERR_FAILURE ? rc : long(BAD_FORMAT_ERROR);
    }
    SecureBytes der;
    if (!rsaKeyInputDer(fileOrString, der)) {
        eprintf("Not a valid private key");
        return BAD_FORMAT_ERROR;
    }
    if (!empty(password)) {
        long rc = rsaDecryptPrivateKeyInfo(key, der.data(), der.size(), password);
        return rc == 0 ? 0L : long(BAD_FORMAT_ERROR);
    }
    long rc = rsaParsePrivateKeyDer(key, der.data(), der.size());
    if (rc == 0) return 0;
    key->flags = 0;
    if (rsaParsePrivateKeyInfoDer(key, der.data(), der.size()) == 0) return 0;
    key->flags = 0;
    eprintf("Not a valid private key");
    return BAD_FORMAT_ERROR;
}
