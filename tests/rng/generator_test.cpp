// The process generator through the RNG_ functions: bytes, numbers, GUIDs,
// fork safety, hardware switch; and the accumulator, CRC and TinyMT32 rooms.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/test_util.h"
#include "morvanevelt.h"
#include "rng/internal.h"
#include "rng/rng.h"
#include "util/cpu.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes draw(long n) {
    Bytes b(size_t(n ? n : 1));
    EXPECT_EQ(RNG_Bytes(b.data(), n, nullptr, 0), 0);
    b.resize(size_t(n));
    return b;
}

TEST(Generator, BytesAndArgumentErrors) {
    Bytes a = draw(32), b = draw(32);
    EXPECT_NE(a, b);
    EXPECT_NE(a, Bytes(32, 0));
    EXPECT_EQ(VELT_ErrorCode(), 0);

    Bytes big(65537);
    EXPECT_EQ(RNG_Bytes(big.data(), 65536, nullptr, 0), 0);
    EXPECT_EQ(RNG_Bytes(big.data(), 65537, nullptr, 0), 211);
    EXPECT_EQ(VELT_ErrorCode(), 211);
    EXPECT_EQ(RNG_Bytes(nullptr, 16, nullptr, 0), 6);
    EXPECT_EQ(VELT_ErrorCode(), 6);
    EXPECT_EQ(RNG_Bytes(big.data(), -1, nullptr, 0), 6);

    // Additional input of any length (beyond 64 bytes only its start enters
    // the generate step) is accepted.
    Bytes extra(1000, 0x5A);
    EXPECT_EQ(RNG_Bytes(big.data(), 64, extra.data(), long(extra.size())), 0);
    EXPECT_EQ(RNG_Bytes(big.data(), 0, extra.data(), 3), 0);

    // Internal entry points return codes rather than leave a buffer unfilled.
    EXPECT_EQ(rngNonce(big.data(), 65537), -211);
    EXPECT_EQ(rngFunc(nullptr, 8, nullptr, 0), -213);
    Bytes k1(32), k2(32);
    EXPECT_EQ(rngKeyMaterial(k1.data(), 32), 0);
    EXPECT_EQ(rngKeyMaterial(k2.data(), 32), 0);
    EXPECT_NE(k1, k2);
}

// Chi-square statistic of observed counts against a uniform expectation.
double chi_square(const std::vector<long>& counts, double expected) {
    double x = 0;
    for (long c : counts) x += (c - expected) * (c - expected) / expected;
    return x;
}

TEST(Generator, NumberBoundsAndUniformity) {
    EXPECT_EQ(RNG_Number(5, 5), 5);
    EXPECT_EQ(RNG_Number(7, 3), 7);

    // Small range: 21 values, 21000 draws; chi-square critical value for
    // 20 degrees of freedom at p = 0.0001 is 52.4.
    std::vector<long> small(21);
    for (int i = 0; i < 21000; ++i) {
        long v = RNG_Number(-10, 10);
        ASSERT_GE(v, -10);
        ASSERT_LE(v, 10);
        small[size_t(v + 10)]++;
    }
    EXPECT_LT(chi_square(small, 1000), 52.4);

    // A range that is not a power of two (rejection sampling matters):
    // 3 values; critical value for 2 degrees of freedom at p = 0.0001 is 18.4.
    std::vector<long> three(3);
    for (int i = 0; i < 6000; ++i) three[size_t(RNG_Number(100, 102) - 100)]++;
    EXPECT_LT(chi_square(three, 2000), 18.4);

    // Large ranges: 16 buckets by value; critical value for 15 degrees of
    // freedom at p = 0.0001 is 42.6.
    std::vector<long> large(16), full(16);
    for (int i = 0; i < 8000; ++i) {
        long v = RNG_Number(0, 2147483647);
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 2147483647);
        large[size_t(v >> 27)]++;
        long w = RNG_Number(-2147483647L - 1, 2147483647L);
        ASSERT_GE(w, -2147483647L - 1);
        ASSERT_LT(w, 2147483647L);  // the full range takes 2^32 - 1 values
        full[size_t((uint32_t(int32_t(w)) ^ 0x80000000u) >> 28)]++;
    }
    EXPECT_LT(chi_square(large, 500), 42.6);
    EXPECT_LT(chi_square(full, 500), 42.6);
}

