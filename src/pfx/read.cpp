// Taking certificates and the encrypted private key out of a PFX: the
// certificate chosen by the key's localKeyID, the first shrouded key bag.
// These readers do not check the MAC; PFX_VerifySig does.
#include <cstring>
#include <string>

#include "cms/cms.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "asn1/der_write.h"
#include "pfx/pfx.h"
#include "pfx/pfx_int.h"
#include "rsa/rsa_pbe.h"
#include "util/futil.h"
#include "util/safe_write.h"

using velt::SecureBytes;
using namespace velt;
using namespace velt::pfx;

namespace {

bool empty(const char* s) {
    return !s || !*s;
}

// Option of X509_GetCertFromPFX: all certificates as certificates-only signed-data.
constexpr long kOptCertsOnlyCms = 0x400;

// The bag table of an input: 0 or a positive code.
long load(const char* input, const char* password, BagTable* table, bool record = true) {
    SecureBytes der;
    long rc = read_input(input, &der);
    if (rc) return rc;
    return read_bags(der.data(), der.size(), password, table, record);
}

// The certificate of the file (RFC 7292 leaves the choice to the reader):
// the one whose localKeyID equals that of the first shrouded key bag that
// has one; a single certificate bag is taken as it is; with several and no
// match, the last. A key without localKeyID matches nothing.
const Bag* choose_cert(const BagTable& t) {
    const Bag* key = nullptr;
    for (const Bag& b : t.bags)
        if (b.kind == BagKind::kShroudedKey && b.has_local_key_id) {
            key = &b;
            break;
        }
    const Bag* last = nullptr;
    for (const Bag& b : t.bags) {
        if (b.kind != BagKind::kCert) continue;
        if (t.certs == 1) return &b;
        if (key && b.has_local_key_id && b.local_key_id == key->local_key_id) return &b;
        last = &b;
    }
    return last;
}

// The chosen certificate's DER: 0 or a positive code (20 when none).
long chosen_cert(const char* input, const char* password, std::vector<uint8_t>* cert) {
    BagTable t;
    long rc = load(input, password, &t);
    if (rc) return rc;
    const Bag* b = choose_cert(t);
    if (!b || !cert_from_bag(*b, cert)) {
        eprintcatf("No certificate found in the PKCS #12 file");
        return NO_DATA_ERROR;
    }
    return 0;
}

// Every certificate of the file, in file order, as certificates-only
// signed-data (RFC 5652 section 5 with no signers): the file's size, or a
// negative code.
long certs_only_cms(const char* outputFile, const char* input, const char* password) {
    BagTable t;
    long rc = load(input, password, &t);
    if (rc) return -rc;
    std::string list;
    for (const Bag& b : t.bags) {
        std::vector<uint8_t> cert;
        if (!cert_from_bag(b, &cert)) continue;
        if (!list.empty()) list += ';';
        list += b64_string(cert.data(), cert.size());
    }
    if (list.empty()) {
        eprintcatf("No certificate found in the PKCS #12 file");
        return -NO_DATA_ERROR;
    }
    rc = velt::cms::cmsMakeSigDataCertsOnly(outputFile, list.c_str(), 0);
    if (rc) return rc > 0 ? -rc : rc;
    long size = futil_filesize(outputFile);
    return size >= 0 ? size : -OPEN_ERROR;
}

const Bag* first_key(const BagTable& t) {
    for (const Bag& b : t.bags)
        if (b.kind == BagKind::kShroudedKey) return &b;
    return nullptr;
}

// A negative iteration count in the key bag's encryption parameters is
// malformed (7); the other checks on counts are made by the decryption.
long check_key_count(const Bag& key) {
    Tlv epki;
    std::vector<Tlv> top, alg, params, kdf, kp;
    if (!ber_read(key.value.data(), key.value.size(), &epki) || !ber_children(epki, &top) ||
        top.size() != 2 || !ber_children(top[0], &alg) || alg.size() != 2 || !ber_children(alg[1], &params))
        return 0;
    const Tlv* count = nullptr;
    if (oid_is(alg[0], kOidPbes2)) {
        if (params.size() == 2 && ber_children(params[0], &kdf) && kdf.size() == 2 &&
            ber_children(kdf[1], &kp) && kp.size() >= 2)
            count = &kp[1];
    } else if (params.size() == 2) {
        count = &params[1];
    }
    uint64_t v;
    const int sign = count ? ber_integer(*count, &v) : 0;
    if (sign < 0) {
        eprintf("Iteration count is negative");
        return BAD_FORMAT_ERROR;
    }
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    if (sign > 0 && v > kFuzzMaxKeyCount) return INVALID_DATA_ERROR;
#endif
    return 0;
}

// A key bag whose PKCS #12 or PBES1 parameters omit the iteration count
// (SEQUENCE { salt }) is read with a count of 1: the EncryptedPrivateKeyInfo
// is rebuilt with INTEGER 1 for the decryption. Other bags are kept as they are.
SecureBytes with_count(const Bag& key) {
    Tlv epki;
    std::vector<Tlv> top, alg, params;
    if (!ber_read(key.value.data(), key.value.size(), &epki) || !ber_children(epki, &top) ||
        top.size() != 2 || !ber_children(top[0], &alg) || alg.size() != 2 || oid_is(alg[0], kOidPbes2) ||
        !alg[1].seq() || !ber_children(alg[1], &params) || params.size() != 1)
        return key.value;
    const Der salt(params[0].start, params[0].start + params[0].total), one = der_uint(1);
    const Der oid(alg[0].start, alg[0].start + alg[0].total), enc(top[1].start, top[1].start + top[1].total);
    const Der p = der_seq({&salt, &one}), a = der_seq({&oid, &p}), out = der_seq({&a, &enc});
    return SecureBytes(out.begin(), out.end());
}

// The key of the first shrouded key bag of a table: 0 or a positive code.
long decrypt_key(const BagTable& t, RsaKey* key, const char* password) {
    const Bag* b = first_key(t);
    if (!b) {
        // A wrong password shows as a ContentInfo that did not decrypt.
        if (t.first_error == DECRYPT_ERROR) return DECRYPT_ERROR;
        eprintcatf("No private key found in the PKCS #12 file");
        return NO_DATA_ERROR;
    }
    long rc = check_key_count(*b);
    if (rc) return rc;
    const SecureBytes epki = with_count(*b);
    return rsaDecryptPrivateKeyInfo(key, epki.data(), epki.size(), password);
}

struct KeyHolder {
    RsaKey* k = rsaNew();
    ~KeyHolder() { rsaFree(&k); }
};

}  // namespace

