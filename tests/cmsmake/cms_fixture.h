// Keys and certificates made once per run with the openssl command, read
// into our key strings; helpers to run the oracles and to walk our output.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cms/sd_sets.h"
#include "common/test_util.h"
#include "morvanevelt.h"

namespace cmsfx {

struct Signer {
    std::string key;   // internal private key string
    std::string cert;  // certificate file (PEM)
};

struct Fixtures {
    bool ok = false;
    std::string dir;
    Signer rsa, rsa2, ec, ed, ed448, noski;
    std::string content;  // content file
};

// Built on first use; ok is false when the openssl command is missing.
const Fixtures& fx();

inline bool have_openssl() {
    int st = 0;
    testutil::run_command("openssl version >/dev/null 2>&1", &st);
    return st == 0;
}

#define CMSFX_REQUIRE()                     \
    const cmsfx::Fixtures& F = cmsfx::fx(); \
    if (!F.ok) GTEST_SKIP() << "openssl command not available: fixtures not made"

// Runs "openssl cms -verify" on a file we made: 0 when it verifies.
// der: DER input (else base64/PEM); content: the detached content file.
int openssl_verify(const std::string& file, bool der = true, const std::string& content = "",
                   const std::string& extraCerts = "", std::string* out = nullptr);

// The DER of a CMS file we wrote (DER, or base64 text).
velt::cms::Der load_der(const std::string& file);

// Parts of the first (or index-th) SignerInfo of a ContentInfo.
struct SignerParts {
    long sdVersion = -1;
    long siVersion = -1;
    long certCount = -1;
    long digestAlgCount = -1;
    long signerCount = 0;
    bool haveContent = false;
    velt::cms::Der signedAttrs;  // re-tagged as SET OF (0x31); empty when none
    velt::cms::Der sigAlg;
    velt::cms::Der signature;
    velt::cms::Der sid;
};
bool signer_parts(const velt::cms::Der& contentInfo, SignerParts& p, size_t index = 0);

// Key string of a key file through the exported readers.
std::string read_rsa_key(const std::string& file);
std::string read_ec_key(const std::string& file);

inline std::string last_error() {
    char buf[1024] = {0};
    VELT_LastError(buf, sizeof buf - 1);
    return buf;
}

}  // namespace cmsfx
