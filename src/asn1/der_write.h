// The one DER writer of the library (X.690 section 10: definite lengths in
// the fewest octets, single-octet identifiers). Structures are built bottom
// up as octet vectors: each der_* function returns one complete TLV, and the
// der_put* templates append to any octet vector (plain or SecureBytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <vector>

namespace velt {

using Der = std::vector<uint8_t>;

// ---- Appending to an octet vector ----
// Identifier and length octets of a TLV with len content octets.
template <class Out>
void der_put_header(Out& out, uint8_t tag, size_t len) {
    out.push_back(tag);
    if (len < 0x80) {
        out.push_back(uint8_t(len));
        return;
    }
    uint8_t buf[sizeof(size_t)];  // room for every octet of any size_t length
    size_t k = 0;
    for (size_t v = len; v; v >>= 8) buf[k++] = uint8_t(v);
    out.push_back(uint8_t(0x80 | k));
    while (k) out.push_back(buf[--k]);
}
template <class Out>
void der_put(Out& out, uint8_t tag, const uint8_t* value, size_t len) {
    der_put_header(out, tag, len);
    if (len) out.insert(out.end(), value, value + len);
}
// The octets of body as the value of one TLV.
template <class Out, class Body>
void der_put(Out& out, uint8_t tag, const Body& body) {
    der_put(out, tag, body.data(), body.size());
}
// INTEGER of an unsigned big-endian magnitude: leading zero octets removed,
// one 00 put back when the top bit is set, and 02 01 00 for zero or nothing.
template <class Out>
void der_put_uint(Out& out, const uint8_t* magnitude, size_t len) {
    while (len && magnitude[0] == 0) {
        ++magnitude;
        --len;
    }
    const bool pad = !len || (magnitude[0] & 0x80);
    der_put_header(out, 0x02, len + (pad ? 1 : 0));
    if (pad) out.push_back(0);
    if (len) out.insert(out.end(), magnitude, magnitude + len);
}
template <class Out>
void der_put_uint(Out& out, uint64_t value) {
    uint8_t b[8];
    for (int i = 7; i >= 0; --i, value >>= 8) b[i] = uint8_t(value);
    der_put_uint(out, b, sizeof b);
}

// ---- Complete TLVs ----
inline Der der_header(uint8_t tag, size_t len) {
    Der out;
    der_put_header(out, tag, len);
    return out;
}
inline Der der_tlv(uint8_t tag, const uint8_t* value, size_t len) {
    Der out;
    out.reserve(len + 10);
    der_put(out, tag, value, len);
    return out;
}
inline Der der_tlv(uint8_t tag, const Der& value) {
    return der_tlv(tag, value.data(), value.size());
}
// Appends more to out (the contents of a constructed value grow this way).
inline void der_append(Der& out, const Der& more) {
    out.insert(out.end(), more.begin(), more.end());
}
// Concatenation of encoded elements; null pointers are skipped.
Der der_cat(std::initializer_list<const Der*> parts);
inline Der der_seq(std::initializer_list<const Der*> parts) {
    return der_tlv(0x30, der_cat(parts));
}
inline Der der_set(std::initializer_list<const Der*> parts) {
    return der_tlv(0x31, der_cat(parts));
}
// [n] EXPLICIT (constructed context tag).
inline Der der_explicit(uint8_t n, const Der& inner) {
    return der_tlv(uint8_t(0xA0 | n), inner);
}
inline Der der_uint(const uint8_t* magnitude, size_t len) {
    Der out;
    der_put_uint(out, magnitude, len);
    return out;
}
inline Der der_uint(uint64_t value) {
    Der out;
    der_put_uint(out, value);
    return out;
}
inline Der der_octets(const uint8_t* p, size_t n) {
    return der_tlv(0x04, p, n);
}
inline Der der_octets(const Der& v) {
    return der_octets(v.data(), v.size());
}
inline Der der_null() {
    return Der{0x05, 0x00};
}
Der der_bool(bool value);
// OBJECT IDENTIFIER of a name of the OID table or of dotted text; empty when
// neither gives one.
Der der_oid(const char* nameOrDotted);
// OBJECT IDENTIFIER of its content octets.
template <size_t N>
Der der_oid(const uint8_t (&oid)[N]) {
    return der_tlv(0x06, oid, N);
}
// UTCTime for the years 1950 to 2049, GeneralizedTime otherwise (RFC 5280
// 4.1.2.5), of a normalised broken-down UTC time.
Der der_time(const struct tm& t);

}  // namespace velt
