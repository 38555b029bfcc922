// The frame every exported function runs through:
//   1. clear the error record,
//   2. feed a poll of system events into the generator's accumulator,
//   3. make the wrapper's own argument checks,
//   4. call the one internal operation,
//   5. record a negative result in the error record and return it.
// No C++ exception crosses the C boundary: running out of memory
// (std::bad_alloc, thrown by the allocators of util/emem.h) is reported as
// error 5, anything else thrown as error 9745.
//
// A wrapper is written as
//   extern "C" VELT_API long HASH_Bytes(...) {
//       return frame::run(frame::kStandard, [&]() -> frame::Result {
//           if (!msg && len) return frame::reject();  // -6, not recorded
//           return hashBytes(...);
//       });
//   }
#pragma once

#include <new>

#include "morvanevelt.h"

#include "frame/error.h"
#include "rng/rng_poll.h"

namespace frame {

enum class Poll { None, Quick, Slow };

struct Policy {
    bool clear;   // step 1
    Poll poll;    // step 2
    bool record;  // step 5
};

// Clear, quick poll, record: the rule for almost every function.
inline constexpr Policy kStandard{true, Poll::Quick, true};
// Clear, slow poll, record: key generation, random output, CMS.
inline constexpr Policy kSlowPoll{true, Poll::Slow, true};
// Clear and record without a poll (the functions that skip the poll).
inline constexpr Policy kNoPoll{true, Poll::None, true};
// Neither clear, poll nor record (PAD_, PWD_, and a few CNV_ functions).
inline constexpr Policy kBare{false, Poll::None, false};

// What an operation hands back to the frame: the result, and whether a
// negative result is to be recorded.
struct Result {
    long value;
    bool record = true;
    Result(long v) : value(v) {}  // NOLINT: implicit on purpose
    Result(long v, bool r) : value(v), record(r) {}
};

// A wrapper's own failed argument check: -6 by default, not recorded (the
// HASH_, HMAC_ and RNG seed-file wrappers).
inline Result reject(long code = -BAD_PARAM_ERROR) {
    return Result(code, false);
}
// A wrapper's own failed argument check that is recorded (CNV_, PFX_, ...).
inline Result bad_param(long code = -BAD_PARAM_ERROR) {
    return Result(code, true);
}

template <class Op>
long run(const Policy& p, Op&& op) noexcept {
    if (p.clear) errclear();
    if (p.poll == Poll::Quick) {
        rngPoll(0);
    } else if (p.poll == Poll::Slow) {
        rngPoll(1);
    }
    long value;
    bool rec = p.record;
    try {
        Result r = op();
        value = r.value;
        rec = rec && r.record;
    } catch (const std::bad_alloc&) {
        value = -MEMORY_ERROR;
    } catch (...) {
        value = -INTERNAL_ERROR;
    }
    if (rec && value < 0) errset(value);
    return value;
}

}  // namespace frame
