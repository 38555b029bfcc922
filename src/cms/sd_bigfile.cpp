// Streaming signed-data writer. The output is BER (X.690 8.1.3.6): the
// ContentInfo, its [0], the SignedData, the encapContentInfo, its [0] and a
// constructed OCTET STRING are opened with indefinite lengths; the file is
// read in blocks of 8192 octets, each hashed and written as one primitive
// OCTET STRING segment; three end-of-contents markers close the content,
// the certificates and the one SignerInfo follow, and three more markers
// close the rest. Nothing larger than one block is held in memory.
#include "cms/sd_bigfile.h"

#include <cstdio>

#include "cms/cms.h"
#include "cms/sd_make_int.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "util/safe_write.h"

namespace velt::cms {

namespace {

constexpr size_t kBlock = 8192;
const uint8_t kEoc[2] = {0x00, 0x00};

long put(SafeWriter& w, const Der& d) {
    return w.write(d.data(), d.size());
}

long put_eocs(SafeWriter& w, int n) {
    for (int i = 0; i < n; i++)
        if (long rc = w.write(kEoc, sizeof kEoc)) return rc;
    return 0;
}

}  // namespace

long sigdata_bigfile(const char* outFile, const char* inFile, const char* certList, const char* privateKey,
                     long options) {
    if (options & kCmsPseudoSig) {
        eprintf("PSEUDOSIG option not permitted with BIGFILE option");
        return BAD_FLAG_ERROR;
    }
    if (options & kCmsAddSigner) {
        eprintf("ADD_SIGNER option not permitted with BIGFILE option");
        return BAD_FLAG_ERROR;
    }
    const sig::SigAlgRow* row = sig::sigPtrToSigAlgById(options & 0xFF);
    if (row && (sig::sigIdIsEcc(row->id) || sig::sigIdIsDsa(row->id))) {
        eprintf("Only RSA is supported with BIGFILE option");
        return NOT_SUPPORTED_ERROR;
    }
    if (options & (kCmsExcludeData | kCmsCertsOnly | kCmsFormatBase64 | kCmsNoOuter)) {
        eprintf("Invalid option in BIGFILE mode");
        return BAD_FLAG_ERROR;
    }
    if (!privateKey || !*privateKey) {
        eprintf("Require private key");
        return BAD_PARAM_ERROR;
    }
    SignerSetup s;
    if (long rc = setup_signer(s, certList, privateKey, options, false)) {
        if (rc != OPEN_ERROR) return rc;
        // The streaming writer reports an unreadable certificate list as a
        // bad parameter.
        eprintcatf("Error reading certificate");
        return BAD_PARAM_ERROR;
    }

    FILE* in = std::fopen(inFile, "rb");
    if (!in) {
        eprintf("Cannot open file '%s'", inFile);
        return OPEN_ERROR;
    }
    SafeWriter w;
    long rc = w.open(outFile, WriteMode::kPublic);
    if (rc) {
        std::fclose(in);
        eprint_headline("Cannot create file '%s'", outFile);
        return rc;
    }
    const bool withCerts = (options & kCmsExcludeCerts) == 0;
    // ContentInfo, [0], SignedData { version, digestAlgorithms,
    // encapContentInfo { data, [0] { OCTET STRING (constructed) ...
    static const uint8_t kOpen[] = {0x30, 0x80, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7,
                                    0x0D, 0x01, 0x07, 0x02, 0xA0, 0x80, 0x30, 0x80};
    static const uint8_t kEncapOpen[] = {0x30, 0x80, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7,
                                         0x0D, 0x01, 0x07, 0x01, 0xA0, 0x80, 0x24, 0x80};
    Der version = der_uint((options & kCmsUseSki) && withCerts ? 3 : 1);
    Der digestAlgs = der_set_of({digest_alg_id(*s.row, true)});
    rc = w.write(kOpen, sizeof kOpen);
    if (!rc) rc = put(w, version);
    if (!rc) rc = put(w, digestAlgs);
    if (!rc) rc = w.write(kEncapOpen, sizeof kEncapOpen);

    hash::Hasher h;
    if (!rc && !h.init(s.row->hashAlg)) {
        eprintf("Invalid signature option");
        rc = BAD_FLAG_ERROR;
    }
    SecureBytes block(kBlock);
    while (!rc) {
        size_t got = std::fread(block.data(), 1, kBlock, in);
        if (got == 0) {
            if (std::ferror(in)) {
                eprintf("Cannot read file '%s'", inFile);
                rc = READ_ERROR;
            }
            break;
        }
        h.update(block.data(), got);
        Der seg = der_tlv(0x04, block.data(), got);
        rc = put(w, seg);
        ewipe(seg.data(), seg.size());
    }
    std::fclose(in);
    if (!rc) rc = put_eocs(w, 3);

    SignInput sin;
    sin.digest.assign(h.length(), 0);
    if (!rc) {
        h.final(sin.digest.data());
        sin.privateKey = privateKey;
        Der signerInfo;
        rc = make_signerinfo(signerInfo, s, sin, options);
        if (!rc && withCerts) rc = put(w, der_set_of(s.certs, 0xA0));
        if (!rc) rc = put(w, der_set_of({signerInfo}));
    }
    if (!rc) rc = put_eocs(w, 3);
    if (!rc) rc = w.commit();
    if (rc) {
        w.abort();
        if (rc == CREATE_ERROR || rc == WRITE_ERROR) eprint_headline("Cannot create file '%s'", outFile);
    }
    return rc;
}

}  // namespace velt::cms