long pfxGetCertToFile(const char* outputFile, const char* pfxFileOrString, const char* password,
                      long options) {
    if (empty(outputFile) || empty(pfxFileOrString)) return -BAD_PARAM_ERROR;
    if (options & kOptCertsOnlyCms) return certs_only_cms(outputFile, pfxFileOrString, password);
    std::vector<uint8_t> cert;
    long rc = chosen_cert(pfxFileOrString, password, &cert);
    if (rc) return -rc;
    rc = velt::safe_write_file(outputFile, cert.data(), cert.size(), velt::WriteMode::kPublic);
    if (rc) {
        velt::eprint_headline("Cannot create %s", outputFile);
        return -CREATE_ERROR;
    }
    return long(cert.size());
}

long pfxReadCertString(char* out, long outlen, const char* pfxFileOrString, const char* password,
                       long options) {
    if (empty(pfxFileOrString)) return -BAD_PARAM_ERROR;
    if (options & kOptCertsOnlyCms) {
        eprintf("Invalid option");
        return -BAD_FLAG_ERROR;
    }
    std::vector<uint8_t> cert;
    long rc = chosen_cert(pfxFileOrString, password, &cert);
    if (rc) return -rc;
    std::string b64 = b64_string(cert.data(), cert.size());
    if (!out || outlen <= 0) return long(b64.size());
    if (outlen < long(b64.size())) return -SHORT_BUF_ERROR;
    std::memcpy(out, b64.data(), b64.size());
    out[b64.size()] = '\0';
    return long(b64.size());
}

long pfxGetKeyToFile(const char* outputFile, const char* pfxFileOrString, long) {
    if (empty(outputFile) || empty(pfxFileOrString)) return -BAD_PARAM_ERROR;
    BagTable t;
    long rc = load(pfxFileOrString, nullptr, &t);
    if (rc) return -rc;
    const Bag* b = first_key(t);
    if (!b) {
        eprintcatf("No private key found in the PKCS #12 file");
        return -NO_DATA_ERROR;
    }
    rc = velt::safe_write_file(outputFile, b->value.data(), b->value.size(), velt::WriteMode::kSecret);
    if (rc) {
        velt::eprint_headline("Cannot create %s", outputFile);
        return -CREATE_ERROR;
    }
    return long(b->value.size());
}

long pfxReadKeyString(char* out, long outlen, const char* pfxFileOrString, const char* password,
                      long options) {
    if (empty(pfxFileOrString)) return -BAD_PARAM_ERROR;
    BagTable t;
    long rc = load(pfxFileOrString, password, &t);
    if (rc) return -rc;
    KeyHolder key;
    rc = decrypt_key(t, key.k, password ? password : "");
    if (rc) return -rc;
    return rsaMakeB64FromPrivateKey(out, outlen, key.k, options);
}

long pfxDecryptKeyFromDer(RsaKey* key, const uint8_t* der, size_t len, const char* password) {
    BagTable t;
    long rc = read_bags(der, len, password, &t, false);
    if (rc) return rc;
    return decrypt_key(t, key, password ? password : "");
}
