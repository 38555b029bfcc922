// The RNG_ exported functions: random bytes, numbers and GUIDs, seed files,
// and the generator's tests.
#include "frame/frame.h"
#include "rng/rng.h"

extern "C" {

VELT_API long RNG_Bytes(unsigned char* lpOutput, long nOutputLen, const unsigned char* lpSeed, long nSeedLen) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        long r = rng_bytes(lpOutput, nOutputLen, lpSeed, nSeedLen);
        if (r > 0) errset(r);  // argument errors are returned positive, and recorded
        return r;
    });
}

VELT_API long RNG_BytesWithPrompt(unsigned char* lpOutput, long nOutputLen, const char* szPrompt, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        long r = rng_bytes_prompt(lpOutput, nOutputLen, szPrompt, nOptions);
        if (r > 0) errset(r);
        return r;
    });
}

VELT_API long RNG_Number(long nLower, long nUpper) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return frame::Result(rng_number(nLower, nUpper), false);
    });
}

VELT_API long RNG_Guid(char* szOutput, long nOutChars, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result { return rng_guid(szOutput, nOutChars, nOptions); });
}

VELT_API long RNG_Initialize(const char* szSeedFile, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result { return rngInitialize(szSeedFile, nOptions); });
}

VELT_API long RNG_MakeSeedFile(const char* szSeedFile, const char* szPrompt, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        if (!szSeedFile || !*szSeedFile) return frame::reject();
        return rngMakeSeedFile(szSeedFile, szPrompt, nOptions);
    });
}

VELT_API long RNG_UpdateSeedFile(const char* szSeedFile, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (!szSeedFile || !*szSeedFile) return frame::reject();
        return rngUpdateSeedFile(szSeedFile, nOptions);
    });
}

VELT_API long RNG_Test(const char* szFileName, long nOptions) {
    return frame::run(frame::kSlowPoll, [&]() -> frame::Result {
        long r = rngTest(szFileName, nOptions);
        if (r == 1) errset(1);  // a failed statistical test is recorded as code 1
        return r;
    });
}

VELT_API long RNG_TestDRBGVS(char* szOutput, long nOutChars, long nReturnedBitsLen, const char* szEntropyInput,
                             const char* szNonce, const char* szPersonalizationString,
                             const char* szAdditionalInput1, const char* szEntropyReseed,
                             const char* szAdditionalInputReseed, const char* szAdditionalInput2, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return rng_testdrbgvs(szOutput, nOutChars, nReturnedBitsLen, szEntropyInput, szNonce,
                              szPersonalizationString, szAdditionalInput1, szEntropyReseed,
                              szAdditionalInputReseed, szAdditionalInput2, nOptions);
    });
}

}  // extern "C"
