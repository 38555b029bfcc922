// A bounds-checked reader of consecutive definite-length TLVs over a span of
// octets, for the structure walks of the key, certificate-making and
// signed-data code (the general BER reader into node chains is asn1.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/der_write.h"

namespace velt {

struct DerTlv {
    uint8_t tag = 0;
    const uint8_t* value = nullptr;
    size_t len = 0;
    const uint8_t* start = nullptr;  // first octet of the header
    size_t total = 0;                // header and value
    Der bytes() const { return Der(start, start + total); }
};

// next() and peek() are false at the end or on a malformed header: a
// multi-octet tag, the indefinite form, more than maxLenOctets length octets
// (4 unless the user asks for more), or a length past what remains.
struct DerReader {
    const uint8_t* data;
    size_t len;
    size_t pos = 0;
    size_t maxLenOctets = 4;
    DerReader(const uint8_t* d, size_t n, size_t maxLen = 4) : data(d), len(n), maxLenOctets(maxLen) {}
    explicit DerReader(const DerTlv& t, size_t maxLen = 4)
        : data(t.value), len(t.len), maxLenOctets(maxLen) {}
    bool next(DerTlv& out);
    bool peek(DerTlv& out) const;
    bool at_end() const { return pos == len; }
};

// The one TLV filling the span exactly; false otherwise.
bool der_parse_one(const uint8_t* p, size_t n, DerTlv& out);

}  // namespace velt
