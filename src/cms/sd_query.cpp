// Queries on SignedData, and the keyword table shared with enveloped-data.
#include <strings.h>

#include <cctype>
#include <cstring>

#include "asn1/asn1.h"
#include "cms/cms.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "util/strl.h"

namespace velt::cms {

namespace {

enum QueryId {
    kVersion,
    kEContentType,
    kHasEContent,
    kCountOfCerts,
    kCountOfSigners,
    kCountOfDigestAlgs,
    kSignerInfoVersion,
    kHasSignedAttrs,
    kHasSigningCert,
    kHasAlgProtect,
    kSignerIdentifier,
    kSigningTime,
    kDigestAlgorithm,
    kSignatureAlgorithm,
    kMessageDigest,
    kPssParams,
    kSignatureValue,
    kDigestOfSignedAttrs,
    kDigestOfEContent,
    kSigningCertHash,
    kCertificate,
    kHasSki,
    kEnveloped = 100,  // enveloped-data rows number from here
};

constexpr QueryOwner S = QueryOwner::kSigned, E = QueryOwner::kEnveloped, B = QueryOwner::kBoth;

// Matched in this order, each keyword by its own length.
constexpr CmsQueryRow kTable[] = {
    {"Version", 1, B, kVersion},
    {"eContentType", 2, S, kEContentType},
    {"HASeContent", 1, S, kHasEContent},
    {"CountOfCerts", 1, S, kCountOfCerts},
    {"CountOfCertificates", 1, S, kCountOfCerts},
    {"CountOfSigners", 1, S, kCountOfSigners},
    {"CountOfSignerInfos", 1, S, kCountOfSigners},
    {"CountOfDigestAlgs", 1, S, kCountOfDigestAlgs},
    {"signerInfoVersion", 1, S, kSignerInfoVersion},
    {"HASsignedAttrs", 1, S, kHasSignedAttrs},
    {"HASsignedAttributes", 1, S, kHasSignedAttrs},
    {"HASsigningCertificate", 1, S, kHasSigningCert},
    {"HASalgorithmProtection", 1, S, kHasAlgProtect},
    {"signerIdentifier", 2, S, kSignerIdentifier},
    {"SigningTime", 2, S, kSigningTime},
    {"digestAlgorithm", 2, S, kDigestAlgorithm},
    {"signatureAlgorithm", 2, S, kSignatureAlgorithm},
    {"messageDigest", 2, S, kMessageDigest},
    {"pssParams", 2, S, kPssParams},
    {"signatureValue", 2, S, kSignatureValue},
    {"DigestOfSignedAttrs", 2, S, kDigestOfSignedAttrs},
    {"DigestOfeContent", 2, S, kDigestOfEContent},
    {"signingCertHash", 2, S, kSigningCertHash},
    {"certificate", 2, S, kCertificate},
    {"HASsubjectKeyIdentifier", 1, B, kHasSki},
    {"CountOfRecipients", 1, E, kEnveloped + 0},
    {"CountOfRecipientInfos", 1, E, kEnveloped + 0},
    {"recipientInfoVersion", 1, E, kEnveloped + 1},
    {"recipientInfoType", 2, E, kEnveloped + 2},
    {"recipientIdentifier", 2, E, kEnveloped + 3},
    {"keyEncryptionAlgorithm", 2, E, kEnveloped + 4},
    {"keyEncryptionFlags", 1, E, kEnveloped + 5},
    {"keyWrapAlgorithm", 2, E, kEnveloped + 6},
    {"contentEncryptionAlgorithm", 2, E, kEnveloped + 7},
    {"sizeofEncryptedKey", 1, E, kEnveloped + 8},
    {"sizeofEncryptedContent", 1, E, kEnveloped + 9},
    {"recipientIssuerName", 2, E, kEnveloped + 10},
    {"recipientSerialNumber", 2, E, kEnveloped + 11},
    {"iv", 2, E, kEnveloped + 12},
    {"encryptedContent", 2, E, kEnveloped + 13},
    {"encryptedKey", 2, E, kEnveloped + 14},
    {"oaepParams", 2, E, kEnveloped + 15},
    {"kemParams", 2, E, kEnveloped + 16},
    {"originatorPublicKey", 2, E, kEnveloped + 17},
    {"originatorKeyAlgorithm", 2, E, kEnveloped + 18},
    {"keyid", 2, E, kEnveloped + 19},
    {"ukm", 2, E, kEnveloped + 20},
};

std::string hex_of(const std::vector<uint8_t>& v) {
    return hex_string(v.data(), v.size(), false);
}

}  // namespace

const CmsQueryRow* cmsQueryTable(size_t* count) {
    *count = sizeof kTable / sizeof kTable[0];
    return kTable;
}

long cmsParseQuery(const char* query, const CmsQueryRow** row, long* index) {
    *row = nullptr;
    *index = 1;
    while (*query == ' ' || *query == '\t') ++query;
    std::string q(query, std::min<size_t>(std::strlen(query), 31));
    size_t blank = q.find_first_of(" \t");
    if (blank != std::string::npos) q.resize(blank);
    size_t slash = q.find('/');
    if (slash != std::string::npos) {
        // "/N" counts from 1; anything else would index before the first item.
        std::string n = q.substr(slash + 1);
        q.resize(slash);
        if (n.empty() || n.size() > 9 || n.find_first_not_of("0123456789") != std::string::npos ||
            std::atol(n.c_str()) < 1) {
            eprintf("Invalid index in query '%s'", q.c_str());
            return BAD_QUERY_ERROR;
        }
        *index = std::atol(n.c_str());
    }
    for (const auto& r : kTable) {
        if (strncasecmp(q.c_str(), r.keyword, std::strlen(r.keyword)) == 0) {
            *row = &r;
            return 0;
        }
    }
    eprintf("'%s' is not a valid query", q.c_str());
    return BAD_QUERY_ERROR;
}

long cmsQuerySigData(char* out, long outlen, const char* input, const char* query, long options) {
    if (!query || !*query) return -BAD_PARAM_ERROR;
    const CmsQueryRow* row;
    long index;
    long rc = cmsParseQuery(query, &row, &index);
    if (rc) return -rc;
    if (row->owner == QueryOwner::kEnveloped) {
        eprintf("'%s' is not a valid query for signed-data", row->keyword);
        return -BAD_QUERY_ERROR;
    }
    if (options & kOptGetType) return row->type;
    if (!input || !*input) return -BAD_PARAM_ERROR;
    std::vector<uint8_t> der;
    SignedDataInfo info;
    rc = cmsReadSignedData(input, der, info, true);
    if (rc) return rc > 0 ? -rc : rc;
    const size_t i = size_t(index - 1);
    if (row->id == kCertificate) {
        if (info.certs.empty()) return out_exact(out, outlen, "", 0);
        if (i >= info.certs.size()) {
            eprintf("Certificate index %ld out of range", index);
            return -OUT_OF_RANGE_ERROR;
        }
        const Tlv& t = info.certs[i];
        std::string b64 = b64_string(der.data() + t.start, t.end - t.start);
        return out_exact(out, outlen, b64.c_str(), long(b64.size()));
    }
    if (i >= info.signers.size()) {
        eprintf("Signer index %ld out of range", index);
        return -OUT_OF_RANGE_ERROR;
    }
    const SignerRec& s = info.signers[i];
    std::string text;
    std::vector<uint8_t> d;
    switch (row->id) {
        case kVersion:
            return info.version;
        case kEContentType:
            text = info.contentType;
            break;
        case kHasEContent:
            return info.hasEContent ? 1 : 0;
        case kCountOfCerts:
            return long(info.certs.size());
        case kCountOfSigners:
            return long(info.signers.size());
        case kCountOfDigestAlgs:
            return info.digestAlgCount;
        case kSignerInfoVersion:
            return s.version;
        case kHasSignedAttrs:
            return s.hasSignedAttrs ? 1 : 0;
        case kHasSigningCert:
            return s.hasSigningCert ? 1 : 0;
        case kHasAlgProtect:
            return s.hasAlgProtect ? 1 : 0;
        case kHasSki:
            return s.sidIsSki ? 1 : 0;
        case kSignerIdentifier:
            text = hex_of(s.sidDer);
            break;
        case kSigningTime: {
            if (s.signingTime.empty()) return 0;
            // UTCTime through 2049 and GeneralizedTime from 2050 (RFC 5652 11.3).
            AsnNode* node = asn_ReadBytes(s.signingTime.data(), s.signingTime.size());
            struct tm t {};
            int ok = node ? asn_ZuluTime2tm(node, &t) : -1;
            asn_Free(&node);
            if (ok != 0) {
                eprintf("Invalid signingTime attribute");
                return -INVALID_DATA_ERROR;
            }
            char buf[64];
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                          t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
            text = buf;
            break;
        }
        case kDigestAlgorithm:
            text = s.digestName;
            break;
        case kSignatureAlgorithm:
            text = s.sigName;
            break;
        case kMessageDigest:
            if (!s.hasMessageDigest) return 0;
            text = hex_of(s.messageDigest);
            break;
        case kPssParams:
            if (s.family == kFamPss) text = rsapssParamString(&s.pss);
            break;
        case kSignatureValue:
            text = hex_of(s.sigValue);
            break;
        case kDigestOfSignedAttrs:
            if (s.hasSignedAttrs && cmsDigest(s.digestId, s.signedAttrs.data(), s.signedAttrs.size(), d))
                text = hex_of(d);
            break;
        case kDigestOfEContent:
            if (info.hasEContent) {
                SecureBytes content;
                if (octetsOf(der.data(), info.eContent, content) == 0 &&
                    cmsDigest(s.digestId, content.data(), content.size(), d))
                    text = hex_of(d);
            }
            break;
        case kSigningCertHash: {
            long alg;
            if (s.hasSigningCert && getSigningCertDigest(s, d, &alg) == 0) text = hex_of(d);
            break;
        }
        default:
            return -BAD_QUERY_ERROR;
    }
    if (text.empty()) return 0;
    return out_exact(out, outlen, text.c_str(), long(text.size()));
}

}  // namespace velt::cms
