// RNG_Test: the DRBG health check and the statistical tests of FIPS 140-2
// (section 4.9.1: monobit, poker, runs and long run) on 20000 output bits,
// with an optional text report.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "frame/error.h"
#include "rng/internal.h"
#include "rng/rng.h"
#include "util/emem.h"
#include "util/safe_write.h"

namespace velt::rng {

namespace {

constexpr size_t kSampleBytes = 2500;
constexpr long kMonoLow = 9725, kMonoHigh = 10275;
constexpr double kPokerLow = 2.16, kPokerHigh = 46.17;
constexpr int kRunMin[6] = {2315, 1114, 527, 240, 103, 103};
constexpr int kRunMax[6] = {2685, 1386, 723, 384, 209, 209};
constexpr int kLongRun = 26;

const char* verdict(bool ok) { return ok ? "Passed" : "FAILED!"; }

}  // namespace

// Runs the four tests on the sample (bits taken most significant first) and
// writes the report when a file is given; true when all four pass.
bool fips140_test(const uint8_t* sample, size_t n, FILE* report) {
    long ones = 0;
    long nibbles[16] = {0};
    int gaps[6] = {0}, blocks[6] = {0};
    int gmax = 0, bmax = 0;
    int run_bit = -1, run_len = 0;
    auto close_run = [&]() {
        if (run_len == 0) return;
        int slot = run_len >= 6 ? 5 : run_len - 1;
        if (run_bit) {
            blocks[slot]++;
            if (run_len > bmax) bmax = run_len;
        } else {
            gaps[slot]++;
            if (run_len > gmax) gmax = run_len;
        }
    };
    for (size_t i = 0; i < n; ++i) {
        nibbles[sample[i] >> 4]++;
        nibbles[sample[i] & 15]++;
        for (int b = 7; b >= 0; --b) {
            int bit = (sample[i] >> b) & 1;
            ones += bit;
            if (bit == run_bit) {
                run_len++;
            } else {
                close_run();
                run_bit = bit;
                run_len = 1;
            }
        }
    }
    close_run();

    bool mono_ok = ones > kMonoLow && ones < kMonoHigh;
    double sum = 0;
    for (long f : nibbles) sum += double(f) * double(f);
    double x = 16.0 / 5000.0 * sum - 5000.0;
    bool poker_ok = x > kPokerLow && x < kPokerHigh;
    bool runs_ok = true;
    bool pass[6];
    for (int i = 0; i < 6; ++i) {
        pass[i] = gaps[i] >= kRunMin[i] && gaps[i] <= kRunMax[i] && blocks[i] >= kRunMin[i] && blocks[i] <= kRunMax[i];
        runs_ok = runs_ok && pass[i];
    }
    bool long_ok = gmax < kLongRun && bmax < kLongRun;
    bool all = mono_ok && poker_ok && runs_ok && long_ok;

    if (report) {
        time_t now = time(nullptr);
        char tbuf[32];
        const char* t = ctime_r(&now, tbuf);
        fprintf(report, "FIPS140-2 test for %d bits (%d bytes)", int(n * 8), int(n));
        fprintf(report, " at %s\n", t ? t : "");
        if (n != kSampleBytes) fprintf(report, "** WARNING: FIPS140 test expects %d bits!\n\n", 20000);
        fprintf(report, "1. Monobits test n1 = %ld (%d - %d)\n", ones, int(kMonoLow), int(kMonoHigh));
        fprintf(report, "   %s Monobits test.\n", verdict(mono_ok));
        fprintf(report, "2. Poker test X = %.2lf (%.2lf - %.2lf)\n", x, kPokerLow, kPokerHigh);
        fprintf(report, "   %s Poker test.\n", verdict(poker_ok));
        fprintf(report, "3. Runs test:\n");
        fprintf(report, "     Run len: ");
        for (int i = 1; i <= 5; ++i) fprintf(report, "%3d  ", i);
        fprintf(report, "  6+\n");
        auto row = [&](const char* label, const int* v, const char* open, const char* close) {
            fprintf(report, "%s%s", label, open);
            for (int i = 0; i < 5; ++i) fprintf(report, "%d, ", v[i]);
            fprintf(report, "%d%s\n", v[5], close);
        };
        row("     Gaps:   ", gaps, "", "");
        row("     Blocks: ", blocks, "", "");
        int avg[6];
        for (int i = 0; i < 6; ++i) avg[i] = (kRunMin[i] + kRunMax[i]) / 2;
        row("     Min:   ", kRunMin, "(", ")");
        row("     Avg:   ", avg, "(", ")");
        row("     Max:   ", kRunMax, "(", ")");
        fprintf(report, "     Pass:    ");
        for (int i = 0; i < 5; ++i) fprintf(report, "%3c  ", pass[i] ? 'Y' : 'N');
        fprintf(report, "%3c\n", pass[5] ? 'Y' : 'N');
        fprintf(report, "   %s Runs test.\n", verdict(runs_ok));
        fprintf(report, "4. Long runs test: Gmax = %d Bmax = %d (%d)\n", gmax, bmax, kLongRun);
        fprintf(report, "   %s Long Run test.\n", verdict(long_ok));
        fprintf(report, "%s FIPS140-2 test.\n", verdict(all));
        fprintf(report, "Test sample was:-\n");
        for (size_t i = 0; i < n; ++i) {
            fprintf(report, "%02X", sample[i]);
            if (i % 25 == 24 || i + 1 == n) fprintf(report, "\n");
        }
        fprintf(report, "%s\n", "**************************************************");
    }
    return all;
}

}  // namespace velt::rng

using namespace velt::rng;

long rngTest(const char* report_file, long) {
    slow_poll();
    long r = prngHealthCheck(2);
    if (r != 0) return r;
    velt::SecureBytes sample(kSampleBytes);
    r = process_generate(sample.data(), sample.size(), nullptr, 0);
    if (r != 0) return r;
    if (!report_file || !*report_file) return fips140_test(sample.data(), sample.size(), nullptr) ? 0 : 1;
    // The report is gathered in memory and written through the safe writer.
    velt::SafeWriter out(velt::WriteCodes{PRNG_ERR_FILE_CREATE, PRNG_ERR_FILE_WRITE, PRNG_ERR_FILE_WRITE});
    if (out.open(report_file, velt::WriteMode::kPublic)) {
        velt::eprint_headline("cannot create report file '%s'", report_file);
        return -PRNG_ERR_FILE_CREATE;
    }
    char* text = nullptr;
    size_t len = 0;
    FILE* fp = open_memstream(&text, &len);
    if (!fp) return -PRNG_ERR_FILE_WRITE;
    bool ok = fips140_test(sample.data(), sample.size(), fp);
    bool written = fclose(fp) == 0;
    r = written ? out.write(text, len) : long(PRNG_ERR_FILE_WRITE);
    free(text);
    if (r == 0) r = out.commit();
    if (r != 0) {
        velt::eprint_headline("cannot write report file '%s'", report_file);
        return -r;
    }
    return ok ? 0 : 1;
}
