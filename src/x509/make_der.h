// A small DER writer and reader for the certificate and request builders:
// the structures are assembled bottom-up as octet vectors (X.690 DER, short
// and long definite lengths), and the few fields taken from an issuer
// certificate or a request are found with a bounds-checked TLV reader.
// Internal to the making code of src/x509.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace velt::x509::mk {

using Der = std::vector<uint8_t>;

// ---- Writing ----
// One TLV with a single-octet identifier.
Der tlv(uint8_t tag, const uint8_t* value, size_t len);
inline Der tlv(uint8_t tag, const Der& value) {
    return tlv(tag, value.data(), value.size());
}
inline Der seq(const Der& body) {
    return tlv(0x30, body);
}
// Concatenation.
inline void add(Der& out, const Der& more) {
    out.insert(out.end(), more.begin(), more.end());
}
// INTEGER of an unsigned big-endian magnitude: leading zero octets removed,
// one 00 put back when the top bit is set, and 02 01 00 for zero or nothing.
Der uint_der(const uint8_t* magnitude, size_t len);
Der uint_der(uint64_t value);
// OBJECT IDENTIFIER of a name of the OID table or of dotted text; empty when
// neither gives one.
Der oid_der(const char* nameOrDotted);
Der boolean_der(bool value);
Der null_der();
// UTCTime for the years 1950 to 2049, GeneralizedTime otherwise (RFC 5280
// 4.1.2.5), of a normalised broken-down UTC time.
Der time_der(const struct tm& t);
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
