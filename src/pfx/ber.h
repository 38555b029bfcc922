// A bounded BER element reader over a span of octets, internal to the PKCS #12
// module. PKCS #12 files come from many writers, some of which use the BER
// forms (indefinite lengths, constructed OCTET STRINGs); the reader accepts
// them, and every length read is checked against what remains of the span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/emem.h"

namespace velt::pfx {

struct Tlv {
    uint8_t cls = 0;  // class bits (0x00 universal, 0x80 context, ...)
    bool constructed = false;
    uint32_t tag = 0;                // tag number
    const uint8_t* start = nullptr;  // first identifier octet
    const uint8_t* body = nullptr;   // first content octet
    size_t body_len = 0;             // content octets (without the end-of-contents octets)
    size_t total = 0;                // identifier, length, content and end-of-contents octets
    bool indefinite = false;

    bool is(uint8_t c, bool cons, uint32_t t) const { return cls == c && constructed == cons && tag == t; }
    bool universal(uint32_t t) const { return cls == 0 && tag == t; }
    bool seq() const { return is(0x00, true, 16); }
    bool set() const { return is(0x00, true, 17); }
    bool oid() const { return is(0x00, false, 6); }
    bool integer() const { return is(0x00, false, 2); }
    bool context(uint32_t t) const { return cls == 0x80 && tag == t; }
};

// Reads one element at the start of p[0..n): true with *out filled, false
// when it is malformed or runs past n. Nesting deeper than 64 is refused.
bool ber_read(const uint8_t* p, size_t n, Tlv* out);
// The elements inside a constructed element, in order; false when one is
// malformed (or the element is primitive).
bool ber_children(const Tlv& t, std::vector<Tlv>* out);
// The value of an OCTET STRING (or an implicitly tagged one): the content of
// a primitive element, or the joined segments of a constructed one. False
// when a segment is not an OCTET STRING.
bool ber_octets(const Tlv& t, SecureBytes* out);
// True when the element is an OBJECT IDENTIFIER with the given content octets.
bool ber_oid_is(const Tlv& t, const uint8_t* oid, size_t n);
// An INTEGER: 1 when it fits in 63 bits and is not negative (*value set),
// -1 when it is negative, 0 when it is malformed or too large (positive
// values beyond 63 bits set *value to UINT64_MAX and return 1).
int ber_integer(const Tlv& t, uint64_t* value);

}  // namespace velt::pfx
