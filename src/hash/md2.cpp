// MD2 (RFC 1319). Only for reading old signatures.
#include "hash/hash.h"
#include "util/emem.h"

#include <cstring>

namespace velt::hash {
namespace {

// The substitution table of RFC 1319 section 3.2, digits of pi.
constexpr uint8_t PI_SUBST[256] = {
    41,  46,  67,  201, 162, 216, 124, 1,   61,  54,  84,  161, 236, 240, 6,   19,  98,  167, 5,   243, 192, 199,
    115, 140, 152, 147, 43,  217, 188, 76,  130, 202, 30,  155, 87,  60,  253, 212, 224, 22,  103, 66,  111, 24,
    138, 23,  229, 18,  190, 78,  196, 214, 218, 158, 222, 73,  160, 251, 245, 142, 187, 47,  238, 122, 169, 104,
    121, 145, 21,  178, 7,   63,  148, 194, 16,  137, 11,  34,  95,  33,  128, 127, 93,  154, 90,  144, 50,  39,
    53,  62,  204, 231, 191, 247, 151, 3,   255, 25,  48,  179, 72,  165, 181, 209, 215, 94,  146, 42,  172, 86,
    170, 198, 79,  184, 56,  210, 150, 164, 125, 182, 118, 252, 107, 226, 156, 116, 4,   241, 69,  157, 112, 89,
    100, 113, 135, 32,  134, 91,  207, 101, 230, 45,  168, 2,   27,  96,  37,  173, 174, 176, 185, 246, 28,  70,
    97,  105, 52,  64,  126, 15,  85,  71,  163, 35,  221, 81,  175, 58,  195, 92,  249, 206, 186, 197, 234, 38,
    44,  83,  13,  110, 133, 40,  132, 9,   211, 223, 205, 244, 65,  129, 77,  82,  106, 220, 55,  200, 108, 193,
    171, 250, 36,  225, 123, 8,   12,  189, 177, 74,  120, 136, 149, 139, 227, 99,  232, 109, 233, 203, 213, 254,
    59,  0,   29,  57,  242, 239, 183, 14,  102, 88,  208, 228, 166, 119, 114, 248, 235, 117, 75,  10,  49,  68,
    80,  180, 143, 237, 31,  26,  219, 153, 141, 51,  159, 17,  131, 20};

void md2_block(Md2Ctx& c, const uint8_t* p) {
    for (int i = 0; i < 16; i++) {
        c.state[16 + i] = p[i];
        c.state[32 + i] = uint8_t(c.state[i] ^ p[i]);
    }
    unsigned t = 0;
    for (int j = 0; j < 18; j++) {
        for (int k = 0; k < 48; k++) t = c.state[k] ^= PI_SUBST[t];
        t = (t + unsigned(j)) & 0xff;
    }
    uint8_t l = c.checksum[15];
    for (int i = 0; i < 16; i++) l = c.checksum[i] ^= PI_SUBST[p[i] ^ l];
}

}  // namespace

void md2_init(Md2Ctx& c) { memset(&c, 0, sizeof c); }

void md2_update(Md2Ctx& c, const uint8_t* data, size_t n) {
    while (n) {
        size_t take = 16 - c.used;
        if (take > n) take = n;
        memcpy(c.buf + c.used, data, take);
        c.used += uint32_t(take);
        data += take;
        n -= take;
        if (c.used == 16) {
            md2_block(c, c.buf);
            c.used = 0;
        }
    }
}

void md2_final(Md2Ctx& c, uint8_t out[16]) {
    uint8_t pad = uint8_t(16 - c.used);
    memset(c.buf + c.used, pad, pad);
    md2_block(c, c.buf);
    uint8_t cs[16];
    memcpy(cs, c.checksum, 16);
    md2_block(c, cs);
    memcpy(out, c.state, 16);
    ewipe(cs, sizeof cs);
    ewipe(&c, sizeof c);
}

}  // namespace velt::hash
