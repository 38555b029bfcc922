// The password prompt behind PWD_Prompt and PWD_PromptEx. Echo is switched
// off through the terminal's attributes while the password is typed; these
// functions neither clear the error record nor record an error code. A
// password longer than the buffer leaves a detail message only.
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "frame/error.h"
#include "frame/frame.h"
#include "frame/pwd.h"

namespace {

constexpr char kDefaultPrompt[] = "Enter password: ";

// Turns echo off on standard input for its lifetime when it is a terminal.
class EchoOff {
  public:
    EchoOff() {
        if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_) == 0) {
            struct termios t = saved_;
            t.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL);
            active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &t) == 0;
        }
    }
    ~EchoOff() {
        if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    struct termios saved_ {};
    bool active_ = false;
};

}  // namespace

long pwd_GetPassword(char* buffer, long size, const char* prompt, const char* caption) {
    if (!buffer || size < 1) return 0;
    if (caption && *caption) printf("%s\n", caption);
    fputs(prompt ? prompt : kDefaultPrompt, stdout);
    fflush(stdout);
    fflush(stdin);

    long n = 0;
    long dropped = 0;  // characters typed beyond the buffer
    {
        EchoOff echo_off;
        // The whole line is read, so that nothing of a long password stays in
        // standard input for the application's next read; what does not fit
        // is counted and dropped.
        for (;;) {
            int c = getchar();
            if (c == EOF || c == '\n' || c == '\r') break;  // end of input or a read error ends the text
            if (c == 8) {
                if (dropped > 0) {
                    --dropped;
                } else if (n > 0) {
                    buffer[--n] = '\0';
                }
                continue;
            }
            if (n < size - 1) {
                buffer[n++] = char(c);
            } else {
                ++dropped;
            }
        }
        buffer[n] = '\0';
        putchar('\n');
        fflush(stdout);
    }
    if (dropped > 0)
        eprintf("Password truncated: %ld characters beyond the %ld that fit were discarded", dropped, n);
    clearerr(stdin);
    return n;
}

extern "C" {

VELT_API long PWD_Prompt(char* szPassword, long nPwdLen, const char* szCaption) {
    return frame::run(frame::kBare, [&]() -> frame::Result {
        return pwd_GetPassword(szPassword, nPwdLen, nullptr, szCaption);
    });
}

VELT_API long PWD_PromptEx(char* szPassword, long nPwdLen, const char* szCaption, const char* szPrompt,
                           long) {
    return frame::run(frame::kBare, [&]() -> frame::Result {
        return pwd_GetPassword(szPassword, nPwdLen, szPrompt, szCaption);
    });
}

}  // extern "C"
