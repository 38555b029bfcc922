// DER reader and writer for the elliptic-curve key structures.
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

void put_header(SecureBytes& out, uint8_t tag, size_t len) {
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

void put(SecureBytes& out, uint8_t tag, const uint8_t* v, size_t len) {
    put_header(out, tag, len);
    if (len) out.insert(out.end(), v, v + len);
}

void wrap(SecureBytes& out, uint8_t tag, const SecureBytes& body) {
    put(out, tag, body.data(), body.size());
}

void put_small_int(SecureBytes& out, uint8_t v) {
    out.push_back(0x02);
    if (v & 0x80) {
        out.push_back(2);
        out.push_back(0);
    } else {
        out.push_back(1);
    }
    out.push_back(v);
}

bool read_small_int(const Tlv& t, int& v) {
    if (t.tag != 0x02 || t.len == 0 || t.len > 2) return false;
    if (t.len == 2 && (t.value[0] != 0 || !(t.value[1] & 0x80))) return false;
    if (t.len == 1 && (t.value[0] & 0x80)) return false;
    v = t.value[t.len - 1];
    return true;
}

}  // namespace velt::ecc::der