TEST(Generator, GuidIsVersion4) {
    char buf[64];
    EXPECT_EQ(RNG_Guid(nullptr, 0, 0), 36);
    EXPECT_EQ(RNG_Guid(buf, 35, 0), -30);
    EXPECT_EQ(VELT_ErrorCode(), 30);
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(RNG_Guid(buf, 36, 0), 36);
        std::string s(buf);
        ASSERT_EQ(s.size(), 36u);
        for (size_t j = 0; j < 36; ++j) {
            if (j == 8 || j == 13 || j == 18 || j == 23)
                EXPECT_EQ(s[j], '-');
            else
                EXPECT_TRUE(isdigit(s[j]) || (s[j] >= 'a' && s[j] <= 'f')) << s;
        }
        EXPECT_EQ(s[14], '4') << s;
        EXPECT_NE(std::string("89ab").find(s[19]), std::string::npos) << s;
        seen.insert(s);
    }
    EXPECT_EQ(seen.size(), 50u);
}

// Parent and child must not return the same bytes after a fork, although
// the child starts with a copy of the parent's generator state.
TEST(Generator, ForkedChildDiffers) {
    draw(16);  // instantiated before the fork
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        uint8_t b[32];
        int ok = RNG_Bytes(b, 32, nullptr, 0) == 0;
        ssize_t w = write(fds[1], b, ok ? 32 : 0);
        _exit(w == 32 ? 0 : 1);
    }
    close(fds[1]);
    Bytes mine = draw(32);
    Bytes child(32);
    ssize_t got = read(fds[0], child.data(), 32);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_EQ(got, 32);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(mine, child);
}

// Threads that share the process generator (polling from every call) never
// receive the same bytes.
TEST(Generator, ThreadsGetDistinctOutput) {
    constexpr int kThreads = 4, kDraws = 200;
    std::vector<std::vector<Bytes>> got(kThreads);
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) {
        pool.emplace_back([&got, t] {
            for (int i = 0; i < kDraws; ++i) {
                Bytes b(16);
                if (RNG_Bytes(b.data(), 16, nullptr, 0) != 0) return;
                VELT_ErrorCode();
                got[size_t(t)].push_back(b);
            }
        });
    }
    for (auto& th : pool) th.join();
    std::set<Bytes> all;
    for (const auto& v : got) {
        EXPECT_EQ(v.size(), size_t(kDraws));
        all.insert(v.begin(), v.end());
    }
    EXPECT_EQ(all.size(), size_t(kThreads * kDraws));
}

