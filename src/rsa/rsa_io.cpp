// Bodies of the exported key reading and saving functions.
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "encode/encode.h"
#include "frame/error.h"
#include "pfx/pfx.h"
#include "rsa/rsa.h"
#include "rsa/rsa_int.h"
#include "rsa/rsa_pbe.h"
#include "rsa/rsa_pem.h"
#include "rsa/rsa_store.h"
#include "util/futil.h"
#include "x509/x509.h"

using velt::SecureBytes;
using velt::SecureString;

namespace {

bool empty(const char* s) {
    return !s || !*s;
}

// The first octets of a file (up to n), empty when it cannot be opened.
std::string file_head(const char* path, size_t n) {
    FILE* f = futil_open_input(path, SIZE_MAX, nullptr);
    if (!f) return {};
    std::string s(n, '\0');
    size_t got = std::fread(s.data(), 1, n, f);
    std::fclose(f);
    s.resize(got);
    return s;
}

// XML and JSON key forms: the text itself or a file that starts with them.
enum class TextForm { None, Xml, Json };

TextForm text_form(const char* input) {
    if (std::strchr(input, '<')) return TextForm::Xml;
    if (std::strchr(input, '{')) return TextForm::Json;
    std::string head = file_head(input, 256);
    if (head.empty()) return TextForm::None;
    size_t i = 0;
    if (head.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
    if (i < head.size() && head[i] == '<') return TextForm::Xml;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) ++i;
    if (i < head.size() && head[i] == '{') return TextForm::Json;
    return TextForm::None;
}

// XML and JSON keys are read by their own module, which is not part of this
// build: they fail with that module's codes.
long text_form_unavailable(TextForm f) {
    if (f == TextForm::Xml) {
        eprintf("Invalid XML data");
        return BAD_XML_ERROR;
    }
    eprintf("Invalid JSON text");
    return BAD_FORMAT_ERROR;
}

// An unencrypted private key: RSAPrivateKey or PrivateKeyInfo.
long parse_plain_private(RsaKey* key, const SecureBytes& der) {
    long rc = rsaParsePrivateKeyDer(key, der.data(), der.size());
    if (rc == 0 || rc == NOT_SUPPORTED_ERROR || rc == BAD_KEY_LEN_ERROR) return rc;
    key->flags = 0;
    rc = rsaParsePrivateKeyInfoDer(key, der.data(), der.size());
    if (rc != 0) key->flags = 0;
    return rc;
}

long parse_public(RsaKey* key, const SecureBytes& der) {
    long rc = rsaParsePublicKeyDer(key, der.data(), der.size());
    if (rc == 0 || rc == BAD_KEY_LEN_ERROR) return rc;
    key->flags = 0;
    rc = rsaParseSpkiDer(key, der.data(), der.size());
    if (rc != 0) key->flags = 0;
    return rc;
}

}  // namespace

long rsaReadAnyPrivateKey(char* out, long outlen, const char* input, const char* password, long options) {
    if (empty(input)) return -BAD_PARAM_ERROR;
    TextForm tf = text_form(input);
    if (tf != TextForm::None) return -text_form_unavailable(tf);
    RsaKeyHolder key;
    long rc = -1;
    bool refused = false;  // over a size or iteration bound: reported as such
    if (input[0] == 'P' && IK_KeyTypeFromB64(input) != 0) {
        rc = rsaMakePrivateKeyFromB64(key.get(), input);
    } else {
        SecureBytes der;
        if (rsaKeyInputDer(input, der)) {
            if (!empty(password)) {
                rc = rsaDecryptPrivateKeyInfo(key.get(), der.data(), der.size(), password);
                refused = rc == INVALID_DATA_ERROR;
            }
            // Then a PKCS #12 file with the same password.
            if (rc != 0 && !refused && rc != BAD_KEY_LEN_ERROR && !empty(password)) {
                key->flags = 0;
                rc = pfxDecryptKeyFromDer(key.get(), der.data(), der.size(), password);
                refused = rc == INVALID_DATA_ERROR;
            }
            if (rc != 0 && !refused && rc != BAD_KEY_LEN_ERROR) {
                key->flags = 0;
                rc = parse_plain_private(key.get(), der);
            }
        }
    }
    if (rc == PRNG_ERR_FAILURE) return -rc;  // no wrapping key: the generator failed
    if (rc != 0) {
        if (refused || rc == BAD_KEY_LEN_ERROR) {
            eprintcatf("Unable to extract a private key");
            return -rc;
        }
        eprintcatf("Unable to extract a private key");
        return -INVALID_DATA_ERROR;
    }
    errclear();
    return rsaMakeB64FromPrivateKey(out, outlen, key.get(), options);
}

