// Adding a signer to an existing SignedData (RFC 5652 5.1: the new hash
// joins digestAlgorithms, the new certificates join certificates, the new
// SignerInfo joins signerInfos, each SET re-sorted), and completing a
// pseudo-signature in place.
#include "cms/sd_addsigner.h"

#include <cstring>

#include "asn1/asn1.h"
#include "cms/cms.h"
#include "cms/sd_make_int.h"
#include "encode/pem.h"
#include "frame/error.h"
#include "util/futil.h"

namespace velt::cms {

namespace {

// The parts of a SignedData, as TLVs into the encoding they were read from.
struct SdParts {
    Der der;  // the whole ContentInfo
    long version = -1;
    DerTlv digestAlgs, encap, certs, crls, signerInfos;
    bool haveCerts = false, haveCrls = false;
    DerTlv eContentType;
    bool haveContent = false;
    SecureBytes content;
};

// The object (file, PEM or base64) as its encoding; the walk that follows
// reads definite lengths only.
bool read_object_der(const char* object, Der& out) {
    long err = 0;
    AsnNode* chain = pemReadAsnFromAnything(object, &err);
    if (!chain) return false;
    asn_Ndef2Fixed(&chain);  // an outer indefinite length becomes definite
    int64_t n = 0;
    uint8_t* der = asn_Store(chain, &n);
    asn_Free(&chain);
    if (!der) return false;
    out.assign(der, der + n);
    efree_mem(der);
    return true;
}

// The octets of an OCTET STRING, primitive or constructed (segments joined).
bool octets_of(const DerTlv& t, SecureBytes& out) {
    if (t.tag == 0x04) {
        out.insert(out.end(), t.value, t.value + t.len);
        return true;
    }
    if (t.tag != 0x24) return false;
    DerReader r(t);
    DerTlv seg;
    while (r.next(seg))
        if (!octets_of(seg, out)) return false;
    return r.at_end();
}

// Parses the ContentInfo in p.der holding a SignedData. 0 or a positive code.
long parse_sd_der(SdParts& p) {
    DerTlv ci, t, sd;
    if (!der_parse_one(p.der.data(), p.der.size(), ci) || ci.tag != 0x30) {
        eprintcatf("Invalid or missing ASN.1 data");
        return INVALID_DATA_ERROR;
    }
    DerReader r(ci);
    Der signedDataOid = der_oid("signedData");
    if (!r.next(t) || t.bytes() != signedDataOid) {
        eprintf("Invalid Content Type: expected signed-data");
        return INVALID_DATA_ERROR;
    }
    if (!r.next(t) || t.tag != 0xA0 || !der_parse_one(t.value, t.len, sd) || sd.tag != 0x30) {
        eprintf("No signed-data content");
        return MISSING_ERROR;
    }
    DerReader s(sd);
    if (!s.next(t) || t.tag != 0x02 || t.len != 1) {
        eprintf("Invalid signed-data structure");
        return BAD_FORMAT_ERROR;
    }
    p.version = t.value[0];
    if (!s.next(p.digestAlgs) || p.digestAlgs.tag != 0x31 || !s.next(p.encap) || p.encap.tag != 0x30) {
        eprintf("Invalid signed-data structure");
        return BAD_FORMAT_ERROR;
    }
    while (s.next(t)) {
        if (t.tag == 0xA0) {
            p.certs = t;
            p.haveCerts = true;
        } else if (t.tag == 0xA1) {
            p.crls = t;
            p.haveCrls = true;
        } else if (t.tag == 0x31) {
            p.signerInfos = t;
        }
    }
    if (!s.at_end() || p.signerInfos.tag != 0x31) {
        eprintf("Invalid signed-data structure");
        return BAD_FORMAT_ERROR;
    }
    DerReader e(p.encap);
    if (!e.next(p.eContentType) || p.eContentType.tag != 0x06) {
        eprintf("Invalid signed-data structure");
        return BAD_FORMAT_ERROR;
    }
    DerTlv wrap, octets;
    if (e.next(wrap) && wrap.tag == 0xA0 && der_parse_one(wrap.value, wrap.len, octets))
        p.haveContent = octets_of(octets, p.content);
    return 0;
}

long parse_sd(const char* object, SdParts& p) {
    if (!read_object_der(object, p.der)) {
        eprintcatf("Invalid or missing ASN.1 data");
        return INVALID_DATA_ERROR;
    }
    return parse_sd_der(p);
}

std::vector<Der> items_of(const DerTlv& set) {
    std::vector<Der> out;
    DerReader r(set);
    DerTlv t;
    while (r.next(t)) out.push_back(t.bytes());
    return out;
}

// 3 when any SignerInfo has version 3, else 1.
long set_sdversion_from_signerinfos(const std::vector<Der>& signerInfos) {
    for (const Der& si : signerInfos) {
        DerTlv seq, v;
        if (der_parse_one(si.data(), si.size(), seq)) {
            DerReader r(seq);
            if (r.next(v) && v.tag == 0x02 && v.len == 1 && v.value[0] == 3) return 3;
        }
    }
    return 1;
}

// The row of PKCS #1 v1.5 with the hash a DigestAlgorithmIdentifier names.
const sig::SigAlgRow* pkcs1_row_of(const DerTlv& digestAlg) {
    static const char* const kNames[][2] = {{"sha1", "RSA-SHA1"},     {"sha224", "RSA-SHA224"},
                                            {"sha256", "RSA-SHA256"}, {"sha384", "RSA-SHA384"},
                                            {"sha512", "RSA-SHA512"}, {"md5", "RSA-MD5"}};
    DerReader r(digestAlg);
    DerTlv oid;
    if (!r.next(oid)) return nullptr;
    for (const auto& n : kNames)
        if (oid.bytes() == der_oid(n[0])) return sig::sigPtrToSigAlgByName(n[1]);
    return nullptr;
}

// Verifies the first SignerInfo of a PKCS #1 v1.5 signed object against
// the embedded certificate it names. 0 or 22.
long verify_first_signer(const SdParts& p) {
    DerReader sis(p.signerInfos);
    DerTlv si, version, sid, digestAlg, t, sigAlg, value;
    if (!sis.next(si)) return SIGNATURE_ERROR;
    DerReader f(si);
    if (!f.next(version) || !f.next(sid) || !f.next(digestAlg) || !f.next(t)) return SIGNATURE_ERROR;
    DerTlv attrs;
    const bool haveAttrs = t.tag == 0xA0;
    if (haveAttrs) {
        attrs = t;
        if (!f.next(t)) return SIGNATURE_ERROR;
    }
    sigAlg = t;
    if (!f.next(value) || value.tag != 0x04) return SIGNATURE_ERROR;
    const sig::SigAlgRow* row = pkcs1_row_of(digestAlg);
    if (!row || !p.haveContent || !p.haveCerts) return SIGNATURE_ERROR;

    // The certificate: issuer and serial number, or subject key identifier.
    SignerCert cert;
    bool found = false;
    for (const Der& c : items_of(p.certs)) {
        SignerCert parts;
        if (!parse_cert(c, parts)) continue;
        const bool match = sid.tag == 0x80 ? Der(sid.value, sid.value + sid.len) == parts.ski
                                           : sid.bytes() == der_seq({&parts.issuer, &parts.serial});
        if (match) {
            cert = parts;
            found = true;
            break;
        }
    }
    if (!found) return SIGNATURE_ERROR;

    Der contentDigest, tbs;
    row_digest(*row, p.content.data(), p.content.size(), contentDigest);
    if (haveAttrs) {
        Der set = attrs.bytes();
        set[0] = 0x31;
        row_digest(*row, set.data(), set.size(), tbs);
        // messageDigest must be present and equal to the content digest.
        Der mdOid = der_oid("messageDigest");
        bool mdOk = false;
        DerReader ar(attrs);
        DerTlv a;
        while (ar.next(a)) {
            DerReader x(a);
            DerTlv oid, vals, v;
            if (x.next(oid) && oid.bytes() == mdOid && x.next(vals) &&
                der_parse_one(vals.value, vals.len, v) && v.tag == 0x04)
                mdOk = Der(v.value, v.value + v.len) == contentDigest;
        }
        if (!mdOk) return SIGNATURE_ERROR;
    } else {
        tbs = contentDigest;
    }
    return verify_value(Der(value.value, value.value + value.len), *row, cert.spki, tbs.data(), tbs.size(),
                        0);
}

}  // namespace

long sigdata_add_signer(const char* outFile, const char* inFile, const char* certList, const char* privateKey,
                        long options) {
    if (options & (kCmsCertsOnly | kCmsExcludeData | kCmsNoOuter | kCmsPseudoSig | kCmsBigFile)) {
        eprintf("Option is not supported with VELT_CMS_ADD_SIGNER");
        return BAD_FLAG_ERROR;
    }
    if (!privateKey || !*privateKey) {
        eprintf("Private key is required");
        return BAD_PARAM_ERROR;
    }
    SdParts p;
    if (long rc = parse_sd(inFile, p)) return rc;
    if (p.version != 1 && p.version != 3) {
        eprintf("CMS version (sdver) must be 1 or 3 to use VELT_CMS_ADD_SIGNER");
        return NOT_SUPPORTED_ERROR;
    }
    if (!p.haveContent || p.eContentType.bytes() != der_oid("data")) {
        eprintf("Must have eContent present and of type 'data' to use VELT_CMS_ADD_SIGNER");
        return MISSING_ERROR;
    }
    SignerSetup s;
    if (long rc = setup_signer(s, certList, privateKey, options, false)) return rc;
    SignInput in;
    in.content = p.content.data();
    in.contentLen = p.content.size();
    in.privateKey = privateKey;
    row_digest(*s.row, in.content, in.contentLen, in.digest);
    Der signerInfo;
    if (long rc = make_signerinfo(signerInfo, s, in, options)) return rc;

    std::vector<Der> digestAlgs = items_of(p.digestAlgs);
    append_to_set(digestAlgs, digest_alg_id(*s.row));
    std::vector<Der> certs = p.haveCerts ? items_of(p.certs) : std::vector<Der>{};
    for (const Der& c : s.certs) append_to_set(certs, c);
    std::vector<Der> signerInfos = items_of(p.signerInfos);
    signerInfos.push_back(signerInfo);

    Der version = der_small_int(uint32_t(set_sdversion_from_signerinfos(signerInfos)));
    Der algSet = der_set_of(digestAlgs);
    Der encap = p.encap.bytes();
    const bool withCerts = !(options & kCmsExcludeCerts);
    Der certSet = withCerts ? der_set_of(certs, 0xA0) : Der{};
    Der crls = p.haveCrls ? p.crls.bytes() : Der{};
    Der siSet = der_set_of(signerInfos);
    Der sd = der_seq(
        {&version, &algSet, &encap, withCerts ? &certSet : nullptr, p.haveCrls ? &crls : nullptr, &siSet});
    return write_cms_output(outFile, wrap_content_info(sd), options);
}

long insert_sigvalue_into_sigdata(const char* outFile, const uint8_t* sig, size_t sigLen, const char* object,
                                  long options) {
    SdParts p;
    if (long rc = parse_sd(object, p)) return rc;
    // The signature OCTET STRING of the first SignerInfo.
    DerReader sis(p.signerInfos);
    DerTlv si, t, value;
    bool located = false;
    if (sis.next(si)) {
        DerReader f(si);
        while (f.next(t))
            if (t.tag == 0x04) {
                value = t;
                located = true;
                break;
            }
    }
    if (!located) {
        eprintf("Invalid signed-data structure");
        return BAD_FORMAT_ERROR;
    }
    Der fresh = der_octets(sig, sigLen);
    if (fresh.size() != value.total) {
        eprintf("New signature value is the wrong length");
        return BAD_LENGTH_ERROR;
    }
    // Same encoded length: every enclosing length stays as it is.
    const size_t off = size_t(value.start - p.der.data());
    std::memcpy(p.der.data() + off, fresh.data(), fresh.size());
    SdParts q;
    q.der = p.der;
    if (parse_sd_der(q) != 0 || verify_first_signer(q) != 0) {
        eprintf("New signature value is invalid");
        return SIGNATURE_ERROR;
    }
    return write_cms_output(outFile, q.der, options);
}

}  // namespace velt::cms
