// Exported key-derivation functions (KDF_, XOF_, PRF_, HPKE_): thin wrappers
// over src/hash. KDF_Bytes and the HPKE_ functions skip the generator poll.
#include "ecc/keys.h"
#include "frame/frame.h"
#include "hash/hash.h"

namespace {
const unsigned char* bytes(const void* p) {
    return static_cast<const unsigned char*>(p);
}
}  // namespace

extern "C" {

VELT_API long KDF_Bytes(unsigned char* lpOutput, long nOutBytes, const void* lpZ, long nZLen,
                        const void* lpInfo, long nInfoLen, const char* szParams, long nOptions) {
    return frame::run(frame::kNoPoll, [&]() -> frame::Result {
        return kdfBytes(lpOutput, nOutBytes, bytes(lpZ), nZLen, bytes(lpInfo), nInfoLen, szParams, nOptions);
    });
}

VELT_API long XOF_Bytes(unsigned char* lpOutput, long nOutBytes, const void* lpMessage, long nMsgLen,
                        long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return xofBytes(lpOutput, nOutBytes, bytes(lpMessage), nMsgLen, nOptions);
    });
}

VELT_API long PRF_Bytes(unsigned char* lpOutput, long nOutBytes, const void* lpMessage, long nMsgLen,
                        const void* lpKey, long nKeyLen, const char* szCustom, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return prfBytes(lpOutput, nOutBytes, bytes(lpMessage), nMsgLen, bytes(lpKey), nKeyLen, szCustom,
                        nOptions);
    });
}

VELT_API long HPKE_LabeledExtract(unsigned char* lpOutput, long nOutBytes, const void* lpSalt, long nSaltLen,
                                  const char* szLabel, const void* lpIkm, long nIkmLen,
                                  const char* szCurveName, const char*, long nOptions) {
    return frame::run(frame::kNoPoll, [&]() -> frame::Result {
        return hpkeLabeledExtract(lpOutput, nOutBytes, bytes(lpSalt), nSaltLen, szLabel, bytes(lpIkm),
                                  nIkmLen, szCurveName, nOptions);
    });
}

VELT_API long HPKE_LabeledExpand(unsigned char* lpOutput, long nOutBytes, const void* lpPrk, long nPrkLen,
                                 const char* szLabel, const void* lpInfo, long nInfoLen,
                                 const char* szCurveName, const char*, long nOptions) {
    return frame::run(frame::kNoPoll, [&]() -> frame::Result {
        return hpkeLabeledExpand(lpOutput, nOutBytes, bytes(lpPrk), nPrkLen, szLabel, bytes(lpInfo), nInfoLen,
                                 szCurveName, nOptions);
    });
}

VELT_API long HPKE_DerivePrivateKey(char* szOutput, long nOutChars, const void* lpIkm, long nIkmLen,
                                    const char* szCurveName, const char*, long nOptions) {
    return frame::run(frame::kNoPoll, [&]() -> frame::Result {
        return velt::ecc::eccHpkeDerivePrivateKey(szOutput, nOutChars, bytes(lpIkm), nIkmLen, szCurveName,
                                                  nOptions);
    });
}

}  // extern "C"
