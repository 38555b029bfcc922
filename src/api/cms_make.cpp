// Exported functions that make CMS signed-data: thin wrappers over the
// signed-data writer, which returns positive codes; the wrappers negate them.
#include "cms/cms.h"
#include "frame/frame.h"

namespace {

frame::Result negated(long rc) {
    return rc > 0 ? -rc : rc;
}

}  // namespace

extern "C" VELT_API long CMS_MakeSigData(const char* szFileOut, const char* szFileIn, const char* szCertList,
                                         const char* szPrivateKey, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return negated(
            velt::cms::cmsMakeSigDataFromFile(szFileOut, szFileIn, szCertList, szPrivateKey, nOptions));
    });
}

extern "C" VELT_API long CMS_MakeSigDataFromString(const char* szFileOut, const char* szDataIn,
                                                   const char* szCertList, const char* szPrivateKey,
                                                   long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return negated(
            velt::cms::cmsMakeSigDataFromString(szFileOut, szDataIn, szCertList, szPrivateKey, nOptions));
    });
}

extern "C" VELT_API long CMS_MakeSigDataFromBytes(const char* szFileOut, const unsigned char* lpData,
                                                  long nDataLen, const char* szCertList,
                                                  const char* szPrivateKey, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return negated(velt::cms::cmsMakeSigDataFromBytes(szFileOut, lpData, nDataLen, szCertList,
                                                          szPrivateKey, nOptions));
    });
}

extern "C" VELT_API long CMS_MakeSigDataFromSigValue(const char* szFileOut, const unsigned char* lpSigValue,
                                                     long nSigLen, const unsigned char* lpData, long nDataLen,
                                                     const char* szCertList, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return negated(velt::cms::cmsMakeSigDataFromSigValue(szFileOut, lpSigValue, nSigLen, lpData, nDataLen,
                                                             szCertList, nOptions));
    });
}

extern "C" VELT_API long CMS_MakeDetachedSig(const char* szFileOut, const char* szHexDigest,
                                             const char* szCertList, const char* szPrivateKey,
                                             long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return negated(
            velt::cms::cmsMakeDetSigFromHash(szFileOut, szHexDigest, szCertList, szPrivateKey, nOptions));
    });
}
