// Small INTEGER check of the elliptic-curve key structures.
#include "ecc/ec_der.h"

namespace velt::ecc::der {

bool read_small_int(const Tlv& t, int& v) {
    if (t.tag != 0x02 || t.len == 0 || t.len > 2) return false;
    if (t.len == 2 && (t.value[0] != 0 || !(t.value[1] & 0x80))) return false;
    if (t.len == 1 && (t.value[0] & 0x80)) return false;
    v = t.value[t.len - 1];
    return true;
}

}  // namespace velt::ecc::der
