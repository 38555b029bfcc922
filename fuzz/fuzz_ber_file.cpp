// BER parser over a file stream (the element-by-element reader and the INP_
// stream), and the streaming OCTET STRING reader over the same bytes.
#include <unistd.h>

#include "fuzz_common.h"
#include "util/inp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = tmpfile();
    if (!f) return 0;
    if (size && fwrite(data, 1, size, f) != size) {
        fclose(f);
        return 0;
    }
    rewind(f);
    for (int i = 0; i < 64; ++i) {
        AsnNode* c = asn_ReadFile(f);
        if (!c) break;
        int64_t n = asn_Size(c);
        FUZZ_CHECK(n > 0 && size_t(n) <= size);
        asn_Free(&c);
    }
    rewind(f);
    InpStream s;
    s.init(f, nullptr, 0);
    AsnNode* all = asn_ReadImplicitSetFromInput(&s);
    if (all) FUZZ_CHECK(size_t(asn_Size(all)) == size);
    asn_Free(&all);
    rewind(f);
    RdoReader* r = rdo_New();
    rdo_Init(r, size ? int64_t(data[0]) * 3 : -1, 0);
    uint8_t buf[7];
    for (int i = 0; i < 100000; ++i) {
        long k = rdo_ReadOctetString_Part(r, buf, sizeof buf, &s);
        if (k < 0) break;
    }
    rdo_Free(&r);
    fclose(f);
    return 0;
}
