// Writing key files: a temporary file beside the target, renamed over it.
#include "ecc/ec_file.h"

#include <string>

#include "encode/encode.h"
#include "frame/error.h"
#include "util/emem.h"
#include "util/safe_write.h"

namespace velt::ecc {

namespace {

SecureString pem_text(const uint8_t* der, size_t len, const char* label) {
    SecureString b64(4 * ((len + 2) / 3) + 1, '\0');
    long n = b64encode(b64.data(), long(b64.size()), der, long(len));
    b64.resize(n > 0 ? size_t(n) : 0);
    SecureString out = "-----BEGIN ";
    out += label;
    out += "-----\n";
    for (size_t i = 0; i < b64.size(); i += 64) {
        out.append(b64, i, 64);
        out += '\n';
    }
    out += "-----END ";
    out += label;
    out += "-----\n";
    return out;
}

SecureString file_text(const uint8_t* der, size_t len, const char* label) {
    if (label) return pem_text(der, len, label);
    return SecureString(reinterpret_cast<const char*>(der), len);
}

constexpr WriteCodes kCodes{CREATE_ERROR, WRITE_ERROR, WRITE_ERROR};

}  // namespace

long ecWriteKeyPair(const char* priPath, const uint8_t* pri, size_t prilen, const char* priLabel,
                    const char* pubPath, const uint8_t* pub, size_t publen, const char* pubLabel) {
    if (!priPath || !*priPath || !pubPath || !*pubPath) return -BAD_PARAM_ERROR;
    SecureString priText = file_text(pri, prilen, priLabel);
    SecureString pubText = file_text(pub, publen, pubLabel);
    SafeWriter wpri(kCodes), wpub(kCodes);
    const char* failed = priPath;
    long rc = wpri.open(priPath, WriteMode::kSecret);
    if (rc == 0) rc = wpri.write(priText.data(), priText.size());
    if (rc == 0) rc = wpri.finish();
    if (rc == 0) {
        failed = pubPath;
        rc = wpub.open(pubPath, WriteMode::kPublic);
        if (rc == 0) rc = wpub.write(pubText.data(), pubText.size());
        if (rc == 0) rc = wpub.finish();
    }
    // Both files are complete before either replaces its target.
    if (rc == 0) {
        failed = priPath;
        rc = wpri.commit();
    }
    if (rc == 0) {
        failed = pubPath;
        rc = wpub.commit();
        if (rc != 0) wpri.undo_commit();  // removes the private key file only if this call created it
    }
    if (rc == CREATE_ERROR) eprint_headline("Unable to create file '%s'", failed);
    return -rc;
}

long ecWriteKeyFile(const char* path, const uint8_t* der, size_t len, const char* label, bool secret) {
    if (!path || !*path) return -BAD_PARAM_ERROR;
    SecureString text;
    const char* data = reinterpret_cast<const char*>(der);
    size_t n = len;
    if (label) {
        text = pem_text(der, len, label);
        data = text.data();
        n = text.size();
    }
    long rc = safe_write_file(path, data, n, secret ? WriteMode::kSecret : WriteMode::kPublic,
                              WriteCodes{CREATE_ERROR, WRITE_ERROR, WRITE_ERROR});
    if (rc == CREATE_ERROR) eprint_headline("Unable to create file '%s'", path);
    return -rc;
}

}  // namespace velt::ecc
