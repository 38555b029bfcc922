// Password prompt (behind PWD_Prompt and PWD_PromptEx).
#pragma once

// Writes the caption (if non-empty) and a newline, then the prompt (null:
// "Enter password: "), and reads one line from standard input with echo off,
// ending at LF, CR, end of input or a read error; backspace (8) removes the
// last character. The buffer is size bytes, the NUL included: the first
// size - 1 characters are stored and the buffer is always terminated. The
// rest of a longer line is read and discarded (it never stays in standard
// input), and the detail message of the error record says how many
// characters were dropped; the error code is left alone. A null buffer or a
// size below 1 writes nothing and returns 0. Returns the number of
// characters stored.
long pwd_GetPassword(char* buffer, long size, const char* prompt, const char* caption);
