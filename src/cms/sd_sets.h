// A DER reader for the signed-data writer and the SET OF helpers
// (X.690 11.6: the elements of a SET OF in ascending order of their
// encodings). Internal to the signed-data writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "asn1/der_write.h"

namespace velt::cms {

// The shared DER writer, named here for the signed-data code and its tests.
using velt::Der;
using velt::der_cat;
using velt::der_header;
using velt::der_null;
using velt::der_octets;
using velt::der_oid;
using velt::der_seq;
using velt::der_tlv;
using velt::der_uint;

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
