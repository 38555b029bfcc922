// Algorithm identifiers and signed attributes of a SignerInfo.
#include "cms/sd_attrs.h"

#include <cstdio>
#include <cstring>

#include "cms/cms.h"
#include "hash/hash.h"
#include "x509/x509.h"

namespace velt::cms {

namespace {

constexpr long kShake256 = 159;

bool hash_with_null(const char* name) {
    return !std::strcmp(name, "sha1") || !std::strcmp(name, "md5") || !std::strcmp(name, "md2");
}

Der attribute(const char* oidName, const Der& value) {
    Der oid = der_oid(oidName);
    Der set = der_tlv(0x31, value);
    return der_seq({&oid, &set});
}

// One capability SEQUENCE { OID }.
Der capability(const char* oidName) {
    Der oid = der_oid(oidName);
    return der_seq({&oid});
}

Der smime_capabilities() {
    static const char* const kCaps[] = {"aes128-CBC",
                                        "aes256-CBC",
                                        "des-EDE3-CBC",
                                        "sha1WithRSAEncryption",
                                        "sha256WithRSAEncryption",
                                        "sha512WithRSAEncryption",
                                        "ecdsaWithSHA256",
                                        "ecdsaWithSHA512",
                                        "rsaEncryption",
                                        "rsaPSS",
                                        "rsaOAEP",
                                        "Ed25519",
                                        "Ed448",
                                        "X25519",
                                        "X448"};
    Der body;
    for (const char* name : kCaps) {
        Der c = capability(name);
        body.insert(body.end(), c.begin(), c.end());
    }
    // rsa-kem-spki { kemRSA { kdf3 { sha256 }, 16 }, aes128-wrap }
    Der sha256 = capability("sha256");
    Der kdf3oid = der_oid("kdf3");
    Der kdf3 = der_seq({&kdf3oid, &sha256});
    Der sixteen = der_uint(16);
    Der kemParams = der_seq({&kdf3, &sixteen});
    Der kemOid = der_oid("kemRSA");
    Der kem = der_seq({&kemOid, &kemParams});
    Der wrap = capability("aes128-wrap");
    Der params = der_seq({&kem, &wrap});
    Der spkiOid = der_oid("rsa-kem-spki");
    Der last = der_seq({&spkiOid, &params});
    body.insert(body.end(), last.begin(), last.end());
    return der_tlv(0x30, body);
}

// SigningCertificate (SHA-1) or SigningCertificateV2 value:
// SEQUENCE { SEQUENCE { ESSCertID } } with the issuer as [4] directoryName.
Der signing_certificate(const sig::SigAlgRow& row, const SignerCert& cert) {
    Der hash;
    row_digest(row, cert.der.data(), cert.der.size(), hash);
    Der certHash = der_octets(hash);
    Der dirName = der_tlv(0xA4, cert.issuer);
    Der names = der_seq({&dirName});
    Der issuerSerial = der_seq({&names, &cert.serial});
    Der alg;
    if (row.hashAlg != hash::kSha1 && row.hashAlg != hash::kSha256) alg = digest_alg_id(row);
    Der essCertId = der_seq({alg.empty() ? nullptr : &alg, &certHash, &issuerSerial});
    Der certs = der_seq({&essCertId});
    return der_seq({&certs});
}

}  // namespace

Der digest_alg_id(const sig::SigAlgRow& row, bool withNull) {
    Der oid = der_oid(row.hashName);
    if (row.hashAlg == kShake256) return der_seq({&oid});
    Der null = der_null();
    return der_seq({&oid, (withNull || hash_with_null(row.hashName)) ? &null : nullptr});
}

bool row_digest(const sig::SigAlgRow& row, const uint8_t* data, size_t n, Der& out) {
    out.assign(row.digestLen, 0);
    if (row.hashAlg == kShake256) {
        hash::shake(256, data, n, out.data(), out.size());
        return true;
    }
    return hash::digest(row.hashAlg, data, n, out.data());
}

Der makeSigAlg(const sig::SigAlgRow& row, long options) {
    if (sig::sigIdIsPss(row.id)) {
        Der null = der_null();
        Der hashOid = der_oid(row.hashName);
        Der hashAlg = der_seq({&hashOid, &null});
        Der mgfHashOid = der_oid((options & kCmsMgf1Sha1) ? "sha1" : row.hashName);
        Der mgfHash = der_seq({&mgfHashOid, &null});
        Der mgfOid = der_oid("pkcs1-MGF");
        Der mgf = der_seq({&mgfOid, &mgfHash});
        Der salt = der_uint((options & kCmsPssSaltZero) ? 0 : uint32_t(row.digestLen));
        Der t0 = der_tlv(0xA0, hashAlg), t1 = der_tlv(0xA1, mgf), t2 = der_tlv(0xA2, salt);
        Der params = der_seq({&t0, &t1, &t2});
        Der oid = der_oid("rsaPSS");
        return der_seq({&oid, &params});
    }
    if (sig::sigIdIsEcc(row.id)) {
        Der oid = der_oid(row.oidName);
        return der_seq({&oid});
    }
    const char* name = "rsaEncryption";
    if (options & kCmsRsaSigAlgHash) {
        switch (row.hashAlg) {
            case 1:
                name = "md5WithRSAEncryption";
                break;
            case 2:
                name = "md2WithRSAEncryption";
                break;
            case 3:
                name = "sha256WithRSAEncryption";
                break;
            case 4:
                name = "sha384WithRSAEncryption";
                break;
            case 5:
                name = "sha512WithRSAEncryption";
                break;
            case 6:
                name = "sha224WithRSAEncryption";
                break;
            default:
                name = "sha1WithRSAEncryption";
                break;
        }
    }
    Der oid = der_oid(name);
    Der null = der_null();
    return der_seq({&oid, &null});
}

Der signing_time(time_t now) {
    struct tm t {};
    gmtime_r(&now, &t);
    const int year = t.tm_year + 1900;
    char buf[32];
    if (year >= 1950 && year <= 2049) {
        std::snprintf(buf, sizeof buf, "%02d%02d%02d%02d%02d%02dZ", year % 100, t.tm_mon + 1, t.tm_mday,
                      t.tm_hour, t.tm_min, t.tm_sec);
        return der_tlv(0x17, reinterpret_cast<const uint8_t*>(buf), std::strlen(buf));
    }
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02dZ", year, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec);
    return der_tlv(0x18, reinterpret_cast<const uint8_t*>(buf), std::strlen(buf));
}

std::vector<Der> make_SignedAttrs(const sig::SigAlgRow& row, const Der& contentDigest, const SignerCert& cert,
                                  const Der& sigAlg, long options) {
    std::vector<Der> attrs;
    attrs.push_back(attribute("contentType", der_oid("data")));
    attrs.push_back(attribute("messageDigest", der_octets(contentDigest)));
    if (options & kCmsAddSignTime) attrs.push_back(attribute("signingTime", signing_time(x509now())));
    if (options & kCmsAddSmimeCap) attrs.push_back(attribute("sMIMECapabilities", smime_capabilities()));
    if (options & kCmsAddSigningCert) {
        const bool v1 = row.hashAlg == hash::kSha1;
        attrs.push_back(
            attribute(v1 ? "SigningCertificate" : "SigningCertificateV2", signing_certificate(row, cert)));
    }
    if (options & kCmsAddAlgProtect) {
        // CMSAlgorithmProtection { digestAlgorithm, [1] IMPLICIT signatureAlgorithm }
        DerTlv alg;
        Der digestAlg = digest_alg_id(row);
        Der sigBody;
        if (der_parse_one(sigAlg.data(), sigAlg.size(), alg)) sigBody.assign(alg.value, alg.value + alg.len);
        Der sig1 = der_tlv(0xA1, sigBody);
        attrs.push_back(attribute("cmsAlgorithmProtection", der_seq({&digestAlg, &sig1})));
    }
    return attrs;
}

}  // namespace velt::cms
