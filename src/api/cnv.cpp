// The CNV_ family: conversions between bytes, hexadecimal, base64, base58,
// UTF-8 and 8-bit character sets. Thin wrappers over src/encode.
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "encode/encode.h"
#include "frame/frame.h"
#include "util/emem.h"
#include "util/futil.h"
#include "util/strl.h"

namespace {

using frame::bad_param;
using frame::Result;

const unsigned char* ubytes(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

// The bad-length error, recorded, for an input whose encoded size would not
// fit in a long (it can be no real buffer).
Result too_long(long n) {
    eprintf("Input length %ld is too long to convert", n);
    return -BAD_LENGTH_ERROR;
}

// Hexadecimal and base64 sizes of n input bytes: both below LONG_MAX for
// the n that kHexMax and kB64Max allow.
constexpr long kHexMax = LONG_MAX / 2;
constexpr long kB64Max = LONG_MAX / 4 * 3;
long b64_size(long n) {
    return 4 * (n / 3 + (n % 3 != 0));
}

// The buffer size (NUL included) handed to an encoder: the caller's declared
// characters + 1, but never more than the whole output needs.
long room(long declared, long full) {
    return (declared < full ? declared : full) + 1;
}

// String result of an 8-bit conversion into a buffer of declared + 1 bytes:
// the converted bytes, then the NUL.
template <class Convert>
long to_string_output(char* out, long declared, Convert convert) {
    if (!out || declared <= 0) return convert(nullptr, 0);
    long n = convert(reinterpret_cast<unsigned char*>(out), declared);
    if (n >= 0) out[n] = '\0';
    return n;
}

}  // namespace

extern "C" {

VELT_API long CNV_HexStrFromBytes(char* szOutput, long nOutChars, const unsigned char* lpInput, long nInputLen) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (nInputLen < 0 || (!lpInput && nInputLen > 0)) return bad_param();
        if (nInputLen > kHexMax) return too_long(nInputLen);
        if (!szOutput || nOutChars <= 0) return 2 * nInputLen;
        return hexencode(szOutput, room(nOutChars, 2 * nInputLen), lpInput, nInputLen);
    });
}

VELT_API long CNV_BytesFromHexStr(unsigned char* lpOutput, long nOutBytes, const char* szInput) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!szInput) return bad_param();
        if (!detect_ishexloose(szInput)) return -INVALID_DATA_ERROR;
        if (!lpOutput || nOutBytes <= 0) return hexdecode(nullptr, long(strlen(szInput) + 1) / 2, szInput);
        return hexdecode(lpOutput, nOutBytes, szInput);
    });
}

VELT_API long CNV_HexFilter(char* szOutput, const char* szInput, long nStrLen) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!szOutput || !szInput || nStrLen < 0) return bad_param();
        // The output holds nStrLen + 1 bytes, which must be a long.
        if (nStrLen == LONG_MAX) return too_long(nStrLen);
        return hexfilter(szOutput, nStrLen + 1, szInput, nStrLen);
    });
}

VELT_API long CNV_B64StrFromBytes(char* szOutput, long nOutChars, const unsigned char* lpInput, long nInputLen) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (nInputLen < 0 || (!lpInput && nInputLen > 0)) return bad_param();
        if (nInputLen > kB64Max) return too_long(nInputLen);
        if (!szOutput || nOutChars <= 0) return b64_size(nInputLen);
        return b64encode(szOutput, room(nOutChars, b64_size(nInputLen)), lpInput, nInputLen);
    });
}

VELT_API long CNV_BytesFromB64Str(unsigned char* lpOutput, long nOutBytes, const char* szInput) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!szInput) return bad_param();
        if (!detect_isbase64(szInput)) return -INVALID_DATA_ERROR;
        if (!lpOutput || nOutBytes <= 0) {
            long max = long((strlen(szInput) + 3) / 4 * 3 + 1);
            return b64decode(nullptr, max, szInput);
        }
        return b64decode(lpOutput, nOutBytes, szInput);
    });
}

VELT_API long CNV_B64Filter(char* szOutput, const char* szInput, long nStrLen) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!szOutput || !szInput || nStrLen < 0) return bad_param();
        if (nStrLen == LONG_MAX) return too_long(nStrLen);
        return b64filter(szOutput, nStrLen + 1, szInput, nStrLen);
    });
}

