// BER parser over memory: parsing never fails unsafely, and a parsed chain
// re-encodes to exactly the octets it was read from.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AsnNode* one = asn_ReadBytes(data, size);
    if (one) {
        int64_t n = 0;
        uint8_t* der = asn_Store(one, &n);
        FUZZ_CHECK(der && size_t(n) <= size && memcmp(der, data, size_t(n)) == 0);
        efree_mem(der);
        fuzz_walk_chain(one);
        AsnNode* dup = asn_Duplicate(one);
        (void)asn_Ndef2Fixed(&dup);
        asn_Free(&dup);
        asn_Free(&one);
    }
    AsnNode* all = asn_ReadBytesImplicitSet(data, size);
    if (all) {
        int64_t n = 0;
        uint8_t* der = asn_Store(all, &n);
        FUZZ_CHECK(der && size_t(n) == size && memcmp(der, data, size) == 0);
        efree_mem(der);
        asn_Free(&all);
    }
    int64_t off = 0, len = 0;
    if (asn_SearchInData(&off, &len, data, size, -1, 3, -1)) FUZZ_CHECK(off >= 0 && size_t(off) < size);
    AsnInput in = AsnInput::memory(data, size);
    AsnNode* seq = asn_ReadSequenceFromInput(&in);
    FUZZ_CHECK(in.tell() == 0);
    asn_Free(&seq);
    int64_t a, b, c, d;
    (void)asn_ParseSignedFromInput(&in, &a, &b, &c, &d);
    return 0;
}
