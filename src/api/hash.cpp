// Exported digest and HMAC functions (HASH_, HMAC_): thin wrappers over the
// operations of src/hash. Their own argument checks return -6 unrecorded.
#include "frame/frame.h"
#include "hash/hash.h"

extern "C" {

VELT_API long HASH_Bytes(unsigned char* lpOutput, long nOutBytes, const void* lpMessage, long nMsgLen,
                         long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (nMsgLen < 0 || (!lpMessage && nMsgLen > 0)) return frame::reject();
        return hashBytes(lpOutput, nOutBytes, lpMessage, nMsgLen, nOptions);
    });
}

VELT_API long HASH_HexFromBytes(char* szOutput, long nOutChars, const void* lpMessage, long nMsgLen,
                                long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (nMsgLen < 0 || (!lpMessage && nMsgLen > 0)) return frame::reject();
        return hashBytesHex(szOutput, nOutChars, lpMessage, nMsgLen, nOptions);
    });
}

VELT_API long HASH_File(unsigned char* lpOutput, long nOutBytes, const char* szFileName, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (!szFileName || !*szFileName) return frame::reject();
        return hashFile(lpOutput, nOutBytes, szFileName, nOptions);
    });
}

VELT_API long HASH_HexFromFile(char* szOutput, long nOutChars, const char* szFileName, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (!szFileName || !*szFileName) return frame::reject();
        return hashFileHex(szOutput, nOutChars, szFileName, nOptions);
    });
}

VELT_API long HASH_HexFromHex(char* szOutput, long nOutChars, const char* szMsgHex, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (!szMsgHex) return frame::reject();
        return hashHexHex(szOutput, nOutChars, szMsgHex, nOptions);
    });
}

VELT_API long HASH_Length(long nAlgId) {
    return frame::run(frame::kStandard, [&]() -> frame::Result { return hashLen(nAlgId); });
}

VELT_API long HMAC_Bytes(unsigned char* lpOutput, long nOutBytes, const void* lpMessage, long nMsgLen,
                         const void* lpKey, long nKeyLen, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (!lpMessage || !lpKey || nMsgLen < 0 || nKeyLen < 0) return frame::reject();
        return hmacBytes(lpOutput, nOutBytes, lpMessage, nMsgLen, static_cast<const unsigned char*>(lpKey), nKeyLen,
                         nOptions);
    });
}

VELT_API long HMAC_HexFromBytes(char* szOutput, long nOutChars, const void* lpMessage, long nMsgLen,
                                const void* lpKey, long nKeyLen, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (!lpMessage || !lpKey || nMsgLen < 0 || nKeyLen < 0) return frame::reject();
        return hmacBytesHex(szOutput, nOutChars, lpMessage, nMsgLen, static_cast<const unsigned char*>(lpKey),
                            nKeyLen, nOptions);
    });
}

VELT_API long HMAC_HexFromHex(char* szOutput, long nOutChars, const char* szMsgHex, const char* szKeyHex,
                              long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (!szMsgHex || !szKeyHex) return frame::reject();
        return hmacHexHex(szOutput, nOutChars, szMsgHex, szKeyHex, nOptions);
    });
}

}  // extern "C"
