// DER building blocks and the SET OF helpers of the signed-data writer.
#include "cms/sd_sets.h"

#include <algorithm>

#include "asn1/asn1.h"

namespace velt::cms {

Der der_tlv(uint8_t tag, const uint8_t* value, size_t len) {
    Der out;
    out.reserve(len + 6);
    out.push_back(tag);
    if (len < 0x80) {
        out.push_back(uint8_t(len));
    } else {
        uint8_t buf[8];
        int k = 0;
        for (size_t v = len; v; v >>= 8) buf[k++] = uint8_t(v);
        out.push_back(uint8_t(0x80 | k));
        while (k) out.push_back(buf[--k]);
    }
    if (len) out.insert(out.end(), value, value + len);
    return out;
}

Der der_cat(std::initializer_list<const Der*> parts) {
    Der out;
    size_t total = 0;
    for (const Der* d : parts)
        if (d) total += d->size();
    out.reserve(total);
    for (const Der* d : parts)
        if (d) out.insert(out.end(), d->begin(), d->end());
    return out;
}

Der der_null() {
    return Der{0x05, 0x00};
}

Der der_small_int(uint32_t v) {
    uint8_t buf[9];
    size_t n = asn_Long2Oct(buf, v);
    return der_tlv(0x02, buf, n);
}

Der der_oid(const char* name) {
    OidRec rec{};
    if (oid_SetOID(&rec, name) <= 0) return {};
    return der_tlv(0x06, rec.oct, size_t(rec.length));
}

Der der_octets(const uint8_t* p, size_t n) {
    return der_tlv(0x04, p, n);
}

bool DerReader::next(DerTlv& out) {
    if (pos >= n) return false;
    size_t i = pos;
    const uint8_t tag = p[i++];
    if ((tag & 0x1F) == 0x1F || i >= n) return false;
    size_t len = p[i++];
    if (len & 0x80) {
        const size_t k = len & 0x7F;
        if (k == 0 || k > 4 || k > n - i) return false;
        len = 0;
        for (size_t j = 0; j < k; j++) len = (len << 8) | p[i++];
    }
    if (len > n - i) return false;
    out.tag = tag;
    out.start = p + pos;
    out.value = p + i;
    out.len = len;
    out.total = i + len - pos;
    pos = i + len;
    return true;
}

bool der_parse_one(const uint8_t* p, size_t n, DerTlv& out) {
    DerReader r(p, n);
    return r.next(out) && r.at_end();
}

bool have_duplicate_in_set(const std::vector<Der>& set, const Der& item) {
    return std::find(set.begin(), set.end(), item) != set.end();
}

bool append_to_set(std::vector<Der>& set, Der item) {
    if (have_duplicate_in_set(set, item)) return false;
    set.push_back(std::move(item));
    return true;
}

long count_items_in_set(const uint8_t* set, size_t n) {
    DerTlv outer;
    if (!der_parse_one(set, n, outer)) return -1;
    DerReader r(outer);
    DerTlv t;
    long count = 0;
    while (r.next(t)) count++;
    return r.at_end() ? count : -1;
}

void sort_items_in_set(std::vector<Der>& items) {
    std::sort(items.begin(), items.end(), [](const Der& a, const Der& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
    });
}

Der sort_list_of_seq(const uint8_t* list, size_t n) {
    std::vector<Der> items;
    DerReader r(list, n);
    DerTlv t;
    while (r.next(t)) items.push_back(t.bytes());
    if (!r.at_end()) return {};
    sort_items_in_set(items);
    Der out;
    for (const Der& d : items) out.insert(out.end(), d.begin(), d.end());
    return out;
}

Der der_set_of(std::vector<Der> items, uint8_t tag) {
    sort_items_in_set(items);
    Der body;
    for (const Der& d : items) body.insert(body.end(), d.begin(), d.end());
    return der_tlv(tag, body);
}

}  // namespace velt::cms
