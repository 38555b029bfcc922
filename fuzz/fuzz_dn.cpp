// Distinguished-name text: parsing, building a Name and printing it in both
// forms; a built Name always matches itself.
#include <string>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    long options = (data[0] & 1) ? 0x800000 : 0;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    long err = 0;
    AsnNode* name = dn_MakeNameFromString(text.c_str(), options, &err);
    if (!name) return 0;
    FUZZ_CHECK(err == 0);
    for (long opt : {0L, 0x1000L, 0x400000L, 0x800000L, 0x1000L | 0x800000L, 0x1000L | 0x400000L}) {
        long n = x509getDNStringFromAsn(nullptr, 0, name, nullptr, opt);
        FUZZ_CHECK(n >= 0);
        std::string out(size_t(n) + 1, '\0');
        FUZZ_CHECK(x509getDNStringFromAsn(out.data(), n, name, ";", opt) == n);
    }
    FUZZ_CHECK(x509matchNames(name, name) == 1);
    int64_t len = 0;
    uint8_t* der = asn_Store(name, &len);
    FUZZ_CHECK(der != nullptr);
    AsnNode* back = asn_ReadBytes(der, size_t(len));
    FUZZ_CHECK(back && x509matchNames(name, back) == 1);
    asn_Free(&back);
    efree_mem(der);
    asn_Free(&name);
    return 0;
}
