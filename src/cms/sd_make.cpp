// Making CMS signed-data (RFC 5652 5): the signer set-up, SignerInfo and
// SignedData assembly, and the output writer.
#include <cstring>
#include <string>

#include "cms/cms.h"
#include "cms/sd_make_int.h"
#include "ecc/keys.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "rsa/rsa.h"
#include "util/safe_write.h"

namespace velt::cms {

namespace {

constexpr long kUseDigest = 0x1000;
constexpr long kAsn1Der = 0x4000;

}  // namespace

long setup_signer(SignerSetup& s, const char* certList, const char* privateKey, long options, bool keyless) {
    s.row = sig::sigPtrToSigAlgById(options & 0xFF);
    if (!s.row) {
        eprintf("Invalid signature option");
        return BAD_FLAG_ERROR;
    }
    if (sig::sigIdIsDsa(s.row->id)) {
        eprintf("Algorithm '%s' is not supported", s.row->name);
        return NOT_SUPPORTED_ERROR;
    }
    if (long rc = read_cert_list(certList, s.certs)) return rc;
    if (!keyless) {
        const bool ecc = sig::sigIdIsEcc(s.row->id);
        Der mine = private_key_identity(privateKey, ecc);
        if (mine.empty()) {
            eprintf("Invalid Private Key");
            return BAD_KEY_ERROR;
        }
        size_t match = s.certs.size();
        for (size_t i = 0; i < s.certs.size() && match == s.certs.size(); i++) {
            SignerCert parts;
            if (parse_cert(s.certs[i], parts) && spki_identity(parts.spki, ecc) == mine) match = i;
        }
        if (match == s.certs.size()) {
            eprintf("Private key does not match any certificate in list");
            return NO_MATCH_ERROR;
        }
        if (match != 0) std::swap(s.certs[0], s.certs[match]);
    }
    if (!parse_cert(s.certs[0], s.cert)) {
        eprintf("Error reading certificate");
        return BAD_PARAM_ERROR;
    }
    if ((options & kCmsUseSki) && s.cert.ski.empty()) {
        eprintf("Cannot find a SubjectKeyIdentifier");
        return MISSING_ERROR;
    }
    return 0;
}

long sign_value(Der& out, const sig::SigAlgRow& row, const char* privateKey, const uint8_t* tbs, size_t n,
                long options) {
    std::vector<uint8_t> sig;
    long rc;
    if (sig::sigIdIsEcc(row.id)) {
        const long o = sig::sigIdIsEdDSA(row.id) ? 0 : (kUseDigest | kAsn1Der);
        rc = sig::eccDSA_SignDataToBytes(sig, tbs, n, privateKey, "", row, o);
        if (rc) eprintcatf("ECC signature operation failed (%ld)", rc);
    } else {
        RsaKeyUse rsa;
        rc = rsa.open_private(privateKey, "");
        if (rc) {
            eprintf("Invalid Private Key");
        } else if (sig::sigIdIsPss(row.id)) {
            rc = sig::rsasigSign_PSS(sig, rsa, tbs, n, row,
                                     kUseDigest | (options & (kCmsPssSaltZero | kCmsMgf1Sha1)), nullptr, 0);
        } else {
            rc = sig::rsasigSign(sig, rsa, tbs, n, row, true);
        }
        if (rc) eprintcatf("RSA encryption failed (%ld)", rc);
    }
    out.assign(sig.begin(), sig.end());
    return rc;
}

long verify_value(const Der& sig, const sig::SigAlgRow& row, const Der& spki, const uint8_t* tbs, size_t n,
                  long options) {
    long rc = SIGNATURE_ERROR;
    if (sig::sigIdIsEcc(row.id)) {
        std::string pub = ecc::ecPublicKeyString(spki.data(), spki.size());
        const long o = sig::sigIdIsEdDSA(row.id) ? 0 : kUseDigest;
        if (!pub.empty())
            rc = sig::eccDSA_VerifyDataFromBytes(sig.data(), sig.size(), tbs, n, pub.c_str(), row, o);
    } else {
        RsaKey* key = rsaNew();
        if (key && rsaParseSpkiDer(key, spki.data(), spki.size()) == 0) {
            rc = sig::sigIdIsPss(row.id) ? sig::rsasigVerify_PSS(sig.data(), sig.size(), key, tbs, n, row,
                                                                 kUseDigest | (options & kCmsMgf1Sha1))
                                         : sig::rsasigVerify(sig.data(), sig.size(), key, tbs, n, row, true);
        }
        rsaFree(&key);
    }
    return rc ? long(SIGNATURE_ERROR) : 0L;
}

long make_signerinfo(Der& out, const SignerSetup& s, const SignInput& in, long options) {
    const sig::SigAlgRow& row = *s.row;
    const bool eddsa = sig::sigIdIsEdDSA(row.id);
    const bool attrs = (options & kCmsIncludeAttrs) != 0;
    Der sigAlg = makeSigAlg(row, options);
    Der digestAlg = digest_alg_id(row);

    // What is signed: the DER of the signed attributes as a SET OF, or the
    // content digest (EdDSA: the content itself).
    Der attrSet, tbs;
    const uint8_t* tbsPtr = in.digest.data();
    size_t tbsLen = in.digest.size();
    if (attrs) {
        attrSet = der_set_of(make_SignedAttrs(row, in.digest, s.cert, sigAlg, options));
        if (eddsa) {
            tbsPtr = attrSet.data();
            tbsLen = attrSet.size();
        } else {
            row_digest(row, attrSet.data(), attrSet.size(), tbs);
            tbsPtr = tbs.data();
            tbsLen = tbs.size();
        }
    } else if (eddsa) {
        if (!in.content && !in.sigValue) {
            eprintf("EdDSA needs the content or signed attributes to sign");
            return NOT_SUPPORTED_ERROR;
        }
        tbsPtr = in.content;
        tbsLen = in.contentLen;
    }

    Der value;
    if (in.sigValue) {
        value = *in.sigValue;
    } else if (in.pseudo) {
        const size_t k = spki_rsa_bytes(s.cert.spki);
        if (k == 0) {
            eprintf("Cannot extract public key from certificate");
            return INVALID_DATA_ERROR;
        }
        value.assign(k, 0xBB);
    } else if (long rc = sign_value(value, row, in.privateKey, tbsPtr, tbsLen, options)) {
        return rc;
    }

    const bool ski = (options & kCmsUseSki) != 0;
    Der version = der_uint(ski ? 3 : 1);
    Der sid = ski ? der_tlv(0x80, s.cert.ski) : der_seq({&s.cert.issuer, &s.cert.serial});
    Der signedAttrs;
    if (attrs) {
        signedAttrs = attrSet;
        signedAttrs[0] = 0xA0;  // [0] IMPLICIT SET OF Attribute
    }
    Der sigOctets = der_octets(value);
    out = der_seq({&version, &sid, &digestAlg, attrs ? &signedAttrs : nullptr, &sigAlg, &sigOctets});
    return 0;
}

Der encap_content_info(const uint8_t* content, size_t n, bool withContent) {
    Der oid = der_oid("data");
    if (!withContent) return der_seq({&oid});
    Der octets = der_octets(content, n);
    Der explicit0 = der_tlv(0xA0, octets);
    return der_seq({&oid, &explicit0});
}

Der wrap_content_info(const Der& signedData) {
    Der oid = der_oid("signedData");
    Der explicit0 = der_tlv(0xA0, signedData);
    return der_seq({&oid, &explicit0});
}

Der SplitDer::joined() const {
    Der out;
    out.reserve(head.size() + contentLen + tail.size());
    out.insert(out.end(), head.begin(), head.end());
    if (contentLen) out.insert(out.end(), content, content + contentLen);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

long make_sigdata(SplitDer& out, const SignerSetup& s, const SignInput& in, long options) {
    Der signerInfo;
    if (long rc = make_signerinfo(signerInfo, s, in, options)) return rc;
    const bool withCerts = (options & kCmsExcludeCerts) == 0;
    Der version = der_uint((options & kCmsUseSki) && withCerts ? 3 : 1);
    Der digestAlgs = der_set_of({digest_alg_id(*s.row)});
    const bool withContent = in.content && !(options & kCmsExcludeData);
    const size_t n = withContent ? in.contentLen : 0;
    // encapContentInfo up to the content octets: SEQUENCE { data, [0] {
    // OCTET STRING header.
    Der encapHead;
    Der dataOid = der_oid("data");
    if (withContent) {
        Der octHdr = der_header(0x04, n);
        Der a0Hdr = der_header(0xA0, octHdr.size() + n);
        Der body = der_cat({&dataOid, &a0Hdr, &octHdr});
        Der seqHdr = der_header(0x30, body.size() + n);
        encapHead = der_cat({&seqHdr, &body});
    } else {
        encapHead = der_seq({&dataOid});
    }
    Der certs;
    if (withCerts) certs = der_set_of(s.certs, 0xA0);
    Der signerInfos = der_set_of({signerInfo});
    out.tail = der_cat({withCerts ? &certs : nullptr, &signerInfos});
    const size_t sdLen = version.size() + digestAlgs.size() + encapHead.size() + n + out.tail.size();
    Der sdHdr = der_header(0x30, sdLen);
    out.head = der_cat({&sdHdr, &version, &digestAlgs, &encapHead});
    if (!(options & kCmsNoOuter)) {
        Der oid = der_oid("signedData");
        Der a0Hdr = der_header(0xA0, sdHdr.size() + sdLen);
        Der ciHdr = der_header(0x30, oid.size() + a0Hdr.size() + sdHdr.size() + sdLen);
        out.head = der_cat({&ciHdr, &oid, &a0Hdr, &out.head});
    }
    out.content = withContent ? in.content : nullptr;
    out.contentLen = n;
    return 0;
}

long write_cms_output(const char* outFile, const SplitDer& der, long options) {
    if (options & kCmsFormatBase64) return write_cms_output(outFile, der.joined(), options);
    SafeWriter w;
    long rc = w.open(outFile, WriteMode::kPublic);
    if (!rc) rc = w.write(der.head.data(), der.head.size());
    if (!rc && der.contentLen) rc = w.write(der.content, der.contentLen);
    if (!rc) rc = w.write(der.tail.data(), der.tail.size());
    if (!rc) rc = w.commit();
    if (rc == CREATE_ERROR) eprint_headline("Cannot create file %s", outFile);
    return rc;
}

long write_cms_output(const char* outFile, const Der& der, long options, const char* pemLabel) {
    long rc;
    if (options & kCmsFormatBase64) {
        std::string b64 = b64_string(der.data(), der.size());
        std::string text;
        text.reserve(b64.size() + b64.size() / 32 + 64);
        if (pemLabel) text += std::string("-----BEGIN ") + pemLabel + "-----\r\n";
        for (size_t i = 0; i < b64.size(); i += 64) {
            text.append(b64, i, 64);
            text += "\r\n";
        }
        if (pemLabel) text += std::string("-----END ") + pemLabel + "-----\r\n";
        rc = safe_write_file(outFile, text.data(), text.size(), WriteMode::kPublic);
    } else {
        rc = safe_write_file(outFile, der.data(), der.size(), WriteMode::kPublic);
    }
    if (rc == CREATE_ERROR) eprint_headline("Cannot create file %s", outFile);
    return rc;
}

}  // namespace velt::cms
