// Exported elliptic-curve key functions: thin wrappers over src/ecc.
#include "ecc/keys.h"
#include "frame/frame.h"

using namespace velt::ecc;

extern "C" VELT_API long ECC_MakeKeys(const char* szPubKeyFile, const char* szPriKeyFile,
                                      const char* szCurveName, const char* szPassword, const char* szParams,
                                      long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return eccMakeKeys(szPubKeyFile, szPriKeyFile, szCurveName, szPassword, szParams, nOptions);
    });
}

extern "C" VELT_API long ECC_ReadKeyByCurve(char* szOutput, long nOutChars, const char* szHexKey,
                                            const char* szCurveName, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return eccReadKeyByCurve(szOutput, nOutChars, szHexKey, szCurveName, nOptions);
    });
}

extern "C" VELT_API long ECC_SaveKey(const char* szOutputFile, const char* szKeyString, long nOptions) {
    return frame::run(frame::kStandard,
                      [&]() -> frame::Result { return eccSaveKey(szOutputFile, szKeyString, nOptions); });
}

extern "C" VELT_API long ECC_SaveEncKey(const char* szOutputFile, const char* szKeyString,
                                        const char* szPassword, const char* szParams, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return eccSaveEncKey(szOutputFile, szKeyString, szPassword, szParams, nOptions);
    });
}

extern "C" VELT_API long ECC_ReadPrivateKey(char* szOutput, long nOutChars, const char* szKeyFileOrString,
                                            const char* szPassword, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return eccReadPrivateKey(szOutput, nOutChars, szKeyFileOrString, szPassword, nOptions);
    });
}

extern "C" VELT_API long ECC_ReadPublicKey(char* szOutput, long nOutChars, const char* szKeyFileOrString,
                                           long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return eccReadPublicKey(szOutput, nOutChars, szKeyFileOrString, nOptions);
    });
}

extern "C" VELT_API long ECC_PublicKeyFromPrivate(char* szOutput, long nOutChars, const char* szKeyString,
                                                  long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return eccPublicKeyFromPrivate(szOutput, nOutChars, szKeyString, nOptions);
    });
}

extern "C" VELT_API long ECC_QueryKey(char* szOutput, long nOutChars, const char* szKeyString,
                                      const char* szQuery, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return eccQueryKey(szOutput, nOutChars, szKeyString, szQuery, nOptions);
    });
}

extern "C" VELT_API long ECC_KeyHashCode(const char* szKeyString) {
    return frame::run(frame::kStandard, [&]() -> frame::Result { return eccKeyHashCode(szKeyString); });
}

extern "C" VELT_API long ECC_DHSharedSecret(unsigned char* lpZZ, long nOutBytes, const char* szPrivateKey,
                                            const char* szPublicKey, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return eccDHSharedSecret(lpZZ, nOutBytes, szPrivateKey, szPublicKey, nOptions);
    });
}
