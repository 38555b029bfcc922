// Exported wrappers of the CIPHER_, TDEA_ and PAD_ families (block ciphers,
// modes and padding). The work is in src/cipher.
#include "cipher/cipher.h"
#include "frame/frame.h"

using namespace velt::cipher;

extern "C" {

VELT_API long CIPHER_EncryptBytes(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpInput,
                                  long nInputLen, const unsigned char* lpKey, long nKeyLen,
                                  const unsigned char* lpIV, long nIvLen, const char* szAlgModePad,
                                  long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return cipherEncryptBytes(lpOutput, nOutBytes, lpInput, nInputLen, lpKey, nKeyLen, lpIV, nIvLen,
                                  szAlgModePad, nOptions);
    });
}

VELT_API long CIPHER_DecryptBytes(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpInput,
                                  long nInputLen, const unsigned char* lpKey, long nKeyLen,
                                  const unsigned char* lpIV, long nIvLen, const char* szAlgModePad,
                                  long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return cipherDecryptBytes(lpOutput, nOutBytes, lpInput, nInputLen, lpKey, nKeyLen, lpIV, nIvLen,
                                  szAlgModePad, nOptions);
    });
}

VELT_API long CIPHER_EncryptBytes2(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpInput,
                                   long nInputLen, const unsigned char* lpKey, long nKeyLen,
                                   const unsigned char* lpIV, long nIvLen, const char* szAlgModePad,
                                   long nOptions) {
    return CIPHER_EncryptBytes(lpOutput, nOutBytes, lpInput, nInputLen, lpKey, nKeyLen, lpIV, nIvLen, szAlgModePad,
                               nOptions);
}

VELT_API long CIPHER_DecryptBytes2(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpInput,
                                   long nInputLen, const unsigned char* lpKey, long nKeyLen,
                                   const unsigned char* lpIV, long nIvLen, const char* szAlgModePad,
                                   long nOptions) {
    return CIPHER_DecryptBytes(lpOutput, nOutBytes, lpInput, nInputLen, lpKey, nKeyLen, lpIV, nIvLen, szAlgModePad,
                               nOptions);
}

VELT_API long CIPHER_EncryptHex(char* szOutput, long nOutChars, const char* szInputHex, const char* szKeyHex,
                                const char* szIvHex, const char* szAlgModePad, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return cipherEncryptHex(szOutput, nOutChars, szInputHex, szKeyHex, szIvHex, szAlgModePad, nOptions);
    });
}

VELT_API long CIPHER_DecryptHex(char* szOutput, long nOutChars, const char* szInputHex, const char* szKeyHex,
                                const char* szIvHex, const char* szAlgModePad, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return cipherDecryptHex(szOutput, nOutChars, szInputHex, szKeyHex, szIvHex, szAlgModePad, nOptions);
    });
}

VELT_API long CIPHER_FileEncrypt(const char* szFileOut, const char* szFileIn, const unsigned char* lpKey,
                                 long nKeyLen, const unsigned char* lpIV, long nIvLen, const char* szAlgModePad,
                                 long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return cipherFileEncrypt(szFileOut, szFileIn, lpKey, nKeyLen, lpIV, nIvLen, szAlgModePad, nOptions);
    });
}

VELT_API long CIPHER_FileDecrypt(const char* szFileOut, const char* szFileIn, const unsigned char* lpKey,
                                 long nKeyLen, const unsigned char* lpIV, long nIvLen, const char* szAlgModePad,
                                 long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return cipherFileDecrypt(szFileOut, szFileIn, lpKey, nKeyLen, lpIV, nIvLen, szAlgModePad, nOptions);
    });
}

VELT_API long CIPHER_Bytes(long fEncrypt, unsigned char* lpOutput, const unsigned char* lpData, long nDataLen,
                           const unsigned char* lpKey, const unsigned char* lpIV, const char* szAlgModePad,
                           long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return cipherBytes(fEncrypt != 0, lpOutput, lpData, nDataLen, lpKey, lpIV, szAlgModePad, nOptions);
    });
}

VELT_API long CIPHER_Hex(long fEncrypt, char* szOutput, long nOutChars, const char* szInput, const char* szKey,
                         const char* szIV, const char* szAlgModePad, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return cipherHex(fEncrypt != 0, szOutput, nOutChars, szInput, szKey, szIV, szAlgModePad, nOptions);
    });
}

VELT_API long CIPHER_File(long fEncrypt, const char* szFileOut, const char* szFileIn, const unsigned char* lpKey,
                          const unsigned char* lpIV, const char* szAlgModePad, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return cipherFile(fEncrypt != 0, szFileOut, szFileIn, lpKey, lpIV, szAlgModePad, nOptions);
    });
}

VELT_API long TDEA_BytesMode(unsigned char* lpOutput, const unsigned char* lpInput, long nBytes,
                             const unsigned char* lpKey, long fEncrypt, const char* szMode,
                             const unsigned char* lpIV) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return tdeaBytesMode(lpOutput, lpInput, nBytes, lpKey, fEncrypt != 0, szMode, lpIV);
    });
}

VELT_API long TDEA_HexMode(char* szOutput, const char* szInput, const char* szKey, long fEncrypt,
                           const char* szMode, const char* szIV) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return tdeaHexMode(szOutput, szInput, szKey, fEncrypt != 0, szMode, szIV);
    });
}

VELT_API long TDEA_B64Mode(char* szOutput, const char* szInput, const char* szKey, long fEncrypt,
                           const char* szMode, const char* szIV) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return tdeaB64Mode(szOutput, szInput, szKey, fEncrypt != 0, szMode, szIV);
    });
}

VELT_API long TDEA_File(const char* szFileOut, const char* szFileIn, const unsigned char* lpKey, long fEncrypt,
                        const char* szMode, const unsigned char* lpIV) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return tdeaFile(szFileOut, szFileIn, lpKey, fEncrypt != 0, szMode, lpIV);
    });
}

VELT_API long PAD_BytesBlock(unsigned char* lpOutput, long nOutputLen, const unsigned char* lpInput, long nBytes,
                             long nBlkLen, long nOptions) {
    return frame::run(frame::kBare, [&]() -> frame::Result {
        return padBytesBlock(lpOutput, nOutputLen, lpInput, nBytes, nBlkLen, nOptions);
    });
}

VELT_API long PAD_UnpadBytes(unsigned char* lpOutput, long nOutputLen, const unsigned char* lpInput, long nBytes,
                             long nBlkLen, long nOptions) {
    return frame::run(frame::kBare, [&]() -> frame::Result {
        return padUnpadBytes(lpOutput, nOutputLen, lpInput, nBytes, nBlkLen, nOptions);
    });
}

VELT_API long PAD_HexBlock(char* szOutput, long nOutChars, const char* szInput, long nBlkLen, long nOptions) {
    return frame::run(frame::kBare, [&]() -> frame::Result {
        return padHexBlock(szOutput, nOutChars, szInput, nBlkLen, nOptions);
    });
}

VELT_API long PAD_UnpadHex(char* szOutput, long nOutChars, const char* szInput, long nBlkLen, long nOptions) {
    return frame::run(frame::kBare, [&]() -> frame::Result {
        return padUnpadHex(szOutput, nOutChars, szInput, nBlkLen, nOptions);
    });
}

}  // extern "C"
