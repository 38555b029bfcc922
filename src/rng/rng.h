// The random generator: what other subsystems may call. Every key, nonce, IV,
// padding byte and internal wrapping key comes from here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rng/rng_poll.h"

// Generates n bytes with optional additional input; 0 or a negative code.
// A caller must check the result: on failure the output is not random.
long rngFunc(unsigned char* output, long n, const unsigned char* additional, long additional_len);
// Generates n bytes without additional input; 0 or a negative code.
long rngNonce(unsigned char* output, long n);
// A uniformly chosen integer in [lower, upper]; lower if upper <= lower.
long rngRange(long lower, long upper);