long rsaReadAnyPublicKey(char* out, long outlen, const char* input, long options) {
    if (empty(input)) return -BAD_PARAM_ERROR;
    TextForm tf = text_form(input);
    if (tf != TextForm::None) return -text_form_unavailable(tf);
    RsaKeyHolder key;
    long rc = -1;
    if (input[0] == 'P' && IK_KeyTypeFromB64(input) != 0) {
        rc = rsaMakePublicKeyFromB64(key.get(), input);
        if (rc != 0 && rc != BAD_KEY_LEN_ERROR) {
            key->flags = 0;
            rc = rsaMakePrivateKeyFromB64(key.get(), input);
        }
    } else {
        SecureBytes der;
        if (rsaKeyInputDer(input, der)) rc = parse_public(key.get(), der);
        // An X.509 certificate gives its subject's public key.
        if (rc != 0 && rc != BAD_KEY_LEN_ERROR) {
            AsnNode* cert = x509readCertFromFileOrString(input);
            if (cert) {
                key->flags = 0;
                rc = x509getRsaFromPubKeyInfo(key.get(), x509getPublicKeyNode(cert));
                asn_Free(&cert);
            }
        }
    }
    if (rc == PRNG_ERR_FAILURE) return -rc;  // no wrapping key: the generator failed
    if (rc == BAD_KEY_LEN_ERROR) {
        eprintcatf("Unable to extract a public key");
        return -rc;
    }
    if (rc != 0) {
        eprintcatf("Unable to extract a public key");
        return -INVALID_DATA_ERROR;
    }
    errclear();
    return rsaMakeB64FromPublicKey(out, outlen, key.get(), options);
}

long rsaReadPrivateKeyInfo(char* out, long outlen, const char* input, long options) {
    if (empty(input)) return -BAD_PARAM_ERROR;
    RsaKeyHolder key;
    SecureBytes der;
    if (!rsaKeyInputDer(input, der)) {
        eprintcatf("Unable to read private key from %s", describe_input(input).c_str());
        return -INVALID_DATA_ERROR;
    }
    long rc = parse_plain_private(key.get(), der);
    if (rc != 0)
        return -(rc == NOT_SUPPORTED_ERROR || rc == BAD_KEY_LEN_ERROR ? rc : long(INVALID_DATA_ERROR));
    return rsaMakeB64FromPrivateKey(out, outlen, key.get(), options);
}

long rsaReadEncPrivateKey(char* out, long outlen, const char* input, const char* password, long options) {
    if (empty(input) || !password) return -BAD_PARAM_ERROR;
    RsaKeyHolder key;
    SecureBytes der;
    long rc = rsaKeyInputDer(input, der)
                  ? rsaDecryptPrivateKeyInfo(key.get(), der.data(), der.size(), password)
                  : long(DECRYPT_ERROR);
    // An iteration count or key size over its bound keeps its own code.
    if (rc == INVALID_DATA_ERROR || rc == BAD_KEY_LEN_ERROR) return -rc;
    if (rc != 0) {
        eprintcatf("Could not decrypt key");
        return -DECRYPT_ERROR;
    }
    return rsaMakeB64FromPrivateKey(out, outlen, key.get(), options);
}

long rsaReadPublicKey(char* out, long outlen, const char* input, long options) {
    if (empty(input)) return -BAD_PARAM_ERROR;
    RsaKeyHolder key;
    SecureBytes der;
    if (!rsaKeyInputDer(input, der)) {
        eprintcatf("Unable to read public key from %s", describe_input(input).c_str());
        return -INVALID_DATA_ERROR;
    }
    long rc = parse_public(key.get(), der);
    if (rc != 0) return -rc;
    return rsaMakeB64FromPublicKey(out, outlen, key.get(), options);
}

long rsaGetPublicKeyFromCert(char* out, long outlen, const char* input, long options) {
    if (empty(input)) return -BAD_PARAM_ERROR;
    RsaKeyHolder key;
    long rc = x509getRSAPublicKeyFromFile(key.get(), input);
    if (rc != 0) return -rc;
    return rsaMakeB64FromPublicKey(out, outlen, key.get(), options);
}

