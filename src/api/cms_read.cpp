// Exported signed-data reading, verification and query functions: thin
// wrappers over the CMS module.
#include "cms/cms.h"
#include "frame/frame.h"

extern "C" VELT_API long CMS_VerifySigData(const char* szFileIn, const char* szCertFile,
                                           const char* szHexDigest, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return velt::cms::cmsVerifySigData(szFileIn, szCertFile, szHexDigest, nOptions);
    });
}

extern "C" VELT_API long CMS_ReadSigData(const char* szFileOut, const char* szFileIn, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return velt::cms::cmsReadSigDataFromFile(szFileOut, szFileIn, nOptions);
    });
}

extern "C" VELT_API long CMS_ReadSigDataToString(char* szDataOut, long nDataOutLen, const char* szFileIn,
                                                 long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return velt::cms::cmsReadSigDataFromFileToMemory(reinterpret_cast<uint8_t*>(szDataOut), nDataOutLen,
                                                         szFileIn, true, nOptions);
    });
}

extern "C" VELT_API long CMS_ReadSigDataToBytes(unsigned char* lpDataOut, long nDataOutLen,
                                                const char* szFileIn, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return velt::cms::cmsReadSigDataFromFileToMemory(lpDataOut, nDataOutLen, szFileIn, false, nOptions);
    });
}

extern "C" VELT_API long CMS_GetSigDataDigest(char* szHexDigestOut, long nHexDigestLen, const char* szFileIn,
                                              const char* szCertFile, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return velt::cms::cmsGetSigDataDigest(szHexDigestOut, nHexDigestLen, szFileIn, szCertFile, nOptions);
    });
}

extern "C" VELT_API long CMS_QuerySigData(char* szOutput, long nOutChars, const char* szFileIn,
                                          const char* szQuery, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return velt::cms::cmsQuerySigData(szOutput, nOutChars, szFileIn, szQuery, nOptions);
    });
}
