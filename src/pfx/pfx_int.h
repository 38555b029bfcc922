// Shared by the files of the PKCS #12 module only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pfx/ber.h"
#include "util/emem.h"

namespace velt::pfx {

// Object identifier content octets.
// data 1.2.840.113549.1.7.1, encryptedData 1.2.840.113549.1.7.6
inline constexpr uint8_t kOidData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
inline constexpr uint8_t kOidEncryptedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x06};
// Bag types 1.2.840.113549.1.12.10.1.{1,2,3}
inline constexpr uint8_t kOidKeyBag[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x0A, 0x01, 0x01};
inline constexpr uint8_t kOidShroudedKeyBag[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D,
                                                 0x01, 0x0C, 0x0A, 0x01, 0x02};
inline constexpr uint8_t kOidCertBag[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x0A, 0x01, 0x03};
// x509Certificate 1.2.840.113549.1.9.22.1
inline constexpr uint8_t kOidX509Cert[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x16, 0x01};
// friendlyName 1.2.840.113549.1.9.20, localKeyID 1.2.840.113549.1.9.21
inline constexpr uint8_t kOidFriendlyName[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x14};
inline constexpr uint8_t kOidLocalKeyId[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x15};
// PKCS #12 PBE schemes 1.2.840.113549.1.12.1.{3,5,6}; PBES2 1.2.840.113549.1.5.13
inline constexpr uint8_t kOidPbeSha3Des[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x01, 0x03};
inline constexpr uint8_t kOidPbeShaRc2_128[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x01, 0x05};
inline constexpr uint8_t kOidPbeShaRc2_40[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x01, 0x06};
inline constexpr uint8_t kOidPbes2[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x05, 0x0D};
inline constexpr uint8_t kOidPbkdf2[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x05, 0x0C};

template <size_t N>
bool oid_is(const Tlv& t, const uint8_t (&oid)[N]) {
    return ber_oid_is(t, oid, N);
}

// Iteration count defaults and bounds for counts read from a file.
inline constexpr long kPfxCountBase = 6000;
inline constexpr long kPfxCountSpread = 200;

// Fuzzing builds only: counts read from a file are clamped so that an input
// costs milliseconds, and key bags whose count is above kFuzzMaxKeyCount
// (derived by the PBE module, which takes the count from the bag) are not
// decrypted.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr uint32_t kFuzzMaxCount = 16;
inline constexpr uint64_t kFuzzMaxKeyCount = 10000;
inline uint32_t clamp_count(uint32_t c) {
    return c < kFuzzMaxCount ? c : kFuzzMaxCount;
}
#else
inline uint32_t clamp_count(uint32_t c) {
    return c;
}
#endif

// An iteration count read from a file (the optional INTEGER, null when
// absent): absent or 0 acts as 1; 0 with *count set, 7 when negative or
// malformed, 8 above kPbeMaxIterations (with a detail message).
long read_count(const Tlv* integer, uint32_t* count);
// A fresh iteration count for a file we make: 6000 to 6199 from the library
// generator.
uint32_t fresh_count();

// The bytes of a file, PEM text or base64 text argument: 0, or a positive
// code (the reader's, or 8 when the content is not recognised).
long read_input(const char* fileOrString, SecureBytes* der);

// The two-octet form of a password (each octet c as 00 c, then 00 00).
SecureBytes bmp_password(const char* password);

// ---- Bags -----------------------------------------------------------------

enum class BagKind { kCert, kShroudedKey, kOther };

struct Bag {
    BagKind kind = BagKind::kOther;
    SecureBytes value;  // content of the bag's [0] tag
    std::vector<uint8_t> local_key_id;
    bool has_local_key_id = false;
};

inline constexpr size_t kMaxBags = 63;

struct BagTable {
    std::vector<Bag> bags;  // file order, at most kMaxBags
    size_t certs = 0, keys = 0;
    long first_error = 0;  // first error of a ContentInfo that gave no bags
    bool record = true;    // failures also go to the error record
};

// Reads the bag table of a PFX DER. Encrypted ContentInfos are decrypted
// only when password is non-empty. 0, or a positive code when the outer
// structure is not a PFX (7, "Not a valid PFX object"). A ContentInfo that
// fails contributes no bags; its code is recorded in the error record and
// in first_error.
// record false leaves the error record alone (a caller that tries other
// forms after this one).
long read_bags(const uint8_t* der, size_t len, const char* password, BagTable* table, bool record = true);

// The certificate DER inside a certificate bag value, false if none.
bool cert_from_bag(const Bag& bag, std::vector<uint8_t>* cert);

}  // namespace velt::pfx
