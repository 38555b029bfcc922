// Password prompt (behind PWD_Prompt and PWD_PromptEx).
#pragma once

// Writes the caption (if non-empty) and a newline, then the prompt (null:
// "Enter password: "), and reads one line from standard input with echo off:
// up to size - 1 characters, ending at LF, CR, end of input or a read error;
// backspace (8) removes the last character. The buffer (size bytes, NUL
// included) is always terminated. A null buffer or a size below 1 writes
// nothing and returns 0. Returns the number of characters stored.
long pwd_GetPassword(char* buffer, long size, const char* prompt, const char* caption);
