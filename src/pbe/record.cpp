// The PBE parameter record: creation, release, setup from an options word,
// field setters and readers, and the scheme, encryption-scheme and PRF tables.
#include <strings.h>

#include <cstring>

#include "hash/hash.h"
#include "pbe/pbe.h"
#include "util/strl.h"

namespace {

// Scheme names in table order (pbe_MatchAlgorithmName picks the first prefix match).
const char* const kSchemes[] = {
    "pbeWithSHAAnd3-KeyTripleDES-CBC", "pbeWithMD5AndDES-CBC",       "pbeWithMD2AndDES-CBC",
    "pbeWithSHA1AndDES-CBC",           "pkcs5PBES2",                 "pbeWithMD5AndRC2-CBC",
    "pbeWithMD2AndRC2-CBC",            "pbeWithSHA1AndRC2-CBC",      "pbeWithSHAAnd128BitRC2-CBC",
    "pbeWithSHAAnd40BitRC2-CBC",
};

struct EncScheme {
    long id;
    const char* name;
    size_t key, block;
};
const EncScheme kEncSchemes[] = {
    {kPbeDesEde3Cbc, "des-EDE3-CBC", 24, 8}, {kPbeDesCbc, "desCBC", 8, 8},
    {kPbeRc2Cbc, "rc2CBC", 0, 8},            {kPbeAes128Cbc, "aes128-CBC", 16, 16},
    {kPbeAes192Cbc, "aes192-CBC", 24, 16},   {kPbeAes256Cbc, "aes256-CBC", 32, 16},
};

struct Prf {
    long id;
    const char* name;
};
const Prf kPrfs[] = {{velt::hash::kSha1, "hmacWithSHA1"},
                     {velt::hash::kSha224, "hmacWithSHA224"},
                     {velt::hash::kSha256, "hmacWithSHA256"},
                     {velt::hash::kSha384, "hmacWithSHA384"},
                     {velt::hash::kSha512, "hmacWithSHA512"}};

void clear(PbeRec* pbe) {
    // Fields one by one: the secret containers wipe as they are emptied.
    velt::SecureBytes().swap(pbe->password);
    pbe->algorithm.clear();
    pbe->count = 0;
    pbe->salt.clear();
    pbe->iv.clear();
    pbe->bmp = false;
    pbe->encScheme = -1;
    memset(pbe->encSchemeName, 0, sizeof pbe->encSchemeName);
    pbe->keyLength = 0;
    pbe->keyParam = 0;
    pbe->prfId = 0;
    memset(pbe->prfName, 0, sizeof pbe->prfName);
    pbe->saltLength = 8;
}

}  // namespace

PbeRec* pbe_New() { return new PbeRec(); }

void pbe_Free(PbeRec** pbe) {
    if (!pbe || !*pbe) return;
    clear(*pbe);
    delete *pbe;
    *pbe = nullptr;
}

int pbe_Setup(PbeRec* pbe, const char* password, long count, long options) {
    clear(pbe);
    pbe->saltLength = 8;
    pbe->count = count < 1 ? 1 : uint32_t(count > 0xFFFFFFFFL ? 0xFFFFFFFFL : count);
    if (options & kPbeOptPbes2) {
        pbe_SetAlgorithm(pbe, "pkcs5PBES2");
        switch (options & 0xF0) {
            case 0x20: pbe_SetEncSchemeId(pbe, kPbeAes128Cbc); break;
            case 0x30: pbe_SetEncSchemeId(pbe, kPbeAes192Cbc); break;
            case 0x40: pbe_SetEncSchemeId(pbe, kPbeAes256Cbc); break;
            default: pbe_SetEncSchemeId(pbe, kPbeDesEde3Cbc); break;
        }
        long prf = options & 0x0F;
        if (pbe_SetPrfId(pbe, prf) < 0 || prf == 0) pbe_SetPrfId(pbe, velt::hash::kSha1);
    } else {
        switch (options & kPbeOptPbes1Mask) {
            case 0x8000001: pbe_SetAlgorithm(pbe, "pbeWithMD5AndDES-CBC"); break;
            case 0x8000002: pbe_SetAlgorithm(pbe, "pbeWithMD2AndDES-CBC"); break;
            case 0x8000003: pbe_SetAlgorithm(pbe, "pbeWithSHA1AndDES-CBC"); break;
            case 0x8000004:
                pbe_SetAlgorithm(pbe, "pkcs5PBES2");
                pbe_SetEncSchemeId(pbe, kPbeDesEde3Cbc);
                pbe_SetPrfId(pbe, velt::hash::kSha1);
                break;
            default: pbe_SetAlgorithm(pbe, "pbeWithSHAAnd3-KeyTripleDES-CBC"); break;
        }
    }
    if (password) pbe_SetPassword(pbe, reinterpret_cast<const uint8_t*>(password), strlen(password));
    return 0;
}

