// The general VELT_ functions: version, build time, error queries, module and
// platform names. They follow their own frame: none records an error.
#include <cstring>
#include <new>

#include "frame/error.h"
#include "frame/frame.h"
#include "frame/selftest.h"
#include "util/strl.h"

namespace {
constexpr long kVersion = 230100;
constexpr char kModuleName[] = "Velmora";
constexpr char kPlatform[] = "Linux";
// The compiler's form: "Mmm dd yyyy hh:mm:ss", a day below 10 padded with a blank.
constexpr char kCompileTime[] = __DATE__ " " __TIME__;

template <class Op>
long guarded(Op&& op) noexcept {
    try {
        return op();
    } catch (const std::bad_alloc&) {
        return -MEMORY_ERROR;
    } catch (...) {
        return -INTERNAL_ERROR;
    }
}
}  // namespace

extern "C" {

VELT_API long VELT_Version(void*, void*) {
    rngPoll(0);
    errclear();
    return kVersion;
}

VELT_API long VELT_CompileTime(char* szOutput, long nOutChars) {
    rngPoll(0);
    errclear();
    return out_truncate(szOutput, nOutChars, kCompileTime, long(sizeof kCompileTime - 1));
}

VELT_API long VELT_LastError(char* szOutput, long nOutChars) {
    rngPoll(0);
    const char* m = errmsg();
    return out_truncate(szOutput, nOutChars, m, long(strlen(m)));
}

VELT_API long VELT_ErrorCode(void) {
    rngPoll(0);
    return errnum();
}

VELT_API long VELT_ErrorLookup(char* szOutput, long nOutChars, long nErrCode) {
    rngPoll(0);
    return guarded([&] { return errlookup(szOutput, nOutChars, nErrCode); });
}

VELT_API long VELT_FormatErrorMessage(char* szOutput, long nOutChars, long nErrCode, const char* szMsg) {
    return guarded([&] { return errFormatErrorMessage(szOutput, nOutChars, nErrCode, szMsg); });
}

VELT_API long VELT_PowerUpTests(long) {
    return guarded([] { return run_power_up_tests(); });
}

VELT_API long VELT_ModuleName(char* szOutput, long nOutChars, long nOptions) {
    rngPoll(0);
    if (nOptions == 0) return out_truncate(szOutput, nOutChars, kModuleName, long(sizeof kModuleName - 1));
    if (nOptions == 64) return out_truncate(szOutput, nOutChars, kPlatform, long(sizeof kPlatform - 1));
    return -BAD_FLAG_ERROR;
}

VELT_API long VELT_Platform(char* szOutput, long nOutChars) {
    errclear();
    return out_truncate(szOutput, nOutChars, kPlatform, long(sizeof kPlatform - 1));
}

}  // extern "C"
