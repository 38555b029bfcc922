// The TLV span reader.
#include "asn1/der_read.h"

namespace velt {

bool DerReader::peek(DerTlv& out) const {
    if (pos >= len || len - pos < 2) return false;
    size_t p = pos;
    const uint8_t tag = data[p++];
    if ((tag & 0x1F) == 0x1F) return false;
    size_t n = data[p++];
    if (n & 0x80) {
        const size_t k = n & 0x7F;
        if (k == 0 || k > maxLenOctets || k > sizeof(size_t) || len - p < k) return false;
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

bool DerReader::next(DerTlv& out) {
    if (!peek(out)) return false;
    pos += out.total;
    return true;
}

bool der_parse_one(const uint8_t* p, size_t n, DerTlv& out) {
    DerReader r(p, n);
    return r.next(out) && r.at_end();
}

}  // namespace velt
