// PEM output and a bounds-checked TLV reader for the certificate and request
// builders (the structures themselves are written with asn1/der_write.h).
// Internal to the making code of src/x509.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "asn1/der_read.h"
#include "asn1/der_write.h"

namespace velt::x509::mk {

using velt::Der;

// PEM text with CR LF line ends and 64-character lines.
std::string pem_text(const Der& der, const char* label);

// ---- Reading ----
using Tlv = velt::DerTlv;
// Lengths in up to eight octets, minimal or not: requests and certificates
// come from other writers.
struct Reader : velt::DerReader {
    Reader(const uint8_t* d, size_t n) : DerReader(d, n, sizeof(size_t)) {}
    explicit Reader(const Tlv& t) : DerReader(t, sizeof(size_t)) {}
};
// True when the span holds exactly one well-formed TLV.
bool single_element(const uint8_t* p, size_t n, Tlv* out = nullptr);
inline Der copy(const Tlv& t) {
    return t.bytes();
}

}  // namespace velt::x509::mk
