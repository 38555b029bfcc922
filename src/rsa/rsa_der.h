// A small DER reader and writer for the RSA key structures, internal to the
// RSA module.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bigd/bigd.h"
#include "util/emem.h"

namespace rsader {

extern const uint8_t kRsaEncryptionOid[9];

struct Tlv {
    uint8_t tag = 0;
    const uint8_t* value = nullptr;
    size_t len = 0;
};

// Reads consecutive TLVs of a span; next() is false at the end or on a
// malformed header (lengths are checked against what remains).
struct Reader {
    const uint8_t* data;
    size_t len;
    size_t pos = 0;
    Reader(const uint8_t* d, size_t n) : data(d), len(n) {}
    bool next(Tlv& out);
    bool at_end() const { return pos == len; }
};

void put_header(velt::SecureBytes& out, uint8_t tag, size_t len);
void put(velt::SecureBytes& out, uint8_t tag, const uint8_t* v, size_t len);
void put_integer(velt::SecureBytes& out, const BdNumber* b);
void put_small_integer(velt::SecureBytes& out, uint8_t v);
void put_rsa_algorithm(velt::SecureBytes& out);
bool read_integer(const Tlv& t, const uint8_t*& v, size_t& len);
bool is_rsa_algorithm(const Tlv& alg);

}  // namespace rsader
