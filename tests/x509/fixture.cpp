#include "x509/fixture.h"

#include <stdlib.h>

#include "morvanevelt.h"

namespace x509fx {

const std::string& dir() {
    static const std::string d = [] {
        char tmpl[] = "/tmp/velt_x509_XXXXXX";
        if (!mkdtemp(tmpl)) return std::string();
        int status = 0;
        std::string out = testutil::run_command(
            std::string("sh ") + VELT_SOURCE_DIR + "/tests/x509/make_fixtures.sh " + tmpl + " 2>&1", &status);
        if (status != 0 || out.find("ok") == std::string::npos) {
            fprintf(stderr, "fixture script failed:\n%s\n", out.c_str());
            return std::string();
        }
        static std::string keep = tmpl;
        atexit([] { testutil::run_command("rm -rf '" + keep + "'"); });
        return keep;
    }();
    return d;
}

std::string path(const std::string& name) {
    return dir() + "/" + name;
}

std::string text(const std::string& name) {
    testutil::Bytes b = testutil::read_file(path(name));
    return std::string(b.begin(), b.end());
}

testutil::Bytes bytes(const std::string& name) {
    return testutil::read_file(path(name));
}

std::string openssl(const std::string& args) {
    std::string out = testutil::run_command("cd " + dir() + " && openssl " + args + " 2>/dev/null");
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

std::string last_error() {
    char buf[1024] = "";
    VELT_LastError(buf, sizeof buf - 1);
    return buf;
}

}  // namespace x509fx
