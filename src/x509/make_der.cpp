// PEM output and TLV reader of the certificate and request builders.
#include "x509/make_der.h"

#include <cstring>

#include "encode/encode.h"

namespace velt::x509::mk {

std::string pem_text(const Der& der, const char* label) {
    std::string b64 = b64_string(der.data(), der.size());
    std::string out = std::string("-----BEGIN ") + label + "-----\r\n";
    for (size_t at = 0; at < b64.size(); at += 64) {
        out.append(b64, at, 64);
        out += "\r\n";
    }
    out += std::string("-----END ") + label + "-----\r\n";
    return out;
}

bool Reader::next(Tlv& out) {
    if (pos >= len || len - pos < 2) return false;
    const uint8_t* p = data + pos;
    size_t left = len - pos;
    if ((p[0] & 0x1F) == 0x1F) return false;  // multi-octet tags never occur in these structures
    size_t hdr = 2, vlen = p[1];
    if (vlen == 0x80) return false;  // indefinite length
    if (vlen > 0x80) {
        size_t k = vlen & 0x7F;
        if (k > sizeof(size_t) || left < 2 + k) return false;
        vlen = 0;
        for (size_t i = 0; i < k; ++i) vlen = (vlen << 8) | p[2 + i];
        hdr += k;
    }
    if (vlen > left - hdr) return false;
    out.tag = p[0];
    out.start = p;
    out.value = p + hdr;
    out.len = vlen;
    out.total = hdr + vlen;
    pos += out.total;
    return true;
}

bool single_element(const uint8_t* p, size_t n, Tlv* out) {
    Reader r(p, n);
    Tlv t;
    if (!r.next(t) || !r.at_end()) return false;
    if (out) *out = t;
    return true;
}

}  // namespace velt::x509::mk
