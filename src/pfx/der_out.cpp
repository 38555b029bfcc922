// DER writer of the PKCS #12 module (X.690 section 10: definite lengths in
// the fewest octets).
#include "pfx/der_out.h"

namespace velt::pfx {

Der der_tlv(uint8_t id, const uint8_t* body, size_t n) {
    Der out;
    out.reserve(n + 10);
    out.push_back(id);
    if (n < 0x80) {
        out.push_back(uint8_t(n));
    } else {
        uint8_t len[sizeof(size_t)];
        size_t k = 0;
        for (size_t v = n; v; v >>= 8) len[k++] = uint8_t(v);
        out.push_back(uint8_t(0x80 | k));
        while (k) out.push_back(len[--k]);
    }
    if (n) out.insert(out.end(), body, body + n);
    return out;
}

Der der_cat(std::initializer_list<const Der*> parts) {
    Der out;
    for (const Der* p : parts)
        if (p) out.insert(out.end(), p->begin(), p->end());
    return out;
}

Der der_uint(uint32_t v) {
    uint8_t b[5];
    size_t k = 0;
    // Big-endian magnitude with a leading zero octet when the top bit is set.
    uint8_t tmp[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    size_t i = 0;
    while (i < 3 && tmp[i] == 0) i++;
    if (tmp[i] & 0x80) b[k++] = 0;
    for (; i < 4; i++) b[k++] = tmp[i];
    return der_tlv(0x02, b, k);
}

}  // namespace velt::pfx
