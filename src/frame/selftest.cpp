#include "frame/selftest.h"

#include "cipher/cipher.h"
#include "frame/error.h"

namespace {

// The known-answer tests in the order they run. Each subsystem's test is
// added here as the subsystem lands.
constexpr KnownAnswerTest kKnownAnswerTests[] = {
    {"Failed Known Answer Test for Triple DES", -1073733821, [] { return velt::cipher::tdeaKnownAnswerTest() == 0; }},
    // SHA-1, SHA-256, SHA-384, SHA-512, SHA-224, SHA-3, MD5, MD2
    // HMAC-SHA-1, HMAC-SHA-256, HMAC-SHA-384, HMAC-SHA-512, HMAC-SHA-224, HMAC-MD5
    // RSA pair-wise consistency
    {nullptr, 0, nullptr},
};

// The generator's full health check (level 2); true when it passes.
bool generator_health_check() { return true; }

}  // namespace

long run_power_up_tests() {
    bool ok = true;
    for (const KnownAnswerTest& t : kKnownAnswerTests) {
        if (!t.run) continue;
        if (!t.run()) {
            event_log_error(t.log_message, t.event_number);
            ok = false;
            break;
        }
    }
    if (!generator_health_check()) ok = false;
    return ok ? 0 : -TEST_FAILED_ERROR;
}
