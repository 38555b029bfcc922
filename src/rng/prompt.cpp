// Keystroke entropy: the user types random keys; the key bytes and their
// arrival times are hashed into a 64-byte digest that enters the generator as
// additional input. Each key that differs from the one before is credited
// with 0.75 bit.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "frame/error.h"
#include "rng/internal.h"
#include "rng/rng.h"
#include "util/bytes.h"
#include "util/emem.h"

namespace velt::rng {
namespace {

constexpr char kTerminalPrompt[] = "Please hit random keys until you reach 100%:";
constexpr char kConsolePrompt[] = "Please hit random keys then Enter until you reach 100%:";
constexpr double kCreditPerKey = 0.75;

double target_bits(long options) {
    switch (options & 0xF) {
        case 1: return 128;
        case 2: return 192;
        case 3: return 256;
        default: return 112;
    }
}

uint64_t now_micros() {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return uint64_t(tv.tv_sec) * 1000000u + uint64_t(tv.tv_usec);
}

// One 16-byte record: the last key byte (first of 8 bytes) and a time stamp.
void hash_record(hash::Sha512Ctx& c, uint8_t last_key, uint64_t stamp) {
    uint8_t rec[16] = {0};
    rec[0] = last_key;
    store_le64(rec + 8, stamp);
    hash::sha512_update(c, rec, sizeof rec);
    ewipe(rec, sizeof rec);
}

void write_str(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t w = write(fd, s.data() + done, s.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        done += size_t(w);
    }
}

int bar_width(int fd) {
    struct winsize ws;
    if (ioctl(fd, TIOCGWINSZ, &ws) != 0) return 71;
    int w = ws.ws_col;
    if (w < 7) return 0;
    if (w > 207) return 200;
    return w - 7;
}

std::string progress_line(int bar, double credit, double target) {
    int pct = int(100.0 * credit / target);
    char buf[300];
    if (bar == 0) {
        snprintf(buf, sizeof buf, "\r%d%%", pct);
        return buf;
    }
    int filled = int(bar * credit / target);
    if (filled > bar) filled = bar;
    std::string marks(size_t(filled), '=');
    if (filled < bar) marks += '>';
    snprintf(buf, sizeof buf, "\r[%-*s] %d%%", bar, marks.c_str(), pct);
    return buf;
}

bool terminal_prompt(uint8_t digest[64], const char* prompt, double target) {
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct termios saved, raw;
    if (tcgetattr(fd, &saved) != 0) {
        close(fd);
        return false;
    }
    raw = saved;
    raw.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw.c_oflag &= ~tcflag_t(OPOST);
    raw.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cflag &= ~tcflag_t(CSIZE | PARENB);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSAFLUSH, &raw) != 0) {
        close(fd);
        return false;
    }
    write_str(fd, std::string(prompt) + "\r\n");
    int bar = bar_width(fd);

    hash::Sha512Ctx c;
    hash::sha512_init(c);
    uint8_t last = 0;
    bool have_last = false;
    hash_record(c, 0, now_micros());
    double credit = 0;
    while (credit < target) {
        write_str(fd, progress_line(bar, credit, target));
        uint8_t key;
        ssize_t r = read(fd, &key, 1);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;  // hang-up or end of input: stop with what was typed
        hash_record(c, key, now_micros());
        if (!have_last || key != last) credit += kCreditPerKey;
        last = key;
        have_last = true;
    }
    std::string final_line = bar ? "\r[" + std::string(size_t(bar), '=') + "] 100%\r\n" : "100%\r\n";
    fputs(final_line.c_str(), stdout);
    fflush(stdout);
    usleep(300000);
    tcsetattr(fd, TCSAFLUSH, &saved);
    close(fd);
    hash::sha512_final(c, digest);
    ewipe(&c, sizeof c);
    last = 0;
    return true;
}

bool console_prompt(uint8_t digest[64], const char* prompt, double target) {
    printf("%s\n", prompt);
    hash::Sha512Ctx c;
    hash::sha512_init(c);
    int last = -1;
    double credit = 0;
    while (credit < target) {
        printf("\r%d%%", int(100.0 * credit / target));
        fflush(stdout);
        int ch = getchar();
        if (ch == EOF) break;  // no more input: stop with what was typed
        hash_record(c, uint8_t(ch), uint64_t(time(nullptr)) ^ uint64_t(clock()));
        if (ch != last) credit += kCreditPerKey;
        last = ch;
    }
    hash_record(c, uint8_t(last < 0 ? 0 : last), uint64_t(time(nullptr)) ^ uint64_t(clock()));
    printf("\n");
    fflush(stdout);
    hash::sha512_final(c, digest);
    ewipe(&c, sizeof c);
    return true;
}

}  // namespace

bool prngGeneratePrompt(uint8_t digest[64], const char* prompt, long options) {
    double target = target_bits(options);
    slow_poll();
    bool console = (options & kRngConsolePrompt) != 0;
    const char* text = (prompt && *prompt) ? prompt : (console ? kConsolePrompt : kTerminalPrompt);
    bool got = console ? console_prompt(digest, text, target) : terminal_prompt(digest, text, target);
    quick_poll();
    return got;
}

}  // namespace velt::rng

using namespace velt::rng;

long rng_bytes_prompt(unsigned char* output, long n, const char* prompt, long options) {
    if (!output || n < 0) return BAD_PARAM_ERROR;
    if (n > kRngMaxRequest) return PRNG_ERR_TOOBIG;
    uint8_t digest[64];
    velt::WipeOnExit w(digest, sizeof digest);
    // Without keystrokes (no terminal), fresh operating-system bytes take
    // the digest's place.
    if (!prngGeneratePrompt(digest, prompt, options) && !os_entropy(digest, sizeof digest)) memset(digest, 0, 64);
    long r = process_generate(output, size_t(n), digest, sizeof digest);
    if (r != 0) event_log_error("RNG failed continuous testing", -1073733816);
    return r;
}
