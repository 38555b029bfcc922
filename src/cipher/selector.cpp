// The algorithm/mode/padding selector: selector strings, option-word fields
// and the older three-letter mode words.
#include <cctype>
#include <cstring>
#include <string>

#include "cipher/cipher.h"
#include "frame/error.h"

namespace velt::cipher {
namespace {

struct Piece {
    const char* text;
    long bits;
};

// Longer spellings first so that a prefix never hides a longer match.
constexpr Piece kAlgorithms[] = {
    {"aes128", kAlgAes128}, {"aes192", kAlgAes192}, {"aes256", kAlgAes256}, {"tdea", kAlgTdea},
    {"3des", kAlgTdea},     {"desede3", kAlgTdea},  {"desede", kAlgTdea},
};
constexpr Piece kModes[] = {
    {"ecb", kModeEcb}, {"cbc", kModeCbc}, {"ofb", kModeOfb}, {"cfb", kModeCfb}, {"ctr", kModeCtr}, {"gcm", kModeGcm},
};
constexpr Piece kPaddings[] = {
    {"pkcs5padding", kPadPkcs5},      {"pkcs5", kPadPkcs5},       {"nopadding", kPadNone},
    {"nopad", kPadNone},              {"oneandzeroespadding", kPadOneAndZeroes},
    {"oneandzeroes", kPadOneAndZeroes}, {"ansix923padding", kPadAnsiX923}, {"ansix923", kPadAnsiX923},
    {"w3cpadding", kPadW3c},          {"w3c", kPadW3c},
};

template <size_t N>
bool take(const std::string& s, size_t& pos, const Piece (&table)[N], long* bits) {
    for (const Piece& p : table) {
        size_t n = strlen(p.text);
        if (s.compare(pos, n, p.text) == 0) {
            *bits |= p.bits;
            pos += n;
            return true;
        }
    }
    return false;
}

}  // namespace

bool parse_selector(const char* s, long* bits) {
    std::string t;
    for (; *s && t.size() < 64; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (isascii(c) && isalnum(c)) t.push_back(char(tolower(c)));
    }
    long b = 0;
    size_t pos = 0;
    if (!take(t, pos, kAlgorithms, &b)) return false;
    if (pos < t.size() && take(t, pos, kModes, &b) && pos < t.size()) {
        if (!take(t, pos, kPaddings, &b)) return false;
    }
    if (pos != t.size()) return false;
    *bits = b;
    return true;
}

size_t alg_key_len(long alg) {
    switch (alg) {
        case kAlgTdea: return 24;
        case kAlgAes128: return 16;
        case kAlgAes192: return 24;
        case kAlgAes256: return 32;
        default: return 0;
    }
}

size_t alg_block_len(long alg) {
    if (alg == kAlgTdea) return 8;
    return alg_key_len(alg) ? 16 : 0;
}

long resolve_selector(const char* selector, long options, bool allow_gcm, Selection* sel) {
    const bool have_string = selector && *selector;
    if (have_string && (options & 0xFF0)) {
        eprintf("Selector string and algorithm or mode option bits given together");
        return -BAD_FLAG_ERROR;
    }
    if (!have_string && !(options & 0xFF0)) {
        eprintf("No algorithm or mode selected");
        return -BAD_FLAG_ERROR;
    }
    long bits = options & kSelectorMask;
    if (have_string && !parse_selector(selector, &bits)) {
        eprintf("Invalid algorithm/mode/padding string '%s'", selector);
        return -BAD_PARAM_ERROR;
    }
    int mode;
    switch (bits & kModeMask) {
        case kModeEcb: mode = kEcb; break;
        case kModeCbc: mode = kCbc; break;
        case kModeOfb: mode = kOfb; break;
        case kModeCfb: mode = kCfb; break;
        case kModeCtr: mode = kCtr; break;
        case kModeGcm: mode = kGcm; break;
        default: return -BAD_MODE_ERROR;
    }
    const long alg = bits & kAlgMask;
    if (mode == kGcm) {
        if (!allow_gcm) {
            eprintf("GCM mode is not allowed here");
            return -BAD_PARAM_ERROR;
        }
        if (alg != kAlgAes128 && alg != kAlgAes192 && alg != kAlgAes256) {
            eprintf("GCM mode needs AES");
            return -NOT_SUPPORTED_ERROR;
        }
    }
    sel->options = bits | (options & ~kSelectorMask);
    sel->alg = alg;
    sel->mode = mode;
    sel->key_len = alg_key_len(alg);
    sel->block = alg_block_len(alg);
    return 0;
}

int mode_from_word(const char* word) {
    if (!word || strlen(word) < 3) return -1;
    char m[4] = {char(toupper((unsigned char)word[0])), char(toupper((unsigned char)word[1])),
                 char(toupper((unsigned char)word[2])), 0};
    if (!strcmp(m, "ECB")) return kEcb;
    if (!strcmp(m, "CBC")) return kCbc;
    if (!strcmp(m, "CFB")) return kCfb;
    if (!strcmp(m, "OFB")) return kOfb;
    if (!strcmp(m, "CTR")) return kCtr;
    return -1;
}

}  // namespace velt::cipher
