// The PEM_ family: file converters between binary and PEM. Thin wrappers
// over src/encode/pem.
#include "encode/pem.h"
#include "frame/frame.h"

extern "C" VELT_API long PEM_FileFromBinFile(const char* szOutputFile, const char* szFileIn, const char* szHeader,
                                             long nLineLen) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return -pemFileFromBinFile(szOutputFile, szFileIn, szHeader, nLineLen, 0);
    });
}

extern "C" VELT_API long PEM_FileFromBinFileEx(const char* szOutputFile, const char* szFileIn, const char* szHeader,
                                               long nLineLen, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return -pemFileFromBinFile(szOutputFile, szFileIn, szHeader, nLineLen, nOptions);
    });
}

extern "C" VELT_API long PEM_FileToBinFile(const char* szOutputFile, const char* szFileIn) {
    return frame::run(frame::kStandard, [&]() -> frame::Result { return -pemFileToBinFile(szOutputFile, szFileIn); });
}
