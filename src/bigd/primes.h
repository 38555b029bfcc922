// Trial division by the small-prime table, shared by the primality test and
// the incremental sieve of prime generation. Internal to src/bigd.
#pragma once

#include "bigd/bigdigits.h"

namespace velt::bigd {

// Table primes grouped so that each group's product fits a digit: one short
// division per group gives the residues of all its primes.
struct SmallPrimeGroups {
    struct Group {
        BdDigit product;
        size_t first, end;  // kSmallPrimes[first, end)
    };
    Group group[kNumSmallPrimes];
    size_t count;
};
const SmallPrimeGroups& small_prime_groups();
// res[i] = w mod kSmallPrimes[i].
void small_prime_residues(const BdDigit w[], size_t ndigits, BdDigit res[kNumSmallPrimes]);

}  // namespace velt::bigd
