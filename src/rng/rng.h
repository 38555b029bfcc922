// The random generator: what other subsystems may call. Every key, nonce, IV,
// padding byte and internal wrapping key comes from here.
//
// One process-wide HMAC_DRBG (SP 800-90A, HMAC-SHA-512) seeded from a
// 32-pool entropy accumulator, the operating system's generator and, when
// present, the processor's RDSEED/RDRAND. Every function that fills a buffer
// returns 0 or a negative error code; a caller must check it, because on
// failure the buffer holds zeros, not random bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rng/rng_poll.h"

// Largest single request in bytes.
inline constexpr long kRngMaxRequest = 65536;

// Generates n bytes with optional additional input (at most its first 64
// bytes enter the generate step); 0 or a negative code.
long rngFunc(unsigned char* output, long n, const unsigned char* additional, long additional_len);
// Generates n bytes without additional input; 0 or a negative code.
long rngNonce(unsigned char* output, long n);
// Secret key material (wrapping keys, content-encryption keys, private key
// seeds): generator output with fresh operating-system entropy mixed in as
// additional input. 0 or a negative code.
long rngKeyMaterial(unsigned char* output, long n);
// A uniformly chosen integer in [lower, upper] (signed 32-bit bounds); lower
// if upper <= lower. A generator failure is recorded in the error record
// (and lower is returned).
long rngRange(long lower, long upper);
// The body of RNG_Bytes: 0; 6 (null output or negative count) or 211 (more
// than 65536 bytes), returned positive; a generator failure is written to the
// error log and returned negative, with the output zeroed.
long rng_bytes(unsigned char* output, long n, const unsigned char* additional, long additional_len);
// The DRBG health check at level 0, 1 or 2: 0 or -299.
long prngHealthCheck(int level);

// The fork generation of the calling process: 0 in the process that loaded
// the library, one more in each child than in its parent (counted by a
// pthread_atfork child handler, so it changes in a child whatever its process
// ID). A cache of per-process secrets (precomputed key data, blinding values)
// records it when filled and refills when it differs: a process ID alone can
// come round again in a later process.
uint64_t rng_fork_generation();

// Non-cryptographic pseudorandom source (TinyMT32, RFC 8682) for filler that
// needs no secrecy. Never use it for keys, IVs of secret data or padding
// that must be unpredictable.
// A fresh 32-bit value from the calling thread's own state.
uint32_t pseudorand_seed();
// The first TinyMT32 output for a seed.
uint32_t pseudorand(uint32_t seed);
// The low bytes of successive TinyMT32 outputs for a seed.
void pseudorand_bytes(unsigned char* output, size_t n, uint32_t seed);

// Bodies of the remaining RNG_ functions.
long rng_bytes_prompt(unsigned char* output, long n, const char* prompt, long options);
long rng_number(long lower, long upper);
long rng_guid(char* output, long declared, long options);
long rngInitialize(const char* seed_file, long options);
long rngMakeSeedFile(const char* seed_file, const char* prompt, long options);
long rngUpdateSeedFile(const char* seed_file, long options);
long rngTest(const char* report_file, long options);
long rng_testdrbgvs(char* output, long declared, long returned_bits, const char* entropy, const char* nonce,
                    const char* personalisation, const char* additional1, const char* reseed_entropy,
                    const char* reseed_additional, const char* additional2, long options);

// Option bits.
inline constexpr long kRngNoHardware = 0x80000;     // RNG_Initialize: stop using RDSEED/RDRAND
inline constexpr long kRngConsolePrompt = 0x100000;  // keystroke prompt on the plain console
inline constexpr long kRngReseedAfterGen = 0x10000;  // RNG_TestDRBGVS: reseed after the first generate
