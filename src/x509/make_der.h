// PEM output and a bounds-checked TLV reader for the certificate and request
// builders (the structures themselves are written with asn1/der_write.h).
// Internal to the making code of src/x509.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "asn1/der_write.h"

namespace velt::x509::mk {

using velt::Der;

// PEM text with CR LF line ends and 64-character lines.
std::string pem_text(const Der& der, const char* label);

// ---- Reading ----
struct Tlv {
    uint8_t tag = 0;
    const uint8_t* value = nullptr;
    size_t len = 0;
    const uint8_t* start = nullptr;  // first octet of the header
    size_t total = 0;                // header and value
};
// Consecutive TLVs of a span; next() is false at the end or on a malformed
// header (single-octet tags, definite minimal-or-not lengths checked against
// what remains).
struct Reader {
    const uint8_t* data;
    size_t len;
    size_t pos = 0;
    Reader(const uint8_t* d, size_t n) : data(d), len(n) {}
    explicit Reader(const Tlv& t) : data(t.value), len(t.len) {}
    bool next(Tlv& out);
    bool at_end() const { return pos == len; }
};
// True when the span holds exactly one well-formed TLV.
bool single_element(const uint8_t* p, size_t n, Tlv* out = nullptr);
inline Der copy(const Tlv& t) {
    return Der(t.start, t.start + t.total);
}

}  // namespace velt::x509::mk
