// The parts of the DER writer that need the OID table or formatting.
#include "asn1/der_write.h"

#include <cstdio>

#include "asn1/asn1.h"

namespace velt {

Der der_cat(std::initializer_list<const Der*> parts) {
    size_t total = 0;
    for (const Der* d : parts)
        if (d) total += d->size();
    Der out;
    out.reserve(total);
    for (const Der* d : parts)
        if (d) out.insert(out.end(), d->begin(), d->end());
    return out;
}

Der der_bool(bool value) {
    const uint8_t v = value ? 0xFF : 0x00;
    return der_tlv(0x01, &v, 1);
}

Der der_oid(const char* nameOrDotted) {
    OidRec rec{};
    if (!nameOrDotted || !*nameOrDotted) return {};
    if (nameOrDotted[0] >= '0' && nameOrDotted[0] <= '9') {
        if (oid_SetOIDFromDotted(&rec, nameOrDotted) <= 0) return {};
    } else if (oid_SetOID(&rec, nameOrDotted) <= 0) {
        return {};
    }
    return der_tlv(0x06, rec.oct, size_t(rec.length));
}

Der der_time(const struct tm& t) {
    const int year = t.tm_year + 1900;
    char buf[32];
    int n;
    if (year >= 1950 && year <= 2049) {
        n = snprintf(buf, sizeof buf, "%02d%02d%02d%02d%02d%02dZ", year % 100, t.tm_mon + 1, t.tm_mday,
                     t.tm_hour, t.tm_min, t.tm_sec);
        return der_tlv(0x17, reinterpret_cast<const uint8_t*>(buf), size_t(n));
    }
    n = snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02dZ", year, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                 t.tm_min, t.tm_sec);
    return der_tlv(0x18, reinterpret_cast<const uint8_t*>(buf), size_t(n));
}

}  // namespace velt
