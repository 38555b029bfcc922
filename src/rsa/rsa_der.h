// The RSA key structures' DER pieces (INTEGERs, the rsaEncryption
// AlgorithmIdentifier) over the shared TLV reader and writer; internal to
// the RSA module.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/der_read.h"
#include "bigd/bigd.h"
#include "util/emem.h"

namespace rsader {

extern const uint8_t kRsaEncryptionOid[9];

using Tlv = velt::DerTlv;
using Reader = velt::DerReader;

void put_integer(velt::SecureBytes& out, const BdNumber* b);
void put_small_integer(velt::SecureBytes& out, uint8_t v);
void put_rsa_algorithm(velt::SecureBytes& out);
bool read_integer(const Tlv& t, const uint8_t*& v, size_t& len);
bool is_rsa_algorithm(const Tlv& alg);

}  // namespace rsader
