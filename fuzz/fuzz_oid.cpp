// OID text and octets: dotted text that encodes reads back as the same arcs
// (leading zeros dropped), and octets that decode re-encode to the same
// octets.
#include <string>

#include "fuzz_common.h"

static std::string canonical(const std::string& s) {
    std::string out, arc;
    for (size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == '.') {
            size_t k = 0;
            while (k + 1 < arc.size() && arc[k] == '0') ++k;
            out += arc.substr(k);
            if (i != s.size()) out += '.';
            arc.clear();
        } else {
            arc += s[i];
        }
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    OidRec rec;
    int n = oid_SetOIDFromDotted(&rec, text.c_str());
    if (n > 0) {
        FUZZ_CHECK(n <= 31);
        char back[1024];
        long k = oid_OctetsToDotted(rec.oct, size_t(n), back, sizeof back);
        FUZZ_CHECK(k > 0 && canonical(text.c_str()) == back);
        (void)oid_SetRef(&rec);
    }
    char out[1024];
    long k = oid_OctetsToDotted(data, size, out, sizeof out);
    if (k > 0 && size_t(k) < sizeof out) {
        uint8_t enc[64];
        long m = oid_DottedToOctets(out, enc, sizeof enc);
        // Octets with non-minimal groups are refused when read, so whatever
        // reads back with three or more arcs re-encodes identically.
        if (m > 0) FUZZ_CHECK(size_t(m) == size && memcmp(enc, data, size) == 0);
    }
    return 0;
}
