// RSA key files: writing DER and PEM, reading key files, PEM strings, base64
// DER and internal key strings into key records, and the saving and reading
// functions behind the exported RSA_Save* and RSA_Read* calls.
#include "rsa/rsa_store.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "encode/encode.h"
#include "frame/error.h"
#include "rsa/rsa_int.h"
#include "rsa/rsa_pem.h"
#include "rsa/rsa_pbe.h"
#include "util/futil.h"
#include "util/safe_write.h"

using velt::SecureBytes;
using velt::SecureString;

namespace {

bool empty(const char* s) {
    return !s || !*s;
}

}  // namespace

SecureBytes rsaKeyFileBytes(const uint8_t* der, size_t len, const char* pemLabel, bool crlf) {
    if (!pemLabel) return SecureBytes(der, der + len);
    SecureString text = rsaPemEncode(der, len, pemLabel, crlf);
    return SecureBytes(text.begin(), text.end());
}

long rsaWriteKeyFile(const char* path, const uint8_t* der, size_t len, const char* pemLabel, bool crlf,
                     bool secret) {
    if (empty(path)) return BAD_PARAM_ERROR;
    SecureBytes bytes = rsaKeyFileBytes(der, len, pemLabel, crlf);
    return velt::safe_write_file(path, bytes.data(), bytes.size(),
                                 secret ? velt::WriteMode::kSecret : velt::WriteMode::kPublic,
                                 kKeyWriteCodes);
}

SecureBytes rsaPublicKeyFileBytes(const RsaKey* key, long options) {
    if (options & kKeyFormatPem) {
        std::vector<uint8_t> der = rsaPublicKeyDer(key);
        if (der.empty()) return {};
        return rsaKeyFileBytes(der.data(), der.size(), "RSA PUBLIC KEY", true);
    }
    std::vector<uint8_t> der = (options & kKeyFormatAlt) ? rsaSpkiDer(key) : rsaPublicKeyDer(key);
    if (der.empty()) return {};
    return rsaKeyFileBytes(der.data(), der.size(), (options & kKeyFormatAlt) ? "PUBLIC KEY" : nullptr, false);
}

long rsaWritePublicKeyFile(const char* path, const RsaKey* key, long options) {
    if (empty(path)) return BAD_PARAM_ERROR;
    SecureBytes bytes = rsaPublicKeyFileBytes(key, options);
    if (bytes.empty()) return BAD_FORMAT_ERROR;
    return velt::safe_write_file(path, bytes.data(), bytes.size(), velt::WriteMode::kPublic, kKeyWriteCodes);
}

namespace {

// The EncryptedPrivateKeyInfo file content (DER, or PEM with either format
// bit); empty with *status set when it cannot be built.
SecureBytes enc_private_key_bytes(const RsaKey* key, long count, const char* password, long options,
                                  long* status) {
    SecureBytes der = rsaEncryptedPrivateKeyInfoDer(key, count, password, options, status);
    if (der.empty()) return der;
    const bool pem = (options & (kKeyFormatPem | kKeyFormatAlt)) != 0;
    return rsaKeyFileBytes(der.data(), der.size(), pem ? "ENCRYPTED PRIVATE KEY" : nullptr, true);
}

}  // namespace

long rsaWriteEncPrivateKeyFile(const char* path, const RsaKey* key, long count, const char* password,
                               long options) {
    if (empty(path)) return BAD_PARAM_ERROR;
    long status = 0;
    SecureBytes bytes = enc_private_key_bytes(key, count, password, options, &status);
    if (bytes.empty()) {
        eprintf("Unable to make encrypted private key");
        return status ? status : MISC_ERROR;
    }
    // Encrypted or not, a private key file is readable by its owner only.
    long rc =
        velt::safe_write_file(path, bytes.data(), bytes.size(), velt::WriteMode::kSecret, kKeyWriteCodes);
    if (rc == CREATE_ERROR) velt::eprint_headline("Cannot create output file '%s'", path);
    return rc;
}

