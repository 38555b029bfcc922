// Key parameter strings shared by the RSA and elliptic-curve key functions:
// "name=value" pairs separated by ";" ("count", "prf", "rngseed", and for
// RSA key generation "tests").
#pragma once

#include <string>

struct KeyParams {
    long count = 2048;  // PBKDF2 iteration count
    long prf = -1;      // PBES2 PRF hash selector, -1 when not given
    long ntests = 64;   // RSA primality tests
    std::string seed;   // additional input of key generation
};

// Names are compared case-insensitively after leading white space; trailing
// white space of a value is cut. "tests" is a name only when allowTests.
// 0; 6 with "'%s' is not a valid attribute name"; 8 with "'%s' is not a
// valid value" (messages in the error record).
long keyParseParams(const char* paramString, KeyParams& kp, bool allowTests);
