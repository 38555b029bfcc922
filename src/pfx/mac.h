// The PFX MAC, internal to the PKCS #12 module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "asn1/asn1.h"
#include "pfx/ber.h"

namespace velt::pfx {

// The result of verify_mac when the MAC does not verify.
inline constexpr long kMacMismatch = -1;

// Checks MacData over the content octets with password: 0 verified,
// kMacMismatch (-1) when the MAC differs or has not the digest's length,
// 19 for a MAC digest other than SHA-1, SHA-224, SHA-256, SHA-384, SHA-512,
// 7 for malformed MacData or a negative count, 8 for a count above the bound.
long verify_mac(const Tlv& mac_data, const uint8_t* content, size_t n, const char* password);
// MacData DER with HMAC-SHA-1, a fresh salt of salt_len octets (at most 20)
// and a fresh count; the digest AlgorithmIdentifier with NULL parameters
// when with_null. 0 or a positive code.
long make_mac_data(std::vector<uint8_t>* out, const uint8_t* content, size_t n, const char* password,
                   size_t salt_len, bool with_null);

}  // namespace velt::pfx
