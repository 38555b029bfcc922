// The process-wide error record, the error table and the error log.
//
// Internal operations return error codes; a module that detects a failure
// writes a detail message with eprintf (replace) or eprintcatf (append after
// "; ") and returns the code. The exported wrapper records a negative result
// with errset, which keeps only the first code since the last clear.
//
// Threads: there is one record for the whole process. Every update and read
// is free of data races (a lock, with the code published atomically), so
// threads that call the library without serialising see a consistent
// record, but not necessarily their own: a thread that needs the detail of
// its own failure serialises its calls with the other threads.
#pragma once

#include <cstddef>

// Error codes of the table (the positive values; exported functions return
// them negated unless a family returns them positive).
enum VeltError : long {
    SUCCESS_NO_ERROR = 0,
    OPEN_ERROR = 1,
    CREATE_ERROR = 2,
    READ_ERROR = 3,
    WRITE_ERROR = 4,
    MEMORY_ERROR = 5,
    BAD_PARAM_ERROR = 6,
    BAD_FORMAT_ERROR = 7,
    INVALID_DATA_ERROR = 8,
    EOF_ERROR = 9,
    MISSING_ERROR = 10,
    OUT_OF_RANGE_ERROR = 11,
    DUP_ERROR = 12,
    IO_ERROR = 13,
    NULL_ERROR = 14,
    DECRYPT_ERROR = 15,
    EXPIRED_ERROR = 16,
    BAD_FLAG_ERROR = 17,
    WIPE_ERROR = 18,
    NOT_SUPPORTED_ERROR = 19,
    NO_DATA_ERROR = 20,
    NO_MATCH_ERROR = 21,
    SIGNATURE_ERROR = 22,
    TEST_FAILED_ERROR = 23,
    KEYGEN_FAILED_ERROR = 24,
    ISSUER_ERROR = 25,
    BAD_LENGTH_ERROR = 26,
    BAD_XML_ERROR = 27,
    BAD_QUERY_ERROR = 29,
    SHORT_BUF_ERROR = 30,
    ZLIB_COMPR_ERROR = 31,
    BAD_KEY_LEN_ERROR = 33,
    BAD_BLK_LEN_ERROR = 34,
    BAD_MODE_ERROR = 35,
    BAD_KEY_ERROR = 36,
    BAD_IV_ERROR = 37,
    BAD_IV_LEN_ERROR = 38,
    ENCODING_ERROR = 39,
    AUTH_FAIL_ERROR = 40,
    REVOCATION_ERROR = 42,
    CERT_PATH_ERROR = 43,
    PRNG_ERR_FILE_OPEN = 201,
    PRNG_ERR_FILE_CREATE = 202,
    PRNG_ERR_FILE_READ = 203,
    PRNG_ERR_FILE_WRITE = 204,
    PRNG_ERR_FILE_LOCK = 205,
    PRNG_ERR_UNINST = 210,
    PRNG_ERR_TOOBIG = 211,
    PRNG_ERR_FAILURE = 212,
    PRNG_ERR_BADPARAM = 213,
    PRNG_ERR_NOTAVAIL = 214,
    PRNG_ERR_CATASTROPHIC = 299,
    INTERNAL_ERROR = 9745,
    MISC_ERROR = 9999,
};

// Empties the message and sets the stored code to 0.
void errclear();
// Stores |code| unless a code is already held or code is 0; returns code unchanged.
long errset(long code);
// The stored code (non-negative).
long errnum();
// A copy of the detail message (empty when clear), owned by the calling
// thread and valid until its next errmsg() call.
const char* errmsg();
// Copies the detail message into message (size bytes, truncated, always
// terminated; nothing when null) and returns the code, both read at once.
long errsnapshot(char* message, size_t size);
// Replaces the detail message (printf rules, cut to 646 characters). User
// text is always an argument ("%s"), never the format itself.
void eprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Appends to the detail message after "; " (cut to 646, whole message to 647).
void eprintcatf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "message (SYMBOLIC_NAME)" for a code (either sign), truncation rule; 0 for
// a code not in the table.
long errlookup(char* output, long declared, long code);
// The composite error line over the code, the user message and the record.
long errFormatErrorMessage(char* output, long declared, long code, const char* user_message);
// Appends one entry to "velterr.log" in the current directory.
void event_log_error(const char* message, long event_number);

// Result of a reader that returned null: the negated stored code, or -9745
// when nothing was recorded.
long err_from_null();