void pbe_SetPassword(PbeRec* pbe, const uint8_t* octets, size_t n) {
    velt::SecureBytes fresh(octets, octets + (octets ? n : 0));
    pbe->password.swap(fresh);
    pbe->bmp = false;
}
void pbe_SetSalt(PbeRec* pbe, const uint8_t* octets, size_t n) { pbe->salt.assign(octets, octets + (octets ? n : 0)); }
void pbe_SetIV(PbeRec* pbe, const uint8_t* octets, size_t n) { pbe->iv.assign(octets, octets + (octets ? n : 0)); }
void pbe_SetCount(PbeRec* pbe, long count) {
    pbe->count = count < 0 ? 0 : uint32_t(count > 0xFFFFFFFFL ? 0xFFFFFFFFL : count);
}
void pbe_SetKeyLength(PbeRec* pbe, long n) { pbe->keyLength = n < 0 ? 0 : size_t(n); }
void pbe_SetKeyParam(PbeRec* pbe, long bits) { pbe->keyParam = bits; }
void pbe_SetAlgorithm(PbeRec* pbe, const char* name) { pbe->algorithm = name ? name : ""; }

long pbe_SetEncSchemeId(PbeRec* pbe, long id) {
    for (const auto& e : kEncSchemes)
        if (e.id == id) {
            pbe->encScheme = id;
            strlcpy(pbe->encSchemeName, e.name, sizeof pbe->encSchemeName);
            return id;
        }
    return -1;
}
long pbe_SetEncSchemeByName(PbeRec* pbe, const char* name) {
    if (name)
        for (const auto& e : kEncSchemes)
            if (strcasecmp(e.name, name) == 0) return pbe_SetEncSchemeId(pbe, e.id);
    return -1;
}
long pbe_SetPrfId(PbeRec* pbe, long id) {
    for (const auto& p : kPrfs)
        if (p.id == id) {
            pbe->prfId = id;
            strlcpy(pbe->prfName, p.name, sizeof pbe->prfName);
            return id;
        }
    return -1;
}
long pbe_SetPrfByName(PbeRec* pbe, const char* name) {
    if (name)
        for (const auto& p : kPrfs)
            if (strcasecmp(p.name, name) == 0) return pbe_SetPrfId(pbe, p.id);
    return -1;
}

const char* pbe_Algorithm(const PbeRec* pbe) { return pbe->algorithm.c_str(); }
const uint8_t* pbe_Salt(const PbeRec* pbe) { return pbe->salt.data(); }
size_t pbe_SaltLen(const PbeRec* pbe) { return pbe->salt.size(); }
const uint8_t* pbe_IV(const PbeRec* pbe) { return pbe->iv.data(); }
size_t pbe_IVLen(const PbeRec* pbe) { return pbe->iv.size(); }
long pbe_Count(const PbeRec* pbe) { return long(pbe->count); }
const char* pbe_EncSchemeName(const PbeRec* pbe) { return pbe->encSchemeName; }
long pbe_PrfId(const PbeRec* pbe) { return pbe->prfId; }
const char* pbe_PrfName(const PbeRec* pbe) { return pbe->prfName; }

int pbe_CompareAlgorithm(const PbeRec* pbe, const char* name) {
    return name && strcasecmp(pbe->algorithm.c_str(), name) == 0 ? 1 : 0;
}

int pbe_MatchAlgorithmName(PbeRec* pbe, const char* text) {
    size_t n = text ? strlen(text) : 0;
    for (const char* s : kSchemes)
        if (text && strncasecmp(s, text, n) == 0) {
            pbe->algorithm = s;
            return 0;
        }
    pbe->algorithm.clear();
    return 1;
}

const char* pbe_EncSchemeNameOf(long id) {
    for (const auto& e : kEncSchemes)
        if (e.id == id) return e.name;
    return nullptr;
}
const char* pbe_PrfNameOf(long id) {
    for (const auto& p : kPrfs)
        if (p.id == id) return p.name;
    return nullptr;
}
size_t pbe_EncSchemeKeyLen(long id) {
    for (const auto& e : kEncSchemes)
        if (e.id == id) return e.key;
    return 0;
}
size_t pbe_EncSchemeBlockLen(long id) {
    for (const auto& e : kEncSchemes)
        if (e.id == id) return e.block;
    return 0;
}
