// The SET OF helpers of the signed-data writer
// (X.690 11.6: the elements of a SET OF in ascending order of their
// encodings). Internal to the signed-data writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "asn1/der_read.h"
#include "asn1/der_write.h"

namespace velt::cms {

// The shared DER writer and reader, named here for the signed-data code and its tests.
using velt::Der;
using velt::der_cat;
using velt::der_header;
using velt::der_null;
using velt::der_octets;
using velt::der_oid;
using velt::der_parse_one;
using velt::der_seq;
using velt::der_tlv;
using velt::der_uint;
using velt::DerReader;
using velt::DerTlv;

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