VELT_API long CNV_Base58FromBytes(char* szOutput, long nOutChars, const unsigned char* lpInput, long nInputLen) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (nInputLen < 0 || (!lpInput && nInputLen > 0)) return bad_param();
        // Base58 is at most 138 characters for 100 bytes.
        if (nInputLen > LONG_MAX / 138) return too_long(nInputLen);
        std::string text = base58_Encode(lpInput, size_t(nInputLen));
        return out_exact(szOutput, nOutChars, text.c_str(), long(text.size()));
    });
}

VELT_API long CNV_Base58ToBytes(unsigned char* lpOutput, long nOutBytes, const char* szInput) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!szInput) return bad_param();
        // Decoded into scratch first, so a failure leaves the caller's buffer alone.
        std::vector<uint8_t> scratch;
        long n = base58_Decode(scratch, szInput);
        if (n >= 0 && lpOutput && nOutBytes > 0) {
            if (nOutBytes < n) {
                n = -SHORT_BUF_ERROR;
            } else {
                memset(lpOutput, 0, size_t(nOutBytes));
                if (n > 0) memcpy(lpOutput, scratch.data(), size_t(n));
            }
        }
        ewipe(scratch.data(), scratch.size());
        return n;
    });
}

VELT_API long CNV_UTF8FromLatin1(char* szOutput, long nOutChars, const char* szInput) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!szInput || !*szInput) return bad_param();
        long len = long(strlen(szInput));
        return to_string_output(szOutput, nOutChars, [&](unsigned char* out, long max) {
            return latin1_to_utf8(out, max, ubytes(szInput), len);
        });
    });
}

VELT_API long CNV_Latin1FromUTF8(char* szOutput, long nOutChars, const char* szInput) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!szInput || !*szInput) return bad_param();
        long len = long(strlen(szInput));
        return to_string_output(szOutput, nOutChars, [&](unsigned char* out, long max) {
            return utf8_to_latin1(out, max, ubytes(szInput), len);
        });
    });
}

VELT_API long CNV_UTF8BytesFromLatin1(unsigned char* lpOutput, long nOutBytes, const char* szInput) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!szInput || !*szInput) return bad_param();
        long len = long(strlen(szInput));
        if (!lpOutput || nOutBytes <= 0) return latin1_to_utf8(nullptr, 0, ubytes(szInput), len);
        return latin1_to_utf8(lpOutput, nOutBytes, ubytes(szInput), len);
    });
}

VELT_API long CNV_UTF8BytesFrom8Bit(unsigned char* lpOutput, long nOutBytes, const char* szInput, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!szInput || !*szInput) return bad_param();
        long len = long(strlen(szInput));
        int set = int(nOptions & 0x0F);
        if (!lpOutput || nOutBytes <= 0) return eightbit_to_utf8(nullptr, 0, ubytes(szInput), len, set);
        return eightbit_to_utf8(lpOutput, nOutBytes, ubytes(szInput), len, set);
    });
}

VELT_API long CNV_Latin1FromUTF8Bytes(char* szOutput, long nOutChars, const unsigned char* lpInput, long nInputLen) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!lpInput || nInputLen < 1 || lpInput[0] == 0) return bad_param();
        return to_string_output(szOutput, nOutChars, [&](unsigned char* out, long max) {
            return utf8_to_latin1(out, max, lpInput, nInputLen);
        });
    });
}

VELT_API long CNV_CheckUTF8(const char* szInput) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!szInput) return bad_param();
        return check_utf8(szInput);
    });
}

VELT_API long CNV_CheckUTF8Bytes(const unsigned char* lpInput, long nBytes) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!lpInput || nBytes < 0) return bad_param();
        return check_utf8_bytes(lpInput, size_t(nBytes));
    });
}

