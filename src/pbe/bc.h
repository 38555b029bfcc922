// CBC encryption with PKCS #5 padding over DES, Triple DES, RC2 and AES, for
// the password-based schemes (and later the content encryption of CMS).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/emem.h"

namespace velt::pbe {

enum class Bc { kDes, kTdea, kRc2, kAes };

// Encrypts n octets, padded to the block by the PKCS #5 rule, into out.
// key_len: DES 8, Triple DES 24, AES 16/24/32, RC2 1..128 with rc2_bits
// effective bits (1..1024). iv is one block. False for a bad key length.
bool cbc_encrypt(Bc alg, const uint8_t* key, size_t key_len, unsigned rc2_bits, const uint8_t* iv,
                 const uint8_t* in, size_t n, std::vector<uint8_t>& out);
// Decrypts and removes the padding (checked in constant time). False, with
// out emptied, when the length is not a positive multiple of the block, the
// key length is bad or the padding is invalid.
bool cbc_decrypt(Bc alg, const uint8_t* key, size_t key_len, unsigned rc2_bits, const uint8_t* iv,
                 const uint8_t* in, size_t n, velt::SecureBytes& out);
size_t block_bytes(Bc alg);

}  // namespace velt::pbe

// Key and block octets of the content-encryption identifiers (0 Triple DES,
// 1 RC2 of bits/8 octets, 2 and 5 16, 3 and 6 24, 4, 7 and 8 32; above 8 -1;
// blocks: 0 and 1 give 8, 2 to 4 give 16, others 0).
long bc_KeyBytes(long alg, long bits);
long bc_BlockBytes(long alg);
