// Helpers of the elliptic-curve key tests: calls through the exported
// functions and the openssl command as an oracle.
#pragma once

#include <string>

#include "common/test_util.h"
#include "morvanevelt.h"

namespace ecckeys {

// A text output of an ECC_ function called twice (length, then text); the
// result code goes to *rc.
template <class F>
std::string text_of(F&& fn, long* rc = nullptr) {
    long n = fn(static_cast<char*>(nullptr), 0L);
    if (rc) *rc = n;
    if (n <= 0) return {};
    std::string s(size_t(n) + 1, '\0');
    long r = fn(s.data(), n);
    if (rc) *rc = r;
    s.resize(r > 0 ? size_t(r) : 0);
    return s;
}

inline std::string read_private(const std::string& in, const char* pw = "", long opts = 0,
                                long* rc = nullptr) {
    return text_of([&](char* o, long n) { return ECC_ReadPrivateKey(o, n, in.c_str(), pw, opts); }, rc);
}
inline std::string read_public(const std::string& in, long* rc = nullptr) {
    return text_of([&](char* o, long n) { return ECC_ReadPublicKey(o, n, in.c_str(), 0); }, rc);
}
inline std::string by_curve(const std::string& hex, const std::string& curve, long opts = 0,
                            long* rc = nullptr) {
    return text_of(
        [&](char* o, long n) { return ECC_ReadKeyByCurve(o, n, hex.c_str(), curve.c_str(), opts); }, rc);
}
inline std::string public_of(const std::string& key, long* rc = nullptr) {
    return text_of([&](char* o, long n) { return ECC_PublicKeyFromPrivate(o, n, key.c_str(), 0); }, rc);
}
inline std::string query(const std::string& key, const char* q, long* rc = nullptr) {
    return text_of([&](char* o, long n) { return ECC_QueryKey(o, n, key.c_str(), q, 0); }, rc);
}
inline long query_num(const std::string& key, const char* q) {
    return ECC_QueryKey(nullptr, 0, key.c_str(), q, 0);
}

inline std::string last_error() {
    char buf[512] = "";
    VELT_LastError(buf, sizeof buf - 1);
    return buf;
}

inline bool have_openssl() {
    int st = -1;
    testutil::run_command("openssl version 2>/dev/null", &st);
    return st == 0;
}
// Runs an openssl command line (stderr discarded); true on exit status 0.
inline bool openssl(const std::string& args, std::string* out = nullptr) {
    int st = -1;
    std::string o = testutil::run_command("openssl " + args + " 2>/dev/null", &st);
    if (out) *out = o;
    return st == 0;
}

}  // namespace ecckeys
