#include "rng/rng_poll.h"

// The accumulator is not built yet: the poll is an empty hook for now.
void rngPoll(int level) { (void)level; }
