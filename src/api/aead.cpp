// Exported wrappers: authenticated encryption and key wrap.
#include "cipher/aead.h"
#include "frame/frame.h"

extern "C" VELT_API long CIPHER_EncryptAEAD(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpInput,
                                            long nInputLen, const unsigned char* lpKey, long nKeyLen,
                                            const unsigned char* lpIV, long nIvLen, const unsigned char* lpAAD,
                                            long nAadLen, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return velt::aead::aeadEncrypt(lpOutput, nOutBytes, lpInput, nInputLen, lpKey, nKeyLen, lpIV, nIvLen, lpAAD,
                                       nAadLen, nOptions);
    });
}

extern "C" VELT_API long CIPHER_DecryptAEAD(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpInput,
                                            long nInputLen, const unsigned char* lpKey, long nKeyLen,
                                            const unsigned char* lpIV, long nIvLen, const unsigned char* lpAAD,
                                            long nAadLen, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return velt::aead::aeadDecrypt(lpOutput, nOutBytes, lpInput, nInputLen, lpKey, nKeyLen, lpIV, nIvLen, lpAAD,
                                       nAadLen, nOptions);
    });
}

extern "C" VELT_API long CIPHER_KeyWrap(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpData,
                                        long nDataLen, const unsigned char* lpKEK, long nKekLen, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return velt::aead::keyWrap(lpOutput, nOutBytes, lpData, nDataLen, lpKEK, nKekLen, nOptions);
    });
}

extern "C" VELT_API long CIPHER_KeyUnwrap(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpData,
                                          long nDataLen, const unsigned char* lpKEK, long nKekLen, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return velt::aead::keyUnwrap(lpOutput, nOutBytes, lpData, nDataLen, lpKEK, nKekLen, nOptions);
    });
}
