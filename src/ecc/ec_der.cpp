// DER reader for the elliptic-curve key structures.
#include "ecc/ec_der.h"

namespace velt::ecc::der {

bool Reader::next(Tlv& out) {
    if (!peek(out)) return false;
    pos += out.total;
    return true;
}

bool Reader::peek(Tlv& out) const {
    size_t p = pos;
    if (len - p < 2) return false;
    uint8_t tag = data[p++];
    if ((tag & 0x1F) == 0x1F) return false;
    size_t n = data[p++];
    if (n & 0x80) {
        size_t k = n & 0x7F;
        if (k == 0 || k > 4 || len - p < k) return false;
        n = 0;
        for (size_t i = 0; i < k; ++i) n = (n << 8) | data[p++];
    }
    if (n > len - p) return false;
    out.tag = tag;
    out.value = data + p;
    out.len = n;
    out.start = data + pos;
    out.total = p + n - pos;
    return true;
}

bool read_small_int(const Tlv& t, int& v) {
    if (t.tag != 0x02 || t.len == 0 || t.len > 2) return false;
    if (t.len == 2 && (t.value[0] != 0 || !(t.value[1] & 0x80))) return false;
    if (t.len == 1 && (t.value[0] & 0x80)) return false;
    v = t.value[t.len - 1];
    return true;
}

}  // namespace velt::ecc::der
