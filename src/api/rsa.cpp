// Exported RSA functions: thin wrappers over the RSA module.
#include "frame/frame.h"
#include "rsa/rsa.h"

namespace {

// The raw operations report failures as positive codes; the record keeps them.
long positive(long rc) {
    if (rc > 0) errset(rc);
    return rc;
}

}  // namespace

extern "C" VELT_API long RSA_MakeKeys(const char* szPubKeyFile, const char* szPriKeyFile, long nBits, long nExpFermat,
                                      long nTests, long nCount, const char* szPassword, const void* lpSeed,
                                      long nSeedLen, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return rsaMakeKeys(szPubKeyFile, szPriKeyFile, nBits, nExpFermat, nTests, nCount, szPassword,
                           static_cast<const unsigned char*>(lpSeed), nSeedLen, nOptions);
    });
}

extern "C" VELT_API long RSA_MakeKeysXtd(const char* szPubKeyFile, const char* szPriKeyFile, const char* szPassword,
                                         long nBits, long nExpFermat, const char* szParams, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return rsaMakeKeysXtd(szPubKeyFile, szPriKeyFile, szPassword, nBits, nExpFermat, szParams, nOptions);
    });
}

extern "C" VELT_API long RSA_RawPublic(unsigned char* lpData, long nDataLen, const char* szPublicKey64,
                                       long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return positive(rsaRawPublicInPlace(lpData, nDataLen, szPublicKey64, nOptions));
    });
}

extern "C" VELT_API long RSA_RawPrivate(unsigned char* lpData, long nDataLen, const char* szPrivateKey64,
                                        long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return positive(rsaRawPrivateInPlace(lpData, nDataLen, szPrivateKey64, nOptions));
    });
}

extern "C" VELT_API long RSA_CheckKey(const char* szKeyString, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result { return rsaCheckKey(szKeyString, nOptions); });
}

extern "C" VELT_API long RSA_KeyMatch(const char* szPrivateKey64, const char* szPublicKey64) {
    return frame::run(frame::kStandard,
                      [&]() -> frame::Result { return rsaKeyMatch(szPrivateKey64, szPublicKey64); });
}

extern "C" VELT_API long RSA_KeyHashCode(const char* szKeyString) {
    return frame::run(frame::kStandard, [&]() -> frame::Result { return rsaKeyHashCode(szKeyString); });
}

extern "C" VELT_API long RSA_KeyBits(const char* szKeyString) {
    return frame::run(frame::kStandard, [&]() -> frame::Result { return rsaKeyBits(szKeyString); });
}

extern "C" VELT_API long RSA_KeyBytes(const char* szKeyString) {
    return frame::run(frame::kStandard, [&]() -> frame::Result { return rsaKeyBytes(szKeyString); });
}

extern "C" VELT_API long RSA_PublicKeyFromPrivate(char* szOutput, long nOutChars, const char* szKeyString,
                                                  long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaPublicKeyFromPrivate(szOutput, nOutChars, szKeyString, nOptions);
    });
}

extern "C" VELT_API long RSA_Encrypt(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpInput,
                                     long nInputLen, const char* szPublicKeyFile, const char* szParams,
                                     long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaEncrypt(lpOutput, nOutBytes, lpInput, nInputLen, szPublicKeyFile, szParams, nOptions);
    });
}

extern "C" VELT_API long RSA_Decrypt(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpInput,
                                     long nInputLen, const char* szPrivateKeyFile, const char* szPassword,
                                     const char* szParams, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaDecrypt(lpOutput, nOutBytes, lpInput, nInputLen, szPrivateKeyFile, szPassword, szParams,
                          nOptions);
    });
}

extern "C" VELT_API long RSA_EncodeMsg(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpInput,
                                       long nInputLen, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaEncodeMsg(lpOutput, nOutBytes, lpInput, nInputLen, nOptions);
    });
}

extern "C" VELT_API long RSA_DecodeMsg(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpInput,
                                       long nInputLen, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaDecodeMsg(lpOutput, nOutBytes, lpInput, nInputLen, nOptions);
    });
}

extern "C" VELT_API long RSA_ReadAnyPrivateKey(char* szOutput, long nOutChars, const char* szKeyFileOrString,
                                               const char* szPassword, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaReadAnyPrivateKey(szOutput, nOutChars, szKeyFileOrString, szPassword, nOptions);
    });
}

extern "C" VELT_API long RSA_ReadAnyPublicKey(char* szOutput, long nOutChars, const char* szKeyFileOrString,
                                              long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaReadAnyPublicKey(szOutput, nOutChars, szKeyFileOrString, nOptions);
    });
}

extern "C" VELT_API long RSA_ReadPrivateKeyInfo(char* szOutput, long nOutChars, const char* szKeyFileOrString,
                                                long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaReadPrivateKeyInfo(szOutput, nOutChars, szKeyFileOrString, nOptions);
    });
}

extern "C" VELT_API long RSA_ReadEncPrivateKey(char* szOutput, long nOutChars, const char* szKeyFileOrString,
                                               const char* szPassword, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        return rsaReadEncPrivateKey(szOutput, nOutChars, szKeyFileOrString, szPassword, nOptions);
    });
}

extern "C" VELT_API long RSA_ReadPublicKey(char* szOutput, long nOutChars, const char* szKeyFileOrString,
                                           long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaReadPublicKey(szOutput, nOutChars, szKeyFileOrString, nOptions);
    });
}

extern "C" VELT_API long RSA_GetPublicKeyFromCert(char* szOutput, long nOutChars, const char* szCertFile,
                                                  long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaGetPublicKeyFromCert(szOutput, nOutChars, szCertFile, nOptions);
    });
}

extern "C" VELT_API long RSA_SavePublicKey(const char* szOutputFile, const char* szKeyString, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return positive(rsaSavePublicKey(szOutputFile, szKeyString, nOptions));
    });
}

extern "C" VELT_API long RSA_SavePrivateKeyInfo(const char* szOutputFile, const char* szKeyString, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return positive(rsaSavePrivateKeyInfo(szOutputFile, szKeyString, nOptions));
    });
}

extern "C" VELT_API long RSA_SaveEncPrivateKey(const char* szOutputFile, const char* szKeyString, long nCount,
                                               const char* szPassword, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return positive(rsaSaveEncPrivateKey(szOutputFile, szKeyString, nCount, szPassword, nOptions));
    });
}

extern "C" VELT_API long RSA_SaveEncKey(const char* szOutputFile, const char* szKeyString, const char* szPassword,
                                        const char* szParams, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaSaveEncKey(szOutputFile, szKeyString, szPassword, szParams, nOptions);
    });
}

extern "C" VELT_API long RSA_KeyValue(char* szOutput, long nOutChars, const char* szKeyString,
                                      const char* szFieldName, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rsaKeyValue(szOutput, nOutChars, szKeyString, szFieldName, nOptions);
    });
}