long rsaWriteKeyPairFiles(const char* publicKeyFile, const char* privateKeyFile, const RsaKey* key,
                          long count, const char* password, long options) {
    long status = 0;
    SecureBytes priv = enc_private_key_bytes(key, count, password, options, &status);
    if (priv.empty()) {
        eprintf("Unable to create EncryptedPrivateKeyInfo ASN");
        return status ? status : MISC_ERROR;
    }
    SecureBytes pub = rsaPublicKeyFileBytes(key, options);
    if (pub.empty()) {
        eprintf("Unable to create Public Key file");
        return BAD_FORMAT_ERROR;
    }
    // Both files are written and flushed before either is renamed into
    // place, so a failure while writing leaves both targets as they were.
    velt::SafeWriter pw(velt::WriteCodes{WRITE_ERROR, IO_ERROR, IO_ERROR});
    long rc = pw.open(privateKeyFile, velt::WriteMode::kSecret);
    if (rc) {
        velt::eprint_headline("Unable to create Encrypted Private Key File");
        return rc;
    }
    if ((rc = pw.write(priv.data(), priv.size())) || (rc = pw.finish())) {
        velt::eprint_headline("Failed to create Encrypted Private Key File");
        return rc;
    }
    velt::SafeWriter uw(kKeyWriteCodes);
    if ((rc = uw.open(publicKeyFile, velt::WriteMode::kPublic)) || (rc = uw.write(pub.data(), pub.size())) ||
        (rc = uw.finish())) {
        velt::eprint_headline("Unable to create Public Key file");
        return rc;
    }
    if ((rc = pw.commit())) {
        velt::eprint_headline("Unable to create Encrypted Private Key File");
        return rc;
    }
    if ((rc = uw.commit())) {
        // The private key file made here is taken back; one that existed
        // before was already replaced and stays (with the new key).
        pw.undo_commit();
        velt::eprint_headline("Unable to create Public Key file");
        return rc;
    }
    return 0;
}

// ---- reading ------------------------------------------------------------

bool rsaKeyInputDer(const char* fileOrString, SecureBytes& der) {
    der.clear();
    long err = 0;
    FILE* f = futil_open_input(fileOrString, kMaxInputFileSize, &err);
    if (f) {
        SecureBytes data;
        long rc = futil_read_stream(f, data, kMaxInputFileSize);
        std::fclose(f);
        if (rc != 0 || data.empty()) return false;
        SecureString s(data.begin(), data.end());
        if (s.find("-----BEGIN") != SecureString::npos) return rsaPemDecode(s.c_str(), der);
        der = std::move(data);
        return true;
    }
    // A file that exists but was refused (not a regular file, too large) is
    // not read as key text.
    struct stat st;
    if (stat(fileOrString, &st) == 0) return false;
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
        long rc = rsaMakePublicKeyFromB64(key, fileOrString);
        if (rc == 0 || rc == BAD_KEY_LEN_ERROR) return rc;
        key->flags = 0;
        rc = rsaMakePrivateKeyFromB64(key, fileOrString);
        if (rc == 0) {
            key->flags &= kRsaHasPublic;
            return 0;
        }
        return rc == PRNG_ERR_FAILURE || rc == BAD_KEY_LEN_ERROR ? rc : long(INVALID_DATA_ERROR);
    }
    SecureBytes der;
    if (!rsaKeyInputDer(fileOrString, der)) return INVALID_DATA_ERROR;
    long rc = rsaParsePublicKeyDer(key, der.data(), der.size());
    if (rc == 0 || rc == BAD_KEY_LEN_ERROR) return rc;
    key->flags = 0;
    rc = rsaParseSpkiDer(key, der.data(), der.size());
    if (rc == 0) return 0;
    key->flags = 0;
    return rc == BAD_FORMAT_ERROR || rc == BAD_KEY_LEN_ERROR ? rc : long(INVALID_DATA_ERROR);
}

long rsaGetPrivateKeyFromFileOrString(RsaKey* key, const char* fileOrString, const char* password) {
    if (!key || !fileOrString) return NULL_ERROR;
    if (empty(fileOrString)) return BAD_PARAM_ERROR;
    key->flags = 0;
    if (IK_KeyTypeFromB64(fileOrString) != 0) {
        long rc = rsaMakePrivateKeyFromB64(key, fileOrString);
        return rc == 0 || rc == PRNG_ERR_FAILURE || rc == BAD_KEY_LEN_ERROR ? rc : long(BAD_FORMAT_ERROR);
    }
    SecureBytes der;
    if (!rsaKeyInputDer(fileOrString, der)) {
        eprintcatf("Not a valid private key");
        return BAD_FORMAT_ERROR;
    }
    if (!empty(password)) {
        long rc = rsaDecryptPrivateKeyInfo(key, der.data(), der.size(), password);
        return rc == 0 || rc == INVALID_DATA_ERROR || rc == BAD_KEY_LEN_ERROR ? rc : long(BAD_FORMAT_ERROR);
    }
    long rc = rsaParsePrivateKeyDer(key, der.data(), der.size());
    if (rc == 0 || rc == BAD_KEY_LEN_ERROR) return rc;
    key->flags = 0;
    rc = rsaParsePrivateKeyInfoDer(key, der.data(), der.size());
    if (rc == 0 || rc == BAD_KEY_LEN_ERROR) return rc;
    key->flags = 0;
    eprintf("Not a valid private key");
    return BAD_FORMAT_ERROR;
}
