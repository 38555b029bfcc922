// Loads and stores of integers in a stated byte order. They compile to a
// single move (plus a byte swap) and avoid unaligned pointer casts.
#pragma once

#include <cstdint>
#include <cstring>

namespace velt {

inline uint16_t load_be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t load_be32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return __builtin_bswap32(v);
}
inline uint64_t load_be64(const uint8_t* p) {
    uint64_t v;
    memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}
inline uint32_t load_le32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}
inline uint64_t load_le64(const uint8_t* p) {
    uint64_t v;
    memcpy(&v, p, 8);
    return v;
}
inline void store_be16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void store_be32(uint8_t* p, uint32_t v) {
    v = __builtin_bswap32(v);
    memcpy(p, &v, 4);
}
inline void store_be64(uint8_t* p, uint64_t v) {
    v = __builtin_bswap64(v);
    memcpy(p, &v, 8);
}
inline void store_le32(uint8_t* p, uint32_t v) { memcpy(p, &v, 4); }
inline void store_le64(uint8_t* p, uint64_t v) { memcpy(p, &v, 8); }

inline uint32_t rotl32(uint32_t x, int n) { return (x << n) | (x >> ((32 - n) & 31)); }
inline uint32_t rotr32(uint32_t x, int n) { return (x >> n) | (x << ((32 - n) & 31)); }
inline uint64_t rotl64(uint64_t x, int n) { return (x << n) | (x >> ((64 - n) & 63)); }
inline uint64_t rotr64(uint64_t x, int n) { return (x >> n) | (x << ((64 - n) & 63)); }

}  // namespace velt
