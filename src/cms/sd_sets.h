// DER building blocks for the signed-data writer and the SET OF helpers
// (X.690 11.6: the elements of a SET OF in ascending order of their
// encodings). Internal to the signed-data writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velt::cms {

using Der = std::vector<uint8_t>;

// ---- Writers: each returns one complete TLV ----
Der der_tlv(uint8_t tag, const uint8_t* value, size_t len);
inline Der der_tlv(uint8_t tag, const Der& value) {
    return der_tlv(tag, value.data(), value.size());
}
// Concatenation of TLVs (the contents of a constructed value).
Der der_cat(std::initializer_list<const Der*> parts);
inline Der der_seq(std::initializer_list<const Der*> parts) {
    return der_tlv(0x30, der_cat(parts));
}
Der der_null();
Der der_small_int(uint32_t v);
// OBJECT IDENTIFIER of a name in the OID table; empty when unknown.
Der der_oid(const char* name);
Der der_octets(const uint8_t* p, size_t n);
inline Der der_octets(const Der& v) {
    return der_octets(v.data(), v.size());
}

// ---- Reader over a span of definite-length DER ----
struct DerTlv {
    uint8_t tag = 0;
    const uint8_t* value = nullptr;
    size_t len = 0;
    const uint8_t* start = nullptr;  // first header octet
    size_t total = 0;                // header and value
    Der bytes() const { return Der(start, start + total); }
};
struct DerReader {
    const uint8_t* p;
    size_t n;
    size_t pos = 0;
    DerReader(const uint8_t* d, size_t len) : p(d), n(len) {}
    explicit DerReader(const DerTlv& t) : p(t.value), n(t.len) {}
    // False at the end or on a malformed header: single-octet tags,
    // definite lengths of at most four octets checked against what remains.
    bool next(DerTlv& out);
    bool at_end() const { return pos == n; }
};
// The one TLV filling the span exactly; false otherwise.
bool der_parse_one(const uint8_t* p, size_t n, DerTlv& out);

// ---- SET OF helpers ----
// True when an element with the same encoding is already in the set.
bool have_duplicate_in_set(const std::vector<Der>& set, const Der& item);
// Adds item unless an equal one is present; true when added.
bool append_to_set(std::vector<Der>& set, Der item);
// Number of elements of a SET (or any constructed TLV) encoding; -1 when
// the encoding is malformed.
long count_items_in_set(const uint8_t* set, size_t n);
// Sorts elements into DER order (ascending octet strings; a prefix first).
void sort_items_in_set(std::vector<Der>& items);
// The concatenation of a run of TLVs (a list of SEQUENCEs such as
// certificates) sorted into DER order; empty when malformed.
Der sort_list_of_seq(const uint8_t* list, size_t n);
// SET { sorted items }, or [tag] IMPLICIT SET for a context tag.
Der der_set_of(std::vector<Der> items, uint8_t tag = 0x31);

}  // namespace velt::cms