// ---- saving --------------------------------------------------------------

long rsaSavePublicKey(const char* outputFile, const char* keyString, long options) {
    if (empty(outputFile) || empty(keyString)) return BAD_PARAM_ERROR;
    RsaKeyHolder key;
    long rc = rsaMakePublicKeyFromB64(key.get(), keyString);
    if (rc != 0 && rc != BAD_KEY_LEN_ERROR) {
        key->flags = 0;
        rc = rsaMakePrivateKeyFromB64(key.get(), keyString);
    }
    if (rc != 0) {
        eprintf("Could not extract key from string");
        return rc;
    }
    rc = rsaWritePublicKeyFile(outputFile, key.get(), options);
    if (rc == CREATE_ERROR) velt::eprint_headline("Unable to create key file %s", outputFile);
    return rc;
}

long rsaSavePrivateKeyInfo(const char* outputFile, const char* privateKeyString, long options) {
    if (empty(outputFile) || empty(privateKeyString)) return BAD_PARAM_ERROR;
    RsaKeyHolder key;
    long rc = rsaMakePrivateKeyFromB64(key.get(), privateKeyString);
    if (rc != 0) {
        eprintf("Could not extract private key from string");
        return rc;
    }
    SecureBytes der;
    const char* label = nullptr;
    if (options & kKeyFormatPem) {
        der = rsaPrivateKeyInfoDer(key.get());
        label = "PRIVATE KEY";
    } else if (options & kKeyFormatAlt) {
        der = rsaPrivateKeyDer(key.get());
        label = "RSA PRIVATE KEY";
    } else {
        der = rsaPrivateKeyInfoDer(key.get());
    }
    if (der.empty()) return BAD_FORMAT_ERROR;
    // Private key files are readable by the owner only.
    rc = rsaWriteKeyFile(outputFile, der.data(), der.size(), label, true, true);
    if (rc == CREATE_ERROR) velt::eprint_headline("Unable to create key file %s", outputFile);
    return rc;
}

long rsaSaveEncPrivateKey(const char* outputFile, const char* privateKeyString, long iterationCount,
                          const char* password, long options) {
    if (empty(outputFile) || empty(privateKeyString) || !password) return BAD_PARAM_ERROR;
    RsaKeyHolder key;
    long rc = rsaMakePrivateKeyFromB64(key.get(), privateKeyString);
    if (rc != 0) {
        eprintf("Could not extract private key from string");
        return rc;
    }
    return rsaWriteEncPrivateKeyFile(outputFile, key.get(), iterationCount, password, options);
}

long rsaSaveEncKey(const char* outputFile, const char* privateKeyString, const char* password,
                   const char* paramString, long options) {
    if (empty(outputFile) || empty(privateKeyString) || empty(password)) return -BAD_PARAM_ERROR;
    RsaKeyParams kp;
    long rc = rsaParseKeyParams(paramString, kp);
    if (rc != 0) return -rc;
    if (kp.prf >= 0 && (options & 0x0F) == 0) options |= kp.prf;
    rc = rsaSaveEncPrivateKey(outputFile, privateKeyString, kp.count, password, options);
    return -rc;
}

long rsaKeyValue(char* out, long outlen, const char* keyString, const char* fieldName, long) {
    if (empty(keyString) || !fieldName) return -BAD_PARAM_ERROR;
    bool modulus = strcasecmp(fieldName, "Modulus") == 0;
    if (!modulus && strcasecmp(fieldName, "Exponent") != 0) {
        eprintf("Invalid field name '%s'", fieldName);
        return -NO_MATCH_ERROR;
    }
    RsaKeyHolder key;
    long rc = rsaMakePublicKeyFromB64(key.get(), keyString);
    if (rc != 0 && rc != BAD_KEY_LEN_ERROR) {
        key->flags = 0;
        rc = rsaMakePrivateKeyFromB64(key.get(), keyString);
    }
    if (rc != 0) {
        eprintf("Cannot extract key from string");
        return -rc;
    }
    SecureBytes v = rsaNumberOctets(modulus ? key->n : key->e);
    std::string b64 = b64_string(v.data(), v.size());
    if (!out || outlen <= 0) return long(b64.size());
    if (outlen < long(b64.size())) return -SHORT_BUF_ERROR;
    std::memcpy(out, b64.data(), b64.size());
    out[b64.size()] = '\0';
    return long(b64.size());
}
