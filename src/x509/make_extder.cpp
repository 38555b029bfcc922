// DER of the extensions the builders write (RFC 5280 4.2.1).
#include <cstring>

#include "asn1/asn1.h"
#include "frame/error.h"
#include "x509/make_int.h"

namespace velt::x509::mk {

void ExtList::add(const Der& oid, int critical, const Der& value) {
    Der ext = oid;
    if (critical >= 0) der_append(ext, der_bool(critical != 0));
    der_append(ext, der_tlv(0x04, value));
    der_append(body_, der_tlv(0x30, ext));
    oids_.push_back(oid);
}

void ExtList::add_raw(const Der& extension) {
    der_append(body_, extension);
    Tlv e, oid;
    if (single_element(extension.data(), extension.size(), &e)) {
        Reader r(e);
        if (r.next(oid)) oids_.push_back(copy(oid));
    }
}

long ExtList::check() const {
    for (size_t i = 0; i < oids_.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (oids_[i] == oids_[j]) {
                char dotted[128] = "?";
                if (oids_[i].size() > 2)
                    oid_OctetsToDotted(oids_[i].data() + 2, oids_[i].size() - 2, dotted, sizeof dotted);
                eprintf("Extension %s occurs twice", dotted);
                return BAD_PARAM_ERROR;
            }
        }
    }
    return 0;
}

Der general_names(const ExtSettings& s) {
    Der body;
    for (const AltNameEntry& e : s.altNames) der_append(body, der_tlv(uint8_t(0x80 | e.tag), e.value));
    return der_tlv(0x30, body);
}

Der key_usage_bits(uint32_t bits) {
    bits &= kKeyUsageMask;
    if (!bits) return {};
    // Named bit i is bit 7 - (i % 8) of octet i / 8; trailing zero bits are
    // left out and counted as unused (X.690 11.2.2).
    int last = 8;
    while (!(bits & (1u << last))) --last;
    uint8_t oct[2] = {0, 0};
    for (int i = 0; i <= last; ++i)
        if (bits & (1u << i)) oct[i / 8] |= uint8_t(0x80 >> (i % 8));
    const size_t n = size_t(last / 8 + 1);
    const uint8_t unused = uint8_t(8 * n - size_t(last) - 1);
    uint8_t body[3] = {unused, oct[0], oct[1]};
    return der_tlv(0x03, body, n + 1);
}

Der ext_key_usage(const ExtSettings& s) {
    Der body;
    for (const std::string& name : s.extKeyUsage) der_append(body, der_oid(name.c_str()));
    return der_tlv(0x30, body);
}

}  // namespace velt::x509::mk
