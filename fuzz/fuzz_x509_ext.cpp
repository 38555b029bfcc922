// Extension parameter strings of the certificate and request builders: the
// parser never fails on any text, and whatever it accepts builds into
// well-formed DER elements.
#include <string>

#include "fuzz_common.h"
#include "x509/make.h"
#include "x509/make_int.h"

using namespace velt::x509;

namespace {

bool one_element(const mk::Der& d) {
    return mk::single_element(d.data(), d.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const ExtFor kind = (data[0] & 1) ? ExtFor::kRequest : ExtFor::kCertificate;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    ExtSettings s;
    long items = -1;
    long rc = make_ext_parse(s, text.c_str(), kind, &items);
    FUZZ_CHECK(rc == 0 || rc == 6);
    FUZZ_CHECK(items >= 0);
    if (rc != 0) return 0;
    FUZZ_CHECK(one_element(mk::general_names(s)));
    FUZZ_CHECK(one_element(mk::ext_key_usage(s)));
    FUZZ_CHECK((s.keyUsage & ~kKeyUsageMask) == 0);
    if (s.keyUsage) FUZZ_CHECK(one_element(mk::key_usage_bits(s.keyUsage)));
    if (s.hasSerial) {
        mk::Der serial = velt::der_uint(s.serial.data(), s.serial.size());
        FUZZ_CHECK(one_element(serial) && serial.size() >= 3);
        // Minimal and non-negative: no redundant leading octet.
        if (serial[1] < 0x80) {
            FUZZ_CHECK(!(serial[2] & 0x80));
            if (serial.size() > 3) FUZZ_CHECK(!(serial[2] == 0 && !(serial[3] & 0x80)));
        }
    }
    for (const AltNameEntry& e : s.altNames)
        if (e.tag == kGnIp) FUZZ_CHECK(e.value.size() == 4 || e.value.size() == 16);
    mk::ExtList list;
    for (const ExtraExtension& x : s.extras) {
        FUZZ_CHECK(!velt::der_oid(x.oid.c_str()).empty() && one_element(x.der));
        list.add(velt::der_oid(x.oid.c_str()), x.critical ? 1 : -1, x.der);
    }
    if (!list.empty()) FUZZ_CHECK(one_element(list.sequence()));
    return 0;
}
