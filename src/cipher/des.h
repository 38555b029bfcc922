// DES (FIPS 46-3) and Triple DES (SP 800-67: three-key EDE with a 24-byte
// key K1 || K2 || K3) block functions, and the CBC loops built on them.
//
// The rounds use combined S-box/permutation tables (2 KiB, eight tables of
// 64 words): the classic table-driven DES. Parity bits are ignored.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::des {

inline constexpr size_t kBlock = 8;

// One DES key schedule for one direction: 16 rounds of two 32-bit words.
struct Schedule {
    uint32_t k[32];
};

// Triple DES in one direction: encryption runs E(K1) D(K2) E(K3); decryption
// D(K3) E(K2) D(K1). The three schedules are stored in the order applied.
struct TdeaKey {
    Schedule s[3];
};

void set_key(Schedule& s, const uint8_t key[8], bool encrypt);
void crypt_block(const Schedule& s, const uint8_t in[8], uint8_t out[8]);

void tdea_set_key(TdeaKey& k, const uint8_t key[24], bool encrypt);
void tdea_block(const TdeaKey& k, const uint8_t in[8], uint8_t out[8]);
// ECB over n blocks (either direction, as the key was set up). ECB and CBC
// decryption run several blocks through the rounds at once; all three bulk
// functions allow out == in.
void tdea_blocks(const TdeaKey& k, const uint8_t* in, uint8_t* out, size_t nblocks);
// CBC over n whole blocks; k must match the direction. iv is updated.
void tdea_cbc_encrypt(const TdeaKey& k, uint8_t iv[8], const uint8_t* in, uint8_t* out, size_t nblocks);
void tdea_cbc_decrypt(const TdeaKey& k, uint8_t iv[8], const uint8_t* in, uint8_t* out, size_t nblocks);
void clear(TdeaKey& k);

}  // namespace velt::des
