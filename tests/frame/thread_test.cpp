// Threads that call the library without serialising share one error record:
// every read of it must be whole (a message made of complete pieces, a code
// of the table) and free of data races (run under ThreadSanitizer by
// scripts/tsan-check.sh).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "frame/error.h"
#include "morvanevelt.h"

namespace {

std::vector<std::string> pieces(const std::string& message) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at <= message.size()) {
        size_t semi = message.find("; ", at);
        if (semi == std::string::npos) semi = message.size();
        out.push_back(message.substr(at, semi - at));
        at = semi + 2;
    }
    return out;
}

TEST(Threads, SharedRecordStaysConsistent) {
    const std::set<std::string> known = {"", "Unable to read private key from (string)",
                                         "Unable to read public key from (string)", "Could not decrypt key"};
    const std::set<long> codes = {0, 8, 15, 6};
    constexpr int kThreads = 4, kRounds = 300;
    std::atomic<int> torn{0}, bad_code{0}, wrong_result{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) {
        pool.emplace_back([&, t] {
            char out[700];
            unsigned char bytes[4] = {1, 2, 3, 4};
            for (int i = 0; i < kRounds; ++i) {
                long r = 0;
                switch ((i + t) % 5) {
                    case 0:
                        r = RSA_ReadPrivateKeyInfo(out, 600, "not a key", 0);
                        break;
                    case 1:
                        r = RSA_ReadPublicKey(out, 600, "not a key either", 0);
                        break;
                    case 2:
                        r = RSA_ReadEncPrivateKey(out, 600, "nothing", "pw", 0);
                        break;
                    case 3:
                        r = CNV_HexStrFromBytes(out, 600, bytes, 4) == 8 ? 0 : -1;
                        break;
                    case 4:
                        r = CNV_BytesFromHexStr(nullptr, 0, nullptr) == -6 ? 0 : -1;
                        break;
                }
                if (((i + t) % 5 < 3) != (r < 0)) wrong_result++;
                char msg[700] = {};
                VELT_LastError(msg, 650);
                for (const std::string& p : pieces(msg))
                    if (!known.count(p)) torn++;
                if (!codes.count(VELT_ErrorCode())) bad_code++;
                char line[1400];
                if (VELT_FormatErrorMessage(line, sizeof line - 1, r, "call") < 0) wrong_result++;
                if (i % 7 == 0) VELT_Version(nullptr, nullptr);  // clears the record
            }
        });
    }
    for (auto& th : pool) th.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(bad_code.load(), 0);
    EXPECT_EQ(wrong_result.load(), 0);
}

// A thread that serialises its calls with the others reads its own failure.
TEST(Threads, SerialisedCallersReadTheirOwnError) {
    errclear();
    std::thread other([] { RSA_ReadPublicKey(nullptr, 0, "x", 0); });
    other.join();
    char out[64];
    EXPECT_EQ(RSA_ReadPrivateKeyInfo(out, 60, "not a key", 0), -8);
    char msg[700];
    VELT_LastError(msg, 650);
    EXPECT_STREQ(msg, "Unable to read private key from (string)");
    EXPECT_EQ(VELT_ErrorCode(), 8);
}

}  // namespace