// RNG_Initialize without a file reports the processor's generators; option
// 0x80000 switches them off for good (run in a child, since it is permanent).
TEST(Generator, HardwareSwitch) {
    bool rdrand = velt::cpu::has(velt::cpu::kRdrand);
    bool rdseed = velt::cpu::has(velt::cpu::kRdseed);
    long level = RNG_Initialize(nullptr, 0);
    if (!rdrand && !rdseed) {
        EXPECT_EQ(level, -214);
    } else {
        EXPECT_EQ(level, (rdrand ? 1 : 0) | (rdseed ? 2 : 0));
        EXPECT_EQ(VELT_ErrorCode(), 0);  // a positive level is not recorded
    }
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        long r = RNG_Initialize("", 0x80000);
        long code = VELT_ErrorCode();
        // Later slow polls add no hardware event (source 8 keeps pool 0).
        uint8_t before = velt::rng::control().acc.next_pool[8];
        rngPoll(1);
        bool no_event = velt::rng::control().acc.next_pool[8] == before;
        _exit(r == -214 && code == 214 && no_event ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Accumulator, EventsAndDrainSchedule) {
    using namespace velt::rng;
    static Accumulator acc{};
    for (Pool& p : acc.pools) velt::hash::sha512_init(p.h);
    uint8_t data[40] = {1, 2, 3};
    EXPECT_FALSE(AddRandomEvent(acc, 256, data, 4));
    EXPECT_FALSE(AddRandomEvent(acc, -1, data, 4));
    EXPECT_FALSE(AddRandomEvent(acc, 5, data, 0));
    // Each event goes to its source's next pool, and at most 32 data bytes
    // (plus source and length bytes) are hashed.
    EXPECT_TRUE(AddRandomEvent(acc, 5, data, 40));
    EXPECT_EQ(acc.pools[0].bytes, 34u);
    EXPECT_TRUE(AddRandomEvent(acc, 5, data, 4));
    EXPECT_EQ(acc.pools[1].bytes, 6u);
    for (int i = 2; i < 32; ++i) AddRandomEvent(acc, 5, data, 1);
    EXPECT_EQ(acc.next_pool[5], 0);
    EXPECT_EQ(acc.pools[31].bytes, 3u);

    std::vector<uint8_t> out(32 * 64);
    // First drain (reseed count 0): pool 0 only.
    EXPECT_EQ(Accum_GetEntropyData(acc, out.data(), false), 64u);
    EXPECT_EQ(acc.pools[0].bytes, 0u);
    // Not forced: pool 0 is short of 32 bytes and 100 ms have not passed.
    EXPECT_EQ(Accum_GetEntropyData(acc, out.data(), false), 0u);
    for (int i = 0; i < 32; ++i) AddRandomEvent(acc, 9, data, 32);
    EXPECT_EQ(Accum_GetEntropyData(acc, out.data(), false), 0u);  // too soon
    // Forced: reseed 2 drains pools 0 and 1, reseed 3 pool 0, reseed 4 pools 0-2.
    EXPECT_EQ(Accum_GetEntropyData(acc, out.data(), true), 128u);
    EXPECT_EQ(Accum_GetEntropyData(acc, out.data(), true), 64u);
    EXPECT_EQ(Accum_GetEntropyData(acc, out.data(), true), 192u);
    EXPECT_EQ(acc.reseed_count, 4u);
    EXPECT_EQ(acc.pools[0].drains, 4u);
    EXPECT_EQ(acc.pools[2].drains, 1u);
    usleep(120000);
    for (int i = 0; i < 32; ++i) AddRandomEvent(acc, 9, data, 32);
    EXPECT_EQ(Accum_GetEntropyData(acc, out.data(), false), 64u);  // due now
}

TEST(Accumulator, TableCrcMatchesBitwiseDefinition) {
    std::mt19937 g(7);
    for (size_t n : {0, 1, 7, 112, 113}) {
        std::vector<uint8_t> d(n);
        for (auto& b : d) b = uint8_t(g());
        uint64_t crc = 0;
        for (uint8_t byte : d)
            for (int bit = 0; bit < 8; ++bit)
                crc = (((byte >> bit) ^ crc) & 1) ? (crc >> 1) ^ 0xD000000000000001ULL : crc >> 1;
        EXPECT_EQ(velt::rng::crc64(d.data(), n), crc) << n;
    }
}

// RFC 8682 section 4 (reference outputs for seed 1).
TEST(TinyMT32, Rfc8682Outputs) {
    const uint32_t expected[] = {2545341989u, 981918433u,  3715302833u, 2387538352u, 3591001365u,
                                 3820442102u, 2114400566u, 2196103051u, 2783359912u, 764534509u};
    EXPECT_EQ(pseudorand(1), expected[0]);
    uint8_t b[10];
    pseudorand_bytes(b, 10, 1);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(b[i], uint8_t(expected[i])) << i;
    // The per-thread seeds differ from call to call.
    std::set<uint32_t> seeds;
    for (int i = 0; i < 100; ++i) seeds.insert(pseudorand_seed());
    EXPECT_GT(seeds.size(), 95u);
}

}  // namespace
