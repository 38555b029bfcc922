#include "common/test_util.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testutil {

static int hexval(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

Bytes from_hex(const std::string& hex) {
    Bytes out;
    int hi = -1;
    for (char c : hex) {
        int v = hexval(c);
        if (v < 0) continue;
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(uint8_t(hi * 16 + v));
            hi = -1;
        }
    }
    return out;
}

std::string to_hex(const uint8_t* p, size_t n, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string s;
    s.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

static bool is_dir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string vectors_dir() {
    if (const char* env = getenv("VELT_VECTORS"); env && *env) return is_dir(env) ? env : "";
    std::string def = std::string(VELT_SOURCE_DIR) + "/../shared/vectors";
    return is_dir(def) ? def : "";
}

std::optional<nlohmann::json> load_wycheproof(const std::string& name) {
    std::string dir = vectors_dir();
    if (dir.empty()) return std::nullopt;
    std::ifstream in(dir + "/wycheproof/" + name);
    if (!in) return std::nullopt;
    return nlohmann::json::parse(in);
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

void write_file(const std::string& path, const std::string& data) { write_file(path, bytes_of(data)); }

std::string temp_path(const std::string& name) {
    static std::string dir = [] {
        std::string tmpl = "/tmp/velt-test-XXXXXX";
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        return tmpl;
    }();
    std::string p = dir + "/" + name;
    unlink(p.c_str());
    return p;
}

std::string run_command(const std::string& cmd, int* status) {
    std::string out;
    FILE* fp = popen(cmd.c_str(), "r");
    if (!fp) {
        if (status) *status = -1;
        return out;
    }
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), fp)) > 0) out.append(buf.data(), n);
    int st = pclose(fp);
    if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

}  // namespace testutil
