// The PEM and base64 recognition cascade over text: strings and streams.
#include <string>

#include "encode/pem.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const char* s = text.c_str();
    (void)PEM_IsPEMString(s);
    (void)PEM_IsBase64SeqString(s);
    size_t body = 0;
    const char* b = PEM_FindEncoded(text.data(), text.size(), &body);
    if (b) FUZZ_CHECK(b >= text.data() && b + body <= text.data() + text.size());
    AsnNode* c = pemReadAsnFromString(s, 0);
    if (c) fuzz_walk_chain(c);
    asn_Free(&c);
    c = PEM_ReadPEMString(s);
    asn_Free(&c);
    c = asn_FromBase64(s);
    asn_Free(&c);
    // Stream readers over the same bytes (never a named file).
    if (size) {
        FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
        if (f) {
            c = PEM_ReadSeqFromBEROrPEMStream(f);
            asn_Free(&c);
            rewind(f);
            c = PEM_ReadPEMOrB64Stream(f);
            asn_Free(&c);
            rewind(f);
            size_t n = 0;
            uint8_t* raw = PEM_ReadStream(f, &n);
            efree_mem(raw);
            rewind(f);
            FILE* sink = fopen("/dev/null", "wb");
            if (sink) {
                (void)b64decap_f2f(sink, f);
                fclose(sink);
            }
            fclose(f);
        }
    }
    return 0;
}
