// The TLV reader under the names the elliptic-curve key code uses, and its
// small-INTEGER check; internal to src/ecc (writing is asn1/der_write.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/der_read.h"

namespace velt::ecc::der {

using Tlv = velt::DerTlv;
using Reader = velt::DerReader;

// An INTEGER whose minimal encoding is 0..255; false otherwise.
bool read_small_int(const Tlv& t, int& v);

}  // namespace velt::ecc::der
