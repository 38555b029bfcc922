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

bool single_element(const uint8_t* p, size_t n, Tlv* out) {
    Reader r(p, n);
    Tlv t;
    if (!r.next(t) || !r.at_end()) return false;
    if (out) *out = t;
    return true;
}

}  // namespace velt::x509::mk
