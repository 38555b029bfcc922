#include "pfx_fixture.h"

#include <cstdlib>
#include <cstring>

#include "encode/encode.h"
#include "morvanevelt.h"

namespace pfxtest {

bool sh(const std::string& cmd, std::string* out) {
    int status = -1;
    const bool keep_err = cmd.find("2>&1") != std::string::npos;
    std::string o = testutil::run_command(keep_err ? cmd : cmd + " 2>/dev/null", &status);
    if (out) *out = o;
    return status == 0;
}

const Env& env() {
    static Env e = [] {
        Env v;
        if (!sh("openssl version")) return v;
        v.key = testutil::temp_path("leaf.key");
        v.key_p8 = testutil::temp_path("leaf.p8");
        v.leaf = testutil::temp_path("leaf.pem");
        v.ca = testutil::temp_path("ca.pem");
        const std::string ca_key = testutil::temp_path("ca.key");
        std::string mod;
        if (!sh("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + v.key + " -out " + v.leaf +
                " -subj /CN=pfx-leaf -days 2") ||
            !sh("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + ca_key + " -out " + v.ca +
                " -subj /CN=pfx-ca -days 2") ||
            !sh("openssl pkcs8 -topk8 -v2 aes-256-cbc -in " + v.key + " -out " + v.key_p8 +
                " -passout pass:" + kPassword) ||
            !sh("openssl rsa -in " + v.key + " -modulus -noout", &mod))
            return v;
        std::string der1 = testutil::temp_path("leaf.der"), der2 = testutil::temp_path("ca.der");
        if (!sh("openssl x509 -in " + v.leaf + " -outform DER -out " + der1) ||
            !sh("openssl x509 -in " + v.ca + " -outform DER -out " + der2))
            return v;
        v.leaf_der = testutil::read_file(der1);
        v.ca_der = testutil::read_file(der2);
        size_t eq = mod.find('=');
        v.modulus = mod.substr(eq + 1, mod.find_first_of("\r\n") - eq - 1);
        v.ok = true;
        return v;
    }();
    return e;
}

std::string key_modulus(const std::string& keyString) {
    char b64[2048];
    long n = RSA_KeyValue(b64, sizeof b64 - 1, keyString.c_str(), "Modulus", 0);
    if (n <= 0) return "";
    std::vector<uint8_t> m = b64_bytes(b64);
    size_t i = 0;
    while (i + 1 < m.size() && m[i] == 0) i++;
    return testutil::to_hex(m.data() + i, m.size() - i, true);
}

std::string read_key(const std::string& pfx, const char* password, long* rc) {
    long n = RSA_ReadPrivateKeyFromPFX(nullptr, 0, pfx.c_str(), password, 0);
    if (rc) *rc = n;
    if (n <= 0) return "";
    std::string s(size_t(n) + 1, '\0');
    long m = RSA_ReadPrivateKeyFromPFX(s.data(), n, pfx.c_str(), password, 0);
    if (rc) *rc = m;
    if (m != n) return "";
    s.resize(size_t(n));
    return s;
}

testutil::Bytes read_cert(const std::string& pfx, const char* password, long* rc) {
    long n = X509_ReadCertStringFromPFX(nullptr, 0, pfx.c_str(), password, 0);
    if (rc) *rc = n;
    if (n <= 0) return {};
    std::string s(size_t(n) + 1, '\0');
    long m = X509_ReadCertStringFromPFX(s.data(), n, pfx.c_str(), password, 0);
    if (rc) *rc = m;
    if (m != n) return {};
    return b64_bytes(s.c_str());
}

std::string openssl_export(const std::string& name, const std::string& args) {
    const Env& e = env();
    std::string out = testutil::temp_path(name + ".p12");
    if (!sh("openssl pkcs12 -export -inkey " + e.key + " -in " + e.leaf + " -out " + out + " " + args))
        return "";
    return out;
}

}  // namespace pfxtest
