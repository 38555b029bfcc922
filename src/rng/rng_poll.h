// The generator's event poll, called by the frame of every exported function.
#pragma once

// Feeds one poll of system events into the entropy accumulator: level 0 is
// the quick poll, level 1 the slow poll.
void rngPoll(int level);
