// Adding a signer to an existing SignedData (RFC 5652 5.1: the new hash
// joins digestAlgorithms, the new certificates join certificates, the new
// SignerInfo joins signerInfos, each SET re-sorted), and completing a
// pseudo-signature in place. Both read their input with the signed-data
// reader, so BER input (indefinite lengths, segmented content) is taken.
#include "cms/sd_addsigner.h"

#include <cstring>

#include "cms/cms.h"
#include "cms/sd_make_int.h"
#include "encode/encode.h"
#include "frame/error.h"

namespace velt::cms {

namespace {

// The elements of a SET (or any constructed element) as separate encodings.
std::vector<Der> items_of(const std::vector<uint8_t>& der, const Tlv& set) {
    std::vector<Der> out;
    BerChildren k(der.data(), set);
    Tlv t;
    while (k.next(t) == 1) out.emplace_back(der.begin() + long(t.start), der.begin() + long(t.end));
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
    std::vector<uint8_t> der;
    SignedDataInfo info;
    if (long rc = cmsReadSignedData(inFile, der, info, false)) {
        if (rc > 0 && rc != OPEN_ERROR) eprintcatf("Invalid or missing ASN.1 data");
        return rc < 0 ? -rc : rc;
    }
    if (info.version != 1 && info.version != 3) {
        eprintf("CMS version (sdver) must be 1 or 3 to use VELT_CMS_ADD_SIGNER");
        return NOT_SUPPORTED_ERROR;
    }
    SecureBytes content;
    if (!info.hasEContent || info.contentType != "data" ||
        octetsOf(der.data(), info.eContent, content) != 0) {
        eprintf("Must have eContent present and of type 'data' to use VELT_CMS_ADD_SIGNER");
        return MISSING_ERROR;
    }
    SignerSetup s;
    if (long rc = setup_signer(s, certList, privateKey, options, false)) return rc;
    SignInput in;
    in.content = content.data();
    in.contentLen = content.size();
    in.privateKey = privateKey;
    row_digest(*s.row, in.content, in.contentLen, in.digest);
    Der signerInfo;
    if (long rc = make_signerinfo(signerInfo, s, in, options)) return rc;

    std::vector<Der> digestAlgs = items_of(der, info.digestAlgs);
    append_to_set(digestAlgs, digest_alg_id(*s.row));
    std::vector<Der> certs = info.hasCerts ? items_of(der, info.certSet) : std::vector<Der>{};
    for (const Der& c : s.certs) append_to_set(certs, c);
    std::vector<Der> signerInfos = info.signerSet.ident ? items_of(der, info.signerSet) : std::vector<Der>{};
    signerInfos.push_back(signerInfo);

    Der version = der_uint(uint32_t(set_sdversion_from_signerinfos(signerInfos)));
    Der algSet = der_set_of(digestAlgs);
    Der encap = encap_content_info(content.data(), content.size(), true);
    const bool withCerts = !(options & kCmsExcludeCerts);
    Der certSet = withCerts ? der_set_of(certs, 0xA0) : Der{};
    Der crls;
    if (info.hasCrls) {
        std::vector<Der> crlItems = items_of(der, info.crlSet);
        Der body;
        for (const Der& c : crlItems) body.insert(body.end(), c.begin(), c.end());
        crls = der_tlv(0xA1, body);
    }
    Der siSet = der_set_of(signerInfos);
    Der sd = der_seq(
        {&version, &algSet, &encap, withCerts ? &certSet : nullptr, info.hasCrls ? &crls : nullptr, &siSet});
    return write_cms_output(outFile, wrap_content_info(sd), options);
}

long insert_sigvalue_into_sigdata(const char* outFile, const uint8_t* sig, size_t sigLen, const char* object,
                                  long options) {
    std::vector<uint8_t> der;
    SignedDataInfo info;
    if (long rc = cmsReadSignedData(object, der, info, false)) {
        if (rc > 0 && rc != OPEN_ERROR) eprintcatf("Invalid or missing ASN.1 data");
        return rc < 0 ? -rc : rc;
    }
    // The signature OCTET STRING of the first SignerInfo: the first OCTET
    // STRING among its fields (the ones before it are INTEGER, SEQUENCE and
    // context-tagged elements).
    Tlv value{};
    bool located = false;
    if (info.signerSet.ident) {
        BerChildren sk(der.data(), info.signerSet);
        Tlv si, t;
        if (sk.next(si) == 1) {
            BerChildren fk(der.data(), si);
            while (!located && fk.next(t) == 1)
                if (t.is(0x04)) {
                    value = t;
                    located = true;
                }
        }
    }
    if (!located) {
        eprintf("Invalid signed-data structure");
        return BAD_FORMAT_ERROR;
    }
    Der fresh = der_octets(sig, sigLen);
    if (fresh.size() != value.end - value.start) {
        eprintf("New signature value is the wrong length");
        return BAD_LENGTH_ERROR;
    }
    // Same encoded length: every enclosing length stays as it is.
    std::memcpy(der.data() + value.start, fresh.data(), fresh.size());
    std::string b64 = b64_string(der.data(), der.size());
    if (cmsVerifySigData(b64.c_str(), "", "", 0) != 0) {
        eprintf("New signature value is invalid");
        return SIGNATURE_ERROR;
    }
    return write_cms_output(outFile, Der(der.begin(), der.end()), options);
}

}  // namespace velt::cms
