// Exported password-based key derivation (PBE_): thin wrappers over src/pbe.
// PBE_Kdf2 and PBE_Kdf2Hex return a failure as the positive error code (and
// record it); PBE_Scrypt and PBE_ScryptHex return it negated and skip the
// generator poll.
#include "frame/frame.h"
#include "pbe/pbe.h"

namespace {
const unsigned char* bytes(const void* p) { return static_cast<const unsigned char*>(p); }

// Positive failure codes are recorded too, so that VELT_ErrorCode reports them.
long record_positive(long r) {
    if (r > 0) errset(r);
    return r;
}
}  // namespace

extern "C" {

VELT_API long PBE_Kdf2(unsigned char* lpDerivedKey, long dkLen, const void* lpPwd, long pwdLen, const void* lpSalt,
                       long saltLen, long nCount, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (!lpDerivedKey || !lpPwd || !lpSalt) return record_positive(NULL_ERROR);
        return record_positive(
            pbeKDF2(lpDerivedKey, dkLen, bytes(lpPwd), pwdLen, bytes(lpSalt), saltLen, nCount, nOptions & 0x0F));
    });
}

VELT_API long PBE_Kdf2Hex(char* szOutput, long nMaxChars, long dkLen, const char* szPwd, const char* szSaltHex,
                          long nCount, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return record_positive(pbeKDF2Hex(szOutput, nMaxChars, dkLen, szPwd, szSaltHex, nCount, nOptions & 0x0F));
    });
}

VELT_API long PBE_Scrypt(unsigned char* lpDerivedKey, long dkLen, const void* lpPwd, long pwdLen, const void* lpSalt,
                         long saltLen, long nParamN, long nParamR, long nParamP, long nOptions) {
    return frame::run(frame::kNoPoll, [&]() -> frame::Result {
        return pbeScrypt(lpDerivedKey, dkLen, bytes(lpPwd), pwdLen, bytes(lpSalt), saltLen, nParamN, nParamR,
                         nParamP, nOptions);
    });
}

VELT_API long PBE_ScryptHex(char* szOutput, long nMaxChars, long dkLen, const char* szPwd, const char* szSaltHex,
                            long nParamN, long nParamR, long nParamP, long nOptions) {
    return frame::run(frame::kNoPoll, [&]() -> frame::Result {
        return pbeScryptHex(szOutput, nMaxChars, dkLen, szPwd, szSaltHex, nParamN, nParamR, nParamP, nOptions);
    });
}

}  // extern "C"
