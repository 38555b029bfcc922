// Keys and helpers shared by the certificate-making tests: a key of each
// family made once by the openssl command, and byte searches in outputs.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <sys/stat.h>

#include "common/test_util.h"
#include "morvanevelt.h"

namespace mkt {

using testutil::Bytes;

inline bool have_tool(const char* tool) {
    int st = 0;
    testutil::run_command(std::string("command -v ") + tool + " >/dev/null 2>&1", &st);
    return st == 0;
}

// Private key files (PKCS #8 PEM, unencrypted) by name: rsa, rsa2 (a second
// RSA key), p256, p384, p521, ed25519, ed448, rsapss (an rsassaPss key).
inline const std::map<std::string, std::string>& keys() {
    static std::map<std::string, std::string> k = [] {
        std::map<std::string, std::string> m;
        const std::string dir = testutil::temp_path("mk_keys");
        mkdir(dir.c_str(), 0700);
        const std::pair<const char*, const char*> specs[] = {
            {"rsa", "-algorithm RSA -pkeyopt rsa_keygen_bits:2048"},
            {"rsa2", "-algorithm RSA -pkeyopt rsa_keygen_bits:1024"},
            {"p256", "-algorithm EC -pkeyopt ec_paramgen_curve:P-256"},
            {"p384", "-algorithm EC -pkeyopt ec_paramgen_curve:P-384"},
            {"p521", "-algorithm EC -pkeyopt ec_paramgen_curve:P-521"},
            {"ed25519", "-algorithm ED25519"},
            {"ed448", "-algorithm ED448"},
            {"rsapss", "-algorithm RSA-PSS -pkeyopt rsa_keygen_bits:1024"},
        };
        for (const auto& [name, args] : specs) {
            std::string file = dir + "/" + name + ".pem";
            int st = 0;
            testutil::run_command("openssl genpkey " + std::string(args) + " -out " + file + " 2>&1", &st);
            if (st == 0) m[name] = file;
        }
        return m;
    }();
    return k;
}

inline std::string key(const std::string& name) {
    auto it = keys().find(name);
    return it == keys().end() ? std::string() : it->second;
}

inline bool contains(const Bytes& hay, const Bytes& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}
inline bool contains_hex(const Bytes& hay, const std::string& hex) {
    return contains(hay, testutil::from_hex(hex));
}

inline bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Runs a command; true when it exits 0 (output in *out).
inline bool ok(const std::string& cmd, std::string* out = nullptr) {
    int st = 0;
    std::string o = testutil::run_command(cmd + " 2>&1", &st);
    if (out) *out = o;
    return st == 0;
}

}  // namespace mkt

#define MKT_NEED_OPENSSL() \
    if (!mkt::have_tool("openssl")) GTEST_SKIP() << "openssl command not found"
