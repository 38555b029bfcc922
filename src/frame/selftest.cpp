#include "frame/selftest.h"

#include "cipher/cipher.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "rng/rng.h"
#include "rsa/rsa.h"

namespace {

// The known-answer tests in the order they run. Each subsystem's test is
// added here as the subsystem lands.
constexpr KnownAnswerTest kKnownAnswerTests[] = {
    {"Failed Known Answer Test for Triple DES", -1073733821, [] { return velt::cipher::tdeaKnownAnswerTest() == 0; }},
    {"Failed Known Answer Test for SHA-1", -1073733818, [] { return selftest_sha1() == 0; }},
    {"Failed Known Answer Test for SHA-256", -1073733817, [] { return selftest_sha256() == 0; }},
    {"Failed Known Answer Test for SHA-384", -1073733816, [] { return selftest_sha384() == 0; }},
    {"Failed Known Answer Test for SHA-512", -1073733815, [] { return selftest_sha512() == 0; }},
    {"Failed Known Answer Test for SHA-224", -1073733814, [] { return selftest_sha224() == 0; }},
    {"Failed Known Answer Test for SHA-3", -1073733804, [] { return selftest_sha3() == 0; }},
    {"Failed Known Answer Test for MD5", -1073733820, [] { return selftest_md5() == 0; }},
    {"Failed Known Answer Test for MD2", -1073733819, [] { return selftest_md2() == 0; }},
    {"Failed Known Answer Test for HMAC-SHA-1", -1073733812, [] { return selftest_hmac_sha1() == 0; }},
    {"Failed Known Answer Test for HMAC-SHA-256", -1073733811, [] { return selftest_hmac_sha256() == 0; }},
    {"Failed Known Answer Test for HMAC-SHA-384", -1073733810, [] { return selftest_hmac_sha384() == 0; }},
    {"Failed Known Answer Test for HMAC-SHA-512", -1073733809, [] { return selftest_hmac_sha512() == 0; }},
    {"Failed Known Answer Test for HMAC-SHA-224", -1073733808, [] { return selftest_hmac_sha224() == 0; }},
    {"Failed Known Answer Test for HMAC-MD5", -1073733813, [] { return selftest_hmac_md5() == 0; }},
    // RSA pair-wise consistency
    {"Failed Pair-wise Consistency Test for RSA on power-up", -1073733806, [] { return rsaSelfTest() == 0; }},
    {nullptr, 0, nullptr},
};

// The generator's full health check (level 2); true when it passes.
bool generator_health_check() { return prngHealthCheck(2) == 0; }

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
