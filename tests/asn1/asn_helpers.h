// Small helpers shared by the ASN.1 tests.
#pragma once

#include <string>

#include "asn1/asn1.h"
#include "common/test_util.h"
#include "util/emem.h"

namespace asntest {

// Owns a chain for the length of a test.
struct Chain {
    AsnNode* p = nullptr;
    Chain() = default;
    explicit Chain(AsnNode* n) : p(n) {}
    ~Chain() { asn_Free(&p); }
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;
    AsnNode* get() const { return p; }
    AsnNode* release() {
        AsnNode* r = p;
        p = nullptr;
        return r;
    }
    explicit operator bool() const { return p != nullptr; }
};

// Lower-case hex of a chain's encoding; "" when it encodes to nothing.
inline std::string der_hex(AsnNode* chain) {
    int64_t n = 0;
    uint8_t* der = asn_Store(chain, &n);
    std::string s = der ? testutil::to_hex(der, size_t(n)) : "";
    efree_mem(der);
    return s;
}

inline AsnNode* parse_hex(const std::string& hex) {
    testutil::Bytes b = testutil::from_hex(hex);
    return asn_ReadBytes(b.data(), b.size());
}

inline std::string take_str(char* s) {
    std::string r = s ? s : "";
    efree_mem(s);
    return r;
}

}  // namespace asntest
