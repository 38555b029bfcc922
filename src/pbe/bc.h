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

// The CBC routines by cipher: padded ciphertext into out (true), or false for
// a bad key length; decryption writes the plaintext without padding, or
// returns false with out wiped and emptied when the padding is invalid.
bool bc_EncDES_CBC(std::vector<uint8_t>& out, const uint8_t* in, size_t n, const uint8_t key[8], const uint8_t iv[8]);
bool bc_EncTDEA_CBC(std::vector<uint8_t>& out, const uint8_t* in, size_t n, const uint8_t key[24],
                    const uint8_t iv[8]);
bool bc_EncAES_CBC(std::vector<uint8_t>& out, const uint8_t* in, size_t n, const uint8_t* key, long bits,
                   const uint8_t iv[16]);
bool bc_EncRC2_CBC(std::vector<uint8_t>& out, const uint8_t* in, size_t n, const uint8_t* key, size_t key_len,
                   long effective_bits, const uint8_t iv[8]);
bool bc_DecDES_CBC(velt::SecureBytes& out, const uint8_t* in, size_t n, const uint8_t key[8], const uint8_t iv[8]);
bool bc_DecTDEA_CBC(velt::SecureBytes& out, const uint8_t* in, size_t n, const uint8_t key[24], const uint8_t iv[8]);
bool bc_DecAES_CBC(velt::SecureBytes& out, const uint8_t* in, size_t n, const uint8_t* key, long bits,
                   const uint8_t iv[16]);
bool bc_DecRC2_CBC(velt::SecureBytes& out, const uint8_t* in, size_t n, const uint8_t* key, size_t key_len,
                   long effective_bits, const uint8_t iv[8]);

// Streaming CBC decryption for content of unknown length (identifiers 0
// Triple DES, 1 RC2, 2 to 4 AES-128/192/256). Decrypt takes input in pieces
// of any length and always holds back the last whole block, so that Unpad
// can check and strip the padding at the end.
struct BcDecrypter;
BcDecrypter* bc_decrypter_New();
// key of the identifier's length (RC2: key_len octets, rc2_bits effective
// bits); iv one block. 0, or -6 for a bad identifier or key length.
long bc_decrypter_Init(BcDecrypter* d, long alg, const uint8_t* key, size_t key_len, long rc2_bits,
                       const uint8_t* iv);
// Decrypts n octets into out (room for n + 16); returns the octets written.
long bc_decrypter_Decrypt(BcDecrypter* d, uint8_t* out, const uint8_t* in, size_t n);
// Ends the message: the last block's plaintext without padding into out
// (room for 16); its length, or -15 when the input was not a whole number of
// blocks or the padding is invalid.
long bc_decrypter_Unpad(BcDecrypter* d, uint8_t* out);
void bc_decrypter_Free(BcDecrypter** d);

// Key and block octets of the content-encryption identifiers (0 Triple DES,
// 1 RC2 of bits/8 octets, 2 and 5 16, 3 and 6 24, 4, 7 and 8 32; above 8 -1;
// blocks: 0 and 1 give 8, 2 to 4 give 16, others 0).
long bc_KeyBytes(long alg, long bits);
long bc_BlockBytes(long alg);
