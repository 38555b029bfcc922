// Exported readers of the certificates in a certificates-only CMS
// signed-data object (a PKCS #7 certificate chain).
#include <string>

#include "cms/cms.h"
#include "encode/encode.h"
#include "frame/frame.h"
#include "util/safe_write.h"
#include "util/strl.h"

namespace {

using velt::cms::SignedDataInfo;

// The certificates of the object; a certificates-only object (no signer
// infos) is the normal input. Negative code on failure.
long read_chain(const char* input, std::vector<uint8_t>& der, SignedDataInfo& info) {
    if (!input || !*input) return -BAD_PARAM_ERROR;
    long rc = velt::cms::cmsReadSignedData(input, der, info, false);
    return rc > 0 ? -rc : rc;
}

}  // namespace

extern "C" VELT_API long X509_GetCertCountInP7Chain(const char* szFileIn, long) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        std::vector<uint8_t> der;
        SignedDataInfo info;
        long rc = read_chain(szFileIn, der, info);
        return rc ? rc : long(info.certs.size());
    });
}

extern "C" VELT_API long X509_GetCertFromP7Chain(const char* szNewCertFile, const char* szFileIn, long nIndex,
                                                 long) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        std::vector<uint8_t> der;
        SignedDataInfo info;
        long rc = read_chain(szFileIn, der, info);
        if (rc) return rc;
        if (nIndex <= 0) return long(info.certs.size());
        if (size_t(nIndex) > info.certs.size()) return 0L;
        if (!szNewCertFile || !*szNewCertFile) return -BAD_PARAM_ERROR;
        const velt::cms::Tlv& t = info.certs[size_t(nIndex - 1)];
        if (velt::safe_write_file(szNewCertFile, der.data() + t.start, t.end - t.start,
                                  velt::WriteMode::kPublic)) {
            velt::eprint_headline("Cannot create %s", szNewCertFile);
            return -CREATE_ERROR;
        }
        return long(t.end - t.start);
    });
}

extern "C" VELT_API long X509_ReadCertStringFromP7Chain(char* szOutput, long nOutChars, const char* szFileIn,
                                                        long nIndex, long) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (nOutChars < 0 || (!szOutput && nOutChars > 0) || !szFileIn || !*szFileIn) return -BAD_PARAM_ERROR;
        std::vector<uint8_t> der;
        SignedDataInfo info;
        long rc = read_chain(szFileIn, der, info);
        if (rc) return rc;
        if (nIndex <= 0) return long(info.certs.size());
        if (size_t(nIndex) > info.certs.size()) return 0L;
        const velt::cms::Tlv& t = info.certs[size_t(nIndex - 1)];
        std::string b64 = b64_string(der.data() + t.start, t.end - t.start);
        return out_exact(szOutput, nOutChars, b64.c_str(), long(b64.size()));
    });
}
