// A small DER writer for the structures the PKCS #12 module makes: each
// element is built from its already-encoded contents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velt::pfx {

using Der = std::vector<uint8_t>;

// Identifier octet, definite length and contents.
Der der_tlv(uint8_t id, const uint8_t* body, size_t n);
inline Der der_tlv(uint8_t id, const Der& body) {
    return der_tlv(id, body.data(), body.size());
}
// Concatenation of encoded elements.
Der der_cat(std::initializer_list<const Der*> parts);
inline Der der_seq(std::initializer_list<const Der*> parts) {
    return der_tlv(0x30, der_cat(parts));
}
inline Der der_set(std::initializer_list<const Der*> parts) {
    return der_tlv(0x31, der_cat(parts));
}
Der der_uint(uint32_t v);  // INTEGER
template <size_t N>
Der der_oid(const uint8_t (&oid)[N]) {
    return der_tlv(0x06, oid, N);
}
inline Der der_octets(const uint8_t* p, size_t n) {
    return der_tlv(0x04, p, n);
}
// [n] EXPLICIT (constructed) and [n] IMPLICIT primitive.
inline Der der_explicit(uint8_t n, const Der& inner) {
    return der_tlv(uint8_t(0xA0 | n), inner);
}

}  // namespace velt::pfx
