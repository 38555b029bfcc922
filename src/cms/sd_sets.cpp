// The SET OF helpers of the signed-data writer.
#include "cms/sd_sets.h"

#include <algorithm>

namespace velt::cms {

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
