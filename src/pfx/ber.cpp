// Bounded BER element reader (X.690 section 8.1) for the PKCS #12 module.
#include "pfx/ber.h"

#include <cstring>

namespace velt::pfx {
namespace {

constexpr int kMaxDepth = 64;

bool read_at(const uint8_t* p, size_t n, Tlv* out, int depth) {
    if (depth > kMaxDepth || n < 2) return false;
    size_t i = 0;
    const uint8_t id = p[i++];
    Tlv t;
    t.start = p;
    t.cls = id & 0xC0;
    t.constructed = (id & 0x20) != 0;
    uint32_t tag = id & 0x1F;
    if (tag == 0x1F) {
        // High tag number form: base-128 digits, at most four.
        tag = 0;
        for (int k = 0;; k++) {
            if (i >= n || k == 4) return false;
            uint8_t b = p[i++];
            tag = (tag << 7) | (b & 0x7F);
            if (!(b & 0x80)) break;
        }
    }
    t.tag = tag;
    if (i >= n) return false;
    uint8_t l = p[i++];
    if (l == 0x80) {
        // Indefinite length: constructed only, ended by 00 00.
        if (!t.constructed) return false;
        t.indefinite = true;
        t.body = p + i;
        size_t pos = i;
        for (;;) {
            if (n - pos < 2) return false;
            if (p[pos] == 0 && p[pos + 1] == 0) {
                t.body_len = pos - i;
                t.total = pos + 2;
                break;
            }
            Tlv child;
            if (!read_at(p + pos, n - pos, &child, depth + 1)) return false;
            pos += child.total;
        }
        *out = t;
        return true;
    }
    size_t len = 0;
    if (l & 0x80) {
        const size_t k = l & 0x7F;
        if (k > sizeof(size_t) || k > n - i) return false;
        for (size_t j = 0; j < k; j++) len = (len << 8) | p[i++];
    } else {
        len = l;
    }
    if (len > n - i) return false;
    t.body = p + i;
    t.body_len = len;
    t.total = i + len;
    // Constructed contents must themselves be well formed.
    if (t.constructed) {
        size_t pos = 0;
        while (pos < len) {
            Tlv child;
            if (!read_at(t.body + pos, len - pos, &child, depth + 1)) return false;
            pos += child.total;
        }
    }
    *out = t;
    return true;
}

bool octets_into(const Tlv& t, SecureBytes* out, int depth) {
    if (!t.constructed) {
        out->insert(out->end(), t.body, t.body + t.body_len);
        return true;
    }
    if (depth > kMaxDepth) return false;
    std::vector<Tlv> parts;
    if (!ber_children(t, &parts)) return false;
    for (const Tlv& s : parts)
        if (!s.universal(4) || !octets_into(s, out, depth + 1)) return false;
    return true;
}

}  // namespace

bool ber_read(const uint8_t* p, size_t n, Tlv* out) {
    return p && read_at(p, n, out, 0);
}

bool ber_children(const Tlv& t, std::vector<Tlv>* out) {
    out->clear();
    if (!t.constructed) return false;
    size_t pos = 0;
    while (pos < t.body_len) {
        Tlv c;
        if (!read_at(t.body + pos, t.body_len - pos, &c, 1)) return false;
        out->push_back(c);
        pos += c.total;
    }
    return true;
}

bool ber_octets(const Tlv& t, SecureBytes* out) {
    out->clear();
    return octets_into(t, out, 0);
}

bool ber_oid_is(const Tlv& t, const uint8_t* oid, size_t n) {
    return t.oid() && t.body_len == n && std::memcmp(t.body, oid, n) == 0;
}

int ber_integer(const Tlv& t, uint64_t* value) {
    if (!t.integer() || t.body_len == 0) return 0;
    if (t.body[0] & 0x80) return -1;
    uint64_t v = 0;
    for (size_t i = 0; i < t.body_len; i++) {
        if (v >> 55) {
            *value = UINT64_MAX;
            return 1;
        }
        v = (v << 8) | t.body[i];
    }
    *value = v;
    return 1;
}

}  // namespace velt::pfx
