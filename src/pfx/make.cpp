// PFX_MakeFile: a PKCS #12 file (RFC 7292) with one RSA private key in a
// shrouded key bag, its certificate and further certificates, the
// localKeyID and friendlyName attributes, and an HMAC-SHA-1 MAC.
#include <cstdio>
#include <cstring>
#include <string>

#include "asn1/asn1.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "pbe/pbe.h"
#include "asn1/der_write.h"
#include "pfx/mac.h"
#include "pfx/pfx.h"
#include "pfx/pfx_int.h"
#include "rsa/rsa_pbe.h"
#include "util/futil.h"
#include "util/safe_write.h"
#include "x509/x509.h"

using velt::SecureBytes;
using namespace velt;
using namespace velt::pfx;

namespace {

constexpr long kOptCertsPlain = 0x2000000;
constexpr long kOptCerts3Des = 0x1000000;
constexpr long kOptKeyAsIs = 0x4000000;
constexpr long kOptKeyContentEncrypted = 0x8000000;
constexpr long kOptLongMacSalt = 0x100000;
constexpr long kOptPbes2 = 0x1043;
constexpr long kOptPem = 0x10000 | 0x20000;

bool empty(const char* s) {
    return !s || !*s;
}

// Items of a list separated by semicolons, blanks around each trimmed.
std::vector<std::string> split_list(const char* list) {
    std::vector<std::string> out;
    std::string s(list);
    size_t pos = 0;
    for (;;) {
        size_t end = s.find(';', pos);
        std::string item = s.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        size_t a = item.find_first_not_of(" \t\r\n"), b = item.find_last_not_of(" \t\r\n");
        if (a != std::string::npos) out.push_back(item.substr(a, b - a + 1));
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return out;
}

// DER of one node and its contents, copied out of a chain.
Der node_der(const AsnNode* node) {
    AsnNode* copy = asn_ExtractCurrent(node);
    int64_t n = 0;
    uint8_t* p = copy ? asn_Store(copy, &n) : nullptr;
    asn_Free(&copy);
    Der out;
    if (p && n > 0) out.assign(p, p + n);
    if (p) efree_mem(p);
    return out;
}

// A certificate's DER and its subjectPublicKeyInfo, read through the
// certificate reader: 0, the input reader's code, or 8 when it has not the
// shape of a certificate.
long read_cert(const std::string& item, Der* der, Der* spki) {
    SecureBytes bytes;
    long rc = read_input(item.c_str(), &bytes);
    if (rc) return rc;
    AsnNode* cert = asn_ReadBytes(bytes.data(), bytes.size());
    X509Parts parts;
    rc = INVALID_DATA_ERROR;
    if (cert && x509locate(cert, &parts) == 0 && parts.subject) {
        *der = node_der(cert);
        if (spki) *spki = node_der(parts.spki);
        rc = der->empty() ? long(INVALID_DATA_ERROR) : 0;
    }
    asn_Free(&cert);
    return rc;
}

// Code points of a friendly name: UTF-8 when the octets are valid UTF-8
// (shortest forms, no surrogates, at most U+10FFFF), else Latin-1.
std::vector<uint32_t> name_code_points(const char* s) {
    std::vector<uint32_t> cps;
    const auto* p = reinterpret_cast<const uint8_t*>(s);
    const size_t n = std::strlen(s);
    bool ok = true;
    for (size_t i = 0; i < n && ok;) {
        uint8_t c = p[i];
        size_t len = c < 0x80             ? 1
                     : (c & 0xE0) == 0xC0 ? 2
                     : (c & 0xF0) == 0xE0 ? 3
                     : (c & 0xF8) == 0xF0 ? 4
                                          : 0;
        if (!len || i + len > n) {
            ok = false;
            break;
        }
        uint32_t cp = len == 1 ? c : (c & (0x7F >> len));
        for (size_t k = 1; k < len; k++) {
            if ((p[i + k] & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) ok = false;
        cps.push_back(cp);
        i += len;
    }
    if (!ok) {
        cps.clear();
        for (size_t i = 0; i < n; i++) cps.push_back(p[i]);
    }
    return cps;
}

// BMPString contents: UTF-16BE, code points above U+FFFF as surrogate pairs.
Der utf16be(const std::vector<uint32_t>& cps) {
    Der out;
    auto put = [&](uint32_t u) {
        out.push_back(uint8_t(u >> 8));
        out.push_back(uint8_t(u));
    };
    for (uint32_t cp : cps) {
        if (cp < 0x10000) {
            put(cp);
        } else {
            cp -= 0x10000;
            put(0xD800 | (cp >> 10));
            put(0xDC00 | (cp & 0x3FF));
        }
    }
    return out;
}

// attributes = SET { localKeyID, friendlyName (when given) }.
Der attributes(const uint8_t local_key_id[20], const char* friendly_name) {
    Der oid_id = der_oid(kOidLocalKeyId), id = der_octets(local_key_id, 20), id_set = der_set({&id});
    Der key_attr = der_seq({&oid_id, &id_set});
    if (empty(friendly_name)) return der_set({&key_attr});
    Der oid_name = der_oid(kOidFriendlyName), bmp = der_tlv(0x1E, utf16be(name_code_points(friendly_name)));
    Der name_set = der_set({&bmp}), name_attr = der_seq({&oid_name, &name_set});
    return der_set({&key_attr, &name_attr});
}

Der cert_bag(const Der& cert, const Der* attrs) {
    Der type = der_oid(kOidX509Cert), value = der_octets(cert.data(), cert.size());
    Der tagged = der_explicit(0, value), cb = der_seq({&type, &tagged});
    Der bag_id = der_oid(kOidCertBag), bag_value = der_explicit(0, cb);
    return der_seq({&bag_id, &bag_value, attrs});
}

// ContentInfo { data, [0] { OCTET STRING contents } }.
Der data_content(const Der& contents) {
    Der oid = der_oid(kOidData), os = der_octets(contents.data(), contents.size()),
        tagged = der_explicit(0, os);
    return der_seq({&oid, &tagged});
}

// ContentInfo { encryptedData, [0] { EncryptedData } } of contents under the
// scheme pbe_Setup chose (or the algorithm set afterwards): 0 or a code.
long encrypted_content(PbeRec* pbe, const Der& contents, Der* out) {
    std::vector<uint8_t> ct;
    if (!pbe_Encrypt(pbe, contents.data(), contents.size(), ct)) return MISC_ERROR;
    Der alg;
    if (pbe_CompareAlgorithm(pbe, "pkcs5PBES2")) {
        // PBES2 with PBKDF2 (no PRF element for HMAC-SHA-1) and the cipher's IV.
        AsnNode* kdf_params = asn_LinkVar(asn_NewOctetString(pbe->salt.data(), pbe->salt.size()),
                                          asn_NewInteger(pbe->count), nullptr);
        if (pbe->prfName[0] && pbe->prfId != velt::hash::kSha1)
            kdf_params = asn_Link(
                kdf_params, asn_Sequence(asn_LinkVar(asn_NewOID(pbe->prfName), asn_NewNull(), nullptr)));
        AsnNode* kdf =
            asn_Sequence(asn_LinkVar(asn_NewOID("pkcs5PBKDF2"), asn_Sequence(kdf_params), nullptr));
        AsnNode* enc = asn_Sequence(asn_LinkVar(asn_NewOID(pbe->encSchemeName),
                                                asn_NewOctetString(pbe->iv.data(), pbe->iv.size()), nullptr));
        AsnNode* ai = asn_Sequence(
            asn_LinkVar(asn_NewOID("pkcs5PBES2"), asn_Sequence(asn_LinkVar(kdf, enc, nullptr)), nullptr));
        int64_t n = 0;
        uint8_t* der = ai ? asn_Store(ai, &n) : nullptr;
        asn_Free(&ai);
        if (!der) return MISC_ERROR;
        alg.assign(der, der + n);
        efree_mem(der);
    } else {
        Der oid = pbe_CompareAlgorithm(pbe, "pbeWithSHAAnd40BitRC2-CBC") ? der_oid(kOidPbeShaRc2_40)
                                                                         : der_oid(kOidPbeSha3Des);
        Der salt = der_octets(pbe->salt.data(), pbe->salt.size()), count = der_uint(pbe->count);
        Der params = der_seq({&salt, &count});
        alg = der_seq({&oid, &params});
    }
    Der version = der_uint(0), data = der_oid(kOidData), body = der_tlv(0x80, ct.data(), ct.size());
    Der eci = der_seq({&data, &alg, &body}), ed = der_seq({&version, &eci});
    Der oid = der_oid(kOidEncryptedData), tagged = der_explicit(0, ed);
    *out = der_seq({&oid, &tagged});
    return 0;
}

// PEM text with label PKCS12: base64 lines of 64 characters, CR LF.
Der pem_text(const Der& der) {
    std::string b64 = b64_string(der.data(), der.size());
    std::string text = "-----BEGIN PKCS12-----\r\n";
    for (size_t i = 0; i < b64.size(); i += 64) text += b64.substr(i, 64) + "\r\n";
    text += "-----END PKCS12-----\r\n";
    return Der(text.begin(), text.end());
}

}  // namespace

long pfxMakeFile(const char* outputFile, const char* certList, const char* keyFile, const char* password,
                 const char* friendlyName, long options) {
    if (empty(outputFile)) return BAD_PARAM_ERROR;
    if (empty(certList)) {
        eprintf("Certificate parameter is mandatory");
        return BAD_PARAM_ERROR;
    }
    const bool have_key = !empty(keyFile), have_password = !empty(password);
    if (have_key && !have_password) {
        eprintf("Require password for key file");
        return BAD_PARAM_ERROR;
    }
    std::vector<std::string> certs = split_list(certList);
    if (certs.empty()) {
        eprintf("Unable to parse certificate list");
        return -BAD_PARAM_ERROR;
    }
    // The first certificate and its RSA public key.
    Der first, spki;
    RsaKey* pub = rsaNew();
    long rc = read_cert(certs[0], &first, &spki);
    if (rc == 0) rc = rsaParseSpkiDer(pub, spki.data(), spki.size());
    if (rc) {
        rsaFree(&pub);
        eprintf("Invalid certificate %s", describe_input(certs[0].c_str()).c_str());
        return rc;
    }
    // The private key: decrypted, matched against the certificate, encrypted again.
    Der epki;
    if (have_key) {
        SecureBytes key_der;
        RsaKey* key = rsaNew();
        rc = read_input(keyFile, &key_der);
        if (rc == 0) rc = rsaDecryptPrivateKeyInfo(key, key_der.data(), key_der.size(), password);
        if (rc) {
            eprintcatf("Invalid private key or password");
        } else if (rsaPublicKeyDer(key) != rsaPublicKeyDer(pub)) {
            eprintf("Private key does not match certificate");
            rc = NO_MATCH_ERROR;
        } else if (options & kOptKeyAsIs) {
            epki.assign(key_der.begin(), key_der.end());
        } else {
            SecureBytes e =
                rsaEncryptedPrivateKeyInfoDer(key, fresh_count(), password, options & kOptPbes2, &rc);
            epki.assign(e.begin(), e.end());
        }
        rsaFree(&key);
    }
    rsaFree(&pub);
    if (rc) return rc < 0 ? -rc : rc;

    uint8_t local_key_id[20];
    velt::hash::digest(velt::hash::kSha1, first.data(), first.size(), local_key_id);
    const Der attrs = attributes(local_key_id, friendlyName);

    // Certificate SafeContents: the first certificate's bag carries the attributes.
    Der bags = cert_bag(first, &attrs);
    for (size_t i = 1; i < certs.size(); i++) {
        Der cert;
        if (read_cert(certs[i], &cert, nullptr) != 0) {
            eprintf("Invalid certificate %s", describe_input(certs[i].c_str()).c_str());
            return INVALID_DATA_ERROR;
        }
        Der bag = cert_bag(cert, nullptr);
        bags.insert(bags.end(), bag.begin(), bag.end());
    }
    const Der cert_contents = der_tlv(0x30, bags);
    Der cert_ci;
    if (have_password && (!(options & kOptCertsPlain) || (options & kOptPbes2))) {
        PbeRec* pbe = pbe_New();
        if (options & kOptPbes2) {
            pbe_Setup(pbe, password, long(fresh_count()), kPbeOptPbes2 | 0x40);  // PBES2, aes256-CBC
        } else {
            pbe_Setup(pbe, password, long(fresh_count()), 0);  // pbeWithSHAAnd3-KeyTripleDES-CBC
            if (!(options & kOptCerts3Des)) pbe_SetAlgorithm(pbe, "pbeWithSHAAnd40BitRC2-CBC");
        }
        rc = encrypted_content(pbe, cert_contents, &cert_ci);
        pbe_Free(&pbe);
        if (rc) return rc;
    } else {
        cert_ci = data_content(cert_contents);
    }

    // Key SafeContents.
    Der key_ci;
    if (have_key) {
        Der bag_id = der_oid(kOidShroudedKeyBag), value = der_explicit(0, epki);
        Der bag = der_seq({&bag_id, &value, &attrs}), contents = der_tlv(0x30, bag);
        if ((options & kOptKeyContentEncrypted) && !(options & kOptPbes2)) {
            PbeRec* pbe = pbe_New();
            pbe_Setup(pbe, password, long(fresh_count()), 0);
            rc = encrypted_content(pbe, contents, &key_ci);
            pbe_Free(&pbe);
            if (rc) return rc;
        } else {
            key_ci = data_content(contents);
        }
    }
    const Der auth_safe = der_seq({&cert_ci, have_key ? &key_ci : nullptr});

    // PFX { 3, data ContentInfo of the AuthenticatedSafe, MacData }.
    Der mac_data;
    if (have_password) {
        rc = make_mac_data(&mac_data, auth_safe.data(), auth_safe.size(), password,
                           (options & kOptLongMacSalt) ? 20 : 8, !(options & kOptLongMacSalt));
        if (rc) return rc;
    }
    const Der version = der_uint(3), ci = data_content(auth_safe);
    Der pfx = der_seq({&version, &ci, have_password ? &mac_data : nullptr});
    if (options & kOptPem) pfx = pem_text(pfx);

    rc = velt::safe_write_file(outputFile, pfx.data(), pfx.size(), velt::WriteMode::kSecret,
                               velt::WriteCodes{CREATE_ERROR, CREATE_ERROR, IO_ERROR});
    if (rc) {
        velt::eprint_headline("Cannot create file %s", outputFile);
        return rc;
    }
    FILE* check = std::fopen(outputFile, "rb");
    if (!check) return IO_ERROR;
    std::fclose(check);
    return 0;
}
