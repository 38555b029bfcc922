// Exported PKCS #12 functions: PFX_, the certificate readers of a PKCS #12
// file (X509_) and its private key readers (RSA_). Thin wrappers over the
// PKCS #12 module.
#include "frame/frame.h"
#include "pfx/pfx.h"

namespace {

// PFX_MakeFile and PFX_VerifySig return codes positive; the record keeps them.
long positive(long rc) {
    if (rc > 0) errset(rc);
    return rc;
}

}  // namespace

extern "C" VELT_API long PFX_MakeFile(const char* szFileOut, const char* szCertList, const char* szKeyFile,
                                      const char* szPassword, const char* szFriendlyName, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return positive(pfxMakeFile(szFileOut, szCertList, szKeyFile, szPassword, szFriendlyName, nOptions));
    });
}

extern "C" VELT_API long PFX_VerifySig(const char* szFileName, const char* szPassword, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        long rc = pfxVerifySig(szFileName, szPassword, nOptions);
        // -1 is a finding (the MAC does not verify), not an error code.
        return frame::Result(positive(rc), rc != -1);
    });
}

extern "C" VELT_API long X509_GetCertFromPFX(const char* szOutputFile, const char* szPfxFile,
                                             const char* szPassword, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return pfxGetCertToFile(szOutputFile, szPfxFile, szPassword, nOptions);
    });
}

extern "C" VELT_API long X509_ReadCertStringFromPFX(char* szOutput, long nOutChars, const char* szPfxFile,
                                                    const char* szPassword, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return pfxReadCertString(szOutput, nOutChars, szPfxFile, szPassword, nOptions);
    });
}

extern "C" VELT_API long RSA_GetPrivateKeyFromPFX(const char* szOutputFile, const char* szPfxFile,
                                                  long nOptions) {
    return frame::run(frame::kStandard,
                      [&]() -> frame::Result { return pfxGetKeyToFile(szOutputFile, szPfxFile, nOptions); });
}

extern "C" VELT_API long RSA_ReadPrivateKeyFromPFX(char* szOutput, long nOutChars, const char* szPfxFile,
                                                   const char* szPassword, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return pfxReadKeyString(szOutput, nOutChars, szPfxFile, szPassword, nOptions);
    });
}
