// The scheme table shared by the scheme and structure code. Internal to src/pbe.
#pragma once

#include "pbe/bc.h"
#include "pbe/pbe.h"

namespace velt::pbe {

enum class SchemeKind { kPkcs12, kPbes1, kPbes2 };

struct Scheme {
    const char* name;
    SchemeKind kind;
    long alg;         // digest of PBKDF1 or the PKCS #12 derivation
    Bc cipher;        // PBES1 and PKCS #12 schemes
    size_t key_len;   // octets
    unsigned rc2_bits;
    bool key_writable;  // written as an EncryptedPrivateKeyInfo
};

// The row of a scheme name (case-insensitive), or null.
const Scheme* find_scheme(const char* name);
// Makes the record's salt for encrypting plain (see schemes.cpp).
bool make_salt(PbeRec* pbe, const uint8_t* plain, size_t n, long alg, bool with_time);

}  // namespace velt::pbe