VELT_API long CNV_CheckUTF8File(const char* szFileName) {
    return frame::run(frame::kStandard, [&]() -> Result {
        if (!szFileName || !*szFileName) return bad_param();
        FILE* fp = fopen(szFileName, "rb");
        if (!fp) return -OPEN_ERROR;
        long size = futil_filesizefp(fp);
        if (size < 0) {
            fclose(fp);
            return -READ_ERROR;
        }
        std::vector<unsigned char> data(static_cast<size_t>(size));
        size_t got = size > 0 ? fread(data.data(), 1, data.size(), fp) : 0;
        fclose(fp);
        if (got != data.size()) return -READ_ERROR;
        return check_utf8_bytes(data.data(), data.size());
    });
}

VELT_API long CNV_ByteEncoding(unsigned char* lpOutput, long nOutBytes, const unsigned char* lpInput, long nBytes,
                               long nOptions) {
    return frame::run(frame::kStandard, [&]() -> Result {
        long dir = nOptions & 0x0F;
        if (dir != 1 && dir != 2) return -BAD_FLAG_ERROR;
        if (nBytes < 0 || (!lpInput && nBytes > 0)) return bad_param();
        // Latin-1 to UTF-8 at most doubles the length.
        if (dir == 1 && nBytes > LONG_MAX / 2) return too_long(nBytes);
        unsigned char* out = (lpOutput && nOutBytes > 0) ? lpOutput : nullptr;
        long max = out ? nOutBytes : 0;
        if (dir == 1) return latin1_to_utf8(out, max, lpInput, nBytes);
        return utf8_to_latin1(out, max, lpInput, nBytes);
    });
}

VELT_API long CNV_Utf8FromWide(char* szOutput, long nOutChars, const wchar_t* wstr) {
    static_assert(sizeof(wchar_t) == 4, "wide characters are 32-bit code points on this platform");
    return frame::run(frame::kBare, [&]() -> Result {
        std::string text;
        if (wstr) {
            size_t n = wcslen(wstr);
            long r = wide_to_utf8(text, reinterpret_cast<const uint32_t*>(wstr), n);
            if (r < 0) return r;
        }
        if (text.empty()) {
            if (szOutput && nOutChars >= 0) szOutput[0] = '\0';
            return 0;
        }
        return out_exact(szOutput, nOutChars, text.c_str(), long(text.size()));
    });
}

VELT_API long CNV_ShortPathName(char*, long, const char*) {
    return frame::run(frame::kBare, []() -> Result { return -NOT_SUPPORTED_ERROR; });
}

VELT_API long CNV_ReverseBytes(unsigned char* lpOutput, const unsigned char* lpInput, long nBytes) {
    return frame::run(frame::kNoPoll, [&]() -> Result {
        if (nBytes < 0 || ((!lpOutput || !lpInput) && nBytes > 0)) return bad_param();
        if (nBytes == 0) return 0;
        // memmove first, then reverse in place: correct for any overlap.
        memmove(lpOutput, lpInput, size_t(nBytes));
        for (long i = 0, j = nBytes - 1; i < j; ++i, --j) {
            unsigned char t = lpOutput[i];
            lpOutput[i] = lpOutput[j];
            lpOutput[j] = t;
        }
        return 0;
    });
}

VELT_API long CNV_NumToBytes(unsigned char* lpOutput, long nOutBytes, long nNumber, long nOptions) {
    return frame::run(frame::kNoPoll, [&]() -> Result {
        if (!lpOutput || nOutBytes < 1) return bad_param();
        uint32_t v = uint32_t(nNumber);
        unsigned char form[4];
        for (int i = 0; i < 4; ++i) {
            int shift = (nOptions & 1) ? 8 * i : 8 * (3 - i);
            form[i] = uint8_t(v >> shift);
        }
        memcpy(lpOutput, form, size_t(nOutBytes < 4 ? nOutBytes : 4));
        return 0;
    });
}

VELT_API long CNV_NumFromBytes(const unsigned char* lpInput, long nBytes, long nOptions) {
    return frame::run(frame::kNoPoll, [&]() -> Result {
        if (!lpInput || nBytes < 1) {
            errset(-BAD_PARAM_ERROR);
            return Result(0, false);
        }
        unsigned char form[4] = {0, 0, 0, 0};
        memcpy(form, lpInput, size_t(nBytes < 4 ? nBytes : 4));
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            int shift = (nOptions & 1) ? 8 * i : 8 * (3 - i);
            v |= uint32_t(form[i]) << shift;
        }
        return long(v);
    });
}

}  // extern "C"
