// Certificate fixtures made once per test run by make_fixtures.sh (openssl
// command and python3-cryptography) in a private temporary folder.
#pragma once

#include <string>

#include "common/test_util.h"

namespace x509fx {

// The fixture folder, or empty when the oracle tools are missing.
const std::string& dir();
// Path of one fixture file.
std::string path(const std::string& name);
// File contents as text / bytes.
std::string text(const std::string& name);
testutil::Bytes bytes(const std::string& name);
// Output of `openssl <args>` run in the fixture folder, trailing newline cut.
std::string openssl(const std::string& args);
// The detail message of the error record.
std::string last_error();

}  // namespace x509fx

#define X509_NEED_FIXTURES()                                   \
    if (x509fx::dir().empty())                                 \
    GTEST_SKIP() << "openssl or python3-cryptography absent: " \
                    "certificate fixtures not made"
