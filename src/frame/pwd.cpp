// The password prompt behind PWD_Prompt and PWD_PromptEx. Echo is switched
// off through the terminal's attributes while the password is typed; these
// functions neither clear nor record the error record.
#include <termios.h>
#include <unistd.h>

#include <cstdio>

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
    {
        EchoOff echo_off;
        while (n < size - 1) {
            int c = getchar();
            if (c == EOF || c == '\n' || c == '\r') break;  // end of input or a read error ends the text
            if (c == 8) {
                if (n > 0) buffer[--n] = '\0';
                continue;
            }
            buffer[n++] = char(c);
        }
        buffer[n] = '\0';
        putchar('\n');
        fflush(stdout);
    }
    clearerr(stdin);
    return n;
}

extern "C" {

VELT_API long PWD_Prompt(char* szPassword, long nPwdLen, const char* szCaption) {
    return frame::run(frame::kBare,
                      [&]() -> frame::Result { return pwd_GetPassword(szPassword, nPwdLen, nullptr, szCaption); });
}

VELT_API long PWD_PromptEx(char* szPassword, long nPwdLen, const char* szCaption, const char* szPrompt, long) {
    return frame::run(frame::kBare,
                      [&]() -> frame::Result { return pwd_GetPassword(szPassword, nPwdLen, szPrompt, szCaption); });
}

}  // extern "C"
