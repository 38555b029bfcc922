// The signed-data makers behind the exported CMS_Make* functions: signed
// messages from a file, bytes or text, detached signatures from a digest,
// signature values made elsewhere, and certificates-only messages.
#include <cstring>
#include <ctime>

#include "cms/cms.h"
#include "cms/sd_addsigner.h"
#include "cms/sd_bigfile.h"
#include "cms/sd_make_int.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "util/futil.h"

namespace velt::cms {

namespace {

bool empty(const char* s) {
    return !s || !*s;
}

// The checks of a pseudo-signature: PKCS #1 v1.5 rows only, and none of the
// options that would leave nothing to complete.
long check_pseudo(long options) {
    if (options & (kCmsExcludeCerts | kCmsExcludeData | kCmsCertsOnly | kCmsNoOuter)) {
        eprintf("Invalid option with PSEUDOSIG option");
        return BAD_FLAG_ERROR;
    }
    const sig::SigAlgRow* row = sig::sigPtrToSigAlgById(options & 0xFF);
    if (row && (row->id & 0xF0) != 0) {
        eprintf("PSEUDOSIG option not supported for this signature algorithm");
        return NOT_SUPPORTED_ERROR;
    }
    return 0;
}

// Signed message of content held in memory; with a digest already made
// (a detached signature of a file read in blocks), data may be null.
long sign_content(const char* outFile, const uint8_t* data, size_t n, const char* certList,
                  const char* privateKey, long options, const Der* digest = nullptr) {
    const bool pseudo = (options & kCmsPseudoSig) != 0;
    if (pseudo) {
        if (long rc = check_pseudo(options)) return rc;
    } else if (empty(privateKey)) {
        eprintf("Require private key");
        return BAD_PARAM_ERROR;
    }
    SignerSetup s;
    if (long rc = setup_signer(s, certList, privateKey, options, pseudo)) return rc;
    SignInput in;
    in.content = data;
    in.contentLen = n;
    in.privateKey = privateKey;
    in.pseudo = pseudo;
    if (digest) {
        in.digest = *digest;
    } else if (!row_digest(*s.row, data, n, in.digest)) {
        eprintf("Invalid signature option");
        return BAD_FLAG_ERROR;
    }
    SplitDer out;
    if (long rc = make_sigdata(out, s, in, options)) return rc;
    return write_cms_output(outFile, out, options);
}

// A detached signature needs only the content digest, unless the row is
// EdDSA without signed attributes (which signs the content itself) or the
// row's hash has no incremental form here. A pseudo-signature refuses
// detached output later on.
bool can_stream_digest(long options, hash::Hasher& h) {
    if (!(options & kCmsExcludeData) || (options & kCmsPseudoSig)) return false;
    const sig::SigAlgRow* row = sig::sigPtrToSigAlgById(options & 0xFF);
    if (!row || (sig::sigIdIsEdDSA(row->id) && !(options & kCmsIncludeAttrs))) return false;
    return h.init(row->hashAlg) && h.length() == row->digestLen;
}

// Feeds the open file through the digest in large blocks, so that a large
// file is neither held in memory nor copied; n gets the octets read.
// 0, READ_ERROR or BAD_LENGTH_ERROR.
long digest_stream(FILE* f, hash::Hasher& h, size_t& n) {
    constexpr size_t kBlock = size_t(128) << 10;
    SecureBytes block(kBlock);
    n = 0;
    size_t got;
    while ((got = std::fread(block.data(), 1, kBlock, f)) > 0) {
        if (got > kMaxInputFileSize - n) return BAD_LENGTH_ERROR;
        h.update(block.data(), got);
        n += got;
    }
    return std::ferror(f) ? long(READ_ERROR) : 0L;
}

// The dispatch shared by the three message makers: 0 to go on with the
// in-memory path, else the result of the path taken (or an option error).
bool dispatch(long& rc, const char* outFile, const char* inFile, const char* certList, const char* privateKey,
              long options) {
    if ((options & kCmsAddSigner) && (options & (kCmsCertsOnly | kCmsBigFile))) {
        eprintf("Incompatible options");
        rc = BAD_FLAG_ERROR;
        return true;
    }
    if (options & kCmsCertsOnly) {
        rc = cmsMakeSigDataCertsOnly(outFile, certList, options);
        return true;
    }
    if (options & kCmsAddSigner) {
        rc = sigdata_add_signer(outFile, inFile, certList, privateKey, options);
        return true;
    }
    return false;
}

}  // namespace

long cmsMakeSigDataCertsOnly(const char* outFile, const char* certList, long options) {
    if (empty(outFile) || empty(certList)) return BAD_PARAM_ERROR;
    std::vector<Der> certs;
    if (long rc = read_cert_list(certList, certs)) return rc;
    Der version = der_uint(1);
    Der digestAlgs = der_tlv(0x31, nullptr, 0);
    Der encap = encap_content_info(nullptr, 0, false);
    Der certSet = der_set_of(certs, 0xA0);
    Der signerInfos = der_tlv(0x31, nullptr, 0);
    Der sd = der_seq({&version, &digestAlgs, &encap, &certSet, &signerInfos});
    return write_cms_output(outFile, wrap_content_info(sd), options, "PKCS7");
}

long cmsMakeSigDataFromFile(const char* outFile, const char* inFile, const char* certList,
                            const char* privateKey, long options) {
    if (empty(outFile) || empty(certList) || (empty(inFile) && !(options & kCmsCertsOnly))) {
        eprintf("Missing argument");
        return BAD_PARAM_ERROR;
    }
    long rc = 0;
    if (dispatch(rc, outFile, inFile, certList, privateKey, options)) return rc;
    if (options & kCmsBigFile) return sigdata_bigfile(outFile, inFile, certList, privateKey, options);
    long err = 0;
    FILE* f = futil_open_input(inFile, kMaxInputFileSize, &err);
    if (!f) {
        eprintf("Cannot open file %s", inFile);
        return OPEN_ERROR;
    }
    hash::Hasher h;
    if (can_stream_digest(options, h)) {
        size_t n = 0;
        rc = digest_stream(f, h, n);
        std::fclose(f);
        if (rc) {
            eprintcatf("Cannot read file %s", inFile);
            return READ_ERROR;
        }
        if (n == 0) {
            eprintf("File %s is empty", inFile);
            return NO_DATA_ERROR;
        }
        Der digest(h.length());
        h.final(digest.data());
        return sign_content(outFile, nullptr, n, certList, privateKey, options, &digest);
    }
    SecureBytes content;
    const long size = futil_filesizefp(f);
    if (size > 0) content.reserve(size_t(size));  // one allocation, no copies while reading
    rc = futil_read_stream(f, content, kMaxInputFileSize);
    std::fclose(f);
    if (rc) {
        eprintcatf("Cannot read file %s", inFile);
        return READ_ERROR;
    }
    if (content.empty()) {
        eprintf("File %s is empty", inFile);
        return NO_DATA_ERROR;
    }
    return sign_content(outFile, content.data(), content.size(), certList, privateKey, options);
}

long cmsMakeSigDataFromBytes(const char* outFile, const uint8_t* data, long dataLen, const char* certList,
                             const char* privateKey, long options) {
    if (empty(outFile) || empty(certList)) {
        eprintf("Missing argument");
        return BAD_PARAM_ERROR;
    }
    if (options & kCmsCertsOnly) return cmsMakeSigDataCertsOnly(outFile, certList, options);
    if (options & (kCmsAddSigner | kCmsBigFile)) {
        eprintf("Option is not supported for content in memory");
        return BAD_FLAG_ERROR;
    }
    if (!data || dataLen <= 0) {
        eprintf("No content to sign");
        return NO_DATA_ERROR;
    }
    return sign_content(outFile, data, size_t(dataLen), certList, privateKey, options);
}

long cmsMakeSigDataFromString(const char* outFile, const char* text, const char* certList,
                              const char* privateKey, long options) {
    if (!text || !*text) {
        if (options & kCmsCertsOnly) return cmsMakeSigDataCertsOnly(outFile, certList, options);
        if (empty(outFile) || empty(certList)) return BAD_PARAM_ERROR;
        eprintf("No content to sign");
        return NO_DATA_ERROR;
    }
    return cmsMakeSigDataFromBytes(outFile, reinterpret_cast<const uint8_t*>(text), long(std::strlen(text)),
                                   certList, privateKey, options);
}

long cmsMakeDetSigFromHash(const char* outFile, const char* hexDigest, const char* certList,
                           const char* privateKey, long options) {
    if (empty(outFile) || empty(hexDigest) || empty(certList) || empty(privateKey)) {
        eprintf("Missing argument");
        return BAD_PARAM_ERROR;
    }
    std::vector<uint8_t> digest = hex_bytes(hexDigest);
    if (digest.empty() || digest.size() > 64) {
        eprintf("Invalid message digest: expected at most 64 octets in hexadecimal");
        return INVALID_DATA_ERROR;
    }
    const sig::SigAlgRow* row = sig::sigPtrToSigAlgById(options & 0xFF);
    if (!row) {
        eprintf("Invalid signature option");
        return BAD_FLAG_ERROR;
    }
    // Every row needs a digest of its own hash's length: with signed
    // attributes it becomes messageDigest, and a PSS or ECDSA value over a
    // digest of another length could never verify.
    if (digest.size() != row->digestLen) {
        eprintf("Message digest has %zu octets; %s needs %zu", digest.size(), row->hashName, row->digestLen);
        return BAD_LENGTH_ERROR;
    }
    if (sig::sigIdIsEdDSA(row->id) && !(options & kCmsIncludeAttrs)) {
        eprintf("EdDSA cannot sign a digest: signed attributes are required");
        return NOT_SUPPORTED_ERROR;
    }
    if (options & (kCmsCertsOnly | kCmsAddSigner | kCmsBigFile | kCmsPseudoSig)) {
        eprintf("Invalid option for a detached signature from a digest");
        return BAD_FLAG_ERROR;
    }
    SignerSetup s;
    if (long rc = setup_signer(s, certList, privateKey, options, false)) return rc;
    SignInput in;
    in.digest.assign(digest.begin(), digest.end());
    in.privateKey = privateKey;
    SplitDer out;
    if (long rc = make_sigdata(out, s, in, options | kCmsExcludeData)) return rc;
    return write_cms_output(outFile, out, options);
}

long cmsMakeSigDataFromSigValue(const char* outFile, const uint8_t* sigValue, long sigLen,
                                const uint8_t* data, long dataLen, const char* certList, long options) {
    if (options & kCmsPseudoSig) {
        if (empty(outFile) || !sigValue || sigLen <= 0 || empty(certList)) {
            eprintf("Missing argument");
            return BAD_PARAM_ERROR;
        }
        return insert_sigvalue_into_sigdata(outFile, sigValue, size_t(sigLen), certList, options);
    }
    if (empty(outFile) || !sigValue || sigLen <= 0 || !data || dataLen <= 0 || empty(certList)) {
        eprintf("Missing argument");
        return BAD_PARAM_ERROR;
    }
    if (options & (kCmsCertsOnly | kCmsAddSigner | kCmsBigFile)) {
        eprintf("Invalid option with a supplied signature value");
        return BAD_FLAG_ERROR;
    }
    // The signer is the first certificate of the list; no private key.
    SignerSetup s;
    const long noAttrs = options & ~(kCmsIncludeAttrs);
    if (long rc = setup_signer(s, certList, nullptr, noAttrs, true)) return rc;
    SignInput in;
    in.content = data;
    in.contentLen = size_t(dataLen);
    // The digest is the row's own hash, the one digestAlgorithm names.
    if (!row_digest(*s.row, data, size_t(dataLen), in.digest)) {
        eprintf("Invalid signature option");
        return BAD_FLAG_ERROR;
    }
    Der value(sigValue, sigValue + sigLen);
    // An EdDSA value signs the content itself; the others sign the digest.
    const bool eddsa = sig::sigIdIsEdDSA(s.row->id);
    if (verify_value(value, *s.row, s.cert.spki, eddsa ? data : in.digest.data(),
                     eddsa ? size_t(dataLen) : in.digest.size(), options) != 0) {
        eprintf("Verification of supplied signature value failed");
        return SIGNATURE_ERROR;
    }
    in.sigValue = &value;
    SplitDer out;
    if (long rc = make_sigdata(out, s, in, noAttrs)) return rc;
    return write_cms_output(outFile, out, options);
}

}  // namespace velt::cms
