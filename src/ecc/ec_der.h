// A small DER reader for the elliptic-curve key structures, internal to
// src/ecc (they are written with asn1/der_write.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::ecc::der {

struct Tlv {
    uint8_t tag = 0;
    const uint8_t* value = nullptr;
    size_t len = 0;
    const uint8_t* start = nullptr;  // first octet of the header
    size_t total = 0;                // header and value
};

// Consecutive TLVs of a span; next() is false at the end or on a malformed
// header (single-octet tags, definite lengths checked against what remains).
struct Reader {
    const uint8_t* data;
    size_t len;
    size_t pos = 0;
    Reader(const uint8_t* d, size_t n) : data(d), len(n) {}
    explicit Reader(const Tlv& t) : data(t.value), len(t.len) {}
    bool next(Tlv& out);
    bool peek(Tlv& out) const;
    bool at_end() const { return pos == len; }
};

// An INTEGER whose minimal encoding is 0..255; false otherwise.
bool read_small_int(const Tlv& t, int& v);

}  // namespace velt::ecc::der
