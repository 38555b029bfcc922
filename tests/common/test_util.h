// Shared helpers for the test programs: hex conversion, the test-vector
// folder, Wycheproof files and temporary files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace testutil {

using Bytes = std::vector<uint8_t>;

Bytes from_hex(const std::string& hex);
std::string to_hex(const uint8_t* p, size_t n, bool upper = false);
inline std::string to_hex(const Bytes& b, bool upper = false) { return to_hex(b.data(), b.size(), upper); }
Bytes bytes_of(const std::string& s);

// The test-vector folder: $VELT_VECTORS, or ../shared/vectors beside the
// checkout. Empty when neither exists.
std::string vectors_dir();
// Loads a Wycheproof file (name relative to the wycheproof folder); nullopt
// when the vector folder is absent.
std::optional<nlohmann::json> load_wycheproof(const std::string& name);

// Reads and writes whole files.
Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& data);
void write_file(const std::string& path, const std::string& data);
// A fresh path in a per-test temporary folder (the file does not exist yet).
std::string temp_path(const std::string& name);

// Runs a shell command; returns its standard output, sets *status.
std::string run_command(const std::string& cmd, int* status = nullptr);

}  // namespace testutil

// Skips the current test with a clear message when the vectors are absent.
#define VELT_LOAD_WYCHEPROOF(var, name)                                                        \
    auto var##_opt = testutil::load_wycheproof(name);                                          \
    if (!var##_opt) GTEST_SKIP() << "test vectors not found (set VELT_VECTORS): " << (name);  \
    const nlohmann::json& var = *var##_opt
