// Exported signature functions: thin wrappers over the signature module.
#include "frame/frame.h"
#include "sig/sig.h"

extern "C" VELT_API long SIG_SignData(char* szOutput, long nOutChars, const unsigned char* lpData,
                                      long nDataLen, const char* szKeyFile, const char* szPassword,
                                      const char* szAlgName, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return velt::sig::sigSignData(szOutput, nOutChars, lpData, nDataLen, szKeyFile, szPassword, szAlgName,
                                      nOptions);
    });
}

extern "C" VELT_API long SIG_SignFile(char* szOutput, long nOutChars, const char* szDataFile,
                                      const char* szKeyFile, const char* szPassword, const char* szAlgName,
                                      long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return velt::sig::sigSignFile(szOutput, nOutChars, szDataFile, szKeyFile, szPassword, szAlgName,
                                      nOptions);
    });
}

extern "C" VELT_API long SIG_VerifyData(const char* szSignature, const unsigned char* lpData, long nDataLen,
                                        const char* szCertOrKey, const char* szAlgName, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return velt::sig::sigVerifyData(szSignature, lpData, nDataLen, szCertOrKey, szAlgName, nOptions);
    });
}

extern "C" VELT_API long SIG_VerifyFile(const char* szSignature, const char* szDataFile,
                                        const char* szCertOrKey, const char* szAlgName, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return velt::sig::sigVerifyFile(szSignature, szDataFile, szCertOrKey, szAlgName, nOptions);
    });
}
