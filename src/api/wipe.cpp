// The WIPE_ family: secure deletion of files and memory. Both return their
// error codes positive (and record them).
#include "frame/frame.h"
#include "util/emem.h"
#include "util/futil.h"

namespace {
// A positive failure code, recorded by hand since the frame records only
// negative results.
frame::Result positive(long code) {
    errset(code);
    return code;
}
}  // namespace

extern "C" {

VELT_API long WIPE_File(const char* szFileName, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (!szFileName) return positive(NULL_ERROR);
        long r = wipe_file_ex(szFileName, nOptions);
        if (r != 0) return positive(r);
        return 0;
    });
}

VELT_API long WIPE_Data(void* lpData, long nDataLen) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        if (!lpData || nDataLen < 1) return positive(BAD_PARAM_ERROR);
        ewipe(lpData, size_t(nDataLen));
        return 0;
    });
}

}  // extern "C"
