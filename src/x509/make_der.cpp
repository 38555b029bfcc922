// DER writer and TLV reader of the certificate and request builders.
#include "x509/make_der.h"

#include <cstdio>
#include <cstring>

#include "asn1/asn1.h"
#include "encode/encode.h"

namespace velt::x509::mk {

Der tlv(uint8_t tag, const uint8_t* value, size_t len) {
    Der out;
    out.reserve(len + 10);
    out.push_back(tag);
    if (len < 0x80) {
        out.push_back(uint8_t(len));
    } else {
        uint8_t n[8];
        size_t k = 0;
        for (size_t v = len; v; v >>= 8) n[k++] = uint8_t(v);
        out.push_back(uint8_t(0x80 | k));
        while (k) out.push_back(n[--k]);
    }
    if (len) out.insert(out.end(), value, value + len);
    return out;
}

Der uint_der(const uint8_t* magnitude, size_t len) {
    while (len && magnitude[0] == 0) {
        ++magnitude;
        --len;
    }
    Der body;
    if (!len || (magnitude[0] & 0x80)) body.push_back(0);
    if (len) body.insert(body.end(), magnitude, magnitude + len);
    return tlv(0x02, body);
}

Der uint_der(uint64_t value) {
    uint8_t b[8];
    for (int i = 7; i >= 0; --i, value >>= 8) b[i] = uint8_t(value);
    return uint_der(b, sizeof b);
}

Der oid_der(const char* nameOrDotted) {
    OidRec rec;
    if (!nameOrDotted || !*nameOrDotted) return {};
    if (nameOrDotted[0] >= '0' && nameOrDotted[0] <= '9') {
        if (oid_SetOIDFromDotted(&rec, nameOrDotted) <= 0) return {};
    } else if (oid_SetOID(&rec, nameOrDotted) <= 0) {
        return {};
    }
    return tlv(0x06, rec.oct, size_t(rec.length));
}

Der boolean_der(bool value) {
    const uint8_t v = value ? 0xFF : 0x00;
    return tlv(0x01, &v, 1);
}

Der null_der() {
    return Der{0x05, 0x00};
}

Der time_der(const struct tm& t) {
    const int year = t.tm_year + 1900;
    char buf[32];
    int n;
    if (year >= 1950 && year <= 2049) {
        n = snprintf(buf, sizeof buf, "%02d%02d%02d%02d%02d%02dZ", year % 100, t.tm_mon + 1, t.tm_mday,
                     t.tm_hour, t.tm_min, t.tm_sec);
        return tlv(0x17, reinterpret_cast<const uint8_t*>(buf), size_t(n));
    }
    n = snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02dZ", year, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                 t.tm_min, t.tm_sec);
    return tlv(0x18, reinterpret_cast<const uint8_t*>(buf), size_t(n));
}

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
